#pragma once
#include <QString>
#include <QList>
#include <QStringList>

#include <functional>
#include <initializer_list>

// A node's text is the base name of its files in the catalog folder. These rules decide which
// texts may name files, find a node's files and rename them without ever replacing another file.
namespace nodefiles {

// What keeps a text from naming files of the catalog, or from standing as a node's text.
enum class NameFault { None, Blank, Dots, Forbidden, Encoding, LeadingBlank };

// Why a text cannot name files of the catalog (empty when it can): blank, "/", "\", control
// characters, "." or "..", or a character the Windows-1251 tree file cannot hold.
NameFault fileNameFault(const QString& text);
QString unusableReason(const QString& text);
inline bool isUsableName(const QString& text) { return unusableReason(text).isEmpty(); }

// A node's text must name files and must not begin with a blank or a TAB: the tree file counts
// those as indentation, so such a text would come back as another node at another depth.
NameFault nodeTextFault(const QString& text);
QString nodeTextReason(const QString& text);
// A new text for a node. A text with "%" names no file: only the part before the "%" must be a
// usable node text, while the whole must still fit on one line of the tree file.
QString newNodeTextReason(const QString& text);
// The fault as a short clause for a list of files ("the name begins with a blank").
QString faultClause(NameFault fault);

// A file of the catalog that cannot become a node, and why.
struct LeftOut {
    QString name;
    QString why;
};
// One message naming the files left out, at most `shown` of them, and how many more there are.
QString leftOutReport(const QList<LeftOut>& files, int shown = 20);

// dir + text + ext for the last of the extensions whose file exists under exactly that name;
// empty when none does or the text cannot name files.
QString lastExisting(const QString& dir, const QString& text, std::initializer_list<const char*> exts);

// Renames a file of the catalog to another name in the same folder, never replacing a file:
// when the folder holds the new name in any letter case (other than the file itself), nothing
// is renamed. Returns an empty text on success, else the message naming both files.
QString renameNoReplace(const QString& dir, const QString& fromName, const QString& toName);

// The files the catalog keeps for itself, which no node's file may be: the tree files of the
// layers with their icon index files, and the files and folders the program keeps beside them
// (also those beside the program, as the program folder can be the catalog).
QStringList catalogOwnFiles(const QStringList& layers);

// The names (in dir) of the files a node of this text opens: its ".rtf", ".txt", ".htm" and
// ".html" files as they exist, the exact spelling first, else one of another letter case.
QStringList nodeFileNames(const QString& dir, const QString& text);

// Why a node whose text is `from` cannot take the text `to` (empty when it can). Checked before
// anything changes: a text that names no file while the node has files (they would be cut off
// from it), a file name too long for the catalog's file system, a file of the catalog's own,
// and a file of the new name in any letter case other than the node's own files (an exact name
// is allowed to a node without files: that ties the node to the file, as "Ins from Catalog" does).
QString renameBlocker(const QString& dir, const QString& from, const QString& to, const QStringList& ownFiles);

// Renames every file of the node `from` to the text `to`, keeping each ending: all of them or,
// when one fails, none (those renamed already are renamed back). Returns the failure, else empty.
QString renameNodeFiles(const QString& dir, const QString& from, const QString& to);

// Node texts of the catalog's own pages and rich-text notes, in the order the folder lists
// them: files (not folders) whose names end in ".htm", ".html" or ".rtf" in any case, less that
// ending. Pages for which isHidden is true are skipped; names that are not valid UTF-8 or whose
// text cannot be a node's text are skipped and, with the reason, added to *leftOut.
QStringList catalogNodeNames(const QString& dir, const std::function<bool(const QString& path)>& isHidden,
                             QList<LeftOut>* leftOut = nullptr);

} // namespace nodefiles
