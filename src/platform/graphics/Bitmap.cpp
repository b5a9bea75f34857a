#include "platform/graphics/Bitmap.h"

#include "platform/graphics/GraphicsErrors.h"

#include <QMimeData>
#include <QPainter>

namespace platform::graphics {

TPixelFormat PixelFormatOf(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: return TPixelFormat::pf1bit;
    case QImage::Format_Indexed8: return image.colorCount() <= 16 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
    case QImage::Format_BGR888:
    case QImage::Format_RGB888: return TPixelFormat::pf24bit;
    case QImage::Format_Invalid: return TPixelFormat::pfDevice;
    default: return TPixelFormat::pf32bit;
    }
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat pf) : pixelFormat_(pf)
{
    image_ = QImage(width, height, ImageFormatFor(pf));
    if (pf == TPixelFormat::pf1bit)
        image_.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    else if (pf == TPixelFormat::pf4bit || pf == TPixelFormat::pf8bit) {
        QVector<QRgb> t(pf == TPixelFormat::pf4bit ? 16 : 256, qRgb(0, 0, 0));
        t.last() = qRgb(255, 255, 255);
        image_.setColorTable(t);
    }
    image_.fill(pf == TPixelFormat::pf1bit || pf == TPixelFormat::pf4bit || pf == TPixelFormat::pf8bit
                    ? uint(image_.colorCount() - 1)
                    : 0xFFFFFFFFu);
}

TBitmap::~TBitmap() = default;

void TBitmap::Assign(TPersistent* source)
{
    if (!source) {
        image_ = QImage();
        pixelFormat_ = TPixelFormat::pfDevice;
        Changed();
        return;
    }
    if (auto* b = dynamic_cast<TBitmap*>(source)) {
        if (b == this)
            return;
        image_ = b->image_;
        pixelFormat_ = b->pixelFormat_;
        HandleType = b->HandleType;
        transparentColor_ = b->transparentColor_;
        transparentMode_ = b->transparentMode_;
        transparent_ = b->transparent_;
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::Draw(TCanvas& canvas, const QRect& rect)
{
    if (Empty())
        return;
    if (GetTransparent()) {
        QRgb key = ColorToQRgb(TransparentColor());
        canvas.StretchDrawImage(rect, image_, image_.rect(), &key);
    } else {
        canvas.StretchDrawImage(rect, image_, image_.rect());
    }
}

void TBitmap::SetSize(int width, int height)
{
    if (width == Width() && height == Height())
        return;
    if (width <= 0 || height <= 0) {
        image_ = QImage();
    } else {
        QImage n(width, height, image_.isNull() ? ImageFormatFor(pixelFormat_) : image_.format());
        n.setColorTable(image_.colorTable());
        if (n.format() == QImage::Format_Indexed8 || n.format() == QImage::Format_Mono) {
            if (n.colorTable().isEmpty())
                n.setColorTable(n.format() == QImage::Format_Mono ? QVector<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
                                                                   : QVector<QRgb>(256, qRgb(0, 0, 0)));
            n.fill(0);
        } else {
            n.fill(0xFFFFFFFFu);
        }
        if (!image_.isNull()) {
            for (int y = 0; y < std::min(height, image_.height()); ++y) {
                int bytes = std::min(n.bytesPerLine(), image_.bytesPerLine());
                if (width < image_.width() && n.depth() >= 8)
                    bytes = width * n.depth() / 8;
                std::memcpy(n.scanLine(y), image_.constScanLine(y), size_t(bytes));
            }
        }
        image_ = n;
    }
    Changed();
}

void TBitmap::SetPalette(const QVector<QRgb>& palette)
{
    if (image_.format() == QImage::Format_Indexed8 || image_.format() == QImage::Format_Mono) {
        image_.setColorTable(palette);
        PaletteModified = true;
        Changed();
    }
}

void TBitmap::LoadFromStream(QIODevice& stream)
{
    LoadFromBmp(stream.readAll());
}

void TBitmap::LoadFromBmp(const QByteArray& data)
{
    BmpImage b = ReadBmp(data);
    image_ = b.image;
    pixelFormat_ = b.format;
    Changed();
}

void TBitmap::SaveToStream(QIODevice& stream)
{
    QByteArray b = SaveToBmp();
    if (stream.write(b) != b.size())
        throw platform::Exception(QStringLiteral("Stream write error"));
}

void TBitmap::SaveToClipboardFormat(QMimeData& data)
{
    if (!Empty())
        data.setImageData(image_.convertToFormat(QImage::Format_RGB32));
}

void TBitmap::LoadFromClipboardFormat(const QMimeData& data)
{
    if (!data.hasImage())
        throw EInvalidGraphic(QStringLiteral("Unsupported clipboard format"));
    QImage img = qvariant_cast<QImage>(data.imageData());
    SetImage(img.convertToFormat(QImage::Format_RGB32), TPixelFormat::pfDevice);
}

void TBitmap::SetPixelFormat(TPixelFormat pf)
{
    if (pf == pixelFormat_)
        return;
    if (!image_.isNull())
        image_ = ConvertImage(image_, pf);
    pixelFormat_ = pf;
    Changed();
}

void TBitmap::SetMonochrome(bool value)
{
    if (value != Monochrome())
        SetPixelFormat(value ? TPixelFormat::pf1bit : TPixelFormat::pfDevice);
}

TColor TBitmap::TransparentColor()
{
    if (transparentColor_ == clDefault || transparentMode_ == TTransparentMode::tmAuto) {
        if (Empty())
            return clDefault;
        if (Monochrome())
            return clWhite;
        return QRgbToColor(image_.pixel(0, image_.height() - 1));
    }
    return transparentColor_;
}

void TBitmap::SetTransparentColor(TColor color)
{
    transparentColor_ = color;
    transparentMode_ = color == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode)
{
    if (mode == transparentMode_)
        return;
    if (mode == TTransparentMode::tmAuto)
        SetTransparentColor(clDefault);
    else
        SetTransparentColor(TransparentColor());
}

TCanvas& TBitmap::Canvas()
{
    if (!canvas_)
        canvas_ = std::make_unique<TCanvas>(this);
    return *canvas_;
}

void TBitmap::SetImage(const QImage& image)
{
    SetImage(image, PixelFormatOf(image));
}

void TBitmap::SetImage(const QImage& image, TPixelFormat pf)
{
    image_ = image.isNull() ? image : ConvertImage(image, pf);
    pixelFormat_ = pf;
    Changed();
}

QImage& TBitmap::PaintableImage()
{
    // QPainter cannot paint on palette images: such a bitmap becomes a device bitmap.
    QImage::Format f = image_.format();
    if (f == QImage::Format_Indexed8 || f == QImage::Format_Mono || f == QImage::Format_MonoLSB) {
        image_ = image_.convertToFormat(QImage::Format_RGB32);
        pixelFormat_ = TPixelFormat::pfDevice;
    }
    return image_;
}

} // namespace platform::graphics
