// Inflate against zlib on nearly valid streams: the input is compressed by zlib (its level,
// strategy and window from the first byte), a few bits of the stream are then flipped at
// places the input chooses, and both inflaters must agree: the same bytes, or both failing.
// Random bytes rarely form a dynamic block header; damaged real streams reach every table and
// copy path of the decoder. zlib serves only as the test's oracle. The stream is also decoded
// straight into memory of zlib's output size (the same bytes, or both failing) and of a little
// less (failing, the bytes written agreeing with zlib's).
//
// Input: byte 0 = level/strategy, byte 1 = count of flips (0-7), then 3 bytes per flip (bit
// position in the compressed stream, taken modulo its size), then the data to compress.
#include "archive/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int level = data[0] % 10;
    const int strategies[4] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE};
    const int strategy = strategies[(data[0] >> 4) & 3];
    const int windowBits = 9 + ((data[0] >> 6) & 3) * 2; // 9, 11, 13, 15
    const unsigned flips = data[1] & 7;
    if (size < 2 + 3 * size_t(flips))
        return 0;
    const uint8_t* flipAt = data + 2;
    const uint8_t* in = flipAt + 3 * flips;
    const size_t n = size - 2 - 3 * flips;

    std::vector<uint8_t> z(compressBound(uLong(n)) + 64);
    z_stream c{};
    if (deflateInit2(&c, level, Z_DEFLATED, -std::max(windowBits, 9), 8, strategy) != Z_OK)
        return 0;
    c.next_in = const_cast<uint8_t*>(in);
    c.avail_in = uInt(n);
    c.next_out = z.data();
    c.avail_out = uInt(z.size());
    const int cr = deflate(&c, Z_FINISH);
    z.resize(c.total_out);
    deflateEnd(&c);
    if (cr != Z_STREAM_END || z.empty())
        return 0;
    for (unsigned i = 0; i < flips; ++i) {
        const size_t bit = (size_t(flipAt[3 * i]) | size_t(flipAt[3 * i + 1]) << 8 | size_t(flipAt[3 * i + 2]) << 16)
                           % (z.size() * 8);
        z[bit / 8] ^= uint8_t(1u << (bit % 8));
    }

    constexpr size_t Max = 4 << 20;
    std::vector<uint8_t> ours;
    const archive::TInflateResult r = archive::InflateBuffer(z.data(), z.size(), ours, Max);

    static std::vector<uint8_t> theirs(Max + 1); // made once: clearing 4 MiB a run would dominate
    z_stream d{};
    inflateInit2(&d, -15);
    d.next_in = z.data();
    d.avail_in = uInt(z.size());
    d.next_out = theirs.data();
    d.avail_out = uInt(theirs.size());
    const int zr = inflate(&d, Z_FINISH);
    const bool zlibOk = zr == Z_STREAM_END && d.total_out <= Max;
    const size_t zlibOut = d.total_out;
    inflateEnd(&d);

    if (zlibOk != (r == archive::TInflateResult::Ok))
        __builtin_trap();
    if (zlibOk && (ours.size() != zlibOut || !std::equal(ours.begin(), ours.end(), theirs.begin())))
        __builtin_trap();
    // Undamaged, both give back the input.
    if (flips == 0 && (r != archive::TInflateResult::Ok || ours.size() != n || (n && std::memcmp(ours.data(), in, n) != 0)))
        __builtin_trap();

    const size_t sizes[2] = {zlibOut, zlibOut - std::min(zlibOut, 1 + n % 300)};
    for (const size_t room : sizes) {
        if ((room == 0 && zlibOut != 0) || zlibOut > Max)
            continue;
        std::unique_ptr<uint8_t[]> mem(new uint8_t[room + 1]); // + 1: new[] of 0 bytes
        archive::TMemorySource src(z.data(), z.size());
        archive::TBufferSink sink(mem.get(), room);
        archive::TUnzipIO io;
        io.StartMember(&src, &sink, z.size(), room);
        const archive::TInflateResult m = archive::Inflate(io);
        const bool ok = m == archive::TInflateResult::Ok;
        if (ok != (zlibOk && room == zlibOut) || sink.Written() != io.BytesWritten || io.BytesWritten > room
            || !std::equal(mem.get(), mem.get() + std::min(sink.Written(), zlibOut), theirs.begin()))
            __builtin_trap();
        if (ok && io.Crc.Crc() != uint32_t(crc32(0, mem.get(), uInt(room))))
            __builtin_trap();
    }
    return 0;
}
