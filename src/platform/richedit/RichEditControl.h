#pragma once
#include <QRect>
#include <QString>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>

class QPagedPaintDevice;

namespace platform {

// Reads RTF into a fresh document that is not laid out while it fills (a layout after every
// insertion would cost far more than the reading); the document is laid out when it is shown.
bool ReadRtfDetached(QByteArrayView rtf, QTextDocument& doc, QString* error = nullptr, bool* cutShort = nullptr);
// Reads RTF into a document that is only read for its text and never shown: it gets no layout
// at all (a full layout of every note costs far more than reading it).
bool ReadRtfForText(QByteArrayView rtf, QTextDocument& doc, QString* error = nullptr);

// Search options of FindText.
enum RichFindFlag { RichFindWholeWord = 1, RichFindMatchCase = 2, RichFindBackward = 4 };

// The rich edit control: a QTextEdit over a rich document (see RichFormat.h) with the services
// of a word processor's edit control. Positions count characters the way the document does:
// one per character, one per paragraph mark between paragraphs, one per picture or object.
// In texts handed out, a paragraph mark reads "\r" and a line break "\v".
//
// Notifications are virtual functions for subclasses: SelectionChanged after every change of
// the selection or caret, Changed after every change of the text or its formats (unless
// switched off with SetChangeNotify), ProtectedChange before the user changes protected text
// (the change happens only when it answers true), UrlClicked after a press and a release of
// the same mouse button on the same detected address.
//
// Detected addresses are shown underlined in blue, as display only: they are not part of the
// document, so they are never saved, never mark the text modified and add no undo step.
class RichEditControl : public QTextEdit {
    Q_OBJECT
public:
    explicit RichEditControl(QWidget* parent = nullptr);
    ~RichEditControl() override;

    // Text.
    int TextLength() const;
    QString Text() const;
    QString TextRange(int start, int end) const;
    void SetText(const QString& text); // plain text, '\n' or "\r\n" or "\r" between paragraphs

    // Selection. Setting the start selects an empty range there; setting the length selects
    // from the start and scrolls the caret into view.
    int SelStart() const;
    int SelLength() const;
    QString SelText() const;
    void SetSelStart(int start);
    void SetSelLength(int length);
    // Selects [start, end) (anchor at start, caret at end); -1 as end means the end of the text.
    void SetSelection(int start, int end, bool scroll = true);
    void SelectAll();

    // Replaces the selection; the new text ends up selected and scrolled into view.
    // With canUndo the replacement is one undo step; without it the undo history is dropped.
    void ReplaceSel(const QString& text, bool canUndo = true);
    // The same with a rich fragment (pictures and formats kept); pictures and objects before its
    // first text take the text format at the selection, as an inserted one does.
    void ReplaceSelWithDocument(const QTextDocument& fragment, bool canUndo = true);

    // Display lines (as wrapped on the screen; without a layout, paragraphs).
    int LineCount() const;
    int LineFromChar(int pos) const;
    int LineIndex(int line) const; // -1: the caret's line; -1 returned for a line past the end
    int LineLength(int line) const;

    // Finds text in [start, end] (end -1: the end of the text). Returns the hit's position or -1.
    // Backward finds the last hit in the range.
    int FindText(const QString& text, int start, int end, int flags, int* hitLength = nullptr) const;

    // Undo. The limit is the number of steps that can be undone; 0 switches undo off, 1 is a
    // single-level undo, where undoing twice restores the change.
    int UndoLimit() const { return undoLimit_; }
    void SetUndoLimit(int limit);
    bool CanUndo() const;
    bool CanRedo() const;
    void Undo();
    void Redo();
    void ClearUndo();

    bool Modified() const;
    void SetModified(bool modified);

    // Text limit for typing and pasting (0: 16,777,215 characters). Loading ignores it.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length) { maxLength_ = length; }
    int TextLimit() const { return maxLength_ > 0 ? maxLength_ : 16777215; }

    bool AutoURLDetect() const { return autoUrl_; }
    void SetAutoURLDetect(bool on);
    // The detected address at a position (with its range), empty when there is none.
    QString UrlAt(int pos, int* start = nullptr, int* end = nullptr) const;

    // Change notifications (Changed) on or off; the text still changes.
    void SetChangeNotify(bool on) { changeNotify_ = on; }
    bool ChangeNotify() const { return changeNotify_; }

    // Replaces the whole document by doc (parsed elsewhere), which the control takes over.
    // The caret goes to the start; the undo history starts anew.
    void AdoptDocument(QTextDocument* doc);

    // Prints [start, end) (end -1: to the end) as one job; pageRect in device pixels, empty
    // for the whole printable page. An empty range prints one empty page. False when the job
    // cannot start (the printer refuses, the output file cannot be created).
    bool PrintRange(QPagedPaintDevice& printer, int start = 0, int end = -1, const QRect& pageRect = QRect());

    // True when [start, end) holds protected text, or an insertion at start (start == end)
    // would land inside a protected run.
    bool IsProtectedRange(int start, int end) const;

    // The position of the picture or object character drawn under a point of the viewport, or -1.
    int EmbeddedAt(const QPoint& viewportPos) const;

    QTextCursor Cursor() const { return textCursor(); }
    // Grows with every change of the document (and with every new document).
    quint64 ContentsVersion() const { return contentsVersion_; }

protected:
    virtual void SelectionChanged() {}
    virtual void Changed() {}
    virtual bool ProtectedChange(int /*start*/, int /*end*/) { return false; }
    virtual void UrlClicked(const QString& /*url*/, Qt::MouseButton /*button*/) {}
    // A new document now shows in the control (after loading).
    virtual void DocumentAttached() {}

    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

    // True when a user change of [start, end) may go ahead (asks ProtectedChange for
    // protected text).
    bool AllowChange(int start, int end);

private:
    void attachDocument(QTextDocument* doc);
    void onContentsChanged();
    void onCursorMoved();
    void onUndoCommandAdded();
    void applyUndoLimit();
    // Steps that can be undone: a limit of 0 or 1 still keeps the last change (single-level).
    int undoLevels() const { return qMax(1, undoLimit_); }
    int positionAt(const QPoint& viewportPos) const;
    bool insertWithinLimit(const QMimeData* source);

    int undoLimit_ = 100;
    // Undo steps within the limit; older ones stay in the document's history but are not
    // offered (Qt's history has no limit of its own).
    int reachable_ = 0;
    bool lastWasUndo_ = false;
    quint64 contentsVersion_ = 0;
    int maxLength_ = 0;
    bool autoUrl_ = true;
    bool changeNotify_ = true;
    int lastAnchor_ = -1, lastPos_ = -1;
    int urlPressStart_ = -1, urlPressEnd_ = -1;
    Qt::MouseButton urlPressButton_ = Qt::NoButton;
};

} // namespace platform
