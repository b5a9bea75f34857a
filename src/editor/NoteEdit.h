#pragma once
// The note editor's rich edit control: TCustomNoteEdit with its character and paragraph
// attributes (TNoteTextAttributes, TNoteParaAttributes) and its lines list (TRichEditStrings),
// on the platform's rich edit control.
//
// Measures are whole points: the document's twips are divided by 20 on reading (truncating)
// and points are multiplied by 20 on writing.
//
// Plain text files (".txt") are Windows-1251 and come back byte for byte: every byte is a
// character (NUL included: it never cuts off what follows), CR LF, LF and a lone CR each end a
// line and are written back as CR LF. A file is read whole, so a line break never falls
// between two chunks. Rich text (".rtf") is passed to the RTF reader unchanged.
// The text limit (MaxLength) holds for typing and pasting, never for loading: a long note is
// never loaded cut short. A load that fails in both formats leaves the text as it was; the
// retry in the other format keeps the selection mode (a failed paste never replaces the whole
// note). The lines of Lines are paragraphs, also split at line breaks, and are never cut.
#include "platform/base/Exception.h"
#include "platform/richedit/RichEditControl.h"
#include "platform/richedit/RichFormat.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QIODevice;
class QPrinter;
class QMenu;
class QMimeData;
class QDialog;
class TCustomNoteEdit;
class TFindDialog;

// The rich edit library version. Only the newest exists here.
extern const unsigned char RichEditVersion;

// The framework's out-of-resources error ("Failed to Load Stream", "Failed to Save Stream").
class EOutOfResources : public platform::Exception {
public:
    using Exception::Exception;
};
// The framework's file errors of string lists.
class EFOpenError : public platform::Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public platform::Exception {
public:
    using Exception::Exception;
};
// A print job that cannot start.
class EPrinter : public platform::Exception {
public:
    using Exception::Exception;
};

// Colours as the framework spells them: 0x00BBGGRR, or a system colour.
using TColor = qint32;
constexpr TColor clWindowText = TColor(0x80000008);
constexpr TColor clDefault = TColor(0x20000000);
constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
QColor ColorToQColor(TColor c);
TColor QColorToColor(const QColor& c);

// Font styles (a set).
enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = int;
enum TFontPitch { fpDefault = 0, fpFixed = 1, fpVariable = 2 };

// A framework font: what the font dialog and the control's Font hand over.
struct TFont {
    QString Name = QStringLiteral("Arial");
    int Size = 10;
    TFontStyles Style = 0;
    TColor Color = clWindowText;
    int Charset = 1;
    TFontPitch Pitch = fpDefault;
    int Weight = 0; // the logical font's weight (100..900); 0 when it cannot be read
};

enum TAttributeType { atSelected, atDefaultText, atWord };

class TNoteTextAttributes {
public:
    TNoteTextAttributes(TCustomNoteEdit* owner, TAttributeType type) : owner_(owner), type_(type) {}

    int Charset() const;
    void SetCharset(int value);
    QString Name() const;
    void SetName(const QString& value);
    int Size() const;
    void SetSize(int value);
    TFontStyles Style() const;
    // Writes the styles named in `only` (all four by default) as value has them; the others stay.
    void SetStyle(TFontStyles value, TFontStyles only = fsBold | fsItalic | fsUnderline | fsStrikeOut);
    TColor Color() const;
    void SetColor(TColor value);
    TFontPitch Pitch() const;
    // Sends the pitch with an empty mask, which the control does not apply (as the rich edit);
    // the pitch changes only through Assign of a font.
    void SetPitch(TFontPitch value);
    bool Protected() const;
    void SetProtected(bool value);
    bool Hidden() const;
    void SetHidden(bool value);
    bool Disabled() const;
    void SetDisabled(bool value);

    void Assign(const TFont& font);
    void Assign(const TNoteTextAttributes& source);
    void AssignTo(TFont& font) const;

    TAttributeType Kind() const { return type_; }
    // The whole character record as read.
    platform::RichCharProps Props() const;

private:
    QTextCharFormat read() const;
    void write(const QTextCharFormat& merge);

    TCustomNoteEdit* owner_;
    TAttributeType type_;
};

enum TNoteAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2, taJustify = 3 };
enum TNumberingStyle { nsNone = 0, nsBullet = 1 };

class TNoteParaAttributes {
public:
    explicit TNoteParaAttributes(TCustomNoteEdit* owner) : owner_(owner) {}

