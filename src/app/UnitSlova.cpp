#include "UnitSlova.h"

#include "About.h"
#include "MoveRecovery.h"
#include "NodeIcons.h"
#include "NodeTreeView.h"
#include "ProgramPaths.h"
#include "TreeFile.h"
#include "UnitDir.h"
#include "UnitHistory.h"
#include "UnitICO.h"
#include "UnitMove.h"
#include "UnitSearch.h"
#include "UnitZip.h"
#include "editor/REMain.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileNames.h"
#include "platform/settings/SettingsStore.h"
#include "platform/text/LineList.h"
#include "platform/web/BrowserControl.h"
#include "web/U_manager.h"
#include "web/UnitHtmlKategory.h"
#include "web/Unit_kyes.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormSlova* FormSlova = nullptr;

namespace {
const QString kShowDirForm = QStringLiteral("ShowDirForm");
const QString kShowWordsForm = QStringLiteral("ShowWordsForm");

QRect screenRect() { return QGuiApplication::primaryScreen()->geometry(); }

bool existsFile(const QString& path) { return QFileInfo::exists(path); }

// The platform's write errors read "<what> <path>: <reason>"; a message that names the folder
// itself needs the reason alone.
QString reasonOf(const QString& error, const QString& path)
{
    const QString mark = path + QStringLiteral(": ");
    const int at = error.indexOf(mark);
    return at < 0 ? error : error.mid(at + mark.size());
}
} // namespace

TFormSlova::TFormSlova()
{
    setObjectName(QStringLiteral("FormSlova"));
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    setCentralWidget(central);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    TN = new QTabBar(central);
    TN->setObjectName(QStringLiteral("TN"));
    TN->addTab(QStringLiteral("Menue"));
    TN->hide();
    v->addWidget(TN);

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    v->addWidget(Splitter1, 1);

    Tree1 = new TNodeTreeView(Splitter1);
    Tree1->setObjectName(QStringLiteral("Tree1"));
    Tree1->setHeaderHidden(true);
    Tree1->setColumnCount(1);
    Tree1->setIndentation(19);
    Tree1->setIconSize(QSize(16, 16));
    // Every row has the same height: the view then lays out 100,000 nodes without measuring them.
    Tree1->setUniformRowHeights(true);
    Tree1->setExpandsOnDoubleClick(true);
    // The column is as wide as its longest visible name: a long name gets a horizontal scroll bar.
    Tree1->header()->setStretchLastSection(false);
    Tree1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto* right = new QWidget(Splitter1);
    auto* rv = new QVBoxLayout(right);
    rv->setContentsMargins(0, 0, 0, 0);
    rv->setSpacing(0);
    PanelWeb = new QWidget(right);
    PanelWeb->setObjectName(QStringLiteral("PanelWeb"));
    new QVBoxLayout(PanelWeb);
    PanelWeb->layout()->setContentsMargins(0, 0, 0, 0);
    WB1 = platform::createBrowser(PanelWeb);
    WB1->setObjectName(QStringLiteral("WB1"));
    PanelWeb->layout()->addWidget(WB1);
    PanelWeb->hide();
    PanelEditor = new QWidget(right);
    PanelEditor->setObjectName(QStringLiteral("PanelEditor"));
    new QVBoxLayout(PanelEditor);
    PanelEditor->layout()->setContentsMargins(0, 0, 0, 0);
    rv->addWidget(PanelWeb, 1);
    rv->addWidget(PanelEditor, 1);
    Splitter1->addWidget(Tree1);
    Splitter1->addWidget(right);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { treeWidth_ = Splitter1->sizes().value(0, treeWidth_); });

    // Rename panel, centred vertically over the window while a rename runs.
    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    Panel1->resize(240, 96);
    auto* pv = new QVBoxLayout(Panel1);
    pv->addWidget(new QLabel(QStringLiteral("Node name"), Panel1));
    wrd = new QLineEdit(Panel1);
    wrd->setObjectName(QStringLiteral("wrd"));
    pv->addWidget(wrd);
    auto* ph = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("OK"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Ins from Catalog"), Panel1);
    Button2->setObjectName(QStringLiteral("Button2"));
    ph->addWidget(Button1);
    ph->addWidget(Button2);
    pv->addLayout(ph);
    Panel1->hide();

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    StatusBar1->hide();

    buildToolBar();
    buildMenus();
    wireTreeCommands();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFormSlova::Timer1Timer);
    Timer1->start();
    TimerTree = new QTimer(this);
    TimerTree->setObjectName(QStringLiteral("TimerTree"));
    TimerTree->setInterval(10000);
    connect(TimerTree, &QTimer::timeout, this, &TFormSlova::TimerTreeTimer);
    TimerTree->start();
}

