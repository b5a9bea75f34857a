// The archive window and an open note: zipping and unzipping close the editor first (its
// "Save changes to %s?"), so the archive holds what the user typed, and Cancel stops the run.
#include "NodeFixture.h"

#include "app/UnitZip.h"
#include "archive/ZipReader.h"

#include <QLineEdit>

TEST_F(NodeTest, ZipSavesTheTypedNoteFirstAndCancelWritesNothing)
{
    open("A\r\n\tN\r\n");
    write(cat + "N.rtf", "{\\rtf1 r}");
    click(1);
    typeIntoNote("typed");
    FormZip->ShowFor(true);
    const QString archive = cat + "archives/archive001.zip";

    // Cancel: the note stays open and changed, nothing is written, no "Added" message.
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    FormZip->ButtonZipClick();
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + cat + "N.rtf?"});
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_EQ(FormSlova->EditorShown, 1);

    // Yes: the note is saved and packed as typed.
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::Yes);
    FormZip->ButtonZipClick();
    ASSERT_EQ(dialogs->messages().size(), 2);
    EXPECT_TRUE(dialogs->messages()[1].startsWith("Added "));
    testsupport::TempDir x;
    archive::TZipReader r;
    r.SetZipName(archive);
    r.SetDestDir(x.path());
    r.DoAll = true;
    EXPECT_GT(r.UnZip(), 0);
    EXPECT_TRUE(read(x.file("N.rtf")).contains("typed"));

    // Unzipping over an open, changed note asks first too; Cancel leaves everything alone.
    click(0);
    click(1);
    ASSERT_EQ(FormSlova->EditorShown, 1);
    typeIntoNote("again");
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::Cancel);
    FormZip->ShowFor(false);
    FormZip->Edit1->setText(archive);
    FormZip->ButtonUnZipClick();
    EXPECT_EQ(dialogs->messages().join("|").toStdString(), "Save changes to " + (cat + "N.rtf?").toStdString());
    EXPECT_EQ(FormSlova->EditorShown, 1);
}
