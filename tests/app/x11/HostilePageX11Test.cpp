// A downloaded page that wants to send the catalog to its server, opened in the page pane by a
// real click on its node and left by a real click on its link, on a real X desktop.
#include "../NodeFixture.h"
#include "../../web/HostilePage.h"
#include "X11Input.h"

#include "platform/web/BrowserControl.h"

#include <QTreeWidget>

namespace {

QString n(int v) { return QString::number(v); }

class HostilePageX11Test : public NodeTest {
protected:
    HostilePageX11Test() { platform::setBrowserFactory({}); }
};

} // namespace

TEST_F(HostilePageX11Test, TheShownPageSendsNothingOfTheCatalog)
{
    if (!testsupport::haveTool(QStringLiteral("xdotool")))
        GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
    testsupport::TempDir site;
    testsupport::HttpServer server(site.path());
    open("Hostile\r\n");
    hostile::lay(cat, server, site.path());
    write(cat + "Hostile.htm", hostile::page(server, false));
    auto count = [&](const QString& request) { return server.requests().filter(request).size(); };
    FormSlova->resize(900, 700);
    FormSlova->raise();
    FormSlova->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormSlova, 10000));

    const QPoint at = tree()->viewport()->mapToGlobal(tree()->visualItemRect(node(0)).center());
    ASSERT_TRUE(xdotoolWhileRunning({"mousemove", n(at.x()), n(at.y()), "sleep", "0.2", "click", "1"}));
    platform::BrowserControl* pane = FormSlova->WB1;
    ASSERT_TRUE(waitFor([&] { return pane->url().toLocalFile() == cat + "Hostile.htm"; }, 20000));
    ASSERT_TRUE(pane->waitLoaded(20000));
    ASSERT_TRUE(waitFor([&] { return count("GET /png?own") == 1; }, 20000));

    // The user follows the page's link; the remote page learns nothing of where it came from.
    const QVariantList r = pane->runScript("(function () { var r = document.getElementById('away')"
                                           ".getBoundingClientRect(); return [r.left + 3, r.top + r.height / 2]; })()")
                               .toList();
    ASSERT_EQ(r.size(), 2);
    const QPoint link = pane->mapToGlobal(QPoint(int(r[0].toDouble()), int(r[1].toDouble())));
    ASSERT_TRUE(xdotoolWhileRunning({"mousemove", n(link.x()), n(link.y()), "sleep", "0.2", "click", "1"}));
    ASSERT_TRUE(waitFor([&] { return count("GET /report?") == 1; }, 20000))
        << server.requests().join(' ').toStdString();
    EXPECT_EQ(server.requests().filter("GET /report?").join(' ').toStdString(), "GET /report?ref=&name=");

    EXPECT_EQ(hostile::leaks(server, cat).join(' ').toStdString(), "");
    EXPECT_EQ(server.requests().filter("/leak/").join('\n').toStdString(), "");
}
