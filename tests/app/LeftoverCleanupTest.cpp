// The clean-ups of runs cut short (a killed program) at the catalog load, the site run and the
// extraction: each removes the temporaries its own writer leaves and spares the user's hidden
// files, however alike their names look.
#include "AppFixture.h"

#include "app/UnitZip.h"
#include "archive/ZipUtils.h"
#include "archive/ZipWriter.h"
#include "platform/files/AtomicFile.h"
#include "platform/volumes/Volumes.h"
#include "web/UnitHTML.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
// Last modified an hour ago, as files of an earlier run or of the user are.
void age(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
}

QStringList hiddenNames(const QString& dir)
{
    return QDir(dir).entryList({".*"}, QDir::Files | QDir::Hidden, QDir::Name);
}

// What a save cut short leaves: the batch is never committed nor destroyed, as in a killed run.
// Returns the temporary file's name.
QString cutShortSave(const QString& dir, const QString& name)
{
    const QStringList before = hiddenNames(dir);
    auto* batch = new platform::AtomicBatch;
    EXPECT_TRUE(batch->add(dir + name, "half written\r\n"));
    QStringList made = hiddenNames(dir);
    for (const QString& n : before)
        made.removeAll(n);
    EXPECT_EQ(made.size(), 1);
    const QString path = dir + made.value(0);
    age(path);
    return path;
}
} // namespace

TEST_F(AppTest, CleanUpsOfRunsCutShortSpareTheUsersHiddenFiles)
{
    const QString dir = makeCatalog("Project1", "Root\r\n\tnotes\r\n");
    write(dir + "notes.rtf", "{\\rtf1 notes}");
    const QString site = dir + "html/";
    QDir().mkpath(site);
    write(site + "notes.html", "old page");
    // An archive to extract that holds none of the files below.
    write(prog.path() + "a.txt", "from the archive");
    {
        archive::TZipWriter w;
        w.SetZipName(dir + "archives/archive001.zip");
        QDir().mkpath(dir + "archives");
        w.FilesList << prog.path() + "a.txt";
        ASSERT_EQ(w.Zip(), 1);
    }
    // The user's own hidden files, an hour old, of names the older clean-ups took for theirs.
    const QStringList users{dir + ".notes.rtf.draft1", dir + ".Menue.backup", dir + ".mvpartmine",
                            dir + ".mvpart1a2b3c", site + ".notes.html.backup", site + ".keep.htm.draft1"};
    for (const QString& f : users) {
        write(f, "the user's own");
        age(f);
    }
    // Real leftovers: saves cut short in the catalog (the move record's among them, whose file
    // was never made) and in the site folder, and an extraction's part file.
    const QStringList leftovers{cutShortSave(dir, "Menue"), cutShortSave(dir, "menue_move"),
                                cutShortSave(site, "index.html"), cutShortSave(site, "notes.html")};
    const QString part = platform::createTempFile(dir, QLatin1String(archive::PartFilePrefix));
    age(part);

    start();
    EXPECT_FALSE(QFileInfo::exists(leftovers[0]));
    EXPECT_FALSE(QFileInfo::exists(leftovers[1]));

    FormHTML->show();
    QTest::mouseClick(FormHTML->Button1, Qt::LeftButton);
    ASSERT_TRUE(QFileInfo::exists(site + "index.html"));
    EXPECT_FALSE(QFileInfo::exists(leftovers[2]));
    EXPECT_FALSE(QFileInfo::exists(leftovers[3]));

    FormZip->ShowFor(false);
    FormZip->Edit1->setText(dir + "archives/archive001.zip");
    FormZip->ButtonUnZipClick();
    EXPECT_EQ(read(dir + "a.txt"), "from the archive");
    EXPECT_FALSE(QFileInfo::exists(part));

    for (const QString& f : users)
        EXPECT_EQ(read(f), "the user's own") << f.toStdString();
}
