// Main window: the tool bar, the menus, the tree's keys, the launchers of external programs and
// the two window-style check marks. Every command is a row of a table below.
#include "UnitSlova.h"

#include "About.h"
#include "UnitICO.h"
#include "UnitMove.h"
#include "UnitZip.h"
#include "editor/REMain.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/shell/Launcher.h"
#include "platform/web/BrowserControl.h"
#include "web/UnitFiltr.h"
#include "web/UnitHTML.h"
#include "web/UnitHtmlKategory.h"
#include "web/UnitStopList.h"
#include "web/U_manager.h"
#include "web/Unit_kyes.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>

namespace {

using Handler = void (TFormSlova::*)();

// One entry of a menu or of the tool bar. A null caption is a separator (its caption in text2).
struct Entry {
    const char* caption;
    const char* hint; // tool bar: the hint; menus: the item's hint
    Handler handler;
    bool hidden = false;
    const char* name = nullptr; // object name, for the entries other code reaches
    QStyle::StandardPixmap pixmap = QStyle::SP_CustomBase;
};

constexpr const char* kTreeSeparator = "-------------------";

const Entry kToolBar[] = {
    {"Open dir", "Open dir", &TFormSlova::Dir_prog, false, "ToolOpenDir", QStyle::SP_DirOpenIcon},
    {nullptr, nullptr, nullptr},
    {"Add node", "add node", &TFormSlova::ADD_Node, false, "ToolAddNode", QStyle::SP_FileIcon},
    {"Dell node", "delete node", &TFormSlova::Dell_node, false, "ToolDellNode", QStyle::SP_TrashIcon},
    {"Edit node", "Edit the name node", &TFormSlova::Edit_node, false, "ToolEditNode", QStyle::SP_FileDialogDetailedView},
    {"Find the node", "find", &TFormSlova::Find_node, false, "ToolFindNode", QStyle::SP_FileDialogContentsView},
    {"", "", &TFormSlova::ShowCategoryFilter, false, "ToolFilter", QStyle::SP_FileDialogListView},
    {"Edit text", "Edit description", &TFormSlova::Tree1Click, false, "ToolEditText", QStyle::SP_FileDialogInfoView},
    {"Undo", "Undo", &TFormSlova::undo, true, "ActionUndo", QStyle::SP_ArrowBack},
    {nullptr, nullptr, nullptr}, // the divider
    {"Draw the tree", "Make tree", &TFormSlova::Tree_prog, false, "ToolDrawTree", QStyle::SP_BrowserReload},
    {"", "", &TFormSlova::ShowNodeManager, false, "ToolNodeManager", QStyle::SP_DirLinkIcon},
    {nullptr, nullptr, nullptr},
    {"Search form", "Searh words ", &TFormSlova::ShowSearchWords, false, "ToolSearchForm", QStyle::SP_FileDialogStart},
    {"", "Web download manager", &TFormSlova::ShowDownloadManager, false, "ToolDownloadManager", QStyle::SP_ArrowDown},
    {"", "Load all links", &TFormSlova::DownloadAllurls1Click, false, "n_i1", QStyle::SP_DriveNetIcon},
    {nullptr, nullptr, nullptr},
    {"Help", "Help", &TFormSlova::Help_prog, false, "ToolHelp", QStyle::SP_DialogHelpButton},
    {"Exit", "Quit", &TFormSlova::Exit, false, "ToolExit", QStyle::SP_DialogCloseButton},
};

const Entry kMenuTree[] = {
    {"Coose project catalog form", nullptr, &TFormSlova::Dir_prog},
    {"Internet search engine form", nullptr, nullptr, false, "InternetSearchForm"},
    {"Show the StopList file", nullptr, &TFormSlova::ShowStopList},
    {nullptr, kTreeSeparator, nullptr},
    {"reDraw the tree", nullptr, &TFormSlova::Tree_prog},
    {"Make the archive", nullptr, nullptr, false, "MakeArchive"},
    {"Extract from the archive", nullptr, nullptr, false, "ExtractArchive"},
    {"Show the history", nullptr, &TFormSlova::ShowHistory, true},
    {"Make the HTML report ", nullptr, &TFormSlova::ShowSiteGenerator},
    {nullptr, kTreeSeparator, nullptr},
    {"Always on top", nullptr, nullptr, false, "N_FormOnTop"},
    {"Use only external Editor", nullptr, nullptr, false, "N_exEditor"},
    {nullptr, kTreeSeparator, nullptr},
    {"Restruct files", "Restruct file mansger", &TFormSlova::RestructFiles},
    {"Filer by kategory", nullptr, &TFormSlova::ShowCategoryFilter},
    // Writes the selected page's tree category line; kept hidden, as the page header editor
    // calls the same routine.
    {"Tree kategory", nullptr, nullptr, true, "TreeKategory"},
};

const Entry kMenuInternet[] = {
    {"Search words form", nullptr, nullptr}, {"Download Urls", nullptr, nullptr},
    {"Download Manager", nullptr, nullptr},  {"Add links", nullptr, nullptr},
    {"FronPage", nullptr, nullptr},          {"Download selected URL", nullptr, nullptr},
};

const Entry kMenuHelp[] = {
    {"Help", nullptr, &TFormSlova::Help_prog},
    {"Author", nullptr, &TFormSlova::Author},
    {"Exit", nullptr, &TFormSlova::Exit},
};

const Entry kPopupTree[] = {
    {"Add node", nullptr, &TFormSlova::ADD_Node},
    {"Rename node", nullptr, &TFormSlova::Edit_node},
    {"Move node Up", nullptr, &TFormSlova::Move_UP},
    {"Delete node", nullptr, &TFormSlova::Dell_node},
    {"Assign tne icon", nullptr, &TFormSlova::ICO},
    {nullptr, "------------", nullptr},
    {"Find the node", nullptr, &TFormSlova::Find_node},
    {"Open internal text Editor", nullptr, nullptr},
    {"Open external text Editor", nullptr, &TFormSlova::OpenExEditor},
    {"Cut first level", nullptr, &TFormSlova::DelTopLevel, true},
    {"Undo", nullptr, &TFormSlova::undo, true},
    {"Add node from file structure", nullptr, &TFormSlova::OpenFile, true},
};

const Entry kPopupWeb[] = {
    {"Show kategory form", nullptr, &TFormSlova::ShowKategoryForm},
    {"Show search form", nullptr, &TFormSlova::ButtonTXT},
    {"Show as text file", nullptr, &TFormSlova::ButtonTXT},
    {"Show download manager", nullptr, nullptr, false, "ShowDownloadManager"},
    {"Show stop list", nullptr, nullptr, false, "ShowStopListWindow"},
    {"Open Exployer", nullptr, &TFormSlova::OpenExployer1Click},
    {nullptr, "----------------", nullptr},
    {"Download selected URL", nullptr, &TFormSlova::DownloadselectedURL1Click},
    {"Re read page", nullptr, &TFormSlova::ButtonReReadFileClick},
    {"Download all URLs", nullptr, &TFormSlova::DownloadAllurls1Click},
    {nullptr, "-", nullptr},
    {"Delete text befor selection", nullptr, &TFormSlova::ButtonDelSelection1Click},
    {"Undo deleting", nullptr, &TFormSlova::ButtonReturn1Click, true, "ButtonReturn"},
    {"Delete style and scripts", nullptr, &TFormSlova::DeleteStyleHTMLClick},
};

template <std::size_t N>
void fillMenu(TFormSlova* w, QMenu* menu, const Entry (&entries)[N])
{
    for (const Entry& e : entries) {
        if (!e.caption) {
            menu->addSeparator()->setText(QString::fromLatin1(e.hint));
            continue;
        }
        QAction* a = menu->addAction(QString::fromLatin1(e.caption));
        if (e.hint)
            a->setToolTip(QString::fromLatin1(e.hint));
        if (e.name)
            a->setObjectName(QString::fromLatin1(e.name));
        a->setVisible(!e.hidden);
        if (e.handler)
            QObject::connect(a, &QAction::triggered, w, e.handler);
    }
}

QAction* named(QWidget* owner, const char* name)
{
    for (QAction* a : owner->actions())
        if (a->objectName() == QLatin1String(name))
            return a;
    return nullptr;
}

// Catches the tree's keys before the tree and Qt's focus navigation see them.
class TreeKeys : public QObject {
public:
    TreeKeys(TFormSlova* w) : QObject(w), w_(w) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            w_->Tree1KeyDown(k->key(), k->modifiers());
            return true;
        }
        case QEvent::KeyRelease:
            return true;
        case QEvent::ShortcutOverride:
            // Claimed, so that no shortcut of another control takes a key from the tree.
            e->accept();
            return true;
        default:
            return false;
        }
    }