    TNoteAlignment Alignment() const;
    void SetAlignment(TNoteAlignment value);
    int FirstIndent() const;
    void SetFirstIndent(int value);
    int LeftIndent() const;
    void SetLeftIndent(int value);
    int RightIndent() const;
    void SetRightIndent(int value);
    TNumberingStyle Numbering() const;
    void SetNumbering(TNumberingStyle value);
    int SpaceBefore() const;
    void SetSpaceBefore(int value);
    int SpaceAfter() const;
    void SetSpaceAfter(int value);
    int LineSpacing() const;
    void SetLineSpacing(int value);
    int LineSpacingRule() const;
    void SetLineSpacingRule(int value);
    int Tab(int index) const;
    void SetTab(int index, int value);
    int TabCount() const;
    void SetTabCount(int value);

    void Assign(const TNoteParaAttributes& source);
    platform::RichParaProps Props() const;

private:
    // Changes every paragraph of the selection, as one undo step.
    void change(const std::function<void(platform::RichParaProps&)>& f, bool indentsOnly = false);
    void changeBlocks(const std::function<void(QTextBlockFormat&, platform::RichParaProps&)>& f);

    TCustomNoteEdit* owner_;
};

enum TRichStreamFormat { sfDefault, sfRichText, sfPlainText };
enum TRichStreamMode { smSelection = 1, smPlainRtf = 2, smNoObjects = 4, smUnicode = 8 };
using TRichStreamModes = int;

// Moves a file's bytes between a stream and the control unchanged.
class TConversion {
public:
    virtual ~TConversion() = default;
    // Reads up to size bytes; 0 at the end, -1 on a failure.
    virtual qint64 ConvertReadStream(QIODevice& stream, char* buffer, qint64 size);
    // Writes size bytes; the count written, -1 on a failure.
    virtual qint64 ConvertWriteStream(QIODevice& stream, const char* buffer, qint64 size);
};

struct TConversionFormat {
    std::function<std::unique_ptr<TConversion>()> ConversionClass;
    QString Extension; // lower case, without the dot
    bool PlainText;
};
// "txt" (plain text) first, then "rtf".
const QList<TConversionFormat>& ConversionFormatList();

// The control's lines: its paragraphs, also split at line breaks, and its way to load and
// save files.
class TRichEditStrings {
public:
    explicit TRichEditStrings(TCustomNoteEdit* owner);
    ~TRichEditStrings();

    int Count() const;
    QString Get(int index) const;
    QString operator[](int index) const { return Get(index); }
    void Put(int index, const QString& text);
    void Insert(int index, const QString& text);
    int Add(const QString& text);
    void Delete(int index);
    void Clear();
    void BeginUpdate();
    void EndUpdate();
    QString Text() const; // lines each ended by CR LF
    void SetText(const QString& text);
    void AddStrings(const QStringList& lines);
    void Assign(const QStringList& lines);
    QStringList ToStringList() const;

    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName);
    void LoadFromStream(QIODevice& stream);
    void SaveToStream(QIODevice& stream);
    // The last load read RTF that ends before its text does (a damaged file): the control holds
    // only what came before the damage, and saving it over the file would lose the rest.
    bool LoadCutShort() const { return loadCutShort_; }

    TRichStreamFormat Format() const { return format_; }
    void SetFormat(TRichStreamFormat f) { format_ = f; }
    TRichStreamModes Mode() const { return mode_; }
    void SetMode(TRichStreamModes m) { mode_ = m; }

private:
    struct Line {
        int start;
        int length;
    };
    const QList<Line>& lines() const;
    const TConversionFormat* formatFor(const QString& fileName);
    bool plainFormat() const;
    bool loadAttempt(const QByteArray& bytes, bool plain);

    TCustomNoteEdit* owner_;
    TRichStreamFormat format_ = sfDefault;
    bool loadCutShort_ = false;
    TRichStreamModes mode_ = 0;
    std::unique_ptr<TConversion> conversion_;
    int updateCount_ = 0;
    mutable QList<Line> cache_;
    mutable quint64 cacheVersion_ = ~quint64(0);
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TRichLangOption { rlAutoKeyboard = 1, rlAutoFont = 2, rlImeCancelComplete = 4, rlImeAlwaysSendNotify = 8 };
using TRichLangOptions = int;
enum TSearchType { stWholeWord = 1, stMatchCase = 2, stBackward = 4, stSetSelection = 8 };
using TSearchTypes = int;
enum TSelectionType { stText = 1, stObject = 2, stMultiChar = 4, stMultiObject = 8 };
using TSelectionTypes = int;

