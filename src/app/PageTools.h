#pragma once
// The page tools' plain part: neutralising script and style words in a page, cutting a page's
// text before a selected passage, and the name of a node made from a download task.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace pagetools {

// Puts "#" after the first letter of every occurrence of "onmousedown", "onclick",
// "onmouseover", "onmouseout", "style", "function", "script" and "JavaScript" (letter case
// counts), as inserting one mark at a time into the first word found would: where "function"
// ends in the "on" of one of the on-words, only the on-word gets its mark. Every other byte stays
// as it is. *changed tells whether any mark was put in.
QByteArray neutralise(QByteArrayView page, bool* changed = nullptr);

// A selected text as the bytes it has in a page of that encoding (the encoding's name as the
// browser engine reports it). Empty when the text cannot be written in it.
QByteArray encodeAs(const QString& text, const QString& encoding);

// The cut: the page's header lines (its leading "<!--" lines) stay; of the lines after them,
// the first that holds the selection, from the second on, begins the rest of the page, from the
// selection's first occurrence in it. found is false (and page empty) when no line holds it.
struct CutResult {
    bool found = false;
    QByteArray page;
};
CutResult cutBefore(const QByteArray& page, QByteArrayView selection);

// A node's text made from a task file's base name: at most its last 101 characters when longer
// than 100.
QString childNodeText(const QString& taskName);

} // namespace pagetools