private:
    TFormSlova* w_;
};

} // namespace

void TFormSlova::buildToolBar()
{
    StandardToolBar = new QToolBar(this);
    StandardToolBar->setObjectName(QStringLiteral("StandardToolBar"));
    StandardToolBar->setToolTip(QStringLiteral("Move nodes to other project"));
    StandardToolBar->setMovable(false);
    StandardToolBar->setIconSize(QSize(16, 16));
    // The buttons show their pictures only; the captions stay as the actions' texts.
    StandardToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, StandardToolBar);
    for (const Entry& e : kToolBar) {
        if (!e.caption) {
            StandardToolBar->addSeparator();
            continue;
        }
        QAction* a = StandardToolBar->addAction(style()->standardIcon(e.pixmap), QString::fromLatin1(e.caption));
        a->setToolTip(QString::fromLatin1(e.hint));
        a->setObjectName(QString::fromLatin1(e.name));
        a->setVisible(!e.hidden);
        connect(a, &QAction::triggered, this, e.handler);
    }
    ActionUndo = named(StandardToolBar, "ActionUndo");
    n_i1 = named(StandardToolBar, "n_i1");
    n_i1->setEnabled(false);
}

void TFormSlova::buildMenus()
{
    MenuTree = menuBar()->addMenu(QStringLiteral("Operations whith tree"));
    MenuTree->setObjectName(QStringLiteral("MenuTree"));
    fillMenu(this, MenuTree, kMenuTree);
    connect(named(MenuTree, "MakeArchive"), &QAction::triggered, this, [] {
        if (FormZip)
            FormZip->ShowFor(true);
    });
    connect(named(MenuTree, "ExtractArchive"), &QAction::triggered, this, [] {
        if (FormZip)
            FormZip->ShowFor(false);
    });
    connect(named(MenuTree, "InternetSearchForm"), &QAction::triggered, this, [] {
        if (Form_keys)
            Form_keys->show();
    });
    connect(named(MenuTree, "TreeKategory"), &QAction::triggered, this, [this] { LoadTreeKategory(); });
    N_FormOnTop = named(MenuTree, "N_FormOnTop");
    N_exEditor = named(MenuTree, "N_exEditor");
    // Both start unchecked at every start and are never stored.
    for (QAction* a : {N_FormOnTop, N_exEditor}) {
        a->setCheckable(true);
        a->setChecked(false);
    }
    // Qt sets the new check mark before triggered is sent; the handlers decide from the mark the
    // item had, so the toggle is taken back first.
    connect(N_FormOnTop, &QAction::triggered, this, [this](bool checked) {
        N_FormOnTop->setChecked(!checked);
        N_FormOnTopClick();
    });
    connect(N_exEditor, &QAction::triggered, this, [this](bool checked) {
        N_exEditor->setChecked(!checked);
        N_exEditorClick();
    });

    MenuInternet = menuBar()->addMenu(QStringLiteral("Operation whith Internet"));
    MenuInternet->setObjectName(QStringLiteral("MenuInternet"));
    fillMenu(this, MenuInternet, kMenuInternet);
    MenuInternet->menuAction()->setVisible(false);
    n_i4 = MenuInternet;

    MenuHelp = menuBar()->addMenu(QStringLiteral("?"));
    MenuHelp->setObjectName(QStringLiteral("MenuHelp"));
    fillMenu(this, MenuHelp, kMenuHelp);

    PopupTree = new QMenu(this);
    PopupTree->setObjectName(QStringLiteral("PopupTree"));
    fillMenu(this, PopupTree, kPopupTree);
    Tree1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Tree1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupTree->popup(Tree1->viewport()->mapToGlobal(p)); });
    Tree1->installEventFilter(new TreeKeys(this));
    // No in-place editing: a rename goes through the rename panel.
    Tree1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    PopupWeb = new QMenu(this);
    PopupWeb->setObjectName(QStringLiteral("PopupWeb"));
    fillMenu(this, PopupWeb, kPopupWeb);
    ButtonReturn = named(PopupWeb, "ButtonReturn");
    connect(named(PopupWeb, "ShowDownloadManager"), &QAction::triggered, this, [] {
        if (FormM)
            FormM->show();
    });
    connect(named(PopupWeb, "ShowStopListWindow"), &QAction::triggered, this, [] {
        if (FormStopList)
            FormStopList->show();
    });
    WB1->setPopupMenu(PopupWeb);

    DeleteStyleHTML = new QPushButton(QStringLiteral("DeleteStyleHTML"), PanelWeb);
    DeleteStyleHTML->setObjectName(QStringLiteral("DeleteStyleHTML"));
    DeleteStyleHTML->hide();
    connect(DeleteStyleHTML, &QPushButton::clicked, this, &TFormSlova::DeleteStyleHTMLClick);
}

