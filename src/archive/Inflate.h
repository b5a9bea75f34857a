#pragma once
// Inflate: expands raw deflate streams (RFC 1951) with table-driven decoding.
#include "archive/UnzipIO.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace archive {

enum class TInflateResult {
    Ok = 0,        // the last block was decoded and all output written
    DataError = 1, // bad codes or lengths, a distance before the start of the output, the
                   // input ended early, or the output grew past the member's size
    BadBlockType = 2,
};

// Expands one deflated member from io's input to io's output (call io.StartMember first).
// A failure ends it early and silently: the bytes decoded so far stay written and the CRC
// check of the member reports it. EUserCanceled raised by the input passes through as a
// cancel; every other exception met inside the data becomes DataError.
TInflateResult Inflate(TUnzipIO& io);

// In memory, for tests and tools: expands `size` bytes of raw deflate into `out` (replacing
// its contents). Output beyond `maxOutput` bytes is a DataError. `consumed`, when given,
// receives the count of input bytes the stream used (whole bytes, up to its last bit).
TInflateResult InflateBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out,
                             size_t maxOutput = SIZE_MAX, size_t* consumed = nullptr);

} // namespace archive
