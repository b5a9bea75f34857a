// The start-up as a user meets it on a real desktop: the program in its own process, answered
// through the window system.
#include "support/Desktop.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

using testsupport::waitForWindow;
using testsupport::xdotool;

TEST(StartupTimer, ItsWindowsAppearOnceAStartUpMessageBoxIsAnswered)
{
    testsupport::TempDir prog, cfg, cwd;
    const QString cat = prog.file("Project1/");
    QDir().mkpath(cat);
    testsupport::writeFile(prog.file("dir"), "Project1\\\r\nHelp\\\r\n");
    testsupport::writeFile(cat + "CurrentMenue", "Menue\r\n");
    // A jump of two levels stops the tree file's reading with a message box.
    testsupport::writeFile(cat + "Menue", "root\r\n\t\tdeep\r\n");
    testsupport::writeFile(cat + "history", "one\r\n");
    testsupport::writeFile(cfg.file("Zov.ini"),
                           "[Morvanel]\nShowDirForm=0\nShowWordsForm=0\npath=" + cat.toUtf8() + "\n");

    QProcess proc;
    ASSERT_TRUE(testsupport::startProgram(proc, QStringLiteral(MV_MORVANEL_EXE), prog.path(), cfg.path(), cwd.path()));

    const QString box = waitForWindow(QStringLiteral("^Morvanel$"), 60000, proc);
    ASSERT_FALSE(box.isEmpty()) << proc.readAllStandardError().toStdString();
    // The user reads the message for a while: the start-up timer has fired several times.
    QThread::msleep(3000);
    xdotool({"windowactivate", "--sync", box});
    xdotool({"key", "--clearmodifiers", "Return"});

    // The chooser shows the catalog folder as its caption, as the main window does; it is the
    // modal one of the two.
    QElapsedTimer t;
    t.start();
    bool chooserShown = false;
    while (!chooserShown && t.elapsed() < 60000 && proc.state() != QProcess::NotRunning) {
        const QString ids = xdotool({"search", "--onlyvisible", "--name", '^' + QRegularExpression::escape(cat) + '$'});
        for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"), {"-id", id, "_NET_WM_STATE"});
            xprop.waitForFinished(5000);
            chooserShown = chooserShown || xprop.readAllStandardOutput().contains("_NET_WM_STATE_MODAL");
        }
        if (!chooserShown)
            QThread::msleep(100);
    }
    EXPECT_TRUE(chooserShown) << "the catalog chooser never appeared";
    const QString words = waitForWindow(QStringLiteral("^Search words form$"), 60000, proc);
    EXPECT_FALSE(words.isEmpty()) << "the search words window never appeared";

    testsupport::endProgram(proc);
    // The reading stopped at the bad line: the tree file is kept as it was.
    EXPECT_EQ(testsupport::readFile(cat + "Menue"), QByteArray("root\r\n\t\tdeep\r\n"));
}
