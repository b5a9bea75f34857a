#pragma once
#include <QByteArrayView>
#include <QImage>
#include <QString>

namespace platform {

// Largest JPEG picture decoded, in pixels (width times height). A note may come from anywhere:
// a header claiming a huge size must not make the program allocate gigabytes.
constexpr qint64 JpegMaxPixels = 100'000'000;

// Decodes a JPEG stream with libjpeg. Colour pictures come back as RGB888, greyscale ones as
// Grayscale8, CMYK and YCCK ones are converted to RGB888 (Adobe's inverted CMYK included).
// Damaged data never ends the process: the result is then a null image with a readable
// message in *error. A stream that ends early gives the part that was decoded.
QImage DecodeJpeg(QByteArrayView data, QString* error = nullptr);

} // namespace platform
