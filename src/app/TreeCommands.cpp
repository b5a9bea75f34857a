// Main window: node operations (add, delete, rename, move up, drag and drop, the hidden tree
// menu items) with their undo snapshots, and the wiring of the tree commands to the controls.
#include "UnitSlova.h"

#include "NodeFiles.h"
#include "NodeTreeView.h"
#include "ProgramPaths.h"
#include "TreeFile.h"
#include "editor/REMain.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/text/LineList.h"
#include "web/UnitHtmlKategory.h"

#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>

#include <algorithm>

namespace {
const QString kTreeIncomplete = QStringLiteral(
    "The tree file could not be read completely, so the tree is not changed: its changes could not be saved "
    "without losing the nodes that were not read. Mend the tree file and load the catalog again.");
// Marks the node a rename started on, so its second step finds it wherever it has gone.
constexpr int RenameRole = Qt::UserRole + 17;

void showError(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}


bool isInSubtree(const QTreeWidgetItem* root, const QTreeWidgetItem* node)
{
    for (const QTreeWidgetItem* n = node; n; n = n->parent())
        if (n == root)
            return true;
    return false;
}
} // namespace

void TFormSlova::wireTreeCommands()
{
    auto* tree = static_cast<TNodeTreeView*>(Tree1);
    connect(tree, &TNodeTreeView::nodeClicked, this, &TFormSlova::Tree1Click);
    connect(tree, &TNodeTreeView::nodeDropped, this, &TFormSlova::Tree1DragDrop);
    connect(Button1, &QPushButton::clicked, this, &TFormSlova::RenameFile);
    connect(wrd, &QLineEdit::returnPressed, this, &TFormSlova::wrdKeyPress);
    connect(Button2, &QPushButton::clicked, this, &TFormSlova::Button2Click);
}

bool TFormSlova::treeMayChange(bool readOnlyBlocks)
{
    if (NoCatalog || (readOnlyBlocks && ReadOnlyMode()))
        return false;
    if (TreeIncomplete) {
        showError(kTreeIncomplete);
        return false;
    }
    return true;
}

void TFormSlova::loadEmptyTreeTemplate()
{
    const QString clear = platform::resolveIn(ProgramDir, QStringLiteral("menue_clear"));
    QString error;
    if (!QFileInfo::exists(clear) || !treefile::loadTree(Tree1, clear, &error) || Tree1->topLevelItemCount() == 0) {
        Tree1->clear();
        Tree1->addTopLevelItem(new TTreeNode(QStringLiteral("Menue")));
    }
    Tree1->setCurrentItem(Tree1->topLevelItem(0));
    CurrentIndex = 0;
}

void TFormSlova::ADD_Node()
{
    const bool empty = Tree1->topLevelItemCount() == 0;
    QTreeWidgetItem* selected = Tree1->currentItem();
    if ((!empty && !selected) || !treeMayChange())
        return;
    platform::ResolveScope scope;
    if (!WriteUndo())
        return;
    if (empty) {
        loadEmptyTreeTemplate();
        return;
    }
    QTreeWidgetItem* current = treefile::nodeAt(Tree1, CurrentIndex);
    auto* node = new TTreeNode(QString());
    selected->insertChild(0, node);
    selected->setExpanded(true);
    Tree1->setCurrentItem(node);
    if (current)
        CurrentIndex = treefile::absoluteIndex(current);
    Panel1->hide();
    Edit_node();
    // No rename started (the editor kept its note on Cancel, or the page's header could not be
    // written): the add stops there, leaving no node without a text in the tree or its file.
    if (Panel1->isHidden()) {
        delete node;
        Tree1->setCurrentItem(selected);
        if (current)
            CurrentIndex = treefile::absoluteIndex(current);
        return;
    }
    SaveTree();
}

