#include "WebFixture.h"

#include "support/HttpServer.h"
#include "web/PageFetch.h"
#include "web/U_manager.h"
#include "web/UnitHtmlKategory.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTreeWidget>
#include <QStringEncoder>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTimer>

namespace {

class DownloadTest : public WebTest {
protected:
    DownloadTest() : server(site.path())
    {
        PageFetch::inactivityTimeoutMs() = 1500;
        PageFetch::sizeLimit() = 4 << 20;
        write(site.file("page.htm"), "<html><head><title>T</title></head>\n<A HREF=\"img/a.htm\">A</A>\n</html>\n");
        write(site.file("xa_index.htm"), "<html>XA body</html>\n");
        write(site.file("ya_index.htm"), "<html>YA body</html>\n");
    }
    ~DownloadTest() override
    {
        PageFetch::inactivityTimeoutMs() = 60000;
        PageFetch::sizeLimit() = qint64(256) * 1024 * 1024;
    }
    QByteArray task(const QString& url, bool words = false)
    {
        QByteArray t = "<!-- DownloadPage=\"True\"-->\r\n";
        if (words)
            t += "<!-- SearchWords=\"w\"-->\r\n";
        return t + "<!-- DownloadURL=\"" + url.toUtf8() + "\" -->\r\n";
    }
    // Runs until nothing is queued or fetched any more.
    void runToEnd(int timeoutMs = 120000)
    {
        FormM->Preparelist1Click();
        FormM->StartDownload1Click();
        waitIdle(timeoutMs);
    }
    void waitIdle(int timeoutMs = 120000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs &&
               (FormM->LB_files->count() > 0 || FormM->busy()))
            QTest::qWait(20);
    }
    QStringList tempFiles() { return QDir(cat + "temp").entryList(QDir::Files | QDir::Hidden); }
    // A merged file's page: its lines after the date line.
    static QByteArray body(const QByteArray& merged)
    {
        return merged.mid(merged.indexOf(" -->\r\n<!-- Dat") + 6).split('\n').mid(1).join('\n');
    }

    testsupport::TempDir site;
    testsupport::HttpServer server;
};

} // namespace

TEST_F(DownloadTest, ThreeSlotsMergeEveryTaskFile)
{
    startOn("a\r\n");
    for (int i = 0; i < 6; ++i)
        write(cat + QStringLiteral("task%1.htm").arg(i), task(server.url(QStringLiteral("/dir/sub/../../page.htm?drip=150&chunk=20&n=%1").arg(i)), true));
    FormM->Preparelist1Click();
    ASSERT_EQ(FormM->LB_files->count(), 6);
    EXPECT_EQ(FormM->LB_files->item(0)->text(), cat + "task0.htm");
    FormM->StartDownload1Click();
    EXPECT_TRUE(FormM->PanelControl->isEnabled());
    EXPECT_TRUE(FormM->Timer1->isActive());
    waitIdle();
    EXPECT_EQ(server.maxOpen(), 3);
    int dataTime = 0, dateTime = 0;
    for (int i = 0; i < 6; ++i) {
        const QByteArray got = read(cat + QStringLiteral("task%1.htm").arg(i));
        const QList<QByteArray> lines = got.split('\n');
        ASSERT_GE(lines.size(), 5) << got.constData();
        EXPECT_EQ(lines[0], "<!-- SearchWords=\"w\"-->\r");
        EXPECT_TRUE(lines[1].startsWith("<!-- DownloadURL=\"http://127.0.0.1"));
        dataTime += lines[2].startsWith("<!-- DataTime=\"");
        dateTime += lines[2].startsWith("<!-- Date/Time= ");
        EXPECT_TRUE(got.contains(QStringLiteral("<A HREF=\"http://127.0.0.1:%1/img/a.htm\">A</A>\r\n").arg(server.port()).toUtf8()))
            << got.constData();
    }
    EXPECT_GE(dataTime, 1);
    EXPECT_GE(dateTime, 2);
    for (QProgressBar* b : FormM->ProgressBar)
        EXPECT_EQ(b->value(), b->maximum());
    EXPECT_TRUE(tempFiles().isEmpty());
    FormM->Preparelist1Click();
    EXPECT_EQ(FormM->LB_files->count(), 0);

    // The end of the run: the next tick has the main window add the pages and closes, and
    // shows no message for a file that cannot become a node.
    write(cat + " lead.htm", "<html></html>\r\n");
    dialogs->clear();
    FormM->show();
    FormM->Timer1Timer();
    EXPECT_FALSE(FormM->Timer1->isActive());
    EXPECT_FALSE(FormM->isVisible());
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    EXPECT_NE(FormSlova->Tree1->findItems("task5", Qt::MatchExactly | Qt::MatchRecursive).size(), 0);
}

