#include "WebFixture.h"

#include "web/PageHeader.h"
#include "web/UnitHtmlKategory.h"
#include "web/UnitStopList.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

namespace {

class HeaderEditorTest : public WebTest {
protected:
    TFormHTMLKategory* ed() { return FormHTMLKategory; }
    QStringList shown()
    {
        QStringList out;
        for (int i = 0; i < ed()->ListKategory->count(); ++i)
            out << ed()->ListKategory->item(i)->text();
        return out;
    }
    void select(int row)
    {
        ed()->ListKategory->setCurrentRow(row);
        ed()->ListKategory->item(row)->setSelected(true);
    }
    void doubleClick(int row)
    {
        ed()->ListKategory->scrollToItem(ed()->ListKategory->item(row));
        const QPoint p = ed()->ListKategory->visualItemRect(ed()->ListKategory->item(row)).center();
        QTest::mouseClick(ed()->ListKategory->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(ed()->ListKategory->viewport(), Qt::LeftButton, {}, p);
    }
    void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(w, k, m); }
    // A page of the catalog opened as its node.
    QString open(const QString& node, const QString& ext, const QByteArray& content)
    {
        const QString p = cat + node + ext;
        write(p, content);
        current(node, p);
        ed()->LoadHTMLList();
        return p;
    }

    const QByteArray koi8Body = "<html>\r\n<body>\xF0\xD2\xC9\xD7\xC5\xD4</body>\r\n</html>\r\n";
};

} // namespace

TEST_F(HeaderEditorTest, CyrillicHeaderOverAForeignBodyComesBackByteForByte)
{
    startOn(QStringLiteral("Проекты\r\n\tВеб\r\n\t\tСтраница\r\n"));
    const QByteArray head = cp(QStringLiteral("<!-- TreeKategory=\"Проекты/Веб/\"-->\r\n"
                                              "<!-- UserDescription=\"Статья о Linux\" -->\r\n"
                                              "<!-- DownloadURL=\"http://example.com/\" -->\r\n"));
    const QString p = open(QStringLiteral("Страница"), ".htm", head + koi8Body);
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("<!-- TreeKategory=\"Проекты/Веб/\"-->"),
                                    QStringLiteral("<!-- UserDescription=\"Статья о Linux\" -->"),
                                    QStringLiteral("<!-- DownloadURL=\"http://example.com/\" -->")}));
    EXPECT_EQ(ed()->windowTitle(), QStringLiteral("Страница"));
    ed()->AddUserKeywords1Click();
    ed()->AddUserKeywords1Click();
    EXPECT_EQ(shown().size(), 4);
    EXPECT_EQ(ed()->HeaderChanged, 1);
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(p), head + "<!-- UserKeywords=\" \" -->\r\n" + koi8Body);
    EXPECT_EQ(ed()->HeaderChanged, 0);
}

TEST_F(HeaderEditorTest, WhichFileIsReadAndWritten)
{
    startOn(QStringLiteral("Страница\r\nНовая\r\n"));
    write(cat + QStringLiteral("Страница.htm"), "<!-- B -->\r\n<html>y</html>");
    const QString htm = open(QStringLiteral("Страница"), ".html", "<!-- A -->\r\n<html>x</html>");
    const QByteArray htmlBytes = read(htm);
    EXPECT_EQ(shown(), QStringList{"<!-- B -->"});
    ed()->UserDescription1Click();
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(cat + QStringLiteral("Страница.htm")), "<!-- B -->\r\n<!-- UserDescription=\" \" -->\r\n<html>y</html>");
    EXPECT_EQ(read(htm), htmlBytes);

    // No page file: a key press in the empty list creates nothing; an added line creates ".shtm".
    current(QStringLiteral("Новая"), cat + QStringLiteral("Новая.shtm"));
    ed()->LoadHTMLList();
    key(ed()->ListKategory, Qt::Key_Down);
    EXPECT_EQ(ed()->HeaderChanged, 1);
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_FALSE(QFileInfo::exists(cat + QStringLiteral("Новая.shtm")));
    ed()->UserDescription1Click();
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(cat + QStringLiteral("Новая.shtm")), "<!-- UserDescription=\" \" -->\r\n");
}

