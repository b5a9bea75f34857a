#pragma once
// The GIF picture class: a GIF (87a or 89a) held as a list of frames that keep their encoded
// data as read and are decoded into bitmaps on demand. Frames made from bitmaps are reduced
// to a palette and encoded when the picture is written.
#include "graphics/ColorReduce.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Graphic.h"

#include <QByteArray>
#include <QList>
#include <QPoint>

#include <cstdint>
#include <memory>
#include <vector>

namespace graphics {

using platform::graphics::TCanvas;
using platform::graphics::TColor;
using platform::graphics::TGraphic;
using platform::graphics::TPersistent;
using platform::graphics::TSharedImage;

class TGIFImage;

// Up to 256 colours (red, green, blue); Count 0 means no table.
struct TGIFColorTable {
    int Count = 0;
    uint8_t Colors[256][3] = {};
    TColor Color(int i) const;
    QRgb Rgb(int i) const { return qRgb(Colors[i][0], Colors[i][1], Colors[i][2]); }
};

// The picture-wide data, shared by copies of a picture.
class TGIFData : public TSharedImage {
public:
    QList<QByteArray> Comment; // one comment sub-block per line, bytes as stored
    uint8_t AspectRatio = 0;
    uint8_t TableBits = 0;
    uint8_t ColorResolution = 0;
    TGIFColorTable GlobalColors;

protected:
    void FreeHandle() override { Comment.clear(); }
};

// The encoded data of one frame, shared by copies of the frame.
class TGIFItem : public TSharedImage {
public:
    // Minimum code size byte, then the data sub-blocks as stored (null when absent).
    std::unique_ptr<QByteArray> CodeStream;
    int Width = 0;
    int Height = 0;
    uint8_t DescriptorFlags = 0;
    uint8_t ColorBits = 0;
    TGIFColorTable ColorTable;

protected:
    void FreeHandle() override
    {
        if (CodeStream)
            CodeStream->clear();
    }
};

enum TExtensionKind : uint8_t { ekGraphicControl = 0, ekPlainText = 1, ekApplication = 2, ekComment = 3 };

// One extension block. Header holds the fixed bytes after the label: graphic control 6 (size 4,
// flags, delay low, delay high, transparent index, terminator), plain text 13, application 12.
class TExtension : public TPersistent {
public:
    QString ClassName() const override { return QStringLiteral("TExtension"); }
    void Assign(TPersistent* source) override;

    TExtensionKind Kind = ekGraphicControl;
    std::unique_ptr<QList<QByteArray>> SubBlocks;
    uint8_t Header[13] = {};
};

using TExtensionList = std::vector<std::unique_ptr<TExtension>>;

class TGIFFrame : public TPersistent {
public:
    explicit TGIFFrame(TGIFImage* owner = nullptr);
    ~TGIFFrame() override;
    QString ClassName() const override { return QStringLiteral("TGIFFrame"); }

    void Assign(TPersistent* source) override;

    // The decoded (or assigned) pixels; decodes the encoded data on first use. Decoded pixels
    // count against the owner's DecodedBudget: the bitmap object stays, but its pixels may be
    // given back while other frames are decoded (they are decoded again when asked for).
    TBitmap* GetBitmap();
    int Width();
    int Height();
    void Draw(TCanvas& canvas, const QRect& rect, bool transparent);
    // The transparent entry of the encoded data as read, while it still holds: the frame keeps
    // the data it was read with and TransparentColor is still that entry's colour. -1 otherwise
    // (frames made from bitmaps go by their transparent colour).
    int TransparentIndexAsRead() const;
    // The sub-blocks of the last comment block; with `create` one is added when missing.
    QList<QByteArray>* FrameComment(bool create);

    TGIFImage* Owner = nullptr;
    std::unique_ptr<TBitmap> Bitmap;
    TGIFItem* Encoded = nullptr;
    TExtensionList Extensions; // empty when absent
    QPoint Origin;
    bool Interlaced = false;
    bool Corrupted = false;
    bool Grayscale = false;
    bool OwnColorTable = false;
    TColor TransparentColor = platform::graphics::clNone;
    // The transparent index of the last graphic control block read, -1 none. Another entry of
    // the table may hold the same colour (opaque black beside transparent black): drawing and
    // writing go by this index, not by the colour.
    int TransparentIndex = -1;
    uint16_t DelayMs = 0;
    uint8_t DisposalMode = 0;

protected:
    void AssignTo(TPersistent* dest) override;

private:
    friend class TGIFImage;
    void reset();
    void newEncoded();
    // The decoded pixels, unchanged since they were decoded: they can be decoded again.
    bool holdsDecodedPixels() const;

