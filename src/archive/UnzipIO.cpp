#include "archive/UnzipIO.h"

#include "archive/ZipExceptions.h"

#include <algorithm>
#include <cstring>

namespace archive {

namespace {
// Room for two chunks, so a fast decoder always finds a long contiguous run of input, plus
// zeroed slack it may over-read.
constexpr size_t InputCapacity = 2 * TUnzipIO::InputChunkSize;
constexpr size_t InputSlack = 64;
// Bytes kept in front of the read position across refills, so a decoder that read ahead into
// its bit buffer can give whole bytes back.
constexpr size_t Lookbehind = 8;
// The "bytes left" count stops here past the end, so endless reading cannot wrap it.
constexpr int64_t BytesLeftFloor = -(int64_t(1) << 40);
} // namespace

TUnzipIO::TUnzipIO()
    : inBuf_(new uint8_t[Lookbehind + InputCapacity + InputSlack]()),
      outBuf_(new uint8_t[OutputBlockSize + 1]()),
      window_(new uint8_t[WindowBufferSize]())
{
    inPtr_ = inEnd_ = inBuf_.get() + Lookbehind;
}

TUnzipIO::~TUnzipIO() = default;

void TUnzipIO::StartMember(TUnzipSource* source, TUnzipSink* sink, uint64_t compressedSize,
                           uint64_t uncompressedSize)
{
    source_ = source;
    sink_ = sink;
    fetchLeft_ = compressedSize;
    BytesLeft = compressedSize > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(compressedSize);
    UncompressedSize = uncompressedSize;
    BytesWritten = 0;
    Crc.Start();
    BitBuffer = 0;
    BitCount = 0;
    EndOfData = 0;
    outCount_ = 0;
    inPtr_ = inEnd_ = inBuf_.get() + Lookbehind;
}

bool TUnzipIO::RefillInput()
{
    if (fetchLeft_ == 0 || !source_)
        return false;
    size_t have = InputAvailable();
    uint8_t* base = inBuf_.get() + Lookbehind;
    if (have > InputCapacity - InputChunkSize)
        return true; // plenty unread already
    size_t keep = std::min<size_t>(Lookbehind, size_t(inPtr_ - inBuf_.get()));
    if (inPtr_ != base)
        std::memmove(base - keep, inPtr_ - keep, have + keep);
    inPtr_ = base;
    inEnd_ = base + have;
    size_t want = size_t(std::min<uint64_t>(fetchLeft_, InputChunkSize));
    size_t got = source_->ReadChunk(base + have, want);
    got = std::min(got, want);
    if (got == 0) {
        fetchLeft_ = 0; // the source has nothing more: treat the member as ended
        return false;
    }
    fetchLeft_ -= got;
    inEnd_ += got;
    std::memset(const_cast<uint8_t*>(inEnd_), 0, InputSlack);
    return true;
}

void TUnzipIO::SetInputPosition(const uint8_t* p)
{
    const uint8_t* lowest = inBuf_.get();
    p = std::clamp(p, lowest, inEnd_);
    BytesLeft -= int64_t(p - inPtr_);
    inPtr_ = p;
}

void TUnzipIO::ConsumeInput(size_t n)
{
    n = std::min(n, InputAvailable());
    inPtr_ += n;
    BytesLeft -= int64_t(n);
}

int TUnzipIO::ReadByte(uint8_t& b)
{
    if (inPtr_ == inEnd_ && !RefillInput()) {
        if (BytesLeft > BytesLeftFloor)
            --BytesLeft;
        return 0;
    }
    b = *inPtr_++;
    --BytesLeft;
    return 8;
}

void TUnzipIO::FillBitBuffer()
{
    EndOfData = -1;
    uint8_t b = 0;
    while (BitCount < 25 && ReadByte(b)) {
        BitBuffer |= uint32_t(b) << BitCount;
        BitCount += 8;
        EndOfData = 0;
    }
}

unsigned TUnzipIO::ReadBits(unsigned n)
{
    if (n == 0)
        return 0;
    if (n > BitCount)
        FillBitBuffer();
    unsigned v = BitBuffer & ((1u << n) - 1);
    if (n >= BitCount) { // past the end the missing bits read as zero
        BitBuffer = 0;
        BitCount = 0;
    } else {
        BitBuffer >>= n;
        BitCount -= n;
    }
    return v;
}

void TUnzipIO::NeedBits(unsigned n, uint32_t& bitBuffer, unsigned& bitCount)
{
    while (bitCount < n) {
        uint8_t b = 0;
        ReadByte(b);
        bitBuffer |= uint32_t(b) << bitCount;
        bitCount += 8;
    }
}

void TUnzipIO::writeBlocks(const uint8_t* data, size_t count)
{
    while (count > 0) {
        size_t n = std::min(count, OutputBlockSize);
        if (BytesWritten + n > UncompressedSize)
            throw EBiggerThanUncompressed(QStringLiteral("File is larger than uncompressed size!"));
        if (sink_)
            sink_->WriteOutput(data, n);
        Crc.UpdateCRC(data, n);
        BytesWritten += n;
        if (sink_)
            sink_->OutputProgress(BytesWritten, n);
        data += n;
        count -= n;
    }
}

void TUnzipIO::FlushOutput()
{
    if (outCount_ == 0)
        return;
    size_t n = outCount_;
    outCount_ = 0; // a refused block is dropped, not retried
    writeBlocks(outBuf_.get(), n);
}

void TUnzipIO::WriteOutput(const uint8_t* data, size_t count)
{
    FlushOutput();
    writeBlocks(data, count);
}

size_t TMemorySource::ReadChunk(uint8_t* buffer, size_t count)
{
    count = std::min(count, n_);
    if (count)
        std::memcpy(buffer, p_, count);
    p_ += count;
    n_ -= count;
    return count;
}

void TBufferSink::WriteOutput(const uint8_t* data, size_t count)
{
    count = std::min(count, size_ - pos_);
    if (data != data_ + pos_) // else decoded in place
        std::memcpy(data_ + pos_, data, count);
    pos_ += count;
}

void UnStore(TUnzipIO& io)
{
    for (;;) {
        size_t n = io.InputAvailable();
        if (n == 0) {
            if (!io.RefillInput())
                break;
            continue;
        }
        const uint8_t* p = io.InputData();
        io.ConsumeInput(n);
        io.WriteOutput(p, n);
    }
    io.FlushOutput();
}

} // namespace archive
