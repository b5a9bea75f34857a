#include "NodeFixture.h"

#include "app/NodeFiles.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {
// A file whose name is raw bytes (not UTF-8).
void writeRaw(const QString& dir, const QByteArray& name)
{
    QFile f(QFile::decodeName(QFile::encodeName(dir) + name));
    const QByteArray path = QFile::encodeName(dir) + name;
    FILE* fp = ::fopen(path.constData(), "wb");
    ASSERT_NE(fp, nullptr);
    ::fclose(fp);
}
} // namespace

TEST_F(NodeTest, TreeProgAddsEachNewPageAndNoteOnceUnderTheFirstNode)
{
    open("Menue\r\n\tNote\r\n", "0\r\n5\r\n");
    write(cat + "X.htm", "<html>");
    write(cat + "X.html", "<html>");
    write(cat + "X.rtf", "r");
    write(cat + "note.rtf", "r");
    write(cat + "hidden.htm", "<!DOCTYPE html>\r\n<!-- HidePage=\"TRUE\"-->\r\n<html>\r\n");
    write(cat + "shown.htm", "<html>\r\n<!-- HidePage=\"True\"-->\r\n");
    for (const char* n : {"t.txt", "a.xhtml", "a.shtml", ".htm", "\xE6\x97\xA5\xE6\x9C\xAC.htm"})
        write(cat + QString::fromUtf8(n), "x");
    writeRaw(cat, "\xC7\xE0.htm");
    QDir().mkpath(cat + "folder.htm");
    // A large binary page without line breaks is read without harm.
    write(cat + "junk.htm", QByteArray(10 * 1024 * 1024, '\x01'));
    click(1);
    ASSERT_EQ(FormSlova->CurrentIndex, 1);

    FormSlova->Tree_prog();
    QStringList got = texts();
    ASSERT_EQ(got.first(), "Menue");
    ASSERT_EQ(got.last(), "Note");
    QStringList added = got.mid(1, got.size() - 2);
    added.sort();
    EXPECT_EQ(added, (QStringList{"X", "junk", "note", "shown"}));
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(treefile::imageIndex(node(i)), 14);
        EXPECT_EQ(treefile::selectedIndex(node(i)), 34);
        EXPECT_EQ(node(i)->parent(), node(0));
    }
    EXPECT_EQ(tree()->currentItem(), node(0));
    EXPECT_EQ(FormSlova->CurrentIndex, 5); // still "Note"
    EXPECT_EQ(read(cat + "Menue_ind"), QByteArray("0\r\n14\r\n14\r\n14\r\n14\r\n5\r\n"));
    // Reverse listing order: the first listed stands last.
    const QStringList listed = nodefiles::catalogNodeNames(cat, {});
    QStringList expected;
    for (const QString& n : listed)
        if (!expected.contains(n) && n != "Note" && n != "hidden")
            expected.prepend(n);
    EXPECT_EQ(got.mid(1, got.size() - 2), expected);
    // A second run adds nothing.
    FormSlova->Tree_prog();
    EXPECT_EQ(texts(), got);
}

TEST_F(NodeTest, TreeProgInReadOnlyModeOrWithTheEditorKeptOpenWritesNothing)
{
    open("Menue\r\n\tA\r\n");
    write(cat + "new.htm", "<html>");
    setReadOnly();
    auto before = snapshot(cat);
    FormSlova->Tree_prog();
    EXPECT_EQ(texts(), (QStringList{"Menue", "new", "A"}));
    EXPECT_EQ(snapshot(cat), before);

    QFile::remove(progFile("RunFromHere"));
    write(cat + "new2.rtf", "r");
    click(2);
    typeIntoNote("unsaved");
    dialogs->pushAnswer(platform::MsgResult::Cancel); // "Save changes to %s?"
    before = snapshot(cat);
    FormSlova->Tree_prog();
    EXPECT_EQ(texts(), (QStringList{"Menue", "new2", "new", "A"}));
    EXPECT_EQ(snapshot(cat), before);
}

TEST_F(NodeTest, TheTreeTimerRunsOnOneAndWaits)
{
    open("Menue\r\n\tA\r\n");
    write(cat + "new.htm", "<html>");
    reg.writeString("Redraw", "2");
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "2");
    EXPECT_EQ(treefile::nodeCount(tree()), 2);
    reg.writeString("Redraw", "1");
    FormSlova->Panel1->show();
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "1");
    FormSlova->Panel1->hide();
    FormSlova->NoCatalog = true;
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "1");
    FormSlova->NoCatalog = false;
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readString("Redraw", ""), "0");
    EXPECT_EQ(texts(), (QStringList{"Menue", "new", "A"}));
    EXPECT_EQ(read(cat + "Menue"), QByteArray("Menue\r\n\tnew\r\nA\r\n").replace("\r\nA", "\r\n\tA"));
}

