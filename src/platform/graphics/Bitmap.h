#pragma once
#include "platform/graphics/BmpFile.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphic.h"

#include <QImage>

#include <memory>

namespace platform::graphics {

enum class TBitmapHandleType { bmDIB, bmDDB };
enum class TTransparentMode { tmAuto, tmFixed };

// The class library's bitmap over a QImage. Pixel formats keep their layout (see
// ImageFormatFor); loading and saving use the program's own BMP reader and writer.
// The transparent colour is the bottom-left pixel (tmAuto) unless one was set (tmFixed).
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat pf = TPixelFormat::pf24bit);
    ~TBitmap() override;
    QString ClassName() const override { return QStringLiteral("TBitmap"); }

    void Assign(TPersistent* source) override;

    void Draw(TCanvas& canvas, const QRect& rect) override;
    bool Empty() override { return image_.isNull() || image_.width() == 0 || image_.height() == 0; }
    int Width() override { return image_.width(); }
    int Height() override { return image_.height(); }
    void SetWidth(int value) override { SetSize(value, Height()); }
    void SetHeight(int value) override { SetSize(Width(), value); }
    void SetSize(int width, int height);
    QVector<QRgb> GetPalette() override { return image_.colorTable(); }
    void SetPalette(const QVector<QRgb>& palette) override;

    void LoadFromStream(QIODevice& stream) override;
    void SaveToStream(QIODevice& stream) override;
    QByteArray SaveToBmp() const { return WriteBmp(image_, pixelFormat_); }
    void LoadFromBmp(const QByteArray& data);
    void SaveToClipboardFormat(QMimeData& data) override;
    void LoadFromClipboardFormat(const QMimeData& data) override;

    // A bitmap "has a handle" when it holds pixels.
    bool HandleAllocated() const { return !image_.isNull() && image_.width() > 0 && image_.height() > 0; }

    TPixelFormat PixelFormat() const { return pixelFormat_; }
    void SetPixelFormat(TPixelFormat pf);
    bool Monochrome() const { return pixelFormat_ == TPixelFormat::pf1bit; }
    void SetMonochrome(bool value);
    // Kept as a flag: pixels keep their own layout whichever handle type is asked for.
    TBitmapHandleType HandleType = TBitmapHandleType::bmDIB;

    TColor TransparentColor();
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode mode);

    TCanvas& Canvas();
    const QImage& Image() const { return image_; }
    // Replaces the pixels; the format follows the image unless one is given.
    void SetImage(const QImage& image);
    void SetImage(const QImage& image, TPixelFormat pf);
    // For the canvas: pixels in a layout QPainter can paint on.
    QImage& PaintableImage();

private:
    QImage image_;
    TPixelFormat pixelFormat_ = TPixelFormat::pfDevice;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = TTransparentMode::tmAuto;
    std::unique_ptr<TCanvas> canvas_;
};

TPixelFormat PixelFormatOf(const QImage& image);

} // namespace platform::graphics
