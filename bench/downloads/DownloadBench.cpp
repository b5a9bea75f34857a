// download-run CATALOG [--words]: a download run over a catalog with the program's real windows
// (offscreen): with --words the search words make their task files first; then "Prepare list",
// "Start Download" and the timer's ticks until the run ends. One line per item: file, address,
// merged bytes or the reason it failed; the exit code is 1 when any failed.
// Without arguments: the benchmarks (targets on the reference machine):
//  - 1,000 task files against the local server (30 KB Windows-1251 pages, 40 links each): the
//    whole run against wget -q -i LIST -P DIR, without delay (no slower than wget) and with
//    50 ms per answer (at least 2.5 times faster); merge under 2 ms per page;
//  - a 200 MB page: fetch and merge under 5 s, peak memory under 4 times the page;
//  - Check_html_files, 1,000 keyword lines over 10,000 pages of 20 KB whose <html> line has
//    attributes: under 3 s, against reading the same files once;
//  - link collection of 50,000 links against 5,000 stop entries: under 1 s.
#include "app/OnStart.h"
#include "app/UnitSlova.h"
#include "platform/text/CodePage.h"
#include "support/HttpServer.h"
#include "web/LinkList.h"
#include "web/PageFetch.h"
#include "web/PageMerge.h"
#include "web/U_manager.h"
#include "web/Unit_kyes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
}

long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:"))
            return l.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// Runs the download manager to the end; returns the number of failed items.
int runDownloads(bool print, qint64* mergedBytes = nullptr, bool printFailures = true)
{
    int failed = 0;
    QObject::connect(FormM, &TFormM::itemDone, FormM, [&](const QString& file, const QString& address, bool ok, const QString& detail) {
        if (print)
            std::printf("%s\t%s\t%s\n", qPrintable(file), qPrintable(address), qPrintable(ok ? detail + " bytes" : detail));
        if (!ok) {
            ++failed;
            if (!print && printFailures)
                std::fprintf(stderr, "failed: %s: %s\n", qPrintable(address), qPrintable(detail));
        }
        else if (mergedBytes)
            *mergedBytes += detail.toLongLong();
    });
    FormM->Preparelist1Click();
    FormM->StartDownload1Click();
    while (FormM->Timer1->isActive()) {
        QTest::qWait(20);
        if (FormM->LB_files->count() == 0 && !FormM->busy())
            FormM->Timer1Timer();
    }
    QObject::disconnect(FormM, &TFormM::itemDone, nullptr, nullptr);
    return failed;
}

