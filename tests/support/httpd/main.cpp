// The tests' local HTTP server as a program: mv-test-httpd --root DIR [--port N]
#include "support/HttpServer.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    QString root;
    quint16 port = 0;
    for (int i = 1; i < a.size(); ++i) {
        if (a[i] == QLatin1String("--root") && i + 1 < a.size())
            root = a[++i];
        else if (a[i] == QLatin1String("--port") && i + 1 < a.size())
            port = quint16(a[++i].toUInt());
        else {
            std::fprintf(stderr, "usage: mv-test-httpd --root DIR [--port N]\n");
            return 2;
        }
    }
    testsupport::HttpServer server(root, port);
    std::printf("serving %s on http://127.0.0.1:%u/\n", qPrintable(root), unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
