// Loading and saving notes through the lines list: plain text byte for byte, rich text, the
// retry in the other format, and what a failure leaves behind.
#include "editor/NoteEdit.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QTextDocument>
#include <gtest/gtest.h>

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QByteArray roundTrip(const QByteArray& bytes, const QString& name = QStringLiteral("note.txt"))
{
    TempDir dir;
    writeFile(dir.file(name), bytes);
    TNoteEdit edit;
    edit.Lines()->LoadFromFile(dir.file(name));
    edit.Lines()->SaveToFile(dir.file(QStringLiteral("out.txt")));
    return readFile(dir.file(QStringLiteral("out.txt")));
}

} // namespace

TEST(PlainTextFiles, EveryByteButLineBreaksComesBackIdentical)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all += char(b);
    const QByteArray file = all + "\r\nsecond line\r\n" + all;
    EXPECT_EQ(roundTrip(file), file);

    // UTF-8 bytes are just Windows-1251 bytes here: D0 98 ("И" in UTF-8) has an unassigned 98.
    const QByteArray utf8 = QByteArray("\xd0\x98\xd0\xb7 \xd0\x98\r\n");
    EXPECT_EQ(roundTrip(utf8), utf8);
}

TEST(PlainTextFiles, LineBreaksOfAnyKindComeBackAsCrLf)
{
    EXPECT_EQ(roundTrip("one\ntwo\nthree\n"), QByteArray("one\r\ntwo\r\nthree\r\n"));
    EXPECT_EQ(roundTrip("one\rtwo\rthree"), QByteArray("one\r\ntwo\r\nthree"));
    EXPECT_EQ(roundTrip("a\r\rb\n\nc\r\n\r\n"), QByteArray("a\r\n\r\nb\r\n\r\nc\r\n\r\n"));
    // A lone CR far into a long file (where a chunked reader would split) keeps its break.
    QByteArray big(70000, 'x');
    big[32767] = '\r';
    big[65535] = '\r';
    QByteArray expected = big;
    expected.replace("\r", "\r\n");
    EXPECT_EQ(roundTrip(big), expected);
}

TEST(PlainTextFiles, NulBytesDoNotCutTheText)
{
    const QByteArray file("before\0after\r\nnext", 18);
    EXPECT_EQ(roundTrip(file), file);
    TempDir dir;
    writeFile(dir.file("n.txt"), file);
    TNoteEdit edit;
    edit.Lines()->LoadFromFile(dir.file("n.txt"));
    ASSERT_EQ(edit.Lines()->Count(), 2);
    EXPECT_EQ(edit.Lines()->Get(1), QStringLiteral("next"));
}

TEST(PlainTextFiles, ExtensionChoosesTheFormatWithoutRegardToCase)
{
    TempDir dir;
    // Looks like RTF, but a ".TXT" file is plain text: the markup is the text.
    writeFile(dir.file("upper.TXT"), "{\\rtf1 \\b bold\\b0}");
    TNoteEdit edit;
    edit.Lines()->LoadFromFile(dir.file("upper.TXT"));
    EXPECT_EQ(edit.Lines()->Get(0), QStringLiteral("{\\rtf1 \\b bold\\b0}"));
    EXPECT_EQ(edit.StreamFormat(), sfDefault); // restored after the load

    writeFile(dir.file("rich.rtf"), "{\\rtf1 \\b bold\\b0}");
    edit.Lines()->LoadFromFile(dir.file("rich.rtf"));
    EXPECT_EQ(edit.Text(), QStringLiteral("bold"));
}

TEST(PlainTextFiles, RtfFileHoldingPlainTextLoadsThroughTheRetry)
{
    TempDir dir;
    writeFile(dir.file("plain.rtf"), "just words\r\nand more");
    TNoteEdit edit;
    ASSERT_NO_THROW(edit.Lines()->LoadFromFile(dir.file("plain.rtf")));
    EXPECT_EQ(edit.Lines()->ToStringList(), (QStringList{"just words", "and more"}));
    EXPECT_EQ(edit.SelStart(), 0);
}

TEST(PlainTextFiles, LoadingIgnoresTheTextLimit)
{
    TempDir dir;
    writeFile(dir.file("long.txt"), QByteArray(5000, 'a'));
    TNoteEdit edit;
    edit.SetMaxLength(100);
    edit.Lines()->LoadFromFile(dir.file("long.txt"));
    EXPECT_EQ(edit.TextLength(), 5000);
    // Lines are never cut at 4096 characters.
    EXPECT_EQ(edit.Lines()->Get(0).size(), 5000);
}

