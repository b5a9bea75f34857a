#pragma once
#include "platform/graphics/Colors.h"

#include <QImage>
#include <QRect>

#include <functional>

class QPainter;
class QPaintDevice;

namespace platform::graphics {

class TBitmap;
class TGraphic;

enum class TCopyMode { cmSrcCopy, cmSrcAnd, cmSrcPaint, cmSrcInvert };
enum class TStretchMode { smDefault, smColorOnColor };

// A drawing surface over QPainter: a bitmap's pixels, a widget or image being painted, or a
// painter the caller already holds (inside a paint event).
class TCanvas {
public:
    explicit TCanvas(QPaintDevice* device);
    explicit TCanvas(QPainter* painter);
    explicit TCanvas(TBitmap* bitmap); // the bitmap's own canvas
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TColor BrushColor = clWhite;
    TColor PenColor = clBlack;
    TCopyMode CopyMode = TCopyMode::cmSrcCopy;
    TStretchMode StretchMode = TStretchMode::smDefault;
    std::function<void()> OnChange;

    void FillRect(const QRect& rect);
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const QRect& rect, TGraphic* graphic);
    // Copies `source` (area `sourceRect`, the whole image when empty) stretched onto `rect`.
    // With `transparent` set, pixels of that RGB value leave the destination unchanged.
    void StretchDrawImage(const QRect& rect, const QImage& source, QRect sourceRect = QRect(),
                          const QRgb* transparent = nullptr);
    // Draws `source` stretched onto `rect`; its pixels of alpha 0 leave the destination
    // unchanged (a palette image whose transparent entry has alpha 0, say).
    void StretchDrawMasked(const QRect& rect, const QImage& source);

    TColor Pixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);
    // The colour the surface really shows for `color` (true-colour surfaces show every colour).
    TColor GetNearestColor(TColor color) const;

    void Lock() { ++lockCount_; }
    void Unlock() { --lockCount_; }
    int LockCount() const { return lockCount_; }
    void Changed()
    {
        if (OnChange)
            OnChange();
    }

private:
    void withPainter(const std::function<void(QPainter&)>& fn);
    QPaintDevice* device_ = nullptr;
    QPainter* painter_ = nullptr;
    TBitmap* bitmap_ = nullptr;
    int lockCount_ = 0;
};

} // namespace platform::graphics