TEST_F(DownloadTest, FailuresLeaveTheTaskFileAsItWas)
{
    startOn("a\r\n");
    const QStringList bad{server.url("/status/404"), server.url("/status/500"), QStringLiteral("http://127.0.0.1:1/x.htm"),
                          server.url("/loop"), server.url("/stall"), server.url("/cut"), server.url("/png"),
                          server.url("/big?mb=5"), server.url("/empty"), QStringLiteral("ftp://127.0.0.1/x.htm"),
                          QStringLiteral("javascript:alert(1)")};
    QMap<QString, QByteArray> before;
    for (int i = 0; i < bad.size(); ++i) {
        const QString f = cat + QStringLiteral("bad%1.htm").arg(i, 2, 10, QLatin1Char('0'));
        write(f, task(bad[i]));
        before[f] = read(f);
    }
    runToEnd(30000);
    for (auto it = before.begin(); it != before.end(); ++it)
        EXPECT_EQ(read(it.key()), it.value()) << it.key().toStdString();
    EXPECT_TRUE(tempFiles().isEmpty());
    FormM->Preparelist1Click();
    EXPECT_EQ(FormM->LB_files->count(), bad.size());
    EXPECT_FALSE(FormM->SlotState[0]->text().isEmpty());
}

TEST_F(DownloadTest, RedirectsNamesAndSlotsOfTheirOwn)
{
    startOn("a\r\n");
    write(site.file("new/deep/page.htm"), "<a href=\"rel.htm\">R</a>\n");
    write(cat + "moved.htm", task(server.url("/redirect/301?to=/new/deep/page.htm")));
    write(cat + "xa_index.htm", task(server.url("/xa_index.htm?drip=100&chunk=5")));
    write(cat + "ya_index.htm", task(server.url("/ya_index.htm?drip=100&chunk=5")));
    write(cat + "evil.htm", task(server.url("/page.htm?disposition=../../evil.htm")));
    write(cat + "evil2.htm", task(server.url("/..%2F..%2Fevil.htm")));
    const auto parentBefore = snapshot(QFileInfo(cat).absolutePath() + "/..");
    runToEnd();
    const QByteArray moved = read(cat + "moved.htm");
    EXPECT_TRUE(moved.contains(QStringLiteral("<a href=\"http://127.0.0.1:%1/new/deep/rel.htm\">R</a>").arg(server.port()).toUtf8()))
        << moved.constData();
    EXPECT_TRUE(moved.startsWith("<!-- DownloadURL=\"" + server.url("/redirect/301?to=/new/deep/page.htm").toUtf8()));
    EXPECT_TRUE(read(cat + "xa_index.htm").contains("XA body"));
    EXPECT_TRUE(read(cat + "ya_index.htm").contains("YA body"));
    EXPECT_FALSE(QFileInfo::exists(cat + "../evil.htm"));
    EXPECT_FALSE(QFileInfo::exists(cat + "../../evil.htm"));
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST_F(DownloadTest, StopAndGoOn)
{
    startOn("a\r\n");
    for (int i = 0; i < 4; ++i)
        write(cat + QStringLiteral("slow%1.htm").arg(i), task(server.url(QStringLiteral("/page.htm?drip=300&chunk=5&n=%1").arg(i))));
    QMap<int, QByteArray> original;
    for (int i = 0; i < 4; ++i)
        original[i] = read(cat + QStringLiteral("slow%1.htm").arg(i));
    FormM->Preparelist1Click();
    FormM->StartDownload1Click();
    QTest::qWait(300);
    FormM->Stopdownload1Click();
    QTest::qWait(100);
    EXPECT_FALSE(FormM->Timer1->isActive());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(read(cat + QStringLiteral("slow%1.htm").arg(i)), original[i]);
    EXPECT_TRUE(tempFiles().isEmpty());
    EXPECT_EQ(FormM->LB_files->count(), 1);
    FormM->StartDownload1Click();
    waitIdle();
    FormM->Preparelist1Click();
    FormM->StartDownload1Click();
    waitIdle();
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(read(cat + QStringLiteral("slow%1.htm").arg(i)).contains("DownloadPage")) << i;
}

TEST_F(DownloadTest, QueueCommands)
{
    startOn("a\r\n");
    for (int i = 0; i < 5; ++i)
        write(cat + QStringLiteral("q%1.htm").arg(i), task(server.url(QStringLiteral("/page.htm?n=%1").arg(i))));
    FormM->Preparelist1Click();
    FormM->LB_files->setCurrentRow(2);
    FormM->Deletefromdownload1Click();
    ASSERT_EQ(FormM->LB_files->count(), 4);
    EXPECT_EQ(FormM->LB_files->item(2)->text(), cat + "q3.htm");
    EXPECT_TRUE(FormM->LB_URLs->item(2)->text().endsWith("n=3"));

    dialogs->pushAnswer(platform::MsgResult::Cancel);
    FormM->LB_files->setCurrentRow(1);
    FormM->Deletetaskfile1Click();
    EXPECT_TRUE(QFileInfo::exists(cat + "q1.htm"));
    dialogs->pushAnswer(platform::MsgResult::Ok);
    FormM->Deletetaskfile1Click();
    EXPECT_FALSE(QFileInfo::exists(cat + "q1.htm"));
    EXPECT_EQ(FormM->LB_files->count(), 4); // prepared again: q2 is back
    EXPECT_EQ(FormM->LB_files->currentRow(), 0);

    FormM->LB_files->setCurrentRow(1);
    FormM->Showkategoryform1Click();
    EXPECT_EQ(FormSlova->CurrentNodeText, "q2");
    EXPECT_EQ(FormSlova->CurrentFile, cat + "q2.htm");
    EXPECT_TRUE(FormHTMLKategory->isVisible());
    EXPECT_EQ(FormHTMLKategory->LoadedFile(), cat + "q2.htm");
}

TEST_F(DownloadTest, DuringARun)
{
    startOn("a\r\n");
    write(cat + "gone.htm", task(server.url("/page.htm?drip=100&chunk=10&n=1")));
    write(cat + "busy.htm", task(server.url("/page.htm?drip=100&chunk=10&n=2")));
    FormM->Preparelist1Click();
    FormM->Use[2]->setChecked(false);
    FormM->StartDownload1Click();
    ASSERT_TRUE(FormM->fetching(1));
    ASSERT_TRUE(FormM->fetching(2));
    // The queue is empty but two pages are still coming: a tick does not end the run.
    FormM->show();
    FormM->Timer1Timer();
    EXPECT_TRUE(FormM->Timer1->isActive());
    EXPECT_TRUE(FormM->isVisible());
    // A file being fetched is not queued again; a task file deleted meanwhile is not made again.
    FormM->Preparelist1Click();
    EXPECT_EQ(FormM->LB_files->count(), 0);
    QFile::remove(cat + "gone.htm");
    waitIdle();
    EXPECT_FALSE(QFileInfo::exists(cat + "gone.htm"));
    EXPECT_FALSE(read(cat + "busy.htm").contains("DownloadPage"));
    EXPECT_TRUE(tempFiles().isEmpty());

    // "Show n" shows the slot's last merged page in its own view.
    const QString merged = FormM->slot(1).lastMerged.isEmpty() ? FormM->slot(2).lastMerged : FormM->slot(1).lastMerged;
    const int n = FormM->slot(1).lastMerged.isEmpty() ? 2 : 1;
    FormM->ShowSlot(n);
    ASSERT_TRUE(FormM->WB[n - 1]);
    EXPECT_TRUE(FormM->windowTitle().startsWith(QStringLiteral("#%1 http://127.0.0.1").arg(n)));
    auto* view = qobject_cast<platform::FakeBrowser*>(FormM->WB[n - 1]);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->navigations.last(), QUrl::fromLocalFile(merged));

    // The timer waits while a modal dialog is open or no catalog is loaded.
    FormM->show();
    FormSlova->NoCatalog = true;
    FormM->Timer1Timer();
    EXPECT_TRUE(FormM->Timer1->isActive());
    FormSlova->NoCatalog = false;
    FormM->Timer1Timer();
    EXPECT_FALSE(FormM->Timer1->isActive());
    EXPECT_FALSE(FormM->isVisible());

    // "Start Download" with an empty queue ends at the next tick; "One step" leaves the boxes unticked.
    FormM->Onestep1Click();
    EXPECT_TRUE(FormM->Timer1->isActive());
    for (QCheckBox* u : FormM->Use)
        EXPECT_FALSE(u->isChecked());
    FormM->Timer1Timer();
    EXPECT_FALSE(FormM->Timer1->isActive());
}

