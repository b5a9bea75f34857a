// Arbitrary bytes as shrunk, reduced or imploded data: the decoders must end without
// crashing, hanging, touching memory outside their tables or writing past the stated size.
// First byte: the method (1-6) and the implode flags; second: the stated size in KiB.
#include "archive/OldMethods.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned method = 1 + data[0] % 6;
    const unsigned flags = (data[0] >> 3) & 6;
    const uint64_t stated = (uint64_t(data[1]) + 1) * 1024;
    std::vector<uint8_t> out;
    archive::ExpandOldMethodBuffer(method, flags, data + 2, size - 2, stated, out);
    if (out.size() > stated)
        std::abort();
    return 0;
}
