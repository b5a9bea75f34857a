#pragma once
// The spin edit control TValueSpinEdit: a one-line numeric edit with spin buttons at its side,
// in two kinds: the standard up-down pair (TValueUpDown) and the square button split along its
// diagonal (TValueSpinButton). The property defaults are the constructor's.
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>

class QTimer;
class QToolButton;

enum TValueType { vtInteger, vtFloat, vtHex };
enum TSpinButtonKind { bkStandard, bkDiagonal };
enum TSpinButtonState { sbNotDown, sbTopDown, sbBottomDown };

// The standard kind: a vertical up-down pair in the platform's style that repeats while held.
// Every click is one step; the control keeps no position of its own.
class TValueUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TValueUpDown(QWidget* parent = nullptr);
    // The system's vertical scroll bar width, but at most 15 pixels.
    static int DefaultWidth();
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

    std::function<void(bool up)> OnClick;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QToolButton* up_;
    QToolButton* down_;
};

// The diagonal kind: a square button split from its bottom-left to its top-right corner; the
// upper-left half steps up, the lower-right half down. A held half repeats, first after 400 ms,
// then every 100 ms.
class TValueSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TValueSpinButton(QWidget* parent = nullptr);

    QPixmap UpGlyph() const { return upGlyph_; }
    // A null pixmap brings back the built-in glyph.
    void SetUpGlyph(const QPixmap& glyph);
    QPixmap DownGlyph() const { return downGlyph_; }
    void SetDownGlyph(const QPixmap& glyph);
    QWidget* FocusControl() const { return focusControl_; }
    void SetFocusControl(QWidget* w) { focusControl_ = w; }

    TSpinButtonState Down() const { return down_; }
    TSpinButtonState LastDown() const { return lastDown_; }
    // Null until the first press.
    QTimer* RepeatTimer() const { return repeatTimer_; }
    // The half under a point: bottom when y > h - h/w * x.
    TSpinButtonState HalfAt(const QPointF& p) const;
    // The three images: no half pressed, top pressed, bottom pressed.
    const QImage& StateImage(TSpinButtonState state);

    std::function<void()> OnTopClick;
    std::function<void()> OnBottomClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void setDown(TSpinButtonState s);
    void click(TSpinButtonState half);
    void timerExpired();
    void buildImages();

    QPixmap upGlyph_, downGlyph_;
    QPointer<QWidget> focusControl_;
    TSpinButtonState down_ = sbNotDown;
    TSpinButtonState lastDown_ = sbNotDown;
    bool dragging_ = false;
    bool buttonHeld_ = false;
    QTimer* repeatTimer_ = nullptr;
    QImage images_[3];
    bool imagesValid_ = false;
};

class TValueSpinEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TValueSpinEdit(QWidget* parent = nullptr);

    double Value() const;
    void SetValue(double v);
    TValueType ValueType() const { return valueType_; }
    void SetValueType(TValueType t);
    double MinValue() const { return minValue_; }
    void SetMinValue(double v) { minValue_ = v; }
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double v) { maxValue_ = v; }
    double Increment() const { return increment_; }
    void SetIncrement(double v) { increment_ = v; }
    int Decimal() const { return decimal_; }
    void SetDecimal(int d);
    bool EditorEnabled() const { return editorEnabled_; }
    void SetEditorEnabled(bool v) { editorEnabled_ = v; }
    bool ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(bool v);
    TSpinButtonKind ButtonKind() const { return buttonKind_; }
    void SetButtonKind(TSpinButtonKind k);
    Qt::Alignment Alignment() const { return alignment() & Qt::AlignHorizontal_Mask; }
    void SetAlignment(Qt::Alignment a);
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool v) { autoSelect_ = v; }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool v) { setReadOnly(v); }

    int GetAsInteger() const;
    void SetAsInteger(int v);

    // The buttons of the current kind (one of them is null).
    TValueUpDown* UpDown() const { return upDown_; }
    TValueSpinButton* SpinButton() const { return spinButton_; }
    int ButtonWidth() const;
    int MinimumEditHeight() const;

    // The change event: after every change of the text by the user or by code, but not while
    // a step rewrites the text (a step raises it itself when the text changed).
    std::function<void()> OnChange;
    std::function<void()> OnTopClick;
    std::function<void()> OnBottomClick;

    // The value limited to the range (no limit while MinValue equals MaxValue).
    double CheckValue(double v) const;
    // The character filter and the two steps; subclasses may change them.
    virtual bool IsValidChar(QChar key) const;
    virtual void UpClick();
    virtual void DownClick();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void step(double delta, bool up);
    void recreateButtons();
    void layoutButtons();
    QString format(double v) const;

    TValueType valueType_ = vtInteger;
    double minValue_ = 0, maxValue_ = 0, increment_ = 1;
    int decimal_ = 2;
    bool editorEnabled_ = true, arrowKeys_ = true, autoSelect_ = true;
    TSpinButtonKind buttonKind_ = bkDiagonal;
    bool changing_ = false;
    TValueUpDown* upDown_ = nullptr;
    TValueSpinButton* spinButton_ = nullptr;
};
