// Merging a fetched page into its task file.
#include "PageMerge.h"

#include "HtmlScan.h"
#include "LinkBase.h"
#include "PageHeader.h"
#include "platform/text/CodePage.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace merge {

namespace {

using htmlscan::isAsciiAlpha;
using htmlscan::isBlank;

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

// Past the line end (CR LF, CR or LF) at i, if one stands there.
qsizetype afterLineEnd(QByteArrayView text, qsizetype i)
{
    if (i < text.size() && text[i] == '\r')
        ++i;
    if (i < text.size() && text[i] == '\n')
        ++i;
    return i;
}

// The value [start, end) less the bytes that an address reader drops at its ends.
void trimAddress(QByteArrayView page, qsizetype& start, qsizetype& end)
{
    while (start < end && uchar(page[start]) <= 0x20)
        ++start;
    while (end > start && uchar(page[end - 1]) <= 0x20)
        --end;
}

// What the merge needs of a page's markup: its links, its base, its charset declarations and
// where its doctype ends.
struct PageMarkup : htmlscan::Handler {
    enum Kind : char { Link, Srcset, BaseHref, Label };
    struct Span {
        qsizetype start, end;
        Kind kind;
        bool inHead = false; // a label that browsers heed: within the page's head
    };
    QByteArrayView page;
    QList<Span> spans;
    Span base{-1, -1, BaseHref}; // the href of the page's first <base> that has one
    qsizetype cleanTo = 0;      // only blanks and comments stand before
    bool opened = false;        // something other than blanks and comments was met
    qsizetype doctypeEnd = 0;   // after the doctype that opens the page, or 0
    bool head = true;           // no tag of the body was met yet

    explicit PageMarkup(QByteArrayView p) : page(p) {}

    bool blanksBefore(qsizetype at) const
    {
        for (qsizetype k = cleanTo; k < at; ++k)
            if (!isBlank(page[k]))
                return false;
        return true;
    }
    void markup(Markup kind, qsizetype start, qsizetype end) override
    {
        if (opened)
            return;
        if (kind == Comment && blanksBefore(start))
            cleanTo = end;
        else if (kind == Doctype && blanksBefore(start) && page[end - 1] == '>') // not one cut off by the page's end
            doctypeEnd = end, opened = true;
        else
            opened = true;
    }
    void startTag(const htmlscan::StartTag& t) override
    {
        opened = true;
        const qsizetype first = spans.size();
        for (const htmlscan::Attribute& a : t.attributes) {
            if (!a.first || !a.hasValue())
                continue;
            if (a.name == "href" || a.name == "src") {
                qsizetype s = a.start, e = a.end;
                trimAddress(page, s, e);
                if (t.name == "base" && a.name == "href" && !t.foreign && !t.inTemplate && base.start < 0) {
                    base = {s, e, BaseHref};
                    spans.append(base);
                } else {
                    spans.append({s, e, Link});
                }
            } else if (a.name == "srcset") {
                spans.append({a.start, a.end, Srcset});
            }
        }
        if (t.name == "meta")
            charsetLabel(t);
        // Browsers look for the declaration in the head (which the tags that may stand in it
        // keep open).
        if (!t.foreign && !htmlscan::isOneOf(t.name, {"html", "head", "meta", "title", "base", "link", "style", "script",
                                                     "noscript", "object", "template"}))
            head = false;
        // In the page's order: the edits are made in one pass.
        std::sort(spans.begin() + first, spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    }
    // <meta charset=...> or <meta http-equiv="Content-Type" content="...; charset=...">.
    void charsetLabel(const htmlscan::StartTag& t)
    {
        if (const htmlscan::Attribute* c = t.find("charset"); c && c->hasValue()) {
            qsizetype s = c->start, e = c->end;
            while (s < e && isBlank(page[s]))
                ++s;
            while (e > s && isBlank(page[e - 1]))
                --e;
            spans.append({s, e, Label, head});
            return;
        }
        const htmlscan::Attribute* equiv = t.find("http-equiv");
        const htmlscan::Attribute* content = t.find("content");
        if (!equiv || !content || !htmlscan::equalsLower(page.sliced(equiv->start, equiv->end - equiv->start), "content-type"))
            return;
        const qsizetype end = content->end;
        qsizetype i = content->start;
        for (;;) {
            qsizetype at = -1;
            for (qsizetype k = i; k + 7 <= end; ++k)
                if (htmlscan::equalsLower(page.sliced(k, 7), "charset")) {
                    at = k;
                    break;
                }
            if (at < 0)
                return;
            i = at + 7;
            while (i < end && isBlank(page[i]))
                ++i;
            if (i < end && page[i] == '=')
                break;
        }
        ++i;
        while (i < end && isBlank(page[i]))
            ++i;
        if (i == end)
            return;
        if (page[i] == '"' || page[i] == '\'') {
            const qsizetype close = page.sliced(0, end).indexOf(page[i], i + 1);
            if (close > i)
                spans.append({i + 1, close, Label, head});
            return;
        }
        qsizetype e = i;
        while (e < end && !isBlank(page[e]) && page[e] != ';')
            ++e;
        spans.append({i, e, Label, head});
    }
};

// A charset name that may stand in a declaration and that names an encoding known here.
bool knownCharset(QByteArrayView label)
{
    if (label.isEmpty() || label.size() > 40)
        return false;
    for (char c : label)
        if (!isAsciiAlpha(c) && !(c >= '0' && c <= '9') && !strchr("._:-", c))
            return false;
    return QStringDecoder(label.toByteArray().constData()).isValid();
}

bool sameCharset(const QByteArray& a, const QByteArray& b)
{
    if (a.toLower() == b.toLower())
        return true;
    const QStringDecoder x(a.constData()), y(b.constData());
    return x.isValid() && y.isValid() && qstrcmp(x.name(), y.name()) == 0;
}

// The encoding as the byte order mark or the server name it, which browsers follow before the
// page's own declaration; an empty name when neither does.
PageEncoding transportEncoding(QByteArrayView body, const QString& serverCharset)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return {QStringLiteral("utf-8"), true, 3, false};
    if (body.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)))
        return {QStringLiteral("utf-32le"), true, 4, true};
    if (body.startsWith(QByteArrayView("\0\0\xFE\xFF", 4)))
        return {QStringLiteral("utf-32be"), true, 4, true};
    if (body.startsWith("\xFF\xFE"))
        return {QStringLiteral("utf-16le"), true, 2, true};
    if (body.startsWith("\xFE\xFF"))
        return {QStringLiteral("utf-16be"), true, 2, true};
    PageEncoding e;
    const QString server = serverCharset.trimmed().toLower();
    const bool utf16 = server.startsWith(QLatin1String("utf-16"));
    if (utf16 || server.startsWith(QLatin1String("utf-32"))) {
        e.name = server;
        e.wide = true;
        // Without a byte order mark, UTF-16 has no order of its own: the little-endian
        // default. A variant name the decoder does not know would decode the page to
        // nothing: it is read in its family's default order instead.
        if (server == QLatin1String("utf-16") || !QStringConverter::encodingForName(server.toLatin1().constData()))
            e.name = utf16 ? QStringLiteral("utf-16le") : QStringLiteral("utf-32le");
    } else if (knownCharset(server.toLatin1())) {
        // A name that browsers do not know they pass over for the page's own.
        e.name = server;
    }
    return e;
}

