#pragma once
#include <QDialog>
#include <QString>

class QAbstractItemView;
class QMenu;

// Shows window above onTop, a window that stays on top, while that one is shown (as its transient,
// which the desktop keeps above it); otherwise simply shows it.
void showAbove(QWidget* window, QWidget* onTop);

// Makes menu the popup menu of a list or tree view: a right click shows it at the mouse.
void setPopupMenu(QAbstractItemView* view, QMenu* menu);

// Base of the program's windows: a top-level window with its design name as object name.
// Windows save their state in FormDestroy, which the shut-down sequence calls in reverse
// creation order before any window is deleted (Qt's deletion order must not decide it).
class TForm : public QDialog {
    Q_OBJECT
public:
    explicit TForm(const QString& objectName, QWidget* parent = nullptr);
    virtual void FormDestroy() {}
    // Places the window in the middle of the screen.
    void centreOnScreen();
    // Shows the window modally and returns when it is closed.
    int ShowModal() { return exec(); }
};
