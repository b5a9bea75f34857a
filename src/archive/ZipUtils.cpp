#include "archive/ZipUtils.h"

#include "archive/WildMatch.h"
#include "archive/ZipExceptions.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/AtomicFile.h"
#include "platform/text/CodePage.h"
#include "platform/volumes/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

// ---- TLFNFileStream ----

TLFNFileStream::TLFNFileStream(const QString& fileName, uint16_t mode)
    : TS_BufferStream(nullptr), file_(std::make_unique<TFileStream>(fileName, mode))
{
    SetWrappedStream(file_.get());
}

TLFNFileStream::~TLFNFileStream()
{
    FinishWriting();
}

void TLFNFileStream::SetSize(int64_t newSize)
{
    const int64_t pos = Position();
    FinishWriting();
    DropBuffer();
    file_->SetSize(newSize);
    file_->Seek(std::min(pos, newSize), soFromBeginning);
}

// ---- small routines ----

int Percent(int64_t whole, int64_t part)
{
    if (whole <= 0)
        return 0;
    const double r = std::nearbyint(double(part) * 100.0 / double(whole)); // halves to even
    return r > 100.0 ? 100 : int(r);
}

int Percent64(int64_t part, int64_t whole)
{
    return Percent(whole, part);
}

QString RightStr(const QString& text, int n)
{
    return n >= text.size() ? text : text.right(std::max(n, 0));
}

QString LeftStr(const QString& text, int n)
{
    return text.left(std::max(n, 0));
}

bool HasWildcards(const QString& path)
{
    for (QChar c : path)
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('<') || c == QLatin1Char('>')
            || c == QLatin1Char('|'))
            return true;
    return false;
}

uint32_t FileAgeDos(const QString& fileName)
{
    return CheckDosDate(platform::fileDosDateTime(fileName));
}

QDateTime FileDate(const QString& fileName)
{
    const QDateTime dt = platform::dateTimeFromDosDateTime(FileAgeDos(fileName));
    return dt.isValid() ? dt : QDateTime::currentDateTime();
}

QDateTime DosDateTimeToDateTime(uint32_t dos)
{
    return platform::dateTimeFromDosDateTime(dos);
}

uint32_t DateTimeToDosDateTime(const QDateTime& dt)
{
    return platform::dosDateTimeFromDateTime(dt);
}

bool ForceDirs(const QString& dir)
{
    return !dir.isEmpty() && QDir().mkpath(dir);
}

bool FileExistsTest(const QString& name)
{
    const QFileInfo fi(name);
    return fi.exists() && !fi.isDir();
}

bool DirExists(const QString& name)
{
    return !name.isEmpty() && QFileInfo(name).isDir();
}

QString GetDirectory(int)
{
    return QDir::currentPath();
}

void CopyFile(const QString& source, const QString& destination)
{
    TFileStream in(source, fmOpenRead | fmShareDenyWrite);
    TFileStream out(destination, fmCreate);
    QByteArray buf(65536, Qt::Uninitialized);
    int64_t copied = 0;
    for (;;) {
        const int64_t n = in.Read(buf.data(), buf.size());
        if (n <= 0)
            break;
        out.WriteBuffer(buf.constData(), n);
        copied += n;
    }
    if (copied == 0)
        platform::dialogs().message(QStringLiteral("Could not copy from ") + source + QStringLiteral(" -> ") + destination,
                                    QStringLiteral("Error"), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

bool SetVolumeLabel(const QString& root, const QString& label)
{
    platform::setVolumeLabel(root, QString());
    return platform::setVolumeLabel(root, label);
}

QString GetVolumeLabel(const QString& root)
{
    return platform::volumeLabel(root);
}

namespace {

constexpr char TempArchivePrefix[] = "ARQ";
constexpr char TempArchiveSuffix[] = ".tmp";

bool isPartFileName(const QByteArray& name)
{
    return platform::isTempFileName(name, PartFilePrefix);
}

bool isTempArchiveName(const QByteArray& name)
{
    return platform::isTempFileName(name, TempArchivePrefix, TempArchiveSuffix);
}

// A temporary archive holds nothing yet, or begins with a local header or an end record.
bool looksLikeTempArchive(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    char head[4];
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    if (n == 0)
        return true;
    return n == 4 && (std::memcmp(head, "PK\3\4", 4) == 0 || std::memcmp(head, "PK\5\6", 4) == 0);
}

} // namespace

QString GetTempName(const QString& folder)
{
    return platform::createTempFile(folder, QLatin1String(TempArchivePrefix), QLatin1String(TempArchiveSuffix));
}

int RemoveLeftoverPartFiles(const QString& folder, const QDateTime& before)
{
    return platform::removeLeftoverFiles(folder, before, isPartFileName);
}

int RemoveLeftoverTempArchives(const QString& folder, const QDateTime& before)
{
    return platform::removeLeftoverFiles(folder, before, isTempArchiveName, looksLikeTempArchive);
}

QString WriteErrorText(const QString& name, int err)
{
    QString text = QStringLiteral("Stream write error: ") + name;
    if (err != 0)
        text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
    return text;
}

void OemRoundTrip(QString& name)
{
    name = platform::fromOem(platform::toOem(name));
}

bool SameBytes(const void* a, const void* b, size_t count)
{
    return count == 0 || std::memcmp(a, b, count) == 0;
}

QString ShortPathName(const QString& path)
{
    return path;
}

// ---- folder walk ----

namespace {

bool hasExtension(const QString& name)
{
    return name.contains(QLatin1Char('.'));
}

} // namespace

TSearchData::TSearchData(const QString& path, const QString& mask)
    : Path(path.isEmpty() || path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/')), Mask(mask)
{
    // An empty path is the current folder; the names found stay relative.
    const QByteArray dirName = Path.isEmpty() ? QByteArray("./") : QFile::encodeName(Path);
    struct stat dst;
    DIR* dir = ::stat(dirName.constData(), &dst) == 0 ? ::opendir(dirName.constData()) : nullptr;
    if (!dir) {
        FindResult = 3; // the folder cannot be read: counts as exhausted
        return;
    }
    dev_ = uint64_t(dst.st_dev);
    ino_ = uint64_t(dst.st_ino);
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        // Looked at from the open folder: the path is not walked again for every entry.
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0) // broken link or vanished entry
            continue;
        Entry en;
        en.rec.Name = QFile::decodeName(e->d_name);
        en.rec.Size = S_ISDIR(st.st_mode) ? 0 : int64_t(st.st_size);
        en.rec.Attr = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
        if (!(st.st_mode & S_IWUSR))
            en.rec.Attr |= faReadOnly;
        if (e->d_name[0] == '.')
            en.rec.Attr |= faHidden;
        en.rec.Time = platform::dosDateTimeFromDateTime(QDateTime::fromSecsSinceEpoch(st.st_mtime));
        en.dev = uint64_t(st.st_dev);
        en.ino = uint64_t(st.st_ino);
        entries_.push_back(std::move(en));
    }
    ::closedir(dir);
    // A stable order whatever the file system returns: case-insensitive, then exact.
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        const int c = a.rec.Name.compare(b.rec.Name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.rec.Name < b.rec.Name;
    });
    if (entries_.empty())
        FindResult = 18; // no more files
    else
        Current = entries_[0].rec;
}

