#include "GifTestUtil.h"

#include <QPainter>

namespace giftest {

std::unique_ptr<TGIFImage> loadGif(const QByteArray& data, bool decodeFirst)
{
    auto g = std::make_unique<TGIFImage>();
    QByteArray copy = data;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    graphics::ReadGIF(*g, copy.size(), b, decodeFirst);
    return g;
}

std::unique_ptr<TGIFImage> loadGifFile(const QString& path)
{
    auto g = std::make_unique<TGIFImage>();
    g->LoadFromFile(path);
    return g;
}

QByteArray saveGif(TGIFImage& image) { return image.SaveToBytes(); }

std::vector<uint8_t> frameIndices(TGIFFrame& frame)
{
    QImage img = graphics::DecodeFrameImage(frame);
    if (img.isNull())
        return {};
    if (img.format() != QImage::Format_Indexed8)
        img = img.convertToFormat(QImage::Format_Indexed8, img.colorTable());
    std::vector<uint8_t> out;
    out.reserve(size_t(img.width() * img.height()));
    for (int y = 0; y < img.height(); ++y)
        out.insert(out.end(), img.constScanLine(y), img.constScanLine(y) + img.width());
    return out;
}

static int transparentIndex(TGIFFrame& frame)
{
    for (const auto& e : frame.Extensions)
        if (e->Kind == graphics::ekGraphicControl && (e->Header[1] & 1))
            return e->Header[4];
    return -1;
}

QByteArray frameRgba(TGIFFrame& frame)
{
    std::vector<uint8_t> idx = frameIndices(frame);
    const auto& t = frame.Encoded->ColorTable;
    const int trans = transparentIndex(frame);
    QByteArray out(int(idx.size() * 4), '\0');
    for (size_t i = 0; i < idx.size(); ++i) {
        if (idx[i] >= t.Count)
            continue;
        out[int(4 * i)] = char(t.Colors[idx[i]][0]);
        out[int(4 * i + 1)] = char(t.Colors[idx[i]][1]);
        out[int(4 * i + 2)] = char(t.Colors[idx[i]][2]);
        out[int(4 * i + 3)] = char(idx[i] == trans ? 0 : 0xFF);
    }
    return out;
}

std::vector<QImage> compositeFrames(TGIFImage& image)
{
    std::vector<QImage> result;
    QImage canvas(image.CanvasWidth, image.CanvasHeight, QImage::Format_ARGB32);
    canvas.fill(0);
    for (int i = 0; i < image.FrameCount(); ++i) {
        TGIFFrame& f = *image.Frame(i);
        QImage saved = canvas.copy();
        std::vector<uint8_t> idx = frameIndices(f);
        const auto& t = f.Encoded->ColorTable;
        const int trans = transparentIndex(f);
        const int w = f.Encoded->Width, h = f.Encoded->Height;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int cx = f.Origin.x() + x, cy = f.Origin.y() + y;
                if (!canvas.valid(cx, cy))
                    continue;
                uint8_t v = idx[size_t(y) * size_t(w) + size_t(x)];
                if (v == trans)
                    continue;
                QRgb c = v < t.Count ? qRgb(t.Colors[v][0], t.Colors[v][1], t.Colors[v][2]) : qRgb(0, 0, 0);
                canvas.setPixel(cx, cy, c);
            }
        result.push_back(canvas.copy());
        if (f.DisposalMode == 2) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (canvas.valid(f.Origin.x() + x, f.Origin.y() + y))
                        canvas.setPixel(f.Origin.x() + x, f.Origin.y() + y, 0);
        } else if (f.DisposalMode == 3) {
            canvas = saved;
        }
    }
    return result;
}

GifBuilder& GifBuilder::header(const char* version, int w, int h, int colors, int background)
{
    raw(QByteArray(version));
    u16(w).u16(h);
    if (colors > 0) {
        int bits = 1;
        while ((1 << bits) < colors)
            ++bits;
        u8(0x80 | ((bits - 1) << 4) | (bits - 1)).u8(background).u8(0);
        for (int i = 0; i < (1 << bits); ++i)
            u8(i * 40 & 0xFF).u8(i * 80 & 0xFF).u8(255 - i);
    } else {
        u8(0).u8(0).u8(0);
    }
    return *this;
}

GifBuilder& GifBuilder::graphicControl(int flags, int delay, int transparent)
{
    return u8(0x21).u8(0xF9).u8(4).u8(flags).u16(delay).u8(transparent).u8(0);
}

GifBuilder& GifBuilder::comment(const QList<QByteArray>& blocks)
{
    u8(0x21).u8(0xFE);
    for (const auto& b : blocks)
        u8(int(b.size())).raw(b);
    return u8(0);
}

GifBuilder& GifBuilder::loop(int count, const char* id)
{
    u8(0x21).u8(0xFF).u8(11).raw(QByteArray(id, 11));
    return u8(3).u8(1).u16(count).u8(0);
}

GifBuilder& GifBuilder::image(int left, int top, int w, int h, int flags, int localColors)
{
    u8(0x2C).u16(left).u16(top).u16(w).u16(h);
    if (localColors > 0) {
        int bits = 1;
        while ((1 << bits) < localColors)
            ++bits;
        u8(flags | 0x80 | (bits - 1));
        for (int i = 0; i < (1 << bits); ++i)
            u8(255 - i).u8(i).u8(i * 3 & 0xFF);
    } else {
        u8(flags);
    }
    return *this;
}

QByteArray packCodes(int codeSize, const std::vector<int>& codes)
{
    QByteArray data;
    uint64_t acc = 0;
    int bits = 0;
    const int clear = 1 << codeSize;
    int width = codeSize + 1, next = clear + 2;
    bool first = true;
    for (int c : codes) {
        acc |= uint64_t(c) << bits;
        bits += width;
        while (bits >= 8) {
            data += char(acc & 0xFF);
            acc >>= 8;
            bits -= 8;
        }
        if (c == clear) {
            width = codeSize + 1;
            next = clear + 2;
            first = true;
            continue;
        }
        if (first) {
            first = false;
            continue;
        }
        if (next < 4096) {
            ++next;
            if (next == (1 << width) && width < 12)
                ++width;
        }
    }
    if (bits > 0)
        data += char(acc & 0xFF);
    return data;
}

GifBuilder& GifBuilder::codes(int codeSize, const std::vector<int>& list, bool terminator)
{
    QByteArray data = packCodes(codeSize, list);
    u8(codeSize);
    for (int p = 0; p < data.size(); p += 255) {
        QByteArray part = data.mid(p, 255);
        u8(int(part.size())).raw(part);
    }
    if (terminator)
        u8(0);
    return *this;
}

} // namespace giftest
