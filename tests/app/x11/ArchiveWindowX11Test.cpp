// The archive window as a user reaches it on a real desktop: the program in its own process,
// the menu command, the Zip button and the message answered through the window system.
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

namespace {

// The first visible window (of the program, or of that title) whose property as xprop prints
// it names the value; empty when there is none now.
QString windowWith(const char* property, const char* value, const QString& titlePattern = QString())
{
    const QStringList search = titlePattern.isEmpty() ? QStringList{"search", "--onlyvisible", "--classname", "morvanel"}
                                                      : QStringList{"search", "--onlyvisible", "--name", titlePattern};
    for (const QString& id : xdotool(search).split('\n', Qt::SkipEmptyParts)) {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"), {"-id", id, property});
        xprop.waitForFinished(10000);
        if (xprop.readAllStandardOutput().contains(value))
            return id;
    }
    return QString();
}

// Waits until the check gives a window id, or the program ends, or the time is up.
template <class Find>
QString waitForWindowWhere(int timeoutMs, const QProcess& proc, Find find)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs && proc.state() != QProcess::NotRunning) {
        const QString id = find();
        if (!id.isEmpty())
            return id;
        QThread::msleep(100);
    }
    return QString();
}

// The visible window of that title that is modal, waiting up to the timeout.
QString waitForModal(const QString& titlePattern, int timeoutMs, const QProcess& proc)
{
    return waitForWindowWhere(timeoutMs, proc, [&] { return windowWith("_NET_WM_STATE", "_NET_WM_STATE_MODAL", titlePattern); });
}

} // namespace

TEST(ArchiveWindowX11, MakeTheArchiveFromTheMenu)
{
    testsupport::TempDir prog, cfg, cwd;
    const QString cat = prog.file("Project1/");
    QDir().mkpath(cat + "temp");
    testsupport::writeFile(prog.file("dir"), "Project1\\\r\nHelp\\\r\n");
    testsupport::writeFile(cat + "CurrentMenue", "Menue\r\n");
    testsupport::writeFile(cat + "Menue", "root\r\n\tchild\r\n");
    testsupport::writeFile(cat + "note.txt", "a note");
    testsupport::writeFile(cfg.file("Zov.ini"),
                           "[Morvanel]\nShowDirForm=0\nShowWordsForm=0\npath=" + cat.toUtf8() + "\n");

    QProcess proc;
    ASSERT_TRUE(testsupport::startProgram(proc, QStringLiteral(MV_MORVANEL_EXE), prog.path(), cfg.path(), cwd.path()));

    const QString main = waitForWindow('^' + QRegularExpression::escape(cat) + '$', 60000, proc);
    ASSERT_FALSE(main.isEmpty()) << proc.readAllStandardError().toStdString();
    // The start-up shows the catalog chooser (modal, titled like the main window): OK.
    const QString title = '^' + QRegularExpression::escape(cat) + '$';
    const QString chooser = waitForModal(title, 60000, proc);
    ASSERT_FALSE(chooser.isEmpty()) << "the catalog chooser never appeared";
    xdotool({"windowactivate", "--sync", chooser});
    xdotool({"key", "--clearmodifiers", "Return"});
    QElapsedTimer gone;
    gone.start();
    while (!windowWith("_NET_WM_STATE", "_NET_WM_STATE_MODAL", title).isEmpty() && gone.elapsed() < 60000)
        QThread::msleep(100);
    // The main window stands at the screen's top left; its first menu, "Operations whith
    // tree", holds "Make the archive" as its fifth command. A menu that did not open in time
    // is closed and opened again.
    QString zipWindow;
    for (int attempt = 0; attempt < 5 && zipWindow.isEmpty(); ++attempt) {
        // Another window of the program (the search words window shown at start) may still
        // be coming up over the menu bar: raise the main window before each click, and send
        // keys only into a menu that did open, never into the tree.
        xdotool({"windowactivate", "--sync", main});
        xdotool({"windowraise", main});
        xdotool({"mousemove", "--sync", "60", "28"});
        xdotool({"click", "1"});
        const QString menu = waitForWindowWhere(10000, proc, [] {
            return windowWith("_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_POPUP_MENU");
        });
        if (menu.isEmpty()) {
            xdotool({"key", "Escape"});
            continue;
        }
        for (int i = 0; i < 5; ++i)
            xdotool({"key", "Down"});
        xdotool({"key", "Return"});
        zipWindow = waitForWindow(QStringLiteral("^Zip & UnZip form$"), 20000, proc);
        if (zipWindow.isEmpty())
            xdotool({"key", "Escape"});
    }
    ASSERT_FALSE(zipWindow.isEmpty()) << "the archive window never appeared";
    xdotool({"windowactivate", "--sync", zipWindow});
    // Tab from the name to the Zip button, and press it.
    xdotool({"key", "--clearmodifiers", "Tab"});
    xdotool({"key", "--clearmodifiers", "space"});

    const QString archive = cat + "archives/archive001.zip";
    EXPECT_TRUE(testsupport::waitUntil([&] { return QFileInfo(archive).size() > 0; }, 60000)) << "no archive written";
    // The message "Added ... files" in a box of the program.
    const QString box = waitForWindow(QStringLiteral("^Morvanel$"), 60000, proc);
    EXPECT_FALSE(box.isEmpty()) << "no message after zipping";
    if (!box.isEmpty()) {
        xdotool({"windowactivate", "--sync", box});
        xdotool({"key", "--clearmodifiers", "Return"});
    }
    if (testsupport::haveTool("unzip")) {
        QByteArray out;
        EXPECT_EQ(testsupport::runTool("unzip", {"-l", archive}, &out), 0);
        EXPECT_TRUE(out.contains("note.txt")) << out.toStdString();
        EXPECT_FALSE(out.contains("child")) << out.toStdString();
    }

    testsupport::endProgram(proc);
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
}
