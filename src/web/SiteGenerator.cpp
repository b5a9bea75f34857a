#include "SiteGenerator.h"

#include "app/TreeFile.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileNames.h"
#include "platform/richedit/PlainText.h"
#include "platform/richedit/RichEditControl.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"
#include "web/PageBody.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextDocument>
#include <QTreeWidget>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace site {

namespace {

const QByteArray kCharsetLine = R"(<META http-equiv=Content-Type content="text/html; charset=windows-1251">)";
const QByteArray kBodyLine = R"(<body style="font-family: Arial">)";

// The transliteration of one character, or the character itself.
QChar liter(QChar c)
{
    static const QHash<char16_t, char16_t> table = [] {
        QHash<char16_t, char16_t> t;
        const struct {
            const char16_t* from;
            char16_t to;
        } rows[] = {{u"аА", 'a'}, {u"бБ", 'b'}, {u"вВ", 'v'}, {u"гГ", 'g'}, {u"дД", 'd'}, {u"еЕ", 'e'},
                    {u"жЖзЗ", 'z'}, {u"иИйЙыЫяЯ", 'i'}, {u"кК", 'k'}, {u"лЛ", 'l'}, {u"мМ", 'm'},
                    {u"нН", 'n'}, {u"оО", 'o'}, {u"пП", 'p'}, {u"рР", 'r'}, {u"сСшШщЩ", 's'},
                    {u"тТ", 't'}, {u"уУ", 'u'}, {u"фФ", 'f'}, {u"хХ", 'h'}, {u"цЦчЧ", 'c'},
                    {u"ъЪьЬ", '_'}, {u"эЭ", 'j'}, {u"юЮ", 'y'}, {u" ", '_'}};
        for (const auto& r : rows)
            for (const char16_t* p = r.from; *p; ++p)
                t.insert(*p, r.to);
        for (char16_t c = 'A'; c <= 'Z'; ++c)
            t.insert(c, char16_t(c - 'A' + 'a'));
        return t;
    }();
    const auto it = table.constFind(c.unicode());
    return it == table.constEnd() ? c : QChar(*it);
}

// A node text that can name a file directly in the catalog and in the output folder.
bool usableName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name)
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

QString reasonText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

QString withSlash(QString p)
{
    p.replace(u'\\', u'/');
    if (!p.endsWith(u'/'))
        p += u'/';
    return p;
}

// The folder as the file system sees it, for comparing two spellings of one folder.
QString sameFolderKey(const QString& dir)
{
    const QString resolved = platform::resolvePath(dir);
    const QString canonical = QFileInfo(resolved).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(resolved).absoluteFilePath()) : canonical;
}

enum class Kind { Include, Page, Note };

// A catalog received from someone else may hold links to any file of the user ("key.htm" to a
// private key); publishing one would put that file on the user's web site. A file that is a link
// leading out of the catalog is therefore taken only when it is what its name says: a page by
// its content, a note in RTF; an include file never.
bool publishable(const QString& dir, const QString& path, Kind kind)
{
    if (!QFileInfo(path).isSymLink())
        return true;
    const QString inside = QFileInfo(dir).canonicalFilePath();
    const QString at = QFileInfo(path).canonicalFilePath();
    if (!inside.isEmpty() && at.startsWith(inside + u'/'))
        return true;
    QFile f(path);
    if (kind == Kind::Include || !f.open(QIODevice::ReadOnly))
        return false;
    QByteArray head = f.read(pagebody::kHeadBytes);
    if (kind == Kind::Page)
        return pagebody::isWebPage(QString(), head);
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    return head.startsWith("{\\rtf");
}

QString existingFile(const QString& dir, const QString& name, Kind kind)
{
    const QString p = platform::resolveIn(dir, name);
    return QFileInfo(p).isFile() && publishable(dir, p, kind) ? p : QString();
}

QList<QByteArray> optionalLines(const QString& catalog, const QString& name)
{
    QList<QByteArray> lines;
    const QString p = existingFile(catalog, name, Kind::Include);
    if (!p.isEmpty())
        platform::loadLines(p, lines);
    return lines;
}

