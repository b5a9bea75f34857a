// The stop list window and the page header editor on a real desktop: keys typed through the
// window system, the program closed through the window manager, the files checked afterwards.
#include "platform/text/CodePage.h"
#include "support/Desktop.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

namespace {

using testsupport::waitForWindow;
using testsupport::xdotool;

} // namespace

TEST(HeaderWindowsX11, TypingDeleteAndReloadReachTheFiles)
{
    testsupport::TempDir prog, cfg, cwd;
    const QString cat = prog.file("Project1/");
    QDir().mkpath(cat + "temp");
    testsupport::writeFile(prog.file("dir"), "Project1\\\r\nHelp\\\r\n");
    testsupport::writeFile(prog.file("menue_clear"), "Menue\r\n");
    testsupport::writeFile(cat + "CurrentMenue", "Menue\r\n");
    testsupport::writeFile(cat + "Menue", platform::toCp1251(u"Страница\r\nДругая\r\n"));
    testsupport::writeFile(cat + "StopList", "http://a/\r\n");
    const QString page = cat + QStringLiteral("Страница.htm");
    const QByteArray body = "<html><body>\xcf\xf0\xe8\xe2\xe5\xf2</body></html>\r\n";
    testsupport::writeFile(page, "<!-- A -->\r\n<!-- B -->\r\n" + body);
    testsupport::writeFile(cfg.file("Zov.ini"),
                           "[Morvanel]\nShowDirForm=1\nShowWordsForm=1\npath=" + cat.toUtf8() + "\n");

    QProcess proc;
    ASSERT_TRUE(testsupport::startProgram(proc, QStringLiteral(MV_HEADER_WINDOWS_PROGRAM), prog.path(), cfg.path(), cwd.path()));

    const QString stop = waitForWindow(QStringLiteral("^Stop URL list$"), 60000, proc);
    ASSERT_FALSE(stop.isEmpty()) << proc.readAllStandardError().toStdString();
    xdotool({"windowactivate", "--sync", stop});
    xdotool({"key", "--clearmodifiers", "ctrl+Home"});
    xdotool({"type", "--delay", "20", "http://typed/"});
    xdotool({"key", "--clearmodifiers", "Return"});

    // The editor shows the node's text as its caption once it is activated.
    const QString editor = waitForWindow(QStringLiteral("^(File category form|Страница)$"), 60000, proc);
    ASSERT_FALSE(editor.isEmpty());
    xdotool({"windowactivate", "--sync", editor});
    QThread::msleep(300);
    // The list has the focus on its first line; Down selects the second.
    xdotool({"key", "--clearmodifiers", "Down"});
    xdotool({"key", "--clearmodifiers", "Delete"});
    xdotool({"key", "--clearmodifiers", "ctrl+r"});
    // "ReLoad page" saves at once.
    const QByteArray marked = "<!-- A -->\r\n<!-- DownloadPage=\"True\"-->\r\n" + body;
    EXPECT_TRUE(testsupport::waitUntil([&] { return testsupport::readFile(page) == marked; }, 60000))
        << testsupport::readFile(page).toStdString();

    // The program ends when its main window is closed through the window manager.
    const QString main = waitForWindow('^' + QRegularExpression::escape(cat) + '$', 60000, proc);
    ASSERT_FALSE(main.isEmpty());
    xdotool({"windowactivate", "--sync", main});
    xdotool({"key", "--clearmodifiers", "alt+F4"});
    ASSERT_TRUE(proc.waitForFinished(60000));
    EXPECT_EQ(proc.exitCode(), 0) << proc.readAllStandardError().toStdString();
    EXPECT_EQ(testsupport::readFile(cat + "StopList"), "http://typed/\r\nhttp://a/\r\n");
    EXPECT_EQ(testsupport::readFile(page), "<!-- A -->\r\n<!-- DownloadPage=\"True\"-->\r\n" + body);
}
