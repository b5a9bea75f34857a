#include "WebFixture.h"

#include "web/TaskFiles.h"
#include "web/U_manager.h"
#include "web/UnitStopList.h"
#include "web/Unit_kyes.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

namespace {

class SearchWordsTest : public WebTest {
protected:
    TForm_keys* k() { return Form_keys; }
    QStringList shown()
    {
        QStringList out;
        for (int i = 0; i < k()->ListBox1->count(); ++i)
            out << k()->ListBox1->item(i)->text();
        return out;
    }
    void select(int row)
    {
        k()->ListBox1->setCurrentRow(row);
        k()->ListBox1->item(row)->setSelected(true);
    }
    QStringList htmFiles() { return QDir(cat).entryList({"*.htm"}, QDir::Files, QDir::Name); }
};

} // namespace

TEST(MakeURL, BytesAsTheEngineWantsThem)
{
    const QString y = "http://yandex.ru/yandsearch?text=";
    const QString ys = "&stype=www&nl=0";
    EXPECT_EQ(tasks::MakeURL("ab cd", y, ys), y + "ab+cd" + ys);
    EXPECT_EQ(tasks::MakeURL(platform::fromCp1251("\xE9"), "", ""), "%E9");
    EXPECT_EQ(tasks::MakeURL(QStringLiteral("ЁёЯ"), "", ""), "%DF");
    EXPECT_EQ(tasks::MakeURL("a++ word", "", ""), "a+word");
    EXPECT_EQ(tasks::MakeURL(" x ", "", ""), "+x+");
    EXPECT_EQ(tasks::MakeURL("C#", "", ""), "C%23");
    EXPECT_EQ(tasks::MakeURL("", y, ys), y + ys);
    // Every byte value.
    const QByteArray punct("!#$%^&()<>?,/;':\"[]{}`~");
    for (int b = 1; b < 256; ++b) {
        const QString got = tasks::MakeURL(platform::fromCp1251(QByteArray(1, char(b))), "", "");
        QString want;
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '@' || b == '*' || b == '.')
            want = QChar(b);
        else if (b == ' ')
            want = "+";
        else if (b >= 192 || punct.contains(char(b)))
            want = QStringLiteral("%%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        EXPECT_EQ(got, want) << b;
    }
    EXPECT_EQ(tasks::MakeURL(QString(QChar(0)), "", ""), "");
}

TEST_F(SearchWordsTest, TaskFilesFromTheList)
{
    startOn("a\r\n");
    k()->Google1->trigger();
    const QString address = k()->EditS1->text() + "linux+kernel";
    write(cat + "known.htm", "<!-- DownloadURL=\"" + address.toUpper().toLatin1() + "\" -->\r\n<html>\r\n");
    write(cat + "keywords", cp(QStringLiteral("linux kernel\r\nurl:http://127.0.0.1:8080/a/index.htm\r\n\r\nurl:abc\r\nядро\r\n")));
    k()->ReRead();
    tasks::seedRandom(1);
    const quint32 firstNumber = [] {
        QRandomGenerator g(1);
        return g.bounded(100000000);
    }();
    tasks::seedRandom(1);
    k()->Check_html_files();
    QStringList files = htmFiles();
    ASSERT_EQ(files.size(), 3) << files.join(",").toStdString();
    const QString url = files.filter(QRegularExpression("^p___127_0_0_1_8080_a_index_htm_\\d+\\.htm$")).value(0);
    ASSERT_FALSE(url.isEmpty());
    EXPECT_EQ(url, QStringLiteral("p___127_0_0_1_8080_a_index_htm_%1.htm").arg(firstNumber));
    EXPECT_EQ(read(cat + url), "<!-- DownloadPage=\"True\"-->\r\n<!-- SearchWords=\"url:http://127.0.0.1:8080/a/index.htm\"-->\r\n"
                               "<!-- DownloadURL=\"http://127.0.0.1:8080/a/index.htm\" -->\r\n");
    const QString core = files.filter(QRegularExpression(QStringLiteral("^ядро_\\d+\\.htm$"))).value(0);
    ASSERT_FALSE(core.isEmpty());
    EXPECT_TRUE(read(cat + core).contains("%FF%E4%F0%EE\" -->\r\n"));
    EXPECT_EQ(k()->UrlOrTaskName + ".htm", core);
    EXPECT_EQ(FormM->DownloadDir, cat);
    EXPECT_TRUE(k()->Downloadmanager1->isEnabled());

    // Long lines keep their last 51 characters and the whole number; odd characters become "_".
    for (const QString& f : files)
        if (f != "known.htm")
            QFile::remove(cat + f);
    const QString line45 = QString("abcdefghij").repeated(4) + "klmno";
    write(cat + "keywords", (line45 + "\r\nHe said \"hi\" <b>\r\n").toLatin1());
    k()->ReRead();
    tasks::seedRandom(2);
    k()->Check_html_files();
    files = htmFiles();
    files.removeAll("known.htm");
    ASSERT_EQ(files.size(), 2);
    for (const QString& f : files) {
        const QString base = f.chopped(4);
        if (base.startsWith("He"))
            EXPECT_TRUE(QRegularExpression("^He said _hi_ _b__\\d+$").match(base).hasMatch()) << base.toStdString();
        else {
            const QString whole = line45 + "_" + base.section('_', -1);
            EXPECT_EQ(base, whole.size() > 50 ? whole.right(51) : whole);
        }
    }
}

