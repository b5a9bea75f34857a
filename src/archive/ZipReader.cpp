#include "archive/ZipReader.h"

#include "archive/Inflate.h"
#include "archive/UnzipIO.h"

#include "archive/ZipStrings.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/text/CodePage.h"
#include "platform/volumes/Volumes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace archive {

namespace {

// Comments are stored in the OEM code page, like names.
QString commentText(const std::optional<QByteArray>& bytes)
{
    return bytes ? platform::fromOem(*bytes) : QString();
}

std::optional<QByteArray> commentBytes(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    return platform::toOem(text);
}

// Plain files cut from one archive (name.001, name.002, ...) read as one file, read-only.
class TPiecesStream : public TStream {
public:
    explicit TPiecesStream(const QStringList& names)
    {
        for (const QString& name : names) {
            auto f = std::make_unique<TFileStream>(name, fmOpenRead | fmShareDenyWrite);
            starts_.push_back(total_);
            total_ += std::max<int64_t>(f->Size(), 0);
            files_.push_back(std::move(f));
        }
    }

    int64_t Read(void* buffer, int64_t count) override
    {
        auto* out = static_cast<uint8_t*>(buffer);
        int64_t done = 0;
        while (done < count && pos_ < total_) {
            // The last piece starting at or before the position: never an empty one.
            const size_t i = size_t(std::upper_bound(starts_.begin(), starts_.end(), pos_) - starts_.begin()) - 1;
            const int64_t pieceEnd = i + 1 < starts_.size() ? starts_[i + 1] : total_;
            const int64_t want = std::min(count - done, pieceEnd - pos_);
            files_[i]->Seek(pos_ - starts_[i], soFromBeginning);
            const int64_t got = files_[i]->Read(out + done, want);
            if (got <= 0)
                break; // a piece cut shorter since it was opened
            done += got;
            pos_ += got;
            if (got < want)
                break;
        }
        return done;
    }

    int64_t Write(const void*, int64_t) override { return 0; }

    int64_t Seek(int64_t offset, int origin) override
    {
        const int64_t from = origin == soFromCurrent ? pos_ : origin == soFromEnd ? total_ : 0;
        pos_ = std::max<int64_t>(from + offset, 0);
        return pos_;
    }

