#include "app/NodeIcons.h"
#include "app/TreeFile.h"
#include "platform/text/LineList.h"
#include "support/TestSupport.h"

#include <QTreeWidget>

using namespace treefile;

namespace {
// The tree as "depth:text" lines, in absolute order.
QStringList shape(const QTreeWidget& t)
{
    QStringList out;
    for (QTreeWidgetItem* n : allNodes(&t)) {
        int d = 0;
        for (QTreeWidgetItem* p = n->parent(); p; p = p->parent())
            ++d;
        out.append(QStringLiteral("%1:%2").arg(d).arg(n->text(0)));
    }
    return out;
}

QList<QByteArray> lines(const QByteArray& text) { return platform::splitLines(text); }
} // namespace

TEST(TreeFile, BlanksIndentLikeTabsAndTheFirstLineIsTopLevel)
{
    testsupport::TempDir t;
    testsupport::writeFile(t.file("Menue"), "   root \r\n\tchild\r\n \tgrand\r\n sibling\r\n\r\nlast");
    QTreeWidget tree;
    QString err;
    ASSERT_TRUE(loadTree(&tree, t.file("Menue"), &err));
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(shape(tree), (QStringList{"0:root ", "1:child", "2:grand", "1:sibling", "0:", "0:last"}));
    ASSERT_TRUE(saveTree(&tree, t.file("out"), &err));
    EXPECT_EQ(testsupport::readFile(t.file("out")), QByteArray("root \r\n\tchild\r\n\t\tgrand\r\n\tsibling\r\n\r\nlast\r\n"));
}

TEST(TreeFile, ShallowerLinesClimbToTheRightAncestor)
{
    ReadResult r = parseLines(lines("a\n\tb\n\t\tc\n\t\t\td\n\te\nf\n\tg"));
    QTreeWidget tree;
    tree.addTopLevelItems(r.topLevel);
    EXPECT_EQ(shape(tree), (QStringList{"0:a", "1:b", "2:c", "3:d", "1:e", "0:f", "1:g"}));
    EXPECT_EQ(r.nodes.size(), 7);
    EXPECT_EQ(nodeAt(&tree, 4)->text(0), "e");
    EXPECT_EQ(absoluteIndex(r.nodes[6]), 6);
    EXPECT_EQ(nodeAt(&tree, 7), nullptr);
}

TEST(TreeFile, AJumpOfTwoLevelsStopsTheReading)
{
    ReadResult r = parseLines(lines("a\r\n\tb\r\n\t\t\tx y\r\n\tc\r\n"));
    EXPECT_EQ(r.error, "Invalid level (3) for item \"x y\"");
    EXPECT_EQ(r.nodes.size(), 2);
    qDeleteAll(r.topLevel);
    r = parseLines(lines("a\r\n\t\tx\r\n"));
    EXPECT_EQ(r.error, "Invalid level (2) for item \"x\"");
    EXPECT_EQ(r.nodes.size(), 1);
    qDeleteAll(r.topLevel);
}

TEST(TreeFile, TextsAreWindows1251)
{
    testsupport::TempDir t;
    testsupport::writeFile(t.file("Menue"), "\xcf\xf0\xe8\xe2\xe5\xf2\r\n\t\x98\r\n");
    QTreeWidget tree;
    ASSERT_TRUE(loadTree(&tree, t.file("Menue"), nullptr));
    EXPECT_EQ(tree.topLevelItem(0)->text(0), QString::fromUtf8("Привет"));
    QString err;
    ASSERT_TRUE(saveTree(&tree, t.file("out"), &err));
    EXPECT_EQ(testsupport::readFile(t.file("out")), QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2\r\n\t\x98\r\n"));
    tree.topLevelItem(0)->setText(0, QString::fromUtf8("日本"));
    EXPECT_FALSE(saveTree(&tree, t.file("out"), &err));
    EXPECT_TRUE(err.contains(QString::fromUtf8("日本")));
}

TEST(TreeFile, IconLinesApplyToAsManyNodesAsBothHave)
{
    ReadResult r = parseLines(lines("a\nb\n\tc\nd"));
    QTreeWidget tree;
    tree.addTopLevelItems(r.topLevel);
    applyIconLines(r.nodes, lines("5\n 12 \n"));
    EXPECT_EQ(iconLines(r.nodes), (QList<QByteArray>{"5", "12", "0", "0"}));
    EXPECT_EQ(selectedIndex(r.nodes[1]), 32);
    applyIconLines(r.nodes, lines("1\nnot a number\n3\n4\n5\n6\n"));
    EXPECT_EQ(iconLines(r.nodes), (QList<QByteArray>{"1", "12", "3", "4"}));
    EXPECT_EQ(selectedIndex(r.nodes[3]), 24);
}

TEST(TreeFile, NodesShowTheirIconAndItsSelectedForm)
{
    const TImageList& il = TImageList::nodeImages();
    ASSERT_EQ(il.Count(), 40);
    for (int i = 0; i < 40; ++i)
        ASSERT_FALSE(il.image(i).isNull()) << i;
    // The selected form is a different picture of the same size.
    EXPECT_NE(il.image(3).toImage(), il.image(23).toImage());
    EXPECT_EQ(il.image(3).size(), QSize(16, 16));

    TTreeNode node("n");
    setImageIndex(&node, 3);
    const QIcon icon = node.data(0, Qt::DecorationRole).value<QIcon>();
    EXPECT_EQ(icon.pixmap(16, 16, QIcon::Normal).toImage(), il.image(3).toImage());
    EXPECT_EQ(icon.pixmap(16, 16, QIcon::Selected).toImage(), il.image(23).toImage());
    node.setImages(77, 97); // beyond the list: nothing is drawn, the number is kept
    EXPECT_TRUE(node.data(0, Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(imageIndex(&node), 77);
}

TEST(TreeFile, MoreThanOneNodeCountsChildrenToo)
{
    QTreeWidget tree;
    EXPECT_FALSE(hasMoreThanOneNode(&tree));
    auto* a = new TTreeNode("a");
    tree.addTopLevelItem(a);
    EXPECT_FALSE(hasMoreThanOneNode(&tree));
    a->addChild(new TTreeNode("b"));
    EXPECT_TRUE(hasMoreThanOneNode(&tree));
    EXPECT_EQ(nodeCount(&tree), 2);
}
