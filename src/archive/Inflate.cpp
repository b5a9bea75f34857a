#include "archive/Inflate.h"

#include "archive/ZipExceptions.h"
#include "platform/dialogs/Dialogs.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <new>

namespace archive {

namespace {

// Decoding table entries, 32 bits:
//   bits 0-7   bits the entry consumes: for a length or distance the code bits and its extra
//              bits together, so one shift takes both; both codes of a literal pair; the
//              first-level bits of a sub-table link
//   bits 8-11  code bits of a length or distance (its extra bits follow them); index bits of
//              a sub-table; code bits of the first literal of a pair
//   bits 12-15 kind
//   bits 16-31 literal (two for a pair), base value, or sub-table offset; a length holds its
//              base less 3 in bits 16-23 and, for a literal and length, the literal above
// A second-level entry counts the whole code, first-level bits included.
enum : uint32_t {
    KindBase = 0, // length or distance with extra bits
    // A literal and then a length, both in one first-level entry (litlen tables only): the
    // code bits field counts both codes, so the extra bits of the length are found as for a
    // length alone. Bit 12 is the count of literals in front of a length.
    KindLiteralLength = 1,
    // Kinds 4 to 7 are the rare ones, so one bit tells them apart.
    KindSub = 4,
    KindInvalid = 5,
    KindEnd = 6,
    // Kinds from 8 on are literals, so one bit tells them apart.
    KindLiteral = 8,
    // Two literals in one first-level entry (litlen tables only): value holds the first in
    // its low byte and the second above it, the extra field the first one's code bits.
    KindLiteralPair = 9,
};
constexpr uint32_t LiteralFlag = 0x8000;
constexpr uint32_t SpecialFlag = 0x4000;

constexpr uint32_t entry(uint32_t kind, uint32_t bits, uint32_t extra, uint32_t value)
{
    return (value << 16) | (kind << 12) | (extra << 8) | bits;
}
constexpr uint32_t InvalidEntry = entry(KindInvalid, 0, 0, 0);

inline uint32_t kindOf(uint32_t e) { return (e >> 12) & 0xF; }
inline unsigned bitsOf(uint32_t e) { return e & 0xFF; }
inline unsigned extraOf(uint32_t e) { return (e >> 8) & 0xF; }
inline uint32_t valueOf(uint32_t e) { return e >> 16; }
// The value of a distance entry from the bit buffer as it was before the entry's bits were
// taken: the base plus the extra bits behind the code.
inline unsigned baseValue(uint32_t e, uint64_t saved)
{
    return valueOf(e) + unsigned((saved & ((uint64_t(1) << bitsOf(e)) - 1)) >> extraOf(e));
}
// The same for a length entry, whose base is stored less 3.
inline unsigned lengthValue(uint32_t e, uint64_t saved)
{
    return 3 + ((e >> 16) & 0xFF) + unsigned((saved & ((uint64_t(1) << bitsOf(e)) - 1)) >> extraOf(e));
}
// The entry of a code longer than the first level: `link` is the first-level entry, `bits`
// the bit buffer at the start of the code.
inline uint32_t subEntry(const uint32_t* table, uint32_t link, unsigned rootBits, uint64_t bits)
{
    return table[valueOf(link) + unsigned((bits >> rootBits) & ((1u << extraOf(link)) - 1))];
}

constexpr unsigned LitlenRootBits = 12;
constexpr unsigned DistRootBits = 8;
constexpr unsigned CodelenRootBits = 7;
constexpr unsigned MaxCodeBits = 15;
// Every long code gets a sub-table of (15 - root bits) index bits: few codes are long, so
// the simple layout costs little and keeps the builder short.
constexpr size_t LitlenTableSize = (1u << LitlenRootBits) + 288 * (1u << (MaxCodeBits - LitlenRootBits));
constexpr size_t DistTableSize = (1u << DistRootBits) + 32 * (1u << (MaxCodeBits - DistRootBits));
constexpr size_t CodelenTableSize = 1u << CodelenRootBits;

constexpr uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t DistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                   33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                   1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
constexpr uint8_t DistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t CodelenOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

enum class TableKind { Litlen, Dist, Codelen };

uint32_t symbolEntry(TableKind kind, unsigned sym, unsigned bits)
{
    switch (kind) {
    case TableKind::Codelen:
        return entry(KindLiteral, bits, 0, sym);
    case TableKind::Litlen:
        if (sym < 256)
            return entry(KindLiteral, bits, 0, sym);
        if (sym == 256)
            return entry(KindEnd, bits, 0, 0);
        if (sym < 286)
            return entry(KindBase, bits + LengthExtra[sym - 257], bits, LengthBase[sym - 257] - 3u);
        return entry(KindInvalid, bits, 0, 0);
    case TableKind::Dist:
        if (sym < 30)
            return entry(KindBase, bits + DistExtra[sym], bits, DistBase[sym]);
        return entry(KindInvalid, bits, 0, 0);
    }
    return InvalidEntry;
}

constexpr std::array<uint8_t, 256> Reversed8 = [] {
    std::array<uint8_t, 256> r{};
    for (unsigned i = 0; i < 256; ++i)
        for (unsigned k = 0; k < 8; ++k)
            if (i & (1u << k))
                r[i] |= uint8_t(0x80u >> k);
    return r;
}();

// The len-bit code, sent most significant bit first, as the bit buffer holds it (len <= 16).
inline unsigned reverseBits(unsigned code, unsigned len)
{
    return ((unsigned(Reversed8[code & 0xFF]) << 8) | Reversed8[(code >> 8) & 0xFF]) >> (16 - len);
}

enum class BuildResult { Complete, Incomplete, OverSubscribed, Empty };

// Builds a two-level decoding table from code lengths (0 = unused). Unused slots of an
// incomplete code decode as invalid.
BuildResult buildTable(uint32_t* table, unsigned rootBits, const uint8_t* lengths, unsigned n,
                       TableKind kind, unsigned* singleLength = nullptr)
{
    unsigned count[MaxCodeBits + 1] = {};
    for (unsigned i = 0; i < n; ++i)
        count[lengths[i]]++;
    count[0] = 0;
    unsigned used = 0, minLen = 0, maxLen = 0;
    for (unsigned l = 1; l <= MaxCodeBits; ++l)
        if (count[l]) {
            used += count[l];
            minLen = minLen ? minLen : l;
            maxLen = l;
        }
    const unsigned rootSize = 1u << rootBits;
    if (used == 0) {
        std::fill(table, table + rootSize, InvalidEntry);
        return BuildResult::Empty;
    }
    int left = 1;
    for (unsigned l = 1; l <= MaxCodeBits; ++l) {
        left <<= 1;
        left -= int(count[l]);
        if (left < 0)
            return BuildResult::OverSubscribed;
    }
    if (singleLength)
        *singleLength = used == 1 ? maxLen : 0;

    // The symbols in the order of their canonical codes (RFC 1951): by length, then by value.
    unsigned pos[MaxCodeBits + 1];
    pos[1] = 0;
    for (unsigned l = 1; l < MaxCodeBits; ++l)
        pos[l + 1] = pos[l] + count[l];
    uint16_t sorted[288];
    for (unsigned sym = 0; sym < n; ++sym)
        if (lengths[sym])
            sorted[pos[lengths[sym]]++] = uint16_t(sym);

    // The first level by doubling: once the codes of length L are in, the first 2^L slots are
    // right for every index (a code, or invalid where none fits yet), and a copy of them is
    // right for the next 2^L, as the bits above L do not matter to those codes.
    unsigned size = 1u << std::min(minLen, rootBits);
    std::fill(table, table + size, InvalidEntry);
    unsigned code = 0, k = 0;
    for (unsigned len = std::min(minLen, rootBits); len <= rootBits; ++len) {
        if (size < (1u << len)) {
            std::memcpy(table + size, table, size * sizeof(uint32_t));
            size <<= 1;
        }
        for (unsigned c = 0; c < count[len]; ++c, ++k, ++code)
            table[reverseBits(code, len)] = symbolEntry(kind, sorted[k], len);
        code <<= 1;
    }

    // Longer codes: one sub-table per first-level prefix, (maxLen - rootBits) index bits each.
    const unsigned subBits = maxLen > rootBits ? maxLen - rootBits : 0;
    const unsigned subSize = 1u << subBits;
    int16_t subOf[1u << LitlenRootBits];
    if (subBits)
        std::fill(subOf, subOf + rootSize, int16_t(-1));
    unsigned nextSub = rootSize;
    for (unsigned len = rootBits + 1; len <= maxLen; ++len) {
        for (unsigned c = 0; c < count[len]; ++c, ++k, ++code) {
            const unsigned rev = reverseBits(code, len);
            const unsigned prefix = rev & (rootSize - 1);
            if (subOf[prefix] < 0) {
                subOf[prefix] = int16_t(nextSub - rootSize);
                if (left > 0)
                    std::fill(table + nextSub, table + nextSub + subSize, InvalidEntry);
                table[prefix] = entry(KindSub, rootBits, subBits, nextSub);
                nextSub += subSize;
            }
            uint32_t* sub = table + rootSize + subOf[prefix];
            const uint32_t e = symbolEntry(kind, sorted[k], len);
            for (unsigned i = rev >> rootBits; i < subSize; i += 1u << (len - rootBits))
                sub[i] = e;
        }
        code <<= 1;
    }
    return left > 0 ? BuildResult::Incomplete : BuildResult::Complete;
}

// Where a literal code leaves enough bits of a first-level index to decode the next code too,
// and that one is a literal as well, the entry gives both: most literals of text then cost one
// lookup for two. Where the next code is a length, the entry gives the literal and the length:
// a literal between two matches then costs no round of its own. The slots of a literal code of
// l1 bits are rev + (k << l1), and the code after it is the one of single entry k: the single
// entries below 2^(rootBits - l1) are kept aside for that. Nothing to do when no literal code
// is short enough to leave room for another code (n: the count of lengths). The table holds
// the single entries (buildTable) when called.
bool pairLiterals(uint32_t* table, unsigned rootBits, const uint8_t* lengths, unsigned n)
{
    unsigned count[MaxCodeBits + 1] = {};
    for (unsigned i = 0; i < 256; ++i)
        count[lengths[i]]++;
    unsigned shortest = 1;
    while (shortest <= MaxCodeBits && !count[shortest])
        ++shortest;
    unsigned other = shortest;
    for (unsigned i = 257; i < n; ++i)
        other = std::min<unsigned>(other, lengths[i] ? lengths[i] : other);
    if (shortest + other > rootBits)
        return false;
    for (unsigned i = 256; i < n; ++i)
        count[lengths[i]]++;
    count[0] = 0;
    // What a literal's code may be followed by in its slot k: the part of the combined entry
    // that does not depend on the literal, the bits the following code needs, and where the
    // literal goes in the value (a pair holds it low, a literal and length high).
    constexpr unsigned MaxFollow = 1u << (LitlenRootBits - 1);
    uint32_t follow[MaxFollow];
    uint8_t need[MaxFollow], shift[MaxFollow];
    for (unsigned k = 0; k < (1u << (rootBits - shortest)); ++k) {
        const uint32_t second = table[k];
        follow[k] = 0;
        need[k] = 0xFF; // nothing to combine with
        shift[k] = 0;
        if (second & LiteralFlag) {
            follow[k] = entry(KindLiteralPair, bitsOf(second), 0, valueOf(second) << 8);
            need[k] = uint8_t(bitsOf(second));
            shift[k] = 16;
        } else if (kindOf(second) == KindBase) {
            follow[k] = entry(KindLiteralLength, bitsOf(second), extraOf(second), (second >> 16) & 0xFF);
            need[k] = uint8_t(extraOf(second));
            shift[k] = 24;
        }
    }
    // For every room r a literal's code may leave, the slots k < 2^r whose following code fits
    // in r bits: only those change. The others keep the literal's own entry, which the table
    // holds already; with 8- and 9-bit literals they are most of them.
    const unsigned maxRoom = rootBits - shortest;
    uint16_t fits[2 * MaxFollow];
    unsigned fitsFrom[LitlenRootBits + 1];
    unsigned fitCount = 0;
    for (unsigned r = 0; r <= maxRoom; ++r) {
        fitsFrom[r] = fitCount;
        for (unsigned k = 0; k < (1u << r); ++k)
            if (need[k] <= r)
                fits[fitCount++] = uint16_t(k);
    }
    fitsFrom[maxRoom + 1] = fitCount;
    unsigned next[MaxCodeBits + 1];
    unsigned code = 0;
    for (unsigned l = 1; l <= MaxCodeBits; ++l) {
        code = (code + count[l - 1]) << 1;
        next[l] = code;
    }
    for (unsigned sym = 0; sym < 256; ++sym) {
        const unsigned l1 = lengths[sym];
        if (!l1)
            continue;
        const unsigned rev = reverseBits(next[l1]++, l1);
        if (l1 + other > rootBits)
            continue;
        const unsigned room = rootBits - l1;
        // l1 goes into both the bits field and the code bits field of the combined entry.
        const uint32_t own = l1 * 0x101u;
        for (unsigned i = fitsFrom[room]; i < fitsFrom[room + 1]; ++i) {
            const unsigned k = fits[i];
            table[rev + (k << l1)] = follow[k] + own + (sym << shift[k]);
        }
    }
    return true;
}

constexpr size_t HistorySize = 32768;
constexpr size_t OutputArea = 256 * 1024;
constexpr size_t OutputSlack = 512;
// The fast loop needs room for a whole match and the overshoot of its wide copies.
constexpr size_t FastOutputMargin = 258 + 56;
// and input for two refills of 8 bytes in one round.
constexpr size_t FastInputMargin = 16;
// Bytes a wide match copy may write past the match's end (copyMatch).
constexpr size_t WideCopyOvershoot = 48;

struct DataError {};

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v; // little-endian hosts only, as every target of this program
}
inline void store16(uint8_t* p, uint16_t v)
{
    std::memcpy(p, &v, 2);
}
// 16 bytes from src to dst, which may overlap: loaded whole before the store (one memcpy
// would be undefined for overlapping ranges; this is the same load and store).
inline void copy16(uint8_t* dst, const uint8_t* src)
{
    uint8_t piece[16];
    std::memcpy(piece, src, 16);
    std::memcpy(dst, piece, 16);
}

// Copies a match of len bytes from dist bytes back, the first Pieces * 16 bytes without a test
// of the length. Wide copies may run up to 45 bytes past the match (WideCopyOvershoot) into
// the output slack; the fast loop leaves room for that.
template <unsigned Pieces = 2>
[[gnu::always_inline]] inline void copyMatch(uint8_t* dst, unsigned dist, unsigned len)
{
    const uint8_t* src = dst - dist;
    uint8_t* const end = dst + len;
    if ((dist >= 16) | (len <= dist)) [[likely]] {
        // Most matches are short and far: two 16-byte pieces without a test, then more. A
        // near match that does not overlap itself (len <= dist < 16) needs the first only.
        copy16(dst, src);
        copy16(dst + 16, src + 16);
        if (Pieces > 2)
            copy16(dst + 32, src + 32);
        if (len > Pieces * 16) [[unlikely]] {
            dst += Pieces * 16;
            src += Pieces * 16;
            do {
                std::memcpy(dst, src, 16);
                dst += 16;
                src += 16;
            } while (dst < end);
        }
    } else if (dist >= 8) {
        // Five words without a test, then word by word.
        std::memcpy(dst, src, 8);
        std::memcpy(dst + 8, src + 8, 8);
        std::memcpy(dst + 16, src + 16, 8);
        std::memcpy(dst + 24, src + 24, 8);
        std::memcpy(dst + 32, src + 32, 8);
        dst += 40;
        src += 40;
        while (dst < end) {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        }
    } else if (dist == 1) {
        // A run of one byte: whole words of it (the slack takes the overshoot).
        const uint64_t v = uint64_t(*src) * 0x0101010101010101ull;
        do {
            std::memcpy(dst, &v, 8);
            dst += 8;
        } while (dst < end);
    } else {
        // A period of 2 to 7 bytes: a word of the pattern, stored at every multiple of the
        // period up to 8 bytes (the slack takes the overshoot). The bytes of the load past
        // the period are not written yet and are masked off.
        constexpr uint8_t Step[8] = {0, 0, 8, 6, 8, 5, 6, 7};
        uint64_t w;
        std::memcpy(&w, src, 8);
        w &= (uint64_t(1) << (8 * dist)) - 1;
        w |= w << (8 * dist);
        if (dist < 4)
            w |= w << (16 * dist);
        for (unsigned off = 0; off < len; off += Step[dist])
            std::memcpy(dst + off, &w, 8);
    }
}

// The decoding tables of one kind of block, the distance table right behind the literal/length
// table, so that the fast loop reaches both through one register.
struct TCodeTables {
    uint32_t litlen[LitlenTableSize];
    uint32_t dist[DistTableSize];
    uint8_t literalBits[256]; // code lengths of the literals, for the careful path
    // The two code lengths nearly every literal has, when the fast loop may guess between them
    // (0: it may not).
    uint8_t guessA = 0, guessB = 0;
    bool longMatches = false; // see chooseCopy
};

// Literal codes of nearly random data have one or two lengths (8 and 9, say) and no pairs:
// the fast loop then looks up the entry after a literal for both lengths while the literal's
// own entry is still loading. Chosen when those lengths cover 15/16 of the literals' share of
// the code space, so a wrong guess stays rare.
void chooseGuess(TCodeTables& tables, const uint8_t* lengths, bool paired)
{
    tables.guessA = tables.guessB = 0;
    if (paired)
        return;
    unsigned count[MaxCodeBits + 1] = {};
    for (unsigned i = 0; i < 256; ++i)
        count[lengths[i]]++;
    uint32_t share[MaxCodeBits + 1] = {};
    uint32_t total = 0;
    for (unsigned l = 1; l <= LitlenRootBits; ++l) {
        share[l] = count[l] << (MaxCodeBits - l);
        total += share[l];
    }
    unsigned a = 0, b = 0;
    for (unsigned l = 1; l <= LitlenRootBits; ++l)
        if (share[l] > share[a]) {
            b = a;
            a = l;
        } else if (share[l] > share[b]) {
            b = l;
        }
    // Four literals of the longer length and a lookup fit in a refill: 4 * 11 + 12 bits. Where
    // one length alone covers that share, both guesses are that length.
    if (a && a <= 11 && uint64_t(share[a]) * 16 >= uint64_t(total) * 15)
        b = a;
    if (!a || !b || std::max(a, b) > 11 || uint64_t(share[a] + (a != b ? share[b] : 0)) * 16 < uint64_t(total) * 15)
        return;
    tables.guessA = uint8_t(a);
    tables.guessB = uint8_t(b);
}
// Where the code gives lengths over 32 a fair share, the match copy takes 48 bytes without a
// test of the length rather than 32: the test for more then mispredicts less often than the
// third piece costs. Binary data has few such lengths, text and sources many.
void chooseCopy(TCodeTables& tables, const uint8_t* lengths, unsigned n)
{
    // Shares of the code space, in units of 2^-15: all lengths, and those of 35 and more.
    uint32_t all = 0, longer = 0;
    for (unsigned sym = 257; sym < std::min(n, 286u); ++sym)
        if (lengths[sym]) {
            all += 1u << (MaxCodeBits - lengths[sym]);
            longer += sym >= 273 ? 1u << (MaxCodeBits - lengths[sym]) : 0;
        }
    tables.longMatches = all && uint64_t(longer) * 32 >= all;
}
constexpr size_t DistOffset = offsetof(TCodeTables, dist) / sizeof(uint32_t);

// The decoder's state in the fast loop.
struct TFastLoop {
    uint64_t bb;
    unsigned bc;
    const uint8_t* in;
    uint8_t* out;
    unsigned guessA, guessB; // see chooseGuess
};

// x with all but its low n bits cleared (n < 64); one instruction with BMI2.
template <bool Bmi2>
[[gnu::always_inline]] inline uint64_t lowBits(uint64_t x, uint32_t n)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (Bmi2) {
        uint64_t r;
        asm("bzhi %q2, %1, %0" : "=r"(r) : "r"(x), "r"(n));
        return r;
    }
#endif
    return x & ((uint64_t(1) << (n & 63)) - 1);
}

