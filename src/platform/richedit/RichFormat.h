#pragma once
// The rich text document model of the note editor.
//
// A note lives in a QTextDocument, so it works without a widget (the site generator reads notes
// through a hidden control) and a QTextEdit shows it as it is. Qt's own formats drive the display;
// what Qt cannot hold exactly is kept beside it in user properties, so that a note read from RTF
// and written back keeps its measures to the twip and its sizes to the half point:
//
//  - Character formats (QTextCharFormat): face (fontFamilies().first()), bold, italic, strike,
//    sub/superscript, colour and highlight are Qt's; the font's charset, pitch and family kind,
//    the size in half points, the underline kind, hidden, protected, disabled, "auto" colour,
//    the raised/lowered offset and the field a run belongs to are user properties (RichProp::...).
//  - Paragraph formats (QTextBlockFormat): alignment is Qt's; indents, spacing, line spacing,
//    tabs and numbering are user properties in twips. The setters also set Qt's margins, indent,
//    line height and tab positions (at 96 dots per inch: 15 twips a pixel) for display.
//  - A picture is one character: a QTextImageFormat whose name is a document image resource
//    ("mvpict:" + hash of the bytes) and which keeps the picture's original bytes, its kind and
//    its source and goal sizes. Its display width and height are the goal size (scaled).
//  - An embedded object (an RTF \object group) is one character U+FFFC in a QTextCharFormat of
//    object type RichObjectType that keeps the group's exact bytes; it is written back as read.
//  - A paragraph mark is a block boundary; the document's last block has no mark of its own
//    (like the rich edit's final paragraph mark, which RTF does not spell out).
//
// Formats without user properties (text typed or pasted from elsewhere) read through the helpers
// below with values derived from Qt's properties, so every document can be written as RTF.
#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QTextFormat>

class QTextBlock;
class QTextCursor;
class QTextDocument;
class QTextDocumentFragment;

namespace platform {

// User property ids kept in QTextCharFormat / QTextBlockFormat / QTextImageFormat.
namespace RichProp {
enum : int {
    // Character properties.
    Charset = QTextFormat::UserProperty + 0x4d00, // int, the font's charset (0 ANSI, 204 Russian...)
    Pitch,               // int, 0 default, 1 fixed, 2 variable
    FamilyKind,          // int, RichFontFamily
    HalfPoints,          // int, size in half points (\fsN), exact
    Underline,           // int, RichUnderlineKind (absent: from QTextCharFormat::fontUnderline)
    Hidden,              // bool
    Protected,           // bool
    Disabled,            // bool
    AutoColor,           // bool, the text colour is "auto" (the window text colour)
    OffsetHalfPoints,    // int, raised (>0) or lowered (<0) text in half points (\up, \dn)
    FieldInstruction,    // QString, the instruction of the field whose result this run is
    FieldId,             // int, tells neighbouring fields with the same instruction apart

    // Paragraph properties, in twips.
    LeftIndent = QTextFormat::UserProperty + 0x4e00, // int (\li)
    FirstIndent,         // int, first line relative to the left indent (\fi)
    RightIndent,         // int (\ri)
    SpaceBefore,         // int (\sb)
    SpaceAfter,          // int (\sa)
    LineSpacing,         // int, RTF \sl: 0 single, >0 at least, <0 exactly (twips)
    LineSpacingMultiple, // bool, RTF \slmult1: \sl is in 240ths of a line
    Tabs,                // QList<int>, three ints a tab: position, RichTabKind, RichTabLeader
    Numbering,           // int, RichNumberingKind (absent: none)
    NumberingStart,      // int (\pnstart), 1 when absent
    NumberingTab,        // int, twips between number and text (\pnindent)
    NumberingStyle,      // int, RichNumberingStyle
    NumberingFont,       // QString, face of the number text (\pnf)
    NumberingCharset,    // int, charset of that face
    NumberingTextBefore, // QString (\pntxtb)
    NumberingTextAfter,  // QString (\pntxta)
    NumberingLevel,      // int, 0 single level (\pnlvlblt / \pnlvlbody), 1..9 for \pnlvlN

    // Picture properties (QTextImageFormat).
    PictureBytes = QTextFormat::UserProperty + 0x4f00, // QByteArray, the picture data as stored
    PictureKind,         // int, RichPictureKind
    PictureKindParam,    // int, \wmetafileN mapping mode / \wbitmapN type
    PictureWidth,        // int, \picw (pixels, or HIMETRIC for metafiles)
    PictureHeight,       // int, \pich
    PictureGoalWidth,    // int, \picwgoal, twips (0: not given)
    PictureGoalHeight,   // int, \pichgoal, twips
    PictureScaleX,       // int, \picscalex, percent (100 when absent)
    PictureScaleY,       // int, \picscaley
    PictureCrop,         // QList<int>, \piccropl, \piccropr, \piccropt, \piccropb (twips)
    PictureBitmapInfo,   // QList<int>, \wbmbitspixel, \wbmplanes, \wbmwidthbytes

