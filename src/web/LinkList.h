#pragma once
// The link list's plain part: the collection of a page's links through the stop list, the
// list's order, and changes of the stop list file applied one entry at a time.
#include <QString>
#include <QStringList>

namespace links {

// Order of both lists: without regard to case; texts equal so are ordered by their code points.
bool lessNoCase(const QString& a, const QString& b);
// Where a text goes in a list kept in that order.
qsizetype insertPos(const QStringList& sorted, const QString& s);

// A "file:///" address as a local path ("/home/u/My Page.htm"); other addresses unchanged.
QString localPath(const QString& address);

// The link list from the addresses the engine resolved: sorted, only http, https and file
// addresses kept, local files as paths, addresses beginning with a stop entry out (blank entries
// are no prefix), neighbours that are equal out. Local files stay only in the list of a local
// page (fromLocalPage): a page of the web has no business naming the user's files.
QStringList collectLinks(QStringList hrefs, const QStringList& stopEntries, bool fromLocalPage = true);

// A local address: a "file:" address in any case, or a path from the root.
bool isLocalAddress(const QString& address);
// A page read from disk that did not come from the web (a downloaded page keeps the address it
// came from at the head of its header): only such a page may lead to the user's local files.
bool ownLocalPage(const QString& address);

// The stop list file's entries (blank lines dropped), sorted.
QStringList readStopList(const QString& path);
// Applies one change to the stop list file as it is now: removes one entry equal to remove
// (when not empty), adds add (when not empty), writes the sorted entries atomically.
// *entries receives them. False with *error when the file could not be written.
bool changeStopList(const QString& path, const QString& remove, const QString& add, QStringList* entries,
                    QString* error);

} // namespace links
