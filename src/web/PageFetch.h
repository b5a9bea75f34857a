#pragma once
// Fetching one page for a download slot, on Qt Network: the body is streamed into a scratch
// file, with an inactivity timeout, a size limit and the checks that make a fetch fail.
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

struct FetchResult {
    bool ok = false;
    QString error;       // why it failed, for the slot to show
    QUrl finalUrl;       // after redirects
    int status = 0;      // HTTP status (0 for local files)
    QString contentType; // without parameters
    QString charset;     // the server's charset parameter, or empty
    qint64 bytes = 0;
    bool saveFailed = false; // the scratch file could not be written
};

class PageFetch : public QObject {
    Q_OBJECT
public:
    explicit PageFetch(QObject* parent = nullptr);
    ~PageFetch() override;

    // Settable by tests: no data for this long fails the fetch; a larger body fails it.
    static int& inactivityTimeoutMs();
    static qint64& sizeLimit();

    // Starts fetching address into scratchFile (created or replaced). A fetch already running is
    // aborted first and completes nothing. finished is emitted exactly once per started fetch.
    void start(const QString& address, const QString& scratchFile);
    // Aborts the running fetch without completing it; its scratch file is removed.
    void abort();
    bool running() const { return reply_ != nullptr || localPending_; }

signals:
    void progress(qint64 received, qint64 total);
    void finished(const FetchResult& result);

private:
    void request(const QUrl& url);
    void onReadyRead();
    void onFinished();
    void fail(const QString& why);
    void finishLocal(const QString& path);
    void cleanup(bool removeScratch);

    QNetworkAccessManager* nam_;
    QNetworkReply* reply_ = nullptr;
    std::unique_ptr<QFile> out_;
    QTimer idle_;
    QString scratch_;
    QString failure_;
    qint64 received_ = 0;
    bool localPending_ = false;
    bool saveFailed_ = false;
    quint64 generation_ = 0;
    int redirects_ = 0;
    static constexpr int kMaxRedirects = 20;
};
