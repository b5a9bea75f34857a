// The category filter's plain part: entries, the category tree and the file search.
#include "CategoryFilter.h"

#include "PageHeader.h"

#include <QCollator>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <vector>

#include <algorithm>

namespace filtr {

namespace {

bool isSeparator(QChar c) { return c == u'/' || c == u'\\'; }

QString trimmedControl(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// Sorts as the system's collation does, without regard to case; texts that it holds equal keep
// a fixed order (by their code points), so the tree does not depend on the input order.
void collate(QStringList& list)
{
    QCollator c{QLocale::system()};
    c.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(list.size());
    for (qsizetype i = 0; i < list.size(); ++i)
        keys.emplace_back(c.sortKey(list[i]), i);
    std::sort(keys.begin(), keys.end(), [&list](const auto& a, const auto& b) {
        const int r = a.first.compare(b.first);
        return r != 0 ? r < 0 : list[a.second] < list[b.second];
    });
    QStringList out;
    out.reserve(list.size());
    for (const auto& k : keys)
        out << list[k.second];
    list = std::move(out);
}

} // namespace

QString entryText(const QString& line)
{
    QString s = line.size() > 8 ? line.mid(5, line.size() - 8) : QString();
    const qsizetype http = s.indexOf(QLatin1String("http://"));
    if (http >= 0)
        s.remove(http, 7);
    const qsizetype eq = s.indexOf(QLatin1String("=\""));
    if (eq >= 0)
        s.replace(eq, 2, QStringLiteral("/"));
    s = trimmedControl(s);
    if (s.endsWith(u'"'))
        s.chop(1);
    if (s.endsWith(u'-'))
        s.chop(1);
    return s;
}

QStringList entryCategories(const QString& e)
{
    if (e.isEmpty())
        return {};
    if (!e.startsWith(QLatin1String("UserKeywords")))
        return {e};
    const QString words = e.mid(13);
    const QChar sep = words.contains(u',') ? u',' : u';';
    QStringList out;
    for (const QString& w : words.split(sep)) {
        const QString k = w.trimmed();
        if (!k.isEmpty())
            out << QStringLiteral("UserKeywords/") + k;
    }
    return out;
}

namespace {
QFileInfoList pageInfos(const QString& folder)
{
    QFileInfoList out;
    QDir d(folder);
    const QFileInfoList list = d.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& fi : list) {
        if (fi.isDir())
            continue;
        const QString tail = fi.fileName().right(4).toLower();
        if (tail == QLatin1String(".htm") || tail == QLatin1String("shtm") || tail == QLatin1String("html"))
            out << fi;
    }
    return out;
}

QByteArray stampOf(const QFileInfoList& pages)
{
    QByteArray out;
    for (const QFileInfo& fi : pages)
        out += fi.fileName().toUtf8() + '\0' + QByteArray::number(fi.size()) + '\0' +
               QByteArray::number(fi.lastModified().toMSecsSinceEpoch()) + '\n';
    return out;
}
} // namespace

QStringList pageFiles(const QString& folder)
{
    QStringList out;
    for (const QFileInfo& fi : pageInfos(folder))
        out << folder + fi.fileName();
    return out;
}

QByteArray pagesStamp(const QString& folder) { return stampOf(pageInfos(folder)); }

QList<TreeLine> Maketree(const QStringList& entries)
{
    // Equal paths make one node: they are dropped before the sort, which is then short even
    // for a catalog of thousands of pages that share their categories.
    QSet<QString> unique;
    for (const QString& e : entries) {
        if (unique.contains(e))
            continue;
        for (qsizetype i = 0; i < e.size(); ++i)
            if (isSeparator(e[i]))
                unique.insert(e.left(i) + QLatin1Char('/'));
        unique.insert(e);
    }
    QStringList all(unique.begin(), unique.end());
    collate(all);
    QStringList kept;
    kept.reserve(all.size());
    QString last;
    for (const QString& l : all) {
        const QString t = l.trimmed();
        if (kept.isEmpty() ? t.isEmpty() : t == last)
            continue;
        kept << l;
        last = t;
    }
    QList<TreeLine> out;
    out.reserve(kept.size());
    int prevDepth = -1;
    for (const QString& l : kept) {
        int depth = 0;
        for (qsizetype i = 0; i + 1 < l.size(); ++i)
            if (isSeparator(l[i]))
                ++depth;
        QString body = l;
        if (body.endsWith(u'/'))
            body.chop(1);
        qsizetype cut = body.size();
        while (cut > 0 && !isSeparator(body[cut - 1]))
            --cut;
        // A line never stands more than one level below the line before it.
        depth = qMin(depth, prevDepth + 1);
        prevDepth = depth;
        out.append({depth, body.mid(cut)});
    }
    return out;
}

QStringList treeText(const QList<TreeLine>& tree)
{
    QStringList out;
    for (const TreeLine& t : tree)
        out << QString(t.depth, u' ') + t.text;
    return out;
}

QStringList CatalogHeaders::categories() const
{
    QStringList out;
    for (const QStringList& perFile : entries)
        for (const QString& e : perFile)
            out << entryCategories(e);
    return out;
}

CatalogHeaders readCatalog(const QString& folder)
{
    CatalogHeaders h;
    const QFileInfoList pages = pageInfos(folder);
    h.stamp = stampOf(pages);
    for (const QFileInfo& fi : pages)
        h.files << folder + fi.fileName();
    h.entries.reserve(h.files.size());
    for (const QString& f : h.files) {
        QStringList lines;
        const PageHead head = readPageHead(f);
        for (const QByteArray& l : head.lines) {
            QString e = entryText(headerLineText(l));
            if (!e.isEmpty())
                lines << std::move(e);
        }
        h.entries.append(lines);
    }
    return h;
}

QStringList findFiles(const CatalogHeaders& h, const QString& folder, const QStringList& texts)
{
    QStringList out;
    if (texts.isEmpty())
        return out;
    for (qsizetype i = 0; i < h.files.size(); ++i) {
        bool hit = false;
        for (const QString& e : h.entries[i]) {
            for (const QString& t : texts)
                if (e.contains(t)) {
                    hit = true;
                    break;
                }
            if (hit)
                break;
        }
        if (!hit)
            continue;
        QString name = h.files[i].mid(folder.size());
        for (const char* ext : {".shtm", ".html", ".htm"})
            if (name.endsWith(QLatin1String(ext), Qt::CaseInsensitive)) {
                name.chop(qsizetype(strlen(ext)));
                break;
            }
        out << name;
    }
    return out;
}

} // namespace filtr
