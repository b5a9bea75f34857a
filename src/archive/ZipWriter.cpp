#include "archive/ZipWriter.h"

#include "archive/Deflate.h"
#include "archive/WildMatch.h"
#include "archive/WorkAhead.h"
#include "archive/ZipCrc.h"
#include "archive/ZipCrypt.h"
#include "archive/ZipStrings.h"
#include "platform/files/AtomicFile.h"
#include "platform/volumes/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace archive {

namespace {

constexpr uint32_t DataDescriptorSig = 0x08074b50;
constexpr size_t StoreChunk = 16000;
constexpr size_t CopyChunk = 65536;
constexpr int ArchiveBufferSize = 256 << 10;

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// A source file that cannot be read to its end: the member fails, the run goes on.
class ESourceReadError : public EReadError {
public:
    using EReadError::EReadError;
};

// A source file read through its descriptor, so that a read error is told apart from the end
// of the file.
class TSourceFile {
public:
    ~TSourceFile() { Close(); }
    // Only a regular file opens: something else put in its place since it was listed (a
    // pipe would block the reader) counts as a file that cannot be opened.
    bool Open(const QString& name)
    {
        name_ = name;
        fd_ = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st;
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd_, F_SETFL, 0) != 0))
            Close();
        return fd_ >= 0;
    }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    // Up to count bytes; 0 only at the end of the file; an error raises EReadError.
    size_t Read(uint8_t* buffer, size_t count)
    {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, count);
            if (n >= 0)
                return size_t(n);
            if (errno == EINTR)
                continue;
            throw ESourceReadError(QStringLiteral("Stream read error") + QStringLiteral(": ") + name_ + QStringLiteral(": ")
                                   + errnoText(errno));
        }
    }
    void Rewind()
    {
        if (::lseek(fd_, 0, SEEK_SET) < 0)
            throw ESourceReadError(QStringLiteral("Stream read error") + QStringLiteral(": ") + name_);
    }
    int64_t SizeNow() const
    {
        struct stat st;
        return ::fstat(fd_, &st) == 0 ? int64_t(st.st_size) : 0;
    }
    // The attributes of the file opened (not of whatever stands at its name now).
    uint32_t Attributes() const
    {
        struct stat st;
        return ::fstat(fd_, &st) == 0 ? platform::dosAttributesOfMode(st.st_mode, name_) : 0x20u;
    }
    uint32_t DosTime() const
    {
        struct stat st;
        if (::fstat(fd_, &st) != 0)
            return 0;
        return platform::dosDateTimeFromDateTime(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec));
    }

private:
    int fd_ = -1;
    QString name_;
};

// The CRC of the whole source, read through once and rewound: an encryption header holds the
// CRC, so it is known before the data are written.
uint32_t crcOfSource(TSourceFile& src)
{
    TCrcRegister reg;
    uint8_t piece[4096];
    for (size_t n; (n = src.Read(piece, sizeof piece)) > 0;)
        reg.UpdateCRC(piece, n);
    src.Rewind();
    return reg.Crc();
}

// Two stored names are the same member only when they are equal: on Linux "Index.html" and
// "index.html" are two files, and the archive holds both.
QString nameKey(const TZipHeaderInfo& h)
{
    return h.FullName();
}

struct TFileId {
    dev_t dev;
    ino_t ino;
    bool operator==(const TFileId& o) const { return dev == o.dev && ino == o.ino; }
};

// Device and inode of a file (links followed); none when it cannot be looked at.
std::optional<TFileId> fileIdOf(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return TFileId{st.st_dev, st.st_ino};
}

void syncFolderOf(const QString& fileName)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A name stored in OEM 866 that is not plain ASCII also goes into an Info-ZIP Unicode Path
// extra field (0x7075), from which unzip and 7z show it right under any locale; readers that
// use the header name see the OEM bytes as before.
QByteArray unicodePathExtra(const TZipHeaderInfo& h)
{
    bool utf8 = false;
    const QByteArray stored = h.EncodedName(&utf8);
    bool ascii = true;
    for (char c : stored)
        ascii = ascii && uchar(c) < 0x80;
    if (utf8 || ascii)
        return QByteArray();
    QString full = h.FullName();
    full.replace(u'\\', u'/');
    const QByteArray name = full.toUtf8();
    QByteArray extra(9, '\0');
    uint8_t* p = reinterpret_cast<uint8_t*>(extra.data());
    PutLE16(p, 0x7075);
    PutLE16(p + 2, uint16_t(5 + name.size()));
    p[4] = 1;
    PutLE32(p + 5, UpdateCrc32(0, stored.constData(), size_t(stored.size())));
    return extra + name;
}

// The central record of a member written in this run, with its extra field.
void saveCentral(TStream& out, TZipHeaderInfo& h, const QByteArray& extra)
{
    bool utf8 = false;
    const QByteArray name = h.EncodedName(&utf8);
    const QByteArray comment = h.FileComment().value_or(QByteArray());
    uint16_t madeBy = h.VersionMadeBy;
    // Readers decode a name made on MS-DOS from the OEM code page, flag or not.
    if (utf8 && (madeBy >> 8) == 0)
        madeBy = uint16_t(madeBy | (11u << 8));
    uint8_t rec[CentralHeaderFixedSize];
    PutLE32(rec, CentralFileHeaderSig);
    PutLE16(rec + 4, madeBy);
    PutLE16(rec + 6, h.VersionNeeded);
    PutLE16(rec + 8, h.Flags);
    PutLE16(rec + 10, h.CompressionMethod);
    PutLE32(rec + 12, h.DateTime);
    PutLE32(rec + 16, h.CRC32);
    PutLE32(rec + 20, h.CompressedSize);
    PutLE32(rec + 24, h.UncompressedSize);
    PutLE16(rec + 28, uint16_t(name.size()));
    PutLE16(rec + 30, uint16_t(extra.size()));
    PutLE16(rec + 32, uint16_t(comment.size()));
    PutLE16(rec + 34, h.DiskNumberStart);
    PutLE16(rec + 36, h.InternalAttributes);
    PutLE32(rec + 38, h.ExternalAttributes);
    PutLE32(rec + 42, h.RelativeOffset);
    out.WriteBuffer(rec, CentralHeaderFixedSize);
    out.WriteBuffer(name.constData(), name.size());
    out.WriteBuffer(extra.constData(), extra.size());
    out.WriteBuffer(comment.constData(), comment.size());
}

} // namespace

// ---- Members packed ahead on worker threads ----
// A zip run of many files compresses the coming members on every core while the caller's
// thread writes the archive in list order. A worker does exactly what the caller's thread
// would do with the member's data (the same reads, the same encoder, the same encryption), so
// the archive is the same bytes; the caller's thread then replays the member's reads for the
// percentage events and writes the data, so events, cancel and skips stay as they were.

struct TPackedMember {
    // What the caller's thread decided when the member was queued.
    QString FileName;
    bool Store = false;
    int Level = 6;
    bool Encrypt = false;
    QByteArray PasswordBytes;
    std::array<uint8_t, 10> Filler{};
    // What the worker found.
    bool ReadFailed = false; // the source could not be read to its end, or changed meanwhile
    uint32_t DosTime = 0;
    int64_t FileSize = 0;
    uint32_t Attributes = 0;
    std::vector<size_t> Reads; // bytes of each source read the encoder asked for
    std::vector<uint8_t> Data; // the member's data as they go into the archive
    uint32_t Crc = 0;
    TDeflateResult Result;
};

