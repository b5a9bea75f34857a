#include "platform/volumes/Volumes.h"

#include "platform/files/TempFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}

std::vector<SimulatedRemovableDrive*>& registry()
{
    static std::vector<SimulatedRemovableDrive*> r;
    return r;
}

QString withSlash(const QString& p)
{
    return p.endsWith(QLatin1Char('/')) ? p : p + QLatin1Char('/');
}

// The path made absolute and clean; for a path that does not exist, its nearest existing
// ancestor resolved through symbolic links, with the rest appended.
QString canonicalish(const QString& path)
{
    QString abs = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    QString cur = abs;
    while (!cur.isEmpty()) {
        const QString canon = QFileInfo(cur).canonicalFilePath();
        if (!canon.isEmpty())
            return QDir::cleanPath(canon + rest);
        const qsizetype cut = cur.lastIndexOf(QLatin1Char('/'));
        if (cut <= 0)
            break;
        rest = cur.mid(cut) + rest;
        cur = cur.left(cut);
    }
    return abs;
}

// mountinfo escapes blanks and a few others as \ooo.
QString unescapeOctal(const QByteArray& field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int v = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

struct Mount {
    QString point; // without final "/" except for "/"
    QString source;
};

// The mount holding an absolute, clean path: the longest matching mount point.
Mount mountOf(const QString& path)
{
    Mount best;
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("/"), QString()};
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 10)
            continue;
        const QString point = unescapeOctal(parts[4]);
        const qsizetype dash = parts.indexOf("-");
        const QString source = dash >= 0 && dash + 2 < parts.size() ? unescapeOctal(parts[dash + 2]) : QString();
        const bool inside = point == QLatin1String("/") || path == point || path.startsWith(point + QLatin1Char('/'));
        if (inside && point.size() >= best.point.size())
            best = {point, source};
    }
    if (best.point.isEmpty())
        best.point = QStringLiteral("/");
    return best;
}

QByteArray readSmallFile(const QString& name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(256).trimmed();
}

// by-label names escape characters as \xNN.
QString unescapeHex(const QString& name)
{
    QByteArray in = QFile::encodeName(name), out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int v = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += in[i];
    }
    return QString::fromUtf8(out);
}

QString devicePath(const QString& source)
{
    if (!source.startsWith(QLatin1String("/dev/")))
        return QString();
    const QString canon = QFileInfo(source).canonicalFilePath();
    return canon.isEmpty() ? source : canon;
}

} // namespace

// ---- volumes ----

QString volumeRoot(const QString& path)
{
    if (auto* d = SimulatedRemovableDrive::find(path))
        return d->root();
    return withSlash(mountOf(canonicalish(path)).point);
}

bool isRemovableVolume(const QString& path)
{
    if (SimulatedRemovableDrive::find(path))
        return true;
    const QString dev = devicePath(mountOf(canonicalish(path)).source);
    if (dev.isEmpty())
        return false;
    const QString sys = QFileInfo(QStringLiteral("/sys/class/block/") + QFileInfo(dev).fileName()).canonicalFilePath();
    if (sys.isEmpty())
        return false;
    QByteArray r = readSmallFile(sys + QStringLiteral("/removable"));
    if (r.isEmpty()) // a partition: the flag sits on its disk
        r = readSmallFile(QFileInfo(sys).path() + QStringLiteral("/removable"));
    return r == "1";
}

QString volumeLabel(const QString& path)
{
    if (auto* d = SimulatedRemovableDrive::find(path))
        return d->label(d->currentDisk());
    const QString dev = devicePath(mountOf(canonicalish(path)).source);
    if (dev.isEmpty())
        return QString();
    QDir byLabel(QStringLiteral("/dev/disk/by-label"));
    const QStringList names = byLabel.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& n : names)
        if (QFileInfo(byLabel.filePath(n)).canonicalFilePath() == dev)
            return unescapeHex(n);
    return QString();
}

bool setVolumeLabel(const QString& path, const QString& label)
{
    auto* d = SimulatedRemovableDrive::find(path);
    if (!d || d->current_ == 0)
        return false;
    d->disks_[d->current_].label = label;
    return true;
}

