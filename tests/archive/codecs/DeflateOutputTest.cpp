// The encoder's output bytes are fixed: archives written by a faster encoder must be the same
// bytes as those written before, at every level. Each output's size and CRC-32 were recorded
// from the encoder as it stood before its hot loops were reworked.
#include "CodecTestData.h"

#include "archive/Deflate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace archive;
using namespace codectest;

namespace {

// Text of a larger vocabulary than sampleText, words drawn with a skew as in real text.
Bytes vocabularyText(size_t n, uint32_t seed)
{
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string w;
        const unsigned len = 2 + nextRandom(seed) % 9;
        for (unsigned k = 0; k < len; ++k)
            w += char('a' + nextRandom(seed) % 26);
        words.push_back(w);
    }
    Bytes b;
    while (b.size() < n) {
        const uint32_t r = nextRandom(seed) % 3000;
        const std::string& w = words[(r * r) / 3000];
        b.insert(b.end(), w.begin(), w.end());
        const uint32_t sep = nextRandom(seed) % 16;
        b.push_back(sep == 0 ? '\n' : sep == 1 ? ',' : ' ');
    }
    b.resize(n);
    return b;
}

// What the hash chains find hard to keep apart: three-byte strings that differ only in the
// first byte's high bits (one hash for all), chains left for longer than the window and twice
// its length by stretches of other letters, copies from right around the greatest match
// distance, and runs of a three-letter alphabet.
Bytes farRepeats(size_t n, uint32_t seed)
{
    const Bytes record = randomBytes(64, seed);
    Bytes b;
    while (b.size() < n) {
        const uint32_t kind = nextRandom(seed) % 32;
        if (kind < 10) {
            Bytes r = record;
            r[0] = uint8_t((r[0] & 0x0F) | (nextRandom(seed) & 0xF0));
            b.insert(b.end(), r.begin(), r.end());
        } else if (kind == 10) {
            const size_t gap = 20000 + nextRandom(seed) % 50000;
            for (size_t i = 0; i < gap; ++i)
                b.push_back(uint8_t('A' + nextRandom(seed) % 26));
        } else if (kind < 21) {
            const size_t distance = 32490 + nextRandom(seed) % 300;
            const size_t len = 3 + nextRandom(seed) % 300;
            if (distance <= b.size())
                for (size_t i = 0; i < len; ++i)
                    b.push_back(b[b.size() - distance]);
        } else {
            const size_t len = 100 + nextRandom(seed) % 1900;
            for (size_t i = 0; i < len; ++i)
                b.push_back(uint8_t('a' + nextRandom(seed) % 3));
        }
    }
    b.resize(n);
    return b;
}

std::vector<std::pair<std::string, Bytes>> inputs()
{
    std::vector<std::pair<std::string, Bytes>> v;
    v.push_back({"vocabulary", vocabularyText(600000, 3)});
    v.push_back({"words", sampleText(300000, 11)});
    v.push_back({"mixed", mixedBinary(400000, 17)});
    v.push_back({"random", randomBytes(70000, 5)});
    v.push_back({"one byte", Bytes(100000, 'a')});
    uint32_t s = 12345;
    Bytes ab(200000), runs, period(150000), pat(300);
    for (auto& c : ab)
        c = uint8_t('a' + (nextRandom(s) & 1));
    v.push_back({"random a/b", ab});
    while (runs.size() < 200000) {
        runs.insert(runs.end(), 3 + nextRandom(s) % 40, 0);
        runs.push_back(uint8_t(1 + nextRandom(s) % 3));
    }
    v.push_back({"zero runs", runs});
    for (auto& c : pat)
        c = uint8_t(nextRandom(s));
    for (size_t i = 0; i < period.size(); ++i)
        period[i] = pat[i % 300];
    v.push_back({"period 300", period});
    v.push_back({"far repeats", farRepeats(500000, 23)});
    return v;
}

// Source read in pieces as a file stream may deliver it.
class PieceIO : public TDeflateIO {
public:
    PieceIO(const Bytes& in, size_t piece) : in_(in), piece_(piece) {}
    size_t ReadSource(uint8_t* buffer, size_t count) override
    {
        const size_t n = std::min({count, piece_, in_.size() - pos_});
        std::copy_n(in_.data() + pos_, n, buffer);
        pos_ += n;
        return n;
    }
    void WriteData(const uint8_t* data, size_t count) override { out.insert(out.end(), data, data + count); }
    Bytes out;

private:
    const Bytes& in_;
    size_t piece_;
    size_t pos_ = 0;
};

struct Expected {
    const char* input;
    int level;
    size_t size;
    uint32_t crc;
    size_t piecesSize;
    uint32_t piecesCrc;
};

// clang-format off
const Expected expected[] = {
#include "DeflateOutputExpected.inc"
};
// clang-format on

} // namespace

TEST(DeflateOutput, SameBytesAsRecordedAtEveryLevel)
{
    const bool print = std::getenv("MV_PRINT_DEFLATE_OUTPUTS") != nullptr;
    size_t checked = 0;
    TDeflater deflater; // one encoder for all, as a zip run uses it
    for (const auto& [name, in] : inputs()) {
        for (int level = 1; level <= 9; ++level) {
            const Bytes whole = DeflateBuffer(in.data(), in.size(), level);
            PieceIO io(in, 10000);
            deflater.Deflate(io, level, false);
            const uint32_t crc = uint32_t(crc32(0, whole.data(), uInt(whole.size())));
            const uint32_t piecesCrc = uint32_t(crc32(0, io.out.data(), uInt(io.out.size())));
            if (print) {
                std::printf("    {\"%s\", %d, %zu, 0x%08xu, %zu, 0x%08xu},\n", name.c_str(), level, whole.size(), crc,
                            io.out.size(), piecesCrc);
                continue;
            }
            for (const Expected& e : expected) {
                if (e.input != name || e.level != level)
                    continue;
                EXPECT_EQ(whole.size(), e.size) << name << " level " << level;
                EXPECT_EQ(crc, e.crc) << name << " level " << level;
                EXPECT_EQ(io.out.size(), e.piecesSize) << name << " level " << level << " read in pieces";
                EXPECT_EQ(piecesCrc, e.piecesCrc) << name << " level " << level << " read in pieces";
                ++checked;
            }
        }
    }
    if (!print) {
        EXPECT_EQ(checked, std::size(expected));
    }
}
