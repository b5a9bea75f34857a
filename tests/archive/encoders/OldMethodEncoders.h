#pragma once
// Encoders of the older zip methods, for tests and benchmarks only (the program never writes
// these methods): shrink (1), reduce (2-5) and implode (6), written from the format's public
// description. Their shrink and implode output is checked by unzip and 7z in the tests.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <queue>
#include <set>
#include <unordered_map>
#include <vector>

namespace oldenc {

using Bytes = std::vector<uint8_t>;

// Bits, least significant first.
class BitWriter {
public:
    void put(uint32_t value, unsigned bits)
    {
        for (unsigned i = 0; i < bits; ++i) {
            acc_ |= ((value >> i) & 1u) << n_;
            if (++n_ == 8) {
                out.push_back(uint8_t(acc_));
                acc_ = 0;
                n_ = 0;
            }
        }
    }
    void byte(uint8_t b) { put(b, 8); }
    Bytes finish()
    {
        if (n_)
            out.push_back(uint8_t(acc_));
        acc_ = n_ = 0;
        return out;
    }
    Bytes out;

private:
    uint32_t acc_ = 0;
    unsigned n_ = 0;
};

// ---------------------------------------------------------------------------------------
// Shrink: LZW whose table mirrors the decoder's (the entry for the previous code is made
// before the next code is matched, so the decoder's "code defined by its own use" occurs).
// A full table is always cleared before the decoder would need a new entry, as unzip demands;
// a clear always follows a byte code, so the entry made right after it has a live prefix.
struct ShrinkOptions {
    // Also clear after these many codes. unzip reads a clear before a full table only while
    // the codes freed by an earlier clear are in use again, so keep these some 500 codes apart.
    std::vector<size_t> clearAfterCodes;
};

struct ShrinkStats {
    unsigned maxCodeSize = 9;
    unsigned clears = 0;
    unsigned selfDefined = 0; // codes used in the step that defines them
};

inline Bytes shrink(const Bytes& data, const ShrinkOptions& opt = {}, ShrinkStats* stats = nullptr)
{
    constexpr unsigned MaxCode = 8192;
    std::vector<int> prefix(MaxCode, -1); // -1 free
    std::vector<uint8_t> suffix(MaxCode, 0);
    std::unordered_map<uint32_t, uint16_t> dict;
    auto key = [](unsigned p, uint8_t c) { return (uint32_t(p) << 8) | c; };
    unsigned nextFree = 257;
    unsigned codeSize = 9;
    BitWriter w;
    ShrinkStats st;
    auto sendCode = [&](unsigned code) {
        while (code >= (1u << codeSize)) {
            w.put(256, codeSize);
            w.put(1, codeSize);
            ++codeSize;
        }
        w.put(code, codeSize);
    };
    auto advance = [&]() {
        while (nextFree < MaxCode && prefix[nextFree] >= 0)
            ++nextFree;
    };
    auto partialClear = [&]() {
        w.put(256, codeSize);
        w.put(2, codeSize);
        std::vector<bool> isPrefix(MaxCode, false);
        for (unsigned c = 257; c < MaxCode; ++c)
            if (prefix[c] >= 0)
                isPrefix[size_t(prefix[c])] = true;
        for (unsigned c = 257; c < nextFree; ++c)
            if (prefix[c] >= 0 && !isPrefix[c]) {
                dict.erase(key(unsigned(prefix[c]), suffix[c]));
                prefix[c] = -1;
            }
        nextFree = 257;
        advance();
        ++st.clears;
    };
    size_t pos = 0, codes = 0;
    int prev = -1;
    size_t clearIdx = 0;
    while (pos < data.size()) {
        unsigned defined = MaxCode;
        if (prev >= 0 && nextFree < MaxCode) {
            prefix[nextFree] = prev;
            suffix[nextFree] = data[pos];
            dict[key(unsigned(prev), data[pos])] = uint16_t(nextFree);
            defined = nextFree;
            ++nextFree;
            advance();
        }
        bool clear = nextFree >= MaxCode;
        if (clearIdx < opt.clearAfterCodes.size() && codes + 1 >= opt.clearAfterCodes[clearIdx]) {
            clear = true;
            ++clearIdx;
        }
        unsigned code = data[pos];
        size_t len = 1;
        while (!clear && pos + len < data.size()) {
            auto it = dict.find(key(code, data[pos + len]));
            if (it == dict.end())
                break;
            code = it->second;
            ++len;
        }
        if (code == defined)
            ++st.selfDefined;
        sendCode(code);
        pos += len;
        prev = int(code);
        ++codes;
        if (clear && pos < data.size())
            partialClear();
        st.maxCodeSize = std::max(st.maxCodeSize, codeSize);
    }
    if (stats)
        *stats = st;
    return w.finish();
}

// ---------------------------------------------------------------------------------------
// Greedy LZ77 matches for reduce and implode.
struct Token {
    uint32_t length = 0; // 0: literal
    uint32_t distance = 0;
    uint8_t literal = 0;
};

inline std::vector<Token> lz77(const Bytes& d, size_t maxDist, size_t minLen, size_t maxLen,
                               const std::function<bool(size_t, size_t)>& usable = nullptr)
{
    std::vector<Token> out;
    constexpr size_t HashSize = 1 << 15;
    std::vector<int64_t> head(HashSize, -1), prevPos(d.size(), -1);
    auto hash = [&](size_t i) { return ((d[i] << 10) ^ (d[i + 1] << 5) ^ d[i + 2]) & (HashSize - 1); };
    auto insert = [&](size_t i) {
        if (i + 2 < d.size()) {
            const size_t h = hash(i);
            prevPos[i] = head[h];
            head[h] = int64_t(i);
        }
    };
    size_t i = 0;
    while (i < d.size()) {
        size_t bestLen = 0, bestDist = 0;
        if (i + 2 < d.size()) {
            int64_t p = head[hash(i)];
            for (int chain = 0; p >= 0 && chain < 32; ++chain, p = prevPos[size_t(p)]) {
                const size_t dist = i - size_t(p);
                if (dist > maxDist)
                    break;
                size_t l = 0;
                while (l < maxLen && i + l < d.size() && d[size_t(p) + l] == d[i + l])
                    ++l;
                if (l > bestLen && (!usable || usable(l, dist))) {
                    bestLen = l;
                    bestDist = dist;
                }
            }
        }
        if (bestLen >= minLen) {
            out.push_back({uint32_t(bestLen), uint32_t(bestDist), 0});
            for (size_t k = 0; k < bestLen; ++k)
                insert(i + k);
            i += bestLen;
        } else {
            out.push_back({0, 0, d[i]});
            insert(i);
            ++i;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Reduce with factor 1..4. maxFollowers caps each follower set (0: every set empty).
inline Bytes reduce(const Bytes& data, int factor, unsigned maxFollowers = 32)
{
    static constexpr unsigned LengthMask[5] = {0, 127, 63, 31, 15};
    static constexpr unsigned Shift[5] = {0, 7, 6, 5, 4};
    const unsigned mask = LengthMask[factor];
    const size_t maxDist = size_t(1u << (8 - Shift[factor])) * 256;
    // The marker's value byte may not be 0 (that is a literal 144).
    auto usable = [&](size_t len, size_t dist) {
        const size_t lf = std::min<size_t>(len - 3, mask);
        return (((dist - 1) >> 8) << Shift[factor] | lf) != 0;
    };
    const std::vector<Token> tokens = lz77(data, maxDist, 3, mask + 255 + 3, usable);
    Bytes s; // the byte stream before the follower coding
    for (const Token& t : tokens) {
        if (!t.length) {
            s.push_back(t.literal);
            if (t.literal == 144)
                s.push_back(0);
            continue;
        }
        const unsigned lf = t.length - 3;
        const unsigned dhi = (t.distance - 1) >> 8;
        s.push_back(144);
        if (lf < mask) {
            s.push_back(uint8_t((dhi << Shift[factor]) | lf));
        } else {
            s.push_back(uint8_t((dhi << Shift[factor]) | mask));
            s.push_back(uint8_t(lf - mask));
        }
        s.push_back(uint8_t((t.distance - 1) & 255));
    }
    // Follower sets: each byte's most frequent successors in s.
    std::vector<std::vector<uint32_t>> count(256, std::vector<uint32_t>(256, 0));
    uint8_t last = 0;
    for (uint8_t c : s) {
        ++count[last][c];
        last = c;
    }
    std::vector<Bytes> sets(256);
    for (unsigned x = 0; x < 256; ++x) {
        std::vector<std::pair<uint32_t, unsigned>> f;
        for (unsigned c = 0; c < 256; ++c)
            if (count[x][c])
                f.push_back({count[x][c], c});
        std::stable_sort(f.begin(), f.end(), [](auto& a, auto& b) { return a.first > b.first; });
        const size_t n = std::min<size_t>({f.size(), maxFollowers, 63});
        for (size_t k = 0; k < n; ++k)
            sets[x].push_back(uint8_t(f[k].second));
    }
    BitWriter w;
    for (int x = 255; x >= 0; --x) {
        w.put(unsigned(sets[size_t(x)].size()), 6);
        for (uint8_t c : sets[size_t(x)])
            w.byte(c);
    }
    last = 0;
    for (uint8_t c : s) {
        const Bytes& set = sets[last];
        if (set.empty()) {
            w.byte(c);
        } else {
            const auto it = std::find(set.begin(), set.end(), c);
            if (it == set.end()) {
                w.put(1, 1);
                w.byte(c);
            } else {
                unsigned bits = 1;
                while ((1u << bits) < set.size())
                    ++bits;
                w.put(0, 1);
                w.put(unsigned(it - set.begin()), bits);
            }
        }
        last = c;
    }
    return w.finish();
}

// ---------------------------------------------------------------------------------------
// Implode. bigWindow: 8192-byte window (general purpose flag bit 1); literalTree: three trees
// (flag bit 2).
inline std::vector<unsigned> codeLengths(std::vector<uint64_t> freq, unsigned maxLen)
{
    const size_t n = freq.size();
    for (auto& f : freq)
        ++f; // every symbol gets a code
    for (;;) {
        // Huffman lengths through a heap of (weight, node).
        std::vector<int> parent(2 * n, -1);
        using Item = std::pair<uint64_t, size_t>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
        for (size_t i = 0; i < n; ++i)
            heap.push({freq[i], i});
        size_t next = n;
        while (heap.size() > 1) {
            const Item a = heap.top();
            heap.pop();
            const Item b = heap.top();
            heap.pop();
            parent[a.second] = int(next);
            parent[b.second] = int(next);
            heap.push({a.first + b.first, next++});
        }
        std::vector<unsigned> len(n);
        unsigned longest = 0;
        for (size_t i = 0; i < n; ++i) {
            unsigned l = 0;
            for (int p = parent[i]; p >= 0; p = parent[size_t(p)])
                ++l;
            len[i] = l;
            longest = std::max(longest, l);
        }
        if (longest <= maxLen)
            return len;
        for (auto& f : freq)
            f = (f >> 1) + 1;
    }
}

struct ImplodeStats {
    size_t literals = 0, matches = 0, longMatches = 0; // long: length code 63
};

inline Bytes implode(const Bytes& data, bool bigWindow, bool literalTree, ImplodeStats* stats = nullptr)
{
    const unsigned minLen = literalTree ? 3 : 2;
    const unsigned lowBits = bigWindow ? 7 : 6;
    const size_t maxDist = bigWindow ? 8192 : 4096;
    const std::vector<Token> tokens = lz77(data, maxDist, minLen, minLen + 63 + 255);
    std::vector<uint64_t> litF(256), lenF(64), distF(64);
    ImplodeStats st;
    for (const Token& t : tokens) {
        if (!t.length) {
            ++litF[t.literal];
            ++st.literals;
        } else {
            const unsigned lc = std::min<unsigned>(t.length - minLen, 63);
            ++lenF[lc];
            ++distF[(t.distance - 1) >> lowBits];
            ++st.matches;
            st.longMatches += lc == 63;
        }
    }
    struct Tree {
        std::vector<unsigned> len;
        std::vector<uint32_t> sent; // the code as it goes into the stream (bit-reversed complement)
    };
    auto makeTree = [](const std::vector<uint64_t>& f) {
        Tree t;
        t.len = codeLengths(f, 16);
        // Canonical codes by (length, symbol); the stream carries their complement, first bit first.
        unsigned count[17] = {}, next[17] = {};
        for (unsigned l : t.len)
            ++count[l];
        unsigned code = 0;
        for (unsigned l = 1; l <= 16; ++l) {
            code = (code + count[l - 1]) << 1;
            next[l] = code;
        }
        next[0] = 0;
        t.sent.resize(t.len.size());
        for (size_t s = 0; s < t.len.size(); ++s) {
            const unsigned l = t.len[s];
            const unsigned c = ~next[l]++ & ((1u << l) - 1);
            uint32_t rev = 0;
            for (unsigned k = 0; k < l; ++k)
                rev |= ((c >> (l - 1 - k)) & 1u) << k;
            t.sent[s] = rev;
        }
        return t;
    };
    auto writeTree = [](BitWriter& w, const Tree& t) {
        std::vector<uint8_t> groups;
        for (size_t i = 0; i < t.len.size();) {
            size_t j = i;
            while (j < t.len.size() && t.len[j] == t.len[i] && j - i < 16)
                ++j;
            groups.push_back(uint8_t(((j - i - 1) << 4) | (t.len[i] - 1)));
            i = j;
        }
        w.byte(uint8_t(groups.size() - 1));
        for (uint8_t g : groups)
            w.byte(g);
    };
    const Tree lit = makeTree(litF), len = makeTree(lenF), dist = makeTree(distF);
    BitWriter w;
    if (literalTree)
        writeTree(w, lit);
    writeTree(w, len);
    writeTree(w, dist);
    for (const Token& t : tokens) {
        if (!t.length) {
            w.put(1, 1);
            if (literalTree)
                w.put(lit.sent[t.literal], lit.len[t.literal]);
            else
                w.byte(t.literal);
            continue;
        }
        w.put(0, 1);
        const uint32_t d = t.distance - 1;
        w.put(d & ((1u << lowBits) - 1), lowBits);
        const unsigned dc = d >> lowBits;
        w.put(dist.sent[dc], dist.len[dc]);
        const unsigned lc = std::min<unsigned>(t.length - minLen, 63);
        w.put(len.sent[lc], len.len[lc]);
        if (lc == 63)
            w.byte(uint8_t(t.length - minLen - 63));
    }
    if (stats)
        *stats = st;
    return w.finish();
}

} // namespace oldenc
