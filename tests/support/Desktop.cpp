#include "Desktop.h"

#include <QElapsedTimer>
#include <QThread>

namespace testsupport {

QString xdotool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10000))
        p.kill();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString waitForWindow(const QString& titlePattern, int timeoutMs, const QProcess& program)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs && program.state() != QProcess::NotRunning) {
        const QString ids = xdotool({"search", "--onlyvisible", "--name", titlePattern});
        if (!ids.isEmpty())
            return ids.split('\n').last();
        QThread::msleep(100);
    }
    return QString();
}

} // namespace testsupport
