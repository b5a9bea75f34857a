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

// Whether the "=" at i ends the name "href", "src" or "srcset" (which sets srcset) in any letter
// case that starts the line or follows a blank, a quote or "/" as an attribute name does.
bool linkName(QByteArrayView line, qsizetype i, bool& srcset)
{
    auto named = [&line](qsizetype at, const char* name) {
        for (qsizetype k = 0; name[k]; ++k)
            if ((line[at + k] | 0x20) != name[k])
                return false;
        if (at == 0)
            return true;
        const char before = line[at - 1];
        return before == ' ' || before == '\t' || before == '\f' || before == '"' || before == '\'' || before == '/';
    };
    if (i >= 6 && named(i - 6, "srcset")) {
        srcset = true;
        return true;
    }
    return (i >= 4 && named(i - 4, "href")) || (i >= 3 && named(i - 3, "src"));
}

// Whether the line holds, at i, "<" + name in any letter case, ended by no letter or digit.
bool tagAt(QByteArrayView line, qsizetype i, QByteArrayView name)
{
    if (i + 1 + name.size() > line.size() || line[i] != '<')
        return false;
    for (qsizetype k = 0; k < name.size(); ++k)
        if ((line[i + 1 + k] | 0x20) != name[k])
            return false;
    const qsizetype after = i + 1 + name.size();
    return after == line.size() || !isalnum(uchar(line[after]));
}

// Where the doctype that opens a page (after blanks and comments) ends, or 0 when there is none.
qsizetype doctypeEnd(QByteArrayView body)
{
    qsizetype i = 0;
    for (;;) {
        while (i < body.size() && isspace(uchar(body[i])))
            ++i;
        if (!body.sliced(i).startsWith("<!--"))
            break;
        const qsizetype end = body.indexOf("-->", i + 4);
        if (end < 0)
            return 0;
        i = end + 3;
    }
    static const char doctype[] = "<!doctype";
    if (body.size() - i < qsizetype(sizeof doctype - 1))
        return 0;
    for (qsizetype k = 0; k < qsizetype(sizeof doctype - 1); ++k)
        if ((body[i + k] | 0x20) != doctype[k])
            return 0;
    const qsizetype close = body.indexOf('>', i);
    return close < 0 ? 0 : close + 1;
}

// Whether the bytes are well-formed UTF-8 that holds at least one character beyond ASCII.
bool utf8Text(QByteArrayView bytes)
{
    bool beyondAscii = false;
    const uchar* p = reinterpret_cast<const uchar*>(bytes.data());
    const uchar* const end = p + bytes.size();
    while (p < end) {
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        beyondAscii = true;
        // Continuation bytes, and the range of the first one (no overlong forms, no surrogates,
        // nothing above U+10FFFF).
        int more;
        uchar lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (end - p <= more || p[1] < lo || p[1] > hi)
            return false;
        for (int k = 2; k <= more; ++k)
            if ((p[k] & 0xC0) != 0x80)
                return false;
        p += more + 1;
    }
    return beyondAscii;
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
    } else if (utf8Text(body)) {
        // Nothing names the charset, but Windows-1251 text is next to never well-formed UTF-8.
        e.name = QStringLiteral("utf-8");
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
    QByteArray scheme;   // "http", ...
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
        scheme = base.left(schemeEnd);
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
        if (!ok || link.isEmpty() || hasScheme(link) || link.startsWith('#'))
            return link;
        // Another host by the page's scheme: left as it is, a page opened from its file would
        // look for it as a file.
        if (link.startsWith("//"))
            return scheme + ':' + link;
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

// Where the scan of a page stands between its lines: links are attributes of tags, never the
// text, comments or the content of scripts and styles (a script's "var src=e.src" stays code).
struct Scan {
    enum Where : char { Text, Tag, Comment, Raw } where = Text;
    char quote = 0;          // the quote of an attribute value open in a tag
    QByteArrayView raw;      // the element whose content is no markup: "/script", "/style"
    // Within a srcset value: before a candidate's address, in its descriptor, or in brackets of
    // the descriptor (where a comma ends nothing). None outside one.
    enum Candidate : char { NoSrcset, Address, Descriptor, Bracket } srcset = NoSrcset;
};

bool srcsetBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\n' || c == '\r'; }

// The addresses of the srcset value's part line[i, to) resolved, going on from where its part on
// the line before left the candidate. An address runs to the first blank, less the commas that
// end it: "data:" addresses keep their own commas. Descriptors, blanks and commas stay as served.
void rebaseSrcset(QByteArray& out, qsizetype& copied, QByteArrayView line, qsizetype i, qsizetype to, const Base& base,
                  Scan::Candidate& at)
{
    while (i < to) {
        const char c = line[i];
        if (at == Scan::Address) {
            if (srcsetBlank(c) || c == ',') {
                ++i;
                continue;
            }
            qsizetype end = i;
            while (end < to && !srcsetBlank(line[end]))
                ++end;
            qsizetype addressEnd = end;
            while (line[addressEnd - 1] == ',')
                --addressEnd;
            out.append(line.data() + copied, i - copied);
            out += base.resolve(line.sliced(i, addressEnd - i).toByteArray());
            copied = addressEnd;
            at = addressEnd < end ? Scan::Address : Scan::Descriptor;
            i = end;
        } else {
            if (c == '(')
                at = Scan::Bracket;
            else if (c == ')' && at == Scan::Bracket)
                at = Scan::Descriptor;
            else if (c == ',' && at == Scan::Descriptor)
                at = Scan::Address;
            ++i;
        }
    }
}

void rebaseInto(QByteArray& out, QByteArrayView line, const Base& base, Scan& s);
} // namespace

