#include "platform/richedit/RichEditControl.h"

#include "platform/richedit/PlainText.h"
#include "platform/richedit/RichFormat.h"
#include "platform/richedit/RichLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>

namespace platform {

namespace {

const QString RtfMime = QStringLiteral("text/rtf");
const QString RtfMimeWin = QStringLiteral("application/x-qt-windows-mime;value=\"Rich Text Format\"");

// What the rich edit recognises as an address: a known scheme or "www.", up to a blank.
const QRegularExpression& urlPattern()
{
    static const QRegularExpression re(
        QStringLiteral("(?<![\\w@.])(?:(?:https?|ftp|file|mailto|news|nntp|telnet|gopher|wais|prospero):"
                       "|www\\.)[^\\s<>\"\\x{FFFC}\\x{2028}\\x{2029}]+"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

// Trailing punctuation closes the sentence, not the address.
int trimmedUrlLength(const QString& text, int start, int length)
{
    while (length > 0) {
        const QChar c = text.at(start + length - 1);
        if (QStringLiteral(".,;:!?)]'\"").contains(c))
            --length;
        else
            break;
    }
    return length;
}

template <typename F>
void forEachUrl(const QString& text, F&& f)
{
    auto it = urlPattern().globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        const int start = int(m.capturedStart());
        const int len = trimmedUrlLength(text, start, int(m.capturedLength()));
        // A bare scheme ("http:") is no address.
        if (len > 0 && text.mid(start, len).contains(QRegularExpression(QStringLiteral("[:.][^/:.]"))))
            f(start, len);
    }
}

// Detected addresses and hidden text, as display-only formats of a paragraph's layout: the
// document itself does not change, so nothing is saved, marked modified or added to the undo
// history.
QList<QTextLayout::FormatRange> decorations(const QTextBlock& block, bool urls)
{
    QList<QTextLayout::FormatRange> out;
    if (urls) {
        QTextCharFormat f;
        f.setForeground(QColor(0, 0, 255));
        f.setFontUnderline(true);
        forEachUrl(block.text(), [&](int start, int len) { out.append({start, len, f}); });
    }
    // Hidden text is kept and saved but not shown: it shrinks to nothing visible.
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (!frag.charFormat().boolProperty(RichProp::Hidden))
            continue;
        QTextCharFormat h;
        h.setForeground(Qt::transparent);
        h.setFontPointSize(1);
        h.setFontUnderline(false);
        out.append({frag.position() - block.position(), frag.length(), h});
    }
    return out;
}

QString toControlText(QString s)
{
    for (QChar& c : s) {
        if (c.unicode() == 0x2029)
            c = u'\r';
        else if (c.unicode() == 0x2028)
            c = u'\v';
    }
    return s;
}

// "\r\n", "\r" and "\n" end paragraphs; "\v" is a line break.
QString toDocumentText(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < s.size() && s.at(i + 1) == u'\n')
                ++i;
        } else if (c == u'\v') {
            out += QChar(0x2028);
        } else {
            out += c;
        }
    }
    return out;
}

qreal screenDpi(bool x)
{
    if (QScreen* s = QGuiApplication::primaryScreen())
        return x ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY();
    return 96;
}

// Stands in for the document's layout while a document is filled: it lays out nothing.
class IdleLayout : public QAbstractTextDocumentLayout {
public:
    explicit IdleLayout(QTextDocument* doc) : QAbstractTextDocumentLayout(doc) {}
    void draw(QPainter*, const PaintContext&) override {}
    int hitTest(const QPointF&, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return QSizeF(); }
    QRectF frameBoundingRect(QTextFrame*) const override { return QRectF(); }
    QRectF blockBoundingRect(const QTextBlock&) const override { return QRectF(); }

protected:
    void documentChanged(int, int, int) override {}
};

} // namespace

bool ReadRtfDetached(QByteArrayView rtf, QTextDocument& doc, QString* error, bool* cutShort)
{
    doc.setDocumentLayout(new IdleLayout(&doc));
    const bool ok = ReadRtf(rtf, doc, error, cutShort);
    doc.setDocumentLayout(new RichLayout(&doc));
    installRichObjectPainter(doc);
    return ok;
}

bool ReadRtfForText(QByteArrayView rtf, QTextDocument& doc, QString* error)
{
    if (!dynamic_cast<IdleLayout*>(doc.documentLayout()))
        doc.setDocumentLayout(new IdleLayout(&doc));
    return ReadRtf(rtf, doc, error);
}

