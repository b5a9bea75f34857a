#include "archive/ZipExtract.h"

#include "archive/Inflate.h"
#include "archive/OldMethods.h"
#include "archive/WildMatch.h"
#include "archive/WorkAhead.h"
#include "archive/ZipReader.h"
#include "archive/ZipStrings.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/volumes/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace archive {

QString CutAtNul(const QString& name)
{
    const qsizetype nul = name.indexOf(QChar(0));
    return nul < 0 ? name : name.left(nul);
}

QString RelativeMemberPath(const QString& storedPath)
{
    QString p = storedPath;
    p.replace(u'/', u'\\');
    if (p.size() >= 2 && p[0].isLetter() && p[0].unicode() < 0x80 && p[1] == u':' && (p.size() == 2 || p[2] == u'\\'))
        p.remove(0, 2);
    while (p.startsWith(u'\\'))
        p.remove(0, 1);
    return p;
}

bool MethodSupported(uint16_t method)
{
    return method <= 6 || method == 8; // stored, the old methods 1-6, deflated
}

bool IsUnsafeMemberPath(const QString& storedPath)
{
    QString p = RelativeMemberPath(storedPath);
    const QStringList parts = p.split(u'\\');
    for (const QString& part : parts)
        if (part == u"..")
            return true;
    return false;
}

// Compressed bytes of one member from the archive: chunks read from the archive stream,
// continued on the next volume of a set, decrypted in place, with the message loop and the
// cancel request served before each chunk.
class TArchiveSource : public TUnzipSource {
public:
    TArchiveSource(TZipReader& reader, TZipCrypt* crypt) : reader_(reader), crypt_(crypt) {}

    size_t ReadChunk(uint8_t* buffer, size_t count) override
    {
        reader_.ProcessMessagesAndCheckCancel();
        int64_t got = std::max<int64_t>(reader_.FArchiveStream->Read(buffer, int64_t(count)), 0);
        while (size_t(got) < count) {
            if (!reader_.IsMultiVolume() || !reader_.OnGetNextDisk)
                throw EFatalUnzipError(SPrematureEnd);
            reader_.SwapDisk(reader_.FCurrentDisk + 2);
            const int64_t more = reader_.FArchiveStream->Read(buffer + got, int64_t(count) - got);
            if (more <= 0)
                throw EFatalUnzipError(SPrematureEnd);
            got += more;
        }
        if (crypt_)
            crypt_->DecryptBuffer(buffer, size_t(got));
        return size_t(got);
    }

private:
    TZipReader& reader_;
    TZipCrypt* crypt_;
};

// Expanded bytes of one member into its output file, with the percentage events.
class TMemberSink : public TUnzipSink {
public:
    TMemberSink(TZipReader& reader, TStream& out) : reader_(reader), out_(out) {}

    void WriteOutput(const uint8_t* data, size_t count) override { out_.WriteBuffer(data, int64_t(count)); }

    void OutputProgress(uint64_t bytesWritten, size_t count) override
    {
        if (reader_.OnFilePercentDone)
            reader_.OnFilePercentDone(&reader_, Percent(int64_t(uncompressed_), int64_t(bytesWritten)));
        reader_.TotalBytesDone += int64_t(count);
        if (reader_.OnTotalPercentDone)
            reader_.OnTotalPercentDone(&reader_, Percent(reader_.TotalBytes, reader_.TotalBytesDone));
    }

    uint64_t uncompressed_ = 0;

private:
    TZipReader& reader_;
    TStream& out_;
};

// ---- Members decoded ahead on worker threads ----
// Extraction of many members decodes the coming ones on every core into memory while the
// caller's thread goes through the list as before: names, events, prompts and passwords, the
// member's ".mvpart" file and its rename all stay there, and the decoded blocks are written
// and reported as the decoder would have written them. Encrypted members, volume sets and
// methods other than stored and deflated are decoded in turn on the caller's thread.

