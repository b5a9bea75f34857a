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
    OutOfMemory = 3, // the decoder's tables could not be made (after a message box)
};

// Expands one deflated member from io's input to io's output (call io.StartMember first).
// A failure ends it early and silently: the bytes decoded so far stay written and the CRC
// check of the member reports it. EUserCanceled raised by the input passes through as a
// cancel; every other exception met inside the data becomes DataError.
TInflateResult Inflate(TUnzipIO& io);

// Makes io's decoder state (tables and window) ahead of Inflate, without the message Inflate
// shows when memory runs out: false then. For worker threads, which show no messages.
bool PrepareInflate(TUnzipIO& io);

// Expands the raw deflate stream of the next `size` bytes of `source` into `sink`, without
// the message box of Inflate (OutOfMemory then). Output beyond `maxOutput` bytes is a
// DataError. `consumed`, when given, receives the count of input bytes the stream used
// (whole bytes, up to its last bit): a stream that used all of them and still failed ended
// early.
TInflateResult InflateFrom(TUnzipSource& source, TUnzipSink& sink, uint64_t size, uint64_t maxOutput = UINT64_MAX,
                           uint64_t* consumed = nullptr);

// In memory, for tests and tools: expands `size` bytes of raw deflate into `out` (replacing
// its contents). Output beyond `maxOutput` bytes is a DataError. `consumed`, when given,
// receives the count of input bytes the stream used (whole bytes, up to its last bit).
TInflateResult InflateBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out,
                             size_t maxOutput = SIZE_MAX, size_t* consumed = nullptr);

// Multi-level decoding tables of a prefix code, as inflate's tables are made; the explode
// decoder builds its trees with them too. One entry:
struct THuft {
    uint8_t e = 99;           // 16 literal, 15 end of block, 99 invalid, below 15 a base value
                              // with e extra bits, above 16 a sub-table of (e - 16) index bits
    uint8_t b = 0;            // bits of the code used by this entry
    uint16_t n = 0;           // literal or base value
    const THuft* t = nullptr; // the sub-table (e above 16)
};

// The tables of one tree. Decoding: t = root[next lookup bits]; while t->e > 16: stop with
// an error when it is 99, else drop t->b bits and t = t->t[next (t->e - 16) bits]; finally
// drop t->b bits. Bits are taken least significant first, as deflate sends them.
struct THuftList {
    const THuft* root = nullptr;
    std::vector<std::vector<THuft>> tables;
};

// Builds the tables for the code lengths b[0..n) (0 = unused, at most 16). Codes below s are
// literals (e 16; 15 from 256 on); code i from s on gets base d[i - s] and e[i - s]. lookupBits
// gives the first-level bits wanted and receives the bits used (bounded by the shortest and
// longest code). Returns 0 for a complete code (also for all lengths 0: no table), 1 for an
// incomplete one (the table is still made; unused codes are invalid), 2 for over-subscribed
// lengths, 3 when memory runs out.
int huft_build(const unsigned* b, unsigned n, unsigned s, const uint16_t* d, const uint8_t* e, THuftList& table,
               int& lookupBits);
// Releases the tables and leaves the handle empty.
void huft_free(THuftList& table);

} // namespace archive
