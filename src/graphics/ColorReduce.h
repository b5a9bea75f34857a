#pragma once
// Reduction of true-colour pixels to a palette of at most 256 colours, for writing GIF frames.
#include "platform/graphics/Bitmap.h"

#include <QByteArray>
#include <QImage>

#include <array>
#include <cstdint>

namespace graphics {

using platform::graphics::TBitmap;
using platform::graphics::TPixelFormat;

enum TReductionMethod { rmPopular = 0, rmMedianCut = 1, rmLevels784 = 2, rmLevels666 = 3, rmChannelCycle = 4, rmGray = 5 };

// The method the GIF writer uses for colour frames.
constexpr TReductionMethod DefaultReduction = rmPopular;

// Entry v is the position of the level nearest to v (the lower one on a tie) among
// 4 levels (0, 85, 170, 255), 6 (0, 51, ..., 255), 7 (0, 43, 85, 128, 170, 213, 255) and
// 8 (0, 36, 73, 109, 146, 182, 219, 255).
extern std::array<uint8_t, 256> Levels4, Levels6, Levels7, Levels8;
// Fills the level tables (done by the start-up registration; safe to call more than once).
void InitColorReduce();

// Turns `bitmap` into a BMP file image at `pf`: 1 and 4 bits by plain conversion, 8 bits by
// `method` from the 24-bit pixels, 24 bits by conversion. A bitmap already in `pf` is returned
// in its own layout (unless the method is rmGray). Raises EInvalidGraphic
// "Bitmap image is not valid" for a bitmap without pixels; other formats show
// "Function not yet implemented" and abort silently.
QByteArray BitmapToPaletteStream(TBitmap& bitmap, TPixelFormat pf, TReductionMethod method);

// Choices where the methods leave room:
// - rmPopular: unused palette entries are grey (128, 128, 128).
// - rmMedianCut: bins with equal values on the split channel keep their histogram order
//   (red, green, blue bin index), so splits are reproducible; a box's colour is the
//   unweighted mean of its bins' top values (v * 16 + 15) per channel, black when all three
//   channels are 16 or less; entries past the last box are black.
// - rmLevels784 / rmLevels666: entries past 224 / 216 are grey.
// The reduction itself: `image` in any true-colour layout; `indices` receives one byte per
// pixel, rows top-down, `width` bytes per row; `palette` always gets 256 entries. Returns
// the BMP "important colours" value: the box count for rmMedianCut, 224 and 216 for the
// level methods, 0 (all) otherwise.
int ReduceColors(const QImage& image, TReductionMethod method, uint8_t* indices, QRgb palette[256]);

} // namespace graphics
