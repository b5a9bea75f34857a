#include "archive/ZipExtract.h"

#include "archive/Inflate.h"
#include "archive/OldMethods.h"
#include "archive/WildMatch.h"
#include "archive/WorkAhead.h"
#include "archive/ZipReader.h"
#include "archive/ZipStrings.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/TempFiles.h"
#include "platform/volumes/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace archive {

QString CutAtNul(const QString& name)
{
    const qsizetype nul = name.indexOf(QChar(0));
    return nul < 0 ? name : name.left(nul);
}

// A member made on MS-DOS or Windows is a folder by its attribute alone, with or without a
// final "/" (as some writers store folders); one that holds data stays a file.
static bool isFolderByAttribute(const TZipHeaderInfo& h)
{
    const int host = h.VersionMadeBy >> 8;
    return (host == 0 || host == 11 || host == 14) && (h.ExternalAttributes & faDirectory) && h.UncompressedSize == 0;
}

// The stored path that extraction works with: cut at a NUL, and ending in a separator when
// the member is a folder.
static QString storedPathOf(const TZipHeaderInfo& h)
{
    QString path = CutAtNul(h.Directory() + h.FileName());
    if (!path.isEmpty() && !path.endsWith(u'\\') && isFolderByAttribute(h))
        path += u'\\';
    return path;
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
    TArchiveSource(TZipReader& reader, TUnzipRun& run, TZipCrypt* crypt) : reader_(reader), run_(run), crypt_(crypt) {}

    size_t ReadChunk(uint8_t* buffer, size_t count) override
    {
        reader_.CheckCancelNowAndThen(run_);
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
    TUnzipRun& run_;
    TZipCrypt* crypt_;
};

// Expanded bytes into a member's part file, gathered into large writes: nobody looks at the
// file before its rename, so fewer and larger writes change nothing but the time taken.
// A failed write names `shownName` (the file the member becomes) and the cause.
class TPartWriter {
public:
    static constexpr size_t Capacity = size_t(1) << 20;

    TPartWriter(TFileStream& out, std::vector<uint8_t>& buffer, const QString& shownName = QString())
        : out_(out), buf_(buffer), shownName_(shownName)
    {
        buf_.clear();
        buf_.reserve(Capacity);
    }

    void Write(const uint8_t* data, size_t count)
    {
        if (buf_.size() + count > Capacity)
            Flush();
        if (count >= Capacity)
            put(data, count);
        else
            buf_.insert(buf_.end(), data, data + count);
    }

    void Flush()
    {
        if (!buf_.empty())
            put(buf_.data(), buf_.size());
        buf_.clear();
    }

    // Inflate takes any exception for damaged data: a write that failed inside it is raised
    // again once the decoder is done.
    void ThrowIfFailed() const
    {
        if (!failure_.isEmpty())
            throw EWriteError(failure_);
    }

private:
    void put(const uint8_t* data, size_t count)
    {
        ThrowIfFailed();
        if (out_.Write(data, int64_t(count)) != int64_t(count)) {
            failure_ = WriteErrorText(shownName_.isEmpty() ? out_.FileName() : shownName_, out_.LastError());
            ThrowIfFailed();
        }
    }

    TFileStream& out_;
    std::vector<uint8_t>& buf_;
    QString shownName_;
    QString failure_;
};

// Expanded bytes of one member into its output file, with the percentage events.
class TMemberSink : public TUnzipSink {
public:
    TMemberSink(TZipReader& reader, TPartWriter* out) : reader_(reader), out_(out) {}

    void WriteOutput(const uint8_t* data, size_t count) override { out_->Write(data, count); }

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
    TPartWriter* out_;
};

namespace {

QString toFsSeparators(QString path)
{
    path.replace(u'\\', u'/');
    return path;
}

// True when a path placed under the destination has a ".." component.
bool hasParentStep(const QString& placed)
{
    qsizetype start = 0;
    for (;;) {
        qsizetype end = placed.indexOf(u'\\', start);
        if (end < 0)
            end = placed.size();
        if (end - start == 2 && placed[start] == u'.' && placed[start + 1] == u'.')
            return true;
        if (end == placed.size())
            return false;
        start = end + 1;
    }
}

// The path without "." components and doubled separators (never ".." here).
QString cleanFolderPath(const QString& path)
{
    if (path.contains(QLatin1String("//")) || path.contains(QLatin1String("/./")) || path.endsWith(QLatin1String("/."))
        || (path.endsWith(u'/') && path.size() > 1))
        return QDir::cleanPath(path);
    return path;
}

TMemberPlace placeOf(const TZipHeaderInfo& h, const QString& destFolder, bool recreateDirs, const QString& rootDir)
{
    TMemberPlace p;
    // Everything after a NUL is dropped from the stored path; a drive or a leading separator
    // does not lead out of the destination.
    p.StoredPath = storedPathOf(h);
    const QString placedPath = RelativeMemberPath(p.StoredPath);
    const qsizetype lastSep = placedPath.lastIndexOf(u'\\');
    const QString storedDir = placedPath.left(lastSep + 1);
    p.FileName = placedPath.mid(lastSep + 1);
    const bool namedMember = !p.StoredPath.isEmpty() && !p.StoredPath.endsWith(u'\\') && !p.StoredPath.endsWith(u'/');
    p.Unsafe = hasParentStep(placedPath) || p.FileName == u"." || (namedMember && p.FileName.isEmpty());
    p.Path = destFolder.endsWith(u'/') ? destFolder : destFolder + u'/';
    if (recreateDirs && !storedDir.isEmpty()) {
        QString rest = storedDir;
        QString root = rootDir;
        root.replace(u'/', u'\\');
        if (!root.isEmpty() && rest.startsWith(root))
            rest = rest.mid(root.size());
        p.Path += toFsSeparators(rest);
    }
    return p;
}

// placeOf for a list whose members come folder by folder: a member of the same stored folder
// as the one before, whose name holds no separator or NUL, takes that folder's place.
class TPlacer {
public:
    TPlacer(const QString& destFolder, bool recreateDirs, const QString& rootDir)
        : destFolder_(destFolder), recreateDirs_(recreateDirs), rootDir_(rootDir)
    {
    }

    TMemberPlace operator()(const TZipHeaderInfo& h)
    {
        const QString& dir = h.Directory();
        const QString& name = h.FileName();
        const bool plainName = !name.isEmpty() && !name.contains(u'\\') && !name.contains(u'/') && !name.contains(QChar(0))
            && !isFolderByAttribute(h);
        if (!(haveDir_ && plainName && dir == dir_)) {
            TMemberPlace p = placeOf(h, destFolder_, recreateDirs_, rootDir_);
            // The folder's part serves the next members when it ends in a separator and
            // holds no NUL.
            haveDir_ = !dir.isEmpty() && (dir.endsWith(u'\\') || dir.endsWith(u'/')) && !dir.contains(QChar(0))
                && plainName && p.FileName == name;
            if (haveDir_) {
                dir_ = dir;
                path_ = p.Path;
                dirUnsafe_ = hasParentStep(RelativeMemberPath(dir));
            }
            return p;
        }
        TMemberPlace p;
        p.StoredPath = dir + name;
        p.FileName = name;
        p.Path = path_;
        p.Unsafe = dirUnsafe_ || name == u".." || name == u".";
        return p;
    }

private:
    QString destFolder_;
    bool recreateDirs_;
    QString rootDir_;
    bool haveDir_ = false;
    QString dir_;
    QString path_;
    bool dirUnsafe_ = false;
};

// The member's date and, when attributes are retained, its attributes, set on its open part
// file: the permission bits of a Unix made archive, else the DOS read-only bit. The owner
// keeps the right to read the file. Date first, as a read-only file would refuse it by name.
void setDateAndAttributes(int fd, uint32_t dosDate, uint32_t ext, uint16_t versionMadeBy, bool retainAttributes)
{
    const QDateTime dt = platform::dateTimeFromDosDateTime(CheckDosDate(dosDate));
    if (dt.isValid()) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = time_t(dt.toSecsSinceEpoch());
        times[1].tv_nsec = 0;
        ::futimens(fd, times);
    }
    if (!retainAttributes)
        return;
    const unsigned host = versionMadeBy >> 8;
    const uint32_t unixMode = ext >> 16;
    if ((host == 3 || (ext & 0x8000)) && (unixMode & 0777) && S_ISREG(unixMode)) {
        ::fchmod(fd, mode_t((unixMode & 0777) | S_IRUSR));
        return;
    }
    struct stat st;
    if ((ext & faReadOnly) && ::fstat(fd, &st) == 0)
        ::fchmod(fd, mode_t(st.st_mode & 07777 & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)));
}

