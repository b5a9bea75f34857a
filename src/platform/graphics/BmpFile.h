#pragma once
#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace platform::graphics {

// The pixel formats of the class library's bitmap.
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

int BitsOfPixelFormat(TPixelFormat pf); // pfDevice counts as 32

// The QImage layout that holds each format: pf1bit Format_Mono, pf4bit and pf8bit
// Format_Indexed8 (pf4bit with at most 16 colours), pf24bit Format_BGR888 (the BMP byte order),
// everything else Format_RGB32.
QImage::Format ImageFormatFor(TPixelFormat pf);
// Converts `image` to the layout of `pf` (nearest colours for a palette format).
QImage ConvertImage(const QImage& image, TPixelFormat pf);

struct BmpImage {
    QImage image;
    TPixelFormat format = TPixelFormat::pfDevice;
};

// Reads a BMP file image ("BM", info header of 40 bytes or more, or the 12-byte core
// header; 1, 4, 8, 16, 24 or 32 bits; uncompressed or bit fields). Every size and offset is
// checked against `size`; a damaged or unsupported image raises EInvalidGraphic
// "Bitmap image is not valid".
BmpImage ReadBmp(const char* data, qint64 size);
inline BmpImage ReadBmp(const QByteArray& data) { return ReadBmp(data.constData(), data.size()); }

// Writes a BMP file image: 14-byte file header, 40-byte info header, a palette of
// 2^bits entries for 1, 4 and 8 bits, then the rows bottom-up padded to 4 bytes.
QByteArray WriteBmp(const QImage& image, TPixelFormat format);

} // namespace platform::graphics
