// BMP files of other programs read by our reader, and ours read by them: Pillow and ImageMagick at
// 1, 4, 8, 24 and 32 bits per pixel (ImageMagick writes 8-bit files run-length coded by default),
// and their files cut or damaged load with a clear error and no crash.
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/GraphicsErrors.h"
#include "PeerTools.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace platform::graphics;
using testsupport::TempDir;

namespace {

using peers::havePillow;
using peers::imConvert;
using peers::python3;

// The pixels of a file as another program decodes them: RGB bytes, rows top-down.
QByteArray pillowRgb(const QString& file)
{
    QByteArray out, err;
    const int rc = testsupport::runTool(
        python3(),
        {"-c", "import sys\nfrom PIL import Image\nsys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())",
         file},
        &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out;
}
QByteArray magickRgb(const QString& file)
{
    QByteArray out, err;
    const int rc = testsupport::runTool(imConvert(), {file, "-depth", "8", "rgb:-"}, &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out;
}

QByteArray rgbOf(const QImage& img)
{
    QByteArray out;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            out += char(qRed(c));
            out += char(qGreen(c));
            out += char(qBlue(c));
        }
    return out;
}

// A picture of random colours with long runs, so run-length coders have something to do.
QImage photo(int w, int h, quint32 seed)
{
    QRandomGenerator rng(seed);
    QImage img(w, h, QImage::Format_RGB32);
    QRgb c = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (rng.bounded(5) == 0 || x == 0)
                c = qRgb(int(rng.bounded(256)), int(rng.bounded(256)), int(rng.bounded(256)));
            img.setPixel(x, y, c);
        }
    return img;
}

} // namespace

TEST(BmpInterop, OtherProgramsFilesReadAsTheyDecodeThem)
{
    if (!testsupport::haveTool(imConvert()) || !havePillow())
        GTEST_SKIP() << "ImageMagick or Pillow missing";
    TempDir dir;
    // Odd widths exercise row padding and part bytes.
    const QString src = dir.file("src.png");
    ASSERT_TRUE(photo(37, 23, 3).save(src));
    struct Case {
        const char* name;
        QStringList magick; // empty: made by Pillow
        const char* pillowMode;
        int bits;
    };
    const Case cases[] = {
        {"pil-1.bmp", {}, "1", 1},
        {"pil-L.bmp", {}, "L", 8},
        {"pil-P.bmp", {}, "P", 8},
        {"pil-RGB.bmp", {}, "RGB", 24},
        {"pil-RGBA.bmp", {}, "RGBA", 32},
        {"im-1.bmp", {"-colors", "2", "BMP3:"}, nullptr, 1},
        {"im-4.bmp", {"-colors", "16", "BMP3:"}, nullptr, 4},
        {"im-8.bmp", {"-colors", "200", "BMP3:"}, nullptr, 8}, // run-length coded
        {"im-8-plain.bmp", {"-colors", "200", "-compress", "none", "BMP3:"}, nullptr, 8},
        {"im-4-rle.bmp", {"-colors", "9", "-compress", "RLE", "-define", "bmp:format=bmp3", "BMP3:"}, nullptr, 4},
        {"im-24.bmp", {"-type", "TrueColor", "BMP3:"}, nullptr, 24},
        {"im-32.bmp", {"-alpha", "set", "BMP:"}, nullptr, 32}, // version 5 header with bit fields
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.file(c.name);
        if (c.pillowMode) {
            const QString mode = QString::fromLatin1(c.pillowMode);
            const QString conv = mode == "P" ? "im.convert('P', palette=Image.ADAPTIVE, colors=200)"
                                             : QStringLiteral("im.convert('%1')").arg(mode);
            ASSERT_EQ(testsupport::runTool(python3(), {"-c",
                                                       "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\n" +
                                                           conv + ".save(sys.argv[2])",
                                                       src, file}),
                      0);
        } else {
            QStringList args{src};
            args += c.magick.mid(0, c.magick.size() - 1);
            args << c.magick.last() + file;
            ASSERT_EQ(testsupport::runTool(imConvert(), args), 0);
        }
        const QByteArray bytes = testsupport::readFile(file);
        ASSERT_GT(bytes.size(), 54);
        const int bits = uint8_t(bytes[28]);
        if (QByteArray(c.name) != "im-4-rle.bmp") { // ImageMagick may pick 8 bits for it
            ASSERT_EQ(bits, c.bits);
        }
        TBitmap b;
        b.LoadFromBmp(bytes);
        EXPECT_EQ(BitsOfPixelFormat(b.PixelFormat()), bits);
        const QByteArray want = c.pillowMode ? pillowRgb(file) : magickRgb(file);
        ASSERT_EQ(want.size(), 37 * 23 * 3);
        EXPECT_TRUE(rgbOf(b.Image()) == want);
    }
}

