#include "ValueSpin.h"

#include "platform/base/Exception.h"
#include "platform/dialogs/Dialogs.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

// The built-in glyphs "SPINUP" and "SPINDOWN": small solid triangles.
QPixmap spinGlyph(bool up)
{
    QImage img(7, 4, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int row = 0; row < 4; ++row) {
        const int y = up ? row : 3 - row;
        for (int x = 3 - row; x <= 3 + row; ++x)
            img.setPixel(x, y, qRgb(0, 0, 0));
    }
    return QPixmap::fromImage(img);
}

constexpr double Int64Max = 9223372036854775807.0;

// The nearest whole number (halves to the even neighbour), kept inside 64 bits.
qint64 wholeNumber(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v);
    if (r >= Int64Max)
        return std::numeric_limits<qint64>::max();
    if (r <= -Int64Max)
        return std::numeric_limits<qint64>::min();
    return qint64(r);
}

qint64 truncated(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= Int64Max)
        return std::numeric_limits<qint64>::max();
    if (v <= -Int64Max)
        return std::numeric_limits<qint64>::min();
    return qint64(std::trunc(v));
}

} // namespace

// --- TValueUpDown ---------------------------------------------------------------------------

int TValueUpDown::DefaultWidth()
{
    return qMin(15, QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

TValueUpDown::TValueUpDown(QWidget* parent) : QWidget(parent)
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    auto make = [this, v](Qt::ArrowType arrow, bool upward) {
        auto* b = new QToolButton(this);
        b->setArrowType(arrow);
        b->setAutoRepeat(true);
        b->setAutoRepeatDelay(400);
        b->setAutoRepeatInterval(100);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        b->setIconSize(QSize(7, 7));
        connect(b, &QToolButton::clicked, this, [this, upward] {
            if (OnClick)
                OnClick(upward);
        });
        v->addWidget(b);
        return b;
    };
    up_ = make(Qt::UpArrow, true);
    down_ = make(Qt::DownArrow, false);
    up_->setObjectName(QStringLiteral("Up"));
    down_->setObjectName(QStringLiteral("Down"));
    setFixedWidth(DefaultWidth());
}

void TValueUpDown::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    // The width is the platform's, whatever the layout asks.
    if (e->size().width() != DefaultWidth())
        resize(DefaultWidth(), e->size().height());
}

// --- TValueSpinButton -----------------------------------------------------------------------

TValueSpinButton::TValueSpinButton(QWidget* parent) : QWidget(parent)
{
    upGlyph_ = spinGlyph(true);
    downGlyph_ = spinGlyph(false);
    resize(20, 20);
}

void TValueSpinButton::SetUpGlyph(const QPixmap& glyph)
{
    upGlyph_ = glyph.isNull() ? spinGlyph(true) : glyph;
    imagesValid_ = false;
    update();
}

void TValueSpinButton::SetDownGlyph(const QPixmap& glyph)
{
    downGlyph_ = glyph.isNull() ? spinGlyph(false) : glyph;
    imagesValid_ = false;
    update();
}

TSpinButtonState TValueSpinButton::HalfAt(const QPointF& p) const
{
    const double w = width() > 0 ? width() : 1;
    return p.y() > height() - double(height()) / w * p.x() ? sbBottomDown : sbTopDown;
}

void TValueSpinButton::buildImages()
{
    const QSize size = this->size().expandedTo(QSize(1, 1));
    const QPalette pal = palette();
    for (int state = 0; state < 3; ++state) {
        QImage& img = images_[state];
        img = QImage(size, QImage::Format_ARGB32_Premultiplied);
        img.fill(pal.color(QPalette::Button));
        QPainter p(&img);
        const int w = size.width() - 1, h = size.height() - 1;
        const QColor light = pal.color(QPalette::Light), shadow = pal.color(QPalette::Dark);
        // The halves: the upper-left triangle and the lower-right one, each with its bevel.
        auto bevel = [&](bool top, bool sunken) {
            const QColor a = sunken ? shadow : light, b = sunken ? light : shadow;
            p.setPen(a);
            if (top) {
                p.drawLine(1, 1, w - 2, 1);
                p.drawLine(1, 1, 1, h - 2);
            } else {
                p.setPen(b);
                p.drawLine(w - 1, 2, w - 1, h - 1);
                p.drawLine(2, h - 1, w - 1, h - 1);
            }
        };
        bevel(true, state == sbTopDown);
        bevel(false, state == sbBottomDown);
        p.setPen(pal.color(QPalette::WindowText));
        p.drawRect(0, 0, w, h);
        p.drawLine(0, h, w, 0);
        const int shiftTop = state == sbTopDown ? 1 : 0, shiftBottom = state == sbBottomDown ? 1 : 0;
        p.drawPixmap(size.width() / 4 - upGlyph_.width() / 2 + shiftTop,
                     size.height() / 4 - upGlyph_.height() / 2 + shiftTop, upGlyph_);
        p.drawPixmap(size.width() * 3 / 4 - downGlyph_.width() / 2 + shiftBottom,
                     size.height() * 3 / 4 - downGlyph_.height() / 2 + shiftBottom, downGlyph_);
    }
    imagesValid_ = true;
}

