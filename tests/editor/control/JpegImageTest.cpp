// JPEG pictures decoded by our libjpeg wrapper; the streams are made with libjpeg's encoder.
#include "platform/richedit/JpegImage.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

using platform::DecodeJpeg;

namespace {

// Encodes width x height pixels of `components` bytes each in the given colour space.
QByteArray encode(int width, int height, int components, J_COLOR_SPACE space,
                  const std::vector<unsigned char>& pixels, bool progressive = false)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(pixels.data()) + size_t(c.next_scanline) * width * components;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    QByteArray result(reinterpret_cast<const char*>(out), qsizetype(size));
    jpeg_destroy_compress(&c);
    free(out);
    return result;
}

std::vector<unsigned char> fill(int width, int height, std::initializer_list<unsigned char> px)
{
    std::vector<unsigned char> v;
    for (int i = 0; i < width * height; ++i)
        v.insert(v.end(), px.begin(), px.end());
    return v;
}

bool near(QColor a, QColor b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(JpegImage, ColourPictureDecodesToItsPixels)
{
    // Left half red, right half blue.
    std::vector<unsigned char> px;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool left = x < 32;
            px.insert(px.end(), {left ? uchar(230) : uchar(10), 20, left ? uchar(10) : uchar(220)});
        }
    for (bool progressive : {false, true}) {
        QString error;
        const QImage img = DecodeJpeg(encode(64, 32, 3, JCS_RGB, px, progressive), &error);
        ASSERT_FALSE(img.isNull()) << error.toStdString();
        EXPECT_EQ(img.size(), QSize(64, 32));
        EXPECT_TRUE(near(img.pixelColor(4, 16), QColor(230, 20, 10))) << img.pixelColor(4, 16).name().toStdString();
        EXPECT_TRUE(near(img.pixelColor(60, 16), QColor(10, 20, 220)));
        EXPECT_TRUE(error.isEmpty());
    }
}

TEST(JpegImage, GreyscaleAndCmykPictures)
{
    const QImage grey = DecodeJpeg(encode(16, 16, 1, JCS_GRAYSCALE, fill(16, 16, {128})));
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.format(), QImage::Format_Grayscale8);
    EXPECT_NEAR(qGray(grey.pixel(8, 8)), 128, 2);

    // libjpeg writes CMYK with Adobe's marker; Adobe stores the values inverted (255 = no ink).
    // Full magenta and yellow ink, no cyan, no black: red.
    const QImage red = DecodeJpeg(encode(16, 16, 4, JCS_CMYK, fill(16, 16, {255, 0, 0, 255})));
    ASSERT_FALSE(red.isNull());
    EXPECT_TRUE(near(red.pixelColor(8, 8), QColor(255, 0, 0), 8)) << red.pixelColor(8, 8).name().toStdString();
    // Half black over no ink: mid grey.
    const QImage greyInk = DecodeJpeg(encode(16, 16, 4, JCS_CMYK, fill(16, 16, {255, 255, 255, 128})));
    EXPECT_TRUE(near(greyInk.pixelColor(8, 8), QColor(128, 128, 128), 8));
}

TEST(JpegImage, DamagedStreamsGiveAnErrorNotACrash)
{
    // Noise, so that the scan data and not the tables make most of the stream.
    std::vector<unsigned char> noise(256 * 256 * 3);
    unsigned seed = 1;
    for (auto& b : noise)
        b = uchar((seed = seed * 1103515245u + 12345u) >> 24);
    const QByteArray good = encode(256, 256, 3, JCS_RGB, noise);
    QString error;
    EXPECT_TRUE(DecodeJpeg(QByteArray("not a jpeg at all"), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(DecodeJpeg(QByteArray(), &error).isNull());
    EXPECT_TRUE(DecodeJpeg(good.left(20), &error).isNull());
    EXPECT_FALSE(error.isEmpty());

    // Cut in the middle of the scan data: what was decoded comes back, the rest stays blank.
    const QImage part = DecodeJpeg(good.left(good.size() * 2 / 3), &error);
    EXPECT_FALSE(part.isNull());

    // Garbage scan data: never a crash.
    QByteArray noisy = good;
    for (qsizetype i = good.size() / 2; i < good.size() - 2; i += 7)
        noisy[i] = char(noisy[i] ^ 0x5a);
    (void)DecodeJpeg(noisy, &error);
}

TEST(JpegImage, HugeDimensionsAreRefusedBeforeAllocating)
{
    QByteArray big = encode(8, 8, 3, JCS_RGB, fill(8, 8, {1, 2, 3}));
    // Patch the frame header (SOF0: FF C0, length, precision, height, width) to 60000 x 60000.
    const qsizetype sof = big.indexOf(QByteArray("\xff\xc0", 2));
    ASSERT_GT(sof, 0);
    big[sof + 5] = char(0xEA);
    big[sof + 6] = char(0x60);
    big[sof + 7] = char(0xEA);
    big[sof + 8] = char(0x60);
    QString error;
    EXPECT_TRUE(DecodeJpeg(big, &error).isNull());
    EXPECT_TRUE(error.contains(QLatin1String("too large"))) << error.toStdString();
}

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/GraphicsErrors.h"
#include "platform/graphics/PictureFormats.h"
#include "support/TestSupport.h"

TEST(JpegImage, PictureClassLoadsThroughTheRegistry)
{
    platform::RegisterJpegPicture();
    testsupport::TempDir dir;
    const QByteArray jpeg = encode(20, 10, 3, JCS_RGB, fill(20, 10, {0, 200, 0}));
    testsupport::writeFile(dir.file("pic.JPG"), jpeg);
    testsupport::writeFile(dir.file("bad.jpg"), "garbage");

    platform::graphics::TPicture picture;
    picture.LoadFromFile(dir.file("pic.JPG"));
    auto* j = dynamic_cast<platform::TJPEGImage*>(picture.Graphic());
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->Data(), jpeg); // the file's bytes are kept as they are
    EXPECT_EQ(picture.Width(), 20);
    platform::graphics::TBitmap* bmp = picture.Bitmap();
    ASSERT_NE(bmp, nullptr);
    EXPECT_TRUE(near(bmp->Image().pixelColor(5, 5), QColor(0, 200, 0)));

    platform::graphics::TPicture bad;
    EXPECT_THROW(bad.LoadFromFile(dir.file("bad.jpg")), platform::graphics::EInvalidGraphic);
}
