// File, path and date utilities, the folder walk, and the Linux volume layer under them.
#include "support/TestSupport.h"

#include "archive/ZipExceptions.h"
#include "archive/ZipUtils.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/volumes/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace archive;
using testsupport::TempDir;

TEST(ZipUtils, PercentsAndStrings)
{
    EXPECT_EQ(Percent(8, 1), 12);
    EXPECT_EQ(Percent(8, 3), 38);
    EXPECT_EQ(Percent(100, 250), 100);
    EXPECT_EQ(Percent(0, 5), 0);
    EXPECT_EQ(Percent(-3, 5), 0);
    EXPECT_EQ(Percent(200, 50), 25);
    EXPECT_EQ(Percent64(int64_t(3) << 40, int64_t(4) << 40), 75);
    EXPECT_EQ(RightStr("abc", 5), QStringLiteral("abc"));
    EXPECT_EQ(RightStr("abcdef", 2), QStringLiteral("ef"));
    EXPECT_EQ(LeftStr("abcdef", 2), QStringLiteral("ab"));
    EXPECT_TRUE(HasWildcards("data/*/x"));
    EXPECT_TRUE(HasWildcards("a|b"));
    EXPECT_FALSE(HasWildcards("plain/name.txt"));
    EXPECT_TRUE(SameBytes("abc", "abd", 2));
    EXPECT_FALSE(SameBytes("abc", "abd", 3));
    QString n = QStringLiteral("Привет€.txt");
    OemRoundTrip(n);
    EXPECT_EQ(n, QStringLiteral("Привет?.txt"));
}

TEST(ZipUtils, FileDates)
{
    TempDir dir;
    // A missing file's age -1 is repaired to the last day of 2099.
    EXPECT_EQ(FileDate(dir.file("missing")), QDateTime(QDate(2099, 12, 31), QTime(23, 59, 58)));
    testsupport::writeFile(dir.file("f"), "x");
    ASSERT_TRUE(platform::setFileDosDateTime(dir.file("f"), 0x5A8F6C21));
    EXPECT_EQ(FileAgeDos(dir.file("f")), 0x5A8F6C21u);
    EXPECT_EQ(FileDate(dir.file("f")), QDateTime(QDate(2025, 4, 15), QTime(13, 33, 2)));
    // Before 1980 a file reads as 1980-01-01.
    QFile f(dir.file("f"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(1975, 6, 1), QTime(12, 0)), QFileDevice::FileModificationTime));
    f.close();
    EXPECT_EQ(platform::fileDosDateTime(dir.file("f")), 0x00210000u);
    EXPECT_FALSE(DosDateTimeToDateTime(0x5A5F0000).isValid()); // 31 February
    EXPECT_EQ(DateTimeToDosDateTime(QDateTime(QDate(2025, 4, 15), QTime(13, 33, 3))), 0x5A8F6C21u);
}

TEST(ZipUtils, CopyFileAndTempNames)
{
    TempDir dir;
    platform::ScopedScriptedDialogs dialogs;
    testsupport::writeFile(dir.file("a"), QByteArray(100000, 'q'));
    CopyFile(dir.file("a"), dir.file("b"));
    EXPECT_EQ(testsupport::readFile(dir.file("b")), QByteArray(100000, 'q'));
    EXPECT_TRUE(dialogs->shown().isEmpty());
    testsupport::writeFile(dir.file("empty"), QByteArray());
    CopyFile(dir.file("empty"), dir.file("c"));
    ASSERT_EQ(dialogs->shown().size(), 1);
    EXPECT_EQ(dialogs->shown()[0].text, "Could not copy from " + dir.file("empty") + " -> " + dir.file("c"));
    EXPECT_EQ(dialogs->shown()[0].caption, QStringLiteral("Error"));
    EXPECT_THROW(CopyFile(dir.file("none"), dir.file("d")), EFOpenError);

    const QString t1 = GetTempName(dir.path()), t2 = GetTempName(dir.path());
    EXPECT_TRUE(t1.startsWith(dir.file("ARQ")));
    EXPECT_NE(t1, t2);
    EXPECT_TRUE(QFileInfo(t1).isFile());
    EXPECT_EQ(QFileInfo(t1).size(), 0);
    EXPECT_TRUE(GetTempName(dir.file("no/such/dir")).isEmpty());

    EXPECT_TRUE(ForceDirs(dir.file("x/y/z")));
    EXPECT_TRUE(DirExists(dir.file("x/y/z")));
    EXPECT_FALSE(FileExistsTest(dir.file("x/y")));
    EXPECT_TRUE(FileExistsTest(dir.file("a")));
}