TEST_F(DownloadTest, TheQueueShowsReadableNamesAndEndedSlotsStandStill)
{
    startOn("a\r\n");
    // Names as task files get them; one failure is refused at once (no size ever announced),
    // the other names its long address beside the bar.
    const QStringList names{QStringLiteral("p___127_0_0_1_refused_12345678.htm"), QStringLiteral("Длинное имя страницы_87654321.htm")};
    write(cat + names[0], task(QStringLiteral("http://127.0.0.1:1/refused.htm")));
    write(cat + names[1], task(server.url("/status/404?q=" + QString(200, u'w'))));
    FormM->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormM));
    auto* delegate = qobject_cast<QStyledItemDelegate*>(FormM->LB_files->itemDelegate());
    ASSERT_TRUE(delegate);
    // Every name shows whole, without the catalog's path, before and after a run whose
    // failures stand beside the bars.
    auto queueReadable = [&] {
        FormM->Preparelist1Click();
        QStringList shown;
        for (int i = 0; i < FormM->LB_files->count(); ++i)
            shown << delegate->displayText(FormM->LB_files->item(i)->data(Qt::DisplayRole), QLocale());
        EXPECT_EQ(shown.join(u'|').toStdString(), names.join(u'|').toStdString());
        QCoreApplication::processEvents();
        EXPECT_LE(FormM->LB_files->sizeHintForColumn(0), FormM->LB_files->viewport()->width());
    };
    queueReadable();
    FormM->Use[2]->setChecked(false);
    FormM->StartDownload1Click();
    waitIdle();
    // Both failed and both bars have stopped, empty: not busy (maximum 0), not full.
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(FormM->SlotState[i]->text().isEmpty());
        EXPECT_GT(FormM->ProgressBar[i]->maximum(), 0) << i;
        EXPECT_EQ(FormM->ProgressBar[i]->value(), FormM->ProgressBar[i]->minimum()) << i;
    }
    EXPECT_TRUE(FormM->SlotState[1]->text().contains(u"wwww")) << FormM->SlotState[1]->text().toStdString();
    queueReadable();
}

