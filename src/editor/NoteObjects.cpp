// Objects in the note editor's control: files embedded or linked as package objects, the Insert
// Object and properties dialogs, the verb menu, opening a package and files dropped on the text.
// No object servers exist here: objects of other programs keep their bytes and picture.
#include "NoteObjects.h"

#include "NoteEdit.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/AtomicFile.h"
#include "platform/richedit/OleObject.h"
#include "platform/richedit/RichFormat.h"
#include "platform/shell/Launcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdlib>
#include <sys/stat.h>

namespace {

QString& tempRoot()
{
    static QString root;
    return root;
}
QString& copiesFolder()
{
    static QString folder;
    return folder;
}
int& copyCount()
{
    static int n = 0;
    return n;
}

void warn(const QString& text, const QString& caption = QString(), platform::MsgIcon icon = platform::MsgIcon::Warning)
{
    platform::dialogs().message(text, caption, platform::MsgButtons::Ok, icon);
}

// A program or a desktop entry is never started from a note.
bool refusedToOpen(const QString& path)
{
    const QFileInfo info(path);
    if (info.suffix().compare(QLatin1String("desktop"), Qt::CaseInsensitive) == 0) {
        warn(QStringLiteral("\"%1\" is a desktop entry; it is not started from a note.").arg(info.fileName()));
        return true;
    }
    return false;
}

// The base name of a label: "../../x" and "C:\x\y.exe" become "x" and "y.exe".
QString baseName(const QString& label)
{
    QString name = label;
    const qsizetype cut = qMax(name.lastIndexOf('/'), name.lastIndexOf('\\'));
    if (cut >= 0)
        name = name.mid(cut + 1);
    QString clean;
    for (QChar c : name)
        clean += c.unicode() < 32 || c == ':' ? QChar('_') : c;
    clean = clean.trimmed();
    if (clean.isEmpty() || clean == QLatin1String(".") || clean == QLatin1String(".."))
        clean = QStringLiteral("object");
    return clean;
}

// A folder of mode 0700 made with mkdtemp below parent.
QString privateFolder(const QString& parent, const QString& prefix)
{
    QDir().mkpath(parent);
    QByteArray pattern = QFile::encodeName(QDir(parent).filePath(prefix + QStringLiteral("XXXXXX")));
    if (!::mkdtemp(pattern.data()))
        return QString();
    return QFile::decodeName(pattern) + QLatin1Char('/');
}

QString sizeText(qint64 n) { return QStringLiteral("%1 bytes").arg(n); }

bool isEmbeddedChar(const QTextDocument* doc, int pos)
{
    return pos >= 0 && doc->characterAt(pos) == QChar(QChar::ObjectReplacementCharacter);
}

// The format of the character at pos.
QTextCharFormat formatAt(QTextDocument* doc, int pos)
{
    QTextCursor probe(doc);
    probe.setPosition(pos + 1);
    return probe.charFormat();
}

// Pictures are the desktop's static pictures: no verbs, a type name by their kind.
QString pictureTypeName(const QTextCharFormat& f)
{
    switch (platform::richPicture(f.toImageFormat()).kind) {
    case platform::RichPictureKind::Wmf: return QStringLiteral("Picture (Metafile)");
    case platform::RichPictureKind::Emf: return QStringLiteral("Picture (Enhanced Metafile)");
    default: return QStringLiteral("Picture (Device Independent Bitmap)");
    }
}

} // namespace

// --- the control's object services ----------------------------------------------------------

void TCustomNoteEdit::SetObjectTempRoot(const QString& root) { tempRoot() = root; }

QString TCustomNoteEdit::ObjectCopiesFolder() { return copiesFolder(); }

void TCustomNoteEdit::RemoveObjectCopies()
{
    if (!copiesFolder().isEmpty())
        QDir(copiesFolder()).removeRecursively();
    copiesFolder().clear();
}

int TCustomNoteEdit::SelectedObject() const
{
    const QTextCursor c = textCursor();
    if (c.selectionEnd() - c.selectionStart() != 1 || !isEmbeddedChar(document(), c.selectionStart()))
        return -1;
    return platform::isRichObject(formatAt(document(), c.selectionStart())) ? c.selectionStart() : -1;
}

