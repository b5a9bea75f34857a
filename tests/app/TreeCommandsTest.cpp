#include "NodeFixture.h"

#include "platform/text/CodePage.h"
#include "web/UnitHtmlKategory.h"

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {
const QByteArray kAB = "A\r\n\tB\r\n";
// "Новая заметка" in Windows-1251.
const QByteArray kNew1251 = "\xCD\xEE\xE2\xE0\xFF \xE7\xE0\xEC\xE5\xF2\xEA\xE0";
} // namespace

TEST_F(NodeTest, AddTakesTheSnapshotAndTheTypedNameEndsTheRename)
{
    open(kAB);
    select(0);
    FormSlova->ADD_Node();
    EXPECT_EQ(read(cat + "menue_undo"), kAB);
    EXPECT_TRUE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(FormSlova->wrd->text(), "");
    EXPECT_EQ(FormSlova->focusWidget(), FormSlova->wrd);
    EXPECT_EQ(FormSlova->Panel1->x(), 4);
    EXPECT_GE(FormSlova->Panel1->width(), FormSlova->Tree1->width() - 10); // wider when the captions need it
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\n\t\r\n\tB\r\n"));

    FormSlova->wrd->setText(QString::fromUtf8("Новая заметка"));
    QTest::keyClick(FormSlova->wrd, Qt::Key_Return);
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(read(cat + "Menue"), "A\r\n\t" + kNew1251 + "\r\n\tB\r\n");
    EXPECT_EQ(read(cat + "Menue_ind"), QByteArray("0\r\n0\r\n0\r\n"));
    EXPECT_EQ(read(cat + "menue_undo.txt"), QByteArray("A\r\n\t\r\n\tB\r\n"));
    // The node is opened as a new empty note; no file exists until the editor saves.
    EXPECT_EQ(FormEdit->EditorFileName, cat + QString::fromUtf8("Новая заметка.rtf"));
    EXPECT_TRUE(FormEdit->isVisible());
    EXPECT_EQ(FormSlova->CurrentNodeText, QString::fromUtf8("Новая заметка"));
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    EXPECT_EQ(reg.readString("FileName", ""), QString::fromUtf8("Новая заметка"));
    EXPECT_EQ(QDir(cat).entryList({QString::fromUtf8("Новая заметка*")}, QDir::Files), QStringList{});
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
}

TEST_F(NodeTest, AddOnAnEmptyTreeGivesTheTemplateAndNoRename)
{
    open("A\r\n");
    FormSlova->Tree1->clear();
    FormSlova->ADD_Node();
    EXPECT_EQ(texts(), QStringList{"Menue"});
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
}

TEST_F(NodeTest, RenameTrimsAndRenamesTheNodesFilesByteForByte)
{
    open("A\r\n\told\r\n");
    write(cat + "old.rtf", "{\\rtf1 x}");
    write(cat + "old.htm", "<html>");
    select(1);
    FormSlova->Edit_node();
    EXPECT_EQ(FormSlova->wrd->text(), "old");
    FormSlova->wrd->setText(QString::fromUtf8(" Заметка "));
    FormSlova->Button1->click();
    EXPECT_EQ(read(cat + "menue_undo.txt"), QByteArray("A\r\n\told\r\n"));
    EXPECT_EQ(node(1)->text(0), QString::fromUtf8("Заметка"));
    EXPECT_EQ(read(cat + QString::fromUtf8("Заметка.rtf")), QByteArray("{\\rtf1 x}"));
    EXPECT_FALSE(QFileInfo::exists(cat + "old.rtf"));
    // The page goes with the note: the node still opens it.
    EXPECT_EQ(read(cat + QString::fromUtf8("Заметка.htm")), QByteArray("<html>"));
    EXPECT_FALSE(QFileInfo::exists(cat + "old.htm"));
    // On disk the name is UTF-8.
    EXPECT_TRUE(QDir(cat).entryList(QDir::Files).contains(QString::fromUtf8("Заметка.rtf")));
}

