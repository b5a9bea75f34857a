#pragma once
// LZW coding of GIF image data: variable-length codes from the minimum code size + 1 up to
// 12 bits, clear and end codes, little-endian bit packing, sub-blocks of at most 255 bytes.
#include "platform/graphics/Graphic.h"

#include <QByteArray>

#include <cstdint>
#include <functional>

namespace graphics {

using platform::graphics::TProgressStage;

// The fields of a device-independent bitmap header that the coder uses. Pixels are rows
// bottom-up, each padded to a multiple of 4 bytes, 1, 4 or 8 bits per pixel.
struct TDibHeader {
    int Width = 0;
    int Height = 0;
    int BitCount = 8;
    // Rows top-down (a QImage buffer) instead of the bottom-up DIB order.
    bool TopDown = false;
    qint64 RowBytes() const { return ((qint64(BitCount) * Width + 31) / 32) * 4; }
};

using TLzwProgress = std::function<void(TProgressStage stage, int percent, const QString& msg)>;

// Decodes `codeStream` (minimum code size byte, sub-blocks, terminator) into `pixels`
// (header.RowBytes() x Height bytes; zero-filled by the caller unless the rows are 8 bits and
// not interlaced, where the decoder clears what it does not reach). Row 0 of the picture is
// the last row of the buffer; with `interlaced` the rows come in the four GIF passes.
// Pixel values are the codes' literals masked to `colorBits`. Damage sets `corrupted` when
// `tolerant`, else raises EInvalidGraphicOperation ("GIF code size not in range 2 to 9",
// "GIF encoded data is corrupt", "Stream read error" when the data end too early).
// Pixels decoded before a stop stay in the buffer.
void DecodeLZW(const QByteArray& codeStream, const TDibHeader& header, bool interlaced,
               const TLzwProgress& progress, bool& corrupted, uint8_t* pixels, int colorBits, bool tolerant);

// Encodes `pixels` (layout as above) and appends the minimum code size byte, the data
// sub-blocks and the zero terminator to `dest`.
void EncodeLZW(QByteArray& dest, const TDibHeader& header, bool interlaced, const TLzwProgress& progress,
               const uint8_t* pixels);

// The row after `row` in the interlaced order (passes of 8, 8, 4 and 2 rows starting at
// 0, 4, 2 and 1); returns `height` when every row has been visited.
int NextInterlacedRow(int row, int height, int& pass);

} // namespace graphics
