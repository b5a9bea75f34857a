#pragma once
// The picture-format registry: which graphic class reads a file, by its extension, and which
// one takes clipboard data, by clipboard format.
//
// Use from other parts of the program:
//   std::unique_ptr<TGraphic> g = CreateGraphicForFile("/path/pic.gif"); // by extension
//   g->LoadFromFile("/path/pic.gif");
// or simply TPicture pic; pic.LoadFromFile(path); then pic.Graphic().
// Built in: "bmp" (TBitmap) and "ico" (TIcon). Other classes register themselves from an
// explicit start-up call after the QApplication exists (never from static initialisers).
#include "platform/graphics/Graphic.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace platform::graphics {

class TBitmap;

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
    QString extension;   // lower case, without the dot
    QString description; // "CompuServe GIF Image"
    QString className;   // "TGIFImage"
    TGraphicFactory create;
};

// Adds (or replaces) the class for an extension (with or without a leading dot; any case).
void RegisterFileFormat(const QString& extension, const QString& description, const QString& className,
                        TGraphicFactory create);
// Adds the class that loads clipboard data of `format` (see Clipboard.h for format names).
void RegisterClipboardFormat(const QString& format, const QString& className, TGraphicFactory create);
// Removes a class from both registries.
void UnregisterGraphicClass(const QString& className);

// The registered formats, in registration order.
QList<TFileFormat> FileFormats();
// True when a class is registered for the file's extension.
bool IsPictureFile(const QString& fileName);
// A new, empty graphic of the class registered for the file's extension; raises
// EInvalidGraphic "Unknown picture file extension (.%s)" otherwise.
std::unique_ptr<TGraphic> CreateGraphicForFile(const QString& fileName);
// A file dialog filter: "All (*.gif *.bmp ...);;CompuServe GIF Image (*.gif);;...".
QString GraphicFilter();
// The class for clipboard data: the most recently registered format that the data hold
// (so "GIF Image" wins over the bitmap put beside it), or null.
std::unique_ptr<TGraphic> CreateGraphicForClipboard(const QMimeData& data);
bool ClipboardHasPicture(const QMimeData& data);

// Class registry for streaming pictures by class name.
void RegisterGraphicClass(const QString& className, TGraphicFactory create);
std::unique_ptr<TGraphic> CreateGraphicByClassName(const QString& className);

// A holder of one graphic of any registered class.
class TPicture : public TPersistent {
public:
    TPicture();
    ~TPicture() override;
    QString ClassName() const override { return QStringLiteral("TPicture"); }

    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // The graphic when it is a bitmap; otherwise the graphic is replaced by a bitmap copy of it.
    TBitmap* Bitmap();

    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName);
    void LoadFromClipboardFormat(const QMimeData& data);
    void SaveToClipboardFormat(QMimeData& data);
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    void Assign(TPersistent* source) override;

protected:
    void AssignTo(TPersistent* dest) override;

private:
    std::unique_ptr<TGraphic> graphic_;
};

} // namespace platform::graphics
