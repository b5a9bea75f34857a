// The archive window on real catalogs: zipping the catalog folder's own files after the
// save-all step, unzipping into it with the component's prompts, the reload of the tree, bad
// input shown as messages, and the archive name kept or reset as the window is re-entered.
#include "AppFixture.h"

#include "app/UnitZip.h"
#include "archive/ZipReader.h"
#include "archive/ZipWriter.h"
#include "platform/text/CodePage.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {
QByteArray cp(const QString& s) { return platform::toCp1251(s); }
const QString kHello = QString::fromUtf8("Привет.htm");
const QString kNote = QString::fromUtf8("Заметка.rtf");

// Member names as python reads them (OEM 866 unless the UTF-8 flag is set).
QStringList pythonNames(const QString& zip)
{
    QByteArray out;
    testsupport::runTool("python3",
                         {"-c", "import sys,zipfile\nfor n in zipfile.ZipFile(sys.argv[1], metadata_encoding='cp866').namelist(): print(n)",
                          zip},
                         &out);
    QStringList names = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    names.sort();
    return names;
}

// A file as an earlier run left it: last modified an hour ago.
void writeOld(const QString& path, const QByteArray& data)
{
    testsupport::writeFile(path, data);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
}

QStringList readerNames(const QString& zip)
{
    archive::TZipReader r;
    r.SetZipName(zip);
    r.OpenZip();
    QStringList names;
    for (int i = 0; i < r.Count(); ++i)
        names << r.Filename(i);
    return names;
}
} // namespace

class ArchiveWindowTest : public AppTest {
protected:
    void open()
    {
        dir = makeCatalog("Project1", cp(QString::fromUtf8("Корень\r\n\tЗаметка\r\n\tПривет\r\nконец\r\n")));
        write(dir + kHello, "<html>hello</html>");
        write(dir + kNote, "{\\rtf1 note}");
        write(dir + "a b.txt", "spaces");
        for (const char* sub : {"archives", ".hidden", "locked"}) {
            QDir().mkpath(dir + sub);
            write(dir + sub + "/inner.txt", "not packed");
        }
        ::chmod(QFile::encodeName(dir + "locked").constData(), 0555);
        start();
        FormSlova->Timer1Timer();
        dialogs->clear();
    }
    QString archiveName() const { return dir + "archives/archive001.zip"; }
    QString dir;
};

