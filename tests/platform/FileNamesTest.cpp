#include "platform/files/AtomicFile.h"
#include "platform/files/FileNames.h"
#include "platform/text/LineList.h"
#include "support/TestSupport.h"

#include <QDir>

using namespace platform;

TEST(FileNames, EverySpellingOfANameIsOneFile)
{
    testsupport::TempDir t;
    ASSERT_TRUE(saveLines(resolveIn(t.path(), "CurrentMenue"), {"Menue"}));
    ASSERT_TRUE(saveLines(resolveIn(t.path(), "currentmenue"), {"Menue", "Other"}));
    ASSERT_TRUE(saveLines(resolveIn(t.path(), "currentMenue"), {"Menue", "Third"}));
    EXPECT_EQ(QDir(t.path()).entryList(QDir::Files), QStringList{"CurrentMenue"});
    EXPECT_EQ(testsupport::readFile(t.file("CurrentMenue")), QByteArray("Menue\r\nThird\r\n"));
    EXPECT_TRUE(existsNoCase(t.file("CURRENTMENUE")));
    EXPECT_FALSE(existsNoCase(t.file("CurrentMenue2")));
}

TEST(FileNames, ExactNameWinsAndFoldersResolveToo)
{
    testsupport::TempDir t;
    testsupport::writeFile(t.file("Help/stoplist"), "a");
    testsupport::writeFile(t.file("Help/StopList"), "b");
    EXPECT_EQ(resolvePath(t.file("help/StopList")), t.file("Help/StopList"));
    EXPECT_EQ(resolvePath(t.file("help/stoplist")), t.file("Help/stoplist"));
    // A file about to be created keeps its spelling under the existing folder's spelling.
    EXPECT_EQ(resolvePath(t.file("HELP/new/File")), t.file("Help/new/File"));
    EXPECT_TRUE(makeDirNoCase(t.file("HELP/temp")));
    EXPECT_TRUE(QFileInfo(t.file("Help/temp")).isDir());
    EXPECT_TRUE(makeDirNoCase(t.file("help")));
    EXPECT_FALSE(QFileInfo::exists(t.file("help")));
}

TEST(FileNames, AScopeSeesNamesCreatedDuringIt)
{
    testsupport::TempDir t;
    ResolveScope scope;
    EXPECT_FALSE(existsNoCase(t.file("menue")));
    ASSERT_TRUE(writeFileAtomic(resolveIn(t.path(), "Menue"), "x"));
    // The listing was cached before the file existed; the write must have been noted.
    EXPECT_EQ(resolveIn(t.path(), "menue"), t.file("Menue"));
    ASSERT_TRUE(makeDirNoCase(t.file("Temp")));
    EXPECT_EQ(resolveIn(t.path(), "temp"), t.file("Temp"));
}