TEST_F(SearchWordsTest, NeverOverwritesAndLastLineOnly)
{
    startOn("a\r\n");
    write(cat + "keywords", "one\r\ntwo\r\n");
    k()->ReRead();
    const quint32 n = QRandomGenerator(5).bounded(100000000);
    write(cat + QStringLiteral("TWO_%1.HTM").arg(n), "mine");
    tasks::seedRandom(5);
    k()->LastLineOnly = 1;
    k()->Check_html_files();
    k()->LastLineOnly = 0;
    QStringList files = htmFiles().filter(QRegularExpression("^two_"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_NE(files[0], QStringLiteral("two_%1.htm").arg(n));
    EXPECT_EQ(read(cat + QStringLiteral("TWO_%1.HTM").arg(n)), "mine");

    // The hand-over: a known address gives no file and no name.
    const QString first = k()->MakeTaskForUrl("http://127.0.0.1/x");
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(k()->MakeTaskForUrl("HTTP://127.0.0.1/X"), "");
}

TEST_F(SearchWordsTest, ATaskFileThatCannotBeWrittenShowsOnlyWhy)
{
    // The main window's hand-over of a link into a catalog folder that is gone.
    startOn("a\r\n");
    const int nodes = FormSlova->Tree1->topLevelItemCount();
    QDir(cat).removeRecursively();
    k()->UrlOrTaskName = "http://127.0.0.1/x.htm";
    FormSlova->MakeChildNodeClick();
    ASSERT_EQ(dialogs->messages().size(), 1) << dialogs->messages().join('\n').toStdString();
    EXPECT_TRUE(dialogs->messages()[0].contains("was not written")) << dialogs->messages()[0].toStdString();
    EXPECT_EQ(FormSlova->Tree1->topLevelItemCount(), nodes);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->childCount(), 0);
}

TEST_F(SearchWordsTest, ListEditingAndSaving)
{
    startOn("a\r\n");
    EXPECT_TRUE(shown().isEmpty());
    k()->Edit1->setText(QStringLiteral("первая"));
    k()->Insertline1Click();
    EXPECT_EQ(read(cat + "keywords"), cp(QStringLiteral("первая\r\n")));
    EXPECT_EQ(read(cat + "UrlsForDownload"), (WebTest::cp(k()->EditS1->text()) + "%EF%E5%F0%E2%E0%FF\r\n"));
    k()->show();
    k()->Edit1->setText("second");
    QTest::keyClick(k()->Edit1, Qt::Key_Return);
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("первая"), "second"}));
    EXPECT_TRUE(k()->Edit1->text().isEmpty());

    // Moves: none without a selection or past the end; a move survives activation.
    k()->ListBox1->setCurrentItem(nullptr);
    k()->MovelineUp1Click();
    select(1);
    k()->MovelineDown1Click();
    EXPECT_EQ(shown()[1], "second");
    k()->MovelineUp1Click();
    EXPECT_EQ(shown(), (QStringList{"second", QStringLiteral("первая")}));
    EXPECT_TRUE(k()->ListChanged());
    k()->ReRead();
    EXPECT_EQ(shown(), (QStringList{"second", QStringLiteral("первая")}));

    // Closing without a change writes nothing; the site generator's new line 0 survives.
    const qint64 before = mtime(cat + "keywords");
    write(cat + "keywords", cp(QStringLiteral("site words\r\nпервая\r\n")));
    const qint64 written = mtime(cat + "keywords");
    k()->ReRead();
    QThread::msleep(20);
    k()->close();
    EXPECT_EQ(mtime(cat + "keywords"), written);
    Q_UNUSED(before);
    EXPECT_EQ(read(cat + "keywords"), cp(QStringLiteral("site words\r\nпервая\r\n")));

    // A character outside Windows-1251 stays in Edit1 with a message.
    k()->Edit1->setText(QStringLiteral("über ü"));
    k()->Edit1->setText(QStringLiteral("ü") + QChar(0x4E2D));
    k()->Insertline1Click();
    EXPECT_EQ(k()->Edit1->text(), QStringLiteral("ü") + QChar(0x4E2D));
    EXPECT_EQ(dialogs->messages().size(), 1);

    // Delete key, Enter in the list, "Edit line".
    k()->show();
    select(0);
    QTest::keyClick(k()->ListBox1, Qt::Key_Return);
    EXPECT_EQ(k()->Edit1->text(), "site words");
    QTest::keyClick(k()->ListBox1, Qt::Key_Delete);
    EXPECT_EQ(shown(), QStringList{QStringLiteral("первая")});
    select(0);
    k()->Editline1Click();
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_EQ(read(cat + "keywords"), "");

    // Settings: presets fill the edits, written at shut-down; the box at once.
    k()->Yandex1->trigger();
    EXPECT_EQ(reg.readString("SearchWords2", "unset"), "unset");
    k()->CheckBox1->click();
    EXPECT_EQ(reg.readString("ShowWordsForm", ""), k()->CheckBox1->isChecked() ? "1" : "0");
    stop();
    EXPECT_EQ(reg.readString("SearchWords2", ""), "&stype=www&nl=0");
    EXPECT_TRUE(reg.readString("SearchWords1", "").endsWith("/yandsearch?text="));
}

