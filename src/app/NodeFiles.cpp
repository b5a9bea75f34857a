// Node texts as file names of the catalog: which texts may be, a node's files, renames that
// never replace, and the catalog's pages and notes that may become nodes.
#include "NodeFiles.h"

#include "platform/files/FileNames.h"
#include "platform/text/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nodefiles {

namespace {
// A character that a line of the tree file cannot hold, nor a file name of the catalog.
bool isControl(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control; }
} // namespace

NameFault fileNameFault(const QString& text)
{
    if (text.trimmed().isEmpty())
        return NameFault::Blank;
    if (text == QLatin1String(".") || text == QLatin1String(".."))
        return NameFault::Dots;
    for (QChar c : text) {
        if (c == u'/' || c == u'\\' || isControl(c))
            return NameFault::Forbidden;
    }
    bool ok = true;
    platform::toCp1251(text, &ok);
    return ok ? NameFault::None : NameFault::Encoding;
}

NameFault nodeTextFault(const QString& text)
{
    const NameFault f = fileNameFault(text);
    if (f == NameFault::None && text.startsWith(u' '))
        return NameFault::LeadingBlank;
    return f;
}

namespace {
QString faultMessage(NameFault fault, const QString& text)
{
    switch (fault) {
    case NameFault::None:
        break;
    case NameFault::Blank:
        return QStringLiteral("Please enter node name");
    case NameFault::Dots:
        return QStringLiteral("The node name \"%1\" cannot be the name of a file.").arg(text);
    case NameFault::Forbidden:
        return QStringLiteral("The node name \"%1\" cannot be the name of a file: it must not hold \"/\", \"\\\" "
                              "or control characters.")
            .arg(text);
    case NameFault::Encoding:
        return QStringLiteral("The node name \"%1\" holds characters that the tree file (Windows-1251) cannot hold.")
            .arg(text);
    case NameFault::LeadingBlank:
        return QStringLiteral("The node name \"%1\" must not begin with a blank: the tree file would take the blank "
                              "for indentation.")
            .arg(text);
    }
    return QString();
}
} // namespace

QString unusableReason(const QString& text) { return faultMessage(fileNameFault(text), text); }

QString nodeTextReason(const QString& text) { return faultMessage(nodeTextFault(text), text); }

QString newNodeTextReason(const QString& text)
{
    // A text that could name a file as a whole is a node text whatever its "%" (a page saved
    // as "%D0%9F.htm" gives the node "%D0%9F"); a "%" in it only keeps its files' names.
    const qsizetype percent = text.indexOf(u'%');
    const QString whole = nodeTextReason(text);
    if (percent < 0 || whole.isEmpty())
        return whole;
    if (const QString why = nodeTextReason(text.left(percent)); !why.isEmpty())
        return why;
    // What follows the "%" (a path, say) names no file, but it is still one line of the tree file.
    if (std::any_of(text.begin(), text.end(), isControl))
        return QStringLiteral("The node text \"%1\" must not hold control characters.").arg(text);
    bool ok = true;
    platform::toCp1251(text, &ok);
    return ok ? QString() : faultMessage(NameFault::Encoding, text);
}

QString faultClause(NameFault fault)
{
    switch (fault) {
    case NameFault::None:
        break;
    case NameFault::Blank:
        return QStringLiteral("the name is blank before its ending");
    case NameFault::Dots:
        return QStringLiteral("the name is \".\" or \"..\" before its ending");
    case NameFault::Forbidden:
        return QStringLiteral("the name holds \"\\\" or a control character");
    case NameFault::Encoding:
        return QStringLiteral("the name holds characters that the tree file (Windows-1251) cannot hold");
    case NameFault::LeadingBlank:
        return QStringLiteral("the name begins with a blank");
    }
    return QString();
}

QString leftOutReport(const QList<LeftOut>& files, int shown)
{
    if (files.isEmpty())
        return QString();
    QString text = files.size() == 1
                       ? QStringLiteral("This file of the catalog cannot become a node and was left out:")
                       : QStringLiteral("These %1 files of the catalog cannot become nodes and were left out:")
                             .arg(files.size());
    const qsizetype n = std::min<qsizetype>(files.size(), std::max(shown, 0));
    for (qsizetype i = 0; i < n; ++i)
        text += QStringLiteral("\n\"%1\": %2").arg(files[i].name, files[i].why);
    if (files.size() > n)
        text += QStringLiteral("\n... and %1 more.").arg(files.size() - n);
    return text;
}

namespace {
bool isFile(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}
bool isFile(const QString& path) { return isFile(QFile::encodeName(path)); }
} // namespace

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

QStringList catalogOwnFiles(const QStringList& layers)
{
    QStringList own;
    for (const QString& l : layers)
        own << l << l + QStringLiteral("_ind");
    // "menue_undo.txt" takes a copy of the tree at every rename, "f1.html" and "f2.html" are the
    // site's header and footer; the others hold no node ending but are listed all the same.
    own << QStringLiteral("currentMenue") << QStringLiteral("menue_undo") << QStringLiteral("menue_undo.txt")
        << QStringLiteral("menue_move") << QStringLiteral("history") << QStringLiteral("keywords")
        << QStringLiteral("description") << QStringLiteral("StopList") << QStringLiteral("UrlsForDownload")
        << QStringLiteral("metatags") << QStringLiteral("f1.html") << QStringLiteral("f2.html")
        << QStringLiteral("temp") << QStringLiteral("deleteditems") << QStringLiteral("html")
        << QStringLiteral("archives") << QStringLiteral("dir") << QStringLiteral("menue_clear")
        << QStringLiteral("RunFromHere") << QStringLiteral("Help") << QStringLiteral("Project1");
    return own;
}

