// Notes whose files are odd, opened and typed into on a real desktop: what the editor shows,
// what it tells, and what stays on disk after the user switches to another node.
#include "../NodeFixture.h"
#include "X11Input.h"

#include "app/UnitSlova.h"

#include <QDir>
#include <QToolButton>


TEST_F(NodeTest, OddNoteFilesAreReadAsNotesAndDamagedOnesAreNotSavedOver)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    open("plain\r\nbom\r\nopen group\r\nbin\r\nX\r\n");
    write(cat + "plain.rtf", "{\\rtf1 plain}");
    // As some editors write it: a UTF-8 byte-order mark before the RTF.
    write(cat + "bom.rtf", "\xEF\xBB\xBF{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs22 {\\b Bold} text\\par}");
    // A destination left open: the paragraphs after it are out of the reader's reach.
    const QByteArray openGroup = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard Before\\par{\\*\\unknown x\\pard After\\par}";
    write(cat + "open group.rtf", openGroup);
    // \bin with a count past the end of the file.
    const QByteArray bin = "{\\rtf1 Before\\bin900 xy\\par After\\par}";
    write(cat + "bin.rtf", bin);
    // A folder with the name of the plain-text note, beside the rich-text note.
    QDir().mkpath(cat + "X.txt");
    write(cat + "X.rtf", "{\\rtf1 xnote}");
    FormSlova->resize(700, 500);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 60000));
    FormSlova->activateWindow();
    (void)QTest::qWaitForWindowActive(FormSlova, 5000);

    auto clickNode = [this](int i) { return clickTreeItem(tree(), node(i)); };
    // A real key into the editor, after a real click into its text.
    auto typeKey = [] {
        QWidget* v = FormEdit->Editor->viewport();
        return clickAt(v->mapToGlobal(QPoint(v->width() / 2, v->height() - 10)))
            && xdotoolWhileRunning({"key", "Z", "sleep", "0.3"});
    };

    // The byte-order mark: the note is read as RTF, and saved as RTF, without the mark.
    ASSERT_TRUE(clickNode(1));
    ASSERT_TRUE(waitFor([] { return FormSlova->CurrentNodeText == "bom" && FormEdit->isVisible(); }));
    EXPECT_EQ(FormEdit->Editor->Text().toStdString(), "Bold text");
    ASSERT_TRUE(typeKey());
    EXPECT_TRUE(waitFor([] { return FormEdit->Editor->Modified(); }));
    ASSERT_TRUE(clickNode(0));
    ASSERT_TRUE(waitFor([] { return FormSlova->CurrentNodeText == "plain"; }));
    const QByteArray saved = read(cat + "bom.rtf");
    EXPECT_TRUE(saved.startsWith("{\\rtf1")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("\\b ") && saved.contains("Bold") && saved.contains("Z")) << saved.toStdString();
    EXPECT_FALSE(saved.contains("fonttbl{\\\\")) << "the source saved as text: " << saved.toStdString();

    // Damaged notes: the user is told, and neither a key nor a node switch writes over them.
    const struct {
        int node;
        const char* file;
        QByteArray bytes;
    } damaged[] = {{2, "open group.rtf", openGroup}, {3, "bin.rtf", bin}};
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.file);
        dialogs->clear();
        ASSERT_TRUE(clickNode(d.node));
        ASSERT_TRUE(waitFor([&d] { return FormSlova->CurrentFile.endsWith(QLatin1String(d.file)); }));
        EXPECT_EQ(dialogs->messages().join('|').toStdString(),
                  QStringLiteral("The note \"%1\" is damaged: only its text up to the damage could be read. It is "
                                 "shown read-only, so that the file keeps the rest.")
                      .arg(cat + d.file)
                      .toStdString());
        EXPECT_EQ(FormEdit->Editor->Text().toStdString(), "Before");
        ASSERT_TRUE(typeKey());
        // A format command still changes the note. Leaving it asks "Save anyway?": Cancel stays
        // with the change, No goes on without it, and neither asks again nor writes later.
        FormEdit->Editor->selectAll();
        ASSERT_TRUE(clickAt(FormEdit->BoldButton->mapToGlobal(FormEdit->BoldButton->rect().center())));
        ASSERT_TRUE(waitFor([] { return FormEdit->Modified(); }));
        dialogs->clear();
        dialogs->pushAnswer(platform::MsgResult::Cancel);
        ASSERT_TRUE(clickNode(0));
        ASSERT_TRUE(waitFor([this] { return dialogs->messages().size() == 1; }));
        EXPECT_TRUE(FormSlova->CurrentFile.endsWith(QLatin1String(d.file)));
        EXPECT_TRUE(FormEdit->Modified());
        dialogs->pushAnswer(platform::MsgResult::No);
        ASSERT_TRUE(clickNode(0));
        ASSERT_TRUE(waitFor([] { return FormSlova->CurrentNodeText == "plain"; }));
        ASSERT_TRUE(clickNode(d.node));
        ASSERT_TRUE(clickNode(0));
        ASSERT_TRUE(waitFor([] { return FormSlova->CurrentNodeText == "plain"; }));
        int questions = 0;
        for (const QString& m : dialogs->messages())
            questions += m.endsWith(QLatin1String("Save anyway?"));
        EXPECT_EQ(questions, 2) << dialogs->messages().join('|').toStdString();
        EXPECT_EQ(read(cat + d.file), d.bytes);
    }

    // A folder named like the plain-text note is no note: the rich-text note opens.
    dialogs->clear();
    ASSERT_TRUE(clickNode(4));
    ASSERT_TRUE(waitFor([] { return FormSlova->CurrentNodeText == "X"; }));
    EXPECT_EQ(dialogs->messages().join('|').toStdString(), "");
    EXPECT_EQ(FormSlova->CurrentFile, cat + "X.rtf");
    EXPECT_EQ(FormEdit->Editor->Text().toStdString(), "xnote");
    EXPECT_FALSE(FormEdit->Editor->ReadOnly());
}
