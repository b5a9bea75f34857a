#pragma once
// The archive component's file layer: the archive file stream, the folder walker and small
// routines for paths, names, volume labels, temporary names, copying and percentages.
// File-system paths use "/" (a folder keeps a final "/"); member paths in headers keep "\".
#include "archive/BufferStream.h"
#include "archive/ZipRecords.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace archive {

// The buffered stream over a file it opens and owns (modes of TFileStream).
class TLFNFileStream : public TS_BufferStream {
public:
    TLFNFileStream(const QString& fileName, uint16_t mode);
    ~TLFNFileStream() override;
    int Handle() const { return file_->Handle(); }
    const QString& FileName() const { return file_->FileName(); }
    // Changing the size goes to the file (pending data flushed first).
    void SetSize(int64_t newSize) override;

private:
    std::unique_ptr<TFileStream> file_;
};

inline int Min(int a, int b) { return a < b ? a : b; }
inline int Max(int a, int b) { return a > b ? a : b; }

// 0 when whole <= 0, else part * 100 / whole rounded (halves to even), at most 100.
int Percent(int64_t whole, int64_t part);
int Percent64(int64_t part, int64_t whole);

QString RightStr(const QString& text, int n);
QString LeftStr(const QString& text, int n);
// One of "*", "?", "<", ">", "|".
bool HasWildcards(const QString& path);

// A file's modification time as DOS date-time (0xFFFFFFFF when missing), through CheckDosDate.
uint32_t FileAgeDos(const QString& fileName);
// The file's age through CheckDosDate and converted; the current date-time when that fails.
QDateTime FileDate(const QString& fileName);
// DOS date-time <-> local date-time; an impossible date (30 February) gives an invalid QDateTime.
QDateTime DosDateTimeToDateTime(uint32_t dos);
// Years before 1980 give 1980-01-01 00:00, after 2107 the last DOS date.
uint32_t DateTimeToDosDateTime(const QDateTime& dt);

bool ForceDirs(const QString& dir);
bool FileExistsTest(const QString& name);
bool DirExists(const QString& name);
// The current folder (the drive argument has no meaning on Linux), ending without "/".
QString GetDirectory(int drive = 0);
// Copies the whole file; a copy of zero bytes shows "Could not copy from " + source + " -> " +
// destination (caption "Error"). Open errors raise EFOpenError / EFCreateError.
void CopyFile(const QString& source, const QString& destination);
// First removes the label, then sets the new one; the second step's result.
bool SetVolumeLabel(const QString& root, const QString& label);
QString GetVolumeLabel(const QString& root);
// A new empty file "ARQ" + six letters or digits + ".tmp" created safely (never an existing
// name) in folder; its full name, empty on failure.
QString GetTempName(const QString& folder);
// The hidden file an extraction writes a member to before it takes the member's name:
// PartFilePrefix followed by the random part of the program's temporary names.
inline constexpr char PartFilePrefix[] = ".morvanel-part-";
// Runs cut short (a killed program) leave their temporary files behind. These remove, from
// one folder, the regular files of the given kind last modified before `before` (so that a
// run of another copy of the program going on now keeps its files): the part files of
// extractions, and the temporary archives of zip runs (GetTempName's names, holding nothing
// or the start of an archive). Anything else stays. They return how many were removed.
int RemoveLeftoverPartFiles(const QString& folder, const QDateTime& before);
int RemoveLeftoverTempArchives(const QString& folder, const QDateTime& before);
// The text of a failed write: the file the user knows and the cause, as
// "Stream write error: NAME: No space left on device" (no cause when err is 0).
QString WriteErrorText(const QString& name, int err);
// Keeps only characters OEM 866 can hold (others become "?"), as a name stored in OEM reads back.
void OemRoundTrip(QString& name);
bool SameBytes(const void* a, const void* b, size_t count);
// No short 8.3 names exist on Linux: the path as written.
QString ShortPathName(const QString& path);

// DOS attribute bits.
enum : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faAnyFile = 0x3F,
};

struct TSearchRec {
    QString Name; // the entry's name
    int64_t Size = 0;
    uint32_t Attr = 0; // DOS attributes
    uint32_t Time = 0; // DOS date-time
};

// One open folder of a walk: its sorted entries (case-insensitive by name) and a cursor.
class TSearchData {
public:
    TSearchData(const QString& path, const QString& mask);
    QString Path; // ends with "/"
    QString Mask;
    int FindResult = 0; // 0 while entries remain
    TSearchRec Current;
    void Next();

private:
    friend class TDirSearch;
    struct Entry {
        TSearchRec rec;
        uint64_t dev = 0, ino = 0;
    };
    std::vector<Entry> entries_;
    size_t pos_ = 0;
    uint64_t dev_ = 0, ino_ = 0; // of the folder itself
};

// Walks a folder for files fitting a mask, optionally into sub-folders, and with folder-level
// patterns in the path ("data/*/logs/"). Folders whose name starts with "." are never
// entered; symbolic links to folders are not followed (no loops); order is case-insensitive
// by name, a sub-folder's files before the rest of its parent's entries. There is no depth
// limit, so no file of a deep tree is silently left out.
class TDirSearch {
public:
    TDirSearch(const QString& path, bool recurse, const QString& mask);
    ~TDirSearch();
    TDirSearch(const TDirSearch&) = delete;
    TDirSearch& operator=(const TDirSearch&) = delete;
    // Full name of the next file, empty when the walk is over; rec gets its size and data.
    QString Next(TSearchRec& rec);

private:
    bool Matches(const QString& pattern, const QString& name) const;
    std::vector<std::unique_ptr<TSearchData>> stack_;
    int depth_ = 0;
    QString mask_;
    bool recurse_;
    QStringList levels_;
    int level_ = -1;
};

} // namespace archive
