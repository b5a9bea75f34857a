// The node manager: the target catalog's tree and the move of a node dropped on it.
#include "UnitMove.h"

#include "FolderTree.h"
#include "MoveRecovery.h"
#include "NodeMove.h"
#include "NodeTreeView.h"
#include "TreeFile.h"
#include "UnitDir.h"
#include "UnitSlova.h"
#include "editor/REMain.h"
#include "web/UnitHtmlKategory.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileNames.h"
#include "platform/text/LineList.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormMove* FormMove = nullptr;

namespace {
void tell(const QString& text, platform::MsgIcon icon = platform::MsgIcon::Warning)
{
    // The node manager stays on top: its messages must show above it, not behind it.
    platform::DialogOwner owner(FormMove);
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, icon);
}

QStringList subtreeTexts(const QTreeWidgetItem* node)
{
    QStringList texts;
    QList<const QTreeWidgetItem*> stack{node};
    while (!stack.isEmpty()) {
        const QTreeWidgetItem* n = stack.takeLast();
        texts.append(n->text(0));
        for (int i = 0; i < n->childCount(); ++i)
            stack.append(n->child(i));
    }
    return texts;
}

// True when the tree file and its icon file on disk hold the main tree as it is shown.
bool sourceTreeOnDisk(const TFormSlova* m)
{
    QList<QByteArray> shown, file, icons;
    return treefile::treeLines(m->Tree1, shown, nullptr)
           && platform::loadLines(m->CatalogFile(m->CurrentLayer), file) && file == shown
           && platform::loadLines(m->CatalogFile(m->CurrentLayer + QStringLiteral("_ind")), icons)
           && icons == treefile::iconLines(treefile::allNodes(m->Tree1));
}

QString canonical(const QString& folder)
{
    const QString c = QFileInfo(folder).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(folder) : c;
}
} // namespace

