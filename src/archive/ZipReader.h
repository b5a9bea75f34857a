#pragma once
// TZipReader: the non-visual component that opens a zip archive, reads its directory into a
// sorted member list, gives access to member names, dates and comments, and extracts members.
#include "archive/ZipExceptions.h"
#include "archive/ZipLists.h"
#include "archive/ZipRecords.h"
#include "archive/ZipUtils.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace archive {

class TZipReader;
struct TUnzipRun;

enum TUZOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };
enum TIncompleteZipMode { izAssumeMulti, izAssumeBad };
// After the first four: a member whose encryption is not the traditional one, or whose method
// is unknown (the password is not asked for then); a member whose data are longer or shorter
// than its record says; a file whose name no member can carry ("\\" in a Linux name).
enum TSkipReason {
    srBadPassword,
    srNoOverwrite,
    srFileOpenError,
    srCreateError,
    srUnsupportedEncryption,
    srUnknownMethod,
    srWrongSize,
    srBadName,
    srTooLarge // 4 GiB or more: beyond what a member of this archive format can hold
};
enum TMultiMode { mmNone, mmSpan, mmBlocks };

// Event types: the Sender first, var arguments as references the handler may change.
using TStartUnZipInfo = std::function<void(TZipReader* Sender, int NumFiles, int64_t TotalBytes, bool& StopNow)>;
using TPercentEvent = std::function<void(TZipReader* Sender, int Percent)>;
using TStartUnZipEvent = std::function<void(TZipReader* Sender, int FileIndex, QString& FName, bool& Skip)>;
using TEndUnZipEvent = std::function<void(TZipReader* Sender, int FileIndex, const QString& FName)>;
using TPromptForOverwrite = std::function<void(TZipReader* Sender, bool& OverWriteIt, int FileIndex, QString& FName)>;
using TSkippingFile = std::function<void(TZipReader* Sender, TSkipReason Reason, const QString& FName, int FileIndex)>;
using TBadPassword = std::function<void(TZipReader* Sender, int FileIndex, QString& NewPassword)>;
using TBadCRC = std::function<void(TZipReader* Sender, uint32_t CalcCRC, uint32_t StoredCRC, int FileIndex)>;
using TInCompleteZip = std::function<void(TZipReader* Sender, TIncompleteZipMode& IncompleteMode)>;
using TGetNextDisk = std::function<void(TZipReader* Sender, int NextDisk, QString& FName)>;
using TUnZipComplete = std::function<void(TZipReader* Sender, int FileCount)>;

class TZipReader {
public:
    TZipReader();
    virtual ~TZipReader();
    TZipReader(const TZipReader&) = delete;
    TZipReader& operator=(const TZipReader&) = delete;

    virtual void Loaded();

    // --- published properties ---
    int ThisVersion() const { return 218; }
    void SetThisVersion(int) {}

    QString ZipName() const { return FZipName; }
    // A name ending in "?" asks for the archive with a file dialog. A new name drops the
    // directory read so far.
    virtual void SetZipName(const QString& Value);

    // Destination folder. "?" asks for it with a folder dialog. An empty value means the
    // current folder.
    QString DestDir() const { return FDestDir; }
    void SetDestDir(const QString& Value);

    // Part of a stored path cut off when folders are recreated; kept with a final "/".
    QString RootDir() const { return FRootDir; }
    void SetRootDir(const QString& Value);

    TZipSortMode SortMode = ByNone;
    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = Prompt;
    QStringList FilesList;
    bool DoAll = false;
    TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
    bool KeepZipOpen = false;
    bool DoProcessMessages = true;
    bool RetainAttributes = true;
    bool ReplaceReadOnly = false;
    // Worker threads that decode the coming members (or, zipping, compress them) while the
    // caller's thread writes them in list order; 0: as many as the machine has cores, 1:
    // everything on the caller's thread. Files, archives and events are the same either way.
    int Threads = 0;

    // --- published events ---
    TStartUnZipInfo OnStartUnZipInfo;
    TPercentEvent OnFilePercentDone;
    TPercentEvent OnTotalPercentDone;
    TStartUnZipEvent OnStartUnZip;
    TEndUnZipEvent OnEndUnZip;
    TPromptForOverwrite OnPromptForOverwrite;
    TSkippingFile OnSkippingFile;
    TBadPassword OnBadPassword;
    TBadCRC OnBadCRC;
    TInCompleteZip OnInCompleteZip;
    TGetNextDisk OnGetNextDisk;
    TUnZipComplete OnUnZipComplete;

    // --- public state ---
    QString Password;
    bool CancelRequested = false;

    // --- operations ---
    // Extracts the selected members; returns how many were written with a good CRC.
    int UnZip();
    int Count() const;
    QString Filename(int Index) const;
    QDateTime DateTime(int Index) const;
    QString FileComment(int Index);
    void SetFileComment(int Index, const QString& Value);
    QString ZipComment();
    void SetZipComment(const QString& Value);

