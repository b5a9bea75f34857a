#include "graphics/DrawUtils.h"

#include "platform/base/Exception.h"
#include "platform/dialogs/Dialogs.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

namespace graphics {

using namespace platform::graphics;

TColor ToPaletteRGB(TColor color) { return ColorToRGB(color) | 0x02000000; }

void MaskedStretchBlt(TCanvas& dest, int dx, int dy, int dw, int dh, const QImage& source, int sx, int sy, int sw,
                      int sh, const QVector<QRgb>& palette, TColor transparent)
{
    QImage src = source;
    if (!palette.isEmpty() && src.format() == QImage::Format_Indexed8)
        src.setColorTable(palette);
    const QRgb key = ColorToQRgb(transparent);
    dest.StretchDrawImage(QRect(dx, dy, dw, dh), src, QRect(sx, sy, sw, sh), &key);
}

void DrawTransparentBitmap(TCanvas& canvas, TBitmap& bitmap, TColor transparent, int dx, int dy, int dw, int dh,
                           int sx, int sy, int sw, int sh)
{
    if (bitmap.Empty())
        return;
    if (dw < 1)
        dw = bitmap.Width();
    if (dh < 1)
        dh = bitmap.Height();
    if (sw < 1 || sh < 1) {
        sx = sy = 0;
        sw = bitmap.Width();
        sh = bitmap.Height();
    }
    if (!bitmap.Monochrome())
        canvas.StretchMode = TStretchMode::smColorOnColor;
    TCanvas& own = bitmap.Canvas();
    own.Lock();
    auto saved = std::move(own.OnChange);
    own.OnChange = nullptr;
    try {
        if (transparent == clNone) {
            canvas.StretchDrawImage(QRect(dx, dy, dw, dh), bitmap.Image(), QRect(sx, sy, sw, sh));
        } else {
            if (transparent == clDefault)
                transparent = bitmap.Monochrome() ? clWhite
                                                  : QRgbToColor(bitmap.Image().pixel(0, bitmap.Height() - 1));
            MaskedStretchBlt(canvas, dx, dy, dw, dh, bitmap.Image(), sx, sy, sw, sh, bitmap.GetPalette(),
                             ColorToRGB(transparent));
        }
    } catch (...) {
        own.OnChange = std::move(saved);
        own.Unlock();
        throw;
    }
    own.OnChange = std::move(saved);
    own.Unlock();
}

void DrawTransparentBitmapRect(TCanvas& canvas, int dx, int dy, const QRect& source, TBitmap& bitmap,
                               TColor transparent, int dw, int dh)
{
    DrawTransparentBitmap(canvas, bitmap, transparent, dx, dy, dw, dh, source.left(), source.top(), source.width(),
                          source.height());
}

void* AllocZeroed(std::ptrdiff_t size)
{
    if (size < 1)
        return nullptr;
    void* p = std::calloc(size_t(size), 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void FreeZeroed(void*& block)
{
    if (block) {
        std::free(block);
        block = nullptr;
    }
}

bool SameBytes(const void* first, const void* second, std::ptrdiff_t length)
{
    return length <= 0 || std::memcmp(first, second, size_t(length)) == 0;
}

void CopyBytes(void* dest, const void* source, std::ptrdiff_t length)
{
    if (length > 0)
        std::memmove(dest, source, size_t(length));
}

void ShowNotImplemented()
{
    QGuiApplication::restoreOverrideCursor();
    platform::dialogs().message(QStringLiteral("Function not yet implemented"), QString(), platform::MsgButtons::Ok,
                                platform::MsgIcon::Information);
    throw platform::EAbort(QString());
}

} // namespace graphics
