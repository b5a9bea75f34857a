// The node manager on a real desktop: a node dragged with the mouse from the main window's
// tree onto the target tree of the node manager moves into the other catalog.
#include "../AppFixture.h"

#include "app/FolderTree.h"
#include "app/TreeFile.h"
#include "app/UnitMove.h"
#include "platform/text/CodePage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {
QString u(const char* s) { return QString::fromUtf8(s); }

QString at(QWidget* viewport, QPoint local)
{
    const QPoint g = viewport->mapToGlobal(local);
    return QString::number(g.x()) + QLatin1Char(' ') + QString::number(g.y());
}
} // namespace

TEST_F(AppTest, ANodeDraggedWithTheMouseOntoTheTargetTreeMoves)
{
    const QString a = makeCatalog("A", platform::toCp1251(u("Корень\r\n\tЗаметка\r\n")));
    write(a + u("Заметка.rtf"), "{\\rtf1 note}");
    const QString b = progFile("B/");
    QDir().mkpath(b);
    write(b + "Menue", "B-root\r\n");
    write(progFile("dir"), "Project1\\\r\nHelp\\\r\nB\\\r\n"); // a catalog of the catalog list
    start();
    FormSlova->Timer1->stop();
    FormSlova->TimerTree->stop();
    FormSlova->resize(500, 400);
    FormSlova->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova));
    FormSlova->RestructFiles();
    FormMove->move(FormSlova->frameGeometry().right() + 40, 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMove));
    FormMove->folders->openAt(b);
    FormMove->FileTree();
    ASSERT_EQ(FormMove->TV->topLevelItemCount(), 1);
    FormSlova->Tree1->expandAll();
    FormSlova->activateWindow();
    // Activation is a request to the window manager; the drag below checks what matters.
    (void)QTest::qWaitForWindowActive(FormSlova, 5000);
    QApplication::processEvents();

    QTreeWidgetItem* source = FormSlova->Tree1->topLevelItem(0)->child(0);
    QWidget* from = FormSlova->Tree1->viewport();
    QWidget* to = FormMove->TV->viewport();
    const QPoint start = FormSlova->Tree1->visualItemRect(source).center();
    const QPoint end = FormMove->TV->visualItemRect(FormMove->TV->topLevelItem(0)).center();
    // One xdotool run for the whole gesture: the drag's own event loop runs meanwhile.
    const QString script = QStringLiteral("mousemove %1 mousedown 1 sleep 0.3 mousemove %2 sleep 0.3 mousemove %3 "
                                          "sleep 0.3 mousemove %4 sleep 0.5 mousemove %5 sleep 0.5 mouseup 1")
                               .arg(at(from, start), at(from, start + QPoint(8, 8)), at(from, start + QPoint(30, 4)),
                                    at(to, end - QPoint(3, 0)), at(to, end));
    QProcess xdo;
    xdo.start(QStringLiteral("xdotool"), script.split(QLatin1Char(' ')));
    ASSERT_TRUE(xdo.waitForStarted(5000));
    QElapsedTimer t;
    t.start();
    // The move ends with the target's tree file: wait for that, not only for the moved note.
    const QByteArray moved = platform::toCp1251(u("B-root\r\n\tЗаметка\r\n"));
    while (t.elapsed() < 60000 && !(QFileInfo::exists(b + u("Заметка.rtf")) && read(b + "Menue") == moved))
        QTest::qWait(50);
    xdo.waitForFinished(30000);
    EXPECT_TRUE(QFileInfo::exists(b + u("Заметка.rtf")))
        << "gesture: " << script.toStdString() << "; main window at " << FormSlova->frameGeometry().x() << ","
        << FormSlova->frameGeometry().y() << ", node manager at " << FormMove->frameGeometry().x() << ","
        << FormMove->frameGeometry().y() << "; messages: " << dialogs->messages().join('|').toStdString();

    EXPECT_EQ(read(b + u("Заметка.rtf")), QByteArray("{\\rtf1 note}"));
    EXPECT_FALSE(QFileInfo::exists(a + u("Заметка.rtf")));
    EXPECT_EQ(read(b + "Menue"), platform::toCp1251(u("B-root\r\n\tЗаметка\r\n")));
    EXPECT_EQ(read(a + "Menue"), platform::toCp1251(u("Корень\r\n")));
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->childCount(), 0);
}
