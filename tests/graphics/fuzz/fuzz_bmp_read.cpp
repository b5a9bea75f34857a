// libFuzzer target: read any bytes as a BMP file and write the bitmap back.
// Run with: scripts/fuzz fuzz_bmp_read SECONDS
#include "platform/base/Exception.h"
#include "platform/graphics/Bitmap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    platform::graphics::TBitmap b;
    try {
        b.LoadFromBmp(bytes);
        (void)b.SaveToBmp();
    } catch (const platform::Exception&) {
        // Refusing damaged data with a message is the expected outcome.
    }
    return 0;
}
