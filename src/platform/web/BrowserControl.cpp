// The browser control's interface, its factory and the recording fake.
#include "BrowserControl.h"

#include "WebEngineBrowser.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace platform {

namespace {
BrowserFactory& factory()
{
    static BrowserFactory f;
    return f;
}
} // namespace

BrowserControl* createBrowser(QWidget* parent)
{
    if (factory())
        return factory()(parent);
    return new WebEngineBrowser(parent);
}

BrowserFactory setBrowserFactory(BrowserFactory f)
{
    BrowserFactory old = std::move(factory());
    factory() = std::move(f);
    return old;
}

void FakeBrowser::navigate(const QUrl& url)
{
    navigations.append(url);
    url_ = url;
    if (holdLoads)
        return;
    ++pending_;
    QTimer::singleShot(0, this, [this, url] {
        --pending_;
        emit loadFinished(url, true);
    });
}

QStringList BrowserControl::links(int timeoutMs)
{
    return runScript(QStringLiteral("Array.from(document.links, function (a) { return a.href; })"), timeoutMs).toStringList();
}

QVariant FakeBrowser::runScript(const QString& script, int)
{
    scripts.append(script);
    return scriptResult;
}

bool FakeBrowser::waitLoaded(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (pending_ > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pending_ == 0;
}

} // namespace platform
