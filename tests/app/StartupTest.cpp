#include "AppFixture.h"

#include "app/About.h"
#include "app/TreeFile.h"
#include "app/UnitDir.h"
#include "app/UnitHistory.h"
#include "editor/REMain.h"
#include "web/Unit_kyes.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

TEST_F(AppTest, FirstRunCreatesTheDefaultFilesBesideTheProgram)
{
    start();
    EXPECT_EQ(read(progFile("dir")), QByteArray("Project1\\\r\nHelp\\\r\n"));
    EXPECT_EQ(read(progFile("menue_clear")), QByteArray("Menue\r\n"));
    EXPECT_TRUE(QFileInfo(progFile("temp")).isDir());
    EXPECT_TRUE(QFileInfo(progFile("Help")).isDir());
    EXPECT_TRUE(QFileInfo(progFile("Project1/temp")).isDir());
    EXPECT_EQ(FormSlova->ProjectPath, progFile("Project1/"));
    EXPECT_EQ(FormSlova->windowTitle(), progFile("Project1/"));
    EXPECT_TRUE(QFileInfo::exists(progFile("Project1/StopList")));
    EXPECT_EQ(read(progFile("Project1/StopList")), QByteArray());
    EXPECT_EQ(read(progFile("Project1/CurrentMenue")), QByteArray("Menue\r\n"));
    EXPECT_EQ(read(progFile("Project1/Menue")), QByteArray("Menue\r\n"));
    EXPECT_EQ(read(progFile("Project1/Menue_ind")), QByteArray("0\r\n"));
    // The catalog was switched after the folders were made: its deleteditems/ comes next time.
    EXPECT_FALSE(QFileInfo::exists(progFile("Project1/deleteditems")));
    EXPECT_EQ(reg.readString("ShowDirForm", "="), "1");
    EXPECT_EQ(reg.readString("ShowWordsForm", "="), "1");
    // The next start opens the same catalog, not the program folder.
    EXPECT_EQ(reg.readString("path", ""), progFile("Project1/"));

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(FormSlova->width(), screen.width() / 4 * 3);
    EXPECT_EQ(FormSlova->height(), screen.height() / 4 * 3);
    EXPECT_EQ(FormSlova->pos(), QPoint(0, 0));
    ASSERT_EQ(FormSlova->Tree1->topLevelItemCount(), 1);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "Menue");
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(FormSlova->CurrentLayer, "Menue");
    EXPECT_TRUE(dialogs->messages().isEmpty());
    FormSlova->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(FormSlova->Tree1->width(), 180);

    stop();
    EXPECT_EQ(reg.readInteger("formSlova_tree_width", 0), 180);
    EXPECT_EQ(reg.readInteger("formSlova_width", 0), screen.width() / 4 * 3);
    EXPECT_EQ(reg.readInteger("index2", -1), 0);
    // One node: nothing of the tree is written back, and the catalog list stays as it was.
    EXPECT_EQ(read(progFile("dir")), QByteArray("Project1\\\r\nHelp\\\r\n"));
    EXPECT_EQ(read(progFile("Project1/Menue")), QByteArray("Menue\r\n"));
    EXPECT_EQ(read(progFile("Project1/CurrentMenue")), QByteArray("Menue\r\n"));
    EXPECT_FALSE(QFileInfo::exists(progFile("Project1/currentmenue")));

    // The next start opens the same catalog and completes it.
    start();
    EXPECT_EQ(FormSlova->ProjectPath, progFile("Project1/"));
    FormSlova->ProjectPath = progFile("Project1/");
    FormSlova->LoadMenue();
    EXPECT_TRUE(QFileInfo(progFile("Project1/deleteditems")).isDir());
}