QByteArray resolveLink(const QByteArray& link, const QByteArray& base) { return Base(base).resolve(link); }

QByteArray rebaseLine(const QByteArray& line, const QByteArray& base)
{
    QByteArray out;
    Scan s;
    s.where = Scan::Tag; // the line may go on with a tag begun on the line before
    rebaseInto(out, line, Base(base), s);
    return out;
}

namespace {
void rebaseInto(QByteArray& out, QByteArrayView line, const Base& base, Scan& s)
{
    // Only the links change: every other byte of the line stays as served. Built piece by
    // piece: a minified page is one line with thousands of links, and replacing each link in
    // place would move the rest of the line every time.
    const qsizetype n = line.size();
    qsizetype copied = 0, i = 0;
    while (i < n) {
        if (s.where == Scan::Text) {
            const qsizetype lt = line.indexOf('<', i);
            if (lt < 0)
                break;
            i = lt + 1;
            if (line.sliced(lt).startsWith("<!--")) {
                s.where = Scan::Comment;
                i = lt + 4;
            } else if (i < n && (isalpha(uchar(line[i])) || line[i] == '/')) {
                s.where = Scan::Tag;
                s.quote = 0;
                s.raw = tagAt(line, lt, "script") ? "/script" : tagAt(line, lt, "style") ? "/style" : QByteArrayView();
            }
        } else if (s.where == Scan::Comment) {
            const qsizetype end = line.indexOf("-->", i);
            if (end < 0)
                break;
            i = end + 3;
            s.where = Scan::Text;
        } else if (s.where == Scan::Raw) {
            const qsizetype lt = line.indexOf('<', i);
            if (lt < 0)
                break;
            i = lt + 1;
            if (tagAt(line, lt, s.raw)) {
                s.where = Scan::Tag;
                s.raw = {};
            }
        } else if (s.quote) {
            const qsizetype q = line.indexOf(s.quote, i);
            if (s.srcset != Scan::NoSrcset)
                rebaseSrcset(out, copied, line, i, q < 0 ? n : q, base, s.srcset);
            if (q < 0)
                break;
            i = q + 1;
            s.quote = 0;
            s.srcset = Scan::NoSrcset;
        } else if (line[i] == '>') {
            s.where = s.raw.isEmpty() ? Scan::Text : Scan::Raw;
            ++i;
        } else if (line[i] == '"' || line[i] == '\'') {
            s.quote = line[i++];
        } else if (bool srcset = false; line[i] == '=' && linkName(line, i, srcset)) {
            qsizetype start = i + 1, end;
            if (start < n && (line[start] == '"' || line[start] == '\'')) {
                const char q = line[start++];
                end = line.indexOf(q, start);
                if (end < 0)
                    end = n, s.quote = q; // the value goes on on the next line
                i = end + 1;
            } else {
                end = start;
                while (end < n && line[end] != ' ' && line[end] != '>' && line[end] != '\t')
                    ++end;
                i = end;
            }
            if (srcset) {
                Scan::Candidate at = Scan::Address;
                rebaseSrcset(out, copied, line, start, end, base, at);
                if (s.quote)
                    s.srcset = at;
                continue;
            }
            // Blanks around a quoted address are no part of it, as a browser reads it: " http://x/"
            // stays absolute.
            qsizetype from = start, to = end;
            while (from < to && isspace(uchar(line[from])))
                ++from;
            while (to > from && isspace(uchar(line[to - 1])))
                --to;
            out.append(line.data() + copied, from - copied);
            out += base.resolve(line.sliced(from, to - from).toByteArray());
            copied = to;
        } else {
            ++i;
        }
    }
    out.append(line.data() + copied, n - copied);
}
} // namespace