int TCustomNoteEdit::SelectedPicture() const
{
    const QTextCursor c = textCursor();
    if (c.selectionEnd() - c.selectionStart() != 1 || !isEmbeddedChar(document(), c.selectionStart()))
        return -1;
    return formatAt(document(), c.selectionStart()).isImageFormat() ? c.selectionStart() : -1;
}

QByteArray TCustomNoteEdit::ObjectGroupAt(int pos) const
{
    QTextCursor probe(document());
    probe.setPosition(qBound(0, pos + 1, TextLength()));
    const QTextCharFormat f = probe.charFormat();
    return platform::isRichObject(f) ? platform::richObject(f).bytes : QByteArray();
}

void TCustomNoteEdit::ReplaceObjectAt(int pos, const QByteArray& group)
{
    QTextDocument fragment;
    QTextCursor fc(&fragment);
    fc.insertText(QString(QChar(0xfffc)), platform::makeRichObject(fragment, group));
    SetSelection(pos, pos + 1, false);
    ReplaceSelWithDocument(fragment, true);
    SetSelection(pos, pos + 1, true);
}

QString TCustomNoteEdit::ObjectTypeName(int pos) const
{
    if (isEmbeddedChar(document(), pos))
        if (const QTextCharFormat f = formatAt(document(), pos); f.isImageFormat())
            return pictureTypeName(f);
    platform::RtfObjectInfo info;
    if (!platform::ParseObjectGroup(ObjectGroupAt(pos), info) || info.objClass.isEmpty())
        return QStringLiteral("Object");
    return QString::fromLatin1(info.objClass);
}

bool TCustomNoteEdit::InsertObjectFromFile(const QString& fileName, bool link)
{
    if (!allowObjects_ || isReadOnly())
        return false;
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        warn(QStringLiteral("\"%1\" is not a file that can be inserted.").arg(fileName));
        return false;
    }
    platform::PackageNative p;
    p.label = info.fileName();
    p.source = info.absoluteFilePath();
    p.tempPath = p.source;
    if (!link) {
        if (info.size() > platform::MaxEmbeddedFile) {
            warn(QStringLiteral("\"%1\" is larger than 50 MiB and cannot be embedded in a note.").arg(fileName));
            return false;
        }
        QString error;
        if (!platform::readWholeFile(fileName, p.data, &error)) {
            warn(error);
            return false;
        }
        if (p.data.size() > platform::MaxEmbeddedFile) {
            warn(QStringLiteral("\"%1\" is larger than 50 MiB and cannot be embedded in a note.").arg(fileName));
            return false;
        }
    }
    const QTextCursor c = textCursor();
    const int start = c.selectionStart();
    if (!AllowChange(start, c.selectionEnd()))
        return false;
    const QByteArray group = platform::MakePackageGroup(p, link);
    QTextDocument fragment;
    QTextCursor fc(&fragment);
    fc.insertText(QString(QChar(0xfffc)), platform::makeRichObject(fragment, group)); // takes the text format there
    ReplaceSelWithDocument(fragment, true);
    SetSelection(start, start + 1, true);
    SetModified(true);
    return true;
}

bool TCustomNoteEdit::ShowInsertObjectDialog()
{
    if (!allowObjects_ || isReadOnly())
        return false;
    TInsertObjectDialog dlg(window());
    if (dlg.exec() != QDialog::Accepted || dlg.FileName->text().trimmed().isEmpty())
        return false;
    return InsertObjectFromFile(dlg.FileName->text().trimmed(), dlg.LinkCheck->isChecked());
}

bool TCustomNoteEdit::DoVerb(int verb)
{
    const int pos = SelectedObject();
    if (verb != 0 || pos < 0)
        return false;
    platform::PackageObject obj;
    QString error;
    if (!platform::ReadPackageObject(ObjectGroupAt(pos), obj, &error)) {
        warn(QStringLiteral("The object cannot be opened. %1").arg(error));
        return false;
    }
    QString path;
    if (obj.linked) {
        path = obj.linkSource;
        if (!QFileInfo(path).isFile()) {
            warn(QStringLiteral("The linked file \"%1\" does not exist.").arg(path));
            return false;
        }
    } else {
        const QString name = baseName(obj.package.label);
        if (refusedToOpen(name))
            return false;
        if (copiesFolder().isEmpty()) {
            const QString root = tempRoot().isEmpty() ? QDir::tempPath() : tempRoot();
            copiesFolder() = privateFolder(root, QStringLiteral("note-objects-"));
            if (copiesFolder().isEmpty()) {
                warn(QStringLiteral("No folder for opened objects can be made in \"%1\".").arg(root));
                return false;
            }
        }
        // Each opened copy in a folder of its own: an earlier copy may still be shown.
        const QString folder = copiesFolder() + QString::number(++copyCount()) + QLatin1Char('/');
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
            warn(QStringLiteral("No folder for opened objects can be made in \"%1\".").arg(copiesFolder()));
            return false;
        }
        path = folder + name;
        if (!platform::writeFileAtomic(path, obj.package.data, &error)) {
            warn(error);
            return false;
        }
        // Data, never a program.
        ::chmod(QFile::encodeName(path).constData(), 0600);
    }
    if (refusedToOpen(path))
        return false;
    if (!platform::launcher().openDocument(path)) {
        warn(QStringLiteral("Cannot open \"%1\".").arg(path));
        return false;
    }
    return true;
}