QString partFileName(const QString& folder)
{
    return QFile::decodeName(platform::tempFileName(QFile::encodeName(folder), PartFilePrefix));
}

// A new, empty file in folder for a member being written, permissions as for any new file,
// open for writing in `fd`; an empty name (and errno) when none could be made. Made with
// O_EXCL: a link or another file of that name is never opened.
QString createPartFile(const QString& folder, int& fd)
{
    QByteArray name;
    fd = platform::openTempFile(QFile::encodeName(folder), PartFilePrefix, {}, &name, 0666);
    return fd >= 0 ? QFile::decodeName(name) : QString();
}

// Gives a file opened without a name (O_TMPFILE) a new part file name in folder; empty when
// that failed. A name already taken is never replaced.
QString linkPartFile(int fd, const QString& folder)
{
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = partFileName(folder);
        if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, QFile::encodeName(name).constData(), AT_SYMLINK_FOLLOW) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return QString();
}

// True when `folder`, named below the destination, stands elsewhere on disk: a folder of the
// destination that is a link out of it (a catalog unpacked by tar keeps links) would carry the
// member there. Links that stay inside the destination serve as folders.
bool leadsOutOf(const QString& destFolder, const QString& folder)
{
    const QString top = QDir::cleanPath(QFileInfo(destFolder).absoluteFilePath());
    QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!f.startsWith(top) || f.size() == top.size() || (f[top.size()] != u'/' && !top.endsWith(u'/')))
        return false;
    // The innermost folder that is there: what the extraction makes below it is real folders.
    while (f.size() > top.size() && !QFileInfo(f).isDir())
        f.truncate(f.lastIndexOf(u'/'));
    const QString realTop = QFileInfo(top).canonicalFilePath();
    const QString real = QFileInfo(f).canonicalFilePath();
    if (realTop.isEmpty() || real.isEmpty())
        return false;
    return real != realTop && !real.startsWith(realTop.endsWith(u'/') ? realTop : realTop + u'/');
}

