// The category filter window: the category tree, its marks, the selected categories and files.
#include "UnitFiltr.h"

#include "app/TreeFile.h"
#include "app/UnitSlova.h"

#include <QAction>
#include <QEvent>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSet>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

TFormFiltr* FormFiltr = nullptr;

namespace {

constexpr int ImageRole = Qt::UserRole + 1;
constexpr int SelectedImageRole = Qt::UserRole + 2;
constexpr int MarkIcon = 4;

// A category node: shows the window's icon of its number.
class KatNode : public QTreeWidgetItem {
public:
    explicit KatNode(const QList<QIcon>* icons) : icons_(icons) {}
    QVariant data(int column, int role) const override
    {
        if (role == Qt::DecorationRole && column == 0) {
            const int i = (isSelected() ? QTreeWidgetItem::data(0, SelectedImageRole) : QTreeWidgetItem::data(0, ImageRole)).toInt();
            return i >= 0 && i < icons_->size() ? QVariant(icons_->at(i)) : QVariant();
        }
        return QTreeWidgetItem::data(column, role);
    }

private:
    const QList<QIcon>* icons_;
};

// The window's icons: a plain category and a marked one (a tick); 1 to 3 are plain too.
QList<QIcon> drawIcons()
{
    QList<QIcon> out;
    for (int i = 0; i < 5; ++i) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        if (i == MarkIcon) {
            p.setBrush(QColor(40, 150, 60));
            p.setPen(Qt::NoPen);
            p.drawRoundedRect(1, 1, 14, 14, 3, 3);
            p.setPen(QPen(Qt::white, 2));
            p.drawPolyline(QPolygon({QPoint(4, 8), QPoint(7, 11), QPoint(12, 4)}));
        } else {
            p.setBrush(QColor(235, 200, 90));
            p.setPen(QColor(150, 120, 40));
            p.drawRect(2, 4, 12, 9);
        }
        p.end();
        out << QIcon(pm);
    }
    return out;
}

void walk(QTreeWidgetItem* item, const std::function<void(QTreeWidgetItem*)>& f)
{
    f(item);
    for (int i = 0; i < item->childCount(); ++i)
        walk(item->child(i), f);
}

void walkTree(QTreeWidget* tree, const std::function<void(QTreeWidgetItem*)>& f)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), f);
}

} // namespace

TFormFiltr::TFormFiltr() : TForm(QStringLiteral("FormFiltr"))
{
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    setSizeGripEnabled(true);
    resize(260, 420);
    ImageList1 = drawIcons();
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    PC1 = new QTabBar(this);
    PC1->setObjectName(QStringLiteral("PC1"));
    v->addWidget(PC1);

    auto panel = [this, v](const char* name, const QString& caption, QWidget* child) {
        auto* p = new QWidget(this);
        p->setObjectName(QLatin1String(name));
        p->setAccessibleName(caption);
        auto* l = new QVBoxLayout(p);
        l->setContentsMargins(0, 0, 0, 0);
        child->setParent(p);
        l->addWidget(child);
        v->addWidget(p, 1);
        return p;
    };
    TreeKat = new QTreeWidget();
    TreeKat->setObjectName(QStringLiteral("TreeKat"));
    TreeKat->setHeaderHidden(true);
    TreeKat->setContextMenuPolicy(Qt::CustomContextMenu);
    PanelKat = panel("PanelKat", QStringLiteral("Category tree"), TreeKat);
    TreeView1 = new QTreeWidget();
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    PanelSelected = panel("PanelSelected", QStringLiteral("Selected category"), TreeView1);
    ListFiles = new QListWidget();
    ListFiles->setObjectName(QStringLiteral("ListFiles"));
    PanelFiles = panel("PanelFiles", QStringLiteral("Selected files"), ListFiles);

    PopupMenu1 = new QMenu(this);
    Select1 = PopupMenu1->addAction(QStringLiteral("Select"), this, &TFormFiltr::Select1Click);
    Select1->setObjectName(QStringLiteral("Select1"));
    Clear1 = PopupMenu1->addAction(QStringLiteral("Clear"), this, &TFormFiltr::Clear1Click);
    Clear1->setObjectName(QStringLiteral("Clear1"));
    Rereadfiltertree1 = PopupMenu1->addAction(QStringLiteral("Reread filter tree"), this, &TFormFiltr::FFillTree);
    Rereadfiltertree1->setObjectName(QStringLiteral("Rereadfiltertree1"));
    connect(TreeKat, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(TreeKat->viewport()->mapToGlobal(p)); });
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, [this] { TreeView1DblClick(); });
    connect(ListFiles, &QListWidget::itemClicked, this, [this] { ListFilesClick(); });
    FormCreate();
}