// ---------------------------------------------------------------- start-up and shut-down

void TFormSlova::FormCreate(const QStringList& args)
{
    setWindowTitle(QStringLiteral("Morvanel"));
    EditorShown = 0;
    ProgramDir = app::programDirectory();

    const QRect scr = screenRect();
    {
        platform::SettingsStore reg;
        if (!reg.valueExists(kShowDirForm))
            reg.writeBool(kShowDirForm, true);
        if (!reg.valueExists(kShowWordsForm))
            reg.writeBool(kShowWordsForm, true);
        move(reg.readInteger(QStringLiteral("formSlova_Left"), 0), reg.readInteger(QStringLiteral("formSlova_top"), 0));
        treeWidth_ = reg.readInteger(QStringLiteral("formSlova_tree_width"), 180);
        resize(reg.readInteger(QStringLiteral("formSlova_width"), scr.width() / 4 * 3),
               reg.readInteger(QStringLiteral("formSlova_height"), scr.height() / 4 * 3));
        Splitter1->setSizes({treeWidth_, std::max(1, width() - treeWidth_)});
        ProjectPath = app::catalogPath(reg.readString(QStringLiteral("path"), QString()));
        CurrentIndex = reg.readInteger(QStringLiteral("index2"), 0);
    }
    // The folder keeps its letter case: file names are case-sensitive here.
    if (args.size() > 1 && !args.at(1).isEmpty())
        ProjectPath = app::catalogPath(args.at(1));
    LoadMenue();
}

void TFormSlova::FormDestroy()
{
    // A modified note kept open by Cancel: nothing is written, as nothing was asked to be.
    if (EditorShown == 1 && FormEdit && !FormEdit->Close())
        return;
    {
        platform::SettingsStore reg;
        reg.writeInteger(QStringLiteral("index2"), CurrentIndex);
        reg.writeInteger(QStringLiteral("formSlova_Left"), pos().x());
        reg.writeInteger(QStringLiteral("formSlova_top"), pos().y());
        reg.writeInteger(QStringLiteral("formSlova_tree_width"), Tree1->isVisible() ? Tree1->width() : treeWidth_);
        reg.writeInteger(QStringLiteral("formSlova_width"), width());
        reg.writeInteger(QStringLiteral("formSlova_height"), height());
    }
    // During a catalog switch the tree belongs to no catalog: nothing of it is written.
    if (ReadOnlyMode() || NoCatalog || !treefile::hasMoreThanOneNode(Tree1))
        return;
    platform::ResolveScope scope;
    SaveLayerList();
    SaveTree();
}

void TFormSlova::Timer1Timer()
{
    // The first tick can come while a message box of the start-up is open (a damaged tree file),
    // before the windows it shows exist: it waits for a later tick, after the box is closed.
    if (QApplication::activeModalWidget() || !FormDir || !Form_keys || !FormHistory)
        return;
    Timer1->stop();
    if (Form_keys && !Form_keys->CheckBox1->isChecked())
        Form_keys->show();
    if (FormDir && !FormDir->CheckBox1->isChecked())
        FormDir->ShowModal();
    if (FormHistory)
        FormHistory->LoadHistory(CatalogFile(QStringLiteral("history")));
}