    int64_t Size() override { return total_; }

private:
    std::vector<std::unique_ptr<TFileStream>> files_;
    std::vector<int64_t> starts_;
    int64_t total_ = 0;
    int64_t pos_ = 0;
};

// Constructed before the buffered stream and destroyed after it, so the buffer never outlives
// the pieces it reads.
struct TPiecesHolder {
    explicit TPiecesHolder(const QStringList& names) : Pieces(std::make_unique<TPiecesStream>(names)) {}
    std::unique_ptr<TPiecesStream> Pieces;
};

// The joined pieces behind the archive stream's buffer; the handle is the first piece's.
class TJoinedFileStream : private TPiecesHolder, public TLFNFileStream {
public:
    explicit TJoinedFileStream(const QStringList& names)
        : TPiecesHolder(names), TLFNFileStream(names.first(), fmOpenRead | fmShareDenyWrite)
    {
        SetWrappedStream(Pieces.get());
    }
    void SetSize(int64_t) override { throw EStreamError(QStringLiteral("Stream size cannot be changed")); }
};

// The end record leads to a central directory that is really there.
bool centralDirectoryAt(TStream& stream, const TEndCentral& end)
{
    if (end.TotalEntries == 0)
        return true;
    uint8_t sig[4] = {0, 0, 0, 0};
    stream.Seek(end.CentralOffset, soFromBeginning);
    return stream.Read(sig, 4) == 4 && GetLE32(sig) == CentralFileHeaderSig;
}

uint64_t getLE64(const uint8_t* p)
{
    return uint64_t(GetLE32(p)) | uint64_t(GetLE32(p + 4)) << 32;
}

// The values of a ZIP64 end record that stands behind the end record. Only a locator whose
// record really starts with its signature, before the locator, counts: the locator's bytes
// can as well be part of a name, data or the comment.
struct TZip64End {
    uint64_t ThisDisk, CentralDisk, EntriesThisDisk, TotalEntries, CentralSize, CentralOffset;
    // A count, size or offset that the end record cannot hold: the end record's own values are
    // cut short, and this component does not read the rest.
    bool HoldsMore() const
    {
        return ThisDisk > 0xFFFFu || CentralDisk > 0xFFFFu || EntriesThisDisk > 0xFFFFu || TotalEntries > 0xFFFFu
            || CentralSize > 0xFFFFFFFFu || CentralOffset > 0xFFFFFFFFu;
    }
};

std::optional<TZip64End> zip64End(TStream& stream, const TEndCentral& end)
{
    const int64_t at = int64_t(end.CommentPosition) - EndCentralFixedSize - 20;
    if (at < 0)
        return std::nullopt;
    uint8_t loc[20];
    stream.Seek(at, soFromBeginning);
    if (stream.Read(loc, 20) != 20 || GetLE32(loc) != 0x07064b50u)
        return std::nullopt;
    uint8_t rec[56];
    const uint64_t recordAt = getLE64(loc + 8);
    if (recordAt > uint64_t(at) || uint64_t(at) - recordAt < sizeof rec)
        return std::nullopt;
    stream.Seek(int64_t(recordAt), soFromBeginning);
    if (stream.Read(rec, 56) != 56 || GetLE32(rec) != 0x06064b50u)
        return std::nullopt;
    return TZip64End{GetLE32(rec + 16), GetLE32(rec + 20), getLE64(rec + 24), getLE64(rec + 32), getLE64(rec + 40),
                     getLE64(rec + 48)};
}

// All ones in a field of the end record is a value of its own unless a ZIP64 end record stands
// behind it. One that does and holds no more than the end record could carries the real
// values (some writers put all ones into every field once they write a ZIP64 record); one
// that holds more makes the archive one this component cannot read. Writers that always add
// a ZIP64 end record (Info-ZIP zipping from a pipe, for one) leave the end record's values
// whole, and such an archive reads through its classic records. Returns whether a ZIP64 end
// record stands behind; false in *readable when it holds more.
bool applyZip64End(TStream& stream, TEndCentral& end, bool* readable)
{
    *readable = true;
    const std::optional<TZip64End> z = zip64End(stream, end);
    if (!z)
        return false;
    if (z->HoldsMore()) {
        *readable = false;
        return true;
    }
    if (end.ThisDisk == 0xFFFF)
        end.ThisDisk = uint16_t(z->ThisDisk);
    if (end.CentralDisk == 0xFFFF)
        end.CentralDisk = uint16_t(z->CentralDisk);
    if (end.EntriesThisDisk == 0xFFFF)
        end.EntriesThisDisk = uint16_t(z->EntriesThisDisk);
    if (end.TotalEntries == 0xFFFF)
        end.TotalEntries = uint16_t(z->TotalEntries);
    if (end.CentralSize == 0xFFFFFFFFu)
        end.CentralSize = uint32_t(z->CentralSize);
    if (end.CentralOffset == 0xFFFFFFFFu)
        end.CentralOffset = uint32_t(z->CentralOffset);
    return true;
}

// A member's size, offset or disk number of all ones with no ZIP64 field behind it is the
// value itself where the rest of the archive agrees: its local header is where the offset
// says, carries no ZIP64 field either and gives the same sizes (unless they follow the data),
// and the data end before the directory. Otherwise a ZIP64 field was lost or the record is
// damaged, and the archive is not read as if the value were real. The stream's position stays.
bool allOnesValuesAgree(TStream& s, const TZipHeaderInfo& h, int64_t directoryStart)
{
    if (h.DiskNumberStart == 0xFFFF)
        return false; // a single file: no member starts on disk 65535
    const int64_t at = s.Position();
    TZipHeaderInfo local;
    s.Seek(h.RelativeOffset, soFromBeginning);
    const bool read = s.Position() == int64_t(h.RelativeOffset) && local.ReadLocalFromStream(s);
    s.Seek(at, soFromBeginning);
    if (!read || local.Zip64Field)
        return false;
    if (!local.HasDataDescriptor()
        && (local.CompressedSize != h.CompressedSize || local.UncompressedSize != h.UncompressedSize))
        return false;
    return int64_t(h.RelativeOffset) + local.LocalSize() + int64_t(h.CompressedSize) <= directoryStart;
}

bool isFile(const QString& name)
{
    return QFileInfo(name).isFile();
}

// --- Finding the end of a member whose sizes follow its data (the rebuild scan) ---

constexpr uint32_t DataDescriptorSig = 0x08074b50u;

struct TDescriptorEnd {
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    int64_t Next = 0; // just after the descriptor
};


// The length of a descriptor at q (avail bytes readable there) that gives exactly these
// values: 16 with its signature, 12 without, or 24 and 20 with 64-bit sizes (streaming
// writers use those when they cannot know the size in advance); 0 when there is none.
int descriptorAt(const uint8_t* q, size_t avail, uint32_t crc, uint64_t csize, uint64_t usize)
{
    if (csize > 0xFFFFFFFFu || usize > 0xFFFFFFFFu)
        return 0;
    if (avail >= 24 && GetLE32(q) == DataDescriptorSig && GetLE32(q + 4) == crc && getLE64(q + 8) == csize
        && getLE64(q + 16) == usize)
        return 24;
    if (avail >= 20 && GetLE32(q) == crc && getLE64(q + 4) == csize && getLE64(q + 12) == usize)
        return 20;
    if (avail >= 16 && GetLE32(q) == DataDescriptorSig && GetLE32(q + 4) == crc && GetLE32(q + 8) == csize
        && GetLE32(q + 12) == usize)
        return 16;
    if (avail >= 12 && GetLE32(q) == crc && GetLE32(q + 4) == csize && GetLE32(q + 8) == usize)
        return 12;
    return 0;
}

// Stored data: the first position whose following bytes describe the bytes before it (their
// count as both sizes and their CRC-32). `poll` is called now and then during long data.
bool findStoredEnd(TStream& s, int64_t dataStart, const std::function<void()>& poll, TDescriptorEnd& out)
{
    constexpr size_t Chunk = 64 * 1024;
    std::vector<uint8_t> buf;
    int64_t bufPos = dataStart; // file offset of buf[0]
    size_t i = 0;
    bool atEnd = false;
    uint32_t reg = 0xFFFFFFFFu;
    s.Seek(dataStart, soFromBeginning);
    for (uint64_t n = 0; n <= 0xFFFFFFFFu; ++n, ++i) {
        if (!atEnd && buf.size() - i < 24) {
            buf.erase(buf.begin(), buf.begin() + ptrdiff_t(i));
            bufPos += int64_t(i);
            i = 0;
            const size_t old = buf.size();
            buf.resize(old + Chunk);
            const int64_t got = std::max<int64_t>(s.Read(buf.data() + old, int64_t(Chunk)), 0);
            buf.resize(old + size_t(got));
            atEnd = got < int64_t(Chunk);
            if (poll)
                poll();
        }
        const size_t avail = buf.size() - i;
        if (avail < 12)
            return false;
        if (const int len = descriptorAt(buf.data() + i, avail, ~reg, n, n)) {
            out.Crc = ~reg;
            out.CompressedSize = out.UncompressedSize = uint32_t(n);
            out.Next = bufPos + int64_t(i) + len;
            return true;
        }
        reg = CRC32Step(buf[i], reg);
    }
    return false;
}

class TScanSource : public TUnzipSource {
public:
    TScanSource(TStream& s, std::function<void()> poll) : s_(s), poll_(std::move(poll)) {}
    size_t ReadChunk(uint8_t* buffer, size_t count) override
    {
        if (poll_ && (++chunks_ % 64) == 0)
            poll_();
        return size_t(std::max<int64_t>(s_.Read(buffer, int64_t(count)), 0));
    }

private:
    TStream& s_;
    std::function<void()> poll_;
    unsigned chunks_ = 0;
};

class TDiscardSink : public TUnzipSink {
public:
    void WriteOutput(const uint8_t*, size_t) override {}
};

// Deflated data: inflate tells where the data ends and what it expands to; the descriptor
// must follow at that point and agree with both.
bool findDeflatedEnd(TStream& s, int64_t dataStart, const std::function<void()>& poll, TDescriptorEnd& out)
{
    const int64_t size = s.Size();
    if (size <= dataStart)
        return false;
    s.Seek(dataStart, soFromBeginning);
    TUnzipIO io;
    TScanSource src(s, poll);
    TDiscardSink sink;
    io.StartMember(&src, &sink, uint64_t(size - dataStart), 0xFFFFFFFFu);
    try {
        if (Inflate(io) != TInflateResult::Ok)
            return false;
    } catch (const EUserCanceled&) {
        throw;
    } catch (...) {
        return false;
    }
    const uint32_t crc = io.Crc.Crc();
    const uint64_t usize = io.BytesWritten;
    // The decoder reads ahead in chunks: its stream ends somewhere in the last stretch read.
    const int64_t readTo = s.Position();
    const int64_t from = std::max<int64_t>(dataStart, readTo - 4 * int64_t(TUnzipIO::InputChunkSize));
    std::vector<uint8_t> tail(size_t(readTo - from) + 24);
    s.Seek(from, soFromBeginning);
    tail.resize(size_t(std::max<int64_t>(s.Read(tail.data(), int64_t(tail.size())), 0)));
    for (size_t i = 0; i < tail.size(); ++i) {
        const int64_t at = from + int64_t(i);
        if (const int len = descriptorAt(tail.data() + i, tail.size() - i, crc, uint64_t(at - dataStart), usize)) {
            out.Crc = crc;
            out.CompressedSize = uint32_t(at - dataStart);
            out.UncompressedSize = uint32_t(usize);
            out.Next = at + len;
            return true;
        }
    }
    return false;
}

} // namespace

