#include "NodeFixture.h"

#include "app/UnitMove.h"
#include "platform/web/WebEngineBrowser.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QTest>
#include <QToolBar>

TEST_F(NodeTest, APageNodeShowsItsHtmlFileInThePane)
{
    open("A\r\n\tP\r\n\tN\r\n");
    write(cat + "P.htm", "h");
    write(cat + "P.html", "<html>");
    FormSlova->ButtonReturn->setVisible(true);
    click(1);
    EXPECT_EQ(FormSlova->CurrentFile, cat + "P.html");
    EXPECT_TRUE(FormSlova->PanelWeb->isVisible());
    EXPECT_FALSE(FormSlova->PanelEditor->isVisible());
    EXPECT_TRUE(FormSlova->n_i1->isEnabled());
    EXPECT_TRUE(FormSlova->n_i4->isEnabled());
    EXPECT_FALSE(FormSlova->ButtonReturn->isVisible());
    ASSERT_EQ(browser()->navigations.size(), 1);
    EXPECT_EQ(browser()->navigations.at(0).toLocalFile(), cat + "P.html");
    // A note hides the pane and disables the page's commands again.
    click(2);
    EXPECT_FALSE(FormSlova->PanelWeb->isVisible());
    EXPECT_TRUE(FormSlova->PanelEditor->isVisible());
    EXPECT_FALSE(FormSlova->n_i1->isEnabled());
    EXPECT_EQ(FormSlova->EditorShown, 1);
    EXPECT_EQ(browser()->navigations.size(), 1);
}

TEST_F(NodeTest, ANoteTakesItsTxtFileBeforeItsRtf)
{
    open("A\r\n\tN\r\n\tB\r\n");
    node(2)->setText(0, "   "); // a tree file cannot hold it: its blanks would count as indentation
    write(cat + "N.rtf", "r");
    write(cat + "N.txt", "t");
    click(1);
    EXPECT_EQ(FormSlova->CurrentFile, cat + "N.txt");
    EXPECT_EQ(FormEdit->EditorFileName, cat + "N.txt");
    EXPECT_EQ(noteText().trimmed(), "t");
    EXPECT_EQ(FormEdit->windowTitle(), "N");
    // Clicking the open node again opens nothing more; a node of blanks opens nothing.
    click(1);
    click(2);
    EXPECT_EQ(FormEdit->EditorFileName, cat + "N.txt");
    EXPECT_EQ(FormSlova->CurrentNodeText, "N");
    EXPECT_EQ(FormSlova->CurrentIndex, 2);
}

TEST_F(NodeTest, FileNameReadsBackTheCyrillicTextAndTheManagerStopsThePanes)
{
    open(QByteArray("A\r\n\t\xC7\xE0\xEC\xE5\xF2\xEA\xE0\r\n\tP\r\n"));
    write(cat + "P.htm", "<html>");
    FormMove->show();
    click(2);
    EXPECT_EQ(FormSlova->CurrentFile, cat + "P.htm");
    EXPECT_EQ(reg.readString("FileName", ""), "P");
    EXPECT_FALSE(FormSlova->PanelWeb->isVisible());
    EXPECT_TRUE(browser()->navigations.isEmpty());
    click(1);
    EXPECT_EQ(reg.readString("FileName", ""), QString::fromUtf8("Заметка"));
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    EXPECT_FALSE(FormEdit->isVisible());
    FormMove->hide();
}

TEST_F(NodeTest, AModifiedNoteIsSavedBeforeTheNextOneAndStaysWhenItCannotBe)
{
    open("A\r\n\tN\r\n\tM\r\n\tL\r\n");
    write(cat + "L.txt", "ell");
    click(1);
    typeIntoNote("typed in N");
    click(2);
    EXPECT_TRUE(read(cat + "N.rtf").contains("typed in N"));
    EXPECT_EQ(FormEdit->EditorFileName, cat + "M.rtf");
    // The save fails (a folder stands where the note goes): L is not loaded, M's text stays.
    typeIntoNote("typed in M");
    QDir().mkpath(cat + "M.rtf");
    dialogs->clear();
    click(3);
    EXPECT_FALSE(dialogs->messages().isEmpty());
    EXPECT_EQ(FormEdit->EditorFileName, cat + "M.rtf");
    EXPECT_TRUE(noteText().contains("typed in M"));
    EXPECT_EQ(FormSlova->CurrentNodeText, "M");
    EXPECT_EQ(FormSlova->CurrentIndex, 2);
    EXPECT_EQ(tree()->currentItem(), node(2));
    EXPECT_EQ(reg.readString("FileName", ""), "M");
    // In read-only mode the changes are not saved when the next note is loaded.
    QDir(cat + "M.rtf").removeRecursively();
    setReadOnly();
    click(3);
    EXPECT_FALSE(QFileInfo::exists(cat + "M.rtf"));
    EXPECT_EQ(FormEdit->EditorFileName, cat + "L.txt");
    EXPECT_EQ(noteText().trimmed(), "ell");
}

TEST_F(NodeTest, ANoteThatCannotBeReadTakesNoTypingForTheNoteBefore)
{
    open("A\r\n\tN\r\n\tF\r\n\tM\r\n");
    write(cat + "N.rtf", "{\\rtf1 first}");
    // A file that opens but cannot be read (a folder of that name is no note at all).
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), cat + "F.txt"));
    click(1);
    const QByteArray before = read(cat + "N.rtf");
    click(2);
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_FALSE(dialogs->messages().at(0).isEmpty());
    EXPECT_EQ(noteText(), "");
    typeIntoNote("typed");
    EXPECT_EQ(noteText(), "");
    click(3);
    EXPECT_EQ(read(cat + "N.rtf"), before);
    EXPECT_FALSE(QFileInfo::exists(cat + "M.rtf"));
    EXPECT_EQ(dialogs->messages().size(), 1);
    // The next note takes typing again.
    typeIntoNote("m");
    EXPECT_EQ(noteText(), "m");
}

