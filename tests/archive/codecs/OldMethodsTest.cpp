// Raw streams of the older methods, built by hand from the format's description: the edge
// cases of shrink, reduce and implode, and damaged data that must end the decoder at once.
#include "../encoders/OldMethodEncoders.h"
#include "CodecTestData.h"
#include "support/TestSupport.h"

#include "archive/OldMethods.h"
#include "archive/ZipCrc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

using namespace archive;
using oldenc::BitWriter;
using Bytes = std::vector<uint8_t>;

namespace {

std::string expand(unsigned method, unsigned flags, const Bytes& data, uint64_t size)
{
    Bytes out;
    ExpandOldMethodBuffer(method, flags, data.data(), data.size(), size, out);
    return std::string(out.begin(), out.end());
}

// Shrink codes of the given sizes.
struct Codes {
    BitWriter w;
    unsigned size = 9;
    Codes& operator()(unsigned code)
    {
        w.put(code, size);
        return *this;
    }
    Codes& grow()
    {
        w.put(256, size);
        w.put(1, size);
        ++size;
        return *this;
    }
    Codes& clear()
    {
        w.put(256, size);
        w.put(2, size);
        return *this;
    }
};

// Reduce data with every follower set empty: 256 lengths of 0, then plain bytes.
Bytes reduceNoFollowers(const Bytes& bytes)
{
    BitWriter w;
    w.put(0, 6 * 128);
    w.put(0, 6 * 128);
    for (uint8_t b : bytes)
        w.byte(b);
    return w.finish();
}

} // namespace

TEST(UnShrink, DataEndingAfterTheFirstCodeGiveThatByte)
{
    EXPECT_EQ(expand(1, 0, Codes()('Q').w.finish(), 100), "Q");
    EXPECT_EQ(expand(1, 0, {}, 100), "");
}

TEST(UnShrink, PartialClearFreesExactlyTheCodesThatAreNoPrefix)
{
    Codes c;
    // 257 "ab", 258 "ba", 259 "abb" (prefix 257), 260 "baa" (prefix 258).
    c('a')('b')(257)(258)('a');
    // 257 and 258 are prefixes and stay; 259 and 260 are freed and taken again in order:
    // 259 becomes "ab" (after "ba"), 260 "baa", and 261, used as it is defined, "aba".
    c.clear()(258)(259)(261)(257)(259)(258);
    EXPECT_EQ(expand(1, 0, c.w.finish(), 100), "a" "b" "ab" "ba" "a" "ba" "ab" "aba" "ab" "ab" "ba");
}

TEST(UnShrink, CodeSizesGrowToThirteenAndAFourteenthBitEndsTheData)
{
    Codes c;
    c('a').grow()('b').grow().grow().grow()('c');
    EXPECT_EQ(c.size, 13u);
    c(257); // "ab" at 13 bits
    c.grow()('d')('e');
    EXPECT_EQ(expand(1, 0, c.w.finish(), 100), "abcab");
}

TEST(UnShrink, ChainsThatLoopOrPassFreedCodesEndTheData)
{
    // After the clear frees 257 and 258, the next entry takes 257 with 257 as its own prefix.
    Codes loop;
    loop('a')('b')(257).clear()('a')(257)('z');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(expand(1, 0, loop.w.finish(), 1 << 20), "ababa");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // A code used as it is defined, whose previous code was freed by the clear.
    Codes freed;
    freed('a')('b')(257).clear()(257)('z');
    EXPECT_EQ(expand(1, 0, freed.w.finish(), 100), "abab");

    // A first code that is no byte.
    EXPECT_EQ(expand(1, 0, Codes()(300)('a').w.finish(), 100), "");
}

TEST(UnReduce, MarkerZeroIsOneByteAndCopiesBeforeTheStartAreZeros)
{
    for (unsigned method = 2; method <= 5; ++method) {
        EXPECT_EQ(expand(method, 0, reduceNoFollowers({'A', 144, 0, 'B'}), 3), "A\x90" "B");
        // Length 3 from 5 back, one byte written: four zeros... three: length field 0 + 3.
        EXPECT_EQ(expand(method, 0, reduceNoFollowers({'A', 144, 0x01, 4}), 5), std::string("A\0\0\0\0", 5));
    }
    // Factor 4: a length field of 15 takes the next byte as well: 15 + 5 + 3 = 23 bytes from 3 back.
    EXPECT_EQ(expand(5, 0, reduceNoFollowers({'A', 'B', 'C', 144, 0x0F, 5, 2}), 26),
              "ABC" "ABCABCABCABCABCABCABCAB");
    // Factor 1: distance bit 7 of the value adds 256.
    Bytes data(300, 'x');
    data[0] = 'y';
    Bytes stream = data;
    stream.insert(stream.end(), {144, 0x80 | 2, 43}); // length 5, distance 256 + 43 + 1 = 300
    std::string expected(data.begin(), data.end());
    expected += "yxxxx";
    EXPECT_EQ(expand(2, 0, reduceNoFollowers(stream), 305), expected);
}

