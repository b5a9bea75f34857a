#pragma once
// Decoders of the older compression methods: shrink (1), reduce (2-5) and implode (6). They
// read and write through the run's TUnzipIO like inflate, and use its window buffer.
#include "archive/UnzipIO.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace archive {

// Method 1: dynamic LZW with code sizes 9 to 13 and partial clearing.
void UnShrink(TUnzipIO& io);
// Methods 2 to 5: follower sets and the 144 marker; factor = method - 1 (1..4).
void UnReduce(TUnzipIO& io, int factor);
// Method 6: Shannon-Fano coded LZ77; `flags` are the member's general purpose flags (bit 1:
// 8192-byte window, bit 2: literal tree), `compressedSize` the member's data size without
// any encryption header.
void Explode(TUnzipIO& io, unsigned flags, uint64_t compressedSize);

// Runs the decoder of `method` (1..6) on io's member. False for any other method.
// A damaged stream ends its decoder early; the member's CRC check then tells.
bool ExpandOldMethod(TUnzipIO& io, unsigned method, unsigned flags, uint64_t compressedSize);

// In memory, for tests, fuzzing and benchmarks: expands `size` bytes of raw member data of
// `method` into out (replacing its contents), at most `uncompressedSize` bytes. Returns the
// CRC-32 of the output.
uint32_t ExpandOldMethodBuffer(unsigned method, unsigned flags, const uint8_t* data, size_t size,
                               uint64_t uncompressedSize, std::vector<uint8_t>& out);

} // namespace archive