TZipReader::TZipReader()
    : FEndRecord(std::make_unique<TEndCentral>()), CurrentHeader(std::make_unique<TZipHeaderInfo>())
{
    OnGetNextDisk = [this](TZipReader* Sender, int NextDisk, QString& FName) {
        DefaultGetNextDisk(Sender, NextDisk, FName);
    };
}

TZipReader::~TZipReader()
{
    ClearZip();
}

void TZipReader::Loaded() {}

TZipReader::TArchiveStamp TZipReader::StampOf(const QString& FileName)
{
    TArchiveStamp s;
    struct stat st;
    if (::stat(QFile::encodeName(FileName).constData(), &st) == 0) {
        s.Modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
        s.Nanoseconds = st.st_mtim.tv_nsec;
        s.Size = st.st_size;
        s.Identity = quint64(st.st_ino) ^ (quint64(st.st_dev) << 40);
    }
    return s;
}

QStringList TZipReader::SplitPiecesOf(const QString& FirstPiece)
{
    if (!FirstPiece.endsWith(QLatin1String(".001")))
        return {};
    const QString stem = FirstPiece.left(FirstPiece.size() - 3);
    QStringList pieces{FirstPiece};
    for (int n = 2; n <= 999; ++n) {
        const QString next = stem + QString::asprintf("%3.3d", n);
        if (!isFile(next))
            break;
        pieces << next;
    }
    return pieces.size() > 1 ? pieces : QStringList();
}

