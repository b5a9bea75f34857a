// The editor window's formatting: the ruler with its indent markers, the refresh of the tool bar
// from the selection, the caret position, and the character and paragraph commands.
#include "REMain.h"

#include "platform/dialogs/Dialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int MarkerWidth = 10;

// The ruler panel: a bar at every default tab stop of the text (the caption of tabs and bars).
class TRulerPanel : public QWidget {
public:
    TRulerPanel(TFormEdit* form, QWidget* parent) : QWidget(parent), form_(form) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(0, 0, width(), 0); // the top bevel
        p.setPen(palette().color(QPalette::WindowText));
        const qreal tab = form_->Editor->tabStopDistance() > 0 ? form_->Editor->tabStopDistance() : 48;
        const int bars = int(form_->RulerCaption.count(QLatin1Char('|')));
        for (int i = 1; i <= bars; ++i) {
            const int x = TFormEdit::RulerGutter + int(i * tab);
            if (x >= width())
                break;
            p.drawLine(x, 22, x, 27);
        }
    }

private:
    TFormEdit* form_;
};

int truncPx(double v) { return int(v); }

} // namespace

// --- markers ------------------------------------------------------------------------------

TRulerMarker::TRulerMarker(Shape shape, QWidget* parent) : QWidget(parent), shape_(shape)
{
    resize(MarkerWidth, shape == LeftIndent ? 13 : 9);
    setCursor(Qt::SizeHorCursor);
}

void TRulerMarker::paintEvent(QPaintEvent*)
{
    // Drawn in the shapes of the classic markers: the first-line indent points down, the left
    // indent points up over a small box, the right indent points up.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(palette().color(QPalette::WindowText));
    p.setBrush(palette().color(QPalette::Button));
    const int w = width() - 1;
    QPolygon tri;
    if (shape_ == FirstLine)
        tri << QPoint(0, 0) << QPoint(w, 0) << QPoint(w / 2, 7);
    else
        tri << QPoint(w / 2, 0) << QPoint(w, 7) << QPoint(0, 7);
    p.drawPolygon(tri);
    if (shape_ == LeftIndent)
        p.drawRect(0, 8, w, 4);
}

namespace {
// The marker sits on the ruler, which sits on the window.
TFormEdit* formOf(QWidget* marker) { return qobject_cast<TFormEdit*>(marker->parentWidget()->parentWidget()); }
} // namespace

void TRulerMarker::mousePressEvent(QMouseEvent* e)
{
    if (TFormEdit* form = formOf(this); form && e->button() == Qt::LeftButton)
        form->RulerItemMouseDown(this, int(e->position().x()));
}

void TRulerMarker::mouseMoveEvent(QMouseEvent* e)
{
    if (TFormEdit* form = formOf(this))
        form->RulerItemMouseMove(this, int(e->position().x()));
}

void TRulerMarker::mouseReleaseEvent(QMouseEvent* e)
{
    TFormEdit* form = formOf(this);
    if (!form || e->button() != Qt::LeftButton)
        return;
    switch (shape_) {
    case FirstLine: form->FirstIndMouseUp(); break;
    case LeftIndent: form->LeftIndMouseUp(); break;
    case RightIndent: form->RightIndMouseUp(); break;
    }
}

// --- ruler --------------------------------------------------------------------------------

void TFormEdit::createRuler()
{
    Ruler = new TRulerPanel(this, this);
    Ruler->setObjectName(QStringLiteral("Ruler"));
    Ruler->setFixedHeight(32);
    QFont f(QStringLiteral("Arial"));
    Ruler->setFont(f);
    RulerLine = new QFrame(Ruler);
    RulerLine->setObjectName(QStringLiteral("RulerLine"));
    RulerLine->setFrameShape(QFrame::HLine);
    RulerLine->setFrameShadow(QFrame::Sunken);
    RulerLine->setGeometry(5, 15, 100, 2);
    FirstInd = new TRulerMarker(TRulerMarker::FirstLine, Ruler);
    FirstInd->setObjectName(QStringLiteral("FirstInd"));
    FirstInd->move(2, 2);
    LeftInd = new TRulerMarker(TRulerMarker::LeftIndent, Ruler);
    LeftInd->setObjectName(QStringLiteral("LeftInd"));
    LeftInd->move(2, 15);
    RightInd = new TRulerMarker(TRulerMarker::RightIndent, Ruler);
    RightInd->setObjectName(QStringLiteral("RightInd"));
    RightInd->move(100, 17);
    Ruler->installEventFilter(this);
}

