#include "support/HttpServer.h"
#include "support/TestSupport.h"
#include "web/PageFetch.h"

#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTimer>

namespace {

class PageFetchTest : public ::testing::Test {
protected:
    PageFetchTest() : server(root.path())
    {
        testsupport::writeFile(root.file("page.htm"), "<html><a href=\"x.htm\">x</a></html>\r\n");
        PageFetch::inactivityTimeoutMs() = 800;
        PageFetch::sizeLimit() = 1 << 20;
    }
    ~PageFetchTest() override
    {
        PageFetch::inactivityTimeoutMs() = 60000;
        PageFetch::sizeLimit() = qint64(256) * 1024 * 1024;
    }
    FetchResult fetch(const QString& address)
    {
        PageFetch f;
        FetchResult got;
        int count = 0;
        QEventLoop loop;
        QObject::connect(&f, &PageFetch::finished, &loop, [&](const FetchResult& r) {
            got = r;
            ++count;
            loop.quit();
        });
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        f.start(address, scratch());
        loop.exec();
        EXPECT_EQ(count, 1) << address.toStdString();
        return got;
    }
    QString scratch() const { return out.file("temp/scratch.htm"); }
    testsupport::TempDir root, out;
    testsupport::HttpServer server;
};

} // namespace

TEST_F(PageFetchTest, PagesArriveWholeInTheScratchFile)
{
    FetchResult r = fetch(server.url("/page.htm"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(testsupport::readFile(scratch()), "<html><a href=\"x.htm\">x</a></html>\r\n");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.contentType, "text/html");

    r = fetch(server.url("/redirect/301?to=/page.htm%3Fct%3Dtext/html;charset%3Dkoi8-r"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.finalUrl.path(), "/page.htm");
    EXPECT_EQ(r.charset, "koi8-r");

    r = fetch(server.url("/page.htm?gzip=1"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(testsupport::readFile(scratch()), "<html><a href=\"x.htm\">x</a></html>\r\n");

    testsupport::writeFile(out.file("local.htm"), "<html>local</html>");
    r = fetch(out.file("local.htm"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(testsupport::readFile(scratch()), "<html>local</html>");
}

TEST_F(PageFetchTest, EveryKindOfFailureLeavesNoScratchFile)
{
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    const QStringList bad{server.url("/status/404"), server.url("/status/500"),
                          QStringLiteral("http://127.0.0.1:%1/x.htm").arg(closedPort), server.url("/loop"),
                          server.url("/stall"), server.url("/cut"), server.url("/png"),
                          server.url("/big?mb=2"), server.url("/empty"), QStringLiteral("ftp://127.0.0.1/x.htm"),
                          QStringLiteral("javascript:alert(1)"), server.url("/headers-cut")};
    for (const QString& a : bad) {
        const FetchResult r = fetch(a);
        EXPECT_FALSE(r.ok) << a.toStdString();
        EXPECT_FALSE(r.error.isEmpty()) << a.toStdString();
        EXPECT_FALSE(QFile::exists(scratch())) << a.toStdString();
    }
}

TEST_F(PageFetchTest, ARedirectLoopIsReportedAsOne)
{
    const FetchResult r = fetch(server.url("/loop"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Too many redirects") << r.error.toStdString();
    EXPECT_FALSE(QFile::exists(scratch()));
}
