#include "platform/graphics/Graphic.h"

#include "platform/files/AtomicFile.h"
#include "platform/graphics/GraphicsErrors.h"

#include <QBuffer>
#include <QFile>
#include <QMimeData>

namespace platform::graphics {

void TGraphic::SetTransparent(bool value)
{
    if (value != transparent_) {
        transparent_ = value;
        Changed();
    }
}

void TGraphic::LoadFromFile(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw platform::Exception(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, f.errorString()));
    LoadFromStream(f);
}

void TGraphic::SaveToFile(const QString& fileName)
{
    // Encoded whole in memory, then written beside the file and renamed over it: a failing
    // encoder or a full disk leaves the old picture as it was.
    QByteArray data = SaveToBytes();
    QString error;
    if (!platform::writeFileAtomic(fileName, data, &error))
        throw platform::Exception(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, error));
}

void TGraphic::LoadFromBytes(const QByteArray& data)
{
    QByteArray copy = data;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    LoadFromStream(b);
}

QByteArray TGraphic::SaveToBytes()
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    SaveToStream(b);
    return out;
}

void TGraphic::SaveToClipboardFormat(QMimeData&)
{
    throw EInvalidGraphicOperation(QStringLiteral("Clipboard does not support %1").arg(ClassName()));
}

void TGraphic::LoadFromClipboardFormat(const QMimeData&)
{
    throw EInvalidGraphic(QStringLiteral("Unsupported clipboard format"));
}

bool TGraphic::Equals(TGraphic* graphic)
{
    if (!graphic || graphic->ClassName() != ClassName())
        return false;
    if (Empty() || graphic->Empty())
        return Empty() && graphic->Empty();
    return SaveToBytes() == graphic->SaveToBytes();
}

void TGraphic::Changed()
{
    Modified = true;
    if (OnChange)
        OnChange(this);
}

void TGraphic::Progress(TPersistent* sender, TProgressStage stage, int percent, bool redrawNow,
                        const QRect& rect, const QString& msg)
{
    if (OnProgress)
        OnProgress(sender, stage, percent, redrawNow, rect, msg);
}

} // namespace platform::graphics