class TPackAhead {
public:
    // A large member holds up the writing while it is compressed; the other workers go on
    // with the members after it, as far as the byte budget allows (small members cost
    // little memory, so their count is bounded only loosely). Members of a megabyte or more
    // start as soon as they come within reach, so that one late in the list does not keep
    // everybody waiting at the end.
    static constexpr int AheadPerThread = 1024;
    static constexpr int64_t StartEarlyBytes = 1 << 20;
    TPackAhead(std::vector<TPackedMember> members, const std::vector<int64_t>& sizes, int threads)
        : deflaters_(size_t(threads)),
          work_(std::move(members), sizes, std::vector<bool>(sizes.size(), true), threads,
                [this](TPackedMember& m, int worker) { return pack(m, worker); }, AheadPerThread,
                StartEarlyBytes)
    {
    }

    TPackedMember* Take(int index, const std::function<void()>& waiting) { return work_.Take(index, waiting); }
    void Release(int index)
    {
        work_.Release(index, [](TPackedMember& m) {
            std::vector<uint8_t>().swap(m.Data);
            std::vector<size_t>().swap(m.Reads);
        });
    }

private:
    struct Stopped {};
    struct TooLarge {};

    class PackIO : public TDeflateIO {
    public:
        PackIO(TPackedMember& m, TSourceFile& src, const TWorkAhead<TPackedMember>& work) : m_(m), src_(src), work_(work) {}
        size_t ReadSource(uint8_t* buffer, size_t count) override
        {
            if (work_.Stopping())
                throw Stopped{};
            const size_t n = src_.Read(buffer, count);
            if (n == 0)
                return 0;
            read_ += int64_t(n);
            if (read_ > TWorkAhead<TPackedMember>::MaxItemBytes)
                throw TooLarge{};
            m_.Reads.push_back(n);
            crc.UpdateCRC(buffer, n);
            return n;
        }
        void WriteData(const uint8_t* data, size_t count) override
        {
            const size_t at = m_.Data.size();
            m_.Data.insert(m_.Data.end(), data, data + count);
            if (m_.Encrypt)
                crypt.EncryptBuffer(m_.Data.data() + at, count);
        }
        TCrcRegister crc;
        TZipCrypt crypt;

    private:
        TPackedMember& m_;
        TSourceFile& src_;
        const TWorkAhead<TPackedMember>& work_;
        int64_t read_ = 0;
    };

    // On a worker: what the caller's thread would do with the member's data.
    bool pack(TPackedMember& m, int worker)
    {
        TSourceFile src;
        if (!src.Open(m.FileName))
            return false; // tried again in turn
        m.DosTime = src.DosTime();
        m.FileSize = src.SizeNow();
        m.Attributes = src.Attributes();
        // A file that grew past the size limit since it was listed is left to the caller's
        // thread, which compresses it streaming, as it does every large file.
        if (m.FileSize > TWorkAhead<TPackedMember>::MaxItemBytes)
            return false;
        PackIO io(m, src, work_);
        try {
            uint32_t preCrc = 0;
            if (m.Encrypt) {
                preCrc = crcOfSource(src);
                const auto eh = io.crypt.MakeHeader(m.PasswordBytes, preCrc, m.Filler);
                m.Data.insert(m.Data.end(), eh.begin(), eh.end());
            }
            if (m.Store) {
                std::vector<uint8_t> buf(StoreChunk);
                for (size_t n; (n = io.ReadSource(buf.data(), buf.size())) > 0;)
                    io.WriteData(buf.data(), n);
            } else {
                std::unique_ptr<TDeflater>& d = deflaters_[size_t(worker)];
                if (!d)
                    d = std::make_unique<TDeflater>();
                m.Result = d->Deflate(io, m.Level);
            }
            m.Crc = io.crc.Crc();
            m.ReadFailed = m.Encrypt && m.Crc != preCrc;
        } catch (const ESourceReadError&) {
            m.ReadFailed = true;
        } catch (const TooLarge&) {
            std::vector<uint8_t>().swap(m.Data);
            std::vector<size_t>().swap(m.Reads);
            return false;
        }
        return true;
    }

    std::vector<std::unique_ptr<TDeflater>> deflaters_; // one a worker, kept for the run
    TWorkAhead<TPackedMember> work_;                    // last: its workers stop first
};

// The state of one zip run.
struct TZipWriter::TRun {
    QString OutputName;
    // The archive as the user named it, written through the temporary OutputName.
    QString Target;
    QString ShownName() const { return Multi || Target.isEmpty() ? OutputName : Target; }
    // The message of a write that failed (a full disk, say): the file and the cause; empty
    // when every write went through.
    QString WriteFailure() const
    {
        if (File && File->LastError() != 0)
            return WriteErrorText(ShownName(), File->LastError());
        if (DataFile && DataFile->LastError() != 0)
            return WriteErrorText(DataName, DataFile->LastError());
        return QString();
    }
    std::unique_ptr<TFileStream> File;
    std::unique_ptr<TS_BufferStream> Out;
    std::unique_ptr<TSortedZip> ArchiveOrder; // owns the headers
    // The stored names of the members so far, as nameKey gives them.
    QSet<QString> Names;
    // The folder of the files in hand as it is stored, worked out once for all its files.
    struct TFolder {
        QString Path;      // as the file names give it, up to the last "/"
        QString Stored;    // StoredFolder
        QString Directory; // StoredDirectory
        bool Known = false, StorePaths = false, RelativePaths = false;
        QString RootDir;
    };
    TFolder Folder;
    const TFolder& FolderOf(const TZipWriter& w, const QString& path)
    {
        if (!Folder.Known || path != Folder.Path || w.FStorePaths != Folder.StorePaths
            || w.FRelativePaths != Folder.RelativePaths || w.FRootDir != Folder.RootDir) {
            Folder.Path = path;
            Folder.StorePaths = w.FStorePaths;
            Folder.RelativePaths = w.FRelativePaths;
            Folder.RootDir = w.FRootDir;
            // Any file name gives the folder's result: it depends on the folder alone.
            Folder.Stored = w.StoredFolder(path + u'f');
            Folder.Directory = w.StoredDirectory(path + u'f');
            Folder.Known = true;
        }
        return Folder;
    }
    std::unique_ptr<TEndCentral> End;
    // Central records of carried-over members: their 46 fixed bytes and name bytes as they were.
    QHash<const TZipHeaderInfo*, QByteArray> RawCentral;
    // Extra fields of new members (the Unicode name of a name stored in OEM 866).
    QHash<const TZipHeaderInfo*, QByteArray> NewExtra;
    QStringList ToDispose;
    int Added = 0;
    // Old members that listed files replace (by member index; empty: kept).
    QStringList Replacing;
    // The files to zip, in the order they are written, with the encryption fillers drawn
    // for them; the members packed ahead; the index of the member in hand.
    QStringList Work;
    QList<int64_t> WorkSizes; // their sizes when listed
    std::vector<std::array<uint8_t, 10>> Fillers;
    std::unique_ptr<TPackAhead> Ahead;
    int WorkIndex = -1;
    // Current member.
    TSourceFile Source;
    TCrcRegister Crc;
    int64_t FileBytes = 0;     // bytes read from the current file
    int64_t FileSize = 0;      // its size when opened, for the percentage
    int64_t DataWritten = 0;   // member data bytes written
    bool Encrypt = false;
    TZipCrypt Crypt;
    std::vector<uint8_t> Scratch;
    // Volumes: the room of the volume being written, and the member's data file that is
    // copied out to the volumes once the member is complete.
    bool Multi = false;
    TMultiMode Mode = mmNone;
    int64_t VolumeSpace = 0;
    TStream* DataOut = nullptr; // where member data go
    QString DataName;
    std::unique_ptr<TFileStream> DataFile;
    std::unique_ptr<TS_BufferStream> DataBuf;
    int64_t RoomLeft() { return VolumeSpace - Out->Position(); }
    // What is written of the archive file starts on its way to the disk now and then, so that
    // the sync at its end has little left to wait for.
    int64_t WritebackFrom = 0;
    int64_t WrittenSince = 0;
    void StartWriteback(int64_t written)
    {
        constexpr int64_t Step = 8 << 20;
        WrittenSince += written;
        if (WrittenSince < Step || !File)
            return;
        const int64_t at = File->Position();
        ::sync_file_range(File->Handle(), WritebackFrom, at - WritebackFrom, SYNC_FILE_RANGE_WRITE);
        WritebackFrom = at;
        WrittenSince = 0;
    }
    void DropDataFile()
    {
        DataBuf.reset();
        DataFile.reset();
        if (!DataName.isEmpty())
            QFile::remove(DataName);
        DataName.clear();
        DataOut = Out.get();
    }
};

