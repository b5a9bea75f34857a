// Reading GIF streams: header, blocks, extensions, loop blocks, comments and damage.
#include "GifTestUtil.h"
#include "platform/graphics/GraphicsErrors.h"

using namespace giftest;
using namespace graphics;
using namespace platform::graphics;

namespace {

QString readError(const QByteArray& data)
{
    try {
        loadGif(data);
    } catch (const platform::Exception& e) {
        return e.Message;
    }
    return QString();
}

GifBuilder oneImage(const char* version = "GIF89a")
{
    GifBuilder g;
    g.header(version, 2, 2, 4);
    return g;
}

} // namespace

TEST(GifRead, HeaderLettersIgnoreCase)
{
    auto g = loadGif(oneImage("gif89A").image(0, 0, 2, 2, 0).codes(2, {4, 1, 2, 3, 0, 5}).trailer().bytes);
    EXPECT_EQ(g->FormatVersion, 2);
    EXPECT_EQ(loadGif(oneImage("GIF87a").image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).trailer().bytes)->FormatVersion, 1);
    EXPECT_EQ(readError(oneImage("GIF88a").trailer().bytes), "Unknown GIF version");
    EXPECT_EQ(readError(QByteArray("PNG")), "Unknown GIF version");
}

TEST(GifRead, ScreenAndFrameFields)
{
    GifBuilder g;
    g.header("GIF89a", 5, 3, 4, 2).image(1, 1, 2, 2, 0).codes(2, {4, 1, 2, 3, 0, 5}).trailer();
    g.bytes[12] = char(0x31); // aspect byte
    auto gif = loadGif(g.bytes);
    EXPECT_EQ(gif->CanvasWidth, 5);
    EXPECT_EQ(gif->CanvasHeight, 3);
    EXPECT_EQ(gif->SharedData->AspectRatio, 0x31);
    EXPECT_EQ(gif->SharedData->TableBits, 2);
    EXPECT_EQ(gif->SharedData->GlobalColors.Count, 4);
    EXPECT_EQ(gif->BackColor, RGB(80, 160, 253)); // entry 2 of the builder's table
    ASSERT_EQ(gif->FrameCount(), 1);
    TGIFFrame& f = *gif->Frame(0);
    EXPECT_EQ(f.Origin, QPoint(1, 1));
    EXPECT_FALSE(f.OwnColorTable);
    EXPECT_EQ(f.Encoded->ColorBits, 2);
    EXPECT_EQ(frameIndices(f), (std::vector<uint8_t>{1, 2, 3, 0}));
    EXPECT_EQ(gif->ActiveFrame, 0);
    EXPECT_EQ(gif->Width(), 2);
    // Background index beyond the table: no background colour.
    GifBuilder h;
    h.header("GIF89a", 1, 1, 2, 5).image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).trailer();
    EXPECT_EQ(loadGif(h.bytes)->BackColor, clNone);
}

TEST(GifRead, TruncatedLastSubBlockMarksTheFrameCorrupt)
{
    GifBuilder g = oneImage();
    g.image(0, 0, 2, 2, 0).codes(2, {4, 1, 2, 3, 0, 5}, false);
    g.bytes.chop(1); // the last sub-block loses a byte
    auto gif = loadGif(g.bytes);
    ASSERT_EQ(gif->FrameCount(), 1);
    EXPECT_TRUE(gif->Frame(0)->Corrupted);
    // The bytes that did arrive are kept (as a block of their own length) and still decode.
    EXPECT_EQ(gif->Frame(0)->Encoded->CodeStream->toHex(' '), "02 02 8c 06");
    EXPECT_EQ(frameIndices(*gif->Frame(0)), (std::vector<uint8_t>{1, 2, 3, 0}));
    QByteArray out = saveGif(*gif);
    EXPECT_TRUE(out.endsWith(QByteArray::fromHex("02028c06003b")));
}

