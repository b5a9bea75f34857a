#pragma once
// The site generator's work without its window: the tree of a catalog published as a small
// static web site in Windows-1251 (an index page mirroring the tree, one page per note, copies
// of the node pages, and one page stringing all notes together).
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QTextDocument;
class QTreeWidget;

namespace site {

// The page name of a node text: Cyrillic letters become Latin ones by the generator's table,
// capital Latin letters small ones, a blank "_"; every other character stays. Each character
// is mapped once.
QString ChangeLiters(const QString& name);

// The lines of a note as the rich-edit control shows them: paragraphs and line breaks each end
// a line, picture and object characters are left out. RTF is read as RTF, anything else as
// plain Windows-1251 text; a file that cannot be read gives no line. The note is read into
// `doc` (cleared first) when given, else into a document of its own.
QStringList NoteLines(const QString& path, QTextDocument* doc = nullptr);

// Text for a page in Windows-1251: a character the code page cannot hold becomes a numeric
// character reference ("&#252;"). Nothing else is escaped.
QByteArray PageText(const QString& text);
// A node text as page text: PageText with "&", "<", ">" and '"' as entities, so that the text
// shows as typed and never becomes markup.
QByteArray HtmlText(const QString& text);
// A file name as an href value: "%", "#", "?", "<" and ">" percent-encoded, "&" and '"' as
// entities.
QByteArray HrefText(const QString& fileName);

// One node of the tree as shown, in tree order.
struct TreeEntry {
    QString text;
    int level = 0;
    bool leftOut = false; // its selected icon is 1: no page, and a plain name in the index
};
// The nodes of a tree widget in tree order (the main window's Tree1).
QList<TreeEntry> TreeEntries(const QTreeWidget* tree);

struct SiteSettings {
    QString catalog;   // the catalog folder, ending in "/"
    QString outDir;    // the output folder
    QString keywords;  // the text of the keywords meta line
    QString description;
    bool transliterate = true; // note page names through ChangeLiters
    bool clearLeftovers = true; // remove the hidden temporaries of a killed run (not in read-only mode)
};

struct SiteResult {
    bool ok = false;
    QString error;     // why the run stopped, naming the folder or file
    QString outDir;    // the output folder used, ending in "/"
    QStringList files; // names written into the output folder, in order
};

// Writes the whole site: "index.html", the note pages, the copied pages and "_one_file.html",
// each file atomically; no file of an older site is replaced before every new one is written. Every link points to a file written in this run; output names never
// clash without regard to case. The output folder (one level is created) must not be the
// catalog itself. The first failure stops the run with a message in the result.
// `reader` is the document notes are read into (the window's hidden editor), or null.
SiteResult MakeSite(const QList<TreeEntry>& tree, const SiteSettings& settings, QTextDocument* reader = nullptr);

} // namespace site
