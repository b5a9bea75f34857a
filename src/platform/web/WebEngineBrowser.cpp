// The browser control on Qt WebEngine: a quiet page (no dialogs, no new windows, no downloads)
// and synchronous helpers for handlers that read the page in one go.
#include "WebEngineBrowser.h"

#include <memory>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace platform {

namespace {

// setContent hands the bytes over as a data address, which the engine limits to 2 MB; escaped,
// a byte may take three.
constexpr qint64 kMaxHandedOver = 640 * 1024;

// The mime type with charset to show a local file with when it is a page or text that names no
// encoding of its own (no byte order mark, no charset in a page); empty otherwise.
QByteArray undeclaredTextMime(const QString& path, const QByteArray& bytes)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    QByteArray type;
    if (isPageFileName(path))
        type = "text/html";
    else if (suffix == QLatin1String("txt"))
        type = "text/plain";
    else
        return {};
    if (bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return {};
    if (type == "text/html" && bytes.toLower().contains("charset"))
        return {};
    return type + ";charset=windows-1251";
}

// A page whose own dialogs never reach the user: the program shows pages, it does not let
// them ask questions. Links that want a new window are not followed.
//
// A page shown from disk runs none of its own scripts: a script in a downloaded page could
// otherwise read its own file's path (the catalog's folder, the user's name) and whatever the
// page shows of other local files, and send it to its server. Scripts are off for the whole life
// of such a page object, never toggled in a live one (a switch would reach the old document's
// unload handlers), so a local page and a web page each get a page object of their own. A link
// from a local page to the web is handed back to the browser, which loads it in a new page
// object: a web page followed from a local one inherits nothing from it.
class QuietPage : public QWebEnginePage {
public:
    QuietPage(QWebEngineProfile* profile, bool local, BrowserControl* owner, QObject* parent)
        : QWebEnginePage(profile, parent), local_(local), owner_(owner)
    {
        settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !local);
    }

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        if (!isMainFrame)
            return true;
        // The program itself shows local files; a web page never leads to one.
        if (!local_)
            return !url.isLocalFile();
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            // A local document that is not a page (XML, SVG) may build an address out of its own
            // path through its transformation, in a link or a refresh: it leads nowhere. The
            // address shown is still that document's while its own navigation is asked.
            if (!isPageFileName(this->url().toLocalFile()))
                return false;
            // Later, from the browser: loading it replaces this page object.
            QMetaObject::invokeMethod(owner_, [o = owner_, url] { o->navigate(url); }, Qt::QueuedConnection);
            return false;
        }
        return true;
    }

private:
    bool local_;
    BrowserControl* owner_;
};

// The engine guesses the encoding of a page that declares none, and on a short page it guesses
// wrong (GBK, IBM866...) where the default Windows-1251 is right. A local page without a
// declaration is therefore given to the engine with that charset named, under its own file
// address (links, scripts and the shown address stay those of the file). False when the address
// is not such a page. Links followed inside the engine are not handed over: refusing their
// navigation to load content instead races with the engine's own cancelling of it.
bool handOver(QWebEnginePage* page, const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    // A large page gives the engine's guess enough text to go on.
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxHandedOver)
        return false;
    const QByteArray bytes = file.readAll();
    const QByteArray mime = undeclaredTextMime(file.fileName(), bytes);
    if (mime.isEmpty() || bytes.size() != file.size())
        return false;
    page->setContent(bytes, QString::fromLatin1(mime), url);
    return true;
}

// Local pages may reach the web (their pictures stay on their servers) and run no scripts; what
// they load of local files is what they show, so it stays in their own folder and below, and
// only of the kinds a page shows: pictures, fonts, sound and video, .css styles, and pages as
// frames or objects, never a note (.rtf, .txt). Any other local document (XML, SVG, XHTML) loads
// nothing at all: its transformation stylesheet, which runs without scripts and may even stand
// inside the document, could put its own path into a picture's address. Remote pages cannot
// reach local files anyway.
class LocalFilesFence : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        const QUrl page = info.firstPartyUrl();
        if (!page.isLocalFile() || info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        if (!isPageFileName(page.toLocalFile())) {
            info.block(true);
            return;
        }
        if (!url.isLocalFile())
            return;
        // Judged by the real file and the real folder: a link in the folder (a catalog received
        // from someone else may hold any) can lead anywhere, and be named as any kind.
        const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
        QString folder = QFileInfo(QFileInfo(page.toLocalFile()).absolutePath()).canonicalFilePath();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        if (file.isEmpty() || folder.size() < 2 || !file.startsWith(folder) ||
            !shownKind(info.resourceType(), file))
            info.block(true);
    }

