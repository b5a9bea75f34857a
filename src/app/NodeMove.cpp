#include "NodeMove.h"

#include "NodeFiles.h"

#include "platform/files/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTreeWidgetItem>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nodemove {

namespace {
// The move's step under way, for cutPoint; -1 outside moveAll's forward moves.
int stepUnderWay = -1;

QString sysError(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

// rename that refuses to replace: renameat2 where the file system has it, else a hard link
// and the removal of the old name. Returns 0 or an errno value.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    const int e = errno;
    if (e != EINVAL && e != ENOSYS && e != ENOTSUP)
        return e;
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

void syncFolder(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeAll(int fd, const char* p, ssize_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= w;
    }
    return true;
}

// Copies across file systems; the source stays until the copy is in place.
bool copyAcross(const QByteArray& from, const QByteArray& to, QString* error)
{
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = sysError(errno);
        return false;
    }
    struct stat st {};
    ::fstat(in, &st);
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(to)).absolutePath());
    QByteArray temp = folder + "/.morvanel-move-XXXXXX";
    const int out = ::mkstemp(temp.data());
    if (out < 0) {
        *error = sysError(errno);
        ::close(in);
        return false;
    }
    bool ok = true;
    int err = 0;
    char buf[1 << 16];
    for (;;) {
        const ssize_t r = ::read(in, buf, sizeof buf);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (r > 0 && !writeAll(out, buf, r))) {
            ok = false;
            err = errno;
            break;
        }
        if (r == 0)
            break;
    }
    if (ok) {
        ::fchmod(out, st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        if (::fsync(out) != 0) {
            ok = false;
            err = errno;
        }
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    ::close(in);
    if (ok)
        cutPoint(stepUnderWay);
    if (ok && (err = renameNoReplace(temp, to)) != 0)
        ok = false;
    if (!ok) {
        ::unlink(temp.constData());
        *error = sysError(err);
        return false;
    }
    syncFolder(folder);
    if (::unlink(from.constData()) != 0) {
        // The copy is in place but the original stays: take the copy back, nothing doubled.
        const int e = errno;
        ::unlink(to.constData());
        *error = sysError(e);
        return false;
    }
    return true;
}

bool sameFileSystem(const QString& from, const QString& to)
{
    struct stat a {}, b {};
    return ::stat(QFile::encodeName(from).constData(), &a) == 0
           && ::stat(QFile::encodeName(QFileInfo(to).absolutePath()).constData(), &b) == 0 && a.st_dev == b.st_dev;
}

void collect(const QTreeWidgetItem* node, QList<const QTreeWidgetItem*>& out)
{
    out.append(node);
    for (int i = 0; i < node->childCount(); ++i)
        collect(node->child(i), out);
}
} // namespace

const QStringList& nodeFileExtensions()
{
    static const QStringList ext{QStringLiteral(".txt"), QStringLiteral(".rtf"), QStringLiteral(".htm"),
                                 QStringLiteral(".html")};
    return ext;
}

PlanResult planMove(const QTreeWidgetItem* node, const QString& sourceDir, const QString& targetDir,
                    QList<FileMove>& moves, QString* error)
{
    moves.clear();
    QList<const QTreeWidgetItem*> nodes;
    collect(node, nodes);
    QSet<QString> targets;
    platform::ResolveScope scope;
    for (const QTreeWidgetItem* n : nodes) {
        const QString text = n->text(0);
        if (const QString why = nodefiles::nodeTextReason(text); !why.isEmpty()) {
            *error = why;
            return PlanResult::Refused;
        }
        for (const QString& ext : nodeFileExtensions()) {
            const QString from = platform::resolveIn(sourceDir, text + ext);
            if (!QFileInfo(from).isFile())
                continue;
            const QString to = targetDir + text + ext;
            if (platform::existsNoCase(to) || QFileInfo(to).exists() || targets.contains(to.toLower())) {
                *error = QStringLiteral("The file \"%1\" already exists. Nothing was moved.").arg(to);
                return PlanResult::Refused;
            }
            targets.insert(to.toLower());
            moves.append({from, to});
        }
        if (n == node && moves.isEmpty())
            return PlanResult::NoFile;
    }
    return PlanResult::Ok;
}

bool moveFile(const QString& from, const QString& to, QString* error)
{
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    const int e = renameNoReplace(f, t);
    if (e == 0)
        return true;
    if (e == EXDEV)
        return copyAcross(f, t, error);
    *error = sysError(e);
    return false;
}

void cutPoint(int step)
{
    bool set = false;
    const int at = qEnvironmentVariableIntValue("MORVANEL_MOVE_KILL_AT", &set);
    if (set && step >= 0 && step == at)
        ::raise(SIGKILL);
}

bool moveAll(const QList<FileMove>& moves, QString* error)
{
    for (qsizetype i = 0; i < moves.size(); ++i) {
        QString why;
        stepUnderWay = int(i);
        if (qEnvironmentVariableIsSet("MORVANEL_MOVE_KILL_AT") && sameFileSystem(moves[i].from, moves[i].to))
            cutPoint(stepUnderWay);
        const bool moved = moveFile(moves[i].from, moves[i].to, &why);
        stepUnderWay = -1;
        if (moved)
            continue;
        QString lost;
        for (qsizetype j = i - 1; j >= 0; --j) {
            QString back;
            if (!moveFile(moves[j].to, moves[j].from, &back))
                lost += QStringLiteral("\n\"%1\" stays as \"%2\": %3").arg(moves[j].from, moves[j].to, back);
        }
        *error = QStringLiteral("\"%1\" could not be moved to \"%2\": %3.\nThe node was not moved.%4")
                     .arg(moves[i].from, moves[i].to, why, lost);
        return false;
    }
    return true;
}

} // namespace nodemove