TEST(Streams, FailedLoadLeavesTheTextAndRaisesTheDesignedError)
{
    TempDir dir;
    TNoteEdit edit;
    edit.SetText(QStringLiteral("kept"));
    edit.SetModified(true);
    EXPECT_THROW(edit.Lines()->LoadFromFile(dir.file("missing.rtf")), EFOpenError);
    EXPECT_EQ(edit.Text(), QStringLiteral("kept"));

    // A stream that cannot be read in either format.
    struct Failing : QIODevice {
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char*, qint64) override { return -1; }
    } failing;
    failing.open(QIODevice::ReadWrite);
    try {
        edit.Lines()->LoadFromStream(failing);
        FAIL() << "no error";
    } catch (const EOutOfResources& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Failed to Load Stream"));
    }
    EXPECT_EQ(edit.Text(), QStringLiteral("kept"));
    EXPECT_TRUE(edit.Modified());
    try {
        edit.Lines()->SaveToStream(failing);
        FAIL() << "no error";
    } catch (const EOutOfResources& e) {
        EXPECT_EQ(e.Message, QStringLiteral("Failed to Save Stream"));
    }
}

TEST(Streams, SelectionModeInsertsInsteadOfReplacing)
{
    TNoteEdit edit;
    edit.SetText(QStringLiteral("head tail"));
    edit.SetSelection(5, 5);
    edit.SetStreamMode(smSelection);
    edit.SetStreamFormat(sfRichText);
    // Not RTF: the retry as plain text still only inserts at the selection.
    QBuffer in;
    in.setData("middle ");
    in.open(QIODevice::ReadOnly);
    edit.Lines()->LoadFromStream(in);
    EXPECT_EQ(edit.Text(), QStringLiteral("head middle tail"));

    // Saving the selection only.
    edit.SetSelection(5, 11);
    edit.SetStreamFormat(sfPlainText);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    edit.Lines()->SaveToStream(out);
    EXPECT_EQ(out.data(), QByteArray("middle"));
}

TEST(Streams, UnicodePlainText)
{
    TNoteEdit edit;
    edit.SetText(QStringLiteral("Пр\u4e2d"));
    edit.SetStreamFormat(sfPlainText);
    edit.SetStreamMode(smUnicode);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    edit.Lines()->SaveToStream(out);
    EXPECT_EQ(out.data(), QByteArray("\x1f\x04\x40\x04\x2d\x4e", 6));
    TNoteEdit back;
    back.SetStreamFormat(sfPlainText);
    back.SetStreamMode(smUnicode);
    QBuffer in;
    in.setData(out.data());
    in.open(QIODevice::ReadOnly);
    back.Lines()->LoadFromStream(in);
    EXPECT_EQ(back.Text(), QStringLiteral("Пр\u4e2d"));
}

TEST(Streams, RichNoteSavedTwiceIsByteIdentical)
{
    TempDir dir;
    writeFile(dir.file("a.rtf"),
              "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}"
              "\\pard\\li567\\fi-283\\f0\\fs23 \\'cf\\'f0\\'e8\\b bold\\b0\\par second\\par}");
    TNoteEdit edit;
    edit.Lines()->LoadFromFile(dir.file("a.rtf"));
    EXPECT_EQ(edit.Lines()->Get(0), QStringLiteral("Приbold"));
    edit.Lines()->SaveToFile(dir.file("b.rtf"));
    TNoteEdit again;
    again.Lines()->LoadFromFile(dir.file("b.rtf"));
    again.Lines()->SaveToFile(dir.file("c.rtf"));
    EXPECT_EQ(readFile(dir.file("b.rtf")), readFile(dir.file("c.rtf")));
    EXPECT_TRUE(readFile(dir.file("b.rtf")).startsWith("{\\rtf1\\ansi\\ansicpg1251\\deff0"));
    EXPECT_TRUE(readFile(dir.file("b.rtf")).contains("\\li567\\fi-283") ||
                (readFile(dir.file("b.rtf")).contains("\\fi-283") && readFile(dir.file("b.rtf")).contains("\\li567")));

    // The same note saved as ".txt" is its plain text.
    again.Lines()->SaveToFile(dir.file("c.txt"));
    EXPECT_EQ(readFile(dir.file("c.txt")), QByteArray("\xcf\xf0\xe8" "bold\r\nsecond"));
}

TEST(Streams, FailedSaveKeepsTheOldFile)
{
    TempDir dir;
    writeFile(dir.file("note.rtf"), "old");
    TNoteEdit edit;
    edit.SetText(QStringLiteral("new"));
    EXPECT_THROW(edit.Lines()->SaveToFile(dir.file("no/such/folder/note.rtf")), EFCreateError);
    EXPECT_EQ(readFile(dir.file("note.rtf")), QByteArray("old"));
}
