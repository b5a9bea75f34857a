// Loading a node's note, saving it, and the questions that keep the user's files safe.
#include "EditorFixture.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

using platform::MsgResult;

namespace {
const QString Note = QString::fromUtf8("Заметка");
}

TEST_F(EditorTest, ATxtNoteWinsOverItsRtfAndIsSavedBackInWindows1251)
{
    const QByteArray original = cp1251(QString::fromUtf8("Привет\r\nвторая строка\r\n"));
    write(file(Note + ".txt"), original);
    write(file(Note + ".rtf"), "{\\rtf1 other}");
    openNode(Note);
    EXPECT_EQ(form->EditorFileName, file(Note + ".txt"));
    EXPECT_EQ(form->windowTitle(), Note);
    EXPECT_EQ(form->Editor->Lines()->Get(0), QString::fromUtf8("Привет"));
    EXPECT_EQ(panel1(), "");

    form->Editor->SetSelection(6, 6);
    type("!");
    EXPECT_EQ(panel1(), "Modified");
    EXPECT_TRUE(form->Modified());
    ASSERT_TRUE(form->FileSave());
    EXPECT_EQ(read(file(Note + ".txt")), cp1251(QString::fromUtf8("Привет!\r\nвторая строка\r\n")));
    EXPECT_EQ(read(file(Note + ".rtf")), QByteArray("{\\rtf1 other}"));
    EXPECT_EQ(panel1(), "");
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(EditorTest, ANodeWithoutFilesStartsAnEmptyRtfNoteCreatedAtItsFirstSave)
{
    const QString name = QString::fromUtf8("Новая");
    write(file("old.rtf"), "{\\rtf1 old text}");
    openNode("old");
    openNode(name);
    EXPECT_TRUE(form->Editor->Text().isEmpty());
    EXPECT_EQ(form->EditorFileName, file(name + ".rtf"));
    EXPECT_FALSE(QFileInfo::exists(file(name + ".rtf")));
    EXPECT_EQ(form->windowTitle(), name);
    type("abc");
    EXPECT_EQ(panel1(), "Modified");
    ASSERT_TRUE(form->FileSave());
    EXPECT_TRUE(read(file(name + ".rtf")).startsWith("{\\rtf1"));
    EXPECT_EQ(panel1(), "");
    openNode("old");
    openNode(name);
    EXPECT_EQ(form->Editor->Text(), "abc");
}

TEST_F(EditorTest, AnEmptiedNoteIsNotWrittenAndStaysModified)
{
    write(file("n.rtf"), "{\\rtf1 some text\\par}");
    openNode("n");
    form->Editor->SelectAll();
    QTest::keyClick(form->Editor, Qt::Key_Delete);
    EXPECT_EQ(panel1(), "Modified");
    EXPECT_TRUE(form->FileSave());
    EXPECT_EQ(read(file("n.rtf")), QByteArray("{\\rtf1 some text\\par}"));
    EXPECT_EQ(panel1(), "Modified");
}

TEST_F(EditorTest, SaveChangesNamesTheFullPathAndItsAnswersDecide)
{
    write(file("n.rtf"), "{\\rtf1 text}");
    openNode("n");
    type("x");
    // Cancel keeps the editor and the note.
    dialogs->pushAnswer(MsgResult::Cancel);
    EXPECT_FALSE(form->Close());
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + file("n.rtf") + "?"});
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(panel1(), "Modified");
    // No drops the changes.
    FormSlova->EditorShown = 1;
    dialogs->pushAnswer(MsgResult::No);
    EXPECT_TRUE(form->Close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(FormSlova->EditorShown, 0);
    EXPECT_EQ(read(file("n.rtf")), QByteArray("{\\rtf1 text}"));
    // Yes saves.
    openNode("n");
    type("y");
    dialogs->pushAnswer(MsgResult::Yes);
    EXPECT_TRUE(form->Close());
    openNode("n");
    EXPECT_EQ(form->Editor->Text(), "ytext");
}

