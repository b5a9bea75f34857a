// Colour reduction of true-colour bitmaps to a 256-colour BMP image.
#include "graphics/ColorReduce.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/graphics/GraphicsErrors.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace graphics;
using namespace platform::graphics;

namespace {

struct Reduced {
    int width = 0, height = 0, important = 0;
    QVector<QRgb> palette;
    std::vector<uint8_t> indices; // top-down
    QRgb colorAt(int x, int y) const { return palette[indices[size_t(y * width + x)]]; }
};

Reduced parse(const QByteArray& bmp)
{
    auto u32 = [&](int at) {
        return int(quint32(uint8_t(bmp[at])) | (quint32(uint8_t(bmp[at + 1])) << 8) |
                   (quint32(uint8_t(bmp[at + 2])) << 16) | (quint32(uint8_t(bmp[at + 3])) << 24));
    };
    Reduced r;
    EXPECT_EQ(bmp.left(2), "BM");
    EXPECT_EQ(u32(2), bmp.size());
    EXPECT_EQ(uint8_t(bmp[28]), 8);
    r.width = u32(18);
    r.height = u32(22);
    r.important = u32(50);
    for (int i = 0; i < 256; ++i)
        r.palette << qRgb(uint8_t(bmp[54 + 4 * i + 2]), uint8_t(bmp[54 + 4 * i + 1]), uint8_t(bmp[54 + 4 * i]));
    const int offset = u32(10);
    const int rowBytes = (r.width + 3) / 4 * 4;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            r.indices.push_back(uint8_t(bmp[offset + (r.height - 1 - y) * rowBytes + x]));
    return r;
}

std::unique_ptr<TBitmap> fromImage(const QImage& img)
{
    auto b = std::make_unique<TBitmap>();
    b->SetImage(img, TPixelFormat::pf24bit);
    return b;
}

Reduced reduce(const QImage& img, TReductionMethod m)
{
    auto b = fromImage(img);
    return parse(BitmapToPaletteStream(*b, TPixelFormat::pf8bit, m));
}

QImage pixels(const std::vector<QRgb>& colours, int width)
{
    const int height = int((colours.size() + size_t(width) - 1) / size_t(width));
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(colours.back());
    for (size_t i = 0; i < colours.size(); ++i)
        img.setPixel(int(i % size_t(width)), int(i / size_t(width)), colours[i]);
    return img;
}

} // namespace

TEST(ColorReduce, LevelTables)
{
    InitColorReduce();
    const int l4[] = {0, 85, 170, 255}, l6[] = {0, 51, 102, 153, 204, 255}, l7[] = {0, 43, 85, 128, 170, 213, 255},
              l8[] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Levels4[size_t(l4[i])], i);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Levels6[size_t(l6[i])], i);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(Levels7[size_t(l7[i])], i);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Levels8[size_t(l8[i])], i);
    // Half-way points go to the lower level; one past them to the upper one.
    EXPECT_EQ(Levels4[42], 0);
    EXPECT_EQ(Levels4[43], 1);
    EXPECT_EQ(Levels6[25], 0);
    EXPECT_EQ(Levels6[26], 1);
    EXPECT_EQ(Levels7[64], 1); // 64 is 21 from 43 and 21 from 85
    EXPECT_EQ(Levels7[65], 2);
    EXPECT_EQ(Levels8[18], 0);
    EXPECT_EQ(Levels8[19], 1);
    EXPECT_EQ(Levels8[237], 6);
    EXPECT_EQ(Levels8[238], 7);
}

