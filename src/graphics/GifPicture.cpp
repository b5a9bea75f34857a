#include "graphics/GifPicture.h"

#include "graphics/DrawUtils.h"
#include "graphics/GifLzw.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/GraphicsErrors.h"
#include "platform/graphics/PictureFormats.h"

#include <QBuffer>
#include <QMimeData>

#include <algorithm>
#include <cstring>

namespace graphics {

using namespace platform::graphics;

QString GifClipboardFormat = QStringLiteral("GIF Image");

namespace {

// Frames above this many pixels are refused before anything is allocated.
constexpr qint64 kMaxFramePixels = qint64(1) << 28;

[[noreturn]] void gifError(const QString& msg) { throw EInvalidGraphicOperation(msg); }
[[noreturn]] void streamReadError() { gifError(QString::fromLatin1(SReadError)); }
[[noreturn]] void encodingError() { gifError(QStringLiteral("GIF image encoding error")); }
[[noreturn]] void noData() { gifError(QStringLiteral("No GIF Data to write")); }

int bitsFor(int count)
{
    int bits = 1;
    while ((1 << bits) < count && bits < 8)
        ++bits;
    return bits;
}

// Byte reader over the private copy of the GIF data. Short reads of the fixed fields give 0.
struct Reader {
    const uint8_t* d;
    qint64 n;
    qint64 p = 0;