// The two routines through which member data flow: reading the source (CRC, percentages)
// and writing member data (encryption, message loop, cancel).
class TMemberWriter : public TDeflateIO {
public:
    TMemberWriter(TZipWriter& w, TZipWriter::TRun& run) : w_(w), run_(run) {}

    size_t ReadSource(uint8_t* buffer, size_t count) override
    {
        const size_t n = run_.Source.Read(buffer, count);
        if (n == 0)
            return 0;
        CountRead(n);
        run_.Crc.UpdateCRC(buffer, n);
        return n;
    }

    // n more bytes read from the source: the percentage events.
    void CountRead(size_t n)
    {
        run_.FileBytes += int64_t(n);
        if (w_.OnFilePercentDone) {
            const int p = Percent(std::max(run_.FileSize, run_.FileBytes), run_.FileBytes);
            // With volumes the second half of a file's progress is its copy to the volumes.
            w_.OnFilePercentDone(&w_, run_.Multi ? p / 2 : p);
        }
        if (w_.OnTotalPercentDone) {
            w_.TotalBytesDone += int64_t(n);
            w_.OnTotalPercentDone(&w_, Percent(w_.TotalBytes, w_.TotalBytesDone));
        }
    }

    // Member data made ready by a worker (encrypted already): written, then the message loop.
    void WritePacked(const uint8_t* data, size_t count)
    {
        run_.DataOut->WriteBuffer(data, int64_t(count));
        run_.DataWritten += int64_t(count);
        w_.PollAndCheckCancel();
    }

    void WriteData(const uint8_t* data, size_t count) override
    {
        if (run_.Encrypt) {
            while (count > 0) {
                const size_t n = std::min(count, run_.Scratch.size());
                std::memcpy(run_.Scratch.data(), data, n);
                run_.Crypt.EncryptBuffer(run_.Scratch.data(), n);
                run_.DataOut->WriteBuffer(run_.Scratch.data(), int64_t(n));
                run_.DataWritten += int64_t(n);
                data += n;
                count -= n;
            }
        } else {
            run_.DataOut->WriteBuffer(data, int64_t(count));
            run_.DataWritten += int64_t(count);
        }
        w_.PollAndCheckCancel();
    }

private:
    TZipWriter& w_;
    TZipWriter::TRun& run_;
};

void TZipWriter::PollAndCheckCancel()
{
    // The message loop costs far more than a piece of member data: it runs at most every
    // 10 ms (a click on Cancel is seen as soon), while a cancel asked for by a handler is
    // seen at once, as before.
    if (!FPollClock.isValid() || FPollClock.hasExpired(10) || CancelRequested) {
        FPollClock.start();
        ProcessMessagesAndCheckCancel();
    }
}

TZipWriter::TZipWriter() = default;

TZipWriter::~TZipWriter() = default;

void TZipWriter::Loaded()
{
    TZipReader::Loaded();
    SetCheckDiskLabels(MultiZipInfo.CheckDiskLabels);
    SetMultiMode(MultiZipInfo.MultiMode);
}

void TZipWriter::SetStorePaths(bool Value)
{
    if (Value == FStorePaths)
        return;
    FStorePaths = Value;
    if (!Value) {
        FStoreVolumes = false;
        FRelativePaths = false;
    }
}

void TZipWriter::SetRelativePaths(bool Value)
{
    if (Value == FRelativePaths)
        return;
    FRelativePaths = Value;
    if (Value) {
        FStorePaths = true;
        Recurse = true;
    }
}

void TZipWriter::SetStoreVolumes(bool Value)
{
    if (Value == FStoreVolumes)
        return;
    FStoreVolumes = Value;
    if (Value)
        FStorePaths = true;
}

void TZipWriter::SetCheckDiskLabels(bool Value)
{
    MultiZipInfo.CheckDiskLabels = Value;
    TZipReader::SetCheckDiskLabels(Value);
}

void TZipWriter::SetMultiMode(TMultiMode Value)
{
    MultiZipInfo.MultiMode = Value;
    TZipReader::SetMultiMode(Value);
}

void TZipWriter::SetZipName(const QString& Value)
{
    if (Value == FZipName)
        return;
    if (FEndRecord->CommentModified && !FZipName.isEmpty()) {
        FilesList.clear();
        ProcessFiles();
        FEndRecord->CommentModified = false;
    }
    TZipReader::SetZipName(Value);
}

QString TZipWriter::StoredDirectory(const QString& Path) const
{
    QString folder = StoredFolder(Path);
    folder.replace(u'/', u'\\');
    return folder;
}

QString TZipWriter::StoredFolder(const QString& Path) const
{
    if (!FStorePaths)
        return QString();
    QString folder = QFileInfo(Path).absolutePath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    bool relative = false;
    if (FRelativePaths && !FRootDir.isEmpty()) {
        QString root = QFileInfo(FRootDir).absoluteFilePath();
        if (!root.endsWith(u'/'))
            root += u'/';
        if (folder.startsWith(root)) {
            folder = folder.mid(root.size());
            relative = true;
        }
    }
    // An absolute path is never stored: it would extract over the system's files.
    if (!relative)
        while (folder.startsWith(u'/'))
            folder.remove(0, 1);
    return folder;
}

bool TZipWriter::ExcludedByList(const QString& Path) const
{
    const QString name = QFileInfo(Path).fileName();
    for (const QString& pattern : ExcludeList) {
        const bool whole = pattern.contains(u'/') || pattern.contains(u'\\');
        QString p = pattern;
        p.replace(u'\\', u'/');
        if (IsMatch(p.toLower(), whole ? Path.toLower() : name.toLower()))
            return true;
    }
    return false;
}

bool TZipWriter::NoCompress(const QString& StoredName) const
{
    for (const QString& pattern : NoCompressList)
        if (IsMatch(pattern.toLower(), StoredName.toLower()))
            return true;
    return false;
}

bool TZipWriter::IsArchiveItself(const QString& Path) const
{
    if (FZipName.isEmpty())
        return false;
    const QFileInfo src(Path);
    const QFileInfo zip(FZipName);
    const QString a = src.canonicalFilePath();
    QString b = zip.canonicalFilePath();
    if (b.isEmpty())
        b = QFileInfo(zip.absolutePath()).canonicalFilePath() + u'/' + zip.fileName();
    return !a.isEmpty() && a == b;
}

bool TZipWriter::MemberExists(const QString& StoredName) const
{
    if (!FMembers)
        return false;
    for (int i = 0; i < FMembers->Count(); ++i)
        if (FMembers->Header(i)->FullName() == StoredName)
            return true;
    return false;
}