// Makes `folder` and the missing folders above it, as ForceDirs does; each folder made is
// added to `made`, the outermost first. False when one could not be made.
bool makeFolders(const QString& folder, QStringList& made)
{
    QStringList missing;
    QString p = QDir::cleanPath(folder);
    struct stat st;
    while (::stat(QFile::encodeName(p).constData(), &st) != 0) {
        const qsizetype sep = p.lastIndexOf(u'/');
        if (errno != ENOENT || sep <= 0)
            return false;
        missing.prepend(p);
        p.truncate(sep);
    }
    if (!S_ISDIR(st.st_mode))
        return false;
    for (const QString& m : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(m).constData(), 0777) == 0)
            made << m;
        else if (errno != EEXIST)
            return false;
    }
    return true;
}

} // namespace

// ---- Members unpacked ahead on worker threads ----
// Extraction of many members unpacks the coming ones on every core while the caller's thread
// goes through the list as before: names, events, prompts, passwords, what stands at the
// destination and the rename into place all stay there, in member order. A worker writes
// the member into a part file of its own in the folder the member is bound for (date and
// attributes set when it decoded correctly); the caller's thread takes that file as the
// member's part file when the member is still bound for that folder, reports the blocks as
// the decoder wrote them, and renames it into place. A member whose folder is not there and
// may not be made ahead is decoded into memory instead. Encrypted members, volume sets and
// methods other than stored and deflated are decoded in turn on the caller's thread.

struct TUnpackedMember {
    // The member as queued; Wanted: to be unpacked ahead.
    int Index = 0;
    bool Wanted = false;
    uint32_t RelativeOffset = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t Method = 0;
    uint32_t StoredCrc = 0;
    uint32_t DosDate = 0;
    uint32_t ExternalAttributes = 0;
    uint16_t VersionMadeBy = 0;
    // The folder the member is bound for, as its name says; MayMakeFolder: the worker may
    // make it (and those above it) when missing.
    QString Folder;
    bool MayMakeFolder = false;
    // What the decoder wrote: the part file (or, without one, the bytes), the size of each
    // block, the CRC.
    QString PartName;
    std::vector<uint8_t> Data;
    std::vector<uint32_t> Blocks;
    uint32_t Crc = 0;
    uint64_t BytesWritten = 0;
    bool TooLong = false; // the output guard stopped it
    bool WriteFailed = false; // its file could not be written (a full disk, say)
    // Written to a file in Folder: PartName holds it when the member decoded correctly
    // (its date and attributes set), else it is gone already.
    bool OnDisk = false;
    bool Done = false;    // unpacked; else the caller's thread does it and meets what stopped it
};

// Members go to the workers in runs of neighbours: handing over each small member alone
// would cost the threads more in waking each other than the member's work.
struct TAheadBatch {
    static constexpr int MaxMembers = 32;
    static constexpr int64_t MaxBytes = 2 << 20;  // a run closes once it holds this much
    static constexpr int64_t AloneBytes = 8 << 20; // a member this large makes a run alone
    int First = 0;
    std::vector<TUnpackedMember> Members;
};

// Part files and folders made ahead by the workers. What the caller's thread has not taken
// over is removed at the end of the run, a cancel or an error included: a folder only when
// it is still empty.
class TMadeAhead {
public:
    ~TMadeAhead()
    {
        for (const auto& [index, name] : parts_)
            ::unlink(QFile::encodeName(name).constData());
        std::vector<QString> folders;
        for (const auto& [index, name] : folders_)
            folders.push_back(name);
        // The innermost first.
        std::sort(folders.begin(), folders.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
        for (const QString& f : folders)
            ::rmdir(QFile::encodeName(f).constData());
    }

    void AddPart(int index, const QString& name)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parts_[index] = name;
    }
    // The part file is the caller's thread's now.
    void TakePart(int index)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        parts_.erase(index);
    }
    // The part file is no longer wanted.
    void RemovePart(int index)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = parts_.find(index);
        if (it == parts_.end())
            return;
        ::unlink(QFile::encodeName(it->second).constData());
        parts_.erase(it);
    }
    void AddFolders(int index, const QStringList& made)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const QString& f : made)
            folders_.emplace(index, f);
    }
    // The caller's thread reached a member bound for `folder`: that folder and those above
    // it stay, whichever member they were made for, as they would on one thread.
    void KeepFolders(const QString& folder)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (folders_.empty())
            return;
        const QString clean = QDir::cleanPath(folder);
        for (auto it = folders_.begin(); it != folders_.end();) {
            const QString& f = it->second;
            if (clean == f || (clean.startsWith(f) && clean.size() > f.size() && clean[f.size()] == u'/'))
                it = folders_.erase(it);
            else
                ++it;
        }
    }

