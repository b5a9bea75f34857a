// Node commands given with real clicks and keys on the main window: renames that must be
// refused, deleting or renaming a node whose file another node names, and moving a node up.
#include "../NodeFixture.h"
#include "X11Input.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QToolBar>

namespace {

bool keys(const QStringList& k) { return xdotoolWhileRunning(QStringList{"key", "--delay", "50"} + k + QStringList{"sleep", "0.3"}); }
bool type(const QString& text)
{
    return xdotoolWhileRunning({"type", "--delay", "2", text});
}
} // namespace

class NodeCommandsX11Test : public NodeTest {
protected:
    void SetUp() override
    {
        if (!testsupport::haveTool(QStringLiteral("xdotool")))
            GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    }
    void showTree()
    {
        FormSlova->resize(800, 600);
        FormSlova->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));
        tree()->expandAll();
        QCoreApplication::processEvents();
    }
    QPoint nodeCentre(int i) const
    {
        const QRect r = tree()->visualItemRect(node(i));
        return tree()->viewport()->mapToGlobal(QPoint(r.left() + 12, r.center().y()));
    }
    bool clickNode(int i)
    {
        QTreeWidgetItem* target = node(i);
        return clickTreeItem(tree(), target) && waitFor([&] { return tree()->currentItem() == target; });
    }
    bool clickToolButton(const char* name)
    {
        QAction* action = FormSlova->findChild<QAction*>(QLatin1String(name));
        QWidget* button = action ? FormSlova->StandardToolBar->widgetForAction(action) : nullptr;
        return button && clickAt(button->mapToGlobal(button->rect().center()));
    }
    // Selects the whole text of the rename box, types the new name and presses Return.
    void renameTo(const QString& text)
    {
        dialogs->clear();
        ASSERT_TRUE(waitFor([] { return FormSlova->wrd->isVisible() && FormSlova->wrd->hasFocus(); }));
        ASSERT_TRUE(keys({"ctrl+a"}));
        ASSERT_TRUE(type(text));
        ASSERT_TRUE(waitFor([&] { return FormSlova->wrd->text() == text; }))
            << FormSlova->wrd->text().toStdString();
        ASSERT_TRUE(keys({"Return"}));
        ASSERT_TRUE(waitFor([this] { return !dialogs->messages().isEmpty(); }));
    }
};

TEST_F(NodeCommandsX11Test, ARenameThatCannotBeCarriedOutLeavesTheNodeItsNoteAndTheTreeAsTheyWere)
{
    const QByteArray menue("Notes\r\n\tKeep 1\r\n\tKeep 2\r\n");
    open(menue);
    write(cat + "Keep 1.rtf", "{\\rtf1 one}");
    write(cat + "Keep 2.rtf", "{\\rtf1 two}");
    // A note of another letter case beside it: the node opens the file of its own spelling.
    write(cat + "keep 2.rtf", "{\\rtf1 other}");
    showTree();
    const auto before = snapshot(cat);

    ASSERT_TRUE(clickNode(2));
    ASSERT_TRUE(waitFor([this] { return FormEdit->isVisible() && noteText().startsWith("two"); }));
    ASSERT_TRUE(clickToolButton("ToolEditNode"));

    // Another node's note in another letter case, a name too long for a file, a catalog file.
    const QStringList refused{"KEEP 1", QString(280, u'x'), "MENUE_UNDO"};
    const QStringList reasons{"exists already", "bytes", "catalog's own file"};
    for (int i = 0; i < refused.size(); ++i) {
        renameTo(refused[i]);
        ASSERT_EQ(dialogs->messages().size(), 1) << dialogs->messages().join("|").toStdString();
        EXPECT_TRUE(dialogs->messages().at(0).contains(reasons[i])) << dialogs->messages().at(0).toStdString();
        EXPECT_EQ(texts(), (QStringList{"Notes", "Keep 1", "Keep 2"}));
        EXPECT_TRUE(FormSlova->Panel1->isVisible());
        // Neither the tree file, nor a note, nor the rename copy changed.
        EXPECT_EQ(snapshot(cat), before);
    }

    // The node still opens its own note.
    ASSERT_TRUE(clickNode(1));
    ASSERT_TRUE(waitFor([this] { return noteText().startsWith("one"); }));
    ASSERT_TRUE(clickNode(2));
    EXPECT_TRUE(waitFor([this] { return noteText().startsWith("two"); })) << noteText().toStdString();
    EXPECT_EQ(read(cat + "Menue"), menue);
}