TEST_F(ArchiveWindowTest, ZipTakesTheCatalogsOwnFilesAfterSavingTheTree)
{
    open();
    // A node added and not saved yet.
    auto* added = new QTreeWidgetItem(QStringList{QString::fromUtf8("Новый")});
    FormSlova->Tree1->addTopLevelItem(added);

    FormZip->ShowFor(true);
    EXPECT_TRUE(FormZip->ButtonZip->isVisible());
    EXPECT_FALSE(FormZip->ButtonUnZip->isVisible());
    EXPECT_EQ(FormZip->windowTitle(), "Zip & UnZip form");
    EXPECT_EQ(FormZip->Edit1->text(), archiveName());
    FormZip->ButtonZipClick();
    EXPECT_EQ(dialogs->messages(), QStringList{"Added 7 files"});

    const QStringList expected{"CurrentMenue", "Menue", "Menue_ind", "StopList", "a b.txt", kHello, kNote};
    QStringList sorted = expected;
    sorted.sort();
    EXPECT_EQ(pythonNames(archiveName()), sorted);
    QStringList ours = readerNames(archiveName());
    ours.sort();
    EXPECT_EQ(ours, sorted);
    if (testsupport::haveTool("unzip")) {
        QByteArray out;
        EXPECT_EQ(testsupport::runTool("unzip", {"-t", archiveName()}, &out), 0) << out.toStdString();
    }
    // The tree file in the archive holds the node added a moment ago.
    testsupport::TempDir x;
    archive::TZipReader r;
    r.SetZipName(archiveName());
    r.SetDestDir(x.path());
    r.DoAll = true;
    EXPECT_EQ(r.UnZip(), 7);
    EXPECT_TRUE(read(x.file("Menue")).contains(cp(QString::fromUtf8("Новый"))));
    EXPECT_EQ(read(x.file(kHello)), "<html>hello</html>");

    // A second click after switching to another catalog packs only that catalog.
    const QString other = progFile("Other/");
    QDir().mkpath(other);
    write(other + "CurrentMenue", "Menue\r\n");
    write(other + "Menue", "Alone\r\n");
    write(other + "only.txt", "x");
    FormSlova->ProjectPath = other;
    FormSlova->LoadMenue();
    dialogs->clear();
    FormZip->FormActivate();
    FormZip->ButtonZipClick();
    EXPECT_EQ(dialogs->messages(), QStringList{"Added 5 files"});
    ours = readerNames(other + "archives/archive001.zip");
    ours.sort();
    // The load made the catalog's stop list and the tree's icon index file.
    EXPECT_EQ(ours, (QStringList{"CurrentMenue", "Menue", "Menue_ind", "StopList", "only.txt"}));

    // A received catalog whose archive folder is a link out of it: the default archive is made
    // in the catalog, never where the link leads.
    testsupport::TempDir elsewhere;
    ASSERT_TRUE(QDir(other + "archives").removeRecursively());
    ASSERT_TRUE(QFile::link(elsewhere.path(), other + "archives"));
    dialogs->clear();
    FormZip->FormActivate();
    FormZip->ButtonZipClick();
    EXPECT_EQ(dialogs->messages(), QStringList{"Added 5 files"});
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_FALSE(QFileInfo(other + "archives").isSymLink());
    EXPECT_EQ(readerNames(other + "archives/archive001.zip").size(), 5);
}

TEST_F(ArchiveWindowTest, UnzipAsksForEachExistingFileAndReloadsTheTree)
{
    open();
    FormZip->ShowFor(true);
    FormZip->ButtonZipClick();
    const QByteArray archivedNote = read(dir + kNote), archivedMenue = read(dir + "Menue");
    QFile::remove(dir + kHello);
    write(dir + kNote, "{\\rtf1 changed}");
    write(dir + "a b.txt", "changed too");
    // The tree on screen differs from the archived tree file.
    FormSlova->Tree1->clear();
    FormSlova->Tree1->addTopLevelItem(new QTreeWidgetItem(QStringList{"Changed"}));
    FormSlova->Tree1->addTopLevelItem(new QTreeWidgetItem(QStringList{"Tree"}));

    // Yes only for the note, in the order the members are extracted.
    for (const QString& name : readerNames(archiveName()))
        if (name != kHello)
            dialogs->pushAnswer(name == kNote || name == "Menue" ? platform::MsgResult::Yes : platform::MsgResult::No);
    dialogs->clear();
    FormZip->ShowFor(false);
    EXPECT_FALSE(FormZip->ButtonZip->isVisible());
    EXPECT_TRUE(FormZip->ButtonUnZip->isVisible());
    FormZip->ButtonUnZipClick();
    QStringList prompts;
    for (const auto& s : dialogs->shown())
        if (s.caption == "File Exists Alert")
            prompts << s.text;
    EXPECT_EQ(prompts.size(), 6);
    EXPECT_TRUE(prompts.contains("Replace existing file " + kNote + "?"));
    EXPECT_EQ(dialogs->messages().last(), "Extracted 3 files");
    EXPECT_EQ(read(dir + kHello), "<html>hello</html>");
    EXPECT_EQ(read(dir + kNote), archivedNote);
    EXPECT_EQ(read(dir + "a b.txt"), "changed too");
    // The tree reloaded from the restored tree file, and a shut-down leaves that file as it is.
    EXPECT_EQ(FormSlova->Tree1->topLevelItem(0)->text(0), QString::fromUtf8("Корень"));
    stop();
    EXPECT_EQ(read(dir + "Menue"), archivedMenue);
}

