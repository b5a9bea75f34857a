// LZW coding: golden code streams, round trips through our decoder and the tolerant rules.
#include "GifTestUtil.h"
#include "graphics/GifLzw.h"
#include "platform/graphics/GraphicsErrors.h"

#include <QRandomGenerator>

using namespace graphics;
using namespace giftest;

namespace {

// Rows top-down of values -> a bottom-up DIB buffer.
std::vector<uint8_t> dib(const std::vector<std::vector<int>>& rows, int bpp, TDibHeader& h)
{
    h.Height = int(rows.size());
    h.Width = rows.empty() ? 0 : int(rows[0].size());
    h.BitCount = bpp;
    std::vector<uint8_t> buf(size_t(h.RowBytes() * h.Height), 0);
    for (int y = 0; y < h.Height; ++y) {
        uint8_t* row = buf.data() + (h.Height - 1 - y) * h.RowBytes();
        for (int x = 0; x < h.Width; ++x) {
            int v = rows[size_t(y)][size_t(x)];
            if (bpp == 8)
                row[x] = uint8_t(v);
            else if (bpp == 4)
                row[x / 2] |= uint8_t((x & 1) ? v : v << 4);
            else
                row[x / 8] |= uint8_t(v << (7 - x % 8));
        }
    }
    return buf;
}

QByteArray encode(const std::vector<std::vector<int>>& rows, int bpp)
{
    TDibHeader h;
    std::vector<uint8_t> buf = dib(rows, bpp, h);
    QByteArray out;
    EncodeLZW(out, h, false, {}, buf.data());
    return out;
}

std::vector<uint8_t> decode(const QByteArray& code, int w, int h, int colorBits, bool interlaced, bool& corrupted,
                            bool tolerant = true)
{
    TDibHeader hd;
    hd.Width = w;
    hd.Height = h;
    hd.BitCount = 8;
    hd.TopDown = true;
    std::vector<uint8_t> buf(size_t(hd.RowBytes() * h), 0);
    corrupted = false;
    DecodeLZW(code, hd, interlaced, {}, corrupted, buf.data(), colorBits, tolerant);
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y)
        out.insert(out.end(), buf.begin() + y * hd.RowBytes(), buf.begin() + y * hd.RowBytes() + w);
    return out;
}

QByteArray withBlocks(int codeSize, const std::vector<int>& codes, bool terminator = true)
{
    GifBuilder b;
    b.codes(codeSize, codes, terminator);
    return b.bytes;
}

} // namespace

TEST(Lzw, GoldenVectors)
{
    EXPECT_EQ(encode({{0, 0, 0, 0}}, 1).toHex(' '), "02 02 84 51 00");
    EXPECT_EQ(encode({{0, 1, 0, 1, 0, 1, 0, 1}}, 1).toHex(' '), "02 03 44 8c 51 00");
    EXPECT_EQ(encode({{7, 7, 7}}, 8).toHex(' '), "08 05 00 0f 08 0c 08 00");
    EXPECT_EQ(encode({{1, 0}, {0, 0}}, 8).toHex(' '), "08 06 00 03 00 18 18 10 00");
}

TEST(Lzw, CodeSizeFollowsPixelDepth)
{
    EXPECT_EQ(uint8_t(encode({{1}}, 1)[0]), 2);
    EXPECT_EQ(uint8_t(encode({{15}}, 4)[0]), 4);
    EXPECT_EQ(uint8_t(encode({{255}}, 8)[0]), 8);
    // First code of a 16-colour frame is the 5-bit clear code 16.
    EXPECT_EQ(uint8_t(encode({{3}}, 4)[2]) & 0x1F, 16);
}

