#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QTreeWidgetItem>

class QTreeWidget;

// A node of the main window's tree. Its text is its caption and the base name of its files;
// it carries the icon number shown when it is not selected and the one shown when it is.
// The icon is looked up when the view paints, so giving 100,000 nodes their icons costs no
// more than setting two numbers each.
class TTreeNode : public QTreeWidgetItem {
public:
    enum { Type = QTreeWidgetItem::UserType + 1 };
    explicit TTreeNode(const QString& text = QString());

    int ImageIndex = 0;
    int SelectedIndex = 20;

    QVariant data(int column, int role) const override;
    QTreeWidgetItem* clone() const override;
    // Changes both numbers and repaints the node.
    void setImages(int image, int selectedImage);
};

// Tree files: one node per line in depth-first order, the depth given by leading TABs (blanks
// count the same when reading), Windows-1251 text, CR LF.
namespace treefile {

// The tree file reader's result: the nodes in absolute order (depth-first, from 0), the
// top-level ones, and the error text that stopped the reading (empty when all was read).
struct ReadResult {
    QList<QTreeWidgetItem*> nodes;
    QList<QTreeWidgetItem*> topLevel;
    QString error;
};

// Builds detached nodes from the lines of a tree file.
ReadResult parseLines(const QList<QByteArray>& lines);

// Replaces the nodes of the tree by those of the file. Returns false when the file cannot be
// read (the tree is then empty); a reading stopped by a bad indentation keeps the nodes read
// before it and puts the message into *readError. *nodes receives the nodes in absolute order.
bool loadTree(QTreeWidget* tree, const QString& path, QString* readError,
              QList<QTreeWidgetItem*>* nodes = nullptr);

// Every node in absolute order; one walk of the tree.
QList<QTreeWidgetItem*> allNodes(const QTreeWidget* tree);
// The node at an absolute index, or null.
QTreeWidgetItem* nodeAt(const QTreeWidget* tree, int index);
// The absolute index of a node, or -1.
int absoluteIndex(const QTreeWidgetItem* item);
// Counting stops early, as the writers only need to know "more than one".
bool hasMoreThanOneNode(const QTreeWidget* tree);
int nodeCount(const QTreeWidget* tree);

// The file lines of the tree. Fails, naming the node, when a text cannot be written in
// Windows-1251.
bool treeLines(const QTreeWidget* tree, QList<QByteArray>& lines, QString* error);
// Writes the tree file atomically; a failure is reported in *error.
bool saveTree(const QTreeWidget* tree, const QString& path, QString* error);
// Writes the tree file and then its icon index file, both atomically; a failure is reported in
// *error. The two go together so that icons never shift onto other nodes.
bool saveTreeAndIcons(const QTreeWidget* tree, const QString& path, const QString& indPath, QString* error);

// Icon numbers of nodes (or plain items, which count as icon 0).
int imageIndex(const QTreeWidgetItem* item);
int selectedIndex(const QTreeWidgetItem* item);
void setImageIndex(QTreeWidgetItem* item, int image); // the selected form is image + 20

// Icon index file: one decimal icon number per node, in absolute order.
QList<QByteArray> iconLines(const QList<QTreeWidgetItem*>& nodes);
// Gives node i the icon on line i and i + 20 as selected icon, for as many lines and nodes as
// both have; a line that is not a number leaves its node alone. Does not repaint.
void applyIconLines(const QList<QTreeWidgetItem*>& nodes, const QList<QByteArray>& lines);

} // namespace treefile