// ---------------------------------------------------------------- keys of the tree

void TFormSlova::Tree1KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers & Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Tree1Click();
        break;
    case Qt::Key_Insert:
        if (platform::dialogs().message(QStringLiteral("Add node?"), QString(), platform::MsgButtons::YesNo,
                                        platform::MsgIcon::Question)
            == platform::MsgResult::Yes)
            ADD_Node();
        break;
    case Qt::Key_Delete:
        Dell_node();
        break;
    case Qt::Key_R:
        if (ctrl)
            ButtonReReadFileClick();
        break;
    case Qt::Key_T:
        if (ctrl)
            ButtonTXT();
        break;
    case Qt::Key_K:
        if (ctrl)
            ShowKategoryForm();
        break;
    case Qt::Key_Tab:
        ICO();
        break;
    default:
        break; // used up: no navigation, no search by typing
    }
}

// ---------------------------------------------------------------- launchers

void TFormSlova::launchOrTell(bool started, const QString& file)
{
    // Linux has no text editor that always exists; the user must hear that nothing opened.
    if (!started)
        platform::dialogs().message(QStringLiteral("No program could be started to open \"%1\".").arg(file), QString(),
                                    platform::MsgButtons::Ok, platform::MsgIcon::Warning);
}

void TFormSlova::ButtonTXT()
{
    // The file goes to the program as one argument: no shell sees its name.
    if (!CurrentFile.isEmpty())
        launchOrTell(platform::launcher().startProgram(QStringLiteral("notepad.exe"), {CurrentFile}), CurrentFile);
}

