// The program's own temporary files: names, creation and the clean-up of leftovers.
#include "TempFiles.h"

#include <QFile>
#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int kAlphabetSize = sizeof kAlphabet - 1;

bool isRandomChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

QByteArray randomPart()
{
    QByteArray r(kTempRandomChars, '\0');
    for (char& c : r)
        c = kAlphabet[QRandomGenerator::system()->bounded(kAlphabetSize)];
    return r;
}

QByteArray atomicSuffixStart() { return QByteArray(".") + kTempMarker; }
} // namespace

QByteArray tempFileName(const QByteArray& folder, const QByteArray& prefix, const QByteArray& suffix)
{
    QByteArray dir = folder;
    if (!dir.endsWith('/'))
        dir += '/';
    return dir + prefix + randomPart() + suffix;
}

int openTempFile(const QByteArray& folder, const QByteArray& prefix, const QByteArray& suffix, QByteArray* path,
                 mode_t mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = tempFileName(folder, prefix, suffix);
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            if (path)
                *path = name;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool isTempFileName(const QByteArray& name, const QByteArray& prefix, const QByteArray& suffix)
{
    if (name.size() != prefix.size() + kTempRandomChars + suffix.size() || !name.startsWith(prefix)
        || !name.endsWith(suffix))
        return false;
    for (qsizetype i = prefix.size(); i < prefix.size() + kTempRandomChars; ++i)
        if (!isRandomChar(name[i]))
            return false;
    return true;
}

QByteArray atomicTemporaryPrefix(const QByteArray& target)
{
    const qsizetype room = NAME_MAX - 1 - atomicSuffixStart().size() - kTempRandomChars;
    qsizetype from = std::max<qsizetype>(target.size() - room, 0);
    // Cut between characters: a UTF-8 continuation byte does not start the kept part.
    while (from > 0 && from < target.size() && (uchar(target[from]) & 0xC0) == 0x80)
        ++from;
    return "." + target.mid(from) + atomicSuffixStart();
}

QByteArray atomicTemporaryTarget(const QByteArray& name)
{
    const QByteArray tail = atomicSuffixStart();
    const qsizetype targetSize = name.size() - 1 - tail.size() - kTempRandomChars;
    if (targetSize < 1 || !name.startsWith('.') || !isTempFileName(name.mid(1 + targetSize), tail))
        return {};
    return name.mid(1, targetSize);
}

int removeLeftoverTemporaries(const QString& dirPath, const QDateTime& before,
                              const std::function<bool(const QString&)>& ours)
{
    return removeLeftoverFiles(dirPath, before, [&ours](const QByteArray& name) {
        const QByteArray target = atomicTemporaryTarget(name);
        return !target.isEmpty() && (!ours || ours(QFile::decodeName(target)));
    });
}

int removeLeftoverFiles(const QString& dirPath, const QDateTime& before,
                        const std::function<bool(const QByteArray& name)>& nameFits,
                        const std::function<bool(const QByteArray& path)>& fileFits)
{
    const QByteArray dir = QFile::encodeName(dirPath.endsWith('/') ? dirPath.chopped(1) : dirPath);
    DIR* d = ::opendir(dir.constData());
    if (!d)
        return 0;
    const qint64 limit = before.toMSecsSinceEpoch();
    QList<QByteArray> doomed;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (!nameFits(name))
            continue;
        struct stat st;
        const QByteArray path = dir + "/" + name;
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const qint64 mtime = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        if (mtime >= limit || (fileFits && !fileFits(path)))
            continue;
        doomed.append(path);
    }
    ::closedir(d);
    int removed = 0;
    for (const QByteArray& p : doomed)
        if (::unlink(p.constData()) == 0)
            ++removed;
    return removed;
}

} // namespace platform