TZipReader::TArchiveStamp TZipReader::CurrentStamp() const
{
    if (FPieces.isEmpty())
        return StampOf(FZipName);
    // Any piece changed, added or cut changes the stamp.
    TArchiveStamp s;
    s.Size = 0;
    for (const QString& piece : FPieces) {
        const TArchiveStamp p = StampOf(piece);
        if (p.isNull())
            return TArchiveStamp();
        if (!s.Modified.isValid() || p.Modified > s.Modified)
            s.Modified = p.Modified;
        s.Nanoseconds += p.Nanoseconds;
        s.Size += p.Size;
        s.Identity = s.Identity * 31 + p.Identity;
    }
    return s;
}

TLFNFileStream* TZipReader::OpenArchiveFile()
{
    if (!FPieces.isEmpty())
        return new TJoinedFileStream(FPieces);
    return new TLFNFileStream(FZipName, fmOpenRead | fmShareDenyWrite);
}

bool TZipReader::JoinSplitPieces()
{
    const QStringList pieces = SplitPiecesOf(FZipName);
    if (pieces.isEmpty())
        return false;
    std::unique_ptr<TJoinedFileStream> joined;
    try {
        joined = std::make_unique<TJoinedFileStream>(pieces);
    } catch (const EStreamError&) {
        return false; // a piece that cannot be opened: the first one is read alone
    }
    TEndCentral end;
    // Only a whole one-disk archive is read this way; the block files of a volume set are
    // numbered alike but each keeps its own offsets.
    if (!end.FindEndCentral(*joined) || end.ThisDisk != 0 || end.CentralDisk != 0
        || !centralDirectoryAt(*joined, end))
        return false;
    delete FArchiveStream;
    FArchiveStream = joined.release();
    FPieces = pieces;
    ArchiveDate = CurrentStamp();
    return true;
}

void TZipReader::DropMembers()
{
    if (FSortedMembers && FSortedMembers != FMembers)
        delete FSortedMembers;
    FSortedMembers = nullptr;
    delete FMembers;
    FMembers = nullptr;
}

void TZipReader::SetZipName(const QString& Value)
{
    if (Value == FZipName)
        return;
    QString name = Value;
    if (name.endsWith(u'?')) {
        QString dir = QFileInfo(name.left(name.size() - 1)).path();
        if (dir.isEmpty() || !QFileInfo(dir).isDir())
            dir = QDir::rootPath();
        name = platform::dialogs().openFileName(LoadStr(SOpenZipFile), dir, LoadStr(SZipFilter));
        if (name.isEmpty())
            throw EUserCanceled(LoadStr(SUserCanceledSetZipName));
    }
    FZipName = name;
    DropMembers();
    ArchiveDate = TArchiveStamp();
    FEndRecord->Clear();
    delete FArchiveStream;
    FArchiveStream = nullptr;
    FPieces.clear();
    FLastVolumeName.clear();
    FDirectoryRebuilt = false;
    FDirectoryIncomplete = false;
}

void TZipReader::SetDestDir(const QString& Value)
{
    QString v = Value;
    if (v == u"?") {
        QString start = FDestDir;
        if (start.isEmpty() || !QFileInfo(start).isDir())
            start = QDir::currentPath();
        v = platform::dialogs().folderName(QString(), start);
        if (v.isEmpty())
            throw EUserCanceled(LoadStr(SUserCanceledSetDestDir));
    }
    // One final separator is dropped; the root folder stays the root folder.
    if (v.size() > 1 && (v.endsWith(u'/') || v.endsWith(u'\\')))
        v.chop(1);
    FDestDir = v;
}

void TZipReader::SetRootDir(const QString& Value)
{
    QString v = Value;
    if (!v.isEmpty() && !v.endsWith(u'/') && !v.endsWith(u'\\'))
        v += u'/';
    FRootDir = v;
}

