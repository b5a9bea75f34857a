// The catalog chooser: the list of catalogs, opening one, adding folders and the catalog switch.
#include "AppFixture.h"
#include "NodeFixture.h"

#include "app/TreeFile.h"
#include "app/UnitDir.h"
#include "app/UnitICO.h"
#include "platform/text/CodePage.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

namespace {
QByteArray cp(const QString& s) { return platform::toCp1251(s); }

QStringList entries()
{
    QStringList out;
    for (int i = 0; i < FormDir->memo1->count(); ++i)
        out.append(FormDir->memo1->item(i)->text());
    return out;
}

QAction* popup(const QString& text)
{
    for (QAction* a : FormDir->PopupMemo->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void clickRow(int row)
{
    QListWidget* l = FormDir->memo1;
    const QRect r = l->visualItemRect(l->item(row));
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, r.center());
}
} // namespace

class ChooserTest : public AppTest {
protected:
    void SetUp() override
    {
        home = makeCatalog("Project1", "a\r\n\tb\r\n");
        notes = progFile(QString::fromUtf8("Заметки/"));
        QDir().mkpath(notes);
        dirBytes = "Project1\\\r\nHelp\\\r\n" + cp(notes) + "\r\n";
        write(progFile("dir"), dirBytes);
        start();
        FormSlova->Dir_prog();
    }
    // Each way of OK opens the third entry.
    void expectOpened()
    {
        EXPECT_EQ(FormSlova->ProjectPath, notes);
        EXPECT_TRUE(QFileInfo::exists(notes + "Menue"));
        EXPECT_TRUE(QFileInfo::exists(notes + "CurrentMenue"));
        EXPECT_EQ(reg.readString("path", ""), notes);
        EXPECT_EQ(reg.readString("ShowDirForm", ""), "1");
        EXPECT_FALSE(FormDir->isVisible());
        EXPECT_FALSE(FormSlova->NoCatalog);
    }
    QString home, notes;
    QByteArray dirBytes;
};

TEST_F(ChooserTest, EachWayOfOkOpensTheClickedEntry)
{
    ASSERT_EQ(entries().size(), 3);
    // Activation selects the entry that names the current catalog.
    EXPECT_EQ(FormDir->memo1->currentRow(), 0);
    EXPECT_EQ(FormDir->windowTitle(), home);
    clickRow(2);
    EXPECT_EQ(FormDir->windowTitle(), notes);
    FormDir->Button4->click();
    expectOpened();

    for (int way = 0; way < 3; ++way) {
        QFile::remove(notes + "Menue");
        FormSlova->ProjectPath = home;
        FormSlova->Dir_prog();
        clickRow(2);
        if (way == 0)
            QTest::keyClick(FormDir->memo1, Qt::Key_Return);
        else if (way == 1)
            QTest::mouseDClick(FormDir->memo1->viewport(), Qt::LeftButton, {},
                               FormDir->memo1->visualItemRect(FormDir->memo1->item(2)).center());
        else
            popup("Select")->trigger();
        expectOpened();
    }
    stop();
    EXPECT_EQ(read(progFile("dir")), dirBytes);
}

TEST_F(ChooserTest, ListEditing)
{
    FormDir->memo1->setCurrentRow(0);
    popup("Move Up")->trigger();
    EXPECT_EQ(entries().value(0), "Project1\\");
    FormDir->memo1->setCurrentRow(2);
    popup("Move Down")->trigger();
    EXPECT_EQ(entries().value(2), notes);
    popup("Move Up")->trigger();
    EXPECT_EQ(entries(), (QStringList{"Project1\\", notes, "Help\\"}));
    EXPECT_EQ(FormDir->memo1->currentRow(), 1);
    FormDir->MoveDown1Click();
    EXPECT_EQ(entries(), (QStringList{"Project1\\", "Help\\", notes}));
    EXPECT_EQ(FormDir->memo1->currentRow(), 2);
    // A key in the list copies the line it selects into the caption.
    QTest::keyClick(FormDir->memo1, Qt::Key_Up);
    EXPECT_EQ(FormDir->windowTitle(), "Help\\");
    QTest::keyClick(FormDir->memo1, Qt::Key_Delete);
    EXPECT_EQ(entries(), (QStringList{"Project1\\", notes}));
    EXPECT_TRUE(dialogs->messages().isEmpty());
    FormDir->memo1->setCurrentRow(0);
    popup("Delete")->trigger();
    EXPECT_EQ(entries(), (QStringList{notes}));
    EXPECT_TRUE(FormDir->isVisible());
    FormDir->reject();
    // Read-only mode: the changed list is not saved.
    write(progFile("RunFromHere"), "");
    stop();
    EXPECT_EQ(read(progFile("dir")), dirBytes);
}

TEST_F(ChooserTest, AddingAFolder)
{
    const QString parent = progFile("Ziel");
    QDir().mkpath(parent + "/Sub");
    FormDir->memo1->setCurrentRow(0);
    popup("Add")->trigger();
    EXPECT_FALSE(FormDir->memo1->isVisibleTo(FormDir));
    EXPECT_TRUE(FormDir->dl->isVisibleTo(FormDir));
    EXPECT_EQ(FormDir->SelectedFolder() + "/", home);
    EXPECT_FALSE(FormDir->Button1->isEnabled());
    EXPECT_FALSE(FormDir->Button4->isEnabled());
    EXPECT_TRUE(FormDir->ButtonSelect->isEnabled());
    EXPECT_TRUE(FormDir->Button3->isEnabled());
    EXPECT_TRUE(FormDir->ButtonDir->isEnabled());
    FormDir->Button3->click();
    EXPECT_TRUE(FormDir->memo1->isVisibleTo(FormDir));
    EXPECT_FALSE(FormDir->dl->isVisibleTo(FormDir));
    EXPECT_TRUE(FormDir->Button1->isEnabled());
    EXPECT_TRUE(FormDir->Button4->isEnabled());
    EXPECT_FALSE(FormDir->ButtonSelect->isEnabled());
    EXPECT_FALSE(FormDir->Button3->isEnabled());
    EXPECT_TRUE(FormDir->ButtonDir->isEnabled());

    FormDir->Button1->click();
    // Nothing selected: nothing happens.
    FormDir->dl->selectionModel()->clear();
    FormDir->dl->setCurrentIndex(QModelIndex());
    FormDir->ButtonSelect->click();
    EXPECT_EQ(entries().size(), 3);
    EXPECT_TRUE(FormDir->isVisible());
    EXPECT_TRUE(FormSlova->NoCatalog);

    // A folder whose path the Windows-1251 list file cannot hold is refused.
    const QString foreign = progFile(QString::fromUtf8("漢字"));
    QDir().mkpath(foreign);
    FormDir->dl->setCurrentIndex(FormDir->dlModel->index(foreign));
    ASSERT_EQ(FormDir->SelectedFolder(), foreign);
    FormDir->ButtonSelect->click();
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(entries().size(), 3);
    EXPECT_TRUE(FormDir->isVisible());

    FormDir->dl->setCurrentIndex(FormDir->dlModel->index(parent + "/Sub"));
    FormDir->ButtonSelect->click();
    EXPECT_EQ(entries().value(3), parent + "/Sub/");
    EXPECT_EQ(FormSlova->ProjectPath, parent + "/Sub/");
    EXPECT_TRUE(QFileInfo::exists(parent + "/Sub/Menue"));
    EXPECT_FALSE(FormDir->isVisible());
    EXPECT_TRUE(FormDir->memo1->isVisibleTo(FormDir));
}

TEST_F(ChooserTest, NewFolderUnderTheSelectedFolder)
{
    const QString parent = progFile("Ziel");
    QDir().mkpath(parent);
    FormDir->ADD_Dir();
    FormDir->dl->setCurrentIndex(FormDir->dlModel->index(parent));
    FormDir->ButtonDir->click();
    EXPECT_FALSE(FormDir->memo1->isEnabled());
    EXPECT_TRUE(FormDir->Edit1->isVisibleTo(FormDir));
    QTest::keyClick(FormDir->Edit1, Qt::Key_Escape);
    EXPECT_FALSE(FormDir->Edit1->isVisibleTo(FormDir));
    EXPECT_TRUE(FormDir->memo1->isEnabled());
    EXPECT_TRUE(FormDir->isVisible());

    // Names that are not one usable folder name: a message, nothing made.
    for (const QString& bad : {QString(), QString("a/b"), QString(".."), QString::fromUtf8("漢字")}) {
        dialogs->clear();
        FormDir->ButtonDir->click();
        FormDir->Edit1->setText(bad);
        QTest::keyClick(FormDir->Edit1, Qt::Key_Return);
        EXPECT_EQ(dialogs->messages().size(), 1) << bad.toStdString();
        EXPECT_EQ(entries().size(), 3);
        EXPECT_TRUE(FormDir->isVisible());
    }
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});

    // A parent that became a plain file after it was selected: a message and no entry.
    dialogs->clear();
    const QString gone = progFile("Gone");
    QDir().mkpath(gone);
    FormDir->dl->setCurrentIndex(FormDir->dlModel->index(gone));
    ASSERT_EQ(FormDir->SelectedFolder(), gone);
    QDir().rmdir(gone);
    write(gone, "x");
    FormDir->Edit1->setText("x");
    QTest::keyClick(FormDir->Edit1, Qt::Key_Return);
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(entries().size(), 3);
    EXPECT_EQ(read(gone), QByteArray("x"));

    dialogs->clear();
    FormDir->dl->setCurrentIndex(FormDir->dlModel->index(parent));
    FormDir->ButtonDir->click();
    FormDir->Edit1->setText(QString::fromUtf8("Новый каталог"));
    QTest::keyClick(FormDir->Edit1, Qt::Key_Return);
    EXPECT_TRUE(dialogs->messages().isEmpty());
    const QString made = parent + QString::fromUtf8("/Новый каталог/");
    EXPECT_TRUE(QFileInfo(made).isDir());
    EXPECT_EQ(entries().value(3), made);
    // The highlight and what OK opens (the caption) agree: the new entry.
    EXPECT_EQ(FormDir->memo1->currentRow(), 3);
    EXPECT_TRUE(FormDir->memo1->item(3)->isSelected());
    EXPECT_EQ(FormDir->windowTitle(), made);
    EXPECT_TRUE(FormDir->isVisible());
    EXPECT_TRUE(FormDir->memo1->isVisibleTo(FormDir));
    EXPECT_FALSE(FormDir->Edit1->isVisibleTo(FormDir));
    EXPECT_TRUE(FormSlova->NoCatalog);
    FormDir->reject();
    stop();
    EXPECT_EQ(read(progFile("dir")), dirBytes + cp(made) + "\r\n");
}

