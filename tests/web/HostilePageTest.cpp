// A downloaded page that wants to send the catalog to its server, shown by the real engine in
// the page pane and in the link list window: its server hears of its own picture and of nothing
// else, and the program still reads the page (also one that moves on to the web at once).
#include "HostilePage.h"
#include "WebFixture.h"

#include "web/U_Internet.h"

#include <algorithm>

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTreeWidget>

namespace {

class HostilePageTest : public WebTest {
protected:
    HostilePageTest() { platform::setBrowserFactory({}); }
};

} // namespace

TEST_F(HostilePageTest, ADownloadedPageSendsNothingOfTheCatalogToItsServer)
{
    testsupport::TempDir site;
    testsupport::HttpServer server(site.path());
    startOn(QStringLiteral("Hostile\r\n"));
    hostile::lay(cat, server, site.path());
    write(cat + "Hostile.htm", hostile::page(server, false));
    write(cat + "Hostile2.htm", hostile::page(server, true));
    auto count = [&](const QString& request) { return server.requests().filter(request).size(); };

    // The page pane: the node's page loads its own picture from its server.
    FormSlova->show();
    FormSlova->Tree1->setCurrentItem(FormSlova->Tree1->topLevelItem(0));
    FormSlova->Tree1Click();
    platform::BrowserControl* pane = FormSlova->WB1;
    ASSERT_TRUE(pane->waitLoaded(60000));
    MV_WAIT_FOR(count("GET /png?own") == 1, 30000);
    // The program still reads the shown page.
    EXPECT_EQ(pane->title(), QStringLiteral("Hostile"));
    EXPECT_EQ(pane->elements("A").value(0).text, QStringLiteral("Away"));
    // Its link away opens the remote page, which learns nothing of where it came from.
    pane->runScript(QStringLiteral("document.getElementById('away').click(); true"));
    MV_WAIT_FOR(count("GET /report?") == 1, 30000);
    EXPECT_EQ(server.requests().filter("GET /landing.htm").join(' ').toStdString(), "GET /landing.htm");
    EXPECT_EQ(server.requests().filter("GET /report?").join(' ').toStdString(), "GET /report?ref=&name=");

    // Shown again after the remote page, it is still without scripts.
    FormSlova->NavigateCurrentFile();
    ASSERT_TRUE(pane->waitLoaded(60000));
    MV_WAIT_FOR(count("GET /png?own") == 2, 30000);

    // The link list window on the page that declares its encoding, then on the XML files.
    FormI->show();
    FormI->EditURL->setText(cat + "Hostile2.htm");
    FormI->ButtonLoadLinksClick();
    ASSERT_TRUE(FormI->WB1->waitLoaded(60000));
    MV_WAIT_FOR(count("GET /png?own") == 3, 30000);
    QCoreApplication::processEvents();
    ASSERT_EQ(FormI->LB_url->count(), 1);
    EXPECT_EQ(FormI->LB_url->item(0)->text().toStdString(), server.url("/landing.htm").toStdString());
    for (const char* xml : {"x.xml", "y.xml", "l.xml"}) {
        FormI->EditURL->setText(cat + xml);
        FormI->ButtonLoadLinksClick();
        FormI->WB1->waitLoaded(60000);
    }
    // The link l.xml made of its path is no link to download.
    QCoreApplication::processEvents();
    EXPECT_EQ(FormI->LB_url->count(), 0);
    EXPECT_EQ(FormI->WB1->links(60000).filter("/leak/").size(), 1);
    // z.xml, transformed, asks for its refresh: the navigation it asked for ends unmade, and a
    // load of the address handed on to the web would start at once.
    QSignalSpy ended(FormI->WB1, &platform::BrowserControl::loadFinished);
    FormI->EditURL->setText(cat + "z.xml");
    FormI->ButtonLoadLinksClick();
    MV_WAIT_FOR(std::any_of(ended.begin(), ended.end(), [](const QList<QVariant>& e) { return !e.at(1).toBool(); }), 60000);
    QCoreApplication::processEvents();
    FormI->WB1->waitLoaded(60000);
    // A downloaded page that moves on to the web at once, while the link list reads it: the web
    // page shows, learning nothing, and the program lives on.
    write(cat + "Moved.htm", "<html><head><meta http-equiv=\"refresh\" content=\"0;url=" +
                                 server.url("/landing.htm").toUtf8() + "\"></head><body></body></html>");
    FormI->EditURL->setText(cat + "Moved.htm");
    FormI->ButtonLoadLinksClick();
    MV_WAIT_FOR(count("GET /report?") == 2, 30000);
    EXPECT_TRUE(FormI->WB1->waitLoaded(60000));
    EXPECT_EQ(server.requests().filter("GET /report?").join(' ').toStdString(), "GET /report?ref=&name= GET /report?ref=&name=");

    EXPECT_EQ(hostile::leaks(server, cat).join(' ').toStdString(), "");
    EXPECT_EQ(server.requests().filter("/leak/").join('\n').toStdString(), "");
}