void TFormSlova::Dell_node()
{
    QTreeWidgetItem* selected = Tree1->currentItem();
    if (NoCatalog || !selected)
        return;
    const bool readOnly = ReadOnlyMode();
    if (!readOnly && !treeMayChange())
        return;
    if (platform::dialogs().message(QStringLiteral("Delete node?"), QString(), platform::MsgButtons::OkCancel,
                                    platform::MsgIcon::Question)
        != platform::MsgResult::Ok)
        return;
    // The open note may be the one erased: it must be safe (or dropped by the user) first.
    if (FormEdit && !FormEdit->Close())
        return;
    if (readOnly)
        return;
    platform::ResolveScope scope;
    if (!WriteUndo())
        return;
    // The files erased are those of the deleted node, whichever node was opened last.
    const QString name = selected->text(0);
    QTreeWidgetItem* current = treefile::nodeAt(Tree1, CurrentIndex);
    const bool currentGoes = !current || isInSubtree(selected, current);
    delete selected;
    CurrentIndex = std::max(0, treefile::absoluteIndex(currentGoes ? Tree1->currentItem() : current));
    SaveTree();
    // The editor was closed above, its note saved or given up: the question is not asked again.
    PanelWeb->hide();
    // Nothing is shown now: the next click opens whatever node it is on, and the page header
    // editor lets go of its page (its pending lines are written first), so it never writes the
    // erased page back.
    ForgetOpenedNode();
    if (FormHTMLKategory)
        FormHTMLKategory->LoadHTMLList();
    // Another node of the same text (in any layer of the catalog) opens the same file: it stays.
    if (namedByAnotherNode(name))
        return;
    const QString file = nodefiles::lastExisting(ProjectPath, name, {".txt", ".rtf", ".htm", ".html"});
    if (!file.isEmpty() && !QFile::remove(file))
        showError(QStringLiteral("The file \"%1\" could not be erased.").arg(file));
}

bool TFormSlova::namedByAnotherNode(const QString& text, const QTreeWidgetItem* except) const
{
    // File lookups ignore letter case: a text in another case opens the same files unless files
    // of its own spelling exist.
    const QStringList files = nodefiles::nodeFileNames(ProjectPath, text);
    auto same = [&](const QString& other) {
        if (other == text)
            return true;
        if (other.compare(text, Qt::CaseInsensitive) != 0)
            return false;
        const QStringList theirs = nodefiles::nodeFileNames(ProjectPath, other);
        return std::any_of(theirs.begin(), theirs.end(), [&files](const QString& f) { return files.contains(f); });
    };
    for (const QTreeWidgetItem* n : treefile::allNodes(Tree1))
        if (n != except && same(n->text(0)))
            return true;
    // The other layers' trees name files of this folder too.
    for (const QString& layer : LayerList()) {
        if (layer.compare(CurrentLayer, Qt::CaseInsensitive) == 0 || !app::isUsableLayerName(layer))
            continue;
        QList<QByteArray> lines;
        if (!platform::loadLines(CatalogFile(layer), lines))
            continue;
        const treefile::ReadResult read = treefile::parseLines(lines);
        const bool found = std::any_of(read.nodes.begin(), read.nodes.end(),
                                       [&same](const QTreeWidgetItem* n) { return same(n->text(0)); });
        qDeleteAll(read.topLevel);
        if (found)
            return true;
    }
    return false;
}

void TFormSlova::Edit_node()
{
    if (FormHTMLKategory)
        FormHTMLKategory->close();
    QTreeWidgetItem* node = Tree1->currentItem();
    if (!node || !treeMayChange())
        return;
    // The note would be renamed under the editor: stop unless it is closed. Pending header
    // lines go to the page now, under its present name.
    if (FormEdit && !FormEdit->Close())
        return;
    if (FormHTMLKategory && !FormHTMLKategory->HTMLSave())
        return;
    const QString text = node->text(0);
    if (text.contains(u'%'))
        platform::dialogs().message(QString::fromUtf8(
            "Редактировать можно только ту часть описания, что находится до символа\"%\""));
    wrd->setText(text);
    OldNodeText = text;
    node->setData(0, RenameRole, ++renameSerial_);
    // As wide as the tree, or wider when the tree is too narrow for the buttons' captions.
    const QMargins m = Panel1->layout()->contentsMargins();
    const int buttons = Button1->sizeHint().width() + Button2->sizeHint().width() + Panel1->layout()->spacing();
    Panel1->resize(std::max({40, Tree1->width() - 10, buttons + m.left() + m.right()}), Panel1->height());
    Panel1->move(4, (centralWidget()->height() - Panel1->height()) / 2);
    wrd->setFixedWidth(Panel1->width() - m.left() - m.right());
    Panel1->show();
    Panel1->raise();
    wrd->setFocus();
}

