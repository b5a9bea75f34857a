#include "archive/Deflate.h"

#include "archive/ZipExceptions.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace archive {

namespace {

constexpr unsigned WSize = 32768;
constexpr unsigned WMask = WSize - 1;
// 16 hash bits (shift 6), not 15: with 15 bits, data such as tables of little counters
// crowd into few chains and levels 1-2 lose up to a few per cent against other encoders.
constexpr unsigned HashBits = 16;
constexpr unsigned HashShift = 6;
constexpr unsigned HashSize = 1u << HashBits;
constexpr unsigned HashMask = HashSize - 1;
constexpr unsigned MinMatch = 3;
constexpr unsigned MaxMatch = 258;
constexpr unsigned MinLookahead = MaxMatch + MinMatch + 1;
constexpr unsigned MaxDist = WSize - MinLookahead; // 32506
constexpr unsigned TooFar = 4096;
constexpr unsigned LitBufSize = 32768;
// Slack after the window for the 8-byte comparisons that may run past the lookahead.
constexpr unsigned WindowSlack = MaxMatch + 16;

constexpr unsigned LengthCodes = 29;
constexpr unsigned Literals = 256;
constexpr unsigned LCodes = Literals + 1 + LengthCodes; // 286
constexpr unsigned DCodes = 30;
constexpr unsigned BLCodes = 19;
constexpr unsigned EndBlock = 256;
constexpr unsigned Rep3_6 = 16;
constexpr unsigned RepZ3_10 = 17;
constexpr unsigned RepZ11_138 = 18;
constexpr unsigned MaxBits = 15;
constexpr unsigned MaxBLBits = 7;
constexpr unsigned HeapSize = 2 * LCodes + 1;

constexpr uint8_t ExtraLBits[LengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t ExtraDBits[DCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t ExtraBLBits[BLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr uint8_t BLOrder[BLCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct Code {
    uint16_t code = 0; // bit-reversed, ready to send least significant bit first
    uint16_t len = 0;
};

unsigned reverseBits(unsigned code, unsigned len)
{
    unsigned r = 0;
    for (unsigned i = 0; i < len; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

// Canonical codes from code lengths.
void genCodes(Code* tree, int maxCode, const uint16_t* blCount)
{
    uint16_t next[MaxBits + 1];
    unsigned code = 0;
    for (unsigned bits = 1; bits <= MaxBits; ++bits) {
        code = (code + blCount[bits - 1]) << 1;
        next[bits] = uint16_t(code);
    }
    for (int n = 0; n <= maxCode; ++n) {
        unsigned len = tree[n].len;
        if (len)
            tree[n].code = uint16_t(reverseBits(next[len]++, len));
    }
}

// Fixed tables of the format, built once.
struct StaticTables {
    Code ltree[LCodes + 2];
    Code dtree[DCodes];
    uint8_t lengthCode[256];   // match length - 3 -> length code
    uint8_t distCode[512];     // see dCode()
    uint16_t baseLength[LengthCodes];
    uint16_t baseDist[DCodes];

    StaticTables()
    {
        unsigned length = 0;
        for (unsigned code = 0; code < LengthCodes - 1; ++code) {
            baseLength[code] = uint16_t(length);
            for (unsigned n = 0; n < (1u << ExtraLBits[code]); ++n)
                lengthCode[length++] = uint8_t(code);
        }
        // Length 258 has its own code; it overrides the last entry of code 27.
        lengthCode[length - 1] = uint8_t(LengthCodes - 1);
        baseLength[LengthCodes - 1] = 255;
        unsigned dist = 0;
        unsigned code = 0;
        for (; code < 16; ++code) {
            baseDist[code] = uint16_t(dist);
            for (unsigned n = 0; n < (1u << ExtraDBits[code]); ++n)
                distCode[dist++] = uint8_t(code);
        }
        dist >>= 7;
        for (; code < DCodes; ++code) {
            baseDist[code] = uint16_t(dist << 7);
            for (unsigned n = 0; n < (1u << (ExtraDBits[code] - 7)); ++n)
                distCode[256 + dist++] = uint8_t(code);
        }
        uint16_t blCount[MaxBits + 1] = {};
        unsigned n = 0;
        for (; n <= 143; ++n) ltree[n].len = 8;
        for (; n <= 255; ++n) ltree[n].len = 9;
        for (; n <= 279; ++n) ltree[n].len = 7;
        for (; n <= 287; ++n) ltree[n].len = 8;
        blCount[7] = 24;
        blCount[8] = 144 + 8;
        blCount[9] = 112;
        genCodes(ltree, LCodes + 1, blCount);
        for (unsigned d = 0; d < DCodes; ++d) {
            dtree[d].len = 5;
            dtree[d].code = uint16_t(reverseBits(d, 5));
        }
    }
};

// Built before main, so the hot loops read them without a guard.
const StaticTables staticTables;

const StaticTables& statics()
{
    return staticTables;
}

inline unsigned dCode(unsigned dist) // dist is distance - 1
{
    return dist < 256 ? staticTables.distCode[dist] : staticTables.distCode[256 + (dist >> 7)];
}

struct LevelConfig {
    uint16_t goodLength;
    uint16_t maxLazy; // lazy length (levels 4-9) or insert limit (levels 1-3)
    uint16_t niceLength;
    uint16_t maxChain;
    bool lazy;
};

constexpr LevelConfig Levels[10] = {
    {0, 0, 0, 0, false},        {4, 4, 8, 4, false},       {4, 5, 16, 8, false},
    {4, 6, 32, 32, false},      {4, 4, 16, 16, true},      {8, 16, 32, 32, true},
    {8, 16, 128, 128, true},    {8, 32, 128, 256, true},   {32, 128, 258, 1024, true},
    {32, 258, 258, 4096, true},
};

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Length of the common prefix of a and b, at most `max`; reads up to 7 bytes beyond.
inline unsigned commonLength(const uint8_t* a, const uint8_t* b, unsigned max)
{
    unsigned len = 0;
    while (len < max) {
        uint64_t x = load64(a + len) ^ load64(b + len);
        if (x) {
            len += unsigned(__builtin_ctzll(x)) >> 3;
            return len < max ? len : max;
        }
        len += 8;
    }
    return max;
}

constexpr size_t OutBufSize = 16384;

// Positions after the window moved down by WSize: each less WSize, those below it 0.
void slidePositions(uint16_t* p, unsigned n)
{
#if defined(__SSE2__)
    const __m128i w = _mm_set1_epi16(short(WSize));
    __m128i* v = reinterpret_cast<__m128i*>(p);
    for (unsigned i = 0; i < n / 8; i += 4) {
        const __m128i a = _mm_subs_epu16(_mm_load_si128(v + i), w);
        const __m128i b = _mm_subs_epu16(_mm_load_si128(v + i + 1), w);
        const __m128i c = _mm_subs_epu16(_mm_load_si128(v + i + 2), w);
        const __m128i d = _mm_subs_epu16(_mm_load_si128(v + i + 3), w);
        _mm_store_si128(v + i, a);
        _mm_store_si128(v + i + 1, b);
        _mm_store_si128(v + i + 2, c);
        _mm_store_si128(v + i + 3, d);
    }
#else
    for (unsigned i = 0; i < n; ++i)
        p[i] = uint16_t(p[i] >= WSize ? p[i] - WSize : 0);
#endif
}

} // namespace

struct TDeflateWork {
    uint8_t window[2 * WSize + WindowSlack];
    alignas(64) uint16_t head[HashSize];
    // Per position (modulo the window length): the next four positions along its hash chain,
    // 16 bits each, the nearest in the low bits. A walk reads only the links of positions
    // inside the window, and those were all written when their position was inserted.
    alignas(64) uint64_t links[WSize];
    uint8_t lbuf[LitBufSize];  // literal, or match length - 3
    uint16_t dbuf[LitBufSize]; // 0 for a literal, else the distance
    uint8_t outBuf[OutBufSize + 64];
};

namespace {

// Heap-based Huffman tree construction with the usual length-limit repair.
struct TreeBuilder {
    uint32_t freq[HeapSize];
    uint16_t dad[HeapSize];
    uint16_t len[HeapSize];
    int heap[HeapSize];
    uint8_t depth[HeapSize];
    uint64_t key[HeapSize]; // frequency and depth in one number, ordered as smaller() wants
    int heapLen = 0;
    int heapMax = 0;

    bool smaller(int n, int m) const
    {
        return key[n] <= key[m]; // freq[n] < freq[m] || (freq[n] == freq[m] && depth[n] <= depth[m])
    }

    void downHeap(int k)
    {
        int v = heap[k];
        int j = k << 1;
        while (j <= heapLen) {
            if (j < heapLen && smaller(heap[j + 1], heap[j]))
                j++;
            if (smaller(v, heap[j]))
                break;
            heap[k] = heap[j];
            k = j;
            j <<= 1;
        }
        heap[k] = v;
    }

    // Builds code lengths for `elems` codes from `f` (frequencies; a code given a forced
    // frequency of 1 gets it written back). Adds the cost of the block with these codes to
    // optLen and with the static lengths `stree` (may be null) to staticLen. Returns the
    // largest used code.
    int build(Code* tree, uint32_t* f, unsigned elems, const uint8_t* extra, unsigned extraBase,
              unsigned maxLength, const Code* stree, uint64_t& optLen, uint64_t& staticLen)
    {
        int maxCode = -1;
        heapLen = 0;
        heapMax = HeapSize;
        for (unsigned n = 0; n < elems; ++n) {
            freq[n] = f[n];
            if (f[n]) {
                heap[++heapLen] = int(n);
                maxCode = int(n);
                depth[n] = 0;
                key[n] = uint64_t(f[n]) << 8;
            } else {
                tree[n].len = 0;
            }
        }
        // The format needs at least two codes; give unused ones a frequency of 1.
        while (heapLen < 2) {
            int node = heap[++heapLen] = (maxCode < 2 ? ++maxCode : 0);
            freq[node] = 1;
            f[node] = 1;
            depth[node] = 0;
            key[node] = 1u << 8;
            optLen -= 1;
            if (stree)
                staticLen -= stree[node].len;
        }
        for (int n = heapLen / 2; n >= 1; --n)
            downHeap(n);
        int node = int(elems);
        do {
            int n = heap[1];
            heap[1] = heap[heapLen--];
            downHeap(1);
            int m = heap[1];
            heap[--heapMax] = n;
            heap[--heapMax] = m;
            freq[node] = freq[n] + freq[m];
            depth[node] = uint8_t((depth[n] >= depth[m] ? depth[n] : depth[m]) + 1);
            key[node] = uint64_t(freq[node]) << 8 | depth[node];
            dad[n] = dad[m] = uint16_t(node);
            heap[1] = node++;
            downHeap(1);
        } while (heapLen >= 2);
        heap[--heapMax] = heap[1];

        // Bit lengths, limited to maxLength.
        uint16_t blCount[MaxBits + 1] = {};
        len[heap[heapMax]] = 0;
        int overflow = 0;
        for (int h = heapMax + 1; h < int(HeapSize); ++h) {
            int n = heap[h];
            unsigned bits = len[dad[n]] + 1u;
            if (bits > maxLength) {
                bits = maxLength;
                overflow++;
            }
            len[n] = uint16_t(bits);
            if (n > maxCode)
                continue; // not a leaf
            blCount[bits]++;
            unsigned xbits = unsigned(n) >= extraBase && extra ? extra[n - extraBase] : 0;
            optLen += uint64_t(freq[n]) * (bits + xbits);
            if (stree)
                staticLen += uint64_t(freq[n]) * (stree[n].len + xbits);
        }
        if (overflow) {
            do {
                unsigned bits = maxLength - 1;
                while (blCount[bits] == 0)
                    bits--;
                blCount[bits]--;
                blCount[bits + 1] += 2;
                blCount[maxLength]--;
                overflow -= 2;
            } while (overflow > 0);
            int h = HeapSize;
            for (unsigned bits = maxLength; bits != 0; --bits) {
                unsigned n = blCount[bits];
                while (n != 0) {
                    int m = heap[--h];
                    if (m > maxCode)
                        continue;
                    if (len[m] != bits) {
                        optLen += (int64_t(bits) - int64_t(len[m])) * int64_t(freq[m]);
                        len[m] = uint16_t(bits);
                    }
                    n--;
                }
            }
        }
        for (int n = 0; n <= maxCode; ++n)
            tree[n].len = freq[n] ? len[n] : 0;
        genCodes(tree, maxCode, blCount);
        return maxCode;
    }
};

class Encoder {
public:
    Encoder(TDeflateWork& w, TDeflateIO& io, int level, bool allowStored)
        : w_(w), io_(io), cfg_(Levels[level]), level_(level), allowStored_(allowStored)
    {
        std::memset(w_.head, 0, sizeof w_.head);
        outp_ = w_.outBuf;
        outEnd_ = w_.outBuf + OutBufSize;
        initBlock();
    }

    TDeflateResult run()
    {
        fillWindow();
        if (cfg_.lazy)
            deflateSlow();
        else
            deflateFast();
        TDeflateResult r;
        r.Flags = DeflateFlagBits(level_);
        r.InternalAttributes = textVerdict_ < 0 ? 1 : uint16_t(textVerdict_);
        r.Method = storedMember_ ? 0 : 8;
        r.CompressedSize = written_;
        std::memset(w_.window, 0, sizeof w_.window);
        return r;
    }

private:
    TDeflateWork& w_;
    TDeflateIO& io_;
    LevelConfig cfg_;
    int level_;
    bool allowStored_;

    // Matching state.
    unsigned strstart_ = 0;
    unsigned lookahead_ = 0;
    unsigned matchStart_ = 0;
    long blockStart_ = 0;
    bool eof_ = false;
    // What the chain walks need, copied into a local of the hot loops around their calls out.
    struct Search {
        unsigned maxChain;   // the level's chain limit
        unsigned goodLength; // a previous match this long quarters the chain limit
        unsigned niceLength; // a match this long ends the walk
        unsigned chainShift = 0;
        uint64_t chainSteps = 0;
        long checkPos = 0;
    };
    Search search_{cfg_.maxChain, cfg_.goodLength, cfg_.niceLength};

    // Block state.
    uint32_t lfreq_[LCodes + 2];
    uint32_t dfreq_[DCodes];
    unsigned lastLit_ = 0;
    unsigned matches_ = 0;
    Code ltree_[LCodes + 2];
    Code dtree_[DCodes + 1];
    Code bltree_[BLCodes];
    uint32_t blfreq_[BLCodes];

    // Output.
    uint64_t bitbuf_ = 0;
    unsigned bitcnt_ = 0;
    uint8_t* outp_;
    uint8_t* outEnd_;
    uint64_t written_ = 0;
    bool anyOutput_ = false;
    bool storedMember_ = false;
    int textVerdict_ = -1; // not judged yet

    void initBlock()
    {
        std::memset(lfreq_, 0, sizeof lfreq_);
        std::memset(dfreq_, 0, sizeof dfreq_);
        std::memset(blfreq_, 0, sizeof blfreq_);
        lfreq_[EndBlock] = 1;
        lastLit_ = 0;
        matches_ = 0;
    }

    // ---------------------------------------------------------------- window and hashing
    void fillWindow()
    {
        do {
            unsigned more = 2 * WSize - lookahead_ - strstart_;
            if (strstart_ >= WSize + MaxDist) {
                std::memcpy(w_.window, w_.window + WSize, WSize);
                matchStart_ = matchStart_ >= WSize ? matchStart_ - WSize : 0;
                strstart_ -= WSize;
                blockStart_ -= long(WSize);
                search_.checkPos -= long(WSize);
                slidePositions(w_.head, HashSize);
                slidePositions(reinterpret_cast<uint16_t*>(w_.links), 4 * WSize);
                more += WSize;
            }
            if (eof_ || more == 0)
                break;
            size_t n = io_.ReadSource(w_.window + strstart_ + lookahead_, more);
            if (n == 0 || n > more) {
                eof_ = true;
                break;
            }
            lookahead_ += unsigned(n);
        } while (lookahead_ < MinLookahead);
    }

    // The three bytes' hash, (b0 << 12) ^ (b1 << 6) ^ b2 in 16 bits, from one load.
    static inline unsigned hashAt(const uint8_t* p)
    {
        const uint32_t v = load32(p);
        return ((v & 0xF) << 12) ^ ((v >> 2) & 0x3FC0) ^ ((v >> 16) & 0xFF);
    }

    // Links the string at pos into its hash chain; returns the previous head. The new link
    // is the old head followed by the first three links of the old head's own.
    static inline unsigned insertString(TDeflateWork& w, unsigned pos)
    {
        return insertString(w, pos, hashAt(w.window + pos));
    }

    static inline unsigned insertString(TDeflateWork& w, unsigned pos, unsigned h)
    {
        const unsigned head = w.head[h];
        w.links[pos & WMask] = head | (w.links[head & WMask] << 16);
        w.head[h] = uint16_t(pos);
        return head;
    }

    // Keeps the chain walks of pathological inputs (a tiny alphabet: every chain as long as
    // the window, every match short) from taking seconds per megabyte: when the chain steps of
    // the last stretch average too many per byte, the chain limit is halved, down to 1/16;
    // it recovers when they fall. Ordinary data never comes near the threshold.
    static inline void accountChain(Search& sr, unsigned steps, unsigned strstart)
    {
        sr.chainSteps += steps;
        long advanced = long(strstart) - sr.checkPos;
        if (advanced < 16384)
            return;
        uint64_t perByte = sr.chainSteps / uint64_t(advanced);
        if (perByte > 128 && sr.chainShift < 4)
            sr.chainShift++;
        else if (perByte < 32 && sr.chainShift > 0)
            sr.chainShift--;
        sr.chainSteps = 0;
        sr.checkPos = long(strstart);
    }

    // The longest match for the string at `strstart` (with `lookahead` bytes ahead) along the
    // chain from `curMatch`, better than `prevLength`. `matchStart` is set only when a longer
    // match is found; the result is at most the lookahead.
    __attribute__((always_inline)) inline unsigned longestMatch(const TDeflateWork& w, Search& sr,
                                                                 unsigned strstart, unsigned lookahead,
                                                                 unsigned prevLength, unsigned curMatch,
                                                                 unsigned& matchStart)
    {
        unsigned chain = sr.maxChain >> sr.chainShift;
        if (chain == 0)
            chain = 1;
        const uint8_t* window = w.window;
        const uint8_t* scan = window + strstart;
        unsigned bestLen = prevLength;
        unsigned nice = sr.niceLength;
        const unsigned limit = strstart > MaxDist ? strstart - MaxDist : 0;
        if (prevLength >= sr.goodLength)
            chain >>= 2;
        const unsigned startChain = chain;
        if (nice > lookahead)
            nice = lookahead;
        // Only a candidate that agrees with the string on the four bytes up to the best length's
        // end (the first three while that is 2) can be longer; only those are compared whole.
        // Which candidates pass this test changes nothing but the time: every longer match does.
        unsigned endAt = bestLen >= 3 ? bestLen - 3 : 0;
        uint32_t endMask = bestLen >= 3 ? 0xFFFFFFFFu : 0xFFFFFFu;
        uint32_t scanEnd = load32(scan + endAt);
        const uint8_t* candEnd = window + endAt;
        // One candidate: true when the walk ends here (nice length reached).
        auto consider = [&](unsigned cand) {
            if (((load32(candEnd + cand) ^ scanEnd) & endMask) != 0)
                return false;
            const unsigned len = commonLength(scan, window + cand, MaxMatch);
            if (len > bestLen) {
                matchStart = cand;
                bestLen = len;
                if (len >= nice)
                    return true;
                endAt = bestLen - 3;
                endMask = 0xFFFFFFFFu;
                scanEnd = load32(scan + endAt);
                candEnd = window + endAt;
            }
            return false;
        };
        // Four chain steps per link load: the walk's speed is the latency of that load.
        const uint64_t* links = w.links;
        unsigned cur = curMatch;
        for (;;) {
            if (consider(cur))
                break;
            const uint64_t link = links[cur & WMask];
            unsigned c = unsigned(link) & 0xFFFF;
            if (c <= limit || --chain == 0)
                break;
            if (consider(c))
                break;
            c = unsigned(link >> 16) & 0xFFFF;
            if (c <= limit || --chain == 0)
                break;
            if (consider(c))
                break;
            c = unsigned(link >> 32) & 0xFFFF;
            if (c <= limit || --chain == 0)
                break;
            if (consider(c))
                break;
            cur = unsigned(link >> 48);
            if (cur <= limit || --chain == 0)
                break;
        }
        accountChain(sr, startChain - chain, strstart);
        return bestLen <= lookahead ? bestLen : lookahead;
    }

    // For the greedy levels, before the walk proper: false when the walk would end at its
    // first candidate without a step and without a match (the candidate does not agree on
    // three bytes and the next one is out of the window), or when there is no walk at all;
    // the walk's count is then kept as the walk would keep it. On data that hardly repeats,
    // the walk's own branches on these two tests miss their guesses half the time; this test
    // mostly comes out the same way.
    __attribute__((always_inline)) inline bool walkNeeded(const TDeflateWork& w, Search& sr, unsigned strstart,
                                                           unsigned hashHead)
    {
        const bool walk = (hashHead != 0) & (strstart - hashHead <= MaxDist);
        const unsigned limit = strstart > MaxDist ? strstart - MaxDist : 0;
        const bool agrees = ((load32(w.window + hashHead) ^ load32(w.window + strstart)) & 0xFFFFFF) == 0;
        const bool further = (unsigned(w.links[hashHead & WMask]) & 0xFFFF) > limit;
        if (walk & (agrees | further))
            return true;
        if ((long(strstart) - sr.checkPos >= 16384) & walk)
            accountChain(sr, 0, strstart);
        return false;
    }

    inline void checkMatch(unsigned start, unsigned match, unsigned length)
    {
        if (commonLength(w_.window + start, w_.window + match, length) != length) [[unlikely]]
            throw EInvalidMatch(QStringLiteral("Start: %1, Match: %2, Length: %3")
                                    .arg(start)
                                    .arg(match)
                                    .arg(length));
    }

    // ---------------------------------------------------------------- symbols
    // The hot loops keep the block's symbol counts in a local Tally, written back around the
    // calls that end a block.
    struct Tally {
        unsigned count;      // symbols in the block
        unsigned matches;
        bool earlyEnds;      // the block may end early (levels 3 and up)
    };

    Tally startTally()
    {
        return Tally{lastLit_, matches_, level_ > 2};
    }

    void endTally(const Tally& t)
    {
        lastLit_ = t.count;
        matches_ = t.matches;
    }

    // True when the block ends after the symbol just recorded; strstart is where the hot loop
    // stood when it recorded it.
    inline bool blockFull(const Tally& t, unsigned strstart)
    {
        if (t.earlyEnds && (t.count & 0xFFF) == 0 && earlyEnd(t, strstart))
            return true;
        return t.count == LitBufSize - 1;
    }

    // Ends the block early when it compresses well on the literals and is poorly matched.
    bool earlyEnd(const Tally& t, unsigned strstart) const
    {
        uint64_t outLength = uint64_t(t.count) * 8;
        uint64_t inLength = uint64_t(long(strstart) - blockStart_);
        for (unsigned d = 0; d < DCodes; ++d)
            outLength += uint64_t(dfreq_[d]) * (5 + ExtraDBits[d]);
        outLength >>= 3;
        return t.matches < t.count / 2 && outLength < inLength / 2;
    }

    // Symbols go to the work area's buffers (lbuf: the literal, or the match length - 3;
    // dbuf: 0 for a literal, else the distance) and are counted in the block's frequencies.
    inline void tallyLit(TDeflateWork& w, Tally& t, unsigned c)
    {
        w.dbuf[t.count] = 0;
        w.lbuf[t.count++] = uint8_t(c);
        lfreq_[c]++;
    }

    inline void tallyDist(TDeflateWork& w, Tally& t, unsigned dist, unsigned lc)
    {
        w.dbuf[t.count] = uint16_t(dist);
        w.lbuf[t.count++] = uint8_t(lc);
        t.matches++;
        lfreq_[staticTables.lengthCode[lc] + Literals + 1]++;
        dfreq_[dCode(dist - 1)]++;
    }

    // Ends the current block with strstart where the loop stands.
    void endBlock(Tally& t, unsigned strstart, bool last)
    {
        endTally(t);
        strstart_ = strstart;
        flushBlock(last);
        t = startTally();
    }

    // ---------------------------------------------------------------- greedy path
    void deflateFast()
    {
        // Each block's loop is chosen by how the block before it went.
        bool sparse = false;
        while (sparse ? greedyBlock<true>(sparse) : greedyBlock<false>(sparse)) {
        }
        Tally t = startTally();
        endBlock(t, strstart_, true);
    }

    // The greedy loop up to the end of a block; false at the end of the input. `sparse` tells
    // whether the last block found few matches: then most walks end at their first candidate
    // without a step, and a test without branches tells those apart (see walkNeeded()); the
    // loop with that test is a loop of its own, so that it costs the others nothing.
    template <bool Sparse>
    bool greedyBlock(bool& sparse)
    {
        TDeflateWork& w = w_;
        const unsigned maxInsert = cfg_.maxLazy;
        Tally t = startTally();
        Search sr = search_;
        unsigned s = strstart_, ahead = lookahead_, matchStart = matchStart_;
        // The hash of the position after one whose hash is known comes from that one and one
        // more byte; after a long match it is worked out afresh.
        unsigned h = hashAt(w.window + s);
        auto next = [&](unsigned hash) { return ((hash << HashShift) ^ w.window[s + 3]) & HashMask; };
        for (;;) {
            if (ahead < MinLookahead) {
                strstart_ = s;
                lookahead_ = ahead;
                matchStart_ = matchStart;
                search_ = sr;
                fillWindow();
                sr = search_;
                s = strstart_;
                ahead = lookahead_;
                matchStart = matchStart_;
                if (ahead == 0)
                    break;
                h = hashAt(w.window + s); // the bytes after the window's old end have come in
            }
            __builtin_prefetch(&w.head[next(h)]);
            unsigned hashHead = 0;
            if (ahead >= MinMatch)
                hashHead = insertString(w, s, h);
            unsigned matchLength = 0;
            if (Sparse ? walkNeeded(w, sr, s, hashHead) : hashHead != 0 && s - hashHead <= MaxDist)
                matchLength = longestMatch(w, sr, s, ahead, MinMatch - 1, hashHead, matchStart);
            bool full;
            if (matchLength >= MinMatch) {
                checkMatch(s, matchStart, matchLength);
                tallyDist(w, t, s - matchStart, matchLength - MinMatch);
                full = blockFull(t, s);
                ahead -= matchLength;
                if (matchLength <= maxInsert && ahead >= MinMatch) {
                    matchLength--;
                    do {
                        h = next(h);
                        s++;
                        insertString(w, s, h);
                    } while (--matchLength != 0);
                    h = next(h);
                    s++;
                } else {
                    s += matchLength;
                    h = hashAt(w.window + s);
                }
            } else {
                tallyLit(w, t, w.window[s]);
                full = blockFull(t, s);
                ahead--;
                h = next(h);
                s++;
            }
            if (full) {
                sparse = t.matches * 16 < t.count;
                endBlock(t, s, false);
                strstart_ = s;
                lookahead_ = ahead;
                matchStart_ = matchStart;
                search_ = sr;
                return true;
            }
        }
        strstart_ = s;
        matchStart_ = matchStart;
        search_ = sr;
        endTally(t);
        return false;
    }

    // ---------------------------------------------------------------- lazy path
    void deflateSlow()
    {
        TDeflateWork& w = w_;
        const unsigned maxLazy = cfg_.maxLazy;
        Tally t = startTally();
        Search sr = search_;
        unsigned s = strstart_, ahead = lookahead_, matchStart = matchStart_;
        bool matchAvailable = false;
        unsigned matchLength = MinMatch - 1;
        // Every position passes through here one after the other, so the hash of the next
        // one comes from this one's and one more byte; the next chain head is fetched early.
        unsigned h = hashAt(w.window + s);
        auto step = [&] {
            s++;
            h = ((h << HashShift) ^ w.window[s + 2]) & HashMask;
        };
        for (;;) {
            if (ahead < MinLookahead) {
                strstart_ = s;
                lookahead_ = ahead;
                matchStart_ = matchStart;
                search_ = sr;
                fillWindow();
                sr = search_;
                s = strstart_;
                ahead = lookahead_;
                matchStart = matchStart_;
                if (ahead == 0)
                    break;
                h = hashAt(w.window + s); // the bytes after the window's old end have come in
            }
            __builtin_prefetch(&w.head[((h << HashShift) ^ w.window[s + 3]) & HashMask]);
            unsigned hashHead = 0;
            if (ahead >= MinMatch)
                hashHead = insertString(w, s, h);
            const unsigned prevLength = matchLength;
            const unsigned prevMatch = matchStart;
            matchLength = MinMatch - 1;
            if (hashHead != 0 && prevLength < maxLazy && s - hashHead <= MaxDist) {
                matchLength = longestMatch(w, sr, s, ahead, prevLength, hashHead, matchStart);
                if (matchLength == MinMatch && s - matchStart > TooFar)
                    matchLength = MinMatch - 1;
            }
            if (prevLength >= MinMatch && matchLength <= prevLength) {
                const unsigned maxInsert = s + ahead - MinMatch;
                checkMatch(s - 1, prevMatch, prevLength);
                tallyDist(w, t, s - 1 - prevMatch, prevLength - MinMatch);
                const bool full = blockFull(t, s);
                ahead -= prevLength - 1;
                unsigned n = prevLength - 2;
                do {
                    step();
                    if (s <= maxInsert)
                        insertString(w, s, h);
                } while (--n != 0);
                matchAvailable = false;
                matchLength = MinMatch - 1;
                step();
                if (full)
                    endBlock(t, s, false);
            } else if (matchAvailable) {
                tallyLit(w, t, w.window[s - 1]);
                if (blockFull(t, s))
                    endBlock(t, s, false);
                step();
                ahead--;
            } else {
                matchAvailable = true;
                step();
                ahead--;
            }
        }
        if (matchAvailable)
            tallyLit(w, t, w.window[s - 1]);
        matchStart_ = matchStart;
        endBlock(t, s, true);
    }

    // ---------------------------------------------------------------- bit output
    void writeOut()
    {
        size_t n = size_t(outp_ - w_.outBuf);
        if (n) {
            io_.WriteData(w_.outBuf, n);
            written_ += n;
            anyOutput_ = true;
        }
        outp_ = w_.outBuf;
    }

    // Bits collect in 64 bits; when 32 or more are waiting, all eight bytes are stored and
    // the whole ones among them kept (the output buffer has room past its end for that).
    // Fewer than 32 wait before a call, and a call adds at most 28.
    inline void sendBits(uint32_t value, unsigned length)
    {
        bitbuf_ |= uint64_t(value) << bitcnt_;
        bitcnt_ += length;
        if (bitcnt_ >= 32) {
            std::memcpy(outp_, &bitbuf_, 8);
            const unsigned whole = bitcnt_ >> 3;
            outp_ += whole;
            bitbuf_ >>= whole * 8;
            bitcnt_ &= 7;
            if (outp_ >= outEnd_)
                writeOut();
        }
    }

    inline void sendCode(const Code& c) { sendBits(c.code, c.len); }

    // Pads to a byte boundary and moves every whole byte to the output buffer.
    void alignBits()
    {
        while (bitcnt_ > 0) {
            *outp_++ = uint8_t(bitbuf_);
            bitbuf_ >>= 8;
            bitcnt_ = bitcnt_ > 8 ? bitcnt_ - 8 : 0;
            if (outp_ >= outEnd_)
                writeOut();
        }
        bitbuf_ = 0;
    }

    // ---------------------------------------------------------------- blocks
    // Walks a code-length table as runs, the way the bit-length code describes it: onRun gets
    // each run's length, its count and the previous length. Counting and sending share it, so
    // the frequencies counted always match the codes sent.
    template <class OnRun>
    static void walkTreeRuns(const Code* tree, int maxCode, OnRun onRun)
    {
        int prevlen = -1;
        int nextlen = tree[0].len;
        int count = 0;
        int maxCount = 7, minCount = 4;
        if (nextlen == 0)
            maxCount = 138, minCount = 3;
        for (int n = 0; n <= maxCode; ++n) {
            int curlen = nextlen;
            nextlen = n + 1 <= maxCode ? tree[n + 1].len : -1;
            if (++count < maxCount && curlen == nextlen)
                continue;
            onRun(curlen, count, count < minCount, prevlen);
            count = 0;
            prevlen = curlen;
            if (nextlen == 0)
                maxCount = 138, minCount = 3;
            else if (curlen == nextlen)
                maxCount = 6, minCount = 3;
            else
                maxCount = 7, minCount = 4;
        }
    }

    void scanTree(const Code* tree, int maxCode)
    {
        walkTreeRuns(tree, maxCode, [this](int curlen, int count, bool literal, int prevlen) {
            if (literal)
                blfreq_[curlen] += count;
            else if (curlen != 0) {
                if (curlen != prevlen)
                    blfreq_[curlen]++;
                blfreq_[Rep3_6]++;
            } else if (count <= 10)
                blfreq_[RepZ3_10]++;
            else
                blfreq_[RepZ11_138]++;
        });
    }

    void sendTree(const Code* tree, int maxCode)
    {
        walkTreeRuns(tree, maxCode, [this](int curlen, int count, bool literal, int prevlen) {
            if (literal) {
                do
                    sendCode(bltree_[curlen]);
                while (--count != 0);
            } else if (curlen != 0) {
                if (curlen != prevlen) {
                    sendCode(bltree_[curlen]);
                    count--;
                }
                sendCode(bltree_[Rep3_6]);
                sendBits(unsigned(count - 3), 2);
            } else if (count <= 10) {
                sendCode(bltree_[RepZ3_10]);
                sendBits(unsigned(count - 3), 3);
            } else {
                sendCode(bltree_[RepZ11_138]);
                sendBits(unsigned(count - 11), 7);
            }
        });
    }

    // Sends the block's symbols. Each symbol's bits (at most 48) join the bit buffer and the
    // whole bytes go out at once, without a branch.
    void compressBlock(const Code* ltree, const Code* dtree)
    {
        // Length symbols with their extra bits, by match length - 3.
        uint32_t lenBits[256];
        uint8_t lenCount[256];
        for (unsigned lc = 0; lc < 256; ++lc) {
            const unsigned code = staticTables.lengthCode[lc];
            const Code& c = ltree[code + Literals + 1];
            lenBits[lc] = c.code | ((lc - staticTables.baseLength[code]) << c.len);
            lenCount[lc] = uint8_t(c.len + ExtraLBits[code]);
        }
        struct DistSym {
            uint16_t code;
            uint8_t len; // code bits
            uint8_t all; // code and extra bits
            uint32_t base;
        } dsym[DCodes];
        for (unsigned d = 0; d < DCodes; ++d)
            dsym[d] = DistSym{dtree[d].code, uint8_t(dtree[d].len), uint8_t(dtree[d].len + ExtraDBits[d]),
                              staticTables.baseDist[d]};

        const uint8_t* lbuf = w_.lbuf;
        const uint16_t* dbuf = w_.dbuf;
        const unsigned count = lastLit_;
        uint64_t bits = bitbuf_;
        unsigned n = bitcnt_;
        uint8_t* out = outp_;
        uint8_t* const end = outEnd_;
        for (unsigned i = 0; i < count; ++i) {
            unsigned dist = dbuf[i];
            const unsigned lc = lbuf[i];
            if (dist == 0) {
                const Code c = ltree[lc];
                bits |= uint64_t(c.code) << n;
                n += c.len;
            } else {
                bits |= uint64_t(lenBits[lc]) << n;
                n += lenCount[lc];
                dist--;
                const DistSym& d = dsym[dCode(dist)];
                bits |= uint64_t(d.code | ((dist - d.base) << d.len)) << n;
                n += d.all;
            }
            std::memcpy(out, &bits, 8);
            out += n >> 3;
            bits >>= n & ~7u;
            n &= 7;
            if (out >= end) [[unlikely]] {
                outp_ = out;
                writeOut();
                out = outp_;
            }
        }
        bitbuf_ = bits;
        bitcnt_ = n;
        outp_ = out;
        sendCode(ltree[EndBlock]);
    }

    void judgeText()
    {
        // Bytes 0-6 and 128-255 against 7-127: many of the first kind mean binary data.
        unsigned binFreq = 0, asciiFreq = 0;
        unsigned n = 0;
        while (n < 7)
            binFreq += lfreq_[n++];
        while (n < 128)
            asciiFreq += lfreq_[n++];
        while (n < Literals)
            binFreq += lfreq_[n++];
        textVerdict_ = binFreq > (asciiFreq >> 2) ? 0 : 1;
    }

    void storedBlocks(const uint8_t* buf, uint64_t len, bool last)
    {
        // A stored block holds at most 65535 bytes; longer runs become several blocks.
        do {
            unsigned n = unsigned(std::min<uint64_t>(len, 65535));
            len -= n;
            bool lastPiece = last && len == 0;
            sendBits(lastPiece ? 1u : 0u, 3); // type 0
            alignBits();
            *outp_++ = uint8_t(n);
            *outp_++ = uint8_t(n >> 8);
            *outp_++ = uint8_t(~n);
            *outp_++ = uint8_t(~n >> 8);
            writeOut();
            if (n) {
                io_.WriteData(buf, n);
                written_ += n;
            }
            buf += n;
        } while (len);
    }

    void flushBlock(bool last)
    {
        const uint64_t storedLen = uint64_t(long(strstart_) - blockStart_);
        const uint8_t* buf = blockStart_ >= 0 ? w_.window + blockStart_ : nullptr;

        if (textVerdict_ < 0)
            judgeText();

        TreeBuilder tb;
        uint64_t optLen = 0, staticLen = 0;
        const StaticTables& st = statics();
        int lMax = tb.build(ltree_, lfreq_, LCodes, ExtraLBits, Literals + 1, MaxBits, st.ltree, optLen,
                            staticLen);
        int dMax = tb.build(dtree_, dfreq_, DCodes, ExtraDBits, 0, MaxBits, st.dtree, optLen, staticLen);
        scanTree(ltree_, lMax);
        scanTree(dtree_, dMax);
        uint64_t dummy = 0;
        tb.build(bltree_, blfreq_, BLCodes, ExtraBLBits, 0, MaxBLBits, nullptr, optLen, dummy);
        int maxBlIndex;
        for (maxBlIndex = BLCodes - 1; maxBlIndex >= 3; --maxBlIndex)
            if (bltree_[BLOrder[maxBlIndex]].len != 0)
                break;
        optLen += 3 * (uint64_t(maxBlIndex) + 1) + 5 + 5 + 4;

        uint64_t optLenb = (optLen + 3 + 7) >> 3;
        const uint64_t staticLenb = (staticLen + 3 + 7) >> 3;
        if (staticLenb <= optLenb)
            optLenb = staticLenb;

        if (last && !anyOutput_ && bitcnt_ == 0 && outp_ == w_.outBuf && allowStored_ && buf
            && storedLen <= optLenb) {
            // The whole file in one block that does not shrink: it goes out raw, as a stored member.
            if (storedLen) {
                io_.WriteData(buf, size_t(storedLen));
                written_ += storedLen;
            }
            storedMember_ = true;
            initBlock();
            return;
        }
        if (storedLen + 4 <= optLenb && buf) {
            storedBlocks(buf, storedLen, last);
        } else if (staticLenb == optLenb) {
            sendBits((1u << 1) + (last ? 1 : 0), 3);
            compressBlock(st.ltree, st.dtree);
        } else {
            sendBits((2u << 1) + (last ? 1 : 0), 3);
            sendBits(unsigned(lMax + 1 - 257), 5);
            sendBits(unsigned(dMax + 1 - 1), 5);
            sendBits(unsigned(maxBlIndex + 1 - 4), 4);
            for (int rank = 0; rank <= maxBlIndex; ++rank)
                sendBits(bltree_[BLOrder[rank]].len, 3);
            sendTree(ltree_, lMax);
            sendTree(dtree_, dMax);
            compressBlock(ltree_, dtree_);
        }
        initBlock();
        blockStart_ = long(strstart_);
        if (last) {
            alignBits();
            writeOut();
        }
    }
};

} // namespace

uint16_t DeflateFlagBits(int level)
{
    if (level == 1 || level == 2)
        return 1u << 2;
    if (level == 8 || level == 9)
        return 1u << 1;
    return 0;
}

TDeflater::TDeflater() : work_(new TDeflateWork()) {}

TDeflater::~TDeflater() = default;

TDeflateResult TDeflater::Deflate(TDeflateIO& io, int level, bool allowStoredMember)
{
    level = std::clamp(level, 1, 9);
    Encoder enc(*work_, io, level, allowStoredMember);
    return enc.run();
}

namespace {
class MemoryDeflateIO : public TDeflateIO {
public:
    MemoryDeflateIO(const uint8_t* p, size_t n, std::vector<uint8_t>& out) : p_(p), n_(n), out_(out) {}
    size_t ReadSource(uint8_t* buffer, size_t count) override
    {
        count = std::min(count, n_);
        if (count)
            std::memcpy(buffer, p_, count);
        p_ += count;
        n_ -= count;
        return count;
    }
    void WriteData(const uint8_t* data, size_t count) override { out_.insert(out_.end(), data, data + count); }

private:
    const uint8_t* p_;
    size_t n_;
    std::vector<uint8_t>& out_;
};
} // namespace

std::vector<uint8_t> DeflateBuffer(const uint8_t* data, size_t size, int level, TDeflateResult* result)
{
    std::vector<uint8_t> out;
    out.reserve(size / 2 + 64);
    MemoryDeflateIO io(data, size, out);
    TDeflater d;
    TDeflateResult r = d.Deflate(io, level, false);
    if (result)
        *result = r;
    return out;
}

} // namespace archive
