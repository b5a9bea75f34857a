#include "platform/graphics/Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace platform::graphics {

TColor ColorToRGB(TColor c)
{
    if (c < 0) {
        QPalette pal = QGuiApplication::palette();
        QColor q;
        switch (c & 0xFF) {
        case 5: q = pal.color(QPalette::Base); break;
        case 8: q = pal.color(QPalette::Text); break;
        case 13: q = pal.color(QPalette::Highlight); break;
        case 15: q = pal.color(QPalette::Button); break;
        default: q = pal.color(QPalette::Window); break;
        }
        return RGB(q.red(), q.green(), q.blue());
    }
    return c & 0xFFFFFF;
}

QRgb ColorToQRgb(TColor c)
{
    TColor v = ColorToRGB(c);
    return qRgb(GetRValue(v), GetGValue(v), GetBValue(v));
}

TColor QRgbToColor(QRgb rgb) { return RGB(qRed(rgb), qGreen(rgb), qBlue(rgb)); }

QColor ToQColor(TColor c) { return QColor(ColorToQRgb(c)); }

} // namespace platform::graphics
