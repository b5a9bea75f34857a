#pragma once
// What a fetched body is: whether a file or an answer is a web page, and the content codings
// (gzip, deflate) of an answer undone with the archive's own inflate.
#include <QByteArray>
#include <QString>

namespace pagebody {

// How many leading bytes isWebPage looks at.
constexpr int kHeadBytes = 1445;

// A web page by its file name (".htm", ".html", ".shtml", ".xhtml", in any case) or by its
// first bytes, read as browsers read a body of unknown type: after blanks (and a byte order
// mark), one of HTML's opening tags or a comment.
bool isWebPage(const QString& fileName, const QByteArray& head);

// Decodes the file `in`, sent in content coding `coding` ("gzip", "x-gzip", "deflate",
// "identity"), into the file `out`, at most maxOut bytes. Returns an empty text on success,
// else the cause ("the gzip data ends before its end", ...). *writeFailed is set when `out`
// could not be written.
QString decodeFile(const QString& coding, const QString& in, const QString& out, qint64 maxOut, bool* writeFailed);

} // namespace pagebody