    void OpenZip();
    void CloseZip();
    void ReadZip();
    void ClearZip();
    // Opens volume DiskNumber (1-based) of a multi-volume set and returns its stream.
    TLFNFileStream* SwapDisk(int DiskNumber);
    void SetSortMode(TZipSortMode Mode);
    void DefaultGetNextDisk(TZipReader* Sender, int NextDisk, QString& FName);
    bool CheckDiskLabel(int DiskNumber);

    virtual bool GetCheckDiskLabels() const { return FCheckDiskLabels; }
    virtual void SetCheckDiskLabels(bool Value) { FCheckDiskLabels = Value; }
    virtual TMultiMode GetMultiMode() const { return FMultiMode; }
    virtual void SetMultiMode(TMultiMode Value) { FMultiMode = Value; }

    // Directory state, read by the writer and by tests.
    TSortedZip* Members() const { return FMembers; }
    TSortedZip* SortedMembers() const { return FSortedMembers; }
    const TEndCentral& EndRecord() const { return *FEndRecord; }
    bool DirectoryRebuilt() const { return FDirectoryRebuilt; }
    // Some members of the archive may be missing from the list: a central record could not be
    // read, or the rebuild scan stopped short of the directory or the end of the file.
    bool DirectoryIncomplete() const { return FDirectoryIncomplete; }
    int CurrentDisk() const { return FCurrentDisk; }
    int NumDisks() const { return FNumDisks; }
    TLFNFileStream* ArchiveStream() const { return FArchiveStream; }
    // The plain pieces (name.001, name.002, ...) read as one archive; empty for an archive
    // in one file and for a volume set.
    const QStringList& SplitPieces() const { return FPieces; }
    // The consecutive pieces name.002, name.003, ... that follow FirstPiece (a name ending in
    // ".001"), FirstPiece included; empty when it is no first piece or has no second one.
    static QStringList SplitPiecesOf(const QString& FirstPiece);

    // Extraction run totals (64-bit byte counts for the total percentage).
    int64_t TotalBytes = 0;
    int64_t TotalBytesDone = 0;

protected:
    // The archive file's identity when its directory was read: full-resolution modification
    // time and size, so a rewrite within the same two seconds is still noticed.
    // Modification time to the nanosecond, size and file identity: a file replaced by another
    // of the same size within the same second still counts as changed.
    struct TArchiveStamp {
        QDateTime Modified;
        qint64 Nanoseconds = 0;
        qint64 Size = -1;
        quint64 Identity = 0;
        bool operator==(const TArchiveStamp& o) const
        {
            return Modified == o.Modified && Nanoseconds == o.Nanoseconds && Size == o.Size && Identity == o.Identity;
        }
        bool isNull() const { return !Modified.isValid(); }
    };
    static TArchiveStamp StampOf(const QString& FileName);
    // The stamp of what is read as the archive: the file, or all pieces of a split.
    TArchiveStamp CurrentStamp() const;
    // Opens the archive for reading: its file, or its pieces as one stream.
    TLFNFileStream* OpenArchiveFile();
    // When the archive is the first piece of a plain split whose joined pieces hold a whole
    // one-disk archive, reads on through the joined pieces; true then.
    bool JoinSplitPieces();

    friend class TArchiveSource;
    friend class TMemberSink;

    void DropMembers();
    bool RebuildDirectory();
    // Lets the message loop run (when DoProcessMessages) and raises EUserCanceled "User
    // Aborted Operation" when a cancel was asked for meanwhile.
    void ProcessMessagesAndCheckCancel();
    // The same in extraction's inner loops: the cancel flag before each piece of work, the
    // message loop (a system call or more each time) only every few milliseconds.
    void CheckCancelNowAndThen(TUnzipRun& Run);
    void ProcessMessages();
    int UnZipSelected(TLFNFileStream* Stream);
    void UnZipOneFile(TUnzipRun& Run, int FileIndex);
    // Starts the workers that unpack the coming members ahead of the caller's thread.
    void startAhead(TUnzipRun& Run, int Threads);
    void CheckIndex(int Index) const;
    // Loads a comment known only by its length from the archive.
    void LoadFileComment(TZipHeaderInfo* Header);
    void LoadZipComment(TEndCentral* End);
    void LoadFileCommentFromOpenStream(TZipHeaderInfo* Header);
    void LoadZipCommentFromOpenStream(TEndCentral* End);
    bool IsMultiVolume() const { return FEndRecord->ThisDisk != 0; }

    QString FZipName;
    QString FDestDir;
    QString FRootDir;
    TSortedZip* FMembers = nullptr;
    TSortedZip* FSortedMembers = nullptr;
    TLFNFileStream* FArchiveStream = nullptr;
    QStringList FPieces;
    // The volume holding the end record of a volume set, as it was opened.
    QString FLastVolumeName;
    std::unique_ptr<TEndCentral> FEndRecord;
    std::unique_ptr<TZipHeaderInfo> CurrentHeader;
    TArchiveStamp ArchiveDate;
    bool FDirectoryRebuilt = false;
    bool FDirectoryIncomplete = false;
    int FCurrentDisk = 0;
    int FNumDisks = 1;
    TMultiMode FMultiMode = mmNone;
    bool FCheckDiskLabels = true;
};

} // namespace archive
