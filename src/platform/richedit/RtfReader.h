#pragma once
// The RTF reader: RTF as word processors and rich edit controls write it, into the document
// model of RichFormat.h (entry points ReadRtf and ReadRtfAt there).
//
// What it reads:
//  - \ansicpg (and \ansi, \mac, \pc, \pca), the font table with \fcharset, \cpg, \fprq and the
//    family; \'xx is decoded in the code page of the current font's charset (the document's
//    code page for the default charset and for charsets it does not know), runs of bytes
//    together so that double-byte text decodes; \uN with \ucN skipping (group-scoped,
//    negative values, surrogate pairs);
//  - the colour table (an empty entry is "auto"), character words (\f \fs \b \i \ul... \strike
//    \v \protect \super \sub \up \dn \cf \highlight \plain) and paragraph words (\pard \ql \qr
//    \qc \qj \li \ri \fi \sb \sa \sl \slmult \tx and tab kinds and leaders, \pn bullets and
//    numbering, \ls lists as numbering of their list level);
//  - \field: the result text is kept and carries the field's instruction;
//  - \pict (\pngblip, \jpegblip, \emfblip, \wmetafile, \dibitmap, \wbitmap, \pmmetafile, \macpict),
//    hex or \bin data, kept byte for byte; \shppict is read, \nonshppict skipped;
//  - \object groups, kept byte-exact as one character (their \result picture shown);
//  - \* destinations the reader does not know, style sheets, info, headers and footers,
//    footnotes, list texts and \pntext (numbering is regenerated from the paragraph) are skipped.
//
// Paragraphs: every \par ends one; the document's last paragraph needs none, so "abc\par" is one
// paragraph and "abc\par\par" two. \line is a line break inside the paragraph (U+2028), \page
// and \sect end a paragraph, \tab and a TAB byte are tabs.
//
// Tables are not kept as tables: a row becomes one paragraph whose cells are separated by a tab
// (\cell and \nestcell give a tab, \row and \nestrow end the paragraph, and the tab of the row's
// last cell is dropped). A paragraph break inside a cell stays a paragraph break. Nested rows are
// rows of their own (\*\nesttableprops is read, \nonesttables skipped).
//
// Damaged input never crashes the reader: missing closing braces end the document, text after
// the outermost group is ignored, groups nested deeper than MaxRtfDepth share their parent's
// state (their text is kept; a destination there leaves that state alone), \bin past the end
// takes what is there, odd hex digits are dropped, unknown fonts and colours fall back to the
// defaults. An object cut off by the end of the file is closed (and dropped when its \bin data
// runs past the end). Such cuts, and paragraphs swallowed by a group that is not text, are
// reported as cut short. A UTF-8 byte-order mark before "{\rtf" is skipped; other input
// that does not start with "{\rtf" is refused.
#include "platform/richedit/RichFormat.h"

#include <QByteArrayView>
#include <QTextCharFormat>

class QTextDocument;

namespace platform {

inline constexpr int MaxRtfDepth = 512;

// Reads a whole \pict group ("{\pict ...}") into a picture; false when it holds no picture data.
bool ParseRtfPicture(QByteArrayView group, RichPicture& picture);

// The character format of an object group with its display size and result picture.
QTextCharFormat makeRichObjectFormat(QTextDocument& doc, const QByteArray& groupBytes, int widthTw,
                                     int heightTw, const RichPicture* result);

} // namespace platform