void TZipWriter::CheckMemberCount(const QString& Target, bool Updating) const
{
    // One member a stored name: files of a name already taken are left out as the run goes.
    QSet<QString> names;
    if (Updating && FMembers)
        for (int i = 0; i < FMembers->Count(); ++i)
            names.insert(FMembers->Header(i)->FullName());
    for (const QString& file : FilesList)
        names.insert(StoredDirectory(file) + QFileInfo(file).fileName());
    if (names.size() > TSortedZip::MaxListSize)
        throw EFCreateError(STooManyMembers.arg(Target).arg(names.size()));
}

void TZipWriter::BuildFileList()
{
    TotalBytes = 0;
    TotalBytesDone = 0;
    FListedSizes.clear();
    if (ZipAction == zaFreshen && QFileInfo(FZipName).isFile())
        OpenZip();
    // The archive never becomes a member of itself. Only a file of the archive's device and
    // inode can be it: the others are told apart without working out their real paths.
    const std::optional<TFileId> archiveId = fileIdOf(FZipName);
    auto isArchive = [&](const QString& path) { return archiveId && fileIdOf(path) == archiveId && IsArchiveItself(path); };
    QStringList patterns;
    int i = 0;
    while (i < FilesList.size()) {
        QString entry = FilesList[i];
        const QString full = entry.contains(u'/') ? entry : FRootDir + entry;
        // Linux allows wildcard characters in names: a file that exists is taken as itself.
        if (HasWildcards(entry) && !QFileInfo(full).isFile()) {
            patterns << entry;
            FilesList.removeAt(i);
            continue;
        }
        if (entry != full) {
            entry = full;
            FilesList[i] = entry;
        }
        const QFileInfo fi(entry);
        if (ExcludedByList(entry)) {
            FilesList.removeAt(i);
            continue;
        }
        if (!fi.isFile()) {
            if (OnNoSuchFile)
                OnNoSuchFile(this, entry);
            FilesList.removeAt(i);
            continue;
        }
        if (isArchive(entry)
            || (SkipIfArchiveBitNotSet && !(platform::dosAttributes(entry) & faArchive))
            || (ZipAction == zaFreshen && !MemberExists(StoredDirectory(entry) + fi.fileName()))) {
            FilesList.removeAt(i);
            continue;
        }
        TotalBytes += fi.size();
        FListedSizes << fi.size();
        ++i;
    }
    for (QString pattern : patterns) {
        bool recurse = Recurse;
        if (pattern.startsWith(u'|')) {
            recurse = false;
            pattern.remove(0, 1);
        } else if (pattern.startsWith(u'>')) {
            recurse = true;
            pattern.remove(0, 1);
        }
        const qsizetype slash = pattern.lastIndexOf(u'/');
        QString dir = slash >= 0 ? pattern.left(slash + 1) : FRootDir;
        const QString mask = pattern.mid(slash + 1);
        if (dir.isEmpty())
            dir = QDir::currentPath() + u'/';
        if (!HasWildcards(dir) && !QFileInfo(dir).isDir())
            continue;
        TDirSearch search(dir, recurse, mask);
        TSearchRec rec;
        for (QString found = search.Next(rec); !found.isEmpty(); found = search.Next(rec)) {
            if (ExcludedByList(found) || isArchive(found))
                continue;
            if (SkipIfArchiveBitNotSet && !(rec.Attr & faArchive))
                continue;
            if (ZipAction == zaFreshen && !MemberExists(StoredDirectory(found) + QFileInfo(found).fileName()))
                continue;
            FilesList << found;
            TotalBytes += rec.Size;
            FListedSizes << rec.Size;
        }
    }
}

int TZipWriter::Zip()
{
    const int added = ProcessFiles();
    if (OnZipComplete)
        OnZipComplete(this, added);
    return added;
}

void TZipWriter::AddWritten(TRun& Run, TZipHeaderInfo* Header, const QString& FileName, bool Counted)
{
    // Counted ahead; a handler that renamed files on the way may still have made more members.
    if (Run.ArchiveOrder->Count() >= TSortedZip::MaxListSize) {
        delete Header;
        throw EFCreateError(STooManyMembers.arg(Run.Target.isEmpty() ? FZipName : Run.Target).arg(Run.ArchiveOrder->Count() + 1));
    }
    Run.ArchiveOrder->Add(Header);
    Run.Names.insert(nameKey(*Header));
    ++Run.End->EntriesThisDisk;
    ++Run.End->TotalEntries;
    if (Counted) {
        ++Run.Added;
        if (Dispose)
            Run.ToDispose << FileName;
    }
}

QString TZipWriter::BlockName(const QString& Name, int Volume)
{
    QString base = Name;
    const qsizetype dot = base.lastIndexOf(u'.');
    const qsizetype slash = base.lastIndexOf(u'/');
    if (dot > slash)
        base.truncate(dot);
    return base + QString::asprintf(".%3.3d", Volume);
}

void TZipWriter::CloseVolume(TRun& Run)
{
    if (!Run.Out)
        return;
    // A flush or sync failure is an error, never a success.
    if (!Run.Out->FlushBuffer())
        throw EWriteError(WriteErrorText(Run.ShownName(), Run.File->LastError()));
    // A member taken back out may have left bytes beyond the end.
    const int64_t end = Run.Out->Position();
    if (Run.File->Size() > end)
        Run.File->SetSize(end);
    if (::fsync(Run.File->Handle()) != 0)
        throw EWriteError(WriteErrorText(Run.ShownName(), errno));
    Run.Out.reset();
    Run.File.reset();
}

void TZipWriter::OpenVolume(TRun& Run)
{
    Run.File = std::make_unique<TFileStream>(Run.OutputName, fmCreate);
    Run.WritebackFrom = 0;
    Run.WrittenSince = 0;
    // Headers and small members are collected into large writes.
    Run.Out = std::make_unique<TS_BufferStream>(Run.File.get(), ArchiveBufferSize);
    if (!Run.DataBuf)
        Run.DataOut = Run.Out.get();
}

void TZipWriter::WriteDiskLabel(TRun& Run)
{
    if (Run.Mode != mmSpan || !MultiZipInfo.WriteDiskLabels || !platform::isRemovableVolume(Run.OutputName))
        return;
    platform::setVolumeLabel(Run.OutputName, QString::asprintf("PKBACK# %3.3d", FCurrentDisk + 1));
}

void TZipWriter::CheckBlockSizes() const
{
    // Each block must hold any one local header (which never spans blocks and moves on when it
    // would fill the block exactly), any one central record and the end record: else volume
    // after volume would start without end, or a header would stand larger than its block.
    int64_t need = 0;
    for (const QString& entry : FilesList) {
        TZipHeaderInfo h;
        h.SetFilename(QFileInfo(entry).fileName());
        h.SetDirectory(StoredDirectory(entry));
        const int64_t extra = unicodePathExtra(h).size();
        h.ExtraFieldLength = uint16_t(extra);
        need = std::max<int64_t>({need, int64_t(h.LocalSize()) + 1, int64_t(CentralHeaderFixedSize) + h.EncodedName().size() + extra});
    }
    TEndCentral end;
    if (FEndRecord->CommentModified)
        end.SetZipComment(FEndRecord->ZipComment());
    need = std::max<int64_t>(need, end.EndCentralSize());
    for (const int size : {MultiZipInfo.FirstBlockSize, MultiZipInfo.BlockSize})
        if (size < need)
            throw EVolumeSize(QStringLiteral("Block size %1 is too small: the blocks of this archive need at least %2 bytes")
                                  .arg(size)
                                  .arg(need));
}

