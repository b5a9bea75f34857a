#include "AtomicFile.h"

#include "FileNames.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
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

// For the program's own files: a link is followed only while it leads to a file in the link's own
// folder or below it (a catalog file kept in a sub-folder); one that leads out of it, as a
// catalog received from someone else may hold, is replaced itself.
QString linkWithin(const QString& path)
{
    const QFileInfo link(path);
    if (!link.isSymLink())
        return path;
    const QString target = followLinks(path);
    const QString inside = QFileInfo(link.absolutePath()).canonicalFilePath();
    const QString at = QFileInfo(QFileInfo(target).absolutePath()).canonicalFilePath();
    const bool within = !inside.isEmpty() && !at.isEmpty() && (at == inside || at.startsWith(inside + u'/'));
    return within && !QFileInfo(target).isSymLink() ? target : path;
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

} // namespace

int longestSavedName() { return NAME_MAX; }

bool isWriteProtected(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) && writeProtected(st);
}

// A file written to its temporary name beside the target, waiting for its rename.
struct AtomicBatch::Pending {
    QString path;      // the target as given
    QByteArray target; // the target, links followed
    QByteArray tmp;
    QByteArray dir;
};

namespace {
using Temporary = AtomicBatch::Pending;

// Writes data to a fresh temporary file beside the target (flushed to disk when `sync`).
// With `own` the target is one of the program's own files (see linkWithin): a link that is not
// followed is replaced by the rename.
bool writeTemporary(const QString& pathGiven, QByteArrayView data, bool sync, Temporary& out, QString* error,
                    bool own = false)
{
    const QString path = own ? linkWithin(pathGiven) : followLinks(pathGiven);
    const QByteArray target = QFile::encodeName(path);
    // A link to a file that is not there would make that file wherever the link says: outside
    // the catalog, as a received catalog may hold, or on the empty mount point of a drive away.
    if (!own && path != pathGiven && !QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("Cannot save %1: it is a link to %2, which is not there.").arg(pathGiven, path);
        return false;
    }
    QFileInfo fi(path);
    struct stat old;
    const auto oldFile = [&] { return ::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode); };
    if (oldFile() && writeProtected(old)) {
        if (error)
            *error = QStringLiteral("Cannot save %1: the file is write-protected (read-only).").arg(path);
        return false;
    }
    const QByteArray dir = QFile::encodeName(fi.absolutePath());
    QByteArray tmpl;
    int fd = openTempFile(dir, atomicTemporaryPrefix(QFile::encodeName(fi.fileName())), {}, &tmpl);
    if (fd < 0) {
        if (error)
            *error = errnoText("Cannot create a temporary file for", path);
        return false;
    }
    // Keep the permissions of the file being replaced; new files get the usual 0666 & ~umask.
    if (oldFile()) {
        ::fchmod(fd, old.st_mode & 07777);
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
    if ((sync && ::fsync(fd) != 0) || ::close(fd) != 0) {
        if (error)
            *error = errnoText("Cannot write", path);
        ::unlink(tmpl.constData());
        return false;
    }
    out = {pathGiven, target, tmpl, dir};
    return true;
}

bool renameTemporary(const Temporary& t, QString* error)
{
    if (::rename(t.tmp.constData(), t.target.constData()) != 0) {
        if (error)
            *error = errnoText("Cannot replace", QFile::decodeName(t.target));
        ::unlink(t.tmp.constData());
        return false;
    }
    // A name created during a resolving scope must be found by later case-insensitive look-ups.
    ResolveScope::noteCreated(t.path);
    return true;
}

void syncFolder(const QByteArray& dir)
{
    int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}
} // namespace

bool writeFileAtomic(const QString& pathGiven, QByteArrayView data, QString* error)
{
    Temporary t;
    if (!writeTemporary(pathGiven, data, true, t, error) || !renameTemporary(t, error))
        return false;
    syncFolder(t.dir);
    return true;
}

bool writeOwnFileAtomic(const QString& path, QByteArrayView data, QString* error)
{
    Temporary t;
    if (!writeTemporary(path, data, true, t, error, true) || !renameTemporary(t, error))
        return false;
    syncFolder(t.dir);
    return true;
}

AtomicBatch::AtomicBatch() = default;

AtomicBatch::~AtomicBatch()
{
    for (const Pending& p : std::as_const(pending_))
        ::unlink(p.tmp.constData());
}

bool AtomicBatch::add(const QString& path, QByteArrayView data, QString* error)
{
    Pending p;
    if (!writeTemporary(path, data, false, p, error))
        return false;
    pending_.append(p);
    return true;
}

bool AtomicBatch::commit(QString* error)
{
    // One flush of the file system for every file, instead of one per file.
    if (!pending_.isEmpty()) {
        int fd = ::open(pending_.first().dir.constData(), O_RDONLY | O_DIRECTORY);
        if (fd >= 0) {
            ::syncfs(fd);
            ::close(fd);
        }
    }
    QList<QByteArray> dirs;
    while (!pending_.isEmpty()) {
        const Pending p = pending_.takeFirst();
        if (!renameTemporary(p, error))
            return false;
        if (!dirs.contains(p.dir))
            dirs.append(p.dir);
    }
    for (const QByteArray& d : std::as_const(dirs))
        syncFolder(d);
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