TEST(BmpInterop, OurFilesReadTheSameInPillowAndImageMagick)
{
    if (!testsupport::haveTool(imConvert()) || !havePillow())
        GTEST_SKIP() << "ImageMagick or Pillow missing";
    TempDir dir;
    const QImage img = photo(37, 23, 9);
    for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf24bit,
                            TPixelFormat::pf32bit}) {
        SCOPED_TRACE(BitsOfPixelFormat(pf));
        TBitmap b;
        b.SetImage(img);
        b.SetPixelFormat(pf);
        const QString file = dir.file(QStringLiteral("ours%1.bmp").arg(BitsOfPixelFormat(pf)));
        testsupport::writeFile(file, b.SaveToBmp());
        const QByteArray want = rgbOf(b.Image());
        EXPECT_TRUE(pillowRgb(file) == want);
        EXPECT_TRUE(magickRgb(file) == want);
    }
}

TEST(BmpInterop, DamagedFilesOfOtherProgramsGiveAClearError)
{
    if (!testsupport::haveTool(imConvert()))
        GTEST_SKIP() << "ImageMagick missing";
    TempDir dir;
    const QString src = dir.file("src.png");
    ASSERT_TRUE(photo(21, 13, 5).save(src));
    for (const QStringList& how :
         {QStringList{"-colors", "200", "BMP3:"}, QStringList{"-colors", "16", "BMP3:"},
          QStringList{"-colors", "9", "-compress", "RLE", "BMP3:"}, QStringList{"-alpha", "set", "BMP:"}}) {
        const QString file = dir.file("x.bmp");
        QStringList args{src};
        args += how.mid(0, how.size() - 1);
        args << how.last() + file;
        ASSERT_EQ(testsupport::runTool(imConvert(), args), 0);
        const QByteArray good = testsupport::readFile(file);
        QRandomGenerator rng(uint(good.size()));
        int refused = 0;
        auto attempt = [&](const QByteArray& bytes) {
            TBitmap b;
            try {
                b.LoadFromBmp(bytes);
            } catch (const EInvalidGraphic& e) {
                EXPECT_EQ(e.Message, "Bitmap image is not valid");
                ++refused;
            }
        };
        for (int cut = 0; cut < good.size(); cut += 3)
            attempt(good.left(cut));
        for (int i = 0; i < 400; ++i) {
            QByteArray bad = good;
            const int n = 1 + int(rng.bounded(4));
            for (int k = 0; k < n; ++k)
                bad[int(rng.bounded(uint(std::min<int>(int(bad.size()), 160))))] = char(rng.bounded(256));
            attempt(bad);
        }
        EXPECT_GT(refused, good.size() / 3 / 2) << how.join(' ').toStdString();
    }
}

TEST(BmpInterop, BitFieldsHeaderTooShortForItsMasksIsRefused)
{
    // A 44-byte info header cannot hold the three masks that bit fields need.
    QByteArray bmp("BM", 2);
    auto put32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp += char(v >> (8 * i));
    };
    put32(14 + 44 + 4);
    put32(0);
    put32(14 + 44);
    put32(44);  // header size
    put32(1);   // width
    put32(1);   // height
    bmp += char(1), bmp += char(0), bmp += char(32), bmp += char(0);
    put32(3);   // bit fields
    for (int i = 0; i < 5; ++i)
        put32(0);
    put32(0xFFFFFFFF); // the 44th header byte
    put32(0x00FF00FF); // the pixel
    TBitmap b;
    EXPECT_THROW(b.LoadFromBmp(bmp), EInvalidGraphic);
}

TEST(BmpInterop, RunLengthFourBitCodes)
{
    // 9 x 4, 16 colours: runs with odd counts, literal runs padded to words, a move, and a row
    // cut short by its end-of-row code (the rest stays index 0).
    const QByteArray codes = QByteArray::fromHex("05 12" "00 04 3456" "00 00"  // row 0: run 5, literal 4
                                                 "00 03 7890" "03 ab" "00 00"  // row 1: literal 3, run 3
                                                 "02 cd" "00 02 0301" "02 ef"  // row 2: run, move 3 right 1 up
                                                 "00 01");                    // end of picture
    QByteArray bmp("BM", 2);
    auto put32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp += char(v >> (8 * i));
    };
    const int offset = 14 + 40 + 64;
    put32(quint32(offset + codes.size()));
    put32(0);
    put32(offset);
    put32(40);
    put32(9);
    put32(4);
    bmp += char(1), bmp += char(0), bmp += char(4), bmp += char(0);
    put32(2); // run-length, 4 bits
    put32(quint32(codes.size()));
    put32(0), put32(0), put32(16), put32(0);
    for (int i = 0; i < 16; ++i)
        put32(quint32(qRgb(i * 16, 255 - i * 16, i * 7)) & 0xFFFFFF);
    bmp += codes;
    TBitmap b;
    b.LoadFromBmp(bmp);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
    ASSERT_EQ(b.Image().size(), QSize(9, 4));
    // Rows top-down; the codes fill the bottom row first.
    const char* want[4] = {"00000ef00", "cd0000000", "789aba000", "121213456"};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(b.Image().pixelIndex(x, y), QString(QChar(want[y][x])).toInt(nullptr, 16)) << x << "," << y;
    EXPECT_EQ(b.Image().pixel(1, 3) & 0xFFFFFF, quint32(qRgb(32, 223, 14)) & 0xFFFFFF);
    // Cut before the end-of-picture code with rows still missing: refused.
    EXPECT_THROW(b.LoadFromBmp(bmp.left(bmp.size() - 8)), EInvalidGraphic);
}
