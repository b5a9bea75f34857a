#pragma once
#include "platform/graphics/Graphic.h"

#include <QByteArrayView>
#include <QImage>
#include <QString>

namespace platform {

// Largest JPEG picture decoded, in pixels (width times height). A note may come from anywhere:
// a header claiming a huge size must not make the program allocate gigabytes.
constexpr qint64 JpegMaxPixels = 100'000'000;

// Decodes a JPEG stream with libjpeg. Colour pictures come back as RGB888, greyscale ones as
// Grayscale8, CMYK and YCCK ones are converted to RGB888 (Adobe's inverted CMYK included).
// Damaged data never ends the process: the result is then a null image with a readable
// message in *error. A stream that ends early gives the part that was decoded.
QImage DecodeJpeg(QByteArrayView data, QString* error = nullptr);

} // namespace platform

namespace platform {

// The JPEG picture class of the picture-format registry: keeps the file's bytes as they are
// and decodes them with DecodeJpeg for drawing and for assigning to a bitmap. A file that
// cannot be decoded raises EInvalidGraphic with libjpeg's message.
class TJPEGImage : public graphics::TGraphic {
public:
    QString ClassName() const override { return QStringLiteral("TJPEGImage"); }

    void Assign(graphics::TPersistent* source) override;
    void Draw(graphics::TCanvas& canvas, const QRect& rect) override;
    bool Empty() override { return image_.isNull(); }
    int Width() override { return image_.width(); }
    int Height() override { return image_.height(); }
    // A JPEG picture's size is its data's.
    void SetWidth(int) override;
    void SetHeight(int) override;
    void LoadFromStream(QIODevice& stream) override;
    void SaveToStream(QIODevice& stream) override;
    void SaveToClipboardFormat(QMimeData& data) override;

    const QImage& Image() const { return image_; }
    const QByteArray& Data() const { return data_; }

protected:
    void AssignTo(graphics::TPersistent* dest) override;

private:
    QByteArray data_;
    QImage image_;
};

// Registers TJPEGImage for "jpg" and "jpeg"; called once at start-up.
void RegisterJpegPicture();

} // namespace platform