TEST(ColorReduce, GrayLevelsAndCycles)
{
    QImage img(3, 2, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(255, 255, 255));
    img.setPixel(1, 0, qRgb(255, 0, 0));
    img.setPixel(2, 0, qRgb(0, 0, 0));
    img.setPixel(0, 1, qRgb(200, 100, 40));
    img.setPixel(1, 1, qRgb(200, 100, 40));
    img.setPixel(2, 1, qRgb(200, 100, 40));
    Reduced g = reduce(img, rmGray);
    EXPECT_EQ(g.indices[0], 255);
    EXPECT_EQ(g.indices[1], 76);
    EXPECT_EQ(g.indices[2], 0);
    EXPECT_EQ(g.palette[76], qRgb(76, 76, 76));

    Reduced l6 = reduce(img, rmLevels666);
    EXPECT_EQ(l6.indices[0], 215);
    EXPECT_EQ(l6.indices[1], 180);
    EXPECT_EQ(l6.important, 216);
    EXPECT_EQ(l6.palette[215], qRgb(255, 255, 255));
    EXPECT_EQ(l6.palette[230], qRgb(128, 128, 128));

    Reduced l784 = reduce(img, rmLevels784);
    EXPECT_EQ(l784.indices[0], 223);
    EXPECT_EQ(l784.indices[2], 0);
    EXPECT_EQ(l784.important, 224);
    EXPECT_EQ(l784.colorAt(3 - 3, 1), qRgb(213, 109, 0)); // (200, 100, 40): levels 5, 3, 0

    // Channel cycle: bottom row is row 0 from the bottom.
    Reduced cc = reduce(img, rmChannelCycle);
    EXPECT_EQ(cc.indices[3], 200 >> 2);           // bottom-left: red
    EXPECT_EQ(cc.indices[4], (100 >> 2) + 64);    // next: green
    EXPECT_EQ(cc.indices[5], (40 >> 2) + 128);    // then blue
    EXPECT_EQ(cc.indices[0], (255 >> 2) + 64);    // row 1 from the bottom starts with green
    EXPECT_EQ(cc.palette[200 >> 2], qRgb(200 & ~3, 0, 0));
}

TEST(ColorReduce, PopularKeepsUpTo256ColoursExactly)
{
    std::vector<QRgb> colours;
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 1 + i % 3; ++k)
            colours.push_back(qRgb(i, (i * 7) & 0xFF, 255 - i));
    QImage img = pixels(colours, 37);
    Reduced r = reduce(img, rmPopular);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ASSERT_EQ(r.colorAt(x, y), (img.pixel(x, y) & 0xFFFFFF) | 0xFF000000u);
}

TEST(ColorReduce, PopularRetriesWithMasksInOrder)
{
    // 4200 colours that differ in the lowest bit of blue and of red: blue alone is not
    // enough (2100 left), blue then red is (1050).
    std::vector<QRgb> colours;
    for (int i = 0; i < 4200; ++i) {
        const int rest = i >> 2;
        colours.push_back(qRgb(((i >> 1) & 1) | ((rest >> 8) << 1), rest & 0xFF, i & 1));
    }
    Reduced r = reduce(pixels(colours, 100), rmPopular);
    bool oddGreen = false;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(qBlue(r.palette[i]) & 1, 0);
        EXPECT_EQ(qRed(r.palette[i]) & 1, 0);
        oddGreen = oddGreen || (qGreen(r.palette[i]) & 1);
    }
    EXPECT_TRUE(oddGreen);

    // 2100 colours differing only in blue's low bit: one retry (blue 0xFE) suffices, so red
    // keeps its odd values.
    colours.clear();
    for (int i = 0; i < 2100; ++i)
        colours.push_back(qRgb((i >> 1) & 0xFF, i >> 9, i & 1));
    Reduced s = reduce(pixels(colours, 100), rmPopular);
    bool oddRed = false;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(qBlue(s.palette[i]) & 1, 0);
        oddRed = oddRed || (qRed(s.palette[i]) & 1);
    }
    EXPECT_TRUE(oddRed);
}

