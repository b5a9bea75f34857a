#pragma once
// Deflate encoder: raw deflate streams (RFC 1951) at levels 1 to 9, greedy matching for 1-3,
// lazy matching for 4-9, with per-block choice of stored, static or dynamic coding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace archive {

// The member writer's two routines through which the encoder reads its source and hands
// over its output.
class TDeflateIO {
public:
    virtual ~TDeflateIO() = default;
    // Reads up to `count` source bytes into `buffer`; returns how many, 0 at the end. The
    // writer keeps the member's CRC and fires its percentage events here.
    virtual size_t ReadSource(uint8_t* buffer, size_t count) = 0;
    // Takes `count` bytes of member data: encrypts them when a password is set, writes them,
    // serves the message queue and raises EUserCanceled on a cancel request.
    virtual void WriteData(const uint8_t* data, size_t count) = 0;
};

struct TDeflateResult {
    uint64_t CompressedSize = 0;     // bytes handed to WriteData
    uint16_t Method = 8;             // 0 when the whole file went out raw (stored member)
    uint16_t Flags = 0;              // general-purpose flag bits to set in the member's header
    uint16_t InternalAttributes = 1; // 1 text, 0 other data
};

// General-purpose flag bits of a level: bit 2 for levels 1-2, bit 1 for levels 8-9.
uint16_t DeflateFlagBits(int level);

struct TDeflateWork; // window, hash chains and symbol buffers

// One encoder for a whole zip run: its work buffers are made once and reused for every file.
class TDeflater {
public:
    TDeflater();
    ~TDeflater();
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    // Compresses the whole source at `level` (1..9; values outside are clamped). Exceptions of
    // the two routines pass through; an internal match check that fails raises EInvalidMatch
    // "Start: %d, Match: %d, Length: %d". A file that fits one block and does not shrink goes
    // out raw (Method 0) unless `allowStoredMember` is false, when the output is always a
    // deflate stream.
    TDeflateResult Deflate(TDeflateIO& io, int level, bool allowStoredMember = true);

private:
    std::unique_ptr<TDeflateWork> work_;
};

// In memory, for tests and tools: a raw deflate stream of `data` at `level` (never the raw
// stored-member form). `result`, when given, receives flags and the text verdict.
std::vector<uint8_t> DeflateBuffer(const uint8_t* data, size_t size, int level,
                                   TDeflateResult* result = nullptr);

} // namespace archive