void TFormSlova::closeEvent(QCloseEvent* e)
{
    // A modified note must not be lost silently: the editor asks as it closes, and Cancel keeps
    // it open and the program running. Once closed, the shut-down has nothing more to ask.
    if (EditorShown == 1 && FormEdit) {
        FormEdit->Close();
        if (EditorShown == 1) {
            e->ignore();
            return;
        }
    }
    e->accept();
    // exit, not quit: quit asks every window to close first, and the splash refuses during its
    // first second, which would leave the program running without a main window. Outside a
    // message loop (a close from code) there is nothing to end, and exit would make the next
    // modal dialog return at once.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void TFormSlova::Exit() { close(); }

void TFormSlova::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    Panel1->move(Panel1->x(), (height() - Panel1->height()) / 2);
}

void TFormSlova::PlaceEditor()
{
    if (!FormEdit)
        return;
    if (FormEdit->parentWidget() != PanelEditor) {
        FormEdit->setParent(PanelEditor);
        PanelEditor->layout()->addWidget(FormEdit);
    }
    FormEdit->setGeometry(PanelEditor->rect());
    FormEdit->show();
}

bool TFormSlova::SaveOpenEditors()
{
    if (FormEdit && EditorShown == 1 && !FormEdit->Close())
        return false;
    return !FormHTMLKategory || FormHTMLKategory->HTMLSave();
}

// ---------------------------------------------------------------- catalogs

bool TFormSlova::ReadOnlyMode() const
{
    return platform::existsNoCase(ProgramDir + QStringLiteral("RunFromHere"));
}

QString TFormSlova::CatalogFile(const QString& name) const { return platform::resolveIn(ProjectPath, name); }

bool TFormSlova::WriteCatalogFile(const QString& path, const QStringList& lines)
{
    QString error;
    if (platform::saveLines1251(path, lines, &error))
        return true;
    platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
    return false;
}