namespace {

QStringList walk(const QString& path, bool recurse, const QString& mask, const QString& base)
{
    TDirSearch s(path, recurse, mask);
    QStringList out;
    TSearchRec rec;
    for (QString n = s.Next(rec); !n.isEmpty(); n = s.Next(rec))
        out << n.mid(base.size()) + QStringLiteral(":") + QString::number(rec.Size);
    return out;
}

} // namespace

TEST(DirSearch, MasksRecursionAndFolderLevels)
{
    TempDir dir;
    const QString d = dir.file("data/");
    testsupport::writeFile(d + "readme", "1");
    testsupport::writeFile(d + "a.txt", "22");
    testsupport::writeFile(d + "B.TXT", "333");
    testsupport::writeFile(d + "sub/c.txt", "4444");
    testsupport::writeFile(d + "sub/noext", "5");
    testsupport::writeFile(d + "sub/logs/x.log", "66");
    testsupport::writeFile(d + "other/logs/y.log", "777");
    testsupport::writeFile(d + "other/logs/deep/z.log", "8");
    testsupport::writeFile(d + ".hidden/h.txt", "9");

    EXPECT_EQ(walk(d, false, "*.txt", d), (QStringList{"a.txt:2", "B.TXT:3"}));
    EXPECT_EQ(walk(d, true, "*.txt", d), (QStringList{"a.txt:2", "B.TXT:3", "sub/c.txt:4"}));
    EXPECT_EQ(walk(d, false, "*.*", d), (QStringList{"a.txt:2", "B.TXT:3", "readme:1"}));
    EXPECT_EQ(walk(d, true, "*.", d), (QStringList{"readme:1", "sub/noext:1"}));
    EXPECT_EQ(walk(d + "*/logs/", false, "*.*", d), (QStringList{"other/logs/y.log:3", "sub/logs/x.log:2"}));
    EXPECT_EQ(walk(d + "*/logs/", true, "*.log", d),
              (QStringList{"other/logs/deep/z.log:1", "other/logs/y.log:3", "sub/logs/x.log:2"}));
    EXPECT_EQ(walk(d + "s*/", false, "*", d), (QStringList{"sub/c.txt:4", "sub/noext:1"}));
    EXPECT_TRUE(walk(dir.file("nothing/"), true, "*", d).isEmpty());

    // Relative paths start in the current folder.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(d);
    EXPECT_EQ(walk("*/logs/", false, "*.log", ""), (QStringList{"other/logs/y.log:3", "sub/logs/x.log:2"}));
    EXPECT_EQ(walk("", false, "*.txt", ""), (QStringList{"a.txt:2", "B.TXT:3"}));
    QDir::setCurrent(cwd);
}

