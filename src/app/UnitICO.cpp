#include "UnitICO.h"

#include "NodeIcons.h"

#include <QListWidget>
#include <QVBoxLayout>

TFormICO* FormICO = nullptr;

TFormICO::TFormICO() : TForm(QStringLiteral("FormICO")), IL(TImageList::nodeImages())
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    LV1 = new QListWidget(this);
    LV1->setObjectName(QStringLiteral("LV1"));
    LV1->setViewMode(QListView::IconMode);
    LV1->setFlow(QListView::LeftToRight);
    LV1->setIconSize(QSize(16, 16));
    LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int k = 0; k < 14; ++k)
        LV1->addItem(new QListWidgetItem(IL.nodeIcon(k, k + 20), QString()));
    v->addWidget(LV1);
    resize(14 * 28, 40);
    move(x(), 0);
}
