#pragma once
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <functional>

class QMenu;

namespace platform {

// The web browser control: shows a page file or an address inside a window. The program has
// this one browser class; the engine behind it is Qt WebEngine (WebEngineBrowser), and window
// tests put a recording fake (FakeBrowser) behind the same interface.
//
// Pages from the web run their own scripts, pages shown from disk none; dialogs (alert, confirm,
// prompt, file choosers) are swallowed, new windows and downloads are refused, and text without
// a declared encoding is read as Windows-1251.
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
    // QVariant when there is no page, the script fails or the time is up. The script sees the
    // document, not the page's own script variables, and runs also where page scripts do not.
    virtual QVariant runScript(const QString& script, int timeoutMs = 5000) = 0;
    // Waits until no load is running (or the time is up); true when the last load succeeded.
    virtual bool waitLoaded(int timeoutMs = 10000) = 0;
    // The addresses of the shown document's links (its a and area elements with an address) as
    // the engine resolved them, in document order; empty when there is no document.
    QStringList links(int timeoutMs = 10000);

    // ---- reading and changing the shown document in one go (each call waits for the engine)
    // One element of the document, in document order.
    struct Element {
        QString tag;  // tag name in capitals ("A")
        QString text; // its inner text
        QString href; // an anchor's address as the engine resolved it, else empty
    };
    // Whether a document is shown (a page was loaded and has a document element).
    bool hasDocument(int timeoutMs = 5000);
    // The text of the document's current selection; empty when nothing is selected.
    QString selectedText(int timeoutMs = 5000);
    // The encoding the engine read the document in ("windows-1251", "UTF-8", ...).
    QString documentEncoding(int timeoutMs = 5000);
    // The document's elements with a tag name ("A"; empty: every element), in document order.
    QList<Element> elements(const QString& tag = QString(), int timeoutMs = 10000);
    // Sets the inner text of the element at an index of elements(tag); false when there is none.
    bool setElementText(const QString& tag, int index, const QString& text, int timeoutMs = 5000);

    // True while any browser control waits for its engine inside a handler: events run then, and
    // timers that change the tree or the catalog wait for the next tick.
    static bool waiting() { return waiters_ > 0; }

    // The menu a right click (or the context-menu key) over this control shows; none: nothing.
    void setPopupMenu(QMenu* menu);
    QMenu* popupMenu() const;

signals:
    // A load ended; ok is false when the page could not be loaded or the load was stopped.
    void loadFinished(const QUrl& url, bool ok);

protected:
    // Counts a wait for the engine while it lives.
    struct WaitScope {
        WaitScope() { ++waiters_; }
        ~WaitScope() { --waiters_; }
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;
    };

private:
    QPointer<QObject> popup_; // a QMenu
    static inline int waiters_ = 0;
};

// The program's right-click rule for every browser control of the process, installed once as an
// application-wide event filter (later calls do nothing): right-button presses, releases and
// double clicks over a browser control or any widget inside it never reach the browser; on the
// release the control's popup menu is shown at the mouse point. The context-menu key and
// Shift+F10 over a browser show that menu too, and the engine's own menu never appears.
void installBrowserMouseHook();
bool browserMouseHookInstalled();
// The browser control a widget belongs to (the widget itself or an ancestor), or null.
BrowserControl* browserOf(QObject* object);

// Whether the browser shows a local file of this name as a web page (".htm", ".html", ".shtml",
// in any case). Any other local document (XML, SVG, XHTML) loads nothing and leads nowhere: its
// transformation could build addresses out of its own path.
bool isPageFileName(const QString& path);

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
