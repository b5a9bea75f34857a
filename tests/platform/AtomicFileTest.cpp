#include "platform/files/AtomicFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace platform;

TEST(AtomicFile, AWriteProtectedFileIsNotReplacedEvenByRoot)
{
    testsupport::TempDir t;
    const QString f = t.file("Menue");
    testsupport::writeFile(f, "old\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(f).constData(), 0444), 0);
    QString error;
    EXPECT_FALSE(writeFileAtomic(f, QByteArray("new\r\n"), &error));
    EXPECT_TRUE(error.contains(f)) << error.toStdString();
    EXPECT_TRUE(error.contains("write-protected")) << error.toStdString();
    EXPECT_EQ(testsupport::readFile(f), QByteArray("old\r\n"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(t.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Menue"});
    // Once writable again, it is replaced and keeps its mode.
    ASSERT_EQ(::chmod(QFile::encodeName(f).constData(), 0640), 0);
    EXPECT_TRUE(writeFileAtomic(f, QByteArray("new\r\n"), &error));
    EXPECT_EQ(testsupport::readFile(f), QByteArray("new\r\n"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(f).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(AtomicFile, AFolderStandingWhereTheFileGoesIsReported)
{
    testsupport::TempDir t;
    QDir().mkpath(t.file("menue_undo"));
    QString error;
    EXPECT_FALSE(writeFileAtomic(t.file("menue_undo"), QByteArray("x"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(t.file("menue_undo")).isDir());
    EXPECT_EQ(QDir(t.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}