TEST_F(NodeTest, RenameWithPercentShowsTheNoticeAndRenamesNoFile)
{
    open("A\r\n\tx % y\r\n\tdoc.txt % C:\\docs\\doc.txt\r\n");
    write(cat + "x % y.rtf", "r");
    select(1);
    FormSlova->Edit_node();
    EXPECT_EQ(dialogs->messages(),
              QStringList{QString::fromUtf8("Редактировать можно только ту часть описания, что находится до символа\"%\"")});
    FormSlova->wrd->setText("z % y");
    FormSlova->RenameFile();
    EXPECT_EQ(node(1)->text(0), "z % y");
    // Both texts name files as a whole: the note goes to the name the node now opens.
    EXPECT_EQ(read(cat + "z % y.rtf"), QByteArray("r"));
    EXPECT_FALSE(QFileInfo::exists(cat + "x % y.rtf"));
    // A node of a file elsewhere: only the part before "%" must be a usable name.
    write(cat + "doc.txt % C:\\docs\\doc.txt.rtf", "d");
    write(cat + "doc.txt .rtf", "e");
    const auto untouched = [&] {
        auto files = snapshot(cat);
        for (const char* tree : {"Menue", "Menue_ind", "menue_undo.txt"})
            files.remove(cat + tree);
        return files;
    };
    const auto before = untouched();
    select(2);
    dialogs->clear();
    FormSlova->Edit_node();
    FormSlova->RenameFile(); // unchanged
    FormSlova->Edit_node();
    FormSlova->wrd->setText(QString::fromUtf8("Заметка.txt % C:\\docs\\doc.txt"));
    FormSlova->RenameFile();
    EXPECT_EQ(dialogs->messages().size(), 2) << dialogs->messages().join("|").toStdString(); // the two notices
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(read(cat + "Menue"), "A\r\n\tz % y\r\n\t" + platform::toCp1251(QString::fromUtf8("Заметка")) +
                                       ".txt % C:\\docs\\doc.txt\r\n");
    EXPECT_EQ(untouched(), before);
    // The part before "%" follows the rule of every node text.
    FormSlova->Edit_node();
    for (const char* bad : {"a/b % c", "a\\b % c", "a % c\x01"}) {
        dialogs->clear();
        FormSlova->wrd->setText(bad);
        FormSlova->RenameFile();
        EXPECT_EQ(dialogs->messages().size(), 1) << bad;
        EXPECT_TRUE(FormSlova->Panel1->isVisible());
    }
    // A text that is a file name as a whole, as Draw the tree makes of "%D0%9F.htm".
    dialogs->clear();
    FormSlova->wrd->setText("%D0%9F");
    FormSlova->RenameFile();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(untouched(), before);
}

TEST_F(NodeTest, ARenameToATextWithPercentKeepsTheNodeOnItsPage)
{
    open("A\r\n\tplain\r\n");
    write(cat + "plain.htm", "<html>p</html>");
    select(1);
    FormSlova->Edit_node();
    FormSlova->wrd->setText("plain 100%");
    FormSlova->RenameFile();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    EXPECT_EQ(read(cat + "plain 100%.htm"), QByteArray("<html>p</html>"));
    EXPECT_FALSE(QFileInfo::exists(cat + "plain.htm"));
    // The node opens its page, and Draw the tree finds no page without a node.
    ASSERT_FALSE(browser()->navigations.isEmpty());
    EXPECT_EQ(browser()->navigations.last().toLocalFile(), cat + "plain 100%.htm");
    FormSlova->Tree_prog();
    EXPECT_EQ(texts(), (QStringList{"A", "plain 100%"}));

    // A text that names no file would cut the node off from its page: refused, saying why.
    select(1);
    FormSlova->Edit_node();
    dialogs->clear();
    const QByteArray menue = read(cat + "Menue");
    FormSlova->wrd->setText("plain % C:\\web\\plain.htm");
    FormSlova->RenameFile();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).contains("names no file")) << dialogs->messages().at(0).toStdString();
    EXPECT_EQ(texts(), (QStringList{"A", "plain 100%"}));
    EXPECT_EQ(read(cat + "Menue"), menue);
    EXPECT_EQ(read(cat + "plain 100%.htm"), QByteArray("<html>p</html>"));
}

