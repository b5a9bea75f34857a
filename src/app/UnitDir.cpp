// The catalog chooser: the catalog list "dir", its editing, new folders and opening a catalog.
#include "UnitDir.h"

#include "FolderTree.h"
#include "NodeFiles.h"
#include "ProgramPaths.h"
#include "UnitSlova.h"
#include "editor/REMain.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/settings/SettingsStore.h"
#include "platform/text/CodePage.h"
#include "platform/text/LineList.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>

TFormDir* FormDir = nullptr;

namespace {
// The catalog folder of a list entry. An absolute entry ("/..." here, or one with a drive
// letter) is used as it is; any other counts from the program folder, also one that begins
// with a backslash.
QString entryPath(const QString& entry, const QString& programDir)
{
    QString e = entry;
    e.replace('\\', '/');
    if (entry.startsWith('/') || app::hasDriveLetter(e))
        return app::catalogPath(e);
    while (e.startsWith('/'))
        e.remove(0, 1);
    return app::catalogPath(programDir + e);
}
QString entryPath(const QString& entry) { return entryPath(entry, FormSlova->ProgramDir); }

void tell(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
}

} // namespace

QStringList knownCatalogs(const QString& programDir)
{
    QStringList entries;
    if (FormDir) {
        for (int i = 0; i < FormDir->memo1->count(); ++i)
            entries.append(FormDir->memo1->item(i)->text());
    } else {
        const QString list = platform::resolveIn(programDir, QStringLiteral("dir"));
        if (QFileInfo::exists(list))
            platform::loadLines1251(list, entries);
    }
    QStringList folders;
    for (const QString& e : std::as_const(entries))
        if (!e.trimmed().isEmpty())
            folders.append(entryPath(e, programDir));
    return folders;
}