TEST(GifRead, TruncatedDownloadKeepsPixelsDecodedSoFar)
{
    GifBuilder g = oneImage();
    g.image(0, 0, 3, 2, 0).codes(2, {4, 1, 2, 3}, false); // data stop early
    auto gif = loadGif(g.bytes);
    ASSERT_EQ(gif->FrameCount(), 1);
    EXPECT_TRUE(gif->Frame(0)->Corrupted);
    // The padding bits of the last byte give one more pixel (0); the rest stays 0.
    EXPECT_EQ(frameIndices(*gif->Frame(0)), (std::vector<uint8_t>{1, 2, 3, 0, 0, 0}));
}

TEST(GifRead, CommentsBeforeAndAfterImages)
{
    GifBuilder g = oneImage();
    g.comment({"frame note"}).image(0, 0, 1, 1, 0).codes(2, {4, 1, 5});
    g.comment({"one", "two"}).comment({"three"}).trailer();
    auto gif = loadGif(g.bytes);
    ASSERT_EQ(gif->FrameCount(), 1);
    QList<QByteArray>* own = gif->Frame(0)->FrameComment(false);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(*own, (QList<QByteArray>{"frame note"}));
    // A separator line between the two blocks, none between the sub-blocks of one block.
    const QList<QByteArray> expect{"one", "two", "\r\n\r\n", "three"};
    EXPECT_EQ(gif->SharedData->Comment, expect);
    // Written back as one block of those lines, read back unchanged (and again).
    auto back = loadGif(saveGif(*gif));
    EXPECT_EQ(back->SharedData->Comment, expect);
    EXPECT_EQ(loadGif(saveGif(*back))->SharedData->Comment, expect);
}

TEST(GifRead, LoopBlocks)
{
    auto loopOf = [](int count, const char* id) {
        GifBuilder g = oneImage();
        g.loop(count, id).image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).trailer();
        return loadGif(g.bytes);
    };
    auto a = loopOf(0, "NETSCAPE2.0");
    EXPECT_TRUE(a->LoopEnabled);
    EXPECT_EQ(a->LoopCount, 0);
    EXPECT_TRUE(a->Frame(0)->Extensions.empty()); // never kept
    EXPECT_EQ(loopOf(65535, "NETSCAPE2.0")->LoopCount, 30000);
    EXPECT_EQ(loopOf(5, "ANIMEXTS1.0")->LoopCount, 5);
    auto other = loopOf(5, "XMP DataXMP");
    EXPECT_FALSE(other->LoopEnabled);
    EXPECT_EQ(other->LoopCount, 1);
}

TEST(GifRead, PlainTextDropsTheBlocksBeforeIt)
{
    GifBuilder g = oneImage();
    g.graphicControl(1, 10, 1);
    g.u8(0x21).u8(0x01).u8(12).raw(QByteArray(12, '\0')).u8(2).raw("hi").u8(0);
    g.image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).trailer();
    auto gif = loadGif(g.bytes);
    ASSERT_EQ(gif->FrameCount(), 1);
    EXPECT_TRUE(gif->Frame(0)->Extensions.empty());
    EXPECT_EQ(gif->Frame(0)->TransparentColor, clNone);
}

TEST(GifRead, GraphicControlFields)
{
    GifBuilder g = oneImage();
    g.graphicControl(0x01 | (2 << 2), 7000, 3).image(0, 0, 1, 1, 0).codes(2, {4, 1, 5});
    g.graphicControl(0x01, 5, 9).image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).trailer();
    auto gif = loadGif(g.bytes);
    ASSERT_EQ(gif->FrameCount(), 2);
    TGIFFrame& a = *gif->Frame(0);
    EXPECT_EQ(a.DelayMs, (7000 * 10) % 65536);
    EXPECT_EQ(a.DisposalMode, 2);
    EXPECT_EQ(a.TransparentColor, gif->SharedData->GlobalColors.Color(3));
    EXPECT_EQ(gif->Frame(1)->TransparentColor, clNone); // index beyond the table
    EXPECT_EQ(gif->Frame(1)->DelayMs, 50);
}

