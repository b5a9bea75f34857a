#include "platform/graphics/PictureFormats.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/GraphicsErrors.h"
#include "platform/graphics/Icon.h"

#include <QFileInfo>
#include <QMimeData>

namespace platform::graphics {

namespace {

struct ClipFormat {
    QString format;
    QString className;
    TGraphicFactory create;
};

struct Registry {
    QList<TFileFormat> files;
    QList<ClipFormat> clips;
    QList<QPair<QString, TGraphicFactory>> classes;
    Registry()
    {
        files.append({QStringLiteral("bmp"), QStringLiteral("Bitmaps"), QStringLiteral("TBitmap"),
                      [] { return std::make_unique<TBitmap>(); }});
        files.append({QStringLiteral("ico"), QStringLiteral("Icons"), QStringLiteral("TIcon"),
                      [] { return std::make_unique<TIcon>(); }});
        clips.append({BitmapClipboardFormat(), QStringLiteral("TBitmap"), [] { return std::make_unique<TBitmap>(); }});
        classes.append({QStringLiteral("TBitmap"), [] { return std::make_unique<TBitmap>(); }});
        classes.append({QStringLiteral("TIcon"), [] { return std::make_unique<TIcon>(); }});
    }
};

Registry& registry()
{
    static Registry r;
    return r;
}

QString normalExt(QString ext)
{
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    return ext.toLower();
}

} // namespace

void RegisterFileFormat(const QString& extension, const QString& description, const QString& className,
                        TGraphicFactory create)
{
    QString ext = normalExt(extension);
    auto& files = registry().files;
    for (auto& f : files)
        if (f.extension == ext) {
            f = {ext, description, className, std::move(create)};
            return;
        }
    files.append({ext, description, className, std::move(create)});
}

void RegisterClipboardFormat(const QString& format, const QString& className, TGraphicFactory create)
{
    registry().clips.append({format, className, std::move(create)});
}

void UnregisterGraphicClass(const QString& className)
{
    auto& r = registry();
    r.files.erase(std::remove_if(r.files.begin(), r.files.end(), [&](const TFileFormat& f) { return f.className == className; }),
                  r.files.end());
    r.clips.erase(std::remove_if(r.clips.begin(), r.clips.end(), [&](const ClipFormat& f) { return f.className == className; }),
                  r.clips.end());
}

QList<TFileFormat> FileFormats() { return registry().files; }

static const TFileFormat* findFormat(const QString& fileName)
{
    QString ext = QFileInfo(fileName).suffix().toLower();
    for (const auto& f : registry().files)
        if (f.extension == ext)
            return &f;
    return nullptr;
}

bool IsPictureFile(const QString& fileName) { return findFormat(fileName) != nullptr; }

std::unique_ptr<TGraphic> CreateGraphicForFile(const QString& fileName)
{
    const TFileFormat* f = findFormat(fileName);
    if (!f)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(QFileInfo(fileName).suffix()));
    return f->create();
}

QString GraphicFilter()
{
    QStringList all, parts;
    for (const auto& f : registry().files) {
        all << QStringLiteral("*.") + f.extension;
        parts << QStringLiteral("%1 (*.%2)").arg(f.description, f.extension);
    }
    return QStringLiteral("All (%1);;").arg(all.join(QLatin1Char(' '))) + parts.join(QStringLiteral(";;"));
}

std::unique_ptr<TGraphic> CreateGraphicForClipboard(const QMimeData& data)
{
    // Later registrations are more specific than the built-in bitmap (a GIF is also put on
    // the clipboard as a bitmap), so they are asked first.
    const auto& clips = registry().clips;
    for (auto it = clips.crbegin(); it != clips.crend(); ++it)
        if (ClipboardDataHas(data, it->format))
            return it->create();
    return nullptr;
}

bool ClipboardHasPicture(const QMimeData& data)
{
    for (const auto& c : registry().clips)
        if (ClipboardDataHas(data, c.format))
            return true;
    return false;
}

void RegisterGraphicClass(const QString& className, TGraphicFactory create)
{
    auto& classes = registry().classes;
    for (auto& c : classes)
        if (c.first == className) {
            c.second = std::move(create);
            return;
        }
    classes.append({className, std::move(create)});
}

std::unique_ptr<TGraphic> CreateGraphicByClassName(const QString& className)
{
    for (const auto& c : registry().classes)
        if (c.first == className)
            return c.second();
    return nullptr;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }

TBitmap* TPicture::Bitmap()
{
    if (auto* b = dynamic_cast<TBitmap*>(graphic_.get()))
        return b;
    auto b = std::make_unique<TBitmap>();
    if (graphic_)
        b->Assign(graphic_.get());
    graphic_ = std::move(b);
    return static_cast<TBitmap*>(graphic_.get());
}

void TPicture::LoadFromFile(const QString& fileName)
{
    auto g = CreateGraphicForFile(fileName);
    g->LoadFromFile(fileName);
    graphic_ = std::move(g);
}

void TPicture::SaveToFile(const QString& fileName)
{
    if (graphic_)
        graphic_->SaveToFile(fileName);
}

void TPicture::LoadFromClipboardFormat(const QMimeData& data)
{
    auto g = CreateGraphicForClipboard(data);
    if (!g)
        throw EInvalidGraphic(QStringLiteral("Unsupported clipboard format"));
    g->LoadFromClipboardFormat(data);
    graphic_ = std::move(g);
}

void TPicture::SaveToClipboardFormat(QMimeData& data)
{
    if (graphic_)
        graphic_->SaveToClipboardFormat(data);
}

void TPicture::Assign(TPersistent* source)
{
    if (!source) {
        graphic_.reset();
        return;
    }
    if (auto* p = dynamic_cast<TPicture*>(source)) {
        if (p == this)
            return;
        Assign(p->Graphic());
        return;
    }
    if (auto* g = dynamic_cast<TGraphic*>(source)) {
        auto copy = CreateGraphicByClassName(g->ClassName());
        if (!copy)
            AssignError(source);
        copy->Assign(g);
        graphic_ = std::move(copy);
        return;
    }
    TPersistent::Assign(source);
}

void TPicture::AssignTo(TPersistent* dest)
{
    if (graphic_ && dynamic_cast<TGraphic*>(dest)) {
        dest->Assign(graphic_.get());
        return;
    }
    TPersistent::AssignTo(dest);
}

} // namespace platform::graphics
