#pragma once
#include <QMainWindow>
#include <QString>
#include <QStringList>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTabBar;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
namespace platform {
class BrowserControl;
}
namespace nodefiles {
struct LeftOut;
}

// The main window: the node tree of the current catalog, the page pane and the editor panel.
// It owns the state that the other windows read and write directly through FormSlova.
class TFormSlova : public QMainWindow {
    Q_OBJECT
public:
    TFormSlova();

    // ---- state shared with the other windows
    QString ProjectPath;     // current catalog folder, ending in "/"
    QString ProgramDir;      // program folder, ending in "/"
    QString CurrentNodeText; // text of the node last opened
    QString CurrentFile;     // file of the node last opened, empty when it has none
    QString OldNodeText;     // node text before a rename
    QString CurrentLayer;    // name of the current tree file
    int LayerTabIndex = 0;
    QString OldLayerName;
    int CurrentIndex = 0; // absolute index of the current node
    int EditorShown = 0;  // 1 while the editor is shown over the editor panel
    int WordInUse = 0;
    // The tree file's reading stopped at a bad line: what follows it exists only on disk, so
    // neither the tree file nor its icon index file is written until the catalog is loaded again.
    bool TreeIncomplete = false;
    // Set by Dir_prog while the chooser is open and the tree is emptied; cleared by LoadMenue.
    // While it holds, nothing may change or write the tree: it belongs to no catalog.
    bool NoCatalog = false;

    // ---- controls
    QToolBar* StandardToolBar;
    QTabBar* TN; // the layer list, one tab per tree file name (hidden)
    QSplitter* Splitter1;
    QTreeWidget* Tree1;
    QWidget* PanelWeb;
    platform::BrowserControl* WB1; // fills PanelWeb
    QWidget* PanelEditor;
    QStatusBar* StatusBar1;
    QWidget* Panel1; // rename panel
    QLineEdit* wrd;
    QTimer* Timer1;    // one-shot start-up timer
    QTimer* TimerTree; // watches "Redraw"
    QMenu* MenuTree;     // "Operations whith tree"
    QMenu* MenuInternet; // "Operation whith Internet" (hidden)
    QMenu* MenuHelp;     // "?"
    QMenu* PopupTree;    // context menu of the tree
    QMenu* PopupWeb;     // the page menu, context menu of WB1
    QAction* ButtonReturn; // page menu "Undo deleting"
    QAction* n_i1;         // tool button "Load all links", enabled while a page is shown
    QMenu* n_i4;           // "Operation whith Internet", the same menu as MenuInternet
    QPushButton* Button1;  // "OK" of the rename panel
    QPushButton* Button2;  // "Ins from Catalog"
    QAction* N_FormOnTop;
    QAction* N_exEditor;
    QAction* ActionUndo;

    // ---- start-up and shut-down
    // Creation handler; args are the program's arguments (args[1]: a catalog folder).
    void FormCreate(const QStringList& args);
    // Writes the settings and, unless read-only or the tree has a single node, the layer list,
    // the tree file and its icon index file. Also the save-all step of other commands.
    void FormDestroy();
    void Timer1Timer();
    void TimerTreeTimer();

    // ---- catalogs and tree files
    void LoadMenue();
    void PreCreation();
    void LoadTree();
    void Dir_prog();
    void Help_prog();
    // "Draw the tree": adds the catalog's files and says which ones could not become nodes.
    void Tree_prog();
    // Adds the catalog's pages and notes that no node names yet, then saves; gives the files
    // that cannot become nodes. What a timer calls: it shows no message.
    QList<nodefiles::LeftOut> addCatalogFiles();
    void undo();
    // The timer's waiting rule: no modal dialog, rename or catalog switch in progress.
    bool TreeTimerMayRun() const;

    // ---- node operations (TreeCommands.cpp)
    void ADD_Node();
    void Dell_node();
    void Edit_node();
    void RenameFile();
    void wrdKeyPress(); // Enter in wrd
    void Button2Click();
    void Move_UP();
    bool Tree1DragOver() const { return true; }
    // A node of Tree1 (absolute index draggedIndex) dropped at a point of Tree1's viewport.
    void Tree1DragDrop(const QPoint& viewportPos, int draggedIndex);
    void DelTopLevel();
    void OpenFile();
    // Whether a node of the tree (other than `except`), or of another layer's tree file, has this
    // text, or the text in another letter case and opens a file that a node of this text opens.
    bool namedByAnotherNode(const QString& text, const QTreeWidgetItem* except = nullptr) const;