struct TUnpackedMember {
    // The member as queued.
    uint32_t RelativeOffset = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t Method = 0;
    // What the decoder wrote: the bytes, the size of each block, the CRC.
    std::vector<uint8_t> Data;
    std::vector<uint32_t> Blocks;
    uint32_t Crc = 0;
    uint64_t BytesWritten = 0;
    bool TooLong = false; // the output guard stopped it
};

class TUnpackAhead {
public:
    TUnpackAhead(const QString& archive, std::vector<TUnpackedMember> members, const std::vector<int64_t>& bytes,
                 const std::vector<bool>& wanted, int threads)
        : archive_(archive), workers_(size_t(threads)),
          work_(std::move(members), bytes, wanted, threads,
                [this](TUnpackedMember& m, int worker) { return unpack(m, worker); })
    {
    }

    TUnpackedMember* Take(int index, const std::function<void()>& waiting) { return work_.Take(index, waiting); }
    void Release(int index)
    {
        work_.Release(index, [](TUnpackedMember& m) {
            std::vector<uint8_t>().swap(m.Data);
            std::vector<uint32_t>().swap(m.Blocks);
        });
    }

private:
    struct Stopped {};

    struct Worker {
        std::unique_ptr<TFileStream> archive;
        std::unique_ptr<TUnzipIO> io;
    };

    class Source : public TUnzipSource {
    public:
        Source(TStream& s, const TWorkAhead<TUnpackedMember>& work) : s_(s), work_(work) {}
        size_t ReadChunk(uint8_t* buffer, size_t count) override
        {
            if (work_.Stopping())
                throw Stopped{};
            if (s_.Read(buffer, int64_t(count)) != int64_t(count))
                throw EFatalUnzipError(SPrematureEnd);
            return count;
        }

    private:
        TStream& s_;
        const TWorkAhead<TUnpackedMember>& work_;
    };

    class Sink : public TUnzipSink {
    public:
        explicit Sink(TUnpackedMember& m) : m_(m) {}
        void WriteOutput(const uint8_t* data, size_t count) override
        {
            m_.Data.insert(m_.Data.end(), data, data + count);
            m_.Blocks.push_back(uint32_t(count));
        }

    private:
        TUnpackedMember& m_;
    };

    // On a worker: the member's data decoded as the caller's thread would decode them. Any
    // exception leaves the member to the caller's thread, which then meets it itself.
    bool unpack(TUnpackedMember& m, int worker)
    {
        Worker& w = workers_[size_t(worker)];
        if (!w.archive)
            w.archive = std::make_unique<TFileStream>(archive_, fmOpenRead);
        if (!w.io)
            w.io = std::make_unique<TUnzipIO>();
        uint8_t local[LocalHeaderFixedSize];
        w.archive->Seek(m.RelativeOffset, soFromBeginning);
        if (w.archive->Read(local, LocalHeaderFixedSize) != LocalHeaderFixedSize)
            return false;
        w.archive->Seek(GetLE16(local + 26) + GetLE16(local + 28), soFromCurrent);
        Source source(*w.archive, work_);
        Sink sink(m);
        m.Data.reserve(m.UncompressedSize);
        w.io->StartMember(&source, &sink, m.CompressedSize, m.UncompressedSize);
        try {
            if (m.Method == 8)
                Inflate(*w.io);
            else
                UnStore(*w.io);
        } catch (const EBiggerThanUncompressed&) {
            m.TooLong = true;
        }
        m.Crc = w.io->Crc.Crc();
        m.BytesWritten = w.io->BytesWritten;
        return true;
    }

    QString archive_;
    std::vector<Worker> workers_;
    TWorkAhead<TUnpackedMember> work_; // last: its workers stop first
};

TUnzipRun::TUnzipRun() = default;
TUnzipRun::~TUnzipRun() = default;

