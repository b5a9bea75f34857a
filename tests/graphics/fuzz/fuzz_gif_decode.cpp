// libFuzzer target: read any bytes as a GIF, decode frame 0, and write the picture back.
// Run with: scripts/fuzz fuzz_gif_decode SECONDS
#include "graphics/GifPicture.h"
#include "platform/base/Exception.h"

#include <QBuffer>

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
            graphics::WriteGIFBytes(gif);
        }
    } catch (const platform::Exception&) {
        // Refusing damaged data with a message is the expected outcome.
    }
    return 0;
}