TFormDir::TFormDir() : TForm(QStringLiteral("FormDir"))
{
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    // The list (or the folder tree) fills the top; the buttons and the check box stay below.
    auto* v = new QVBoxLayout(this);
    memo1 = new QListWidget(this);
    memo1->setObjectName(QStringLiteral("memo1"));
    v->addWidget(memo1, 1);
    folders = new TFolderTree(this, QStringLiteral("dl"));
    dl = folders->view;
    dlModel = folders->model;
    dl->hide();
    v->addWidget(dl, 1);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->hide();
    v->addWidget(Edit1);
    auto* h = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("Add Dir"), this);
    ButtonSelect = new QPushButton(QStringLiteral("Select"), this);
    Button3 = new QPushButton(QStringLiteral("Cancel"), this);
    Button4 = new QPushButton(QStringLiteral("OK"), this);
    ButtonDir = new QPushButton(QStringLiteral("NewDir"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    ButtonSelect->setObjectName(QStringLiteral("ButtonSelect"));
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4->setObjectName(QStringLiteral("Button4"));
    ButtonDir->setObjectName(QStringLiteral("ButtonDir"));
    ButtonSelect->setEnabled(false);
    Button3->setEnabled(false);
    ButtonDir->setEnabled(false);
    for (QPushButton* b : {Button1, ButtonSelect, Button3, Button4, ButtonDir}) {
        b->setAutoDefault(false);
        h->addWidget(b);
    }
    v->addLayout(h);
    CheckBox1 = new QCheckBox(QStringLiteral("Do not show this form at stat"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    v->addWidget(CheckBox1);
    resize(420, 300);
    Button4->setDefault(true);

    PopupMemo = new QMenu(this);
    PopupMemo->setObjectName(QStringLiteral("PopupMemo"));
    connect(PopupMemo->addAction(QStringLiteral("Add")), &QAction::triggered, this, &TFormDir::ADD_Dir);
    connect(PopupMemo->addAction(QStringLiteral("Select")), &QAction::triggered, this, &TFormDir::OK);
    connect(PopupMemo->addAction(QStringLiteral("Delete")), &QAction::triggered, this, &TFormDir::Dlete);
    connect(PopupMemo->addAction(QStringLiteral("Move Up")), &QAction::triggered, this, &TFormDir::MoveUp1Click);
    connect(PopupMemo->addAction(QStringLiteral("Move Down")), &QAction::triggered, this, &TFormDir::MoveDown1Click);
    setPopupMenu(memo1, PopupMemo);

    memo1->installEventFilter(this);
    Edit1->installEventFilter(this);
    connect(memo1, &QListWidget::itemClicked, this, &TFormDir::captionFromList);
    connect(memo1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { OK(); });
    connect(Button1, &QPushButton::clicked, this, &TFormDir::ADD_Dir);
    connect(ButtonSelect, &QPushButton::clicked, this, &TFormDir::Choice);
    connect(Button3, &QPushButton::clicked, this, &TFormDir::No_Choice);
    connect(Button4, &QPushButton::clicked, this, &TFormDir::OK);
    connect(ButtonDir, &QPushButton::clicked, this, &TFormDir::ButtonDirClick);
    connect(CheckBox1, &QCheckBox::clicked, this, &TFormDir::CheckBox1Click);
}

TFormDir::~TFormDir() { delete folders; }

void TFormDir::FormCreate()
{
    setWindowTitle(QStringLiteral("Project catalog form"));
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    move((s.width() - width()) / 2, (s.height() - height()) / 4 * 2);
    platform::SettingsStore reg;
    CheckBox1->setChecked(reg.readBool(QStringLiteral("ShowDirForm"), true));
    const QString list = platform::resolveIn(FormSlova->ProgramDir, QStringLiteral("dir"));
    QStringList lines;
    if (QFileInfo::exists(list))
        platform::loadLines1251(list, lines);
    memo1->clear();
    memo1->addItems(lines);
    if (memo1->count() == 0)
        memo1->addItem(FormSlova->ProgramDir + QStringLiteral("Project1/"));
}

void TFormDir::FormDestroy()
{
    if (FormSlova->ReadOnlyMode())
        return;
    QStringList lines;
    for (int i = 0; i < memo1->count(); ++i)
        lines.append(memo1->item(i)->text());
    const QString list = platform::resolveIn(FormSlova->ProgramDir, QStringLiteral("dir"));
    QStringList stored;
    if (QFileInfo::exists(list) && platform::loadLines1251(list, stored) && stored == lines)
        return; // unchanged: no need to touch the file
    FormSlova->WriteCatalogFile(list, lines);
}

void TFormDir::CheckBox1Click()
{
    platform::SettingsStore reg;
    reg.writeBool(QStringLiteral("ShowDirForm"), CheckBox1->isChecked());
    reg.writeString(QStringLiteral("path"), FormSlova->ProjectPath);
}

void TFormDir::OK()
{
    QString entry = windowTitle();
    if (entry.isEmpty())
        return;
    FormSlova->ProjectPath = entryPath(entry);
    FormSlova->CurrentIndex = 0;
    CheckBox1Click();
    FormSlova->LoadMenue();
    close();
}

void TFormDir::captionFromList()
{
    if (QListWidgetItem* it = memo1->currentItem())
        setWindowTitle(it->text());
}

// ---------------------------------------------------------------- list editing

void TFormDir::Dlete()
{
    const int row = memo1->currentRow();
    if (row >= 0)
        delete memo1->takeItem(row);
}

void TFormDir::swapWith(int delta)
{
    const int row = memo1->currentRow();
    const int other = row + delta;
    if (row < 0 || other < 0 || other >= memo1->count())
        return;
    QListWidgetItem* it = memo1->takeItem(row);
    memo1->insertItem(other, it);
    memo1->setCurrentRow(other);
}

void TFormDir::MoveUp1Click() { swapWith(-1); }
void TFormDir::MoveDown1Click() { swapWith(1); }

// ---------------------------------------------------------------- folder mode

void TFormDir::ADD_Dir()
{
    QString start = QDir::homePath();
    if (QListWidgetItem* it = memo1->currentItem()) {
        const QString p = entryPath(it->text());
        if (QFileInfo(p).isDir())
            start = p;
    }
    folders->openAt(start);
    dl->setEnabled(true);
    memo1->hide();
    dl->show();
    Button1->setEnabled(false);
    Button4->setEnabled(false);
    ButtonSelect->setEnabled(true);
    Button3->setEnabled(true);
    ButtonDir->setEnabled(true);
}

QString TFormDir::SelectedFolder() const { return folders->selected(); }

bool TFormDir::addFolderEntry(const QString& folder)
{
    const QString entry = app::catalogPath(folder);
    // "dir" is a Windows-1251 file: a path it cannot hold would come back as another path.
    if (!platform::canEncode(platform::CodePage::Windows1251, entry)) {
        tell(QStringLiteral("The path \"%1\" cannot be kept in the catalog list.").arg(entry));
        return false;
    }
    memo1->addItem(entry);
    // The highlight shows what OK opens: the caption.
    memo1->setCurrentRow(memo1->count() - 1);
    setWindowTitle(entry);
    return true;
}

void TFormDir::Choice()
{
    // Nothing selected: an empty path would make the file-system root the catalog.
    const QString folder = SelectedFolder();
    if (folder.isEmpty())
        return;
    if (!addFolderEntry(folder))
        return;
    ButtonSelect->setEnabled(false);
    ButtonDir->setEnabled(false);
    No_Choice();
    OK();
}

void TFormDir::No_Choice()
{
    dl->hide();
    memo1->show();
    Button1->setEnabled(true);
    Button4->setEnabled(true);
    ButtonSelect->setEnabled(false);
    Button3->setEnabled(false);
}

void TFormDir::ButtonDirClick()
{
    memo1->setEnabled(false);
    Edit1->clear();
    Edit1->show();
    Edit1->setFocus();
}

void TFormDir::MakeNewDir()
{
    const QString parent = SelectedFolder();
    const QString name = Edit1->text();
    if (parent.isEmpty()) {
        tell(QStringLiteral("Select the folder in which the new folder is to be made."));
        return;
    }
    // One folder name, by the rule for names of catalog files.
    if (const QString why = nodefiles::unusableReason(name); !why.isEmpty()) {
        tell(why);
        return;
    }
    const QString folder = app::catalogPath(parent) + name;
    if (!platform::canEncode(platform::CodePage::Windows1251, folder + QLatin1Char('/'))) {
        tell(QStringLiteral("The path \"%1\" cannot be kept in the catalog list.").arg(folder + QLatin1Char('/')));
        return;
    }
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder)) {
        tell(QStringLiteral("The folder \"%1\" cannot be made.").arg(folder));
        return;
    }
    memo1->setEnabled(true);
    Edit1->hide();
    ButtonSelect->setEnabled(false);
    ButtonDir->setEnabled(false);
    addFolderEntry(folder);
    No_Choice();
}

// ---------------------------------------------------------------- window

bool TFormDir::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        // Esc and Enter in the name box act on the box only, never on the chooser.
        if (o == Edit1 && key == Qt::Key_Escape) {
            memo1->setEnabled(true);
            Edit1->hide();
            return true;
        }
        if (o == Edit1 && enter) {
            MakeNewDir();
            return true;
        }
        if (o == memo1 && enter) {
            OK();
            return true;
        }
        if (o == memo1 && key == Qt::Key_Delete) {
            Dlete();
            captionFromList();
            return true;
        }
    }
    // Any other key in the list: the line it leaves selected becomes the caption.
    if (o == memo1 && e->type() == QEvent::KeyRelease)
        captionFromList();
    return TForm::eventFilter(o, e);
}

void TFormDir::showEvent(QShowEvent* e)
{
    if (FormEdit && FormSlova->EditorShown == 1)
        FormEdit->Close();
    setWindowTitle(FormSlova->ProjectPath);
    int found = -1;
    for (int i = 0; i < memo1->count(); ++i)
        if (entryPath(memo1->item(i)->text()) == FormSlova->ProjectPath)
            found = i;
    memo1->setCurrentRow(found >= 0 ? found : 0);
    TForm::showEvent(e);
}

void TFormDir::reject()
{
    // Every way of closing passes here: Esc, the window manager's close (through closeEvent) and OK.
    setWindowTitle(QStringLiteral("Project form"));
    CheckBox1Click();
    TForm::reject();
    // Closed without OK during a catalog switch: the catalog left comes back, so the tree is
    // never left empty and belonging to no catalog.
    if (FormSlova->NoCatalog)
        FormSlova->LoadMenue();
}