void TZipWriter::NextVolume(TRun& Run)
{
    if (!Run.Multi)
        return;
    CloseVolume(Run);
    if (Run.Mode == mmSpan) {
        WriteDiskLabel(Run);
        QString name = Run.OutputName;
        Run.OutputName.clear(); // a refused disk deletes nothing
        if (OnGetNextDisk)
            OnGetNextDisk(this, FCurrentDisk + 2, name);
        else
            name.clear();
        if (name.isEmpty())
            throw EUserCanceled(SUserCanceledZip);
        Run.OutputName = name;
        ++FCurrentDisk;
        Run.VolumeSpace = platform::volumeFreeSpace32(name);
    } else {
        ++FCurrentDisk;
        Run.OutputName = BlockName(FZipName, FCurrentDisk + 1);
        Run.VolumeSpace = MultiZipInfo.BlockSize;
    }
    OpenVolume(Run);
    Run.End->EntriesThisDisk = 0;
}

int TZipWriter::ProcessFiles()
{
    const TZipSortMode savedSort = SortMode;
    const bool savedKeep = KeepZipOpen;
    const TMultiMode savedMode = MultiZipInfo.MultiMode;
    KeepZipOpen = true;
    FCurrentDisk = 0;

    TRun run;
    run.Scratch.resize(CopyChunk);
    run.ArchiveOrder = std::make_unique<TSortedZip>(dupAccept);
    run.ArchiveOrder->SortMode = ByNone;
    run.End = std::make_unique<TEndCentral>();

    const QString archiveName = FZipName;
    QString target; // the file the finished archive is renamed to
    FPollClock.invalidate();
    TotalBytes = 0;
    TotalBytesDone = 0;
    try {
        if (!FilesList.isEmpty())
            BuildFileList();

        const bool updating = QFileInfo(archiveName).isFile();
        run.Mode = MultiZipInfo.MultiMode;
        run.Multi = run.Mode != mmNone;
        if (run.Multi) {
            // Volumes are written as they fill; an existing archive is not turned into a set.
            if (updating)
                throw EFCreateError(QStringLiteral("Cannot create file %1: a multi-volume set is only written anew").arg(archiveName));
            target = QFileInfo(archiveName).absoluteFilePath();
            FZipName = target;
            CheckMemberCount(target, false);
            if (run.Mode == mmBlocks)
                CheckBlockSizes();
            if (run.Mode == mmBlocks) {
                run.OutputName = BlockName(target, 1);
                run.VolumeSpace = MultiZipInfo.FirstBlockSize;
            } else {
                run.OutputName = target;
                run.VolumeSpace = platform::volumeFreeSpace32(target);
            }
            OpenVolume(run);
        } else {
            // The new archive is written beside the old one (so the final rename is atomic)
            // and replaces it only when complete.
            target = updating ? QFileInfo(archiveName).canonicalFilePath() : QFileInfo(archiveName).absoluteFilePath();
            // The rename needs only the folder's permission: an archive the user made read-only
            // stays as it is, as a plain write to it would.
            if (updating && platform::isWriteProtected(target))
                throw EFCreateError(QStringLiteral("Cannot create file %1: the file is write-protected (read-only)").arg(target));
            if (updating)
                OpenZip();
            CheckMemberCount(target, updating);
            run.Target = target;
            run.OutputName = GetTempName(QFileInfo(target).absolutePath());
            if (run.OutputName.isEmpty())
                throw EFCreateError(QStringLiteral("Cannot create file %1").arg(target));
            OpenVolume(run);
        }
        if (!FDeflater)
            FDeflater = std::make_unique<TDeflater>();

        if (updating) {
            OpenZip();
            // Members the directory does not list would be lost by the rewrite.
            if (IsMultiVolume() || DirectoryIncomplete())
                throw EBadZipFile(LoadStr(SNotValidZipFile));
            LoadZipCommentFromOpenStream(FEndRecord.get());
            run.End->Assign(*FEndRecord);
            run.End->CommentModified = false;
            run.End->EntriesThisDisk = 0;
            run.End->TotalEntries = 0;
            PlanUpdate(run);
            // The files that replace old members are written in their place, and packed
            // ahead with the files added after them.
            if (!run.Work.isEmpty()) {
                run.Work += FilesList;
                for (int i = 0; i < FilesList.size(); ++i)
                    run.WorkSizes << ListedSize(i);
                QueueWork(run);
            }
            MergeOldMembers(run);
            if (FilesList.isEmpty())
                run.Ahead.reset();
        } else if (FEndRecord->CommentModified) {
            run.End->SetZipComment(FEndRecord->ZipComment()); // set before the first write
        }
        run.End->ThisDisk = 0;
        run.End->CentralDisk = 0;

        if (!FilesList.isEmpty()) {
            bool stopNow = false;
            if (OnStartZipInfo)
                OnStartZipInfo(this, int(FilesList.size()), TotalBytes, *run.End, stopNow);
            if (stopNow)
                throw EUserCanceled(SUserCanceledZip);
            // With volumes every byte is read once from the source and once from its data file.
            if (run.Multi)
                TotalBytes *= 2;
            if (run.WorkIndex < 0) {
                run.Work = FilesList;
                for (int i = 0; i < FilesList.size(); ++i)
                    run.WorkSizes << ListedSize(i);
                QueueWork(run);
            }
            // A copy: a handler may change the list meanwhile.
            const QStringList entries = FilesList;
            for (const QString& entry : entries)
                ZipNext(run, entry);
            run.Ahead.reset();
        }

        // Central directory.
        run.End->CentralDisk = uint16_t(FCurrentDisk);
        run.End->CentralOffset = uint32_t(run.Out->Position());
        int64_t centralStart = run.Out->Position();
        int64_t centralBytes = 0;
        int entriesHere = 0;
        for (int i = 0; i < run.ArchiveOrder->Count(); ++i) {
            TZipHeaderInfo* h = run.ArchiveOrder->Header(i);
            auto raw = run.RawCentral.constFind(h);
            const QByteArray comment = h->FileComment().value_or(QByteArray());
            if (run.Multi) {
                const int64_t size = (raw != run.RawCentral.constEnd() ? raw->size() : CentralHeaderFixedSize + h->EncodedName().size()
                                                                                       + run.NewExtra.value(h).size())
                    + comment.size();
                if (run.RoomLeft() < size) {
                    centralBytes += run.Out->Position() - centralStart;
                    NextVolume(run);
                    centralStart = 0;
                    entriesHere = 0;
                    if (i == 0) {
                        run.End->CentralOffset = 0;
                        run.End->CentralDisk = uint16_t(FCurrentDisk);
                    }
                }
            }
            // Where the record lies in the new archive: the cached directory stays usable for
            // comments and for the next update.
            h->CentralOffset = uint32_t(run.Out->Position());
            ++entriesHere;
            if (raw != run.RawCentral.constEnd()) {
                QByteArray rec = *raw;
                uint8_t* p = reinterpret_cast<uint8_t*>(rec.data());
                PutLE16(p + 32, uint16_t(comment.size()));
                PutLE16(p + 34, 0);
                PutLE32(p + 42, h->RelativeOffset);
                run.Out->WriteBuffer(rec.constData(), rec.size());
                run.Out->WriteBuffer(comment.constData(), comment.size());
            } else {
                if (h->HasComment() && !h->FileComment())
                    h->SetFileComment(std::nullopt);
                saveCentral(*run.Out, *h, run.NewExtra.value(h));
            }
        }
        const int64_t centralEnd = run.Out->Position();
        centralBytes += centralEnd - centralStart;
        if (centralEnd > int64_t(0xFFFFFFFFu) || centralBytes > int64_t(0xFFFFFFFFu)
            || run.End->TotalEntries != uint16_t(run.ArchiveOrder->Count()) || run.ArchiveOrder->Count() > 0xFFFF)
            throw EWriteError(QStringLiteral("Stream write error: the archive is too large"));
        run.End->CentralSize = uint32_t(centralBytes);
        run.End->EntriesThisDisk = uint16_t(entriesHere);
        if (run.End->HasComment() && !run.End->ZipComment())
            run.End->SetZipComment(std::nullopt);
        if (run.Multi && run.RoomLeft() < int64_t(run.End->EndCentralSize())) {
            NextVolume(run);
            run.End->EntriesThisDisk = 0;
        }
        run.End->ThisDisk = uint16_t(FCurrentDisk);
        run.End->SaveEndCentralToStream(*run.Out);
        if (run.Multi)
            WriteDiskLabel(run);

        // Everything on disk before the old archive is replaced.
        CloseVolume(run);

        if (run.Multi) {
            ClearZip();
            if (run.Mode == mmBlocks && FCurrentDisk == 0) {
                // One block only: it becomes the archive itself.
                if (::rename(QFile::encodeName(run.OutputName).constData(), QFile::encodeName(target).constData()) != 0)
                    throw EWriteError(QStringLiteral("Cannot create file %1: %2").arg(target, errnoText(errno)));
                run.OutputName = target;
            }
            target = run.OutputName; // the volume holding the end record
            run.OutputName.clear();
        } else if (updating) {
            // Keep the old archive's permissions.
            QFile::setPermissions(run.OutputName, QFile::permissions(target));
        } else {
            QFile::setPermissions(run.OutputName, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                      | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        }
        if (!run.Multi) {
            ClearZip();
            if (::rename(QFile::encodeName(run.OutputName).constData(), QFile::encodeName(target).constData()) != 0)
                throw EWriteError(QStringLiteral("Cannot create file %1: %2").arg(target, errnoText(errno)));
            run.OutputName.clear();
        }
        syncFolderOf(target);
    } catch (...) {
        // Whatever a failed write led to (a short write, a seek that could not flush), the
        // message names the file and the cause.
        const QString writeFailure = run.WriteFailure();
        run.Out.reset();
        run.File.reset();
        run.DropDataFile();
        // Only the file being written goes; volumes already finished stay.
        if (!run.OutputName.isEmpty())
            QFile::remove(run.OutputName);
        MultiZipInfo.MultiMode = savedMode;
        FMultiMode = savedMode;
        KeepZipOpen = savedKeep;
        SortMode = savedSort;
        if (!FZipName.isEmpty())
            CloseZip();
        else
            FZipName = archiveName;
        if (!writeFailure.isEmpty())
            throw EWriteError(writeFailure);
        throw;
    }

    FZipName = run.Multi ? target : archiveName;
    SetMultiMode(savedMode);
    // Sources go only after the archive holding them is safely in place.
    for (const QString& name : run.ToDispose) {
        bool skip = false;
        if (OnDisposeFile)
            OnDisposeFile(this, name, skip);
        if (!skip)
            QFile::remove(name);
    }

    // The component now describes the archive just written.
    DropMembers();
    FMembers = run.ArchiveOrder.release();
    FSortedMembers = FMembers;
    FEndRecord->Assign(*run.End);
    FEndRecord->CommentModified = false;
    ArchiveDate = StampOf(FZipName);
    FNumDisks = FCurrentDisk + 1;
    FDirectoryRebuilt = false;
    FDirectoryIncomplete = false;
    SetSortMode(savedSort);
    KeepZipOpen = savedKeep;
    CloseZip();
    return run.Added;
}

void TZipWriter::PlanUpdate(TRun& Run)
{
    // Keys of the list entries, as they would be stored.
    QHash<QString, int> entryIndex;
    for (int i = 0; i < FilesList.size(); ++i) {
        const QString key = StoredDirectory(FilesList[i]) + QFileInfo(FilesList[i]).fileName();
        if (!entryIndex.contains(key))
            entryIndex.insert(key, i);
    }
    QList<bool> removed(FilesList.size(), false);

    Run.Replacing = QStringList();
    Run.Replacing.resize(FMembers->Count());
    for (int m = 0; m < FMembers->Count(); ++m) {
        TZipHeaderInfo* old = FMembers->Header(m);
        LoadFileCommentFromOpenStream(old);
        const auto it = entryIndex.constFind(old->FullName());
        if (it != entryIndex.constEnd() && !removed[*it]) {
            const int idx = *it;
            const QString entry = FilesList[idx];
            removed[idx] = true;
            const QDateTime memberDate = DosDateTimeToDateTime(CheckDosDate(old->DateTime));
            if (ZipAction == zaReplace || FileDate(entry) > memberDate) {
                Run.Replacing[m] = entry;
                Run.Work << entry;
                Run.WorkSizes << ListedSize(idx);
            }
        }
    }
    QStringList rest;
    QList<int64_t> restSizes;
    for (int i = 0; i < FilesList.size(); ++i)
        if (!removed[i]) {
            rest << FilesList[i];
            restSizes << ListedSize(i);
        }
    FilesList = rest;
    FListedSizes = restSizes;
}

int64_t TZipWriter::ListedSize(int index) const
{
    return FListedSizes.size() == FilesList.size() ? FListedSizes[index] : QFileInfo(FilesList[index]).size();
}

void TZipWriter::MergeOldMembers(TRun& Run)
{
    for (int m = 0; m < FMembers->Count(); ++m) {
        // The file could not be added: its old member is kept rather than lost.
        if (Run.Replacing[m].isEmpty() || !ZipNext(Run, Run.Replacing[m]))
            CopyOldMember(Run, FMembers->Header(m));
    }
}

void TZipWriter::QueueWork(TRun& Run)
{
    // Encryption fillers are drawn for every member at the start, in the order the members
    // are written: one thread or many, and members skipped on the way, leave each member the
    // same bytes.
    if (!Password.isEmpty()) {
        Run.Fillers.resize(size_t(Run.Work.size()));
        for (auto& filler : Run.Fillers)
            filler = EncryptionFiller();
    }
    Run.Names.reserve(Run.Names.size() + Run.Work.size() + (FMembers ? FMembers->Count() : 0));
    const int threads = WorkerThreads(Threads);
    if (!Run.Multi && threads > 1 && Run.Work.size() > 1) {
        std::vector<TPackedMember> members(size_t(Run.Work.size()));
        std::vector<int64_t> sizes(size_t(Run.Work.size()));
        const QByteArray password = PasswordBytes(Password);
        for (qsizetype i = 0; i < Run.Work.size(); ++i) {
            TPackedMember& m = members[size_t(i)];
            m.FileName = Run.Work[i];
            sizes[size_t(i)] = Run.WorkSizes[i];
            m.Store = PackLevel <= 0 || NoCompress(Run.Work[i].mid(Run.Work[i].lastIndexOf(u'/') + 1));
            m.Level = PackLevel;
            m.Encrypt = !Password.isEmpty();
            if (m.Encrypt) {
                m.PasswordBytes = password;
                m.Filler = Run.Fillers[size_t(i)];
            }
        }
        Run.Ahead = std::make_unique<TPackAhead>(std::move(members), sizes, threads);
    }
    FListedSizes.clear();
}

bool TZipWriter::ZipNext(TRun& Run, const QString& FileName)
{
    const int index = ++Run.WorkIndex;
    auto header = std::make_unique<TZipHeaderInfo>();
    const bool added = ZipOneFile(Run, FileName, *header);
    if (added) {
        Run.StartWriteback(header->CompressedSize);
        AddWritten(Run, header.release(), FileName, true);
    }
    if (Run.Ahead)
        Run.Ahead->Release(index);
    return added;
}

void TZipWriter::CopyOldMember(TRun& Run, TZipHeaderInfo* Old)
{
    TStream& in = *FArchiveStream;
    // A member whose real sizes are unknown cannot be copied exactly: the update is refused.
    if (Old->NeedsZip64() || (Old->HasDataDescriptor() && Old->CentralOffset == 0))
        throw EBadZipFile(LoadStr(SNotValidZipFile));

    uint8_t local[LocalHeaderFixedSize];
    in.Seek(Old->RelativeOffset, soFromBeginning);
    if (in.Read(local, LocalHeaderFixedSize) != LocalHeaderFixedSize || GetLE32(local) != LocalFileHeaderSig)
        throw EBadZipFile(LoadStr(SNotValidZipFile));
    QByteArray nameExtra(GetLE16(local + 26) + GetLE16(local + 28), '\0');
    in.ReadBuffer(nameExtra.data(), nameExtra.size());

    auto header = std::make_unique<TZipHeaderInfo>();
    header->Assign(*Old);
    header->DiskNumberStart = 0;
    header->RelativeOffset = uint32_t(Run.Out->Position());
    if (Run.Out->Position() > int64_t(0xFFFFFFFFu))
        throw EWriteError(QStringLiteral("Stream write error: the archive is too large"));
    Run.Out->WriteBuffer(local, LocalHeaderFixedSize);
    Run.Out->WriteBuffer(nameExtra.constData(), nameExtra.size());
    // Exactly the member's compressed bytes, never recompressed.
    int64_t left = Old->CompressedSize;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, int64_t(Run.Scratch.size()));
        in.ReadBuffer(Run.Scratch.data(), n);
        Run.Out->WriteBuffer(Run.Scratch.data(), n);
        left -= n;
        PollAndCheckCancel();
    }
    if (Old->HasDataDescriptor()) {
        // A fresh descriptor, as wide as the copied local header announces: 8-byte sizes when
        // it carries a ZIP64 field (as zip writes for data of unknown length).
        bool zip64 = false;
        const int nameLen = GetLE16(local + 26);
        const auto* x = reinterpret_cast<const uint8_t*>(nameExtra.constData()) + nameLen;
        for (int at = 0, len = int(nameExtra.size()) - nameLen; at + 4 <= len;) {
            const int size = GetLE16(x + at + 2);
            zip64 = zip64 || GetLE16(x + at) == 0x0001;
            at += 4 + size;
        }
        uint8_t dd[24] = {};
        PutLE32(dd, DataDescriptorSig);
        PutLE32(dd + 4, Old->CRC32);
        if (zip64) {
            PutLE32(dd + 8, Old->CompressedSize);
            PutLE32(dd + 16, Old->UncompressedSize);
        } else {
            PutLE32(dd + 8, Old->CompressedSize);
            PutLE32(dd + 12, Old->UncompressedSize);
        }
        Run.Out->WriteBuffer(dd, zip64 ? 24 : 16);
    }
    if (Old->CentralOffset != 0) {
        uint8_t rec[CentralHeaderFixedSize];
        in.Seek(Old->CentralOffset, soFromBeginning);
        if (in.Read(rec, CentralHeaderFixedSize) != CentralHeaderFixedSize || GetLE32(rec) != CentralFileHeaderSig)
            throw EBadZipFile(LoadStr(SNotValidZipFile));
        QByteArray raw(reinterpret_cast<const char*>(rec), CentralHeaderFixedSize);
        // Name and extra field as they were: the name's bytes and flags stay in step with the
        // copied local header, and extra fields such as the Unicode name stay with it.
        QByteArray nameExtra(GetLE16(rec + 28) + GetLE16(rec + 30), '\0');
        in.ReadBuffer(nameExtra.data(), nameExtra.size());
        raw += nameExtra;
        Run.RawCentral.insert(header.get(), raw);
    }
    AddWritten(Run, header.release(), QString(), false);
}

