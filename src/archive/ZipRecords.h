#pragma once
// The zip records as the archive component sees them: one member (local header and central
// directory record) and the end of central directory record, with the byte layout read and
// written, the conversion of member names, the repair of stored DOS dates and the search for
// the end record.
#include "archive/BufferStream.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace archive {

// Root of the component's own object hierarchy (lists hold these).
class TObject {
public:
    virtual ~TObject() = default;
    virtual QString ClassName() const { return QStringLiteral("TObject"); }
};

class TPersistent : public TObject {
public:
    QString ClassName() const override { return QStringLiteral("TPersistent"); }
    // Copies source into this object; a source of a class this one does not know raises
    // EConvertError-like platform::Exception "Cannot assign a %s to a %s".
    virtual void Assign(const TPersistent& source);

protected:
    virtual void AssignTo(TPersistent& dest) const;
};

// Signatures and fixed sizes.
inline constexpr uint32_t LocalFileHeaderSig = 0x04034b50;
inline constexpr uint32_t CentralFileHeaderSig = 0x02014b50;
inline constexpr uint32_t EndCentralDirSig = 0x06054b50;
inline constexpr int LocalHeaderFixedSize = 30;
inline constexpr int CentralHeaderFixedSize = 46;
inline constexpr int EndCentralFixedSize = 22;

// General purpose flag bits.
inline constexpr uint16_t FlagEncrypted = 0x0001;
inline constexpr uint16_t FlagDataDescriptor = 0x0008;
inline constexpr uint16_t FlagUtf8Name = 0x0800;

// External attribute of a fresh header: the DOS archive bit.
inline constexpr uint32_t faArchiveAttr = 0x20;

class TZipHeaderInfo;
// Replaces stream by the stream of the next volume (multi-volume reading).
using TNextVolumeCallback = std::function<void(TZipHeaderInfo& header, TStream*& stream)>;

// One member. In memory the path part uses backslashes and ends in one ("dir\sub\"); on disk
// the name is directory + file name with forward slashes, in OEM 866, or in UTF-8 with flag
// bit 11 when a character has no OEM code. Reading, a name in an Info-ZIP Unicode Path extra
// field whose CRC-32 matches the stored bytes is taken instead of them. FileNameLength always
// counts the on-disk bytes.
// Sizes and offsets are unsigned 32-bit, as on disk.
class TZipHeaderInfo : public TPersistent {
public:
    TZipHeaderInfo() { Clear(); }
    QString ClassName() const override { return QStringLiteral("TZipHeaderInfo"); }

    // Fields of the records, in record order.
    uint16_t VersionMadeBy;
    uint16_t VersionNeeded;
    uint16_t Flags;
    uint16_t CompressionMethod;
    uint32_t DateTime; // DOS: time in the low word, date in the high word
    uint32_t CRC32;
    uint32_t CompressedSize;
    uint32_t UncompressedSize;
    uint16_t FileNameLength;
    uint16_t ExtraFieldLength;
    uint16_t FileCommentLength;
    uint16_t DiskNumberStart;
    uint16_t InternalAttributes;
    uint32_t ExternalAttributes;
    uint32_t RelativeOffset; // of the local header
    uint32_t CentralOffset; // where the central record was read; 0 from a local header
    // The record read carries a ZIP64 extended information field (0x0001).
    bool Zip64Field;
    bool Selected;
    uint8_t Mark; // the writer's second mark

    // Version made by 20, needed 20, flags 0, method 8, CRC 0xFFFFFFFF, internal attributes 1,
    // external attributes 0x20, everything else 0 or empty, no comment.
    void Clear();

    const QString& FileName() const { return fileName_; }
    const QString& Directory() const { return directory_; }
    // Directory + file name, backslashes.
    QString FullName() const { return directory_ + fileName_; }
    // These keep FileNameLength and flag bit 11 in step with the name's on-disk bytes.
    void SetFilename(const QString& name);
    // A non-empty dir gets a final backslash.
    void SetDirectory(const QString& dir);
    // Sets both parts from a full name with "\" or "/" separators.
    void SetFullName(const QString& fullName);

    // The comment bytes as stored; absent until loaded.
    const std::optional<QByteArray>& FileComment() const { return comment_; }
    // Stores a copy and sets FileCommentLength (absent or empty: none, length 0). Comments of
    // more than 65535 bytes raise platform::Exception "Comment too long".
    void SetFileComment(const std::optional<QByteArray>& text);