TEST_F(NodeTest, RenameNeverOverwritesAFileOfAnotherLetterCase)
{
    open("A\r\n\told\r\n");
    write(cat + "old.rtf", "mine");
    write(cat + QString::fromUtf8("заметка.rtf"), "other");
    select(1);
    FormSlova->Edit_node();
    FormSlova->wrd->setText(QString::fromUtf8("Заметка"));
    FormSlova->RenameFile();
    EXPECT_EQ(node(1)->text(0), "old");
    EXPECT_TRUE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(read(cat + "old.rtf"), QByteArray("mine"));
    EXPECT_EQ(read(cat + QString::fromUtf8("заметка.rtf")), QByteArray("other"));
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).contains(cat + "old.rtf"));
    EXPECT_TRUE(dialogs->messages().at(0).contains(cat + QString::fromUtf8("заметка.rtf")));
}

TEST_F(NodeTest, RenameThatChangesOnlyTheLetterCaseRenamesTheFile)
{
    open("A\r\n\tnote\r\n");
    write(cat + "note.rtf", "n");
    select(1);
    FormSlova->Edit_node();
    FormSlova->wrd->setText("Note");
    FormSlova->RenameFile();
    EXPECT_EQ(QDir(cat).entryList({"*.rtf"}, QDir::Files), QStringList{"Note.rtf"});
    EXPECT_EQ(read(cat + "Note.rtf"), QByteArray("n"));
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(NodeTest, RenameRefusesTextsThatCannotNameFiles)
{
    open("A\r\n\told\r\n");
    write(cat + "old.rtf", "r");
    select(1);
    FormSlova->Edit_node();
    const QStringList bad{"a/b", "..", QString::fromUtf8("日本"), "   ", "a\\b", QString("a") + QChar(7)};
    for (const QString& t : bad) {
        dialogs->clear();
        FormSlova->wrd->setText(t);
        FormSlova->RenameFile();
        ASSERT_EQ(dialogs->messages().size(), 1) << t.toStdString();
        EXPECT_TRUE(FormSlova->Panel1->isVisible());
        EXPECT_EQ(node(1)->text(0), "old");
    }
    dialogs->clear();
    FormSlova->wrd->setText("  ");
    FormSlova->RenameFile();
    EXPECT_EQ(dialogs->messages(), QStringList{"Please enter node name"});
    EXPECT_EQ(read(cat + "old.rtf"), QByteArray("r"));
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\n\told\r\n"));
}

TEST_F(NodeTest, RenameEndsOnTheNodeItStartedOnOrNowhere)
{
    open("A\r\n\tB\r\n\tC\r\n");
    select(1);
    FormSlova->Edit_node();
    select(2); // another node selected while the panel is open
    FormSlova->wrd->setText("B2");
    FormSlova->RenameFile();
    EXPECT_EQ(texts(), (QStringList{"A", "B2", "C"}));
    // The node deleted meanwhile: nothing is renamed.
    select(2);
    FormSlova->Edit_node();
    delete node(2);
    FormSlova->wrd->setText("C2");
    FormSlova->RenameFile();
    EXPECT_EQ(texts(), (QStringList{"A", "B2"}));
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
}

TEST_F(NodeTest, InsFromCatalogTakesTheChosenNameLessFourCharacters)
{
    open(kAB);
    select(1);
    FormSlova->Edit_node();
    dialogs->pushFileName(cat + "page.html ");
    FormSlova->Button2->click();
    EXPECT_EQ(FormSlova->wrd->text(), "page.");
    ASSERT_EQ(dialogs->shown().size(), 1);
    EXPECT_EQ(dialogs->shown().at(0).kind, "open");
    // A leading blank is part of the file's name, which no node text can hold: refused, saying so.
    dialogs->pushFileName(cat + " page.html");
    FormSlova->Button2->click();
    EXPECT_EQ(FormSlova->wrd->text(), "page.");
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).contains("begins with a blank"));
}

