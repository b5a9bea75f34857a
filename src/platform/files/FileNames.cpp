#include "FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <sys/stat.h>

namespace platform {

namespace {

struct Listing {
    QHash<QString, QString> byFolded; // folded name -> first spelling in sorted order
};

struct Cache {
    int depth = 0;
    QHash<QString, Listing> dirs;
};

thread_local Cache cache;

bool existsExact(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

Listing readListing(const QString& dir)
{
    Listing l;
    QDir d(dir.isEmpty() ? QStringLiteral(".") : dir);
    QStringList names = d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& n : names) {
        QString k = n.toCaseFolded();
        if (!l.byFolded.contains(k))
            l.byFolded.insert(k, n);
    }
    return l;
}

QString matchIn(const QString& dirIn, const QString& name)
{
    QString dir = dirIn;
    while (dir.size() > 1 && dir.endsWith('/'))
        dir.chop(1);
    if (cache.depth > 0) {
        auto it = cache.dirs.find(dir);
        if (it == cache.dirs.end())
            it = cache.dirs.insert(dir, readListing(dir));
        return it->byFolded.value(name.toCaseFolded());
    }
    return readListing(dir).byFolded.value(name.toCaseFolded());
}

} // namespace

QString resolvePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    if (existsExact(path))
        return path;
    const bool absolute = path.startsWith('/');
    const bool trailing = path.endsWith('/') && path.size() > 1;
    const QStringList parts = path.split('/', Qt::SkipEmptyParts);
    QString cur = absolute ? QStringLiteral("/") : QString();
    bool missing = false;
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        QString next = cur.isEmpty() ? part : (cur.endsWith('/') ? cur + part : cur + '/' + part);
        if (!missing && part != QLatin1String(".") && part != QLatin1String("..") && !existsExact(next)) {
            QString m = matchIn(cur.isEmpty() ? QStringLiteral(".") : cur, part);
            if (!m.isEmpty())
                next = cur.isEmpty() ? m : (cur.endsWith('/') ? cur + m : cur + '/' + m);
            else
                missing = true; // nothing below a missing folder can exist
        }
        cur = next;
    }
    if (trailing && !cur.endsWith('/'))
        cur += '/';
    return cur;
}

QString resolveIn(const QString& dir, const QString& name)
{
    if (dir.isEmpty())
        return resolvePath(name);
    return resolvePath(dir.endsWith('/') ? dir + name : dir + '/' + name);
}

bool existsNoCase(const QString& path)
{
    return existsExact(resolvePath(path));
}

bool makeDirNoCase(const QString& path)
{
    QString p = resolvePath(path);
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    QFileInfo fi(p);
    if (fi.isDir())
        return true;
    if (!QDir().mkdir(p))
        return false;
    ResolveScope::noteCreated(p);
    return true;
}

bool makeOwnDirNoCase(const QString& path)
{
    QString p = resolvePath(path);
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    const QFileInfo fi(p);
    if (fi.isSymLink()) {
        const QString parent = QFileInfo(fi.absolutePath()).canonicalFilePath();
        const QString at = fi.canonicalFilePath();
        if (parent.isEmpty() || at.isEmpty() || !at.startsWith(parent + u'/'))
            QFile::remove(p);
    }
    return makeDirNoCase(path);
}

ResolveScope::ResolveScope() { ++cache.depth; }

ResolveScope::~ResolveScope()
{
    if (--cache.depth == 0)
        cache.dirs.clear();
}

void ResolveScope::noteCreated(const QString& path)
{
    if (cache.depth == 0)
        return;
    QString p = path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    QFileInfo fi(p);
    QString dir = fi.path();
    auto it = cache.dirs.find(dir);
    if (it != cache.dirs.end()) {
        QString k = fi.fileName().toCaseFolded();
        if (!it->byFolded.contains(k))
            it->byFolded.insert(k, fi.fileName());
    }
}

} // namespace platform