TEST_F(ArchiveWindowTest, BadInputIsShownAndTheWindowStays)
{
    open();
    FormZip->ShowFor(false);
    write(dir + "text.zip", "just some text, no archive at all");
    FormZip->Edit1->setText(dir + "text.zip");
    FormZip->ButtonUnZipClick();
    EXPECT_EQ(dialogs->messages(), QStringList{"Not a valid zip file!"});

    // An archive cut short.
    FormZip->ShowFor(true);
    FormZip->ButtonZipClick();
    const QByteArray whole = read(archiveName());
    write(dir + "cut.zip", whole.left(whole.size() - 30));
    dialogs->clear();
    FormZip->Edit1->setText(dir + "cut.zip");
    FormZip->ButtonUnZipClick();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_EQ(dialogs->messages()[0], "Incomplete Zip File");

    // A file stands where the archive's folder must go.
    write(dir + "blocked", "a file");
    dialogs->clear();
    FormZip->Edit1->setText(dir + "blocked/new.zip");
    FormZip->ButtonZipClick();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_FALSE(dialogs->messages()[0].startsWith("Added"));

    // A name that does not exist: nothing at all.
    dialogs->clear();
    FormZip->Edit1->setText(dir + "missing.zip");
    FormZip->ButtonUnZipClick();
    EXPECT_TRUE(dialogs->shown().isEmpty());
    EXPECT_TRUE(FormZip->isVisible());
}

