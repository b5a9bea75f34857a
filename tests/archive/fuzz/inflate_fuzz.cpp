// Arbitrary bytes as a deflate stream: inflate must end (Ok or an error) without crashing,
// hanging or touching memory outside its buffers, whether the input comes in one piece or in
// small uneven chunks; and it must agree with zlib: a stream one of them decodes whole, the
// other decodes whole to the same bytes. Decoded straight into memory of the output's size it
// gives the same bytes, and into one byte less it fails.
#include "archive/Inflate.h"
#include "archive/UnzipIO.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
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
    static std::vector<uint8_t> z;
    z.resize(8 << 20);
    z_stream zs{};
    inflateInit2(&zs, -15);
    zs.next_in = const_cast<uint8_t*>(data);
    zs.avail_in = uInt(size);
    zs.next_out = z.data();
    zs.avail_out = uInt(z.size());
    const bool zlibOk = inflate(&zs, Z_FINISH) == Z_STREAM_END;
    inflateEnd(&zs);
    if (zlibOk != (a == archive::TInflateResult::Ok)
        || (zlibOk && (zs.total_out != out.size() || !std::equal(out.begin(), out.end(), z.begin()))))
        __builtin_trap();
    if (a == archive::TInflateResult::Ok) {
        for (const size_t less : {size_t(0), size_t(1)}) {
            if (less > out.size())
                continue;
            const size_t room = out.size() - less;
            std::unique_ptr<uint8_t[]> mem(new uint8_t[room + 1]); // + 1: new[] of 0 bytes
            archive::TBufferSink memSink(mem.get(), room);
            PieceSource whole(data, size, piece * 1000);
            archive::TUnzipIO memIo;
            memIo.StartMember(&whole, &memSink, size, room);
            const archive::TInflateResult m = archive::Inflate(memIo);
            if ((m == archive::TInflateResult::Ok) != (less == 0) || memSink.Written() != memIo.BytesWritten
                || memIo.BytesWritten > room || !std::equal(mem.get(), mem.get() + memSink.Written(), out.begin())
                || (m == archive::TInflateResult::Ok && memIo.Crc.Crc() != uint32_t(crc32(0, out.data(), uInt(out.size())))))
                __builtin_trap();
        }
    }
    return 0;
}
