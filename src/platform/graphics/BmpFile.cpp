#include "platform/graphics/BmpFile.h"

#include "platform/graphics/GraphicsErrors.h"

#include <cstring>

namespace platform::graphics {

namespace {

quint32 u32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return quint32(b[0]) | (quint32(b[1]) << 8) | (quint32(b[2]) << 16) | (quint32(b[3]) << 24);
}
quint16 u16(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return quint16(b[0] | (b[1] << 8));
}
void put32(QByteArray& a, quint32 v)
{
    char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    a.append(b, 4);
}
void put16(QByteArray& a, quint16 v)
{
    char b[2] = {char(v), char(v >> 8)};
    a.append(b, 2);
}

[[noreturn]] void invalid() { throw EInvalidGraphic(QString::fromLatin1(SInvalidBitmap)); }

int shiftOf(quint32 mask)
{
    if (!mask)
        return 0;
    int s = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}
int widthOf(quint32 mask)
{
    mask >>= shiftOf(mask);
    int w = 0;
    while (mask & 1) {
        mask >>= 1;
        ++w;
    }
    return w;
}
int scaleTo8(quint32 v, int bits)
{
    if (bits <= 0)
        return 0;
    if (bits >= 8)
        return int(v >> (bits - 8)) & 0xFF;
    quint32 maxv = (1u << bits) - 1;
    return int((v * 255 + maxv / 2) / maxv);
}

// Run-length coded rows (bottom-up) into one index byte per pixel. Pixels the codes skip
// keep index 0; codes past the width are clipped; data that end before the end-of-picture
// code, with rows still missing, are refused.
void decodeRle(const uchar* d, qint64 n, int bitCount, QImage& img)
{
    const qint64 width = img.width(), height = img.height();
    img.fill(0);
    qint64 p = 0, x = 0, y = 0;
    auto put = [&](int v) {
        if (x < width && y < height)
            img.scanLine(int(height - 1 - y))[x] = uchar(v);
        ++x;
    };
    while (y < height) {
        if (n - p < 2)
            invalid();
        const int count = d[p], value = d[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(bitCount == 8 ? value : (i & 1) ? (value & 0x0F) : (value >> 4));
            continue;
        }
        switch (value) {
        case 0: // end of row
            x = 0;
            ++y;
            break;
        case 1: // end of picture
            return;
        case 2: // move right and up
            if (n - p < 2)
                invalid();
            x += d[p];
            y += d[p + 1];
            p += 2;
            break;
        default: { // literal pixels, padded to whole 16-bit words
            const qint64 bytes = bitCount == 8 ? value : (value + 1) / 2;
            if (n - p < bytes)
                invalid();
            for (int i = 0; i < value; ++i)
                put(bitCount == 8 ? d[p + i] : (i & 1) ? (d[p + i / 2] & 0x0F) : (d[p + i / 2] >> 4));
            p += bytes + (bytes & 1);
            break;
        }
        }
    }
}

} // namespace

int BitsOfPixelFormat(TPixelFormat pf)
{
    switch (pf) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit: return 15;
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    default: return 32;
    }
}

QImage::Format ImageFormatFor(TPixelFormat pf)
{
    switch (pf) {
    case TPixelFormat::pf1bit: return QImage::Format_Mono;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return QImage::Format_Indexed8;
    case TPixelFormat::pf24bit: return QImage::Format_BGR888;
    default: return QImage::Format_RGB32;
    }
}

QImage ConvertImage(const QImage& image, TPixelFormat pf)
{
    if (image.isNull())
        return image;
    QImage::Format f = ImageFormatFor(pf);
    if (pf == TPixelFormat::pf4bit) {
        if (image.format() == QImage::Format_Indexed8 && image.colorCount() <= 16)
            return image;
        if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
            return image.convertToFormat(QImage::Format_Indexed8);
        // The 16 colours of the standard VGA palette, nearest colour, no dithering.
        static const QRgb vga[16] = {0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080,
                                     0xff008080, 0xffc0c0c0, 0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00,
                                     0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff};
        QVector<QRgb> table(vga, vga + 16);
        return image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither);
    }
    if (pf == TPixelFormat::pf1bit) {
        if (image.format() == QImage::Format_Mono)
            return image;
        return image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::AvoidDither);
    }
    if (image.format() == f)
        return image;
    if (f == QImage::Format_Indexed8)
        return image.convertToFormat(f, Qt::ThresholdDither | Qt::AvoidDither);
    return image.convertToFormat(f);
}

