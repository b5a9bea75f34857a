// Deflate then inflate: every level must give back the exact input, through the in-memory
// call and through the writer's routines with small uneven reads.
#include "archive/Deflate.h"
#include "archive/Inflate.h"

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

    PieceIO io(in, n, 1 + (data[0] >> 5) * 997);
    archive::TDeflater deflater;
    archive::TDeflateResult r = deflater.Deflate(io, level);
    if (r.CompressedSize != io.out.size())
        __builtin_trap();
    if (r.Method == 0) {
        if (io.out.size() != n || (n && std::memcmp(io.out.data(), in, n) != 0))
            __builtin_trap();
    } else if (archive::InflateBuffer(io.out.data(), io.out.size(), back) != archive::TInflateResult::Ok
               || back.size() != n || (n && std::memcmp(back.data(), in, n) != 0)) {
        __builtin_trap();
    }
    return 0;
}
