// A node manager move cut short, as the next catalog loads find it: records from elsewhere, a
// target whose drive is away, a Draw in the target first, leftovers and long reports.
#include "AppFixture.h"

#include "app/FolderTree.h"
#include "app/MoveRecovery.h"
#include "app/UnitMove.h"
#include "platform/ui/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {
QByteArray pct(const QString& s) { return QUrl::toPercentEncoding(s); }
} // namespace

class MoveRecoveryTest : public AppTest {
protected:
    void SetUp() override
    {
        a = makeCatalog("A", "A-root\r\n\tN\r\n\t\tC\r\n\tStays\r\n");
        b = progFile("B/");
        QDir().mkpath(b);
        write(b + "Menue", "B-root\r\n");
        write(progFile("dir"), "Project1\\\r\nHelp\\\r\nA\\\r\nB\\\r\n");
        start();
        FormSlova->Timer1->stop();
        FormSlova->TimerTree->stop();
    }
    // The move of N with its child C from A into B, cut short once both files lay in B.
    void cutMove(const QStringList& names = {"N.rtf", "C.txt"}, int index = 1, const QString& node = "N")
    {
        for (const QString& n : names)
            write(a + n, "file " + n.toUtf8());
        nodemove::MoveRecord r;
        r.sourceDir = a;
        r.targetDir = b;
        r.treeName = "Menue";
        r.nodeText = node;
        r.nodeIndex = index;
        for (const QString& n : names)
            r.files.append({a + n, b + n});
        QString error;
        ASSERT_TRUE(nodemove::beginMove(r, &error)) << error.toStdString();
        for (const auto& f : r.files)
            ASSERT_TRUE(QFile::rename(f.from, f.to));
    }
    QStringList load(const QString& dir)
    {
        dialogs->clear();
        FormSlova->ProjectPath = dir;
        FormSlova->LoadMenue();
        return dialogs->messages();
    }
    bool recordLeft() const { return QFileInfo::exists(a + "menue_move"); }
    QString a, b;
};

