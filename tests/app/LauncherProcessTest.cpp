// The main window's launchers start real processes: stand-in programs first on PATH record the
// arguments they were given, one per line.
#include "NodeFixture.h"

#include <QDeadlineTimer>
#include <QMenu>

namespace {

class LauncherProcessTest : public NodeTest {
protected:
    LauncherProcessTest() : oldPath_(qgetenv("PATH")) {}
    ~LauncherProcessTest() override { qputenv("PATH", oldPath_); }

    // Stand-ins for a text editor, an office writer and the desktop opener.
    void useStandIns()
    {
        QDir().mkpath(bin.path() + "bin");
        for (const char* name : {"gedit", "lowriter", "xdg-open"}) {
            const QString path = bin.path() + "bin/" + name;
            write(path, QStringLiteral("#!/bin/sh\nPATH=/usr/bin:/bin\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"%1%2.args.part\"\n"
                                       "mv \"%1%2.args.part\" \"%1%2.args\"\n")
                            .arg(bin.path(), QString::fromLatin1(name))
                            .toUtf8());
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(bin.path() + "bin"));
    }
    void useNothing()
    {
        QDir().mkpath(bin.path() + "empty");
        qputenv("PATH", QFile::encodeName(bin.path() + "empty"));
    }
    // The arguments a stand-in received, once it has run.
    QStringList argsOf(const char* name)
    {
        const QString file = bin.path() + name + ".args";
        QDeadlineTimer deadline(10000);
        while (!QFileInfo::exists(file) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QString text = QString::fromUtf8(read(file));
        QFile::remove(file);
        if (text.endsWith('\n'))
            text.chop(1);
        return text.split('\n');
    }
    void desktopLauncher() { platform::setLauncher(std::make_unique<platform::DesktopLauncher>()); }

    testsupport::TempDir bin;

private:
    QByteArray oldPath_;
};

} // namespace

TEST_F(LauncherProcessTest, EachFileReachesTheProgramAsOneArgumentAndRunsNothing)
{
    const QString name = QStringLiteral("a b $(touch X);c'");
    open(("Menue\r\n\t" + name + "\r\n\tR\r\n").toUtf8());
    write(cat + name + ".htm", "<html><body>x</body></html>");
    write(cat + "R.rtf", "{\\rtf1 r\\par}");
    desktopLauncher();
    useStandIns();
    click(1);
    const QString page = cat + name + ".htm";
    FormSlova->ButtonTXT();
    EXPECT_EQ(argsOf("gedit"), QStringList{page});
    FormSlova->OpenExployer1Click();
    EXPECT_EQ(argsOf("xdg-open"), QStringList{page});
    FormSlova->ShowStopList();
    EXPECT_EQ(argsOf("gedit"), QStringList{cat + "StopList"});
    click(2);
    FormSlova->OpenExEditor();
    EXPECT_EQ(argsOf("xdg-open"), QStringList{cat + "R.rtf"});
    EXPECT_FALSE(QFileInfo::exists(cwd.path() + "X"));
    EXPECT_FALSE(QFileInfo::exists(cat + "X"));
    EXPECT_FALSE(QFileInfo::exists(bin.path() + "X"));
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join('\n').toStdString();
}

TEST_F(LauncherProcessTest, WithNothingToStartTheUserHearsWhichFile)
{
    open("Menue\r\n\tP\r\n");
    write(cat + "P.htm", "<html></html>");
    desktopLauncher();
    useNothing();
    click(1);
    FormSlova->ButtonTXT();
    FormSlova->OpenExployer1Click();
    FormSlova->ShowStopList();
    EXPECT_EQ(dialogs->messages(), (QStringList{"No program could be started to open \"" + cat + "P.htm\".",
                                                "No program could be started to open \"" + cat + "P.htm\".",
                                                "No program could be started to open \"" + cat + "StopList\"."}));
}