TEST_F(NodeTest, DeleteAsksThenErasesOnlyTheLastFileOfTheDeletedNode)
{
    open("A\r\n\tN\r\n\t\tKid\r\n\tM\r\n");
    write(cat + "N.rtf", "r");
    write(cat + "N.htm", "h");
    write(cat + "Kid.rtf", "k");
    write(cat + "M.htm", "m");
    click(3); // M is the current node
    ASSERT_EQ(FormSlova->CurrentIndex, 3);
    select(1);
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    FormSlova->Dell_node();
    EXPECT_EQ(dialogs->messages(), QStringList{"Delete node?"});
    EXPECT_EQ(texts(), (QStringList{"A", "N", "Kid", "M"}));
    EXPECT_FALSE(QFileInfo::exists(cat + "menue_undo"));

    FormSlova->Dell_node();
    EXPECT_EQ(texts(), (QStringList{"A", "M"}));
    EXPECT_EQ(read(cat + "menue_undo"), QByteArray("A\r\n\tN\r\n\t\tKid\r\n\tM\r\n"));
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\n\tM\r\n"));
    EXPECT_FALSE(QFileInfo::exists(cat + "N.htm"));
    EXPECT_EQ(read(cat + "N.rtf"), QByteArray("r"));
    EXPECT_EQ(read(cat + "Kid.rtf"), QByteArray("k"));
    EXPECT_EQ(read(cat + "M.htm"), QByteArray("m"));
    EXPECT_FALSE(FormSlova->PanelWeb->isVisible());
    // The current node keeps its index through the deletion above it.
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
}

TEST_F(NodeTest, DeleteStopsWhenTheEditorStaysOpen)
{
    open("A\r\n\tN\r\n");
    write(cat + "N.rtf", "r");
    click(1);
    typeIntoNote("more");
    dialogs->pushAnswer(platform::MsgResult::Ok);     // "Delete node?"
    dialogs->pushAnswer(platform::MsgResult::Cancel); // "Save changes to %s?"
    FormSlova->Dell_node();
    ASSERT_EQ(dialogs->messages().size(), 2);
    EXPECT_EQ(dialogs->messages().at(1), "Save changes to " + cat + "N.rtf?");
    EXPECT_EQ(texts(), (QStringList{"A", "N"}));
    EXPECT_EQ(read(cat + "N.rtf"), QByteArray("r"));
    EXPECT_FALSE(QFileInfo::exists(cat + "menue_undo"));
    // The rename stops the same way.
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    FormSlova->Edit_node();
    EXPECT_TRUE(FormEdit->isVisible());
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
    // And the add, whose node would start a rename: no node without a text is left in the tree.
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    select(0);
    FormSlova->ADD_Node();
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + cat + "N.rtf?"});
    EXPECT_EQ(texts(), (QStringList{"A", "N"}));
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\n\tN\r\n"));
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    EXPECT_TRUE(FormEdit->Modified());
    EXPECT_EQ(read(cat + "N.rtf"), QByteArray("r"));
}

TEST_F(NodeTest, MoveUpMovesTheNodeWithItsIconAndSubtreeAmongItsSiblings)
{
    open("A\r\n\tB\r\n\t\tb1\r\n\tC\r\n\t\tc1\r\n", "1\r\n2\r\n3\r\n4\r\n5\r\n");
    select(3); // C, whose sibling above is B
    FormSlova->Move_UP();
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\n\tC\r\n\t\tc1\r\n\tB\r\n\t\tb1\r\n"));
    EXPECT_EQ(read(cat + "Menue_ind"), QByteArray("1\r\n4\r\n5\r\n2\r\n3\r\n"));
    EXPECT_EQ(tree()->currentItem(), node(1));
    // Nothing above the first node, nor above the first of its siblings: nothing changes.
    const auto before = snapshot(cat);
    for (int i : {0, 1, 2}) {
        select(i);
        FormSlova->Move_UP();
    }
    EXPECT_EQ(snapshot(cat), before);
    EXPECT_EQ(texts(), (QStringList{"A", "C", "c1", "B", "b1"}));
}