// Decodes symbols while the input pointer is below fastInEnd and the output pointer below
// fastOutEnd; returns true at the end of the block. Compiled for processors with and without
// BMI2 (whose shifts by a variable count are much cheaper), chosen at run time, and with and
// without the test of distances against the start of the output (needless once 32 KiB are
// out, which is nearly always).
//
// The bit buffer is topped up to 56 or more bits while the next entry is still loading, so the
// refill stays off the chain of lookups and shifts that bounds the speed: at the top of each
// round the entry is in hand (looked up with at least 12 bits), the refill follows, and a
// whole length and distance (48 bits) or three first-level literal entries fit after it.
template <bool Bmi2, bool CheckDistance, bool Guess, unsigned Pieces>
[[gnu::always_inline]] inline bool fastLoop(TFastLoop& f, const uint32_t* tables, const uint8_t* fastInEnd,
                                            uint8_t* fastOutEnd, const uint8_t* lowest)
{
    constexpr uint64_t litMask = (1u << LitlenRootBits) - 1;
    constexpr uint64_t distMask = (1u << DistRootBits) - 1;
    const uint32_t* const litlen = tables;
    // Distances are looked up as litlen[DistOffset + i]: one base register for both tables.
    uint64_t bb = f.bb;
    // The bit count is kept modulo 64 (the low six bits are exact, the rest is noise), so a
    // whole entry can be subtracted from it: its low six bits are its bit count.
    unsigned bc = f.bc;
    const uint8_t* in = f.in;
    uint8_t* out = f.out;
    // Branchless refill to 56-63 bits; whole bytes read ahead go back at the end.
    auto refill = [&]() {
        bb |= load64(in) << (bc & 63);
        in += (~bc >> 3) & 7;
        bc |= 56;
    };
    auto take = [&](uint32_t e) {
        bb >>= (e & 63);
        bc -= e;
    };
    // One or two literals, whose bits are taken: two bytes are stored either way (the output
    // has slack).
    auto literals = [&](uint32_t e) {
        store16(out, uint16_t(valueOf(e)));
        out += 1 + ((e >> 12) & 1);
    };
    // A distance: base plus the extra bits behind the code. Bits 12-15 of such an entry are
    // zero, so the shift by (e >> 8) is a shift by its code bits.
    auto distanceOf = [&](uint32_t e, uint64_t saved) {
        return valueOf(e) + unsigned(lowBits<Bmi2>(saved, e) >> ((e >> 8) & 63));
    };
    const unsigned guessA = f.guessA, guessB = f.guessB;
    const uint64_t guessMask = (uint64_t(1) << guessA) | (uint64_t(1) << guessB);
    // Rounds that surely stay within both bounds: a round reads at most 14 bytes ahead (two
    // refills) and writes at most FastOutputMargin - 2 bytes. Counting them down keeps the
    // two bounds out of the loop; they are looked at again when the count runs out.
    auto roundsLeft = [&] {
        return std::min(size_t(fastInEnd - in - 1) / 16, size_t(fastOutEnd - out - 1) / 512) + 1;
    };
    size_t rounds = roundsLeft();
    refill();
    uint32_t e = litlen[bb & litMask];
    bool ended = false;
    do {
        refill();
        uint64_t saved;
        uint32_t de; // the distance entry, once e is a length
        if constexpr (Guess) {
            if (guessA == guessB) {
                // Literal codes of one length: the next four entries are looked up at once,
                // as if each were such a literal, and taken together when all four are. The
                // fifth lookup reads 4 * 11 + 12 bits at most: within a refill.
                const unsigned g = guessA;
                const uint32_t want = LiteralFlag | g;
                const uint32_t e1 = litlen[(bb >> g) & litMask];
                const uint32_t e2 = litlen[(bb >> (2 * g)) & litMask];
                const uint32_t e3 = litlen[(bb >> (3 * g)) & litMask];
                const uint32_t e4 = litlen[(bb >> (4 * g)) & litMask];
                if (!(((e ^ want) | (e1 ^ want) | (e2 ^ want) | (e3 ^ want)) & 0xFFFF)) [[likely]] {
                    const uint32_t four = valueOf(e) | (valueOf(e1) << 8) | (valueOf(e2) << 16) | (valueOf(e3) << 24);
                    std::memcpy(out, &four, 4);
                    out += 4;
                    bb >>= 4 * g;
                    bc -= 4 * g;
                    e = e4;
                    continue;
                }
            }
            if (e & LiteralFlag) {
                // Up to four literals, the entry after each looked up for both guessed
                // lengths while its own is loading; a wrong guess looks it up again.
                uint32_t a = litlen[(bb >> guessA) & litMask], b = litlen[(bb >> guessB) & litMask];
                // (With guessing there are no pairs: one literal per entry.)
                for (int n = 4;;) {
                    take(e);
                    *out++ = uint8_t(valueOf(e));
                    if (!((guessMask >> (e & 63)) & 1)) [[unlikely]] {
                        refill(); // four guessed codes and a longer one may leave too few bits
                        e = litlen[bb & litMask];
                        break;
                    }
                    e = uint8_t(e) == guessA ? a : b;
                    if (!(e & LiteralFlag) || --n == 0)
                        break;
                    a = litlen[(bb >> guessA) & litMask];
                    b = litlen[(bb >> guessB) & litMask];
                }
                continue;
            }
            saved = bb;
            take(e);
            de = litlen[DistOffset + (bb & distMask)];
        } else {
            // The entry's bits are taken and both entries that may follow it (a literal or
            // length, or a distance) are looked up before the branch on its kind, which is
            // hard to predict: when it goes wrong, the entry the right path needs is loaded
            // already. Three first-level entries take 36 bits at most.
            // Kept a loop, not unrolled: one test for all literal entries of a round makes
            // smaller code and fewer mispredictions than three copies of it (measured).
            int n = 3;
#pragma GCC unroll 1
            for (; n != 0; --n) {
                saved = bb;
                take(e);
                const uint32_t next = litlen[bb & litMask];
                de = litlen[DistOffset + (bb & distMask)];
                if (!(e & LiteralFlag))
                    break;
                literals(e);
                e = next;
            }
            if (n == 0)
                continue;
            // A length (or a rare entry) after one or two literal entries goes on in this
            // round: those took 24 bits at most, which leaves enough for a whole length
            // and the distance lookup before the next refill.
        }
        if (e & SpecialFlag) [[unlikely]] {
            // Its bits were taken as if it were a whole code: put them back.
            bb = saved;
            bc += e;
            if (kindOf(e) == KindSub)
                e = subEntry(litlen, e, LitlenRootBits, bb);
            if (e & LiteralFlag) {
                take(e);
                *out++ = uint8_t(valueOf(e));
                e = litlen[bb & litMask];
                continue;
            }
            if (e & SpecialFlag) {
                if (kindOf(e) != KindEnd)
                    throw DataError{};
                take(e);
                ended = true;
                break;
            }
            saved = bb;
            take(e);
            de = litlen[DistOffset + (bb & distMask)];
        }
        // A length with its extra bits (20 bits at most, 16 with a literal in front), then the
        // distance (28 at most) after a second refill, which leaves 28 or more for the next
        // lookup. The literal byte is stored either way: a match copy overwrites it.
        *out = uint8_t(e >> 24);
        out += (e >> 12) & 1;
        const unsigned len = 3 + ((e >> 16) & 0xFF) + unsigned(lowBits<Bmi2>(saved, e) >> ((e >> 8) & 15));
        e = de;
        refill();
        if (e & SpecialFlag) [[unlikely]] {
            if (kindOf(e) == KindSub)
                e = subEntry(litlen + DistOffset, e, DistRootBits, bb);
            if (e & SpecialFlag)
                throw DataError{};
        }
        saved = bb;
        take(e);
        const unsigned d = distanceOf(e, saved);
        if (CheckDistance && d > size_t(out - lowest))
            throw DataError{}; // before the start of this member's output
        e = litlen[bb & litMask];
        copyMatch<Pieces>(out, d, len);
        out += len;
    } while (--rounds || (in < fastInEnd && out < fastOutEnd && (rounds = roundsLeft())));
    // Return the whole bytes the branchless refill read ahead.
    bc &= 63;
    in -= (bc >> 3);
    bc &= 7;
    bb &= (uint64_t(1) << bc) - 1;
    f.bb = bb;
    f.bc = bc;
    f.in = in;
    f.out = out;
    return ended;
}