TEST_F(HeaderEditorTest, HideAndReloadMarksAreSavedAtOnce)
{
    startOn(QStringLiteral("task_1\r\n"));
    const QString p = open("task_1", ".htm",
                           "<!-- DownloadPage=\"True\"-->\r\n<!-- SearchWords=\"linux\"-->\r\n"
                           "<!-- DownloadURL=\"http://a/\" -->\r\n");
    ed()->Hidepage1Click();
    EXPECT_EQ(read(p), "<!-- SearchWords=\"linux\"-->\r\n<!-- DownloadURL=\"http://a/\" -->\r\n<!-- HidePage=\"True\"-->\r\n");
    EXPECT_EQ(FindKomand(p, "HidePage"), "true");
    EXPECT_EQ(ed()->HeaderChanged, 0);

    ed()->ReLoad1Click();
    ed()->show();
    ed()->ListKategory->setFocus();
    key(ed()->ListKategory, Qt::Key_R, Qt::ControlModifier);
    const QByteArray after = read(p);
    EXPECT_EQ(after.count("<!-- DownloadPage=\"True\"-->\r\n"), 1);
    EXPECT_TRUE(after.endsWith("<!-- DownloadPage=\"True\"-->\r\n"));
    EXPECT_EQ(ed()->HeaderChanged, 0);
}

TEST_F(HeaderEditorTest, EditingOneLineWithMouseAndKeys)
{
    startOn(QStringLiteral("p\r\n"));
    const QString p = open("p", ".htm", "<!-- A -->\r\n<!-- B -->\r\n<!-- C -->\r\nbody");
    ed()->show();
    doubleClick(1);
    EXPECT_TRUE(ed()->EditKategory->isEnabled());
    EXPECT_FALSE(ed()->ListKategory->isEnabled());
    EXPECT_EQ(ed()->EditKategory->text(), "<!-- B -->");
    ed()->EditKategory->setText("<!-- B2 -->");
    key(ed()->EditKategory, Qt::Key_Return);
    EXPECT_FALSE(ed()->EditKategory->isEnabled());
    EXPECT_TRUE(ed()->ListKategory->isEnabled());
    EXPECT_EQ(shown(), (QStringList{"<!-- A -->", "<!-- B2 -->", "<!-- C -->"}));
    EXPECT_EQ(ed()->HeaderChanged, 1);
    ASSERT_TRUE(ed()->HTMLSave());

    doubleClick(0);
    ed()->EditKategory->setText("changed");
    key(ed()->EditKategory, Qt::Key_Escape);
    EXPECT_TRUE(ed()->isVisible()); // Esc ends the edit, not the window
    EXPECT_EQ(shown()[0], "<!-- A -->");
    EXPECT_EQ(ed()->HeaderChanged, 0);

    select(2);
    ed()->ListKategory->setFocus();
    key(ed()->ListKategory, Qt::Key_Delete);
    EXPECT_EQ(shown(), (QStringList{"<!-- A -->", "<!-- B2 -->"}));
    select(0);
    ed()->Delete1Click();
    EXPECT_EQ(shown(), QStringList{"<!-- B2 -->"});
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(p), "<!-- B2 -->\r\nbody");

    key(ed()->ListKategory, Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(launched->calls.size(), 1);
    EXPECT_EQ(launched->calls[0].program, "notepad.exe");
    EXPECT_EQ(launched->calls[0].args, QStringList{p});
}

