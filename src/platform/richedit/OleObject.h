#pragma once
// Objects in notes as the RTF "\object" group carries them: the OLE1 object stream of
// {\*\objdata} (ObjectHeader, native data, presentation, as the public [MS-OLEDS] document
// describes them) and the packager's native data, which embeds or links a file.
//
// Everything read here is untrusted: every length is checked against the bytes that remain,
// nothing is allocated beyond the data present, and a damaged object gives false and a message.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace platform {

// The OLE1 object stream.
struct OleObject {
    enum { Linked = 1, Embedded = 2 };
    quint32 format = Embedded;
    QByteArray className;   // ANSI, without the NUL ("Package")
    QByteArray topic, item; // linked: the source file (topic)
    QByteArray native;      // embedded: the server's data
    QByteArray networkName; // linked
    quint32 updateOption = 1; // linked: 1 automatic (always), 3 manual (on call)
    QByteArray presentation;  // everything after the object's own data, as read or written
};
bool ParseOleObject(QByteArrayView data, OleObject& out, QString* error = nullptr);
// The stream, with a METAFILEPICT presentation when metafile is not empty.
QByteArray WriteOleObject(const OleObject& o, const QByteArray& metafile = QByteArray(), QSize himetric = QSize());

// The packager's native data: a file with its name and where it came from.
struct PackageNative {
    QString label;    // the file's name as shown
    QString source;   // the path it was embedded from
    QString tempPath; // where the packager copied it
    QByteArray data;  // the file's bytes
};
bool ParsePackage(QByteArrayView native, PackageNative& out, QString* error = nullptr);
// Writes the ANSI (Windows-1251) names and appends their Unicode copies, which are read back in
// preference, so that names Windows-1251 cannot hold come back right.
QByteArray WritePackage(const PackageNative& p);

// What an "\object" group says about its object.
struct RtfObjectInfo {
    bool linked = false;
    QByteArray objClass;  // {\*\objclass ...}
    QByteArray objData;   // {\*\objdata ...} decoded from hex
    bool hasObjData = false;
    int width = 0, height = 0; // \objw, \objh (twips)
};
bool ParseObjectGroup(QByteArrayView group, RtfObjectInfo& out, QString* error = nullptr);

// A package object for a file, ready to be the object's group in a note: embedded (the bytes) or
// linked (the path only, with its update option). Its result picture is the file type's icon
// with the label below it, as a metafile holding a bitmap.
QByteArray MakePackageGroup(const PackageNative& p, bool linked, quint32 updateOption = 1);
// The picture of a package: an icon with the label below it.
QImage PackageIcon(const QString& label);
// A Windows metafile (without the placeable header) that draws image at size (logical units).
QByteArray MetafileWithBitmap(const QImage& image);

// The parts of a package object in a note (the group's objdata parsed both ways).
struct PackageObject {
    bool linked = false;
    quint32 updateOption = 1;
    PackageNative package; // linked: label and source only
    QString linkSource;    // linked: the source path
};
bool ReadPackageObject(QByteArrayView group, PackageObject& out, QString* error = nullptr);

// The largest file embedded in a note (the hex in the note doubles it, and a note is read whole).
constexpr qint64 MaxEmbeddedFile = 50LL * 1024 * 1024;

} // namespace platform