private:
    std::mutex mutex_;
    std::map<int, QString> parts_;
    std::multimap<int, QString> folders_;
};

class TUnpackAhead {
public:
    // members: every member of the list, those to unpack ahead marked Wanted.
    TUnpackAhead(const QString& archive, std::vector<TUnpackedMember> members, int threads, bool retainAttributes)
        : archive_(archive), retainAttributes_(retainAttributes), workers_(size_t(threads)),
          work_(batches(std::move(members)), batchBytes_, batchWanted_, threads,
                [this](TAheadBatch& b, int worker) { return unpack(b, worker); })
    {
    }

    // The member unpacked ahead, once its run is done; null when it was not.
    TUnpackedMember* Take(int index, const std::function<void()>& waiting)
    {
        const int b = batchOf_[size_t(index)];
        if (b != taken_) {
            batch_ = work_.Take(b, waiting);
            taken_ = b;
        }
        if (!batch_)
            return nullptr;
        TUnpackedMember& m = batch_->Members[size_t(index - batch_->First)];
        return m.Done ? &m : nullptr;
    }
    // The caller's thread takes the member's part file over.
    void TakePart(int index) { made_.TakePart(index); }
    // A worker could not write a member's file: the files written ahead may be what fills
    // the disk, so the caller's thread goes on alone.
    bool WriteFailed() const { return writeFailed_; }
    // The caller's thread reached a member bound for `folder`: the folders made for it stay,
    // as they would on one thread.
    void Reached(const QString& folder) { made_.KeepFolders(folder); }
    // The caller's thread is past the member (whether it was selected or not): at the end of
    // its run, the part files not taken over go and the memory is given back; the folders
    // made for members the caller's thread skipped before reaching their folder go at the
    // end, when empty.
    void Passed(int index)
    {
        const int b = batchOf_[size_t(index)];
        if (size_t(index + 1) < batchOf_.size() && batchOf_[size_t(index + 1)] == b)
            return;
        work_.Release(b, [](TAheadBatch& batch) {
            for (TUnpackedMember& m : batch.Members) {
                std::vector<uint8_t>().swap(m.Data);
                std::vector<uint32_t>().swap(m.Blocks);
            }
        });
        if (taken_ == b)
            batch_ = nullptr;
        for (int i = index; i >= 0 && batchOf_[size_t(i)] == b; --i)
            made_.RemovePart(i);
    }

private:
    std::vector<TAheadBatch> batches(std::vector<TUnpackedMember> members)
    {
        std::vector<TAheadBatch> out;
        batchOf_.resize(members.size());
        bool open = false;
        for (size_t i = 0; i < members.size(); ++i) {
            TUnpackedMember& m = members[i];
            const int64_t bytes = m.Wanted ? int64_t(m.UncompressedSize) : 0;
            if (open && (bytes >= TAheadBatch::AloneBytes || int(out.back().Members.size()) >= TAheadBatch::MaxMembers
                         || batchBytes_.back() >= TAheadBatch::MaxBytes))
                open = false;
            if (!open) {
                out.emplace_back();
                out.back().First = int(i);
                batchBytes_.push_back(0);
                batchWanted_.push_back(false);
                open = true;
            }
            batchBytes_.back() += bytes;
            batchWanted_.back() = batchWanted_.back() || m.Wanted;
            out.back().Members.push_back(std::move(m));
            batchOf_[i] = int(out.size()) - 1;
            if (bytes >= TAheadBatch::AloneBytes)
                open = false;
        }
        return out;
    }

private:
    struct Stopped {};

    struct Worker {
        std::unique_ptr<TFileStream> archive;
        std::unique_ptr<TUnzipIO> io;
        std::vector<uint8_t> buffer;
    };

    class Source : public TUnzipSource {
    public:
        Source(TStream& s, const TWorkAhead<TAheadBatch>& work) : s_(s), work_(work) {}
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
        const TWorkAhead<TAheadBatch>& work_;
    };

