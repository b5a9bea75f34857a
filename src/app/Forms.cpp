#include "Forms.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QWindow>

TForm::TForm(const QString& objectName, QWidget* parent) : QDialog(parent)
{
    setObjectName(objectName);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void TForm::centreOnScreen()
{
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    move((s.width() - width()) / 2, (s.height() - height()) / 2);
}

void setPopupMenu(QAbstractItemView* view, QMenu* menu)
{
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, menu,
                     [view, menu](const QPoint& p) { menu->popup(view->viewport()->mapToGlobal(p)); });
}

void showAbove(QWidget* window, QWidget* onTop)
{
    window->winId(); // the native window, whose transient parent the desktop reads when it is shown
    QWindow* parent = onTop && onTop->isVisible() ? onTop->window()->windowHandle() : nullptr;
    if (QWindow* w = window->windowHandle(); w && w->transientParent() != parent) {
        if (window->isVisible())
            window->hide(); // the desktop takes a new transient parent only when the window is shown
        w->setTransientParent(parent);
    }
    window->show();
    window->raise();
    window->activateWindow();
}
