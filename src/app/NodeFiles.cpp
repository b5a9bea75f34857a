// Node texts as file names of the catalog: which texts may be, a node's files, renames that
// never replace, and the catalog's pages and notes that may become nodes.
#include "NodeFiles.h"

#include "platform/text/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace nodefiles {

QString unusableReason(const QString& text)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("Please enter node name");
    if (text == QLatin1String(".") || text == QLatin1String(".."))
        return QStringLiteral("The node name \"%1\" cannot be the name of a file.").arg(text);
    for (QChar c : text) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return QStringLiteral("The node name \"%1\" cannot be the name of a file: it must not hold \"/\", \"\\\" "
                                  "or control characters.")
                .arg(text);
    }
    bool ok = true;
    platform::toCp1251(text, &ok);
    if (!ok)
        return QStringLiteral("The node name \"%1\" holds characters that the tree file (Windows-1251) cannot hold.")
            .arg(text);
    return QString();
}

namespace {
bool isFile(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}
} // namespace

QString firstExisting(const QString& dir, const QString& text, std::initializer_list<const char*> exts)
{
    if (!isUsableName(text))
        return QString();
    for (const char* e : exts) {
        const QString p = dir + text + QLatin1String(e);
        if (isFile(p))
            return p;
    }
    return QString();
}

QString lastExisting(const QString& dir, const QString& text, std::initializer_list<const char*> exts)
{
    if (!isUsableName(text))
        return QString();
    QString found;
    for (const char* e : exts) {
        const QString p = dir + text + QLatin1String(e);
        if (isFile(p))
            found = p;
    }
    return found;
}

QString renameNoReplace(const QString& dir, const QString& fromName, const QString& toName)
{
    const QString from = dir + fromName, to = dir + toName;
    auto refused = [&](const QString& why) {
        return QStringLiteral("The file \"%1\" was not renamed to \"%2\": %3").arg(from, to, why);
    };
    // Linux's rename replaces an existing target silently; a name differing only in letter case
    // counts as taken too, as it names the same file on the desktops the catalogs come from.
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        if (e != fromName && e.compare(toName, Qt::CaseInsensitive) == 0)
            return refused(QStringLiteral("\"%1\" exists already.").arg(dir + e));
    }
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    // The check above and the rename are not one step; RENAME_NOREPLACE closes the gap where the
    // file system offers it.
    int rc = ::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        if (fromName.compare(toName, Qt::CaseInsensitive) != 0 && QFileInfo::exists(to))
            return refused(QStringLiteral("\"%1\" exists already.").arg(to));
        rc = ::rename(f.constData(), t.constData());
    }
    if (rc != 0) {
        if (errno == EEXIST)
            return refused(QStringLiteral("\"%1\" exists already.").arg(to));
        return refused(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return QString();
}

QStringList catalogNodeNames(const QString& dir, const std::function<bool(const QString& path)>& isHidden)
{
    QStringList names;
    const QByteArray d = QFile::encodeName(dir);
    DIR* dp = ::opendir(d.constData());
    if (!dp)
        return names;
    while (dirent* de = ::readdir(dp)) {
        const QByteArray raw(de->d_name);
        const QString name = QString::fromUtf8(raw);
        // A name in another encoding would come back as another name: no node could open it.
        if (name.toUtf8() != raw)
            continue;
        int cut = 0;
        if (name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
            cut = 5;
        else if (name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)
                 || name.endsWith(QLatin1String(".rtf"), Qt::CaseInsensitive))
            cut = 4;
        if (cut == 0 || name.size() == cut)
            continue;
        const QString text = name.left(name.size() - cut);
        if (!isUsableName(text))
            continue;
        const QString path = dir + name;
        bool folder = de->d_type == DT_DIR;
        if (de->d_type == DT_UNKNOWN || de->d_type == DT_LNK)
            folder = !isFile(path);
        if (folder)
            continue;
        if (cut == 5 || name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)) {
            if (isHidden && isHidden(path))
                continue;
        }
        names.append(text);
    }
    ::closedir(dp);
    return names;
}

} // namespace nodefiles
