// Writing GIF files: the bytes of the header, tables and blocks, round trips of real files,
// and files that giflib, Pillow and ImageMagick decode to the same indices.
#include "GifTestUtil.h"
#include "PeerTools.h"
#include "platform/graphics/GraphicsErrors.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

using namespace giftest;
using namespace graphics;
using namespace platform::graphics;
using testsupport::TempDir;

namespace {

// A 24-bit bitmap whose colour c covers (c + 1) pixels, c = 0..n-1, in scrambled order.
std::unique_ptr<TBitmap> countedBitmap(int n, int width)
{
    std::vector<int> pixels;
    for (int c = 0; c < n; ++c)
        for (int k = 0; k <= c; ++k)
            pixels.push_back(c);
    QRandomGenerator rng(5);
    for (size_t i = pixels.size(); i > 1; --i)
        std::swap(pixels[i - 1], pixels[rng.bounded(quint32(i))]);
    const int height = int((pixels.size() + size_t(width) - 1) / size_t(width));
    auto b = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(qRgb(n, 0, 0)); // padding pixels: colour index n, counted too
    for (size_t i = 0; i < pixels.size(); ++i)
        img.setPixel(int(i % size_t(width)), int(i / size_t(width)), qRgb(pixels[i], 255 - pixels[i], 7));
    b->SetImage(img, TPixelFormat::pf24bit);
    return b;
}

std::unique_ptr<TBitmap> noiseBitmap(int w, int h, int bits, quint32 seed, QVector<QRgb>* palette)
{
    QRandomGenerator rng(seed);
    const TPixelFormat pf = bits == 1 ? TPixelFormat::pf1bit : bits == 4 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
    QImage img(w, h, QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int i = 0; i < (1 << bits); ++i)
        table << qRgb((i * 37) & 0xFF, (i * 91 + 13) & 0xFF, (255 - i * 5) & 0xFF);
    img.setColorTable(table);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.scanLine(y)[x] = uint8_t(rng.bounded(1 << bits));
    auto b = std::make_unique<TBitmap>();
    b->SetImage(bits == 1 ? img.convertToFormat(QImage::Format_Mono, table) : img, pf);
    *palette = table;
    return b;
}

using peers::imConvert;
using peers::python3;

QStringList codeSections(const QByteArray& giftextOut)
{
    QStringList out;
    const QStringList parts = QString::fromLatin1(giftextOut).split(QStringLiteral("Image LZ compressed Codes"));
    for (int i = 1; i < parts.size(); ++i) {
        QString s = parts[i];
        int end = s.indexOf(QRegularExpression(QStringLiteral("\n(GIF89|Image #|GIF file)")));
        out << s.left(end);
    }
    return out;
}

} // namespace

TEST(GifWrite, TrueColourBitmapGivesPlain87aWithTableByPixelCount)
{
    auto bmp = countedBitmap(40, 33);
    TGIFImage gif;
    gif.Assign(bmp.get());
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.ActiveFrame, 0);
    EXPECT_EQ(gif.FormatVersion, 1);
    QByteArray out = saveGif(gif);
    EXPECT_EQ(out.left(6), "GIF87a");
    EXPECT_EQ(uint8_t(out[10]), 0xF7);
    EXPECT_EQ(uint8_t(out[11]), 0);
    // Most frequent colour first: colour 39 covers 40 pixels, 38 covers 39, ...
    const char* table = out.constData() + 13;
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(uint8_t(table[3 * i]), 39 - i) << i;
        EXPECT_EQ(uint8_t(table[3 * i + 1]), 255 - (39 - i)) << i;
    }
    // Unused entries are grey; the image follows the table directly with code size 8.
    EXPECT_EQ(uint8_t(table[3 * 255]), 128);
    const int image = 13 + 768;
    EXPECT_EQ(uint8_t(out[image]), 0x2C);
    EXPECT_EQ(uint8_t(out[image + 9]), 0x00); // no local table
    EXPECT_EQ(uint8_t(out[image + 10]), 8);
    EXPECT_EQ(uint8_t(out[out.size() - 1]), 0x3B);
    // And it reads back to the same colours.
    auto back = loadGif(out);
    const QImage& a = back->FrameBitmap()->Image();
    for (int y = 0; y < bmp->Height(); ++y)
        for (int x = 0; x < bmp->Width(); ++x)
            ASSERT_EQ(a.pixel(x, y) & 0xFFFFFF, bmp->Image().pixel(x, y) & 0xFFFFFF);
}