using TFastLoopFn = bool (*)(TFastLoop&, const uint32_t*, const uint8_t*, uint8_t*, const uint8_t*);

// The loop's variants by Mode: 0 plain, 1 guessing literals, 2 long matches (chooseCopy).
template <bool CheckDistance, unsigned Mode>
bool fastLoopGeneric(TFastLoop& f, const uint32_t* tables, const uint8_t* fastInEnd, uint8_t* fastOutEnd,
                     const uint8_t* lowest)
{
    return fastLoop<false, CheckDistance, Mode == 1, Mode == 2 ? 3 : 2>(f, tables, fastInEnd, fastOutEnd, lowest);
}

#if defined(__x86_64__) && defined(__GNUC__)
template <bool CheckDistance, unsigned Mode>
[[gnu::target("bmi,bmi2")]] bool fastLoopBmi2(TFastLoop& f, const uint32_t* tables, const uint8_t* fastInEnd,
                                              uint8_t* fastOutEnd, const uint8_t* lowest)
{
    return fastLoop<true, CheckDistance, Mode == 1, Mode == 2 ? 3 : 2>(f, tables, fastInEnd, fastOutEnd, lowest);
}
const bool HaveBmi2 = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
template <bool CheckDistance, unsigned Mode>
inline TFastLoopFn fastLoopFor()
{
    return HaveBmi2 ? fastLoopBmi2<CheckDistance, Mode> : fastLoopGeneric<CheckDistance, Mode>;
}
#else
template <bool CheckDistance, unsigned Mode>
inline TFastLoopFn fastLoopFor()
{
    return fastLoopGeneric<CheckDistance, Mode>;
}
#endif
// [check distance][mode]
const TFastLoopFn FastLoops[2][3] = {{fastLoopFor<false, 0>(), fastLoopFor<false, 1>(), fastLoopFor<false, 2>()},
                                     {fastLoopFor<true, 0>(), fastLoopFor<true, 1>(), fastLoopFor<true, 2>()}};

} // namespace

