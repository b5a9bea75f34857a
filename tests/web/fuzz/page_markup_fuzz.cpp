// The download merge changes nothing of a page but its link values: the merged page with its link
// values taken out equals the served page with its link values taken out. Each page is read
// afresh for the taking out, so a merge that broke a tag, a comment or a script while it wrote
// a link (or changed a byte beside one) shows as a difference; every link the merged page holds
// must be absolute. Line ends are compared as HTML reads them (CR LF, CR and LF alike), and the
// charset declaration, which the merge may write, is taken out like a link.
#include "web/HtmlScan.h"
#include "web/PageMerge.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Both texts from the first byte where they differ, control bytes and bytes beyond ASCII as escapes.
[[noreturn]] void fail(const char* what, const QByteArray& a = {}, const QByteArray& b = {})
{
    qsizetype at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    at = qMax<qsizetype>(0, at - 80);
    auto show = [at](const QByteArray& t) {
        QByteArray out;
        for (char c : t.mid(at, 400))
            out += uchar(c) >= 0x20 && uchar(c) < 0x7F ? QByteArray(1, c) : "\\x" + QByteArray::number(uchar(c), 16);
        return out;
    };
    fprintf(stderr, "page_markup_fuzz: %s (from byte %lld)\n  merged: %s\n  served: %s\n", what, qlonglong(at),
            show(a).constData(), show(b).constData());
    std::abort();
}

QByteArray crlf(QByteArrayView in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\r') {
            out += "\r\n";
            if (i + 1 < in.size() && in[i + 1] == '\n')
                ++i;
        } else if (in[i] == '\n') {
            out += "\r\n";
        } else {
            out += in[i];
        }
    }
    return out;
}

bool hasScheme(QByteArrayView v)
{
    if (v.isEmpty() || !htmlscan::isAsciiAlpha(v[0]))
        return false;
    for (char c : v.sliced(1)) {
        if (c == ':')
            return true;
        if (!htmlscan::isAsciiAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

// The page with each link value and charset declaration replaced by a mark; `relative` gets
// the href and src values that do not read as absolute addresses.
struct TakeOut : htmlscan::Handler {
    QByteArrayView page;
    QList<std::pair<qsizetype, qsizetype>> spans;
    QList<QByteArray> relative;
    void startTag(const htmlscan::StartTag& t) override
    {
        for (const htmlscan::Attribute& a : t.attributes) {
            const bool link = a.name == "href" || a.name == "src" || a.name == "srcset";
            const bool label = t.name == "meta" && (a.name == "charset" || a.name == "content");
            if (!a.first || (!link && !label))
                continue;
            spans.append({a.start, a.end});
            if (a.name == "srcset" || label)
                continue;
            QByteArray v = htmlscan::decodeValue(page.sliced(a.start, a.end - a.start));
            v.removeIf([](char c) { return c == '\t' || c == '\n' || c == '\r'; });
            while (!v.isEmpty() && uchar(v.back()) <= 0x20)
                v.chop(1);
            while (!v.isEmpty() && uchar(v[0]) <= 0x20)
                v.remove(0, 1);
            if (!v.isEmpty() && !v.startsWith('#') && !hasScheme(v))
                relative.append(v);
        }
    }
    QByteArray rest() const
    {
        QByteArray out;
        qsizetype at = 0;
        for (const auto& [s, e] : spans) {
            out += page.sliced(at, s - at);
            out += '\x01';
            at = e;
        }
        return out += page.sliced(at);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const charsets[] = {"", "windows-1251", "utf-8", "KOI8-R", "x-unknown"};
    const QString charset = QString::fromLatin1(charsets[data[0] % 5]);
    const QByteArray served(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray date = "<!-- d -->\r\n";
    const QByteArray merged = merge::mergedPage(QByteArray(), served, charset, date.chopped(2), "http://h/d/p.htm");
    if (!merged.startsWith(date))
        fail("no date line", merged.left(200));
    // A page in UTF-16 or UTF-32, or one whose byte order mark goes, is saved in other bytes.
    for (const char* bom : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"})
        if (served.startsWith(bom))
            return 0;
    if (served.startsWith(QByteArrayView("\0\0\xFE\xFF", 4)))
        return 0;

    const QByteArray page = merged.mid(date.size());
    const QByteArray want = crlf(served);
    auto takeOut = [&want](QByteArray p, QList<QByteArray>* relative = nullptr) {
        // The merged file's lines all end.
        if (relative && !want.isEmpty() && !want.endsWith("\r\n")) {
            if (!p.endsWith("\r\n"))
                fail("no last line end", p.right(100));
            p.chop(2);
        }
        TakeOut t;
        t.page = p;
        htmlscan::scan(p, t);
        if (relative)
            *relative = t.relative;
        return t.rest();
    };
    const QByteArray servedRest = takeOut(want);
    QList<QByteArray> relative;
    const QByteArray mergedRest = takeOut(page, &relative);
    if (mergedRest != servedRest) {
        // The merge puts a declaration in front of a page that has none (after its doctype and
        // a line end).
        bool found = false;
        const QByteArray line = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
        for (qsizetype at = page.indexOf(line); at >= 0 && !found; at = page.indexOf(line, at + 1)) {
            const qsizetype end = page.indexOf("\">\r\n", at);
            if (end < 0)
                break;
            for (const qsizetype from : {at, at - 2}) {
                if (from < 0 || (from < at && page.mid(from, 2) != "\r\n"))
                    continue;
                QByteArray less = page;
                less.remove(from, end + 4 - from);
                if (less.isEmpty() && !want.isEmpty())
                    continue;
                if (less.isEmpty() || takeOut(less, &relative) == servedRest) {
                    found = true;
                    break;
                }
            }
        }
        if (!found)
            fail("merged page differs beyond its links", mergedRest, servedRest);
    }
    if (!relative.isEmpty())
        fail("link left relative", relative.first());
    return 0;
}
