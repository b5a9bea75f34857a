// Main window: opening a node, as a page in the browser pane, a note in the editor or a note
// handed to the word processor, and navigating the pane to the current file.
#include "UnitSlova.h"

#include "NodeFiles.h"
#include "TreeFile.h"
#include "UnitMove.h"
#include "editor/REMain.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/settings/SettingsStore.h"
#include "platform/shell/Launcher.h"
#include "platform/web/BrowserControl.h"
#include "web/UnitHtmlKategory.h"
#include "web/UnitStopList.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>

namespace {
// The catalog file of a node with an extension, spelled as it exists; empty when none does.
QString existingNodeFile(const TFormSlova& w, const QString& text, const char* ext)
{
    const QString p = w.CatalogFile(text + QLatin1String(ext));
    const QFileInfo fi(p);
    return fi.isFile() ? p : QString(); // a folder or device of that name is no node file
}
} // namespace

void TFormSlova::ForgetOpenedNode()
{
    CurrentNodeText.clear();
    CurrentFile.clear();
    if (WB1)
        WB1->stop();
    PanelWeb->hide();
    // The page tools need a shown page.
    n_i1->setEnabled(false);
    n_i4->setEnabled(false);
}

void TFormSlova::NavigateCurrentFile()
{
    if (!CurrentFile.isEmpty())
        WB1->navigateFile(CurrentFile);
}

void TFormSlova::Tree1Click()
{
    const QList<QTreeWidgetItem*> nodes = treefile::allNodes(Tree1);
    if (nodes.isEmpty())
        return;
    if (CurrentIndex >= nodes.size())
        CurrentIndex = int(nodes.size()) - 1;
    if (CurrentIndex >= 0)
        if (QTreeWidgetItem* before = nodes.at(CurrentIndex); before->type() == TTreeNode::Type) {
            auto* n = static_cast<TTreeNode*>(before);
            n->setImages(n->ImageIndex, n->ImageIndex + 20);
        }
    n_i1->setEnabled(false);
    n_i4->setEnabled(false);
    Panel1->hide();
    QTreeWidgetItem* selected = Tree1->currentItem();
    if (!selected)
        return;
    if (FormHTMLKategory)
        FormHTMLKategory->HTMLSave();
    const int previousIndex = CurrentIndex;
    CurrentIndex = int(nodes.indexOf(selected));
    const QString text = selected->text(0);
    // A text that cannot name a file of the catalog opens nothing.
    if (text.trimmed().isEmpty() || text == CurrentNodeText || !nodefiles::isUsableName(text))
        return;

    const QString previousText = CurrentNodeText, previousFile = CurrentFile;
    auto setCurrentText = [this](const QString& t) {
        CurrentNodeText = t;
        if (FormEdit)
            FormEdit->setWindowTitle(t);
        platform::SettingsStore().writeString(QStringLiteral("FileName"), t);
    };
    setCurrentText(text);
    // The note kept in the editor stays current: its node is the one to ask about again.
    auto stayOnPrevious = [&] {
        setCurrentText(previousText);
        CurrentFile = previousFile;
        CurrentIndex = previousIndex;
        if (QTreeWidgetItem* back = nodes.value(previousIndex))
            Tree1->setCurrentItem(back);
    };
    platform::ResolveScope scope;
    CurrentFile.clear();
    if (QString f = existingNodeFile(*this, text, ".htm"); !f.isEmpty())
        CurrentFile = f;
    if (QString f = existingNodeFile(*this, text, ".html"); !f.isEmpty())
        CurrentFile = f;

    const bool managerShown = FormMove && FormMove->isVisible();
    if (!CurrentFile.isEmpty()) {
        n_i1->setEnabled(true);
        n_i4->setEnabled(true);
        if (managerShown)
            return;
        ButtonReturn->setVisible(false);
        if (FormHTMLKategory)
            FormHTMLKategory->LoadHTMLList();
        PanelEditor->hide();
        if (FormEdit)
            FormEdit->hide();
        PanelWeb->show();
        NavigateCurrentFile();
        return;
    }
    if (QString f = existingNodeFile(*this, text, ".rtf"); !f.isEmpty())
        CurrentFile = f;
    if (QString f = existingNodeFile(*this, text, ".txt"); !f.isEmpty())
        CurrentFile = f;

    if (!N_exEditor->isChecked()) {
        if (managerShown)
            return;
        PanelWeb->hide();
        if (FormStopList) {
            const int left = x() + Tree1->width() + 10;
            if (left > FormStopList->x())
                FormStopList->move(left, FormStopList->y());
        }
        if (FormEdit && FormEdit->StatusPanel1->text() == QLatin1String("Modified") && !ReadOnlyMode()
            && !FormEdit->SaveBeforeLeaving()) {
            // The modified note is not safe on disk: it stays in the editor, and stays current.
            stayOnPrevious();
            return;
        }
        PanelEditor->show();
        PanelWeb->hide();
        EditorShown = 1;
        PlaceEditor();
        if (FormEdit)
            FormEdit->EditFileFromTree();
        if (FormHTMLKategory && FormHTMLKategory->isVisible())
            FormHTMLKategory->raise();
        return;
    }
    // The word processor gets the note's rich-text file; the note must not stay open here too.
    if (FormEdit && !FormEdit->Close()) {
        stayOnPrevious();
        return;
    }
    PanelWeb->hide();
    const QString rtf = CatalogFile(CurrentNodeText + QStringLiteral(".rtf"));
    if (!QFileInfo(rtf).isFile()) {
        platform::dialogs().message(
            QStringLiteral("The note \"%1\" cannot be opened in the word processor: the file does not exist.").arg(rtf),
            QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return;
    }
    if (!platform::launcher().openInWordProcessor(rtf)) {
        platform::dialogs().message(QStringLiteral("No word processor could be started for \"%1\".").arg(rtf), QString(),
                                    platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return;
    }
    WordInUse = 1;
}
