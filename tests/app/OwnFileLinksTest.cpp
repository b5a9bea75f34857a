// A received catalog whose own files are symbolic links to the user's files elsewhere: the
// program's writes replace the links and never reach those files; a note kept as a link still
// saves to the file it leads to, but never makes a file where a link to nothing leads.
#include "AppFixture.h"
#include "NodeFixture.h"

#include "app/MoveRecovery.h"
#include "app/UnitHistory.h"
#include "app/UnitICO.h"
#include "editor/REMain.h"
#include "web/UnitStopList.h"
#include "web/Unit_kyes.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

class OwnFileLinksTest : public NodeTest {};

TEST_F(OwnFileLinksTest, TheProgramsOwnFilesReplaceLinksAndNotesKeepThem)
{
    open("Root\r\n\tGone\r\n\tOld\r\n\tLinked\r\n\tGhost\r\n");
    testsupport::TempDir elsewhere;
    const QString outside = elsewhere.path();
    write(outside + "note.rtf", "{\\rtf1 kept outside}");
    ASSERT_TRUE(QFile::link(outside + "note.rtf", cat + "Linked.rtf"));
    const QStringList own{"Menue",   "Menue_ind", "menue_undo", "menue_undo.txt", "history",
                          "StopList", "CurrentMenue", "keywords", "menue_move"};
    for (const QString& name : own) {
        write(outside + name, "the user's " + name.toUtf8());
        QFile::remove(cat + name);
        ASSERT_TRUE(QFile::link(outside + name, cat + name));
    }
    const auto before = snapshot(outside);

    select(1); // Delete node: the undo snapshot, then the tree
    FormSlova->CurrentIndex = 1;
    FormSlova->Dell_node();
    select(1); // Rename: the rename copy, then the tree
    FormSlova->Edit_node();
    FormSlova->wrd->setText("New");
    FormSlova->RenameFile();
    select(1); // An icon: the tree and its icons
    FormICO->LV1->setCurrentRow(3);
    FormICO->LV1Click();
    FormHistory->ListBoxH->addItem("New");
    FormHistory->FormClose();
    FormStopList->MemoStop->setPlainText("http://ads/");
    FormStopList->StopListChanged = 1;
    EXPECT_TRUE(FormStopList->SaveStopList());
    Form_keys->Edit1->setText("word");
    Form_keys->Insertline1Click();
    FormSlova->FormDestroy(); // the save-all step: the layer list too
    nodemove::MoveRecord record{cat, cat + "elsewhere/", "Menue", "New", 1, {}, {{cat + "New.rtf", cat + "x"}}, {}, {}, {}};
    QString error;
    EXPECT_TRUE(nodemove::beginMove(record, &error)) << error.toStdString();
    nodemove::endMove(cat);

    EXPECT_EQ(snapshot(outside), before);
    for (const QString& name : own) {
        if (name != "menue_move") {
            EXPECT_FALSE(QFileInfo(cat + name).isSymLink()) << name.toStdString();
        }
    }
    EXPECT_EQ(read(cat + "Menue"), QByteArray("Root\r\n\tNew\r\n\tLinked\r\n\tGhost\r\n"));
    EXPECT_TRUE(read(cat + "keywords").contains("word"));
    EXPECT_EQ(read(cat + "history"), QByteArray("New\r\n"));

    // The user's own note kept as a link is saved where the link leads, as always.
    dialogs->clear();
    click(2);
    typeIntoNote("more ");
    ASSERT_TRUE(FormEdit->FileSave());
    EXPECT_TRUE(QFileInfo(cat + "Linked.rtf").isSymLink());
    EXPECT_TRUE(read(outside + "note.rtf").contains("more")) << read(outside + "note.rtf").toStdString();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("\n").toStdString();

    // The scratch folder as a link out of the catalog: the next load gives the catalog its own.
    ASSERT_TRUE(QDir(cat + "temp").removeRecursively());
    QDir().mkpath(outside + "scratch");
    ASSERT_TRUE(QFile::link(outside + "scratch", cat + "temp"));
    const auto scratch = snapshot(outside);
    FormSlova->LoadMenue();
    EXPECT_FALSE(QFileInfo(cat + "temp").isSymLink());
    EXPECT_TRUE(QFileInfo(cat + "temp").isDir());
    EXPECT_EQ(snapshot(outside), scratch);

    // A note that is a link to a file that is not there makes no file where the link leads.
    ASSERT_TRUE(QFile::link(outside + "made.desktop", cat + "Ghost.rtf"));
    dialogs->clear();
    click(3);
    typeIntoNote("typed ");
    EXPECT_FALSE(FormEdit->FileSave());
    EXPECT_FALSE(QFileInfo::exists(outside + "made.desktop"));
    EXPECT_TRUE(dialogs->messages().join("\n").contains(outside + "made.desktop")) << dialogs->messages().join("\n").toStdString();
}
