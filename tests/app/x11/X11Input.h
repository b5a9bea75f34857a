#pragma once
// Input through the real X server for the desktop tests: xdotool runs while this process keeps
// handling its events (drags, menus and the browser engine run in it).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QPoint>
#include <QStringList>
#include <QTreeWidget>

#include <algorithm>

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

// A real click of the mouse button at a point of the screen.
inline bool clickAt(QPoint global, const char* button = "1")
{
    const QString x = QString::number(global.x()), y = QString::number(global.y());
    return xdotoolWhileRunning({"mousemove", x, y, "sleep", "0.2", "click", button, "sleep", "0.2"});
}

// A real click on a node's text. A click the window did not get (the window manager still placing
// it on a busy machine) is made again. True when the node became the tree's current one.
inline bool clickTreeItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        tree->window()->raise();
        tree->window()->activateWindow();
        tree->scrollToItem(item);
        const QRect r = tree->visualItemRect(item);
        const QPoint on(std::min(r.left() + 12, tree->viewport()->width() - 4), r.center().y());
        if (!clickAt(tree->viewport()->mapToGlobal(on)))
            return false;
        if (waitFor([&] { return tree->currentItem() == item; }, 3000))
            return true;
    }
    return false;
}