void TFormSlova::wrdKeyPress() { RenameFile(); }

void TFormSlova::RenameFile()
{
    if (NoCatalog || ReadOnlyMode()) {
        Panel1->hide();
        return;
    }
    const QString text = wrd->text().trimmed();
    if (const QString why = nodefiles::newNodeTextReason(text); !why.isEmpty()) {
        platform::dialogs().message(why);
        return;
    }
    // The node the rename started on, wherever it is now; gone means nothing to rename.
    QTreeWidgetItem* node = nullptr;
    if (renameSerial_ > 0) {
        for (QTreeWidgetItem* n : treefile::allNodes(Tree1))
            if (n->data(0, RenameRole).toLongLong() == renameSerial_) {
                node = n;
                break;
            }
    }
    if (!node) {
        Panel1->hide();
        return;
    }
    // Everything that could stop the rename is checked before anything changes: a rename that
    // fails leaves the node, its files, the tree file and the rename copy as they were, and the
    // panel open for another name.
    if (text != OldNodeText) {
        const QString why =
            nodefiles::renameBlocker(ProjectPath, OldNodeText, text, nodefiles::catalogOwnFiles(LayerList()));
        if (!why.isEmpty()) {
            showError(why);
            return;
        }
        // The files stay with the other nodes that open them; this node cannot take them away.
        if (text.compare(OldNodeText, Qt::CaseInsensitive) != 0 && namedByAnotherNode(OldNodeText, node)) {
            if (const QStringList shared = nodefiles::nodeFileNames(ProjectPath, OldNodeText); !shared.isEmpty()) {
                showError(QStringLiteral("The node \"%1\" was not renamed to \"%2\": another node of the text \"%1\" "
                                         "opens its file \"%3\" too, and would lose it.")
                              .arg(OldNodeText, text, ProjectPath + shared.first()));
                return;
            }
        }
    }
    if (!WriteUndo(QStringLiteral("menue_undo.txt")))
        return;
    if (text != OldNodeText) {
        if (const QString error = nodefiles::renameNodeFiles(ProjectPath, OldNodeText, text); !error.isEmpty()) {
            showError(error);
            return;
        }
    }
    node->setText(0, text);
    if (!SaveTree()) {
        node->setText(0, OldNodeText);
        if (text != OldNodeText)
            nodefiles::renameNodeFiles(ProjectPath, text, OldNodeText);
        return;
    }
    Panel1->hide();
    node->setData(0, RenameRole, QVariant());
    renameSerial_ = 0;
    CurrentFile.clear();
    Tree1->setCurrentItem(node);
    Tree1Click();
}

void TFormSlova::Button2Click()
{
    const QString file = platform::dialogs().openFileName(QString(), ProjectPath, QString());
    if (file.isEmpty())
        return;
    QString name = QFileInfo(file).fileName();
    // Trimmed, the text would name no file of the catalog: the blank is part of the name.
    if (name.startsWith(u' ') || name.startsWith(u'\t')) {
        platform::dialogs().message(QStringLiteral("The file name \"%1\" begins with a blank: a node's text cannot, so "
                                                   "no node can name this file.")
                                        .arg(name));
        return;
    }
    name = name.trimmed();
    wrd->setText(name.left(std::max<qsizetype>(0, name.size() - 4)));
}

