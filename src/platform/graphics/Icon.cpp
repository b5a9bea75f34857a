#include "platform/graphics/Icon.h"

#include "platform/graphics/Canvas.h"
#include "platform/graphics/GraphicsErrors.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>

namespace platform::graphics {

QString TIcon::ClipboardFormat;

void TIcon::Assign(TPersistent* source)
{
    if (!source) {
        image_ = QImage();
        Changed();
        return;
    }
    if (auto* i = dynamic_cast<TIcon*>(source)) {
        image_ = i->image_;
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TIcon::Draw(TCanvas& canvas, const QRect& rect)
{
    if (!image_.isNull())
        canvas.StretchDrawImage(rect, image_.convertToFormat(QImage::Format_ARGB32));
}

void TIcon::SetWidth(int) { throw EInvalidGraphicOperation(QStringLiteral("Cannot change the size of an icon")); }
void TIcon::SetHeight(int) { throw EInvalidGraphicOperation(QStringLiteral("Cannot change the size of an icon")); }

void TIcon::LoadFromStream(QIODevice& stream)
{
    QByteArray data = stream.readAll();
    QBuffer b(&data);
    b.open(QIODevice::ReadOnly);
    QImageReader r(&b, "ico");
    QImage img = r.read();
    if (img.isNull())
        throw EInvalidGraphic(QStringLiteral("Icon image is not valid"));
    image_ = img;
    Changed();
}

void TIcon::SaveToStream(QIODevice& stream)
{
    QImageWriter w(&stream, "ico");
    if (!w.write(image_))
        throw platform::Exception(QStringLiteral("Stream write error"));
}

void TIcon::SaveToClipboardFormat(QMimeData& data)
{
    QByteArray bytes = SaveToBytes();
    data.setData(ClipboardFormat.isEmpty() ? QStringLiteral("Morvanel Icon") : ClipboardFormat, bytes);
}

void TIcon::LoadFromClipboardFormat(const QMimeData& data)
{
    LoadFromBytes(data.data(ClipboardFormat.isEmpty() ? QStringLiteral("Morvanel Icon") : ClipboardFormat));
}

} // namespace platform::graphics