TEST_F(EditorTest, YesWithAFailingWriteStopsLikeCancel)
{
    QDir().mkpath(file("cat"));
    FormSlova->ProjectPath = file("cat/");
    write(file("cat/n.rtf"), "{\\rtf1 text}");
    openNode("n");
    type("x");
    // The catalog folder disappears (an unplugged disk): the write cannot happen.
    QDir(file("cat")).removeRecursively();
    dialogs->pushAnswer(MsgResult::Yes);
    EXPECT_FALSE(form->Close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(panel1(), "Modified");
    ASSERT_EQ(dialogs->messages().size(), 2);
    EXPECT_TRUE(dialogs->messages()[1].contains(file("cat/n.rtf")));
    // New asks too, and stops the same way.
    dialogs->clear();
    dialogs->pushAnswer(MsgResult::Cancel);
    form->FileNew();
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(form->Editor->Text(), "xtext");
    dialogs->pushAnswer(MsgResult::No);
    form->FileNew();
    EXPECT_TRUE(form->Editor->Text().isEmpty());
    EXPECT_EQ(form->EditorFileName, "Untitled");
    EXPECT_EQ(form->windowTitle(), "Untitled - " + QApplication::applicationName());
    EXPECT_EQ(panel1(), "");
}

TEST_F(EditorTest, OverwritingAnotherFileOrAChangedNoteAsksFirst)
{
    write(file("n.rtf"), "{\\rtf1 text}");
    write(file("other.rtf"), "{\\rtf1 keep me}");
    openNode("n");
    type("x");
    dialogs->pushFileName(file("other.rtf"));
    dialogs->pushAnswer(MsgResult::No);
    EXPECT_FALSE(form->FileSaveAs());
    EXPECT_EQ(dialogs->messages(), QStringList{"OK to overwrite " + file("other.rtf")});
    EXPECT_EQ(read(file("other.rtf")), QByteArray("{\\rtf1 keep me}"));
    EXPECT_EQ(form->EditorFileName, file("n.rtf"));

    // The plain-text editor changed the note's file meanwhile.
    write(file("n.rtf"), "{\\rtf1 changed elsewhere, longer}");
    dialogs->clear();
    dialogs->pushAnswer(MsgResult::No);
    EXPECT_FALSE(form->FileSave());
    EXPECT_EQ(dialogs->messages(), QStringList{"OK to overwrite " + file("n.rtf")});
    EXPECT_EQ(read(file("n.rtf")), QByteArray("{\\rtf1 changed elsewhere, longer}"));
    EXPECT_EQ(panel1(), "Modified");
    dialogs->pushAnswer(MsgResult::Yes);
    EXPECT_TRUE(form->FileSave());
    EXPECT_TRUE(read(file("n.rtf")).contains("xtext"));
    // Once written, the next save asks nothing.
    type("y");
    dialogs->clear();
    EXPECT_TRUE(form->FileSave());
    EXPECT_TRUE(dialogs->messages().isEmpty());

    // Save As to a new name takes the name; no default extension is added.
    dialogs->pushFileName(file("copy"));
    EXPECT_TRUE(form->FileSaveAs());
    EXPECT_EQ(form->EditorFileName, file("copy"));
    EXPECT_EQ(form->windowTitle(), "copy - " + QApplication::applicationName());
    EXPECT_TRUE(read(file("copy")).startsWith("{\\rtf1"));
}

TEST_F(EditorTest, AReadOnlyNoteIsNotReplaced)
{
    write(file("n.rtf"), "{\\rtf1 text}");
    openNode("n");
    type("x");
    QFile::setPermissions(file("n.rtf"), QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    EXPECT_FALSE(form->FileSave());
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(read(file("n.rtf")), QByteArray("{\\rtf1 text}"));
    EXPECT_EQ(panel1(), "Modified");
    QFile::setPermissions(file("n.rtf"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(EditorTest, BadNoteFilesAndNodeNamesNeverLoseOrEscape)
{
    write(file("good.rtf"), "{\\rtf1 good}");
    openNode("good");
    // A file that cannot be read: the error shows, the note before is gone.
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), file("unreadable.rtf")));
    openNode("unreadable");
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(form->Editor->Text(), "");
    EXPECT_EQ(form->EditorFileName, file("unreadable.rtf"));
    // A folder where the note's file should be is no note: a new empty note, which the folder
    // keeps from being saved.
    dialogs->clear();
    QDir().mkpath(file("folder.rtf"));
    openNode("folder");
    EXPECT_EQ(dialogs->messages().size(), 0);
    EXPECT_EQ(form->Editor->Text(), "");
    EXPECT_EQ(form->EditorFileName, file("folder.rtf"));
    type("x");
    EXPECT_FALSE(form->FileSave());
    ASSERT_FALSE(dialogs->messages().isEmpty());
    EXPECT_TRUE(dialogs->messages().last().startsWith("Cannot create file")) << dialogs->messages().last().toStdString();
    EXPECT_TRUE(QFileInfo(file("folder.rtf")).isDir());

    // Node texts that are not file names never reach the file system.
    QDir().mkpath(file("sub"));
    testsupport::TempDir outside;
    FormSlova->ProjectPath = file("sub/");
    write(file("x.txt"), "outside");
    for (const QString& text : {QStringLiteral("../x"), QStringLiteral("a/b"), QStringLiteral(".."), QStringLiteral("tab\there")}) {
        dialogs->clear();
        openNode(text);
        EXPECT_TRUE(form->Editor->Text().isEmpty()) << text.toStdString();
        type("typed");
        EXPECT_FALSE(form->FileSave()) << text.toStdString();
        EXPECT_EQ(dialogs->messages().size(), 1);
        EXPECT_EQ(panel1(), "Modified");
        form->Editor->SetModified(false);
    }
    EXPECT_EQ(read(file("x.txt")), QByteArray("outside"));
    EXPECT_TRUE(QDir(file("sub")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());

    // A name too long for the file system: the system's error, nothing lost.
    const QString longName = QString(200, QChar(0x0416));
    dialogs->clear();
    openNode(longName);
    type("keep");
    EXPECT_FALSE(form->FileSave());
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("too long", Qt::CaseInsensitive)) << dialogs->messages()[0].toStdString();
    EXPECT_EQ(form->Editor->Text(), "keep");
    EXPECT_EQ(panel1(), "Modified");

    // A damaged note shows read-only. A change that still reaches it (a format command does) makes
    // a save ask before it writes the part that was read over the whole file.
    FormSlova->ProjectPath = dir.path() + "/";
    const QByteArray damaged = "{\\rtf1 kept\\par{\\*\\unknown \\pard unread\\par}";
    write(file("damaged.rtf"), damaged);
    form->Editor->SetModified(false);
    dialogs->clear();
    openNode("damaged");
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("is damaged")) << dialogs->messages()[0].toStdString();
    EXPECT_TRUE(form->Editor->ReadOnly());
    form->Editor->SetModified(true);
    dialogs->pushAnswer(platform::MsgResult::No);
    EXPECT_FALSE(form->FileSave());
    EXPECT_EQ(read(file("damaged.rtf")), damaged);
    dialogs->pushAnswer(platform::MsgResult::Yes);
    EXPECT_TRUE(form->FileSave());
    EXPECT_EQ(dialogs->messages().size(), 3);
    EXPECT_TRUE(read(file("damaged.rtf")).contains("kept"));
    // The file now holds what the note shows: it takes typing, and a later save asks nothing.
    EXPECT_FALSE(form->Editor->ReadOnly());
    type("x");
    EXPECT_TRUE(form->FileSave());
    EXPECT_EQ(dialogs->messages().size(), 3);
}

TEST_F(EditorTest, APlainTextNoteAsksBeforeLosingWhatItCannotHold)
{
    write(file("p.txt"), "plain\r\n");
    openNode("p");
    form->Editor->SetSelection(5, 5);
    type(QString::fromUtf8("漢字"));
    dialogs->pushAnswer(MsgResult::No);
    EXPECT_FALSE(form->FileSave());
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains(file("p.txt")));
    EXPECT_TRUE(dialogs->messages()[0].contains("Windows-1251"));
    EXPECT_EQ(read(file("p.txt")), QByteArray("plain\r\n"));
    EXPECT_EQ(panel1(), "Modified");
    // Formatting alone asks nothing.
    form->Editor->Undo();
    form->Editor->SelectAll();
    form->Editor->SelectionFormat()->SetStyle(fsBold);
    dialogs->clear();
    EXPECT_TRUE(form->FileSave());
    EXPECT_TRUE(dialogs->messages().isEmpty());
    EXPECT_EQ(read(file("p.txt")), QByteArray("plain\r\n"));
}