TEST_F(DownloadTest, TheMergedPageIsTheServedPageWithAbsoluteLinks)
{
    // The same page as UTF-8 that names no charset anywhere, and in Windows-1251 with its meta
    // line: each merged file holds every letter as served; only the link differs.
    const QString text = QStringLiteral("<p>Заголовок Страницы</p>\n<a href=\"Sub/Page.HTM\">Ссылка на Страницу</a> ДАЛЕЕ\n</html>\n");
    const QByteArray utf8 = "<html><head><title>T</title></head>\n" + text.toUtf8();
    const QByteArray win = "<html><head><meta charset=windows-1251><title>T</title></head>\n" + cp(text);
    write(site.file("utf.htm"), utf8);
    write(site.file("win.htm"), win);
    startOn("a\r\n");
    write(cat + "utf.htm", task(server.url("/utf.htm")));
    write(cat + "win.htm", task(server.url("/win.htm")));
    runToEnd();
    const QByteArray absolute = server.url("/Sub/Page.HTM").toUtf8();
    EXPECT_EQ(body(read(cat + "utf.htm")), "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n" +
                                               QByteArray(utf8).replace("\n", "\r\n").replace("Sub/Page.HTM", absolute));
    EXPECT_EQ(body(read(cat + "win.htm")),
              QByteArray(win).replace("\n", "\r\n").replace("Sub/Page.HTM", absolute));
}

