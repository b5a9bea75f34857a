#pragma once
// A page's links made absolute against its base address, in the bytes they go into an
// attribute value as.
#include <QByteArray>

#include <functional>

namespace merge {

// A base address taken apart once for all the links of a page.
struct LinkBase {
    bool ok = false;     // an address with "scheme://"
    QByteArray scheme;   // "http", ...
    QByteArray origin;   // scheme://authority
    QByteArray path;     // the path, "/" at least
    QByteArray dir;      // the path up to its last "/"

    explicit LinkBase(const QByteArray& base);
    // The parts as they go into attribute values: the characters that would end a value or
    // begin a reference there as references, blanks and control bytes as an address escapes them.
    LinkBase escaped() const;
    // The link resolved (RFC 3986), keeping its own characters; links with a scheme and "#..."
    // stay as they are, "//..." takes the base's scheme.
    QByteArray resolve(const QByteArray& link) const;
    // A link as written in a page, resolved as a browser reads it (character references, blanks
    // and "\" taken as it takes them), in the bytes to write in its place.
    QByteArray rebase(QByteArrayView written) const;
    // Each address of the srcset value page[from, to) handed to `edit` with its place, rebased.
    using Edit = std::function<void(qsizetype start, qsizetype end, const QByteArray& text)>;
    void rebaseSrcset(QByteArrayView page, qsizetype from, qsizetype to, const Edit& edit) const;
};

} // namespace merge