TEST_F(EditorTest, DroppedFilesOpenOnlyWhenTheyAreNotes)
{
    write(file("n.rtf"), "{\\rtf1 text}");
    write(file("photo.jpg"), "\xff\xd8\xff");
    write(file("other.RTF"), "{\\rtf1 other}");
    openNode("n");
    type("x");
    form->FilesDropped({file("photo.jpg")});
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("photo.jpg"));
    EXPECT_EQ(form->Editor->Text(), "xtext");

    // A real drop on the ruler: the note is asked about, then the file opens.
    dialogs->clear();
    dialogs->pushAnswer(MsgResult::No);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file("other.RTF"))});
    const QPoint at(20, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->Ruler, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->Ruler, &drop);
    EXPECT_EQ(dialogs->messages(), QStringList{"Save changes to " + file("n.rtf") + "?"});
    EXPECT_EQ(form->Editor->Text(), "other");
    EXPECT_EQ(form->EditorFileName, file("other.RTF"));
    EXPECT_EQ(form->windowTitle(), "other.RTF - " + QApplication::applicationName());
    EXPECT_EQ(read(file("n.rtf")), QByteArray("{\\rtf1 text}"));
}

TEST_F(EditorTest, TheReadOnlyAnswerOfOpenHoldsForThatFileOnly)
{
    write(file("n.rtf"), "{\\rtf1 text}");
    write(file("r.rtf"), "{\\rtf1 read}");
    dialogs->pushFileName(file("r.rtf"));
    dialogs->pushReadOnly(true);
    form->FileOpen();
    EXPECT_EQ(form->Editor->Text(), "read");
    EXPECT_TRUE(form->Editor->ReadOnly());
    type("x");
    EXPECT_EQ(form->Editor->Text(), "read");
    // A format command still changes it: no save writes over the file without asking. No to the
    // question keeps the changes where the user saves, and drops them where the note is left.
    form->Editor->selectAll();
    form->BoldButton->setChecked(true);
    form->BoldButtonClick();
    ASSERT_TRUE(form->Modified());
    dialogs->clear();
    dialogs->pushAnswer(platform::MsgResult::No);
    EXPECT_FALSE(form->FileSave());
    EXPECT_TRUE(form->Modified());
    dialogs->pushAnswer(platform::MsgResult::No);
    EXPECT_TRUE(form->SaveBeforeLeaving());
    EXPECT_EQ(dialogs->messages(), QStringList(2, "The note \"" + file("r.rtf") + "\" was opened read-only. Save anyway?"));
    EXPECT_EQ(read(file("r.rtf")), QByteArray("{\\rtf1 read}"));
    EXPECT_FALSE(form->Modified());
    EXPECT_TRUE(form->Editor->ReadOnly());
    openNode("n");
    EXPECT_FALSE(form->Editor->ReadOnly());
    dialogs->pushFileName(file("r.rtf"));
    dialogs->pushReadOnly(true);
    form->FileOpen();
    form->FileNew();
    EXPECT_FALSE(form->Editor->ReadOnly());
}