RichEditControl::RichEditControl(QWidget* parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    setTabChangesFocus(false);
    auto* doc = new QTextDocument(this);
    doc->setDocumentLayout(new RichLayout(doc));
    installRichObjectPainter(*doc);
    attachDocument(doc);
}

RichEditControl::~RichEditControl()
{
    if (QTextDocument* doc = document())
        doc->disconnect(this);
}

void RichEditControl::attachDocument(QTextDocument* doc)
{
    // The text control deletes a document it made itself; ours we delete here.
    QPointer<QTextDocument> old = document();
    if (old && old != doc)
        old->disconnect(this);
    auto* layout = qobject_cast<RichLayout*>(doc->documentLayout());
    if (!layout) {
        layout = new RichLayout(doc);
        doc->setDocumentLayout(layout);
        installRichObjectPainter(*doc);
    }
    layout->SetDecorator([this](const QTextBlock& b) { return decorations(b, autoUrl_); });
    layout->Redecorate();
    setDocument(doc);
    connect(doc, &QTextDocument::contentsChanged, this, &RichEditControl::onContentsChanged,
            Qt::UniqueConnection);
    connect(doc, &QTextDocument::undoCommandAdded, this, &RichEditControl::onUndoCommandAdded,
            Qt::UniqueConnection);
    connect(this, &QTextEdit::cursorPositionChanged, this, &RichEditControl::onCursorMoved,
            Qt::UniqueConnection);
    connect(this, &QTextEdit::selectionChanged, this, &RichEditControl::onCursorMoved,
            Qt::UniqueConnection);
    reachable_ = 0;
    ++contentsVersion_;
    applyUndoLimit();
    if (old && old != doc && old->parent() == this)
        delete old;
    DocumentAttached();
}

void RichEditControl::AdoptDocument(QTextDocument* doc)
{
    if (!doc || doc == document())
        return;
    doc->setParent(this);
    attachDocument(doc);
    doc->clearUndoRedoStacks();
    doc->setModified(false);
    reachable_ = 0;
    lastWasUndo_ = false;
    QTextCursor c(doc);
    setTextCursor(c);
    ensureCursorVisible();
    onCursorMoved();
    if (changeNotify_)
        Changed();
}

// --- text -------------------------------------------------------------------------------

int RichEditControl::TextLength() const
{
    return document()->characterCount() - 1;
}

QString RichEditControl::Text() const
{
    return toControlText(document()->toRawText());
}

QString RichEditControl::TextRange(int start, int end) const
{
    const int len = TextLength();
    start = qBound(0, start, len);
    end = end < 0 ? len : qBound(0, end, len);
    if (end <= start)
        return QString();
    QTextCursor c(document());
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    return toControlText(c.selectedText());
}

void RichEditControl::SetText(const QString& text)
{
    QTextCursor c(document());
    c.select(QTextCursor::Document);
    c.insertText(toDocumentText(text));
    SetSelection(0, 0);
}

// --- selection --------------------------------------------------------------------------

int RichEditControl::SelStart() const
{
    return textCursor().selectionStart();
}