BmpImage ReadBmp(const char* data, qint64 size)
{
    if (size < 26 || data[0] != 'B' || data[1] != 'M')
        invalid();
    const qint64 offBits = u32(data + 10);
    const char* ih = data + 14;
    const qint64 headerSize = u32(ih);
    qint64 width, height;
    int bitCount;
    quint32 compression = 0, clrUsed = 0;
    int paletteEntrySize = 4;
    if (headerSize == 12) {
        width = u16(ih + 4);
        height = qint16(u16(ih + 6));
        bitCount = u16(ih + 10);
        paletteEntrySize = 3;
    } else {
        if (headerSize < 40 || 14 + headerSize > size)
            invalid();
        width = qint32(u32(ih + 4));
        height = qint32(u32(ih + 8));
        bitCount = u16(ih + 14);
        compression = u32(ih + 16);
        clrUsed = u32(ih + 32);
    }
    bool topDown = height < 0;
    if (topDown)
        height = -height;
    // A bitmap without pixels has nothing to show and no rows to copy.
    if (width <= 0 || height <= 0 || width > 65535 * 4 || height > 65535 * 4)
        invalid();
    // Run-length coding (1: 8 bits, 2: 4 bits) is the default of some writers for palette images.
    const bool rle = (compression == 1 && bitCount == 8) || (compression == 2 && bitCount == 4);
    if (compression != 0 && compression != 3 && !rle)
        invalid();
    if (rle && (topDown || width * height > (qint64(1) << 28)))
        invalid(); // the pixel count is not bounded by the data for these: keep it sane
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        invalid();
    if (compression == 3 && bitCount != 16 && bitCount != 32)
        invalid();
    const qint64 rowBytes = ((qint64(bitCount) * width + 31) / 32) * 4;
    if (rowBytes * height > (qint64(1) << 31))
        invalid();

    quint32 masks[3] = {0, 0, 0};
    qint64 paletteStart = 14 + headerSize;
    if (compression == 3) {
        if (headerSize == 40) {
            if (paletteStart + 12 > size)
                invalid();
            for (int i = 0; i < 3; ++i)
                masks[i] = u32(data + paletteStart + 4 * i);
            paletteStart += 12;
        } else {
            if (headerSize < 52)
                invalid(); // too short to hold the masks
            for (int i = 0; i < 3; ++i)
                masks[i] = u32(ih + 40 + 4 * i);
        }
    } else if (bitCount == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    }

    QVector<QRgb> palette;
    if (bitCount <= 8) {
        qint64 entries = clrUsed ? clrUsed : (qint64(1) << bitCount);
        if (entries > 256)
            entries = 256;
        if (paletteStart + entries * paletteEntrySize > size)
            invalid();
        for (qint64 i = 0; i < entries; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(data + paletteStart + i * paletteEntrySize);
            palette.append(qRgb(p[2], p[1], p[0]));
        }
        while (palette.size() < (1 << bitCount))
            palette.append(qRgb(0, 0, 0));
    }
    if (offBits < 14 + headerSize || offBits > size || (!rle && offBits + rowBytes * height > size))
        invalid();

    BmpImage out;
    switch (bitCount) {
    case 1: out.format = TPixelFormat::pf1bit; break;
    case 4: out.format = TPixelFormat::pf4bit; break;
    case 8: out.format = TPixelFormat::pf8bit; break;
    case 16: out.format = TPixelFormat::pf16bit; break;
    case 24: out.format = TPixelFormat::pf24bit; break;
    default: out.format = TPixelFormat::pf32bit; break;
    }
    QImage img(int(width), int(height), ImageFormatFor(out.format));
    if (img.isNull())
        invalid();
    if (bitCount <= 8)
        img.setColorTable(palette);
    const char* pixels = data + offBits;
    if (rle) {
        decodeRle(reinterpret_cast<const uchar*>(pixels), size - offBits, bitCount, img);
        out.image = img;
        return out;
    }
    int rs = shiftOf(masks[0]), gs = shiftOf(masks[1]), bs = shiftOf(masks[2]);
    int rw = widthOf(masks[0]), gw = widthOf(masks[1]), bw = widthOf(masks[2]);
    for (qint64 y = 0; y < height; ++y) {
        const char* src = pixels + (topDown ? y : height - 1 - y) * rowBytes;
        uchar* dst = img.scanLine(int(y));
        switch (bitCount) {
        case 1:
        case 8:
        case 24: std::memcpy(dst, src, size_t(std::min<qint64>(rowBytes, img.bytesPerLine()))); break;
        case 4:
            for (qint64 x = 0; x < width; ++x) {
                uchar b = uchar(src[x / 2]);
                dst[x] = (x & 1) ? (b & 0x0F) : (b >> 4);
            }
            break;
        case 16:
        case 32: {
            auto* d = reinterpret_cast<QRgb*>(dst);
            for (qint64 x = 0; x < width; ++x) {
                quint32 v = bitCount == 16 ? u16(src + 2 * x) : u32(src + 4 * x);
                if (compression == 0 && bitCount == 32)
                    d[x] = 0xFF000000u | (v & 0xFFFFFF);
                else
                    d[x] = qRgb(scaleTo8((v & masks[0]) >> rs, rw), scaleTo8((v & masks[1]) >> gs, gw),
                                scaleTo8((v & masks[2]) >> bs, bw));
            }
            break;
        }
        }
    }
    if (bitCount == 16)
        out.format = TPixelFormat::pf32bit; // kept as 32-bit pixels; nothing writes 16-bit BMP
    out.image = img;
    return out;
}

