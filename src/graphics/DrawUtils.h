#pragma once
// Transparent stretched drawing of bitmaps and the small memory helpers of the picture classes.
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"

#include <QPainter>

#include <cstddef>

namespace graphics {

using platform::graphics::TBitmap;
using platform::graphics::TCanvas;
using platform::graphics::TColor;

// The colour as an RGB value with the palette-relative flag 0x02000000.
TColor ToPaletteRGB(TColor color);

// Copies `source`'s area (sx, sy, sw, sh) stretched onto (dx, dy, dw, dh) of `dest`, leaving the
// destination unchanged where the source has `transparent` (compared as RGB). `palette`
// (may be empty) maps a palette image's indices.
void MaskedStretchBlt(TCanvas& dest, int dx, int dy, int dw, int dh, const QImage& source, int sx, int sy, int sw,
                      int sh, const QVector<QRgb>& palette, TColor transparent);

// Draws a bitmap area stretched with one colour transparent. A destination size below 1 takes
// the bitmap's; a source size below 1 takes the whole bitmap. clNone draws opaque; clDefault
// is the bottom-left pixel (white for a monochrome bitmap).
void DrawTransparentBitmap(TCanvas& canvas, TBitmap& bitmap, TColor transparent, int dx, int dy, int dw, int dh,
                           int sx, int sy, int sw, int sh);
void DrawTransparentBitmapRect(TCanvas& canvas, int dx, int dy, const QRect& source, TBitmap& bitmap,
                               TColor transparent, int dw, int dh);

// A zero-filled block; nullptr for sizes below 1.
void* AllocZeroed(std::ptrdiff_t size);
// Frees a block from AllocZeroed (when present) and clears the reference.
void FreeZeroed(void*& block);
bool SameBytes(const void* first, const void* second, std::ptrdiff_t length);
inline void* OffsetPointer(void* p, std::ptrdiff_t offset) { return static_cast<char*>(p) + offset; }
void CopyBytes(void* dest, const void* source, std::ptrdiff_t length);

// Shows "Function not yet implemented" and aborts the operation silently (platform::EAbort).
[[noreturn]] void ShowNotImplemented();

} // namespace graphics