int RichEditControl::SelLength() const
{
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

QString RichEditControl::SelText() const
{
    return toControlText(textCursor().selectedText());
}

void RichEditControl::SetSelStart(int start)
{
    SetSelection(start, start, false);
}

void RichEditControl::SetSelLength(int length)
{
    const int start = SelStart();
    SetSelection(start, start + qMax(0, length), true);
}

void RichEditControl::SetSelection(int start, int end, bool scroll)
{
    const int len = TextLength();
    start = qBound(0, start, len);
    end = end < 0 ? len : qBound(0, end, len);
    QTextCursor c(document());
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(c);
    if (scroll)
        ensureCursorVisible();
}

void RichEditControl::SelectAll()
{
    SetSelection(0, -1, false);
}

void RichEditControl::ReplaceSel(const QString& text, bool canUndo)
{
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    const QString t = toDocumentText(text);
    QTextDocument* doc = document();
    const bool undo = canUndo;
    if (!undo)
        doc->setUndoRedoEnabled(false);
    c.beginEditBlock();
    c.insertText(t);
    c.endEditBlock();
    if (!undo) {
        reachable_ = 0;
        applyUndoLimit();
        doc->setModified(true);
    }
    SetSelection(start, start + int(t.size()), true);
}

void RichEditControl::ReplaceSelWithDocument(const QTextDocument& fragment, bool canUndo)
{
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    QTextDocument* doc = document();
    const int before = TextLength() - (c.selectionEnd() - start);
    // Pictures and objects that come before any text of their own take the text format here,
    // as typing would (the first selected character's when replacing): text typed after them
    // goes on in that format.
    QTextCharFormat here;
    if (c.hasSelection()) {
        QTextCursor first(doc);
        first.setPosition(start + 1);
        setRichCharProps(here, richCharProps(first.charFormat()));
    } else {
        setRichCharProps(here, richCharProps(currentCharFormat()));
    }
    const bool undo = canUndo;
    if (!undo)
        doc->setUndoRedoEnabled(false);
    c.beginEditBlock();
    c.removeSelectedText();
    c.insertFragment(QTextDocumentFragment(&fragment));
    for (int pos = start, end = start + (TextLength() - before);
         pos < end && doc->characterAt(pos) == QChar::ObjectReplacementCharacter; ++pos) {
        QTextCursor e(doc);
        e.setPosition(pos);
        e.setPosition(pos + 1, QTextCursor::KeepAnchor);
        e.mergeCharFormat(here);
    }
    c.endEditBlock();
    registerRichResources(*doc);
    if (!undo) {
        reachable_ = 0;
        applyUndoLimit();
        doc->setModified(true);
    }
    SetSelection(start, start + (TextLength() - before), true);
}

// --- lines ------------------------------------------------------------------------------

namespace {
int blockLineCount(const QTextBlock& b)
{
    const QTextLayout* l = b.layout();
    const int n = l ? l->lineCount() : 0;
    return n > 0 ? n : 1;
}
} // namespace

int RichEditControl::LineCount() const
{
    const QTextBlock last = document()->lastBlock();
    return last.firstLineNumber() + blockLineCount(last);
}

int RichEditControl::LineFromChar(int pos) const
{
    pos = qBound(0, pos, TextLength());
    const QTextBlock b = document()->findBlock(pos);
    if (!b.isValid())
        return 0;
    int inBlock = 0;
    if (const QTextLayout* l = b.layout(); l && l->lineCount() > 0) {
        const QTextLine line = l->lineForTextPosition(pos - b.position());
        if (line.isValid())
            inBlock = line.lineNumber();
    }
    return b.firstLineNumber() + inBlock;
}

int RichEditControl::LineIndex(int line) const
{
    if (line < 0)
        line = LineFromChar(textCursor().position());
    const QTextBlock b = document()->findBlockByLineNumber(line);
    if (!b.isValid())
        return -1;
    const int inBlock = line - b.firstLineNumber();
    const QTextLayout* l = b.layout();
    if (l && inBlock < l->lineCount())
        return b.position() + l->lineAt(inBlock).textStart();
    return inBlock == 0 ? b.position() : -1;
}

int RichEditControl::LineLength(int line) const
{
    const int start = LineIndex(line);
    if (start < 0)
        return 0;
    const QTextBlock b = document()->findBlock(start);
    const QTextLayout* l = b.layout();
    const int inBlock = line < 0 ? LineFromChar(textCursor().position()) - b.firstLineNumber()
                                 : line - b.firstLineNumber();
    if (l && inBlock < l->lineCount()) {
        const QTextLine tl = l->lineAt(inBlock);
        int n = tl.textLength();
        // A wrapped line's length includes its trailing blank but not the paragraph mark.
        return qMin(n, b.length() - 1 - tl.textStart());
    }
    return b.length() - 1;
}

// --- find -------------------------------------------------------------------------------

int RichEditControl::FindText(const QString& text, int start, int end, int flags, int* hitLength) const
{
    if (hitLength)
        *hitLength = 0;
    const int len = TextLength();
    start = qBound(0, start, len);
    end = end < 0 ? len : qBound(0, end, len);
    if (text.isEmpty() || end < start)
        return -1;
    const QString needle = toDocumentText(text).replace(u'\n', QChar(0x2029));
    QTextDocument::FindFlags ff;
    if (flags & RichFindWholeWord)
        ff |= QTextDocument::FindWholeWords;
    if (flags & RichFindMatchCase)
        ff |= QTextDocument::FindCaseSensitively;
    QTextCursor from(document());
    if (flags & RichFindBackward) {
        ff |= QTextDocument::FindBackward;
        from.setPosition(end);
        const QTextCursor hit = document()->find(needle, from, ff);
        if (hit.isNull() || hit.selectionStart() < start || hit.selectionEnd() > end)
            return -1;
        if (hitLength)
            *hitLength = hit.selectionEnd() - hit.selectionStart();
        return hit.selectionStart();
    }
    from.setPosition(start);
    const QTextCursor hit = document()->find(needle, from, ff);
    if (hit.isNull() || hit.selectionEnd() > end)
        return -1;
    if (hitLength)
        *hitLength = hit.selectionEnd() - hit.selectionStart();
    return hit.selectionStart();
}

// --- undo -------------------------------------------------------------------------------

void RichEditControl::SetUndoLimit(int limit)
{
    undoLimit_ = qMax(0, limit);
    applyUndoLimit();
}

void RichEditControl::applyUndoLimit()
{
    QTextDocument* doc = document();
    const bool modified = doc->isModified();
    if (!doc->isUndoRedoEnabled()) {
        doc->setUndoRedoEnabled(true); // starts an empty history
        reachable_ = 0;
    }
    reachable_ = qMin(reachable_, undoLevels());
    doc->setModified(modified);
}

void RichEditControl::onUndoCommandAdded()
{
    reachable_ = qMin(reachable_ + 1, undoLevels());
    lastWasUndo_ = false;
}

bool RichEditControl::CanUndo() const
{
    if (reachable_ > 0 && document()->isUndoAvailable())
        return true;
    // Single-level undo: undoing again restores the change.
    return undoLevels() == 1 && lastWasUndo_ && document()->isRedoAvailable();
}

bool RichEditControl::CanRedo() const
{
    return document()->isRedoAvailable();
}

void RichEditControl::Undo()
{
    if (!CanUndo())
        return;
    if (reachable_ > 0 && document()->isUndoAvailable()) {
        QTextEdit::undo();
        --reachable_;
        lastWasUndo_ = true;
    } else {
        QTextEdit::redo();
        ++reachable_;
        lastWasUndo_ = false;
    }
    ensureCursorVisible();
}

void RichEditControl::Redo()
{
    if (!CanRedo())
        return;
    QTextEdit::redo();
    reachable_ = qMin(reachable_ + 1, undoLevels());
    lastWasUndo_ = false;
    ensureCursorVisible();
}

void RichEditControl::ClearUndo()
{
    document()->clearUndoRedoStacks();
    reachable_ = 0;
    lastWasUndo_ = false;
}

bool RichEditControl::Modified() const
{
    return document()->isModified();
}

void RichEditControl::SetModified(bool modified)
{
    document()->setModified(modified);
}

// --- addresses --------------------------------------------------------------------------

void RichEditControl::SetAutoURLDetect(bool on)
{
    if (autoUrl_ == on)
        return;
    autoUrl_ = on;
    if (auto* layout = qobject_cast<RichLayout*>(document()->documentLayout()))
        layout->Redecorate();
}

QString RichEditControl::UrlAt(int pos, int* start, int* end) const
{
    if (!autoUrl_ || pos < 0)
        return QString();
    const QTextBlock b = document()->findBlock(pos);
    if (!b.isValid())
        return QString();
    const QString text = b.text();
    const int rel = pos - b.position();
    QString found;
    forEachUrl(text, [&](int s, int len) {
        if (found.isEmpty() && rel >= s && rel < s + len) {
            found = text.mid(s, len);
            if (start)
                *start = b.position() + s;
            if (end)
                *end = b.position() + s + len;
        }
    });
    return found;
}

int RichEditControl::positionAt(const QPoint& viewportPos) const
{
    const QPointF docPos(viewportPos.x() + horizontalScrollBar()->value(),
                         viewportPos.y() + verticalScrollBar()->value());
    return document()->documentLayout()->hitTest(docPos, Qt::ExactHit);
}

int RichEditControl::EmbeddedAt(const QPoint& viewportPos) const
{
    const QPointF docPos(viewportPos.x() + horizontalScrollBar()->value(),
                         viewportPos.y() + verticalScrollBar()->value());
    const QTextDocument* doc = document();
    // The nearest caret position lies before or after the character clicked.
    const int hit = doc->documentLayout()->hitTest(docPos, Qt::FuzzyHit);
    for (int q : {hit - 1, hit}) {
        if (q < 0 || q >= TextLength() || doc->characterAt(q) != QChar(QChar::ObjectReplacementCharacter))
            continue;
        QTextCursor probe(const_cast<QTextDocument*>(doc));
        probe.setPosition(q + 1);
        const QTextCharFormat f = probe.charFormat();
        if (!f.isImageFormat() && f.objectType() != RichObjectType)
            continue;
        const QTextBlock block = doc->findBlock(q);
        const QTextLayout* layout = block.layout();
        const int rel = q - block.position();
        const QTextLine line = layout ? layout->lineForTextPosition(rel) : QTextLine();
        if (!line.isValid())
            continue;
        const QRectF br = doc->documentLayout()->blockBoundingRect(block);
        const qreal x0 = line.cursorToX(rel), x1 = line.cursorToX(rel + 1);
        const QRectF box(br.x() + qMin(x0, x1), br.y() + line.y(), qAbs(x1 - x0), line.height());
        if (box.contains(docPos))
            return q;
    }
    return -1;
}

void RichEditControl::mousePressEvent(QMouseEvent* e)
{
    int s = -1, en = -1;
    if (autoUrl_ && (e->button() == Qt::LeftButton || e->button() == Qt::RightButton)
        && !UrlAt(positionAt(e->position().toPoint()), &s, &en).isEmpty()) {
        urlPressStart_ = s;
        urlPressEnd_ = en;
        urlPressButton_ = e->button();
    }
    QTextEdit::mousePressEvent(e);
}

void RichEditControl::mouseReleaseEvent(QMouseEvent* e)
{
    int s = -1, en = -1;
    const QString url = autoUrl_ ? UrlAt(positionAt(e->position().toPoint()), &s, &en) : QString();
    QTextEdit::mouseReleaseEvent(e);
    if (url.isEmpty())
        return;
    const bool same = s == urlPressStart_ && en == urlPressEnd_ && e->button() == urlPressButton_;
    urlPressStart_ = urlPressEnd_ = -1;
    urlPressButton_ = Qt::NoButton;
    if (same)
        UrlClicked(url, e->button());
}

void RichEditControl::mouseMoveEvent(QMouseEvent* e)
{
    QTextEdit::mouseMoveEvent(e);
    if (autoUrl_ && !(e->buttons() & Qt::LeftButton)) {
        const bool over = !UrlAt(positionAt(e->position().toPoint())).isEmpty();
        viewport()->setCursor(over ? Qt::PointingHandCursor : Qt::IBeamCursor);
    }
}

// --- protection, limit and notifications --------------------------------------------------

bool RichEditControl::IsProtectedRange(int start, int end) const
{
    const QTextDocument* doc = document();
    const int len = TextLength();
    auto protectedAt = [&](int pos) {
        // Format of the character at pos.
        if (pos < 0 || pos >= len)
            return false;
        const QTextBlock b = doc->findBlock(pos);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (pos >= f.position() && pos < f.position() + f.length())
                return f.charFormat().boolProperty(RichProp::Protected);
        }
        return false; // the paragraph mark
    };
    if (start == end)
        return protectedAt(start - 1) && protectedAt(start);
    start = qBound(0, start, len);
    end = qBound(0, end, len);
    for (QTextBlock b = doc->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.position() + f.length() <= start || f.position() >= end)
                continue;
            if (f.charFormat().boolProperty(RichProp::Protected))
                return true;
        }
    }
    return false;
}