TEST_F(AppTest, StoredGeometryIsUsedAndTheWindowGoesToTheCorner)
{
    reg.writeInteger("formSlova_Left", 300);
    reg.writeInteger("formSlova_top", 200);
    reg.writeInteger("formSlova_width", 640);
    reg.writeInteger("formSlova_height", 480);
    reg.writeInteger("formSlova_tree_width", 250);
    reg.writeString("ShowDirForm", "0");
    start();
    EXPECT_EQ(FormSlova->pos(), QPoint(0, 0));
    EXPECT_EQ(FormSlova->size(), QSize(640, 480));
    EXPECT_EQ(reg.readString("ShowDirForm", "="), "0"); // present values are not touched
    EXPECT_FALSE(FormDir->CheckBox1->isChecked());
    stop();
    EXPECT_EQ(reg.readInteger("formSlova_tree_width", 0), 250);
    EXPECT_EQ(reg.readInteger("formSlova_Left", -1), 0);
}

TEST_F(AppTest, AMissingCatalogFolderFallsBackToTheProgramFolder)
{
    makeCatalog("Project1", "a\r\n");
    for (const QString& stored : {progFile("gone/"), QStringLiteral("C:\\Notes\\Work\\"), QString()}) {
        reg.writeString("path", stored);
        start();
        EXPECT_EQ(FormSlova->ProjectPath, prog.path()) << stored.toStdString();
        EXPECT_EQ(FormSlova->windowTitle(), prog.path());
        EXPECT_EQ(read(progFile("CurrentMenue")), QByteArray("Menue\r\n"));
        EXPECT_EQ(read(progFile("Menue")), QByteArray("Menue\r\n"));
        EXPECT_EQ(read(progFile("Menue_ind")), QByteArray("0\r\n"));
        EXPECT_TRUE(QFileInfo::exists(progFile("StopList")));
        stop();
    }
    EXPECT_FALSE(QFileInfo::exists(progFile("gone")));
}

TEST_F(AppTest, StoredPathsWithBackslashesAndCommandLineFoldersAreUsable)
{
    const QString dir = makeCatalog("Notes", "a\r\n\tb\r\n");
    QString stored = dir;
    stored.replace('/', '\\');
    reg.writeString("path", stored);
    start();
    EXPECT_EQ(FormSlova->ProjectPath, dir);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->child(0)->text(0), "b");
    stop();

    // The command line wins, keeps its letter case and gets its final "/".
    const QString other = makeCatalog("MixedCase", "x\r\n");
    reg.writeString("path", dir);
    start({"morvanel", other.chopped(1)});
    EXPECT_EQ(FormSlova->ProjectPath, other);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "x");
}

TEST_F(AppTest, EmptyMenueReceivesFirstItemAndAOneNodeTreeIsKept)
{
    const QString dir = makeCatalog("Project1", "");
    start();
    EXPECT_EQ(read(dir + "Menue"), QByteArray("first item\r\n"));
    ASSERT_EQ(FormSlova->Tree1->topLevelItemCount(), 1);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "first item");
    stop();

    write(dir + "Menue", "Only node  ");
    write(dir + "Menue_ind", "7\r\n3\r\n");
    write(dir + "CurrentMenue", "Menue");
    const auto before = snapshot(dir);
    start();
    EXPECT_EQ(treefile::imageIndex(FormSlova->Tree1->topLevelItem(0)), 7);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "Only node  ");
    stop();
    EXPECT_EQ(snapshot(dir), before);
}

TEST_F(AppTest, ReadOnlyMarkerMakesTheProgramFolderTheCatalogAndWritesNothing)
{
    makeCatalog("Project1", "a\r\n");
    write(progFile("RunFromHere"), "");
    write(progFile("CurrentMenue"), "Menue\r\n");
    write(progFile("Menue"), "one\r\n\ttwo\r\nthree\r\n");
    write(progFile("Menue_ind"), "1\r\n2\r\n3\r\n");
    const auto before = snapshot(prog.path());
    start();
    EXPECT_EQ(FormSlova->ProjectPath, prog.path());
    EXPECT_EQ(FormSlova->windowTitle(), prog.path());
    EXPECT_TRUE(FormSlova->StandardToolBar->isHidden());
    EXPECT_FALSE(FormSlova->MenuTree->menuAction()->isVisible());
    EXPECT_FALSE(FormSlova->MenuHelp->menuAction()->isVisible());
    EXPECT_EQ(FormSlova->MenuTree->title(), "Operations whith tree");
    EXPECT_EQ(reg.readString("ShowDirForm", ""), "1");
    EXPECT_EQ(reg.readString("ShowWordsForm", ""), "1");
    EXPECT_EQ(treefile::nodeCount(FormSlova->Tree1), 3);
    // Commands that leave the catalog do nothing.
    FormSlova->Dir_prog();
    FormSlova->Help_prog();
    EXPECT_EQ(treefile::nodeCount(FormSlova->Tree1), 3);
    treefile::setImageIndex(FormSlova->Tree1->topLevelItem(0), 9);
    FormSlova->LoadMenue();
    stop();
    EXPECT_EQ(snapshot(prog.path()), before);
}