TFormMove::TFormMove() : TForm(QStringLiteral("FormMove"))
{
    setWindowTitle(QStringLiteral("Reorganizator node manager"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    auto* v = new QVBoxLayout(this);
    folders = new TFolderTree(this, QStringLiteral("dl"));
    dl = folders->view;
    TV = new QTreeWidget(this);
    TV->setObjectName(QStringLiteral("TV"));
    TV->setHeaderHidden(true);
    TV->setIconSize(QSize(16, 16));
    TV->setUniformRowHeights(true);
    TV->setAcceptDrops(true);
    TV->setDragDropMode(QAbstractItemView::DropOnly);
    TV->viewport()->setAcceptDrops(true);
    TV->viewport()->installEventFilter(this);
    Panel1 = new QPushButton(QStringLiteral("Close"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoDefault(false);
    v->addWidget(dl, 1);
    v->addWidget(TV, 2);
    v->addWidget(Panel1);
    connect(Panel1, &QPushButton::clicked, this, &TFormMove::Panel1Click);
    connect(dl, &QTreeView::clicked, this, &TFormMove::FileTree);
    connect(folders, &TFolderTree::chosenWithKeyboard, this, &TFormMove::FileTree);
    resize(300, 500);
}

TFormMove::~TFormMove() { delete folders; }

void TFormMove::showEvent(QShowEvent* e)
{
    dl->setEnabled(true);
    dl->show();
    if (FormSlova)
        folders->openAt(FormSlova->ProjectPath);
    TForm::showEvent(e);
}

void TFormMove::FileTree()
{
    const QString folder = folders->selected();
    TV->clear();
    TargetDir.clear();
    if (folder.isEmpty() || !FormSlova)
        return;
    const QString target = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    // Moving into the catalog the node comes from would lose its files under the same names.
    if (canonical(target) == canonical(FormSlova->ProjectPath)) {
        tell(QStringLiteral("This is the current catalog. Choose another catalog to move nodes into."));
        return;
    }
    platform::ResolveScope scope;
    const QString file = platform::resolveIn(target, QStringLiteral("menue"));
    // A folder without a tree file shows an empty tree: nothing can be dropped there.
    if (!QFileInfo(file).isFile())
        return;
    // A move cut short is settled at a later load only into a catalog of the catalog list.
    if (!nodemove::isKnownCatalog(target, knownCatalogs(FormSlova->ProgramDir))) {
        tell(QStringLiteral("The catalog %1 is not in the catalog list. Add it there (Open dir, Add Dir) to move nodes "
                            "into it.").arg(target));
        return;
    }
    TargetDir = target;
    QString error;
    QList<QTreeWidgetItem*> nodes;
    const bool read = treefile::loadTree(TV, file, &error, &nodes);
    if (!read || !error.isEmpty()) {
        // A tree not read whole is never written back: it is not offered as a target.
        TV->clear();
        TargetDir.clear();
        tell(error, platform::MsgIcon::Error);
        return;
    }
    QList<QByteArray> icons;
    if (platform::loadLines(platform::resolveIn(target, QStringLiteral("Menue_ind")), icons))
        treefile::applyIconLines(nodes, icons);
    // The top level opened; deeper levels on request (a large tree lays out at once this way).
    for (int i = 0; i < TV->topLevelItemCount(); ++i)
        TV->topLevelItem(i)->setExpanded(true);
}

QTreeWidgetItem* TFormMove::dropTarget(const QPoint& pos) const
{
    QTreeWidgetItem* item = TV->itemAt(pos);
    if (!item)
        return nullptr;
    // The item's rectangle starts after the indent (and the expand mark) of its level.
    if (pos.x() < TV->visualItemRect(item).left())
        return nullptr;
    return item;
}

bool TFormMove::eventFilter(QObject* o, QEvent* e)
{
    if (o == TV->viewport()) {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* d = static_cast<QDropEvent*>(e);
            if (TNodeTreeView::draggedIndex(d->mimeData()) >= 0)
                d->acceptProposedAction();
            else
                d->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* d = static_cast<QDropEvent*>(e);
            if (const int index = TNodeTreeView::draggedIndex(d->mimeData()); index >= 0)
                TVDragDrop(index, d->position().toPoint());
            // The node's move is ours: the source must not remove anything itself.
            d->setDropAction(Qt::CopyAction);
            d->accept();
            return true;
        }
        default:
            break;
        }
    }
    return TForm::eventFilter(o, e);
}

bool TFormMove::letGo(const QTreeWidgetItem* node, const QStringList& files)
{
    TFormSlova* m = FormSlova;
    // A note of a moved node still in the editor is saved or given up first; Cancel stops.
    if (FormEdit && m->EditorShown == 1 && subtreeTexts(node).contains(m->CurrentNodeText) && !FormEdit->Close())
        return false;
    // A moved page's header changes are written before the page leaves, and the header
    // editor is closed so that it keeps no page of this catalog that is gone.
    if (FormHTMLKategory && files.contains(FormHTMLKategory->LoadedFile())) {
        if (!FormHTMLKategory->HTMLSave())
            return false;
        FormHTMLKategory->close();
    }
    return true;
}

bool TFormMove::TVDragDrop(int nodeIndex, const QPoint& pos)
{
    // Every question of the move (the editor's "Save changes" too) shows above this window.
    platform::DialogOwner owner(this);
    TFormSlova* m = FormSlova;
    // Nothing moves while no catalog is loaded, in read-only mode, or from a tree that cannot
    // be written back.
    if (!m || m->NoCatalog || m->ReadOnlyMode() || TargetDir.isEmpty())
        return false;
    QTreeWidgetItem* node = treefile::nodeAt(m->Tree1, nodeIndex);
    if (!node)
        return false;
    if (m->TreeIncomplete) {
        tell(QStringLiteral("The tree was not read completely, so it cannot be changed."));
        return false;
    }
    if (canonical(TargetDir) == canonical(m->ProjectPath)) {
        tell(QStringLiteral("This is the current catalog. Choose another catalog to move nodes into."));
        return false;
    }
    QList<nodemove::FileMove> moves;
    QString error;
    switch (nodemove::planMove(node, m->ProjectPath, TargetDir, moves, &error)) {
    case nodemove::PlanResult::NoFile:
        tell(QStringLiteral("The is no file for move."));
        return false;
    case nodemove::PlanResult::Refused:
        tell(error);
        return false;
    case nodemove::PlanResult::Ok:
        break;
    }
    QTreeWidgetItem* target = dropTarget(pos);
    if (!target)
        return false;
    QStringList sources;
    for (const auto& mv : moves)
        sources.append(mv.from);
    if (!letGo(node, sources))
        return false;
    // A record of the move lies beside the source's tree until both trees are written, so that
    // the next load finishes a move cut short or puts its files back. It describes the tree
    // file, which must show the node where the tree does.
    if (!sourceTreeOnDisk(m) && !m->WriteTreeAndIcons())
        return false;
    nodemove::MoveRecord record;
    record.sourceDir = m->ProjectPath;
    record.targetDir = TargetDir;
    record.treeName = m->CurrentLayer;
    record.nodeText = node->text(0);
    record.nodeIndex = nodeIndex;
    record.files = moves;
    if (!nodemove::beginMove(record, &error)) {
        tell(error + QStringLiteral("\nNothing was moved."), platform::MsgIcon::Error);
        return false;
    }
    auto recordDone = [&] {
        if (nodemove::allAtSource(moves))
            nodemove::endMove(m->ProjectPath);
    };
    if (!nodemove::moveAll(moves, &error)) {
        recordDone();
        tell(error, platform::MsgIcon::Error);
        return false;
    }
    // The target's tree and icons name the moved files at once; if they cannot be written,
    // the files go back where their tree still names them.
    QTreeWidgetItem* copy = node->clone();
    target->insertChild(0, copy);
    platform::ResolveScope scope;
    const QString targetTree = platform::resolveIn(TargetDir, QStringLiteral("Menue"));
    const QString targetInd = platform::resolveIn(TargetDir, QStringLiteral("Menue_ind"));
    QByteArray oldTree;
    platform::readWholeFile(targetTree, oldTree);
    if (!treefile::saveTreeAndIcons(TV, targetTree, targetInd, &error)) {
        delete copy;
        // The tree file may have been written before its icon file failed: it must not name
        // the files that go back.
        QByteArray nowTree;
        if (platform::readWholeFile(targetTree, nowTree) && nowTree != oldTree)
            platform::writeOwnFileAtomic(targetTree, oldTree);
        QList<nodemove::FileMove> back;
        for (const auto& mv : moves)
            back.prepend({mv.to, mv.from});
        QString undoError;
        nodemove::moveAll(back, &undoError);
        recordDone();
        tell(error + QStringLiteral("\nThe node was not moved.") +
                 (undoError.isEmpty() ? QString() : QLatin1Char('\n') + undoError),
             platform::MsgIcon::Error);
        return false;
    }
    target->setExpanded(true);
    nodemove::cutPoint(int(moves.size()));

    // The source loses the node and its subtree, and its tree file says so at once.
    // The page or note shown, CurrentNodeText and CurrentFile must not name what is gone.
    if (subtreeTexts(node).contains(m->CurrentNodeText) || sources.contains(m->CurrentFile))
        m->ForgetOpenedNode();
    // The current node keeps its index through the removal; when it leaves, the selected one.
    QTreeWidgetItem* current = treefile::nodeAt(m->Tree1, m->CurrentIndex);
    bool currentGoes = !current;
    for (QTreeWidgetItem* n = current; n && !currentGoes; n = n->parent())
        currentGoes = n == node;
    delete node;
    m->CurrentIndex = std::max(0, treefile::absoluteIndex(currentGoes ? m->Tree1->currentItem() : current));
    if (m->WriteTreeAndIcons())
        nodemove::endMove(m->ProjectPath);
    return true;
}
