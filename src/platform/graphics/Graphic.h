#pragma once
#include "platform/graphics/Colors.h"
#include "platform/graphics/Persistent.h"

#include <QByteArray>
#include <QIODevice>
#include <QRect>
#include <QVector>

#include <functional>

class QMimeData;

namespace platform::graphics {

class TCanvas;

enum class TProgressStage { psStarting, psRunning, psEnding };

// Progress of a long picture operation: sender, stage, per cent done, whether to redraw now,
// the area that changed, and a message (the failure text on a failed ending).
using TProgressEvent = std::function<void(TPersistent* sender, TProgressStage stage, int percent,
                                          bool redrawNow, const QRect& rect, const QString& msg)>;

// A reference-counted image body shared by copies of a picture. The creator holds the first
// reference; the object frees itself when the last holder releases it.
class TSharedImage {
public:
    TSharedImage() = default;
    TSharedImage(const TSharedImage&) = delete;
    TSharedImage& operator=(const TSharedImage&) = delete;
    virtual ~TSharedImage() = default;
    void Reference() { ++refCount_; }
    void Release()
    {
        if (--refCount_ <= 0) {
            FreeHandle();
            delete this;
        }
    }
    int RefCount() const { return refCount_; }

protected:
    virtual void FreeHandle() {}

private:
    int refCount_ = 0;
};

// The base of every picture class: drawing, size, palette, transparency, streams and files,
// clipboard data, change and progress events.
class TGraphic : public TPersistent {
public:
    QString ClassName() const override { return QStringLiteral("TGraphic"); }

    virtual void Draw(TCanvas& canvas, const QRect& rect) = 0;
    virtual bool Empty() = 0;
    virtual int Width() = 0;
    virtual int Height() = 0;
    virtual void SetWidth(int value) = 0;
    virtual void SetHeight(int value) = 0;
    // The picture's colour table; empty for a true-colour picture.
    virtual QVector<QRgb> GetPalette() { return {}; }
    virtual void SetPalette(const QVector<QRgb>&) {}
    virtual bool GetTransparent() { return transparent_; }
    virtual void SetTransparent(bool value);
    bool Transparent() { return GetTransparent(); }

    virtual void LoadFromStream(QIODevice& stream) = 0;
    virtual void SaveToStream(QIODevice& stream) = 0;
    // Both raise EInvalidGraphic / platform::Exception with a message on failure.
    virtual void LoadFromFile(const QString& fileName);
    virtual void SaveToFile(const QString& fileName);
    void LoadFromBytes(const QByteArray& data);
    QByteArray SaveToBytes();

    // Clipboard data: a graphic adds its formats to `data` / takes itself from `data`.
    virtual void SaveToClipboardFormat(QMimeData& data);
    virtual void LoadFromClipboardFormat(const QMimeData& data);

    // Streaming of a picture inside a stored form or picture: by default the stream format.
    virtual void ReadData(QIODevice& stream) { LoadFromStream(stream); }
    virtual void WriteData(QIODevice& stream) { SaveToStream(stream); }

    virtual bool Equals(TGraphic* graphic);

    // Raises the change notification.
    virtual void Changed();
    void Progress(TPersistent* sender, TProgressStage stage, int percent, bool redrawNow,
                  const QRect& rect, const QString& msg);

    std::function<void(TGraphic*)> OnChange;
    TProgressEvent OnProgress;
    bool Modified = false;
    bool PaletteModified = false;

protected:
    bool transparent_ = false;
};

} // namespace platform::graphics