void TFormEdit::BuildRulerMarks() { RulerCaption = QStringLiteral("\t|").repeated(100); }

void TFormEdit::RulerResize() { RulerLine->resize(Ruler->width() - 2 * RulerLine->x(), RulerLine->height()); }

void TFormEdit::ApplyTextMargins() { Editor->SetTextMargins(RulerGutter, RulerGutter); }

void TFormEdit::RulerItemMouseDown(TRulerMarker* marker, int x)
{
    RulerDragOffset = marker->width() / 2;
    marker->move(marker->x() + x - RulerDragOffset, marker->y());
    RulerDragging = true;
}

void TFormEdit::RulerItemMouseMove(TRulerMarker* marker, int x)
{
    if (RulerDragging)
        marker->move(marker->x() + x - RulerDragOffset, marker->y());
}

void TFormEdit::FirstIndMouseUp()
{
    RulerDragging = false;
    Editor->ParagraphFormat()->SetFirstIndent(truncPx((FirstInd->x() + RulerDragOffset - RulerGutter) / RulerScale));
    LeftIndMouseUp();
}

void TFormEdit::LeftIndMouseUp()
{
    RulerDragging = false;
    TNoteParaAttributes* p = Editor->ParagraphFormat();
    p->SetLeftIndent(truncPx((LeftInd->x() + RulerDragOffset - RulerGutter) / RulerScale) - p->FirstIndent());
    SelectionChange();
}

void TFormEdit::RightIndMouseUp()
{
    RulerDragging = false;
    Editor->ParagraphFormat()->SetRightIndent(
        truncPx((Ruler->width() - RightInd->x() + RulerDragOffset - 2) / RulerScale) - 12);
    SelectionChange();
}

// --- refresh from the selection -------------------------------------------------------------

TNoteTextAttributes* TFormEdit::TypingAttributes()
{
    return Editor->SelLength() >= 1 ? Editor->SelectionFormat() : Editor->WordFormat();
}

void TFormEdit::ApplyNewNoteAttributes()
{
    TNoteTextAttributes* typing = TypingAttributes();
    typing->SetName(QStringLiteral("Arial"));
    typing->SetSize(12);
}

void TFormEdit::ShowCaretPosition()
{
    const int start = Editor->SelStart();
    const int line = Editor->LineFromChar(start);
    const int column = start - Editor->LineIndex(line);
    StatusPanel0->setText(QString::asprintf("Line: %3d   Col: %3d", line + 1, column + 1));
}

void TFormEdit::SelectionChange()
{
    const bool was = RulerUpdating;
    RulerUpdating = true;
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{RulerUpdating, was};

    TNoteParaAttributes* para = Editor->ParagraphFormat();
    const int first = para->FirstIndent(), left = para->LeftIndent(), right = para->RightIndent();
    FirstInd->move(truncPx(first * RulerScale) + 2, FirstInd->y());
    LeftInd->move(truncPx((left + first) * RulerScale) + 2, LeftInd->y());
    RightInd->move(Ruler->width() - 6 - truncPx((right + 6) * RulerScale), RightInd->y());

    TNoteTextAttributes* sel = Editor->SelectionFormat();
    const TFontStyles style = sel->Style();
    BoldButton->setChecked(style & fsBold);
    ItalicButton->setChecked(style & fsItalic);
    UnderlineButton->setChecked(style & fsUnderline);
    BulletsBtn->setChecked(para->Numbering() != nsNone);
    FontSize->setText(QString::number(sel->Size()));
    FontName->setEditText(sel->Name());
    switch (para->Alignment()) {
    case taLeftJustify: LeftAlign->setChecked(true); break;
    case taRightJustify: RightAlign->setChecked(true); break;
    case taCenter: CenterAlign->setChecked(true); break;
    case taJustify: break; // no button: the group keeps its state
    }
    ShowCaretPosition();
    ActionList2Update();
}

// --- formatting commands -----------------------------------------------------------------

namespace {
void applyStyle(TFormEdit* form, QToolButton* button, TFontStyle bit)
{
    if (form->RulerUpdating)
        return;
    TNoteTextAttributes* t = form->TypingAttributes();
    const TFontStyles style = t->Style();
    t->SetStyle(button->isChecked() ? (style | bit) : (style & ~bit));
}
} // namespace