TEST(DirSearch, NamesWithWildcardCharactersAndLinkLoops)
{
    TempDir dir;
    const QString d = dir.file("w/");
    testsupport::writeFile(d + "a<1>.txt", "x");
    testsupport::writeFile(d + "f*ld/in.txt", "yy");
    // The exact name of an existing file or folder is taken as itself.
    EXPECT_EQ(walk(d, false, "a<1>.txt", d), (QStringList{"a<1>.txt:1"}));
    EXPECT_EQ(walk(d + "f*ld/", false, "*.txt", d), (QStringList{"f*ld/in.txt:2"}));

    // A link back to an ancestor is not followed round and round.
    const QString l = dir.file("loop/");
    testsupport::writeFile(l + "file.txt", "z");
    ASSERT_TRUE(QFile::link(l, l + "back"));
    ASSERT_TRUE(QFile::link(l + "gone", l + "dangling"));
    EXPECT_EQ(walk(l, true, "*.*", l), (QStringList{"file.txt:1"}));

    // A deep tree is walked to the bottom.
    QString deep = dir.file("deep/");
    const QString base = deep;
    for (int i = 0; i < 25; ++i)
        deep += QStringLiteral("d%1/").arg(i);
    testsupport::writeFile(deep + "bottom.txt", "b");
    testsupport::writeFile(base + "d0/top.txt", "t");
    const QStringList found = walk(base, true, "*.txt", base);
    ASSERT_EQ(found.size(), 2);
    EXPECT_TRUE(found[0].endsWith(QLatin1String("d24/bottom.txt:1")));
    EXPECT_EQ(found[1], QStringLiteral("d0/top.txt:1"));
}

TEST(Volumes, SimulatedRemovableDrive)
{
    TempDir dir;
    platform::SimulatedRemovableDrive drive(dir.file("floppy"));
    drive.setDisk(1, QStringLiteral("PKBACK# 001"), 1000);
    drive.setDisk(2, QStringLiteral("OTHER"), 500);
    drive.insertDisk(1);
    const QString root = drive.root();
    EXPECT_TRUE(root.endsWith(QLatin1String("/floppy/")));
    EXPECT_EQ(platform::volumeRoot(root + "a/b.zip"), root);
    EXPECT_TRUE(platform::isRemovableVolume(root + "x.zip"));
    EXPECT_EQ(GetVolumeLabel(root), QStringLiteral("PKBACK# 001"));
    testsupport::writeFile(root + "x.zip", QByteArray(300, 'x'));
    EXPECT_EQ(platform::volumeFreeSpace(root), 700);

    drive.insertDisk(2);
    EXPECT_FALSE(QFile::exists(root + "x.zip"));
    EXPECT_EQ(platform::volumeFreeSpace32(root), 500);
    EXPECT_TRUE(SetVolumeLabel(root, QStringLiteral("PKBACK# 002")));
    EXPECT_EQ(GetVolumeLabel(root), QStringLiteral("PKBACK# 002"));

    drive.insertDisk(1);
    EXPECT_EQ(testsupport::readFile(root + "x.zip"), QByteArray(300, 'x'));
    EXPECT_EQ(drive.label(2), QStringLiteral("PKBACK# 002"));

    // Outside the simulated drive: the real file system.
    EXPECT_FALSE(platform::isRemovableVolume(dir.file("elsewhere")));
    EXPECT_TRUE(platform::volumeRoot(dir.file("elsewhere")).endsWith('/'));
    EXPECT_GE(platform::volumeFreeSpace32(dir.path()), 0);
    EXPECT_FALSE(platform::setVolumeLabel(dir.path(), QStringLiteral("X")));
}

TEST(Volumes, DosAttributes)
{
    TempDir dir;
    testsupport::writeFile(dir.file("f"), "x");
    testsupport::writeFile(dir.file(".h"), "x");
    EXPECT_EQ(platform::dosAttributes(dir.file("f")), 0x20u);
    EXPECT_EQ(platform::dosAttributes(dir.file(".h")), 0x22u);
    EXPECT_EQ(platform::dosAttributes(dir.path()) & 0x10u, 0x10u);
    EXPECT_EQ(platform::dosAttributes(dir.file("none")), 0xFFFFFFFFu);
    ASSERT_TRUE(platform::setDosAttributes(dir.file("f"), 0x21));
    EXPECT_EQ(platform::dosAttributes(dir.file("f")), 0x21u);
    ASSERT_TRUE(platform::setDosAttributes(dir.file("f"), 0x20));
    EXPECT_EQ(platform::dosAttributes(dir.file("f")), 0x20u);
}
