#pragma once
// TZipWriter: the writing half of the archive component. Zip creates an archive from a list
// of files or updates an existing one with them; every file becomes one stored or deflated
// member, optionally with the traditional encryption.
#include "archive/ZipReader.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace archive {

class TZipWriter;
class TDeflater;

enum TZipAction { zaUpdate, zaReplace, zaFreshen };

// Volume settings.
struct TMultiZipInfo {
    int BlockSize = 1457600;
    int FirstBlockSize = 1457600;
    TMultiMode MultiMode = mmNone;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;
    void Assign(const TMultiZipInfo& source) { *this = source; }
};

using TStartZipInfo = std::function<void(TZipWriter* Sender, int NumFiles, int64_t TotalBytes,
                                         TEndCentral& EndCentralRecord, bool& StopNow)>;
using TStartZipEvent = std::function<void(TZipWriter* Sender, const QString& FName, TZipHeaderInfo& ZipHeader, bool& Skip)>;
using TEndZipFileEvent = std::function<void(TZipWriter* Sender, const QString& FName, int64_t UncompressedSize,
                                            int64_t CompressedSize, int64_t CurrentZipSize)>;
using TNoSuchFileEvent = std::function<void(TZipWriter* Sender, const QString& FName)>;
using TDisposeEvent = std::function<void(TZipWriter* Sender, const QString& FName, bool& Skip)>;
using TZipComplete = std::function<void(TZipWriter* Sender, int FileCount)>;
using TDeleteEvent = std::function<void(TZipWriter* Sender, const QString& FName, bool& Skip)>;

class TZipWriter : public TZipReader {
public:
    TZipWriter();
    ~TZipWriter() override;

    void Loaded() override;

    // --- published properties ---
    int PackLevel = 6; // 0 stores every file, 1-9 deflate levels
    bool Recurse = false;
    bool Dispose = false; // delete each added source file after the archive is complete
    bool StorePaths() const { return FStorePaths; }
    void SetStorePaths(bool Value);
    bool RelativePaths() const { return FRelativePaths; }
    void SetRelativePaths(bool Value);
    bool StoreVolumes() const { return FStoreVolumes; }
    void SetStoreVolumes(bool Value);
    TZipAction ZipAction = zaUpdate;
    TMultiZipInfo MultiZipInfo;
    void SetMultiZipInfo(const TMultiZipInfo& Value) { MultiZipInfo.Assign(Value); }
    bool Store83Names = false;
    QString TempPath;
    bool SkipIfArchiveBitNotSet = false;
    bool ResetArchiveBitOnZip = false;
    QStringList ExcludeList;
    QStringList NoCompressList;

    // --- published events ---
    TStartZipInfo OnStartZipInfo;
    TStartZipEvent OnStartZip;
    TEndZipFileEvent OnEndZip;
    TNoSuchFileEvent OnNoSuchFile;
    TDisposeEvent OnDisposeFile;
    TZipComplete OnZipComplete;
    TDeleteEvent OnDeleteEntry;

    // Creates or updates the archive ZipName with the files of FilesList; returns the number
    // of files written as members in this run.
    int Zip();

    // A changed archive comment is written into the current archive before switching.
    void SetZipName(const QString& Value) override;

    bool GetCheckDiskLabels() const override { return MultiZipInfo.CheckDiskLabels; }
    void SetCheckDiskLabels(bool Value) override;
    TMultiMode GetMultiMode() const override { return MultiZipInfo.MultiMode; }
    void SetMultiMode(TMultiMode Value) override;

    // The directory stored for a source path under the current path options ("\" separated,
    // ending in "\", or empty).
    QString StoredDirectory(const QString& Path) const;
    // The same with "/" separators, as the folders are named on disk.
    QString StoredFolder(const QString& Path) const;

private:
    struct TRun;
    friend class TMemberWriter;

    int ProcessFiles();
    void BuildFileList();
    bool ExcludedByList(const QString& Path) const;
    bool NoCompress(const QString& StoredName) const;
    bool IsArchiveItself(const QString& Path) const;
    bool MemberExists(const QString& StoredName) const;
    // Refuses, before anything is written, a run whose archive would hold more members than
    // the format can count (the old members of an archive being updated included).
    void CheckMemberCount(const QString& Target, bool Updating) const;
    // Which old members listed files replace; FilesList keeps the files to add after them.
    void PlanUpdate(TRun& Run);
    void MergeOldMembers(TRun& Run);
    // Draws the encryption fillers of the run's files and starts packing them ahead.
    void QueueWork(TRun& Run);
    // Zips the next file of the run's work list; true when it became a member.
    bool ZipNext(TRun& Run, const QString& FileName);
    void CopyOldMember(TRun& Run, TZipHeaderInfo* Old);
    bool ZipOneFile(TRun& Run, const QString& FileName, TZipHeaderInfo& Header);
    void AddWritten(TRun& Run, TZipHeaderInfo* Header, const QString& FileName, bool Counted);
    // Volumes.
    static QString BlockName(const QString& Name, int Volume);
    // Refuses block sizes that cannot hold the run's headers (EVolumeSize).
    void CheckBlockSizes() const;
    void OpenVolume(TRun& Run);
    void CloseVolume(TRun& Run);
    void NextVolume(TRun& Run);
    void WriteDiskLabel(TRun& Run);

    // ProcessMessagesAndCheckCancel for the member data: the message loop now and then, the
    // cancel flag every time.
    void PollAndCheckCancel();
    QElapsedTimer FPollClock;
    // The sizes found while listing the files, one for each entry of FilesList, so that they
    // are not looked up again; ListedSize looks up one that is not known.
    QList<int64_t> FListedSizes;
    int64_t ListedSize(int index) const;
    bool FStorePaths = false;
    bool FRelativePaths = false;
    bool FStoreVolumes = false;
    std::unique_ptr<TDeflater> FDeflater;
};

} // namespace archive
