// The bitmap's own BMP reader and writer against Qt's BMP reader, and canvas basics.
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/GraphicsErrors.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>

#include <cstring>

#include <gtest/gtest.h>

using namespace platform::graphics;

namespace {

QImage qtRead(const QByteArray& bmp)
{
    QByteArray copy = bmp;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    QImageReader r(&b, "bmp");
    return r.read();
}

QImage testImage(int w, int h, TPixelFormat pf)
{
    QRandomGenerator rng(int(pf) + w);
    QImage img(w, h, QImage::Format_RGB32);
    const int colours = pf == TPixelFormat::pf1bit ? 2 : pf == TPixelFormat::pf4bit ? 16 : 256;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = int(rng.bounded(colours));
            img.setPixel(x, y, pf == TPixelFormat::pf24bit || pf == TPixelFormat::pf32bit
                                   ? qRgb(int(rng.bounded(256)), int(rng.bounded(256)), int(rng.bounded(256)))
                                   : qRgb(v * 255 / (colours - 1), v * 17 & 0xFF, 255 - v * 255 / (colours - 1)));
        }
    if (pf == TPixelFormat::pf24bit || pf == TPixelFormat::pf32bit)
        return img;
    QVector<QRgb> table;
    for (int v = 0; v < colours; ++v)
        table << qRgb(v * 255 / (colours - 1), v * 17 & 0xFF, 255 - v * 255 / (colours - 1));
    return img.convertToFormat(pf == TPixelFormat::pf1bit ? QImage::Format_Mono : QImage::Format_Indexed8, table);
}

} // namespace

TEST(Bitmap, BmpWrittenAtEveryDepthReadsTheSameInQtAndInOurReader)
{
    for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf24bit,
                            TPixelFormat::pf32bit}) {
        for (int w : {1, 7, 33}) {
            SCOPED_TRACE(int(pf) * 100 + w);
            QImage img = testImage(w, 5, pf);
            TBitmap b;
            b.SetImage(img, pf);
            QByteArray bmp = b.SaveToBmp();
            EXPECT_EQ(uint8_t(bmp[28]), BitsOfPixelFormat(pf));
            QImage qt = qtRead(bmp);
            ASSERT_FALSE(qt.isNull());
            TBitmap back;
            back.LoadFromBmp(bmp);
            EXPECT_EQ(back.PixelFormat(), pf);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < w; ++x) {
                    ASSERT_EQ(qt.pixel(x, y) & 0xFFFFFF, img.pixel(x, y) & 0xFFFFFF);
                    ASSERT_EQ(back.Image().pixel(x, y) & 0xFFFFFF, img.pixel(x, y) & 0xFFFFFF);
                }
            EXPECT_EQ(back.SaveToBmp(), bmp);
        }
    }
}

TEST(Bitmap, DamagedBmpIsRefused)
{
    TBitmap b(4, 4, TPixelFormat::pf8bit);
    QByteArray bmp = b.SaveToBmp();
    for (int cut : {0, 10, 54, int(bmp.size()) - 1}) {
        TBitmap r;
        try {
            r.LoadFromBmp(bmp.left(cut));
            FAIL() << cut;
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message, "Bitmap image is not valid");
        }
    }
    QByteArray huge = bmp;
    huge[18] = char(0xFF), huge[19] = char(0xFF), huge[20] = char(0xFF), huge[21] = char(0x7F);
    TBitmap r;
    EXPECT_THROW(r.LoadFromBmp(huge), EInvalidGraphic);

    // No pixels at all: a width or a height of 0, at every depth.
    for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf24bit,
                            TPixelFormat::pf32bit}) {
        const QByteArray good = TBitmap(3, 2, pf).SaveToBmp();
        for (int field : {18, 22}) {
            SCOPED_TRACE(int(pf) * 100 + field);
            QByteArray bad = good;
            std::memset(bad.data() + field, 0, 4);
            TBitmap empty;
            try {
                empty.LoadFromBmp(bad);
                FAIL() << "a bitmap without pixels was read";
            } catch (const EInvalidGraphic& e) {
                EXPECT_EQ(e.Message, "Bitmap image is not valid");
            }
        }
    }
}

TEST(Bitmap, TopDownAndCoreHeadersRead)
{
    QImage img = testImage(3, 4, TPixelFormat::pf24bit);
    TBitmap b;
    b.SetImage(img, TPixelFormat::pf24bit);
    QByteArray bmp = b.SaveToBmp();
    // Flip to top-down: negative height, rows reversed.
    QByteArray td = bmp.left(54);
    const int rowBytes = 12;
    for (int y = 3; y >= 0; --y)
        td += bmp.mid(54 + y * rowBytes, rowBytes);
    qint32 h = -4;
    std::memcpy(td.data() + 22, &h, 4);
    TBitmap r;
    r.LoadFromBmp(td);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(r.Image().pixel(x, y), img.pixel(x, y));
}

TEST(Bitmap, TransparentColourAndCanvas)
{
    TBitmap b(3, 2, TPixelFormat::pf24bit);
    b.Canvas().SetPixel(0, 1, RGB(1, 2, 3));
    EXPECT_EQ(b.TransparentColor(), RGB(1, 2, 3)); // bottom-left pixel
    b.SetTransparentColor(clRed);
    EXPECT_EQ(b.TransparentMode(), TTransparentMode::tmFixed);
    EXPECT_EQ(b.TransparentColor(), clRed);
    b.Canvas().BrushColor = clBlue;
    b.Canvas().FillRect(QRect(0, 0, 3, 2));
    EXPECT_EQ(b.Canvas().Pixel(2, 1), clBlue);
    TBitmap mono(2, 2, TPixelFormat::pf1bit);
    EXPECT_TRUE(mono.Monochrome());
    EXPECT_EQ(mono.TransparentColor(), clWhite);
}