TEST_F(AppTest, ShutDownWritesLayerListTreeAndIconsWithTabs)
{
    const QString dir = makeCatalog("Project1", "a\r\n b\r\n c\r\n\t d\r\ne\r\n");
    QFile::rename(dir + "CurrentMenue", dir + "currentMenue");
    write(dir + "Menue_ind", "1\r\nx\r\n3\r\n");
    start();
    const QList<QTreeWidgetItem*> nodes = treefile::allNodes(FormSlova->Tree1);
    ASSERT_EQ(nodes.size(), 5);
    EXPECT_EQ(treefile::imageIndex(nodes[0]), 1);
    EXPECT_EQ(treefile::imageIndex(nodes[1]), 0); // "x" leaves the node alone
    EXPECT_EQ(treefile::imageIndex(nodes[2]), 3);
    EXPECT_EQ(treefile::selectedIndex(nodes[2]), 23);
    EXPECT_EQ(treefile::imageIndex(nodes[4]), 0); // beyond the last line
    treefile::setImageIndex(nodes[4], 14);
    stop();
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\n\tb\r\n\tc\r\n\t\td\r\ne\r\n"));
    EXPECT_EQ(read(dir + "Menue_ind"), QByteArray("1\r\n0\r\n3\r\n0\r\n14\r\n"));
    EXPECT_EQ(read(dir + "currentMenue"), QByteArray("Menue\r\n"));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).filter("menue", Qt::CaseInsensitive).size(), 3);
}

TEST_F(AppTest, ABadIndentationIsShownAndTheTreeFileIsNeverWrittenBack)
{
    const QByteArray menue = "a\r\nb\r\n\t\tx\r\nc\r\n\td\r\n";
    const QString dir = makeCatalog("Project1", menue);
    write(dir + "Menue_ind", "5\r\n6\r\n7\r\n8\r\n9\r\n");
    reg.writeInteger("index2", 1);
    start();
    EXPECT_EQ(dialogs->messages(), QStringList{"Invalid level (2) for item \"x\""});
    ASSERT_EQ(treefile::nodeCount(FormSlova->Tree1), 2);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(1)->text(0), "b");
    EXPECT_EQ(treefile::imageIndex(FormSlova->Tree1->topLevelItem(1)), 6);
    EXPECT_EQ(FormSlova->Tree1->currentItem(), FormSlova->Tree1->topLevelItem(1));
    FormSlova->Help_prog(); // leaving the catalog would write the tree
    stop();
    EXPECT_EQ(read(dir + "Menue"), menue);
    EXPECT_EQ(read(dir + "Menue_ind"), QByteArray("5\r\n6\r\n7\r\n8\r\n9\r\n"));
}

TEST_F(AppTest, UnsafeLayerNamesBecomeMenue)
{
    const QString dir = makeCatalog("Project1", "a\r\n\tb\r\n");
    write(progFile("secret"), "s\r\n\tt\r\n");
    for (const QByteArray& layers : {QByteArray("Menue\r\n../secret\r\n"), QByteArray("Menue\r\n..\r\n"), QByteArray("")}) {
        write(dir + "CurrentMenue", layers);
        start();
        EXPECT_EQ(FormSlova->CurrentLayer, "Menue");
        EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "a");
        stop();
    }
    EXPECT_EQ(read(progFile("secret")), QByteArray("s\r\n\tt\r\n"));
}

