#include "SiteCrawl.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <memory>

namespace sitecrawl {

namespace {

const char* kCollect = R"JS(
JSON.stringify({
  title: document.title,
  h2: (document.querySelector('h2') || {innerText: ''}).innerText,
  paragraphs: Array.from(document.querySelectorAll('p')).map(p => p.innerText),
  links: Array.from(document.querySelectorAll('a[href]')).map(a => a.href)
}))JS";

// One off-the-record engine page for the whole run.
QWebEnginePage& enginePage()
{
    static QWebEngineProfile* profile = new QWebEngineProfile();
    static QWebEnginePage* page = new QWebEnginePage(profile);
    return *page;
}

} // namespace

bool LoadPage(const QString& file, Page& result, int timeoutMs)
{
    QWebEnginePage& page = enginePage();
    result.file = file;
    QEventLoop loop;
    bool ok = false, finished = false;
    auto c = QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, [&](bool success) {
        ok = success;
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    page.load(QUrl::fromLocalFile(file));
    if (!finished)
        loop.exec();
    QObject::disconnect(c);
    result.loaded = ok && QFileInfo(file).isFile();
    if (!result.loaded)
        return false;
    QString json;
    bool got = false;
    QEventLoop wait;
    page.runJavaScript(QString::fromLatin1(kCollect), [&](const QVariant& v) {
        json = v.toString();
        got = true;
        wait.quit();
    });
    QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
    if (!got)
        wait.exec();
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    result.title = o.value(QStringLiteral("title")).toString();
    result.h2 = o.value(QStringLiteral("h2")).toString();
    for (const auto& p : o.value(QStringLiteral("paragraphs")).toArray())
        result.paragraphs.append(p.toString());
    for (const auto& l : o.value(QStringLiteral("links")).toArray())
        result.links.append(l.toString());
    return got;
}

Result Crawl(const QString& indexFile, int timeoutMs)
{
    Result r;
    const QString root = QFileInfo(indexFile).absoluteDir().absolutePath() + QLatin1Char('/');
    QStringList queue{QFileInfo(indexFile).absoluteFilePath()};
    QSet<QString> seen{queue.first()};
    while (!queue.isEmpty()) {
        const QString file = queue.takeFirst();
        Page p;
        LoadPage(file, p, timeoutMs);
        for (const QString& link : std::as_const(p.links)) {
            QUrl u(link);
            if (!u.isLocalFile())
                continue;
            const QString target = QDir::cleanPath(u.toLocalFile());
            if (!target.startsWith(root))
                continue;
            if (!QFileInfo(target).isFile()) {
                r.broken.append(file + QStringLiteral(" -> ") + link);
                continue;
            }
            if (!seen.contains(target)) {
                seen.insert(target);
                queue.append(target);
            }
        }
        if (!p.loaded)
            r.broken.append(file + QStringLiteral(" (did not load)"));
        r.pages.append(p);
    }
    return r;
}

} // namespace sitecrawl
