#pragma once
// Shared input and output machinery of extraction: every decoder reads a member's compressed
// bytes and writes its expanded bytes through one TUnzipIO, which keeps the "bytes left"
// count, the bit buffer, the output size guard, the CRC register and the progress calls.
#include "archive/ZipCrc.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace archive {

// Where a member's compressed bytes come from. The extraction engine implements it over the
// archive stream: it reads the chunk (handing over to the next volume where needed), decrypts
// it in place, serves the message queue and raises EUserCanceled on a cancel request or
// EFatalUnzipError when the archive ends early. Exceptions pass through the decoders,
// except that inflate turns everything but a cancel into a data error of the member.
class TUnzipSource {
public:
    virtual ~TUnzipSource() = default;
    // Delivers the next `count` compressed bytes of the member into `buffer` (count >= 1 and
    // never more than the member still holds); returns how many were delivered, 0 for none.
    virtual size_t ReadChunk(uint8_t* buffer, size_t count) = 0;
};

// Where expanded bytes go: the member's output file.
class TUnzipSink {
public:
    virtual ~TUnzipSink() = default;
    // Writes one block of expanded bytes (at most TUnzipIO::OutputBlockSize).
    virtual void WriteOutput(const uint8_t* data, size_t count) = 0;
    // After each block: `bytesWritten` of the member so far, `count` of this block. The engine
    // fires its percentage events here.
    virtual void OutputProgress(uint64_t bytesWritten, size_t count)
    {
        (void)bytesWritten;
        (void)count;
    }
    // A sink that keeps the whole member in memory may offer that memory: room for `size`
    // bytes, the member's stated size. Inflate then decodes straight into it, and each
    // WriteOutput names bytes already in their place there (nothing left to copy). nullptr
    // (the default): the blocks come from the decoder's own window.
    virtual uint8_t* OutputMemory(uint64_t size)
    {
        (void)size;
        return nullptr;
    }
};

struct TInflateState; // the inflater's tables and window, kept for a whole run
struct TInflateStateDeleter {
    void operator()(TInflateState* state) const; // defined with inflate
};

// The working state of one extraction run. Create it once per run; call StartMember before
// each member's decoder.
class TUnzipIO {
public:
    static constexpr size_t InputChunkSize = 16000;  // compressed bytes read at a time
    static constexpr size_t OutputBlockSize = 16000; // expanded bytes written at a time
    static constexpr size_t WindowBufferSize = 32780; // sliding window shared by the decoders

    TUnzipIO();
    ~TUnzipIO();
    TUnzipIO(const TUnzipIO&) = delete;
    TUnzipIO& operator=(const TUnzipIO&) = delete;

    // Resets the per-member state: `compressedSize` bytes of data follow the local header (and
    // the encryption header), `uncompressedSize` is the stored size the output may not exceed.
    // The CRC register starts at all ones.
    void StartMember(TUnzipSource* source, TUnzipSink* sink, uint64_t compressedSize,
                     uint64_t uncompressedSize);

    // --- Input, for the decoders ---
    // Returns 8 and sets b when a byte was delivered, 0 when the member's data is exhausted
    // (b unchanged). Once exhausted, further calls keep returning 0 and count the overrun.
    int ReadByte(uint8_t& b);
    // Tops the bit buffer up to at least 25 bits while bytes remain; EndOfData becomes -1
    // when no byte at all could be added, else 0.
    void FillBitBuffer();
    // The next n bits (0..16), least significant first; missing bits past the end read as 0.
    unsigned ReadBits(unsigned n);
    // A decoder's own bit buffer: ensure at least n bits (bytes past the end count as 0).
    void NeedBits(unsigned n, uint32_t& bitBuffer, unsigned& bitCount);
    static void DumpBits(unsigned n, uint32_t& bitBuffer, unsigned& bitCount)
    {
        bitBuffer >>= n;
        bitCount -= n;
    }

