// A page's links made absolute against its base address.
#include "LinkBase.h"

#include "HtmlScan.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace merge {

namespace {

using htmlscan::isAsciiAlpha;
using htmlscan::isBlank;

bool hasScheme(QByteArrayView link)
{
    if (link.isEmpty() || !isAsciiAlpha(link[0]))
        return false;
    for (qsizetype i = 1; i < link.size(); ++i) {
        const char c = link[i];
        if (c == ':')
            return true;
        if (!isAsciiAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
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

// The characters that would end an attribute value or begin a reference in one, as references;
// blanks and control bytes as an address escapes them.
QByteArray escape(const QByteArray& text)
{
    QByteArray out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            if (uchar(c) <= 0x20 || c == 0x7F)
                out += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0').toUpper();
            else
                out += c;
        }
    }
    return out;
}

} // namespace

LinkBase::LinkBase(const QByteArray& base)
{
    const qsizetype schemeEnd = base.indexOf("://");
    if (schemeEnd < 0 || !hasScheme(base))
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
}

LinkBase LinkBase::escaped() const
{
    LinkBase b = *this;
    for (QByteArray* part : {&b.scheme, &b.origin, &b.path, &b.dir})
        *part = escape(*part);
    return b;
}

QByteArray LinkBase::resolve(const QByteArray& link) const
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

// A link as a browser reads it resolved, written as the page wrote it: the written link when
// it reads as itself, otherwise the written link behind the part of the base that its reading
// calls for (the browser then reads the whole as it would have read the link).
QByteArray LinkBase::rebase(QByteArrayView written) const
{
    // The common case: references such as "&amp;" only in the query, which the resolution
    // keeps as written.
    qsizetype cut = 0;
    while (cut < written.size() && written[cut] != '?' && written[cut] != '#')
        ++cut;
    const QByteArrayView head = written.first(cut);
    const bool trimmed = written.isEmpty() || (uchar(written.front()) > 0x20 && uchar(written.back()) > 0x20);
    if (trimmed && std::none_of(head.begin(), head.end(), [](char c) { return c && strchr("&\\\t\n\r", c); }))
        return resolve(written.toByteArray());
    QByteArray read = htmlscan::decodeValue(written);
    // An address reader drops tabs and line ends anywhere, and blanks and control bytes at
    // its ends.
    read.removeIf([](char c) { return c == '\t' || c == '\n' || c == '\r'; });
    qsizetype from = 0, to = read.size();
    while (from < to && uchar(read[from]) <= 0x20)
        ++from;
    while (to > from && uchar(read[to - 1]) <= 0x20)
        --to;
    read = read.mid(from, to - from);
    if (read == written && !written.contains('\\'))
        return resolve(read);
    if (!ok || read.isEmpty() || hasScheme(read) || read.startsWith('#'))
        return written.toByteArray();
    // Addresses of the web read "\" as "/".
    auto slash = [](char c) { return c == '/' || c == '\\'; };
    if (slash(read[0]) && read.size() > 1 && slash(read[1]))
        return scheme + ':' + written.toByteArray();
    if (slash(read[0]))
        return origin + written.toByteArray();
    if (read[0] == '?')
        return origin + path + written.toByteArray();
    return origin + dir + written.toByteArray();
}

// An address runs to the first blank, less the commas that end it: "data:" addresses keep their
// own commas. Descriptors, blanks and commas stay as served.
void LinkBase::rebaseSrcset(QByteArrayView page, qsizetype i, qsizetype to, const Edit& edit) const
{
    enum { Address, Descriptor, Bracket } at = Address;
    while (i < to) {
        const char c = page[i];
        if (at == Address) {
            if (isBlank(c) || c == ',') {
                ++i;
                continue;
            }
            qsizetype end = i;
            while (end < to && !isBlank(page[end]))
                ++end;
            qsizetype addressEnd = end;
            while (page[addressEnd - 1] == ',')
                --addressEnd;
            if (addressEnd > i)
                edit(i, addressEnd, rebase(page.sliced(i, addressEnd - i)));
            at = addressEnd < end ? Address : Descriptor;
            i = end;
        } else {
            if (c == '(')
                at = Bracket;
            else if (c == ')' && at == Bracket)
                at = Descriptor;
            else if (c == ',' && at == Descriptor)
                at = Address;
            ++i;
        }
    }
}

} // namespace merge
