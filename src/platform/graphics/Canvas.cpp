#include "platform/graphics/Canvas.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Graphic.h"

#include <QPainter>

namespace platform::graphics {

TCanvas::TCanvas(QPaintDevice* device) : device_(device) {}
TCanvas::TCanvas(QPainter* painter) : painter_(painter) {}
TCanvas::TCanvas(TBitmap* bitmap) : bitmap_(bitmap) {}

void TCanvas::withPainter(const std::function<void(QPainter&)>& fn)
{
    if (painter_) {
        painter_->save();
        fn(*painter_);
        painter_->restore();
        return;
    }
    QPaintDevice* dev = device_;
    if (bitmap_) {
        if (!bitmap_->HandleAllocated())
            return;
        dev = &bitmap_->PaintableImage();
    }
    if (!dev)
        return;
    QPainter p(dev);
    fn(p);
    p.end();
    Changed();
}

void TCanvas::FillRect(const QRect& rect)
{
    withPainter([&](QPainter& p) { p.fillRect(rect, ToQColor(BrushColor)); });
}

void TCanvas::Draw(int x, int y, TGraphic* graphic)
{
    if (graphic && !graphic->Empty())
        graphic->Draw(*this, QRect(x, y, graphic->Width(), graphic->Height()));
}

void TCanvas::StretchDraw(const QRect& rect, TGraphic* graphic)
{
    if (graphic && !graphic->Empty())
        graphic->Draw(*this, rect);
}

void TCanvas::StretchDrawImage(const QRect& rect, const QImage& source, QRect sourceRect, const QRgb* transparent)
{
    if (source.isNull())
        return;
    if (sourceRect.isEmpty())
        sourceRect = source.rect();
    QImage part = source.copy(sourceRect);
    QPainter::CompositionMode mode = QPainter::CompositionMode_Source;
    if (transparent) {
        // The mask: every pixel of the transparent colour leaves the destination as it was.
        part = part.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = *transparent & 0xFFFFFF;
        for (int y = 0; y < part.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(part.scanLine(y));
            for (int x = 0; x < part.width(); ++x)
                if ((line[x] & 0xFFFFFF) == key)
                    line[x] = 0;
        }
        StretchDrawMasked(rect, part);
        return;
    }
    switch (CopyMode) {
    case TCopyMode::cmSrcAnd: mode = QPainter::RasterOp_SourceAndDestination; break;
    case TCopyMode::cmSrcPaint: mode = QPainter::RasterOp_SourceOrDestination; break;
    case TCopyMode::cmSrcInvert: mode = QPainter::RasterOp_SourceXorDestination; break;
    default: break;
    }
    if (part.format() == QImage::Format_Indexed8 || part.format() == QImage::Format_Mono)
        part = part.convertToFormat(QImage::Format_RGB32);
    withPainter([&](QPainter& p) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.setCompositionMode(mode);
        p.drawImage(rect, part);
    });
}

void TCanvas::StretchDrawMasked(const QRect& rect, const QImage& source)
{
    if (source.isNull())
        return;
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    withPainter([&](QPainter& p) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.drawImage(rect, argb);
    });
}

TColor TCanvas::Pixel(int x, int y) const
{
    const QImage* img = nullptr;
    if (bitmap_)
        img = &bitmap_->Image();
    else if (device_ && device_->devType() == QInternal::Image)
        img = static_cast<QImage*>(device_);
    if (!img || !img->valid(x, y))
        return clNone;
    return QRgbToColor(img->pixel(x, y));
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    if (bitmap_ && bitmap_->HandleAllocated()) {
        QImage& img = bitmap_->PaintableImage();
        if (img.valid(x, y)) {
            img.setPixel(x, y, ColorToQRgb(color));
            Changed();
        }
        return;
    }
    withPainter([&](QPainter& p) { p.fillRect(QRect(x, y, 1, 1), ToQColor(color)); });
}

TColor TCanvas::GetNearestColor(TColor color) const
{
    if (bitmap_) {
        const QImage& img = bitmap_->Image();
        if (img.format() == QImage::Format_Indexed8 || img.format() == QImage::Format_Mono) {
            QRgb want = ColorToQRgb(color);
            const QVector<QRgb> table = img.colorTable();
            int best = -1;
            long bestDist = 0;
            for (int i = 0; i < table.size(); ++i) {
                long dr = qRed(table[i]) - qRed(want), dg = qGreen(table[i]) - qGreen(want),
                     db = qBlue(table[i]) - qBlue(want);
                long d = dr * dr + dg * dg + db * db;
                if (best < 0 || d < bestDist)
                    best = i, bestDist = d;
            }
            if (best >= 0)
                return QRgbToColor(table[best]);
        }
    }
    return ColorToRGB(color);
}

} // namespace platform::graphics