// The page's own declaration (its first known one), else what its bytes look like.
void ownEncoding(PageEncoding& e, QByteArrayView body, const PageMarkup& m)
{
    for (const PageMarkup::Span& s : m.spans)
        if (s.kind == PageMarkup::Label && s.inHead && knownCharset(body.sliced(s.start, s.end - s.start))) {
            e.name = QString::fromLatin1(body.sliced(s.start, s.end - s.start)).toLower();
            e.declared = true;
            return;
        }
    // Nothing names the charset, but Windows-1251 text is next to never well-formed UTF-8.
    e.name = utf8Text(body) ? QStringLiteral("utf-8") : QStringLiteral("windows-1251");
}

// Copies bytes with each line end (CR LF, CR or LF) as CR LF: the merged file is a list of lines.
struct LineWriter {
    QByteArray& out;
    bool afterCr = false;
    void write(QByteArrayView bytes)
    {
        const char* p = bytes.data();
        const char* const end = p + bytes.size();
        while (p < end) {
            if (afterCr && *p == '\n') {
                ++p;
                afterCr = false;
                continue;
            }
            afterCr = false;
            const char* q = p;
            while (q < end && *q != '\r' && *q != '\n')
                ++q;
            out.append(p, q - p);
            if (q == end)
                break;
            out += "\r\n";
            afterCr = *q == '\r';
            p = q + 1;
        }
    }
};

} // namespace

PageEncoding pageEncoding(QByteArrayView body, const QString& serverCharset)
{
    PageEncoding e = transportEncoding(body, serverCharset);
    if (e.name.isEmpty()) {
        // Browsers look for the declaration near the start.
        const QByteArrayView head = body.first(qMin<qsizetype>(body.size(), 65536));
        PageMarkup m(head);
        htmlscan::scan(head, m);
        ownEncoding(e, body, m);
    }
    return e;
}

QByteArray resolveLink(const QByteArray& link, const QByteArray& base) { return LinkBase(base).escaped().resolve(link); }