TEST(GifWrite, TransparentColourAddsGraphicControlAnd89a)
{
    auto bmp = countedBitmap(10, 8);
    bmp->SetTransparentColor(RGB(3, 252, 7));
    bmp->SetTransparent(true);
    TGIFImage gif;
    gif.Assign(bmp.get());
    QByteArray out = saveGif(gif);
    EXPECT_EQ(out.left(6), "GIF89a");
    const int gce = 13 + 768;
    ASSERT_EQ(out.mid(gce, 6).toHex(' ').left(17), "21 f9 04 01 00 00");
    const int idx = uint8_t(out[gce + 6]);
    EXPECT_EQ(uint8_t(out[gce + 7]), 0);
    const char* table = out.constData() + 13;
    EXPECT_EQ(uint8_t(table[3 * idx]), 3);
    EXPECT_EQ(uint8_t(table[3 * idx + 1]), 252);
    auto back = loadGif(out);
    EXPECT_EQ(back->Frame(0)->TransparentColor, RGB(3, 252, 7));
    EXPECT_TRUE(back->GetTransparent());
}

TEST(GifWrite, LoopBlockOnlyWithTwoOrMoreFrames)
{
    auto a = countedBitmap(4, 4), b = countedBitmap(6, 4);
    TGIFImage gif;
    gif.AddFrame(a.get());
    gif.LoopEnabled = true;
    gif.LoopCount = 7;
    QByteArray one = saveGif(gif);
    EXPECT_FALSE(one.contains("NETSCAPE2.0"));
    gif.AddFrame(b.get());
    EXPECT_EQ(gif.FormatVersion, 2);
    QByteArray two = saveGif(gif);
    const int after = 13 + 3 * 256;
    EXPECT_EQ(two.mid(after, 19).toHex(' '), QByteArray("21 ff 0b ") + QByteArray("NETSCAPE2.0").toHex(' ') + " 03 01 07 00 00");
    auto back = loadGif(two);
    EXPECT_TRUE(back->LoopEnabled);
    EXPECT_EQ(back->LoopCount, 7);
    ASSERT_EQ(back->FrameCount(), 2);
    EXPECT_TRUE(back->Frame(1)->OwnColorTable); // a later frame carries its own table
}

TEST(GifWrite, CommentsAreCutTo255BytesPerLine)
{
    auto bmp = countedBitmap(3, 3);
    TGIFImage gif;
    gif.Assign(bmp.get());
    gif.SharedData->Comment = {QByteArray(300, 'c'), QByteArray(), QByteArray("end")};
    QByteArray out = saveGif(gif);
    EXPECT_EQ(out.left(6), "GIF89a");
    int at = out.lastIndexOf(QByteArray("\x21\xFE", 2));
    ASSERT_GT(at, 0);
    EXPECT_EQ(uint8_t(out[at + 2]), 255);
    EXPECT_EQ(out.mid(at + 3, 255), QByteArray(255, 'c'));
    EXPECT_EQ(out.mid(at + 258), QByteArray("\x03" "end\x00\x3B", 6));
}

TEST(GifWrite, NothingToWrite)
{
    TGIFImage gif;
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    try {
        gif.SaveToStream(b);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "No GIF Data to write");
    }
    EXPECT_TRUE(out.isEmpty());
}

TEST(GifWrite, RealFileKeepsEveryFramesCodeBytes)
{
    MV_REQUIRE_TESTDATA();
    const QString src = testsupport::testdataDir() + "/gif/giflib/pic/fire.gif";
    QByteArray original = testsupport::readFile(src);
    auto gif = loadGif(original);
    ASSERT_EQ(gif->FrameCount(), 33);
    TempDir dir;
    gif->SaveToFile(dir.file("fire.gif"));
    QByteArray written = testsupport::readFile(dir.file("fire.gif"));
    auto back = loadGif(written);
    ASSERT_EQ(back->FrameCount(), 33);
    for (int i = 0; i < 33; ++i) {
        EXPECT_EQ(*back->Frame(i)->Encoded->CodeStream, *gif->Frame(i)->Encoded->CodeStream) << i;
        EXPECT_TRUE(back->Frame(i)->Interlaced);
        EXPECT_EQ(back->Frame(i)->DelayMs, gif->Frame(i)->DelayMs);
    }
    EXPECT_EQ(back->SharedData->Comment, gif->SharedData->Comment);
    EXPECT_TRUE(back->LoopEnabled);
    ASSERT_NE(back->Frame(0)->FrameComment(false), nullptr);
    if (!testsupport::haveTool("giftext"))
        GTEST_SKIP() << "giftext missing";
    QByteArray a, b;
    ASSERT_EQ(testsupport::runTool("giftext", {"-e", src}, &a), 0);
    ASSERT_EQ(testsupport::runTool("giftext", {"-e", dir.file("fire.gif")}, &b), 0);
    QStringList ca = codeSections(a), cb = codeSections(b);
    ASSERT_EQ(ca.size(), 33);
    EXPECT_EQ(ca, cb);
}

