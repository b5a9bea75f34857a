// A node dragged with the mouse on a real desktop: pressed, moved and released by xdotool over
// the main window's tree.
#include "../NodeFixture.h"
#include "X11Input.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace {
QString n(int v) { return QString::number(v); }
} // namespace

TEST_F(NodeTest, DraggingANodeOntoAnotherMakesItItsLastChild)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    open("A\r\n\tA1\r\nB\r\nC\r\n\tC1\r\n");
    FormSlova->resize(700, 500);
    FormSlova->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));
    tree()->expandAll();
    QCoreApplication::processEvents();
    const QPoint from = tree()->viewport()->mapToGlobal(tree()->visualItemRect(node(3)).center());
    const QPoint to = tree()->viewport()->mapToGlobal(tree()->visualItemRect(node(0)).center());
    // Press on C, move far enough to start a drag, then over A, and release.
    ASSERT_TRUE(xdotoolWhileRunning({"mousemove", n(from.x()), n(from.y()), "sleep", "0.3", "mousedown", "1", "sleep",
                                     "0.2", "mousemove", n(from.x() + 4), n(from.y() - 8), "sleep", "0.2", "mousemove",
                                     n(to.x()), n(to.y() + 4), "sleep", "0.3", "mousemove", n(to.x()), n(to.y()), "sleep",
                                     "0.3", "mouseup", "1", "sleep", "0.3"}));
    QDeadlineTimer deadline(60000);
    while (read(cat + "Menue") != QByteArray("A\r\n\tA1\r\n\tC\r\n\t\tC1\r\nB\r\n") && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\n\tA1\r\n\tC\r\n\t\tC1\r\nB\r\n"));
    EXPECT_EQ(texts(), (QStringList{"A", "A1", "C", "C1", "B"}));
}
