#pragma once
// Download task files and search-engine addresses: plain code that the search words window and
// the link list window call.
#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tasks {

// The engine address of a search-words line: prefix, the line encoded byte by byte in
// Windows-1251 (letters, digits, "@*." kept, blank as "+", Cyrillic and listed punctuation as
// %XX, every other byte dropped), suffix.
QString MakeURL(const QString& line, const QString& prefix, const QString& suffix);

// The generator of task names: one for the program, seeded once (tests seed it themselves).
QRandomGenerator& random();
void seedRandom(quint32 seed);

// The name part of a search-words line (trimmed; a "url:" line from its 8th character, at most
// 50 characters) and of a link list address (its characters 8 to 22), with the characters that
// cannot stand in a file name here or elsewhere made "_". Empty or blank text gives "".
QString wordsNameText(const QString& trimmedLine);
QString linkNameText(const QString& address);

// Appends "_" and a number below 100000000; a search-words name longer than 50 characters keeps
// its last 51. A number is drawn again while base + ".htm" exists in the folder (in any case).
QString uniqueBaseName(const QString& folder, const QString& text, bool limitLength);

// Writes a task file (download mark, the "SearchWords" line when words is not null, the
// "DownloadURL" line) atomically. False with *error naming the file and the reason.
bool writeTaskFile(const QString& path, const QString* words, const QString& address, QString* error);

// The page files of a folder whose names end as given (with regard to case), as full names.
QStringList pagesEndingWith(const QString& folder, const QStringList& endings);

} // namespace tasks
