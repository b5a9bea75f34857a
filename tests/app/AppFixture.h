#pragma once
#include "app/OnStart.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/settings/SettingsStore.h"
#include "platform/web/BrowserControl.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>

// A first-start environment: the program folder, the settings folder and the current folder are
// temporary folders, and message boxes are answered by a script that records their texts.
class AppTest : public ::testing::Test {
protected:
    AppTest()
        : oldProg_(qgetenv("MORVANEL_PROGRAM_DIR")), oldCfg_(qgetenv("XDG_CONFIG_HOME")), oldCwd_(QDir::currentPath())
    {
        qputenv("MORVANEL_PROGRAM_DIR", QFile::encodeName(prog.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(cfg.path()));
        QDir::setCurrent(cwd.path());
        // Window tests see the page pane through a browser that records its navigations.
        oldBrowser_ = platform::setBrowserFactory([](QWidget* p) { return new platform::FakeBrowser(p); });
    }
    ~AppTest() override
    {
        if (FormSlova)
            DestroyWindows();
        platform::setBrowserFactory(oldBrowser_);
        QDir::setCurrent(oldCwd_);
        qputenv("MORVANEL_PROGRAM_DIR", oldProg_);
        qputenv("XDG_CONFIG_HOME", oldCfg_);
    }

    void start(const QStringList& args = {QStringLiteral("morvanel")}) { CreateWindows(args); }
    void stop() { DestroyWindows(); }

    QString progFile(const QString& name) const { return prog.path() + name; }
    QByteArray read(const QString& path) const { return testsupport::readFile(path); }
    void write(const QString& path, const QByteArray& data) const { testsupport::writeFile(path, data); }

    // A catalog beside the program as a later start finds it: "dir" exists.
    QString makeCatalog(const QString& name, const QByteArray& menue)
    {
        write(progFile("dir"), "Project1\\\r\nHelp\\\r\n");
        write(progFile("menue_clear"), "Menue\r\n");
        const QString dir = progFile(name + "/");
        QDir().mkpath(dir + "temp");
        QDir().mkpath(dir + "deleteditems");
        write(dir + "StopList", "");
        write(dir + "CurrentMenue", "Menue\r\n");
        write(dir + "Menue", menue);
        reg.writeString("path", dir);
        return dir;
    }

    // Every file and folder below a folder with its size, time and content.
    static QMap<QString, QString> snapshot(const QString& root)
    {
        QMap<QString, QString> out;
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFileInfo fi(p);
            out.insert(p, QStringLiteral("%1 %2 %3").arg(fi.size()).arg(fi.lastModified().toMSecsSinceEpoch())
                              .arg(fi.isDir() ? QString() : QString::fromLatin1(testsupport::readFile(p).toHex())));
        }
        return out;
    }

    testsupport::TempDir prog, cfg, cwd;
    platform::ScopedScriptedDialogs dialogs;
    platform::SettingsStore reg;

private:
    QByteArray oldProg_, oldCfg_;
    platform::BrowserFactory oldBrowser_;
    QString oldCwd_;
};