TEST_F(MoveRecoveryTest, OnlyKnownCatalogsAndNodeFilesAreTouchedAndEveryFileEndsInOneTree)
{
    // A received catalog whose record names a folder of the user's, not in the catalog list:
    // nothing there is taken or deleted, and the user hears of it.
    const QString outside = progFile("Outside/");
    QDir().mkpath(outside);
    write(outside + "Menue", "Mine\r\n");
    write(outside + "N.rtf", "the user's own note");
    write(outside + "C.txt", "same text");
    write(a + "C.txt", "same text");
    write(a + "menue_move", "Morvanel node move\nsource " + pct(a) + "\ntarget " + pct(outside)
                                + "\ntree Menue\nnode 1 N\nline %09N\nline %09%09C\nfile N.rtf N.rtf\nfile C.txt C.txt\nbefore - - -\n");
    const auto outsideBefore = snapshot(outside), aBefore = snapshot(a);
    QStringList said = load(a);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains("not a catalog of the catalog list")) << said[0].toStdString();
    EXPECT_EQ(snapshot(outside), outsideBefore);
    EXPECT_EQ(snapshot(a), aBefore);
    QFile::remove(a + "menue_move");
    QFile::remove(a + "C.txt");
    // A record into a catalog of the list that claims its tree unchanged since the move began,
    // while that tree names the files: they are the user's there, and stay.
    write(b + "Menue", "B-root\r\n\tN\r\n\tC\r\n");
    write(b + "N.rtf", "the user's note");
    write(b + "C.txt", "the user's text");
    nodemove::MoveRecord claim{a, b, "Menue", "N", 1, {}, {{a + "N.rtf", b + "N.rtf"}, {a + "C.txt", b + "C.txt"}}, {}, {}, {}};
    QString error;
    ASSERT_TRUE(nodemove::beginMove(claim, &error));
    const auto bBefore = snapshot(b);
    load(a);
    EXPECT_EQ(snapshot(b), bBefore);
    EXPECT_FALSE(QFileInfo::exists(a + "N.rtf") || QFileInfo::exists(a + "C.txt"));
    for (const char* n : {"N.rtf", "C.txt"})
        QFile::remove(b + n);
    write(b + "Menue", "B-root\r\n");
    write(a + "Menue", "A-root\r\n\tN\r\n\t\tC\r\n\tStays\r\n");

    // Nor does the node manager move anything into a folder that is not in the catalog list.
    dialogs->clear();
    FormSlova->RestructFiles();
    FormMove->folders->openAt(outside);
    FormMove->FileTree();
    EXPECT_TRUE(FormMove->TargetDir.isEmpty());
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("is not in the catalog list")) << dialogs->messages()[0].toStdString();
    FormMove->close();

    // The target's drive is away, its mount point an empty folder: the record stays until the
    // files are found, also while one of them is found nowhere.
    cutMove();
    const QString drive = progFile("drive/");
    ASSERT_TRUE(QDir().rename(b, drive));
    QDir().mkpath(b);
    said = load(a);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains("cannot be reached now")) << said[0].toStdString();
    EXPECT_TRUE(recordLeft());
    QDir().rmdir(b);
    ASSERT_TRUE(QDir().rename(drive, b));
    ASSERT_TRUE(QFile::rename(b + "C.txt", progFile("C.txt")));
    said = load(a);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains("found neither")) << said[0].toStdString();
    EXPECT_TRUE(recordLeft());
    ASSERT_TRUE(QFile::rename(progFile("C.txt"), b + "C.txt"));
    said = load(a);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains("Its files were put back")) << said[0].toStdString();
    EXPECT_FALSE(recordLeft());
    EXPECT_TRUE(QFileInfo::exists(a + "N.rtf") && QFileInfo::exists(a + "C.txt"));

    // The target opened and drawn first: the moved files do not become its nodes, and the
    // source's load then takes them back.
    cutMove();
    load(b);
    dialogs->clear();
    FormSlova->Tree_prog();
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("N.rtf")) << dialogs->messages()[0].toStdString();
    EXPECT_EQ(read(b + "Menue"), QByteArray("B-root\r\n"));
    said = load(a);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains("put back")) << said[0].toStdString();
    EXPECT_EQ(read(b + "Menue"), QByteArray("B-root\r\n"));
    EXPECT_TRUE(QFileInfo::exists(a + "N.rtf") && QFileInfo::exists(a + "C.txt"));
    EXPECT_EQ(read(a + "Menue"), QByteArray("A-root\r\n\tN\r\n\t\tC\r\n\tStays\r\n"));

    // A target that lists the moved nodes already (added there before this program knew of
    // records) has the move finished: the files stay with the tree that lists them.
    cutMove();
    write(b + "Menue", "B-root\r\n\tC\r\n\tN\r\n");
    said = load(a);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains("finished")) << said[0].toStdString();
    EXPECT_EQ(read(a + "Menue"), QByteArray("A-root\r\n\tStays\r\n"));
    EXPECT_TRUE(QFileInfo::exists(b + "N.rtf") && QFileInfo::exists(b + "C.txt"));
    EXPECT_FALSE(QFileInfo::exists(a + "N.rtf") || QFileInfo::exists(a + "C.txt"));

    // A save of the record killed before its rename left its temporary file: the load clears
    // it, and a file of the user's of a like name stays.
    write(a + ".menue_move.morvanel-Xy12Zq", "Morvanel node move\n");
    write(a + ".menue_move.notes", "mine");
    for (const char* n : {".menue_move.morvanel-Xy12Zq", ".menue_move.notes"}) {
        QFile f(a + n);
        f.open(QIODevice::ReadWrite);
        f.setFileTime(QDateTime::fromSecsSinceEpoch(1300000000), QFileDevice::FileModificationTime);
    }
    EXPECT_TRUE(load(a).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(a + ".menue_move.morvanel-Xy12Zq"));
    EXPECT_TRUE(QFileInfo::exists(a + ".menue_move.notes"));
}

// Many files that cannot go back (a folder stands where each must go, as on a catalog that
// cannot be written): the box names the problems in its details and fits the screen.
TEST_F(MoveRecoveryTest, TheReportOfAMoveThatCannotBeUndoneFitsTheScreen)
{
    QByteArray tree = "A-root\r\n\tM\r\n";
    QStringList names;
    for (int i = 0; i < 300; ++i) {
        const QString n = QStringLiteral("note%1").arg(i, 3, 10, QLatin1Char('0'));
        tree += "\t\t" + n.toUtf8() + "\r\n";
        names.append(n + ".rtf");
    }
    write(a + "Menue", tree);
    write(a + "M.rtf", "m");
    names.prepend("M.rtf");
    cutMove(names, 1, "M");
    for (const QString& n : names)
        QDir().mkpath(a + n);

    auto scripted = platform::setDialogs(std::make_unique<platform::QtDialogs>());
    QRect box, ok, screen;
    QString details;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QMessageBox* m = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                m = box;
        if (!m)
            return;
        box = m->frameGeometry();
        QAbstractButton* b = m->button(QMessageBox::Ok);
        ok = QRect(b->mapToGlobal(QPoint(0, 0)), b->size());
        screen = m->screen()->availableGeometry();
        details = m->detailedText();
        b->click();
    });
    poll.start(10);
    // An earlier test in this program may have asked the application to quit, which ends every
    // later modal loop at once; a run of the application's own loop clears that request.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    FormSlova->ProjectPath = a;
    FormSlova->LoadMenue();
    poll.stop();
    platform::setDialogs(std::move(scripted));
    ASSERT_FALSE(box.isEmpty());
    EXPECT_TRUE(screen.contains(box)) << box.height() << " " << screen.height();
    EXPECT_TRUE(screen.contains(ok));
    EXPECT_TRUE(details.contains("note299.rtf"));
    EXPECT_TRUE(recordLeft());
}