TEST(Lzw, RoundTripsNoiseAndRunsAtEveryDepth)
{
    QRandomGenerator rng(42);
    for (int bpp : {1, 4, 8}) {
        for (int pattern = 0; pattern < 3; ++pattern) {
            const int w = 301, h = 97;
            std::vector<std::vector<int>> rows(h, std::vector<int>(w));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    int v = pattern == 0 ? int(rng.bounded(1 << bpp)) : pattern == 1 ? (x / 7 + y) : ((x * y) >> 3);
                    rows[size_t(y)][size_t(x)] = v & ((1 << bpp) - 1);
                }
            QByteArray code = encode(rows, bpp);
            bool corrupted;
            std::vector<uint8_t> got = decode(code, w, h, bpp, false, corrupted);
            EXPECT_FALSE(corrupted);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(got[size_t(y * w + x)], rows[size_t(y)][size_t(x)]) << bpp << " " << pattern;
        }
    }
}

TEST(Lzw, TableResetAt4094DecodesToSamePixels)
{
    // Noise fills the table quickly; the encoder writes the pending pixel and a clear code.
    QRandomGenerator rng(7);
    const int w = 4000, h = 3;
    std::vector<std::vector<int>> rows(h, std::vector<int>(w));
    for (auto& r : rows)
        for (auto& v : r)
            v = int(rng.bounded(256));
    QByteArray code = encode(rows, 8);
    bool corrupted;
    std::vector<uint8_t> got = decode(code, w, h, 8, false, corrupted);
    EXPECT_FALSE(corrupted);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(got[size_t(y * w + x)], rows[size_t(y)][size_t(x)]);
}

TEST(Lzw, ResetOnLastPixelWritesNoStrayCode)
{
    // Find a length where the reset falls on the last pixel: the stream must still decode to
    // exactly the pixels, with nothing after them but the end code.
    QRandomGenerator rng(11);
    std::vector<int> row;
    for (int i = 0; i < 6000; ++i)
        row.push_back(int(rng.bounded(256)));
    for (int len = 3800; len < 6000; ++len) {
        std::vector<std::vector<int>> rows{std::vector<int>(row.begin(), row.begin() + len)};
        QByteArray code = encode(rows, 8);
        bool corrupted;
        std::vector<uint8_t> got = decode(code, len, 1, 8, false, corrupted);
        ASSERT_FALSE(corrupted);
        for (int x = 0; x < len; ++x)
            ASSERT_EQ(got[size_t(x)], rows[0][size_t(x)]);
        if (len > 4200)
            break;
    }
}

TEST(Lzw, InterlacedRowOrder)
{
    int pass = 0, row = 0;
    std::vector<int> order{row};
    while ((row = NextInterlacedRow(row, 10, pass)) < 10)
        order.push_back(row);
    EXPECT_EQ(order, (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));

    // Rows filled in stream order: the k-th row of the stream holds value k.
    std::vector<int> codes{4};
    for (int k = 0; k < 10; ++k)
        codes.push_back(k % 4);
    codes.push_back(5);
    bool corrupted;
    std::vector<uint8_t> got = decode(withBlocks(2, codes), 1, 10, 2, true, corrupted);
    std::vector<uint8_t> expect(10);
    for (int k = 0; k < 10; ++k)
        expect[size_t(order[size_t(k)])] = uint8_t(k % 4);
    EXPECT_EQ(got, expect);
    for (int h : {1, 2, 3, 5}) {
        pass = 0, row = 0;
        int seen = 1;
        while ((row = NextInterlacedRow(row, h, pass)) < h)
            ++seen;
        EXPECT_EQ(seen, h);
    }
}

TEST(Lzw, EndCodeBeforeLastRowLeavesZeros)
{
    bool corrupted;
    std::vector<uint8_t> got = decode(withBlocks(2, {4, 1, 2, 5}), 2, 3, 2, false, corrupted);
    EXPECT_FALSE(corrupted);
    EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 0, 0, 0, 0}));
}