TEST(GifWrite, CorruptFrameIsWrittenBackWithATerminator)
{
    GifBuilder g;
    g.header("GIF89a", 4, 1, 4).image(0, 0, 4, 1, 0).codes(2, {4, 1, 2, 3}, false); // cut short
    auto gif = loadGif(g.bytes);
    ASSERT_EQ(gif->FrameCount(), 1);
    QByteArray code = *gif->Frame(0)->Encoded->CodeStream;
    QByteArray out = saveGif(*gif);
    EXPECT_TRUE(out.endsWith(code + QByteArray(1, '\0') + QByteArray(1, '\x3B')));
    auto back = loadGif(out);
    EXPECT_EQ(*back->Frame(0)->Encoded->CodeStream, code + QByteArray(1, '\0'));
}

TEST(GifWrite, TransparentIndexAsReadOrFirstMatchingEntry)
{
    GifBuilder g;
    g.header("GIF89a", 2, 1, 0).graphicControl(1, 0, 3).image(0, 0, 2, 1, 0, 4);
    // Local table entries 1 and 3 hold the same colour.
    g.bytes[g.bytes.size() - 12 + 9] = g.bytes[g.bytes.size() - 12 + 3];
    g.bytes[g.bytes.size() - 12 + 10] = g.bytes[g.bytes.size() - 12 + 4];
    g.bytes[g.bytes.size() - 12 + 11] = g.bytes[g.bytes.size() - 12 + 5];
    g.codes(2, {4, 3, 1, 5}).trailer();
    auto transparentIndexOf = [](const QByteArray& out) {
        const int at = out.indexOf(QByteArray("\x21\xF9\x04", 3));
        return at >= 0 && (uint8_t(out[at + 3]) & 1) ? int(uint8_t(out[at + 6])) : -1;
    };
    // Read from a file: the index stays the one the file gave, whatever else shares its colour.
    auto gif = loadGif(g.bytes);
    EXPECT_EQ(gif->Frame(0)->TransparentIndex, 3);
    EXPECT_EQ(transparentIndexOf(saveGif(*gif)), 3);
    // A transparent colour set by the program goes by the colour rule: the first entry.
    const TColor other = gif->Frame(0)->Encoded->ColorTable.Color(2);
    gif->Frame(0)->TransparentColor = other;
    EXPECT_EQ(transparentIndexOf(saveGif(*gif)), 2);
    gif->Frame(0)->TransparentColor = clNone;
    EXPECT_EQ(transparentIndexOf(saveGif(*gif)), -1);

    // Made from a bitmap whose palette holds its transparent colour twice: the first of the two.
    QImage img(2, 1, QImage::Format_Indexed8);
    img.setColorTable({qRgb(1, 2, 3), qRgb(9, 9, 9), qRgb(4, 5, 6), qRgb(9, 9, 9)});
    img.scanLine(0)[0] = 3;
    img.scanLine(0)[1] = 2;
    TBitmap bmp;
    bmp.SetImage(img, TPixelFormat::pf8bit);
    bmp.SetTransparentColor(RGB(9, 9, 9));
    bmp.SetTransparent(true);
    TGIFImage made;
    made.Assign(&bmp);
    EXPECT_EQ(transparentIndexOf(saveGif(made)), 1);
}

TEST(GifWrite, DelayBeyondTheMillisecondRangeIsWrittenBackAsRead)
{
    GifBuilder g;
    g.header("GIF89a", 1, 1, 2).graphicControl(0, 10000, 0).image(0, 0, 1, 1, 0).codes(1, {2, 1, 3}).trailer();
    auto gif = loadGif(g.bytes);
    const QByteArray out = saveGif(*gif);
    const int at = out.indexOf(QByteArray("\x21\xF9\x04", 3));
    ASSERT_GE(at, 0);
    EXPECT_EQ(uint8_t(out[at + 4]) | (uint8_t(out[at + 5]) << 8), 10000);
    // A delay the program sets is written as it says.
    gif->Frame(0)->DelayMs = 250;
    const QByteArray changed = saveGif(*gif);
    EXPECT_EQ(uint8_t(changed[at + 4]) | (uint8_t(changed[at + 5]) << 8), 25);
}

