// The browser control on Qt WebEngine: a quiet page (no dialogs, no new windows, no downloads)
// and synchronous helpers for handlers that read the page in one go.
#include "WebEngineBrowser.h"

#include <memory>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
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
    if (suffix == QLatin1String("htm") || suffix == QLatin1String("html") || suffix == QLatin1String("shtml"))
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
class QuietPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
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

// Local pages may reach the web (their pictures stay on their servers), so what their scripts
// can read must stay in their own folder: a downloaded page's script must never read the user's
// other files and send them off. A local page loads local files only from its own folder and
// below, frames only pages, and its scripts read no local file at all; remote pages cannot reach
// local files anyway.
class LocalFilesFence : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        const QUrl page = info.firstPartyUrl();
        if (!url.isLocalFile() || !page.isLocalFile() || info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        const QString file = QDir::cleanPath(url.toLocalFile());
        const QString folder = QFileInfo(page.toLocalFile()).absolutePath() + QLatin1Char('/');
        // A frame's text is open to the page's scripts: only pages may be framed, never notes.
        const bool frame = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeSubFrame;
        const QString suffix = QFileInfo(file).suffix().toLower();
        const bool isPage = suffix == QLatin1String("htm") || suffix == QLatin1String("html") || suffix == QLatin1String("shtml");
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeXhr || !file.startsWith(folder) || (frame && !isPage))
            info.block(true);
    }
};

QWebEngineProfile* sharedProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        // Off the record: no cache or cookies of shown pages are left on disk.
        profile = new QWebEngineProfile(QCoreApplication::instance());
        profile->settings()->setDefaultTextEncoding(QStringLiteral("windows-1251"));
        profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
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
    auto* page = new QuietPage(sharedProfile(), view_);
    view_->setPage(page);
    layout->addWidget(view_);
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
    if (!handOver(view_->page(), url))
        view_->setUrl(url);
}

void WebEngineBrowser::stop() { view_->stop(); }

QUrl WebEngineBrowser::url() const { return view_->url(); }

QString WebEngineBrowser::title() const { return view_->title(); }

namespace {
// Runs the event loop until done() or the time is up. Events are processed directly rather than
// in a nested loop, which would return at once after the program asked to exit.
template <class Done>
void waitUntil(int timeoutMs, Done done)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
}
} // namespace

QVariant WebEngineBrowser::runScript(const QString& script, int timeoutMs)
{
    // The answer may come after the wait gave up; it then only fills the shared record.
    auto answer = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    view_->page()->runJavaScript(script, [answer](const QVariant& v) { *answer = {true, v}; });
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
