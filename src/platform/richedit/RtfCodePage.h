#pragma once
#include <QByteArray>
#include <QString>

namespace platform::rtf {

// The Windows code page of a font charset (\fcharsetN); the document's code page for the default
// charset (1) and for charsets without one of their own. Symbol (2) maps to 0: bytes are taken
// as the characters U+0000..U+00FF. OEM (255) is 866, the OEM code page of Russian Windows.
int codePageForCharset(int charset, int documentCodePage);

// Bytes of a code page to text. Windows-1251, 1252 and OEM 866 use the program's own tables,
// other code pages Qt's converters (ICU); an unknown code page decodes as Windows-1252.
QString decodeCodePage(int codePage, QByteArrayView bytes);
// The bytes of one character in a code page; empty when the code page cannot hold it.
QByteArray encodeCodePage(int codePage, QStringView ch);

} // namespace platform::rtf