class TCustomNoteEdit : public platform::RichEditControl {
    Q_OBJECT
public:
    explicit TCustomNoteEdit(QWidget* parent = nullptr);
    ~TCustomNoteEdit() override;

    // Owned attributes objects and lines list.
    TNoteTextAttributes* SelectionFormat() { return &selectionFormat_; }
    TNoteTextAttributes* DefaultFormat() { return &defaultFormat_; }
    TNoteTextAttributes* WordFormat() { return &wordFormat_; }
    TNoteParaAttributes* ParagraphFormat() { return &paragraphFormat_; }
    TRichEditStrings* Lines() { return &lines_; }
    void SetLines(const QStringList& lines) { lines_.Assign(lines); }

    // Properties.
    bool AllowObjects() const { return allowObjects_; }
    void SetAllowObjects(bool v) { allowObjects_ = v; }
    // Kept for callers; without object servers nothing is ever activated in place.
    bool AllowInPlace() const { return allowInPlace_; }
    void SetAllowInPlace(bool v) { allowInPlace_ = v; }
    bool AutoVerbMenu() const { return autoVerbMenu_; }
    void SetAutoVerbMenu(bool v) { autoVerbMenu_ = v; }
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool v);
    bool HideScrollBars() const { return hideScrollBars_; }
    void SetHideScrollBars(bool v);
    bool SelectionBar() const { return selectionBar_; }
    void SetSelectionBar(bool v);
    QString Title() const { return title_; }
    void SetTitle(const QString& v) { title_ = v; }
    TRichLangOptions LangOptions() const { return langOptions_; }
    void SetLangOptions(TRichLangOptions v) { langOptions_ = v; }
    bool PlainText() const { return plainText_; }
    void SetPlainText(bool v);
    TRichStreamFormat StreamFormat() const { return lines_.Format(); }
    void SetStreamFormat(TRichStreamFormat v) { lines_.SetFormat(v); }
    TRichStreamModes StreamMode() const { return lines_.Mode(); }
    void SetStreamMode(TRichStreamModes v) { lines_.SetMode(v); }
    bool WordSelection() const { return wordSelection_; }
    void SetWordSelection(bool v) { wordSelection_ = v; }
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle v);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v);
    bool WantTabs() const { return !tabChangesFocus(); }
    void SetWantTabs(bool v) { setTabChangesFocus(!v); }
    bool WantReturns() const { return wantReturns_; }
    void SetWantReturns(bool v) { wantReturns_ = v; }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool v) { setReadOnly(v); }
    QRect PrintRect;

    // Events.
    std::function<void()> OnChange;
    std::function<void()> OnSelectionChange;
    std::function<void(const QRect&)> OnResizeRequest;
    std::function<void(int startPos, int endPos, bool& allowChange)> OnProtectChange;
    std::function<void(int startPos, int endPos, bool& allowChange)> OnProtectChangeEx;
    std::function<void(int numObjects, int numChars, bool& saveClipboard)> OnSaveClipboard;
    std::function<void(const QString& urlText, Qt::MouseButton button)> OnURLClick;
    std::function<void(const QString& findText)> OnTextNotFound;
    std::function<void(QDialog* dialog)> OnCloseFindDialog;

    // Operations.
    void Clear();
    void RedoEdit() { Redo(); }
    void ClearSelection();
    void CutToClipboard() { cut(); }
    void CopyToClipboard() { copy(); }
    void PasteFromClipboard() { paste(); }
    bool CanPaste() const;
    TSelectionTypes SelectionType() const;
    QPoint CaretPos() const; // x = column, y = line
    // The screen position of a character (the find dialog keeps itself off the hit).
    QPoint GetCharPos(int pos) const;
    int SearchText(const QString& text, int start, int length, TSearchTypes types);
    // Searches like the find dialog's find-next button: downwards from the selection's end, or
    // upwards before its start; the hit is selected. Raises OnTextNotFound when nothing is found.
    bool FindNext(const QString& text, bool down, bool matchCase, bool wholeWord);
    TFindDialog* ShowFindDialog(const QString& text);
    // The last find dialog that searched with a non-empty text, or null.
    TFindDialog* LastFindDialog() const { return lastFindDialog_; }
    // Prints the whole text as one job titled title; raises EPrinter when the job cannot start.
    void PrintText(const QString& title, QPrinter& printer);
    // Objects. The Insert Object dialog: a file embedded or linked as a package; true when an
    // object was inserted (selected, one undo step).
    bool ShowInsertObjectDialog();
    // Embeds or links a file as a package object at the selection; false (with a message
    // shown) when it cannot.
    bool InsertObjectFromFile(const QString& fileName, bool link);
    // The properties of the one selected object; false when there is none.
    bool ShowObjectPropertiesDialog();
    // The position of the one selected object, or -1 (the selection must be exactly it).
    int SelectedObject() const;
    // The position of the one selected picture, or -1 (the selection must be exactly it).
    int SelectedPicture() const;
    // The object's "{\object ...}" group at pos (empty when there is no object there).
    QByteArray ObjectGroupAt(int pos) const;
    // Replaces the object at pos by another group, as one undo step; the object stays selected.
    void ReplaceObjectAt(int pos, const QByteArray& group);
    // The object's full type name: "Package", its class, or "Object"; a picture's is that of
    // the desktop's picture of its kind ("Picture (Metafile)", ...).
    QString ObjectTypeName(int pos) const;
    // Runs a verb of the selected object (0: "Open"); false when nothing was opened.
    bool DoVerb(int verb);
    // The verb menu for a right click, or null when the selection is not exactly one object
    // or picture.
    QMenu* CreateVerbMenu(QWidget* parent);
    // The control's own popup menu (none by default).
    QMenu* PopupMenu = nullptr;
    // Where opened copies of embedded files go: a private folder of this run below root.
    static void SetObjectTempRoot(const QString& root);
    // The private folder of this run (created at the first use), empty when none was made.
    static QString ObjectCopiesFolder();
    // Removes the opened copies (shut-down).
    static void RemoveObjectCopies();
    // The formatting rectangle: the text keeps these margins from the control's left and right.
    void SetTextMargins(int left, int right) { setViewportMargins(left, 0, right, 0); }

    // True while the lines list replaces text (its replacements are not selected).
    bool LinesUpdating() const { return linesUpdating_; }
    void ReplaceSelection(const QString& text); // as EM_REPLACESEL from a caller
    // The character format that typing uses in an empty text.
    const QTextCharFormat& DefaultCharFormat() const { return defaultChar_; }
    void SetDefaultCharFormat(const QTextCharFormat& f);