struct TInflateState {
    TCodeTables dynamic;
    TCodeTables fixed;
    uint32_t codelen[CodelenTableSize];
    bool fixedBuilt = false;
    unsigned unusedBytes = 0; // whole bytes read ahead but not used by the stream
    uint8_t out[HistorySize + OutputArea + OutputSlack];
};

void TInflateStateDeleter::operator()(TInflateState* state) const
{
    delete state;
}

namespace {

class Decoder {
public:
    Decoder(TUnzipIO& io, TInflateState& st) : io_(io), st_(st)
    {
        in_ = io.InputData();
        end_ = in_ + io.InputAvailable();
        // Straight into the sink's memory when it offers it: no window to slide and nothing
        // to copy out; else into the window, 32 KiB of history kept in front.
        uint8_t* base = io.SinkMemory();
        if (base) {
            memoryEnd_ = base + io.UncompressedSize;
            limit_ = base + std::min<uint64_t>(HistorySize + OutputArea, io.UncompressedSize);
        } else {
            base = st.out;
            limit_ = st.out + HistorySize + OutputArea;
        }
        out_ = base;
        lowest_ = base;
        flushed_ = base;
    }

    void run()
    {
        bool last = false;
        do {
            last = getBits(1);
            unsigned type = getBits(2);
            checkOverrun();
            switch (type) {
            case 0:
                storedBlock();
                break;
            case 1:
                fixedBlock();
                break;
            case 2:
                dynamicBlock();
                break;
            default:
                throw BadType{};
            }
        } while (!last);
        flush();
    }

