// The node search window: search over the tree file, hits, and the selection of a hit.
#include "AppFixture.h"

#include "app/TreeFile.h"
#include "app/UnitSearch.h"
#include "editor/REMain.h"
#include "platform/text/CodePage.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {
QByteArray cp(const char* utf8) { return platform::toCp1251(QString::fromUtf8(utf8)); }

QStringList hits()
{
    QStringList out;
    for (int i = 0; i < FormSearch->ListFind->count(); ++i)
        out.append(FormSearch->ListFind->item(i)->text());
    return out;
}

void type(const QString& text)
{
    // QTest types ASCII only: the text is set and a key released in the box, as typing ends.
    FormSearch->Edit1->setText(text);
    QTest::keyClick(FormSearch->Edit1, Qt::Key_End);
}
} // namespace

class SearchTest : public AppTest {
protected:
    void SetUp() override
    {
        dir = makeCatalog("Project1", cp("Москва\r\n\tмосква\r\n\tМОСКВА\r\nMoscow\r\n\tAmoscow river\r\nx\r\n"));
        start();
        FormSlova->Find_node();
    }
    QString dir;
};

TEST(SearchForm, FoldsLatinAndOnlyAFirstCyrillicCapital)
{
    EXPECT_EQ(searchForm(QString::fromUtf8("  Москва \t")), QString::fromUtf8("москва"));
    EXPECT_EQ(searchForm(QString::fromUtf8("МОСКВА")), QString::fromUtf8("мОСКВА"));
    EXPECT_EQ(searchForm(QString::fromUtf8("Ёлка")), QString::fromUtf8("Ёлка"));
    EXPECT_EQ(searchForm("Amoscow RIVER"), "amoscow river");
    const QList<QByteArray> lines{cp("\tЯма"), cp("Ёж"), "end x", ""};
    EXPECT_EQ(findNodeLines(lines, QString::fromUtf8("яма")), QStringList{QString::fromUtf8("яма <0>")});
    EXPECT_EQ(findNodeLines(lines, QString::fromUtf8("ёж")), QStringList{});
    EXPECT_EQ(findNodeLines(lines, "x"), QStringList{"end x <2>"});
    EXPECT_EQ(findNodeLines(lines, "   "), QStringList{});
    EXPECT_EQ(findNodeLines(lines, QString::fromUtf8("漢")), QStringList{});
}

TEST_F(SearchTest, KeysListTheHitsOfTheTreeFile)
{
    EXPECT_TRUE(FormSearch->isVisible());
    EXPECT_EQ(FormSearch->windowTitle(), "Search form");
    EXPECT_EQ(FormSearch->Button3->text(), "Close");
    EXPECT_EQ(FormSearch->pos().x(), FormSlova->pos().x() + 10);
    type(QString::fromUtf8("москва"));
    EXPECT_EQ(hits(), (QStringList{QString::fromUtf8("москва <0>"), QString::fromUtf8("москва <1>")}));
    type("MOS");
    EXPECT_EQ(hits(), (QStringList{"moscow <3>", "amoscow river <4>"}));
    type("r");
    EXPECT_EQ(hits(), (QStringList{"amoscow river <4>"}));
    // A key that changes nothing searches again: a node added to the file since shows.
    write(dir + "Menue", read(dir + "Menue") + "river\r\n");
    QTest::keyClick(FormSearch->Edit1, Qt::Key_End);
    EXPECT_EQ(hits(), (QStringList{"amoscow river <4>", "river <6>"}));
    EXPECT_TRUE(dialogs->messages().isEmpty());
    // Find_node starts afresh.
    FormSearch->close();
    FormSlova->Find_node();
    EXPECT_TRUE(FormSearch->Edit1->text().isEmpty());
    EXPECT_EQ(FormSearch->ListFind->count(), 0);
}

TEST_F(SearchTest, MissingOrUnreadableTreeFileIsReported)
{
    QFile::remove(dir + "Menue");
    type("m");
    EXPECT_EQ(dialogs->messages().value(0), "File CURRENT MENUE not exists");
    EXPECT_EQ(FormSearch->ListFind->count(), 0);
    dialogs->clear();
    QDir().mkpath(dir + "Menue"); // a folder where the file should be: it cannot be read
    QTest::keyClick(FormSearch->Edit1, Qt::Key_N);
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_NE(dialogs->messages().value(0), "File CURRENT MENUE not exists");
    EXPECT_EQ(FormSearch->ListFind->count(), 0);
}

TEST_F(SearchTest, AHitSelectsTheNodeWithoutOpeningItAndClosesTheWindow)
{
    FormSlova->CurrentNodeText = "before";
    type("river");
    ASSERT_EQ(FormSearch->ListFind->count(), 1);
    FormSlova->Tree1->collapseAll();
    FormSearch->ListFind->setCurrentRow(0);
    FormSearch->ListFindClick();
    QTreeWidgetItem* node = FormSlova->Tree1->currentItem();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(0), "Amoscow river");
    EXPECT_TRUE(node->parent()->isExpanded());
    EXPECT_FALSE(FormSearch->isVisible());
    EXPECT_EQ(FormSlova->CurrentNodeText, "before");
    EXPECT_FALSE(FormEdit->isVisible());

    // The file was rewritten in another order: the node with the hit's text is selected.
    FormSlova->Tree1->setCurrentItem(nullptr);
    EXPECT_EQ(nodeOfHit(FormSlova->Tree1, "amoscow river <0>")->text(0), "Amoscow river");
    EXPECT_EQ(nodeOfHit(FormSlova->Tree1, QString::fromUtf8("москва <2>"))->text(0), QString::fromUtf8("Москва"));
    // A number beyond the tree, or one too long to read, and a text no node has: nothing.
    EXPECT_EQ(nodeOfHit(FormSlova->Tree1, "gone <999999>"), nullptr);
    EXPECT_EQ(nodeOfHit(FormSlova->Tree1, "gone <99999999999999999999>"), nullptr);
    EXPECT_EQ(nodeOfHit(FormSlova->Tree1, "<>"), nullptr);
    FormSearch->show();
    FormSearch->ListFind->clear();
    FormSearch->ListFind->addItem("gone <999999>");
    FormSearch->ListFind->setCurrentRow(0);
    FormSearch->ListFindClick();
    EXPECT_EQ(FormSlova->Tree1->currentItem(), nullptr);
    EXPECT_FALSE(FormSearch->isVisible());
}

TEST_F(SearchTest, FindNodeNeedsNodesAndClosesTheEditor)
{
    FormSearch->close();
    FormSlova->Tree1->clear();
    FormSlova->Find_node();
    EXPECT_FALSE(FormSearch->isVisible());
}
