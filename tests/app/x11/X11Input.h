#pragma once
// Input through the real X server for the desktop tests: xdotool runs while this process keeps
// handling its events (drags, menus and the browser engine run in it).
#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
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

// Notes the node under each mouse press a tree gets.
class PressWatch : public QObject {
public:
    explicit PressWatch(QTreeWidget* tree) : tree_(tree) { tree->viewport()->installEventFilter(this); }
    ~PressWatch() override { tree_->viewport()->removeEventFilter(this); }
    QList<QTreeWidgetItem*> pressed;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::MouseButtonPress)
            pressed.append(tree_->itemAt(static_cast<QMouseEvent*>(e)->position().toPoint()));
        return false;
    }

private:
    QTreeWidget* tree_;
};

// A real click on a node's text. A click the node did not get (the window manager still placing
// the window on a busy machine, so the press came elsewhere or nowhere) is made again; one it
// got is never repeated, whatever the program then did with it (a question answered Cancel keeps
// the old node current). True when the node got the press.
inline bool clickTreeItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    PressWatch watch(tree);
    for (int attempt = 0; attempt < 3 && !watch.pressed.contains(item); ++attempt) {
        tree->window()->raise();
        tree->window()->activateWindow();
        tree->scrollToItem(item);
        const QRect r = tree->visualItemRect(item);
        const QPoint on(std::min(r.left() + 12, tree->viewport()->width() - 4), r.center().y());
        const qsizetype before = watch.pressed.size();
        if (!clickAt(tree->viewport()->mapToGlobal(on)))
            return false;
        (void)waitFor([&] { return watch.pressed.size() > before; }, 3000);
    }
    return watch.pressed.contains(item);
}
