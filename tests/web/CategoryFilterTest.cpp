#include "WebFixture.h"

#include "app/UnitDir.h"
#include "support/HttpServer.h"
#include "web/CategoryFilter.h"
#include "web/U_manager.h"
#include "web/UnitFiltr.h"

#include <QListWidget>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

namespace {

QStringList treeLines(QTreeWidget* tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* it, int depth) {
        out << QString(depth, u' ') + it->text(0);
        for (int i = 0; i < it->childCount(); ++i)
            walk(it->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

QTreeWidgetItem* findNode(QTreeWidget* tree, const QString& path)
{
    QTreeWidgetItem* at = nullptr;
    for (const QString& part : path.split(u'/')) {
        QTreeWidgetItem* next = nullptr;
        const int n = at ? at->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < n && !next; ++i) {
            QTreeWidgetItem* c = at ? at->child(i) : tree->topLevelItem(i);
            if (c->text(0) == part)
                next = c;
        }
        if (!next)
            return nullptr;
        at = next;
    }
    return at;
}

QStringList listed(QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

class CategoryFilterTest : public WebTest {
protected:
    void writeCatalog()
    {
        write(cat + "a.htm", cp(QStringLiteral("<!-- UserKeywords=\"linux,debian;apt\" -->\r\n"
                                               "<!-- TreeKategory=\"Проекты/Веб/\"-->\r\n"
                                               "<!-- DownloadPage=\"True\"-->\r\n<html><body>a</body></html>\r\n")));
        write(cat + "b.html", "<!-- UserKeywords=\"linux\" -->\r\n<!-- DownloadURL=\"http://example.com/docs/a.htm\" -->\r\n"
                              "<!-- StopList -->\r\n");
        write(cat + "c.txt", "<!-- Text=\"no\" -->\r\n");
        QDir().mkpath(cat + "d.htm");
        write(cat + "e.shtm", "");
        write(cat + "f.htm", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe<!--", 24));
    }
    void mark(const QString& path)
    {
        QTreeWidgetItem* n = findNode(FormFiltr->TreeKat, path);
        ASSERT_TRUE(n) << path.toStdString();
        FormFiltr->TreeKat->setCurrentItem(n);
        FormFiltr->Select1Click();
    }
    QStringList filesFor(const QStringList& paths)
    {
        FormFiltr->FFillTree();
        for (const QString& p : paths)
            mark(p);
        FormFiltr->PC1->setCurrentIndex(2);
        QStringList out = listed(FormFiltr->ListFiles);
        FormFiltr->PC1->setCurrentIndex(0);
        return out;
    }
};

} // namespace

TEST(CategoryEntries, KeywordsAndLines)
{
    using filtr::entryCategories;
    using filtr::entryText;
    EXPECT_EQ(entryCategories(entryText("<!-- UserKeywords=\"a, b; c\" -->")),
              (QStringList{"UserKeywords/a", "UserKeywords/b; c"}));
    EXPECT_EQ(entryCategories(entryText("<!-- UserKeywords=\"x;y\" -->")), (QStringList{"UserKeywords/x", "UserKeywords/y"}));
    EXPECT_TRUE(entryCategories(entryText("<!-- UserKeywords=\" \" -->")).isEmpty());
    EXPECT_EQ(entryText("<!-- DataTime=\"07.12.2026/10:15:00\" -->"), "DataTime/07.12.2026/10:15:00");
    EXPECT_EQ(entryText("<!-- Date/Time= 07.12.2026 10:15:00 -->"), "Date/Time= 07.12.2026 10:15:00");
    EXPECT_EQ(entryText("<!-- Note= x--->"), "Note= x");
    for (const char* l : {"<!--", "<!---->", "<!-- -->", "<!--x"})
        EXPECT_EQ(entryText(l), "") << l;

    // A path that is a leaf and an ancestor stands twice; equal paths once.
    EXPECT_EQ(filtr::treeText(filtr::Maketree({"K/x", "K/x/y", "K/x"})), (QStringList{"K", " x", " x", "  y"}));
}

TEST_F(CategoryFilterTest, TreeMarksSelectedAndFiles)
{
    startOn(QStringLiteral("a\r\nb\r\n"));
    writeCatalog();
    FormFiltr->FFillTree();
    EXPECT_EQ(FormFiltr->windowTitle(), "Filtr form");
    EXPECT_EQ(FormFiltr->FiltrPath, cat);
    EXPECT_EQ(FormFiltr->HtmlFiles, (QStringList{cat + "a.htm", cat + "b.html", cat + "e.shtm", cat + "f.htm"}));
    EXPECT_EQ(treeLines(FormFiltr->TreeKat),
              (QStringList{"DownloadPage", " True", "DownloadURL", " example.com", "  docs", "   a.htm", "StopList",
                           "TreeKategory", QStringLiteral(" Проекты"), QStringLiteral("  Веб"), "UserKeywords",
                           " debian;apt", " linux"}));

    EXPECT_EQ(filesFor({"UserKeywords/linux"}), (QStringList{"a", "b"}));
    EXPECT_EQ(filesFor({"DownloadPage/True"}), QStringList{"a"});
    EXPECT_EQ(filesFor({"DownloadURL/example.com/docs"}), QStringList{"b"});

    // The "Selected" tab, and a double-click that takes a category back.
    FormFiltr->FFillTree();
    mark("UserKeywords/linux");
    QTreeWidgetItem* linux = findNode(FormFiltr->TreeKat, "UserKeywords/linux");
    EXPECT_EQ(TFormFiltr::imageIndex(linux), 4);
    EXPECT_FALSE(linux->icon(0).isNull());
    FormFiltr->PC1->setCurrentIndex(1);
    EXPECT_TRUE(FormFiltr->PanelSelected->isVisibleTo(FormFiltr));
    EXPECT_FALSE(FormFiltr->PanelKat->isVisibleTo(FormFiltr));
    EXPECT_EQ(FormFiltr->SelectedPaths, QStringList{"UserKeywords/linux/"});
    EXPECT_EQ(treeLines(FormFiltr->TreeView1), (QStringList{"UserKeywords", " linux"}));
    FormFiltr->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormFiltr));
    QTreeWidgetItem* sel = findNode(FormFiltr->TreeView1, "UserKeywords/linux");
    FormFiltr->TreeView1->setCurrentItem(sel);
    const QRect r = FormFiltr->TreeView1->visualItemRect(sel);
    QTest::mouseClick(FormFiltr->TreeView1->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(FormFiltr->TreeView1->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(treeLines(FormFiltr->TreeView1), QStringList{"UserKeywords"});
    EXPECT_EQ(TFormFiltr::imageIndex(linux), 0);

    mark("StopList");
    FormFiltr->TreeKat->setCurrentItem(findNode(FormFiltr->TreeKat, "StopList"));
    FormFiltr->Rereadfiltertree1->trigger();
    EXPECT_EQ(TFormFiltr::imageIndex(findNode(FormFiltr->TreeKat, "StopList")), 0);

    // A file click opens the node of that name; a name without a node opens nothing.
    FormFiltr->PC1->setCurrentIndex(0);
    mark("UserKeywords/linux");
    FormFiltr->PC1->setCurrentIndex(2);
    FormFiltr->ListFiles->setCurrentRow(0);
    FormFiltr->ListFilesClick();
    ASSERT_TRUE(FormSlova->Tree1->currentItem());
    EXPECT_EQ(FormSlova->Tree1->currentItem()->text(0), "a");
    EXPECT_EQ(FormSlova->CurrentNodeText, "a"); // the main window's node click ran
    EXPECT_EQ(FormSlova->CurrentFile, cat + "a.htm");
    EXPECT_EQ(FormFiltr->x(), FormSlova->x() + 3);
    FormSlova->Tree1->setCurrentItem(nullptr);
    FormFiltr->ListFiles->addItem("zzz");
    FormFiltr->ListFiles->setCurrentRow(FormFiltr->ListFiles->count() - 1);
    FormFiltr->ListFilesClick();
    EXPECT_FALSE(FormSlova->Tree1->currentItem());
}

TEST_F(CategoryFilterTest, ReadsTheCatalogShownAndChangesNothing)
{
    // A catalog given on the command line: the setting "path" names another one.
    const QString other = makeCatalog("Other", "x\r\n");
    write(other + "o.htm", "<!-- Other -->\r\n");
    cat = progFile("Shown/");
    QDir().mkpath(cat);
    write(cat + "Menue", "a\r\n");
    write(cat + "CurrentMenue", "Menue\r\n");
    write(cat + "StopList", "");
    write(cat + "zero.htm", "");
    write(cat + "comment.htm", "<!--\r\n");
    QByteArray many;
    for (int i = 0; i < 100000; ++i)
        many += "<!-- K=\"v" + QByteArray::number(i % 50) + "\" -->\r\n";
    write(cat + "many.htm", many);
    write(cat + "big.htm", "<!-- Big=\"" + QByteArray(5 * 1024 * 1024, 'b') + "\" -->\r\nbody");
    write(cat + "same1.htm", "<!-- Same -->\r\n");
    write(cat + "same2.htm", "<!-- Same -->\r\n");
    write(cat + "locked.htm", "<!-- Locked -->\r\n");
    QFile::setPermissions(cat + "locked.htm", QFileDevice::Permissions());
    QDir().mkpath(cat + "x.htm");
    const auto before = snapshot(cat);

    start({"morvanel", cat});
    ASSERT_EQ(FormSlova->ProjectPath, cat);
    EXPECT_EQ(FormFiltr->FiltrPath, cat);
    const QStringList lines = treeLines(FormFiltr->TreeKat);
    EXPECT_FALSE(lines.contains("Other"));
    EXPECT_EQ(lines.count("Same"), 1);
    EXPECT_EQ(lines.count("K"), 1);
    EXPECT_EQ(findNode(FormFiltr->TreeKat, "K")->childCount(), 50);
    ASSERT_TRUE(findNode(FormFiltr->TreeKat, "Big"));
    EXPECT_EQ(findNode(FormFiltr->TreeKat, "Big")->child(0)->text(0).size(), 5 * 1024 * 1024);

    FormFiltr->FFillTree();
    stop();
    QFile::setPermissions(cat + "locked.htm", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    auto after = snapshot(cat);
    // The program's own catalog files may be rewritten at shut-down; the pages may not.
    for (auto* m : {&after})
        for (auto it = m->begin(); it != m->end();)
            it = it.key().endsWith(".htm") || it.key().endsWith("x.htm") ? std::next(it) : m->erase(it);
    auto pagesBefore = before;
    for (auto it = pagesBefore.begin(); it != pagesBefore.end();)
        it = it.key().endsWith(".htm") ? std::next(it) : pagesBefore.erase(it);
    EXPECT_EQ(after, pagesBefore);
    EXPECT_FALSE(QFileInfo::exists(cwd.path() + "temp/temp"));
    EXPECT_FALSE(QFileInfo::exists(cwd.path() + "treeview1"));
    EXPECT_TRUE(QFileInfo::exists(progFile("treeview1")));
}

TEST_F(CategoryFilterTest, FollowsTheCatalogShownAndThePagesADownloadRunBrings)
{
    testsupport::TempDir site;
    write(site.file("page.htm"), "<html>fetched</html>\r\n");
    testsupport::HttpServer server(site.path());
    const QString other = makeCatalog("Other", "x\r\n");
    write(other + "o.htm", "<!-- OnlyInOther -->\r\n");
    cat = makeCatalog("Cat", "a\r\n");
    write(cat + "a.htm", "<!-- OnlyInCat -->\r\n");
    start();
    auto switchTo = [](const QString& entry) {
        FormSlova->Dir_prog();
        FormDir->setWindowTitle(entry);
        FormDir->OK();
        QCoreApplication::processEvents();
    };
    auto shown = [] { return treeLines(FormFiltr->TreeKat); };

    // Shown after a switch made while it was hidden, and following a switch while shown.
    switchTo("Other\\");
    ASSERT_EQ(FormSlova->ProjectPath, other);
    FormFiltr->show();
    EXPECT_EQ(shown(), QStringList{"OnlyInOther"});
    switchTo("Cat\\");
    ASSERT_EQ(FormSlova->ProjectPath, cat);
    EXPECT_EQ(shown(), QStringList{"OnlyInCat"});
    mark("OnlyInCat");
    FormFiltr->PC1->setCurrentIndex(2);
    EXPECT_EQ(listed(FormFiltr->ListFiles), QStringList{"a"});
    switchTo("Other\\");
    EXPECT_EQ(FormFiltr->HtmlFiles, QStringList{other + "o.htm"});
    EXPECT_TRUE(listed(FormFiltr->ListFiles).isEmpty());
    FormFiltr->hide();
    switchTo("Cat\\");

    // A download run brings a page; the filter shown again lists it, and a mark on a category
    // that is still there stays.
    FormFiltr->show();
    FormFiltr->PC1->setCurrentIndex(0);
    mark("OnlyInCat");
    FormFiltr->hide();
    write(cat + "t.htm", "<!-- DownloadPage=\"True\"-->\r\n<!-- DownloadURL=\"" + server.url("/page.htm").toUtf8() + "\" -->\r\n");
    FormM->Preparelist1Click();
    FormM->StartDownload1Click();
    for (int i = 0; i < 1000 && (FormM->LB_files->count() > 0 || FormM->busy()); ++i)
        QTest::qWait(20);
    FormM->Timer1Timer();
    ASSERT_FALSE(FormM->Timer1->isActive());
    FormFiltr->show();
    EXPECT_TRUE(shown().contains("DownloadURL")) << shown().join('|').toStdString();
    EXPECT_FALSE(shown().contains("DownloadPage"));
    EXPECT_EQ(TFormFiltr::imageIndex(findNode(FormFiltr->TreeKat, "OnlyInCat")), 4);
}