void TFormSlova::Move_UP()
{
    QTreeWidgetItem* selected = Tree1->currentItem();
    if (!selected || !treeMayChange())
        return;
    // The node changes places with its sibling above, taking its icon and its whole subtree
    // along; the first among its siblings stays where it is.
    QTreeWidgetItem* parent = selected->parent() ? selected->parent() : Tree1->invisibleRootItem();
    const int i = parent->indexOfChild(selected);
    if (i <= 0)
        return;
    QTreeWidgetItem* current = treefile::nodeAt(Tree1, CurrentIndex);
    // Taking a node out of the view forgets which of its nodes were expanded.
    QList<QTreeWidgetItem*> expanded, walk{selected};
    while (!walk.isEmpty()) {
        QTreeWidgetItem* n = walk.takeLast();
        if (n->isExpanded())
            expanded.append(n);
        for (int c = 0; c < n->childCount(); ++c)
            walk.append(n->child(c));
    }
    parent->takeChild(i);
    parent->insertChild(i - 1, selected);
    for (QTreeWidgetItem* n : expanded)
        n->setExpanded(true);
    Tree1->setCurrentItem(selected);
    if (current)
        CurrentIndex = treefile::absoluteIndex(current);
    platform::ResolveScope scope;
    SaveTree();
}

void TFormSlova::Tree1DragDrop(const QPoint& viewportPos, int draggedIndex)
{
    if (NoCatalog || ReadOnlyMode())
        return;
    QTreeWidgetItem* target = Tree1->itemAt(viewportPos);
    // Over nothing, or over the indentation and expand mark left of the node: no target.
    if (!target || viewportPos.x() < Tree1->visualItemRect(target).left())
        return;
    if (!treeMayChange())
        return;
    const QList<QTreeWidgetItem*> nodes = treefile::allNodes(Tree1);
    QTreeWidgetItem* dragged = nodes.value(draggedIndex);
    // A node cannot become a child of itself or of one of its descendants.
    if (!dragged || isInSubtree(dragged, target))
        return;
    QTreeWidgetItem* current = nodes.value(CurrentIndex);
    QTreeWidgetItem* parent = dragged->parent() ? dragged->parent() : Tree1->invisibleRootItem();
    parent->takeChild(parent->indexOfChild(dragged));
    target->addChild(dragged);
    target->setExpanded(true);
    Tree1->setCurrentItem(dragged);
    if (current)
        CurrentIndex = treefile::absoluteIndex(current);
    platform::ResolveScope scope;
    SaveTree();
}

void TFormSlova::DelTopLevel()
{
    if (!treeMayChange())
        return;
    platform::ResolveScope scope;
    const QString file = CatalogFile(CurrentLayer);
    QList<QByteArray> lines;
    QString error;
    if (!platform::loadLines(file, lines, &error)) {
        showError(error);
        return;
    }
    // Only indentation is cut: the first level's own texts keep their first letters.
    for (QByteArray& l : lines)
        if (!l.isEmpty() && (l[0] == '\t' || l[0] == ' '))
            l.remove(0, 1);
    if (!platform::saveLines(file, lines, &error)) {
        showError(error);
        return;
    }
    LoadMenue();
}

void TFormSlova::OpenFile()
{
    QTreeWidgetItem* selected = Tree1->currentItem();
    if (!selected || !treeMayChange())
        return;
    const QString file = platform::dialogs().openFileName(QString(), ProjectPath, QString());
    if (file.isEmpty())
        return;
    const QString text = QFileInfo(file).fileName() + QStringLiteral(" % ") + file;
    if (const QString why = nodefiles::newNodeTextReason(text); !why.isEmpty()) {
        showError(why);
        return;
    }
    QTreeWidgetItem* current = treefile::nodeAt(Tree1, CurrentIndex);
    selected->insertChild(0, new TTreeNode(text));
    if (current)
        CurrentIndex = treefile::absoluteIndex(current);
    platform::ResolveScope scope;
    SaveTree();
}