// Output names, claimed once each, compared without regard to case. A name too long for a file
// name (a note's page ends in ".html", one byte more than its ".rtf") is cut and given a tag
// made from the whole name, so it stays the same from run to run and apart from its neighbours.
class NamePlan {
public:
    NamePlan()
    {
        taken_.insert(QStringLiteral("index.html"));
        taken_.insert(QStringLiteral("_one_file.html"));
    }
    // base + ext when free, else base + "_2" + ext, "_3", ...
    QString claim(const QString& base, const QString& ext)
    {
        QString name = fitted(base, QString(), ext);
        for (int n = 2; taken_.contains(name.toLower()); ++n)
            name = fitted(base, QLatin1Char('_') + QString::number(n), ext);
        taken_.insert(name.toLower());
        return name;
    }

private:
    static QString fitted(const QString& base, const QString& suffix, const QString& ext)
    {
        const qsizetype limit = platform::longestSavedName();
        QString name = base + suffix + ext;
        if (QFile::encodeName(name).size() <= limit)
            return name;
        const QString tag = QLatin1Char('~') +
                            QString::fromLatin1(QCryptographicHash::hash(base.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
        const qsizetype room = limit - QFile::encodeName(tag + suffix + ext).size();
        QString cut = base;
        while (!cut.isEmpty() && QFile::encodeName(cut).size() > room)
            cut.chop(cut.size() >= 2 && cut.at(cut.size() - 1).isLowSurrogate() ? 2 : 1);
        return cut + tag + suffix + ext;
    }
    QSet<QString> taken_;
};

struct Note {
    QString source;   // the ".rtf" file
    QString page;     // output name
    QStringList lines;
    bool hasText = false;
};

struct Copy {
    QString source;
    QString out;
};

struct PlannedNode {
    QString text;
    QString name; // the text trimmed
    int level = 0;
    int note = -1;  // index into the notes, -1 when the node has no note page
    int htm = -1;   // index into the copies of its ".htm" page
    int html = -1;  // of its ".html" page
};

class SiteWriter {
public:
    SiteWriter(const QString& outDir, SiteResult& result) : out_(outDir), result_(result) {}

    bool write(const QString& name, const QList<QByteArray>& lines)
    {
        const QString path = out_ + name;
        // A link left in an older site would carry the write outside the output folder.
        if (QFileInfo(path).isSymLink())
            QFile::remove(path);
        QString error;
        if (!batch_.add(path, platform::joinLines(lines), &error))
            return fail(error);
        result_.files.append(name);
        return true;
    }
    // Every file replaces its older self only now, all together, after one flush to disk.
    bool commit()
    {
        QString error;
        return batch_.commit(&error) || fail(error);
    }

private:
    bool fail(const QString& error)
    {
        result_.error = QStringLiteral("The site could not be written into the folder %1: %2").arg(out_, error);
        return false;
    }
    QString out_;
    SiteResult& result_;
    platform::AtomicBatch batch_;
};

QByteArray metaLine(const QString& text, const char* name)
{
    return "<META content=\"" + PageText(text) + " \" name=" + name + ">";
}

// The index page: the tree as the tree file would hold it after a save, one line per node, with
// a link to each page written in this run.
QList<QByteArray> index(const QList<PlannedNode>& plan, const QList<Note>& notes, const QList<Copy>& copies)
{
    QList<QByteArray> lines{kCharsetLine,
                            R"(<META content=" " name=keywords>)",
                            R"(<META content=" " name=description>)",
                            "<title>  </title>",
                            "<BODY><HTML>",
                            R"(<!--#include file="f1.html"-->)",
                            R"(<h1 align="center">)" + HtmlText(plan.isEmpty() ? QString() : plan[0].text) + "</h1>"};
    for (qsizetype i = 1; i < plan.size(); ++i) {
        const PlannedNode& p = plan[i];
        const QString line = QString(p.level, u'\t') + p.text;
        int lead = 0;
        while (lead < line.size() - 1 && (line[lead] == u' ' || line[lead] == u'\t'))
            ++lead;
        if (lead <= 1)
            lines.append("</p><p>");
        QByteArray l = QByteArray("&nbsp;&nbsp;&nbsp;").repeated(lead);
        const QByteArray name = HtmlText(p.name);
        if (p.note >= 0 && notes[p.note].hasText)
            l += "<a href=\"" + HrefText(notes[p.note].page) + "\">" + name + "</a><br>";
        else if (p.note < 0 && p.htm >= 0)
            l += "<a href=\"" + HrefText(copies[p.htm].out) + "\">" + name + "</a><br>";
        else
            l += name + "<br>";
        lines.append(l);
    }
    lines.append(R"(<!--#include file="f2.html"-->)");
    lines.append("</HTML></BODY>");
    return lines;
}

} // namespace

QString ChangeLiters(const QString& name)
{
    QString out = name;
    for (QChar& c : out)
        c = liter(c);
    return out;
}

QStringList NoteLines(const QString& path, QTextDocument* doc)
{
    QByteArray bytes;
    if (!platform::readWholeFile(path, bytes))
        return {};
    QTextDocument own;
    QTextDocument& d = doc ? *doc : own;
    // Read as the rich edit control reads a note: RTF when it is RTF, plain text otherwise.
    if (!platform::ReadRtfForText(bytes, d, nullptr)) {
        d.clear();
        platform::SetPlainTextOf(d, platform::PlainTextFromBytes(bytes));
    }
    const QString raw = d.toRawText();
    QStringList lines;
    QString line;
    for (QChar c : raw) {
        const char16_t u = c.unicode();
        if (u == 0x2029 || u == 0x2028) {
            lines.append(line);
            line.clear();
        } else if (u != QChar::ObjectReplacementCharacter) {
            line.append(c);
        }
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

QByteArray PageText(const QString& text)
{
    bool ok = true;
    QByteArray bytes = platform::toCp1251(text, &ok);
    if (ok)
        return bytes;
    bytes.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text.at(i).unicode();
        qsizetype len = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            len = 2;
        }
        const QStringView one(text.constData() + i, len);
        if (len == 1 && platform::canEncode(platform::CodePage::Windows1251, one))
            bytes += platform::toCp1251(one);
        else
            bytes += "&#" + QByteArray::number(uint(code)) + ";";
        i += len - 1;
    }
    return bytes;
}

namespace {
// The text with each listed character replaced by its spelling, then as page text.
QByteArray spelled(const QString& text, std::initializer_list<std::pair<char16_t, QLatin1String>> spellings)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        auto it = std::find_if(spellings.begin(), spellings.end(), [c](const auto& sp) { return sp.first == c.unicode(); });
        if (it == spellings.end())
            s += c;
        else
            s += it->second;
    }
    return PageText(s);
}
} // namespace

