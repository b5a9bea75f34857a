// The small tree windows on a real desktop: what a stay-on-top window covers, and what the
// window manager shows of them.
#include "../NodeFixture.h"
#include "X11Input.h"

#include "app/UnitICO.h"
#include "app/UnitSlova.h"

#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

namespace {
QString n(int v) { return QString::number(v); }

bool clickAt(QPoint global)
{
    return xdotoolWhileRunning({"mousemove", n(global.x()), n(global.y()), "sleep", "0.3", "click", "1", "sleep", "0.3"});
}
bool key(const QString& k) { return xdotoolWhileRunning({"key", k, "sleep", "0.3"}); }
} // namespace

TEST_F(NodeTest, TheIconPaletteLeavesTheMenuBarToTheMainWindowAndClosesWithEscOrItsButton)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    open("a\r\nb\r\n", "1\r\n2\r\n");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));
    select(1);
    FormSlova->Tree1->setFocus();
    FormSlova->activateWindow();
    ASSERT_TRUE(waitFor([] { return FormSlova->isActiveWindow(); }));

    // Tab in the tree shows the palette; Esc closes it.
    ASSERT_TRUE(key("Tab"));
    ASSERT_TRUE(waitFor([] { return FormICO->isVisible() && FormICO->isActiveWindow(); }));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([] { return !FormICO->isVisible(); }));

    // With the palette shown, a click on the menu opens the menu and assigns no icon.
    FormSlova->ICO();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormICO));
    const QByteArray before = read(cat + "Menue_ind");
    QMenuBar* bar = FormSlova->menuBar();
    const QPoint title = bar->mapToGlobal(bar->actionGeometry(FormSlova->MenuTree->menuAction()).center());
    ASSERT_TRUE(clickAt(title));
    EXPECT_TRUE(waitFor([] { return FormSlova->MenuTree->isVisible(); }))
        << "palette at " << FormICO->frameGeometry().x() << "," << FormICO->frameGeometry().y() << " "
        << FormICO->frameGeometry().width() << "x" << FormICO->frameGeometry().height() << "; menu title at "
        << title.x() << "," << title.y();
    EXPECT_EQ(treefile::imageIndex(node(1)), 2);
    EXPECT_EQ(read(cat + "Menue_ind"), before);
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([] { return !FormSlova->MenuTree->isVisible(); }));

    // Its own close button closes it too.
    ASSERT_TRUE(FormICO->isVisible());
    ASSERT_TRUE(clickAt(FormICO->mapToGlobal(QPoint(FormICO->width()-5,20))));
    EXPECT_TRUE(waitFor([] { return !FormICO->isVisible(); }));
    EXPECT_EQ(read(cat + "Menue_ind"), before);
}