const QImage& TValueSpinButton::StateImage(TSpinButtonState state)
{
    if (!imagesValid_)
        buildImages();
    return images_[state];
}

void TValueSpinButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, StateImage(isEnabled() ? down_ : sbNotDown));
}

void TValueSpinButton::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    imagesValid_ = false;
}

void TValueSpinButton::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::EnabledChange || e->type() == QEvent::PaletteChange) {
        imagesValid_ = false;
        update();
    }
}

void TValueSpinButton::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    buttonHeld_ = false;
    dragging_ = false;
    setDown(sbNotDown);
    if (repeatTimer_)
        repeatTimer_->stop();
}

void TValueSpinButton::setDown(TSpinButtonState s)
{
    if (s == down_)
        return;
    down_ = s;
    update();
}

void TValueSpinButton::click(TSpinButtonState half)
{
    const std::function<void()>& handler = half == sbTopDown ? OnTopClick : OnBottomClick;
    try {
        if (handler)
            handler();
    } catch (const std::exception& e) {
        // The repeat stops; the error is reported here, as nothing may cross the event loop.
        if (repeatTimer_)
            repeatTimer_->stop();
        buttonHeld_ = false;
        setDown(sbNotDown);
        const auto* own = dynamic_cast<const platform::Exception*>(&e);
        platform::dialogs().message(own ? own->Message : QString::fromUtf8(e.what()), QString(),
                                    platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return;
    }
    // The button may have been released while the handler ran (a dialog took the release).
    if (!buttonHeld_)
        setDown(sbNotDown);
}

void TValueSpinButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !isEnabled())
        return;
    if (focusControl_ && (focusControl_->focusPolicy() & Qt::TabFocus) && focusControl_->isEnabled()
        && focusControl_->isVisible() && !focusControl_->hasFocus())
        focusControl_->setFocus(Qt::MouseFocusReason);
    buttonHeld_ = true;
    if (down_ == sbNotDown) {
        const TSpinButtonState half = HalfAt(e->position());
        lastDown_ = half;
        setDown(half);
        if (!repeatTimer_) {
            repeatTimer_ = new QTimer(this);
            connect(repeatTimer_, &QTimer::timeout, this, &TValueSpinButton::timerExpired);
        }
        repeatTimer_->start(400);
        click(half);
    }
    dragging_ = true;
}

void TValueSpinButton::timerExpired()
{
    repeatTimer_->setInterval(100);
    if (down_ != sbNotDown && buttonHeld_)
        click(down_);
}

void TValueSpinButton::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_)
        return;
    const QPointF p = e->position();
    if (rect().contains(p.toPoint()))
        setDown(HalfAt(p) == lastDown_ ? lastDown_ : sbNotDown);
    else
        setDown(sbNotDown);
}

void TValueSpinButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    buttonHeld_ = false;
    if (repeatTimer_)
        repeatTimer_->stop();
    if (rect().contains(e->position().toPoint())) {
        lastDown_ = sbNotDown;
        setDown(sbNotDown);
        update();
    }
}

// --- TValueSpinEdit -------------------------------------------------------------------------

TValueSpinEdit::TValueSpinEdit(QWidget* parent) : QLineEdit(parent)
{
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!changing_ && OnChange)
            OnChange();
    });
    recreateButtons();
}