TEST(ColorReduce, MedianCutGivesOneBoxPerDistinctBin)
{
    for (int n : {1, 2, 100, 256}) {
        std::vector<QRgb> colours;
        for (int i = 0; i < n; ++i) {
            const int bin = (i * 37) % 4096;
            colours.push_back(qRgb((bin >> 8) * 16 + 3, ((bin >> 4) & 15) * 16 + 5, (bin & 15) * 16 + 7));
        }
        Reduced r = reduce(pixels(colours, 16), rmMedianCut);
        EXPECT_EQ(r.important, n);
        QSet<int> used(r.indices.begin(), r.indices.end());
        EXPECT_EQ(used.size(), n);
        // One bin per box: the entry is the bin's top value (v * 16 + 15), or black when dark.
        for (size_t i = 0; i < colours.size(); ++i) {
            QRgb p = r.palette[r.indices[i]];
            QRgb c = colours[i];
            int er = (qRed(c) / 16) * 16 + 15, eg = (qGreen(c) / 16) * 16 + 15, eb = (qBlue(c) / 16) * 16 + 15;
            if (er <= 16 && eg <= 16 && eb <= 16)
                er = eg = eb = 0;
            EXPECT_EQ(p, qRgb(er, eg, eb));
        }
    }
    // Many more bins than boxes: 256 boxes, every pixel mapped into one of them.
    QImage noise(128, 128, QImage::Format_RGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            noise.setPixel(x, y, qRgb(x * 2, y * 2, (x * y) & 0xFF));
    EXPECT_EQ(reduce(noise, rmMedianCut).important, 256);
}

TEST(ColorReduce, FormatRoads)
{
    TBitmap empty;
    try {
        BitmapToPaletteStream(empty, TPixelFormat::pf8bit, rmPopular);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message, "Bitmap image is not valid");
    }
    // An 8-bit bitmap asked for 8 bits comes back in its own layout.
    TBitmap eight(5, 3, TPixelFormat::pf8bit);
    EXPECT_EQ(BitmapToPaletteStream(eight, TPixelFormat::pf8bit, rmPopular), eight.SaveToBmp());
    // 1 and 4 bits by plain conversion.
    QImage img(4, 2, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    img.setPixel(0, 0, qRgb(0, 0, 0));
    auto b = fromImage(img);
    QByteArray mono = BitmapToPaletteStream(*b, TPixelFormat::pf1bit, rmPopular);
    EXPECT_EQ(uint8_t(mono[28]), 1);
    QByteArray four = BitmapToPaletteStream(*b, TPixelFormat::pf4bit, rmPopular);
    EXPECT_EQ(uint8_t(four[28]), 4);
    // Anything else: a message and a silent abort.
    platform::ScopedScriptedDialogs dialogs;
    EXPECT_THROW(BitmapToPaletteStream(*b, TPixelFormat::pf16bit, rmPopular), platform::EAbort);
    EXPECT_EQ(dialogs->messages(), QStringList{"Function not yet implemented"});
}

TEST(ColorReduce, MedianCutDependsOnTheHistogramOnly)
{
    // The same colours in another pixel order give the same palette, and every pixel maps
    // to a box whose colour is close to it.
    std::vector<QRgb> colours;
    for (int i = 0; i < 3000; ++i)
        colours.push_back(qRgb((i * 13) & 0xFF, (i * 29) & 0xFF, (i * 7) & 0xFF));
    std::vector<QRgb> shuffled(colours.rbegin(), colours.rend());
    Reduced a = reduce(pixels(colours, 60), rmMedianCut);
    Reduced b = reduce(pixels(shuffled, 60), rmMedianCut);
    EXPECT_EQ(a.palette, b.palette);
    EXPECT_EQ(a.important, 256);
    long worst = 0;
    for (size_t i = 0; i < colours.size(); ++i) {
        QRgb p = a.palette[a.indices[i]], c = colours[i];
        worst = std::max<long>(worst, std::abs(qRed(p) - qRed(c)) + std::abs(qGreen(p) - qGreen(c)) +
                                          std::abs(qBlue(p) - qBlue(c)));
    }
    EXPECT_LT(worst, 200);
}
