// What a catalog load does with a folder it cannot write and with the litter of saves cut short.
#include "AppFixture.h"

#include <unistd.h>

namespace {

// A file as an earlier run left it: last modified an hour ago.
void writeOld(const QString& path, const QByteArray& data)
{
    testsupport::writeFile(path, data);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
}

} // namespace

TEST_F(AppTest, ACatalogThatCannotBeWrittenIsNamedOnceWithTheFolderOpenInstead)
{
    makeCatalog("Project1", "a\r\n");
    const QString locked = progFile("Locked/");
    QDir().mkpath(locked);
    write(locked + "notes.rtf", "{\\rtf1 x}");
    reg.writeString("path", locked);
    testsupport::UnwritableFolder guard(locked);
    if (!guard.usable)
        GTEST_SKIP() << "no way to make a folder unwritable here";
    start();
    EXPECT_EQ(FormSlova->ProjectPath, prog.path());
    EXPECT_EQ(FormSlova->windowTitle(), prog.path());
    const QStringList shown = dialogs->messages();
    ASSERT_EQ(shown.size(), 1) << shown.join('\n').toStdString();
    const QString why = QString::fromLocal8Bit(std::strerror(guard.immutable ? EPERM : EACCES));
    EXPECT_EQ(shown[0], QStringLiteral("The catalog %1 cannot be used: %2.\nThe program folder %3 is open instead.")
                            .arg(locked, why, prog.path()));
    // The program folder works as the catalog; the locked one is as it was.
    EXPECT_EQ(read(progFile("Menue")), QByteArray("Menue\r\n"));
    EXPECT_EQ(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"notes.rtf"});
}

TEST_F(AppTest, ACatalogWithItsLayerListButNoWayToWriteIsUsedAndSaidSoOnce)
{
    const QString dir = makeCatalog("Project1", "a\r\n\tb\r\n");
    QFile::remove(dir + "StopList");
    QDir(dir).rmdir("temp");
    QDir(dir).rmdir("deleteditems");
    write(dir + "Menue_ind", "0\r\n0\r\n");
    testsupport::UnwritableFolder guard(dir);
    if (!guard.usable)
        GTEST_SKIP() << "no way to make a folder unwritable here";
    start();
    EXPECT_EQ(FormSlova->ProjectPath, dir);
    const QStringList shown = dialogs->messages();
    ASSERT_EQ(shown.size(), 1) << shown.join('\n').toStdString();
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("The catalog %1 cannot be written: ").arg(dir))) << shown[0].toStdString();
}

TEST_F(AppTest, TemporaryFilesOfSavesCutShortAreRemovedAtTheNextLoad)
{
    const QString dir = makeCatalog("Project1", "a\r\n\tb\r\n");
    writeOld(dir + ".Menue.morvanel-ab12Cd", "half a tree");
    writeOld(dir + ".Menue_ind.morvanel-ef34Gh", "0\r\n");
    writeOld(dir + ".CurrentMenue.morvanel-Zz9yX8", "");
    writeOld(dir + QString::fromUtf8(".Заметка.rtf.morvanel-q1W2e3"), "{\\rtf1");
    write(dir + QString::fromUtf8("Заметка.rtf"), "{\\rtf1 x}");
    // A save of a file that was never made (the first save of a move record, say).
    writeOld(dir + ".menue_move.morvanel-Gone12", "whose file is not here");
    // Not the save's litter: a user's own hidden files (of the older pattern too), a folder, a
    // wrong number of random characters, and a save of another running copy.
    writeOld(dir + ".notes.txt", "mine");
    writeOld(dir + ".Menue.backup", "mine");
    QDir().mkpath(dir + ".Menue.morvanel-folder");
    writeOld(dir + ".Menue.morvanel-ab12C", "five");
    writeOld(dir + ".Menue.morvanel-ab12Cde", "seven");
    writeOld(dir + ".Menue.morvanel-ab-2Cd", "not random");
    write(dir + ".Menue.morvanel-Now123", "being written right now");

    // The catalog list beside the program is saved the same way.
    writeOld(progFile(".dir.morvanel-Ab34Cd"), "Project1\\\r\n");
    writeOld(progFile(".mine.txt"), "mine");

    start();
    EXPECT_FALSE(QFileInfo::exists(progFile(".dir.morvanel-Ab34Cd")));
    EXPECT_TRUE(QFileInfo::exists(progFile(".mine.txt")));
    QStringList left = QDir(dir).entryList({".*"}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left.join(' ').toStdString(),
              ".Menue.backup .Menue.morvanel-Now123 .Menue.morvanel-ab-2Cd .Menue.morvanel-ab12C .Menue.morvanel-ab12Cde "
              ".Menue.morvanel-folder .notes.txt");
    EXPECT_EQ(read(dir + "Menue"), QByteArray("a\r\n\tb\r\n"));
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(AppTest, ReadOnlyModeLeavesEvenTheLitterOfSavesAlone)
{
    makeCatalog("Project1", "a\r\n");
    write(progFile("RunFromHere"), "");
    write(progFile("Menue"), "one\r\n");
    writeOld(progFile(".Menue.morvanel-ab12Cd"), "half");
    start();
    EXPECT_EQ(FormSlova->ProjectPath, prog.path());
    EXPECT_TRUE(QFileInfo::exists(progFile(".Menue.morvanel-ab12Cd")));
}
