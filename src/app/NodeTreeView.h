#pragma once
#include <QTreeWidget>

// The main window's tree control. A left click anywhere in it (a row, its expand mark, empty
// space) is reported as one click; a dragged node travels as its absolute index under the mime
// type NodeMimeType, and a drop inside the tree is handed to the window's own drop rule instead
// of letting Qt move rows.
class TNodeTreeView : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr const char* NodeMimeType = "application/x-morvanel-node";
    explicit TNodeTreeView(QWidget* parent = nullptr);

    // The absolute index a drag carries, or -1.
    static int draggedIndex(const class QMimeData* mime);

signals:
    void nodeClicked();
    // A node of this tree dropped at a point of the viewport.
    void nodeDropped(const QPoint& viewportPos, int draggedIndex);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    bool ownNodeDrag(const class QDropEvent* e) const;
};