TEST_F(AppTest, RedrawIsResetOnlyFromOne)
{
    start();
    reg.writeString("Redraw", "2");
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "2");
    reg.writeString("Redraw", "1");
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "0");
    reg.writeString("Redraw", "abc");
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "abc");

    // Not while a node is renamed or a catalog switch waits for the chooser: the request stays.
    FormSlova->show();
    reg.writeString("Redraw", "1");
    FormSlova->Panel1->show();
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "1");
    FormSlova->Panel1->hide();
    FormSlova->Dir_prog();
    ASSERT_TRUE(FormDir->isVisible());
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "1");
    FormDir->reject();
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "0");
}

TEST_F(AppTest, WindowsAreCreatedInOrderAndTheSplashClosesOnlyByItsTimer)
{
    start();
    for (QWidget* w : std::initializer_list<QWidget*>{FormSlova, FormHistory, FormDir, Form_keys, FormA})
        EXPECT_NE(w, nullptr);
    EXPECT_EQ(FormHistory->windowTitle(), QString::fromUtf8("История работы"));
    EXPECT_EQ(FormDir->windowTitle(), "Project catalog form");
    EXPECT_EQ(Form_keys->windowTitle(), "Search words form");
    ASSERT_NE(SplashForm, nullptr);
    EXPECT_TRUE(SplashForm->isVisible());
    EXPECT_FALSE(SplashForm->close());
    EXPECT_TRUE(SplashForm->isVisible());
    SplashForm->Timer1Timer();
    EXPECT_FALSE(SplashForm->isVisible());
    EXPECT_TRUE(FormSlova->Timer1->isActive());
}

TEST_F(AppTest, StartUpTimerShowsTheSearchWordsWindowAndLoadsHistory)
{
    const QString dir = makeCatalog("Project1", "a\r\n");
    write(dir + "history", "one\r\ntwo\r\n");
    reg.writeString("ShowWordsForm", "0");
    start();
    EXPECT_EQ(FormHistory->ListBoxH->count(), 0); // the history window did not exist yet
    EXPECT_FALSE(Form_keys->isVisible());
    FormSlova->Timer1Timer();
    EXPECT_FALSE(FormSlova->Timer1->isActive());
    EXPECT_TRUE(Form_keys->isVisible());
    ASSERT_EQ(FormHistory->ListBoxH->count(), 2);
    EXPECT_EQ(FormHistory->ListBoxH->item(1)->text(), "two");
    // After start-up every load refreshes the list; a catalog without "history" empties it.
    write(dir + "history", "three\r\n");
    FormSlova->LoadMenue();
    EXPECT_EQ(FormHistory->ListBoxH->count(), 1);
    QFile::remove(dir + "history");
    FormSlova->LoadMenue();
    EXPECT_EQ(FormHistory->ListBoxH->count(), 0);
}

TEST_F(AppTest, CatalogChooserCommandSavesTheTreeAndEmptiesIt)
{
    const QString dir = makeCatalog("Project1", "a\r\n b\r\n");
    QDir().mkpath(progFile("Help"));
    write(dir + "Menue_ind", "2\r\n4\r\n");
    start();
    FormSlova->Tree1->topLevelItem(0)->child(0)->setText(0, "renamed");
    FormSlova->Dir_prog();
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\n\trenamed\r\n"));
    EXPECT_EQ(read(dir + "Menue_ind"), QByteArray("2\r\n4\r\n"));
    EXPECT_EQ(FormSlova->Tree1->topLevelItemCount(), 0);
    EXPECT_EQ(FormSlova->LayerList(), QStringList{"Menue"});
    EXPECT_TRUE(FormDir->isVisible());
    // Choosing the help catalog's entry opens it.
    FormDir->setWindowTitle("Help\\");
    FormDir->OK();
    EXPECT_EQ(FormSlova->ProjectPath, progFile("Help/"));
    EXPECT_EQ(reg.readString("path", ""), progFile("Help/"));
    EXPECT_EQ(read(progFile("Help/Menue")), QByteArray("Menue\r\n"));
    FormDir->memo1->addItem("/srv/notes/");
    stop();
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\n\trenamed\r\n"));
    EXPECT_EQ(read(progFile("dir")), QByteArray("Project1\\\r\nHelp\\\r\n/srv/notes/\r\n"));
}

