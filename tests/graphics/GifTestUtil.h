#pragma once
// Helpers shared by the GIF tests: loading, per-frame indices and colours, a browser-style
// compositor, and a small GIF byte builder for hand-made files.
#include "graphics/GifPicture.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QImage>

#include <memory>
#include <vector>

namespace giftest {

using graphics::TGIFFrame;
using graphics::TGIFImage;

std::unique_ptr<TGIFImage> loadGif(const QByteArray& data, bool decodeFirst = true);
std::unique_ptr<TGIFImage> loadGifFile(const QString& path);
QByteArray saveGif(TGIFImage& image);

// The frame's palette indices, one byte per pixel, rows top-down.
std::vector<uint8_t> frameIndices(TGIFFrame& frame);
// The frame as RGBA bytes (transparent index: alpha 0, colour kept; other pixels opaque).
QByteArray frameRgba(TGIFFrame& frame);

// Browser-style composition of every frame (disposal 2 clears to transparent, 3 restores the
// previous canvas); returns one RGBA image per frame.
std::vector<QImage> compositeFrames(TGIFImage& image);

// Bytes of a GIF assembled by hand.
struct GifBuilder {
    QByteArray bytes;
    GifBuilder& raw(const QByteArray& b)
    {
        bytes += b;
        return *this;
    }
    GifBuilder& u8(int v)
    {
        bytes += char(v);
        return *this;
    }
    GifBuilder& u16(int v)
    {
        bytes += char(v & 0xFF);
        bytes += char((v >> 8) & 0xFF);
        return *this;
    }
    // Header and screen descriptor with a global table of `colors` entries (0 = none).
    GifBuilder& header(const char* version, int w, int h, int colors, int background = 0);
    GifBuilder& graphicControl(int flags, int delay, int transparent);
    GifBuilder& comment(const QList<QByteArray>& blocks);
    GifBuilder& loop(int count, const char* id = "NETSCAPE2.0");
    // Image descriptor (+ local table when localColors > 0) and image data from codes.
    GifBuilder& image(int left, int top, int w, int h, int flags, int localColors = 0);
    // Packs `codes` at growing widths from codeSize + 1 exactly as an encoder would and
    // appends code size, sub-blocks and terminator.
    GifBuilder& codes(int codeSize, const std::vector<int>& codes, bool terminator = true);
    GifBuilder& trailer() { return u8(0x3B); }
};

// Encodes `codes` the way they are sent (widths follow the decoder's table growth).
QByteArray packCodes(int codeSize, const std::vector<int>& codes);

} // namespace giftest