    // Hands the bytes not used by the stream back to the input count.
    void finish()
    {
        syncInput();
        unsigned real = realBits();
        st_.unusedBytes = real / 8;
    }

    struct BadType {};

private:
    TUnzipIO& io_;
    TInflateState& st_;
    const uint8_t* in_;
    const uint8_t* end_;
    uint64_t bitbuf_ = 0;
    unsigned bitcnt_ = 0;
    unsigned overrun_ = 0; // zero bytes put into the bit buffer past the end of the input
    uint8_t* out_;
    uint8_t* lowest_; // the member's first byte still in the buffer
    uint8_t* flushed_;
    uint8_t* limit_; // end of the room to decode into before the next flush
    uint8_t* memoryEnd_ = nullptr; // end of the sink's memory when decoding straight into it

    unsigned realBits() const { return bitcnt_ >= overrun_ * 8 ? bitcnt_ - overrun_ * 8 : 0; }

    void syncInput() { io_.SetInputPosition(in_); }

    bool refillSource()
    {
        // The refill keeps the 8 bytes before the read position, so whole bytes of the bit
        // buffer can still be given back afterwards.
        syncInput();
        io_.RefillInput();
        in_ = io_.InputData();
        end_ = in_ + io_.InputAvailable();
        return in_ != end_;
    }