namespace {

QString toFsSeparators(QString path)
{
    path.replace(u'\\', u'/');
    return path;
}

// Applies the stored attributes: the permission bits of a Unix made archive, else the DOS
// read-only bit. The owner keeps the right to read the file.
void applyAttributes(const QString& fileName, const TZipHeaderInfo& h)
{
    const uint32_t ext = h.ExternalAttributes;
    const unsigned host = h.VersionMadeBy >> 8;
    const uint32_t unixMode = ext >> 16;
    const QByteArray native = QFile::encodeName(fileName);
    if ((host == 3 || (ext & 0x8000)) && (unixMode & 0777) && S_ISREG(unixMode)) {
        ::chmod(native.constData(), mode_t((unixMode & 0777) | S_IRUSR));
        return;
    }
    if (ext & faReadOnly)
        platform::setDosAttributes(fileName, faReadOnly);
}

// A new, empty file in folder for a member being written, permissions as for any new file,
// open for writing in `fd`; an empty name (and errno) when none could be made.
QString createPartFile(const QString& folder, int& fd)
{
    fd = -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = folder + QStringLiteral("/.mvpart")
            + QString::number(QRandomGenerator::system()->generate64() & 0xFFFFFFFFFFull, 36);
        fd = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return QString();
}

} // namespace