QByteArray HtmlText(const QString& text)
{
    return spelled(text, {{u'&', QLatin1String("&amp;")},
                          {u'<', QLatin1String("&lt;")},
                          {u'>', QLatin1String("&gt;")},
                          {u'"', QLatin1String("&quot;")}});
}

QByteArray HrefText(const QString& fileName)
{
    return spelled(fileName, {{u'%', QLatin1String("%25")},
                              {u'#', QLatin1String("%23")},
                              {u'?', QLatin1String("%3F")},
                              {u'<', QLatin1String("%3C")},
                              {u'>', QLatin1String("%3E")},
                              {u'&', QLatin1String("&amp;")},
                              {u'"', QLatin1String("&quot;")}});
}

QList<TreeEntry> TreeEntries(const QTreeWidget* tree)
{
    QList<TreeEntry> out;
    const QList<QTreeWidgetItem*> nodes = treefile::allNodes(tree);
    out.reserve(nodes.size());
    QHash<const QTreeWidgetItem*, int> levels;
    levels.reserve(nodes.size());
    for (const QTreeWidgetItem* n : nodes) {
        const int level = n->parent() ? levels.value(n->parent()) + 1 : 0;
        levels.insert(n, level);
        out.append({n->text(0), level, treefile::selectedIndex(n) == 1});
    }
    return out;
}

