// The link list's plain part: collection, order and stop list changes.
#include "LinkList.h"

#include "PageHeader.h"
#include "platform/text/LineList.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace links {

bool lessNoCase(const QString& a, const QString& b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

qsizetype insertPos(const QStringList& sorted, const QString& s)
{
    return std::lower_bound(sorted.begin(), sorted.end(), s, lessNoCase) - sorted.begin();
}

QString localPath(const QString& address)
{
    if (!address.startsWith(QLatin1String("file:///")))
        return address;
    const QString p = QUrl(address).toLocalFile();
    return p.isEmpty() ? QUrl::fromPercentEncoding(address.mid(7).toUtf8()) : p;
}

bool isLocalAddress(const QString& address)
{
    return address.startsWith(u'/') || address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

bool ownLocalPage(const QString& address)
{
    if (!isLocalAddress(address))
        return false;
    int mark = 0;
    const QString from = ReadLinkHeaderValue(localPath(address), QStringLiteral("DownloadURL"), mark);
    return from.isEmpty() || isLocalAddress(from);
}

namespace {
// An address a download can fetch: http, https or a local file (already a path when it came as
// "file:///"). Scripts, mail, the engine's own error page and the like never can.
bool fetchable(const QString& address)
{
    if (address.startsWith(u'/'))
        return true;
    const QString scheme = address.section(u':', 0, 0).toLower();
    return address.contains(u':') &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("file"));
}
} // namespace

QStringList collectLinks(QStringList hrefs, const QStringList& stopEntries, bool fromLocalPage)
{
    std::sort(hrefs.begin(), hrefs.end(), lessNoCase);
    // A stop entry that another entry begins with adds nothing; without them, the one entry
    // that can begin an address is the greatest entry not after it.
    QStringList stops;
    for (const QString& s : stopEntries)
        if (!s.isEmpty())
            stops << s;
    std::sort(stops.begin(), stops.end());
    QStringList pruned;
    for (const QString& s : stops)
        if (pruned.isEmpty() || !s.startsWith(pruned.last()))
            pruned << s;
    auto stopped = [&pruned](const QString& a) {
        auto it = std::upper_bound(pruned.begin(), pruned.end(), a);
        return it != pruned.begin() && a.startsWith(*(it - 1));
    };
    QStringList out;
    out.reserve(hrefs.size());
    QString previous;
    for (QString a : hrefs) {
        if (!fromLocalPage && isLocalAddress(a))
            continue;
        a = localPath(a);
        if (!fetchable(a) || stopped(a) || a == previous)
            continue;
        previous = a;
        if (!a.isEmpty())
            out << a;
    }
    // Local paths changed their text: the list is kept in order all the same.
    std::stable_sort(out.begin(), out.end(), lessNoCase);
    return out;
}

QStringList readStopList(const QString& path)
{
    QStringList lines, out;
    if (QFileInfo(path).isFile())
        platform::loadLines1251(path, lines);
    for (const QString& l : lines)
        if (!l.isEmpty())
            out << l;
    std::sort(out.begin(), out.end(), lessNoCase);
    return out;
}

bool changeStopList(const QString& path, const QString& remove, const QString& add, QStringList* entries, QString* error)
{
    QStringList list = readStopList(path);
    if (!remove.isEmpty())
        list.removeOne(remove);
    if (!add.isEmpty())
        list.insert(insertPos(list, add), add);
    if (entries)
        *entries = list;
    return platform::saveLines1251(path, list, error);
}

} // namespace links