    // Object properties (the U+FFFC character of an object, object type RichObjectType).
    ObjectBytes = QTextFormat::UserProperty + 0x5000, // QByteArray, "{\object ...}" exactly as read
    ObjectWidth,         // int, display width in twips (from \objw and \objscalex)
    ObjectHeight,        // int, display height in twips
    ObjectPictureName,   // QString, image resource of the object's result picture (may be empty)
};
} // namespace RichProp

// Object type of embedded objects (QTextCharFormat::objectType()).
inline constexpr int RichObjectType = QTextFormat::UserObject + 0x4d;

enum class RichFontFamily { Nil = 0, Roman, Swiss, Modern, Script, Decor, Tech, Bidi };

// Same values as the rich edit's underline types.
enum class RichUnderlineKind {
    None = 0, Single = 1, Word = 2, Double = 3, Dotted = 4, Dash = 5, DashDot = 6,
    DashDotDot = 7, Wave = 8, Thick = 9, Hairline = 10
};

// Same values as the rich edit's paragraph numbering (0 none, 1 bullet, then numbers).
enum class RichNumberingKind {
    None = 0, Bullet = 1, Arabic = 2, LowerLetter = 3, UpperLetter = 4, LowerRoman = 5, UpperRoman = 6
};
// Same values as the rich edit's numbering styles.
enum class RichNumberingStyle { RightParen = 0x000, Parens = 0x100, Period = 0x200, Plain = 0x300 };

enum class RichTabKind { Left = 0, Center = 1, Right = 2, Decimal = 3, Bar = 4 };
enum class RichTabLeader { None = 0, Dots = 1, Hyphens = 2, Underline = 3, Thick = 4, Equal = 5, MiddleDots = 6 };

enum class RichPictureKind {
    Png = 0, Jpeg = 1, Emf = 2, Wmf = 3, Dib = 4, Wbitmap = 5, Pmm = 6, MacPict = 7, Other = 8
};

enum class RichAlignment { Left = 0, Right = 1, Center = 2, Justify = 3 };

// Every character property, as the attributes layer reads and writes it.
struct RichCharProps {
    QString face;
    int charset = 1;             // 1 = default charset
    int pitch = 0;
    RichFontFamily family = RichFontFamily::Nil;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    RichUnderlineKind underline = RichUnderlineKind::None;
    bool strike = false;
    bool hidden = false;
    bool protect = false;
    bool disabled = false;
    bool superscript = false;
    bool subscript = false;
    int offsetHalfPoints = 0;
    bool autoColor = true;
    QColor color;                // meaningful when !autoColor
    QColor highlight;            // invalid = none
    bool operator==(const RichCharProps&) const = default;
};

struct RichTab {
    int position = 0;            // twips
    RichTabKind kind = RichTabKind::Left;
    RichTabLeader leader = RichTabLeader::None;
    bool operator==(const RichTab&) const = default;
};

struct RichNumbering {
    RichNumberingKind kind = RichNumberingKind::None;
    int start = 1;
    int tab = 0;                 // twips (\pnindent)
    RichNumberingStyle style = RichNumberingStyle::RightParen;
    QString font;                // face of the number or bullet; empty = the paragraph's
    int charset = 1;
    QString textBefore;          // for a bullet: the bullet character
    QString textAfter;
    int level = 0;
    bool operator==(const RichNumbering&) const = default;
};

// Every paragraph property, in twips.
struct RichParaProps {
    RichAlignment alignment = RichAlignment::Left;
    int leftIndent = 0;          // \li
    int firstIndent = 0;         // \fi, relative to leftIndent
    int rightIndent = 0;         // \ri
    int spaceBefore = 0;
    int spaceAfter = 0;
    int lineSpacing = 0;         // RTF \sl
    bool lineSpacingMultiple = false;
    QList<RichTab> tabs;
    RichNumbering numbering;
    bool operator==(const RichParaProps&) const = default;

