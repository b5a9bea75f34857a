// Fetching one page for a download slot.
#include "PageFetch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
bool textType(const QString& type)
{
    return type.isEmpty() || type.startsWith(QLatin1String("text/")) || type == QLatin1String("application/xhtml+xml") ||
           type == QLatin1String("application/xml");
}

// The address a finished redirect answer sends to, or an empty address.
QUrl redirectTarget(QNetworkReply* r, int status)
{
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return {};
    const QByteArray location = r->rawHeader("Location");
    return location.isEmpty() ? QUrl() : r->url().resolved(QUrl::fromEncoded(location));
}
} // namespace

int& PageFetch::inactivityTimeoutMs()
{
    static int v = 60000;
    return v;
}

qint64& PageFetch::sizeLimit()
{
    static qint64 v = qint64(256) * 1024 * 1024;
    return v;
}

PageFetch::PageFetch(QObject* parent) : QObject(parent), nam_(new QNetworkAccessManager(this))
{
    nam_->setProxy(QNetworkProxy::NoProxy);
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("No data for %1 s").arg(inactivityTimeoutMs() / 1000.0));
    });
}

PageFetch::~PageFetch()
{
    abort();
}

void PageFetch::cleanup(bool removeScratch)
{
    idle_.stop();
    if (reply_) {
        QNetworkReply* r = reply_;
        reply_ = nullptr;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
    if (out_) {
        out_->close();
        out_.reset();
    }
    if (removeScratch && !scratch_.isEmpty())
        QFile::remove(scratch_);
}

void PageFetch::abort()
{
    ++generation_;
    localPending_ = false;
    cleanup(true);
}

void PageFetch::fail(const QString& why)
{
    if (failure_.isEmpty())
        failure_ = why;
    if (reply_)
        reply_->abort(); // onFinished completes the item
}

void PageFetch::start(const QString& address, const QString& scratchFile)
{
    abort();
    scratch_ = scratchFile;
    failure_.clear();
    saveFailed_ = false;
    received_ = 0;
    QDir().mkpath(QFileInfo(scratchFile).absolutePath());

    const QString a = address.trimmed();
    QUrl url = a.startsWith(u'/') ? QUrl::fromLocalFile(a) : QUrl(a);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        // Completed from the event loop, as a network fetch would be.
        localPending_ = true;
        const quint64 gen = generation_;
        QTimer::singleShot(0, this, [this, gen, url] {
            if (gen == generation_ && localPending_)
                finishLocal(url.toLocalFile());
        });
        return;
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        const quint64 gen = generation_;
        localPending_ = true;
        QTimer::singleShot(0, this, [this, gen, a] {
            if (gen != generation_ || !localPending_)
                return;
            localPending_ = false;
            FetchResult r;
            r.error = QStringLiteral("Not an address that can be fetched: %1").arg(a);
            emit finished(r);
        });
        return;
    }
    out_ = std::make_unique<QFile>(scratchFile);
    // A scratch file is made anew, never written through a link a received catalog may hold.
    QFile::remove(scratchFile);
    if (!out_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        failure_ = QStringLiteral("Cannot write %1: %2").arg(scratchFile, out_->errorString());
        out_.reset();
        localPending_ = true;
        const quint64 gen = generation_;
        QTimer::singleShot(0, this, [this, gen] {
            if (gen != generation_)
                return;
            localPending_ = false;
            FetchResult r;
            r.error = failure_;
            r.saveFailed = true;
            emit finished(r);
        });
        return;
    }
    redirects_ = 0;
    request(url);
}

void PageFetch::request(const QUrl& url)
{
    // Redirects are followed here, not by the network layer, which ends a redirect loop as a
    // finished reply with no error and a meaningless status.
    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    req.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Mozilla/5.0 (X11; Linux x86_64) Morvanel"));
    reply_ = nam_->get(req);
    connect(reply_, &QNetworkReply::readyRead, this, &PageFetch::onReadyRead);
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 r, qint64 t) {
        idle_.start(inactivityTimeoutMs());
        emit progress(r, t);
    });
    connect(reply_, &QNetworkReply::finished, this, &PageFetch::onFinished);
    idle_.start(inactivityTimeoutMs());
}

