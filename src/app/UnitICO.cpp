// The icon palette: shows node icons 0 to 13; a click gives the selected node that icon.
#include "UnitICO.h"

#include "NodeIcons.h"
#include "TreeFile.h"
#include "UnitSlova.h"

#include <QListWidget>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormICO* FormICO = nullptr;

TFormICO::TFormICO() : TForm(QStringLiteral("FormICO")), IL(TImageList::nodeImages())
{
    // Staying on top and sitting at the top edge are requests: the window manager decides.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    LV1 = new QListWidget(this);
    LV1->setObjectName(QStringLiteral("LV1"));
    LV1->setViewMode(QListView::IconMode);
    LV1->setFlow(QListView::LeftToRight);
    LV1->setIconSize(QSize(16, 16));
    LV1->setMovement(QListView::Static);
    LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int k = 0; k < 14; ++k)
        LV1->addItem(new QListWidgetItem(IL.nodeIcon(k, k + 20), QString()));
    v->addWidget(LV1);
    PopupLV1 = new QMenu(this);
    PopupLV1->setObjectName(QStringLiteral("PopupLV1"));
    connect(PopupLV1->addAction(QStringLiteral("close")), &QAction::triggered, this, &TFormICO::close1Click);
    setPopupMenu(LV1, PopupLV1);
    connect(LV1, &QListWidget::itemClicked, this, &TFormICO::LV1Click);
    resize(14 * 28, 40);
    move(x(), 0);
}

void TFormICO::LV1Click()
{
    QListWidgetItem* item = LV1->currentItem();
    TFormSlova* m = FormSlova;
    if (!item || !m || m->NoCatalog)
        return;
    QTreeWidgetItem* node = m->Tree1->currentItem();
    if (!node)
        return;
    const int k = LV1->row(item);
    treefile::setImageIndex(node, k);
    m->Tree1->viewport()->update();
    // Written at once, also in read-only mode; never a tree whose reading stopped early.
    if (m->Tree1->topLevelItemCount() > 0 && !m->TreeIncomplete)
        m->WriteTreeAndIcons();
}
