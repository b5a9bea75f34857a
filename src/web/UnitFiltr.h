#pragma once
#include "CategoryFilter.h"
#include "app/Forms.h"

#include <QIcon>
#include <QList>

class QAction;
class QListWidget;
class QMenu;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;

// The category filter: the catalog's pages listed by the categories of their headers.
class TFormFiltr : public TForm {
    Q_OBJECT
public:
    TFormFiltr();

    QString FiltrPath;          // the catalog whose pages are read
    QStringList HtmlFiles;      // full names of its page files
    QStringList SelectedPaths;  // paths of the marked categories

    QTabBar* PC1; // "Categorys", "Selected", "Files"
    QWidget* PanelKat;     // "Category tree"
    QWidget* PanelSelected; // "Selected category"
    QWidget* PanelFiles;   // "Selected files"
    QTreeWidget* TreeKat;
    QTreeWidget* TreeView1;
    QListWidget* ListFiles;
    QMenu* PopupMenu1;
    QAction* Select1;
    QAction* Clear1;
    QAction* Rereadfiltertree1;
    QList<QIcon> ImageList1; // the window's own icons: 0 plain, 4 marked

    void FormCreate();
    void FFillTree();
    void PC1Change();
    void Select1Click();
    void Clear1Click();
    void PrepareSearchKategory();
    void FindFiles();
    void TreeView1DblClick();
    void ListFilesClick();
    void FormActivate();
    void FormResize();
    void FormDestroy() override;
    // Reads the catalog shown in the main window when it is not the one read, or when its
    // pages changed since; the marks on categories still there are kept.
    void FollowCatalog();

    // A node's icon numbers (0 for nodes without).
    static int imageIndex(const QTreeWidgetItem* item);
    static int selectedIndex(const QTreeWidgetItem* item);
    // The path of a node: the texts from its top-level ancestor down to it, each followed by "/".
    static QString nodePath(const QTreeWidgetItem* item);

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void setMark(QTreeWidgetItem* item, int icon);
    void fillTree(QTreeWidget* tree, const QList<filtr::TreeLine>& lines);
    filtr::CatalogHeaders headers_;
    bool followPending_ = false;
};

extern TFormFiltr* FormFiltr;