struct Program {
    QTemporaryDir prog, cfg;
    Program(const QString& catalog)
    {
        qputenv("MORVANEL_PROGRAM_DIR", prog.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", cfg.path().toUtf8());
        writeFile(cfg.path() + "/Zov.ini", "[Morvanel]\nShowDirForm=1\nShowWordsForm=1\n");
        // Not a first run: the catalog given is the one loaded.
        writeFile(prog.path() + "/dir", catalog.toUtf8() + "\r\n");
        writeFile(prog.path() + "/menue_clear", "Menue\r\n");
        CreateWindows({QStringLiteral("morvanel"), catalog});
        if (FormSlova->ProjectPath != catalog)
            std::fprintf(stderr, "the catalog loaded is %s, not %s\n", qPrintable(FormSlova->ProjectPath), qPrintable(catalog));
    }
    ~Program() { DestroyWindows(); }
};

int downloadRun(const QString& catalog, bool words)
{
    Program p(catalog);
    if (words)
        Form_keys->Check_html_files();
    return runDownloads(true) > 0 ? 1 : 0;
}

QByteArray page30k(int i)
{
    QByteArray p = "<html><head><title>Page " + QByteArray::number(i) + "</title></head><body>\r\n";
    for (int l = 0; l < 40; ++l)
        p += "<p><a href=\"sub/link" + QByteArray::number(l) + ".htm\">\xd1\xf1\xfb\xeb\xea\xe0 " + QByteArray::number(l) + "</a></p>\r\n";
    const QByteArray filler = platform::toCp1251(u"Текст страницы для проверки скорости. ");
    while (p.size() < 30 * 1024)
        p += filler + "\r\n";
    return p + "</body></html>\r\n";
}

void benchRun(int delayMs)
{
    QTemporaryDir site, cat, wgetDir;
    QStringList urls;
    testsupport::HttpServer server(site.path());
    for (int i = 0; i < 1000; ++i) {
        writeFile(site.path() + QStringLiteral("/p%1.htm").arg(i), page30k(i));
        const QString u = server.url(QStringLiteral("/p%1.htm%2").arg(i).arg(delayMs ? QStringLiteral("?delay=%1").arg(delayMs) : QString()));
        urls << u;
        writeFile(cat.path() + QStringLiteral("/t%1.htm").arg(i, 4, 10, QLatin1Char('0')),
                  "<!-- DownloadPage=\"True\"-->\r\n<!-- DownloadURL=\"" + u.toUtf8() + "\" -->\r\n");
    }
    writeFile(cat.path() + "/Menue", "a\r\n");
    writeFile(cat.path() + "/CurrentMenue", "Menue\r\n");
    qint64 ms;
    int failed;
    {
        Program p(cat.path() + '/');
        QElapsedTimer t;
        t.start();
        failed = runDownloads(false);
        ms = t.elapsed();
    }
    writeFile(wgetDir.path() + "/list", urls.join('\n').toUtf8() + '\n');
    QElapsedTimer w;
    w.start();
    const int rc = QProcess::execute(QStringLiteral("wget"), {"-q", "-i", wgetDir.path() + "/list", "-P", wgetDir.path() + "/out"});
    const qint64 wms = w.elapsed();
    // Merge alone, per page.
    const QByteArray body = page30k(1);
    QElapsedTimer m;
    m.start();
    for (int i = 0; i < 200; ++i)
        merge::mergedPage("<!-- DownloadPage=\"True\"-->\r\n<!-- DownloadURL=\"http://127.0.0.1/p1.htm\" -->\r\n", body, QString(),
                          merge::dateLine(1, QDateTime::currentDateTime()), QStringLiteral("http://127.0.0.1/p1.htm"));
    std::printf("1000 pages, delay %d ms: run %lld ms (%d failed), wget %lld ms (rc %d), ratio wget/run %.2f; merge %.3f ms/page\n",
                delayMs, ms, failed, wms, rc, double(wms) / double(qMax<qint64>(1, ms)), m.elapsed() / 200.0);
}

void benchBigPage()
{
    QTemporaryDir cat;
    testsupport::HttpServer server;
    writeFile(cat.path() + "/big.htm", "<!-- DownloadPage=\"True\"-->\r\n<!-- DownloadURL=\"" + server.url("/big?mb=200").toUtf8() + "\" -->\r\n");
    writeFile(cat.path() + "/Menue", "a\r\n");
    writeFile(cat.path() + "/CurrentMenue", "Menue\r\n");
    Program p(cat.path() + '/');
    const long before = peakKb();
    QElapsedTimer t;
    t.start();
    qint64 bytes = 0;
    const int failed = runDownloads(false, &bytes);
    // The merge alone, on a page of the same lines.
    QByteArray body;
    for (int i = 0; body.size() < 200 * 1024 * 1024; ++i)
        body += "<p><a href=\"page" + QByteArray::number(i) + ".htm\">\xd1\xf1\xfb\xeb\xea\xe0 " + QByteArray::number(i) + "</a></p>\r\n";
    QElapsedTimer m;
    m.start();
    const QByteArray merged = merge::mergedPage("<!-- DownloadURL=\"http://h/x\" -->\r\n", body, QString(), "<!-- d -->", "http://h/x");
    std::printf("200 MB page: merge alone %lld ms (%lld bytes)\n", m.elapsed(), qint64(merged.size()));
    // A minified page: the same links on one line.
    QByteArray oneLine = body.left(50 * 1024 * 1024);
    oneLine.replace("\r\n", "");
    m.restart();
    const qsizetype oneLineSize = merge::mergedPage("<!-- DownloadURL=\"http://h/x\" -->\r\n", oneLine, QString(), "<!-- d -->", "http://h/x").size();
    std::printf("50 MB page on one line: merge alone %lld ms (%lld bytes)\n", m.elapsed(), qint64(oneLineSize));
    std::printf("200 MB page: fetch and merge %lld ms (%d failed, %lld bytes merged), peak memory %ld MB (was %ld MB)\n",
                t.elapsed(), failed, bytes, peakKb() / 1024, before / 1024);
}

void benchCheckHtmlFiles()
{
    QTemporaryDir cat;
    const QByteArray filler = platform::toCp1251(u"Текст страницы ") + "\r\n";
    QByteArray body = "<html lang=\"ru\">\r\n";
    while (body.size() < 20 * 1024)
        body += filler;
    for (int i = 0; i < 10000; ++i)
        writeFile(cat.path() + QStringLiteral("/page%1.htm").arg(i),
                  "<!-- DownloadURL=\"http://example.com/" + QByteArray::number(i) + "\" -->\r\n" + body);
    QByteArray words;
    for (int i = 0; i < 1000; ++i)
        words += "word" + QByteArray::number(i) + " phrase\r\n";
    writeFile(cat.path() + "/keywords", words);
    writeFile(cat.path() + "/Menue", "a\r\n");
    writeFile(cat.path() + "/CurrentMenue", "Menue\r\n");
    Program p(cat.path() + '/');
    Form_keys->ReRead();
    QElapsedTimer t;
    t.start();
    Form_keys->Check_html_files();
    const qint64 ms = t.elapsed();
    QElapsedTimer peer;
    peer.start();
    qint64 total = 0;
    for (const QString& f : QDir(cat.path()).entryList({"page*.htm"})) {
        QFile in(cat.path() + '/' + f);
        in.open(QIODevice::ReadOnly);
        total += in.readAll().size();
    }
    std::printf("Check_html_files, 1000 lines over 10000 pages: %lld ms; peer reading them once: %lld ms (%lld bytes)\n", ms,
                peer.elapsed(), total);
}

void benchLinks()
{
    QStringList hrefs, stops;
    for (int i = 0; i < 50000; ++i)
        hrefs << QStringLiteral("http://site%1.example/page/%2.htm").arg(i % 7000).arg(i);
    for (int i = 0; i < 5000; ++i)
        stops << QStringLiteral("http://site%1.example/").arg(i * 3);
    QListWidget list;
    QElapsedTimer t;
    t.start();
    const QStringList kept = links::collectLinks(hrefs, stops);
    list.addItems(kept);
    std::printf("link collection, 50000 links, 5000 stop entries: %lld ms (%lld kept)\n", t.elapsed(), qint64(kept.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList a = app.arguments();
    if (a.size() >= 2 && a.size() <= 3 && (a.size() == 2 || a[2] == QLatin1String("--words"))) {
        QString cat = QFileInfo(a[1]).absoluteFilePath();
        if (!cat.endsWith(u'/'))
            cat += u'/';
        return downloadRun(cat, a.size() == 3);
    }
    if (a.size() != 1) {
        std::fprintf(stderr, "usage: download-run CATALOG [--words]\n");
        return 2;
    }
    const QString only = qEnvironmentVariable("MV_BENCH_ONLY");
    if (only.isEmpty() || only == QLatin1String("links"))
        benchLinks();
    if (only.isEmpty() || only == QLatin1String("words"))
        benchCheckHtmlFiles();
    if (only.isEmpty() || only == QLatin1String("run")) {
        benchRun(0);
        benchRun(50);
    }
    if (only.isEmpty() || only == QLatin1String("big"))
        benchBigPage();
    return 0;
}