TEST(Lzw, MissingDataIsCorruptWhenTolerantAndAnErrorOtherwise)
{
    QByteArray code = withBlocks(2, {4, 1, 2, 3}); // no end code, 4 pixels of 6
    bool corrupted;
    std::vector<uint8_t> got = decode(code, 2, 3, 2, false, corrupted);
    EXPECT_TRUE(corrupted);
    EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3, 0, 0, 0}));
    try {
        decode(code, 2, 3, 2, false, corrupted, false);
        FAIL() << "no error";
    } catch (const platform::graphics::EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "Stream read error");
    }
    // All rows complete: no end code needed.
    got = decode(withBlocks(2, {4, 1, 2}), 2, 1, 2, false, corrupted);
    EXPECT_FALSE(corrupted);
}

TEST(Lzw, CodeSizeOutOfRange)
{
    QByteArray code = withBlocks(2, {4, 1, 5});
    code[0] = 12;
    bool corrupted;
    EXPECT_NO_THROW(decode(code, 1, 1, 2, false, corrupted));
    EXPECT_TRUE(corrupted);
    try {
        decode(code, 1, 1, 2, false, corrupted, false);
        FAIL();
    } catch (const platform::graphics::EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "GIF code size not in range 2 to 9");
    }
}

TEST(Lzw, StreamsWithoutLeadingClearOrWithDoubleClearsDecodeCleanly)
{
    bool corrupted;
    EXPECT_EQ(decode(withBlocks(2, {1, 2, 6, 5}), 4, 1, 2, false, corrupted), (std::vector<uint8_t>{1, 2, 1, 2}));
    EXPECT_FALSE(corrupted);
    EXPECT_EQ(decode(withBlocks(2, {4, 4, 3, 4, 4, 1, 6, 5}), 4, 1, 2, false, corrupted),
              (std::vector<uint8_t>{3, 1, 1, 1}));
    EXPECT_FALSE(corrupted);
    // A table code right after a clear has nothing to refer to.
    std::vector<uint8_t> got = decode(withBlocks(2, {4, 1, 4, 7, 5}), 4, 1, 2, false, corrupted);
    EXPECT_TRUE(corrupted);
    EXPECT_EQ(got, (std::vector<uint8_t>{1, 0, 0, 0}));
    // A code beyond the next free entry is damage, not a read of undefined entries.
    got = decode(withBlocks(2, {4, 1, 2, 6, 12, 5}), 6, 1, 2, false, corrupted);
    EXPECT_TRUE(corrupted);
    EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 1, 2, 0, 0}));
}

TEST(Lzw, LiteralsAboveTheColourMaskAreMaskedNotLookedUp)
{
    // Code size 8 but a 4-colour frame (as optimisers write): literal 6 shows as 6 & 3.
    bool corrupted;
    std::vector<uint8_t> got = decode(withBlocks(8, {256, 6, 1, 258, 257}), 4, 1, 2, false, corrupted);
    EXPECT_FALSE(corrupted);
    EXPECT_EQ(got, (std::vector<uint8_t>{2, 1, 2, 1}));
    // Code size 2 with a 2-colour frame: literal 3 is pixel 1; table entries still work.
    got = decode(withBlocks(2, {4, 3, 2, 6, 5}), 4, 1, 1, false, corrupted);
    EXPECT_EQ(got, (std::vector<uint8_t>{1, 0, 1, 0}));
}

TEST(Lzw, ProgressIsReported)
{
    std::vector<std::vector<int>> rows(10, std::vector<int>(10, 3));
    TDibHeader h;
    std::vector<uint8_t> buf = dib(rows, 8, h);
    QByteArray out;
    QList<int> stages;
    EncodeLZW(out, h, false, [&](TProgressStage s, int, const QString&) { stages << int(s); }, buf.data());
    ASSERT_GE(stages.size(), 3);
    EXPECT_EQ(stages.first(), int(TProgressStage::psStarting));
    EXPECT_EQ(stages.last(), int(TProgressStage::psEnding));
    EXPECT_EQ(stages.count(int(TProgressStage::psRunning)), 10);
}