void TFormSlova::ShowStopList()
{
    if (NoCatalog)
        return;
    const QString file = CatalogFile(QStringLiteral("StopList"));
    launchOrTell(platform::launcher().startProgram(QStringLiteral("notepad.exe"), {file}), file);
}

void TFormSlova::OpenExEditor()
{
    if (CurrentNodeText.isEmpty())
        return;
    const QString rtf = CatalogFile(CurrentNodeText + QStringLiteral(".rtf"));
    if (!QFileInfo(rtf).isFile())
        return;
    // Two programs must not edit one note: a note kept open (Cancel) is not handed over.
    if (FormEdit && !FormEdit->Close())
        return;
    launchOrTell(platform::launcher().openDocument(rtf), rtf);
}

void TFormSlova::OpenExployer1Click()
{
    if (!CurrentFile.isEmpty())
        launchOrTell(platform::launcher().openDocument(CurrentFile), CurrentFile);
}

// ---------------------------------------------------------------- check marks

void TFormSlova::setStaysOnTop(bool on)
{
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
        return;
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing a window flag hides the window; it comes back where it was.
    if (shown)
        show();
}

void TFormSlova::N_FormOnTopClick()
{
    const bool on = !N_FormOnTop->isChecked();
    N_FormOnTop->setChecked(on);
    setStaysOnTop(on);
}

void TFormSlova::N_exEditorClick()
{
    const bool on = !N_exEditor->isChecked();
    N_exEditor->setChecked(on);
    N_FormOnTop->setChecked(on);
    setStaysOnTop(on);
}

// ---------------------------------------------------------------- windows shown

void TFormSlova::ShowSearchWords()
{
    if (!Form_keys)
        return;
    if (FormEdit)
        FormEdit->hide();
    PanelWeb->hide();
    Form_keys->show();
}

void TFormSlova::ShowDownloadManager()
{
    if (!FormM)
        return;
    if (FormEdit)
        FormEdit->hide();
    PanelWeb->hide();
    FormM->show();
}

void TFormSlova::ShowNodeManager()
{
    if (FormMove)
        FormMove->show();
}

void TFormSlova::ShowCategoryFilter()
{
    if (FormFiltr)
        FormFiltr->show();
}

void TFormSlova::ShowKategoryForm()
{
    if (FormHTMLKategory)
        FormHTMLKategory->show();
}

void TFormSlova::ShowSiteGenerator()
{
    if (!FormHTML)
        return;
    FormHTML->show();
    FormHTML->raise();
    FormHTML->activateWindow();
}
