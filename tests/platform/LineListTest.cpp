#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace platform;

TEST(LineList, SplitsAtEveryKindOfBreakAndWritesCrLf)
{
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (QList<QByteArray>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n\r\n"), (QList<QByteArray>{"a", ""}));
    EXPECT_EQ(splitLines("a\r\r\nb"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_TRUE(splitLines("").isEmpty());
    EXPECT_EQ(joinLines({"Project1\\", "Help\\"}), QByteArray("Project1\\\r\nHelp\\\r\n"));
    EXPECT_EQ(joinLines({}), QByteArray());
}

TEST(LineList, KeepsBytesOfAnyEncoding)
{
    testsupport::TempDir t;
    QByteArray utf8 = QString::fromUtf8("Привет, мир").toUtf8() + "\r\n\xD0\x98\r\n";
    testsupport::writeFile(t.file("page.html"), utf8);
    QList<QByteArray> lines;
    ASSERT_TRUE(loadLines(t.file("page.html"), lines));
    ASSERT_TRUE(saveLines(t.file("copy.html"), lines));
    EXPECT_EQ(testsupport::readFile(t.file("copy.html")), utf8);
}

TEST(LineList, FailedWriteIsReportedAndLeavesNoFile)
{
    QString err;
    EXPECT_FALSE(saveLines("/nonexistent-folder/x", {"a"}, &err));
    EXPECT_FALSE(err.isEmpty());
}

TEST(CodePage, EveryByteRoundTripsIn1251And866)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    for (CodePage cp : {CodePage::Windows1251, CodePage::Oem866, CodePage::Windows1252}) {
        bool ok = false;
        EXPECT_EQ(encode(cp, decode(cp, all), &ok), all);
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(fromCp1251("\xcf\xf0\xe8"), QString::fromUtf8("При"));
    EXPECT_EQ(toOem(QString::fromUtf8("Привет")), QByteArray("\x8F\xE0\xA8\xA2\xA5\xE2"));
}

TEST(CodePage, CharacterWithoutCodeIsReported)
{
    bool ok = true;
    qsizetype bad = -1;
    QByteArray b = encode(CodePage::Windows1251, QString::fromUtf8("ab€é"), &ok, &bad);
    EXPECT_FALSE(ok);
    EXPECT_EQ(bad, 3); // "€" has a code in 1251, "é" has none
    EXPECT_FALSE(canEncode(CodePage::Oem866, QString::fromUtf8("é")));
}

TEST(LineList, AWriteThroughALinkReplacesTheLinkedFileAndKeepsTheLink)
{
    testsupport::TempDir t;
    QDir().mkpath(t.file("elsewhere"));
    testsupport::writeFile(t.file("elsewhere/Menue"), "old\r\n");
    ASSERT_TRUE(QFile::link(t.file("elsewhere/Menue"), t.file("Menue")));
    ASSERT_TRUE(saveLines(t.file("Menue"), {"a", "\tb"}));
    EXPECT_TRUE(QFileInfo(t.file("Menue")).isSymLink());
    EXPECT_EQ(testsupport::readFile(t.file("elsewhere/Menue")), QByteArray("a\r\n\tb\r\n"));
    EXPECT_EQ(QDir(t.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"Menue"});
    EXPECT_EQ(QDir(t.file("elsewhere")).entryList(QDir::Files | QDir::Hidden), QStringList{"Menue"});
}
