#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>

namespace platform {

// The single-byte code pages the program reads and writes. Windows-1251 is the code page of
// every text file of a catalog; OEM 866 is the code page of zip member names.
enum class CodePage { Windows1251, Oem866, Windows1252 };

// Bytes to text. Every byte has a character, so decoding never fails and encoding the result
// gives the same bytes back.
QString decode(CodePage cp, QByteArrayView bytes);

// Text to bytes. A character without a code in the code page is written as '?' and reported:
// *ok becomes false and *firstBad (when given) holds its index. Callers that must not alter a
// name test canEncode first.
QByteArray encode(CodePage cp, QStringView text, bool* ok = nullptr, qsizetype* firstBad = nullptr);
bool canEncode(CodePage cp, QStringView text);

inline QString fromCp1251(QByteArrayView b) { return decode(CodePage::Windows1251, b); }
inline QByteArray toCp1251(QStringView s, bool* ok = nullptr) { return encode(CodePage::Windows1251, s, ok); }
inline QString fromOem(QByteArrayView b) { return decode(CodePage::Oem866, b); }
inline QByteArray toOem(QStringView s, bool* ok = nullptr) { return encode(CodePage::Oem866, s, ok); }

} // namespace platform