QString TValueSpinEdit::format(double v) const
{
    switch (valueType_) {
    case vtInteger: return QString::number(wholeNumber(v));
    case vtHex: return QString::number(quint64(wholeNumber(v)), 16).toUpper();
    case vtFloat: break;
    }
    const QLocale locale;
    // At most 15 significant digits, then Decimal digits after the separator.
    const double rounded = QString::number(v, 'g', 15).toDouble();
    QString s = std::fabs(rounded) >= 1e15 ? QString::number(rounded, 'E', 14) : QString::number(rounded, 'f', decimal_);
    s.replace(QLatin1Char('.'), locale.decimalPoint());
    return s;
}

double TValueSpinEdit::Value() const
{
    const QString t = text().trimmed();
    bool ok = false;
    switch (valueType_) {
    case vtInteger: {
        const qint64 v = t.toLongLong(&ok, 10);
        return ok ? double(v) : double(truncated(minValue_));
    }
    case vtHex: {
        const quint64 v = t.toULongLong(&ok, 16);
        // No sign or prefix of its own: "$" + the text.
        if (ok && !t.isEmpty() && (t[0] == '+' || t[0] == '-' || t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)))
            ok = false;
        return ok ? double(qint64(v)) : double(truncated(minValue_));
    }
    case vtFloat: {
        const double v = QLocale().toDouble(t, &ok);
        return ok ? v : minValue_;
    }
    }
    return minValue_;
}

double TValueSpinEdit::CheckValue(double v) const
{
    if (minValue_ != maxValue_) {
        if (v < minValue_)
            return minValue_;
        if (v > maxValue_)
            return maxValue_;
    }
    return v;
}

void TValueSpinEdit::SetValue(double v) { setText(format(CheckValue(v))); }

int TValueSpinEdit::GetAsInteger() const
{
    const double v = std::trunc(Value());
    if (std::isnan(v))
        return 0;
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(v);
}

void TValueSpinEdit::SetAsInteger(int v) { SetValue(double(v)); }

void TValueSpinEdit::SetValueType(TValueType t)
{
    if (t == valueType_)
        return;
    valueType_ = t;
    SetValue(Value());
    if (t == vtInteger || t == vtHex) {
        increment_ = std::nearbyint(increment_);
        if (increment_ == 0)
            increment_ = 1;
    }
}

void TValueSpinEdit::SetDecimal(int d)
{
    if (d == decimal_)
        return;
    decimal_ = d;
    SetValue(Value());
}

void TValueSpinEdit::SetArrowKeys(bool v)
{
    arrowKeys_ = v;
    layoutButtons();
}

void TValueSpinEdit::SetButtonKind(TSpinButtonKind k)
{
    if (k == buttonKind_)
        return;
    buttonKind_ = k;
    recreateButtons();
}

