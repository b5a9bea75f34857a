#include "archive/BufferStream.h"

#include "archive/ZipExceptions.h"
#include "archive/ZipStrings.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

// ---- TStream ----

int64_t TStream::Size()
{
    const int64_t pos = Seek(0, soFromCurrent);
    const int64_t size = Seek(0, soFromEnd);
    Seek(pos, soFromBeginning);
    return size;
}

void TStream::SetSize(int64_t)
{
    throw EStreamError(QStringLiteral("Stream size cannot be changed"));
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError(QStringLiteral("Stream read error"));
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError(QStringLiteral("Stream write error"));
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const int64_t total = count;
    constexpr int64_t chunk = 65536;
    QByteArray buf(int(std::min(count, chunk)), Qt::Uninitialized);
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, buf.size());
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.constData(), n);
        count -= n;
    }
    return total;
}

// ---- TFileStream ----

TFileStream::TFileStream(const QString& fileName, uint16_t mode) : fileName_(fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    if (mode == fmCreate) {
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError(QStringLiteral("Cannot create file %1").arg(fileName));
        return;
    }
    int flags = O_RDONLY;
    switch (mode & 0x3) {
    case fmOpenWrite: flags = O_WRONLY; break;
    case fmOpenReadWrite: flags = O_RDWR; break;
    default: break;
    }
    fd_ = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd_ >= 0) {
        // A folder opens for reading on Linux, but it is no file.
        struct stat st;
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0)
        throw EFOpenError(QStringLiteral("Cannot open file %1").arg(fileName));
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    auto* p = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, p + done, size_t(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const auto* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, p + done, size_t(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            lastError_ = errno;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, int origin)
{
    int whence = SEEK_SET;
    if (origin == soFromCurrent)
        whence = SEEK_CUR;
    else if (origin == soFromEnd)
        whence = SEEK_END;
    const off_t r = ::lseek(fd_, off_t(offset), whence);
    if (r < 0) // a seek before the start leaves the position unchanged
        return ::lseek(fd_, 0, SEEK_CUR);
    return r;
}

int64_t TFileStream::Size()
{
    struct stat st;
    if (::fstat(fd_, &st) == 0)
        return st.st_size;
    return TStream::Size();
}

void TFileStream::SetSize(int64_t newSize)
{
    if (::ftruncate(fd_, off_t(newSize)) != 0)
        throw EStreamError(QStringLiteral("Stream size cannot be changed"));
    if (Position() > newSize)
        Seek(newSize, soFromBeginning);
}

// ---- TMemoryStream ----

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || pos_ >= data_.size())
        return 0;
    const int64_t n = std::min<int64_t>(count, data_.size() - pos_);
    std::memcpy(buffer, data_.constData() + pos_, size_t(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (pos_ + count > data_.size())
        data_.resize(qsizetype(pos_ + count));
    std::memcpy(data_.data() + pos_, buffer, size_t(count));
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin)
{
    int64_t target = offset;
    if (origin == soFromCurrent)
        target = pos_ + offset;
    else if (origin == soFromEnd)
        target = data_.size() + offset;
    if (target >= 0)
        pos_ = target;
    return pos_;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    data_.resize(qsizetype(std::max<int64_t>(newSize, 0)));
    pos_ = std::min<int64_t>(pos_, data_.size());
}

// ---- TS_BufferStream ----

TS_BufferStream::TS_BufferStream(TStream* stream, int bufferSize)
    : stream_(stream), size_(std::max(bufferSize, 1)), buffer_(new char[size_t(size_)])
{
}

TS_BufferStream::~TS_BufferStream()
{
    FinishWriting();
    delete[] buffer_;
}

void TS_BufferStream::FinishWriting()
{
    if (mode_ == Writing && stream_)
        FlushBuffer();
}

int64_t TS_BufferStream::LogicalPosition()
{
    int64_t pos = stream_->Seek(0, soFromCurrent);
    if (ptr_) {
        if (mode_ == Reading)
            pos -= end_ - ptr_;
        else if (mode_ == Writing)
            pos += ptr_ - buffer_;
    }
    return pos;
}

bool TS_BufferStream::FillBuffer()
{
    const int64_t n = stream_->Read(buffer_, size_);
    ptr_ = buffer_;
    end_ = buffer_ + std::max<int64_t>(n, 0);
    mode_ = n > 0 ? Reading : Idle;
    if (OnFillBuffer)
        OnFillBuffer(this);
    return n > 0;
}

bool TS_BufferStream::FlushBuffer()
{
    // Only written bytes are pending; a read-ahead buffer must never be written back.
    if (mode_ != Writing)
        return true;
    const int64_t pending = ptr_ ? ptr_ - buffer_ : 0;
    const int64_t n = pending > 0 ? stream_->Write(buffer_, pending) : 0;
    ptr_ = buffer_;
    end_ = buffer_ + size_;
    mode_ = Idle;
    if (OnFlushBuffer)
        OnFlushBuffer(this);
    return n == pending;
}

int64_t TS_BufferStream::Read(void* buffer, int64_t count)
{
    if (mode_ == Writing) {
        FlushBuffer();
        ptr_ = end_ = buffer_; // empty: the next byte comes from the wrapped stream
    } else if (!ptr_ || mode_ == Idle) {
        ptr_ = end_ = buffer_;
    }
    if (count < 1)
        return 0;
    auto* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        if (ptr_ >= end_ && !FillBuffer())
            break;
        const int64_t n = std::min<int64_t>(end_ - ptr_, count - done);
        std::memcpy(out + done, ptr_, size_t(n));
        ptr_ += n;
        done += n;
    }
    return done;
}

