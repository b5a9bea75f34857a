#pragma once
// Merging a fetched page into its task file: the kept header, the date line, the page's lines
// with their links made absolute, in the page's own bytes.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace merge {

// The page's encoding as the merge sees it.
struct PageEncoding {
    QString name;          // "windows-1251" unless something says otherwise, or the bytes are UTF-8
    bool declared = false; // the page declares it itself (meta or byte order mark)
    int bomLength = 0;     // UTF-8 byte order mark to drop
    bool wide = false;     // UTF-16 or UTF-32: converted to UTF-8
};
// From the page's first bytes (byte order mark, meta declaration), the server's charset, and
// when neither names one, from whether the page is well-formed UTF-8 beyond ASCII.
PageEncoding pageEncoding(QByteArrayView body, const QString& serverCharset);

// The date line of a slot: slot 1 "<!-- DataTime="date/time" -->", slots 2 and 3
// "<!-- Date/Time= date time -->", in the system locale's short date and long time (without a
// time zone).
QByteArray dateLine(int slot, const QDateTime& when);

// A link resolved as a browser does (RFC 3986) against a base address, keeping the link's own
// characters; links with a scheme and "#..." stay as they are, "//..." takes the base's scheme.
QByteArray resolveLink(const QByteArray& link, const QByteArray& base);

// Every link of a line ("href=" and "src=" attributes in any letter case, and each address of a
// "srcset=" list, the line taken as going on with a tag) resolved against the base; every other
// byte of the line stays as it is.
// The merge rebases only attributes of tags: not text, comments, scripts or styles.
QByteArray rebaseLine(const QByteArray& line, const QByteArray& base);

// The address of the page's <base href=...>, or empty.
QByteArray baseHref(QByteArrayView body);

// The merged file: the task file's leading "<!-- " lines less every download mark, the date
// line, then the page (its links rebased against the final address or <base href>), with the
// meta line in front (after the page's doctype) when the page does not name its own charset and is not Windows-1251
// (named by the server or a dropped byte order mark, or found to be UTF-8); a UTF-16/32 page in
// UTF-8.
QByteArray mergedPage(const QByteArray& taskFile, const QByteArray& body, const QString& serverCharset,
                      const QByteArray& dateLine, const QString& finalUrl);

} // namespace merge