TEST_F(AppTest, HelpCommandOpensTheHelpCatalogWhateverItsCase)
{
    makeCatalog("Project1", "a\r\n");
    QDir().mkpath(progFile("HELP"));
    start();
    FormSlova->Help_prog();
    EXPECT_EQ(FormSlova->ProjectPath, progFile("HELP/"));
    EXPECT_FALSE(QFileInfo::exists(progFile("help")));
    EXPECT_EQ(read(progFile("HELP/Menue")), QByteArray("Menue\r\n"));
}

TEST_F(AppTest, AFailedTreeWriteIsReportedAndStopsTheSave)
{
    const QString dir = makeCatalog("Project1", "a\r\n\tb\r\n");
    write(dir + "CurrentMenue", "Menue");
    write(dir + "Menue_ind", "4\r\n");
    start();
    FormSlova->Tree1->topLevelItem(0)->setText(0, QString::fromUtf8("日本"));
    stop();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().first().contains(QString::fromUtf8("日本")));
    // The layer list goes first, the icon index file only after its tree.
    EXPECT_EQ(read(dir + "CurrentMenue"), QByteArray("Menue\r\n"));
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\n\tb\r\n"));
    EXPECT_EQ(read(dir + "Menue_ind"), QByteArray("4\r\n"));
}

namespace {
// An editor holding a note whose user answers Cancel to "Save changes?".
class RefusingEditor : public TFormEdit {
public:
    bool CloseQuery() override { return false; }
};
} // namespace

TEST_F(AppTest, TheEditorFillsItsPanelAndCanKeepTheProgramRunning)
{
    start();
    FormSlova->resize(700, 500);
    FormSlova->PlaceEditor();
    EXPECT_EQ(FormEdit->parentWidget(), FormSlova->PanelEditor);
    EXPECT_EQ(FormEdit->geometry(), FormSlova->PanelEditor->rect());

    FormSlova->show();
    delete FormEdit;
    FormEdit = new RefusingEditor();
    FormSlova->EditorShown = 1;
    EXPECT_FALSE(FormSlova->close());
    EXPECT_TRUE(FormSlova->isVisible());
    FormSlova->EditorShown = 0;
    EXPECT_TRUE(FormSlova->close());
}

TEST_F(AppTest, AMissingTreeFileShowsTheEmptyTreeTemplate)
{
    const QString dir = makeCatalog("Project1", "a\r\n");
    write(dir + "CurrentMenue", "Menue\r\nOther\r\n");
    write(dir + "Other_ind", "5\r\n");
    write(progFile("menue_clear"), "Template\r\n");
    start();
    EXPECT_EQ(FormSlova->CurrentLayer, "Other");
    ASSERT_EQ(treefile::nodeCount(FormSlova->Tree1), 1);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "Template");
    EXPECT_EQ(treefile::imageIndex(FormSlova->Tree1->topLevelItem(0)), 5);
    EXPECT_EQ(FormSlova->Tree1->currentItem(), nullptr);
    // Once it has grown, the layer's own files are written and the layer list is kept.
    FormSlova->Tree1->topLevelItem(0)->addChild(new TTreeNode("child"));
    stop();
    EXPECT_EQ(read(dir + "Other"), QByteArray("Template\r\n\tchild\r\n"));
    EXPECT_EQ(read(dir + "Other_ind"), QByteArray("5\r\n0\r\n"));
    EXPECT_EQ(read(dir + "CurrentMenue"), QByteArray("Menue\r\nOther\r\n"));
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\n"));
}

TEST_F(AppTest, UndoSnapshotsAreWrittenWhateverTheSizeAndReadBackWithoutIcons)
{
    const QString dir = makeCatalog("Project1", "a\r\n\tb\r\n");
    write(dir + "Menue_ind", "3\r\n4\r\n");
    start();
    ASSERT_TRUE(FormSlova->WriteUndo());
    EXPECT_EQ(read(dir + "menue_undo"), QByteArray("a\r\n\tb\r\n"));
    FormSlova->Tree1->topLevelItem(0)->addChild(new TTreeNode("c"));
    ASSERT_TRUE(FormSlova->WriteUndo("menue_undo.txt"));
    EXPECT_EQ(read(dir + "menue_undo.txt"), QByteArray("a\r\n\tb\r\n\tc\r\n"));
    FormSlova->undo();
    EXPECT_EQ(treefile::nodeCount(FormSlova->Tree1), 2);
    EXPECT_EQ(treefile::imageIndex(FormSlova->Tree1->topLevelItem(0)), 0);
}