bool RichEditControl::AllowChange(int start, int end)
{
    if (!IsProtectedRange(start, end))
        return true;
    return ProtectedChange(start, end);
}

void RichEditControl::keyPressEvent(QKeyEvent* e)
{
    if (e->matches(QKeySequence::Undo)) {
        if (!isReadOnly())
            Undo();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Redo)) {
        if (!isReadOnly())
            Redo();
        e->accept();
        return;
    }
    if (isReadOnly()) {
        QTextEdit::keyPressEvent(e);
        return;
    }
    const QTextCursor c = textCursor();
    const int s = c.selectionStart(), en = c.selectionEnd();
    int from = s, to = en;
    bool changes = false;
    int inserted = 0;
    if (e->matches(QKeySequence::Cut)) {
        changes = s != en;
    } else if (e->matches(QKeySequence::Paste)) {
        changes = true; // checked again with the pasted data
    } else if (e->matches(QKeySequence::DeleteStartOfWord) || e->key() == Qt::Key_Backspace) {
        changes = true;
        if (s == en) {
            QTextCursor w = c;
            w.movePosition(e->key() == Qt::Key_Backspace && !(e->modifiers() & Qt::ControlModifier)
                               ? QTextCursor::PreviousCharacter
                               : QTextCursor::PreviousWord);
            from = w.position();
        }
    } else if (e->matches(QKeySequence::DeleteEndOfWord) || e->matches(QKeySequence::Delete)) {
        changes = true;
        if (s == en) {
            QTextCursor w = c;
            w.movePosition(e->matches(QKeySequence::Delete) ? QTextCursor::NextCharacter
                                                            : QTextCursor::NextWord);
            to = w.position();
        }
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        changes = true;
        inserted = 1;
    } else if (!e->text().isEmpty() && (e->text().at(0).isPrint() || e->text().at(0) == u'\t')
               && !(e->modifiers() & Qt::ControlModifier)) {
        changes = true;
        inserted = int(e->text().size());
    }
    if (changes) {
        if (inserted > 0 && TextLength() - (en - s) + inserted > TextLimit()) {
            QApplication::beep();
            e->accept();
            return;
        }
        if (from != to || inserted > 0 || e->matches(QKeySequence::Paste)) {
            if (!AllowChange(from, to)) {
                e->accept();
                return;
            }
        }
    }
    QTextEdit::keyPressEvent(e);
}

