// The GIF writer's bytes stay the same while its speed work goes on: the frames of real files
// (8-bit indices) and 1- and 4-bit pictures are written again and compared with the size and
// CRC-32 of the output recorded from an earlier writer.
#include "GifTestUtil.h"
#include "graphics/Registrations.h"

#include <QRandomGenerator>

#include <zlib.h>

using namespace giftest;
using namespace graphics;
using namespace platform::graphics;

namespace {

struct Written {
    qint64 size;
    uint32_t crc;
};

Written summary(const QByteArray& b)
{
    return {b.size(), uint32_t(crc32(0, reinterpret_cast<const Bytef*>(b.constData()), uInt(b.size())))};
}

// Every frame of the file decoded to 8-bit indices and its colour table, then written as a
// new picture of those frames (what an editor saving an animation does).
QByteArray rewritten(const QString& relative)
{
    auto g = loadGifFile(testsupport::testdataDir() + "/gif/" + relative);
    TGIFImage out;
    for (int i = 0; i < g->FrameCount(); ++i) {
        QImage img = DecodeFrameImage(*g->Frame(i)).convertToFormat(QImage::Format_Indexed8);
        QVector<QRgb> table = img.colorTable();
        table.resize(256);
        img.setColorTable(table);
        TBitmap b;
        b.SetImage(img, TPixelFormat::pf8bit);
        out.AddFrame(&b);
    }
    return WriteGIFBytes(out);
}

QByteArray noisePicture(int w, int h, TPixelFormat pf, quint32 seed)
{
    QRandomGenerator rng(seed);
    const int colours = pf == TPixelFormat::pf1bit ? 2 : 16;
    QImage img(w, h, pf == TPixelFormat::pf1bit ? QImage::Format_Mono : QImage::Format_Indexed8);
    QVector<QRgb> table;
    for (int c = 0; c < colours; ++c)
        table << qRgb(c * 13 & 255, c * 71 & 255, c * 17 & 255);
    img.setColorTable(table);
    // Runs of one colour with noise between them: long and short strings, table resets.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         uint(((x / 5 + y / 3) % colours + (rng.bounded(8) == 0 ? int(rng.bounded(3)) : 0)) % colours));
    TBitmap b;
    b.SetImage(img, pf);
    TGIFImage out;
    out.AddFrame(&b);
    out.AddFrame(&b);
    return WriteGIFBytes(out);
}

} // namespace

TEST(GifEncodeStable, FramesOfRealFilesWriteTheRecordedBytes)
{
    MV_REQUIRE_TESTDATA();
    const struct {
        const char* file;
        Written want;
    } cases[] = {
        {"giflib/pic/fire.gif", {45382, 0x0C27305B}},
        {"giflib/pic/treescap-interlaced.gif", {1189, 0xA2F227D4}},
        {"giflib/tests/wedge.gif", {15932, 0x20F4A98E}},
        {"image-gif/samples/beacon.gif", {1614, 0xDD6DC580}},
        {"wuffs/gifplayer-muybridge.gif", {662490, 0xB155F6CA}},
        {"wuffs/harvesters.gif", {815522, 0x98D9EE20}},
        {"wuffs/bricks-gray.gif", {15577, 0x4F7B61C1}},
    };
    for (const auto& c : cases) {
        const Written got = summary(rewritten(QString::fromLatin1(c.file)));
        EXPECT_EQ(got.size, c.want.size) << c.file;
        EXPECT_EQ(got.crc, c.want.crc) << c.file;
    }
}

TEST(GifEncodeStable, OneAndFourBitPicturesWriteTheRecordedBytes)
{
    const Written one = summary(noisePicture(997, 301, TPixelFormat::pf1bit, 3));
    const Written four = summary(noisePicture(613, 409, TPixelFormat::pf4bit, 4));
    EXPECT_EQ(one.size, 40164);
    EXPECT_EQ(one.crc, 0x0CB35DB7u);
    EXPECT_EQ(four.size, 104292);
    EXPECT_EQ(four.crc, 0x6E50A49Cu);
}