namespace {
const char* const kNodeEndings[] = {".rtf", ".txt", ".htm", ".html"};

struct NodeFile {
    QString name; // as spelled in the folder
    int ending;   // length of its ending
};

QList<NodeFile> nodeFiles(const QString& dir, const QString& text)
{
    QList<NodeFile> files;
    if (!isUsableName(text))
        return files;
    for (const char* e : kNodeEndings) {
        const QString path = platform::resolveIn(dir, text + QLatin1String(e));
        if (isFile(path))
            files.append({path.mid(path.lastIndexOf(u'/') + 1), int(std::strlen(e))});
    }
    return files;
}

QString quotedPaths(const QString& dir, const QList<NodeFile>& files)
{
    QStringList out;
    for (const NodeFile& f : files)
        out.append(QStringLiteral("\"%1\"").arg(dir + f.name));
    return out.join(QStringLiteral(", "));
}
} // namespace

QStringList nodeFileNames(const QString& dir, const QString& text)
{
    QStringList names;
    for (const NodeFile& f : nodeFiles(dir, text))
        names.append(f.name);
    return names;
}

QString renameBlocker(const QString& dir, const QString& from, const QString& to, const QStringList& ownFiles)
{
    const QList<NodeFile> mine = nodeFiles(dir, from);
    const QString refused = QStringLiteral("The node \"%1\" was not renamed to \"%2\": ").arg(from, to);
    if (fileNameFault(to) != NameFault::None) {
        if (mine.isEmpty())
            return QString();
        return refused + QStringLiteral("that text names no file, so the node would lose %1.").arg(quotedPaths(dir, mine));
    }
    const QByteArray d = QFile::encodeName(dir);
    const QByteArray longest = QFile::encodeName(to + QStringLiteral(".html"));
    long nameMax = ::pathconf(d.constData(), _PC_NAME_MAX);
    long pathMax = ::pathconf(d.constData(), _PC_PATH_MAX);
    if (nameMax <= 0)
        nameMax = 255;
    if (pathMax <= 0)
        pathMax = 4096;
    if (longest.size() > nameMax)
        return refused + QStringLiteral("its file name \"%1\" would take %2 bytes, and the catalog's file system "
                                        "allows %3.")
                             .arg(to + QStringLiteral(".html"))
                             .arg(longest.size())
                             .arg(nameMax);
    if (d.size() + longest.size() >= pathMax)
        return refused + QStringLiteral("the path of its file would be longer than the file system allows.");
    for (const char* e : kNodeEndings) {
        const QString name = to + QLatin1String(e);
        for (const QString& own : ownFiles)
            if (own.compare(name, Qt::CaseInsensitive) == 0)
                return refused + QStringLiteral("its file \"%1\" would be the catalog's own file \"%2\".").arg(name, own);
    }
    // Lookups ignore letter case: a file of the new name in another case would be opened by the
    // node, and one in the same case would be taken over or refuse the rename.
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (std::any_of(mine.begin(), mine.end(), [&](const NodeFile& f) { return f.name == entry; }))
            continue;
        for (const char* e : kNodeEndings) {
            const QString name = to + QLatin1String(e);
            if (entry.compare(name, Qt::CaseInsensitive) != 0 || (mine.isEmpty() && entry == name))
                continue;
            if (mine.isEmpty())
                return refused + QStringLiteral("\"%1\" exists already in another letter case, and the node would "
                                                "open it.")
                                     .arg(dir + entry);
            return refused + QStringLiteral("its file %1 cannot take the new name, as \"%2\" exists already.")
                                 .arg(quotedPaths(dir, mine), dir + entry);
        }
    }
    return QString();
}

QString renameNodeFiles(const QString& dir, const QString& from, const QString& to)
{
    QList<std::pair<QString, QString>> done;
    for (const NodeFile& f : nodeFiles(dir, from)) {
        const QString target = to + f.name.right(f.ending);
        if (const QString error = renameNoReplace(dir, f.name, target); !error.isEmpty()) {
            for (auto it = done.rbegin(); it != done.rend(); ++it)
                renameNoReplace(dir, it->second, it->first);
            return error;
        }
        done.append({f.name, target});
    }
    return QString();
}

QStringList catalogNodeNames(const QString& dir, const std::function<bool(const QString& path)>& isHidden,
                             QList<LeftOut>* leftOut)
{
    QStringList names;
    const QByteArray d = QFile::encodeName(dir);
    DIR* dp = ::opendir(d.constData());
    if (!dp)
        return names;
    auto leave = [leftOut](const QString& name, const QString& why) {
        if (leftOut)
            leftOut->append({name, why});
    };
    while (dirent* de = ::readdir(dp)) {
        const QByteArray raw(de->d_name);
        const QString name = QString::fromUtf8(raw);
        int cut = 0;
        if (name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
            cut = 5;
        else if (name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)
                 || name.endsWith(QLatin1String(".rtf"), Qt::CaseInsensitive))
            cut = 4;
        if (cut == 0)
            continue;
        bool folder = de->d_type == DT_DIR;
        if (de->d_type == DT_UNKNOWN || de->d_type == DT_LNK)
            folder = !isFile(d + raw);
        if (folder)
            continue;
        // A name in another encoding would come back as another name: no node could open it.
        if (name.toUtf8() != raw) {
            leave(name, QStringLiteral("the name is not UTF-8 text"));
            continue;
        }
        const QString path = dir + name;
        if (cut == 5 || name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)) {
            if (isHidden && isHidden(path))
                continue;
        }
        const QString text = name.left(name.size() - cut);
        if (const NameFault fault = nodeTextFault(text); fault != NameFault::None) {
            leave(name, faultClause(fault));
            continue;
        }
        names.append(text);
    }
    ::closedir(dp);
    return names;
}

} // namespace nodefiles
