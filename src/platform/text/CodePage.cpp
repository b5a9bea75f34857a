#include "CodePage.h"

#include <array>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace codepage_tables {
extern const char16_t kCp1251[256];
extern const char16_t kCp866[256];
extern const char16_t kCp1252[256];
} // namespace codepage_tables

namespace {

const char16_t* tableOf(CodePage cp)
{
    switch (cp) {
    case CodePage::Oem866: return codepage_tables::kCp866;
    case CodePage::Windows1252: return codepage_tables::kCp1252;
    case CodePage::Windows1251: break;
    }
    return codepage_tables::kCp1251;
}

// Reverse table: a character to its byte, -1 when the code page has none.
struct Reverse {
    std::array<std::array<short, 256>, 256> pages; // [high byte][low byte]
    explicit Reverse(const char16_t* t)
    {
        for (auto& p : pages)
            p.fill(-1);
        for (int b = 0; b < 256; ++b)
            pages[t[b] >> 8][t[b] & 0xFF] = short(b);
    }
};

const Reverse& reverseOf(CodePage cp)
{
    static const Reverse r1251(codepage_tables::kCp1251);
    static const Reverse r866(codepage_tables::kCp866);
    static const Reverse r1252(codepage_tables::kCp1252);
    switch (cp) {
    case CodePage::Oem866: return r866;
    case CodePage::Windows1252: return r1252;
    case CodePage::Windows1251: break;
    }
    return r1251;
}

} // namespace

QString decode(CodePage cp, QByteArrayView bytes)
{
    const char16_t* t = tableOf(cp);
    QString s(bytes.size(), Qt::Uninitialized);
    QChar* out = s.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(t[static_cast<unsigned char>(bytes[i])]);
    return s;
}

QByteArray encode(CodePage cp, QStringView text, bool* ok, qsizetype* firstBad)
{
    const Reverse& r = reverseOf(cp);
    QByteArray b(text.size(), Qt::Uninitialized);
    bool good = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        short v = r.pages[c >> 8][c & 0xFF];
        if (v < 0) {
            if (good && firstBad)
                *firstBad = i;
            good = false;
            v = '?';
        }
        b[i] = char(v);
    }
    if (ok)
        *ok = good;
    return b;
}

bool canEncode(CodePage cp, QStringView text)
{
    bool ok = true;
    encode(cp, text, &ok);
    return ok;
}

} // namespace platform
