// The program run as a user runs it: its own process, its own folders, ended from outside.
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

namespace {

struct ProgramProcess {
    testsupport::TempDir prog, cfg, cwd;
    QProcess proc;

    void start(const QStringList& args = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MORVANEL_PROGRAM_DIR"), prog.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), cfg.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        proc.setProcessEnvironment(env);
        proc.setWorkingDirectory(cwd.path());
        proc.start(QStringLiteral(MV_MORVANEL_EXE), args);
    }

    // Waits until the program has loaded its catalog (the load creates this folder).
    bool waitFor(const QString& path)
    {
        QElapsedTimer t;
        t.start();
        while (!QFileInfo::exists(path)) {
            if (t.elapsed() > 120000 || proc.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(50);
        }
        // The program handles termination requests before it creates any window, so a request
        // from now on is never too early.
        return true;
    }
};

} // namespace

TEST(ProgramRun, ATerminationRequestSavesLikeClosingTheWindow)
{
    ProgramProcess run;
    const QString cat = run.prog.file("Project1/");
    QDir().mkpath(cat);
    testsupport::writeFile(run.prog.file("dir"), "Project1\\\r\nHelp\\\r\n");
    testsupport::writeFile(cat + "CurrentMenue", "Menue");
    testsupport::writeFile(cat + "Menue", "a\n b\n");
    testsupport::writeFile(cat + "Menue_ind", "3\r\n");

    run.start({cat});
    ASSERT_TRUE(run.proc.waitForStarted(10000));
    ASSERT_TRUE(run.waitFor(cat + "deleteditems")) << run.proc.readAllStandardError().toStdString();
    run.proc.terminate(); // SIGTERM, as a logout or "kill" sends it
    ASSERT_TRUE(run.proc.waitForFinished(120000));
    EXPECT_EQ(run.proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.proc.exitCode(), 0);

    // Saved as at a normal shut-down: settings, layer list, tree with TABs, one icon per node.
    const QByteArray ini = testsupport::readFile(run.cfg.file("Zov.ini"));
    EXPECT_TRUE(ini.contains("formSlova_width=")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("index2=0")) << ini.toStdString();
    EXPECT_EQ(testsupport::readFile(cat + "CurrentMenue"), QByteArray("Menue\r\n"));
    EXPECT_EQ(testsupport::readFile(cat + "Menue"), QByteArray("a\r\n\tb\r\n"));
    EXPECT_EQ(testsupport::readFile(cat + "Menue_ind"), QByteArray("3\r\n0\r\n"));

    // Nothing is missing: no plugin, picture or resource complaints.
    const QString err = QString::fromLocal8Bit(run.proc.readAllStandardError());
    for (const char* bad : {"Could not", "Cannot", "not found", "QPixmap", "QIcon", "libpng", "No such"})
        EXPECT_FALSE(err.contains(QLatin1String(bad), Qt::CaseInsensitive)) << err.toStdString();
}

TEST(ProgramRun, AWaylandDesktopFindsItsPlatformPlugin)
{
    // Debian 12's desktops run Wayland sessions; Qt looks for its "wayland" plugin first there and
    // complains on every start when it is not installed. No compositor runs here, so the start
    // itself fails after the look-up; only the complaint matters.
    const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/");
    if (!QFileInfo::exists(plugins + QStringLiteral("libqwayland-generic.so"))
        && qEnvironmentVariable("CI") != QLatin1String("true"))
        GTEST_SKIP() << "qt6-wayland is not installed (scripts/install-deps installs it)";
    ProgramProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("morvanel-test-no-such-display"));
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run.cwd.path());
    env.insert(QStringLiteral("MORVANEL_PROGRAM_DIR"), run.prog.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), run.cfg.path());
    run.proc.setProcessEnvironment(env);
    run.proc.setWorkingDirectory(run.cwd.path());
    run.proc.start(QStringLiteral(MV_MORVANEL_EXE), QStringList());
    ASSERT_TRUE(run.proc.waitForFinished(120000));
    const QString err = QString::fromLocal8Bit(run.proc.readAllStandardError());
    EXPECT_FALSE(err.contains(QLatin1String("Could not find the Qt platform plugin \"wayland\""))) << err.toStdString();
}