int64_t volumeFreeSpace(const QString& path)
{
    if (auto* d = SimulatedRemovableDrive::find(path)) {
        if (d->currentDisk() == 0)
            return -1;
        return std::max<int64_t>(d->capacity(d->currentDisk()) - d->usedSpace(), 0);
    }
    struct statvfs st;
    const QByteArray root = QFile::encodeName(volumeRoot(path));
    if (::statvfs(root.constData(), &st) != 0)
        return -1;
    return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

int32_t volumeFreeSpace32(const QString& path)
{
    const int64_t v = volumeFreeSpace(path);
    return int32_t(std::clamp<int64_t>(v, 0, INT32_MAX));
}

// ---- temporary files ----

QString tempFolder()
{
    return withSlash(QDir::tempPath());
}

QString createTempFile(const QString& folder, const QString& prefix, const QString& suffix)
{
    QByteArray path;
    const int fd = openTempFile(QFile::encodeName(folder), QFile::encodeName(prefix), QFile::encodeName(suffix), &path);
    if (fd < 0)
        return QString();
    ::close(fd);
    return QFile::decodeName(path);
}

// ---- attributes and dates ----

uint32_t dosAttributes(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0xFFFFFFFFu;
    return dosAttributesOfMode(st.st_mode, path);
}

uint32_t dosAttributesOfMode(unsigned mode, const QString& path)
{
    uint32_t a = S_ISDIR(mode) ? 0x10u : 0x20u;
    if (!(mode & S_IWUSR))
        a |= 0x01u;
    if (QFileInfo(path).fileName().startsWith(QLatin1Char('.')))
        a |= 0x02u;
    return a;
}

bool setDosAttributes(const QString& path, uint32_t attrs)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    if (::stat(p.constData(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    if (attrs & 0x01u)
        mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return ::chmod(p.constData(), mode) == 0;
}

uint32_t dosDateTimeFromDateTime(const QDateTime& dtIn)
{
    const QDateTime dt = dtIn.toLocalTime();
    const QDate d = dt.date();
    const QTime t = dt.time();
    if (!dt.isValid() || d.year() < 1980)
        return (0u << 25) | (1u << 21) | (1u << 16);
    if (d.year() > 2107)
        return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    return uint32_t(d.year() - 1980) << 25 | uint32_t(d.month()) << 21 | uint32_t(d.day()) << 16
        | uint32_t(t.hour()) << 11 | uint32_t(t.minute()) << 5 | uint32_t(t.second() / 2);
}

QDateTime dateTimeFromDosDateTime(uint32_t dos)
{
    const int year = int(dos >> 25) + 1980;
    const int month = int((dos >> 21) & 0x0F);
    const int day = int((dos >> 16) & 0x1F);
    const int hour = int((dos >> 11) & 0x1F);
    const int minute = int((dos >> 5) & 0x3F);
    const int second = int(dos & 0x1F) * 2;
    const QDate d(year, month, day);
    const QTime t(hour, minute, second);
    if (!d.isValid() || !t.isValid())
        return QDateTime();
    return QDateTime(d, t);
}

uint32_t fileDosDateTime(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0xFFFFFFFFu;
    return dosDateTimeFromDateTime(QDateTime::fromSecsSinceEpoch(st.st_mtime));
}

bool setFileDosDateTime(const QString& path, uint32_t dos)
{
    const QDateTime dt = dateTimeFromDosDateTime(dos);
    if (!dt.isValid())
        return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(dt.toSecsSinceEpoch());
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// ---- simulated removable drive ----

SimulatedRemovableDrive::SimulatedRemovableDrive(const QString& mountPoint)
{
    QDir().mkpath(mountPoint);
    const QString canon = QFileInfo(mountPoint).canonicalFilePath();
    root_ = withSlash(canon.isEmpty() ? QDir::cleanPath(QFileInfo(mountPoint).absoluteFilePath()) : canon);
    const QString bare = root_.left(root_.size() - 1);
    storeRoot_ = QFileInfo(bare).path() + QLatin1String("/.") + QFileInfo(bare).fileName() + QLatin1String("-disks/");
    QDir().mkpath(storeRoot_);
    std::lock_guard<std::mutex> lock(registryMutex());
    registry().push_back(this);
}

SimulatedRemovableDrive::~SimulatedRemovableDrive()
{
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto& r = registry();
        r.erase(std::remove(r.begin(), r.end(), this), r.end());
    }
    QDir(storeRoot_).removeRecursively();
}

QString SimulatedRemovableDrive::storeOf(int n) const
{
    return storeRoot_ + QString::number(n) + QLatin1Char('/');
}

void SimulatedRemovableDrive::setDisk(int n, const QString& label, int64_t capacity)
{
    disks_[n] = Disk{label, capacity};
}

void SimulatedRemovableDrive::insertDisk(int n)
{
    if (n == current_)
        return;
    auto moveAll = [](const QString& from, const QString& to) {
        QDir().mkpath(to);
        QDir src(from);
        const QStringList names = src.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names)
            QFile::rename(from + name, to + name);
    };
    moveAll(root_, storeOf(current_));
    moveAll(storeOf(n), root_);
    current_ = n;
}

QString SimulatedRemovableDrive::label(int n) const
{
    const auto it = disks_.find(n);
    return it == disks_.end() ? QString() : it->second.label;
}

int64_t SimulatedRemovableDrive::capacity(int n) const
{
    const auto it = disks_.find(n);
    return it == disks_.end() ? 0 : it->second.capacity;
}

int64_t SimulatedRemovableDrive::usedSpace() const
{
    int64_t total = 0;
    QDirIterator it(root_, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

SimulatedRemovableDrive* SimulatedRemovableDrive::find(const QString& path)
{
    std::lock_guard<std::mutex> lock(registryMutex());
    if (registry().empty())
        return nullptr;
    const QString p = withSlash(canonicalish(path));
    for (auto* d : registry())
        if (p.startsWith(d->root_))
            return d;
    return nullptr;
}

} // namespace platform
