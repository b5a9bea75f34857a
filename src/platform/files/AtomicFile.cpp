#include "AtomicFile.h"

#include "FileNames.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
QString errnoText(const char* what, const QString& path)
{
    return QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

// A link is kept: the file it points to is the one replaced (the rename would otherwise put a
// plain file in the link's place and leave the linked file behind, unchanged).
QString followLinks(const QString& path)
{
    QString p = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo fi(p);
        if (!fi.isSymLink())
            break;
        p = fi.symLinkTarget();
    }
    return p;
}

// The rename that replaces a file needs only the folder's permission; a file the user made
// read-only must stay as it is, as a plain write would leave it. The mode bits decide, so the
// protection holds for root too.
bool writeProtected(const struct stat& st)
{
    const uid_t uid = ::geteuid();
    if (uid == st.st_uid)
        return !(st.st_mode & S_IWUSR);
    if (::getegid() == st.st_gid)
        return !(st.st_mode & S_IWGRP);
    gid_t groups[256];
    const int n = ::getgroups(256, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] == st.st_gid)
            return !(st.st_mode & S_IWGRP);
    // Root writes files of others as the owner would.
    if (uid == 0)
        return !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
    return !(st.st_mode & S_IWOTH);
}

// The temporary name of a save: hidden, the target's name, then mkstemp's random characters.
constexpr int kRandomChars = 6;
QByteArray temporaryPrefix(const QByteArray& name) { return "." + name + "."; }

// The target's name when `name` is of the temporary pattern, else empty.
QByteArray temporaryTarget(const QByteArray& name)
{
    const qsizetype n = name.size();
    if (n < 2 + 1 + kRandomChars || name[0] != '.' || name[n - kRandomChars - 1] != '.')
        return {};
    for (qsizetype i = n - kRandomChars; i < n; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return {};
    }
    return name.mid(1, n - kRandomChars - 2);
}
} // namespace

int removeLeftoverTemporaries(const QString& dirPath, const QDateTime& before)
{
    const QByteArray dir = QFile::encodeName(dirPath.endsWith('/') ? dirPath.chopped(1) : dirPath);
    DIR* d = ::opendir(dir.constData());
    if (!d)
        return 0;
    const qint64 limit = before.toMSecsSinceEpoch();
    QList<QByteArray> doomed;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        const QByteArray target = temporaryTarget(name);
        if (target.isEmpty())
            continue;
        struct stat st, beside;
        const QByteArray path = dir + "/" + name;
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const qint64 mtime = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        if (mtime >= limit || ::lstat((dir + "/" + target).constData(), &beside) != 0)
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

bool writeFileAtomic(const QString& pathGiven, QByteArrayView data, QString* error)
{
    const QString path = followLinks(pathGiven);
    const QByteArray target = QFile::encodeName(path);
    QFileInfo fi(path);
    struct stat old;
    if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode) && writeProtected(old)) {
        if (error)
            *error = QStringLiteral("Cannot save %1: the file is write-protected (read-only).").arg(path);
        return false;
    }
    const QByteArray dir = QFile::encodeName(fi.absolutePath());
    QByteArray tmpl = dir + "/" + temporaryPrefix(QFile::encodeName(fi.fileName())) + QByteArray(kRandomChars, 'X');
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        if (error)
            *error = errnoText("Cannot create a temporary file for", path);
        return false;
    }
    // Keep the permissions of the file being replaced; new files get the usual 0666 & ~umask.
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t um = ::umask(0);
        ::umask(um);
        ::fchmod(fd, 0666 & ~um);
    }
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = errnoText("Cannot write", path);
            ::close(fd);
            ::unlink(tmpl.constData());
            return false;
        }
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        if (error)
            *error = errnoText("Cannot write", path);
        ::unlink(tmpl.constData());
        return false;
    }
    if (::rename(tmpl.constData(), target.constData()) != 0) {
        if (error)
            *error = errnoText("Cannot replace", path);
        ::unlink(tmpl.constData());
        return false;
    }
    int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    // A name created during a resolving scope must be found by later case-insensitive look-ups.
    ResolveScope::noteCreated(pathGiven);
    return true;
}

bool readWholeFile(const QString& path, QByteArray& data, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    data = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

} // namespace platform