    // The rich edit's view of the indents: the first line's absolute indent and the offset of
    // the following lines from it (\li720\fi-360: start 360, offset 360).
    int startIndent() const { return leftIndent + firstIndent; }
    int offset() const { return -firstIndent; }
    // Setting one keeps the other, as the rich edit does: a new start moves the whole paragraph.
    void setStartIndent(int twips) { const int off = offset(); leftIndent = twips + off; firstIndent = -off; }
    void setOffset(int twips) { const int start = startIndent(); leftIndent = start + twips; firstIndent = -twips; }
    // The rich edit's line spacing rule (0 single, 1 one and a half, 2 double, 3 at least,
    // 4 exactly, 5 multiple in twentieths of a line) and its value.
    int lineSpacingRule() const;
    int lineSpacingValue() const;
    void setLineSpacingRule(int rule, int value);
};

// Character properties of a format; missing user properties are derived from Qt's.
RichCharProps richCharProps(const QTextCharFormat& f);
// Sets every property, both the user properties and Qt's display properties.
void setRichCharProps(QTextCharFormat& f, const RichCharProps& p);
// Single-property setters for merge formats (cursor.mergeCharFormat): each sets only its property
// and the matching Qt display property.
void setRichFace(QTextCharFormat& f, const QString& face, int charset, int pitch = 0,
                 RichFontFamily family = RichFontFamily::Nil);
void setRichCharset(QTextCharFormat& f, int charset);
void setRichHalfPoints(QTextCharFormat& f, int halfPoints);
void setRichUnderline(QTextCharFormat& f, RichUnderlineKind kind);
void setRichHidden(QTextCharFormat& f, bool on);
void setRichProtected(QTextCharFormat& f, bool on);
void setRichDisabled(QTextCharFormat& f, bool on);
void setRichColor(QTextCharFormat& f, const QColor& c); // invalid colour = auto
void setRichHighlight(QTextCharFormat& f, const QColor& c); // invalid colour = none
void setRichOffset(QTextCharFormat& f, int halfPoints);

RichParaProps richParaProps(const QTextBlockFormat& f);
void setRichParaProps(QTextBlockFormat& f, const RichParaProps& p);
void setRichAlignment(QTextBlockFormat& f, RichAlignment a);
void setRichIndents(QTextBlockFormat& f, int leftIndent, int firstIndent, int rightIndent);
void setRichSpacing(QTextBlockFormat& f, int before, int after);
void setRichLineSpacing(QTextBlockFormat& f, int sl, bool multiple);
void setRichTabs(QTextBlockFormat& f, const QList<RichTab>& tabs);
// Numbering only sets the block's properties; Qt lists are not used for it.
void setRichNumbering(QTextBlockFormat& f, const RichNumbering& n);
// What the numbering of a paragraph shows before its text: the bullet, or the number with its
// texts ("3.", "(c)", "IV)"), counted over the paragraphs before it with the same numbering.
// Empty when the paragraph has no numbering.
QString richNumberText(const QTextBlock& block);

// Twips to document pixels (96 per inch) and back.
inline double richTwipsToPixels(int twips) { return twips / 15.0; }
inline int richPixelsToTwips(double px) { return int(px * 15.0 + (px < 0 ? -0.5 : 0.5)); }

// Pictures.
struct RichPicture {
    QByteArray bytes;            // the data as stored in the file (a DIB without file header etc.)
    RichPictureKind kind = RichPictureKind::Png;
    int kindParam = 0;
    int width = 0, height = 0;   // \picw, \pich
    int goalWidth = 0, goalHeight = 0; // twips, 0 = not given
    int scaleX = 100, scaleY = 100;
    QList<int> crop;             // empty or 4 values
    QList<int> bitmapInfo;       // empty or 3 values
};
RichPicture richPicture(const QTextImageFormat& f);
// A picture character format: keeps the bytes, registers the decoded image (or a placeholder of the
// picture's size) as an image resource of doc, and sets the display size from the goal size.
QTextImageFormat makeRichPicture(QTextDocument& doc, const RichPicture& p);
// A picture from an image (insertion, paste): stored as PNG, goal size = the image at 96 dpi.
RichPicture richPictureFromImage(const QImage& image);
// The image for display: PNG, JPEG, BMP/DIB, a bitmap held in a metafile; null when not decodable.
QImage decodeRichPicture(const RichPicture& p);
// Display size in twips after goal size and scaling (falls back to \picw/\pich as pixels).
QSize richPictureTwips(const RichPicture& p);

// Objects.
struct RichObject {
    QByteArray bytes;            // "{\object ...}" exactly as read
    int width = 0, height = 0;   // display size, twips
};
bool isRichObject(const QTextCharFormat& f);
RichObject richObject(const QTextCharFormat& f);
// The character format of an object; its result picture (if the group has one) is registered
// in doc for display.
QTextCharFormat makeRichObject(QTextDocument& doc, const QByteArray& groupBytes);

// Registers the painter of embedded objects (their result picture, else a framed box) with the
// document's layout. ReadRtf does it; call it for a document made otherwise.
void installRichObjectPainter(QTextDocument& doc);
// Adds missing image resources for every picture and object of doc (after a fragment was
// inserted from another document, or a document was copied).
void registerRichResources(QTextDocument& doc);

// RTF. ReadRtf parses into doc (cleared first; callers parse into a fresh document and swap on
// success). On failure it returns false with a message in *error; doc then holds what was read.
// *cutShort tells a damaged file whose reading stopped before the end of its text (\bin data or a
// picture cut off by the end, paragraphs swallowed by a font table or skipped group whose brace
// is missing), so that doc holds only the text before the damage. Groups merely left open at the
// end, whose last braces some writers leave out, do not count.
bool ReadRtf(QByteArrayView rtf, QTextDocument& doc, QString* error = nullptr, bool* cutShort = nullptr);
// Inserts RTF at the cursor (replacing its selection), for pasting and loading a selection. Unlike
// ReadRtf, a final \par is inserted as a paragraph break (a copied line pastes as a line).
bool ReadRtfAt(QByteArrayView rtf, QTextCursor& cursor, QString* error = nullptr);
// The whole document as RTF: {\rtf1\ansi\ansicpg1251\deff0 ...}.
QByteArray WriteRtf(const QTextDocument& doc);
// The cursor's selection as RTF (copy, save the selection). An empty selection writes an empty
// document.
QByteArray WriteRtf(const QTextCursor& selection);

} // namespace platform