TEST_F(AppTest, ClosingTheMainWindowWhileTheSplashShowsEndsTheProgram)
{
    start();
    FormSlova->show();
    ASSERT_TRUE(SplashForm->isVisible());
    // The user closes the main window at once; the splash still refuses every close request.
    QTimer::singleShot(0, FormSlova, [] { FormSlova->close(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(7); }); // the program kept running
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(FormSlova->isVisible());
}

TEST_F(AppTest, CatalogChooserEntriesCountFromTheProgramFolderUnlessAbsolute)
{
    makeCatalog("Project1", "a\r\n");
    const QString notes = makeCatalog("Notes", "n\r\n");
    testsupport::TempDir elsewhere;
    write(elsewhere.file("Menue"), "far\r\n");
    start();
    for (const QString& entry : {QStringLiteral("\\Notes\\"), QStringLiteral("Notes\\"), QStringLiteral("/Notes")}) {
        FormDir->setWindowTitle(entry);
        FormDir->OK();
        if (entry.startsWith('/')) {
            // "/" starts an absolute path here: "/Notes" does not exist, so the program folder.
            EXPECT_EQ(FormSlova->ProjectPath, prog.path());
            continue;
        }
        EXPECT_EQ(FormSlova->ProjectPath, notes) << entry.toStdString();
        EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "n");
    }
    FormDir->setWindowTitle(elsewhere.path());
    FormDir->OK();
    EXPECT_EQ(FormSlova->ProjectPath, elsewhere.path());
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "far");
}

namespace {
// An editor holding a modified note whose user answers the question about it (Yes or No).
class AskingEditor : public TFormEdit {
public:
    int asked = 0;
    bool CloseQuery() override
    {
        ++asked;
        return true;
    }
};
} // namespace

TEST_F(AppTest, ClosingWithAnOpenNoteAsksAboutItOnce)
{
    start();
    FormSlova->show();
    delete FormEdit;
    auto* editor = new AskingEditor();
    FormEdit = editor;
    FormSlova->PlaceEditor();
    FormSlova->EditorShown = 1;
    EXPECT_TRUE(FormSlova->close());
    EXPECT_EQ(editor->asked, 1);
    EXPECT_EQ(FormSlova->EditorShown, 0);
    FormSlova->FormDestroy();
    EXPECT_EQ(editor->asked, 1);
}

TEST_F(AppTest, TheCatalogChooserSavesItsStateHoweverItIsClosed)
{
    makeCatalog("Project1", "a\r\n");
    start();
    for (const char* how : {"Esc", "close"}) {
        reg.writeString("ShowDirForm", "1");
        reg.writeString("path", "");
        FormDir->show();
        FormDir->CheckBox1->setChecked(false);
        if (QByteArray(how) == "Esc")
            QTest::keyClick(FormDir, Qt::Key_Escape);
        else
            FormDir->close();
        EXPECT_FALSE(FormDir->isVisible()) << how;
        EXPECT_EQ(reg.readString("ShowDirForm", ""), "0") << how;
        EXPECT_EQ(reg.readString("path", ""), FormSlova->ProjectPath) << how;
        EXPECT_EQ(FormDir->windowTitle(), "Project form") << how;
    }
}

TEST_F(AppTest, ClosingTheMainWindowFromCodeLeavesLaterDialogsWorking)
{
    start();
    FormSlova->show();
    EXPECT_TRUE(FormSlova->close());
    // A modal window shown afterwards still runs until it is closed.
    QTimer::singleShot(200, FormDir, [] { FormDir->close(); });
    QElapsedTimer t;
    t.start();
    FormDir->ShowModal();
    EXPECT_GE(t.elapsed(), 150);
}
