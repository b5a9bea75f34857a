#pragma once
// Streams of the archive component: the abstract stream every record reader and writer works
// on, a file stream and a memory stream, and the buffered stream that puts a buffer (8192
// bytes unless said otherwise) in front of another stream so that single-byte reads cost no
// system call.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace archive {

// Seek origins.
enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;
    // Returns the number of bytes moved (fewer at the end of the data); never throws for a short count.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t offset, int origin) = 0;
    // The size, found through Seek (current, end, back) unless a stream knows better.
    virtual int64_t Size();
    // Streams that cannot change their size raise EStreamError.
    virtual void SetSize(int64_t newSize);

    int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soFromBeginning); }
    // Whole transfers: EReadError "Stream read error" / EWriteError "Stream write error" when short.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source's position (count 0: the whole source from its start);
    // returns the count copied. A short source raises EReadError.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// File open modes (the share flags are accepted and have no effect on Linux).
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF, // create or truncate, read and write
};

// A file opened through a POSIX descriptor. Failure raises EFOpenError "Cannot open file %s"
// or EFCreateError "Cannot create file %s".
class TFileStream : public TStream {
public:
    TFileStream(const QString& fileName, uint16_t mode);
    // Takes over `fd`, a file already open for writing (closed by the stream).
    TFileStream(int fd, const QString& fileName) : fd_(fd), fileName_(fileName) {}
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override;
    void SetSize(int64_t newSize) override;

    int Handle() const { return fd_; }
    const QString& FileName() const { return fileName_; }
    // The errno of the last write that failed (0: none failed), for a message that names
    // the cause, such as a full disk.
    int LastError() const { return lastError_; }

private:
    int fd_ = -1;
    QString fileName_;
    int lastError_ = 0;
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(QByteArray data) : data_(std::move(data)) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return data_.size(); }
    void SetSize(int64_t newSize) override;

    const QByteArray& Data() const { return data_; }
    QByteArray& Data() { return data_; }
    void Clear() { data_.clear(); pos_ = 0; }

private:
    QByteArray data_;
    int64_t pos_ = 0;
};

// Buffered stream over another stream (not owned). Reads are served from a read-ahead
// buffer, writes collected until it is full (a write of a buffer's worth or more, into an
// empty buffer, goes straight through); a seek to another place drops the read-ahead data
// and flushes pending writes; the destructor flushes.
class TS_BufferStream : public TStream {
public:
    static constexpr int BufferSize = 8192;
    enum Mode : int { Idle = 0, Reading = 1, Writing = 2 };

    // bufferSize: the buffer's size in bytes (a stream written in many small pieces, such as
    // an archive of many small members, goes out in fewer system calls with a larger one).
    explicit TS_BufferStream(TStream* stream, int bufferSize = BufferSize);
    ~TS_BufferStream() override;
    TS_BufferStream(const TS_BufferStream&) = delete;
    TS_BufferStream& operator=(const TS_BufferStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    // Origins 0, 1, 2; from the end, -n and n land on the same place (size - |n|), the size
    // being the larger of the wrapped stream's size and the logical position. Another origin
    // raises Exception "Invalid seek origin (%d)"; a failed flush raises "\nSeek error".
    int64_t Seek(int64_t offset, int origin) override;

    // One byte, or -1 at the end of the data: the cheap path of byte-by-byte scans.
    int ReadByte()
    {
        if (mode_ == Reading && ptr_ < end_)
            return static_cast<unsigned char>(*ptr_++);
        unsigned char b;
        return Read(&b, 1) == 1 ? b : -1;
    }

    // Reads up to a buffer's worth of bytes from the wrapped stream; true when something was read.
    virtual bool FillBuffer();
    // Writes the pending bytes; true when all of them were written.
    virtual bool FlushBuffer();
    // Puts c back in front of the next byte to read. Right after a seek, before any read, or
    // at the start of the buffer: EStreamError "Putback overflow".
    virtual void PutBack(uint8_t c);

    // Optional notifications after every fill and every flush.
    std::function<void(TS_BufferStream*)> OnFillBuffer;
    std::function<void(TS_BufferStream*)> OnFlushBuffer;

    TStream* WrappedStream() const { return stream_; }
    int CurrentMode() const { return mode_; }

protected:
    // For streams that create their wrapped stream after this base (TLFNFileStream).
    void SetWrappedStream(TStream* stream) { stream_ = stream; }
    // Flushes pending writes; derived destructors that free the wrapped stream call it first.
    void FinishWriting();
    // Forgets the buffer's contents (after the wrapped stream was changed behind its back).
    void DropBuffer() { ptr_ = end_ = nullptr; mode_ = Idle; }

private:
    int64_t LogicalPosition();

    TStream* stream_;
    int size_;
    char* buffer_;
    char* ptr_ = nullptr; // nothing before first use and after a seek
    char* end_ = nullptr;
    int mode_ = Idle;
};

} // namespace archive