TEST_F(ArchiveWindowTest, UnsafeAndDamagedMembersAreNamedAndNotWritten)
{
    open();
    // Members "../evil.htm", "/etc/x", a damaged one and a good one, stored.
    auto member = [](QByteArray& out, QByteArray& central, const QByteArray& name, const QByteArray& data,
                     uint32_t crc) {
        auto p16 = [](QByteArray& b, uint16_t v) { b.append(char(v & 0xFF)).append(char(v >> 8)); };
        auto p32 = [&](QByteArray& b, uint32_t v) {
            p16(b, uint16_t(v));
            p16(b, uint16_t(v >> 16));
        };
        const uint32_t offset = uint32_t(out.size());
        p32(out, 0x04034b50);
        p16(out, 20), p16(out, 0), p16(out, 0), p32(out, 0x5A8E6000), p32(out, crc);
        p32(out, uint32_t(data.size())), p32(out, uint32_t(data.size())), p16(out, uint16_t(name.size())), p16(out, 0);
        out += name + data;
        p32(central, 0x02014b50);
        p16(central, 20), p16(central, 20), p16(central, 0), p16(central, 0), p32(central, 0x5A8E6000), p32(central, crc);
        p32(central, uint32_t(data.size())), p32(central, uint32_t(data.size())), p16(central, uint16_t(name.size()));
        p16(central, 0), p16(central, 0), p16(central, 0), p16(central, 0), p32(central, 0x20), p32(central, offset);
        central += name;
    };
    QByteArray out, central;
    member(out, central, "../evil.htm", "evil", 0x1234);
    member(out, central, "/etc/x", "x", 0x8CDC1683); // CRC-32 of "x"
    member(out, central, "bad.txt", "damaged", 0xDEADBEEF);
    member(out, central, "good.txt", "good", 0x6C844E92); // CRC-32 of "good"
    const uint32_t cdOffset = uint32_t(out.size());
    out += central;
    out += QByteArray("PK\x05\x06\0\0\0\0\x04\0\x04\0", 12);
    for (uint32_t v : {uint32_t(central.size()), cdOffset})
        for (int i = 0; i < 4; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    out += QByteArray(2, '\0');
    write(dir + "archives/evil.zip", out);

    const auto before = snapshot(prog.path());
    FormZip->ShowFor(false);
    FormZip->Edit1->setText(dir + "archives/evil.zip");
    FormZip->ButtonUnZipClick();
    const QStringList m = dialogs->messages();
    ASSERT_EQ(m.size(), 2);
    EXPECT_TRUE(m[0] == "Extracted 1 files" || m[0] == "Extracted 2 files") << m[0].toStdString();
    EXPECT_TRUE(m[1].contains("../evil.htm"));
    // A name from the root comes into the catalog under its own name, or is named here.
    EXPECT_TRUE(m[1].contains("/etc/x") || QFileInfo::exists(dir + "x")) << m[1].toStdString();
    EXPECT_TRUE(m[1].contains("bad.txt"));
    auto after = snapshot(prog.path());
    EXPECT_TRUE(after.contains(dir + "good.txt"));
    after.remove(dir + "good.txt");
    after.remove(dir + "x");
    // Nothing else appeared anywhere beside the program (the tree's own files aside).
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        EXPECT_TRUE(before.contains(it.key())) << it.key().toStdString();
    EXPECT_FALSE(QFileInfo::exists(prog.path() + "evil.htm"));
}

TEST_F(ArchiveWindowTest, ChosenFileStaysAndReEnteringResetsTheName)
{
    open();
    FormZip->ShowFor(true);
    const QString chosen = dir + "archives/mine.zip";
    dialogs->pushFileName(chosen);
    FormZip->OpenFileClick();
    // The file dialog's closing re-activates the window: that is no new entry.
    QEvent deactivate(QEvent::WindowDeactivate), activate(QEvent::WindowActivate);
    QApplication::sendEvent(FormZip, &activate);
    EXPECT_EQ(FormZip->Edit1->text(), chosen);
    // Going to the main window and coming back resets it.
    QApplication::sendEvent(FormZip, &deactivate);
    QApplication::sendEvent(FormZip, &activate);
    EXPECT_EQ(FormZip->Edit1->text(), archiveName());
    // The menu commands show the window.
    FormZip->hide();
    QAction* make = nullptr;
    for (QAction* a : FormSlova->MenuTree->actions())
        if (a->text() == "Make the archive")
            make = a;
    ASSERT_NE(make, nullptr);
    make->trigger();
    EXPECT_TRUE(FormZip->isVisible());
    EXPECT_TRUE(FormZip->ButtonZip->isVisible());
}

TEST_F(ArchiveWindowTest, ManyFilesShowProgressAndCancelKeepsTheOldArchive)
{
    open();
    for (int i = 0; i < 3000; ++i)
        write(dir + QString("page%1.htm").arg(i), QByteArray(200, char('a' + i % 26)));
    FormZip->ShowFor(true);
    FormZip->ButtonZipClick();
    EXPECT_EQ(dialogs->messages(), QStringList{"Added 3007 files"});
    const QByteArray old = read(archiveName());
    write(dir + "page5.htm", "changed");

    // "Redraw" set by another program during the run waits for its end; Cancel in the
    // progress dialog ends the run.
    reg.writeInteger("Redraw", 1);
    bool sawProgress = false, redrawWaited = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* p = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!p)
            return;
        sawProgress = true;
        FormSlova->TimerTreeTimer();
        redrawWaited = reg.readInteger("Redraw", 0) == 1;
        if (auto* cancel = p->findChild<QPushButton*>())
            cancel->click();
    });
    poll.start(0);
    dialogs->clear();
    FormZip->ButtonZipClick();
    poll.stop();
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(redrawWaited);
    EXPECT_EQ(dialogs->messages(), QStringList{"User Aborted Operation"});
    EXPECT_TRUE(read(archiveName()) == old);
    EXPECT_EQ(QDir(dir + "archives").entryList(QDir::Files | QDir::Hidden), (QStringList{"archive001.zip", "inner.txt"}));
    FormSlova->TimerTreeTimer();
    EXPECT_EQ(reg.readInteger("Redraw", 0), 0);
}

TEST_F(ArchiveWindowTest, ArchivesOfShrunkAndImplodedMembersAreRestored)
{
    MV_REQUIRE_TESTDATA();
    open();
    const QByteArray exe = read(testsupport::testdataDir() + "zip/sharpcompress/expected/exe/test.exe");
    for (const char* name : {"Zip.shrink.zip", "Zip.implode.zip"}) {
        SCOPED_TRACE(name);
        const QString copy = dir + "archives/" + name;
        write(copy, read(testsupport::testdataDir() + "zip/sharpcompress/" + name));
        dialogs->clear();
        FormZip->ShowFor(false);
        FormZip->Edit1->setText(copy);
        FormZip->ButtonUnZipClick();
        EXPECT_EQ(dialogs->messages().last().toStdString(), "Extracted 3 files");
        EXPECT_TRUE(read(dir + "TEST.EXE") == exe);
        QFile::remove(dir + "TEST.EXE");
    }
}