    bool atEnd() const { return p >= n; }
    int byte() { return p < n ? d[p++] : 0; }
    void read(uint8_t* out, qint64 k)
    {
        qint64 have = std::min(k, n - p);
        if (have > 0)
            std::memcpy(out, d + p, size_t(have));
        if (have < k)
            std::memset(out + std::max<qint64>(have, 0), 0, size_t(k - std::max<qint64>(have, 0)));
        p = std::min(n, p + k);
    }
    void readStrict(uint8_t* out, qint64 k)
    {
        if (n - p < k) {
            p = n;
            throw EReadError(QString::fromLatin1(SReadError));
        }
        std::memcpy(out, d + p, size_t(k));
        p += k;
    }
    int nextNonZero()
    {
        while (p < n && d[p] == 0)
            ++p;
        return p < n ? d[p++] : 0;
    }
    QList<QByteArray> subBlocks()
    {
        QList<QByteArray> out;
        while (p < n) {
            int c = d[p++];
            if (c == 0)
                break;
            qint64 take = std::min<qint64>(c, n - p);
            out.append(QByteArray(reinterpret_cast<const char*>(d + p), int(take)));
            p += take;
        }
        return out;
    }
};

void readColorTable(Reader& r, TGIFColorTable& t, int count, bool strict)
{
    t.Count = count;
    if (strict)
        r.readStrict(&t.Colors[0][0], qint64(count) * 3);
    else
        r.read(&t.Colors[0][0], qint64(count) * 3);
}

// A graphic control block with its 6 header bytes.
std::unique_ptr<TExtension> newGraphicControl()
{
    auto e = std::make_unique<TExtension>();
    e->Kind = ekGraphicControl;
    e->Header[0] = 4;
    return e;
}

// The extensions that start at `byte`; leaves `byte` at the one after the run.
TExtensionList readExtensions(TGIFImage& image, int& byte, Reader& r)
{
    TExtensionList list;
    while (byte == 0x21) {
        const int label = r.byte();
        auto ext = std::make_unique<TExtension>();
        switch (label) {
        case 0xF9:
            ext->Kind = ekGraphicControl;
            r.read(ext->Header, 6);
            break;
        case 0x01:
            ext->Kind = ekPlainText;
            r.read(ext->Header, 13);
            ext->SubBlocks = std::make_unique<QList<QByteArray>>(r.subBlocks());
            break;
        case 0xFF:
            ext->Kind = ekApplication;
            r.read(ext->Header, 12);
            ext->SubBlocks = std::make_unique<QList<QByteArray>>(r.subBlocks());
            break;
        case 0xFE:
            ext->Kind = ekComment;
            ext->SubBlocks = std::make_unique<QList<QByteArray>>(r.subBlocks());
            break;
        default:
            // Every extension is a run of sub-blocks: one this reader does not know is
            // stepped over (and not written back), as image readers do.
            r.subBlocks();
            ext.reset();
            break;
        }
        if (ext && ext->Kind == ekPlainText)
            list.clear(); // blocks that applied to the text go with it
        if (ext && (ext->Kind == ekPlainText || ext->Kind == ekApplication)) {
            if (IsLoopBlock(*ext)) {
                image.LoopEnabled = true;
                const QByteArray& sb = ext->SubBlocks->first();
                image.LoopCount = uint16_t(std::min(uint8_t(sb[1]) + 256 * uint8_t(sb[2]), 30000));
            }
        } else if (ext) {
            list.push_back(std::move(ext));
        }
        byte = r.atEnd() ? 0x3B : r.nextNonZero();
        if (byte == 0)
            byte = 0x3B;
    }
    return list;
}

void readFrame(TGIFImage& image, TGIFFrame& frame, Reader& r)
{
    TGIFItem& item = *frame.Encoded;
    item.CodeStream = std::make_unique<QByteArray>();
    uint8_t desc[9];
    r.readStrict(desc, 9);
    const int flags = desc[8];
    frame.Interlaced = flags & 0x40;
    if (flags & 0x80) {
        frame.OwnColorTable = true;
        item.ColorBits = uint8_t((flags & 7) + 1);
        readColorTable(r, item.ColorTable, 1 << item.ColorBits, true);
    } else {
        frame.OwnColorTable = false;
        item.ColorTable.Count = 0;
    }
    const qint64 start = r.p;
    qint64 stop = start;
    QByteArray partial;
    if (r.atEnd()) {
        frame.Corrupted = true;
    } else {
        r.p++; // minimum code size
        stop = r.p;
        while (r.p < r.n) {
            const int c = r.d[r.p];
            if (c == 0) {
                r.p++;
                stop = r.p;
                break;
            }
            if (r.n - r.p - 1 < c) {
                // The data end inside this sub-block (a cut download): what is there is kept
                // as a shorter block, so the pixels it holds still decode.
                const int have = int(r.n - r.p - 1);
                if (have > 0) {
                    partial.append(char(have));
                    partial.append(reinterpret_cast<const char*>(r.d + r.p + 1), have);
                }
                frame.Corrupted = true;
                r.p = r.n;
                break;
            }
            r.p += 1 + c;
            stop = r.p;
        }
    }
    *item.CodeStream = QByteArray(reinterpret_cast<const char*>(r.d + start), int(stop - start)) + partial;
    if (frame.Corrupted && !image.TolerantRead)
        streamReadError();

    int w = desc[4] | (desc[5] << 8), h = desc[6] | (desc[7] << 8);
    if (w == 0)
        w = image.CanvasWidth;
    if (h == 0)
        h = image.CanvasHeight;
    frame.Origin = QPoint(desc[0] | (desc[1] << 8), desc[2] | (desc[3] << 8));
    item.Width = w;
    item.Height = h;
    item.DescriptorFlags = uint8_t(flags);
    if (!frame.OwnColorTable) {
        item.ColorTable = image.SharedData->GlobalColors;
        if (item.ColorTable.Count == 0) {
            // No table anywhere: a grey ramp as wide as the code size.
            int bits = item.CodeStream->isEmpty() ? 8 : std::clamp(int(uint8_t(item.CodeStream->at(0))), 1, 8);
            item.ColorBits = uint8_t(bits);
            const int count = 1 << bits;
            item.ColorTable.Count = count;
            for (int i = 0; i < count; ++i) {
                uint8_t v = uint8_t(i * 255 / (count - 1));
                item.ColorTable.Colors[i][0] = item.ColorTable.Colors[i][1] = item.ColorTable.Colors[i][2] = v;
            }
        }
    }
    frame.DelayMs = 0;
    for (const auto& e : frame.Extensions) {
        if (e->Kind != ekGraphicControl)
            continue;
        const int gflags = e->Header[1];
        const int delay = e->Header[2] | (e->Header[3] << 8);
        const int index = e->Header[4];
        if (gflags & 1) {
            if (index < item.ColorTable.Count)
                frame.TransparentColor = item.ColorTable.Color(index);
            frame.TransparentIndex = index;
        } else {
            frame.TransparentColor = clNone;
            frame.TransparentIndex = -1;
        }
        frame.DelayMs = uint16_t(std::max<int>(frame.DelayMs, delay * 10));
        frame.DisposalMode = uint8_t((gflags & 0x1C) >> 2);
    }
}

void putSubBlocks(QByteArray& out, const QList<QByteArray>& blocks)
{
    for (const QByteArray& b : blocks) {
        if (b.isEmpty())
            continue;
        const int n = std::min<int>(int(b.size()), 255);
        out.append(char(n));
        out.append(b.constData(), n);
    }
    out.append(char(0));
}

void put16(QByteArray& out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void putColorTable(QByteArray& out, const TGIFColorTable& t, int entries)
{
    for (int i = 0; i < entries; ++i) {
        if (i < t.Count)
            out.append(reinterpret_cast<const char*>(t.Colors[i]), 3);
        else
            out.append(3, '\0');
    }
}

// True when the code data end with their zero-length terminator block.
bool hasTerminator(const QByteArray& code)
{
    const auto* d = reinterpret_cast<const uint8_t*>(code.constData());
    const qint64 n = code.size();
    qint64 p = 1;
    while (p < n) {
        if (d[p] == 0)
            return true;
        p += 1 + d[p];
    }
    return false;
}

QVector<QRgb> dibPalette(const TGIFColorTable& t, int entries)
{
    QVector<QRgb> pal(entries);
    for (int i = 0; i < entries; ++i)
        pal[i] = i < t.Count ? t.Rgb(i) : qRgb(128, 128, 128);
    return pal;
}

TLzwProgress progressOf(TGIFImage* owner)
{
    if (!owner || !owner->OnProgress)
        return {};
    return [owner](TProgressStage stage, int percent, const QString& msg) {
        owner->Progress(owner, stage, percent, false, QRect(), msg);
    };
}

int bitCountFor(int colorBits)
{
    if (colorBits == 1)
        return 1;
    if (colorBits >= 2 && colorBits <= 4)
        return 4;
    if (colorBits >= 5 && colorBits <= 8)
        return 8;
    gifError(QStringLiteral("Wrong number of colors; must be a power of 2"));
}

void checkFrameSize(const TGIFItem& item)
{
    if (qint64(item.Width) * qint64(item.Height) > kMaxFramePixels)
        gifError(QStringLiteral("GIF frame too large (%1 x %2 pixels)").arg(item.Width).arg(item.Height));
}

} // namespace

TColor TGIFColorTable::Color(int i) const { return RGB(Colors[i][0], Colors[i][1], Colors[i][2]); }

int ColorBitsOf(int count)
{
    for (int bits = 1; bits <= 8; ++bits)
        if (count == (1 << bits))
            return bits;
    gifError(QStringLiteral("Wrong number of colors; must be a power of 2"));
}

bool IsLoopBlock(const TExtension& ext)
{
    if (ext.Kind != ekApplication || !ext.SubBlocks || ext.SubBlocks->isEmpty())
        return false;
    // The identifier is compared over the block's own size byte, never past the 11 bytes kept.
    const int len = std::min<int>(ext.Header[0], 11);
    if (len < 1)
        return false;
    const char* id = reinterpret_cast<const char*>(ext.Header + 1);
    if (std::memcmp(id, "NETSCAPE2.0", size_t(len)) != 0 && std::memcmp(id, "ANIMEXTS1.0", size_t(len)) != 0)
        return false;
    const QByteArray& first = ext.SubBlocks->first();
    return first.size() >= 3 && first[0] == 1;
}

// ---------------------------------------------------------------- TExtension

void TExtension::Assign(TPersistent* source)
{
    if (auto* e = dynamic_cast<TExtension*>(source)) {
        if (e == this)
            return;
        Kind = e->Kind;
        std::memcpy(Header, e->Header, sizeof Header);
        if (e->SubBlocks) {
            if (!SubBlocks)
                SubBlocks = std::make_unique<QList<QByteArray>>();
            *SubBlocks = *e->SubBlocks;
        }
        return;
    }
    TPersistent::Assign(source);
}

// ---------------------------------------------------------------- TGIFFrame

TGIFFrame::TGIFFrame(TGIFImage* owner) : Owner(owner) { reset(); }

TGIFFrame::~TGIFFrame()
{
    if (Encoded)
        Encoded->Release();
}

void TGIFFrame::newEncoded()
{
    auto* item = new TGIFItem;
    item->Reference();
    if (Encoded)
        Encoded->Release();
    Encoded = item;
    TransparentIndex = -1; // an index means nothing for other data
}

void TGIFFrame::reset()
{
    newEncoded();
    Interlaced = Corrupted = Grayscale = OwnColorTable = false;
    TransparentColor = clNone;
    Origin = QPoint(0, 0);
    DelayMs = 0;
    DisposalMode = 0;
}

void TGIFFrame::Assign(TPersistent* source)
{
    if (source == this)
        return;
    if (!source) {
        newEncoded();
        Bitmap.reset();
    } else if (auto* f = dynamic_cast<TGIFFrame*>(source)) {
        f->Encoded->Reference();
        Encoded->Release();
        Encoded = f->Encoded;
        OwnColorTable = (f->Owner == Owner) ? f->OwnColorTable : true;
        Origin = f->Origin;
        Interlaced = f->Interlaced;
        if (f->Bitmap) {
            Bitmap = std::make_unique<TBitmap>();
            Bitmap->Assign(f->Bitmap.get());
            // The same pixels (shared): decoded ones can be given back here too.
            decodedKey_ = f->holdsDecodedPixels() ? f->decodedKey_ : 0;
        }
        TransparentColor = f->TransparentColor;
        TransparentIndex = f->TransparentIndex;
        DelayMs = f->DelayMs;
        DisposalMode = f->DisposalMode;
        Grayscale = f->Grayscale;
        Corrupted = f->Corrupted;
        QList<QByteArray>* comment = f->FrameComment(false);
        if (comment && !comment->isEmpty())
            *FrameComment(true) = *comment;
    } else if (auto* g = dynamic_cast<TGIFImage*>(source)) {
        if (g->FrameCount() == 0) {
            newEncoded();
            Bitmap.reset();
        } else {
            TGIFFrame* src = g->ActiveFrameObject();
            Assign(src ? src : g->Frame(0));
            return;
        }
    } else if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
        if (graphic->Empty()) {
            newEncoded();
            Bitmap.reset();
        } else {
            newEncoded();
            auto bmp = std::make_unique<TBitmap>();
            bmp->Assign(graphic);
            if (graphic->Transparent()) {
                if (auto* sb = dynamic_cast<TBitmap*>(graphic))
                    TransparentColor = sb->TransparentColor();
                else
                    TransparentColor = bmp->Canvas().GetNearestColor(bmp->Canvas().BrushColor);
            }
            Bitmap = std::move(bmp);
        }
    } else {
        TPersistent::Assign(source);
        return;
    }
    if (Owner)
        Owner->UpdateCanvasSize();
}

void TGIFFrame::AssignTo(TPersistent* dest)
{
    if (dynamic_cast<TGIFFrame*>(dest) || dynamic_cast<TGIFImage*>(dest)) {
        dest->Assign(this);
        return;
    }
    if (auto* g = dynamic_cast<TGraphic*>(dest)) {
        g->Assign(GetBitmap());
        if (auto* b = dynamic_cast<TBitmap*>(dest)) {
            if (TransparentColor != clNone) {
                b->SetTransparentColor(b->Canvas().GetNearestColor(TransparentColor));
                b->SetTransparent(true);
            }
        }
        return;
    }
    TPersistent::AssignTo(dest);
}

TBitmap* TGIFFrame::GetBitmap()
{
    if (Bitmap && !Bitmap->Empty()) {
        if (Owner)
            lastUse_ = ++Owner->useCount_;
        return Bitmap.get();
    }
    // Pixels given back to the budget are decoded into the same bitmap: callers may hold it.
    if (!Bitmap || !decodedKey_)
        Bitmap = std::make_unique<TBitmap>();
    decodedKey_ = 0;
    if (Encoded->CodeStream) {
        if (Owner)
            Owner->makeRoomFor(*this);
        TPixelFormat pf;
        QImage img = DecodeFrameImage(*this, &pf);
        Bitmap->SetImage(img, pf);
        if (!Bitmap->Monochrome())
            Bitmap->HandleType = TBitmapHandleType::bmDDB;
        Bitmap->Modified = false;
        decodedKey_ = Bitmap->Empty() ? 0 : Bitmap->Image().cacheKey();
        if (Owner)
            lastUse_ = ++Owner->useCount_;
    }
    return Bitmap.get();
}

bool TGIFFrame::holdsDecodedPixels() const
{
    // Any change of the pixels (painting, a new image) gives the image another cache key.
    return decodedKey_ && Bitmap && !Bitmap->Empty() && Bitmap->Image().cacheKey() == decodedKey_ &&
           Encoded->CodeStream && !Encoded->CodeStream->isEmpty();
}

int TGIFFrame::Width()
{
    if (Bitmap && !Bitmap->Empty())
        return Bitmap->Width();
    // The decoded bitmap always has the item's size: no need to decode for it.
    return Encoded->CodeStream ? Encoded->Width : 0;
}

int TGIFFrame::Height()
{
    if (Bitmap && !Bitmap->Empty())
        return Bitmap->Height();
    return Encoded->CodeStream ? Encoded->Height : 0;
}

int TGIFFrame::TransparentIndexAsRead() const
{
    if (TransparentIndex < 0 || !Encoded->CodeStream)
        return -1;
    const TGIFColorTable& t = Encoded->ColorTable;
    const TColor read = TransparentIndex < t.Count ? t.Color(TransparentIndex) : clNone;
    return TransparentColor == read ? TransparentIndex : -1;
}

void TGIFFrame::Draw(TCanvas& canvas, const QRect& rect, bool transparent)
{
    TBitmap* bmp = GetBitmap();
    if (bmp->Empty())
        return;
    const int index = transparent ? TransparentIndexAsRead() : -1;
    if (index >= 0) {
        // By index: the bitmap's own palette indices when it holds them, else the decoded ones.
        const QImage& own = bmp->Image();
        const bool indexed = (own.format() == QImage::Format_Indexed8 || own.format() == QImage::Format_Mono) &&
                             own.size() == QSize(Encoded->Width, Encoded->Height);
        QImage masked = indexed ? own : DecodeFrameImage(*this);
        QVector<QRgb> table = masked.colorTable();
        if (index < table.size()) {
            table[index] &= 0x00FFFFFF;
            masked.setColorTable(table);
        }
        canvas.StretchDrawMasked(rect, masked);
    } else if (transparent && TransparentColor != clNone)
        DrawTransparentBitmapRect(canvas, rect.left(), rect.top(), QRect(0, 0, bmp->Width(), bmp->Height()), *bmp,
                                  TransparentColor, rect.width(), rect.height());
    else
        canvas.StretchDrawImage(rect, bmp->Image());
}

QList<QByteArray>* TGIFFrame::FrameComment(bool create)
{
    for (auto it = Extensions.rbegin(); it != Extensions.rend(); ++it)
        if ((*it)->Kind == ekComment) {
            if (!(*it)->SubBlocks && create)
                (*it)->SubBlocks = std::make_unique<QList<QByteArray>>();
            return (*it)->SubBlocks.get();
        }
    if (!create)
        return nullptr;
    auto e = std::make_unique<TExtension>();
    e->Kind = ekComment;
    e->SubBlocks = std::make_unique<QList<QByteArray>>();
    Extensions.push_back(std::move(e));
    return Extensions.back()->SubBlocks.get();
}

// ---------------------------------------------------------------- frame decoding

QByteArray DecodeToDIB(TGIFFrame& frame)
{
    TGIFItem& item = *frame.Encoded;
    const int bitCount = bitCountFor(item.ColorBits);
    checkFrameSize(item);
    TDibHeader h;
    h.Width = std::max(item.Width, 0);
    h.Height = std::max(item.Height, 0);
    h.BitCount = bitCount;
    const qint64 imageSize = h.RowBytes() * h.Height;
    const int entries = 1 << bitCount;
    const qint64 offset = 54 + 4 * qint64(entries);
    QByteArray out(int(offset), '\0');
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = char(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, quint32(imageSize + offset));
    put32(10, quint32(offset));
    put32(14, 40);
    put32(18, quint32(h.Width));
    put32(22, quint32(h.Height));
    out[26] = 1;
    out[28] = char(bitCount);
    put32(34, quint32(imageSize));
    for (int i = 0; i < entries; ++i) {
        if (i < item.ColorTable.Count) {
            out[54 + 4 * i] = char(item.ColorTable.Colors[i][2]);
            out[54 + 4 * i + 1] = char(item.ColorTable.Colors[i][1]);
            out[54 + 4 * i + 2] = char(item.ColorTable.Colors[i][0]);
        } else {
            for (int k = 0; k < 4; ++k)
                out[54 + 4 * i + k] = char(128);
        }
    }
    out.resize(int(offset + imageSize));
    std::memset(out.data() + offset, 0, size_t(imageSize));
    if (item.CodeStream && imageSize > 0) {
        bool corrupted = false;
        DecodeLZW(*item.CodeStream, h, frame.Interlaced, progressOf(frame.Owner), corrupted,
                  reinterpret_cast<uint8_t*>(out.data() + offset), item.ColorBits,
                  frame.Owner ? frame.Owner->TolerantRead : true);
        if (corrupted)
            frame.Corrupted = true;
    }
    return out;
}

QImage DecodeFrameImage(TGIFFrame& frame, TPixelFormat* format)
{
    TGIFItem& item = *frame.Encoded;
    const int bitCount = bitCountFor(item.ColorBits);
    checkFrameSize(item);
    if (format)
        *format = bitCount == 1 ? TPixelFormat::pf1bit : bitCount == 4 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
    if (item.Width <= 0 || item.Height <= 0)
        return QImage();
    QImage img(item.Width, item.Height, bitCount == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
    if (img.isNull())
        gifError(QStringLiteral("Not enough memory for a GIF frame of %1 x %2 pixels").arg(item.Width).arg(item.Height));
    img.setColorTable(dibPalette(item.ColorTable, 1 << bitCount));
    if (bitCount == 1 || frame.Interlaced || !item.CodeStream)
        img.fill(0); // otherwise the decoder writes or clears every row
    if (item.CodeStream) {
        TDibHeader h;
        h.Width = item.Width;
        h.Height = item.Height;
        h.BitCount = bitCount == 1 ? 1 : 8; // a 4-bit frame keeps one byte per index in memory
        h.TopDown = true;
        Q_ASSERT(h.RowBytes() == img.bytesPerLine());
        bool corrupted = false;
        DecodeLZW(*item.CodeStream, h, frame.Interlaced, progressOf(frame.Owner), corrupted, img.bits(),
                  item.ColorBits, frame.Owner ? frame.Owner->TolerantRead : true);
        if (corrupted)
            frame.Corrupted = true;
    }
    return img;
}

// ---------------------------------------------------------------- encoding

namespace {

// Encodes palette pixels into the frame: colour table, code data, global table, sizes.
void encodePixels(TGIFFrame& frame, const TDibHeader& h, const uint8_t* pixels, const QVector<QRgb>& palette)
{
    if (h.Width > 65535 || h.Height > 65535)
        encodingError();
    frame.Interlaced = false;
    frame.TransparentIndex = -1; // new indices: the transparent colour decides
    TGIFItem& item = *frame.Encoded;
    const int count = std::min<int>(256, int(palette.size()));
    item.ColorTable.Count = count;
    for (int i = 0; i < count; ++i) {
        item.ColorTable.Colors[i][0] = uint8_t(qRed(palette[i]));
        item.ColorTable.Colors[i][1] = uint8_t(qGreen(palette[i]));
        item.ColorTable.Colors[i][2] = uint8_t(qBlue(palette[i]));
    }
    if (!item.CodeStream)
        item.CodeStream = std::make_unique<QByteArray>();
    item.CodeStream->clear();
    EncodeLZW(*item.CodeStream, h, false, progressOf(frame.Owner), pixels);
    item.ColorBits = uint8_t(bitsFor(count));
    if (TGIFImage* owner = frame.Owner) {
        TGIFData& data = *owner->SharedData;
        if (data.GlobalColors.Count == 0) {
            data.GlobalColors = item.ColorTable;
            data.TableBits = item.ColorBits;
            frame.OwnColorTable = false;
        } else {
            frame.OwnColorTable = true;
        }
    }
    item.Width = h.Width;
    item.Height = h.Height;
    if (TGIFImage* owner = frame.Owner) {
        owner->CanvasWidth = uint16_t(std::clamp<qint64>(
            std::max<qint64>(owner->CanvasWidth, qint64(h.Width) + frame.Origin.x()), 0, 65535));
        owner->CanvasHeight = uint16_t(std::clamp<qint64>(
            std::max<qint64>(owner->CanvasHeight, qint64(h.Height) + frame.Origin.y()), 0, 65535));
    }
}

} // namespace

void EncodeFromDIB(TGIFFrame& frame, const QByteArray& bmp)
{
    if (bmp.size() < 54)
        encodingError();
    auto u32 = [&](int at) {
        return quint32(uint8_t(bmp[at])) | (quint32(uint8_t(bmp[at + 1])) << 8) |
               (quint32(uint8_t(bmp[at + 2])) << 16) | (quint32(uint8_t(bmp[at + 3])) << 24);
    };
    const int bitCount = uint8_t(bmp[28]) | (uint8_t(bmp[29]) << 8);
    const int colours = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
    if (!colours)
        encodingError();
    const qint64 width = qint32(u32(18)), height = qint32(u32(22));
    if (width < 0 || height < 0 || width > 65535 || height > 65535)
        encodingError();
    TDibHeader h;
    h.Width = int(width);
    h.Height = int(height);
    h.BitCount = bitCount;
    const qint64 offset = u32(10);
    if (54 + 4 * qint64(colours) > bmp.size() || offset + h.RowBytes() * height > bmp.size())
        encodingError();
    QVector<QRgb> palette(colours);
    for (int i = 0; i < colours; ++i)
        palette[i] = qRgb(uint8_t(bmp[54 + 4 * i + 2]), uint8_t(bmp[54 + 4 * i + 1]), uint8_t(bmp[54 + 4 * i]));
    encodePixels(frame, h, reinterpret_cast<const uint8_t*>(bmp.constData() + offset), palette);
}

void EncodeBitmap(TGIFFrame& frame)
{
    TBitmap* bmp = frame.Bitmap.get();
    if (!bmp || bmp->Empty())
        noData();
    if (bmp->Width() > 65535 || bmp->Height() > 65535)
        encodingError();
    QByteArray dib;
    const TPixelFormat pf = bmp->PixelFormat();
    const QImage& img = bmp->Image();
    if ((pf == TPixelFormat::pf8bit && img.format() == QImage::Format_Indexed8) ||
        (pf == TPixelFormat::pf1bit && img.format() == QImage::Format_Mono)) {
        // The bitmap's rows already have the BMP row layout (top-down): no copy needed.
        TDibHeader h;
        h.Width = img.width();
        h.Height = img.height();
        h.BitCount = pf == TPixelFormat::pf1bit ? 1 : 8;
        h.TopDown = true;
        QVector<QRgb> palette = img.colorTable();
        palette.resize(pf == TPixelFormat::pf1bit ? 2 : 256, qRgb(0, 0, 0));
        encodePixels(frame, h, img.constBits(), palette);
        return;
    }
    if (pf == TPixelFormat::pf1bit || pf == TPixelFormat::pf4bit || pf == TPixelFormat::pf8bit) {
        dib = bmp->SaveToBmp();
    } else {
        dib = BitmapToPaletteStream(*bmp, TPixelFormat::pf8bit, frame.Grayscale ? rmGray : DefaultReduction);
        if (frame.Grayscale)
            frame.Grayscale = true;
    }
    EncodeFromDIB(frame, dib);
}

void UpdateGraphicControl(TGIFFrame& frame)
{
    TExtension* gce = nullptr;
    for (auto it = frame.Extensions.rbegin(); it != frame.Extensions.rend(); ++it)
        if ((*it)->Kind == ekGraphicControl) {
            gce = it->get();
            break;
        }
    if (!gce && (frame.DelayMs > 0 || frame.TransparentColor != clNone || frame.DisposalMode != 0)) {
        frame.Extensions.push_back(newGraphicControl());
        gce = frame.Extensions.back().get();
    }
    if (gce) {
        // A delay field above 6553 (1/100 s) does not fit the milliseconds: it stays as read
        // while the frame's delay is still the one read from it.
        const int stored = gce->Header[2] | (gce->Header[3] << 8);
        if (uint16_t(stored * 10) != frame.DelayMs) {
            const int delay = frame.DelayMs / 10;
            gce->Header[2] = uint8_t(delay & 0xFF);
            gce->Header[3] = uint8_t(delay >> 8);
        }
        int index = frame.TransparentIndexAsRead();
        if (index < 0 && frame.TransparentColor != clNone) {
            const TGIFColorTable& t = frame.Encoded->ColorTable;
            const TColor want = ColorToRGB(frame.TransparentColor);
            for (int i = 0; i < t.Count; ++i)
                if (t.Color(i) == want) {
                    index = i;
                    break;
                }
        }
        if (index >= 0) {
            gce->Header[4] = uint8_t(index);
            gce->Header[1] |= 1;
        } else {
            gce->Header[1] &= uint8_t(~1);
        }
        gce->Header[1] = uint8_t((gce->Header[1] & ~0x1C) | ((frame.DisposalMode & 7) << 2));
    }
    for (int i = int(frame.Extensions.size()) - 1; i >= 0; --i) {
        TExtension& e = *frame.Extensions[size_t(i)];
        if (e.Kind == ekComment && (!e.SubBlocks || e.SubBlocks->isEmpty()))
            frame.Extensions.erase(frame.Extensions.begin() + i);
    }
    if (!frame.Extensions.empty() && frame.Owner)
        frame.Owner->FormatVersion = 2;
}

// ---------------------------------------------------------------- reading and writing

void ReadGIF(TGIFImage& image, qint64 count, QIODevice& source, bool decodeFirst)
{
    image.NewImage();
    if (count < 0)
        streamReadError();
    // The source must hold the announced bytes: checked before anything is allocated.
    const qint64 available = source.isSequential() ? source.bytesAvailable() : source.size() - source.pos();
    if (count > available)
        streamReadError();
    QByteArray data = count > 0 ? source.read(count) : QByteArray();
    if (data.size() != count)
        streamReadError();
    Reader r{reinterpret_cast<const uint8_t*>(data.constData()), data.size()};
    if (count > 0) {
        uint8_t header[6];
        r.read(header, 6);
        auto upper = [](uint8_t c) { return c >= 'a' && c <= 'z' ? uint8_t(c - 32) : c; };
        char sig[7];
        for (int i = 0; i < 6; ++i)
            sig[i] = char(upper(header[i]));
        sig[6] = 0;
        if (std::memcmp(sig, "GIF87A", 6) == 0)
            image.FormatVersion = 1;
        else if (std::memcmp(sig, "GIF89A", 6) == 0)
            image.FormatVersion = 2;
        else
            gifError(QStringLiteral("Unknown GIF version"));
        uint8_t lsd[7];
        r.read(lsd, 7);
        TGIFData& shared = *image.SharedData;
        image.CanvasWidth = uint16_t(lsd[0] | (lsd[1] << 8));
        image.CanvasHeight = uint16_t(lsd[2] | (lsd[3] << 8));
        shared.AspectRatio = lsd[6];
        shared.TableBits = uint8_t((lsd[4] & 7) + 1);
        shared.ColorResolution = uint8_t(((lsd[4] & 0x70) >> 4) + 1);
        if (lsd[4] & 0x80) {
            readColorTable(r, shared.GlobalColors, 1 << shared.TableBits, false);
            if (lsd[5] < shared.GlobalColors.Count)
                image.BackColor = shared.GlobalColors.Color(lsd[5]);
        }
        int byte = r.nextNonZero();
        while (byte != 0 && byte != 0x3B && !r.atEnd()) {
            TExtensionList run = readExtensions(image, byte, r);
            if (byte == 0x2C) {
                auto frame = std::make_unique<TGIFFrame>(&image);
                if (shared.GlobalColors.Count > 0)
                    frame->Encoded->ColorBits = uint8_t(ColorBitsOf(shared.GlobalColors.Count));
                frame->Extensions = std::move(run);
                // Appended once read: a failed read keeps only the whole frames before it.
                readFrame(image, *frame, r);
                image.FrameList.push_back(std::move(frame));
                byte = r.atEnd() ? 0x3B : r.nextNonZero();
                if (r.atEnd() && byte == 0)
                    byte = 0x3B;
                if (byte != 0x21 && byte != 0x2C && byte != 0x3B)
                    byte = 0;
            } else if (shared.Comment.isEmpty() && !run.empty()) {
                for (const auto& e : run) {
                    if (e->Kind != ekComment || !e->SubBlocks)
                        continue;
                    // One separator line between comment blocks; the sub-blocks of one block
                    // are its lines (a long comment is cut into several of them).
                    if (!shared.Comment.isEmpty())
                        shared.Comment.append(QByteArray("\r\n\r\n"));
                    shared.Comment.append(*e->SubBlocks);
                }
            } else if (byte != 0 && byte != 0x3B) {
                streamReadError();
            }
        }
    }
    if (!image.FrameList.empty()) {
        image.ActiveFrame = 0;
        if (decodeFirst)
            image.FrameBitmap();
    }
    image.PaletteModified = true;
    image.Changed();
}

QByteArray WriteGIFBytes(TGIFImage& image)
{
    if (image.FrameList.empty())
        noData();
    image.EncodeFrames();
    TGIFData& shared = *image.SharedData;
    QByteArray out;
    qint64 total = 2048;
    for (auto& f : image.FrameList)
        total += f->Encoded->CodeStream->size() + 1024;
    out.reserve(int(std::min<qint64>(total, 1 << 30)));
    if (!shared.Comment.isEmpty())
        image.FormatVersion = 2;
    out.append(image.FormatVersion == 2 ? "GIF89a" : "GIF87a", 6);
    image.UpdateCanvasSize();
    for (auto& f : image.FrameList) {
        if (f->Encoded->Width > 65535 || f->Encoded->Height > 65535 || f->Origin.x() < 0 || f->Origin.y() < 0 ||
            f->Origin.x() > 65535 || f->Origin.y() > 65535 || qint64(f->Width()) + f->Origin.x() > 65535 ||
            qint64(f->Height()) + f->Origin.y() > 65535)
            encodingError();
    }
    put16(out, image.CanvasWidth);
    put16(out, image.CanvasHeight);
    const TGIFColorTable& global = shared.GlobalColors;
    if (global.Count > 0) {
        const int bits = ColorBitsOf(global.Count);
        const int tableBits = std::clamp<int>(shared.TableBits, 1, 8);
        out.append(char(0x80 + ((bits - 1) << 4) + (tableBits - 1)));
        int background = 0;
        if (image.BackColor != clNone) {
            const TColor want = ColorToRGB(image.BackColor);
            for (int i = 0; i < global.Count; ++i)
                if (global.Color(i) == want) {
                    background = i;
                    break;
                }
        }
        out.append(char(background));
    } else {
        out.append(char(0));
        out.append(char(0));
    }
    out.append(char(shared.AspectRatio));
    if (global.Count > 0)
        putColorTable(out, global, global.Count);
    if (image.LoopEnabled && image.FrameList.size() > 1) {
        out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
        put16(out, image.LoopCount);
        out.append(char(0));
    }
    for (auto& f : image.FrameList) {
        for (const auto& e : f->Extensions) {
            static const uint8_t labels[4] = {0xF9, 0x01, 0xFF, 0xFE};
            out.append(char(0x21));
            out.append(char(labels[e->Kind & 3]));
            switch (e->Kind) {
            case ekGraphicControl: out.append(reinterpret_cast<const char*>(e->Header), 6); break;
            case ekPlainText: out.append(reinterpret_cast<const char*>(e->Header), 13); break;
            case ekApplication: out.append(reinterpret_cast<const char*>(e->Header), 12); break;
            default: break;
            }
            if (e->Kind != ekGraphicControl)
                putSubBlocks(out, e->SubBlocks ? *e->SubBlocks : QList<QByteArray>());
        }
        TGIFItem& item = *f->Encoded;
        out.append(char(0x2C));
        put16(out, f->Origin.x());
        put16(out, f->Origin.y());
        put16(out, item.Width);
        put16(out, item.Height);
        int flags = 0;
        if (f->OwnColorTable) {
            item.ColorBits = uint8_t(bitsFor(item.ColorTable.Count));
            flags = 0x80 + item.ColorBits - 1;
        }
        if (f->Interlaced)
            flags |= 0x40;
        out.append(char(flags));
        if (f->OwnColorTable)
            putColorTable(out, item.ColorTable, 1 << item.ColorBits);
        const QByteArray& code = *item.CodeStream;
        out.append(code);
        // Code data cut short in the source still get their terminator (the bytes stay as read).
        if (!hasTerminator(code))
            out.append(char(0));
    }
    if (!shared.Comment.isEmpty()) {
        out.append("\x21\xFE", 2);
        putSubBlocks(out, shared.Comment);
    }
    out.append(char(0x3B));
    return out;
}

void WriteGIF(TGIFImage& image, QIODevice& dest, bool sizePrefix)
{
    QByteArray out = WriteGIFBytes(image);
    if (sizePrefix) {
        const quint32 n = quint32(out.size());
        const char prefix[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
        out.prepend(prefix, 4);
    }
    if (dest.write(out) != out.size())
        throw platform::Exception(QStringLiteral("Stream write error"));
}

// ---------------------------------------------------------------- TGIFImage

TGIFImage::TGIFImage()
{
    NewImage();
    transparent_ = true; // frames' transparent colours are drawn unless a user turns this off
}

TGIFImage::~TGIFImage()
{
    OnProgress = nullptr;
    FrameList.clear();
    if (SharedData)
        SharedData->Release();
}

void TGIFImage::NewImage()
{
    auto* data = new TGIFData;
    data->Reference();
    if (SharedData)
        SharedData->Release();
    SharedData = data;
    FrameList.clear();
    FormatVersion = 0;
    ActiveFrame = -1;
    BackColor = clNone;
    LoopCount = 1;
    LoopEnabled = false;
}

TGIFFrame* TGIFImage::ActiveFrameObject()
{
    if (ActiveFrame < 0 || ActiveFrame >= FrameCount())
        return nullptr;
    return Frame(ActiveFrame);
}

int TGIFImage::AddFrame(TGraphic* graphic)
{
    FrameList.push_back(std::make_unique<TGIFFrame>(this));
    ActiveFrame = FrameCount() - 1;
    FrameList.back()->Assign(graphic);
    if (FormatVersion == 0)
        FormatVersion = 1;
    if (FrameCount() > 1)
        FormatVersion = 2;
    return ActiveFrame;
}

void TGIFImage::Assign(TPersistent* source)
{
    if (source == this)
        return;
    if (!source) {
        NewImage();
        Changed();
        return;
    }
    if (auto* g = dynamic_cast<TGIFImage*>(source)) {
        g->SharedData->Reference();
        SharedData->Release();
        SharedData = g->SharedData;
        FormatVersion = g->FormatVersion;
        BackColor = g->BackColor;
        LoopCount = g->LoopCount;
        LoopEnabled = g->LoopEnabled;
        FrameList.clear();
        // The canvas is copied below: no walk over the frames copied so far after each one.
        copyingFrames_ = true;
        struct CopyingFrames {
            bool& flag;
            ~CopyingFrames() { flag = false; }
        } copying{copyingFrames_};
        for (auto& src : g->FrameList) {
            auto f = std::make_unique<TGIFFrame>(this);
            f->Assign(src.get());
            f->OwnColorTable = src->OwnColorTable;
            FrameList.push_back(std::move(f));
        }
        CanvasWidth = g->CanvasWidth;
        CanvasHeight = g->CanvasHeight;
        ActiveFrame = g->ActiveFrame;
        Changed();
        return;
    }
    if (auto* f = dynamic_cast<TGIFFrame*>(source)) {
        // The source may belong to this picture: keep it alive while the picture is reset.
        std::unique_ptr<TGIFFrame> keep;
        if (f->Owner == this) {
            for (auto& own : FrameList)
                if (own.get() == f)
                    keep = std::move(own);
        }
        TGIFData* from = f->Owner ? f->Owner->SharedData : nullptr;
        if (from)
            from->Reference();
        NewImage();
        if (from) {
            SharedData->AspectRatio = from->AspectRatio;
            SharedData->TableBits = from->TableBits;
            SharedData->ColorResolution = from->ColorResolution;
            SharedData->GlobalColors = from->GlobalColors;
            from->Release();
        }
        FrameList.push_back(std::make_unique<TGIFFrame>(this));
        ActiveFrame = FrameCount() - 1;
        FrameList.back()->Assign(f);
        if (FormatVersion == 0)
            FormatVersion = 1;
        Changed();
        return;
    }
    if (dynamic_cast<TBitmap*>(source)) {
        NewImage();
        AddFrame(static_cast<TBitmap*>(source));
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TGIFImage::AssignTo(TPersistent* dest)
{
    if (auto* g = dynamic_cast<TGIFImage*>(dest)) {
        g->Assign(this);
        return;
    }
    if (auto* graphic = dynamic_cast<TGraphic*>(dest)) {
        if (Empty()) {
            graphic->Assign(nullptr);
        } else if (TGIFFrame* f = ActiveFrameObject()) {
            TPersistent::CallAssignTo(f, dest);
        } else {
            graphic->Assign(FrameBitmap());
        }
        return;
    }
    TGraphic::AssignTo(dest);
}

void TGIFImage::Draw(TCanvas& canvas, const QRect& rect)
{
    if (TGIFFrame* f = ActiveFrameObject())
        f->Draw(canvas, rect, GetTransparent());
}

bool TGIFImage::Equals(TGraphic* graphic)
{
    auto* g = dynamic_cast<TGIFImage*>(graphic);
    return g && g->SharedData == SharedData;
}

bool TGIFImage::Empty()
{
    if (FrameList.empty())
        return true;
    TGIFFrame* f = ActiveFrameObject();
    if (!f)
        f = Frame(0);
    return (!f->Bitmap || f->Bitmap->Empty()) && (!f->Encoded->CodeStream || f->Encoded->CodeStream->isEmpty());
}

int TGIFImage::Width()
{
    if (Empty())
        return 0;
    TGIFFrame* f = ActiveFrameObject();
    return f ? f->Width() : 0;
}

int TGIFImage::Height()
{
    if (Empty())
        return 0;
    TGIFFrame* f = ActiveFrameObject();
    return f ? f->Height() : 0;
}

void TGIFImage::SetWidth(int) { gifError(QStringLiteral("Cannot change the Size of a GIF image")); }
void TGIFImage::SetHeight(int) { gifError(QStringLiteral("Cannot change the Size of a GIF image")); }

QVector<QRgb> TGIFImage::GetPalette()
{
    if (FrameList.empty())
        return {};
    return FrameBitmap()->GetPalette();
}

bool TGIFImage::GetTransparent()
{
    if (!transparent_)
        return false;
    for (auto& f : FrameList)
        if (f->TransparentColor != clNone || f->TransparentIndexAsRead() >= 0)
            return true;
    return false;
}

TBitmap* TGIFImage::FrameBitmap()
{
    if (FrameList.empty()) {
        ActiveFrame = 0;
        TBitmap empty;
        Assign(&empty);
        return Frame(0)->GetBitmap();
    }
    TGIFFrame* f = ActiveFrameObject();
    return (f ? f : Frame(0))->GetBitmap();
}

qint64 TGIFImage::DecodedBytes() const
{
    qint64 total = 0;
    for (const auto& f : FrameList)
        if (f->holdsDecodedPixels())
            total += f->Bitmap->Image().sizeInBytes();
    return total;
}

void TGIFImage::makeRoomFor(const TGIFFrame& frame)
{
    const TGIFItem& item = *frame.Encoded;
    const qint64 rowBytes = bitCountFor(item.ColorBits) == 1 ? (qint64(item.Width) + 31) / 32 * 4
                                                             : (qint64(item.Width) + 3) / 4 * 4;
    const qint64 need = rowBytes * std::max(item.Height, 0);
    for (;;) {
        qint64 total = 0;
        TGIFFrame* oldest = nullptr;
        for (const auto& f : FrameList) {
            if (f.get() == &frame || !f->holdsDecodedPixels())
                continue;
            total += f->Bitmap->Image().sizeInBytes();
            if (!oldest || f->lastUse_ < oldest->lastUse_)
                oldest = f.get();
        }
        if (!oldest || total + need <= DecodedBudget)
            return;
        oldest->Bitmap->SetImage(QImage(), oldest->Bitmap->PixelFormat());
    }
}

void TGIFImage::UpdateCanvasSize()
{
    if (copyingFrames_)
        return;
    qint64 w = 0, h = 0;
    for (auto& f : FrameList) {
        w = std::max<qint64>(w, qint64(f->Width()) + f->Origin.x());
        h = std::max<qint64>(h, qint64(f->Height()) + f->Origin.y());
    }
    CanvasWidth = uint16_t(std::clamp<qint64>(w, 0, 65535));
    CanvasHeight = uint16_t(std::clamp<qint64>(h, 0, 65535));
}

void TGIFImage::EncodeFrames()
{
    for (auto& f : FrameList) {
        if (!f->Encoded->CodeStream || f->Encoded->CodeStream->isEmpty()) {
            f->Encoded->CodeStream.reset();
            EncodeBitmap(*f);
        }
    }
    for (auto& f : FrameList)
        UpdateGraphicControl(*f);
}

void TGIFImage::LoadFromStream(QIODevice& stream)
{
    const qint64 count = stream.isSequential() ? stream.bytesAvailable() : stream.size() - stream.pos();
    ReadGIF(*this, count, stream, true);
}

void TGIFImage::SaveToStream(QIODevice& stream) { WriteGIF(*this, stream, false); }

static qint64 readSizePrefix(QIODevice& stream)
{
    char b[4];
    if (stream.read(b, 4) != 4)
        streamReadError();
    return qint64(quint32(uint8_t(b[0])) | (quint32(uint8_t(b[1])) << 8) | (quint32(uint8_t(b[2])) << 16) |
                  (quint32(uint8_t(b[3])) << 24));
}

void TGIFImage::ReadData(QIODevice& stream) { ReadGIF(*this, readSizePrefix(stream), stream, true); }

void TGIFImage::WriteData(QIODevice& stream) { WriteGIF(*this, stream, true); }

void TGIFImage::SaveToClipboardFormat(QMimeData& data)
{
    if (FrameList.empty())
        return;
    Frame(0)->GetBitmap()->SaveToClipboardFormat(data);
    for (auto& f : FrameList)
        if (!f->Encoded->CodeStream || f->Encoded->CodeStream->isEmpty())
            return;
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    WriteGIF(*this, b, true);
    data.setData(GifClipboardFormat, bytes);
}

void TGIFImage::LoadFromClipboardFormat(const QMimeData& data)
{
    if (data.hasFormat(GifClipboardFormat)) {
        QByteArray bytes = data.data(GifClipboardFormat);
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        ReadGIF(*this, readSizePrefix(b), b, false);
        if (!FrameList.empty()) {
            ActiveFrame = 0;
            if (data.hasImage()) {
                auto bmp = std::make_unique<TBitmap>();
                bmp->LoadFromClipboardFormat(data);
                Frame(0)->Bitmap = std::move(bmp);
            }
        }
        return;
    }
    TBitmap bmp;
    bmp.LoadFromClipboardFormat(data);
    Assign(&bmp);
}

// ---------------------------------------------------------------- registration

void RegisterGifPicture()
{
    GifClipboardFormat = RegisterClipboardFormatName(QStringLiteral("GIF Image"));
    auto create = [] { return std::unique_ptr<TGraphic>(new TGIFImage); };
    RegisterGraphicClass(QStringLiteral("TGIFImage"), create);
    RegisterFileFormat(QStringLiteral("gif"), QStringLiteral("CompuServe GIF Image"), QStringLiteral("TGIFImage"),
                       create);
    RegisterClipboardFormat(GifClipboardFormat, QStringLiteral("TGIFImage"), create);
}

void UnregisterGifPicture() { UnregisterGraphicClass(QStringLiteral("TGIFImage")); }

} // namespace graphics
