#pragma once
// Drives and volumes, temporary names and DOS file attributes and dates on Linux.
// A "volume root" is the mount point holding a path, ending with "/". Tests can stand in a
// removable drive with SimulatedRemovableDrive: a folder that plays the mount point.
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>

namespace platform {

// Mount point of the file system holding path (the nearest existing ancestor is used for a
// path that does not exist yet); a simulated drive's folder when path lies in one.
QString volumeRoot(const QString& path);
// The device under the volume is removable (from /sys/class/block/<dev>/removable).
bool isRemovableVolume(const QString& path);
// The volume's label (from /dev/disk/by-label), empty when it has none.
QString volumeLabel(const QString& path);
// Best effort: simulated drives only; a real volume's label is left alone and false returned.
// An empty label removes it.
bool setVolumeLabel(const QString& path, const QString& label);
// Free bytes on the volume; -1 when unknown.
int64_t volumeFreeSpace(const QString& path);
// The same as a non-negative 32-bit figure (at most 0x7FFFFFFF), as 32-bit volume sizes expect.
int32_t volumeFreeSpace32(const QString& path);

// Creates a new empty file prefix + the random part of the program's temporary names (six
// letters or digits) + suffix in folder (mode 0600, never reusing an existing name, through
// openTempFile); its full name, empty on failure.
QString createTempFile(const QString& folder, const QString& prefix, const QString& suffix = QString());
// The folder for temporary files ($TMPDIR or /tmp), ending with "/".
QString tempFolder();

// DOS attributes of a file: read-only when the owner may not write, directory, archive for
// files, hidden for names starting with "."; 0xFFFFFFFF when missing.
uint32_t dosAttributes(const QString& path);
// The same from a file's mode (as stat gives it) and its name.
uint32_t dosAttributesOfMode(unsigned mode, const QString& path);
// Applies read-only (clears or restores the owner's write permission); other bits are ignored.
bool setDosAttributes(const QString& path, uint32_t attrs);

// DOS date-time (time in the low word) of a local date-time; dates before 1980 give
// 1980-01-01 00:00:00, after 2107 the last representable moment; seconds rounded down to even.
uint32_t dosDateTimeFromDateTime(const QDateTime& dt);
// Invalid QDateTime when the fields do not form a date (month 0, 30 February, hour 25...).
QDateTime dateTimeFromDosDateTime(uint32_t dos);
// The modification time of a file as DOS date-time; 0xFFFFFFFF when missing.
uint32_t fileDosDateTime(const QString& path);
bool setFileDosDateTime(const QString& path, uint32_t dos);

// A removable drive played by a folder: each disk has a label and a capacity; inserting disk
// n puts its files in the folder (the files of the disk taken out are kept aside).
class SimulatedRemovableDrive {
public:
    // mountPoint is created when missing; registered until destruction.
    explicit SimulatedRemovableDrive(const QString& mountPoint);
    ~SimulatedRemovableDrive();
    SimulatedRemovableDrive(const SimulatedRemovableDrive&) = delete;
    SimulatedRemovableDrive& operator=(const SimulatedRemovableDrive&) = delete;

    // Declares disk n (1-based) with its label and capacity in bytes.
    void setDisk(int n, const QString& label, int64_t capacity);
    // Takes the current disk out and puts disk n in. Disk 0: no disk.
    void insertDisk(int n);
    int currentDisk() const { return current_; }
    QString root() const { return root_; }
    QString label(int n) const;
    int64_t capacity(int n) const;
    // Bytes of the files now in the folder.
    int64_t usedSpace() const;

    // The drive whose folder holds path, or nullptr.
    static SimulatedRemovableDrive* find(const QString& path);

private:
    friend bool setVolumeLabel(const QString&, const QString&);
    struct Disk {
        QString label;
        int64_t capacity = 0;
    };
    QString storeOf(int n) const;
    QString root_;
    QString storeRoot_; // beside the mount point, so moving files is a rename
    std::map<int, Disk> disks_;
    int current_ = 0;
};

} // namespace platform