    // Bulk access for fast decoders: the unread compressed bytes in the input buffer. Refill
    // moves what is unread to the front and appends the next chunk; it returns false when
    // the member has no more bytes.
    const uint8_t* InputData() const { return inPtr_; }
    size_t InputAvailable() const { return size_t(inEnd_ - inPtr_); }
    void ConsumeInput(size_t n);
    bool RefillInput();
    // Moves the read position, forward, or back by at most 8 bytes already read (the 8 bytes
    // before the read position survive a refill).
    void SetInputPosition(const uint8_t* p);

    // --- Output, for the decoders ---
    void PutByte(uint8_t c)
    {
        outBuf_[outCount_++] = c;
        if (outCount_ >= OutputBlockSize)
            FlushOutput();
    }
    // Writes what PutByte collected.
    void FlushOutput();
    // Writes expanded bytes at once (in blocks of OutputBlockSize): size guard, CRC, sink and
    // progress. Raises EBiggerThanUncompressed "File is larger than uncompressed size!"
    // before a block that would take the output past the member's size; that block is not
    // written. Bytes collected by PutByte are written first.
    void WriteOutput(const uint8_t* data, size_t count);

    // The sink's memory for the whole member (see TUnzipSink::OutputMemory), or nullptr.
    uint8_t* SinkMemory() const { return sink_ ? sink_->OutputMemory(UncompressedSize) : nullptr; }

    // The decoders' sliding window (WindowBufferSize bytes).
    uint8_t* Window() { return window_.get(); }

    // --- State ---
    int64_t BytesLeft = 0;      // compressed bytes not yet handed to the decoder; < 0 past the end
    uint64_t BytesWritten = 0;  // expanded bytes written for this member
    uint64_t UncompressedSize = 0;
    TCrcRegister Crc;           // running CRC of the written bytes
    uint32_t BitBuffer = 0;     // bits read but not used, least significant first
    unsigned BitCount = 0;
    int EndOfData = 0;          // -1 when the last FillBitBuffer got no byte at all

    // Inflate's tables and window, made on first use and kept for the run.
    std::unique_ptr<TInflateState, TInflateStateDeleter> InflateState;

private:
    uint64_t fetchLeft_ = 0; // compressed bytes not yet fetched from the source
    TUnzipSource* source_ = nullptr;
    TUnzipSink* sink_ = nullptr;
    std::unique_ptr<uint8_t[]> inBuf_;
    const uint8_t* inPtr_ = nullptr;
    const uint8_t* inEnd_ = nullptr;
    std::unique_ptr<uint8_t[]> outBuf_;
    size_t outCount_ = 0;
    std::unique_ptr<uint8_t[]> window_;

    void writeBlocks(const uint8_t* data, size_t count);
};

// Compressed bytes from memory and expanded bytes into a vector: the in-memory decoding
// of tests, fuzzers and benchmarks.
class TMemorySource : public TUnzipSource {
public:
    TMemorySource(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    size_t ReadChunk(uint8_t* buffer, size_t count) override;

private:
    const uint8_t* p_;
    size_t n_;
};

class TVectorSink : public TUnzipSink {
public:
    explicit TVectorSink(std::vector<uint8_t>& v) : v_(v) {}
    void WriteOutput(const uint8_t* data, size_t count) override { v_.insert(v_.end(), data, data + count); }

private:
    std::vector<uint8_t>& v_;
};

// Expanded bytes into memory the caller holds, `size` bytes: offered to the decoders as
// OutputMemory when it is the member's size, so inflate decodes straight into it.
class TBufferSink : public TUnzipSink {
public:
    TBufferSink(uint8_t* data, size_t size) : data_(data), size_(size) {}
    void WriteOutput(const uint8_t* data, size_t count) override;
    uint8_t* OutputMemory(uint64_t size) override { return size == size_ ? data_ : nullptr; }
    size_t Written() const { return pos_; }

private:
    uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Method 0: copies the member's bytes to the output unchanged.
void UnStore(TUnzipIO& io);

} // namespace archive
