// Fetching one page for a download slot.
#include "PageFetch.h"

#include "PageBody.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Kept for the network layer to fill before the fetch takes it: the body is read as it comes,
// never held whole.
constexpr qint64 kReadBuffer = 1 << 20;

// A declared type that is a page, one that is not, and the types that say nothing, for which
// the address's name or the body itself decides.
enum class Declared { Page, NotPage, Unknown };
Declared declaredType(const QString& type)
{
    if (type == QLatin1String("text/html") || type == QLatin1String("application/xhtml+xml"))
        return Declared::Page;
    if (type.isEmpty() || type.startsWith(QLatin1String("text/")) || type == QLatin1String("application/xml") ||
        type == QLatin1String("application/octet-stream") || type == QLatin1String("unknown/unknown") ||
        type == QLatin1String("application/unknown"))
        return Declared::Unknown;
    return Declared::NotPage;
}

QByteArray headOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(pagebody::kHeadBytes) : QByteArray();
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
    // Named here, the network layer leaves the body as sent: the fetch counts the bytes the
    // server announced and sees whether the compressed stream really ends.
    req.setRawHeader("Accept-Encoding", "gzip, deflate");
    reply_ = nam_->get(req);
    reply_->setReadBufferSize(kReadBuffer);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        // An announced size over the limit is refused before its body is read.
        const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (status < 200 || status >= 300 || !length.isValid() || length.toLongLong() <= sizeLimit())
            return;
        failure_ = QStringLiteral("The page is larger than %1 bytes: the server announced %2")
                       .arg(sizeLimit())
                       .arg(length.toLongLong());
        // Not from inside the network layer's own signal; nothing is read meanwhile.
        QMetaObject::invokeMethod(this, [this, r = reply_] {
            if (r == reply_)
                reply_->abort();
        }, Qt::QueuedConnection);
    });
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
    if (!failure_.isEmpty())
        return; // refused: the rest is not read
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
    const QString coding = QString::fromLatin1(r->rawHeader("Content-Encoding")).trimmed();
    QString why = failure_;
    const bool shortBody = length.isValid() && received_ < length.toLongLong();
    if (why.isEmpty() && r->error() != QNetworkReply::NoError && !(shortBody && r->error() == QNetworkReply::RemoteHostClosedError))
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
    // The bytes as sent, in any coding, against the count the server announced.
    if (why.isEmpty() && length.isValid() && length.toLongLong() != received_)
        why = QStringLiteral("The page was cut short: %1 of %2 bytes").arg(received_).arg(length.toLongLong());
    if (why.isEmpty() && received_ == 0)
        why = QStringLiteral("The page is empty");
    const Declared declared = declaredType(res.contentType);
    if (why.isEmpty() && declared == Declared::NotPage)
        why = QStringLiteral("Not a page: the server sent %1").arg(res.contentType);
    if (out_)
        out_->flush();
    reply_ = nullptr;
    r->disconnect(this);
    r->deleteLater();
    if (out_) {
        out_->close();
        out_.reset();
    }
    if (why.isEmpty() && !coding.isEmpty() && coding.compare(QLatin1String("identity"), Qt::CaseInsensitive) != 0) {
        const QString decoded = scratch_ + QStringLiteral(".decoded");
        bool writeFailed = false;
        const QString cause = pagebody::decodeFile(coding, scratch_, decoded, sizeLimit(), &writeFailed);
        if (!cause.isEmpty()) {
            why = QStringLiteral("Decompression failed: %1").arg(cause);
            saveFailed_ = saveFailed_ || writeFailed;
        } else if (!QFile::remove(scratch_) || !QFile::rename(decoded, scratch_)) {
            why = QStringLiteral("Cannot write %1").arg(scratch_);
            saveFailed_ = true;
        }
        QFile::remove(decoded);
        if (why.isEmpty())
            res.bytes = QFileInfo(scratch_).size();
    }
    if (why.isEmpty() && declared == Declared::Unknown && !pagebody::isWebPage(res.finalUrl.fileName(), headOf(scratch_)))
        why = QStringLiteral("Not a page: neither its name nor its content is HTML (%1)")
                  .arg(res.contentType.isEmpty() ? QStringLiteral("no type given") : res.contentType);
    res.ok = why.isEmpty();
    res.error = why;
    res.saveFailed = saveFailed_;
    if (!res.ok)
        QFile::remove(scratch_);
    scratch_.clear(); // the scratch file is the caller's now
    emit finished(res);
}

namespace {
// Reads a local page into scratch: only a regular file (never a folder, a device or a pipe,
// which could block or never end), only a web page by its real name or its content, at most
// limit bytes. The file is read through one descriptor, so what is judged is what is copied.
QString copyLocalPage(const QString& path, const QString& scratch, qint64 limit, bool& saveFailed)
{
    // A relative path would be taken from wherever the program runs.
    if (!QDir::isAbsolutePath(path))
        return QStringLiteral("Not a page: %1 is not a full path").arg(path);
    const QString real = QFileInfo(path).canonicalFilePath(); // a link is judged by what it leads to
    if (real.isEmpty())
        return QStringLiteral("Cannot read %1: there is no such file").arg(path);
    const int fd = ::open(QFile::encodeName(real).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("Cannot read %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
    QFile in;
    in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return QStringLiteral("Not a page: %1 is not a file").arg(path);
    if (st.st_size > limit)
        return QStringLiteral("The page is larger than %1 bytes").arg(limit);
    const QByteArray head = in.read(pagebody::kHeadBytes);
    if (head.isEmpty())
        return QStringLiteral("The page is empty");
    if (!pagebody::isWebPage(QFileInfo(real).fileName(), head))
        return QStringLiteral("Not a page: neither the name nor the content of %1 is HTML").arg(path);
    QFile out(scratch);
    QFile::remove(scratch); // made anew, as above
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        saveFailed = true;
        return QStringLiteral("Cannot write %1: %2").arg(scratch, out.errorString());
    }
    qint64 total = 0;
    for (QByteArray block = head; !block.isEmpty(); block = in.read(kReadBuffer)) {
        total += block.size();
        if (total > limit)
            return QStringLiteral("The page is larger than %1 bytes").arg(limit);
        if (out.write(block) != block.size()) {
            saveFailed = true;
            return QStringLiteral("Cannot write %1: %2").arg(scratch, out.errorString());
        }
    }
    if (in.error() != QFileDevice::NoError)
        return QStringLiteral("Cannot read %1: %2").arg(path, in.errorString());
    if (!out.flush()) {
        saveFailed = true;
        return QStringLiteral("Cannot write %1: %2").arg(scratch, out.errorString());
    }
    return {};
}
} // namespace

void PageFetch::finishLocal(const QString& path)
{
    localPending_ = false;
    FetchResult res;
    res.finalUrl = QUrl::fromLocalFile(path);
    const QString why = copyLocalPage(path, scratch_, sizeLimit(), res.saveFailed);
    res.bytes = why.isEmpty() ? QFileInfo(scratch_).size() : 0;
    res.ok = why.isEmpty();
    res.error = why;
    if (!res.ok)
        QFile::remove(scratch_);
    scratch_.clear();
    emit finished(res);
}