private:
    static bool shownKind(QWebEngineUrlRequestInfo::ResourceType type, const QString& file)
    {
        switch (type) {
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
        case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
            return true;
        case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
            return QFileInfo(file).suffix().toLower() == QLatin1String("css");
        case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
        case QWebEngineUrlRequestInfo::ResourceTypeObject:
            return isPageFileName(file);
        default:
            return false;
        }
    }
};

// Deletes a page object that another replaced. A handler may be waiting for the engine inside one
// of that page's own signals (the link list reads a page that leads on to the web meanwhile): the
// page object goes only once no wait runs, so that its signal returns to a live object.
void dropPage(const QPointer<QWebEnginePage>& page)
{
    if (!page)
        return;
    if (BrowserControl::waiting()) {
        QTimer::singleShot(20, page, [page] { dropPage(page); });
        return;
    }
    page->deleteLater();
}

QWebEngineProfile* sharedProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        // Off the record: no cache or cookies of shown pages are left on disk.
        profile = new QWebEngineProfile(QCoreApplication::instance());
        profile->settings()->setDefaultTextEncoding(QStringLiteral("windows-1251"));
        profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        // Local pages show the pictures and styles of their folder (the fence decides which).
        profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        // Downloaded pages are local files whose pictures, styles and scripts stay on their
        // servers, as the merge made them absolute.
        profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        profile->setUrlRequestInterceptor(new LocalFilesFence(profile));
        profile->settings()->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                         [](QWebEngineDownloadRequest* download) { download->cancel(); });
    }
    return profile;
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWidget* parent) : BrowserControl(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QWebEngineView(this);
    layout->addWidget(view_);
    usePage(false);
}

void WebEngineBrowser::usePage(bool local)
{
    if (page_ && local_ == local)
        return;
    auto* page = new QuietPage(sharedProfile(), local, this, view_);
    view_->setPage(page);
    if (page_) {
        // Its document goes with it; a load it still ends reaches no one.
        page_->disconnect(this);
        dropPage(page_);
    }
    page_ = page;
    local_ = local;
    connect(page, &QWebEnginePage::loadStarted, this, [this] { loading_ = true; });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        // A load given up for a newer one ends too; only the end of the load asked for last
        // ends the wait.
        if (ok || !requested_.isValid() || view_->url() == requested_) {
            loading_ = false;
            lastOk_ = ok;
        }
        emit loadFinished(view_->url(), ok);
    });
}

void WebEngineBrowser::navigate(const QUrl& url)
{
    loading_ = true;
    requested_ = url;
    usePage(url.isLocalFile());
    if (!handOver(page_, url))
        view_->setUrl(url);
}

void WebEngineBrowser::stop() { view_->stop(); }

QUrl WebEngineBrowser::url() const { return view_->url(); }

QString WebEngineBrowser::title() const { return view_->title(); }

namespace {
// Runs the event loop until done() or the time is up. Events are processed directly rather than
// in a nested loop, which would return at once after the program asked to exit.
// Posted events are sent first: a wait begun in a handler of a posted event (loadFinished comes
// as one) is not told of the events queued behind that one, among them the engine's own next
// step, so the engine would stand still and the script's answer never come.
template <class Done>
void waitUntil(int timeoutMs, Done done)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
    }
}
} // namespace

QVariant WebEngineBrowser::runScript(const QString& script, int timeoutMs)
{
    // The answer may come after the wait gave up; it then only fills the shared record.
    auto answer = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    // In a world of the program's own: it runs where the page's scripts do not, and nothing the
    // page defines changes what it reads.
    page_->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                         [answer](const QVariant& v) { *answer = {true, v}; });
    WaitScope scope;
    waitUntil(timeoutMs, [&] { return answer->first; });
    return answer->first ? answer->second : QVariant();
}

bool WebEngineBrowser::waitLoaded(int timeoutMs)
{
    WaitScope scope;
    waitUntil(timeoutMs, [this] { return !loading_; });
    return !loading_ && lastOk_;
}

} // namespace platform