void TFormSlova::PreCreation()
{
    if (ReadOnlyMode()) {
        StandardToolBar->hide();
        MenuTree->menuAction()->setVisible(false);
        MenuHelp->menuAction()->setVisible(false);
        ProjectPath = ProgramDir;
        platform::SettingsStore reg;
        reg.writeBool(kShowDirForm, true);
        reg.writeBool(kShowWordsForm, true);
        return;
    }
    // A missing folder, an empty path or a Windows drive path: the program folder is the catalog.
    QString resolved = platform::resolvePath(ProjectPath);
    if (ProjectPath.isEmpty() || app::hasDriveLetter(ProjectPath) || !QFileInfo(resolved).isDir())
        ProjectPath = ProgramDir;
    else
        ProjectPath = app::catalogPath(resolved);

    platform::makeDirNoCase(ProjectPath);
    platform::makeDirNoCase(ProgramDir + QStringLiteral("temp"));
    platform::makeOwnDirNoCase(ProjectPath + QStringLiteral("temp"));
    platform::makeOwnDirNoCase(ProjectPath + QStringLiteral("deleteditems"));

    if (!existsFile(platform::resolveIn(ProgramDir, QStringLiteral("dir")))) {
        WriteCatalogFile(platform::resolveIn(ProgramDir, QStringLiteral("dir")),
                         {QStringLiteral("Project1\\"), QStringLiteral("Help\\")});
        platform::makeDirNoCase(ProgramDir + QStringLiteral("Help"));
        platform::makeDirNoCase(ProgramDir + QStringLiteral("Project1"));
        platform::makeDirNoCase(platform::resolveIn(ProgramDir, QStringLiteral("Project1")) + QStringLiteral("/temp"));
        ProjectPath = app::catalogPath(platform::resolveIn(ProgramDir, QStringLiteral("Project1")));
        // Remembered as the catalog chooser would: with "path" left empty the next start falls
        // back to the program folder, and the notes of this first session seem gone.
        platform::SettingsStore reg;
        if (reg.readString(QStringLiteral("path"), QString()).isEmpty())
            reg.writeString(QStringLiteral("path"), ProjectPath);
    }
    const QString clear = platform::resolveIn(ProgramDir, QStringLiteral("menue_clear"));
    if (!existsFile(clear))
        WriteCatalogFile(clear, {QStringLiteral("Menue")});
    // A catalog folder that cannot be written is not used; the user hears once which catalog,
    // why, and which folder is open instead, rather than one technical line per file.
    QString failure;
    auto writeQuietly = [&failure](const QString& path, const QStringList& lines) {
        QString error;
        if (!platform::saveLines1251(path, lines, &error) && failure.isEmpty())
            failure = reasonOf(error, path);
    };
    const QString stop = CatalogFile(QStringLiteral("StopList"));
    if (!existsFile(stop))
        writeQuietly(stop, {});
    QString layers = CatalogFile(QStringLiteral("CurrentMenue"));
    if (!existsFile(layers)) {
        writeQuietly(layers, {QStringLiteral("Menue")});
        if (!existsFile(layers) && ProjectPath != ProgramDir) {
            platform::dialogs().message(QStringLiteral("The catalog %1 cannot be used: %2.\nThe program folder %3 is open instead.")
                                            .arg(ProjectPath, failure, ProgramDir),
                                        QString(), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
            failure.clear();
            ProjectPath = ProgramDir;
        }
    }
    if (!failure.isEmpty())
        platform::dialogs().message(QStringLiteral("The catalog %1 cannot be written: %2.").arg(ProjectPath, failure),
                                    QString(), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
    const QString menue = CatalogFile(QStringLiteral("Menue"));
    if (existsFile(menue)) {
        QStringList lines;
        if (platform::loadLines1251(menue, lines) && lines.isEmpty())
            WriteCatalogFile(menue, {QStringLiteral("first item")});
    } else {
        WriteCatalogFile(menue, {QStringLiteral("Menue")});
    }
    const QString ind = CatalogFile(QStringLiteral("Menue_ind"));
    if (!existsFile(ind))
        WriteCatalogFile(ind, {QStringLiteral("0")});
}

void TFormSlova::LoadMenue()
{
    platform::ResolveScope scope;
    NoCatalog = false;
    ForgetOpenedNode();
    move(0, 0);
    PreCreation();
    // Saves cut short in an earlier run leave their hidden temporary files; they would pile up.
    if (!ReadOnlyMode()) {
        platform::removeLeftoverTemporaries(ProjectPath, app::runStartTime());
        // The catalog list "dir" is saved beside the program at shut-down, as atomically.
        if (!ProgramDir.isEmpty() && ProgramDir != ProjectPath)
            platform::removeLeftoverTemporaries(ProgramDir, app::runStartTime());
        // A node manager move cut short is finished or undone before the tree is read.
        const nodemove::RecoveryReport moved = nodemove::recoverMove(ProjectPath, knownCatalogs(ProgramDir));
        if (!moved.text.isEmpty())
            platform::dialogs().notice(moved.text, moved.details,
                                       moved.details.isEmpty() ? platform::MsgIcon::Information : platform::MsgIcon::Warning);
    }
    setWindowTitle(ProjectPath);
    const QString layers = CatalogFile(QStringLiteral("currentMenue"));
    if (existsFile(layers)) {
        QStringList lines;
        platform::loadLines1251(layers, lines);
        if (lines.isEmpty())
            lines.append(QStringLiteral("Menue"));
        SetLayerList(lines);
    }
    const QStringList list = LayerList();
    CurrentLayer = list.isEmpty() ? QString() : list.last();
    // The name becomes a file name in the catalog: anything that would leave it is refused.
    if (!app::isUsableLayerName(CurrentLayer))
        CurrentLayer = QStringLiteral("Menue");
    LoadTree();
    // The history list belongs to this catalog: without a "history" file it is empty.
    if (!Timer1->isActive() && FormHistory)
        FormHistory->LoadHistory(CatalogFile(QStringLiteral("history")));
}

void TFormSlova::LoadTree()
{
    TreeIncomplete = false;
    QList<QTreeWidgetItem*> nodes;
    QString error;
    const QString file = CatalogFile(CurrentLayer);
    const bool fromFile = existsFile(file);
    bool read = true;
    if (fromFile) {
        read = treefile::loadTree(Tree1, file, &error, &nodes);
    } else {
        const QString clear = platform::resolveIn(ProgramDir, QStringLiteral("menue_clear"));
        if (existsFile(clear))
            read = treefile::loadTree(Tree1, clear, &error, &nodes);
        else
            Tree1->clear();
    }
    if (!error.isEmpty()) {
        // Whatever was not read exists only in the file: keep the file as it is.
        TreeIncomplete = fromFile || !read;
        platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
    }
    const QString ind = CatalogFile(CurrentLayer + QStringLiteral("_ind"));
    if (existsFile(ind)) {
        QList<QByteArray> lines;
        if (platform::loadLines(ind, lines))
            treefile::applyIconLines(nodes, lines);
    }
    Tree1->viewport()->update();
    if (fromFile && CurrentIndex >= 0 && CurrentIndex < nodes.size())
        Tree1->setCurrentItem(nodes.at(CurrentIndex));
}

bool TFormSlova::SaveTree()
{
    if (NoCatalog || TreeIncomplete || !treefile::hasMoreThanOneNode(Tree1))
        return true;
    return WriteTreeAndIcons();
}

bool TFormSlova::WriteTreeAndIcons()
{
    QString error;
    if (treefile::saveTreeAndIcons(Tree1, CatalogFile(CurrentLayer), CatalogFile(CurrentLayer + QStringLiteral("_ind")),
                                   &error))
        return true;
    platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
    return false;
}

bool TFormSlova::SaveLayerList()
{
    return WriteCatalogFile(CatalogFile(QStringLiteral("currentmenue")), LayerList());
}

bool TFormSlova::WriteUndo(const QString& name)
{
    QString error;
    if (treefile::saveTree(Tree1, CatalogFile(name), &error))
        return true;
    platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
    return false;
}

void TFormSlova::undo()
{
    const QString file = CatalogFile(QStringLiteral("menue_undo"));
    if (Tree1->topLevelItemCount() == 0 || !existsFile(file))
        return;
    QString error;
    treefile::loadTree(Tree1, file, &error);
    if (!error.isEmpty())
        platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

QStringList TFormSlova::LayerList() const
{
    QStringList out;
    for (int i = 0; i < TN->count(); ++i)
        out.append(TN->tabText(i));
    return out;
}

void TFormSlova::SetLayerList(const QStringList& layers)
{
    while (TN->count() > 0)
        TN->removeTab(0);
    for (const QString& l : layers)
        TN->addTab(l);
}

void TFormSlova::Dir_prog()
{
    if (ReadOnlyMode())
        return;
    if (CurrentLayer.isEmpty())
        CurrentLayer = LayerList().value(0);
    // A modified note kept open (Cancel) stops the switch: the tree stays with its catalog.
    if (FormEdit && !FormEdit->Close())
        return;
    platform::makeDirNoCase(ProjectPath);
    SaveTree();
    if (FormHistory)
        FormHistory->close();
    if (Form_keys)
        Form_keys->close();
    if (FormM)
        FormM->close();
    Tree1->clear();
    NoCatalog = true;
    if (FormDir)
        FormDir->show();
    SetLayerList({QStringLiteral("Menue")});
}

void TFormSlova::Help_prog()
{
    if (ReadOnlyMode())
        return;
    if (FormEdit && !FormEdit->Close())
        return;
    SaveTree();
    PanelWeb->hide();
    ProjectPath = app::catalogPath(platform::resolveIn(ProgramDir, QStringLiteral("help")));
    platform::makeDirNoCase(ProjectPath);
    LoadMenue();
}