void TZipReader::ProcessMessages()
{
    if (DoProcessMessages && QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void TZipReader::ProcessMessagesAndCheckCancel()
{
    ProcessMessages();
    if (CancelRequested) {
        CancelRequested = false;
        throw EUserCanceled(LoadStr(SUserAbortedOperation));
    }
}

void TZipReader::OpenZip()
{
    if (!FArchiveStream)
        FArchiveStream = OpenArchiveFile();
    if (!FMembers) {
        ReadZip();
        return;
    }
    if (!(CurrentStamp() == ArchiveDate))
        ReadZip();
}

void TZipReader::CloseZip()
{
    if (!KeepZipOpen) {
        delete FArchiveStream;
        FArchiveStream = nullptr;
    }
}

void TZipReader::ClearZip()
{
    delete FArchiveStream;
    FArchiveStream = nullptr;
    FPieces.clear();
    FLastVolumeName.clear();
    DropMembers();
    FEndRecord->Clear();
    ArchiveDate = TArchiveStamp();
    FDirectoryRebuilt = false;
    FDirectoryIncomplete = false;
    FNumDisks = 1;
    SetMultiMode(mmNone);
    FZipName.clear();
}

namespace {

// The bytes of an archive from a position to its end, read at once, at their positions in
// the archive.
class TArchiveBytes : public TStream {
public:
    static constexpr int64_t MaxBytes = 64 << 20;

    // From the stream's position on; none when that is more than MaxBytes or unreadable.
    static std::unique_ptr<TArchiveBytes> ReadFrom(TStream& s)
    {
        const int64_t start = s.Position();
        const int64_t size = s.Size();
        if (start < 0 || size < start || size - start > MaxBytes)
            return nullptr;
        auto b = std::make_unique<TArchiveBytes>();
        b->base_ = start;
        b->data_.resize(qsizetype(size - start));
        const int64_t got = s.Read(b->data_.data(), size - start);
        s.Seek(start, soFromBeginning);
        if (got != size - start)
            return nullptr;
        return b;
    }

    int64_t Read(void* buffer, int64_t count) override
    {
        const int64_t n = std::clamp<int64_t>(int64_t(data_.size()) - pos_, 0, std::max<int64_t>(count, 0));
        if (n > 0)
            std::memcpy(buffer, data_.constData() + pos_, size_t(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, int origin) override
    {
        int64_t target = origin == soFromBeginning ? offset - base_
            : origin == soFromCurrent             ? pos_ + offset
                                                  : int64_t(data_.size()) + offset;
        pos_ = std::clamp<int64_t>(target, 0, int64_t(data_.size()));
        return base_ + pos_;
    }
    int64_t Size() override { return base_ + int64_t(data_.size()); }

private:
    int64_t base_ = 0;
    int64_t pos_ = 0;
    QByteArray data_;
};

} // namespace

void TZipReader::ReadZip()
{
    ArchiveDate = StampOf(FZipName);
    DropMembers();
    FDirectoryRebuilt = false;
    FDirectoryIncomplete = false;
    FLastVolumeName.clear();
    TEndCentral& end = *FEndRecord;
    end.Clear();
    // The archive's own file is looked at first, also when it was read as pieces before.
    if (!FPieces.isEmpty()) {
        delete FArchiveStream;
        FArchiveStream = nullptr;
        FPieces.clear();
    }
    if (!FArchiveStream)
        FArchiveStream = new TLFNFileStream(FZipName, fmOpenRead | fmShareDenyWrite);

    auto failBad = [this]() {
        ClearZip();
        throw EBadZipFile(LoadStr(SNotValidZipFile));
    };
    // Sizes, offsets or counts this component cannot read: the archive is refused as a whole
    // rather than listed in part.
    auto failZip64 = [this]() {
        ClearZip();
        throw EBadZipFile(SZip64NotSupported);
    };

    try {
        bool found = end.FindEndCentral(*FArchiveStream);
        // A first piece of a plain split: its own file holds no usable directory, the
        // pieces together may.
        if ((!found || (end.ThisDisk == 0 && !centralDirectoryAt(*FArchiveStream, end))) && JoinSplitPieces()) {
            end.Clear();
            found = end.FindEndCentral(*FArchiveStream);
        } else if (!found) {
            end.Clear();
        }
        bool zip64Behind = false;
        if (found) {
            bool readable = true;
            zip64Behind = applyZip64End(*FArchiveStream, end, &readable);
            if (!readable)
                failZip64();
        }
        if (found) {
            if (end.ThisDisk != 0)
                FLastVolumeName = FZipName;
            FCurrentDisk = end.ThisDisk;
            if (end.ThisDisk == 0)
                SetMultiMode(mmNone);
            else
                SetMultiMode(platform::isRemovableVolume(FZipName) ? mmSpan : mmBlocks);
            if (end.TotalEntries != 0) {
                if (GetMultiMode() != mmNone && end.CentralDisk != FCurrentDisk)
                    SwapDisk(end.CentralDisk + 1);
                uint8_t sig[4] = {0, 0, 0, 0};
                FArchiveStream->Seek(end.CentralOffset, soFromBeginning);
                if (FArchiveStream->Read(sig, 4) == 4 && GetLE32(sig) == CentralFileHeaderSig) {
                    FArchiveStream->Seek(-4, soFromCurrent);
                } else if (!RebuildDirectory()) {
                    failBad();
                }
            }
        } else {
            if (OnInCompleteZip)
                OnInCompleteZip(this, IncompleteZipMode);
            if (IncompleteZipMode == izAssumeMulti) {
                // A file that does not even begin like an archive (or a first volume) is no
                // incomplete archive but no archive at all.
                uint8_t sig[4] = {0, 0, 0, 0};
                FArchiveStream->Seek(0, soFromBeginning);
                const bool zipStart = FArchiveStream->Read(sig, 4) == 4
                    && (GetLE32(sig) == LocalFileHeaderSig || GetLE32(sig) == 0x08074b50u || GetLE32(sig) == 0x30304b50u);
                ClearZip();
                if (!zipStart)
                    throw EBadZipFile(LoadStr(SNotValidZipFile));
                throw EIncompleteZip(LoadStr(SIncompleteZipFile));
            }
            if (!RebuildDirectory())
                failBad();
        }

        if (!FMembers) {
            FMembers = new TSortedZip(dupError);
            FMembers->SortMode = ByNone;
            FSortedMembers = FMembers;
        }
        const int total = end.TotalEntries;
        const bool useCallback = !FDirectoryRebuilt && GetMultiMode() != mmNone;
        TNextVolumeCallback nextVolume;
        if (useCallback)
            nextVolume = [this](TZipHeaderInfo&, TStream*& s) { s = SwapDisk(FCurrentDisk + 2); };
        // The records of an archive in one file are read at once and parsed in memory: each
        // record looked at through the file costs system calls.
        std::unique_ptr<TArchiveBytes> held;
        if (!useCallback && !FDirectoryRebuilt)
            held = TArchiveBytes::ReadFrom(*FArchiveStream);
        for (int i = 0; i < total; ++i) {
            auto h = std::make_unique<TZipHeaderInfo>();
            TStream* s = held ? static_cast<TStream*>(held.get()) : FArchiveStream;
            // An unreadable record ends the directory; the entries read so far stay.
            if (!h->ReadCentralFromStream(s, nextVolume)) {
                // A rebuilt list has every member the scan found, with or without records.
                FDirectoryIncomplete = FDirectoryIncomplete || !FDirectoryRebuilt;
                break;
            }
            if (h->NeedsZip64())
                failZip64();
            const bool allOnes = h->CompressedSize == 0xFFFFFFFFu || h->UncompressedSize == 0xFFFFFFFFu
                || h->RelativeOffset == 0xFFFFFFFFu || h->DiskNumberStart == 0xFFFF;
            if (allOnes && (GetMultiMode() != mmNone || !allOnesValuesAgree(*FArchiveStream, *h, end.CentralOffset)))
                failZip64();
            if (!FDirectoryRebuilt) {
                FMembers->Add(h.get()); // a duplicate raises, and h still owns the header
                h.release();
            } else {
                int idx = FMembers->IndexOf(h.get());
                if (idx >= 0) {
                    TZipHeaderInfo* listed = FMembers->Header(idx);
                    const uint32_t off = listed->RelativeOffset;
                    listed->Assign(*h);
                    listed->RelativeOffset = off;
                }
            }
        }
        if (held)
            FArchiveStream->Seek(held->Position(), soFromBeginning);
        if (!FDirectoryRebuilt && !FDirectoryIncomplete && GetMultiMode() == mmNone && total > 0) {
            // More records than the end record counts: the list lacks members.
            uint8_t next[4] = {0, 0, 0, 0};
            FDirectoryIncomplete = FArchiveStream->Read(next, 4) == 4 && GetLE32(next) == CentralFileHeaderSig;
            // A count of 65535 with more records after them: the archive has more members than
            // the end record can count, and the ZIP64 record that would count them is missing.
            if (FDirectoryIncomplete && total == 0xFFFF && !zip64Behind)
                failZip64();
        }
        if (end.ThisDisk != 0) {
            // The volume holding the directory may not be in the drive later.
            for (int i = 0; i < FMembers->Count(); ++i)
                if (FMembers->Header(i)->HasComment() && FMembers->Header(i)->CentralOffset)
                    LoadFileCommentFromOpenStream(FMembers->Header(i));
            if (end.HasComment()) {
                if (end.ThisDisk != FCurrentDisk)
                    SwapDisk(end.ThisDisk + 1);
                LoadZipCommentFromOpenStream(&end);
            }
        }
        FNumDisks = end.ThisDisk + 1;
        FCurrentDisk = end.ThisDisk;
    } catch (const EListError&) {
        // Two records for one local header: not a directory we can trust.
        ClearZip();
        throw;
    }
    SetSortMode(SortMode);
}

bool TZipReader::RebuildDirectory()
{
    FDirectoryRebuilt = true;
    DropMembers();
    TLFNFileStream* s = FArchiveStream;
    const int64_t start = FZipName.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) ? 14000 : 0;
    uint32_t skipped = 0;
    // Moves to the next local header signature from `from`; false at the end of the stream.
    auto findHeaderSignature = [&](int64_t from) {
        s->Seek(from, soFromBeginning);
        static const uint8_t sig[4] = {'P', 'K', 3, 4};
        int state = 0;
        while (state < 4) {
            const int c = s->ReadByte();
            if (c < 0)
                return false;
            if (c == sig[state]) {
                ++state;
                continue;
            }
            if (state > 0 && c == 'P') {
                state = 1;
                continue;
            }
            state = 0;
            if (++skipped % 10240 == 0 && DoProcessMessages)
                ProcessMessagesAndCheckCancel();
        }
        s->Seek(-4, soFromCurrent);
        return true;
    };
    if (!findHeaderSignature(start))
        return false;
    FMembers = new TSortedZip(dupError);
    FMembers->SortMode = ByNone;
    FSortedMembers = FMembers;
    std::function<void()> poll;
    if (DoProcessMessages)
        poll = [this]() { ProcessMessagesAndCheckCancel(); };
    int64_t resumeFrom = -1;
    for (;;) {
        auto h = std::make_unique<TZipHeaderInfo>();
        if (!h->ReadLocalFromStream(*s)) {
            // After a member whose end was not found the next one is wherever the next
            // header signature is.
            if (resumeFrom < 0 || !findHeaderSignature(resumeFrom))
                break;
            resumeFrom = -1;
            continue;
        }
        resumeFrom = -1;
        // With a data descriptor the sizes follow the data, whatever the header holds.
        if (!h->HasDataDescriptor() && h->NeedsZip64()) {
            ClearZip();
            throw EBadZipFile(SZip64NotSupported);
        }
        const int64_t dataStart = s->Position() + h->ExtraFieldLength;
        int64_t next = dataStart + int64_t(h->CompressedSize);
        if (h->HasDataDescriptor()) {
            // The sizes and CRC follow the data: only a descriptor that agrees with the bytes
            // before it marks the end. Without one the member stays listed with no data, so
            // extraction refuses it rather than writing an empty or wrong file.
            TDescriptorEnd found;
            const bool known = !h->Encrypted()
                && ((h->CompressionMethod == 0 && findStoredEnd(*s, dataStart, poll, found))
                    || (h->CompressionMethod == 8 && findDeflatedEnd(*s, dataStart, poll, found)));
            if (known) {
                h->CRC32 = found.Crc;
                h->CompressedSize = found.CompressedSize;
                h->UncompressedSize = found.UncompressedSize;
                next = found.Next;
            } else {
                h->CRC32 = 0;
                h->CompressedSize = 0;
                h->UncompressedSize = 0;
                next = dataStart;
                resumeFrom = dataStart;
            }
        }
        FMembers->Add(h.get());
        h.release();
        s->Seek(next, soFromBeginning);
    }
    {
        // The scan covered every member only when it ended at the directory, the end record
        // or the end of the file.
        uint8_t next[4] = {0, 0, 0, 0};
        const int64_t at = s->Position();
        const int64_t got = s->Read(next, 4);
        FDirectoryIncomplete = got > 0 && !(got == 4 && (GetLE32(next) == CentralFileHeaderSig || GetLE32(next) == EndCentralDirSig));
        s->Seek(at, soFromBeginning);
    }
    TEndCentral& end = *FEndRecord;
    end.ThisDisk = 0;
    end.CentralOffset = uint32_t(s->Position());
    end.TotalEntries = uint16_t(FMembers->Count());
    FCurrentDisk = 0;
    FNumDisks = 1;
    return true;
}

void TZipReader::SetSortMode(TZipSortMode Mode)
{
    if (FSortedMembers && FSortedMembers != FMembers)
        delete FSortedMembers;
    FSortedMembers = FMembers;
    if (Mode != ByNone && FMembers) {
        auto* sorted = new TSortedZip(dupAccept);
        sorted->OwnsObjects = false;
        sorted->SortMode = Mode;
        for (int i = 0; i < FMembers->Count(); ++i)
            sorted->Add(FMembers->Header(i));
        FSortedMembers = sorted;
    }
    SortMode = Mode;
}

TLFNFileStream* TZipReader::SwapDisk(int DiskNumber)
{
    delete FArchiveStream;
    FArchiveStream = nullptr;
    FPieces.clear();
    QString fname = FZipName;
    for (;;) {
        if (OnGetNextDisk)
            OnGetNextDisk(this, DiskNumber, fname);
        else
            fname.clear();
        if (GetCheckDiskLabels() && !fname.isEmpty() && !CheckDiskLabel(DiskNumber))
            continue;
        if (fname.isEmpty())
            throw EUserCanceled(SUserCanceledLoadingDisk);
        if (QFileInfo(fname).isFile())
            break;
        // A block file that is not there does not appear by asking again.
        if (GetMultiMode() != mmSpan)
            throw EUserCanceled(SUserCanceledLoadingDisk);
    }
    FArchiveStream = new TLFNFileStream(fname, fmOpenRead);
    FCurrentDisk = DiskNumber - 1;
    ArchiveDate = StampOf(fname);
    FZipName = fname;
    return FArchiveStream;
}

bool TZipReader::CheckDiskLabel(int DiskNumber)
{
    if (GetMultiMode() != mmSpan)
        return true;
    const QString label = platform::volumeLabel(FZipName).left(11);
    return label.right(3) == QString::asprintf("%3.3d", DiskNumber);
}

void TZipReader::DefaultGetNextDisk(TZipReader*, int NextDisk, QString& FName)
{
    if (GetMultiMode() == mmSpan) {
        const auto r = platform::dialogs().message(
            LoadStr(SPleaseInsertDisk) + QString::number(NextDisk) + LoadStr(SOfMultiDiskSet), QString(),
            platform::MsgButtons::OkCancel);
        if (r == platform::MsgResult::Cancel)
            FName.clear();
        return;
    }
    QString base = FName;
    const int dot = base.lastIndexOf(u'.');
    const int slash = base.lastIndexOf(u'/');
    if (dot > slash)
        base.truncate(dot);
    FName = base + QString::asprintf(".%3.3d", NextDisk);
    if (isFile(FName))
        return;
    // Sets split by Info-ZIP and WinZip: name.z01, name.z02, ... and the last volume, the one
    // holding the end record, under the archive's own name.
    const int lastDisk = FEndRecord->ThisDisk + 1;
    if (FEndRecord->ThisDisk != 0 && NextDisk == lastDisk) {
        const QString last = FLastVolumeName.isEmpty() ? base + QStringLiteral(".zip") : FLastVolumeName;
        if (isFile(last))
            FName = last;
        return;
    }
    if (FEndRecord->ThisDisk != 0 && NextDisk > lastDisk)
        return;
    for (const char* form : {".z%02d", ".Z%02d"}) {
        const QString name = base + QString::asprintf(form, NextDisk);
        if (isFile(name)) {
            FName = name;
            return;
        }
    }
}

int TZipReader::UnZip()
{
    CancelRequested = false;
    int result = 0;
    if (FDestDir != u"?") {
        OpenZip();
        try {
            result = UnZipSelected(FArchiveStream);
        } catch (...) {
            CloseZip();
            CancelRequested = false;
            throw;
        }
        CloseZip();
    }
    CancelRequested = false;
    return result;
}

int TZipReader::Count() const
{
    return FMembers ? FMembers->Count() : 0;
}

void TZipReader::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(LoadStr(SIndexOutOfRange).replace(QLatin1String("%d"), QString::number(Index)));
}

QString TZipReader::Filename(int Index) const
{
    CheckIndex(Index);
    return FSortedMembers->Header(Index)->FileName();
}

QDateTime TZipReader::DateTime(int Index) const
{
    CheckIndex(Index);
    const QDateTime dt = DosDateTimeToDateTime(FSortedMembers->Header(Index)->DateTime);
    return dt.isValid() ? dt : QDateTime::currentDateTime();
}

QString TZipReader::FileComment(int Index)
{
    CheckIndex(Index);
    TZipHeaderInfo* h = FSortedMembers->Header(Index);
    LoadFileComment(h);
    return commentText(h->FileComment());
}

void TZipReader::LoadFileCommentFromOpenStream(TZipHeaderInfo* h)
{
    if (h->FileCommentLength == 0 || h->FileComment() || !FArchiveStream)
        return;
    const bool keep = FEndRecord->CommentModified;
    uint8_t rec[CentralHeaderFixedSize];
    FArchiveStream->Seek(h->CentralOffset, soFromBeginning);
    if (FArchiveStream->Read(rec, CentralHeaderFixedSize) == CentralHeaderFixedSize
        && GetLE32(rec) == CentralFileHeaderSig) {
        FArchiveStream->Seek(GetLE16(rec + 28) + GetLE16(rec + 30), soFromCurrent);
        QByteArray text(GetLE16(rec + 32), '\0');
        const int64_t got = FArchiveStream->Read(text.data(), text.size());
        text.truncate(int(std::max<int64_t>(got, 0)));
        h->SetFileComment(text);
    }
    FEndRecord->CommentModified = keep;
}

void TZipReader::LoadFileComment(TZipHeaderInfo* h)
{
    if (h->FileCommentLength == 0 || h->FileComment())
        return;
    OpenZip();
    LoadFileCommentFromOpenStream(h);
    CloseZip();
}

void TZipReader::SetFileComment(int Index, const QString& Value)
{
    CheckIndex(Index);
    TZipHeaderInfo* h = FSortedMembers->Header(Index);
    if (FileComment(Index) == Value)
        return;
    h->SetFileComment(commentBytes(Value));
    FEndRecord->CommentModified = true;
}

QString TZipReader::ZipComment()
{
    LoadZipComment(FEndRecord.get());
    return commentText(FEndRecord->ZipComment());
}

void TZipReader::LoadZipCommentFromOpenStream(TEndCentral* end)
{
    if (end->CommentLength == 0 || end->ZipComment() || !FArchiveStream)
        return;
    FArchiveStream->Seek(end->CommentPosition, soFromBeginning);
    QByteArray text(end->CommentLength, '\0');
    const int64_t got = FArchiveStream->Read(text.data(), text.size());
    text.truncate(int(std::max<int64_t>(got, 0)));
    const bool keep = end->CommentModified;
    end->SetZipComment(text);
    end->CommentModified = keep;
}

void TZipReader::LoadZipComment(TEndCentral* end)
{
    // An archive not written yet has no comment but the one set for its first write.
    if (FZipName.isEmpty() || (!FMembers && !QFileInfo::exists(FZipName)))
        return;
    if (!FMembers) {
        // The end record is read with the directory.
        OpenZip();
        CloseZip();
    }
    if (end->CommentLength == 0 || end->ZipComment())
        return;
    OpenZip();
    LoadZipCommentFromOpenStream(end);
    CloseZip();
}

void TZipReader::SetZipComment(const QString& Value)
{
    if (ZipComment() == Value)
        return;
    FEndRecord->SetZipComment(commentBytes(Value));
    FEndRecord->CommentModified = true;
}

} // namespace archive
