#pragma once
#include <QColor>
#include <QRgb>

#include <cstdint>

namespace platform::graphics {

// A colour as the class library keeps it: 0x00BBGGRR for an RGB value, two special values,
// and system colours (negative) that stand for a role of the desktop's palette.
using TColor = std::int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clGray = 0x808080;
// "No colour": a transparent colour or background that is not there.
constexpr TColor clNone = 0x1FFFFFFF;
// "The default": for a transparent colour, the bottom-left pixel of the bitmap.
constexpr TColor clDefault = 0x20000000;

// System colours (resolved against the application palette).
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clHighlight = clSystemColor | 13;

constexpr TColor RGB(int r, int g, int b)
{
    return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }

// The colour as an RGB value (system colours resolved; clNone and clDefault give their
// low 24 bits, as the class library does).
TColor ColorToRGB(TColor c);
QRgb ColorToQRgb(TColor c); // opaque
TColor QRgbToColor(QRgb rgb);
QColor ToQColor(TColor c);

} // namespace platform::graphics