    // Tops the bit buffer up to 56-63 bits, bytewise (the fast loop relies on 63 at most);
    // past the end zero bytes go in and are counted, so using them is caught at once.
    void slowRefill()
    {
        while (bitcnt_ < 56) {
            if (in_ == end_ && (overrun_ || !refillSource())) {
                bitcnt_ += 8;
                ++overrun_;
                continue;
            }
            bitbuf_ |= uint64_t(*in_++) << bitcnt_;
            bitcnt_ += 8;
        }
    }

    void checkOverrun()
    {
        if (bitcnt_ < overrun_ * 8)
            throw DataError{}; // bits past the end of the input were used
    }

    unsigned getBits(unsigned n)
    {
        if (bitcnt_ < n)
            slowRefill();
        unsigned v = unsigned(bitbuf_ & ((uint64_t(1) << n) - 1));
        bitbuf_ >>= n;
        bitcnt_ -= n;
        return v;
    }

    void flush()
    {
        if (out_ > flushed_)
            io_.WriteOutput(flushed_, size_t(out_ - flushed_));
        flushed_ = out_;
    }

    // Writes out what is pending and keeps the last 32 KiB as history. In the sink's memory
    // the room moves on instead, up to the end of the memory.
    void slide()
    {
        flush();
        if (memoryEnd_) {
            limit_ = out_ + std::min<size_t>(OutputArea, size_t(memoryEnd_ - out_));
            return;
        }
        uint8_t* base = st_.out;
        if (out_ - base <= ptrdiff_t(HistorySize))
            return;
        size_t shift = size_t(out_ - base) - HistorySize;
        std::memmove(base, out_ - HistorySize, HistorySize);
        lowest_ = lowest_ - base > ptrdiff_t(shift) ? lowest_ - shift : base;
        out_ = base + HistorySize;
        flushed_ = out_;
    }

    // More output than the sink's memory holds: the member is larger than it says. What fits
    // is written, as from the window.
    [[noreturn]] void overflow()
    {
        flush();
        throw EBiggerThanUncompressed(QStringLiteral("File is larger than uncompressed size!"));
    }

    // Room for one more byte at out_ (only the end of the sink's memory can lack it).
    void roomForByte()
    {
        if (out_ >= limit_) {
            slide();
            if (out_ >= limit_)
                overflow();
        }
    }

    void storedBlock()
    {
        // Drop to a byte boundary; the rest of the bit buffer holds whole bytes.
        unsigned drop = bitcnt_ & 7;
        bitbuf_ >>= drop;
        bitcnt_ -= drop;
        unsigned len = getBits(16);
        unsigned nlen = getBits(16);
        checkOverrun();
        if (len != (~nlen & 0xFFFF))
            throw DataError{};
        while (len && bitcnt_ >= 8) {
            roomForByte();
            if (realBits() < 8)
                throw DataError{};
            *out_++ = uint8_t(bitbuf_);
            bitbuf_ >>= 8;
            bitcnt_ -= 8;
            --len;
        }
        while (len) {
            roomForByte();
            if (in_ == end_ && (overrun_ || !refillSource()))
                throw DataError{};
            size_t n = std::min<size_t>({len, size_t(end_ - in_), size_t(limit_ - out_)});
            std::memcpy(out_, in_, n);
            out_ += n;
            in_ += n;
            len -= unsigned(n);
        }
    }

    void fixedBlock()
    {
        if (!st_.fixedBuilt) {
            uint8_t lengths[288];
            std::fill(lengths, lengths + 144, 8);
            std::fill(lengths + 144, lengths + 256, 9);
            std::fill(lengths + 256, lengths + 280, 7);
            std::fill(lengths + 280, lengths + 288, 8);
            buildTable(st_.fixed.litlen, LitlenRootBits, lengths, 288, TableKind::Litlen);
            chooseGuess(st_.fixed, lengths, pairLiterals(st_.fixed.litlen, LitlenRootBits, lengths, 288));
            chooseCopy(st_.fixed, lengths, 288);
            std::memcpy(st_.fixed.literalBits, lengths, 256);
            std::fill(lengths, lengths + 30, 5);
            buildTable(st_.fixed.dist, DistRootBits, lengths, 30, TableKind::Dist); // incomplete, accepted
            st_.fixedBuilt = true;
        }
        codes(st_.fixed);
    }

