#include "HttpServer.h"

#include <QFile>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <zlib.h>

namespace testsupport {

struct HttpServer::State {
    QString root;
    mutable QMutex mutex;
    QStringList requests;
    QByteArray received;
    int open = 0;
    int maxOpen = 0;
};

namespace {

QByteArray gzipped(const QByteArray& data)
{
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&s, uLong(data.size()))) + 32, '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(int(s.total_out));
    deflateEnd(&s);
    return out;
}

QByteArray zlibbed(const QByteArray& data)
{
    uLongf n = compressBound(uLong(data.size()));
    QByteArray out(int(n), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()), 6);
    out.resize(int(n));
    return out;
}

QByteArray reason(int code)
{
    switch (code) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 404: return "Not Found";
    default: return "Status";
    }
}

// One connection: reads the request, answers, closes.
class Conn : public QObject {
public:
    Conn(QTcpSocket* s, std::shared_ptr<HttpServer::State> st) : sock_(s), st_(std::move(st))
    {
        {
            QMutexLocker l(&st_->mutex);
            st_->maxOpen = qMax(st_->maxOpen, ++st_->open);
        }
        connect(sock_, &QTcpSocket::readyRead, this, [this] { onRead(); });
        connect(sock_, &QTcpSocket::disconnected, this, [this] { finish(); });
        connect(sock_, &QTcpSocket::bytesWritten, this, [this] { pump(); });
    }
    ~Conn() override
    {
        QMutexLocker l(&st_->mutex);
        --st_->open;
    }

private:
    void finish()
    {
        if (done_)
            return;
        done_ = true;
        sock_->deleteLater();
        deleteLater();
    }
    void close()
    {
        sock_->disconnectFromHost();
        if (sock_->state() == QAbstractSocket::UnconnectedState)
            finish();
    }
    void onRead()
    {
        const QByteArray data = sock_->readAll();
        {
            QMutexLocker l(&st_->mutex);
            st_->received += data;
        }
        if (started_)
            return;
        buf_ += data;
        if (!buf_.contains("\r\n\r\n"))
            return;
        started_ = true;
        const QList<QByteArray> first = buf_.left(buf_.indexOf("\r\n")).split(' ');
        const QByteArray target = first.value(1);
        {
            QMutexLocker l(&st_->mutex);
            st_->requests << QString::fromLatin1(first.value(0) + ' ' + target);
        }
        url_ = QUrl(QString::fromLatin1("http://h" + target));
        q_ = QUrlQuery(url_);
        const int delay = q_.queryItemValue(QStringLiteral("delay")).toInt();
        QTimer::singleShot(delay, this, [this] { answer(); });
    }
    void head(int code, const QByteArray& type, qint64 length, const QByteArray& extra = QByteArray())
    {
        QByteArray h = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason(code) + "\r\nConnection: close\r\n";
        if (!type.isEmpty())
            h += "Content-Type: " + type + "\r\n";
        if (q_.hasQueryItem(QStringLiteral("length"))) {
            const QString l = q_.queryItemValue(QStringLiteral("length"));
            length = l == QLatin1String("none") ? -1 : l.toLongLong();
        }
        if (length >= 0)
            h += "Content-Length: " + QByteArray::number(length) + "\r\n";
        h += extra + "\r\n";
        sock_->write(h);
    }
    void send(int code, QByteArray type, QByteArray body, QByteArray extra = QByteArray())
    {
        if (q_.hasQueryItem(QStringLiteral("ct")))
            type = q_.queryItemValue(QStringLiteral("ct"), QUrl::FullyDecoded).toLatin1();
        if (q_.hasQueryItem(QStringLiteral("disposition")))
            extra += "Content-Disposition: attachment; filename=\"" +
                     q_.queryItemValue(QStringLiteral("disposition"), QUrl::FullyDecoded).toUtf8() + "\"\r\n";
        if (q_.queryItemValue(QStringLiteral("gzip")) == QLatin1String("1")) {
            body = gzipped(body);
            extra += "Content-Encoding: gzip\r\n";
        } else if (q_.queryItemValue(QStringLiteral("deflate")) == QLatin1String("1")) {
            body = zlibbed(body);
            extra += "Content-Encoding: deflate\r\n";
        }
        if (q_.hasQueryItem(QStringLiteral("damage")) && !body.isEmpty()) {
            const int at = q_.queryItemValue(QStringLiteral("damage")).toInt();
            body[(at < 0 ? body.size() + at : at) % body.size()] ^= char(0x55);
        }
        head(code, type, body.size(), extra);
        if (q_.hasQueryItem(QStringLiteral("cut")))
            body.truncate(q_.queryItemValue(QStringLiteral("cut")).toInt());
        const int drip = q_.queryItemValue(QStringLiteral("drip")).toInt();
        if (drip <= 0) {
            sock_->write(body);
            close();
            return;
        }
        pending_ = body;
        const int chunk = qMax(1, q_.queryItemValue(QStringLiteral("chunk")).toInt());
        auto* t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [this, t, chunk] {
            sock_->write(pending_.left(chunk));
            pending_.remove(0, chunk);
            if (pending_.isEmpty()) {
                t->stop();
                close();
            }
        });
        t->start(drip);
    }
    void pump()
    {
        // Generated bodies are written as the socket takes them, never held whole.
        if (bigLeft_ <= 0 || sock_->bytesToWrite() > 1 << 20)
            return;
        QByteArray block;
        while (block.size() < (1 << 18) && bigLeft_ > 0) {
            QByteArray line = "<p><a href=\"page" + QByteArray::number(bigLine_) + ".htm\">\xd1\xf1\xfb\xeb\xea\xe0 " +
                              QByteArray::number(bigLine_) + "</a></p>\r\n";
            ++bigLine_;
            if (line.size() > bigLeft_)
                line = QByteArray(int(bigLeft_), ' ');
            block += line;
            bigLeft_ -= line.size();
        }
        sock_->write(block);
        if (bigLeft_ <= 0)
            close();
    }
    void answer()
    {
        const QString path = url_.path();
        const QByteArray html = "text/html";
        if (path.startsWith(QLatin1String("/status/"))) {
            const int code = path.mid(8).toInt();
            send(code, html, "<html><body>Status " + QByteArray::number(code) + "</body></html>\r\n");
        } else if (path.startsWith(QLatin1String("/redirect/"))) {
            const QByteArray to = q_.queryItemValue(QStringLiteral("to"), QUrl::FullyDecoded).toUtf8();
            send(path.mid(10).toInt(), html, "<html>moved</html>", "Location: " + to + "\r\n");
        } else if (path == QLatin1String("/loop")) {
            send(302, html, "<html>loop</html>", "Location: /loop\r\n");
        } else if (path == QLatin1String("/stall")) {
            head(200, html, 1000);
            sock_->write("<html>");
        } else if (path == QLatin1String("/cut")) {
            head(200, html, 10000);
            sock_->write(QByteArray(5000, 'x'));
            close();
        } else if (path == QLatin1String("/chunked-cut")) {
            head(200, html, -1, "Transfer-Encoding: chunked\r\n");
            sock_->write("5\r\n<html\r\n5\r\n>x</h\r\n");
            close();
        } else if (path == QLatin1String("/headers-cut")) {
            sock_->write("HTTP/1.1 200 OK\r\nContent-Ty");
            close();
        } else if (path == QLatin1String("/big")) {
            bigLeft_ = qint64(q_.queryItemValue(QStringLiteral("mb")).toDouble() * 1024 * 1024);
            head(200, html, bigLeft_);
            const QByteArray top = "<html><head><title>Big</title></head><body>\r\n";
            sock_->write(top);
            bigLeft_ -= top.size();
            pump();
        } else if (path == QLatin1String("/empty")) {
            send(200, html, QByteArray());
        } else if (path == QLatin1String("/png")) {
            send(200, "image/png", QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, '\0'));
        } else {
            QFile f(st_->root + QUrl::fromPercentEncoding(path.toUtf8()));
            if (st_->root.isEmpty() || path.contains(QLatin1String("..")) || !f.open(QIODevice::ReadOnly))
                send(404, html, "<html><body>Not found</body></html>\r\n");
            else
                send(200, html, f.readAll());
        }
    }

    QTcpSocket* sock_;
    std::shared_ptr<HttpServer::State> st_;
    QByteArray buf_;
    QByteArray pending_;
    QUrl url_;
    QUrlQuery q_;
    qint64 bigLeft_ = 0;
    qint64 bigLine_ = 0;
    bool started_ = false;
    bool done_ = false;
};