void TValueSpinEdit::SetAlignment(Qt::Alignment a)
{
    setAlignment((a & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
}

void TValueSpinEdit::step(double delta, bool up)
{
    if (isReadOnly()) {
        QApplication::beep();
        return;
    }
    changing_ = true;
    const QString before = text();
    try {
        SetValue(Value() + delta);
    } catch (...) {
        changing_ = false;
        throw;
    }
    changing_ = false;
    if (text().compare(before, Qt::CaseInsensitive) != 0) {
        setModified(true);
        if (OnChange)
            OnChange();
    }
    const std::function<void()>& after = up ? OnTopClick : OnBottomClick;
    if (after)
        after();
}

void TValueSpinEdit::UpClick() { step(increment_, true); }
void TValueSpinEdit::DownClick() { step(-increment_, false); }

bool TValueSpinEdit::IsValidChar(QChar key) const
{
    const QString t = text();
    bool valid = key == '+' || key == '-' || (key >= '0' && key <= '9');
    if (valueType_ == vtFloat) {
        const QString sep = QLocale().decimalPoint();
        if (!sep.isEmpty() && key == sep[0] && !t.contains(sep))
            valid = true;
        if ((key == 'E' || key == 'e') && !t.contains(QLatin1Char('E'), Qt::CaseInsensitive))
            valid = true;
    }
    if (valueType_ == vtHex && ((key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f')))
        valid = true;
    const bool control = key.unicode() < 32;
    if (!editorEnabled_)
        return control && key.unicode() != 8;
    return valid || control;
}

void TValueSpinEdit::keyPressEvent(QKeyEvent* e)
{
    if (arrowKeys_ && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) && !(e->modifiers() & Qt::AltModifier)) {
        if (e->key() == Qt::Key_Up)
            UpClick();
        else
            DownClick();
        e->accept();
        return;
    }
    const bool editable = editorEnabled_ && !isReadOnly();
    if ((e->matches(QKeySequence::Cut) || e->matches(QKeySequence::Paste)) && !editable) {
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Delete && !editorEnabled_) {
        QApplication::beep();
        e->accept();
        return;
    }
    const QString t = e->text();
    if (!t.isEmpty() && !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && t[0].unicode() != 127) {
        const QChar key = t[0];
        if (!IsValidChar(key)) {
            QApplication::beep();
            e->accept();
            return;
        }
        // Enter and Esc go on to the dialog as its default and cancel keys.
        if (key == '\r' || key == '\n' || key.unicode() == 27) {
            e->ignore();
            return;
        }
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        e->ignore();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TValueSpinEdit::contextMenuEvent(QContextMenuEvent* e)
{
    // Its cut and paste would change the text behind the steps.
    if (!editorEnabled_) {
        e->accept();
        return;
    }
    QLineEdit::contextMenuEvent(e);
}

void TValueSpinEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    if (autoSelect_ && !(QApplication::mouseButtons() & Qt::LeftButton))
        selectAll();
}

void TValueSpinEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    const double v = Value();
    if (CheckValue(v) != v)
        SetValue(v);
}

int TValueSpinEdit::ButtonWidth() const
{
    if (upDown_)
        return upDown_->width();
    if (spinButton_)
        return spinButton_->width();
    return TValueUpDown::DefaultWidth();
}

int TValueSpinEdit::MinimumEditHeight() const
{
    const int border = QApplication::style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return fontMetrics().height() + 4 * qMax(1, border) + 1;
}

void TValueSpinEdit::recreateButtons()
{
    delete upDown_;
    upDown_ = nullptr;
    delete spinButton_;
    spinButton_ = nullptr;
    if (buttonKind_ == bkStandard) {
        upDown_ = new TValueUpDown(this);
        upDown_->setObjectName(QStringLiteral("UpDown"));
        upDown_->setCursor(Qt::ArrowCursor);
        upDown_->OnClick = [this](bool up) {
            if ((focusPolicy() & Qt::TabFocus) && isEnabled() && isVisible() && !hasFocus())
                setFocus(Qt::MouseFocusReason);
            if (up)
                UpClick();
            else
                DownClick();
        };
        upDown_->setEnabled(isEnabled());
        upDown_->show();
    } else {
        spinButton_ = new TValueSpinButton(this);
        spinButton_->setObjectName(QStringLiteral("SpinButton"));
        spinButton_->setCursor(Qt::ArrowCursor);
        spinButton_->SetFocusControl(this);
        spinButton_->OnTopClick = [this] { UpClick(); };
        spinButton_->OnBottomClick = [this] { DownClick(); };
        spinButton_->setEnabled(isEnabled());
        spinButton_->show();
    }
    layoutButtons();
}

void TValueSpinEdit::layoutButtons()
{
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    const int frame = hasFrame() ? 1 : 0;
    if (upDown_) {
        const int w = TValueUpDown::DefaultWidth();
        upDown_->setGeometry(rtl ? frame : width() - w - frame, frame, w, qMax(1, height() - 2 * frame));
    } else if (spinButton_) {
        const int side = qMax(1, height() - 2 * frame);
        spinButton_->setGeometry(rtl ? frame : width() - side - frame, frame, side, side);
    }
    // The text keeps clear of the buttons.
    const int bw = ButtonWidth();
    if (rtl)
        setTextMargins(bw + 1, 0, 1, 0);
    else
        setTextMargins(0, 0, bw + 2, 0);
}

void TValueSpinEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    const int minimum = MinimumEditHeight();
    if (e->size().height() < minimum) {
        resize(e->size().width(), minimum);
        return;
    }
    layoutButtons();
}

void TValueSpinEdit::changeEvent(QEvent* e)
{
    QLineEdit::changeEvent(e);
    switch (e->type()) {
    case QEvent::EnabledChange:
        if (upDown_)
            upDown_->setEnabled(isEnabled());
        if (spinButton_)
            spinButton_->setEnabled(isEnabled());
        break;
    case QEvent::FontChange:
        if (height() < MinimumEditHeight())
            resize(width(), MinimumEditHeight());
        layoutButtons();
        break;
    case QEvent::LayoutDirectionChange:
    case QEvent::StyleChange: layoutButtons(); break;
    default: break;
    }
}