    // ---- opening a node (NodeOpening.cpp)
    void Tree1Click();
    void NavigateCurrentFile();
    // Forgets the node last opened and hides the page pane (a catalog load).
    void ForgetOpenedNode();
    // Writes the tree file and its icon index file (only with more than one node). A failure
    // is shown and gives false.
    bool SaveTree();
    bool SaveLayerList();
    // Writes the tree file and its icon index file whatever the tree's size; a failure is shown
    // and gives false. SaveTree's rules (and the no-catalog state) are the caller's to test.
    bool WriteTreeAndIcons();
    // Writes an undo snapshot of the tree, whatever its size ("menue_undo" or "menue_undo.txt").
    bool WriteUndo(const QString& name = QStringLiteral("menue_undo"));

    QStringList LayerList() const;
    void SetLayerList(const QStringList& layers);

    // True while the marker "RunFromHere" lies beside the program; tested afresh on every call.
    bool ReadOnlyMode() const;
    // A file of the current catalog, spelled as it exists on disk when it does.
    QString CatalogFile(const QString& name) const;
    // Writes a Windows-1251 line list atomically; a failure is shown to the user.
    bool WriteCatalogFile(const QString& path, const QStringList& lines);

    // ---- commands that show the small tree windows (TreeWindows.cpp)
    void Find_node();     // node search
    void ICO();           // icon palette
    void ShowHistory();   // history window
    void RestructFiles(); // node manager
    void Author();        // about box

    // Lays the editor window over the editor panel: it becomes a child filling the panel.
    void PlaceEditor();
    // Before a command that reads the catalog's files: closes the editor, which asks to save a
    // modified note, and saves the page header editor's block. False when the user keeps the
    // note open (Cancel) or a save failed.
    bool SaveOpenEditors();

    // ---- page header commands (PageHeaderCommands.cpp)
    // Writes the page's "TreeKategory" header line from the selected node's ancestors.
    // False when the page could not be written (the user was told).
    bool LoadTreeKategory();
    void Exit();

    // ---- tool bar, menus, tree keys and launchers (MainMenus.cpp)
    // A key pressed in the tree; every key is used up there, with or without an action.
    void Tree1KeyDown(int key, Qt::KeyboardModifiers modifiers);
    // The current node's file in the plain-text editor ("notepad.exe"); also the page header
    // editor's "Show as text file".
    void ButtonTXT();
    void ShowStopList();       // the catalog's stop list in the plain-text editor
    void OpenExEditor();       // the note's rich-text file with the desktop's program for it
    void OpenExployer1Click(); // the current file with the desktop's program for it
    void N_FormOnTopClick();   // toggles "Always on top"
    void N_exEditorClick();    // toggles "Use only external Editor"
    void ShowSearchWords();    // tool "Search form": the search words window alone
    void ShowDownloadManager(); // the download manager alone
    void ShowNodeManager();
    void ShowCategoryFilter();
    void ShowKategoryForm(); // the page header editor
    void ShowSiteGenerator();

    // ---- page tools on the shown page (PageTools.cpp)
    void DeleteStyleHTMLClick();
    void ButtonDelSelection1Click();
    void ButtonReturn1Click();
    void DownloadselectedURL1Click();
    void MakeChildNodeClick();
    void ButtonReReadFileClick();
    void DownloadAllurls1Click();
    // True while a page tool waits for the browser engine: timers and other page tools wait.
    bool PageToolBusy() const { return pageToolBusy_; }
    // The folder of the cut's backup file "temp".
    QString PageBackupDir() const;
    QPushButton* DeleteStyleHTML; // hidden button of "Delete style and scripts"

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildMenus();
    void buildToolBar();
    void wireTreeCommands();
    // False (silently) in the "no catalog" state or, when readOnlyBlocks, in read-only mode;
    // false with one message when the tree file was not read completely.
    bool treeMayChange(bool readOnlyBlocks = true);
    // Replaces an empty tree by the empty-tree template.
    void loadEmptyTreeTemplate();
    // Runs a launcher request; when nothing could be started, says so naming the file.
    void launchOrTell(bool started, const QString& file);
    void setStaysOnTop(bool on);
    // The cut's backup: the page it was taken from and its size when written.
    QString backupPage_;
    qint64 backupSize_ = -1;
    bool pageToolBusy_ = false;
    qint64 renameSerial_ = 0;
    int treeWidth_ = 180;
};

extern TFormSlova* FormSlova;