TEST_F(HeaderEditorTest, ChangesGoToTheLoadedPageAndSurviveActivation)
{
    startOn(QStringLiteral("A\r\nB\r\n"));
    const QString a = open("A", ".htm", "<!-- A -->\r\nbody A");
    ed()->UserDescription1Click();
    current("B", cat + "B.rtf");
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(a), "<!-- A -->\r\n<!-- UserDescription=\" \" -->\r\nbody A");
    EXPECT_FALSE(QFileInfo::exists(cat + "B.shtm"));

    // Looking at another window and back keeps an unsaved change.
    current("A", a);
    ed()->LoadHTMLList();
    ed()->show();
    ed()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(ed()));
    ed()->AddUserKeywords1Click();
    FormStopList->show();
    FormStopList->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FormStopList));
    ed()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(ed()));
    EXPECT_TRUE(shown().contains("<!-- UserKeywords=\" \" -->"));
    EXPECT_TRUE(read(a).contains("<!-- UserKeywords=\" \" -->\r\nbody A"));
}

TEST_F(HeaderEditorTest, OnlyWholeEqualLinesAreDuplicates)
{
    startOn(QStringLiteral("p\r\n"));
    open("p", ".htm",
         "<!-- UserDescription=\"Article about Linux\" -->\r\n<!-- UserDescription=\"Article about Debian\" -->\r\n"
         "<!-- UserDescription=\"Article about Linux\" -->\r\n");
    ed()->Dubli();
    EXPECT_EQ(shown(), (QStringList{"<!-- UserDescription=\"Article about Linux\" -->",
                                    "<!-- UserDescription=\"Article about Debian\" -->"}));
}

TEST_F(HeaderEditorTest, StopListCommandHandsOverTheAddress)
{
    startOn(QStringLiteral("p\r\nq\r\n"));
    write(cat + "StopList", "http://old/\r\n");
    FormStopList->LoadStopList();
    open("p", ".htm", "<!-- urlfordownload=\"http://ads.example/\" -->\r\nbody");
    EXPECT_EQ(ed()->StopAddress, "http://ads.example/");
    ed()->Stoplist1Click();
    EXPECT_EQ(FormStopList->MemoStop->toPlainText(), "http://old/\nhttp://ads.example/");
    EXPECT_EQ(FormStopList->StopListChanged, 1);
    EXPECT_EQ(shown().last(), "<!-- StopList -->");
    ASSERT_TRUE(FormStopList->SaveStopList());
    EXPECT_EQ(read(cat + "StopList"), "http://old/\r\nhttp://ads.example/\r\n");

    open("q", ".htm", "<!-- A -->\r\n");
    ed()->Stoplist1Click();
    EXPECT_EQ(FormStopList->MemoStop->toPlainText(), "http://old/\nhttp://ads.example/");
    EXPECT_EQ(FormStopList->StopListChanged, 0);
}

TEST_F(HeaderEditorTest, TreeCategoryLineFromTheNodesAncestors)
{
    startOn(QStringLiteral("Проекты\r\n\tВеб\r\n\t\tСтраница\r\n\t\tДругая\r\nВерх\r\n"));
    QTreeWidgetItem* page = FormSlova->Tree1->topLevelItem(0)->child(0)->child(0);
    FormSlova->Tree1->setCurrentItem(page);
    const QString p = open(QStringLiteral("Страница"), ".htm",
                           "<!-- A -->\r\n<!-- TreeKategory=\"old/\"-->\r\n<!-- B -->\r\nbody");
    ed()->UserDescription1Click(); // a change made in the list before
    ed()->reeKategory1Click();
    EXPECT_EQ(read(p), "<!-- A -->\r\n" + cp(QStringLiteral("<!-- TreeKategory=\"Проекты/Веб/\"-->")) +
                           "\r\n<!-- B -->\r\n<!-- UserDescription=\" \" -->\r\nbody");
    EXPECT_EQ(shown()[1], QStringLiteral("<!-- TreeKategory=\"Проекты/Веб/\"-->"));

    // No such line: it goes first; no page: one is created with the line alone.
    FormSlova->Tree1->setCurrentItem(FormSlova->Tree1->topLevelItem(0)->child(0)->child(1));
    const QString other = open(QStringLiteral("Другая"), ".html", "<!-- A -->\r\nbody");
    ed()->reeKategory1Click();
    EXPECT_EQ(read(other), cp(QStringLiteral("<!-- TreeKategory=\"Проекты/Веб/\"-->\r\n<!-- A -->\r\nbody")));
    FormSlova->Tree1->setCurrentItem(FormSlova->Tree1->topLevelItem(1));
    current(QStringLiteral("Верх"), cat + QStringLiteral("Верх.shtm"));
    ASSERT_TRUE(FormSlova->LoadTreeKategory());
    EXPECT_EQ(read(cat + QStringLiteral("Верх.shtm")), "<!-- TreeKategory=\"\"-->\r\n");
}

