#include "platform/graphics/Clipboard.h"

#include "platform/graphics/Graphic.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace platform::graphics {

QString BitmapClipboardFormat() { return QStringLiteral("application/x-qt-image"); }

QString RegisterClipboardFormatName(const QString& name) { return name; }

bool ClipboardDataHas(const QMimeData& data, const QString& format)
{
    if (format == BitmapClipboardFormat())
        return data.hasImage();
    return data.hasFormat(format);
}

void TClipboard::Assign(TGraphic* graphic)
{
    auto* data = new QMimeData;
    if (graphic)
        graphic->SaveToClipboardFormat(*data);
    QGuiApplication::clipboard()->setMimeData(data);
}

bool TClipboard::HasFormat(const QString& format) const
{
    const QMimeData* d = Data();
    return d && ClipboardDataHas(*d, format);
}

QByteArray TClipboard::GetData(const QString& format) const
{
    const QMimeData* d = Data();
    return d ? d->data(format) : QByteArray();
}

void TClipboard::SetData(const QString& format, const QByteArray& data)
{
    auto* md = new QMimeData;
    if (const QMimeData* old = Data())
        for (const QString& f : old->formats())
            md->setData(f, old->data(f));
    md->setData(format, data);
    QGuiApplication::clipboard()->setMimeData(md);
}

const QMimeData* TClipboard::Data() const { return QGuiApplication::clipboard()->mimeData(); }

void TClipboard::Clear() { QGuiApplication::clipboard()->clear(); }

TClipboard& Clipboard()
{
    static TClipboard c;
    return c;
}

} // namespace platform::graphics