TEST(NodeFiles, TextsThatCannotNameFilesAreRefused)
{
    for (const char* ok : {"a", "Заметка", "C# 100% а?", "x "})
        EXPECT_TRUE(nodefiles::nodeTextReason(QString::fromUtf8(ok)).isEmpty()) << ok;
    for (const char* bad : {"", "  ", "a/b", "a\\b", ".", "..", "日本", "a\tb", " x "})
        EXPECT_FALSE(nodefiles::nodeTextReason(QString::fromUtf8(bad)).isEmpty()) << bad;
}

TEST_F(NodeTest, NamesBeginningWithABlankNeverReachTheTreeFile)
{
    open("Menue\r\n\tA\r\n");
    for (const char* n : {" x.htm", "trail .htm", " lead.htm"})
        write(cat + n, "<html>");
    // Draw the tree: a trailing blank stays, a leading one keeps the file out, and one box says so.
    FormSlova->Tree_prog();
    EXPECT_EQ(texts(), (QStringList{"Menue", "trail ", "A"}));
    ASSERT_EQ(dialogs->messages().size(), 1);
    const QString report = dialogs->messages().at(0);
    EXPECT_TRUE(report.contains("\" x.htm\": the name begins with a blank")) << report.toStdString();
    EXPECT_TRUE(report.contains("\" lead.htm\": the name begins with a blank")) << report.toStdString();
    EXPECT_FALSE(report.contains("trail"));
    // The Redraw request from another program: the same rule, and no box.
    dialogs->clear();
    write(cat + " y.rtf", "r");
    write(cat + "late .rtf", "r");
    reg.writeString("Redraw", "1");
    FormSlova->TimerTreeTimer();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    EXPECT_EQ(texts(), (QStringList{"Menue", "late ", "trail ", "A"}));
    EXPECT_EQ(read(cat + "Menue"), QByteArray("Menue\r\n\tlate \r\n\ttrail \r\n\tA\r\n"));
    // A restart reads every node back, without a message; the page still opens under its name.
    stop();
    start();
    FormSlova->Timer1->stop();
    FormSlova->TimerTree->stop();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    EXPECT_EQ(texts(), (QStringList{"Menue", "late ", "trail ", "A"}));
    click(2);
    EXPECT_EQ(FormSlova->CurrentFile, cat + "trail .htm");
    // A second Draw adds nothing twice.
    FormSlova->Tree_prog();
    EXPECT_EQ(texts(), (QStringList{"Menue", "late ", "trail ", "A"}));
    EXPECT_EQ(read(cat + "Menue"), QByteArray("Menue\r\n\tlate \r\n\ttrail \r\n\tA\r\n"));
}

TEST_F(NodeTest, DrawTheTreeNamesTheFilesLeftOutOnceAndCountsTheRest)
{
    open("Menue\r\n\tA\r\n");
    for (int i = 0; i < 24; ++i)
        write(cat + QStringLiteral(" n%1.htm").arg(i), "<html>");
    write(cat + "a\\b.rtf", "r");
    write(cat + QString::fromUtf8("日本.rtf"), "r");
    write(cat + " hidden.htm", "<!-- HidePage=\"true\"-->\r\n<html>\r\n");
    writeRaw(cat, "\xC7\xE0.rtf");
    write(cat + "ok.rtf", "r");
    FormSlova->Tree_prog();
    EXPECT_EQ(texts(), (QStringList{"Menue", "ok", "A"}));
    ASSERT_EQ(dialogs->messages().size(), 1);
    const QStringList lines = dialogs->messages().at(0).split('\n');
    EXPECT_EQ(lines.first(), "These 27 files of the catalog cannot become nodes and were left out:");
    EXPECT_EQ(lines.size(), 22);
    EXPECT_EQ(lines.last(), "... and 7 more.");
    // Shown with its reason when it comes among the first twenty.
    const QString all = dialogs->messages().at(0);
    EXPECT_FALSE(all.contains("hidden"));
    const QList<nodefiles::LeftOut> few{{"a\\b.rtf", nodefiles::faultClause(nodefiles::NameFault::Forbidden)},
                                        {QString::fromUtf8("日本.rtf"), nodefiles::faultClause(nodefiles::NameFault::Encoding)}};
    EXPECT_EQ(nodefiles::leftOutReport(few),
              QString::fromUtf8("These 2 files of the catalog cannot become nodes and were left out:\n"
                                "\"a\\b.rtf\": the name holds \"\\\" or a control character\n"
                                "\"日本.rtf\": the name holds characters that the tree file (Windows-1251) cannot hold"));
    ::unlink(QFile::encodeName(cat).append("\xC7\xE0.rtf").constData()); // the temporary folder can go then
}
