// The picture class: assignment roads, sharing, drawing with transparency, clipboard data,
// the picture-format registry and streaming.
#include "GifTestUtil.h"
#include "graphics/Registrations.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/GraphicsErrors.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/PictureFormats.h"

#include <QGuiApplication>
#include <QMimeData>

using namespace giftest;
using namespace graphics;
using namespace platform::graphics;

namespace {

// A 4x2 picture: left half red, right half blue; the blue index is transparent.
QByteArray redBlueGif(bool transparent)
{
    GifBuilder g;
    g.header("GIF89a", 4, 2, 0);
    if (transparent)
        g.graphicControl(1, 0, 1);
    g.image(0, 0, 4, 2, 0, 2);
    // local table: entry 0 = (255, 0, 0), entry 1 = (254, 1, 3) from the builder; make 1 blue
    const int table = g.bytes.size() - 6;
    g.bytes[table] = char(255), g.bytes[table + 1] = 0, g.bytes[table + 2] = 0;
    g.bytes[table + 3] = 0, g.bytes[table + 4] = 0, g.bytes[table + 5] = char(255);
    g.codes(2, {4, 0, 0, 1, 1, 0, 0, 1, 1, 5}).trailer();
    return g.bytes;
}

std::unique_ptr<TBitmap> solid(int w, int h, QRgb c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    auto b = std::make_unique<TBitmap>();
    b->SetImage(img, TPixelFormat::pf24bit);
    return b;
}

} // namespace

TEST(GifPicture, AssigningBitmapsAndAddingFrames)
{
    auto bmp = solid(5, 4, qRgb(1, 2, 3));
    TGIFImage gif;
    EXPECT_TRUE(gif.Empty());
    EXPECT_TRUE(gif.Transparent() == false); // no frame has a transparent colour yet
    gif.Assign(bmp.get());
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.ActiveFrame, 0);
    EXPECT_EQ(gif.FormatVersion, 1);
    EXPECT_EQ(gif.Width(), 5);
    EXPECT_EQ(gif.CanvasWidth, 5);
    auto bigger = solid(9, 2, qRgb(9, 9, 9));
    EXPECT_EQ(gif.AddFrame(bigger.get()), 1);
    EXPECT_EQ(gif.FormatVersion, 2);
    EXPECT_EQ(gif.CanvasWidth, 9);
    EXPECT_EQ(gif.CanvasHeight, 4);
    EXPECT_THROW(gif.SetWidth(3), EInvalidGraphicOperation);
    try {
        gif.SetHeight(3);
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "Cannot change the Size of a GIF image");
    }
}

TEST(GifPicture, SharedDataAndEquals)
{
    auto a = loadGif(redBlueGif(false));
    TGIFImage b;
    b.Assign(a.get());
    EXPECT_TRUE(a->Equals(&b));
    EXPECT_TRUE(b.Equals(a.get()));
    EXPECT_EQ(b.Frame(0)->Encoded, a->Frame(0)->Encoded); // encoded data shared, not copied
    b.Assign(&b); // self-assignment changes nothing
    EXPECT_EQ(b.FrameCount(), 1);
    b.Assign(nullptr);
    EXPECT_FALSE(a->Equals(&b));
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(a->FrameCount(), 1);
    EXPECT_EQ(frameIndices(*a->Frame(0)), (std::vector<uint8_t>{0, 0, 1, 1, 0, 0, 1, 1}));
}

TEST(GifPicture, OutOfRangeActiveFrameCountsAsNone)
{
    auto gif = loadGif(redBlueGif(false));
    gif->ActiveFrame = -1;
    EXPECT_EQ(gif->Width(), 0);
    QImage target(4, 2, QImage::Format_RGB32);
    target.fill(qRgb(0, 255, 0));
    TCanvas canvas(&target);
    gif->Draw(canvas, QRect(0, 0, 4, 2));
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 255, 0));
    gif->ActiveFrame = 5;
    EXPECT_EQ(gif->Height(), 0);
    EXPECT_FALSE(gif->Empty());
    EXPECT_EQ(gif->FrameBitmap()->Width(), 4); // frame 0 stands in
}

TEST(GifPicture, DrawingHonoursTransparency)
{
    auto gif = loadGif(redBlueGif(true));
    EXPECT_TRUE(gif->GetTransparent());
    QImage target(8, 4, QImage::Format_RGB32);
    target.fill(qRgb(0, 255, 0));
    TCanvas canvas(&target);
    gif->Draw(canvas, QRect(0, 0, 8, 4)); // stretched twice
    EXPECT_EQ(target.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(4, 0), qRgb(0, 255, 0)); // transparent: background stays
    EXPECT_EQ(target.pixel(7, 3), qRgb(0, 255, 0));
    gif->SetTransparent(false);
    EXPECT_FALSE(gif->GetTransparent());
    gif->Draw(canvas, QRect(0, 0, 8, 4));
    EXPECT_EQ(target.pixel(7, 3), qRgb(0, 0, 255));
}

