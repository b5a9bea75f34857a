#include "Desktop.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
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

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (done())
            return true;
        QThread::msleep(100);
    }
    return false;
}

bool startProgram(QProcess& proc, const QString& program, const QString& programDir, const QString& configDir,
                  const QString& workDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MORVANEL_PROGRAM_DIR"), programDir);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(workDir);
    proc.start(program, QStringList());
    return proc.waitForStarted(10000);
}

void endProgram(QProcess& proc)
{
    proc.terminate();
    if (!proc.waitForFinished(60000)) {
        proc.kill();
        proc.waitForFinished(5000);
    }
}

} // namespace testsupport