TEST_F(HeaderEditorTest, AwkwardPagesAreKeptSafe)
{
    startOn(QStringLiteral("p\r\n"));
    // "<!--" directly followed by text stays once.
    QString p = open("p", ".htm", "<!--saved from url=(0014)about:internet -->\r\n<html>b</html>");
    ed()->UserDescription1Click();
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(p), "<!--saved from url=(0014)about:internet -->\r\n<!-- UserDescription=\" \" -->\r\n<html>b</html>");

    // UTF-8 with a byte order mark keeps it first.
    p = open("p", ".htm", "\xEF\xBB\xBF<!-- A -->\r\n<html>\xD0\x96</html>");
    EXPECT_EQ(shown(), QStringList{"<!-- A -->"});
    ed()->UserDescription1Click();
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(p), "\xEF\xBB\xBF<!-- A -->\r\n<!-- UserDescription=\" \" -->\r\n<html>\xD0\x96</html>");

    // UTF-16: empty header, the save is refused and the file stays as it was.
    const QByteArray wide("\xFF\xFE<\0!\0-\0-\0 \0A\0\r\0\n\0", 20);
    p = open("p", ".htm", wide);
    EXPECT_TRUE(shown().isEmpty());
    ed()->UserDescription1Click();
    EXPECT_FALSE(ed()->HTMLSave());
    EXPECT_EQ(read(p), wide);
    ASSERT_FALSE(dialogs->messages().isEmpty());
    EXPECT_TRUE(dialogs->messages().last().contains("encoding"));
    EXPECT_EQ(ed()->HeaderChanged, 0); // it can never be written: not asked for again

    // A page the user may not write: the message names it, the list keeps the change.
    p = open("p", ".htm", "<!-- A -->\r\nbody");
    QFile::setPermissions(p, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    ed()->AddUserKeywords1Click();
    EXPECT_FALSE(ed()->HTMLSave());
    EXPECT_TRUE(dialogs->messages().last().contains(p));
    EXPECT_EQ(read(p), "<!-- A -->\r\nbody");
    EXPECT_EQ(shown().size(), 2);
    EXPECT_EQ(ed()->HeaderChanged, 1);
    QFile::setPermissions(p, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(ed()->HTMLSave());
    EXPECT_EQ(read(p), "<!-- A -->\r\n<!-- UserKeywords=\" \" -->\r\nbody");
}

TEST_F(HeaderEditorTest, AFailedSaveIsNotRetriedAtEveryActivation)
{
    startOn(QStringLiteral("p\r\n"));
    const QString p = open("p", ".htm", "<!-- A -->\r\nbody");
    ed()->show();
    ed()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(ed()));
    QFile::remove(p);
    QDir().mkpath(p); // a folder stands where the page must be written
    ed()->AddUserKeywords1Click();
    auto activateAgain = [this] {
        FormStopList->show();
        FormStopList->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(FormStopList));
        ed()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(ed()));
    };
    activateAgain();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains(p));
    // Closing the message activates the window again: the same lines are not tried (and
    // reported) once more, and the list keeps them.
    activateAgain();
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(shown(), (QStringList{"<!-- A -->", "<!-- UserKeywords=\" \" -->"}));
    EXPECT_EQ(ed()->HeaderChanged, 1);
    // A further change is tried at the next activation, and written once the page can be.
    QDir(p).removeRecursively();
    write(p, "<!-- A -->\r\nbody");
    ed()->UserDescription1Click();
    activateAgain();
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(read(p), "<!-- A -->\r\n<!-- UserKeywords=\" \" -->\r\n<!-- UserDescription=\" \" -->\r\nbody");
}