TEST_F(NodeCommandsX11Test, DeleteAndRenameLeaveAFileAnotherNodeNamesAndMoveUpCarriesTheNodeWithItsIconAndSubtree)
{
    open("Root\r\n\tA\r\n\t\tA1\r\n\t\tA2\r\n\tB\r\n\t\tB1\r\n\tSame\r\n\tSame\r\n\tLayered\r\n",
         "0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n6\r\n7\r\n");
    write(cat + "Same.rtf", "{\\rtf1 shared}");
    write(cat + "Layered.rtf", "{\\rtf1 layer}");
    // Another layer of the catalog names "Layered" too; the current tree is the last line.
    stop();
    write(cat + "CurrentMenue", "Other\r\nMenue\r\n");
    write(cat + "Other", "X\r\n\tLayered\r\n");
    startHere();
    showTree();

    // Renaming one of the two "Same" would take the shared note from the other: refused.
    ASSERT_TRUE(clickNode(7));
    ASSERT_TRUE(clickToolButton("ToolEditNode"));
    renameTo("Other");
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages().at(0).contains("would lose it")) << dialogs->messages().at(0).toStdString();
    EXPECT_EQ(node(7)->text(0), "Same");

    // "Dell node" on the second "Same", then on "Layered": the files stay for the other nodes.
    for (int left : {8, 7}) {
        ASSERT_TRUE(clickNode(7));
        ASSERT_TRUE(clickToolButton("ToolDellNode"));
        ASSERT_TRUE(waitFor([&] { return treefile::nodeCount(tree()) == left; }));
    }
    EXPECT_EQ(read(cat + "Menue"), QByteArray("Root\r\n\tA\r\n\t\tA1\r\n\t\tA2\r\n\tB\r\n\t\tB1\r\n\tSame\r\n"));
    EXPECT_EQ(read(cat + "Same.rtf"), QByteArray("{\\rtf1 shared}"));
    EXPECT_EQ(read(cat + "Layered.rtf"), QByteArray("{\\rtf1 layer}"));
    ASSERT_TRUE(clickNode(6));
    EXPECT_TRUE(waitFor([this] { return FormEdit->isVisible() && noteText().startsWith("shared"); }))
        << noteText().toStdString();

    // "Move node Up" from the tree's menu on B: B goes above A with its icon and its child.
    ASSERT_TRUE(clickNode(4));
    ASSERT_TRUE(clickAt(nodeCentre(4), "3"));
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }));
    QAction* up = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QLatin1String("Move node Up"))
            up = a;
    ASSERT_TRUE(up);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    ASSERT_TRUE(clickAt(menu->mapToGlobal(menu->actionGeometry(up).center())));
    const QByteArray moved("Root\r\n\tB\r\n\t\tB1\r\n\tA\r\n\t\tA1\r\n\t\tA2\r\n\tSame\r\n");
    EXPECT_TRUE(waitFor([&] { return read(cat + "Menue") == moved; })) << read(cat + "Menue").constData();
    EXPECT_EQ(read(cat + "Menue_ind"), QByteArray("0\r\n4\r\n5\r\n1\r\n2\r\n3\r\n6\r\n"));
    EXPECT_EQ(texts(), (QStringList{"Root", "B", "B1", "A", "A1", "A2", "Same"}));
    EXPECT_EQ(tree()->currentItem(), node(1));
}