TEST_F(EditorTest, TypingAfterOpeningANodeGoesIntoTheNoteWhetherItHasAFileOrNot)
{
    write(file("old.rtf"), "{\\rtf1 old}");
    openNode("first");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    for (const QString& node : {QStringLiteral("old"), QString::fromUtf8("Новая")}) {
        // The focus is elsewhere (in the main window, the tree) when the next node opens.
        form->FontSize->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), form->FontSize);
        FormSlova->CurrentNodeText = node;
        form->EditFileFromTree();
        EXPECT_EQ(QApplication::focusWidget(), form->Editor) << node.toStdString();
        type("x");
        EXPECT_EQ(panel1(), "Modified") << node.toStdString();
        form->Editor->SetModified(false);
    }
}

TEST_F(EditorTest, NewNotesStartWithTheWindowsTypingAttributes)
{
    write(file("small.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Times New Roman;}}\\f0\\fs16 small\\par}");
    openNode("small");
    openNode("new");
    EXPECT_EQ(form->FontName->currentText(), "Arial");
    EXPECT_EQ(form->FontSize->text(), "12");
    type("abc");
    ASSERT_TRUE(form->FileSave());
    const QByteArray rtf = read(file("new.rtf"));
    EXPECT_TRUE(rtf.contains("Arial;")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("\\fs24")) << rtf.constData();
    EXPECT_FALSE(rtf.contains("\\fs22")) << rtf.constData();
    form->FileNew();
    EXPECT_EQ(form->FontSize->text(), "12");
}
