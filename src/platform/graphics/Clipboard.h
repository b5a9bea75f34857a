#pragma once
#include <QByteArray>
#include <QString>

class QMimeData;

namespace platform::graphics {

class TGraphic;

// The standard bitmap clipboard format (Qt's image data).
QString BitmapClipboardFormat();
// A named clipboard format ("GIF Image"): the name is the format's key in the clipboard data.
QString RegisterClipboardFormatName(const QString& name);
bool ClipboardDataHas(const QMimeData& data, const QString& format);

// The system clipboard, as the picture classes use it.
class TClipboard {
public:
    // Puts the graphic's clipboard formats on the clipboard (replacing what was there).
    void Assign(TGraphic* graphic);
    bool HasFormat(const QString& format) const;
    QByteArray GetData(const QString& format) const;
    void SetData(const QString& format, const QByteArray& data);
    // The clipboard's data (never null while the application exists).
    const QMimeData* Data() const;
    void Clear();
};

TClipboard& Clipboard();

} // namespace platform::graphics
