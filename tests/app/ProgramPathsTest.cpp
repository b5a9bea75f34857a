#include "app/ProgramPaths.h"
#include "support/TestSupport.h"

#include <QDir>

using namespace app;

TEST(ProgramPaths, TheEnvironmentChoosesTheProgramFolder)
{
    testsupport::TempDir t;
    const QByteArray old = qgetenv("MORVANEL_PROGRAM_DIR");
    qputenv("MORVANEL_PROGRAM_DIR", QFile::encodeName(t.path() + "prog"));
    EXPECT_EQ(programDirectory(), t.path() + "prog/");
    EXPECT_TRUE(QFileInfo(t.path() + "prog").isDir()); // made when missing
    qputenv("MORVANEL_PROGRAM_DIR", old);
}

TEST(ProgramPaths, CatalogFoldersEndWithOneSlashAndKeepTheirCase)
{
    EXPECT_EQ(catalogPath("/home/u/Notes"), "/home/u/Notes/");
    EXPECT_EQ(catalogPath("/home/u/Notes//"), "/home/u/Notes/");
    EXPECT_EQ(catalogPath("\\home\\u\\Mixed\\"), "/home/u/Mixed/");
    EXPECT_EQ(catalogPath(""), "");
    EXPECT_EQ(catalogPath("  "), "");
    EXPECT_EQ(catalogPath("Rel"), QDir::current().absoluteFilePath("Rel") + "/");
    EXPECT_TRUE(hasDriveLetter("C:\\Notes\\"));
    EXPECT_TRUE(hasDriveLetter(catalogPath("d:\\x")));
    EXPECT_FALSE(hasDriveLetter("/C:/x"));
}

TEST(ProgramPaths, LayerNamesStayInsideTheCatalog)
{
    EXPECT_TRUE(isUsableLayerName("Menue"));
    EXPECT_TRUE(isUsableLayerName("My tree 2"));
    for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b"})
        EXPECT_FALSE(isUsableLayerName(QString::fromLatin1(bad))) << bad;
}
