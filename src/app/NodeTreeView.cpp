// The main window's tree control: clicks, and drags that carry a node by its absolute index.
#include "NodeTreeView.h"

#include "TreeFile.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>

TNodeTreeView::TNodeTreeView(QWidget* parent) : QTreeWidget(parent)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    // Renames go through the rename panel, never through in-place editing.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

int TNodeTreeView::draggedIndex(const QMimeData* mime)
{
    if (!mime || !mime->hasFormat(QLatin1String(NodeMimeType)))
        return -1;
    bool ok = false;
    const int i = mime->data(QLatin1String(NodeMimeType)).trimmed().toInt(&ok);
    return ok && i >= 0 ? i : -1;
}

void TNodeTreeView::mouseReleaseEvent(QMouseEvent* e)
{
    QTreeWidget::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton)
        emit nodeClicked();
}

void TNodeTreeView::startDrag(Qt::DropActions)
{
    QTreeWidgetItem* item = currentItem();
    const int index = treefile::absoluteIndex(item);
    if (index < 0)
        return;
    auto* mime = new QMimeData;
    mime->setData(QLatin1String(NodeMimeType), QByteArray::number(index));
    mime->setText(item->text(0));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    // Whatever the target answers, nothing is taken out of this tree here: where a node moves
    // is decided by the drop rule of the tree it is dropped on.
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

bool TNodeTreeView::ownNodeDrag(const QDropEvent* e) const
{
    return e->source() == this && draggedIndex(e->mimeData()) >= 0;
}

void TNodeTreeView::dragEnterEvent(QDragEnterEvent* e)
{
    if (ownNodeDrag(e))
        e->acceptProposedAction();
    else
        e->ignore();
}

void TNodeTreeView::dragMoveEvent(QDragMoveEvent* e)
{
    if (ownNodeDrag(e))
        e->acceptProposedAction();
    else
        e->ignore();
}

void TNodeTreeView::dropEvent(QDropEvent* e)
{
    if (!ownNodeDrag(e)) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    emit nodeDropped(e->position().toPoint(), draggedIndex(e->mimeData()));
}
