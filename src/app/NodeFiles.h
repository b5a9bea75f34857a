#pragma once
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>

// A node's text is the base name of its files in the catalog folder. These rules decide which
// texts may name files, find a node's files and rename them without ever replacing another file.
namespace nodefiles {

// Why a text cannot name files of the catalog (empty when it can): blank, "/", "\", control
// characters, "." or "..", or a character the Windows-1251 tree file cannot hold.
QString unusableReason(const QString& text);
inline bool isUsableName(const QString& text) { return unusableReason(text).isEmpty(); }

// dir + text + ext for the first (or last) of the extensions whose file exists under exactly
// that name; empty when none does or the text cannot name files.
QString firstExisting(const QString& dir, const QString& text, std::initializer_list<const char*> exts);
QString lastExisting(const QString& dir, const QString& text, std::initializer_list<const char*> exts);

// Renames a file of the catalog to another name in the same folder, never replacing a file:
// when the folder holds the new name in any letter case (other than the file itself), nothing
// is renamed. Returns an empty text on success, else the message naming both files.
QString renameNoReplace(const QString& dir, const QString& fromName, const QString& toName);

// Node texts of the catalog's own pages and rich-text notes, in the order the folder lists
// them: files (not folders) whose names end in ".htm", ".html" or ".rtf" in any case, less that
// ending. Names that are not valid UTF-8 or whose text cannot name files are skipped, and so are
// pages for which isHidden is true.
QStringList catalogNodeNames(const QString& dir, const std::function<bool(const QString& path)>& isHidden);

} // namespace nodefiles