    // Into the part file when there is one, else into memory; each block's size is kept.
    class Sink : public TUnzipSink {
    public:
        Sink(TUnpackedMember& m, TPartWriter* out) : m_(m), out_(out) {}
        void WriteOutput(const uint8_t* data, size_t count) override
        {
            if (out_) {
                try {
                    out_->Write(data, count);
                } catch (...) {
                    m_.WriteFailed = true; // inflate takes it for a data error
                    throw;
                }
            }
            else
                m_.Data.insert(m_.Data.end(), data, data + count);
            m_.Blocks.push_back(uint32_t(count));
        }

    private:
        TUnpackedMember& m_;
        TPartWriter* out_;
    };

    // On a worker: the run's members decoded as the caller's thread would decode them. A
    // member that meets an exception is left to the caller's thread, which then meets it
    // itself.
    bool unpack(TAheadBatch& batch, int worker)
    {
        for (TUnpackedMember& m : batch.Members) {
            if (work_.Stopping())
                return false;
            try {
                m.Done = m.Wanted && unpackOne(m, worker);
            } catch (const Stopped&) {
                return false;
            } catch (...) {
                m.Done = false;
            }
        }
        return true;
    }

    bool unpackOne(TUnpackedMember& m, int worker)
    {
        Worker& w = workers_[size_t(worker)];
        if (!w.archive)
            w.archive = std::make_unique<TFileStream>(archive_, fmOpenRead);
        if (!w.io)
            w.io = std::make_unique<TUnzipIO>();
        // Out of memory: the caller's thread does the member and says so, as on one thread.
        if (m.Method == 8 && !PrepareInflate(*w.io))
            return false;
        uint8_t local[LocalHeaderFixedSize];
        w.archive->Seek(m.RelativeOffset, soFromBeginning);
        if (w.archive->Read(local, LocalHeaderFixedSize) != LocalHeaderFixedSize)
            return false;
        w.archive->Seek(GetLE16(local + 26) + GetLE16(local + 28), soFromCurrent);

        // The member's file, in the folder it is bound for: a file without a name that takes a
        // part file name only once the member decoded correctly, so that nothing is left of it
        // otherwise (where the file system has no such files, a part file from the start).
        // Such files are made without holding the folder, which files made by name in one
        // folder wait for in turn.
        int fd = -1;
        if (!m.Folder.isEmpty()) {
            fd = openFile(m);
            if (fd < 0 && errno == ENOENT && m.MayMakeFolder) {
                QStringList made;
                const bool ok = makeFolders(m.Folder, made);
                made_.AddFolders(m.Index, made);
                if (ok)
                    fd = openFile(m);
            }
            if (!m.PartName.isEmpty())
                made_.AddPart(m.Index, m.PartName);
        }
        std::unique_ptr<TFileStream> file;
        std::optional<TPartWriter> out;
        if (fd >= 0) {
            file = std::make_unique<TFileStream>(fd, m.PartName);
            out.emplace(*file, w.buffer);
        } else {
            m.Data.reserve(m.UncompressedSize);
        }
        try {
            Source source(*w.archive, work_);
            Sink sink(m, out ? &*out : nullptr);
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
            if (out) {
                try {
                    out->Flush();
                } catch (...) {
                    m.WriteFailed = true;
                }
                if (m.WriteFailed) {
                    writeFailed_ = true;
                    file.reset();
                    made_.RemovePart(m.Index);
                    m.PartName.clear();
                    return false;
                }
                if (m.Crc == m.StoredCrc && m.BytesWritten == m.UncompressedSize && !m.TooLong) {
                    setDateAndAttributes(fd, m.DosDate, m.ExternalAttributes, m.VersionMadeBy, retainAttributes_);
                    if (m.PartName.isEmpty()) {
                        m.PartName = linkPartFile(fd, m.Folder);
                        if (m.PartName.isEmpty()) {
                            noTmpFiles_ = true;
                            return false;
                        }
                        made_.AddPart(m.Index, m.PartName);
                    }
                } else if (!m.PartName.isEmpty()) {
                    made_.RemovePart(m.Index);
                    m.PartName.clear();
                }
                m.OnDisk = true;
            }
        } catch (...) {
            file.reset();
            made_.RemovePart(m.Index);
            m.PartName.clear();
            throw;
        }
        return true;
    }

