// Merging a fetched page into its task file.
#include "PageMerge.h"

#include "PageHeader.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

namespace merge {

namespace {

char lowerByte(char c, bool cyr)
{
    const uchar b = uchar(c);
    if (b >= 'A' && b <= 'Z')
        return char(b + 32);
    if (cyr) {
        if (b >= 0xC0 && b <= 0xDF)
            return char(b + 32);
        if (b == 0xA8)
            return char(0xB8);
    }
    return c;
}

QByteArray lowered(const QByteArray& s, bool cyr)
{
    QByteArray out = s;
    for (char& c : out)
        c = lowerByte(c, cyr);
    return out;
}

bool hasScheme(const QByteArray& link)
{
    if (link.isEmpty() || !isalpha(uchar(link[0])))
        return false;
    for (qsizetype i = 1; i < link.size(); ++i) {
        const char c = link[i];
        if (c == ':')
            return true;
        if (!isalnum(uchar(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

// RFC 3986 5.2.4.
QByteArray removeDots(const QByteArray& path)
{
    QList<QByteArray> out;
    const QList<QByteArray> parts = path.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray& p = parts[i];
        const bool last = i == parts.size() - 1;
        if (p == ".") {
            if (last)
                out.append(QByteArray());
        } else if (p == "..") {
            if (out.size() > 1)
                out.removeLast();
            if (last)
                out.append(QByteArray());
        } else {
            out.append(p);
        }
    }
    QByteArray r = out.join('/');
    if (path.startsWith('/') && !r.startsWith('/'))
        r.prepend('/');
    return r;
}

// "href=" in any letter case.
bool hasHref(QByteArrayView line)
{
    for (qsizetype i = 4; i < line.size(); ++i) {
        if (line[i] != '=')
            continue;
        const char* p = line.data() + i - 4;
        if ((p[0] | 0x20) == 'h' && (p[1] | 0x20) == 'r' && (p[2] | 0x20) == 'e' && (p[3] | 0x20) == 'f')
            return true;
    }
    return false;
}

} // namespace

PageEncoding pageEncoding(QByteArrayView body, const QString& serverCharset)
{
    PageEncoding e;
    e.name = QStringLiteral("windows-1251");
    if (body.startsWith("\xEF\xBB\xBF")) {
        e.name = QStringLiteral("utf-8");
        e.declared = true;
        e.bomLength = 3;
    } else if (body.startsWith(QByteArrayView("\xFF\xFE\0\0", 4))) {
        e = {QStringLiteral("utf-32le"), true, 4, true};
    } else if (body.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        e = {QStringLiteral("utf-32be"), true, 4, true};
    } else if (body.startsWith("\xFF\xFE")) {
        e = {QStringLiteral("utf-16le"), true, 2, true};
    } else if (body.startsWith("\xFE\xFF")) {
        e = {QStringLiteral("utf-16be"), true, 2, true};
    }
    if (e.declared)
        return e;
    static const QRegularExpression meta(QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?([A-Za-z0-9_.:-]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(body.first(qMin<qsizetype>(body.size(), 8192)));
    const auto m = meta.match(head);
    if (m.hasMatch()) {
        e.name = m.captured(1).toLower();
        e.declared = true;
        return e;
    }
    const QString server = serverCharset.trimmed().toLower();
    if (!server.isEmpty()) {
        e.name = server;
        const bool utf16 = server.startsWith(QLatin1String("utf-16"));
        if (utf16 || server.startsWith(QLatin1String("utf-32"))) {
            e.wide = true;
            // Without a byte order mark, UTF-16 has no order of its own: the little-endian
            // default. A variant name the decoder does not know would decode the page to
            // nothing: it is read in its family's default order instead.
            if (server == QLatin1String("utf-16") || !QStringConverter::encodingForName(server.toLatin1().constData()))
                e.name = utf16 ? QStringLiteral("utf-16le") : QStringLiteral("utf-32le");
        }
    }
    return e;
}

QByteArray dateLine(int slot, const QDateTime& when)
{
    const QLocale loc = QLocale::system();
    QString timeFormat = loc.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    const QString date = loc.toString(when.date(), QLocale::ShortFormat);
    const QString time = loc.toString(when.time(), timeFormat.trimmed());
    if (slot == 1)
        return makeHeaderLine(HeaderLines::DataTime, date + QLatin1Char('/') + time);
    return makeHeaderLine(HeaderLines::DateTime, date + QLatin1Char(' ') + time);
}

namespace {
// A base address taken apart once for all the links of a page.
struct Base {
    bool ok = false;
    QByteArray origin;   // scheme://authority
    QByteArray path;     // the path, "/" at least
    QByteArray dir;      // the path up to its last "/"
    QByteArray noFrag;   // the address less its fragment
    explicit Base(const QByteArray& base)
    {
        const qsizetype schemeEnd = base.indexOf("://");
        if (schemeEnd < 0)
            return;
        ok = true;
        qsizetype pathStart = base.indexOf('/', schemeEnd + 3);
        qsizetype end = base.size();
        for (char c : {'?', '#'}) {
            const qsizetype at = base.indexOf(c, schemeEnd + 3);
            if (at >= 0 && at < end)
                end = at;
        }
        if (pathStart < 0 || pathStart > end)
            pathStart = end;
        origin = base.left(pathStart);
        path = base.mid(pathStart, end - pathStart);
        if (path.isEmpty())
            path = "/";
        dir = path.left(path.lastIndexOf('/') + 1);
        const qsizetype frag = base.indexOf('#');
        noFrag = frag < 0 ? base : base.left(frag);
    }
    QByteArray resolve(const QByteArray& link) const
    {
        if (!ok || link.isEmpty() || hasScheme(link) || link.startsWith('#') || link.startsWith("//"))
            return link;
        qsizetype refPathEnd = link.size();
        for (qsizetype i = 0; i < link.size(); ++i)
            if (link[i] == '?' || link[i] == '#') {
                refPathEnd = i;
                break;
            }
        if (refPathEnd == 0) // "?query": the fragment case was taken above
            return origin + (path.contains("/.") ? removeDots(path) : path) + link;
        // Dot segments are rare: the path is only rebuilt when it has one.
        const QByteArrayView refPath(link.constData(), refPathEnd);
        const bool dots = refPath.startsWith('.') || refPath.contains("/.") || (!refPath.startsWith('/') && dir.contains("/."));
        QByteArray out;
        out.reserve(origin.size() + dir.size() + link.size());
        out += origin;
        if (refPath.startsWith('/')) {
            out += dots ? removeDots(refPath.toByteArray()) : refPath.toByteArray();
        } else if (dots) {
            out += removeDots(dir + refPath.toByteArray());
        } else {
            out += dir;
            out += refPath;
        }
        out += QByteArrayView(link).sliced(refPathEnd);
        return out;
    }
};

QByteArray rebaseWith(const QByteArray& line, const Base& base, bool cyr);
} // namespace

QByteArray resolveLink(const QByteArray& link, const QByteArray& base) { return Base(base).resolve(link); }

QByteArray rebaseLine(const QByteArray& line, const QByteArray& base, bool cyr) { return rebaseWith(line, Base(base), cyr); }

namespace {
QByteArray rebaseWith(const QByteArray& line, const Base& base, bool cyr)
{
    const QByteArray low = lowered(line, cyr);
    qsizetype from = low.indexOf("href=");
    if (from < 0)
        return line;
    // Built piece by piece: a minified page is one line with thousands of links, and replacing
    // each link in place would move the rest of the line every time.
    QByteArray out;
    out.reserve(low.size() + low.size() / 2);
    qsizetype copied = 0;
    while (from >= 0) {
        qsizetype start = from + 5;
        qsizetype end;
        if (start < low.size() && (low[start] == '"' || low[start] == '\'')) {
            const char q = low[start];
            ++start;
            end = low.indexOf(q, start);
            if (end < 0)
                end = low.size();
        } else {
            end = start;
            while (end < low.size() && low[end] != ' ' && low[end] != '>' && low[end] != '\t')
                ++end;
        }
        out.append(low.constData() + copied, start - copied);
        out += base.resolve(low.mid(start, end - start));
        copied = end;
        from = low.indexOf("href=", end);
    }
    out.append(low.constData() + copied, low.size() - copied);
    return out;
}
} // namespace

QByteArray baseHref(QByteArrayView body)
{
    static const QRegularExpression re(QStringLiteral("<base\\s[^>]*href\\s*=\\s*[\"']?([^\"'\\s>]+)"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(body.first(qMin<qsizetype>(body.size(), 65536)));
    const auto m = re.match(head);
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

QByteArray mergedPage(const QByteArray& taskFile, const QByteArray& bodyIn, const QString& serverCharset,
                      const QByteArray& date, const QString& finalUrl)
{
    // The kept header: the leading "<!-- " lines, less every download mark.
    QByteArray out;
    qsizetype pos = taskFile.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < taskFile.size()) {
        qsizetype end = pos;
        while (end < taskFile.size() && taskFile[end] != '\r' && taskFile[end] != '\n')
            ++end;
        const QByteArrayView line(taskFile.constData() + pos, end - pos);
        if (!line.startsWith("<!-- "))
            break;
        if (line != HeaderLines::DownloadMark) {
            out += line;
            out += "\r\n";
        }
        pos = end;
        if (pos < taskFile.size() && taskFile[pos] == '\r')
            ++pos;
        if (pos < taskFile.size() && taskFile[pos] == '\n')
            ++pos;
    }
    out += date + "\r\n";

    const PageEncoding enc = pageEncoding(bodyIn, serverCharset);
    QByteArray body = bodyIn.mid(enc.bomLength);
    QString charset = enc.name;
    if (enc.wide) {
        QStringDecoder dec(enc.name.toLatin1().constData());
        body = QString(dec.decode(body)).toUtf8();
        charset = QStringLiteral("utf-8");
    }
    if (!enc.declared && (!serverCharset.trimmed().isEmpty() || enc.wide))
        out += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset.toLatin1() + "\">\r\n";
    else if (enc.wide || enc.bomLength > 0) // the dropped byte order mark named UTF-8
        out += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n";

    QByteArray base = QUrl(finalUrl).toEncoded();
    const QByteArray declaredBase = baseHref(body);
    if (!declaredBase.isEmpty())
        base = resolveLink(declaredBase, base);
    const bool cyr = charset == QLatin1String("windows-1251") || charset == QLatin1String("cp1251");
    const Base pageBase(base);
    out.reserve(out.size() + body.size() + body.size() / 2);
    // Line by line in place: a page of hundreds of megabytes is not split into a list.
    const char* d = body.constData();
    const qsizetype n = body.size();
    qsizetype at = 0;
    while (at < n) {
        qsizetype end = at;
        while (end < n && d[end] != '\n' && d[end] != '\r')
            ++end;
        const QByteArrayView line(d + at, end - at);
        if (hasHref(line))
            out += rebaseWith(line.toByteArray(), pageBase, cyr);
        else
            out += line;
        out += "\r\n";
        at = end;
        if (at < n && d[at] == '\r')
            ++at;
        if (at < n && d[at] == '\n' && (d[at - 1] == '\r' || at == end))
            ++at;
    }
    return out;
}

} // namespace merge
