#pragma once
// Input through the real X server for the desktop tests: xdotool runs while this process keeps
// handling its events (drags, menus and the browser engine run in it).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

inline bool xdotoolWhileRunning(const QStringList& args, int timeoutMs = 20000)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(timeoutMs);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return p.state() == QProcess::NotRunning && p.exitCode() == 0;
}

// Runs the event loop until done() or the time is up; returns done().
template <class Done>
bool waitFor(Done done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}