TEST(GifRead, ZeroWidthTakesTheScreenWidth)
{
    GifBuilder g;
    g.header("GIF89a", 3, 1, 4).image(0, 0, 0, 1, 0).codes(2, {4, 1, 2, 3, 5}).trailer();
    auto gif = loadGif(g.bytes);
    EXPECT_EQ(gif->Frame(0)->Encoded->Width, 3);
    EXPECT_EQ(frameIndices(*gif->Frame(0)), (std::vector<uint8_t>{1, 2, 3}));
    // With a zero-sized screen too, the frame is an empty bitmap.
    GifBuilder z;
    z.header("GIF89a", 0, 0, 4).image(0, 0, 0, 0, 0).codes(2, {4, 1, 5}).trailer();
    auto empty = loadGif(z.bytes);
    ASSERT_EQ(empty->FrameCount(), 1);
    EXPECT_TRUE(empty->Frame(0)->GetBitmap()->Empty());
    EXPECT_EQ(empty->Width(), 0);
}

TEST(GifRead, GarbageAfterAnImageEndsQuietlyButNotBeforeIt)
{
    GifBuilder g = oneImage();
    g.image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).raw("garbage");
    EXPECT_EQ(loadGif(g.bytes)->FrameCount(), 1);
    EXPECT_EQ(readError(oneImage().raw("garbage").bytes), "Stream read error");
    // A cut image descriptor is a stream read error.
    EXPECT_EQ(readError(oneImage().u8(0x2C).u16(0).bytes), "Stream read error");
}

TEST(GifRead, NoColourTableAnywhereGivesAGreyRamp)
{
    GifBuilder g;
    g.header("GIF89a", 4, 1, 0).image(0, 0, 4, 1, 0).codes(2, {4, 0, 1, 2, 3, 5}).trailer();
    auto gif = loadGif(g.bytes);
    TBitmap* b = gif->FrameBitmap();
    EXPECT_EQ(b->Image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(b->Image().pixel(1, 0), qRgb(85, 85, 85));
    EXPECT_EQ(b->Image().pixel(3, 0), qRgb(255, 255, 255));
}

TEST(GifRead, HugeFramesAreRefusedBeforeAllocation)
{
    GifBuilder g;
    g.header("GIF89a", 60000, 60000, 2).image(0, 0, 60000, 60000, 0).codes(2, {4, 1, 5}).trailer();
    auto gif = loadGif(g.bytes, false);
    ASSERT_EQ(gif->FrameCount(), 1);
    try {
        gif->Frame(0)->GetBitmap();
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_TRUE(e.Message.startsWith("GIF frame too large")) << e.Message.toStdString();
    }
}

TEST(GifRead, SizePrefixBeyondTheDataIsRefused)
{
    QByteArray gifBytes = oneImage().image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).trailer().bytes;
    QByteArray data = QByteArray("\xFF\xFF\xFF\x7F", 4) + gifBytes;
    QBuffer b(&data);
    b.open(QIODevice::ReadOnly);
    TGIFImage gif;
    EXPECT_THROW(gif.ReadData(b), platform::Exception);
    // The right prefix reads.
    QByteArray good = QByteArray(1, char(gifBytes.size())) + QByteArray(3, '\0') + gifBytes + "tail";
    QBuffer gb(&good);
    gb.open(QIODevice::ReadOnly);
    gif.ReadData(gb);
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gb.read(4), "tail");
}