    bool HasComment() const { return FileCommentLength > 0; }
    bool Encrypted() const { return Flags & FlagEncrypted; }
    bool HasDataDescriptor() const { return Flags & FlagDataDescriptor; }
    uint32_t LocalSize() const { return LocalHeaderFixedSize + FileNameLength + ExtraFieldLength; }
    uint32_t CentralSize() const
    {
        return CentralHeaderFixedSize + FileNameLength + ExtraFieldLength + FileCommentLength;
    }

    // A size, the offset or the disk number is all ones and a ZIP64 field stands behind it: the
    // real value lies in that field, which this component does not read, so such a member must
    // be refused, not misread. Without the field all ones is the value itself (65535 members
    // or a 4 GiB - 1 offset need no ZIP64, and writers such as Python's then write none).
    bool NeedsZip64() const
    {
        return Zip64Field
            && (CompressedSize == 0xFFFFFFFFu || UncompressedSize == 0xFFFFFFFFu || RelativeOffset == 0xFFFFFFFFu
                || DiskNumberStart == 0xFFFF);
    }

    // The on-disk name bytes and whether they need flag bit 11.
    QByteArray EncodedName(bool* utf8 = nullptr) const;

    // Readers: false (stream moved back to the record's start) on a short read or a wrong
    // signature; they never raise on bad data.
    bool ReadCentralFromStream(TStream*& stream, const TNextVolumeCallback& nextVolume = {});
    // Leaves the stream after the name, before the extra field.
    bool ReadLocalFromStream(TStream& stream);
    // RelativeOffset := stream position; 30 bytes and the name; no extra field bytes (a caller
    // leaving ExtraFieldLength non-zero writes them itself).
    void SaveLocalToStream(TStream& stream);
    // 46 bytes (extra length written as 0), the name, the comment when loaded.
    void SaveCentralToStream(TStream& stream);

    // Fill from raw record bytes (the 46 or 30 fixed bytes and the name bytes).
    void SetFromCentral(const uint8_t* record, const QByteArray& name);
    void SetFromLocal(const uint8_t* record, const QByteArray& name);

    void Assign(const TPersistent& source) override;

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void UpdateNameLength();
    // The same from the name's bytes as EncodedName gave them.
    void UpdateNameLength(const QByteArray& bytes, bool utf8);
    void SetNameFromDisk(const QByteArray& bytes, bool utf8);

    QString fileName_;
    QString directory_;
    std::optional<QByteArray> comment_;
};

// The end of central directory record.
class TEndCentral : public TPersistent {
public:
    TEndCentral() { Clear(); }
    QString ClassName() const override { return QStringLiteral("TEndCentral"); }

    uint32_t Signature;
    uint16_t ThisDisk;
    uint16_t CentralDisk; // disk where the central directory starts
    uint16_t EntriesThisDisk;
    uint16_t TotalEntries;
    uint32_t CentralSize;
    uint32_t CentralOffset;
    uint16_t CommentLength;
    uint32_t CommentPosition; // offset of the comment in the archive stream
    bool CommentModified;

    void Clear();
    const std::optional<QByteArray>& ZipComment() const { return comment_; }
    // Empty or absent: none. More than 65535 bytes: platform::Exception "Comment too long".
    void SetZipComment(const std::optional<QByteArray>& text);
    bool HasComment() const { return CommentLength > 0; }
    uint32_t EndCentralSize() const { return EndCentralFixedSize + CommentLength; }

    // Searches the last 65557 bytes for the end record nearest the end whose comment fits in
    // the file; false when none. The comment text is not loaded (CommentPosition tells where).
    bool FindEndCentral(TStream& stream);
    // 22 bytes and the comment when loaded.
    void SaveEndCentralToStream(TStream& stream);

    void Assign(const TPersistent& source) override;

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    std::optional<QByteArray> comment_;
};

// Repairs a stored DOS date-time (hours > 23, minutes > 59, seconds > 59, year > 2099,
// month > 12, month 0, day 0); returns the value bit for bit when nothing needed repair.
uint32_t CheckDosDate(uint32_t dosDateTime);

// In place: every "\" to "/", every "/" to "\".
void BackslashToSlash(QString& name);
void SlashToBackslash(QString& name);
void BackslashToSlash(QByteArray& name);
void SlashToBackslash(QByteArray& name);

// Little-endian field access for record code.
inline uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void PutLE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void PutLE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

} // namespace archive
