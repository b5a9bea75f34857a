#include "Forms.h"

#include <QGuiApplication>
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
