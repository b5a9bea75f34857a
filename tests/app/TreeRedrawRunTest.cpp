// Another program asks the running program to add the catalog's new pages through "Redraw".
#include "platform/settings/SettingsStore.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <unistd.h>

namespace {

struct RedrawRun {
    testsupport::TempDir prog, cfg, cwd;
    QProcess proc;
    QString cat;
    QString owner; // user:group the program runs as, when not this process's

    RedrawRun()
    {
        cat = prog.file("Project1/");
        QDir().mkpath(cat);
        testsupport::writeFile(prog.file("dir"), "Project1\\\r\nHelp\\\r\n");
        testsupport::writeFile(cat + "CurrentMenue", "Menue\r\n");
        testsupport::writeFile(cat + "Menue", "Menue\r\n\tA\r\n");
        // No chooser or search window: their modal start-up would hold the tree timer.
        testsupport::writeFile(cfg.file("Zov.ini"), "[Morvanel]\nShowDirForm=1\nShowWordsForm=1\npath=" + cat.toUtf8() + "\n");
    }
    void start(const QString& program, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MORVANEL_PROGRAM_DIR"), prog.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), cfg.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), cwd.path());
        proc.setProcessEnvironment(env);
        proc.setWorkingDirectory(cwd.path());
        proc.start(program, args);
    }
    // The settings value as the program sees it (the store re-reads its file on every access).
    QString redraw(const QString* write = nullptr)
    {
        const QByteArray old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(cfg.path()));
        platform::SettingsStore reg;
        if (write) {
            reg.writeString(QStringLiteral("Redraw"), *write);
            // Written by root for a program run as another user: the file stays that user's.
            if (!owner.isEmpty())
                testsupport::runTool(QStringLiteral("chown"), {owner, cfg.file("Zov.ini")});
        }
        const QString v = reg.readString(QStringLiteral("Redraw"), QString());
        qputenv("XDG_CONFIG_HOME", old);
        return v;
    }
    template <class Done>
    bool waitUntil(int ms, Done done)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms || proc.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(100);
        }
        return true;
    }
    void end()
    {
        proc.terminate();
        if (!proc.waitForFinished(3000)) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
};

} // namespace

TEST(TreeRedrawRun, RedrawSetByAnotherProgramAddsTheNewPagesAtTheNextTick)
{
    RedrawRun run;
    run.start(QStringLiteral(MV_MORVANEL_EXE), {});
    ASSERT_TRUE(run.proc.waitForStarted(10000));
    ASSERT_TRUE(run.waitUntil(120000, [&] { return QFileInfo::exists(run.cat + "deleteditems"); }));
    testsupport::writeFile(run.cat + "new.htm", "<html><body>n</body></html>");
    testsupport::writeFile(run.cat + "hid.htm", "<!-- HidePage=\"True\"-->\r\n<html>\r\n");
    const QString one = QStringLiteral("1");
    run.redraw(&one);
    // The tree timer ticks every ten seconds; a loaded machine may delay a tick a lot. The tree
    // file is written before its icon file: the save is over once both hold the new page.
    EXPECT_TRUE(run.waitUntil(120000, [&] {
        return testsupport::readFile(run.cat + "Menue").contains("new")
               && testsupport::readFile(run.cat + "Menue_ind").count('\n') == 3;
    })) << run.proc.readAllStandardError().toStdString();
    EXPECT_EQ(run.redraw(), "0");
    EXPECT_EQ(testsupport::readFile(run.cat + "Menue"), QByteArray("Menue\r\n\tnew\r\n\tA\r\n"));
    EXPECT_EQ(testsupport::readFile(run.cat + "Menue_ind"), QByteArray("0\r\n14\r\n0\r\n"));
    run.end();
}

TEST(TreeRedrawRun, AWriteProtectedTreeFileStaysAsItIsForAnOrdinaryUser)
{
    RedrawRun run;
    QString program = QStringLiteral(MV_MORVANEL_EXE);
    QStringList args;
    if (::geteuid() == 0) {
        // Root writes any file: the check must hold for an ordinary user as it holds for root.
        if (!testsupport::haveTool(QStringLiteral("setpriv")))
            GTEST_SKIP() << "setpriv is not installed";
        for (const QString& d : {run.prog.path(), run.cfg.path(), run.cwd.path()})
            ASSERT_EQ(testsupport::runTool(QStringLiteral("chown"), {"-R", "nobody:nogroup", d}), 0);
        run.owner = QStringLiteral("nobody:nogroup");
        args = {"--reuid=nobody", "--regid=nogroup", "--clear-groups", program};
        program = QStringLiteral("setpriv");
    }
    ASSERT_TRUE(QFile::setPermissions(run.cat + "Menue", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    run.start(program, args);
    ASSERT_TRUE(run.proc.waitForStarted(10000));
    ASSERT_TRUE(run.waitUntil(120000, [&] { return QFileInfo::exists(run.cat + "deleteditems"); }))
        << run.proc.readAllStandardError().toStdString();
    testsupport::writeFile(run.cat + "new.htm", "<html></html>");
    const QString one = QStringLiteral("1");
    run.redraw(&one);
    // The request is taken (and the write refused with a message box the program waits on).
    EXPECT_TRUE(run.waitUntil(120000, [&] { return run.redraw() == "0"; })) << run.proc.readAllStandardError().toStdString();
    QThread::msleep(500);
    EXPECT_EQ(testsupport::readFile(run.cat + "Menue"), QByteArray("Menue\r\n\tA\r\n"));
    EXPECT_EQ(run.proc.state(), QProcess::Running);
    run.end();
    EXPECT_EQ(testsupport::readFile(run.cat + "Menue"), QByteArray("Menue\r\n\tA\r\n"));
}