    void dynamicBlock()
    {
        unsigned hlit = getBits(5) + 257;
        unsigned hdist = getBits(5) + 1;
        unsigned hclen = getBits(4) + 4;
        checkOverrun();
        if (hlit > 286 || hdist > 30)
            throw DataError{};
        uint8_t clens[19] = {};
        for (unsigned i = 0; i < hclen; ++i)
            clens[CodelenOrder[i]] = uint8_t(getBits(3));
        checkOverrun();
        if (buildTable(st_.codelen, CodelenRootBits, clens, 19, TableKind::Codelen) != BuildResult::Complete)
            throw DataError{};

        uint8_t lengths[286 + 30];
        unsigned total = hlit + hdist;
        unsigned i = 0;
        while (i < total) {
            if (bitcnt_ < 16)
                slowRefill();
            uint32_t e = st_.codelen[bitbuf_ & ((1u << CodelenRootBits) - 1)];
            if (kindOf(e) != KindLiteral)
                throw DataError{};
            bitbuf_ >>= bitsOf(e);
            bitcnt_ -= bitsOf(e);
            unsigned sym = valueOf(e);
            if (sym < 16) {
                lengths[i++] = uint8_t(sym);
                continue;
            }
            unsigned rep;
            uint8_t val = 0;
            if (sym == 16) {
                if (i == 0)
                    throw DataError{};
                val = lengths[i - 1];
                rep = 3 + getBits(2);
            } else if (sym == 17) {
                rep = 3 + getBits(3);
            } else {
                rep = 11 + getBits(7);
            }
            if (i + rep > total)
                throw DataError{};
            std::memset(lengths + i, val, rep);
            i += rep;
        }
        checkOverrun();
        if (lengths[256] == 0)
            throw DataError{}; // a block without an end code cannot end
        // A single code of length 1 (the end code alone) leaves half the code unused, as with
        // distances below; zlib decodes such a block, and so do we.
        unsigned singleLit = 0;
        const BuildResult l = buildTable(st_.dynamic.litlen, LitlenRootBits, lengths, hlit, TableKind::Litlen, &singleLit);
        if (l != BuildResult::Complete && !(l == BuildResult::Incomplete && singleLit == 1))
            throw DataError{};
        chooseGuess(st_.dynamic, lengths, pairLiterals(st_.dynamic.litlen, LitlenRootBits, lengths, hlit));
        chooseCopy(st_.dynamic, lengths, hlit);
        std::memcpy(st_.dynamic.literalBits, lengths, 256);
        unsigned single = 0;
        BuildResult d = buildTable(st_.dynamic.dist, DistRootBits, lengths + hlit, hdist, TableKind::Dist, &single);
        // One distance code of length 1 leaves half the code unused; the deflate format allows
        // it (its unused half decodes as invalid). Any other incomplete set is an error.
        if (d == BuildResult::OverSubscribed || (d == BuildResult::Incomplete && single != 1))
            throw DataError{};
        codes(st_.dynamic);
    }

    void checkedCopy(unsigned dist, unsigned len)
    {
        if (dist > size_t(out_ - lowest_))
            throw DataError{}; // before the start of this member's output
        const size_t room = size_t(limit_ - out_);
        if (len + WideCopyOvershoot <= room) {
            copyMatch(out_, dist, len);
        } else {
            // Only at the end of the sink's memory: the window always has room after a slide.
            if (len > room)
                overflow();
            const uint8_t* src = out_ - dist;
            for (unsigned k = 0; k < len; ++k)
                out_[k] = src[k];
        }
        out_ += len;
    }

    void codes(const TCodeTables& tables)
    {
        const uint32_t* const litlen = tables.litlen;
        for (;;) {
            // Fast loop: enough input for a whole symbol and enough room for a whole match.
            if (end_ - in_ < ptrdiff_t(FastInputMargin) && !overrun_) {
                // Pull the next chunk in so that the fast loop can go on.
                if (io_.InputAvailable() - size_t(in_ - io_.InputData()) < FastInputMargin)
                    refillSource();
            }
            const bool fastRoom = limit_ - out_ > ptrdiff_t(FastOutputMargin);
            if (!overrun_ && end_ - in_ > ptrdiff_t(FastInputMargin) && fastRoom) {
                uint8_t* const fastOutEnd = limit_ - FastOutputMargin;
                const uint8_t* const fastInEnd = end_ - FastInputMargin;
                TFastLoop f{bitbuf_, bitcnt_, in_, out_, tables.guessA, tables.guessB};
                const bool check = out_ - lowest_ < ptrdiff_t(HistorySize);
                const unsigned mode = tables.guessA ? 1 : tables.longMatches ? 2 : 0;
                const bool ended = FastLoops[check][mode](f, litlen, fastInEnd, fastOutEnd, lowest_);
                bitbuf_ = f.bb;
                bitcnt_ = f.bc;
                in_ = f.in;
                out_ = f.out;
                if (ended)
                    return;
            }
            // Careful path: one symbol at a time, near the end of the input or the buffer.
            if (limit_ - out_ <= ptrdiff_t(FastOutputMargin))
                slide();
            if (slowSymbol(tables))
                return;
        }
    }

    // Decodes one symbol with bytewise refills; returns true at the end of the block.
    bool slowSymbol(const TCodeTables& tables)
    {
        const uint32_t* const litlen = tables.litlen;
        const uint32_t* const dist = tables.dist;
        slowRefill();
        uint32_t e = litlen[bitbuf_ & ((1u << LitlenRootBits) - 1)];
        if (kindOf(e) == KindSub)
            e = subEntry(litlen, e, LitlenRootBits, bitbuf_);
        // Two codes in one entry are taken one at a time here, so a stream cut short is caught
        // at the first symbol that uses missing bits.
        const unsigned used = kindOf(e) == KindLiteralPair     ? extraOf(e)
                              : kindOf(e) == KindLiteralLength ? tables.literalBits[e >> 24]
                                                               : bitsOf(e);
        uint64_t saved = bitbuf_;
        bitbuf_ >>= used;
        bitcnt_ -= used;
        switch (kindOf(e)) {
        case KindLiteral:
        case KindLiteralPair:
            checkOverrun();
            roomForByte();
            *out_++ = uint8_t(valueOf(e));
            return false;
        case KindLiteralLength:
            checkOverrun();
            roomForByte();
            *out_++ = uint8_t(e >> 24);
            return false;
        case KindEnd:
            checkOverrun();
            return true;
        case KindBase:
            break;
        default:
            throw DataError{};
        }
        unsigned len = lengthValue(e, saved);
        slowRefill();
        e = dist[bitbuf_ & ((1u << DistRootBits) - 1)];
        if (kindOf(e) == KindSub)
            e = subEntry(dist, e, DistRootBits, bitbuf_);
        if (kindOf(e) != KindBase)
            throw DataError{};
        saved = bitbuf_;
        bitbuf_ >>= bitsOf(e);
        bitcnt_ -= bitsOf(e);
        unsigned d = baseValue(e, saved);
        checkOverrun();
        checkedCopy(d, len);
        return false;
    }
};

} // namespace