void TFormFiltr::FormCreate()
{
    PC1->addTab(QStringLiteral("Categorys"));
    PC1->addTab(QStringLiteral("Selected"));
    PC1->addTab(QStringLiteral("Files"));
    connect(PC1, &QTabBar::currentChanged, this, [this] { PC1Change(); });
    // The catalog shown, not the setting "path": that may name another catalog or nothing.
    FiltrPath = FormSlova ? FormSlova->ProjectPath : QString();
    setWindowTitle(QStringLiteral("Filtr form"));
    FormResize();
    FFillTree();
    SelectedPaths.clear();
    PC1Change();
    // The main window's tree changes with every catalog load and with the pages a download run
    // or a node command adds or removes: a shown filter follows.
    if (FormSlova) {
        const auto changed = [this] {
            if (followPending_)
                return;
            followPending_ = true;
            QTimer::singleShot(0, this, [this] {
                followPending_ = false;
                if (isVisible())
                    FollowCatalog();
            });
        };
        QAbstractItemModel* m = FormSlova->Tree1->model();
        connect(m, &QAbstractItemModel::rowsInserted, this, changed);
        connect(m, &QAbstractItemModel::rowsRemoved, this, changed);
        connect(m, &QAbstractItemModel::modelReset, this, changed);
    }
}

void TFormFiltr::FollowCatalog()
{
    // Without a catalog the tree belongs to none: the filter waits for the next one.
    if (!FormSlova || FormSlova->NoCatalog)
        return;
    const QString path = FormSlova->ProjectPath;
    const bool same = path == FiltrPath;
    if (same && filtr::pagesStamp(path) == headers_.stamp)
        return;
    QSet<QString> marked;
    if (same)
        walkTree(TreeKat, [&marked](QTreeWidgetItem* it) {
            if (imageIndex(it) == MarkIcon)
                marked.insert(nodePath(it));
        });
    FiltrPath = path;
    FFillTree();
    walkTree(TreeKat, [this, &marked](QTreeWidgetItem* it) {
        if (marked.contains(nodePath(it)))
            setMark(it, MarkIcon);
    });
    // The other tabs' lists are made again from the new tree.
    TreeView1->clear();
    ListFiles->clear();
    PC1Change();
}

int TFormFiltr::imageIndex(const QTreeWidgetItem* item) { return item->data(0, ImageRole).toInt(); }
int TFormFiltr::selectedIndex(const QTreeWidgetItem* item) { return item->data(0, SelectedImageRole).toInt(); }

QString TFormFiltr::nodePath(const QTreeWidgetItem* item)
{
    QString path;
    for (const QTreeWidgetItem* p = item; p; p = p->parent())
        path.prepend(p->text(0) + QLatin1Char('/'));
    return path;
}

void TFormFiltr::setMark(QTreeWidgetItem* item, int icon)
{
    item->setData(0, ImageRole, icon);
    item->setData(0, SelectedImageRole, icon);
}

void TFormFiltr::fillTree(QTreeWidget* tree, const QList<filtr::TreeLine>& lines)
{
    tree->clear();
    QList<QTreeWidgetItem*> top;
    QList<QTreeWidgetItem*> stack; // the last node of each level
    for (const filtr::TreeLine& l : lines) {
        auto* item = new KatNode(&ImageList1);
        item->setText(0, l.text);
        setMark(item, 0);
        stack.resize(qMin<qsizetype>(l.depth, stack.size()));
        if (stack.isEmpty())
            top << item;
        else
            stack.last()->addChild(item);
        stack << item;
    }
    tree->addTopLevelItems(top);
}

