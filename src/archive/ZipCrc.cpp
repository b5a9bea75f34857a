#include "archive/ZipCrc.h"

#include <cstring>

namespace archive {

namespace {

// Slicing-by-16 tables: table k gives the CRC contribution of a byte followed by k zero bytes.
struct SliceTables {
    uint32_t t[16][256];
    constexpr SliceTables() : t{}
    {
        for (int n = 0; n < 256; ++n)
            t[0][n] = CRCTable[n];
        for (int n = 0; n < 256; ++n)
            for (int k = 1; k < 16; ++k)
                t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
};
constexpr SliceTables kSlice{};

inline uint32_t load32(const unsigned char* p)
{
    // Little-endian read; the compiler folds this into one load on x86 and ARM.
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

uint32_t UpdateCrcRegister(uint32_t reg, const void* data, size_t len)
{
    const auto* p = static_cast<const unsigned char*>(data);
    if (!p)
        return reg;
    const auto& t = kSlice.t;
    while (len >= 16) {
        const uint32_t a = load32(p) ^ reg;
        const uint32_t b = load32(p + 4);
        const uint32_t c = load32(p + 8);
        const uint32_t d = load32(p + 12);
        reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24]
            ^ t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24]
            ^ t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24]
            ^ t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        len -= 16;
    }
    while (len--)
        reg = t[0][(reg ^ *p++) & 0xFF] ^ (reg >> 8);
    return reg;
}

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t len)
{
    return ~UpdateCrcRegister(~crc, data, len);
}

} // namespace archive