namespace {
// The <base href=...> value of a page's head: its place in the bytes, or an empty match.
QRegularExpressionMatch baseMatch(QByteArrayView body)
{
    static const QRegularExpression re(QStringLiteral("<base\\s[^>]*href\\s*=\\s*[\"']?([^\"'\\s>]+)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(QString::fromLatin1(body.first(qMin<qsizetype>(body.size(), 65536))));
}
} // namespace

QByteArray baseHref(QByteArrayView body)
{
    const auto m = baseMatch(body);
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
    // The engine reads a page that names no charset as Windows-1251.
    QByteArray meta;
    if (!enc.declared && (!serverCharset.trimmed().isEmpty() || enc.wide || charset != QLatin1String("windows-1251")))
        meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset.toLatin1() + "\">\r\n";
    else if (enc.wide || enc.bomLength > 0) // the dropped byte order mark named UTF-8
        meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n";

    QByteArray base = QUrl(finalUrl).toEncoded();
    if (const auto m = baseMatch(body); m.hasMatch()) {
        const QByteArray declared = m.captured(1).toLatin1();
        base = resolveLink(declared, base);
        // A relative <base href> is made absolute in place: rebased like the other links, it
        // would be resolved against itself ("sub/" becoming ".../sub/sub/").
        if (base != declared)
            body.replace(m.capturedStart(1), m.capturedLength(1), base);
    }
    const Base pageBase(base);
    Scan scan;
    out.reserve(out.size() + meta.size() + body.size() + body.size() / 2);
    // Line by line in place: a page of hundreds of megabytes is not split into a list.
    const char* d = body.constData();
    const qsizetype n = body.size();
    auto lines = [&](qsizetype at, qsizetype to) {
        while (at < to) {
            qsizetype end = at;
            while (end < to && d[end] != '\n' && d[end] != '\r')
                ++end;
            rebaseInto(out, QByteArrayView(d + at, end - at), pageBase, scan);
            out += "\r\n";
            at = end;
            if (at < to && d[at] == '\r')
                ++at;
            if (at < to && d[at] == '\n' && (d[at - 1] == '\r' || at == end))
                ++at;
        }
    };
    // The meta line follows the page's doctype: a tag before it would have the engine lay the
    // page out in quirks mode.
    qsizetype at = meta.isEmpty() ? 0 : doctypeEnd(body);
    if (at > 0) {
        lines(0, at);
        if (at < n && d[at] == '\r')
            ++at;
        if (at < n && d[at] == '\n')
            ++at;
    }
    out += meta;
    lines(at, n);
    return out;
}

} // namespace merge
