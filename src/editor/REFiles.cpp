// The editor window's note: loading a node's note, opening and dropping files, saving with the
// checks that keep the user's files safe, asking before changes are lost, and closing.
#include "REMain.h"

#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/text/CodePage.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include <sys/stat.h>

namespace {

const QString Untitled = QStringLiteral("Untitled");

QString extensionOf(const QString& name) { return QFileInfo(name).suffix().toLower(); }

void showError(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

} // namespace

bool IsUsableNoteName(const QString& nodeText)
{
    if (nodeText == QLatin1String(".") || nodeText == QLatin1String(".."))
        return false;
    for (QChar c : nodeText)
        if (c == '/' || c == '\\' || c.unicode() < 32 || c.unicode() == 127)
            return false;
    return true;
}

// --- loading ----------------------------------------------------------------------------------

bool TFormEdit::OpenNoteFile(const QString& name, bool readOnly, bool tellDamage)
{
    // A failed load leaves the note, its file name, the caption and the mark as they were.
    try {
        Editor->Lines()->LoadFromFile(name);
    } catch (const platform::Exception& e) {
        showError(e.Message);
        return false;
    }
    ApplyFileName(name);
    // A damaged note shows what could be read; read-only, so that nothing typed sends that part
    // over the file, whose rest stays on disk for another program to recover.
    damaged_ = Editor->Lines()->LoadCutShort();
    askedReadOnly_ = readOnly;
    Editor->SetReadOnly(readOnly || damaged_);
    Editor->setFocus();
    Editor->SetModified(false);
    ShowModifiedMark(false);
    rememberDiskState(name);
    refusedName_.clear();
    SelectionChange();
    if (damaged_ && tellDamage)
        platform::dialogs().message(QStringLiteral("The note \"%1\" is damaged: only its text up to the damage "
                                                   "could be read. It is shown read-only, so that the file keeps "
                                                   "the rest.")
                                        .arg(name),
                                    QString(), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
    return true;
}

void TFormEdit::showEmptyNote(const QString& fileName, const QString& refusedName, bool readOnly)
{
    Editor->Clear();
    if (readOnly)
        Editor->SetReadOnly(true);
    else
        ApplyNewNoteAttributes();
    EditorFileName = fileName;
    refusedName_ = refusedName;
    damaged_ = false;
    disk_ = DiskState();
    ShowModifiedMark(false);
    SelectionChange();
}

void TFormEdit::EditFileFromTree()
{
    // A read-only answer of the open dialog held for that file only.
    Editor->SetReadOnly(false);
    const QString dir = FormSlova ? FormSlova->ProjectPath : QString();
    const QString text = FormSlova ? FormSlova->CurrentNodeText : QString();
    const QString caption = windowTitle();
    if (!IsUsableNoteName(text)) {
        // Such a node text never reaches the file system: an empty note that cannot be saved.
        showEmptyNote(dir + text + QStringLiteral(".rtf"), text, false);
        return;
    }
    platform::ResolveScope scope;
    for (const char* ext : {".txt", ".rtf"}) {
        const QString name = platform::resolveIn(dir, text + QLatin1String(ext));
        // As node opening does: a folder or other non-file of the note's name is no note.
        if (QFileInfo(name).isFile()) {
            if (OpenNoteFile(name, false)) {
                setWindowTitle(caption); // a node's note is named by its node
                return;
            }
            // The note shown before must not take what is typed for this node: an empty,
            // read-only editor stands for the note that could not be read.
            showEmptyNote(name, QString(), true);
            return;
        }
    }
    showEmptyNote(dir + text + QStringLiteral(".rtf"), QString(), false);
    // As for a loaded note: what the user types next goes into the note, not into the tree,
    // where keys delete, insert and rename nodes.
    Editor->setFocus();
}

void TFormEdit::FileNew()
{
    if (!AskSaveChanges())
        return;
    ApplyFileName(Untitled);
    Editor->Clear();
    ApplyNewNoteAttributes();
    Editor->SetReadOnly(false);
    Editor->SetModified(false);
    ShowModifiedMark(false);
    refusedName_.clear();
    damaged_ = false;
    disk_ = DiskState();
    SelectionChange();
}

void TFormEdit::FileOpen()
{
    if (!AskSaveChanges())
        return;
    bool readOnly = false;
    const QString name =
        platform::dialogs().openFileNameReadOnly(QStringLiteral("Open"), OpenDialog.InitialDir, OpenDialog.Filter, readOnly);
    if (name.isEmpty())
        return;
    OpenDialog.FileName = name;
    OpenDialog.ReadOnly = readOnly;
    OpenNoteFile(name, readOnly);
}

void TFormEdit::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls() && !e->mimeData()->urls().isEmpty() && e->mimeData()->urls().first().isLocalFile())
        e->acceptProposedAction();
}

