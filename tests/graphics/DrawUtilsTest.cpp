// Transparent stretched drawing, the memory helpers and the start-up registrations.
#include "graphics/DrawUtils.h"
#include "graphics/Registrations.h"
#include "platform/graphics/Cursors.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/PictureFormats.h"

#include <gtest/gtest.h>

using namespace graphics;
using namespace platform::graphics;

namespace {

// 2x2: top row red, blue; bottom row green, green.
TBitmap* makeBitmap(TBitmap& b)
{
    QImage img(2, 2, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(1, 0, qRgb(0, 0, 255));
    img.setPixel(0, 1, qRgb(0, 255, 0));
    img.setPixel(1, 1, qRgb(0, 255, 0));
    b.SetImage(img, TPixelFormat::pf24bit);
    return &b;
}

QImage draw(TColor transparent, QRect source = QRect())
{
    TBitmap b;
    makeBitmap(b);
    QImage target(4, 4, QImage::Format_RGB32);
    target.fill(qRgb(9, 9, 9));
    TCanvas canvas(&target);
    if (source.isNull())
        DrawTransparentBitmap(canvas, b, transparent, 0, 0, 4, 4, 0, 0, 0, 0);
    else
        DrawTransparentBitmapRect(canvas, 0, 0, source, b, transparent, 4, 4);
    return target;
}

} // namespace

TEST(DrawUtils, TransparentStretchedDrawing)
{
    QImage plain = draw(clNone);
    EXPECT_EQ(plain.pixel(3, 0), qRgb(0, 0, 255));
    EXPECT_EQ(plain.pixel(0, 3), qRgb(0, 255, 0));

    QImage blueGone = draw(RGB(0, 0, 255));
    EXPECT_EQ(blueGone.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(blueGone.pixel(3, 1), qRgb(9, 9, 9));
    EXPECT_EQ(blueGone.pixel(3, 3), qRgb(0, 255, 0));

    // clDefault: the bottom-left pixel's colour (green) is transparent.
    QImage greenGone = draw(clDefault);
    EXPECT_EQ(greenGone.pixel(0, 3), qRgb(9, 9, 9));
    EXPECT_EQ(greenGone.pixel(3, 0), qRgb(0, 0, 255));

    // A source rectangle: only the top-right pixel, stretched over everything.
    QImage part = draw(clNone, QRect(1, 0, 1, 1));
    EXPECT_EQ(part.pixel(0, 3), qRgb(0, 0, 255));
    EXPECT_EQ(ToPaletteRGB(RGB(1, 2, 3)), 0x02030201);
}

TEST(DrawUtils, MemoryHelpers)
{
    EXPECT_EQ(AllocZeroed(0), nullptr);
    void* p = AllocZeroed(10);
    ASSERT_NE(p, nullptr);
    const char zeros[10] = {};
    EXPECT_TRUE(SameBytes(p, zeros, 10));
    CopyBytes(p, "abcdefghij", 10);
    EXPECT_TRUE(SameBytes(OffsetPointer(p, 7), "hij", 3));
    EXPECT_FALSE(SameBytes(p, "abcdefghiX", 10));
    FreeZeroed(p);
    EXPECT_EQ(p, nullptr);
    FreeZeroed(p); // nothing to free: no harm
}

TEST(DrawUtils, StartUpRegistrationsRunOnce)
{
    RegisterPictureUnits();
    RegisterPictureUnits();
    int gifs = 0;
    for (const TFileFormat& f : FileFormats())
        if (f.extension == "gif") {
            ++gifs;
            EXPECT_EQ(f.description, "CompuServe GIF Image");
        }
    EXPECT_EQ(gifs, 1);
    EXPECT_TRUE(HasScreenCursor(14000));
    EXPECT_TRUE(HasScreenCursor(14001));
    EXPECT_EQ(ScreenCursor(14000).shape(), Qt::PointingHandCursor);
    EXPECT_EQ(TIcon::ClipboardFormat, "Morvanel Icon");
}