TEST_F(NodeTest, DropMakesTheDraggedNodeTheTargetsLastChild)
{
    open("A\r\n\tA1\r\nB\r\nC\r\n\tC1\r\n", "1\r\n2\r\n3\r\n4\r\n5\r\n");
    click(2); // B is current
    FormSlova->Tree1->expandAll();
    auto centre = [this](int i) { return tree()->visualItemRect(node(i)).center(); };
    const auto before = snapshot(cat);
    // On itself, on its own child, on empty space, left of a node's text: nothing.
    FormSlova->Tree1DragDrop(centre(3), 3);
    FormSlova->Tree1DragDrop(centre(4), 3);
    FormSlova->Tree1DragDrop(QPoint(5, tree()->viewport()->height() - 2), 3);
    FormSlova->Tree1DragDrop(QPoint(tree()->visualItemRect(node(1)).left() - 3, centre(1).y()), 3);
    EXPECT_EQ(snapshot(cat), before);

    FormSlova->Tree1DragDrop(centre(0), 3);
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\n\tA1\r\n\tC\r\n\t\tC1\r\nB\r\n"));
    EXPECT_EQ(read(cat + "Menue_ind"), QByteArray("1\r\n2\r\n4\r\n5\r\n3\r\n"));
    EXPECT_FALSE(read(cat + "Menue").contains("*****"));
    EXPECT_FALSE(QFileInfo::exists(cat + "menue_undo"));
    // B is still the current node.
    EXPECT_EQ(FormSlova->CurrentIndex, 4);
}

TEST_F(NodeTest, ReadOnlyAndNoCatalogChangeNothingAndSayNothing)
{
    open("A\r\n\tB\r\n\tC\r\n");
    write(cat + "B.rtf", "b");
    setReadOnly();
    const auto before = snapshot(cat);
    select(1);
    FormSlova->ADD_Node();
    FormSlova->Edit_node();
    FormSlova->Move_UP();
    FormSlova->Tree1DragDrop(tree()->visualItemRect(node(0)).center(), 2);
    FormSlova->Tree_prog();
    FormSlova->Dell_node(); // still asks
    EXPECT_EQ(dialogs->messages(), QStringList{"Delete node?"});
    EXPECT_EQ(texts(), (QStringList{"A", "B", "C"}));
    EXPECT_FALSE(FormSlova->Panel1->isVisible());
    EXPECT_EQ(snapshot(cat), before);

    QFile::remove(progFile("RunFromHere"));
    dialogs->clear();
    FormSlova->Dir_prog();
    FormDir->hide();
    const auto before2 = snapshot(cat);
    FormSlova->ADD_Node();
    FormSlova->Dell_node();
    FormSlova->Edit_node();
    FormSlova->RenameFile();
    FormSlova->Move_UP();
    FormSlova->Tree1DragDrop(QPoint(10, 5), 0);
    FormSlova->Tree_prog();
    EXPECT_EQ(snapshot(cat), before2);
    EXPECT_EQ(treefile::nodeCount(tree()), 0);
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(NodeTest, AnIncompleteTreeIsNeverChanged)
{
    open("A\r\n\tB\r\n\t\t\t\tx\r\nC\r\n");
    ASSERT_TRUE(FormSlova->TreeIncomplete);
    const auto before = snapshot(cat);
    select(1);
    FormSlova->ADD_Node();
    EXPECT_EQ(dialogs->messages().size(), 1);
    dialogs->clear();
    FormSlova->Dell_node();
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).contains("could not be read completely"));
    EXPECT_EQ(texts(), (QStringList{"A", "B"}));
    EXPECT_EQ(snapshot(cat), before);
}

