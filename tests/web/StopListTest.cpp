#include "WebFixture.h"

#include "platform/settings/SettingsStore.h"
#include "web/UnitStopList.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QThread>

namespace {

class StopListTest : public WebTest {
protected:
    QPlainTextEdit* memo() { return FormStopList->MemoStop; }
    void typeLine(const QString& text)
    {
        memo()->moveCursor(QTextCursor::End);
        QTest::keyClick(memo(), Qt::Key_Return);
        typeText(memo(), text);
    }
    void clickMemo() { QTest::mouseClick(memo()->viewport(), Qt::LeftButton, {}, QPoint(5, 5)); }
};

} // namespace

TEST_F(StopListTest, ClicksSaveOnlyChangesAndEveryEditCounts)
{
    startOn("a\r\n");
    write(cat + "StopList", "http://ads/\r\n");
    FormStopList->show();
    EXPECT_EQ(FormStopList->windowTitle(), "Stop URL list");
    EXPECT_EQ(memo()->toPlainText(), "http://ads/");
    EXPECT_EQ(FormStopList->StopListChanged, 0);

    const qint64 before = mtime(cat + "StopList");
    QThread::msleep(20);
    clickMemo();
    EXPECT_EQ(mtime(cat + "StopList"), before); // nothing changed, nothing written

    typeLine("http://spam/");
    EXPECT_EQ(FormStopList->StopListChanged, 1);
    clickMemo();
    EXPECT_EQ(read(cat + "StopList"), "http://ads/\r\nhttp://spam/\r\n");
    EXPECT_EQ(FormStopList->StopListChanged, 0);

    // A line removed with the Delete key alone reaches the file when the window closes.
    memo()->moveCursor(QTextCursor::Start);
    for (int i = 0; i < 12; ++i)
        QTest::keyClick(memo(), Qt::Key_Delete);
    EXPECT_EQ(FormStopList->StopListChanged, 1);
    FormStopList->close();
    EXPECT_EQ(read(cat + "StopList"), "http://spam/\r\n");

    // A change still pending at shut-down is saved; Cyrillic is written in Windows-1251.
    FormStopList->show();
    typeLine(QStringLiteral("http://пример.рф/"));
    stop();
    EXPECT_EQ(read(cat + "StopList"), "http://spam/\r\n" + cp(QStringLiteral("http://пример.рф/")) + "\r\n");
}

TEST_F(StopListTest, OneFileWhateverItsSpelling)
{
    startOn("a\r\n");
    QFile::remove(cat + "StopList");
    write(cat + "stoplist", "http://x/\r\n");
    FormStopList->LoadStopList();
    EXPECT_EQ(memo()->toPlainText(), "http://x/");
    FormStopList->show();
    typeLine("http://y/");
    ASSERT_TRUE(FormStopList->SaveStopList());
    EXPECT_EQ(read(cat + "stoplist"), "http://x/\r\nhttp://y/\r\n");
    EXPECT_FALSE(QFileInfo::exists(cat + "StopList"));
}

TEST_F(StopListTest, CatalogSwitchSavesToTheOldListAndShowsTheNew)
{
    startOn("a\r\n");
    write(cat + "StopList", "http://old/\r\n");
    FormStopList->LoadStopList();
    FormStopList->show();
    typeLine("http://pending/");
    FormStopList->hide();
    const QString other = progFile("Other/");
    QDir().mkpath(other);
    write(other + "StopList", "http://new/\r\n");
    FormSlova->ProjectPath = other;
    FormStopList->show();
    EXPECT_EQ(memo()->toPlainText(), "http://new/");
    EXPECT_EQ(read(cat + "StopList"), "http://old/\r\nhttp://pending/\r\n");
    EXPECT_EQ(FormStopList->StopListFile(), other + "StopList");
}

TEST_F(StopListTest, TextOutsideWindows1251IsRefusedWithoutLoss)
{
    startOn("a\r\n");
    write(cat + "StopList", "http://a/\r\n");
    FormStopList->LoadStopList();
    FormStopList->show();
    typeLine(QStringLiteral("http://例え.jp/"));
    EXPECT_FALSE(FormStopList->SaveStopList());
    EXPECT_EQ(read(cat + "StopList"), "http://a/\r\n");
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains(QStringLiteral("例 え")));
    EXPECT_EQ(FormStopList->StopListChanged, 1);
    EXPECT_TRUE(memo()->toPlainText().endsWith(QStringLiteral("例え.jp/")));

    // A failed write keeps the text too: a folder stands where the file must go.
    memo()->setPlainText("http://b/");
    QFile::remove(cat + "StopList");
    QDir().mkpath(cat + "StopList");
    EXPECT_FALSE(FormStopList->SaveStopList());
    EXPECT_TRUE(dialogs->messages().last().contains(cat + "StopList"));
    EXPECT_EQ(FormStopList->StopListChanged, 1);
    QDir(cat + "StopList").removeRecursively();
    EXPECT_TRUE(FormStopList->SaveStopList());
    EXPECT_EQ(read(cat + "StopList"), "http://b/\r\n");
}

TEST_F(StopListTest, ACatalogWithoutAListShowsAnEmptyMemo)
{
    startOn("a\r\n");
    write(cat + "StopList", "http://old/\r\n");
    FormStopList->LoadStopList();
    FormStopList->show();
    FormStopList->hide();
    const QString other = progFile("Other/");
    QDir().mkpath(other);
    FormSlova->ProjectPath = other;
    FormStopList->show();
    EXPECT_EQ(memo()->toPlainText(), "");
    EXPECT_EQ(FormStopList->StopListChanged, 0);
    typeText(memo(), "http://new/");
    ASSERT_TRUE(FormStopList->SaveStopList());
    // The old catalog's addresses stay in the old catalog only.
    EXPECT_EQ(read(other + "StopList"), "http://new/\r\n");
    EXPECT_EQ(read(cat + "StopList"), "http://old/\r\n");
}