TEST_F(SearchWordsTest, OpenListOnTextEditor)
{
    startOn("a\r\n");
    k()->show();
    k()->Openlistontexteditor1Click();
    EXPECT_FALSE(k()->isVisible());
    ASSERT_EQ(launched->calls.size(), 1);
    EXPECT_EQ(launched->calls[0].program, "notepad.exe");
    EXPECT_EQ(launched->calls[0].args, QStringList{cat + "keywords"});
}

TEST_F(SearchWordsTest, AListBelongsToItsCatalog)
{
    startOn("a\r\n");
    write(cat + "keywords", "one\r\ntwo\r\n");
    k()->ReRead();
    select(0);
    k()->MovelineDown1Click(); // pending: two, one
    const QString other = progFile("Other/");
    QDir().mkpath(other);
    write(other + "keywords", "other\r\n");
    FormSlova->ProjectPath = other;
    k()->Check_html_files();
    EXPECT_EQ(read(cat + "keywords"), "two\r\none\r\n");
    EXPECT_EQ(shown(), QStringList{"other"});
    EXPECT_EQ(k()->KeywordsFile(), other + "keywords");
    EXPECT_EQ(QDir(other).entryList({"other_*.htm"}).size(), 1);
    EXPECT_TRUE(QDir(cat).entryList({"*.htm"}).isEmpty());
}

TEST_F(SearchWordsTest, AFailedSaveIsNotRetriedAtEveryActivation)
{
    startOn("a\r\n");
    write(cat + "keywords", "one\r\ntwo\r\n");
    k()->ReRead();
    k()->show();
    k()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(k()));
    select(0);
    k()->MovelineDown1Click(); // pending: two, one
    QFile::remove(cat + "keywords");
    QDir().mkpath(cat + "keywords"); // a folder stands where the list must be written
    auto activateAgain = [this] {
        FormStopList->show();
        FormStopList->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(FormStopList));
        k()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(k()));
    };
    activateAgain();
    ASSERT_EQ(dialogs->messages().size(), 1);
    // Closing the message activates the window again: the same list is not tried once more.
    activateAgain();
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(shown(), (QStringList{"two", "one"}));
    EXPECT_TRUE(k()->ListChanged());
    // Once the file can be written, the next change goes in.
    QDir(cat + "keywords").removeRecursively();
    select(0);
    k()->MovelineDown1Click();
    activateAgain();
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(read(cat + "keywords"), "one\r\ntwo\r\n");
}
