// Transparency of GIF files made by other programs survives a load and a save, through the
// clipboard format too, and is drawn by the transparent index; every public test GIF that Pillow
// reads keeps each frame's pixels, transparency and delay after a load and a save.
#include "GifTestUtil.h"
#include "PeerTools.h"
#include "platform/base/Exception.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/PictureFormats.h"
#include "graphics/Registrations.h"

#include <QDirIterator>
#include <QFile>
#include <QMimeData>

using namespace giftest;
using namespace graphics;
using namespace platform::graphics;
using testsupport::TempDir;

namespace {

using peers::havePillow;
using peers::imConvert;
using peers::python3;

#define MV_REQUIRE_PILLOW()                                                                                  \
    do {                                                                                                     \
        if (!havePillow()) {                                                                                 \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                         \
                FAIL() << "Pillow missing";                                                                  \
            GTEST_SKIP() << "Pillow missing";                                                                \
        }                                                                                                    \
    } while (0)

// Pillow's verdict on pairs of files (original, copy): one "OK", "SKIP" or "DIFF" line each.
QStringList compareInPillow(const TempDir& dir, const QList<QPair<QString, QString>>& pairs)
{
    QByteArray list;
    for (const auto& p : pairs)
        list += p.first.toUtf8() + '\t' + p.second.toUtf8() + '\n';
    testsupport::writeFile(dir.file("pairs.txt"), list);
    QByteArray out, err;
    const int rc = testsupport::runTool(python3(), {QStringLiteral(MV_SOURCE_DIR "/tests/graphics/gif_frames.py"),
                                                    dir.file("pairs.txt")},
                                        &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// An RGBA picture: opaque black, red and blue, and a transparent (black) area.
QImage rgbaPicture()
{
    QImage img(8, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            img.setPixel(x, y, x < 3 ? qRgba(0, 0, 0, 255) : x < 5 ? qRgba(255, 0, 0, 255)
                                   : x == 5 ? qRgba(0, 0, 255, 255) : qRgba(0, 0, 0, 0));
    return img;
}

// The GIFs ImageMagick and Pillow make of the RGBA picture.
QStringList gifsOfOtherPrograms(const TempDir& dir)
{
    EXPECT_TRUE(rgbaPicture().save(dir.file("rgba.png")));
    QStringList made;
    if (testsupport::runTool(imConvert(), {dir.file("rgba.png"), dir.file("magick.gif")}) == 0)
        made << dir.file("magick.gif");
    else
        ADD_FAILURE() << "ImageMagick could not make a GIF";
    const char* script = "import sys\nfrom PIL import Image\nImage.open(sys.argv[1]).save(sys.argv[2])\n";
    if (testsupport::runTool(python3(), {"-c", script, dir.file("rgba.png"), dir.file("pillow.gif")}) == 0)
        made << dir.file("pillow.gif");
    else
        ADD_FAILURE() << "Pillow could not make a GIF";
    return made;
}

} // namespace

TEST(GifTransparency, OtherProgramsFilesKeepTheirTransparencyAfterASave)
{
    MV_REQUIRE_PILLOW();
    RegisterPictureUnits();
    TempDir dir;
    QList<QPair<QString, QString>> pairs;
    for (const QString& file : gifsOfOtherPrograms(dir)) {
        SCOPED_TRACE(file.toStdString());
        auto gif = loadGifFile(file);
        ASSERT_EQ(gif->FrameCount(), 1);
        // Opaque black sits before the transparent entry, which is black too.
        const int index = gif->Frame(0)->TransparentIndex;
        ASSERT_GT(index, 0);
        EXPECT_EQ(gif->Frame(0)->Encoded->ColorTable.Color(0), gif->Frame(0)->Encoded->ColorTable.Color(index));
        gif->SaveToFile(file + ".saved.gif");
        pairs.append({file, file + ".saved.gif"});

        // Through the clipboard format, and through the system clipboard and the registry.
        QMimeData data;
        gif->SaveToClipboardFormat(data);
        TGIFImage pasted;
        pasted.LoadFromClipboardFormat(data);
        pasted.SaveToFile(file + ".pasted.gif");
        pairs.append({file, file + ".pasted.gif"});
        Clipboard().Assign(gif.get());
        TPicture pic;
        pic.LoadFromClipboardFormat(*Clipboard().Data());
        ASSERT_NE(dynamic_cast<TGIFImage*>(pic.Graphic()), nullptr);
        pic.SaveToFile(file + ".system.gif");
        pairs.append({file, file + ".system.gif"});
    }
    for (const QString& line : compareInPillow(dir, pairs))
        EXPECT_TRUE(line.startsWith(QLatin1String("OK "))) << line.toStdString();
}

TEST(GifTransparency, DrawingGoesByTheTransparentIndex)
{
    MV_REQUIRE_PILLOW();
    TempDir dir;
    for (const QString& file : gifsOfOtherPrograms(dir)) {
        SCOPED_TRACE(file.toStdString());
        auto gif = loadGifFile(file);
        // Drawn as read, and as pasted (frame 0 then holds the clipboard's true-colour bitmap).
        QMimeData data;
        gif->SaveToClipboardFormat(data);
        TGIFImage pasted;
        pasted.LoadFromClipboardFormat(data);
        for (TGIFImage* picture : {gif.get(), &pasted}) {
            QImage target(16, 8, QImage::Format_RGB32);
            target.fill(qRgb(0, 255, 0));
            TCanvas canvas(&target);
            picture->Draw(canvas, QRect(0, 0, 16, 8)); // stretched twice
            const QImage want = rgbaPicture();
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QRgb w = want.pixel(x / 2, y / 2);
                    ASSERT_EQ(target.pixel(x, y), qAlpha(w) ? (w | 0xFF000000u) : qRgb(0, 255, 0)) << x << "," << y;
                }
        }
    }
}

TEST(GifTransparency, EveryPublicGifPillowReadsKeepsItsFramesAfterLoadAndSave)
{
    MV_REQUIRE_TESTDATA();
    MV_REQUIRE_PILLOW();
    TempDir dir;
    QList<QPair<QString, QString>> pairs;
    QDirIterator it(testsupport::testdataDir() + QStringLiteral("gif"), {"*.gif"}, QDir::Files,
                    QDirIterator::Subdirectories);
    int n = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString copy = dir.file(QStringLiteral("%1.gif").arg(n++));
        try {
            TGIFImage g;
            g.LoadFromFile(path);
            g.SaveToFile(copy);
            pairs.append({path, copy});
        } catch (const platform::Exception& e) {
            pairs.append({path, QString()}); // a failure only when Pillow reads the file
        }
    }
    ASSERT_GT(pairs.size(), 60);
    int compared = 0;
    for (const QString& line : compareInPillow(dir, pairs)) {
        if (line.startsWith(QLatin1String("SKIP ")))
            continue;
        ++compared;
        EXPECT_TRUE(line.startsWith(QLatin1String("OK "))) << line.toStdString();
    }
    EXPECT_GT(compared, 50);
}