int TZipReader::UnZipSelected(TLFNFileStream* Stream)
{
    (void)Stream;
    TUnzipRun run;
    const TZipSortMode savedSort = SortMode;
    bool sortChanged = false;

    auto finish = [&]() {
        if (sortChanged)
            SetSortMode(savedSort);
        if (OnUnZipComplete)
            OnUnZipComplete(this, run.FilesDone);
    };

    try {
        if (!FDestDir.isEmpty() && !QFileInfo(FDestDir).isDir())
            ForceDirs(FDestDir);
        if (IsMultiVolume() && SortMode != ByNone) {
            SetSortMode(ByNone);
            sortChanged = true;
        }
        TotalBytes = 0;
        TotalBytesDone = 0;
        const int n = Count();
        run.FilesToDo = n;
        for (int i = 0; i < n; ++i) {
            TZipHeaderInfo* h = FSortedMembers->Header(i);
            h->Selected = DoAll;
            if (h->FileName().isEmpty() && !RecreateDirs) {
                h->Selected = false;
            } else if (!DoAll) {
                const QString name = (h->Directory() + h->FileName()).toLower();
                for (const QString& line : FilesList) {
                    QString pattern = line.toLower();
                    pattern.replace(u'/', u'\\');
                    if (IsMatch(pattern, name)) {
                        h->Selected = true;
                        break;
                    }
                }
            }
            if (h->Selected)
                TotalBytes += h->UncompressedSize;
            else
                --run.FilesToDo;
        }
        bool stopNow = false;
        if (OnStartUnZipInfo)
            OnStartUnZipInfo(this, run.FilesToDo, TotalBytes, stopNow);
        if (run.FilesToDo > 0 && !stopNow) {
            const int threads = WorkerThreads(Threads);
            if (threads > 1 && run.FilesToDo > 1 && !IsMultiVolume() && FPieces.isEmpty()) {
                std::vector<TUnpackedMember> members(static_cast<size_t>(n));
                std::vector<int64_t> bytes(static_cast<size_t>(n));
                std::vector<bool> wanted(static_cast<size_t>(n));
                for (int i = 0; i < n; ++i) {
                    const TZipHeaderInfo* h = FSortedMembers->Header(i);
                    TUnpackedMember& m = members[size_t(i)];
                    m.RelativeOffset = h->RelativeOffset;
                    m.CompressedSize = h->CompressedSize;
                    m.UncompressedSize = h->UncompressedSize;
                    m.Method = h->CompressionMethod;
                    bytes[size_t(i)] = int64_t(h->UncompressedSize);
                    wanted[size_t(i)] = (DoAll || h->Selected) && !h->FileName().isEmpty() && !h->Encrypted()
                        && (m.Method == 0 || m.Method == 8) && !h->NeedsZip64() && !h->HasDataDescriptor();
                }
                run.Ahead = std::make_unique<TUnpackAhead>(FZipName, std::move(members), bytes, wanted, threads);
            }
            for (int i = 0; i < n; ++i) {
                if (!DoAll && !FSortedMembers->Header(i)->Selected)
                    continue;
                run.PasswordForm = 0;
                do {
                    UnZipOneFile(run, i);
                } while (run.Retry);
                if (run.Ahead)
                    run.Ahead->Release(i);
            }
            run.Ahead.reset();
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return run.FilesDone;
}

void TZipReader::UnZipOneFile(TUnzipRun& run, int FileIndex)
{
    run.Retry = false;
    bool skip = false;
    TZipHeaderInfo* member = FSortedMembers->Header(FileIndex);
    CurrentHeader->Assign(*member);
    TZipHeaderInfo& h = *CurrentHeader;

    // Everything after a NUL is dropped from the stored path; a drive or a leading separator
    // does not lead out of the destination.
    const QString storedPath = CutAtNul(h.Directory() + h.FileName());
    const QString placedPath = RelativeMemberPath(storedPath);
    const qsizetype lastSep = placedPath.lastIndexOf(u'\\');
    const QString storedDir = placedPath.left(lastSep + 1);
    const QString fileName = placedPath.mid(lastSep + 1);

    auto takeOffTotals = [&]() { TotalBytes -= h.UncompressedSize; };
    auto skipWith = [&](TSkipReason reason, const QString& name) {
        if (OnSkippingFile)
            OnSkippingFile(this, reason, name, FileIndex);
        takeOffTotals();
    };

    // A name that would lead out of the destination folder is never written, whatever the
    // options say.
    const bool namedMember = !storedPath.isEmpty() && !storedPath.endsWith(u'\\') && !storedPath.endsWith(u'/');
    if (IsUnsafeMemberPath(storedPath) || fileName == u"." || (namedMember && fileName.isEmpty())) {
        skipWith(srCreateError, storedPath);
        return;
    }

    // Sizes kept in a ZIP64 extension are not read here; guessing them would misread the data.
    // Neither are the sizes of a member known only from a local header that defers them to a
    // data descriptor: an empty file would pass for the member.
    // A stored member is known to be empty only when its descriptor follows its header.
    auto emptyByDescriptor = [&]() {
        uint8_t local[LocalHeaderFixedSize];
        uint8_t d[16];
        FArchiveStream->Seek(h.RelativeOffset, soFromBeginning);
        if (FArchiveStream->Read(local, LocalHeaderFixedSize) != LocalHeaderFixedSize)
            return false;
        FArchiveStream->Seek(GetLE16(local + 26) + GetLE16(local + 28), soFromCurrent);
        // A descriptor without signature is 12 bytes and may end the file.
        const int64_t got = FArchiveStream->Read(d, sizeof d);
        if (got < 12)
            return false;
        const bool signed_ = got == int64_t(sizeof d) && GetLE32(d) == 0x08074b50u;
        return GetLE32(d + (signed_ ? 4 : 0)) == 0 && GetLE32(d + (signed_ ? 8 : 4)) == 0
            && GetLE32(d + (signed_ ? 12 : 8)) == 0;
    };
    if (h.NeedsZip64()
        || (h.HasDataDescriptor() && h.CentralOffset == 0 && h.CompressedSize == 0
            && (h.CompressionMethod != 0 || !emptyByDescriptor()))) {
        skipWith(srFileOpenError, storedPath);
        return;
    }

    int64_t remaining = int64_t(h.CompressedSize);
    if (!fileName.isEmpty()) {
        if (IsMultiVolume() && h.DiskNumberStart != FCurrentDisk)
            SwapDisk(h.DiskNumberStart + 1);
    }

    // Destination folder.
    const QString base = FDestDir.isEmpty() ? QDir::currentPath() : FDestDir;
    QString path = base.endsWith(u'/') ? base : base + u'/';
    if (RecreateDirs && !storedDir.isEmpty()) {
        QString rest = storedDir;
        QString root = FRootDir;
        root.replace(u'/', u'\\');
        if (!root.isEmpty() && rest.left(root.size()).compare(root, Qt::CaseInsensitive) == 0)
            rest = rest.mid(root.size());
        path += toFsSeparators(rest);
    }

    if (fileName.isEmpty()) {
        if (RecreateDirs) {
            QString folder = path;
            if (OnStartUnZip)
                OnStartUnZip(this, FileIndex, folder, skip);
        }
        return;
    }

    QString fname = path + fileName;
    if (OnStartUnZip)
        OnStartUnZip(this, FileIndex, fname, skip);
    if (skip)
        return;

    // Finds the member's data: the local header's own name and extra lengths count.
    auto seekToData = [&]() {
        uint8_t local[LocalHeaderFixedSize];
        FArchiveStream->Seek(h.RelativeOffset, soFromBeginning);
        if (FArchiveStream->Read(local, LocalHeaderFixedSize) != LocalHeaderFixedSize)
            throw EFatalUnzipError(SPrematureEnd);
        FArchiveStream->Seek(GetLE16(local + 26) + GetLE16(local + 28), soFromCurrent);
    };
    seekToData();

    // Members come folder by folder: a folder seen once is not looked at again (should it go
    // away meanwhile, making the part file finds that out and makes it again).
    const QString folder = QFileInfo(fname).absolutePath();
    if (folder != run.FolderSeen) {
        if (QFileInfo(folder).isDir())
            run.FolderSeen = folder;
        else
            ForceDirs(folder);
    }

    // A member that cannot be decoded is said so before any password is asked for: WinZip
    // AES (method 99) and strong encryption (flag bit 6) are no traditional encryption.
    if (h.Encrypted() && (h.CompressionMethod == 99 || (h.Flags & 0x0040))) {
        platform::dialogs().message(SUnsupportedEncryption, QStringLiteral("Zip Error"), platform::MsgButtons::Ok);
        skipWith(srUnsupportedEncryption, storedPath);
        return;
    }
    if (h.Encrypted() && !MethodSupported(h.CompressionMethod)) {
        platform::dialogs().message(SUnknownMethod, QStringLiteral("Zip Error"), platform::MsgButtons::Ok);
        skipWith(srUnknownMethod, storedPath);
        return;
    }

    // The byte forms of the password whose check byte matches, from run.PasswordForm on; the
    // first is used, the next ones when the CRC refuses it.
    QList<QByteArray> forms;
    QList<int> matching;
    if (h.Encrypted()) {
        // The encryption header may continue on the next volume of a set: it is read once
        // and decrypted again for each password tried.
        uint8_t raw[EncryptionHeaderSize];
        TArchiveSource(*this, nullptr).ReadChunk(raw, EncryptionHeaderSize);
        remaining = std::max<int64_t>(remaining - EncryptionHeaderSize, 0);
        const uint8_t check = TZipCrypt::CheckByte(h.Flags, h.CRC32, h.DateTime);
        for (;;) {
            forms = PasswordCandidates(Password);
            for (int k = run.PasswordForm; k < forms.size(); ++k) {
                uint8_t plain[EncryptionHeaderSize];
                std::memcpy(plain, raw, EncryptionHeaderSize);
                run.Crypt.init_keys(forms[k]);
                run.Crypt.DecryptBuffer(plain, EncryptionHeaderSize);
                if (plain[EncryptionHeaderSize - 1] == check)
                    matching << k;
            }
            if (!matching.isEmpty())
                break;
            QString newPassword = Password;
            if (OnBadPassword)
                OnBadPassword(this, FileIndex, newPassword);
            if (!OnBadPassword || newPassword == Password) {
                skipWith(srBadPassword, storedPath);
                return;
            }
            Password = newPassword;
            run.PasswordForm = 0;
        }
        // The keys as they stand after the header, for the data.
        run.Crypt.init_keys(forms[matching.first()]);
        run.Crypt.DecryptBuffer(raw, EncryptionHeaderSize);
    }
    // Where the member's data begin, on which volume.
    const int dataDisk = FCurrentDisk;
    const int64_t dataPos = FArchiveStream->Position();

    // What stands at the destination, the entry itself (a link is not followed): looked at
    // once, and again only after an overwrite question or rule, which may take its time.
    QByteArray nativeName = QFile::encodeName(fname);
    struct stat entry;
    bool present = ::lstat(nativeName.constData(), &entry) == 0;
    QString partFolder = folder;

    // Overwrite rule.
    if (OverwriteMode != Always && present) {
        bool overwrite = false;
        switch (OverwriteMode) {
        case Prompt:
            if (OnPromptForOverwrite) {
                OnPromptForOverwrite(this, overwrite, FileIndex, fname);
            } else {
                overwrite = platform::dialogs().message(QStringLiteral("Replace existing file ") + fileName + u'?',
                                                        QStringLiteral("File Exists Alert"), platform::MsgButtons::YesNo)
                    == platform::MsgResult::Yes;
            }
            break;
        case Never:
            break;
        case ifNewer:
        case ifOlder: {
            const QDateTime memberTime = DosDateTimeToDateTime(CheckDosDate(h.DateTime));
            const QDateTime fileTime = DosDateTimeToDateTime(FileAgeDos(fname));
            overwrite = OverwriteMode == ifNewer ? memberTime > fileTime : memberTime < fileTime;
            break;
        }
        case Always:
            overwrite = true;
            break;
        }
        if (!overwrite) {
            skipWith(srNoOverwrite, fname);
            return;
        }
        // The question's handler may have given another name.
        nativeName = QFile::encodeName(fname);
        present = ::lstat(nativeName.constData(), &entry) == 0;
        partFolder = QFileInfo(fname).absolutePath();
    }

    // The member is written to a file of its own beside the destination and takes the
    // destination's name only when it is complete and correct: a damaged member, a wrong
    // password or a cancel never costs the file it was to replace. A link at the destination
    // is replaced by the rename, never written through.
    // A file without the owner's write permission is read-only.
    if (present && S_ISDIR(entry.st_mode)) {
        skipWith(srCreateError, fname);
        return;
    }
    if (present && !S_ISLNK(entry.st_mode) && !(entry.st_mode & S_IWUSR) && !ReplaceReadOnly) {
        skipWith(srCreateError, fname);
        return;
    }
    int partFd = -1;
    QString partName = createPartFile(partFolder, partFd);
    if (partName.isEmpty() && errno == ENOENT && partFolder == folder && ForceDirs(folder))
        partName = createPartFile(folder, partFd);
    if (partName.isEmpty()) {
        run.FolderSeen.clear();
        skipWith(srCreateError, fname);
        return;
    }
    auto out = std::make_unique<TFileStream>(partFd, partName);

    // Decoded ahead by a worker, or decoded here. A cancel while waiting for the worker
    // leaves no part file either.
    TUnpackedMember* ahead = nullptr;
    try {
        if (run.Ahead && !h.Encrypted())
            ahead = run.Ahead->Take(FileIndex, [this]() { ProcessMessagesAndCheckCancel(); });
    } catch (...) {
        out.reset();
        QFile::remove(partName);
        throw;
    }
    if (ahead
        && (ahead->RelativeOffset != h.RelativeOffset || ahead->CompressedSize != h.CompressedSize
            || ahead->UncompressedSize != h.UncompressedSize || ahead->Method != h.CompressionMethod))
        ahead = nullptr;
    TArchiveSource source(*this, h.Encrypted() ? &run.Crypt : nullptr);
    TMemberSink sink(*this, *out);
    sink.uncompressed_ = h.UncompressedSize;
    if (!ahead) {
        if (FCurrentDisk != dataDisk)
            SwapDisk(dataDisk + 1);
        FArchiveStream->Seek(dataPos, soFromBeginning);
        run.IO.StartMember(&source, &sink, uint64_t(std::max<int64_t>(remaining, 0)), h.UncompressedSize);
    }
    // Data longer than the record says, or a CRC that matches data of another length: the
    // size is wrong, not the data.
    bool tooLong = false;
    try {
        if (ahead) {
            // The blocks as the decoder wrote them, with the same progress and a cancel check
            // before each.
            uint64_t at = 0;
            for (const uint32_t n : ahead->Blocks) {
                ProcessMessagesAndCheckCancel();
                sink.WriteOutput(ahead->Data.data() + at, n);
                at += n;
                sink.OutputProgress(at, n);
            }
            tooLong = ahead->TooLong;
        } else try {
            switch (h.CompressionMethod) {
            case 0:
                UnStore(run.IO);
                break;
            case 8:
                Inflate(run.IO);
                break;
            default:
                if (ExpandOldMethod(run.IO, h.CompressionMethod, h.Flags, uint64_t(std::max<int64_t>(remaining, 0))))
                    break;
                platform::dialogs().message(SUnknownMethod, QStringLiteral("Zip Error"), platform::MsgButtons::Ok);
                break;
            }
        } catch (const EBiggerThanUncompressed&) {
            tooLong = true;
        }
    } catch (...) {
        // A run ended by an error or a cancel leaves no partial member behind.
        out.reset();
        QFile::remove(partName);
        throw;
    }
    out.reset();

    const uint32_t crc = ahead ? ahead->Crc : run.IO.Crc.Crc();
    const uint64_t bytesWritten = ahead ? ahead->BytesWritten : run.IO.BytesWritten;
    // A member cut short passes only if its bytes are all there: an empty output is no
    // member of a method we cannot decode, whatever CRC the header claims.
    const bool good = crc == h.CRC32 && bytesWritten == h.UncompressedSize && !tooLong;
    const bool wrongSize = MethodSupported(h.CompressionMethod) && (tooLong || (crc == h.CRC32 && !good));
    if (good) {
        // Date first: a read-only attribute would keep it from being set.
        platform::setFileDosDateTime(partName, CheckDosDate(h.DateTime));
        if (RetainAttributes)
            applyAttributes(partName, h);
        if (::rename(QFile::encodeName(partName).constData(), nativeName.constData()) != 0) {
            QFile::remove(partName);
            skipWith(srCreateError, fname);
            return;
        }
    } else {
        QFile::remove(partName);
    }
    if (good) {
        if (OnEndUnZip)
            OnEndUnZip(this, FileIndex, fname);
        ++run.FilesDone;
        return;
    }
    if (wrongSize && (!h.Encrypted() || crc == h.CRC32)) {
        if (OnSkippingFile)
            OnSkippingFile(this, srWrongSize, storedPath, FileIndex);
    } else if (h.Encrypted()) {
        if (matching.size() > 1) {
            // Another byte form of the same password passed the check byte.
            run.PasswordForm = matching[1];
            run.Retry = true;
            return;
        }
        run.PasswordForm = 0;
        if (OnBadPassword) {
            QString newPassword = Password;
            OnBadPassword(this, FileIndex, newPassword);
            if (newPassword != Password) {
                Password = newPassword;
                run.Retry = true;
            }
        }
        if (!run.Retry && OnSkippingFile)
            OnSkippingFile(this, srBadPassword, storedPath, FileIndex);
    } else if (OnBadCRC) {
        OnBadCRC(this, crc, h.CRC32, FileIndex);
    }
}

} // namespace archive