bool PrepareInflate(TUnzipIO& io)
{
    if (!io.InflateState) {
        try {
            io.InflateState.reset(new TInflateState);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

TInflateResult Inflate(TUnzipIO& io)
{
    if (!PrepareInflate(io)) {
        platform::dialogs().message(QStringLiteral("*** inflate out of memory ***"), QStringLiteral("Error"),
                                    platform::MsgButtons::Ok);
        return TInflateResult::OutOfMemory;
    }
    TInflateState& st = *io.InflateState;
    st.unusedBytes = 0;
    Decoder dec(io, st);
    TInflateResult result = TInflateResult::Ok;
    try {
        dec.run();
    } catch (const Decoder::BadType&) {
        result = TInflateResult::BadBlockType;
    } catch (const DataError&) {
        result = TInflateResult::DataError;
    } catch (const EUserCanceled&) {
        dec.finish();
        throw;
    } catch (const std::exception&) {
        // The output guard, an archive that ends early, a stream error: this member fails.
        result = TInflateResult::DataError;
    }
    dec.finish();
    return result;
}

TInflateResult InflateFrom(TUnzipSource& source, TUnzipSink& sink, uint64_t size, uint64_t maxOutput,
                           uint64_t* consumed)
{
    TUnzipIO io;
    io.StartMember(&source, &sink, size, maxOutput);
    if (!PrepareInflate(io))
        return TInflateResult::OutOfMemory;
    TInflateResult r = Inflate(io);
    if (consumed) {
        uint64_t used = size - uint64_t(std::max<int64_t>(io.BytesLeft, 0));
        used -= std::min<uint64_t>(used, io.InflateState->unusedBytes);
        *consumed = used;
    }
    return r;
}

TInflateResult InflateBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out,
                             size_t maxOutput, size_t* consumed)
{
    out.clear();
    TMemorySource src(data, size);
    TVectorSink sink(out);
    uint64_t used = 0;
    TInflateResult r = InflateFrom(src, sink, size, maxOutput, &used);
    if (consumed)
        *consumed = size_t(used);
    return r;
}

int huft_build(const unsigned* b, unsigned n, unsigned s, const uint16_t* d, const uint8_t* e, THuftList& table,
               int& lookupBits)
{
    constexpr unsigned MaxLen = 16;
    huft_free(table);
    try {
        unsigned count[MaxLen + 1] = {};
        for (unsigned i = 0; i < n; ++i) {
            if (b[i] > MaxLen)
                return 2;
            count[b[i]]++;
        }
        count[0] = 0;
        unsigned minLen = 0, maxLen = 0;
        for (unsigned l = 1; l <= MaxLen; ++l)
            if (count[l]) {
                if (!minLen)
                    minLen = l;
                maxLen = l;
            }
        if (maxLen == 0) {
            lookupBits = 0;
            return 0;
        }
        int64_t left = 1;
        for (unsigned l = 1; l <= MaxLen; ++l) {
            left = (left << 1) - int64_t(count[l]);
            if (left < 0)
                return 2;
        }
        unsigned rootBits = unsigned(std::clamp(lookupBits, int(minLen), int(maxLen)));
        lookupBits = int(rootBits);
        unsigned next[MaxLen + 1];
        unsigned code = 0;
        for (unsigned l = 1; l <= MaxLen; ++l) {
            code = (code + count[l - 1]) << 1;
            next[l] = code;
        }
        THuft invalid;
        invalid.e = 99;
        invalid.b = uint8_t(rootBits);
        table.tables.emplace_back(size_t(1) << rootBits, invalid);
        const unsigned subBits = maxLen - rootBits;
        std::vector<int> subOf(size_t(1) << rootBits, -1);
        for (unsigned i = 0; i < n; ++i) {
            const unsigned len = b[i];
            if (!len)
                continue;
            unsigned rev = 0;
            for (unsigned k = 0, c = next[len]++; k < len; ++k, c >>= 1)
                rev = (rev << 1) | (c & 1);
            THuft entry;
            if (i < s) {
                entry.e = i < 256 ? 16 : 15;
                entry.n = uint16_t(i);
            } else {
                entry.e = e[i - s];
                entry.n = d[i - s];
            }
            if (len <= rootBits) {
                entry.b = uint8_t(len);
                std::vector<THuft>& root = table.tables[0];
                for (size_t k = rev; k < root.size(); k += size_t(1) << len)
                    root[k] = entry;
                continue;
            }
            const unsigned prefix = rev & ((1u << rootBits) - 1);
            if (subOf[prefix] < 0) {
                THuft subInvalid;
                subInvalid.e = 99;
                subInvalid.b = uint8_t(subBits);
                subOf[prefix] = int(table.tables.size());
                table.tables.emplace_back(size_t(1) << subBits, subInvalid);
            }
            std::vector<THuft>& sub = table.tables[size_t(subOf[prefix])];
            entry.b = uint8_t(len - rootBits);
            for (size_t k = rev >> rootBits; k < sub.size(); k += size_t(1) << (len - rootBits))
                sub[k] = entry;
        }
        // Links from the first level to the sub-tables, now that no table moves any more.
        for (size_t prefix = 0; prefix < subOf.size(); ++prefix) {
            if (subOf[prefix] < 0)
                continue;
            THuft& link = table.tables[0][prefix];
            link.e = uint8_t(16 + subBits);
            link.b = uint8_t(rootBits);
            link.n = 0;
            link.t = table.tables[size_t(subOf[prefix])].data();
        }
        table.root = table.tables[0].data();
        return left > 0 ? 1 : 0;
    } catch (const std::bad_alloc&) {
        huft_free(table);
        return 3;
    }
}

void huft_free(THuftList& table)
{
    table.tables.clear();
    table.root = nullptr;
}

} // namespace archive
