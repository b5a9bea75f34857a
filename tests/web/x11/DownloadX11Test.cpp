// Search words and the download manager on a real desktop: a "url:" line typed into the search
// words window, "Make file", then "Prepare list" and "Start Download", all through the window
// system while the program runs; the page comes from the test's own server.
#include "support/Desktop.h"
#include "support/HttpServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

namespace {

using testsupport::xdotool;

// Waits for the program to print "NAME X Y"; the positions read so far are kept.
bool waitFor(QProcess& proc, QMap<QString, QPoint>& at, const QString& name, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!at.contains(name) && t.elapsed() < timeoutMs && proc.state() != QProcess::NotRunning) {
        proc.waitForReadyRead(200);
        while (proc.canReadLine()) {
            const QStringList f = QString::fromUtf8(proc.readLine()).trimmed().split(u' ');
            if (f.size() == 3)
                at[f[0]] = QPoint(f[1].toInt(), f[2].toInt());
        }
    }
    return at.contains(name);
}

void click(const QPoint& p)
{
    xdotool({"mousemove", "--sync", QString::number(p.x()), QString::number(p.y())});
    xdotool({"click", "1"});
}

QMap<QString, QByteArray> listing(const QString& root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        out[p.mid(root.size())] = testsupport::readFile(p);
    }
    return out;
}

} // namespace

TEST(DownloadX11, TypedLineBecomesAMergedPage)
{
    testsupport::TempDir prog, cfg, cwd, site;
    testsupport::writeFile(site.file("page.htm"), "<html><head><title>Served</title></head>\n<a href=\"x.htm\">X</a>\n</html>\n");
    testsupport::HttpServer server(site.path());
    const QString cat = prog.file("Project1/");
    QDir().mkpath(cat + "temp");
    QDir().mkpath(cat + "deleteditems");
    testsupport::writeFile(prog.file("dir"), "Project1\\\r\nHelp\\\r\n");
    testsupport::writeFile(prog.file("menue_clear"), "Menue\r\n");
    testsupport::writeFile(cat + "CurrentMenue", "Menue\r\n");
    testsupport::writeFile(cat + "Menue", "Menue\r\n\told\r\n");
    testsupport::writeFile(cat + "StopList", "");
    testsupport::writeFile(cat + "old.htm", "<html>old</html>\r\n");
    testsupport::writeFile(cfg.file("Zov.ini"), "[Morvanel]\nShowDirForm=1\nShowWordsForm=0\npath=" + cat.toUtf8() + "\n");
    const auto before = listing(cat);

    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MORVANEL_PROGRAM_DIR"), prog.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), cfg.path());
    for (const char* v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(v));
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(cwd.path());
    proc.setProcessChannelMode(QProcess::SeparateChannels);
    proc.start(QStringLiteral(MV_DOWNLOAD_WINDOWS_PROGRAM), QStringList());
    ASSERT_TRUE(proc.waitForStarted(10000));

    QMap<QString, QPoint> at;
    ASSERT_TRUE(waitFor(proc, at, "ButtonMakeFile", 60000)) << proc.readAllStandardError().toStdString();
    click(at["Edit1"]);
    const QString url = server.url("/page.htm");
    xdotool({"type", "--delay", "10", "url:" + url});
    xdotool({"key", "--clearmodifiers", "Return"});
    QThread::msleep(300);
    click(at["ButtonMakeFile"]);
    ASSERT_TRUE(waitFor(proc, at, "StartDownload1", 60000));
    click(at["Preparelist1"]);
    QThread::msleep(300);
    click(at["StartDownload1"]);

    // The task file is merged from the server.
    QString task;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        const QStringList files = QDir(cat).entryList({"p___127_0_0_1_*.htm"}, QDir::Files);
        if (!files.isEmpty()) {
            task = cat + files[0];
            if (testsupport::readFile(task).contains("<title>Served</title>"))
                break;
        }
        QThread::msleep(200);
    }
    ASSERT_FALSE(task.isEmpty());
    const QByteArray merged = testsupport::readFile(task);
    EXPECT_TRUE(merged.startsWith("<!-- SearchWords=\"url:" + url.toUtf8() + "\"-->\r\n<!-- DownloadURL=\"" + url.toUtf8() + "\" -->\r\n"))
        << merged.constData();
    EXPECT_TRUE(merged.contains(QStringLiteral("<a href=\"http://127.0.0.1:%1/x.htm\">X</a>").arg(server.port()).toUtf8()));

    proc.terminate();
    if (!proc.waitForFinished(60000))
        proc.kill();
    // Nothing else changed but the keywords files and the tree.
    auto after = listing(cat);
    after.remove(task.mid(cat.size()));
    for (const char* f : {"keywords", "UrlsForDownload", "Menue", "Menue_ind", "CurrentMenue", "menue_undo"}) {
        after.remove(QString::fromLatin1(f));
    }
    auto expected = before;
    for (const char* f : {"Menue", "CurrentMenue"})
        expected.remove(QString::fromLatin1(f));
    EXPECT_EQ(after.keys(), expected.keys());
    EXPECT_EQ(after, expected);
    EXPECT_EQ(testsupport::readFile(cat + "keywords"), "url:" + url.toUtf8() + "\r\n");
}