void TFormEdit::dropEvent(QDropEvent* e)
{
    QStringList files;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile())
            files.append(u.toLocalFile());
    e->acceptProposedAction();
    FilesDropped(files);
}

void TFormEdit::FilesDropped(const QStringList& files)
{
    if (files.isEmpty() || files.first().isEmpty())
        return;
    const QString name = files.first();
    // Only notes: anything else would be loaded as text and overwritten with RTF later.
    const QString ext = extensionOf(name);
    if (ext != QLatin1String("rtf") && ext != QLatin1String("txt")) {
        platform::dialogs().message(
            QStringLiteral("\"%1\" is not a note: only \".rtf\" and \".txt\" files can be opened in the editor.").arg(name),
            QString(), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
        return;
    }
    if (!AskSaveChanges())
        return;
    OpenNoteFile(name, false);
}

// --- saving -----------------------------------------------------------------------------------

bool TFormEdit::AskSaveChanges()
{
    if (!Editor->Modified())
        return true;
    switch (platform::dialogs().message(QStringLiteral("Save changes to %1?").arg(EditorFileName), QString(),
                                        platform::MsgButtons::YesNoCancel, platform::MsgIcon::Question)) {
    case platform::MsgResult::Yes: return SaveBeforeLeaving(); // a save that did not happen stops as Cancel
    case platform::MsgResult::No: discardChanges(); return true;
    default: return false;
    }
}

void TFormEdit::discardChanges()
{
    // Whatever asked goes on without the edits: were they kept, the next node click (or any
    // later save) would write the declined text over the note, or into a catalog since left.
    // The editor shows the note as its file holds it again, so typing after this starts there.
    const QString name = EditorFileName;
    if (name != Untitled && refusedName_.isEmpty() && QFileInfo(name).isFile()) {
        const QString caption = windowTitle(); // a node's note keeps its node's caption
        // A note opened read-only stays so; a damaged one is told of once, not at every reload.
        const bool loaded = OpenNoteFile(name, damaged_ ? askedReadOnly_ : Editor->ReadOnly(), !damaged_);
        setWindowTitle(caption);
        // A file that cannot be read now: the stand-in of a note that fails to load.
        if (!loaded)
            showEmptyNote(name, QString(), true);
    } else {
        // No file behind the note: it starts empty again.
        showEmptyNote(name, refusedName_, Editor->ReadOnly());
    }
    Editor->ClearUndo(); // undo must not bring the declined text back either
    Editor->SetModified(false);
}

bool TFormEdit::FileSave() { return saveNote(false); }

bool TFormEdit::SaveBeforeLeaving() { return saveNote(true); }

bool TFormEdit::saveNote(bool leaving)
{
    // An empty text is never written: the old file keeps its content and the mark stays.
    if (Editor->Lines()->Count() == 0)
        return true;
    if (EditorFileName == Untitled)
        return FileSaveAs();
    if (!refusedName_.isEmpty()) {
        showError(QStringLiteral("The node name \"%1\" cannot be used as a file name, so its note cannot be saved. "
                                 "Use Save As to keep the text.")
                      .arg(refusedName_));
        return false;
    }
    return saveTo(EditorFileName, true, leaving);
}

bool TFormEdit::FileSaveAs()
{
    const QString name =
        platform::dialogs().saveFileName(QStringLiteral("Save As"), SaveDialog.InitialDir, SaveDialog.Filter);
    if (name.isEmpty())
        return false;
    SaveDialog.FileName = name;
    if (QFileInfo::exists(name)
        && platform::dialogs().message(QStringLiteral("OK to overwrite %1").arg(name), QString(),
                                       platform::MsgButtons::YesNoCancel, platform::MsgIcon::Question)
               != platform::MsgResult::Yes)
        return false;
    if (!saveTo(name, false))
        return false;
    ApplyFileName(name);
    refusedName_.clear();
    return true;
}

QString TFormEdit::plainTextLosses() const
{
    const QString text = Editor->Text();
    bool objects = false, chars = false;
    // Code page checks run on stretches between pictures.
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i].unicode() == 0xfffc) {
            if (!chars && i > from && !platform::canEncode(platform::CodePage::Windows1251, QStringView(text).mid(from, i - from)))
                chars = true;
            if (i < text.size())
                objects = true;
            from = i + 1;
        }
    }
    QStringList lost;
    if (objects)
        lost.append(QStringLiteral("its pictures and objects"));
    if (chars)
        lost.append(QStringLiteral("the characters that Windows-1251 cannot hold"));
    return lost.join(QStringLiteral(" and "));
}