QByteArray rebaseLine(const QByteArray& line, const QByteArray& base)
{
    PageMarkup m(line);
    htmlscan::scan(line, m, true);
    const LinkBase b = LinkBase(base).escaped();
    QByteArray out;
    qsizetype copied = 0;
    auto edit = [&](qsizetype s, qsizetype e, const QByteArray& text) {
        out.append(line.constData() + copied, s - copied);
        out += text;
        copied = e;
    };
    for (const PageMarkup::Span& s : m.spans) {
        if (s.kind == PageMarkup::Srcset)
            b.rebaseSrcset(line, s.start, s.end, edit);
        else if (s.kind != PageMarkup::Label)
            edit(s.start, s.end, b.rebase(QByteArrayView(line).sliced(s.start, s.end - s.start)));
    }
    out.append(line.constData() + copied, line.size() - copied);
    return out;
}

QByteArray baseHref(QByteArrayView body)
{
    PageMarkup m(body);
    htmlscan::scan(body, m);
    if (m.base.start < 0)
        return {};
    return body.sliced(m.base.start, m.base.end - m.base.start).toByteArray();
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
        pos = afterLineEnd(taskFile, end);
    }
    out += date + "\r\n";

    PageEncoding enc = transportEncoding(bodyIn, serverCharset);
    QByteArray body = bodyIn.mid(enc.bomLength);
    const bool fromTransport = !enc.name.isEmpty();
    if (enc.wide) {
        QStringDecoder dec(enc.name.toLatin1().constData());
        body = QString(dec.decode(body)).toUtf8();
        enc.name = QStringLiteral("utf-8");
    }
    PageMarkup m(body);
    htmlscan::scan(body, m);
    if (!fromTransport)
        ownEncoding(enc, body, m);
    const QByteArray charset = enc.name.toLatin1();
    // The page's declarations name the encoding its bytes are read in: a server's or a byte
    // order mark's that differs from the page's own replaces it, as browsers follow them. A page
    // without a declaration gets one unless it is read as Windows-1251, as the engine reads
    // pages that name none; a declaration in the body, which browsers pass over, is no
    // declaration (it is made to match all the same).
    bool declared = false;
    for (const PageMarkup::Span& s : m.spans)
        declared = declared || (s.kind == PageMarkup::Label && s.inHead);
    QByteArray meta;
    if (!declared && (fromTransport || charset != "windows-1251"))
        meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset + "\">\r\n";

    const LinkBase docBase(QUrl(finalUrl).toEncoded());
    LinkBase pageBase = docBase;
    if (m.base.start >= 0) {
        const PageMarkup::Span& s = m.base;
        QByteArray declared = htmlscan::decodeValue(QByteArrayView(body).sliced(s.start, s.end - s.start));
        declared.removeIf([](char c) { return c == '\t' || c == '\n' || c == '\r'; });
        declared.replace('\\', '/');
        // A base that is no address of the web (a "data:" or "javascript:" one) is passed over.
        const LinkBase b(docBase.resolve(declared.trimmed()));
        if (b.ok)
            pageBase = b;
    }
    const LinkBase docLinks = docBase.escaped(), pageLinks = pageBase.escaped();

    LineWriter w{out};
    qsizetype copied = 0;
    auto edit = [&](qsizetype s, qsizetype e, const QByteArray& text) {
        w.write(QByteArrayView(body).sliced(copied, s - copied));
        w.write(text);
        copied = e;
    };
    // The meta line follows the page's doctype: a tag before it would have the engine lay the
    // page out in quirks mode.
    const qsizetype at = meta.isEmpty() ? -1 : m.doctypeEnd;
    const QByteArrayView page(body);
    if (at == 0) {
        out += meta;
    } else if (at > 0) {
        // Only comments and the doctype stand before it, no link.
        w.write(page.first(at));
        out += "\r\n";
        copied = afterLineEnd(page, at);
        out += meta;
    }
    for (qsizetype k = 0; k < m.spans.size(); ++k) {
        const PageMarkup::Span& s = m.spans[k];
        const QByteArrayView value = page.sliced(s.start, s.end - s.start);
        switch (s.kind) {
        case PageMarkup::Link:
            edit(s.start, s.end, pageLinks.rebase(value));
            break;
        case PageMarkup::BaseHref: // made absolute in place: it would be resolved against itself
            edit(s.start, s.end, docLinks.rebase(value));
            break;
        case PageMarkup::Srcset:
            pageLinks.rebaseSrcset(page, s.start, s.end, edit);
            break;
        case PageMarkup::Label:
            if (!sameCharset(value.toByteArray(), charset))
                edit(s.start, s.end, charset);
            break;
        }
    }
    w.write(page.sliced(copied));
    if (!page.isEmpty() && !out.endsWith('\n'))
        out += "\r\n";
    return out;
}

} // namespace merge
