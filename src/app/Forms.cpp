#include "Forms.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

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