protected:
    void SelectionChanged() override;
    void Changed() override;
    bool ProtectedChange(int start, int end) override;
    void UrlClicked(const QString& url, Qt::MouseButton button) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void DocumentAttached() override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    friend class TRichEditStrings;
    friend class TFindDialog;
    friend class TNoteTextAttributes;
    friend class TNoteParaAttributes;
    void fontToDefaultFormat();
    void applyScrollBars();

    TNoteTextAttributes selectionFormat_{this, atSelected};
    TNoteTextAttributes defaultFormat_{this, atDefaultText};
    TNoteTextAttributes wordFormat_{this, atWord};
    TNoteParaAttributes paragraphFormat_{this};
    TRichEditStrings lines_{this};
    QTextCharFormat defaultChar_;
    TFindDialog* findDialog_ = nullptr;
    TFindDialog* lastFindDialog_ = nullptr;
    bool allowObjects_ = true, allowInPlace_ = true, autoVerbMenu_ = true, hideSelection_ = true;
    bool hideScrollBars_ = true, selectionBar_ = true, plainText_ = false, wordSelection_ = true;
    bool wordWrap_ = true, wantReturns_ = true, linesUpdating_ = false;
    // A left press selected a picture or object (or may drag the one selected): its moves
    // and release are not the text's.
    bool objectPress_ = false, objectDrag_ = false;
    TScrollStyle scrollBars_ = ssBoth;
    TRichLangOptions langOptions_ = rlAutoFont;
    QString title_;
};

class TNoteEdit : public TCustomNoteEdit {
    Q_OBJECT
public:
    explicit TNoteEdit(QWidget* parent = nullptr) : TCustomNoteEdit(parent) {}
};

// The find dialog: a text, match case, whole word, up or down; Find Next searches the control.
class TFindDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFindDialog(TCustomNoteEdit* owner);
    QString FindText() const;
    void SetFindText(const QString& text);
    bool Down() const;
    void SetDown(bool down);
    bool MatchCase() const;
    void SetMatchCase(bool v);
    bool WholeWord() const;
    void SetWholeWord(bool v);
    // The find-next button.
    void FindNextClick();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    TCustomNoteEdit* owner_;
    class QLineEdit* text_;
    class QCheckBox* matchCase_;
    class QCheckBox* wholeWord_;
    class QRadioButton* up_;
    class QRadioButton* down_;
};
