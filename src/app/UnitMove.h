#pragma once
#include "Forms.h"

class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;
class TFolderTree;

// The node manager: moves a node of the main tree, with its subtree and their files, into
// another catalog, dropped onto a node of that catalog's tree.
class TFormMove : public TForm {
    Q_OBJECT
public:
    TFormMove();
    ~TFormMove() override;
    TFolderTree* folders; // the folder tree dl
    QTreeView* dl;
    QTreeWidget* TV;      // the target catalog's tree
    QPushButton* Panel1;  // "Close"
    QString TargetDir;    // the folder picked in dl, ending in "/"; empty when there is none

    // Takes the folder selected in dl as the target and shows its tree ("menue").
    void FileTree();
    // Moves the main tree's node with that absolute index under the target node at pos (in
    // TV's viewport). Returns true when it moved.
    bool TVDragDrop(int nodeIndex, const QPoint& pos);
    void Panel1Click() { close(); }

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    // The node of TV under a point, or null on empty space or the indent.
    QTreeWidgetItem* dropTarget(const QPoint& pos) const;
    bool letGo(const QTreeWidgetItem* node, const QStringList& files);
};

extern TFormMove* FormMove;