TEST(GifRead, LocalTablesAndInterlacedFrames)
{
    GifBuilder g;
    g.header("GIF89a", 1, 10, 0).image(0, 0, 1, 10, 0x40, 4);
    std::vector<int> codes{4};
    for (int k = 0; k < 10; ++k)
        codes.push_back(k % 4);
    codes.push_back(5);
    g.codes(2, codes).trailer();
    auto gif = loadGif(g.bytes);
    TGIFFrame& f = *gif->Frame(0);
    EXPECT_TRUE(f.Interlaced);
    EXPECT_TRUE(f.OwnColorTable);
    EXPECT_EQ(f.Encoded->ColorTable.Count, 4);
    // Stream rows 0..9 land on rows 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
    EXPECT_EQ(frameIndices(f), (std::vector<uint8_t>{0, 1, 3, 2, 2, 3, 0, 0, 1, 1}));
}

TEST(GifRead, FailedReadKeepsTheWholeFramesBeforeTheDamage)
{
    // A good frame, then an image descriptor cut short: the read fails, the good frame stays
    // and the picture can still be written.
    QByteArray bytes = oneImage().image(0, 0, 2, 2, 0).codes(2, {4, 1, 2, 3, 0, 5}).u8(0x2C).u16(0).bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::ReadOnly);
    TGIFImage gif;
    try {
        gif.LoadFromStream(b);
        FAIL();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message, "Stream read error");
    }
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(frameIndices(*gif.Frame(0)), (std::vector<uint8_t>{1, 2, 3, 0}));
    auto back = loadGif(saveGif(gif));
    ASSERT_EQ(back->FrameCount(), 1);
    EXPECT_EQ(frameIndices(*back->Frame(0)), (std::vector<uint8_t>{1, 2, 3, 0}));
}

TEST(GifRead, ExtensionsOfUnknownKindsAreSteppedOver)
{
    for (int label : {0x00, 0x2A, 0xFD, 0xFC, 0xFA, 0xF8}) {
        SCOPED_TRACE(label);
        GifBuilder g = oneImage();
        // Several sub-blocks whose bytes look like blocks of their own, an empty one too.
        g.u8(0x21).u8(label).u8(3).raw("\x2C\x3B\x21").u8(1).u8(0xF9).u8(0);
        g.u8(0x21).u8(label).u8(0);
        g.graphicControl(1, 7, 3).image(0, 0, 2, 2, 0).codes(2, {4, 1, 2, 3, 0, 5});
        g.u8(0x21).u8(label).u8(2).raw("ab").u8(0).trailer();
        auto gif = loadGif(g.bytes);
        ASSERT_EQ(gif->FrameCount(), 1);
        TGIFFrame& f = *gif->Frame(0);
        EXPECT_EQ(frameIndices(f), (std::vector<uint8_t>{1, 2, 3, 0}));
        EXPECT_EQ(f.DelayMs, 70);
        EXPECT_EQ(f.TransparentColor, gif->SharedData->GlobalColors.Color(3));
        // Not written back: the saved file holds only the blocks this program knows.
        const QByteArray saved = saveGif(*gif);
        EXPECT_EQ(saved.indexOf(QByteArray("\x21") + char(label)), -1);
        EXPECT_EQ(frameIndices(*loadGif(saved)->Frame(0)), (std::vector<uint8_t>{1, 2, 3, 0}));
    }
    // A stray byte that starts no block at all is still refused.
    EXPECT_EQ(readError(oneImage().u8(0x2A).u8(0).image(0, 0, 1, 1, 0).codes(2, {4, 1, 5}).trailer().bytes),
              "Stream read error");
}

TEST(GifRead, SuiteFileWithAnUnknownExtensionReads)
{
    MV_REQUIRE_TESTDATA();
    auto gif = loadGifFile(testsupport::testdataDir() + "/gif/image-gif/regression/issue-209-extension-block-type.gif");
    ASSERT_EQ(gif->FrameCount(), 1);
    // One white pixel, as Pillow and ImageMagick decode it.
    EXPECT_EQ(gif->FrameBitmap()->Image().pixel(0, 0), qRgb(255, 255, 255));
}