TEST(GifWrite, OversizedBitmapIsRefused)
{
    TBitmap bmp(70000, 1, TPixelFormat::pf8bit);
    TGIFImage gif;
    gif.Assign(&bmp);
    try {
        saveGif(gif);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "GIF image encoding error");
    }
}

TEST(GifWrite, NoiseFilesDecodeAlikeInGiflibPillowAndImageMagick)
{
    TempDir dir;
    for (int bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        QVector<QRgb> palette;
        auto bmp = noiseBitmap(300, 200, bits, quint32(bits), &palette);
        TGIFImage gif;
        gif.Assign(bmp.get());
        const QString file = dir.file(QStringLiteral("noise%1.gif").arg(bits));
        gif.SaveToFile(file);
        std::vector<uint8_t> expect;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x)
                expect.push_back(uint8_t(bmp->Image().pixelIndex(x, y)));
        QByteArray want(reinterpret_cast<const char*>(expect.data()), int(expect.size()));
        // Our own reader first.
        auto back = loadGifFile(file);
        std::vector<uint8_t> own = frameIndices(*back->Frame(0));
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(own.data()), int(own.size())), want);

        if (testsupport::haveTool("giftext")) {
            QByteArray raw;
            ASSERT_EQ(testsupport::runTool("giftext", {"-r", file}, &raw), 0);
            EXPECT_TRUE(raw == want) << "giftext -r";
        }
        if (testsupport::haveTool(python3())) {
            QByteArray raw, err;
            int rc = testsupport::runTool(python3(),
                                          {"-c",
                                           "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\n"
                                           "sys.stdout.buffer.write(bytes(im.getdata()))",
                                           file},
                                          &raw, &err);
            if (rc == 0)
                EXPECT_TRUE(raw == want) << "Pillow";
            else
                ADD_FAILURE() << err.toStdString();
        }
        if (testsupport::haveTool(imConvert())) {
            QByteArray rgb;
            ASSERT_EQ(testsupport::runTool(imConvert(), {file, "rgb:-"}, &rgb), 0);
            ASSERT_EQ(rgb.size(), 300 * 200 * 3);
            int diffs = 0;
            for (int i = 0; i < 300 * 200; ++i) {
                QRgb c = palette[expect[size_t(i)]];
                if (uint8_t(rgb[3 * i]) != qRed(c) || uint8_t(rgb[3 * i + 1]) != qGreen(c) ||
                    uint8_t(rgb[3 * i + 2]) != qBlue(c))
                    ++diffs;
            }
            EXPECT_EQ(diffs, 0) << "ImageMagick";
        }
    }
}

TEST(GifWrite, AnimationReadsBackInPillow)
{
    if (!testsupport::haveTool(python3()))
        GTEST_SKIP() << "python3 missing";
    QVector<QRgb> pa, pb;
    auto a = noiseBitmap(40, 30, 8, 1, &pa);
    auto b = noiseBitmap(20, 10, 4, 2, &pb);
    b->SetTransparentColor(QRgbToColor(pb[3]));
    b->SetTransparent(true);
    TGIFImage gif;
    gif.AddFrame(a.get());
    gif.AddFrame(b.get());
    gif.Frame(1)->Origin = QPoint(5, 6);
    gif.Frame(1)->DelayMs = 120;
    gif.Frame(1)->DisposalMode = 2;
    gif.LoopEnabled = true;
    gif.LoopCount = 3;
    TempDir dir;
    gif.SaveToFile(dir.file("anim.gif"));
    QByteArray out, err;
    const char* script = "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\n"
                         "print(im.n_frames, im.info.get('loop'))\nim.seek(1)\n"
                         "print(im.tile[0][1], im.info.get('duration'), im.disposal_method)\n";
    ASSERT_EQ(testsupport::runTool(python3(), {"-c", script, dir.file("anim.gif")}, &out, &err), 0)
        << err.toStdString();
    const QList<QByteArray> lines = out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].trimmed(), "2 3");
    EXPECT_EQ(lines[1].trimmed(), "(5, 6, 25, 16) 120 2");
    if (testsupport::haveTool("giftext")) {
        QByteArray text;
        ASSERT_EQ(testsupport::runTool("giftext", {dir.file("anim.gif")}, &text), 0);
        EXPECT_TRUE(text.contains("Transparency on: yes")) << text.toStdString();
        EXPECT_TRUE(text.contains("Transparent Index: 3")) << text.toStdString();
    }
}
