#pragma once
// The category filter's plain part: category entries from page headers, the category tree as
// indented lines (Maketree), and the search of pages by marked categories.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace filtr {

// The entry text of one header line: the line less "<!-- " and "-->", without its first
// "http://", its first "=\"" made a "/", trimmed, less one final quote and then one final "-".
// Empty when nothing is left.
QString entryText(const QString& line);

// The category paths of one entry text: itself, or for a "UserKeywords" entry one path per
// keyword (split at "," or, when there is none, at ";"; trimmed, empty ones dropped).
QStringList entryCategories(const QString& entry);

// The page files of a folder: files (not folders) whose names end in ".htm", "shtm" or "html"
// in any case, as full names, in sorted order.
QStringList pageFiles(const QString& folder);
// The names, sizes and times of a folder's page files: it differs once a page is added,
// removed, renamed or written.
QByteArray pagesStamp(const QString& folder);

// One node of the category tree: its depth and its text.
struct TreeLine {
    int depth;
    QString text;
    bool operator==(const TreeLine& o) const { return depth == o.depth && text == o.text; }
};

// The category tree of a list of paths: sorted (case-insensitively, by the system's
// collation), every ancestor added, equal neighbours dropped; each line is its last part.
QList<TreeLine> Maketree(const QStringList& entries);

// The tree as indented text, one blank per level.
QStringList treeText(const QList<TreeLine>& tree);

// The header of every page read once: what the tree and the file search are made from.
struct CatalogHeaders {
    QStringList files;              // HtmlFiles
    QByteArray stamp;               // pagesStamp of the folder when it was read
    QList<QStringList> entries;     // per file, the non-empty entry texts of its header lines
    QStringList categories() const; // every category path, keywords split
};
CatalogHeaders readCatalog(const QString& folder);

// The names (without folder and extension) of the pages one of whose entry texts holds one of
// the texts (case-sensitive substring).
QStringList findFiles(const CatalogHeaders& h, const QString& folder, const QStringList& texts);

} // namespace filtr