TEST_F(ArchiveWindowTest, AnEncryptedMemberIsNamedAsNeedingAPassword)
{
    open();
    // The window asks for no password, so an encrypted member is left out; the message must not
    // blame a password the user never typed.
    testsupport::TempDir src;
    write(src.file("sec.txt"), "secret");
    {
        archive::TZipWriter w;
        w.Password = QString::fromUtf8("пароль");
        w.SetZipName(dir + "archives/enc.zip");
        w.FilesList << src.file("sec.txt");
        w.Zip();
    }
    FormZip->ShowFor(false);
    FormZip->Edit1->setText(dir + "archives/enc.zip");
    FormZip->ButtonUnZipClick();
    EXPECT_EQ(dialogs->messages(),
              (QStringList{"Extracted 0 files", "These members were not extracted:\nsec.txt: encrypted, and no password was given"}));
    EXPECT_FALSE(QFileInfo::exists(dir + "sec.txt"));
}

TEST_F(ArchiveWindowTest, WithNoCatalogOpenTheButtonsSaySoAndTouchNothing)
{
    open();
    FormZip->ShowFor(true);
    FormZip->ButtonZipClick();
    dialogs->clear();
    const QByteArray archive = read(archiveName());
    write(dir + "later.txt", "added after the zip");
    // "Open dir": the catalog chooser is shown and no catalog is loaded until one is chosen.
    FormSlova->NoCatalog = true;
    const auto before = snapshot(prog.path());
    FormZip->ButtonZipClick();
    FormZip->ShowFor(false);
    FormZip->ButtonUnZipClick();
    EXPECT_EQ(dialogs->messages(), (QStringList{"No catalog is open: choose a catalog first.",
                                                "No catalog is open: choose a catalog first."}));
    EXPECT_EQ(snapshot(prog.path()), before);
    EXPECT_EQ(read(archiveName()), archive);
    FormSlova->NoCatalog = false;
}

TEST_F(ArchiveWindowTest, AFileOf4GiBOrMoreIsLeftOutAndTheRestIsZipped)
{
    open();
    // Sparse, so it takes no room; only a file system that cannot hold such a size skips this.
    const QString big = dir + "big.bin";
    write(big, "");
    if (!QFile::resize(big, qint64(4400) << 20)) {
        QFile::remove(big);
        GTEST_SKIP() << "this file system holds no file of 4400 MiB";
    }
    // One byte short of 4 GiB: a size field of all ones marks a ZIP64 size, and the archive
    // would be refused as a whole.
    const QString edge = dir + "edge.bin";
    write(edge, "");
    ASSERT_TRUE(QFile::resize(edge, qint64(0xFFFFFFFF)));
    FormZip->ShowFor(true);
    FormZip->ButtonZipClick();
    const QString tooLarge = ": too large: this archive format holds files below 4 GiB only";
    EXPECT_EQ(dialogs->messages(),
              (QStringList{"Added 7 files", "These files were not added:\n" + big + tooLarge + "\n" + edge + tooLarge}));
    QStringList names = readerNames(archiveName()), expected{"CurrentMenue", "Menue", "Menue_ind", "StopList", "a b.txt", kHello, kNote};
    names.sort();
    expected.sort();
    EXPECT_EQ(names, expected);
}