void RichEditControl::inputMethodEvent(QInputMethodEvent* e)
{
    if (!e->commitString().isEmpty() && !isReadOnly()) {
        const QTextCursor c = textCursor();
        const int s = c.selectionStart(), en = c.selectionEnd();
        if (TextLength() - (en - s) + e->commitString().size() > TextLimit() || !AllowChange(s, en)) {
            e->accept();
            return;
        }
    }
    QTextEdit::inputMethodEvent(e);
}

void RichEditControl::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* menu = createStandardContextMenu(e->pos());
    if (!menu)
        return;
    const QTextCursor c = textCursor();
    const bool locked = IsProtectedRange(c.selectionStart(), c.selectionEnd());
    for (QAction* a : menu->actions()) {
        const QString n = a->objectName();
        if (n == QLatin1String("edit-undo") || n == QLatin1String("edit-redo")) {
            // Through the control, so that the undo limit holds.
            a->disconnect();
            const bool undo = n == QLatin1String("edit-undo");
            a->setEnabled(!isReadOnly() && (undo ? CanUndo() : CanRedo()));
            connect(a, &QAction::triggered, this, [this, undo] { undo ? Undo() : Redo(); });
        } else if (locked && (n == QLatin1String("edit-cut") || n == QLatin1String("edit-paste")
                              || n == QLatin1String("edit-delete"))) {
            a->disconnect();
            connect(a, &QAction::triggered, this, [this, n] {
                const QTextCursor cc = textCursor();
                if (!AllowChange(cc.selectionStart(), cc.selectionEnd()))
                    return;
                if (n == QLatin1String("edit-cut"))
                    cut();
                else if (n == QLatin1String("edit-paste"))
                    paste();
                else {
                    QTextCursor d = textCursor();
                    d.removeSelectedText();
                }
            });
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

void RichEditControl::onContentsChanged()
{
    ++contentsVersion_;
    if (changeNotify_)
        Changed();
}

void RichEditControl::onCursorMoved()
{
    const QTextCursor c = textCursor();
    if (c.anchor() == lastAnchor_ && c.position() == lastPos_)
        return;
    lastAnchor_ = c.anchor();
    lastPos_ = c.position();
    // The caret's line must be laid out to be shown (a huge paragraph is laid out in part).
    if (auto* layout = qobject_cast<RichLayout*>(document()->documentLayout()))
        if (layout->EnsurePositionLaid(c.position()))
            ensureCursorVisible();
    SelectionChanged();
}

// --- clipboard --------------------------------------------------------------------------

QMimeData* RichEditControl::createMimeDataFromSelection() const
{
    QMimeData* data = QTextEdit::createMimeDataFromSelection();
    const QTextCursor c = textCursor();
    if (c.hasSelection()) {
        const QByteArray rtf = WriteRtf(c);
        data->setData(RtfMime, rtf);
        data->setData(RtfMimeWin, rtf);
        data->setText(PlainTextOf(c));
    }
    return data;
}

bool RichEditControl::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasFormat(RtfMime) || source->hasFormat(RtfMimeWin) || source->hasImage()
        || QTextEdit::canInsertFromMimeData(source);
}

void RichEditControl::insertFromMimeData(const QMimeData* source)
{
    if (isReadOnly())
        return;
    const QTextCursor c = textCursor();
    if (!AllowChange(c.selectionStart(), c.selectionEnd()))
        return;
    insertWithinLimit(source);
}

bool RichEditControl::insertWithinLimit(const QMimeData* source)
{
    const QTextCursor c = textCursor();
    const int room = TextLimit() - (TextLength() - (c.selectionEnd() - c.selectionStart()));
    QTextDocument fresh;
    bool rich = false;
    const QByteArray rtf = source->hasFormat(RtfMime) ? source->data(RtfMime) : source->data(RtfMimeWin);
    if (!rtf.isEmpty() && ReadRtfDetached(rtf, fresh)) {
        rich = true;
    } else if (source->hasImage()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull()) {
            QTextCursor fc(&fresh);
            fc.insertImage(makeRichPicture(fresh, richPictureFromImage(image)));
            rich = true;
        }
    } else if (source->hasHtml()) {
        fresh.setHtml(source->html());
        rich = true;
    }
    if (rich && acceptRichText() && fresh.characterCount() - 1 <= room) {
        ReplaceSelWithDocument(fresh, true);
        SetSelection(textCursor().selectionEnd(), textCursor().selectionEnd(), true);
        return true;
    }
    // Plain text mode, or rich content longer than the room left: the text only.
    QString text = source->hasText() ? source->text() : PlainTextOf(fresh);
    if (text.size() > room) {
        // Pasting keeps to the text limit: what does not fit is left out.
        QApplication::beep();
        text.truncate(qMax(0, room));
    }
    if (text.isEmpty())
        return false;
    QTextCursor ins = textCursor();
    ins.insertText(text);
    setTextCursor(ins);
    return true;
}

