// Many files saved together: nothing is replaced before the commit, nothing is left behind.
#include "platform/files/AtomicFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

namespace {
QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
} // namespace

TEST(AtomicBatch, FilesAreReplacedOnlyAtTheCommitAndAnAbandonedBatchLeavesNothing)
{
    testsupport::TempDir d;
    testsupport::writeFile(d.file("a.html"), "old a");
    {
        platform::AtomicBatch batch;
        ASSERT_TRUE(batch.add(d.file("a.html"), "new a"));
        ASSERT_TRUE(batch.add(d.file("b.html"), "new b"));
        EXPECT_EQ(testsupport::readFile(d.file("a.html")), QByteArray("old a"));
        EXPECT_FALSE(QFile::exists(d.file("b.html")));
    }
    EXPECT_EQ(entries(d.path()), QStringList{"a.html"});
    EXPECT_EQ(testsupport::readFile(d.file("a.html")), QByteArray("old a"));

    platform::AtomicBatch batch;
    ASSERT_TRUE(batch.add(d.file("a.html"), "new a"));
    ASSERT_TRUE(batch.add(d.file("b.html"), "new b"));
    ASSERT_TRUE(batch.commit());
    EXPECT_EQ(entries(d.path()), (QStringList{"a.html", "b.html"}));
    EXPECT_EQ(testsupport::readFile(d.file("a.html")), QByteArray("new a"));
    EXPECT_EQ(testsupport::readFile(d.file("b.html")), QByteArray("new b"));
}

TEST(AtomicBatch, AFileThatCannotBeWrittenIsRefusedAtOnce)
{
    testsupport::TempDir d;
    QDir().mkpath(d.file("gone"));
    platform::AtomicBatch batch;
    QString error;
    EXPECT_FALSE(batch.add(d.file("missing/x.html"), "x", &error));
    EXPECT_TRUE(error.contains(d.file("missing/x.html"))) << error.toStdString();
    testsupport::writeFile(d.file("ro.html"), "keep");
    QFile::setPermissions(d.file("ro.html"), QFile::ReadOwner);
    EXPECT_FALSE(batch.add(d.file("ro.html"), "x", &error));
    EXPECT_TRUE(error.contains("write-protected")) << error.toStdString();
    EXPECT_TRUE(batch.commit());
    EXPECT_EQ(testsupport::readFile(d.file("ro.html")), QByteArray("keep"));
    EXPECT_EQ(entries(d.path()), (QStringList{"gone", "ro.html"}));
}
