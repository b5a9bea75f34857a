// Deflate then inflate: every level must give back the exact input, through the in-memory
// call and through the writer's routines with small uneven reads; and zlib, as an independent
// reader, must inflate both streams to the same input.
#include "archive/Deflate.h"
#include "archive/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
class PieceIO : public archive::TDeflateIO {
public:
    PieceIO(const uint8_t* p, size_t n, size_t piece) : p_(p), n_(n), piece_(piece) {}
    size_t ReadSource(uint8_t* buffer, size_t count) override
    {
        count = std::min({count, n_, piece_});
        if (count)
            std::memcpy(buffer, p_, count);
        p_ += count;
        n_ -= count;
        return count;
    }
    void WriteData(const uint8_t* data, size_t count) override { out.insert(out.end(), data, data + count); }
    std::vector<uint8_t> out;

private:
    const uint8_t* p_;
    size_t n_;
    size_t piece_;
};

// Raw inflate by zlib: the whole stream must decode, end exactly at its last byte and give
// back the input.
bool zlibGivesBack(const std::vector<uint8_t>& z, const uint8_t* in, size_t n)
{
    std::vector<uint8_t> out(n + 1);
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK)
        return false;
    zs.next_in = const_cast<uint8_t*>(z.data());
    zs.avail_in = uInt(z.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int r = inflate(&zs, Z_FINISH);
    const bool ok = r == Z_STREAM_END && zs.avail_in == 0 && zs.total_out == n
                    && (n == 0 || std::memcmp(out.data(), in, n) == 0);
    inflateEnd(&zs);
    return ok;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    int level = 1 + data[0] % 9;
    const uint8_t* in = data + 1;
    size_t n = size - 1;
    // Longer inputs from short fuzz data: bit 4 of the first byte repeats the input, so the
    // window slides and blocks fill.
    std::vector<uint8_t> big;
    if (data[0] & 0x10) {
        while (big.size() < 200000 && n)
            big.insert(big.end(), in, in + n);
        in = big.data();
        n = big.size();
    }
    std::vector<uint8_t> z = archive::DeflateBuffer(in, n, level);
    std::vector<uint8_t> back;
    if (archive::InflateBuffer(z.data(), z.size(), back) != archive::TInflateResult::Ok || back.size() != n
        || (n && std::memcmp(back.data(), in, n) != 0))
        __builtin_trap();
    if (!zlibGivesBack(z, in, n))
        __builtin_trap();

    PieceIO io(in, n, 1 + (data[0] >> 5) * 997);
    // One encoder for every input, as a zip run keeps one for all its files: nothing of one
    // file may leak into the next.
    static archive::TDeflater deflater;
    archive::TDeflateResult r = deflater.Deflate(io, level);
    if (r.CompressedSize != io.out.size())
        __builtin_trap();
    if (r.Method == 0) {
        if (io.out.size() != n || (n && std::memcmp(io.out.data(), in, n) != 0))
            __builtin_trap();
        // Where a stored member is not wanted the same input must still come out as deflate.
        PieceIO forced(in, n, 1 + (data[0] >> 5) * 997);
        if (deflater.Deflate(forced, level, false).Method != 8
            || archive::InflateBuffer(forced.out.data(), forced.out.size(), back) != archive::TInflateResult::Ok
            || back.size() != n || (n && std::memcmp(back.data(), in, n) != 0) || !zlibGivesBack(forced.out, in, n))
            __builtin_trap();
    } else if (archive::InflateBuffer(io.out.data(), io.out.size(), back) != archive::TInflateResult::Ok
               || back.size() != n || (n && std::memcmp(back.data(), in, n) != 0) || !zlibGivesBack(io.out, in, n)) {
        __builtin_trap();
    }
    return 0;
}