QMenu* TCustomNoteEdit::CreateVerbMenu(QWidget* parent)
{
    if (!allowObjects_ || !autoVerbMenu_)
        return nullptr;
    int pos = SelectedObject();
    const bool object = pos >= 0;
    if (!object)
        pos = SelectedPicture();
    if (pos < 0)
        return nullptr;
    const QString type = ObjectTypeName(pos);
    // Packages (embedded and linked) open; pictures and objects of other programs have no
    // verbs here, only their properties.
    const bool package = object && type == QLatin1String("Package");
    auto* properties = new QAction(QStringLiteral("%1 Properties").arg(type), parent);
    properties->setObjectName(QStringLiteral("ObjectProperties"));
    connect(properties, &QAction::triggered, this, [this] { ShowObjectPropertiesDialog(); });
    QAction* open = nullptr;
    if (package) {
        open = new QAction(QStringLiteral("Open"), parent);
        open->setObjectName(QStringLiteral("Verb0"));
        QFont f = open->font();
        f.setBold(true); // the default item
        open->setFont(f);
        connect(open, &QAction::triggered, this, [this] { DoVerb(0); });
    }
    QMenu* menu;
    if (!PopupMenu) {
        menu = new QMenu(parent);
        menu->addAction(properties);
        if (open) {
            menu->addSeparator();
            menu->addAction(open);
            menu->setDefaultAction(open);
        }
    } else {
        menu = new QMenu(parent);
        menu->addActions(PopupMenu->actions());
        menu->addSeparator();
        menu->addAction(properties);
        if (open) {
            QMenu* verbs = menu->addMenu(type);
            verbs->setObjectName(QStringLiteral("VerbMenu"));
            verbs->addAction(open);
            verbs->setDefaultAction(open);
        }
    }
    return menu;
}

void TCustomNoteEdit::contextMenuEvent(QContextMenuEvent* e)
{
    // A right click on a picture or object, selected or not, is about that one.
    if (e->reason() == QContextMenuEvent::Mouse)
        if (const int pos = EmbeddedAt(e->pos()); pos >= 0)
            SetSelection(pos, pos + 1, false);
    if (QMenu* menu = CreateVerbMenu(this)) {
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(e->globalPos());
        e->accept();
        return;
    }
    if (PopupMenu) {
        PopupMenu->popup(e->globalPos());
        e->accept();
        return;
    }
    platform::RichEditControl::contextMenuEvent(e);
}

void TCustomNoteEdit::mousePressEvent(QMouseEvent* e)
{
    // A click on a picture or object selects it whole, as in a word processor; the caret
    // would otherwise land before or after it.
    objectPress_ = objectDrag_ = false;
    if (e->button() == Qt::LeftButton && e->modifiers() == Qt::NoModifier)
        if (const int pos = EmbeddedAt(e->position().toPoint()); pos >= 0) {
            objectPress_ = true;
            // A press on the object already selected may start dragging it, as a press on
            // selected text does.
            if (SelectedObject() == pos || SelectedPicture() == pos) {
                objectDrag_ = true;
                platform::RichEditControl::mousePressEvent(e);
                return;
            }
            SetSelection(pos, pos + 1, false);
            e->accept();
            return;
        }
    platform::RichEditControl::mousePressEvent(e);
}

void TCustomNoteEdit::mouseMoveEvent(QMouseEvent* e)
{
    // The text's own handling would extend a selection from where the press fell.
    if (objectPress_ && !objectDrag_ && (e->buttons() & Qt::LeftButton)) {
        e->accept();
        return;
    }
    platform::RichEditControl::mouseMoveEvent(e);
}

