#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <functional>

namespace platform {

// The web browser control: shows a page file or an address inside a window. The program has
// this one browser class; the engine behind it is Qt WebEngine (WebEngineBrowser), and window
// tests put a recording fake (FakeBrowser) behind the same interface.
//
// Pages' own scripts run; their dialogs (alert, confirm, prompt, file choosers) are swallowed,
// new windows and downloads are refused, and text without a declared encoding is read as
// Windows-1251.
class BrowserControl : public QWidget {
    Q_OBJECT
public:
    explicit BrowserControl(QWidget* parent = nullptr) : QWidget(parent) {}

    // Shows a local file. The address is made from the path as a file name, so "#", "%", "?",
    // blanks and any letters are parts of the name, never of the address.
    void navigateFile(const QString& path) { navigate(QUrl::fromLocalFile(path)); }
    virtual void navigate(const QUrl& url) = 0;
    virtual void stop() = 0;
    // The address of the page shown or being loaded.
    virtual QUrl url() const = 0;
    virtual QString title() const = 0;
    // Runs a script in the shown page and waits (at most timeoutMs) for its result; an invalid
    // QVariant when there is no page, the script fails or the time is up.
    virtual QVariant runScript(const QString& script, int timeoutMs = 5000) = 0;
    // Waits until no load is running (or the time is up); true when the last load succeeded.
    virtual bool waitLoaded(int timeoutMs = 10000) = 0;
    // The addresses of the shown document's links (its a and area elements with an address) as
    // the engine resolved them, in document order; empty when there is no document.
    QStringList links(int timeoutMs = 10000);

signals:
    // A load ended; ok is false when the page could not be loaded or the load was stopped.
    void loadFinished(const QUrl& url, bool ok);
};

// Makes the browser control of a window. The program makes WebEngineBrowser; tests may install
// another factory (a FakeBrowser) before the windows are created.
using BrowserFactory = std::function<BrowserControl*(QWidget* parent)>;
BrowserControl* createBrowser(QWidget* parent);
BrowserFactory setBrowserFactory(BrowserFactory factory);

// Records every navigation and loads nothing. A navigation ends in loadFinished(url, true)
// from the event loop, as a real load would, unless holdLoads is set.
class FakeBrowser : public BrowserControl {
    Q_OBJECT
public:
    explicit FakeBrowser(QWidget* parent = nullptr) : BrowserControl(parent) {}
    void navigate(const QUrl& url) override;
    void stop() override { ++stops; }
    QUrl url() const override { return url_; }
    QString title() const override { return QString(); }
    QVariant runScript(const QString& script, int timeoutMs = 5000) override;
    bool waitLoaded(int timeoutMs = 10000) override;

    QList<QUrl> navigations;
    QStringList scripts;
    QVariant scriptResult; // what every script returns
    int stops = 0;
    bool holdLoads = false;

private:
    QUrl url_;
    int pending_ = 0;
};

} // namespace platform