// --- printing ---------------------------------------------------------------------------

bool RichEditControl::PrintRange(QPagedPaintDevice& printer, int start, int end, const QRect& pageRect)
{
    std::unique_ptr<QTextDocument> copy(document()->clone());
    registerRichResources(*copy);
    installRichObjectPainter(*copy);
    const int len = copy->characterCount() - 1;
    start = qBound(0, start, len);
    end = end < 0 ? len : qBound(start, end, len);
    QTextCursor c(copy.get());
    if (end < len) {
        c.setPosition(end);
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }
    if (start > 0) {
        c.setPosition(0);
        c.setPosition(start, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }
    // Hidden text does not print, as it does not show.
    QList<QPair<int, int>> hidden;
    for (QTextBlock b = copy->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().boolProperty(RichProp::Hidden))
                hidden.append({it.fragment().position(), it.fragment().length()});
    for (qsizetype i = hidden.size() - 1; i >= 0; --i) {
        c.setPosition(hidden[i].first);
        c.setPosition(hidden[i].first + hidden[i].second, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }

    QPainter p(&printer);
    if (!p.isActive())
        return false;
    const QRectF body = pageRect.isEmpty() ? QRectF(0, 0, printer.width(), printer.height()) : QRectF(pageRect);
    const qreal srcX = screenDpi(true), srcY = screenDpi(false);
    const qreal sx = printer.logicalDpiX() / srcX, sy = printer.logicalDpiY() / srcY;
    const QSizeF page(body.width() / sx, body.height() / sy);
    copy->setPageSize(page);
    const int pages = qMax(1, copy->pageCount());
    QAbstractTextDocumentLayout* layout = copy->documentLayout();
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            printer.newPage();
        p.save();
        p.translate(body.topLeft());
        p.scale(sx, sy);
        const QRectF view(0, i * page.height(), page.width(), page.height());
        p.translate(0, -view.top());
        p.setClipRect(view);
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = view;
        ctx.palette.setColor(QPalette::Text, Qt::black);
        layout->draw(&p, ctx);
        p.restore();
    }
    return p.end();
}

} // namespace platform