void TCustomNoteEdit::mouseReleaseEvent(QMouseEvent* e)
{
    // The text's own handling would put the caret where the release fell.
    if (objectPress_ && e->button() == Qt::LeftButton) {
        objectPress_ = objectDrag_ = false;
        e->accept();
        return;
    }
    platform::RichEditControl::mouseReleaseEvent(e);
}

void TCustomNoteEdit::mouseDoubleClickEvent(QMouseEvent* e)
{
    const int pos = e->button() == Qt::LeftButton ? EmbeddedAt(e->position().toPoint()) : -1;
    if (pos < 0) {
        platform::RichEditControl::mouseDoubleClickEvent(e);
        return;
    }
    objectPress_ = true;
    objectDrag_ = false;
    SetSelection(pos, pos + 1, false);
    e->accept();
    // The primary verb; only packages have one here.
    if (allowObjects_ && SelectedObject() == pos && ObjectTypeName(pos) == QLatin1String("Package"))
        DoVerb(0);
}

namespace {
QStringList localFiles(const QMimeData* source)
{
    QStringList files;
    if (source->hasUrls())
        for (const QUrl& u : source->urls())
            if (u.isLocalFile() && QFileInfo(u.toLocalFile()).isFile())
                files.append(u.toLocalFile());
    return files;
}
} // namespace

bool TCustomNoteEdit::canInsertFromMimeData(const QMimeData* source) const
{
    if (allowObjects_ && !localFiles(source).isEmpty())
        return true;
    return platform::RichEditControl::canInsertFromMimeData(source);
}

void TCustomNoteEdit::insertFromMimeData(const QMimeData* source)
{
    // Files dropped or pasted on the text become packages, one undo step each.
    const QStringList files = allowObjects_ && !source->hasFormat(QStringLiteral("text/rtf")) ? localFiles(source)
                                                                                              : QStringList();
    if (files.isEmpty()) {
        platform::RichEditControl::insertFromMimeData(source);
        return;
    }
    for (const QString& f : files) {
        if (!InsertObjectFromFile(f, false))
            break;
        const int end = textCursor().selectionEnd();
        SetSelection(end, end, true);
    }
}

bool TCustomNoteEdit::ShowObjectPropertiesDialog()
{
    if (!allowObjects_)
        return false;
    const int pos = SelectedObject() >= 0 ? SelectedObject() : SelectedPicture();
    if (pos < 0)
        return false;
    TObjectPropertiesDialog dlg(this, pos, window());
    dlg.exec();
    return true;
}

// --- Insert Object dialog -------------------------------------------------------------------

TInsertObjectDialog::TInsertObjectDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InsertObjectDialog"));
    setWindowTitle(QStringLiteral("Insert Object"));
    auto* v = new QVBoxLayout(this);
    CreateNew = new QRadioButton(QStringLiteral("Create &New"), this);
    CreateNew->setEnabled(false); // no object types exist here
    CreateFromFile = new QRadioButton(QStringLiteral("Create from &File"), this);
    CreateFromFile->setChecked(true);
    v->addWidget(CreateNew);
    v->addWidget(CreateFromFile);
    auto* row = new QHBoxLayout;
    FileName = new QLineEdit(this);
    FileName->setObjectName(QStringLiteral("FileName"));
    FileName->setMinimumWidth(260);
    BrowseButton = new QPushButton(QStringLiteral("&Browse..."), this);
    row->addWidget(FileName, 1);
    row->addWidget(BrowseButton);
    v->addLayout(row);
    LinkCheck = new QCheckBox(QStringLiteral("&Link"), this);
    DisplayAsIcon = new QCheckBox(QStringLiteral("&Display As Icon"), this);
    DisplayAsIcon->setChecked(true);
    DisplayAsIcon->setEnabled(false); // a package always shows its icon
    v->addWidget(LinkCheck);
    v->addWidget(DisplayAsIcon);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    v->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        const QString f = platform::dialogs().openFileName(QStringLiteral("Browse"), QFileInfo(FileName->text()).path(),
                                                           QStringLiteral("All Files (*)"));
        if (!f.isEmpty())
            FileName->setText(f);
    });
}

// --- properties dialog ----------------------------------------------------------------------