class Worker : public QObject {
public:
    explicit Worker(std::shared_ptr<HttpServer::State> st) : st_(std::move(st)) {}
    quint16 listen(quint16 port)
    {
        server_ = new QTcpServer(this);
        connect(server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_->nextPendingConnection())
                new Conn(s, st_);
        });
        server_->listen(QHostAddress::LocalHost, port);
        return server_->serverPort();
    }

private:
    std::shared_ptr<HttpServer::State> st_;
    QTcpServer* server_ = nullptr;
};

} // namespace

HttpServer::HttpServer(const QString& root, quint16 port) : state_(std::make_shared<State>())
{
    state_->root = root.endsWith(u'/') ? root.chopped(1) : root;
    thread_ = new QThread();
    auto* w = new Worker(state_);
    worker_ = w;
    w->moveToThread(thread_);
    thread_->start();
    QMetaObject::invokeMethod(w, [w, port, this] { port_ = w->listen(port); }, Qt::BlockingQueuedConnection);
}

HttpServer::~HttpServer()
{
    QMetaObject::invokeMethod(worker_, [this] { delete worker_; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete thread_;
}

QString HttpServer::url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path); }

QStringList HttpServer::requests() const
{
    QMutexLocker l(&state_->mutex);
    return state_->requests;
}

QByteArray HttpServer::received() const
{
    QMutexLocker l(&state_->mutex);
    return state_->received;
}

int HttpServer::maxOpen() const
{
    QMutexLocker l(&state_->mutex);
    return state_->maxOpen;
}

} // namespace testsupport