void TFormFiltr::FFillTree()
{
    if (FormSlova && sender() == Rereadfiltertree1)
        FiltrPath = FormSlova->ProjectPath;
    headers_ = FiltrPath.isEmpty() ? filtr::CatalogHeaders() : filtr::readCatalog(FiltrPath);
    HtmlFiles = headers_.files;
    fillTree(TreeKat, filtr::Maketree(headers_.categories()));
}

void TFormFiltr::PC1Change()
{
    const int tab = PC1->currentIndex();
    if (tab == 1)
        PrepareSearchKategory();
    else if (tab == 2)
        FindFiles();
    PanelKat->setVisible(tab == 0);
    PanelSelected->setVisible(tab == 1);
    PanelFiles->setVisible(tab == 2);
}

void TFormFiltr::Select1Click()
{
    if (QTreeWidgetItem* it = TreeKat->currentItem())
        setMark(it, MarkIcon);
}

void TFormFiltr::Clear1Click()
{
    if (QTreeWidgetItem* it = TreeKat->currentItem())
        setMark(it, 0);
}

void TFormFiltr::PrepareSearchKategory()
{
    TreeView1->clear();
    SelectedPaths.clear();
    walkTree(TreeKat, [this](QTreeWidgetItem* it) {
        if (selectedIndex(it) != 0)
            SelectedPaths << nodePath(it);
    });
    fillTree(TreeView1, filtr::Maketree(SelectedPaths));
    TreeView1->expandAll();
}

void TFormFiltr::FindFiles()
{
    ListFiles->clear();
    QStringList texts;
    walkTree(TreeKat, [&texts](QTreeWidgetItem* it) {
        if (imageIndex(it) != 0)
            texts << it->text(0);
    });
    ListFiles->addItems(filtr::findFiles(headers_, FiltrPath, texts));
}

void TFormFiltr::TreeView1DblClick()
{
    QTreeWidgetItem* it = TreeView1->currentItem();
    if (!it)
        return;
    const QString path = nodePath(it);
    delete it;
    walkTree(TreeKat, [this, &path](QTreeWidgetItem* k) {
        if (imageIndex(k) == MarkIcon && nodePath(k) == path)
            setMark(k, 0);
    });
}

void TFormFiltr::ListFilesClick()
{
    QListWidgetItem* line = ListFiles->currentItem();
    if (!line || !FormSlova)
        return;
    const QString name = line->text();
    for (QTreeWidgetItem* node : treefile::allNodes(FormSlova->Tree1)) {
        if (node->text(0).trimmed() != name)
            continue;
        FormSlova->Tree1->setCurrentItem(node);
        FormActivate();
        FormSlova->Tree1Click();
    }
}

void TFormFiltr::FormActivate()
{
    if (!FormSlova)
        return;
    move(FormSlova->x() + 3, y());
    const int treeWidth = FormSlova->Tree1->width();
    if (treeWidth < width())
        resize(qMax(treeWidth - 2, 1), height());
}

void TFormFiltr::FormResize()
{
    // The panels fill the window through its layout; nothing to place by hand.
}

void TFormFiltr::resizeEvent(QResizeEvent* e)
{
    TForm::resizeEvent(e);
    FormResize();
}

bool TFormFiltr::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) {
        FollowCatalog();
        FormActivate();
    }
    return TForm::event(e);
}

void TFormFiltr::showEvent(QShowEvent* e)
{
    FollowCatalog();
    TForm::showEvent(e);
}

void TFormFiltr::FormDestroy()
{
    // Nothing reads "treeview1": a failure to write it is not worth a message.
    if (FormSlova && !FormSlova->ProgramDir.isEmpty() && !FormSlova->ReadOnlyMode())
        treefile::saveTree(TreeView1, FormSlova->ProgramDir + QStringLiteral("treeview1"), nullptr);
    SelectedPaths.clear();
}