bool TFormEdit::saveTo(const QString& name, bool checkDisk, bool leaving)
{
    if (extensionOf(name) == QLatin1String("txt")) {
        const QString lost = plainTextLosses();
        if (!lost.isEmpty()
            && platform::dialogs().message(
                   QStringLiteral("\"%1\" is a plain text file: saving it loses %2. Save anyway?").arg(name, lost),
                   QString(), platform::MsgButtons::YesNo, platform::MsgIcon::Warning)
                   != platform::MsgResult::Yes)
            return false;
    }
    // A damaged note holds only the text before the damage: saving it over its file drops the rest.
    // A note opened read-only is the user's word that its file stays as it is. A format command
    // still changes either, so no save writes over them without asking. Where the note is being
    // left, No lets that go on without the edits (kept, they would be asked about again at every
    // click, or written later); Cancel stays with them.
    const bool openedReadOnly = Editor->ReadOnly() && !damaged_;
    if (checkDisk && (damaged_ || openedReadOnly) && name == EditorFileName) {
        const QString question =
            damaged_ ? QStringLiteral("The note \"%1\" is damaged: saving it keeps only the text that could be read, "
                                      "and the rest of the file is lost. Save anyway?")
                     : QStringLiteral("The note \"%1\" was opened read-only. Save anyway?");
        const platform::MsgResult answer = platform::dialogs().message(
            question.arg(name), QString(), leaving ? platform::MsgButtons::YesNoCancel : platform::MsgButtons::YesNo,
            platform::MsgIcon::Warning);
        if (answer == platform::MsgResult::No && leaving) {
            discardChanges();
            return true;
        }
        if (answer != platform::MsgResult::Yes)
            return false;
    }
    // Someone else (the plain-text editor, another program) changed the file since we read it.
    if (checkDisk && changedOnDisk(name)
        && platform::dialogs().message(QStringLiteral("OK to overwrite %1").arg(name), QString(),
                                       platform::MsgButtons::YesNoCancel, platform::MsgIcon::Question)
               != platform::MsgResult::Yes)
        return false;
    try {
        Editor->Lines()->SaveToFile(name);
    } catch (const platform::Exception& e) {
        showError(e.Message);
        return false;
    }
    Editor->SetModified(false);
    ShowModifiedMark(false);
    rememberDiskState(name);
    // The file now holds what the editor shows: a note read-only for its damage alone takes typing.
    if (damaged_ && !askedReadOnly_)
        Editor->SetReadOnly(false);
    damaged_ = false;
    return true;
}

namespace {
bool statFile(const QString& name, struct stat& st) { return ::stat(QFile::encodeName(name).constData(), &st) == 0; }
} // namespace

void TFormEdit::rememberDiskState(const QString& name)
{
    disk_ = DiskState();
    struct stat st;
    if (!statFile(name, st))
        return;
    disk_.exists = true;
    disk_.size = st.st_size;
    disk_.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    disk_.inode = st.st_ino;
}

bool TFormEdit::changedOnDisk(const QString& name) const
{
    struct stat st;
    if (!statFile(name, st))
        return false; // gone, or never written: nothing of someone else's to overwrite
    if (!disk_.exists)
        return true;
    return st.st_size != disk_.size || qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec != disk_.mtimeNs
        || quint64(st.st_ino) != disk_.inode;
}

// --- closing ----------------------------------------------------------------------------------

bool TFormEdit::CloseQuery() { return AskSaveChanges(); }

bool TFormEdit::Close()
{
    if (!CloseQuery())
        return false;
    hide();
    if (FormSlova)
        FormSlova->EditorShown = 0;
    return true;
}

void TFormEdit::FileExit() { Close(); }

void TFormEdit::FormDestroy()
{
    TCustomNoteEdit::RemoveObjectCopies();
    if (FormSlova)
        FormSlova->EditorShown = 0;
}