void PageFetch::onReadyRead()
{
    idle_.start(inactivityTimeoutMs());
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray data = reply_->readAll();
    if (status >= 300 && status < 400)
        return; // the body of a redirect
    received_ += data.size();
    if (received_ > sizeLimit()) {
        fail(QStringLiteral("The page is larger than %1 bytes").arg(sizeLimit()));
        return;
    }
    if (out_ && out_->write(data) != data.size())
        saveFailed_ = true, fail(QStringLiteral("Cannot write %1: %2").arg(scratch_, out_->errorString()));
}

void PageFetch::onFinished()
{
    QNetworkReply* r = reply_;
    if (!r)
        return;
    if (r->error() == QNetworkReply::NoError && r->bytesAvailable() > 0)
        onReadyRead();
    idle_.stop();
    FetchResult res;
    res.finalUrl = r->url();
    res.status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString ct = r->header(QNetworkRequest::ContentTypeHeader).toString();
    res.contentType = ct.section(u';', 0, 0).trimmed().toLower();
    for (const QString& p : ct.split(u';').mid(1)) {
        const QString t = p.trimmed();
        if (t.startsWith(QLatin1String("charset="), Qt::CaseInsensitive))
            res.charset = t.mid(8).remove(u'"').trimmed();
    }
    res.bytes = received_;
    const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
    const bool encoded = !r->rawHeader("Content-Encoding").isEmpty();
    QString why = failure_;
    if (why.isEmpty() && r->error() != QNetworkReply::NoError)
        why = r->errorString();
    if (const QUrl to = redirectTarget(r, res.status); why.isEmpty() && to.isValid()) {
        const QString s = to.scheme().toLower();
        if (s != QLatin1String("http") && s != QLatin1String("https")) {
            why = QStringLiteral("Redirected to an address that is not http or https: %1").arg(to.toString());
        } else if (++redirects_ > kMaxRedirects) {
            why = QStringLiteral("Too many redirects");
        } else {
            reply_ = nullptr;
            r->disconnect(this);
            r->deleteLater();
            request(to);
            return;
        }
    }
    if (why.isEmpty() && (res.status < 200 || res.status > 299))
        why = QStringLiteral("HTTP status %1").arg(res.status);
    if (why.isEmpty() && !encoded && length.isValid() && length.toLongLong() != received_)
        why = QStringLiteral("The page was cut short: %1 of %2 bytes").arg(received_).arg(length.toLongLong());
    if (why.isEmpty() && received_ == 0)
        why = QStringLiteral("The page is empty");
    if (why.isEmpty() && !textType(res.contentType))
        why = QStringLiteral("Not a text document: %1").arg(res.contentType);
    if (out_)
        out_->flush();
    reply_ = nullptr;
    r->disconnect(this);
    r->deleteLater();
    if (out_) {
        out_->close();
        out_.reset();
    }
    res.ok = why.isEmpty();
    res.error = why;
    res.saveFailed = saveFailed_;
    if (!res.ok)
        QFile::remove(scratch_);
    scratch_.clear(); // the scratch file is the caller's now
    emit finished(res);
}

void PageFetch::finishLocal(const QString& path)
{
    localPending_ = false;
    FetchResult res;
    res.finalUrl = QUrl::fromLocalFile(path);
    QFile in(path);
    QString why;
    if (!QFileInfo(path).isFile() || !in.open(QIODevice::ReadOnly))
        why = QStringLiteral("Cannot read %1").arg(path);
    else if (in.size() > sizeLimit())
        why = QStringLiteral("The page is larger than %1 bytes").arg(sizeLimit());
    else if (in.size() == 0)
        why = QStringLiteral("The page is empty");
    if (why.isEmpty()) {
        in.close();
        QFile::remove(scratch_);
        if (!QFile::copy(path, scratch_)) {
            why = QStringLiteral("Cannot write %1").arg(scratch_);
            res.saveFailed = true;
        }
        res.bytes = QFileInfo(scratch_).size();
    }
    res.ok = why.isEmpty();
    res.error = why;
    if (!res.ok)
        QFile::remove(scratch_);
    scratch_.clear();
    emit finished(res);
}