bool TZipWriter::ZipOneFile(TRun& Run, const QString& FileName, TZipHeaderInfo& Header)
{
    // Packed ahead by a worker (which also looked at what the file is), or else read here. A
    // file the worker could not open is tried again here, when its turn has come.
    TPackedMember* packed = Run.Ahead ? Run.Ahead->Take(Run.WorkIndex, [this]() { PollAndCheckCancel(); })
                                      : nullptr;
    int64_t listedSize = 0;
    if (packed) {
        listedSize = packed->FileSize;
        Header.ExternalAttributes = packed->Attributes & 0xFF;
    } else {
        const QFileInfo fi(FileName);
        if (!fi.isFile())
            return false;
        listedSize = fi.size();
        Header.ExternalAttributes = platform::dosAttributes(FileName) & 0xFF;
    }
    const qsizetype slash = FileName.lastIndexOf(u'/');
    const QString name = FileName.mid(slash + 1);
    const TRun::TFolder& folder = Run.FolderOf(*this, FileName.left(slash + 1));
    // "\" separates folders inside an archive: a Linux name holding one would come back as
    // another file, or as the same file as another member.
    if (folder.Stored.contains(u'\\') || name.contains(u'\\')) {
        if (OnSkippingFile)
            OnSkippingFile(this, srBadName, FileName, -1);
        TotalBytes -= listedSize;
        return false;
    }
    TSourceFile& src = Run.Source;
    src.Close();
    if (!packed && !src.Open(FileName)) {
        if (OnSkippingFile)
            OnSkippingFile(this, srFileOpenError, FileName, -1);
        return false;
    }
    struct Closer {
        TSourceFile& s;
        ~Closer() { s.Close(); }
    } closer{src};

    Header.DateTime = packed ? packed->DosTime : src.DosTime();
    Run.FileSize = packed ? packed->FileSize : src.SizeNow();
    // The sizes of a member are 32-bit, and all ones marks a ZIP64 size: a file of 4 GiB or
    // more (less one byte) is left out before any of it is read, and the rest is written.
    if (Run.FileSize >= int64_t(0xFFFFFFFFu)) {
        if (OnSkippingFile)
            OnSkippingFile(this, srTooLarge, FileName, -1);
        TotalBytes -= Run.FileSize;
        return false;
    }
    Header.UncompressedSize = uint32_t(std::min<int64_t>(Run.FileSize, 0xFFFFFFFF));
    // The stored directory is empty or ends with "\\", and the name holds none: one name
    // for both parts, encoded once.
    Header.SetFullName(folder.Directory + name);
    Header.InternalAttributes = 2;
    Header.DiskNumberStart = 0;

    if (Run.Names.contains(nameKey(Header))) {
        if (OnSkippingFile)
            OnSkippingFile(this, srNoOverwrite, FileName, -1);
        TotalBytes -= Run.FileSize;
        return false;
    }
    bool skip = false;
    if (OnStartZip)
        OnStartZip(this, FileName, Header, skip);
    if (skip) {
        TotalBytes -= Run.FileSize;
        return false;
    }

    const QByteArray extra = unicodePathExtra(Header);
    Header.ExtraFieldLength = uint16_t(extra.size());
    Run.Encrypt = !Password.isEmpty();
    const bool store = PackLevel <= 0 || NoCompress(Header.FileName());
    auto skipMember = [&]() {
        if (OnSkippingFile)
            OnSkippingFile(this, srFileOpenError, FileName, -1);
        TotalBytes -= Run.FileSize;
        return false;
    };
    if (packed
        && (packed->Store != store || packed->Level != PackLevel || packed->Encrypt != Run.Encrypt
            || (Run.Encrypt && packed->PasswordBytes != PasswordBytes(Password)))) {
        // A handler changed the member's name or the password since it was queued: it is
        // packed again here.
        packed = nullptr;
        if (!src.Open(FileName))
            return skipMember();
    }
    // A local header never spans volumes.
    if (Run.Multi && Run.RoomLeft() <= int64_t(Header.LocalSize()))
        NextVolume(Run);
    Header.DiskNumberStart = uint16_t(FCurrentDisk);
    const int64_t headerPos = Run.Out->Position();
    if (headerPos > int64_t(0xFFFFFFFFu))
        throw EWriteError(QStringLiteral("Stream write error: the archive is too large"));
    // What the local header holds once the data are known.
    auto completeHeader = [&](uint32_t crc, int64_t uncompressed, int64_t compressed) {
        if (uncompressed >= int64_t(0xFFFFFFFFu) || compressed >= int64_t(0xFFFFFFFFu))
            throw EWriteError(QStringLiteral("Stream write error: ") + FileName + QStringLiteral(" is too large"));
        Header.CRC32 = crc;
        Header.UncompressedSize = uint32_t(uncompressed);
        Header.CompressedSize = uint32_t(compressed);
        if (Run.Encrypt)
            Header.Flags |= FlagEncrypted;
        else
            Header.Flags &= uint16_t(~FlagEncrypted);
        Header.Flags &= uint16_t(~FlagDataDescriptor);
    };

    if (packed) {
        // Everything is known: the member goes out in one pass, its local header complete
        // from the start. The worker's reads are replayed for the percentages, the data
        // written in step with them.
        int64_t allRead = 0;
        for (const size_t n : packed->Reads)
            allRead += int64_t(n);
        const bool good = !packed->ReadFailed;
        const uint64_t total = packed->Data.size();
        if (good) {
            if (store) {
                Header.CompressionMethod = 0;
                Header.InternalAttributes = 0;
            } else {
                Header.CompressionMethod = packed->Result.Method;
                Header.Flags |= packed->Result.Flags;
                Header.InternalAttributes = packed->Result.InternalAttributes;
            }
            completeHeader(packed->Crc, allRead, int64_t(total));
            Header.SaveLocalToStream(*Run.Out);
            Run.Out->WriteBuffer(extra.constData(), extra.size());
        }
        Run.DataOut = Run.Out.get();
        Run.FileBytes = 0;
        Run.DataWritten = 0;
        TMemberWriter io(*this, Run);
        uint64_t done = 0;
        for (const size_t n : packed->Reads) {
            io.CountRead(n);
            const uint64_t upTo = allRead > 0 ? total * uint64_t(Run.FileBytes) / uint64_t(allRead) : total;
            if (good && upTo > done) {
                io.WritePacked(packed->Data.data() + done, size_t(upTo - done));
                done = upTo;
            }
        }
        // A source that could not be read to its end, or changed while it was read, left
        // nothing in the archive.
        if (!good)
            return skipMember();
        if (done < total)
            io.WritePacked(packed->Data.data() + done, size_t(total - done));
        Run.FileBytes = allRead;
    } else {
        Header.SaveLocalToStream(*Run.Out);
        Run.Out->WriteBuffer(extra.constData(), extra.size());
        if (Run.Multi) {
            // The member's data wait in a file of their own until their size is known.
            const QString folder = !TempPath.isEmpty() && QFileInfo(TempPath).isDir() ? TempPath : platform::tempFolder();
            Run.DataName = GetTempName(folder);
            if (Run.DataName.isEmpty())
                throw EFCreateError(QStringLiteral("Cannot create file %1").arg(folder));
            Run.DataFile = std::make_unique<TFileStream>(Run.DataName, fmCreate);
            Run.DataBuf = std::make_unique<TS_BufferStream>(Run.DataFile.get());
            Run.DataOut = Run.DataBuf.get();
        } else {
            Run.DataOut = Run.Out.get();
        }
        struct DataFileDropper {
            TRun& r;
            ~DataFileDropper() { r.DropDataFile(); }
        } dropper{Run};
        const int64_t dataStart = Run.DataOut->Position();

        try {
            uint32_t preCrc = 0;
            if (Run.Encrypt) {
                preCrc = crcOfSource(src);
                // The filler drawn when the member was queued, so that one thread or many
                // draw the same bytes for it.
                const std::array<uint8_t, 10>* queued =
                    size_t(Run.WorkIndex) < Run.Fillers.size() ? &Run.Fillers[size_t(Run.WorkIndex)] : nullptr;
                const auto eh = queued ? Run.Crypt.MakeHeader(PasswordBytes(Password), preCrc, *queued)
                                       : Run.Crypt.MakeHeader(PasswordBytes(Password), preCrc);
                Run.DataOut->WriteBuffer(eh.data(), int64_t(eh.size()));
            }

            Run.Crc.Start();
            Run.FileBytes = 0;
            Run.DataWritten = 0;
            TMemberWriter io(*this, Run);
            if (store) {
                std::vector<uint8_t> buf(StoreChunk);
                for (size_t n; (n = io.ReadSource(buf.data(), buf.size())) > 0;)
                    io.WriteData(buf.data(), n);
                Header.CompressionMethod = 0;
                Header.InternalAttributes = 0;
            } else {
                const TDeflateResult r = FDeflater->Deflate(io, PackLevel);
                Header.CompressionMethod = r.Method;
                Header.Flags |= r.Flags;
                Header.InternalAttributes = r.InternalAttributes;
            }
            if (Run.Encrypt && Run.Crc.Crc() != preCrc)
                throw ESourceReadError(QStringLiteral("Stream read error: ") + FileName + QStringLiteral(" changed while it was read"));
        } catch (const ESourceReadError&) {
            // The member is taken back out: what follows overwrites it, and the file is cut
            // to its real end when it is closed.
            Run.Out->Seek(headerPos, soFromBeginning);
            return skipMember();
        }
        const int64_t compressed = Run.DataOut->Position() - dataStart;
        completeHeader(Run.Crc.Crc(), Run.FileBytes, compressed);
        const int64_t end = Run.Out->Position();
        Run.Out->Seek(headerPos, soFromBeginning);
        Header.SaveLocalToStream(*Run.Out);
        Run.Out->Seek(end, soFromBeginning);

        if (Run.Multi) {
            // Out to the volumes, split wherever a volume is full.
            TS_BufferStream& data = *Run.DataBuf;
            data.Seek(0, soFromBeginning);
            int64_t left = compressed;
            // The total counted each byte twice; the copy moves the compressed size only.
            if (OnTotalPercentDone)
                TotalBytes -= Run.FileBytes - compressed;
            if (Run.RoomLeft() <= 0)
                NextVolume(Run);
            while (left > 0) {
                const int64_t n = std::min({left, Run.RoomLeft(), int64_t(Run.Scratch.size())});
                data.ReadBuffer(Run.Scratch.data(), n);
                Run.Out->WriteBuffer(Run.Scratch.data(), n);
                left -= n;
                if (OnFilePercentDone) {
                    OnFilePercentDone(this, Percent(Run.FileBytes + compressed, Run.FileBytes + compressed - left));
                    if (OnTotalPercentDone) {
                        TotalBytesDone += n;
                        OnTotalPercentDone(this, Percent(TotalBytes, TotalBytesDone));
                    }
                }
                PollAndCheckCancel();
                if (Run.RoomLeft() <= 0)
                    NextVolume(Run);
            }
        }
    }

    if (!extra.isEmpty())
        Run.NewExtra.insert(&Header, extra);
    src.Close();
    if (OnEndZip)
        OnEndZip(this, FileName, Header.UncompressedSize, Header.CompressedSize, Run.Out->Position());
    return true;
}

} // namespace archive
