#pragma once
#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

class QObject;
class QThread;

namespace testsupport {

// A local HTTP/1.1 server on 127.0.0.1 (port 0 unless given), running in its own thread so
// that waits in a test do not stall it. Every answer closes its connection.
//
// Files of the root folder are served as text/html without a charset. Query parameters shape
// any answer: ct=TYPE (Content-Type; ct= sends none), delay=MS (before the headers), drip=MS with chunk=N
// (N bytes every MS), gzip=1 (gzip-encoded), deflate=1 (zlib-wrapped deflate), disposition=NAME
// (Content-Disposition), damage=I (byte I of the body as sent changed; negative: from its end),
// cut=N (only the first N bytes of it sent, then the connection closed), length=N or
// length=none (the Content-Length announced, or none).
// Scripted paths: /status/CODE (an HTML body), /redirect/CODE?to=PATH, /loop, /stall (headers,
// then nothing), /cut (Content-Length 10000, 5000 bytes sent), /chunked-cut (no last chunk),
// /headers-cut (closed inside the headers), /big?mb=N (generated Windows-1251 lines with links,
// never stored), /empty (200 with no body), /png (image/png).
class HttpServer {
public:
    explicit HttpServer(const QString& root = QString(), quint16 port = 0);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    quint16 port() const { return port_; }
    QString url(const QString& path) const;
    // "GET /path?query", in the order they came.
    QStringList requests() const;
    // Every byte that came in on any connection (request lines, headers, bodies), in order.
    QByteArray received() const;
    // The most connections that were open at once.
    int maxOpen() const;

    struct State;

private:
    std::shared_ptr<State> state_;
    QThread* thread_;
    QObject* worker_;
    quint16 port_ = 0;
};

} // namespace testsupport