QByteArray WriteBmp(const QImage& source, TPixelFormat format)
{
    if (format == TPixelFormat::pfDevice || format == TPixelFormat::pf15bit || format == TPixelFormat::pf16bit ||
        format == TPixelFormat::pfCustom)
        format = TPixelFormat::pf32bit;
    QImage image = ConvertImage(source, format);
    const int bits = BitsOfPixelFormat(format);
    const qint64 width = image.width(), height = image.height();
    const qint64 rowBytes = ((qint64(bits) * width + 31) / 32) * 4;
    const int paletteEntries = bits <= 8 ? (1 << bits) : 0;
    const qint64 offset = 14 + 40 + 4 * qint64(paletteEntries);
    const qint64 imageSize = rowBytes * height;
    QByteArray out;
    out.reserve(int(offset + imageSize));
    out.append("BM", 2);
    put32(out, quint32(offset + imageSize));
    put16(out, 0);
    put16(out, 0);
    put32(out, quint32(offset));
    put32(out, 40);
    put32(out, quint32(width));
    put32(out, quint32(height));
    put16(out, 1);
    put16(out, quint16(bits));
    put32(out, 0);
    put32(out, quint32(imageSize));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    QVector<QRgb> table = image.colorTable();
    for (int i = 0; i < paletteEntries; ++i) {
        QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        char e[4] = {char(qBlue(c)), char(qGreen(c)), char(qRed(c)), 0};
        out.append(e, 4);
    }
    const qint64 start = out.size();
    out.resize(int(start + imageSize));
    char* pixels = out.data() + start;
    std::memset(pixels, 0, size_t(imageSize));
    for (qint64 y = 0; y < height; ++y) {
        char* dst = pixels + (height - 1 - y) * rowBytes;
        const uchar* src = image.constScanLine(int(y));
        switch (bits) {
        case 4:
            for (qint64 x = 0; x < width; ++x) {
                uchar v = src[x] & 0x0F;
                if (x & 1)
                    dst[x / 2] = char(uchar(dst[x / 2]) | v);
                else
                    dst[x / 2] = char(v << 4);
            }
            break;
        case 1: {
            // Bits past the width stay zero.
            std::memcpy(dst, src, size_t((width + 7) / 8));
            if (width % 8)
                dst[width / 8] = char(uchar(dst[width / 8]) & uchar(0xFF << (8 - width % 8)));
            break;
        }
        case 8:
        case 24: std::memcpy(dst, src, size_t(width * (bits / 8))); break;
        default: {
            const auto* s = reinterpret_cast<const QRgb*>(src);
            for (qint64 x = 0; x < width; ++x) {
                dst[4 * x] = char(qBlue(s[x]));
                dst[4 * x + 1] = char(qGreen(s[x]));
                dst[4 * x + 2] = char(qRed(s[x]));
                dst[4 * x + 3] = 0;
            }
        }
        }
    }
    return out;
}

} // namespace platform::graphics
