// libFuzzer target: read any bytes as a GIF, decode frame 0, decode and draw a few frames under
// a small budget for decoded pixels (transparency by index), and write the picture back.
// Run with: scripts/fuzz fuzz_gif_decode SECONDS
#include "graphics/GifPicture.h"
#include "platform/base/Exception.h"

#include <QBuffer>
#include <QImage>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QBuffer b(&bytes);
    b.open(QIODevice::ReadOnly);
    graphics::TGIFImage gif;
    try {
        graphics::ReadGIF(gif, bytes.size(), b, false);
        if (gif.FrameCount() > 0) {
            platform::graphics::TBitmap* bmp = gif.Frame(0)->GetBitmap();
            (void)bmp->Width();
            graphics::DecodeToDIB(*gif.Frame(0));
            gif.DecodedBudget = 1 << 20;
            QImage target(16, 16, QImage::Format_RGB32);
            target.fill(0);
            platform::graphics::TCanvas canvas(&target);
            for (int i = 0; i < gif.FrameCount() && i < 4; ++i) {
                graphics::TGIFFrame* f = gif.Frame(i);
                if (qint64(f->Width()) * f->Height() > (1 << 20))
                    continue;
                f->GetBitmap();
                f->Draw(canvas, QRect(0, 0, 16, 16), true);
            }
            graphics::WriteGIFBytes(gif);
        }
    } catch (const platform::Exception&) {
        // Refusing damaged data with a message is the expected outcome.
    }
    return 0;
}