SiteResult MakeSite(const QList<TreeEntry>& tree, const SiteSettings& settings, QTextDocument* reader)
{
    const QDateTime started = QDateTime::currentDateTime();
    SiteResult result;
    const QString catalog = withSlash(settings.catalog);
    const QString out = withSlash(platform::resolvePath(withSlash(settings.outDir)));
    result.outDir = out;
    if (settings.outDir.trimmed().isEmpty()) {
        result.error = QStringLiteral("No output folder is given for the site.");
        return result;
    }
    if (sameFolderKey(out) == sameFolderKey(catalog)) {
        result.error = QStringLiteral("The output folder %1 is the catalog folder itself: the pages would replace the "
                                      "catalog's own files. Choose another folder for the site.")
                           .arg(out);
        return result;
    }
    // One level is created, as the window promises; a missing parent is a clear error.
    if (!QFileInfo(out).isDir()) {
        if (::mkdir(QFile::encodeName(out).constData(), 0777) != 0 && errno != EEXIST) {
            result.error = QStringLiteral("The folder %1 for the site cannot be created: %2.").arg(out, reasonText(errno));
            return result;
        }
        if (!QFileInfo(out).isDir()) {
            result.error = QStringLiteral("The folder %1 for the site cannot be created: a file of that name is in the way.")
                               .arg(out);
            return result;
        }
    }

    // A run killed before its files were renamed into place left one hidden temporary per page;
    // only the save's own names for pages (".index.html.morvanel-Ab12Cd") made before this run
    // go: a user's ".notes.html.backup" in the folder stays.
    if (settings.clearLeftovers)
        platform::removeLeftoverTemporaries(out, started, [](const QString& page) {
            return page.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
                   page.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
        });

    platform::ResolveScope scope;
    const QList<QByteArray> metatags = optionalLines(catalog, QStringLiteral("metatags"));
    const QList<QByteArray> f1 = optionalLines(catalog, QStringLiteral("f1.html"));
    const QList<QByteArray> f2 = optionalLines(catalog, QStringLiteral("f2.html"));

    // ---- the plan: every node with its page names, made once for the whole run
    QList<PlannedNode> plan;
    plan.reserve(tree.size());
    QList<Note> notes;
    QList<Copy> copies;
    QHash<QString, int> noteOfSource, copyOfSource;
    NamePlan names;
    for (const TreeEntry& e : tree) {
        PlannedNode p;
        p.text = e.text;
        p.name = e.text.trimmed();
        p.level = e.level;
        if (!e.leftOut && usableName(p.name)) {
            // Copied pages keep their names, so they claim them before the note pages do.
            for (const char* ext : {".htm", ".html"}) {
                const QString src = existingFile(catalog, p.name + QLatin1String(ext), Kind::Page);
                if (src.isEmpty())
                    continue;
                int& slot = QByteArray(ext) == ".htm" ? p.htm : p.html;
                auto it = copyOfSource.constFind(src);
                if (it == copyOfSource.constEnd()) {
                    it = copyOfSource.insert(src, int(copies.size()));
                    copies.append({src, names.claim(p.name, QLatin1String(ext))});
                }
                slot = *it;
            }
            const QString rtf = existingFile(catalog, p.name + QStringLiteral(".rtf"), Kind::Note);
            if (!rtf.isEmpty()) {
                auto it = noteOfSource.constFind(rtf);
                if (it == noteOfSource.constEnd()) {
                    it = noteOfSource.insert(rtf, int(notes.size()));
                    Note n;
                    n.source = rtf;
                    notes.append(n);
                }
                p.note = *it;
            }
        }
        plan.append(p);
    }
    for (Note& n : notes) {
        n.lines = NoteLines(n.source, reader);
        for (const QString& l : std::as_const(n.lines))
            if (!l.trimmed().isEmpty()) {
                n.hasText = true;
                break;
            }
    }
    // Note pages after every copy has its name; nodes of one text share their page.
    for (PlannedNode& p : plan) {
        if (p.note < 0 || !notes[p.note].page.isEmpty())
            continue;
        notes[p.note].page = names.claim(settings.transliterate ? ChangeLiters(p.name) : p.name, QStringLiteral(".html"));
    }

    SiteWriter writer(out, result);

    // ---- the index, with the tree's levels as the tree file would hold them
    if (!writer.write(QStringLiteral("index.html"), index(plan, notes, copies)))
        return result;

    // ---- copies and note pages, each once
    for (const Copy& c : std::as_const(copies)) {
        QList<QByteArray> lines;
        QString error;
        if (!platform::loadLines(c.source, lines, &error)) {
            result.error = error;
            return result;
        }
        if (!writer.write(c.out, lines))
            return result;
    }
    const QByteArray keywords = metaLine(settings.keywords, "keywords");
    const QByteArray description = metaLine(settings.description, "description");
    QSet<int> written;
    for (const PlannedNode& p : std::as_const(plan)) {
        if (p.note < 0 || written.contains(p.note))
            continue;
        written.insert(p.note);
        const Note& n = notes[p.note];
        QList<QByteArray> page{"<html><head>", kCharsetLine, keywords, description};
        page += metatags;
        page.append("<title>" + HtmlText(p.name) + "</title>");
        page.append(kBodyLine);
        page.append("</head>");
        if (f1.isEmpty())
            page.append(R"(<!--#include file="f1.html"-->)");
        else
            page += f1;
        page.append(R"(<h2 align="center">)" + PageText(n.lines.value(0)) + "</h2>");
        for (qsizetype i = 1; i < n.lines.size(); ++i)
            page.append("<p>" + PageText(n.lines[i]) + "</p>");
        if (f2.isEmpty())
            page.append(R"(<!--#include file="f2.html"-->)");
        else
            page += f2;
        page.append("</BODY>");
        page.append("</HTML>");
        if (!writer.write(n.page, page))
            return result;
    }

    // ---- every note on one page, in tree order
    QList<QByteArray> one{"<html><head>", kCharsetLine, kBodyLine, "</head>"};
    for (const PlannedNode& p : std::as_const(plan)) {
        if (p.note < 0)
            continue;
        const Note& n = notes[p.note];
        one.append("<p></p>");
        one.append(R"(<h2 align="center">)" + PageText(n.lines.value(0)) + "</h2>");
        for (qsizetype i = 1; i < n.lines.size(); ++i) {
            const QString& l = n.lines[i];
            if (l.left(8).toLower() == QLatin1String("material"))
                one.append(R"(<p align="center"><img src=")" + PageText(l) + R"("></p>)");
            else
                one.append("<p>" + PageText(l) + "</p>");
        }
    }
    if (!writer.write(QStringLiteral("_one_file.html"), one) || !writer.commit())
        return result;
    result.ok = true;
    return result;
}

} // namespace site
