// The icon palette: its items, and a click that gives the selected node an icon at once.
#include "AppFixture.h"

#include "app/NodeIcons.h"
#include "app/TreeFile.h"
#include "app/UnitICO.h"

#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

class PaletteTest : public AppTest {
protected:
    void click(int k)
    {
        FormICO->LV1->setCurrentRow(k);
        FormICO->LV1Click();
    }
    qint64 mtime(const QString& p) { return QFileInfo(p).lastModified().toMSecsSinceEpoch(); }
};

TEST_F(PaletteTest, ShowsFourteenIconsAndClosesFromItsMenu)
{
    makeCatalog("Project1", "a\r\nb\r\n");
    start();
    FormSlova->ICO();
    EXPECT_TRUE(FormICO->isVisible());
    ASSERT_EQ(FormICO->LV1->count(), 14);
    for (int k = 0; k < 14; ++k) {
        EXPECT_TRUE(FormICO->LV1->item(k)->text().isEmpty());
        EXPECT_EQ(FormICO->LV1->item(k)->icon().pixmap(16, 16).toImage(),
                  TImageList::nodeImages().image(k).toImage());
    }
    EXPECT_TRUE(FormICO->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(FormICO->windowFlags() & Qt::WindowStaysOnTopHint);
    QList<QAction*> items = FormICO->PopupLV1->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "close");
    items[0]->trigger();
    EXPECT_FALSE(FormICO->isVisible());
}

TEST_F(PaletteTest, AClickWritesTheTreeAndItsIconsAtOnce)
{
    const QString dir = makeCatalog("Project1", "a\r\nb\r\nc\r\n");
    write(dir + "Menue_ind", "1\r\n2\r\n3\r\n");
    start();
    QTreeWidget* t = FormSlova->Tree1;
    // No node selected: nothing touched.
    t->setCurrentItem(nullptr);
    const auto before = snapshot(dir);
    click(5);
    EXPECT_EQ(snapshot(dir), before);

    t->setCurrentItem(t->topLevelItem(1));
    click(5);
    EXPECT_EQ(read(dir + "Menue_ind"), QByteArray("1\r\n5\r\n3\r\n"));
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\nb\r\nc\r\n"));
    EXPECT_EQ(treefile::imageIndex(t->topLevelItem(1)), 5);
    EXPECT_EQ(treefile::selectedIndex(t->topLevelItem(1)), 25);
    EXPECT_TRUE(dialogs->messages().isEmpty());

    // The tree file is written too: a node renamed on screen reaches it.
    t->topLevelItem(2)->setText(0, "renamed");
    t->setCurrentItem(t->topLevelItem(2));
    click(0);
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\nb\r\nrenamed\r\n"));
    EXPECT_EQ(read(dir + "Menue_ind"), QByteArray("1\r\n5\r\n0\r\n"));
}

TEST_F(PaletteTest, OneNodeTreeAndReadOnlyModeAreWritten)
{
    const QString dir = progFile("");
    makeCatalog("Project1", "solo\r\n");
    write(progFile("RunFromHere"), "");
    start(); // read-only: the program folder is the catalog
    ASSERT_EQ(FormSlova->ProjectPath, dir);
    QTreeWidget* t = FormSlova->Tree1;
    ASSERT_EQ(t->topLevelItemCount(), 1);
    t->setCurrentItem(t->topLevelItem(0));
    click(7);
    EXPECT_EQ(read(dir + "Menue_ind"), QByteArray("7\r\n"));
    EXPECT_EQ(read(dir + "Menue"), QByteArray("Menue\r\n"));
}

TEST_F(PaletteTest, IncompleteTreeOrCatalogSwitchWritesNothing)
{
    const QString dir = makeCatalog("Project1", "a\r\n\t\t\tbad\r\nc\r\n");
    start();
    ASSERT_TRUE(FormSlova->TreeIncomplete);
    QTreeWidget* t = FormSlova->Tree1;
    t->setCurrentItem(t->topLevelItem(0));
    const auto before = snapshot(dir);
    click(4);
    EXPECT_EQ(treefile::imageIndex(t->topLevelItem(0)), 4); // on screen only
    EXPECT_EQ(snapshot(dir), before);
}

TEST_F(PaletteTest, AFailedWriteIsReported)
{
    const QString dir = makeCatalog("Project1", "a\r\nb\r\n");
    start();
    QFile::remove(dir + "Menue_ind");
    QDir().mkpath(dir + "Menue_ind/x"); // a folder where the file must go
    FormSlova->Tree1->setCurrentItem(FormSlova->Tree1->topLevelItem(0));
    click(3);
    EXPECT_EQ(dialogs->messages().size(), 1);
}
