// Arbitrary bytes as a deflate stream: inflate must end (Ok or an error) without crashing,
// hanging or touching memory outside its buffers, whether the input comes in one piece or in
// small uneven chunks.
#include "archive/Inflate.h"
#include "archive/UnzipIO.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
class PieceSource : public archive::TUnzipSource {
public:
    PieceSource(const uint8_t* p, size_t n, unsigned piece) : p_(p), n_(n), piece_(piece) {}
    size_t ReadChunk(uint8_t* buffer, size_t count) override
    {
        count = std::min({count, n_, size_t(piece_)});
        std::memcpy(buffer, p_, count);
        p_ += count;
        n_ -= count;
        return count;
    }

private:
    const uint8_t* p_;
    size_t n_;
    unsigned piece_;
};

class CountingSink : public archive::TUnzipSink {
public:
    void WriteOutput(const uint8_t* data, size_t count) override
    {
        for (size_t i = 0; i < count; ++i)
            sum += data[i];
    }
    unsigned sum = 0;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    archive::TInflateResult a = archive::InflateBuffer(data, size, out, 8 << 20);
    if (size < 1)
        return 0;
    // The same stream, skipping the first byte, fed in pieces of 1..16 bytes.
    unsigned piece = 1 + (data[0] & 15);
    PieceSource src(data + 1, size - 1, piece);
    CountingSink sink;
    archive::TUnzipIO io;
    io.StartMember(&src, &sink, size - 1, 8 << 20);
    archive::TInflateResult b = archive::Inflate(io);
    // Identical bytes must give identical verdicts however they arrive.
    std::vector<uint8_t> again;
    archive::TInflateResult c = archive::InflateBuffer(data + 1, size - 1, again, 8 << 20);
    if (b != c || (b == archive::TInflateResult::Ok && io.BytesWritten != again.size()))
        __builtin_trap();
    (void)a;
    return 0;
}
