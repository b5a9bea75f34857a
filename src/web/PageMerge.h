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
    int bomLength = 0;     // byte order mark to drop
    bool wide = false;     // UTF-16 or UTF-32: converted to UTF-8
};
// As browsers take it: from the byte order mark, else the server's charset when it is one they
// know, else the page's first meta declaration, else from whether the page is well-formed UTF-8
// beyond ASCII.
PageEncoding pageEncoding(QByteArrayView body, const QString& serverCharset);

// The date line of a slot: slot 1 "<!-- DataTime="date/time" -->", slots 2 and 3
// "<!-- Date/Time= date time -->", in the system locale's short date and long time (without a
// time zone).
QByteArray dateLine(int slot, const QDateTime& when);

// A link resolved as a browser does (RFC 3986) against a base address, keeping the link's own
// characters (the base's written as they go into an attribute value); links with a scheme and
// "#..." stay as they are, "//..." takes the base's scheme.
QByteArray resolveLink(const QByteArray& link, const QByteArray& base);

// Every link of a piece of a page (the href and src attributes of its start tags, and each
// address of a srcset, as HTML reads tags; the piece taken as going on with a tag) resolved
// against the base; every other byte stays as it is.
QByteArray rebaseLine(const QByteArray& line, const QByteArray& base);

// The href of the page's first real <base> tag that has one, as written, or empty.
QByteArray baseHref(QByteArrayView body);

// The merged file: the task file's leading "<!-- " lines less every download mark, the date
// line, then the page with each line end as CR LF, its links rebased against the final address
// or its <base href>, as HTML reads the page's tags; nothing else of it changes but its charset
// declaration. The page's meta declarations name the encoding its bytes are read in (the one of
// a byte order mark or the server's charset, which browsers follow before the page's own); a page
// without one gets a meta line in front (after its doctype) unless it is read as Windows-1251 and
// nothing outside it named that. A UTF-16/32 page is saved as UTF-8.
QByteArray mergedPage(const QByteArray& taskFile, const QByteArray& body, const QString& serverCharset,
                      const QByteArray& dateLine, const QString& finalUrl);

} // namespace merge
