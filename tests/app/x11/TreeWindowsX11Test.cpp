// The small tree windows on a real desktop: what a stay-on-top window covers, and what the
// window manager shows of them.
#include "../NodeFixture.h"
#include "X11Input.h"

#include "app/About.h"
#include "app/FolderTree.h"
#include "app/UnitDir.h"
#include "app/UnitICO.h"
#include "app/UnitMove.h"
#include "app/UnitSlova.h"
#include "platform/ui/QtDialogs.h"
#include "web/U_Internet.h"
#include "web/UnitHtmlKategory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QToolButton>

namespace {

bool key(const QString& k) { return xdotoolWhileRunning({"key", k, "sleep", "0.3"}); }

// What a message box shown by `raise` looked like and whether a real click on its OK button
// reached it (a box hidden behind another window does not get the click; it is then closed here).
struct ShownBox {
    QString text;
    QWidget* owner = nullptr;
    bool clicked = false;
};
ShownBox clickOkOfTheBoxThat(const std::function<void()>& raise)
{
    auto scripted = platform::setDialogs(std::make_unique<platform::QtDialogs>());
    ShownBox shown;
    QTimer::singleShot(0, [&shown] {
        QPointer<QMessageBox> box;
        waitFor([&box] { return bool(box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); }, 20000);
        if (!box || !QTest::qWaitForWindowExposed(box))
            return;
        shown.text = box->text();
        shown.owner = box->parentWidget();
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        clickAt(ok->mapToGlobal(ok->rect().center()));
        shown.clicked = waitFor([&box] { return !box || !box->isVisible(); }, 5000);
        if (box && box->isVisible())
            box->reject();
    });
    raise();
    platform::setDialogs(std::move(scripted));
    return shown;
}
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

TEST_F(NodeTest, TheIconPaletteLeavesTheMenuOfAnOpenNoteToTheEditor)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    open("A\r\n\tN\r\n", "1\r\n2\r\n");
    write(cat + "N.rtf", "{\\rtf1 r}");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));
    click(1);
    ASSERT_EQ(FormSlova->EditorShown, 1);
    // A main window with no room beside it on the screen: the palette goes over the tree.
    FormSlova->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(waitFor([] { return FormSlova->isMaximized(); }));
    FormSlova->ICO();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormICO));
    const QByteArray before = read(cat + "Menue_ind");
    QMenuBar* bar = FormEdit->MainMenu;
    QMenu* file = bar->actions().first()->menu();
    const QPoint title = bar->mapToGlobal(bar->actionGeometry(file->menuAction()).center());
    ASSERT_TRUE(clickAt(title));
    EXPECT_TRUE(waitFor([file] { return file->isVisible(); }))
        << "palette at " << FormICO->frameGeometry().x() << "," << FormICO->frameGeometry().y() << " "
        << FormICO->frameGeometry().width() << "x" << FormICO->frameGeometry().height() << "; menu title at "
        << title.x() << "," << title.y();
    EXPECT_EQ(read(cat + "Menue_ind"), before);
    file->close();
}

TEST_F(NodeTest, AWarningOfTheNodeManagerShowsAboveItAndTakesTheClick)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    open("x\r\n");
    write(cat + "x.rtf", "{\\rtf1 mine}");
    const QString b = progFile("B/");
    QDir().mkpath(b);
    write(b + "Menue", "B-root\r\n");
    write(b + "x.rtf", "{\\rtf1 theirs}");
    FormDir->memo1->addItem("B\\"); // a catalog of the catalog list
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));
    FormSlova->RestructFiles();
    // The node manager over the middle of the main window, where a box of the latter would stand.
    const QRect main = FormSlova->frameGeometry();
    FormMove->setGeometry(main.center().x() - 150, main.center().y() - 250, 300, 500);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMove));
    FormMove->folders->openAt(b);
    FormMove->FileTree();
    ASSERT_EQ(FormMove->TV->topLevelItemCount(), 1);
    // A drag from the main tree leaves the main window the active one.
    FormSlova->activateWindow();
    ASSERT_TRUE(waitFor([] { return FormSlova->isActiveWindow(); }));

    const ShownBox box = clickOkOfTheBoxThat([] {
        QTreeWidget* tv = FormMove->TV;
        FormMove->TVDragDrop(0, tv->visualItemRect(tv->topLevelItem(0)).center());
    });
    EXPECT_TRUE(box.text.contains("already exists. Nothing was moved.")) << box.text.toStdString();
    EXPECT_EQ(box.owner, FormMove);
    EXPECT_TRUE(box.clicked);
    EXPECT_EQ(read(cat + "x.rtf"), QByteArray("{\\rtf1 mine}"));
    EXPECT_EQ(read(b + "x.rtf"), QByteArray("{\\rtf1 theirs}"));
}

TEST_F(NodeTest, TheLinkListOpensAboveThePageHeaderEditorWithItsMenuWithinReach)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    open("p\r\n");
    write(cat + "p.htm", "<!-- Keywords=\"k\" -->\r\n<html><a href=\"http://a.example/\">a</a></html>\r\n");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));
    click(0);
    FormHTMLKategory->show(); // Ctrl+K
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormHTMLKategory));
    FormSlova->DownloadAllurls1Click(); // "Load all links"
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormI));
    ASSERT_TRUE(FormHTMLKategory->isVisible());
    // Its last menu item, the one farthest into the middle of the screen.
    QAction* item = FormI->ShowDownloadmanager1;
    ASSERT_TRUE(item->isEnabled());
    QSignalSpy triggered(item, &QAction::triggered);
    QMenuBar* bar = FormI->MainMenu1;
    ASSERT_TRUE(clickAt(bar->mapToGlobal(bar->actionGeometry(item).center())));
    EXPECT_TRUE(waitFor([&triggered] { return triggered.count() == 1; }))
        << "link list at " << FormI->frameGeometry().y() << ", header editor down to "
        << FormHTMLKategory->frameGeometry().bottom();
}

TEST_F(NodeTest, TheAboutBoxTitleBarIsBlank)
{
    if (!testsupport::haveTool(QStringLiteral("xprop")))
        GTEST_SKIP() << "xprop is not installed (scripts/install-deps installs it)";
    open("a\r\n");
    FormSlova->Author();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormA));
    // What the desktop puts in the title bar: the window's names, as the window manager reads them.
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {"-id", QString::number(FormA->winId()), "_NET_WM_NAME", "WM_NAME"});
    ASSERT_TRUE(xprop.waitForFinished(20000));
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
    const QRegularExpression value(QStringLiteral("= \"(.*)\""));
    int names = 0;
    for (auto it = value.globalMatch(out); it.hasNext(); ++names)
        EXPECT_TRUE(it.next().captured(1).trimmed().isEmpty()) << out.toStdString();
    EXPECT_EQ(names, 2) << out.toStdString();
}
