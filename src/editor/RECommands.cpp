// The editor window's edit commands, pictures, objects, the paragraph dialog, find, web addresses
// in the text and printing.
#include "REMain.h"

#include "ParaFmt.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/PictureFormats.h"
#include "platform/richedit/JpegImage.h"
#include "platform/richedit/RichFormat.h"
#include "platform/shell/Launcher.h"

#include <QApplication>
#include <QFileInfo>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace {
void showError(const QString& text)
{
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}
} // namespace

void TFormEdit::EditUndo() { Editor->Undo(); }
void TFormEdit::EditCut() { Editor->CutToClipboard(); }
void TFormEdit::EditCopy() { Editor->CopyToClipboard(); }
void TFormEdit::EditPaste() { Editor->PasteFromClipboard(); }

void TFormEdit::ToolButton3Click()
{
    Editor->RedoEdit();
    ShowModifiedMark(Editor->Modified());
    SelectionChange();
}

void TFormEdit::ToolButton4Click() { Editor->ShowFindDialog(Editor->SelText()); }

void TFormEdit::Editor1TextNotFound(const QString& text)
{
    platform::dialogs().message(QStringLiteral("Text \"%1\" not found.").arg(text), QString(), platform::MsgButtons::Ok,
                                platform::MsgIcon::Warning);
}

void TFormEdit::Editor1URLClick(const QString& url, Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    QString address = url.trimmed();
    // The desktop opener would take "www.x" for a file name.
    if (address.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        address.prepend(QStringLiteral("http://"));
    if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        // A click in a note must not start a program.
        const QString file = QUrl(address).toLocalFile();
        const QFileInfo info(file);
        if (info.suffix().compare(QLatin1String("desktop"), Qt::CaseInsensitive) == 0
            || (info.isFile() && info.isExecutable())) {
            platform::dialogs().message(
                QStringLiteral("\"%1\" is a program; it is not started from a note.").arg(file), QString(),
                platform::MsgButtons::Ok, platform::MsgIcon::Warning);
            return;
        }
    }
    if (!platform::launcher().openDocument(address))
        showError(QStringLiteral("Cannot open \"%1\".").arg(address));
}

void TFormEdit::FilePrint()
{
    const std::shared_ptr<QPrinter> printer = platform::dialogs().printDialog(QStringLiteral("Print"));
    if (!printer)
        return;
    try {
        Editor->PrintText(EditorFileName, *printer);
    } catch (const platform::Exception& e) {
        showError(e.Message);
    }
}

void TFormEdit::Picture1Click()
{
    const QString name =
        platform::dialogs().openFileName(QStringLiteral("Open"), PictureDialog.InitialDir, PictureDialog.Filter);
    if (name.isEmpty())
        return;
    PictureDialog.FileName = name;
    if (Editor->ReadOnly()) {
        QApplication::beep();
        return;
    }
    platform::RichPicture picture;
    try {
        std::unique_ptr<platform::graphics::TGraphic> graphic = platform::graphics::CreateGraphicForFile(name);
        graphic->LoadFromFile(name);
        if (auto* jpeg = dynamic_cast<platform::TJPEGImage*>(graphic.get())) {
            // A JPEG keeps its own bytes.
            picture.bytes = jpeg->Data();
            picture.kind = platform::RichPictureKind::Jpeg;
            picture.width = jpeg->Image().width();
            picture.height = jpeg->Image().height();
            picture.goalWidth = platform::richPixelsToTwips(picture.width);
            picture.goalHeight = platform::richPixelsToTwips(picture.height);
        } else {
            platform::graphics::TBitmap bitmap;
            bitmap.Assign(graphic.get());
            if (bitmap.Image().isNull())
                throw platform::Exception(QStringLiteral("The picture \"%1\" is empty.").arg(name));
            picture = platform::richPictureFromImage(bitmap.Image());
        }
    } catch (const platform::Exception& e) {
        showError(e.Message);
        return;
    } catch (const std::bad_alloc&) {
        showError(QStringLiteral("The picture \"%1\" is too large to insert.").arg(name));
        return;
    }
    // Inserted as a paste would insert it (one undo step), but the user's clipboard stays.
    QTextDocument fragment;
    QTextCursor c(&fragment);
    c.insertImage(platform::makeRichPicture(fragment, picture)); // it takes the text format there
    Editor->ReplaceSelWithDocument(fragment, true);
    const int end = Editor->textCursor().selectionEnd();
    Editor->SetSelection(end, end, true);
}

void TFormEdit::Object1Click() { Editor->ShowInsertObjectDialog(); }

void TFormEdit::Paragraph1Click()
{
    TParaFormatDlg::Execute(Editor->ParagraphFormat(), this);
    SelectionChange();
    if (Editor->isVisible() && Editor->isEnabled())
        Editor->setFocus();
}