TObjectPropertiesDialog::TObjectPropertiesDialog(TCustomNoteEdit* edit, int pos, QWidget* parent)
    : QDialog(parent), edit_(edit), pos_(pos)
{
    setObjectName(QStringLiteral("ObjectPropertiesDialog"));
    const QString type = edit->ObjectTypeName(pos);
    setWindowTitle(QStringLiteral("%1 Properties").arg(type));
    auto* v = new QVBoxLayout(this);
    Pages = new QTabWidget(this);
    v->addWidget(Pages);
    auto* general = new QWidget(Pages);
    auto* form = general_ = new QFormLayout(general);
    TypeLabel = new QLabel(type, general);
    TypeLabel->setObjectName(QStringLiteral("TypeLabel"));
    SizeLabel = new QLabel(general);
    SizeLabel->setObjectName(QStringLiteral("SizeLabel"));
    const QString app = QApplication::applicationName();
    LocationLabel = new QLabel(edit->Title().trimmed().isEmpty() ? app : QStringLiteral("%1 - %2").arg(edit->Title(), app),
                               general);
    LocationLabel->setObjectName(QStringLiteral("LocationLabel"));
    form->addRow(QStringLiteral("Type:"), TypeLabel);
    form->addRow(QStringLiteral("Size:"), SizeLabel);
    form->addRow(QStringLiteral("Location:"), LocationLabel);
    Pages->addTab(general, QStringLiteral("General"));

    platform::PackageObject pkg;
    platform::RtfObjectInfo info;
    QString error;
    const bool picture = formatAt(edit->document(), pos).isImageFormat();
    const bool package = !picture && type == QLatin1String("Package");
    // An object whose data cannot even be read (its class unknown) is damaged as well.
    const bool damaged = !picture
        && (!platform::ParseObjectGroup(edit->ObjectGroupAt(pos), info, &error)
            || (package && !platform::ReadPackageObject(edit->ObjectGroupAt(pos), pkg, &error)));
    if (damaged)
        warn(QStringLiteral("The object is damaged. %1").arg(error));

    // A package shows its icon; pictures and other programs' objects their content.
    auto* view = new QWidget(Pages);
    auto* vv = new QVBoxLayout(view);
    IconLabel = new QLabel(view);
    IconLabel->setPixmap(QPixmap::fromImage(platform::PackageIcon(
        package && !pkg.package.label.isEmpty() ? pkg.package.label : package ? QFileInfo(pkg.linkSource).fileName() : type)));
    ContentView = new QRadioButton(QStringLiteral("Display as &editable information"), view);
    IconView = new QRadioButton(QStringLiteral("Display as &icon"), view);
    (package ? IconView : ContentView)->setChecked(true);
    for (QRadioButton* b : {ContentView, IconView}) {
        b->setEnabled(false);
        vv->addWidget(b);
    }
    vv->addWidget(IconLabel);
    vv->addStretch(1);
    Pages->addTab(view, QStringLiteral("View"));

    if (!damaged && pkg.linked) {
        auto* page = new QWidget(Pages);
        auto* lv = new QVBoxLayout(page);
        SourceLabel = new QLabel(page);
        SourceLabel->setObjectName(QStringLiteral("SourceLabel"));
        lv->addWidget(SourceLabel);
        AutomaticUpdate = new QRadioButton(QStringLiteral("&Automatic"), page);
        ManualUpdate = new QRadioButton(QStringLiteral("&Manual"), page);
        lv->addWidget(AutomaticUpdate);
        lv->addWidget(ManualUpdate);
        auto* buttons = new QHBoxLayout;
        OpenSourceButton = new QPushButton(QStringLiteral("&Open Source"), page);
        UpdateNowButton = new QPushButton(QStringLiteral("&Update Now"), page);
        ChangeSourceButton = new QPushButton(QStringLiteral("&Change Source..."), page);
        BreakLinkButton = new QPushButton(QStringLiteral("&Break Link"), page);
        for (QPushButton* b : {OpenSourceButton, UpdateNowButton, ChangeSourceButton, BreakLinkButton})
            buttons->addWidget(b);
        lv->addLayout(buttons);
        Pages->addTab(page, QStringLiteral("Link"));
        connect(OpenSourceButton, &QPushButton::clicked, this, &TObjectPropertiesDialog::OpenSource);
        connect(UpdateNowButton, &QPushButton::clicked, this, &TObjectPropertiesDialog::UpdateNow);
        connect(ChangeSourceButton, &QPushButton::clicked, this, &TObjectPropertiesDialog::ChangeSource);
        connect(BreakLinkButton, &QPushButton::clicked, this, &TObjectPropertiesDialog::BreakLink);
        connect(AutomaticUpdate, &QRadioButton::clicked, this, [this] { SetUpdateOption(true); });
        connect(ManualUpdate, &QRadioButton::clicked, this, [this] { SetUpdateOption(false); });
    }
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(OkButton);
    v->addLayout(row);
    refresh();
}

