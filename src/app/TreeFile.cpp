#include "TreeFile.h"

#include "NodeIcons.h"
#include "platform/files/AtomicFile.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"

#include <QTreeWidget>

TTreeNode::TTreeNode(const QString& text) : QTreeWidgetItem(Type)
{
    QTreeWidgetItem::setData(0, Qt::DisplayRole, text);
}

QVariant TTreeNode::data(int column, int role) const
{
    if (role == Qt::DecorationRole && column == 0)
        return TImageList::nodeImages().nodeIcon(ImageIndex, SelectedIndex);
    return QTreeWidgetItem::data(column, role);
}

QTreeWidgetItem* TTreeNode::clone() const
{
    auto* copy = new TTreeNode(text(0));
    copy->ImageIndex = ImageIndex;
    copy->SelectedIndex = SelectedIndex;
    for (int i = 0; i < childCount(); ++i)
        copy->addChild(child(i)->clone());
    return copy;
}

void TTreeNode::setImages(int image, int selectedImage)
{
    if (ImageIndex == image && SelectedIndex == selectedImage)
        return;
    ImageIndex = image;
    SelectedIndex = selectedImage;
    emitDataChanged();
}

namespace treefile {

ReadResult parseLines(const QList<QByteArray>& lines)
{
    ReadResult r;
    r.nodes.reserve(lines.size());
    // path[d] is the last node read at depth d.
    QList<QTreeWidgetItem*> path;
    for (const QByteArray& line : lines) {
        qsizetype depth = 0;
        while (depth < line.size() && (line[depth] == '\t' || line[depth] == ' '))
            ++depth;
        const QString text = platform::fromCp1251(QByteArrayView(line.constData() + depth, line.size() - depth));
        if (path.isEmpty())
            depth = 0; // the first line is a top-level node whatever its indentation
        if (depth > path.size()) {
            r.error = QStringLiteral("Invalid level (%1) for item \"%2\"").arg(depth).arg(text);
            break;
        }
        auto* node = new TTreeNode(text);
        if (depth == 0)
            r.topLevel.append(node);
        else
            path[depth - 1]->addChild(node);
        path.resize(depth);
        path.append(node);
        r.nodes.append(node);
    }
    return r;
}

bool loadTree(QTreeWidget* tree, const QString& path, QString* readError, QList<QTreeWidgetItem*>* nodes)
{
    tree->clear();
    if (readError)
        readError->clear();
    QList<QByteArray> lines;
    if (!platform::loadLines(path, lines, readError))
        return false;
    ReadResult r = parseLines(lines);
    tree->addTopLevelItems(r.topLevel);
    if (readError)
        *readError = r.error;
    if (nodes)
        *nodes = std::move(r.nodes);
    return true;
}

namespace {
// Depth-first walk without recursion, so deep trees cannot exhaust the stack.
template <typename F>
void walk(const QTreeWidget* tree, F&& f)
{
    QList<std::pair<QTreeWidgetItem*, int>> stack; // (parent, next child index)
    QTreeWidgetItem* root = tree->invisibleRootItem();
    stack.append({root, 0});
    int depth = -1;
    while (!stack.isEmpty()) {
        auto& top = stack.last();
        if (top.second >= top.first->childCount()) {
            stack.removeLast();
            --depth;
            continue;
        }
        QTreeWidgetItem* child = top.first->child(top.second++);
        if (!f(child, depth + 1))
            return;
        if (child->childCount() > 0) {
            stack.append({child, 0});
            ++depth;
        }
    }
}
} // namespace

QList<QTreeWidgetItem*> allNodes(const QTreeWidget* tree)
{
    QList<QTreeWidgetItem*> out;
    walk(tree, [&](QTreeWidgetItem* n, int) {
        out.append(n);
        return true;
    });
    return out;
}

QTreeWidgetItem* nodeAt(const QTreeWidget* tree, int index)
{
    if (index < 0)
        return nullptr;
    QTreeWidgetItem* found = nullptr;
    int i = 0;
    walk(tree, [&](QTreeWidgetItem* n, int) {
        if (i++ == index) {
            found = n;
            return false;
        }
        return true;
    });
    return found;
}

int absoluteIndex(const QTreeWidgetItem* item)
{
    if (!item || !item->treeWidget())
        return -1;
    int i = 0, result = -1;
    walk(item->treeWidget(), [&](QTreeWidgetItem* n, int) {
        if (n == item) {
            result = i;
            return false;
        }
        ++i;
        return true;
    });
    return result;
}

bool hasMoreThanOneNode(const QTreeWidget* tree)
{
    const int top = tree->topLevelItemCount();
    return top > 1 || (top == 1 && tree->topLevelItem(0)->childCount() > 0);
}

int nodeCount(const QTreeWidget* tree)
{
    int n = 0;
    walk(tree, [&](QTreeWidgetItem*, int) {
        ++n;
        return true;
    });
    return n;
}

bool treeLines(const QTreeWidget* tree, QList<QByteArray>& lines, QString* error)
{
    lines.clear();
    bool ok = true;
    walk(tree, [&](QTreeWidgetItem* n, int depth) {
        const QString text = n->text(0);
        bool good = true;
        QByteArray bytes = platform::encode(platform::CodePage::Windows1251, text, &good);
        if (!good) {
            if (error)
                *error = QStringLiteral("The node \"%1\" holds characters that a tree file cannot hold.").arg(text);
            ok = false;
            return false;
        }
        QByteArray line(depth, '\t');
        line += bytes;
        lines.append(std::move(line));
        return true;
    });
    return ok;
}

bool saveTree(const QTreeWidget* tree, const QString& path, QString* error)
{
    QList<QByteArray> lines;
    if (!treeLines(tree, lines, error))
        return false;
    return platform::saveLines(path, lines, error);
}

bool saveTreeAndIcons(const QTreeWidget* tree, const QString& path, const QString& indPath, QString* error)
{
    return saveTree(tree, path, error) && platform::saveLines(indPath, iconLines(allNodes(tree)), error);
}

int imageIndex(const QTreeWidgetItem* item)
{
    return item && item->type() == TTreeNode::Type ? static_cast<const TTreeNode*>(item)->ImageIndex : 0;
}

int selectedIndex(const QTreeWidgetItem* item)
{
    return item && item->type() == TTreeNode::Type ? static_cast<const TTreeNode*>(item)->SelectedIndex : 0;
}

void setImageIndex(QTreeWidgetItem* item, int image)
{
    if (item && item->type() == TTreeNode::Type)
        static_cast<TTreeNode*>(item)->setImages(image, image + 20);
    else if (item)
        item->setIcon(0, TImageList::nodeImages().nodeIcon(image, image + 20));
}

QList<QByteArray> iconLines(const QList<QTreeWidgetItem*>& nodes)
{
    QList<QByteArray> out;
    out.reserve(nodes.size());
    for (const QTreeWidgetItem* n : nodes)
        out.append(QByteArray::number(imageIndex(n)));
    return out;
}

void applyIconLines(const QList<QTreeWidgetItem*>& nodes, const QList<QByteArray>& lines)
{
    const qsizetype n = std::min(nodes.size(), lines.size());
    for (qsizetype i = 0; i < n; ++i) {
        bool ok = false;
        const int v = lines[i].trimmed().toInt(&ok);
        if (!ok || nodes[i]->type() != TTreeNode::Type)
            continue;
        auto* node = static_cast<TTreeNode*>(nodes[i]);
        node->ImageIndex = v;
        node->SelectedIndex = v + 20;
    }
}

} // namespace treefile