    // Opens the member's file in its folder: without a name where the file system can, else
    // as a part file (m.PartName). -1 and errno when neither could be made.
    int openFile(TUnpackedMember& m)
    {
        if (!noTmpFiles_) {
            const int fd = ::open(QFile::encodeName(m.Folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
            if (fd >= 0 || errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == EROFS || errno == ENOSPC)
                return fd;
            noTmpFiles_ = true; // the file system has no files without a name
        }
        int fd = -1;
        m.PartName = createPartFile(m.Folder, fd);
        return fd;
    }

    QString archive_;
    bool retainAttributes_;
    std::atomic<bool> noTmpFiles_{false};
    std::atomic<bool> writeFailed_{false};
    std::vector<Worker> workers_;
    std::vector<int> batchOf_; // each member's run
    std::vector<int64_t> batchBytes_;
    std::vector<bool> batchWanted_;
    int taken_ = -1;              // the run the caller's thread took last
    TAheadBatch* batch_ = nullptr; // and what it found
    TMadeAhead made_;                // after the workers stop (below), removes what is left
    TWorkAhead<TAheadBatch> work_;   // last: its workers stop first
};

TUnzipRun::TUnzipRun() = default;
TUnzipRun::~TUnzipRun() = default;

void TZipReader::CheckCancelNowAndThen(TUnzipRun& Run)
{
    const auto now = std::chrono::steady_clock::now();
    if (now >= Run.NextMessages) {
        Run.NextMessages = now + std::chrono::milliseconds(10);
        ProcessMessages();
    }
    if (CancelRequested) {
        CancelRequested = false;
        throw EUserCanceled(LoadStr(SUserAbortedOperation));
    }
}

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
        run.DestFolder = FDestDir.isEmpty() ? QDir::currentPath() : FDestDir;
        TotalBytes = 0;
        TotalBytesDone = 0;
        const int n = Count();
        run.FilesToDo = n;
        for (int i = 0; i < n; ++i) {
            TZipHeaderInfo* h = FSortedMembers->Header(i);
            h->Selected = DoAll;
            if ((h->FileName().isEmpty() || isFolderByAttribute(*h)) && !RecreateDirs) {
                h->Selected = false;
            } else if (!DoAll) {
                const QString name = h->Directory() + h->FileName();
                for (const QString& line : FilesList) {
                    QString pattern = line;
                    pattern.replace(u'/', u'\\');
                    // A plain name selects the member of exactly that name ("A.txt" and "a.txt"
                    // are two files); wildcards match without regard to case, as ever.
                    if (HasWildcards(pattern) ? IsMatch(pattern.toLower(), name.toLower()) : pattern == name) {
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
            if (threads > 1 && run.FilesToDo > 1 && !IsMultiVolume() && FPieces.isEmpty())
                startAhead(run, threads);
            for (int i = 0; i < n; ++i) {
                if (DoAll || FSortedMembers->Header(i)->Selected) {
                    run.PasswordForm = 0;
                    do {
                        UnZipOneFile(run, i);
                    } while (run.Retry);
                }
                if (run.Ahead)
                    run.Ahead->Passed(i);
            }
            run.Ahead.reset();
        }
    } catch (...) {
        run.Ahead.reset();
        finish();
        throw;
    }
    finish();
    return run.FilesDone;
}

void TZipReader::startAhead(TUnzipRun& run, int threads)
{
    const int n = Count();
    std::vector<TUnpackedMember> members(static_cast<size_t>(n));
    // No folder is made ahead where the file of a member is to stand, or that member would
    // meet a folder there and fail: the folders the members go to, the names of the folders
    // in each, and the members bearing such a name there.
    std::vector<TMemberPlace>& places = run.Places;
    places.resize(static_cast<size_t>(n));
    TPlacer placer(run.DestFolder, RecreateDirs, FRootDir);
    QSet<QString> folders;
    QString lastPath;
    for (int i = 0; i < n; ++i) {
        const TZipHeaderInfo* h = FSortedMembers->Header(i);
        if (!DoAll && !h->Selected)
            continue;
        TMemberPlace& p = places[size_t(i)];
        p = placer(*h);
        if (p.Path != lastPath) {
            lastPath = p.Path;
            folders.insert(cleanFolderPath(p.Path).toCaseFolded());
        }
    }
    // Names are compared case-folded: on a file system that ignores case (a vfat or exFAT
    // stick) file "A" stands in the way of folder "a" too. At worst a few more members are
    // left to the caller's thread.
    const QString top = QDir::cleanPath(run.DestFolder).toCaseFolded();
    QHash<QString, QSet<QString>> inside;
    for (const QString& f : std::as_const(folders)) {
        QString child = f;
        while (child.size() > top.size() && child.startsWith(top)) {
            const qsizetype sep = child.lastIndexOf(u'/');
            if (sep <= 0)
                break;
            QSet<QString>& names = inside[child.left(sep)];
            const QString name = child.mid(sep + 1);
            if (names.contains(name))
                break; // the folders above are in already
            names.insert(name);
            child.truncate(sep);
        }
    }
    QSet<QString> forbidden;
    lastPath.clear();
    const QSet<QString>* names = nullptr;
    for (int i = 0; i < n; ++i) {
        const TMemberPlace& p = places[size_t(i)];
        if (p.Unsafe || p.FileName.isEmpty() || p.StoredPath.isEmpty())
            continue;
        if (p.Path != lastPath) {
            lastPath = p.Path;
            const auto it = inside.constFind(cleanFolderPath(p.Path).toCaseFolded());
            names = it == inside.constEnd() ? nullptr : &*it;
        }
        const QString name = p.FileName.toCaseFolded();
        if (names && names->contains(name))
            forbidden.insert(cleanFolderPath(p.Path).toCaseFolded() + u'/' + name);
    }
    // Members come folder by folder: the folder of the one before serves again.
    lastPath.clear();
    QString lastFolder;
    bool lastMayMake = false;
    bool lastOut = false;
    for (int i = 0; i < n; ++i) {
        const TZipHeaderInfo* h = FSortedMembers->Header(i);
        TUnpackedMember& m = members[size_t(i)];
        TMemberPlace& p = places[size_t(i)];
        m.Index = i;
        m.RelativeOffset = h->RelativeOffset;
        m.CompressedSize = h->CompressedSize;
        m.UncompressedSize = h->UncompressedSize;
        m.Method = h->CompressionMethod;
        m.StoredCrc = h->CRC32;
        m.DosDate = h->DateTime;
        m.ExternalAttributes = h->ExternalAttributes;
        m.VersionMadeBy = h->VersionMadeBy;
        m.Wanted = (DoAll || h->Selected) && !p.Unsafe && !p.FileName.isEmpty() && !h->Encrypted()
            && (h->CompressionMethod == 0 || h->CompressionMethod == 8) && !h->NeedsZip64() && !h->HasDataDescriptor();
        if (!m.Wanted)
            continue;
        if (p.Path != lastPath || lastFolder.isEmpty()) {
            lastPath = p.Path;
            // The folder as the caller's thread works it out, unless a handler renames it.
            lastFolder = QFileInfo(p.Path + p.FileName).absolutePath();
            lastOut = leadsOutOf(run.DestFolder, lastFolder);
            // A handler of the start event may skip the member or send it elsewhere: then no
            // folder is made ahead for it.
            lastMayMake = !OnStartUnZip;
            // In the form the names in the way were gathered in (the destination as given,
            // cleaned), not the absolute one: the destination may be named relative to the
            // working folder.
            QString f = cleanFolderPath(p.Path).toCaseFolded();
            while (lastMayMake && !forbidden.isEmpty() && f.size() > top.size() && f.startsWith(top)) {
                if (forbidden.contains(f))
                    lastMayMake = false;
                f.truncate(std::max<qsizetype>(f.lastIndexOf(u'/'), 0));
            }
        }
        if (lastOut) {
            m.Wanted = false; // the caller's thread skips it
            continue;
        }
        p.Folder = lastFolder;
        m.Folder = lastFolder;
        m.MayMakeFolder = lastMayMake;
    }
    run.Ahead = std::make_unique<TUnpackAhead>(FZipName, std::move(members), threads, RetainAttributes);
}

void TZipReader::UnZipOneFile(TUnzipRun& run, int FileIndex)
{
    run.Retry = false;
    bool skip = false;
    TZipHeaderInfo* member = FSortedMembers->Header(FileIndex);
    CurrentHeader->Assign(*member);
    TZipHeaderInfo& h = *CurrentHeader;

    // Where the member goes, as worked out when the run started (unless the list changed).
    const bool known = size_t(FileIndex) < run.Places.size() && !run.Places[size_t(FileIndex)].StoredPath.isEmpty()
        && run.Places[size_t(FileIndex)].StoredPath == storedPathOf(h);
    const TMemberPlace place = known ? run.Places[size_t(FileIndex)] : placeOf(h, run.DestFolder, RecreateDirs, FRootDir);
    const QString& storedPath = place.StoredPath;
    const QString& fileName = place.FileName;
    const QString& path = place.Path;

    auto takeOffTotals = [&]() { TotalBytes -= h.UncompressedSize; };
    auto skipWith = [&](TSkipReason reason, const QString& name) {
        if (OnSkippingFile)
            OnSkippingFile(this, reason, name, FileIndex);
        takeOffTotals();
    };

    // A name that would lead out of the destination folder is never written, whatever the
    // options say.
    if (place.Unsafe) {
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

    if (fileName.isEmpty()) {
        if (RecreateDirs) {
            QString folder = path;
            if (OnStartUnZip)
                OnStartUnZip(this, FileIndex, folder, skip);
            // An empty folder of the archive is there after the extraction too.
            if (!skip && !leadsOutOf(run.DestFolder, folder))
                ForceDirs(folder);
        }
        return;
    }

    QString fname = path + fileName;
    if (OnStartUnZip)
        OnStartUnZip(this, FileIndex, fname, skip);
    if (skip)
        return;

    // Members come folder by folder: a folder seen once is not looked at again (should it go
    // away meanwhile, making the part file finds that out and makes it again).
    const QString folder = !place.Folder.isEmpty() && fname.size() == path.size() + fileName.size()
            && fname.startsWith(path) && fname.endsWith(fileName)
        ? place.Folder
        : QFileInfo(fname).absolutePath();
    if (folder != run.FolderSeen) {
        if (leadsOutOf(run.DestFolder, folder)) {
            skipWith(srCreateError, storedPath);
            return;
        }
        if (QFileInfo(folder).isDir())
            run.FolderSeen = folder;
        else
            ForceDirs(folder);
    }
    if (run.Ahead)
        run.Ahead->Reached(folder);

    // Unpacked ahead by a worker, or decoded here further on. A cancel while waiting for the
    // worker leaves no part file: those of the workers go at the end of the run.
    TUnpackedMember* ahead = nullptr;
    if (run.Ahead && !h.Encrypted())
        ahead = run.Ahead->Take(FileIndex, [this]() { ProcessMessagesAndCheckCancel(); });
    if (run.Ahead && run.Ahead->WriteFailed()) {
        // What the workers wrote ahead goes, and the rest of the run is done here alone, as
        // on one thread.
        ahead = nullptr;
        run.Ahead.reset();
    }
    if (ahead
        && (ahead->RelativeOffset != h.RelativeOffset || ahead->CompressedSize != h.CompressedSize
            || ahead->UncompressedSize != h.UncompressedSize || ahead->Method != h.CompressionMethod
            || ahead->StoredCrc != h.CRC32 || ahead->DosDate != h.DateTime
            || ahead->ExternalAttributes != h.ExternalAttributes || ahead->VersionMadeBy != h.VersionMadeBy))
        ahead = nullptr;

    // Finds the member's data: the local header's own name and extra lengths count. A worker
    // that unpacked the member has read that header already.
    auto seekToData = [&]() {
        uint8_t local[LocalHeaderFixedSize];
        FArchiveStream->Seek(h.RelativeOffset, soFromBeginning);
        if (FArchiveStream->Read(local, LocalHeaderFixedSize) != LocalHeaderFixedSize)
            throw EFatalUnzipError(SPrematureEnd);
        FArchiveStream->Seek(GetLE16(local + 26) + GetLE16(local + 28), soFromCurrent);
    };
    if (!ahead)
        seekToData();

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
        TArchiveSource(*this, run, nullptr).ReadChunk(raw, EncryptionHeaderSize);
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
    int dataDisk = FCurrentDisk;
    int64_t dataPos = ahead ? 0 : FArchiveStream->Position();

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
    // The worker's file serves when it lies in the folder the member goes to now (a member
    // that failed its check has none left); a member sent elsewhere by a handler is decoded
    // here again.
    QString partName;
    int partFd = -1;
    bool adopted = false;
    if (ahead && ahead->OnDisk) {
        if (ahead->Folder == partFolder) {
            adopted = true;
            partName = ahead->PartName;
            if (!partName.isEmpty())
                run.Ahead->TakePart(FileIndex);
        } else {
            ahead = nullptr;
            seekToData();
            dataDisk = FCurrentDisk;
            dataPos = FArchiveStream->Position();
        }
    }
    std::unique_ptr<TFileStream> out;
    if (!adopted) {
        partName = createPartFile(partFolder, partFd);
        if (partName.isEmpty() && errno == ENOENT && partFolder == folder && ForceDirs(folder))
            partName = createPartFile(folder, partFd);
        if (partName.isEmpty()) {
            run.FolderSeen.clear();
            skipWith(srCreateError, fname);
            return;
        }
        out = std::make_unique<TFileStream>(partFd, partName);
    }
    std::optional<TPartWriter> writer;
    if (out)
        writer.emplace(*out, run.WriteBuffer, fname);

    TArchiveSource source(*this, run, h.Encrypted() ? &run.Crypt : nullptr);
    TMemberSink sink(*this, writer ? &*writer : nullptr);
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
            // before each; those in memory are written now.
            uint64_t at = 0;
            for (const uint32_t n : ahead->Blocks) {
                CheckCancelNowAndThen(run);
                if (!adopted)
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
        if (writer) {
            writer->ThrowIfFailed();
            writer->Flush();
        }
    } catch (...) {
        // A run ended by an error or a cancel leaves no partial member behind.
        out.reset();
        if (!partName.isEmpty())
            QFile::remove(partName);
        throw;
    }

    const uint32_t crc = ahead ? ahead->Crc : run.IO.Crc.Crc();
    const uint64_t bytesWritten = ahead ? ahead->BytesWritten : run.IO.BytesWritten;
    // A member cut short passes only if its bytes are all there: an empty output is no
    // member of a method we cannot decode, whatever CRC the header claims.
    const bool good = crc == h.CRC32 && bytesWritten == h.UncompressedSize && !tooLong;
    const bool wrongSize = MethodSupported(h.CompressionMethod) && (tooLong || (crc == h.CRC32 && !good));
    // A worker's part file has its date and attributes already.
    if (good && out)
        setDateAndAttributes(out->Handle(), h.DateTime, h.ExternalAttributes, h.VersionMadeBy, RetainAttributes);
    out.reset();
    if (good) {
        if (::rename(QFile::encodeName(partName).constData(), nativeName.constData()) != 0) {
            QFile::remove(partName);
            skipWith(srCreateError, fname);
            return;
        }
    } else if (!partName.isEmpty()) {
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
