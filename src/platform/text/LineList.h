#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

// A text file handled as a whole list of lines, the way the catalog keeps its files.
// Reading splits at CR LF, a lone LF or a lone CR; a final line break adds no empty line.
// Writing ends every line with CR LF; an empty list writes an empty file. These are the
// program's own files: a symbolic link that leads out of the file's folder is replaced, never
// written through (writeOwnFileAtomic).
// Lines stay bytes: a page in any encoding comes back byte-identical.
QList<QByteArray> splitLines(QByteArrayView data);
QByteArray joinLines(const QList<QByteArray>& lines);

bool loadLines(const QString& path, QList<QByteArray>& lines, QString* error = nullptr);
bool saveLines(const QString& path, const QList<QByteArray>& lines, QString* error = nullptr);

// The same for text files in Windows-1251 (tree files, lists, settings of the catalog).
bool loadLines1251(const QString& path, QStringList& lines, QString* error = nullptr);
// Fails (nothing written) when a line holds a character that Windows-1251 cannot hold.
bool saveLines1251(const QString& path, const QStringList& lines, QString* error = nullptr);

} // namespace platform