TEST_F(ArchiveWindowTest, MessagesCountWhatWasDoneAndNameFilesAsOnDisk)
{
    open();
    // An archive inside the catalog folder (an empty one already there) is no member of
    // itself, and a file whose Linux name holds a "\" is named as it is.
    const QString inside = dir + "self.zip";
    {
        archive::TZipWriter w;
        w.SetZipName(inside);
        w.Zip();
    }
    write(dir + "a\\b.txt", "a backslash in its name");
    FormZip->ShowFor(true);
    FormZip->Edit1->setText(inside);
    FormZip->ButtonZipClick();
    EXPECT_EQ(dialogs->messages(), (QStringList{"Added 7 files", "These files were not added:\n" + dir
                                                    + "a\\b.txt: a name no archive member can carry"}));
    EXPECT_EQ(readerNames(inside).size(), 7);

    // A cancelled extraction tells how many files it extracted before the cancel.
    QFile::remove(inside);
    QFile::remove(dir + "a\\b.txt");
    for (int i = 0; i < 3000; ++i)
        write(dir + QString("page%1.htm").arg(i), QByteArray(200, char('a' + i % 26)));
    FormZip->FormActivate();
    FormZip->ButtonZipClick();
    for (int i = 0; i < 3000; ++i)
        QFile::remove(dir + QString("page%1.htm").arg(i));
    // The files still there are kept (the first answers); the pages come back.
    for (const QString& name : readerNames(archiveName()))
        if (!name.startsWith("page"))
            dialogs->pushAnswer(platform::MsgResult::No);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* p = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (p && QDir(dir).entryList({"page*"}).size() > 10)
            if (auto* cancel = p->findChild<QPushButton*>())
                cancel->click();
    });
    poll.start(0);
    dialogs->clear();
    FormZip->ShowFor(false);
    FormZip->ButtonUnZipClick();
    poll.stop();
    const int pages = int(QDir(dir).entryList({"page*"}).size());
    EXPECT_GT(pages, 10);
    EXPECT_LT(pages, 3000);
    EXPECT_EQ(dialogs->messages().last(), "User Aborted Operation\nExtracted " + QString::number(pages) + " files");
}

TEST_F(ArchiveWindowTest, LeftoversOfRunsCutShortGoAtTheNextRun)
{
    open();
    FormZip->ShowFor(true);
    FormZip->ButtonZipClick();
    // As killed runs left them: part files of an extraction in the catalog, temporary
    // archives of a zip run beside the archive.
    const QStringList leftovers{dir + ".morvanel-part-1a2B3c", dir + ".morvanel-part-zzzzzz",
                                dir + "archives/ARQab12Cd.tmp", dir + "archives/ARQ0z9Y8x.tmp"};
    writeOld(leftovers[0], "half a member");
    writeOld(leftovers[1], "");
    writeOld(leftovers[2], QByteArray("PK\x03\x04", 4) + "half an archive");
    writeOld(leftovers[3], "");
    // Not theirs: names of another pattern (the older part files' among them, which users'
    // files may have too), a file of the same look that is no archive, part files where no
    // extraction writes, and a part file of a run going on now.
    const QStringList others{dir + ".mvpart1a2b3c4d",          dir + ".mvpartz",
                             dir + ".morvanel-part-",          dir + ".morvanel-part-AB1",
                             dir + ".morvanel-part-1a2b3c4",   dir + ".morvanel-part-1a2b3c.txt",
                             dir + "ARQab12Cd.tmp",            dir + "archives/ARQab12Cd",
                             dir + "archives/ARQab12.tmp",     dir + "archives/ARQnotzip.tmp",
                             dir + "archives/.morvanel-part-1a2b3c"};
    for (const QString& f : others)
        writeOld(f, "mine");
    write(dir + ".morvanel-part-nownow", "being written right now");
    const auto before = snapshot(dir);

    dialogs->clear();
    FormZip->ShowFor(false);
    FormZip->ButtonUnZipClick();
    FormZip->ShowFor(true);
    FormZip->ButtonZipClick();
    for (const QString& f : leftovers)
        EXPECT_FALSE(QFileInfo::exists(f)) << f.toStdString();
    const auto after = snapshot(dir);
    for (const QString& f : others + QStringList{dir + ".morvanel-part-nownow"})
        EXPECT_EQ(after.value(f), before.value(f)) << f.toStdString();
}