TEST_F(ChooserTest, ClosingWithoutOkReloadsTheCatalogLeftAndNothingIsWrittenMeanwhile)
{
    write(home + "Menue_ind", "3\r\n4\r\n");
    const auto before = snapshot(home);
    // Nodes put into the emptied tree, a palette click, a save and the tree timer change nothing.
    auto* n = new TTreeNode("stray");
    FormSlova->Tree1->addTopLevelItem(n);
    FormSlova->Tree1->addTopLevelItem(new TTreeNode("other"));
    FormSlova->Tree1->setCurrentItem(n);
    FormICO->LV1->setCurrentRow(5);
    FormICO->LV1Click();
    EXPECT_TRUE(FormSlova->SaveTree());
    reg.writeString("Redraw", "1");
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "1");
    EXPECT_EQ(snapshot(home), before);
    // Esc closes the chooser: the same catalog is loaded again.
    QTest::keyClick(FormDir, Qt::Key_Escape);
    EXPECT_FALSE(FormDir->isVisible());
    EXPECT_FALSE(FormSlova->NoCatalog);
    EXPECT_EQ(FormSlova->ProjectPath, home);
    ASSERT_EQ(FormSlova->Tree1->topLevelItemCount(), 1);
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "a");

    // The window manager's close does the same; a shut-down in between writes nothing.
    FormSlova->Dir_prog();
    FormSlova->Tree1->addTopLevelItem(new TTreeNode("stray"));
    FormSlova->Tree1->addTopLevelItem(new TTreeNode("other"));
    FormDir->close();
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), "a");
    FormSlova->Dir_prog();
    FormSlova->Tree1->addTopLevelItem(new TTreeNode("stray"));
    FormSlova->Tree1->addTopLevelItem(new TTreeNode("other"));
    FormDir->hide();
    stop();
    EXPECT_EQ(read(home + "Menue"), QByteArray("a\r\n\tb\r\n"));
    EXPECT_EQ(read(home + "Menue_ind"), QByteArray("3\r\n4\r\n"));
    EXPECT_EQ(read(home + "CurrentMenue"), QByteArray("Menue\r\n"));
}

TEST_F(NodeTest, TheChooserClosesTheEditorAndACancelledCloseStopsTheSwitch)
{
    open("A\r\n\tN\r\n");
    write(cat + "N.rtf", "{\\rtf1 r}");
    click(1);
    typeIntoNote("more");
    // The switch asks first; Cancel keeps the note, the tree and the catalog.
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    FormSlova->Dir_prog();
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + cat + "N.rtf?"});
    EXPECT_FALSE(FormDir->isVisible());
    EXPECT_FALSE(FormSlova->NoCatalog);
    EXPECT_EQ(texts(), (QStringList{"A", "N"}));
    // Shown from the start-up timer, the chooser closes the editor as it activates.
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::No);
    FormDir->show();
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + cat + "N.rtf?"});
    EXPECT_EQ(FormSlova->EditorShown, 0);
    EXPECT_EQ(FormDir->windowTitle(), cat);
    EXPECT_EQ(FormDir->memo1->currentRow(), 0);
    EXPECT_EQ(read(cat + "N.rtf"), QByteArray("{\\rtf1 r}"));
}