TEST(GifPicture, FrameAndPictureAssignRoads)
{
    auto gif = loadGif(redBlueGif(true));
    // A picture into a bitmap: the active frame's pixels, with its transparent colour.
    TBitmap bmp;
    bmp.Assign(gif.get());
    EXPECT_EQ(bmp.Width(), 4);
    EXPECT_EQ(bmp.Image().pixel(2, 1), qRgb(0, 0, 255));
    EXPECT_TRUE(bmp.Transparent());
    EXPECT_EQ(bmp.TransparentColor(), RGB(0, 0, 255));

    // A frame of another picture: shares its data, carries its own table.
    TGIFImage other;
    auto base = solid(2, 2, qRgb(5, 5, 5));
    other.Assign(base.get());
    TGIFFrame* f = other.Frame(other.AddFrame(nullptr));
    f->Assign(gif->Frame(0));
    EXPECT_EQ(f->Encoded, gif->Frame(0)->Encoded);
    EXPECT_TRUE(f->OwnColorTable);
    EXPECT_EQ(f->TransparentColor, RGB(0, 0, 255));
    EXPECT_EQ(other.CanvasWidth, 4);

    // A picture from a single frame takes the owner's global fields.
    TGIFImage single;
    single.Assign(gif->Frame(0));
    EXPECT_EQ(single.FrameCount(), 1);
    EXPECT_EQ(single.FormatVersion, 1);
    EXPECT_EQ(single.Width(), 4);
    // A frame without owner: empty global fields.
    TGIFFrame loose;
    loose.Assign(base.get());
    TGIFImage fromLoose;
    fromLoose.Assign(&loose);
    EXPECT_EQ(fromLoose.SharedData->GlobalColors.Count, 0);
    EXPECT_EQ(fromLoose.Width(), 2);

    // Written pictures keep going: the copy writes the same bytes.
    TGIFImage copy;
    copy.Assign(gif.get());
    EXPECT_EQ(saveGif(copy), saveGif(*gif));

    // Classes that know nothing of each other.
    TIcon icon;
    try {
        gif->Assign(&icon);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message, "Cannot assign a TIcon to a TGIFImage");
    }
}

TEST(GifPicture, ClipboardData)
{
    RegisterPictureUnits();
    // Made from a bitmap and never written: only the bitmap goes to the clipboard.
    auto bmp = solid(3, 3, qRgb(10, 20, 30));
    TGIFImage fresh;
    fresh.Assign(bmp.get());
    QMimeData a;
    fresh.SaveToClipboardFormat(a);
    EXPECT_TRUE(a.hasImage());
    EXPECT_FALSE(a.hasFormat("GIF Image"));

    // Read from a file: the bitmap and "GIF Image" = 32-bit size + the GIF.
    QByteArray file = redBlueGif(true);
    auto gif = loadGif(file);
    QMimeData b;
    gif->SaveToClipboardFormat(b);
    QByteArray data = b.data("GIF Image");
    ASSERT_GT(data.size(), 4);
    const quint32 n = quint32(uint8_t(data[0])) | (quint32(uint8_t(data[1])) << 8) |
                      (quint32(uint8_t(data[2])) << 16) | (quint32(uint8_t(data[3])) << 24);
    EXPECT_EQ(int(n), data.size() - 4);
    EXPECT_EQ(data.mid(4, 6), "GIF89a");
    EXPECT_EQ(b.data("GIF Image").mid(4), saveGif(*gif));

    // Through the system clipboard and the registry.
    Clipboard().Assign(gif.get());
    ASSERT_TRUE(Clipboard().HasFormat("GIF Image"));
    TPicture pic;
    pic.LoadFromClipboardFormat(*Clipboard().Data());
    auto* back = dynamic_cast<TGIFImage*>(pic.Graphic());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->FrameCount(), 1);
    EXPECT_EQ(back->ActiveFrame, 0);
    EXPECT_EQ(frameIndices(*back->Frame(0)), (std::vector<uint8_t>{0, 0, 1, 1, 0, 0, 1, 1}));

    // Only a bitmap on the clipboard: the picture is made from it.
    TGIFImage fromBitmap;
    fromBitmap.LoadFromClipboardFormat(a);
    EXPECT_EQ(fromBitmap.FrameCount(), 1);
    EXPECT_EQ(fromBitmap.FrameBitmap()->Image().pixel(1, 1) & 0xFFFFFF, qRgb(10, 20, 30) & 0xFFFFFF);
}

