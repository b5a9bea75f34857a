#include "platform/web/BrowserControl.h"
#include "platform/web/WebEngineBrowser.h"
#include "support/HttpServer.h"
#include "support/TestSupport.h"

#include <QSignalSpy>

using namespace platform;

namespace {
// Text in the shown page's body, read through a script.
QString bodyText(BrowserControl& b) { return b.runScript(QStringLiteral("document.body.innerText"), 60000).toString().trimmed(); }
} // namespace

TEST(Browser, LoadsALocalFileByItsExactNameAndReadsUndeclaredTextAsWindows1251)
{
    testsupport::TempDir t;
    // "#", "%", "?" and blanks are parts of the name, not of an address.
    const QString name = t.file(QStringLiteral("C# 100% а?.html"));
    testsupport::writeFile(name, "<html><head><title>T1</title></head><body>\xcf\xf0\xe8\xe2\xe5\xf2</body></html>");
    testsupport::writeFile(t.file("C"), "<html><head><title>wrong</title></head></html>");
    WebEngineBrowser b;
    b.resize(400, 300);
    b.show();
    QSignalSpy finished(&b, &BrowserControl::loadFinished);
    b.navigateFile(name);
    ASSERT_TRUE(b.waitLoaded(60000));
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.at(0).at(0).toUrl().toLocalFile(), name);
    EXPECT_TRUE(finished.at(0).at(1).toBool());
    EXPECT_EQ(b.url().toLocalFile(), name);
    EXPECT_EQ(b.title(), QStringLiteral("T1"));
    EXPECT_EQ(bodyText(b), QStringLiteral("Привет"));
}

TEST(Browser, PageDialogsAreSwallowedAndNewWindowsRefused)
{
    // Only pages from the web run their scripts.
    testsupport::TempDir t;
    testsupport::writeFile(t.file("s.html"), "<html><body><script>"
                                             "alert('x'); var c = confirm('y'); var p = prompt('z', 'd');"
                                             "var w = window.open('about:blank');"
                                             "document.title = 'ran ' + c + ' ' + p + ' ' + (w === null);"
                                             "</script>ok</body></html>");
    testsupport::HttpServer server(t.path());
    WebEngineBrowser b;
    b.show();
    b.navigate(QUrl(server.url("/s.html")));
    ASSERT_TRUE(b.waitLoaded(60000));
    // The page's own script ran to its end without anything asking the user.
    EXPECT_EQ(b.runScript("document.title", 60000).toString(), QStringLiteral("ran false null true"));
    EXPECT_EQ(bodyText(b), QStringLiteral("ok"));
}

TEST(Browser, ALocalPageLoadsFilesOfItsFolderButItsScriptsReadNoOtherFile)
{
    testsupport::TempDir t;
    const QByteArray gif("GIF89a\1\0\1\0\x80\0\0\xff\xff\xff\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;", 35);
    testsupport::writeFile(t.file("cat/pic/a.gif"), gif);
    testsupport::writeFile(t.file("secret.txt"), "secret");
    testsupport::writeFile(t.file("cat/own.txt"), "own");
    testsupport::writeFile(t.file("cat/sub/frame.htm"), "<html><body>frame</body></html>");
    const QString name = t.file("cat/page.htm");
    testsupport::writeFile(name, "<html><body><img id=p src=\"pic/a.gif\"><iframe id=f src=\"../secret.txt\"></iframe>"
                                 "<iframe id=g src=\"own.txt\"></iframe><iframe id=h src=\"sub/frame.htm\"></iframe></body></html>");
    WebEngineBrowser b;
    b.show();
    b.navigateFile(name);
    ASSERT_TRUE(b.waitLoaded(60000));
    auto run = [&](const char* script) { return b.runScript(QString::fromLatin1(script), 30000).toString(); };
    EXPECT_EQ(run("String(document.getElementById('p').naturalWidth)"), QStringLiteral("1"));
    // Pages of its folder may be framed; a note beside it or a file above it never shows.
    auto frameText = [&](const char* id) {
        return b.runScript(QStringLiteral("(function(){try{return document.getElementById('%1').contentDocument.body.innerText}"
                                          "catch(e){return 'no'}})()").arg(QLatin1String(id)), 30000).toString();
    };
    EXPECT_EQ(frameText("h"), QStringLiteral("frame"));
    EXPECT_NE(frameText("g"), QStringLiteral("own"));
    EXPECT_NE(frameText("f"), QStringLiteral("secret"));
    const QString xhr = QStringLiteral("(function(){try{var x=new XMLHttpRequest();x.open('GET','%1',false);x.send();return x.responseText}"
                                       "catch(e){return 'no'}})()");
    EXPECT_EQ(b.runScript(xhr.arg(QUrl::fromLocalFile(t.file("secret.txt")).toString()), 30000).toString(), QStringLiteral("no"));
    EXPECT_EQ(b.runScript(xhr.arg(QUrl::fromLocalFile(t.file("cat/own.txt")).toString()), 30000).toString(), QStringLiteral("no"));
}

TEST(Browser, StopEndsALoadAndAMissingFileFinishesNotOk)
{
    testsupport::TempDir t;
    WebEngineBrowser b;
    QSignalSpy finished(&b, &BrowserControl::loadFinished);
    b.navigateFile(t.file("missing.html"));
    b.waitLoaded(60000);
    ASSERT_GE(finished.size(), 1);
    EXPECT_FALSE(finished.last().at(1).toBool());
    b.stop();
    EXPECT_EQ(b.url().toLocalFile(), t.file("missing.html"));
}

TEST(Browser, FakeRecordsNavigationsAndFinishesFromTheEventLoop)
{
    FakeBrowser f;
    QSignalSpy finished(&f, &BrowserControl::loadFinished);
    f.navigateFile(QStringLiteral("/tmp/a b#c%d?.htm"));
    EXPECT_EQ(finished.size(), 0);
    ASSERT_TRUE(f.waitLoaded(1000));
    ASSERT_EQ(finished.size(), 1);
    ASSERT_EQ(f.navigations.size(), 1);
    EXPECT_EQ(f.navigations.at(0).toLocalFile(), QStringLiteral("/tmp/a b#c%d?.htm"));
    f.stop();
    EXPECT_EQ(f.stops, 1);
}

TEST(Browser, FactoryMakesTheInstalledBrowser)
{
    auto old = setBrowserFactory([](QWidget* p) { return new FakeBrowser(p); });
    QWidget w;
    BrowserControl* b = createBrowser(&w);
    EXPECT_NE(qobject_cast<FakeBrowser*>(b), nullptr);
    setBrowserFactory(old);
    BrowserControl* real = createBrowser(&w);
    EXPECT_NE(qobject_cast<WebEngineBrowser*>(real), nullptr);
}
