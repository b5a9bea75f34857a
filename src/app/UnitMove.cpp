#include "UnitMove.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormMove* FormMove = nullptr;

TFormMove::TFormMove() : TForm(QStringLiteral("FormMove"))
{
    setWindowTitle(QStringLiteral("Reorganizator node manager"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    auto* v = new QVBoxLayout(this);
    TV = new QTreeWidget(this);
    TV->setObjectName(QStringLiteral("TV"));
    TV->setHeaderHidden(true);
    Panel1 = new QPushButton(QStringLiteral("Close"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    v->addWidget(TV);
    v->addWidget(Panel1);
    connect(Panel1, &QPushButton::clicked, this, &QWidget::close);
    resize(300, 400);
}
