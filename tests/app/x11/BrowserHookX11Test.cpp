// The right-click rule for browsers and the tree's keys on a real X desktop: the button and keys
// come from xdotool through the X server, as a user's would.
#include "../NodeFixture.h"
#include "X11Input.h"

#include "app/UnitICO.h"
#include "platform/web/WebEngineBrowser.h"
#include "web/U_Internet.h"

#include <QApplication>
#include <QMenu>

namespace {

QString n(int v) { return QString::number(v); }

// A page, and a listener of the test's own (pages from disk run no scripts) that counts every
// right button and context menu request the page sees, and its left buttons apart.
const QByteArray kCountingPage = "<html><body style=\"margin:0;height:100vh\"><p>Page text</p></body></html>";
const QString kCounter = QStringLiteral(
    "window.seen = 0; window.left = 0;"
    "document.addEventListener('mousedown', function (e) {"
    " if (e.button == 2) window.seen++; else window.left++; }, true);"
    "document.addEventListener('mouseup', function (e) { if (e.button == 2) window.seen++; }, true);"
    "document.addEventListener('contextmenu', function (e) { window.seen++; }, true); true");

class BrowserHookX11Test : public NodeTest {
protected:
    BrowserHookX11Test() { platform::setBrowserFactory({}); }

    void SetUp() override
    {
        if (!testsupport::haveTool(QStringLiteral("xdotool")))
            GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
        open("A\r\n\tP\r\n\tQ\r\n");
        write(cat + "P.htm", kCountingPage);
        FormSlova->resize(800, 600);
        FormSlova->raise();
        FormSlova->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 10000));
        tree()->expandAll();
        click(1);
        ASSERT_TRUE(FormSlova->WB1->waitLoaded(20000));
        ASSERT_TRUE(FormSlova->WB1->runScript(kCounter).toBool());
        QCoreApplication::processEvents();
    }
    int seen() { return FormSlova->WB1->runScript("window.seen").toInt(); }
    QPoint centre(QWidget* w) { return w->mapToGlobal(w->rect().center()); }
    bool rightClick(QPoint p)
    {
        return xdotoolWhileRunning({"mousemove", n(p.x()), n(p.y()), "sleep", "0.3", "click", "3", "sleep", "0.3"});
    }
    void closePopups()
    {
        while (QWidget* p = QApplication::activePopupWidget())
            p->close();
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST_F(BrowserHookX11Test, ARightClickShowsTheAssignedMenuAndNeverReachesThePage)
{
    const QPoint p = centre(FormSlova->WB1);
    ASSERT_TRUE(rightClick(p));
    ASSERT_TRUE(waitFor([] { return FormSlova->PopupWeb->isVisible(); }));
    EXPECT_LE((FormSlova->PopupWeb->geometry().topLeft() - p).manhattanLength(), 8)
        << FormSlova->PopupWeb->geometry().x() << "," << FormSlova->PopupWeb->geometry().y() << " vs " << p.x() << ","
        << p.y();
    closePopups();
    EXPECT_EQ(seen(), 0);

    // Over the tree: the tree menu.
    const QPoint t = tree()->viewport()->mapToGlobal(tree()->visualItemRect(node(2)).center());
    ASSERT_TRUE(rightClick(t));
    ASSERT_TRUE(waitFor([] { return FormSlova->PopupTree->isVisible(); }));
    EXPECT_FALSE(FormSlova->PopupWeb->isVisible());
    closePopups();

    // From the keyboard over the page: the page menu too, and the page sees no request.
    ASSERT_TRUE(xdotoolWhileRunning({"mousemove", n(p.x()), n(p.y()), "sleep", "0.2", "click", "1", "sleep", "0.3",
                                     "key", "shift+F10", "sleep", "0.3"}));
    ASSERT_TRUE(waitFor([] { return FormSlova->PopupWeb->isVisible(); }));
    closePopups();
    EXPECT_EQ(seen(), 0);
    // The left click reached the page: the count sees what the page sees.
    EXPECT_GT(FormSlova->WB1->runScript("window.left").toInt(), 0);
}

TEST_F(BrowserHookX11Test, ABrowserWithoutAMenuShowsNone)
{
    // The link list's browser has no menu of its own.
    FormI->resize(500, 400);
    FormI->show();
    FormI->raise();
    FormI->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormI, 10000));
    platform::BrowserControl* other = FormI->WB1;
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(other->popupMenu(), nullptr);
    other->setVisible(true);
    other->navigateFile(cat + "P.htm");
    ASSERT_TRUE(other->waitLoaded(20000));
    ASSERT_TRUE(other->runScript(kCounter).toBool());
    QCoreApplication::processEvents();
    ASSERT_TRUE(other->isVisible());
    ASSERT_TRUE(rightClick(centre(other)));
    // Some time for a menu that should not come.
    waitFor([] { return QApplication::activePopupWidget() != nullptr; }, 1500);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(other->runScript("window.seen").toInt(), 0);
    closePopups();
}

TEST_F(BrowserHookX11Test, KeysInTheTreeDoOnlyTheirCommands)
{
    FormSlova->activateWindow();
    tree()->setFocus();
    ASSERT_TRUE(waitFor([this] { return QApplication::focusWidget() == tree() && FormSlova->isActiveWindow(); }));
    select(2);
    ASSERT_TRUE(xdotoolWhileRunning({"key", "Down", "Up", "Home", "End", "Next", "a", "plus", "minus", "F2", "sleep",
                                     "0.3"}));
    EXPECT_EQ(tree()->currentItem(), node(2));
    EXPECT_TRUE(node(0)->isExpanded());
    ASSERT_TRUE(xdotoolWhileRunning({"key", "Tab", "sleep", "0.3"}));
    ASSERT_TRUE(waitFor([] { return FormICO->isVisible(); }));
    FormSlova->activateWindow();
    waitFor([this] { return QApplication::focusWidget() == tree(); }, 3000);
    EXPECT_EQ(QApplication::focusWidget(), tree());
}
