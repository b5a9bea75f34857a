// The editor window: creation and layout, menus and tool bar, showing, the modified mark and the
// status bar's hints.
#include "REMain.h"

#include "ValueSpin.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>


TFormEdit* FormEdit = nullptr;

namespace {

const QString Untitled = QStringLiteral("Untitled");

// "Short|Long": the short part is the tool tip, the long part the status tip.
void setHint(QWidget* w, const QString& hint)
{
    const qsizetype bar = hint.indexOf('|');
    w->setToolTip(bar < 0 ? hint : hint.left(bar));
    w->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

void setHint(QAction* a, const QString& hint)
{
    const qsizetype bar = hint.indexOf('|');
    a->setToolTip(bar < 0 ? hint : hint.left(bar));
    a->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

} // namespace

// --- creation ---------------------------------------------------------------------------------

TFormEdit::TFormEdit()
{
    setObjectName(QStringLiteral("FormEdit"));
    setWindowTitle(QStringLiteral("FormEdit"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    Editor = new TNoteEdit(this);
    Editor->setObjectName(QStringLiteral("Editor"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(15);
    Editor->setFont(f);
    Editor->SetHideSelection(false);
    Editor->SetWantTabs(true);
    Editor->SetAutoURLDetect(true);

    createMenus();
    createToolBar();
    createRuler();
    createStatusBar();
    v->setMenuBar(MainMenu);
    v->addWidget(StandardToolBar);
    v->addWidget(Ruler);
    v->addWidget(Editor, 1);
    v->addWidget(StatusBar);

    Editor->OnChange = [this] { RichEditChange(); };
    Editor->OnSelectionChange = [this] { SelectionChange(); };
    Editor->OnTextNotFound = [this](const QString& t) { Editor1TextNotFound(t); };
    Editor->OnURLClick = [this](const QString& u, Qt::MouseButton b) { Editor1URLClick(u, b); };
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &TFormEdit::ActionList2Update);

    // Files dropped anywhere on the window, the text included, open as the note.
    setAcceptDrops(true);
    Editor->viewport()->installEventFilter(this);
    FormCreate();
}

TFormEdit::~TFormEdit()
{
    qApp->removeEventFilter(this);
    if (FormEdit == this)
        FormEdit = nullptr;
}

void TFormEdit::FormCreate()
{
    // Every status tip of the program comes to this window's status bar.
    qApp->installEventFilter(this);
    const QString programDir = FormSlova ? FormSlova->ProgramDir : QString();
    const QString noteFilter = QStringLiteral("Rich Text Files (*.RTF)|*.RTF|Text Files (*.TXT)|*.TXT");
    OpenDialog = {noteFilter, programDir, QString(), false};
    SaveDialog = {noteFilter, programDir, QString(), false};
    ApplyFileName(Untitled);
    FillFontList();
    BuildRulerMarks();
    SelectionChange();
    ApplyNewNoteAttributes();
    Editor->SetModified(false);
    ShowModifiedMark(false);
    SelectionChange();
    // Opened copies of embedded files go below the program's temp folder.
    if (!programDir.isEmpty())
        TCustomNoteEdit::SetObjectTempRoot(programDir + QStringLiteral("temp/"));
    PictureDialog = {QStringLiteral("Picture files (*.bmp;*.jpg;*.gif)|*.bmp;*.jpg;*.gif"), programDir, QString(), false};
    ActionList2Update();
}

void TFormEdit::createMenus()
{
    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    MainMenu->setNativeMenuBar(false);
    auto action = [this](QMenu* menu, const QString& objectName, const QString& text, const QString& hint,
                         const QKeySequence& keys, const std::function<void()>& slot) {
        auto* a = new QAction(text, this);
        a->setObjectName(objectName);
        if (!hint.isEmpty())
            setHint(a, hint);
        if (!keys.isEmpty()) {
            a->setShortcut(keys);
            // Only while the focus is inside the editor: the tree keeps its own keys.
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(a);
        }
        connect(a, &QAction::triggered, this, [slot] { slot(); });
        if (menu)
            menu->addAction(a);
        return a;
    };
    QMenu* file = MainMenu->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    FileNewCmd = action(file, QStringLiteral("FileNewCmd"), QStringLiteral("&New"),
                        QStringLiteral("New|Create a new file"), QKeySequence(QStringLiteral("Ctrl+N")), [this] { FileNew(); });
    FileOpenCmd = action(file, QStringLiteral("FileOpenCmd"), QStringLiteral("&Open..."),
                         QStringLiteral("Open|Open an existing file"), QKeySequence(QStringLiteral("Ctrl+O")),
                         [this] { FileOpen(); });
    FileSaveCmd = action(file, QStringLiteral("FileSaveCmd"), QStringLiteral("&Save"),
                         QStringLiteral("Save|Save current file"), QKeySequence(QStringLiteral("Ctrl+S")),
                         [this] { FileSave(); });
    FileSaveAsCmd = action(file, QStringLiteral("FileSaveAsCmd"), QStringLiteral("Save &As..."),
                           QStringLiteral("Save As|Save current file under a new name"), QKeySequence(), [this] { FileSaveAs(); });
    FilePrintCmd = action(file, QStringLiteral("FilePrintCmd"), QStringLiteral("&Print"),
                          QStringLiteral("Print|Print current file"), QKeySequence(QStringLiteral("Ctrl+P")),
                          [this] { FilePrint(); });
    // "Exit" has no menu item, only its shortcut.
    FileExitCmd = action(nullptr, QStringLiteral("FileExitCmd"), QStringLiteral("E&xit"),
                         QStringLiteral("Exit|Exit this application"), QKeySequence(QStringLiteral("Alt+X")),
                         [this] { FileExit(); });

    QMenu* edit = MainMenu->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    EditUndoCmd = action(edit, QStringLiteral("EditUndoCmd"), QStringLiteral("&Undo"),
                         QStringLiteral("Undo|Undo the last action"), QKeySequence(QStringLiteral("Ctrl+Z")),
                         [this] { EditUndo(); });
    EditCutCmd = action(edit, QStringLiteral("EditCutCmd"), QStringLiteral("Cu&t"),
                        QStringLiteral("Cut|Delete selected item"), QKeySequence(QStringLiteral("Ctrl+X")),
                        [this] { EditCut(); });
    EditCopyCmd = action(edit, QStringLiteral("EditCopyCmd"), QStringLiteral("&Copy"),
                         QStringLiteral("Copy|Copy selected item to clipboard"), QKeySequence(QStringLiteral("Ctrl+C")),
                         [this] { EditCopy(); });
    EditPasteCmd = action(edit, QStringLiteral("EditPasteCmd"), QStringLiteral("&Paste"),
                          QStringLiteral("Paste|Paste contents of clipboard"), QKeySequence(QStringLiteral("Ctrl+V")),
                          [this] { EditPaste(); });
    EditFontCmd = action(edit, QStringLiteral("EditFontCmd"), QStringLiteral("&Font..."), QString(), QKeySequence(),
                         [this] { SelectFont(); });

    QMenu* insert = MainMenu->addMenu(QStringLiteral("Insert"));
    insert->setObjectName(QStringLiteral("InsertMenu"));
    Picture1 = action(insert, QStringLiteral("Picture1"), QStringLiteral("Picture"), QString(), QKeySequence(),
                      [this] { Picture1Click(); });
    Object1 = action(insert, QStringLiteral("Object1"), QStringLiteral("Object"), QString(), QKeySequence(),
                     [this] { Object1Click(); });

    QMenu* format = MainMenu->addMenu(QStringLiteral("Format"));
    format->setObjectName(QStringLiteral("FormatMenu"));
    Paragraph1 = action(format, QStringLiteral("Paragraph1"), QStringLiteral("Paragraph"), QString(), QKeySequence(),
                        [this] { Paragraph1Click(); });
    HiddenItem = action(format, QStringLiteral("HiddenItem"), QStringLiteral("Hiden"), QString(), QKeySequence(),
                        [this] { HiddenItemClick(); });
    HiddenItem->setCheckable(true);
}

void TFormEdit::createToolBar()
{
    StandardToolBar = new QWidget(this);
    StandardToolBar->setObjectName(QStringLiteral("StandardToolBar"));
    StandardToolBar->setFixedHeight(34);
    auto* h = new QHBoxLayout(StandardToolBar);
    h->setContentsMargins(2, 2, 2, 2);
    h->setSpacing(1);
    auto button = [this, h](const QString& name, const QString& text, const QString& hint) {
        auto* b = new QToolButton(StandardToolBar);
        b->setObjectName(name);
        b->setText(text);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        if (!hint.isEmpty())
            setHint(b, hint);
        h->addWidget(b);
        return b;
    };
    auto bound = [&](const QString& name, QAction* a) {
        QToolButton* b = button(name, QString(), QString());
        b->setDefaultAction(a);
        return b;
    };
    NewButton = bound(QStringLiteral("NewButton"), FileNewCmd);
    OpenButton = bound(QStringLiteral("OpenButton"), FileOpenCmd);
    SaveButton = bound(QStringLiteral("SaveButton"), FileSaveCmd);
    PrintButton = bound(QStringLiteral("PrintButton"), FilePrintCmd);
    ToolButton1 = new QFrame(StandardToolBar);
    ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
    ToolButton1->setFrameShape(QFrame::VLine);
    h->addWidget(ToolButton1);
    for (QWidget* w : std::initializer_list<QWidget*>{NewButton, OpenButton, SaveButton, PrintButton, ToolButton1})
        w->setVisible(false);
    CutButton = bound(QStringLiteral("CutButton"), EditCutCmd);
    CopyButton = bound(QStringLiteral("CopyButton"), EditCopyCmd);
    PasteButton = bound(QStringLiteral("PasteButton"), EditPasteCmd);
    UndoButton = bound(QStringLiteral("UndoButton"), EditUndoCmd);
    ToolButton3 = button(QStringLiteral("ToolButton3"), QStringLiteral("Redo"), QStringLiteral("Redo|Redo the last undone action"));
    connect(ToolButton3, &QToolButton::clicked, this, &TFormEdit::ToolButton3Click);
    ToolButton4 = button(QStringLiteral("ToolButton4"), QStringLiteral("Find"), QStringLiteral("Find|Find text"));
    connect(ToolButton4, &QToolButton::clicked, this, &TFormEdit::ToolButton4Click);

    FontName = new QComboBox(StandardToolBar);
    FontName->setObjectName(QStringLiteral("FontName"));
    FontName->setEditable(true);
    FontName->setInsertPolicy(QComboBox::NoInsert);
    FontName->setFixedWidth(125);
    setHint(FontName, QStringLiteral("Font Name|Select font name"));
    h->addWidget(FontName);
    connect(FontName, &QComboBox::textActivated, this, [this] { FontNameChange(); });

    FontSize = new QLineEdit(QStringLiteral("0"), StandardToolBar);
    FontSize->setObjectName(QStringLiteral("FontSize"));
    FontSize->setFixedWidth(36);
    setHint(FontSize, QStringLiteral("Font Size|Select font size"));
    h->addWidget(FontSize);
    connect(FontSize, &QLineEdit::textChanged, this, [this] { FontSizeChange(); });
    UpDown1 = new TValueUpDown(StandardToolBar);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setFixedHeight(24);
    h->addWidget(UpDown1);
    // The up-down control is bound to the size box: a click steps the number in the box.
    UpDown1->OnClick = [this](bool up) {
        bool ok = false;
        const int size = FontSize->text().toInt(&ok);
        if (ok)
            FontSize->setText(QString::number(size + (up ? 1 : -1)));
    };

    auto check = [&](const QString& name, const QString& text, const QString& hint) {
        QToolButton* b = button(name, text, hint);
        b->setCheckable(true);
        return b;
    };
    BoldButton = check(QStringLiteral("BoldButton"), QStringLiteral("B"), QStringLiteral("Bold"));
    ItalicButton = check(QStringLiteral("ItalicButton"), QStringLiteral("I"), QStringLiteral("Italic"));
    UnderlineButton = check(QStringLiteral("UnderlineButton"), QStringLiteral("U"), QStringLiteral("Underline"));
    connect(BoldButton, &QToolButton::clicked, this, &TFormEdit::BoldButtonClick);
    connect(ItalicButton, &QToolButton::clicked, this, &TFormEdit::ItalicButtonClick);
    connect(UnderlineButton, &QToolButton::clicked, this, &TFormEdit::UnderlineButtonClick);
    LeftAlign = check(QStringLiteral("LeftAlign"), QStringLiteral("L"), QStringLiteral("Align Left"));
    CenterAlign = check(QStringLiteral("CenterAlign"), QStringLiteral("C"), QStringLiteral("Center"));
    RightAlign = check(QStringLiteral("RightAlign"), QStringLiteral("R"), QStringLiteral("Align Right"));
    AlignGroup = new QButtonGroup(this);
    AlignGroup->setExclusive(true);
    AlignGroup->addButton(LeftAlign, taLeftJustify);
    AlignGroup->addButton(CenterAlign, taCenter);
    AlignGroup->addButton(RightAlign, taRightJustify);
    LeftAlign->setChecked(true);
    connect(AlignGroup, &QButtonGroup::idClicked, this, &TFormEdit::AlignButtonClick);
    BulletsBtn = check(QStringLiteral("BulletsBtn"), QStringLiteral("\u2022"), QStringLiteral("Bullets|Enter bullet mode"));
    connect(BulletsBtn, &QToolButton::clicked, this, &TFormEdit::BulletsButtonClick);
    h->addStretch(1);
}

void TFormEdit::createStatusBar()
{
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    auto panel = [this](int width, Qt::Alignment align) {
        auto* l = new QLabel(StatusBar);
        l->setFixedWidth(width);
        l->setAlignment(align | Qt::AlignVCenter);
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        StatusBar->addWidget(l);
        return l;
    };
    StatusPanel0 = panel(120, Qt::AlignLeft);
    StatusPanel1 = panel(60, Qt::AlignHCenter);
    StatusPanel2 = panel(50, Qt::AlignLeft);
}

void TFormEdit::FillFontList()
{
    QStringList families = QFontDatabase::families();
    families.sort(Qt::CaseInsensitive);
    FontName->clear();
    FontName->addItems(families);
}

// --- showing ----------------------------------------------------------------------------------

void TFormEdit::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    FormShow();
}

void TFormEdit::FormShow()
{
    if (FormSlova)
        setWindowTitle(FormSlova->CurrentNodeText);
    ShowCaretPosition();
    ShowModifiedMark(Editor->Modified());
    Editor->setFocus();
}

void TFormEdit::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    ApplyTextMargins();
    RulerResize();
    SelectionChange();
}

void TFormEdit::ApplyFileName(const QString& name)
{
    EditorFileName = name;
    setWindowTitle(QStringLiteral("%1 - %2").arg(QFileInfo(name).fileName(), QApplication::applicationName()));
}

void TFormEdit::ShowModifiedMark(bool value) { StatusPanel1->setText(value ? QStringLiteral("Modified") : QString()); }

bool TFormEdit::Modified() const { return StatusPanel1->text() == QLatin1String("Modified"); }

void TFormEdit::RichEditChange()
{
    ShowModifiedMark(Editor->Modified());
    ActionList2Update();
}

void TFormEdit::ActionList2Update()
{
    const bool selected = Editor->SelLength() > 0;
    EditCutCmd->setEnabled(selected);
    EditCopyCmd->setEnabled(selected);
    EditUndoCmd->setEnabled(Editor->CanUndo());
    EditPasteCmd->setEnabled(Editor->CanPaste());
}

// --- hints ------------------------------------------------------------------------------------

void TFormEdit::ShowHint(const QString& hint)
{
    const qsizetype bar = hint.indexOf('|');
    const QString text = bar < 0 ? hint : hint.mid(bar + 1);
    // QStatusBar hides its panels while a message shows and brings them back when it clears;
    // panel 1 keeps its text all the while.
    if (!text.isEmpty()) {
        StatusBar->showMessage(text);
        hintShown_ = true;
    } else if (hintShown_) {
        StatusBar->clearMessage();
        hintShown_ = false;
    }
}

bool TFormEdit::eventFilter(QObject* watched, QEvent* e)
{
    if (!StatusBar) // still being built
        return QWidget::eventFilter(watched, e);
    if (watched == Ruler && e->type() == QEvent::Resize) {
        RulerResize();
        SelectionChange();
        return false;
    }
    switch (e->type()) {
    case QEvent::StatusTip:
        ShowHint(static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    case QEvent::DragEnter:
    case QEvent::DragMove:
        // With objects allowed, files dropped on the text become objects there.
        if (watched == Editor->viewport() && !Editor->AllowObjects()) {
            auto* d = static_cast<QDragMoveEvent*>(e);
            if (d->mimeData()->hasUrls() && !d->mimeData()->urls().isEmpty()
                && d->mimeData()->urls().first().isLocalFile()) {
                d->acceptProposedAction();
                return true;
            }
        }
        break;
    case QEvent::Drop:
        if (watched == Editor->viewport() && !Editor->AllowObjects()) {
            auto* d = static_cast<QDropEvent*>(e);
            if (d->mimeData()->hasUrls() && !d->mimeData()->urls().isEmpty()
                && d->mimeData()->urls().first().isLocalFile()) {
                dropEvent(d);
                return true;
            }
        }
        break;
    default: break;
    }
    return QWidget::eventFilter(watched, e);
}

