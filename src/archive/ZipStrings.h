#pragma once
// Message texts of the archive component (its string table), used exactly as written.
#include <QString>

namespace archive {

enum ZipStringId : int {
    SOpenZipFile = 176,
    SZipFilter = 177,
    SUserCanceledSetDestDir = 178,
    SIndexOutOfRange = 179,
    SUserAbortedOperation = 181,
    SIncompleteZipFile = 182,
    SNotValidZipFile = 183,
    SPleaseInsertDisk = 184,
    SOfMultiDiskSet = 185,
    SUserCanceledSetZipName = 186,
};

// The text of a string-table id; empty for an id without text.
inline QString LoadStr(int id)
{
    switch (id) {
    case SOpenZipFile: return QStringLiteral("Open a Zip File");
    case SZipFilter:
        return QStringLiteral("Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*");
    case SUserCanceledSetDestDir: return QStringLiteral("User canceled Set Desination Directory");
    case SIndexOutOfRange: return QStringLiteral("Index %d is out of range");
    case SUserAbortedOperation: return QStringLiteral("User Aborted Operation");
    case SIncompleteZipFile: return QStringLiteral("Incomplete Zip File");
    case SNotValidZipFile: return QStringLiteral("Not a valid zip file!");
    case SPleaseInsertDisk: return QStringLiteral("Please insert disk ");
    case SOfMultiDiskSet: return QStringLiteral(" of the multi-disk set.");
    case SUserCanceledSetZipName: return QStringLiteral("User canceled setting zip file name.");
    default: return QString();
    }
}

// Literal texts the component also raises or shows.
inline const QString SUserCanceledLoadingDisk = QStringLiteral("User canceled loading new disk.");
inline const QString SUserCanceledZip = QStringLiteral("User canceled Zip operation");
inline const QString SPrematureEnd = QStringLiteral("Premature end of file reached");
inline const QString SUnknownMethod = QStringLiteral("Unknown Compression Method");
inline const QString SDuplicateObjectIndex = QStringLiteral("Duplicate Object index");
inline const QString SPutbackOverflow = QStringLiteral("Putback overflow");
inline const QString SZip64NotSupported =
    QStringLiteral("This archive is in the ZIP64 format (members or archive of 4 GiB or more, or more than 65535 members), which is not supported");
// Why a file was left out of an archive being written (srTooLarge).
inline const QString SMemberTooLarge = QStringLiteral("too large: this archive format holds files below 4 GiB only");
// %1 the archive, %2 the number of members it would hold.
inline const QString STooManyMembers =
    QStringLiteral("The archive %1 was not written: a zip archive holds at most 65,535 files, and this one would hold %2.");
inline const QString SUnsupportedEncryption = QStringLiteral("Unsupported encryption (WinZip AES or strong encryption)");


} // namespace archive