    qint64 decodedKey_ = 0;   // cache key of the image last decoded into Bitmap, 0 none
    quint64 lastUse_ = 0;     // the owner's use count when the pixels were last asked for
};

class TGIFImage : public TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;
    QString ClassName() const override { return QStringLiteral("TGIFImage"); }

    void Assign(TPersistent* source) override;
    void Draw(TCanvas& canvas, const QRect& rect) override;
    bool Equals(TGraphic* graphic) override;
    bool Empty() override;
    int Width() override;
    int Height() override;
    void SetWidth(int) override;
    void SetHeight(int) override;
    QVector<QRgb> GetPalette() override;
    bool GetTransparent() override;
    void ReadData(QIODevice& stream) override;
    void WriteData(QIODevice& stream) override;
    void LoadFromStream(QIODevice& stream) override;
    void SaveToStream(QIODevice& stream) override;
    void LoadFromClipboardFormat(const QMimeData& data) override;
    void SaveToClipboardFormat(QMimeData& data) override;

    // Appends a frame made from `graphic`, makes it active; returns its index.
    virtual int AddFrame(TGraphic* graphic);
    // The bitmap of the active frame (frame 0 when none is active), decoded when needed.
    TBitmap* FrameBitmap();
    // Canvas size = the union of the frames' extents from (0, 0).
    void UpdateCanvasSize();
    // Encodes every frame that has no encoded data and refreshes graphic control blocks.
    void EncodeFrames();
    void NewImage();

    int FrameCount() const { return int(FrameList.size()); }
    TGIFFrame* Frame(int i) { return FrameList[size_t(i)].get(); }
    // The active frame, or null when ActiveFrame is outside the list.
    TGIFFrame* ActiveFrameObject();

    TGIFData* SharedData = nullptr;
    uint8_t FormatVersion = 0; // 0 none, 1 "87a", 2 "89a"
    std::vector<std::unique_ptr<TGIFFrame>> FrameList;
    int ActiveFrame = -1;
    uint16_t CanvasWidth = 0;
    uint16_t CanvasHeight = 0;
    TColor BackColor = platform::graphics::clNone;
    bool LoopEnabled = false;
    uint16_t LoopCount = 1;
    // Damaged image data mark the frame Corrupted instead of failing.
    bool TolerantRead = true;
    // Bytes the decoded frames of this picture may hold at once; the least recently used
    // decoded frame gives its pixels back first. A hostile file of many huge frames stays
    // bounded this way; pixels set or changed by the program are never given back.
    qint64 DecodedBudget = qint64(512) << 20;
    // Bytes the decoded frames hold now.
    qint64 DecodedBytes() const;

protected:
    void AssignTo(TPersistent* dest) override;

private:
    friend class TGIFFrame;
    // Gives back decoded pixels of other frames, least recently used first, until `frame`
    // can be decoded within the budget.
    void makeRoomFor(const TGIFFrame& frame);
    quint64 useCount_ = 0;
    // Set while Assign copies another picture's frames and its canvas.
    bool copyingFrames_ = false;
};

// 1-8 for the counts 2, 4, ..., 256; raises "Wrong number of colors; must be a power of 2".
int ColorBitsOf(int count);

// Reads `count` bytes of `source` as a GIF into `image` (replacing its content). With
// `decodeFirst` frame 0 is decoded at once.
void ReadGIF(TGIFImage& image, qint64 count, QIODevice& source, bool decodeFirst);
// Writes the picture as a GIF, with a 32-bit little-endian size first when `sizePrefix`.
// Nothing reaches `dest` when a step fails.
void WriteGIF(TGIFImage& image, QIODevice& dest, bool sizePrefix);
QByteArray WriteGIFBytes(TGIFImage& image);

// The frame's encoded data as a BMP file image (1, 4 or 8 bits, the frame's colour table).
QByteArray DecodeToDIB(TGIFFrame& frame);
// The frame's pixels as a palette image (Format_Mono or Format_Indexed8, one byte per
// index), as the frame bitmap holds them.
QImage DecodeFrameImage(TGIFFrame& frame, platform::graphics::TPixelFormat* format = nullptr);

void EncodeBitmap(TGIFFrame& frame);
void EncodeFromDIB(TGIFFrame& frame, const QByteArray& bmp);
// Brings the frame's graphic control block in line with its delay, transparency and disposal.
void UpdateGraphicControl(TGIFFrame& frame);
bool IsLoopBlock(const TExtension& ext);

// The clipboard format "GIF Image": a 32-bit little-endian byte count, then the GIF.
extern QString GifClipboardFormat;

// Start-up registration (after the QApplication exists): the "gif" extension as
// "CompuServe GIF Image", the "GIF Image" clipboard format and the class name.
void RegisterGifPicture();
void UnregisterGifPicture();

} // namespace graphics