TEST_F(NodeTest, TheExternalEditorGetsTheRtfFileOrAMessage)
{
    open("A\r\n\tN\r\n\tT\r\n");
    write(cat + "N.rtf", "r");
    write(cat + "T.txt", "t");
    FormSlova->N_exEditor->setChecked(true);
    click(1);
    ASSERT_EQ(launch->calls.size(), 1);
    EXPECT_EQ(launch->calls.at(0).program, "WordProcessor");
    EXPECT_EQ(launch->calls.at(0).args, QStringList{cat + "N.rtf"});
    EXPECT_EQ(FormSlova->WordInUse, 1);
    click(2);
    EXPECT_EQ(launch->calls.size(), 1);
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).contains(cat + "T.rtf"));
    // A note left modified in the editor: Cancel keeps it, and its node stays the current one,
    // so that the next click on N asks again and hands N over.
    FormSlova->N_exEditor->setChecked(false);
    click(0);
    click(2);
    typeIntoNote("more");
    FormSlova->N_exEditor->setChecked(true);
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    click(1);
    EXPECT_EQ(launch->calls.size(), 1);
    EXPECT_EQ(FormSlova->CurrentNodeText, "T");
    EXPECT_EQ(tree()->currentItem(), node(2));
    EXPECT_EQ(FormEdit->windowTitle(), "T");
    dialogs->pushAnswer(platform::MsgResult::No);
    click(1);
    EXPECT_EQ(dialogs->messages(), QStringList(2, "Save changes to " + cat + "T.txt?"));
    ASSERT_EQ(launch->calls.size(), 2);
    EXPECT_EQ(launch->calls.at(1).args, QStringList{cat + "N.rtf"});
    EXPECT_EQ(read(cat + "T.txt"), QByteArray("t"));
}

TEST_F(NodeTest, ACatalogLoadForgetsTheNodeLastOpened)
{
    open("Menue\r\n\tx\r\n");
    write(cat + "Menue.htm", "<html>");
    click(0);
    EXPECT_EQ(browser()->navigations.size(), 1);
    const QString other = makeCatalog("Project2", "Menue\r\n\ty\r\n");
    write(other + "Menue.htm", "<html>");
    FormSlova->ProjectPath = other;
    FormSlova->LoadMenue();
    EXPECT_FALSE(FormSlova->PanelWeb->isVisible());
    EXPECT_TRUE(FormSlova->CurrentNodeText.isEmpty());
    click(0);
    ASSERT_EQ(browser()->navigations.size(), 2);
    EXPECT_EQ(browser()->navigations.at(1).toLocalFile(), other + "Menue.htm");
}

TEST_F(NodeTest, TheRealBrowserShowsThePageNamedWithSpecialCharacters)
{
    platform::setBrowserFactory({});
    cat = makeCatalog("Project1", QByteArray("A\r\n\tP\r\n\tC# 100% \xE0?\r\n"));
    write(cat + "P.htm", "<html><head><title>htm</title></head></html>");
    write(cat + "P.html", "<html><head><title>html</title></head><body>\xCF\xF0\xE8</body></html>");
    write(cat + QString::fromUtf8("C# 100% а?.html"), "<html><head><title>special</title></head></html>");
    write(cat + "C", "<html><head><title>wrong</title></head></html>");
    startHere();
    auto* wb = qobject_cast<platform::WebEngineBrowser*>(FormSlova->WB1);
    ASSERT_NE(wb, nullptr);
    click(1);
    ASSERT_TRUE(wb->waitLoaded(60000)) << wb->url().toString().toStdString();
    EXPECT_EQ(wb->url().toLocalFile(), cat + "P.html");
    EXPECT_EQ(wb->title(), "html");
    EXPECT_EQ(wb->runScript("document.body.innerText", 60000).toString().trimmed(), QString::fromUtf8("При"));
    click(2);
    ASSERT_TRUE(wb->waitLoaded(60000)) << wb->url().toString().toStdString();
    EXPECT_EQ(wb->url().toLocalFile(), cat + QString::fromUtf8("C# 100% а?.html"));
    EXPECT_EQ(wb->title(), "special");
}

TEST_F(NodeTest, AClickInTheTreeAndTheCommandsReachTheirHandlers)
{
    open("A\r\n\tP\r\n");
    write(cat + "P.htm", "<html>");
    tree()->expandAll();
    QCoreApplication::processEvents();
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(node(1)).center());
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    ASSERT_EQ(browser()->navigations.size(), 1);
    EXPECT_EQ(browser()->navigations.at(0).toLocalFile(), cat + "P.htm");

    auto trigger = [](const QList<QAction*>& actions, const QString& text) {
        for (QAction* a : actions)
            if (a->text() == text)
                a->trigger();
    };
    select(0);
    trigger(FormSlova->StandardToolBar->actions(), "Add node");
    EXPECT_EQ(texts(), (QStringList{"A", "", "P"}));
    FormSlova->Panel1->hide();
    select(2);
    trigger(FormSlova->PopupTree->actions(), "Move node Up");
    EXPECT_EQ(texts(), (QStringList{"A", "P", ""}));
    trigger(FormSlova->PopupTree->actions(), "Rename node");
    EXPECT_TRUE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(FormSlova->wrd->text(), "P");
    // In-place editing stays off: a double click does not open an editor in the tree.
    EXPECT_EQ(tree()->editTriggers(), QAbstractItemView::NoEditTriggers);
}
