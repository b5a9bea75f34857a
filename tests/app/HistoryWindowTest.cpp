// The history window: its list of the catalog's node names, clicks, and its "history" file.
#include "AppFixture.h"

#include "app/UnitDir.h"
#include "app/UnitHistory.h"
#include "platform/text/CodePage.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

namespace {
QByteArray cp(const QString& s) { return platform::toCp1251(s); }

qint64 mtime(const QString& p) { return QFileInfo(p).lastModified().toMSecsSinceEpoch(); }
} // namespace

class HistoryTest : public AppTest {
protected:
    void open(const QByteArray& history)
    {
        dir = makeCatalog("Project1", cp(QString::fromUtf8("Корень\r\n\tЗаметка\r\n\tДругая\r\nконец\r\n")));
        if (!history.isNull())
            write(dir + "history", history);
        start();
        FormSlova->Timer1Timer();
        FormSlova->ShowHistory();
    }
    QString dir;
};

TEST_F(HistoryTest, ClosingKeepsTheLastFiftyLinesAndWritesOnlyAChange)
{
    QByteArray sixty, last50;
    for (int i = 0; i < 60; ++i) {
        const QByteArray line = cp(QString::fromUtf8("Узел %1").arg(i)) + "\r\n";
        sixty += line;
        if (i >= 10)
            last50 += line;
    }
    open(sixty);
    EXPECT_EQ(FormHistory->ListBoxH->count(), 60);
    EXPECT_TRUE(FormHistory->isVisible());
    EXPECT_EQ(FormHistory->pos().x(), 0);
    const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    EXPECT_EQ(FormHistory->pos().y(),
              std::min(FormSlova->height() - 1, screenHeight - FormHistory->height()));
    FormHistory->close();
    EXPECT_EQ(read(dir + "history"), last50);

    // Unchanged: not written again.
    QFile f(dir + "history");
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000), QFileDevice::FileModificationTime);
    f.close();
    FormHistory->show();
    FormHistory->close();
    EXPECT_EQ(mtime(dir + "history"), 1000000000000LL);

    // "Clear" and close: an empty file.
    FormHistory->show();
    FormHistory->ButtonClear->click();
    FormHistory->close();
    EXPECT_EQ(read(dir + "history"), QByteArray());
    EXPECT_TRUE(QFileInfo::exists(dir + "history"));
}

TEST_F(HistoryTest, AClickMakesTheNamedNodeCurrentAndDropsLinesWithoutANode)
{
    open(cp(QString::fromUtf8("Заметка\r\nпропала\r\nконец\r\n")));
    QListWidget* l = FormHistory->ListBoxH;
    FormSlova->CurrentNodeText = "x";
    l->setCurrentRow(0);
    FormHistory->OpenEditor();
    EXPECT_EQ(FormSlova->CurrentNodeText, QString::fromUtf8("Заметка"));
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    EXPECT_EQ(reg.readString("FileName", ""), QString::fromUtf8("Заметка"));
    ASSERT_NE(FormSlova->Tree1->currentItem(), nullptr);
    EXPECT_EQ(FormSlova->Tree1->currentItem()->text(0), QString::fromUtf8("Заметка"));

    // The line of the current node: nothing happens.
    FormSlova->Tree1->setCurrentItem(nullptr);
    FormHistory->OpenEditor();
    EXPECT_EQ(FormSlova->Tree1->currentItem(), nullptr);

    // "Down" to a line whose node is gone: the line leaves the list.
    FormHistory->ButtonDown->click();
    EXPECT_EQ(l->count(), 2);
    EXPECT_EQ(l->item(1)->text(), QString::fromUtf8("конец"));
    // "Down" on the last line stays there and clicks it again.
    l->setCurrentRow(1);
    FormHistory->ButtonDown->click();
    EXPECT_EQ(l->currentRow(), 1);
    EXPECT_EQ(FormSlova->CurrentNodeText, QString::fromUtf8("конец"));
    EXPECT_EQ(FormSlova->CurrentIndex, 3);
    FormHistory->ButtonUp->click();
    EXPECT_EQ(l->currentRow(), 0);
    EXPECT_EQ(FormSlova->CurrentIndex, 1);
    FormHistory->ButtonUp->click();
    EXPECT_EQ(l->currentRow(), 0);
}

TEST_F(HistoryTest, DeleteTheLineByMenuAndByCharacterThirty)
{
    open("a\r\nb\r\nc\r\n");
    QListWidget* l = FormHistory->ListBoxH;
    l->setCurrentRow(1);
    QList<QAction*> items = FormHistory->PopupH->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "Delete the line");
    items[0]->trigger();
    ASSERT_EQ(l->count(), 2);
    EXPECT_EQ(l->item(1)->text(), "c");
    l->setCurrentRow(0);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_AsciiCircum, Qt::ControlModifier, QString(QChar(30)));
    QCoreApplication::sendEvent(l, &press);
    ASSERT_EQ(l->count(), 1);
    EXPECT_EQ(l->item(0)->text(), "c");
    FormHistory->close();
    EXPECT_EQ(read(dir + "history"), QByteArray("c\r\n"));
}

TEST_F(HistoryTest, ACatalogWithoutHistoryEmptiesTheListAndNeitherCatalogIsWritten)
{
    open("a\r\nb\r\n");
    const QString other = progFile("Other/");
    QDir().mkpath(other);
    FormHistory->close();
    const qint64 before = mtime(dir + "history");
    FormSlova->Dir_prog();
    FormDir->setWindowTitle(other);
    FormDir->OK();
    ASSERT_EQ(FormSlova->ProjectPath, other);
    EXPECT_EQ(FormHistory->ListBoxH->count(), 0);
    FormSlova->ShowHistory();
    FormHistory->close();
    FormSlova->Dir_prog();
    EXPECT_FALSE(QFileInfo::exists(other + "history"));
    EXPECT_EQ(read(dir + "history"), QByteArray("a\r\nb\r\n"));
    EXPECT_EQ(mtime(dir + "history"), before);
}
