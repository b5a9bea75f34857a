// Every GIF of the shared public test suites decodes to the pixels its suite expects, and the
// damaged ones load without a crash or a hang.
#include "GifTestUtil.h"
#include "platform/base/Exception.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <zlib.h>

using namespace giftest;
using testsupport::readFile;
using testsupport::testdataDir;

namespace {

QString gifDir() { return testdataDir() + QStringLiteral("/gif/"); }

// The screen the way giflib's gif2rgb builds it: background index everywhere, every frame's
// raw indices painted over it, then the colour table of the last frame applied.
QByteArray gif2rgb(TGIFImage& g, int background)
{
    const int w = g.CanvasWidth, h = g.CanvasHeight;
    std::vector<uint8_t> screen(size_t(w * h), uint8_t(background));
    for (int i = 0; i < g.FrameCount(); ++i) {
        TGIFFrame& f = *g.Frame(i);
        std::vector<uint8_t> idx = frameIndices(f);
        for (int y = 0; y < f.Encoded->Height; ++y)
            for (int x = 0; x < f.Encoded->Width; ++x) {
                int cx = f.Origin.x() + x, cy = f.Origin.y() + y;
                if (cx < w && cy < h)
                    screen[size_t(cy * w + cx)] = idx[size_t(y * f.Encoded->Width + x)];
            }
    }
    const auto& t = g.Frame(g.FrameCount() - 1)->Encoded->ColorTable;
    QByteArray out;
    for (uint8_t v : screen) {
        out += char(t.Colors[v][0]);
        out += char(t.Colors[v][1]);
        out += char(t.Colors[v][2]);
    }
    return out;
}

int backgroundIndex(const QByteArray& file) { return uint8_t(file[11]); }

} // namespace

TEST(GifTestdata, GiflibRendersMatch)
{
    MV_REQUIRE_TESTDATA();
    for (const char* name : {"fire", "gifgrid", "porsche", "solid2", "treescap", "treescap-interlaced", "welcome2",
                             "x-trans"}) {
        SCOPED_TRACE(name);
        QByteArray file = readFile(gifDir() + "giflib/pic/" + name + ".gif");
        auto g = loadGif(file);
        ASSERT_GT(g->FrameCount(), 0);
        QByteArray expect = readFile(gifDir() + "giflib/tests/" + name + ".rgb");
        EXPECT_TRUE(gif2rgb(*g, backgroundIndex(file)) == expect);
        for (int i = 0; i < g->FrameCount(); ++i)
            EXPECT_FALSE(g->Frame(i)->Corrupted) << i;
    }
}

TEST(GifTestdata, WuffsIndexesMatch)
{
    MV_REQUIRE_TESTDATA();
    for (const char* name : {"bricks-dither", "bricks-gray", "bricks-nodither"}) {
        SCOPED_TRACE(name);
        auto g = loadGifFile(gifDir() + "wuffs/" + name + ".gif");
        QByteArray expect = readFile(gifDir() + "wuffs/" + name + ".indexes");
        std::vector<uint8_t> got = frameIndices(*g->Frame(0));
        EXPECT_TRUE(QByteArray(reinterpret_cast<const char*>(got.data()), int(got.size())) == expect);
        QByteArray palette = readFile(gifDir() + "wuffs/" + name + ".palette");
        if (!palette.isEmpty()) {
            const auto& t = g->Frame(0)->Encoded->ColorTable;
            for (int i = 0; i < t.Count; ++i) {
                // The palette file holds 256 BGRA entries.
                EXPECT_EQ(uint8_t(palette[4 * i + 2]), t.Colors[i][0]);
                EXPECT_EQ(uint8_t(palette[4 * i]), t.Colors[i][2]);
            }
        }
    }
    auto g = loadGifFile(gifDir() + "wuffs/muybridge.gif");
    ASSERT_EQ(g->FrameCount(), 15);
    for (int i = 0; i < 15; ++i) {
        QByteArray expect = readFile(gifDir() + QStringLiteral("wuffs/muybridge-frame-%1.indexes").arg(i, 3, 10, QLatin1Char('0')));
        std::vector<uint8_t> got = frameIndices(*g->Frame(i));
        EXPECT_TRUE(QByteArray(reinterpret_cast<const char*>(got.data()), int(got.size())) == expect) << i;
    }
}

TEST(GifTestdata, WuffsCompositedFramesMatch)
{
    MV_REQUIRE_TESTDATA();
    auto g = loadGifFile(gifDir() + "wuffs/animated-red-blue.gif");
    std::vector<QImage> frames = compositeFrames(*g);
    ASSERT_EQ(frames.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        QByteArray nie = readFile(gifDir() + QStringLiteral("wuffs/animated-red-blue.%1.nie").arg(i, 6, 10, QLatin1Char('0')));
        ASSERT_GT(nie.size(), 16);
        const int w = int(uint8_t(nie[8]) | (uint8_t(nie[9]) << 8)), h = int(uint8_t(nie[12]) | (uint8_t(nie[13]) << 8));
        ASSERT_EQ(w, frames[size_t(i)].width());
        ASSERT_EQ(h, frames[size_t(i)].height());
        int diffs = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const char* p = nie.constData() + 16 + 4 * (y * w + x);
                QRgb want = qRgba(uint8_t(p[2]), uint8_t(p[1]), uint8_t(p[0]), uint8_t(p[3]));
                QRgb have = frames[size_t(i)].pixel(x, y);
                if (qAlpha(want) == 0 && qAlpha(have) == 0)
                    continue;
                if (want != have)
                    ++diffs;
            }
        EXPECT_EQ(diffs, 0) << "frame " << i;
    }
}