void TObjectPropertiesDialog::refresh()
{
    const QByteArray group = edit_->ObjectGroupAt(pos_);
    platform::RtfObjectInfo info;
    platform::ParseObjectGroup(group, info);
    platform::PackageObject pkg;
    const bool package = platform::ReadPackageObject(group, pkg);
    // The object's own data: the file embedded or linked, another program's native data, the
    // picture's bytes; never the stored record with its picture.
    qint64 size = -1;
    if (const QTextCharFormat f = formatAt(edit_->document(), pos_); f.isImageFormat())
        size = platform::richPicture(f.toImageFormat()).bytes.size();
    else if (package && !pkg.linked)
        size = pkg.package.data.size();
    else if (package && QFileInfo(pkg.linkSource).isFile())
        size = QFileInfo(pkg.linkSource).size();
    else if (platform::OleObject ole; !package && info.hasObjData && platform::ParseOleObject(info.objData, ole)
             && ole.format == platform::OleObject::Embedded)
        size = ole.native.size();
    SizeLabel->setText(size < 0 ? QString() : sizeText(size));
    general_->setRowVisible(SizeLabel, size >= 0);
    if (SourceLabel && package) {
        SourceLabel->setText(pkg.linkSource);
        (pkg.updateOption == 3 ? ManualUpdate : AutomaticUpdate)->setChecked(true);
    }
}

void TObjectPropertiesDialog::OpenSource()
{
    edit_->SetSelection(pos_, pos_ + 1, true);
    edit_->DoVerb(0);
}

void TObjectPropertiesDialog::UpdateNow()
{
    platform::PackageObject pkg;
    if (!platform::ReadPackageObject(edit_->ObjectGroupAt(pos_), pkg))
        return;
    if (!QFileInfo(pkg.linkSource).isFile()) {
        warn(QStringLiteral("The linked file \"%1\" does not exist.").arg(pkg.linkSource));
        return;
    }
    platform::PackageNative p;
    p.source = pkg.linkSource;
    p.label = QFileInfo(pkg.linkSource).fileName();
    edit_->ReplaceObjectAt(pos_, platform::MakePackageGroup(p, true, pkg.updateOption));
    refresh();
}

void TObjectPropertiesDialog::ChangeSource()
{
    platform::PackageObject pkg;
    if (!platform::ReadPackageObject(edit_->ObjectGroupAt(pos_), pkg))
        return;
    const QString f = platform::dialogs().openFileName(QStringLiteral("Change Source"),
                                                       QFileInfo(pkg.linkSource).path(), QStringLiteral("All Files (*)"));
    if (f.isEmpty())
        return; // cancelled
    if (!QFileInfo(f).isFile()) {
        warn(QStringLiteral("Cannot link to an invalid source."), QStringLiteral("Link Properties"), platform::MsgIcon::Error);
        return;
    }
    platform::PackageNative p;
    p.source = QFileInfo(f).absoluteFilePath();
    p.label = QFileInfo(f).fileName();
    edit_->ReplaceObjectAt(pos_, platform::MakePackageGroup(p, true, pkg.updateOption));
    refresh();
}

void TObjectPropertiesDialog::BreakLink()
{
    warn(QStringLiteral("Break link operation is not supported."), QStringLiteral("Link Properties"),
         platform::MsgIcon::Error);
}

void TObjectPropertiesDialog::SetUpdateOption(bool automatic)
{
    platform::PackageObject pkg;
    if (!platform::ReadPackageObject(edit_->ObjectGroupAt(pos_), pkg))
        return;
    const quint32 option = automatic ? 1 : 3;
    if (option == pkg.updateOption)
        return;
    platform::PackageNative p;
    p.source = pkg.linkSource;
    p.label = pkg.package.label;
    edit_->ReplaceObjectAt(pos_, platform::MakePackageGroup(p, true, option));
    edit_->SetModified(true);
    refresh();
}