int64_t TS_BufferStream::Write(const void* buffer, int64_t count)
{
    if (mode_ == Reading) {
        stream_->Seek(LogicalPosition(), soFromBeginning);
        ptr_ = buffer_;
        end_ = buffer_ + size_;
        mode_ = Idle;
    } else if (!ptr_ || mode_ == Idle) {
        ptr_ = buffer_;
        end_ = buffer_ + size_;
    }
    if (count < 1)
        return 0;
    const auto* in = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        if (ptr_ == buffer_ && count - done >= size_) {
            // The buffer is empty and a whole buffer's worth or more is left: it goes out
            // in one write, without the copy through the buffer.
            const int64_t want = count - done;
            const int64_t n = stream_->Write(in + done, want);
            done += std::max<int64_t>(n, 0);
            if (n != want)
                break;
            continue;
        }
        const int64_t n = std::min<int64_t>(end_ - ptr_, count - done);
        std::memcpy(ptr_, in + done, size_t(n));
        ptr_ += n;
        done += n;
        if (ptr_ == end_) {
            mode_ = Writing;
            if (!FlushBuffer())
                break;
        }
    }
    if (ptr_ != buffer_)
        mode_ = Writing;
    return done;
}

int64_t TS_BufferStream::Seek(int64_t offset, int origin)
{
    const int64_t current = LogicalPosition();
    int64_t target;
    switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = current + offset; break;
    case soFromEnd: {
        int64_t size = stream_->Size();
        size = std::max(size, current);
        target = size - (offset < 0 ? -offset : offset);
        break;
    }
    default: throw platform::Exception(QStringLiteral("Invalid seek origin (%1)").arg(origin));
    }
    if (target < 0) // before the start: stay where we are
        return current;
    if (target != current) {
        if (mode_ == Writing && !FlushBuffer())
            throw platform::Exception(QStringLiteral("\nSeek error"));
        stream_->Seek(target, soFromBeginning);
        ptr_ = end_ = nullptr;
        mode_ = Idle;
    }
    return target;
}

void TS_BufferStream::PutBack(uint8_t c)
{
    if (!ptr_ || ptr_ == buffer_ || mode_ != Reading)
        throw EStreamError(SPutbackOverflow);
    *--ptr_ = char(c);
}

} // namespace archive