TEST_F(DownloadTest, ThePageDeclaresTheCharsetTheServerNamed)
{
    // Browsers read a page in the charset of the server's Content-Type, not in its meta's: the
    // saved page keeps the bytes as served and declares what they are, so it shows as served.
    const QString title = QStringLiteral("Кириллица");
    const QByteArray http = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
                            "<title>" + title.toUtf8() + "</title></head><body><a href=\"x.htm\">x</a></body></html>\n";
    const QByteArray short_ = "<!DOCTYPE html><meta charset=\"windows-1251\"><title>" + QStringEncoder("KOI8-R").encode(title) +
                              "</title>\n";
    write(site.file("u.htm"), http);
    write(site.file("k.htm"), short_);
    startOn("a\r\n");
    write(cat + "u.htm", task(server.url("/u.htm?ct=text/html;%20charset=UTF-8")));
    write(cat + "k.htm", task(server.url("/k.htm?ct=text/html;charset=koi8-r")));
    runToEnd();
    EXPECT_EQ(body(read(cat + "u.htm")), QByteArray(http)
                                            .replace("charset=windows-1251", "charset=utf-8")
                                            .replace("x.htm", server.url("/x.htm").toUtf8())
                                            .replace("\n", "\r\n"));
    EXPECT_EQ(body(read(cat + "k.htm")), QByteArray(short_).replace("windows-1251", "koi8-r").replace("\n", "\r\n"));

    platform::setBrowserFactory({});
    for (const char* name : {"u.htm", "k.htm"}) {
        std::unique_ptr<platform::BrowserControl> b(platform::createBrowser(nullptr));
        b->navigateFile(cat + QLatin1String(name));
        ASSERT_TRUE(b->waitLoaded(60000));
        EXPECT_EQ(b->title(), title) << name;
    }
}

TEST_F(DownloadTest, PicturesOfAMergedPageComeFromItsServer)
{
    // A 1 by 1 GIF beside the page's folders; the page stands two folders down.
    write(site.file("d1/img/a.gif"), QByteArray("GIF89a\1\0\1\0\x80\0\0\xff\xff\xff\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;", 35));
    write(site.file("d1/d2/page.htm"), "<html><body><img src=\"../img/a.gif\" id=\"p\"></body></html>\n");
    startOn("a\r\n");
    write(cat + "pic.htm", task(server.url("/d1/d2/page.htm")));
    runToEnd();
    const QByteArray merged = read(cat + "pic.htm");
    EXPECT_TRUE(merged.contains("<img src=\"" + server.url("/d1/img/a.gif").toUtf8() + "\" id=\"p\">")) << merged.constData();
    EXPECT_FALSE(server.requests().contains("GET /d1/img/a.gif")); // the merge fetches no picture

    platform::setBrowserFactory({});
    std::unique_ptr<platform::BrowserControl> b(platform::createBrowser(nullptr));
    b->navigateFile(cat + "pic.htm");
    ASSERT_TRUE(b->waitLoaded(60000));
    EXPECT_EQ(b->runScript("document.getElementById('p').naturalWidth", 30000).toInt(), 1);
    EXPECT_TRUE(server.requests().contains("GET /d1/img/a.gif"));
}