TEST(UnReduce, FollowerSetsAreReadForTheBytesFrom255Down)
{
    // Byte 0 (the start) has the set {'h', 'i'}; 'h' has {'i'}; every other set is empty.
    BitWriter w;
    for (int x = 255; x >= 0; --x) {
        if (x == 'h') {
            w.put(1, 6);
            w.byte('i');
        } else if (x == 0) {
            w.put(2, 6);
            w.byte('h');
            w.byte('i');
        } else {
            w.put(0, 6);
        }
    }
    w.put(0, 1); // follower 0 of byte 0: 'h'
    w.put(0, 1);
    w.put(0, 1);
    w.put(0, 1); // follower 0 of 'h' (a one-bit index): 'i'
    w.put('!', 8); // 'i' has no set: eight bits
    EXPECT_EQ(expand(2, 0, w.finish(), 3), "hi!");
}

TEST(UnReduce, ShortDataClaimingGigabytesStopsAtItsEnd)
{
    Bytes junk = codectest::randomBytes(20, 5);
    Bytes out;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned method = 2; method <= 6; ++method) {
        ExpandOldMethodBuffer(method, 0, junk.data(), junk.size(), uint64_t(1) << 31, out);
        EXPECT_LT(out.size(), 100000u);
    }
    // All follower sets empty and then nothing: no output at all.
    ExpandOldMethodBuffer(3, 0, reduceNoFollowers({}).data(), 24, uint64_t(1) << 31, out);
    EXPECT_TRUE(out.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Explode, TreesMustCoverTheirCodesExactly)
{
    // Two trees of 64 codes: 4 x 6 bits... 4 x 16 lengths of 6 bits = 64 codes; one short.
    const Bytes good{3, 0xF5, 0xF5, 0xF5, 0xF5, 3, 0xF5, 0xF5, 0xF5, 0xF5};
    Bytes shortTree{3, 0xF5, 0xF5, 0xF5, 0xE5, 3, 0xF5, 0xF5, 0xF5, 0xF5};
    Bytes longTree{4, 0xF5, 0xF5, 0xF5, 0xF5, 0x05, 3, 0xF5, 0xF5, 0xF5, 0xF5};
    // Literal bits then: 1 + 'A' (two trees: eight raw bits).
    auto withData = [](Bytes b) {
        b.push_back(uint8_t(1 | ('A' << 1)));
        b.push_back(uint8_t('A' >> 7));
        return b;
    };
    EXPECT_EQ(expand(6, 0, withData(good), 1), "A");
    EXPECT_EQ(expand(6, 0, withData(shortTree), 1), "");
    EXPECT_EQ(expand(6, 0, withData(longTree), 1), "");
    // Over-subscribed lengths (64 codes of 1 bit).
    EXPECT_EQ(expand(6, 0, withData({3, 0xF0, 0xF0, 0xF0, 0xF0, 3, 0xF5, 0xF5, 0xF5, 0xF5}), 1), "");
}

TEST(Explode, LengthCode63TakesEightMoreBitsAndWindowsAndTreesCombine)
{
    Bytes data(9000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i < 5000 ? (i * 7) % 251 : 'z');
    for (const unsigned flags : {0u, 2u, 4u, 6u}) {
        oldenc::ImplodeStats st;
        const Bytes packed = oldenc::implode(data, flags & 2, flags & 4, &st);
        EXPECT_GT(st.longMatches, 0u);
        Bytes out;
        const uint32_t crc = ExpandOldMethodBuffer(6, flags, packed.data(), packed.size(), data.size(), out);
        EXPECT_EQ(out, data) << flags;
        EXPECT_EQ(crc, UpdateCrc32(0, data.data(), data.size()));
        // Read with the other window: the distances come out wrong.
        ExpandOldMethodBuffer(6, flags ^ 2, packed.data(), packed.size(), data.size(), out);
        EXPECT_NE(out, data);
    }
}

TEST(Explode, PublicRawStreamOfHamlet)
{
    MV_REQUIRE_TESTDATA();
    const std::string dir = (testsupport::testdataDir() + "zip/zip2/legacy/").toStdString();
    std::ifstream in(dir + "implode_hamlet_256.bin", std::ios::binary), want(dir + "implode_hamlet_256.out", std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(in)), {});
    const std::string expected((std::istreambuf_iterator<char>(want)), {});
    int matching = 0;
    for (const unsigned flags : {0u, 2u, 4u, 6u})
        if (expand(6, flags, data, expected.size()) == expected) {
            ++matching;
            RecordProperty("flags", int(flags));
        }
    EXPECT_EQ(matching, 1);
}

TEST(OldMethodsDamage, RandomDataNeverRunsAwayOrOverflows)
{
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        const Bytes junk = codectest::randomBytes(1 + seed * 37, seed);
        for (unsigned method = 1; method <= 6; ++method)
            for (const unsigned flags : {0u, 2u, 4u, 6u}) {
                Bytes out;
                ExpandOldMethodBuffer(method, flags, junk.data(), junk.size(), 1 << 20, out);
                EXPECT_LE(out.size(), size_t(1) << 20);
            }
    }
    // Truncated valid streams give a prefix of the data at most.
    const Bytes text = codectest::sampleText(50000);
    const std::vector<std::pair<unsigned, Bytes>> streams{
        {1, oldenc::shrink(text)}, {3, oldenc::reduce(text, 2)}, {6, oldenc::implode(text, true, true)}};
    for (const auto& [method, packed] : streams) {
        Bytes out;
        ExpandOldMethodBuffer(method, 6, packed.data(), packed.size() / 2, text.size(), out);
        EXPECT_LT(out.size(), text.size());
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + std::min<size_t>(out.size(), 1000), text.begin()));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
