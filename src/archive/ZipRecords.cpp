#include "archive/ZipRecords.h"

#include <QStringDecoder>

#include "archive/ZipCrc.h"
#include "archive/ZipExceptions.h"
#include "archive/ZipStrings.h"
#include "platform/text/CodePage.h"

#include <algorithm>
#include <cstring>

namespace archive {

// ---- TPersistent ----

void TPersistent::Assign(const TPersistent& source)
{
    source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const
{
    throw platform::Exception(
        QStringLiteral("Cannot assign a %1 to a %2").arg(ClassName(), dest.ClassName()));
}

// ---- helpers ----

void BackslashToSlash(QString& name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

void SlashToBackslash(QString& name)
{
    name.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

void BackslashToSlash(QByteArray& name)
{
    name.replace('\\', '/');
}

void SlashToBackslash(QByteArray& name)
{
    name.replace('/', '\\');
}

uint32_t CheckDosDate(uint32_t value)
{
    const uint16_t time = uint16_t(value & 0xFFFF);
    const uint16_t date = uint16_t(value >> 16);
    unsigned hour = time >> 11, minute = (time >> 5) & 0x3F, second = (time & 0x1F) * 2;
    unsigned year = (date >> 9) + 1980, month = (date >> 5) & 0x0F, day = date & 0x1F;
    bool repaired = false;
    auto clampHigh = [&](unsigned& v, unsigned max) {
        if (v > max) {
            v = max;
            repaired = true;
        }
    };
    auto clampZero = [&](unsigned& v) {
        if (v == 0) {
            v = 1;
            repaired = true;
        }
    };
    clampHigh(hour, 23);
    clampHigh(minute, 59);
    clampHigh(second, 59);
    clampHigh(year, 2099);
    clampHigh(month, 12);
    clampZero(month);
    clampZero(day);
    if (!repaired)
        return value;
    const uint32_t newTime = (hour << 11) | (minute << 5) | (second / 2);
    const uint32_t newDate = ((year - 1980) << 9) | (month << 5) | day;
    return newDate << 16 | newTime;
}

namespace {

QString tooLargeText()
{
    return QStringLiteral("Zip archives of 4 GiB or more are not supported");
}

uint32_t checkedOffset(int64_t pos)
{
    if (pos < 0 || pos > int64_t(0xFFFFFFFFu))
        throw platform::Exception(tooLargeText());
    return uint32_t(pos);
}

} // namespace

// ---- TZipHeaderInfo ----

void TZipHeaderInfo::Clear()
{
    VersionMadeBy = 20;
    VersionNeeded = 20;
    Flags = 0;
    CompressionMethod = 8;
    DateTime = 0;
    CRC32 = 0xFFFFFFFFu;
    CompressedSize = 0;
    UncompressedSize = 0;
    FileNameLength = 0;
    ExtraFieldLength = 0;
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 1;
    ExternalAttributes = faArchiveAttr;
    RelativeOffset = 0;
    CentralOffset = 0;
    Zip64Field = false;
    fileName_.clear();
    directory_.clear();
    comment_.reset();
    Selected = false;
    Mark = 0;
}

QByteArray TZipHeaderInfo::EncodedName(bool* utf8) const
{
    QString full = directory_ + fileName_;
    BackslashToSlash(full);
    // OEM 866 when every character has a code (what older readers expect); else UTF-8,
    // flagged, so that no name is altered on the way to disk.
    const bool oem = platform::canEncode(platform::CodePage::Oem866, full);
    if (utf8)
        *utf8 = !oem;
    return oem ? platform::toOem(full) : full.toUtf8();
}

void TZipHeaderInfo::UpdateNameLength()
{
    bool utf8 = false;
    const QByteArray bytes = EncodedName(&utf8);
    UpdateNameLength(bytes, utf8);
}

void TZipHeaderInfo::UpdateNameLength(const QByteArray& bytes, bool utf8)
{
    if (bytes.size() > 0xFFFF)
        throw platform::Exception(QStringLiteral("File name too long: %1").arg(FullName()));
    FileNameLength = uint16_t(bytes.size());
    Flags = utf8 ? (Flags | FlagUtf8Name) : (Flags & ~FlagUtf8Name);
}

void TZipHeaderInfo::SetFilename(const QString& name)
{
    fileName_ = name;
    UpdateNameLength();
}

void TZipHeaderInfo::SetDirectory(const QString& dir)
{
    QString d = dir;
    SlashToBackslash(d);
    if (!d.isEmpty() && !d.endsWith(QLatin1Char('\\')))
        d += QLatin1Char('\\');
    directory_ = d;
    UpdateNameLength();
}

void TZipHeaderInfo::SetFullName(const QString& fullName)
{
    QString n = fullName;
    SlashToBackslash(n);
    const qsizetype cut = n.lastIndexOf(QLatin1Char('\\'));
    directory_ = n.left(cut + 1);
    fileName_ = n.mid(cut + 1);
    UpdateNameLength();
}

void TZipHeaderInfo::SetNameFromDisk(const QByteArray& bytes, bool utf8)
{
    SetFullName(utf8 ? QString::fromUtf8(bytes) : platform::fromOem(bytes));
}

void TZipHeaderInfo::SetFileComment(const std::optional<QByteArray>& text)
{
    if (text && text->size() > 0xFFFF)
        throw platform::Exception(QStringLiteral("Comment too long"));
    if (text && !text->isEmpty()) {
        comment_ = *text;
        FileCommentLength = uint16_t(text->size());
    } else {
        comment_.reset();
        FileCommentLength = 0;
    }
}

namespace {

// Zip tools on Unix store names in the system's own character set, today UTF-8, without the
// UTF-8 flag; unzip and 7z read them that way. A name that is not valid UTF-8 stays OEM.
bool unixUtf8Name(uint16_t versionMadeBy, const QByteArray& name)
{
    if ((versionMadeBy >> 8) != 3)
        return false;
    bool ascii = true;
    for (char c : name)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii)
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(name);
    return !decoder.hasError();
}

// An extra field holds a field of one of these tags.
bool hasExtraField(const QByteArray& extra, std::initializer_list<uint16_t> tags)
{
    const auto* p = reinterpret_cast<const uint8_t*>(extra.constData());
    qsizetype i = 0;
    while (i + 4 <= extra.size()) {
        const uint16_t tag = GetLE16(p + i);
        if (std::find(tags.begin(), tags.end(), tag) != tags.end())
            return true;
        i += 4 + GetLE16(p + i + 2);
    }
    return false;
}

// Extra fields written only by zip tools on Unix: Info-ZIP's "ux", "Ux" and old "UX" (user and
// group ids) and PKWARE's Unix field.
bool unixExtraField(const QByteArray& extra)
{
    return hasExtraField(extra, {0x7875, 0x7855, 0x5855, 0x000d});
}

constexpr uint16_t Zip64ExtraTag = 0x0001;

// Info-ZIP's Unicode Path extra field (0x7075: version 1, the CRC-32 of the name as the header
// stores it, the name in UTF-8), written beside an OEM or escaped name. A field whose CRC does
// not match belongs to a name that some tool changed since, and is not used.
std::optional<QString> unicodePathName(const QByteArray& extra, const QByteArray& storedName)
{
    const auto* p = reinterpret_cast<const uint8_t*>(extra.constData());
    qsizetype i = 0;
    while (i + 4 <= extra.size()) {
        const uint16_t tag = GetLE16(p + i);
        const qsizetype size = GetLE16(p + i + 2);
        if (i + 4 + size > extra.size())
            break;
        if (tag == 0x7075 && size > 5 && p[i + 4] == 1
            && GetLE32(p + i + 5) == UpdateCrc32(0, storedName.constData(), size_t(storedName.size()))) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString name = decoder.decode(extra.mid(i + 9, size - 5));
            if (!decoder.hasError())
                return name;
        }
        i += 4 + size;
    }
    return std::nullopt;
}

} // namespace

void TZipHeaderInfo::SetFromCentral(const uint8_t* r, const QByteArray& name)
{
    VersionMadeBy = GetLE16(r + 4);
    VersionNeeded = GetLE16(r + 6);
    Flags = GetLE16(r + 8);
    CompressionMethod = GetLE16(r + 10);
    DateTime = CheckDosDate(GetLE32(r + 12));
    CRC32 = GetLE32(r + 16);
    CompressedSize = GetLE32(r + 20);
    UncompressedSize = GetLE32(r + 24);
    FileNameLength = GetLE16(r + 28);
    ExtraFieldLength = GetLE16(r + 30);
    FileCommentLength = GetLE16(r + 32);
    DiskNumberStart = GetLE16(r + 34);
    InternalAttributes = GetLE16(r + 36);
    ExternalAttributes = GetLE32(r + 38);
    RelativeOffset = GetLE32(r + 42);
    CentralOffset = 0;
    Zip64Field = false;
    SetNameFromDisk(name, (Flags & FlagUtf8Name) || unixUtf8Name(VersionMadeBy, name));
    comment_.reset();
    Selected = false;
    Mark = 0;
}

void TZipHeaderInfo::SetFromLocal(const uint8_t* r, const QByteArray& name)
{
    VersionMadeBy = 0;
    VersionNeeded = GetLE16(r + 4);
    Flags = GetLE16(r + 6);
    CompressionMethod = GetLE16(r + 8);
    DateTime = CheckDosDate(GetLE32(r + 10));
    CRC32 = GetLE32(r + 14);
    CompressedSize = GetLE32(r + 18);
    UncompressedSize = GetLE32(r + 22);
    FileNameLength = GetLE16(r + 26);
    ExtraFieldLength = GetLE16(r + 28);
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 0;
    ExternalAttributes = 0;
    RelativeOffset = 0;
    CentralOffset = 0;
    Zip64Field = false;
    SetNameFromDisk(name, Flags & FlagUtf8Name);
    comment_.reset();
    Selected = false;
    Mark = 0;
}

bool TZipHeaderInfo::ReadCentralFromStream(TStream*& stream, const TNextVolumeCallback& nextVolume)
{
    const int64_t start = stream->Position();
    uint8_t rec[CentralHeaderFixedSize];
    int64_t got = std::max<int64_t>(stream->Read(rec, CentralHeaderFixedSize), 0);
    if (got < CentralHeaderFixedSize && nextVolume) {
        uint8_t sig[4];
        PutLE32(sig, CentralFileHeaderSig);
        const bool beginsWithSig = got > 0 && std::memcmp(rec, sig, size_t(std::min<int64_t>(got, 4))) == 0;
        if (got == 0 || beginsWithSig) {
            nextVolume(*this, stream);
            got += std::max<int64_t>(stream->Read(rec + got, CentralHeaderFixedSize - got), 0);
        }
    }
    if (got != CentralHeaderFixedSize || GetLE32(rec) != CentralFileHeaderSig) {
        stream->Seek(start, soFromBeginning);
        return false;
    }
    const uint16_t nameLen = GetLE16(rec + 28);
    QByteArray name;
    if (nameLen > 0) {
        name.resize(nameLen);
        if (stream->Read(name.data(), nameLen) != nameLen) {
            stream->Seek(start, soFromBeginning);
            return false;
        }
    }
    const int64_t afterName = stream->Position();
    const uint16_t extraLen = GetLE16(rec + 30);
    QByteArray extra;
    if (extraLen > 0) {
        extra.resize(extraLen);
        extra.truncate(qsizetype(std::max<int64_t>(stream->Read(extra.data(), extraLen), 0)));
    }
    stream->Seek(afterName + extraLen + GetLE16(rec + 32), soFromBeginning);
    SetFromCentral(rec, name);
    Zip64Field = hasExtraField(extra, {Zip64ExtraTag});
    if (!(Flags & FlagUtf8Name))
        if (const auto unicode = unicodePathName(extra, name))
            SetFullName(*unicode);
    CentralOffset = uint32_t(std::clamp<int64_t>(start, 0, 0xFFFFFFFF));
    return true;
}

bool TZipHeaderInfo::ReadLocalFromStream(TStream& stream)
{
    const int64_t start = stream.Position();
    uint8_t rec[LocalHeaderFixedSize];
    if (stream.Read(rec, LocalHeaderFixedSize) != LocalHeaderFixedSize || GetLE32(rec) != LocalFileHeaderSig) {
        stream.Seek(start, soFromBeginning);
        return false;
    }
    const uint16_t nameLen = GetLE16(rec + 26);
    QByteArray name;
    if (nameLen > 0) {
        name.resize(nameLen);
        if (stream.Read(name.data(), nameLen) != nameLen) {
            stream.Seek(start, soFromBeginning);
            return false;
        }
    }
    SetFromLocal(rec, name);
    // A local header tells no host; the extra fields that only Unix zip tools write do.
    // A name with them follows the directory's rule for names made on Unix.
    const uint16_t extraLen = GetLE16(rec + 28);
    if (extraLen > 0) {
        const int64_t afterName = stream.Position();
        QByteArray extra(extraLen, '\0');
        const int64_t got = std::max<int64_t>(stream.Read(extra.data(), extraLen), 0);
        extra.truncate(qsizetype(got));
        stream.Seek(afterName, soFromBeginning);
        Zip64Field = hasExtraField(extra, {Zip64ExtraTag});
        if (!(Flags & FlagUtf8Name)) {
            if (const auto unicode = unicodePathName(extra, name))
                SetFullName(*unicode);
            else if (unixExtraField(extra) && unixUtf8Name(uint16_t(3u << 8), name))
                SetNameFromDisk(name, true);
        }
    }
    RelativeOffset = uint32_t(std::clamp<int64_t>(start, 0, 0xFFFFFFFF));
    return true;
}

void TZipHeaderInfo::SaveLocalToStream(TStream& stream)
{
    RelativeOffset = checkedOffset(stream.Position());
    bool utf8 = false;
    const QByteArray name = EncodedName(&utf8);
    UpdateNameLength(name, utf8);
    uint8_t rec[LocalHeaderFixedSize];
    PutLE32(rec, LocalFileHeaderSig);
    PutLE16(rec + 4, VersionNeeded);
    PutLE16(rec + 6, Flags);
    PutLE16(rec + 8, CompressionMethod);
    PutLE32(rec + 10, DateTime);
    PutLE32(rec + 14, CRC32);
    PutLE32(rec + 18, CompressedSize);
    PutLE32(rec + 22, UncompressedSize);
    PutLE16(rec + 26, FileNameLength);
    PutLE16(rec + 28, ExtraFieldLength);
    stream.WriteBuffer(rec, LocalHeaderFixedSize);
    if (FileNameLength > 0)
        stream.WriteBuffer(name.constData(), name.size());
}

void TZipHeaderInfo::SaveCentralToStream(TStream& stream)
{
    bool utf8 = false;
    const QByteArray name = EncodedName(&utf8);
    UpdateNameLength(name, utf8);
    // Readers such as Info-ZIP's unzip decode every name of a member made on MS-DOS (host 0)
    // from the OEM code page, flag or not; a UTF-8 name is therefore marked as made on
    // Windows NT (host 11), whose attributes are the same DOS attributes.
    uint16_t madeBy = VersionMadeBy;
    if (utf8 && (madeBy >> 8) == 0)
        madeBy = uint16_t(madeBy | (11u << 8));
    // A comment that was never loaded cannot be written: its length goes to 0 rather than
    // announcing bytes that do not follow.
    if (!comment_)
        FileCommentLength = 0;
    else
        FileCommentLength = uint16_t(comment_->size());
    uint8_t rec[CentralHeaderFixedSize];
    PutLE32(rec, CentralFileHeaderSig);
    PutLE16(rec + 4, madeBy);
    PutLE16(rec + 6, VersionNeeded);
    PutLE16(rec + 8, Flags);
    PutLE16(rec + 10, CompressionMethod);
    PutLE32(rec + 12, DateTime);
    PutLE32(rec + 16, CRC32);
    PutLE32(rec + 20, CompressedSize);
    PutLE32(rec + 24, UncompressedSize);
    PutLE16(rec + 28, FileNameLength);
    PutLE16(rec + 30, 0);
    PutLE16(rec + 32, FileCommentLength);
    PutLE16(rec + 34, DiskNumberStart);
    PutLE16(rec + 36, InternalAttributes);
    PutLE32(rec + 38, ExternalAttributes);
    PutLE32(rec + 42, RelativeOffset);
    stream.WriteBuffer(rec, CentralHeaderFixedSize);
    if (FileNameLength > 0)
        stream.WriteBuffer(name.constData(), name.size());
    if (FileCommentLength > 0)
        stream.WriteBuffer(comment_->constData(), comment_->size());
}

void TZipHeaderInfo::Assign(const TPersistent& source)
{
    const auto* s = dynamic_cast<const TZipHeaderInfo*>(&source);
    if (!s) {
        TPersistent::Assign(source);
        return;
    }
    VersionMadeBy = s->VersionMadeBy;
    VersionNeeded = s->VersionNeeded;
    Flags = s->Flags;
    CompressionMethod = s->CompressionMethod;
    DateTime = s->DateTime;
    CRC32 = s->CRC32;
    CompressedSize = s->CompressedSize;
    UncompressedSize = s->UncompressedSize;
    FileNameLength = s->FileNameLength;
    ExtraFieldLength = s->ExtraFieldLength;
    FileCommentLength = s->FileCommentLength;
    DiskNumberStart = s->DiskNumberStart;
    InternalAttributes = s->InternalAttributes;
    ExternalAttributes = s->ExternalAttributes;
    RelativeOffset = s->RelativeOffset;
    CentralOffset = s->CentralOffset;
    Zip64Field = s->Zip64Field;
    fileName_ = s->fileName_;
    directory_ = s->directory_;
    UpdateNameLength();
    if (s->FileCommentLength > 0 && s->comment_)
        comment_ = *s->comment_;
    Selected = s->Selected;
    Mark = s->Mark;
}

void TZipHeaderInfo::AssignTo(TPersistent& dest) const
{
    if (auto* d = dynamic_cast<TZipHeaderInfo*>(&dest))
        d->Assign(*this);
    else
        TPersistent::AssignTo(dest);
}

// ---- TEndCentral ----

void TEndCentral::Clear()
{
    Signature = EndCentralDirSig;
    ThisDisk = 0;
    CentralDisk = 0;
    EntriesThisDisk = 0;
    TotalEntries = 0;
    CentralSize = 0;
    CentralOffset = 0;
    CommentLength = 0;
    comment_.reset();
    CommentPosition = 0;
    CommentModified = false;
}

void TEndCentral::SetZipComment(const std::optional<QByteArray>& text)
{
    if (text && text->size() > 0xFFFF)
        throw platform::Exception(QStringLiteral("Comment too long"));
    if (text && !text->isEmpty()) {
        comment_ = *text;
        CommentLength = uint16_t(text->size());
    } else {
        comment_.reset();
        CommentLength = 0;
    }
}

bool TEndCentral::FindEndCentral(TStream& stream)
{
    const int64_t size = stream.Size();
    if (size < EndCentralFixedSize)
        return false;
    // The record and the longest comment it can announce.
    const int64_t n = std::min<int64_t>(size, EndCentralFixedSize + 0xFFFF);
    QByteArray buf(qsizetype(n), Qt::Uninitialized);
    stream.Seek(size - n, soFromBeginning);
    if (stream.Read(buf.data(), n) != n)
        return false;
    const auto* b = reinterpret_cast<const uint8_t*>(buf.constData());
    // Candidates nearest the end first. A record whose comment would run past the end of the
    // file is a stray byte pattern (for example inside another record's comment) and never
    // taken; a record whose comment ends exactly at the end of the file is preferred over one
    // followed by other bytes, so record-shaped bytes inside a comment do not hide the real one.
    int64_t found = -1;
    for (int64_t i = n - EndCentralFixedSize; i >= 0; --i) {
        if (b[i] != 0x50 || GetLE32(b + i) != EndCentralDirSig)
            continue;
        const int64_t recordEnd = i + EndCentralFixedSize + GetLE16(b + i + 20);
        if (recordEnd > n)
            continue;
        if (recordEnd == n) {
            found = i;
            break;
        }
        if (found < 0)
            found = i;
    }
    if (found < 0)
        return false;
    const uint8_t* r = b + found;
    ThisDisk = GetLE16(r + 4);
    CentralDisk = GetLE16(r + 6);
    EntriesThisDisk = GetLE16(r + 8);
    TotalEntries = GetLE16(r + 10);
    CentralSize = GetLE32(r + 12);
    CentralOffset = GetLE32(r + 16);
    CommentLength = GetLE16(r + 20);
    CommentPosition = uint32_t(std::min<int64_t>(size - n + found + EndCentralFixedSize, 0xFFFFFFFF));
    return true;
}

void TEndCentral::SaveEndCentralToStream(TStream& stream)
{
    if (!comment_)
        CommentLength = 0;
    else
        CommentLength = uint16_t(comment_->size());
    uint8_t rec[EndCentralFixedSize];
    PutLE32(rec, Signature);
    PutLE16(rec + 4, ThisDisk);
    PutLE16(rec + 6, CentralDisk);
    PutLE16(rec + 8, EntriesThisDisk);
    PutLE16(rec + 10, TotalEntries);
    PutLE32(rec + 12, CentralSize);
    PutLE32(rec + 16, CentralOffset);
    PutLE16(rec + 20, CommentLength);
    stream.WriteBuffer(rec, EndCentralFixedSize);
    if (CommentLength > 0)
        stream.WriteBuffer(comment_->constData(), comment_->size());
}

void TEndCentral::Assign(const TPersistent& source)
{
    const auto* s = dynamic_cast<const TEndCentral*>(&source);
    if (!s) {
        TPersistent::Assign(source);
        return;
    }
    Signature = s->Signature;
    ThisDisk = s->ThisDisk;
    CentralDisk = s->CentralDisk;
    EntriesThisDisk = s->EntriesThisDisk;
    TotalEntries = s->TotalEntries;
    CentralSize = s->CentralSize;
    CentralOffset = s->CentralOffset;
    CommentLength = s->CommentLength;
    if (s->CommentLength > 0 && s->comment_) {
        comment_ = *s->comment_;
        CommentLength = uint16_t(comment_->size());
    }
    CommentPosition = s->CommentPosition;
}

void TEndCentral::AssignTo(TPersistent& dest) const
{
    if (auto* d = dynamic_cast<TEndCentral*>(&dest))
        d->Assign(*this);
    else
        TPersistent::AssignTo(dest);
}

} // namespace archive
