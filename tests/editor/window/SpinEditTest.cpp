// The spin edit: values, the character filter, the steps and both kinds of buttons.
#include "editor/ValueSpin.h"
#include "platform/base/Exception.h"
#include "platform/dialogs/Dialogs.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLocale>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <climits>

namespace {

void keys(QWidget* w, const QString& text)
{
    for (QChar c : text)
        QTest::keyClick(w, c.toLatin1());
}

void mouse(QWidget* w, QEvent::Type type, QPoint at)
{
    const bool move = type == QEvent::MouseMove;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w->mapToGlobal(at), move ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST(SpinEdit, ValuesAreParsedFormattedAndLimitedByType)
{
    TValueSpinEdit e;
    EXPECT_EQ(e.text(), "0");
    EXPECT_EQ(e.ValueType(), vtInteger);
    EXPECT_EQ(e.ButtonKind(), bkDiagonal);
    EXPECT_EQ(e.Increment(), 1);
    EXPECT_EQ(e.Decimal(), 2);
    e.SetValue(2.5);
    EXPECT_EQ(e.text(), "2");
    e.SetValue(3.5);
    EXPECT_EQ(e.text(), "4");
    e.SetValue(-123456);
    EXPECT_EQ(e.Value(), -123456); // no limits while both are 0
    e.setText("12.7");
    e.SetMinValue(3);
    e.SetMaxValue(9);
    EXPECT_EQ(e.Value(), 3);
    e.SetValue(50);
    EXPECT_EQ(e.text(), "9");
    e.SetValue(1e30);
    EXPECT_EQ(e.text(), "9");
    e.SetMaxValue(0);
    e.SetMinValue(0);
    e.SetValue(1e300);
    EXPECT_EQ(e.text(), "9223372036854775807");
    EXPECT_EQ(e.GetAsInteger(), INT_MAX);
    e.SetValue(-1e300);
    EXPECT_EQ(e.GetAsInteger(), INT_MIN);

    TValueSpinEdit hex;
    hex.SetValueType(vtHex);
    hex.setText("ff");
    EXPECT_EQ(hex.Value(), 255);
    hex.SetValue(255);
    EXPECT_EQ(hex.text(), "FF");
    hex.setText("xyz");
    EXPECT_EQ(hex.Value(), 0);

    TValueSpinEdit f;
    f.SetValueType(vtFloat);
    f.setText("-2.5");
    EXPECT_EQ(f.GetAsInteger(), -2);
    f.SetValue(1.0 / 3);
    EXPECT_EQ(f.text(), "0.33");
    f.SetDecimal(4); // the shown value is read and written again
    EXPECT_EQ(f.text(), "0.3300");
    f.SetIncrement(0.4);
    f.SetValueType(vtInteger);
    EXPECT_EQ(f.Increment(), 1);
    EXPECT_EQ(f.text(), "0");
    f.SetValueType(vtFloat);
    f.SetIncrement(2.6);
    f.SetValueType(vtHex);
    EXPECT_EQ(f.Increment(), 3);
}

TEST(SpinEdit, TypedCharactersAreFilteredByType)
{
    TValueSpinEdit e;
    e.setText("");
    keys(&e, "1a2B+-x");
    EXPECT_EQ(e.text(), "12+-");
    e.SetValueType(vtHex);
    e.setText("");
    keys(&e, "1aFgz");
    EXPECT_EQ(e.text(), "1aF");

    TValueSpinEdit f;
    f.SetValueType(vtFloat);
    f.setText("");
    keys(&f, "1.5.2e3E4");
    EXPECT_EQ(f.text(), "1.52e34");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    f.setText("");
    keys(&f, "1,5,.2");
    EXPECT_EQ(f.text(), "1,52");
    EXPECT_DOUBLE_EQ(f.Value(), 1.52);
    f.SetValue(2.25);
    EXPECT_EQ(f.text(), "2,25");
    QLocale::setDefault(QLocale::c());

    // Without the editor the text changes only through steps.
    TValueSpinEdit locked;
    locked.SetEditorEnabled(false);
    keys(&locked, "5");
    QTest::keyClick(&locked, Qt::Key_Backspace);
    EXPECT_EQ(locked.text(), "0");
    QTest::keyClick(&locked, Qt::Key_Up);
    EXPECT_EQ(locked.text(), "1");
    mouse(locked.SpinButton(), QEvent::MouseButtonPress, QPoint(2, 2));
    mouse(locked.SpinButton(), QEvent::MouseButtonRelease, QPoint(2, 2));
    EXPECT_EQ(locked.text(), "2");
    locked.SetArrowKeys(false);
    QTest::keyClick(&locked, Qt::Key_Up);
    EXPECT_EQ(locked.text(), "2");
}

TEST(SpinEdit, StepsRaiseTheirEventsAndTheChangeEventOnlyForNewText)
{
    TValueSpinEdit e;
    e.SetMinValue(0);
    e.SetMaxValue(2);
    int changes = 0, tops = 0, bottoms = 0;
    e.OnChange = [&] { ++changes; };
    e.OnTopClick = [&] { ++tops; };
    e.OnBottomClick = [&] { ++bottoms; };
    e.UpClick();
    e.UpClick();
    EXPECT_EQ(e.text(), "2");
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(e.isModified());
    e.UpClick(); // at the limit: nothing changed, the top click all the same
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(tops, 3);
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_EQ(e.text(), "1");
    EXPECT_EQ(bottoms, 1);
    EXPECT_EQ(changes, 3);
    e.setText("2");
    EXPECT_EQ(changes, 4); // typing and code changes count too

    TValueSpinEdit hex;
    hex.SetValueType(vtHex);
    hex.setText("a");
    int hexChanges = 0;
    hex.OnChange = [&] { ++hexChanges; };
    hex.SetIncrement(0);
    hex.UpClick(); // "a" becomes "A": the same text but for case
    EXPECT_EQ(hex.text(), "A");
    EXPECT_EQ(hexChanges, 0);

    TValueSpinEdit ro;
    ro.setText("7");
    ro.SetReadOnly(true);
    int roTops = 0;
    ro.OnTopClick = [&] { ++roTops; };
    ro.UpClick();
    EXPECT_EQ(ro.text(), "7");
    EXPECT_EQ(roTops, 0);
}

TEST(SpinEdit, LeavingTheFieldLimitsItsValue)
{
    QWidget w;
    auto* e = new TValueSpinEdit(&w);
    auto* other = new TValueSpinEdit(&w);
    other->move(0, 40);
    e->SetMaxValue(2147483647.0);
    w.show();
    QApplication::setActiveWindow(&w);
    e->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    e->selectAll();
    keys(e, "-5");
    EXPECT_EQ(e->text(), "-5");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(e->text(), "0");
    // Entering selects everything.
    e->setText("123");
    e->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(e->selectedText(), "123");
}

TEST(SpinEdit, TheDiagonalButtonPressesAHalfAndRepeatsWhileHeld)
{
    TValueSpinButton fresh;
    EXPECT_EQ(fresh.size(), QSize(20, 20));

    TValueSpinButton b;
    b.resize(40, 20);
    int tops = 0, bottoms = 0;
    b.OnTopClick = [&] { ++tops; };
    b.OnBottomClick = [&] { ++bottoms; };
    EXPECT_EQ(b.HalfAt(QPointF(30, 8)), sbBottomDown);
    EXPECT_EQ(b.HalfAt(QPointF(5, 8)), sbTopDown);
    mouse(&b, QEvent::MouseButtonPress, QPoint(30, 8));
    EXPECT_EQ(bottoms, 1);
    EXPECT_EQ(tops, 0);
    EXPECT_EQ(b.Down(), sbBottomDown);
    ASSERT_NE(b.RepeatTimer(), nullptr);
    EXPECT_EQ(b.RepeatTimer()->interval(), 400);
    EXPECT_TRUE(b.RepeatTimer()->isActive());
    MV_WAIT_FOR((bottoms) == (2), 5000);
    EXPECT_EQ(b.RepeatTimer()->interval(), 100);
    MV_WAIT_FOR((bottoms) == (3), 5000);
    // Dragged off: no half shows pressed and the ticks click nothing.
    mouse(&b, QEvent::MouseMove, QPoint(5, 2));
    EXPECT_EQ(b.Down(), sbNotDown);
    const int now = bottoms;
    QTest::qWait(250);
    EXPECT_EQ(bottoms, now);
    mouse(&b, QEvent::MouseMove, QPoint(80, 8));
    EXPECT_EQ(b.Down(), sbNotDown);
    // Back over the half first pressed.
    mouse(&b, QEvent::MouseMove, QPoint(35, 15));
    EXPECT_EQ(b.Down(), sbBottomDown);
    MV_WAIT_FOR(bottoms > now, 5000);
    mouse(&b, QEvent::MouseButtonRelease, QPoint(35, 15));
    EXPECT_EQ(b.Down(), sbNotDown);
    EXPECT_EQ(b.LastDown(), sbNotDown);
    EXPECT_EQ(tops, 0);
    // The three images differ only where a half is sunken.
    EXPECT_NE(b.StateImage(sbNotDown), b.StateImage(sbTopDown));
    EXPECT_NE(b.StateImage(sbTopDown), b.StateImage(sbBottomDown));
}

TEST(SpinEdit, AnErrorOfAClickHandlerStopsTheRepeatAndIsReported)
{
    platform::ScopedScriptedDialogs dialogs;
    TValueSpinButton b;
    b.OnTopClick = [] { throw platform::Exception("step failed"); };
    mouse(&b, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(dialogs->messages(), QStringList{"step failed"});
    ASSERT_NE(b.RepeatTimer(), nullptr);
    EXPECT_FALSE(b.RepeatTimer()->isActive());
    EXPECT_EQ(b.Down(), sbNotDown);
}

TEST(SpinEdit, ButtonsKeepOutOfTheTextOnEitherSide)
{
    TValueSpinEdit e;
    e.resize(100, 30);
    e.show();
    QApplication::processEvents();
    ASSERT_NE(e.SpinButton(), nullptr);
    EXPECT_EQ(e.UpDown(), nullptr);
    EXPECT_GE(e.textMargins().right(), e.SpinButton()->width());
    EXPECT_GT(e.SpinButton()->x(), 50);
    e.setLayoutDirection(Qt::RightToLeft);
    QApplication::processEvents();
    EXPECT_LT(e.SpinButton()->x(), 5);
    EXPECT_GE(e.textMargins().left(), e.SpinButton()->width());
    e.setLayoutDirection(Qt::LeftToRight);

    e.SetButtonKind(bkStandard);
    ASSERT_NE(e.UpDown(), nullptr);
    EXPECT_EQ(e.SpinButton(), nullptr);
    EXPECT_LE(e.UpDown()->width(), 15);
    EXPECT_GE(e.textMargins().right(), e.UpDown()->width());
    QTest::mouseClick(e.UpDown()->UpButton(), Qt::LeftButton);
    EXPECT_EQ(e.text(), "1");
    QTest::mouseClick(e.UpDown()->DownButton(), Qt::LeftButton);
    QTest::mouseClick(e.UpDown()->DownButton(), Qt::LeftButton);
    EXPECT_EQ(e.text(), "-1");

    e.resize(100, 4);
    EXPECT_EQ(e.height(), e.MinimumEditHeight());
    e.setEnabled(false);
    EXPECT_FALSE(e.UpDown()->isEnabled());
    e.SetAlignment(Qt::AlignRight);
    EXPECT_EQ(e.Alignment(), Qt::AlignRight);
}
