#pragma once
// Inputs and independent helpers for the codec tests: generated sample data, zlib as a peer,
// and a bit writer to make deflate streams by hand.
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace codectest {

using Bytes = std::vector<uint8_t>;

inline uint32_t nextRandom(uint32_t& s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

inline Bytes randomBytes(size_t n, uint32_t seed)
{
    Bytes b(n);
    for (auto& c : b)
        c = uint8_t(nextRandom(seed) >> 7);
    return b;
}

inline Bytes sampleText(size_t n, uint32_t seed = 7)
{
    static const char* words[] = {"the ", "archive ", "node ", "catalog ", "window ", "of ", "and ",
                                  "deflate ", "tree ", "is ", "a ", "page ", "to ", "with ", "note\r\n",
                                  "header ", "file ", "in ", "for ", "link "};
    Bytes b;
    b.reserve(n + 16);
    while (b.size() < n) {
        const char* w = words[nextRandom(seed) % 20];
        b.insert(b.end(), w, w + std::char_traits<char>::length(w));
    }
    b.resize(n);
    return b;
}

// Binary data of several kinds one after another: random, little-endian counters, zeros, text.
inline Bytes mixedBinary(size_t n, uint32_t seed = 99)
{
    Bytes b;
    b.reserve(n);
    while (b.size() < n) {
        switch (nextRandom(seed) % 4) {
        case 0: {
            size_t len = 1000 + nextRandom(seed) % 5000; // one statement each: a fixed order
            Bytes r = randomBytes(len, nextRandom(seed));
            b.insert(b.end(), r.begin(), r.end());
            break;
        }
        case 1:
            for (uint32_t i = 0, k = nextRandom(seed) % 2000; i < k; ++i) {
                uint32_t v = i * 37 + 1000;
                b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
            }
            break;
        case 2:
            b.insert(b.end(), nextRandom(seed) % 3000, 0);
            break;
        default: {
            size_t len = 500 + nextRandom(seed) % 4000;
            Bytes t = sampleText(len, nextRandom(seed));
            b.insert(b.end(), t.begin(), t.end());
        }
        }
    }
    b.resize(n);
    return b;
}

// zlib's raw deflate (no header), with its full set of knobs.
inline Bytes zlibDeflate(const Bytes& in, int level, int strategy = Z_DEFAULT_STRATEGY, int memLevel = 8,
                         int windowBits = 15)
{
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -windowBits, memLevel, strategy);
    Bytes out(deflateBound(&s, uLong(in.size())) + 64);
    s.next_in = const_cast<uint8_t*>(in.data());
    s.avail_in = uInt(in.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// zlib's raw inflate; false when zlib rejects the stream.
inline bool zlibInflate(const Bytes& in, Bytes& out)
{
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<uint8_t*>(in.data());
    s.avail_in = uInt(in.size());
    out.clear();
    uint8_t buf[65536];
    int r;
    do {
        s.next_out = buf;
        s.avail_out = sizeof buf;
        r = inflate(&s, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - s.avail_out));
    } while (r == Z_OK && (s.avail_in > 0 || s.avail_out == 0));
    inflateEnd(&s);
    return r == Z_STREAM_END;
}

inline uint32_t zlibCrc(const Bytes& b) { return uint32_t(crc32(0, b.data(), uInt(b.size()))); }

// Writes deflate bit streams by hand, least significant bit first.
class BitWriter {
public:
    void bits(uint32_t value, unsigned n)
    {
        for (unsigned i = 0; i < n; ++i) {
            if (count_ == 0)
                out.push_back(0);
            out.back() |= uint8_t(((value >> i) & 1) << count_);
            count_ = (count_ + 1) & 7;
        }
    }
    // A Huffman code goes most significant bit first.
    void code(uint32_t code, unsigned len)
    {
        for (unsigned i = len; i-- > 0;)
            bits((code >> i) & 1, 1);
    }
    void align() { count_ = 0; }
    Bytes out;

private:
    unsigned count_ = 0;
};

// Canonical codes for the lengths (RFC 1951, 3.2.2).
inline std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lens)
{
    unsigned count[16] = {}, next[16] = {};
    for (auto l : lens)
        count[l]++;
    count[0] = 0;
    unsigned code = 0;
    for (unsigned b = 1; b < 16; ++b) {
        code = (code + count[b - 1]) << 1;
        next[b] = code;
    }
    std::vector<uint32_t> codes(lens.size());
    for (size_t i = 0; i < lens.size(); ++i)
        if (lens[i])
            codes[i] = next[lens[i]]++;
    return codes;
}

// Header of a dynamic block whose code lengths are sent plainly: every code-length symbol
// 0-15 gets a 4-bit code. hlit and hdist may be given larger than the lengths (for bad
// headers); missing lengths are 0.
inline void dynamicHeader(BitWriter& w, bool last, const std::vector<uint8_t>& litLens,
                          const std::vector<uint8_t>& distLens, unsigned hlit, unsigned hdist)
{
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.bits(last ? 1 : 0, 1);
    w.bits(2, 2);
    w.bits(hlit - 257, 5);
    w.bits(hdist - 1, 5);
    w.bits(19 - 4, 4);
    std::vector<uint8_t> clLens(19, 0);
    for (unsigned s = 0; s < 16; ++s)
        clLens[s] = 4;
    for (unsigned i = 0; i < 19; ++i)
        w.bits(clLens[order[i]], 3);
    auto clCodes = canonicalCodes(clLens);
    for (unsigned i = 0; i < hlit; ++i) {
        unsigned l = i < litLens.size() ? litLens[i] : 0;
        w.code(clCodes[l], 4);
    }
    for (unsigned i = 0; i < hdist; ++i) {
        unsigned l = i < distLens.size() ? distLens[i] : 0;
        w.code(clCodes[l], 4);
    }
}

} // namespace codectest