void TFormEdit::BoldButtonClick() { applyStyle(this, BoldButton, fsBold); }
void TFormEdit::ItalicButtonClick() { applyStyle(this, ItalicButton, fsItalic); }
void TFormEdit::UnderlineButtonClick() { applyStyle(this, UnderlineButton, fsUnderline); }

void TFormEdit::FontNameChange()
{
    if (RulerUpdating || FontName->currentText().isEmpty())
        return;
    TypingAttributes()->SetName(FontName->currentText());
}

void TFormEdit::fontSizeRefused()
{
    // The box shows the selection's size again.
    const bool was = RulerUpdating;
    RulerUpdating = true;
    FontSize->setText(QString::number(Editor->SelectionFormat()->Size()));
    RulerUpdating = was;
}

void TFormEdit::FontSizeChange()
{
    if (RulerUpdating)
        return;
    const QString text = FontSize->text().trimmed();
    // What the user is still typing.
    if (text.isEmpty() || text == QLatin1String("-")) {
        badSizeText_.clear();
        return;
    }
    bool ok = false;
    const int size = text.toInt(&ok);
    if (!ok) {
        // Reported once, not at every further key.
        if (badSizeText_.isEmpty()) {
            badSizeText_ = text;
            platform::dialogs().message(QStringLiteral("'%1' is not a valid integer value").arg(text), QString(),
                                        platform::MsgButtons::Ok, platform::MsgIcon::Error);
        }
        return;
    }
    badSizeText_.clear();
    // RTF keeps sizes in 16-bit half-points.
    if (size < 1 || size > 1638) {
        fontSizeRefused();
        return;
    }
    TypingAttributes()->SetSize(size);
}

void TFormEdit::AlignButtonClick(int tag)
{
    if (RulerUpdating)
        return;
    Editor->ParagraphFormat()->SetAlignment(TNoteAlignment(tag));
}

void TFormEdit::BulletsButtonClick()
{
    if (RulerUpdating)
        return;
    Editor->ParagraphFormat()->SetNumbering(BulletsBtn->isChecked() ? nsBullet : nsNone);
}

void TFormEdit::HiddenItemClick()
{
    TNoteTextAttributes* t = TypingAttributes();
    t->SetHidden(!t->Hidden());
    HiddenItem->setChecked(t->Hidden());
}

void TFormEdit::SelectFont()
{
    TNoteTextAttributes* sel = Editor->SelectionFormat();
    platform::FontChoice start;
    start.name = sel->Name();
    start.size = sel->Size();
    const TFontStyles style = sel->Style();
    start.bold = style & fsBold;
    start.italic = style & fsItalic;
    start.underline = style & fsUnderline;
    start.strikeOut = style & fsStrikeOut;
    const TColor color = sel->Color();
    if (color != clWindowText)
        start.color = int(ColorToQColor(color).rgb() & 0xffffff);
    platform::FontChoice font = start;
    if (platform::dialogs().fontDialog(font)) {
        // Only what the user changed is written: the dialog starts from the first selected
        // character, and an untouched family, size, style or colour must not spread over the
        // rest of the selection.
        TNoteTextAttributes* t = TypingAttributes();
        if (font.name != start.name && !font.name.isEmpty())
            t->SetName(font.name);
        if (font.size != start.size && font.size >= 1 && font.size <= 1638)
            t->SetSize(font.size);
        // Style by style: italic added to a partly bold selection leaves its bold as it was.
        const TFontStyles changed = (font.bold != start.bold ? fsBold : 0) | (font.italic != start.italic ? fsItalic : 0)
                                    | (font.underline != start.underline ? fsUnderline : 0)
                                    | (font.strikeOut != start.strikeOut ? fsStrikeOut : 0);
        if (changed)
            t->SetStyle((font.bold ? fsBold : 0) | (font.italic ? fsItalic : 0) | (font.underline ? fsUnderline : 0)
                            | (font.strikeOut ? fsStrikeOut : 0),
                        changed);
        if (font.color != start.color)
            t->SetColor(font.color == platform::FontChoice::AutoColor ? clWindowText
                                                                     : QColorToColor(QColor::fromRgb(QRgb(font.color))));
    }
    SelectionChange();
    Editor->setFocus();
}