TEST(GifTestdata, ImageGifFrameChecksumsMatch)
{
    MV_REQUIRE_TESTDATA();
    QByteArray results = readFile(gifDir() + "image-gif/results.txt");
    int checked = 0;
    for (const QByteArray& line : results.split('\n')) {
        int colon = line.lastIndexOf(':');
        if (colon < 0)
            continue;
        QString name = QString::fromUtf8(line.left(colon)).section(QLatin1Char('/'), -1);
        const quint32 expect = line.mid(colon + 1).trimmed().toUInt();
        SCOPED_TRACE(name.toStdString());
        auto g = loadGifFile(gifDir() + "image-gif/samples/" + name);
        uLong crc = crc32(0, nullptr, 0);
        for (int i = 0; i < g->FrameCount(); ++i) {
            QByteArray rgba = frameRgba(*g->Frame(i));
            crc = crc32(crc, reinterpret_cast<const Bytef*>(rgba.constData()), uInt(rgba.size()));
        }
        EXPECT_EQ(quint32(crc), expect);
        ++checked;
    }
    EXPECT_EQ(checked, 12);
}

TEST(GifTestdata, PeterdnCompositedFramesMatch)
{
    MV_REQUIRE_TESTDATA();
    QDir dir(gifDir() + "peterdn-gif-test-suite/gifs");
    const QStringList files = dir.entryList({"*.gif"}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 13);
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        auto g = loadGifFile(dir.filePath(file));
        std::vector<QImage> frames = compositeFrames(*g);
        const QString base = file.chopped(4);
        for (size_t i = 0; i < frames.size(); ++i) {
            QString png = dir.filePath(QStringLiteral("frames/%1-%2.png").arg(base).arg(i));
            if (!QFile::exists(png) && frames.size() == 1)
                png = dir.filePath(QStringLiteral("frames/%1.png").arg(base));
            QImage expect(png);
            ASSERT_FALSE(expect.isNull()) << png.toStdString();
            expect = expect.convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(expect.size(), frames[i].size());
            int diffs = 0;
            for (int y = 0; y < expect.height(); ++y)
                for (int x = 0; x < expect.width(); ++x) {
                    QRgb a = expect.pixel(x, y), b = frames[i].pixel(x, y);
                    if (qAlpha(a) == 0 && qAlpha(b) == 0)
                        continue;
                    if (a != b)
                        ++diffs;
                }
            EXPECT_EQ(diffs, 0) << "frame " << i;
        }
    }
}

TEST(GifTestdata, EveryFileLoadsAndDecodesWithoutCrashing)
{
    MV_REQUIRE_TESTDATA();
    QDirIterator it(gifDir(), {"*.gif"}, QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        SCOPED_TRACE(path.toStdString());
        ++files;
        TGIFImage g;
        try {
            g.LoadFromFile(path);
        } catch (const platform::Exception& e) {
            // A clear refusal is fine for a damaged file; note it for the log.
            std::printf("refused %s: %s\n", qPrintable(path.section('/', -2)), qPrintable(e.Message));
        }
        for (int i = 0; i < g.FrameCount(); ++i) {
            try {
                g.Frame(i)->GetBitmap();
            } catch (const platform::Exception& e) {
                std::printf("frame %d of %s: %s\n", i, qPrintable(path.section('/', -2)), qPrintable(e.Message));
            }
        }
    }
    EXPECT_GT(files, 60);
}

TEST(GifTestdata, TruncatedInterlacedDownloadKeepsItsFirstPasses)
{
    MV_REQUIRE_TESTDATA();
    auto full = loadGifFile(gifDir() + "wuffs/hippopotamus.interlaced.gif");
    auto cut = loadGifFile(gifDir() + "wuffs/hippopotamus.interlaced.truncated.gif");
    ASSERT_EQ(cut->FrameCount(), 1);
    EXPECT_FALSE(full->Frame(0)->Corrupted);
    std::vector<uint8_t> a = frameIndices(*full->Frame(0)), b = frameIndices(*cut->Frame(0));
    EXPECT_TRUE(cut->Frame(0)->Corrupted);
    const int w = full->Frame(0)->Encoded->Width;
    // Rows of the first pass (every 8th from 0) arrived whole.
    for (int y = 0; y < full->Frame(0)->Encoded->Height; y += 8)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(a[size_t(y * w + x)], b[size_t(y * w + x)]) << y;
    EXPECT_NE(a, b);
}