TEST_F(DownloadTest, FaultyServersFailTheirTasksWithTheCause)
{
    // A page of about 2 KB: its gzip form is some hundred bytes, more than the 139 sent.
    QByteArray page = "<html><head><title>Long</title></head><body>\n";
    for (int i = 0; i < 40; ++i)
        page += "<p>Line " + QByteArray::number(i * 7919 % 1000) + " of the page</p>\n";
    page += "</body></html>\n";
    write(site.file("long.htm"), page);
    write(site.file("pic.png"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + QByteArray(200, '\1'));
    write(site.file("plain"), "<!DOCTYPE html>\n<html><body>A page by its content</body></html>\n");
    PageFetch::sizeLimit() = 1 << 20;
    startOn("a\r\n");
    // Address, then what the failure must say (empty: the task is merged).
    const QList<std::pair<QString, QString>> cases{
        {"/long.htm?gzip=1&cut=139", "The page was cut short: 139 of "},
        {"/long.htm?gzip=1&cut=139&length=none", "Decompression failed: the gzip data ends early"},
        {"/long.htm?deflate=1&cut=139&length=none", "Decompression failed: the deflate data ends early"},
        {"/long.htm?gzip=1&damage=40", "Decompression failed: the gzip data is damaged"},
        {"/long.htm?gzip=1&damage=-6", "Decompression failed: the gzip check sum (CRC-32) does not match"},
        {"/long.htm?deflate=1&damage=-2", "Decompression failed: the deflate check sum (Adler-32) does not match"},
        {"/long.htm?length=30000000000", "The page is larger than 1048576 bytes: the server announced 30000000000"},
        {"/big?mb=2&length=none", "The page is larger than 1048576 bytes"},
        {"/pic.png?ct=", "Not a page: neither its name nor its content is HTML (no type given)"},
        {"/pic.png?ct=application/octet-stream", "Not a page: neither its name nor its content is HTML"},
        {"/long.htm?gzip=1", ""},
        {"/long.htm?deflate=1&length=none", ""},
        {"/plain?ct=", ""},
    };
    QMap<QString, QByteArray> before;
    for (int i = 0; i < cases.size(); ++i) {
        const QString f = cat + QStringLiteral("f%1.htm").arg(i, 2, 10, QLatin1Char('0'));
        write(f, task(server.url(cases[i].first)));
        before[f] = read(f);
    }
    QMap<QString, QString> said;
    QObject::connect(FormM, &TFormM::itemDone, FormM, [&](const QString& f, const QString&, bool ok, const QString& d) {
        said[f] = ok ? QString() : d;
    });
    runToEnd(60000);
    for (int i = 0; i < cases.size(); ++i) {
        const QString f = cat + QStringLiteral("f%1.htm").arg(i, 2, 10, QLatin1Char('0'));
        const std::string what = cases[i].first.toStdString() + " said " + said.value(f, "nothing").toStdString();
        ASSERT_TRUE(said.contains(f)) << what;
        if (cases[i].second.isEmpty()) {
            EXPECT_TRUE(said[f].isEmpty()) << what;
            EXPECT_TRUE(read(f).contains("A page by its content") || read(f).contains("<p>Line 841 of the page</p>\r\n</body></html>"))
                << what;
        } else {
            EXPECT_TRUE(said[f].startsWith(cases[i].second)) << what;
            EXPECT_EQ(read(f), before[f]) << what; // kept, with its mark, for a retry
        }
    }
    // The announced size was refused before the body was read: not even its first bytes came.
    EXPECT_TRUE(tempFiles().isEmpty());
    FormM->Preparelist1Click();
    EXPECT_EQ(FormM->LB_files->count(), cases.size() - 3);
}
