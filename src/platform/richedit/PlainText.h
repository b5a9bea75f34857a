#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QTextCursor;
class QTextDocument;

namespace platform {

// Plain text notes are Windows-1251 files with CR LF line breaks. Reading takes the whole
// file at once, so a CR LF pair is never split and a lone CR is a line break wherever it
// stands; CR LF, a lone LF and a lone CR each end a paragraph. Every other byte becomes a
// character of the text, NUL included (it neither ends the text nor is dropped), so that
// reading and writing back gives the file byte for byte.
QString PlainTextFromBytes(QByteArrayView bytes);

// Text to file bytes: paragraph marks and line breaks become CR LF, pictures and objects are
// left out, characters that Windows-1251 cannot hold become '?'. With utf16 the text is
// written as UTF-16 little-endian without a byte order mark (line breaks still CR LF).
QByteArray PlainTextToBytes(QStringView text, bool utf16 = false);

// Text of a document or of a cursor's selection, with '\n' for paragraph marks and line breaks
// and without picture and object characters.
QString PlainTextOf(const QTextDocument& doc);
QString PlainTextOf(const QTextCursor& selection);

// Fills doc with text ('\n' separates paragraphs), in the document's default format.
void SetPlainTextOf(QTextDocument& doc, const QString& text);

} // namespace platform