TEST_F(NodeTest, FailedWritesAreReportedAndLoseNothing)
{
    open(kAB);
    // A folder standing where the snapshot goes: reported, and the tree is not changed.
    QDir().mkpath(cat + "menue_undo");
    select(0);
    FormSlova->ADD_Node();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(texts(), (QStringList{"A", "B"}));
    EXPECT_EQ(read(cat + "Menue"), kAB);
    QDir(cat + "menue_undo").removeRecursively();

    // A write-protected tree file is not replaced, even by root.
    dialogs->clear();
    ASSERT_TRUE(QFile::setPermissions(cat + "Menue", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    FormSlova->ADD_Node();
    FormSlova->wrd->setText("x");
    FormSlova->RenameFile();
    EXPECT_EQ(read(cat + "Menue"), kAB);
    EXPECT_FALSE(dialogs->messages().isEmpty());
    EXPECT_TRUE(dialogs->messages().at(0).contains("write-protected")) << dialogs->messages().join("|").toStdString();
    QFile::setPermissions(cat + "Menue", QFile::ReadOwner | QFile::WriteOwner);

    // The catalog folder removed while the program runs: reported, and the program goes on.
    dialogs->clear();
    QDir(cat).removeRecursively();
    select(0);
    FormSlova->ADD_Node();
    EXPECT_FALSE(dialogs->messages().isEmpty());
    FormSlova->Panel1->hide();
}

TEST_F(NodeTest, ARenameTooLongForTheFileSystemIsReported)
{
    open("A\r\n\told\r\n");
    write(cat + "old.rtf", "r");
    select(1);
    FormSlova->Edit_node();
    const QString longName(300, u'x');
    FormSlova->wrd->setText(longName);
    FormSlova->RenameFile();
    EXPECT_EQ(node(1)->text(0), "old");
    EXPECT_EQ(read(cat + "old.rtf"), QByteArray("r"));
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).contains("305 bytes")) << dialogs->messages().at(0).toStdString();
}

TEST_F(NodeTest, TheHiddenItemsCutOnlyIndentationAndAddAFileNodeThatOpensNothing)
{
    open("A\r\n\tB\r\n\t\tC\r\nDx\r\n");
    select(0);
    FormSlova->DelTopLevel();
    EXPECT_EQ(read(cat + "Menue"), QByteArray("A\r\nB\r\n\tC\r\nDx\r\n"));
    EXPECT_EQ(texts(), (QStringList{"A", "B", "C", "Dx"}));

    write(cat + "f.rtf", "r");
    select(0);
    dialogs->pushFileName(cat + "f.rtf");
    FormSlova->OpenFile();
    EXPECT_EQ(node(1)->text(0), "f.rtf % " + cat + "f.rtf");
    EXPECT_TRUE(read(cat + "Menue").startsWith("A\r\n\tf.rtf % "));
    // A text with a path names no file: opening it shows nothing and creates nothing.
    click(1);
    EXPECT_FALSE(FormEdit->isVisible());
    EXPECT_TRUE(browser()->navigations.isEmpty());
    EXPECT_EQ(read(cat + "f.rtf"), QByteArray("r"));
    // A file whose name begins with a blank would give a line the tree file reads as deeper.
    select(0);
    dialogs->pushFileName(cat + " g.rtf");
    FormSlova->OpenFile();
    EXPECT_EQ(texts(), (QStringList{"A", "f.rtf % " + cat + "f.rtf", "B", "C", "Dx"}));
    EXPECT_EQ(dialogs->messages().size(), 1);
}

TEST_F(NodeTest, ADeletedOrRenamedPageIsNeverWrittenBackByThePageHeaderEditor)
{
    open("A\r\n\tP\r\n\tQ\r\n\tR\r\n");
    write(cat + "P.htm", "<!-- TreeKategory=\"x\"-->\r\n<html>\r\n");
    write(cat + "R.htm", "<!-- TreeKategory=\"r\"-->\r\n<html>\r\n");
    click(1);
    // A header line changed in the page header editor and not yet saved.
    FormHTMLKategory->ListKategory->addItem(QStringLiteral("<!-- TreeKategory=\"y\"-->"));
    FormHTMLKategory->HeaderChanged = 1;
    select(1);
    FormSlova->Dell_node();
    EXPECT_FALSE(QFileInfo::exists(cat + "P.htm"));
    click(1); // Q
    EXPECT_FALSE(QFileInfo::exists(cat + "P.htm"));

    click(2); // R
    FormHTMLKategory->ListKategory->addItem(QStringLiteral("<!-- TreeKategory=\"z\"-->"));
    FormHTMLKategory->HeaderChanged = 1;
    select(2);
    FormSlova->Edit_node();
    FormSlova->wrd->setText("R2");
    FormSlova->RenameFile();
    EXPECT_FALSE(QFileInfo::exists(cat + "R.htm"));
    EXPECT_TRUE(read(cat + "R2.htm").contains("<html>"));
}
