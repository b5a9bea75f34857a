// The main window's tool bar, menus, tree keys, launchers and window-style marks, driven from
// tables of what a user sees.
#include "NodeFixture.h"

#include "app/About.h"
#include "app/UnitHistory.h"
#include "app/UnitICO.h"
#include "app/UnitSearch.h"
#include "app/UnitZip.h"
#include "web/PageHeader.h"
#include "web/UnitFiltr.h"
#include "web/UnitHTML.h"
#include "web/UnitHtmlKategory.h"
#include "web/UnitStopList.h"
#include "web/U_Internet.h"
#include "web/U_manager.h"
#include "web/Unit_kyes.h"

#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QToolBar>

namespace {

// "|" stands for a separator; a leading "~" for a hidden item. Tool bar entries are
// caption + "\t" + hint.
QStringList describe(const QList<QAction*>& actions, bool withHints)
{
    QStringList out;
    for (QAction* a : actions) {
        QString s = a->isSeparator() ? QStringLiteral("|") + a->text() : a->text();
        if (withHints && !a->isSeparator())
            s += QLatin1Char('\t') + a->toolTip();
        if (!a->isVisible())
            s.prepend(QLatin1Char('~'));
        out.append(s);
    }
    return out;
}

QAction* item(QWidget* owner, const QString& text)
{
    for (QAction* a : owner->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

QAction* named(QWidget* owner, const char* name)
{
    for (QAction* a : owner->actions())
        if (a->objectName() == QLatin1String(name))
            return a;
    return nullptr;
}

class MainMenusTest : public NodeTest {
protected:
    void hideAll()
    {
        for (QWidget* w : std::initializer_list<QWidget*>{FormSearch, FormFiltr, FormMove, Form_keys, FormM, FormZip,
                                                           FormHistory, FormHTML, FormA, FormHTMLKategory, FormStopList,
                                                           FormI, FormICO})
            w->hide();
    }
    QStringList launches() const
    {
        QStringList out;
        for (const auto& c : launch->calls)
            out.append((c.program.isEmpty() ? QStringLiteral("open ") + c.document : c.program + QLatin1Char(' ')
                                                                                          + c.args.join(QLatin1Char('|'))));
        return out;
    }
};

} // namespace

TEST_F(MainMenusTest, ToolBarAndMenusFollowTheTablesOfTheWindow)
{
    open("A\r\n");
    EXPECT_EQ(FormSlova->StandardToolBar->toolTip(), "Move nodes to other project");
    EXPECT_EQ(FormSlova->StandardToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(describe(FormSlova->StandardToolBar->actions(), true),
              (QStringList{"Open dir\tOpen dir", "|", "Add node\tadd node", "Dell node\tdelete node",
                           "Edit node\tEdit the name node", "Find the node\tfind", "\t", "Edit text\tEdit description",
                           "~Undo\tUndo", "|", "Draw the tree\tMake tree", "\t", "|", "Search form\tSearh words ",
                           "\tWeb download manager", "\tLoad all links", "|", "Help\tHelp", "Exit\tQuit"}));
    const QString sep = "|-------------------";
    EXPECT_EQ(describe(FormSlova->MenuTree->actions(), false),
              (QStringList{"Coose project catalog form", "Internet search engine form", "Show the StopList file", sep,
                           "reDraw the tree", "Make the archive", "Extract from the archive", "~Show the history",
                           "Make the HTML report ", sep, "Always on top", "Use only external Editor", sep,
                           "Restruct files", "Filer by kategory", "~Tree kategory"}));
    EXPECT_EQ(item(FormSlova->MenuTree, "Restruct files")->toolTip(), "Restruct file mansger");
    EXPECT_EQ(FormSlova->MenuTree->title(), "Operations whith tree");
    EXPECT_EQ(FormSlova->MenuInternet->title(), "Operation whith Internet");
    EXPECT_FALSE(FormSlova->MenuInternet->menuAction()->isVisible());
    EXPECT_EQ(describe(FormSlova->MenuInternet->actions(), false),
              (QStringList{"Search words form", "Download Urls", "Download Manager", "Add links", "FronPage",
                           "Download selected URL"}));
    EXPECT_EQ(FormSlova->MenuHelp->title(), "?");
    EXPECT_EQ(describe(FormSlova->MenuHelp->actions(), false), (QStringList{"Help", "Author", "Exit"}));
    EXPECT_EQ(describe(FormSlova->PopupTree->actions(), false),
              (QStringList{"Add node", "Rename node", "Move node Up", "Delete node", "Assign tne icon", "|------------",
                           "Find the node", "Open internal text Editor", "Open external text Editor",
                           "~Cut first level", "~Undo", "~Add node from file structure"}));
    EXPECT_EQ(describe(FormSlova->PopupWeb->actions(), false),
              (QStringList{"Show kategory form", "Show search form", "Show as text file", "Show download manager",
                           "Show stop list", "Open Exployer", "|----------------", "Download selected URL",
                           "Re read page", "Download all URLs", "|-", "Delete text befor selection",
                           "~Undo deleting", "Delete style and scripts"}));
    EXPECT_EQ(FormSlova->WB1->popupMenu(), FormSlova->PopupWeb);
    EXPECT_TRUE(platform::browserMouseHookInstalled());
    EXPECT_FALSE(FormSlova->N_FormOnTop->isChecked());
    EXPECT_FALSE(FormSlova->N_exEditor->isChecked());
}

TEST_F(MainMenusTest, EveryItemShowsItsWindowOrStartsItsProgram)
{
    open("A\r\n\tP\r\n\tN\r\n");
    write(cat + "P.htm", "<html><body><p>x</p></body></html>\r\n");
    write(cat + "N.txt", "note\r\n");
    EXPECT_FALSE(FormSlova->n_i1->isEnabled());
    click(1);
    EXPECT_TRUE(FormSlova->n_i1->isEnabled());
    const QString page = cat + "P.htm";

    // (owner, item, window expected shown, page pane hidden afterwards)
    struct Row {
        QWidget* owner;
        const char* text;
        QWidget* shown;
        bool hidesPane;
    };
    QWidget* bar = FormSlova->StandardToolBar;
    const Row rows[] = {
        {bar, "Find the node", FormSearch, false},
        {nullptr, "ToolFilter", FormFiltr, false},
        {nullptr, "ToolNodeManager", FormMove, false},
        {bar, "Search form", Form_keys, true},
        {nullptr, "ToolDownloadManager", FormM, true},
        {FormSlova->MenuTree, "Internet search engine form", Form_keys, false},
        {FormSlova->MenuTree, "Make the HTML report ", FormHTML, false},
        {FormSlova->MenuTree, "Restruct files", FormMove, true},
        {FormSlova->MenuTree, "Filer by kategory", FormFiltr, false},
        {FormSlova->MenuTree, "Show the history", FormHistory, false},
        {FormSlova->MenuHelp, "Author", FormA, false},
        {FormSlova->PopupTree, "Assign tne icon", FormICO, false},
        {FormSlova->PopupTree, "Find the node", FormSearch, false},
        {FormSlova->PopupWeb, "Show kategory form", FormHTMLKategory, false},
        {FormSlova->PopupWeb, "Show download manager", FormM, false},
        {FormSlova->PopupWeb, "Show stop list", FormStopList, false},
    };
    for (const Row& r : rows) {
        hideAll();
        FormSlova->PanelWeb->show();
        QAction* a = r.owner ? item(r.owner, r.text) : named(bar, r.text);
        ASSERT_NE(a, nullptr) << r.text;
        a->trigger();
        EXPECT_TRUE(r.shown->isVisible()) << r.text;
        EXPECT_EQ(FormSlova->PanelWeb->isVisible(), !r.hidesPane) << r.text;
        if (r.hidesPane) {
            EXPECT_FALSE(FormEdit->isVisible()) << r.text;
        }
    }
    hideAll();
    item(FormSlova->MenuTree, "Make the archive")->trigger();
    EXPECT_TRUE(FormZip->isVisible());
    EXPECT_TRUE(FormZip->ButtonZip->isVisibleTo(FormZip));
    EXPECT_FALSE(FormZip->ButtonUnZip->isVisibleTo(FormZip));
    item(FormSlova->MenuTree, "Extract from the archive")->trigger();
    EXPECT_FALSE(FormZip->ButtonZip->isVisibleTo(FormZip));
    EXPECT_TRUE(FormZip->ButtonUnZip->isVisibleTo(FormZip));
    hideAll();

    // The launchers, each with its one argument.
    item(FormSlova->PopupWeb, "Show search form")->trigger();
    item(FormSlova->PopupWeb, "Show as text file")->trigger();
    item(FormSlova->PopupWeb, "Open Exployer")->trigger();
    write(cat + "stoplist", "other spelling\r\n"); // only "StopList" is the catalog's
    QFile::remove(cat + "stoplist");
    item(FormSlova->MenuTree, "Show the StopList file")->trigger();
    EXPECT_EQ(launches(), (QStringList{"notepad.exe " + page, "notepad.exe " + page, "open " + page,
                                       "notepad.exe " + cat + "StopList"}));

    // "Load all links": the link list gets the page, loads it and shows.
    named(bar, "n_i1")->trigger();
    EXPECT_TRUE(FormI->isVisible());
    EXPECT_EQ(FormI->EditURL->text(), page);

    // "Exit" closes the main window.
    item(FormSlova->MenuHelp, "Exit")->trigger();
    EXPECT_FALSE(FormSlova->isVisible());
}

TEST_F(MainMenusTest, NothingStartedIsReportedNamingTheFile)
{
    open("A\r\n\tP\r\n");
    write(cat + "P.htm", "<html></html>");
    click(1);
    launch->result = false;
    FormSlova->ButtonTXT();
    FormSlova->OpenExployer1Click();
    EXPECT_EQ(dialogs->messages(), (QStringList{"No program could be started to open \"" + cat + "P.htm\".",
                                                "No program could be started to open \"" + cat + "P.htm\"."}));
}

TEST_F(MainMenusTest, TheExternalEditorGetsOnlyARichTextNoteAndNeverOneKeptOpen)
{
    open("A\r\n\tT\r\n\tR\r\n");
    write(cat + "T.txt", "plain\r\n");
    write(cat + "R.rtf", "{\\rtf1 rich\\par}");
    click(1);
    item(FormSlova->PopupTree, "Open external text Editor")->trigger();
    EXPECT_TRUE(launch->calls.isEmpty());
    click(2);
    typeIntoNote("more ");
    dialogs->pushAnswer(platform::MsgResult::Cancel); // "Save changes to ...?"
    item(FormSlova->PopupTree, "Open external text Editor")->trigger();
    EXPECT_TRUE(launch->calls.isEmpty());
    EXPECT_EQ(FormSlova->EditorShown, 1);
    dialogs->pushAnswer(platform::MsgResult::No);
    item(FormSlova->PopupTree, "Open external text Editor")->trigger();
    ASSERT_EQ(launch->calls.size(), 1);
    EXPECT_EQ(launch->calls.at(0).document, cat + "R.rtf");
    EXPECT_EQ(read(cat + "R.rtf"), QByteArray("{\\rtf1 rich\\par}"));
}

TEST_F(MainMenusTest, TheExternalEditorOptionKeepsTheWindowOnTopAndNothingIsStored)
{
    open("A\r\n");
    FormSlova->N_exEditor->trigger();
    EXPECT_TRUE(FormSlova->N_exEditor->isChecked());
    EXPECT_TRUE(FormSlova->N_FormOnTop->isChecked());
    EXPECT_TRUE(FormSlova->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(FormSlova->isVisible());
    FormSlova->N_FormOnTop->trigger();
    EXPECT_FALSE(FormSlova->N_FormOnTop->isChecked());
    EXPECT_TRUE(FormSlova->N_exEditor->isChecked());
    EXPECT_FALSE(FormSlova->windowFlags() & Qt::WindowStaysOnTopHint);
    FormSlova->N_FormOnTop->trigger();
    EXPECT_TRUE(FormSlova->windowFlags() & Qt::WindowStaysOnTopHint);
    // Turning the option off takes both marks away.
    FormSlova->N_exEditorClick();
    EXPECT_FALSE(FormSlova->N_exEditor->isChecked());
    EXPECT_FALSE(FormSlova->N_FormOnTop->isChecked());
    EXPECT_FALSE(FormSlova->windowFlags() & Qt::WindowStaysOnTopHint);
    FormSlova->N_exEditorClick();
    stop();
    startHere();
    EXPECT_FALSE(FormSlova->N_exEditor->isChecked());
    EXPECT_FALSE(FormSlova->N_FormOnTop->isChecked());
    EXPECT_FALSE(FormSlova->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(MainMenusTest, InReadOnlyModeTheToolBarAndTheTwoMenusStayHidden)
{
    cat = makeCatalog("Project1", "A\r\n");
    setReadOnly();
    startHere();
    EXPECT_FALSE(FormSlova->StandardToolBar->isVisible());
    EXPECT_FALSE(FormSlova->MenuTree->menuAction()->isVisible());
    EXPECT_FALSE(FormSlova->MenuHelp->menuAction()->isVisible());
}

TEST_F(MainMenusTest, TreeKeysRunTheirCommandsAndEveryOtherKeyIsUsedUp)
{
    open("A\r\n\tB\r\n\tC\r\nD\r\n\tE\r\n");
    write(cat + "B.htm", "<!-- Title=\"b\"-->\r\n<html><body>b</body></html>\r\n");
    write(cat + "C.rtf", "{\\rtf1 c\\par}");
    tree()->expandAll();
    select(1);
    tree()->setFocus();
    QCoreApplication::processEvents();
    const auto before = snapshot(cat);
    for (int key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Home, Qt::Key_End, Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Left,
                    Qt::Key_Right, Qt::Key_D, Qt::Key_E, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Asterisk, Qt::Key_F2,
                    Qt::Key_Space, Qt::Key_Escape})
        QTest::keyClick(tree(), Qt::Key(key));
    QTest::keyClicks(tree(), "dE");
    EXPECT_EQ(tree()->currentItem(), node(1));
    EXPECT_TRUE(node(0)->isExpanded());
    EXPECT_TRUE(node(3)->isExpanded());
    EXPECT_TRUE(tree()->findChildren<QLineEdit*>().isEmpty()); // no in-place editor
    EXPECT_TRUE(browser()->navigations.isEmpty());
    EXPECT_EQ(snapshot(cat), before);

    // Tab shows the icon palette and the focus stays in the tree.
    QTest::keyClick(tree(), Qt::Key_Tab);
    EXPECT_TRUE(FormICO->isVisible());
    FormICO->hide();
    tree()->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), tree());
    QTest::keyClick(tree(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), tree());

    // Enter opens the selected node.
    QTest::keyClick(tree(), Qt::Key_Return);
    ASSERT_EQ(browser()->navigations.size(), 1);
    EXPECT_EQ(browser()->navigations.at(0).toLocalFile(), cat + "B.htm");

    // Ctrl+T: the text editor with the file as its only argument. Ctrl+K: the page header editor.
    QTest::keyClick(tree(), Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(launch->calls.size(), 1);
    EXPECT_EQ(launch->calls.at(0).program, "notepad.exe");
    EXPECT_EQ(launch->calls.at(0).args, QStringList{cat + "B.htm"});
    QTest::keyClick(tree(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_TRUE(FormHTMLKategory->isVisible());

    // Ctrl+R on a page marks it for download; the node shows icon 19 at the next save.
    QTest::keyClick(tree(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(read(cat + "B.htm").contains(HeaderLines::DownloadMark)) << read(cat + "B.htm").constData();
    EXPECT_EQ(static_cast<TTreeNode*>(node(1))->ImageIndex, 19);
    EXPECT_EQ(static_cast<TTreeNode*>(node(1))->SelectedIndex, 39);
    ASSERT_TRUE(FormSlova->SaveTree());
    EXPECT_EQ(read(cat + "Menue_ind").split('\n').value(1).trimmed(), QByteArray("19"));

    // On a note Ctrl+R does nothing: no stray page header file.
    click(2);
    const auto noteBefore = snapshot(cat);
    tree()->setFocus();
    QTest::keyClick(tree(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(snapshot(cat), noteBefore);
    EXPECT_FALSE(QFileInfo::exists(cat + "C.shtm"));

    // Insert asks; No adds nothing, Yes adds a node and starts its rename.
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::No);
    QTest::keyClick(tree(), Qt::Key_Insert);
    EXPECT_EQ(texts(), (QStringList{"A", "B", "C", "D", "E"}));
    dialogs->pushAnswer(platform::MsgResult::Yes);
    QTest::keyClick(tree(), Qt::Key_Insert);
    EXPECT_EQ(texts().size(), 6);
    EXPECT_TRUE(FormSlova->Panel1->isVisible());
    FormSlova->Panel1->hide();
    // Delete always asks.
    select(4);
    tree()->setFocus();
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    QTest::keyClick(tree(), Qt::Key_Delete);
    EXPECT_EQ(dialogs->messages(), (QStringList{"Add node?", "Add node?", "Delete node?"}));
    EXPECT_EQ(texts().size(), 6);
}

TEST_F(MainMenusTest, TheRenamePanelAndTheTreeShowTheirTextsWholeAndLoadAllLinksGoesWithThePage)
{
    const QByteArray longName(150, 'w');
    open("A\r\n\tP\r\n" + longName + "\r\n");
    write(cat + "P.htm", "<html><body><a href=\"http://a.example/\">a</a></body></html>\r\n");
    QCoreApplication::processEvents();
    // A name longer than the tree is wide: the tree scrolls sideways to it.
    EXPECT_GT(tree()->horizontalScrollBar()->maximum(), 0);

    // At the default tree width the rename panel's buttons show their captions whole.
    select(1);
    FormSlova->Edit_node();
    ASSERT_TRUE(FormSlova->Panel1->isVisible());
    QCoreApplication::processEvents();
    for (QPushButton* b : {FormSlova->Button1, FormSlova->Button2}) {
        EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        EXPECT_TRUE(FormSlova->Panel1->rect().contains(b->geometry())) << b->text().toStdString();
    }

    // "Load all links" is there while the page is shown, and goes when the page is deleted.
    click(1);
    ASSERT_TRUE(FormSlova->n_i1->isEnabled());
    select(1);
    FormSlova->Dell_node();
    ASSERT_FALSE(QFileInfo::exists(cat + "P.htm"));
    EXPECT_FALSE(FormSlova->n_i1->isEnabled());
}
