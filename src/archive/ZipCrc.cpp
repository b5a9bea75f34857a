#include "archive/ZipCrc.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MV_CRC_CLMUL 1
#endif

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

uint32_t tableUpdate(uint32_t reg, const unsigned char* p, size_t len)
{
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

#ifdef MV_CRC_CLMUL

// Folding constants: x^n mod P, bit-reflected into 33 bits, for a fold over d bits the low
// quad word takes n = d + 32 and the high one n = d - 32.
constexpr uint64_t reflectedXPowMod(int n)
{
    uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x100000000ull)
            r ^= 0x104C11DB7ull;
    }
    uint64_t out = 0;
    for (int i = 0; i < 32; ++i)
        if (r & (1ull << i))
            out |= 1ull << (32 - i);
    return out;
}
constexpr uint64_t kFold512Lo = reflectedXPowMod(544), kFold512Hi = reflectedXPowMod(480);
constexpr uint64_t kFold128Lo = reflectedXPowMod(160), kFold128Hi = reflectedXPowMod(96);
static_assert(kFold512Lo == 0x154442bd4ull && kFold128Hi == 0x0ccaa009eull);

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// The rest after folding into the 16-byte lane x: whole 16-byte pieces are folded in too, then
// the lane, which holds the same remainder as everything folded into it, goes through the
// table with the last bytes.
__attribute__((target("pclmul,sse4.1"))) uint32_t finishFolding(__m128i x, const unsigned char* p, size_t len)
{
    const __m128i k1 = _mm_set_epi64x(int64_t(kFold128Hi), int64_t(kFold128Lo));
    while (len >= 16) {
        x = _mm_xor_si128(fold(x, k1), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        p += 16;
        len -= 16;
    }
    alignas(16) unsigned char last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
    const uint32_t reg = tableUpdate(0, last, 16);
    return tableUpdate(reg, p, len);
}

// Carry-less multiplication folds four 16-byte lanes at a time; the last lane, which holds
// the same remainder as everything folded into it, goes through the table.
__attribute__((target("pclmul,sse4.1"))) uint32_t clmulUpdate(uint32_t reg, const unsigned char* p, size_t len)
{
    auto load = [](const unsigned char* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(reg)));
    __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
    p += 64;
    len -= 64;
    const __m128i k4 = _mm_set_epi64x(int64_t(kFold512Hi), int64_t(kFold512Lo));
    while (len >= 64) {
        x1 = _mm_xor_si128(fold(x1, k4), load(p));
        x2 = _mm_xor_si128(fold(x2, k4), load(p + 16));
        x3 = _mm_xor_si128(fold(x3, k4), load(p + 32));
        x4 = _mm_xor_si128(fold(x4, k4), load(p + 48));
        p += 64;
        len -= 64;
    }
    const __m128i k1 = _mm_set_epi64x(int64_t(kFold128Hi), int64_t(kFold128Lo));
    x2 = _mm_xor_si128(fold(x1, k1), x2);
    x3 = _mm_xor_si128(fold(x2, k1), x3);
    x4 = _mm_xor_si128(fold(x3, k1), x4);
    return finishFolding(x4, p, len);
}

const bool kHaveClmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");

// The same folding four 16-byte lanes per instruction, where the processor has it: four
// 64-byte accumulators over 256 bytes at a time, then folded into one lane.
constexpr uint64_t kFold2048Lo = reflectedXPowMod(2080), kFold2048Hi = reflectedXPowMod(2016);
constexpr uint64_t kFold384Lo = reflectedXPowMod(416), kFold384Hi = reflectedXPowMod(352);
constexpr uint64_t kFold256Lo = reflectedXPowMod(288), kFold256Hi = reflectedXPowMod(224);

#define MV_CRC_WIDE_TARGET __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

MV_CRC_WIDE_TARGET inline __m512i foldWide(__m512i x, __m512i k, __m512i next)
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11),
                                     next, 0x96);
}

MV_CRC_WIDE_TARGET inline __m512i loadWide(const unsigned char* q)
{
    return _mm512_loadu_si512(q);
}

MV_CRC_WIDE_TARGET inline __m512i wideConstant(uint64_t hi, uint64_t lo)
{
    return _mm512_set_epi64(int64_t(hi), int64_t(lo), int64_t(hi), int64_t(lo), int64_t(hi), int64_t(lo), int64_t(hi),
                            int64_t(lo));
}

MV_CRC_WIDE_TARGET uint32_t wideClmulUpdate(uint32_t reg, const unsigned char* p, size_t len)
{
    __m512i a0 = _mm512_xor_si512(loadWide(p), _mm512_maskz_set1_epi32(1, int(reg)));
    __m512i a1 = loadWide(p + 64), a2 = loadWide(p + 128), a3 = loadWide(p + 192);
    p += 256;
    len -= 256;
    const __m512i k2048 = wideConstant(kFold2048Hi, kFold2048Lo);
    while (len >= 256) {
        a0 = foldWide(a0, k2048, loadWide(p));
        a1 = foldWide(a1, k2048, loadWide(p + 64));
        a2 = foldWide(a2, k2048, loadWide(p + 128));
        a3 = foldWide(a3, k2048, loadWide(p + 192));
        p += 256;
        len -= 256;
    }
    const __m512i k512 = wideConstant(kFold512Hi, kFold512Lo);
    a1 = foldWide(a0, k512, a1);
    a2 = foldWide(a1, k512, a2);
    a3 = foldWide(a2, k512, a3);
    while (len >= 64) {
        a3 = foldWide(a3, k512, loadWide(p));
        p += 64;
        len -= 64;
    }
    // The four lanes of the last 64 bytes into one.
    const __m128i k384 = _mm_set_epi64x(int64_t(kFold384Hi), int64_t(kFold384Lo));
    const __m128i k256 = _mm_set_epi64x(int64_t(kFold256Hi), int64_t(kFold256Lo));
    const __m128i k128 = _mm_set_epi64x(int64_t(kFold128Hi), int64_t(kFold128Lo));
    alignas(64) unsigned char lanes[64];
    _mm512_store_si512(lanes, a3);
    auto lane = [&](int i) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes + 16 * i)); };
    __m128i x = _mm_xor_si128(_mm_xor_si128(fold(lane(0), k384), fold(lane(1), k256)),
                              _mm_xor_si128(fold(lane(2), k128), lane(3)));
    return finishFolding(x, p, len);
}

const bool kHaveWideClmul = kHaveClmul && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");

#endif

} // namespace

uint32_t UpdateCrcRegister(uint32_t reg, const void* data, size_t len)
{
    const auto* p = static_cast<const unsigned char*>(data);
    if (!p)
        return reg;
#ifdef MV_CRC_CLMUL
    if (len >= 512 && kHaveWideClmul)
        return wideClmulUpdate(reg, p, len);
    if (len >= 128 && kHaveClmul)
        return clmulUpdate(reg, p, len);
#endif
    return tableUpdate(reg, p, len);
}

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t len)
{
    return ~UpdateCrcRegister(~crc, data, len);
}

} // namespace archive