void TSearchData::Next()
{
    if (FindResult != 0)
        return;
    if (++pos_ >= entries_.size()) {
        FindResult = 18;
        return;
    }
    Current = entries_[pos_].rec;
}

TDirSearch::TDirSearch(const QString& path, bool recurse, const QString& mask) : mask_(mask), recurse_(recurse)
{
    QString p = path.isEmpty() || path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    QString start = p;
    // Wildcards in the folder part name folder levels, unless the path exists as written
    // (such characters are legal in Linux names).
    if (HasWildcards(p) && !QFileInfo(p).isDir()) {
        qsizetype first = 0;
        while (first < p.size() && !HasWildcards(QString(p[first])))
            ++first;
        const qsizetype cut = p.lastIndexOf(QLatin1Char('/'), first);
        start = p.left(cut + 1);
        levels_ = p.mid(cut + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        level_ = 0;
    }
    stack_.push_back(std::make_unique<TSearchData>(start, levels_.isEmpty() ? mask_ : levels_[0]));
}

TDirSearch::~TDirSearch() = default;

bool TDirSearch::Matches(const QString& pattern, const QString& name) const
{
    return IsMatch(pattern, name) || name.compare(pattern, Qt::CaseInsensitive) == 0;
}

QString TDirSearch::Next(TSearchRec& rec)
{
    const int levels = int(levels_.size());
    for (;;) {
        if (stack_.empty())
            return QString();
        TSearchData* cur = stack_[size_t(depth_)].get();
        if (cur->FindResult != 0) {
            stack_.pop_back();
            if (depth_ == 0)
                return QString();
            --depth_;
            level_ = levels > 0 ? std::min(depth_, levels - 1) : -1;
            stack_[size_t(depth_)]->Next();
            continue;
        }
        const TSearchData::Entry& e = cur->entries_[cur->pos_];
        const bool isFolder = (e.rec.Attr & faDirectory) != 0;
        const bool enterable = isFolder && !e.rec.Name.startsWith(QLatin1Char('.'));
        auto canDescend = [&]() {
            // A folder already open on the way down is a link loop.
            for (int d = 0; d <= depth_; ++d)
                if (stack_[size_t(d)]->dev_ == e.dev && stack_[size_t(d)]->ino_ == e.ino)
                    return false;
            return true;
        };
        auto descend = [&](const QString& mask) {
            stack_.push_back(std::make_unique<TSearchData>(cur->Path + e.rec.Name, mask));
            ++depth_;
            level_ = levels > 0 ? std::min(depth_, levels - 1) : -1;
        };
        if (depth_ < levels) {
            if (enterable && Matches(levels_[depth_], e.rec.Name) && canDescend()) {
                descend(depth_ + 1 < levels ? levels_[depth_ + 1] : mask_);
                continue;
            }
            cur->Next();
            continue;
        }
        if (isFolder) {
            if (recurse_ && enterable && canDescend()) {
                descend(mask_);
                continue;
            }
            cur->Next();
            continue;
        }
        const QString tested = hasExtension(e.rec.Name) ? e.rec.Name : e.rec.Name + QLatin1Char('.');
        if (IsMatch(mask_, tested) || e.rec.Name.compare(mask_, Qt::CaseInsensitive) == 0) {
            rec = e.rec;
            const QString result = cur->Path + e.rec.Name;
            cur->Next();
            return result;
        }
        cur->Next();
    }
}

} // namespace archive