TEST(GifPicture, RegistryFindsTheClassByExtension)
{
    RegisterPictureUnits();
    auto g = CreateGraphicForFile("/some/where/Picture.GIF");
    EXPECT_EQ(g->ClassName(), "TGIFImage");
    EXPECT_EQ(CreateGraphicForFile("a.bmp")->ClassName(), "TBitmap");
    try {
        CreateGraphicForFile("notes.xyz");
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message, "Unknown picture file extension (.xyz)");
    }
    EXPECT_TRUE(GraphicFilter().contains("CompuServe GIF Image (*.gif)"));
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("p.gif"), redBlueGif(false));
    TPicture pic;
    pic.LoadFromFile(dir.file("p.gif"));
    EXPECT_EQ(pic.Width(), 4);
    EXPECT_EQ(pic.Bitmap()->Image().pixel(0, 0), qRgb(255, 0, 0));
}

TEST(GifPicture, StreamingWithSizePrefix)
{
    auto gif = loadGif(redBlueGif(false));
    QByteArray data;
    QBuffer out(&data);
    out.open(QIODevice::WriteOnly);
    gif->WriteData(out);
    out.close();
    QByteArray plain = saveGif(*gif);
    EXPECT_EQ(data.mid(4), plain);
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);
    TGIFImage back;
    back.ReadData(in);
    EXPECT_EQ(saveGif(back), plain);
}

TEST(GifPicture, ProgressOfDecoding)
{
    auto gif = loadGif(redBlueGif(false), false);
    QList<TProgressStage> stages;
    gif->OnProgress = [&](TPersistent* sender, TProgressStage s, int, bool, const QRect& r, const QString&) {
        EXPECT_EQ(sender, gif.get());
        EXPECT_TRUE(r.isNull());
        stages << s;
    };
    gif->FrameBitmap();
    ASSERT_GE(stages.size(), 2);
    EXPECT_EQ(stages.first(), TProgressStage::psStarting);
    EXPECT_EQ(stages.last(), TProgressStage::psEnding);
}

TEST(GifPicture, DecodedFramesStayWithinTheBudget)
{
    // Six read frames of 100 x 100 pixels (10,000 bytes decoded each), room for two at a time.
    TGIFImage made;
    std::vector<QImage> want;
    for (int i = 0; i < 6; ++i) {
        QImage img(100, 100, QImage::Format_Indexed8);
        QVector<QRgb> table;
        for (int c = 0; c < 256; ++c)
            table << qRgb(c, (c * 7 + i) & 0xFF, 255 - c);
        img.setColorTable(table);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                img.scanLine(y)[x] = uint8_t((x * (i + 1) + y * 3) & 0xFF);
        TBitmap b;
        b.SetImage(img, TPixelFormat::pf8bit);
        made.AddFrame(&b);
        want.push_back(img);
    }
    const QByteArray file = saveGif(made);
    auto gif = loadGif(file, false);
    gif->DecodedBudget = 25'000;
    auto samePixels = [&](int i) {
        const QImage& img = gif->Frame(i)->GetBitmap()->Image();
        for (int y = 0; y < 100; y += 7)
            for (int x = 0; x < 100; x += 3)
                if (img.pixel(x, y) != want[size_t(i)].pixel(x, y))
                    return false;
        return true;
    };
    TBitmap* first = gif->Frame(0)->GetBitmap();
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(samePixels(i));
            EXPECT_LE(gif->DecodedBytes(), 25'000);
        }
    // The least recently used frame gave its pixels back; the bitmap object stays and decodes again.
    EXPECT_TRUE(first->Empty());
    EXPECT_EQ(gif->Frame(0)->GetBitmap(), first);
    EXPECT_TRUE(samePixels(0));
    EXPECT_GE(gif->DecodedBytes(), 10'000);

    // Pixels the program painted are never given back, and not counted.
    TBitmap* painted = gif->Frame(1)->GetBitmap();
    painted->Canvas().SetPixel(0, 0, RGB(1, 2, 3));
    for (int i = 2; i < 6; ++i)
        gif->Frame(i)->GetBitmap();
    EXPECT_FALSE(painted->Empty());
    EXPECT_EQ(painted->Image().pixel(0, 0) & 0xFFFFFF, qRgb(1, 2, 3) & 0xFFFFFF);
    EXPECT_LE(gif->DecodedBytes(), 25'000);

    // Drawing and writing go on as before.
    QImage target(100, 100, QImage::Format_RGB32);
    TCanvas canvas(&target);
    gif->ActiveFrame = 0;
    gif->Draw(canvas, QRect(0, 0, 100, 100));
    EXPECT_EQ(target.pixel(10, 20), want[0].pixel(10, 20));
    EXPECT_EQ(saveGif(*gif), file);
}
