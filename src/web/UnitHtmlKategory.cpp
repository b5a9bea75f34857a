// The page header editor window: loading, editing and saving the header lines of a page.
#include "UnitHtmlKategory.h"

#include "PageHeader.h"
#include "UnitStopList.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/text/CodePage.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSet>
#include <QVBoxLayout>

TFormHTMLKategory* FormHTMLKategory = nullptr;

namespace {
const QString kUrlForDownload = QStringLiteral("<!-- urlfordownload=\"");

void showError(const QString& text)
{
    // The editor stays on top: its messages must show above it, not behind it.
    platform::DialogOwner owner(FormHTMLKategory);
    platform::dialogs().message(text, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
}
} // namespace

TFormHTMLKategory::TFormHTMLKategory() : TForm(QStringLiteral("FormHTMLKategory"))
{
    resize(520, 300);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    LabelKategory = new QLabel(QStringLiteral("File kategory"), this);
    LabelKategory->setObjectName(QStringLiteral("LabelKategory"));
    v->addWidget(LabelKategory);
    ListKategory = new QListWidget(this);
    ListKategory->setObjectName(QStringLiteral("ListKategory"));
    ListKategory->setContextMenuPolicy(Qt::CustomContextMenu);
    v->addWidget(ListKategory, 1);
    auto* h = new QHBoxLayout();
    LabelEdit = new QLabel(QStringLiteral("Edit"), this);
    LabelEdit->setObjectName(QStringLiteral("LabelEdit"));
    h->addWidget(LabelEdit);
    EditKategory = new QLineEdit(this);
    EditKategory->setObjectName(QStringLiteral("EditKategory"));
    h->addWidget(EditKategory);
    h->addStretch(1);
    v->addLayout(h);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char* name, const QString& text, void (TFormHTMLKategory::*handler)()) {
        QAction* a = PopupMenu1->addAction(text);
        a->setObjectName(QLatin1String(name));
        if (handler)
            connect(a, &QAction::triggered, this, handler);
        return a;
    };
    Downloadallurls1 = item("Downloadallurls1", QStringLiteral("Download all URLs"), nullptr);
    UserDescription1 = item("UserDescription1", QStringLiteral("Add \"UserDescription\""), &TFormHTMLKategory::UserDescription1Click);
    AddUserKeywords1 = item("AddUserKeywords1", QStringLiteral("Add \"User Key words\""), &TFormHTMLKategory::AddUserKeywords1Click);
    ReLoad1 = item("ReLoad1", QStringLiteral("ReLoad page"), &TFormHTMLKategory::ReLoad1Click);
    Userkategory1 = item("Userkategory1", QStringLiteral("User kategory"), &TFormHTMLKategory::Userkategory1Click);
    Userkategory1->setVisible(false);
    Stoplist1 = item("Stoplist1", QStringLiteral("Stop list"), &TFormHTMLKategory::Stoplist1Click);
    N1 = item("N1", QStringLiteral("--------------"), nullptr);
    Delete1 = item("Delete1", QStringLiteral("Delete item"), &TFormHTMLKategory::Delete1Click);
    Hidepage1 = item("Hidepage1", QStringLiteral("Hide page"), &TFormHTMLKategory::Hidepage1Click);
    reeKategory1 = item("reeKategory1", QStringLiteral("TreeKategory"), &TFormHTMLKategory::reeKategory1Click);
    connect(ListKategory, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(ListKategory->viewport()->mapToGlobal(p)); });
    connect(ListKategory, &QListWidget::itemDoubleClicked, this, [this] { ListKategoryDblClick(); });

    ListKategory->installEventFilter(this);
    EditKategory->installEventFilter(this);
    FormCreate();
}

void TFormHTMLKategory::FormCreate()
{
    setWindowTitle(QStringLiteral("File category form"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (QScreen* s = QGuiApplication::primaryScreen())
        move((s->geometry().width() - width()) / 2, y());
    EditKategory->clear();
    EditKategory->setEnabled(false);
    FormResize();
}

void TFormHTMLKategory::FormResize()
{
    EditKategory->setFixedWidth(qMax(40, width() - LabelEdit->sizeHint().width() - 40));
}

void TFormHTMLKategory::resizeEvent(QResizeEvent* e)
{
    TForm::resizeEvent(e);
    FormResize();
}

void TFormHTMLKategory::FormDestroy() { HTMLSave(); }

void TFormHTMLKategory::reject()
{
    HTMLSave();
    TForm::reject();
}

bool TFormHTMLKategory::event(QEvent* e)
{
    // Activation reloads, but never over a line being edited; pending changes are saved first.
    if (e->type() == QEvent::WindowActivate && !EditKategory->isEnabled()
        && !(HeaderChanged && saveFailed_ && failedLines_ == listLines()))
        LoadHTMLList();
    return TForm::event(e);
}

void TFormHTMLKategory::mousePressEvent(QMouseEvent* e)
{
    Dubli();
    TForm::mousePressEvent(e);
}

void TFormHTMLKategory::LoadHTMLList()
{
    if (!HTMLSave())
        return; // the list keeps what could not be written
    ListKategory->clear();
    EditKategory->clear();
    ListKategory->setEnabled(true);
    EditKategory->setEnabled(false);
    if (!FormSlova || FormSlova->CurrentFile.isEmpty() || FormSlova->CurrentNodeText.isEmpty()) {
        file_.clear(); // nothing was loaded, so nothing may be written
        return;
    }
    setWindowTitle(FormSlova->CurrentNodeText);
    const QString folder = QFileInfo(FormSlova->CurrentFile).absolutePath() + QLatin1Char('/');
    file_ = nodePageFile(folder, FormSlova->CurrentNodeText,
                         {QStringLiteral(".shtm"), QStringLiteral(".html"), QStringLiteral(".htm")}, &fileExisted_);
    if (fileExisted_) {
        // A page in UTF-16 or UTF-32 shows an empty header; a save then says why it cannot write.
        const PageHead head = readPageHead(file_);
        for (const QByteArray& l : head.lines)
            ListKategory->addItem(headerLineText(l));
    }
    HeaderChanged = 0;
    EditKategory->clear();
    StopAddress.clear();
    for (int i = 0; i < ListKategory->count(); ++i) {
        const QString l = ListKategory->item(i)->text();
        if (l.left(21).toLower() == kUrlForDownload && l.size() >= 26)
            StopAddress = l.mid(21, l.size() - 26);
    }
}

bool TFormHTMLKategory::HTMLSave()
{
    if (!HeaderChanged)
        return true;
    if (file_.isEmpty()) {
        HeaderChanged = 0; // no page was loaded: there is nowhere the lines belong
        return true;
    }
    if (!fileExisted_ && ListKategory->count() == 0 && !QFileInfo::exists(file_)) {
        HeaderChanged = 0; // an empty header of a page that does not exist creates no file
        return true;
    }
    QList<QByteArray> lines;
    QString text;
    for (int i = 0; i < ListKategory->count(); ++i) {
        const QString l = ListKategory->item(i)->text();
        text += l;
        lines.append(platform::toCp1251(l));
    }
    const QString bad = charsOutside1251(text);
    if (!bad.isEmpty()) {
        saveFailed_ = true;
        failedLines_ = listLines();
        showError(QStringLiteral("The header of %1 was not saved: Windows-1251 has no code for %2").arg(file_, bad));
        return false;
    }
    QString error;
    if (readPageHead(file_).wide) {
        // Never a header in UTF-16 or UTF-32: this cannot succeed later either, so the lines
        // are given up rather than asked for at every activation.
        showError(QStringLiteral("A header cannot be written into this page's encoding (UTF-16 or UTF-32): %1").arg(file_));
        HeaderChanged = 0;
        return false;
    }
    if (!writePageHead(file_, lines, &error)) {
        saveFailed_ = true;
        failedLines_ = listLines();
        showError(error);
        return false;
    }
    saveFailed_ = false;
    failedLines_.clear();
    fileExisted_ = true;
    HeaderChanged = 0;
    return true;
}

QStringList TFormHTMLKategory::listLines() const
{
    QStringList out;
    for (int i = 0; i < ListKategory->count(); ++i)
        out.append(ListKategory->item(i)->text());
    return out;
}

void TFormHTMLKategory::Dubli()
{
    // Only lines equal as a whole are duplicates: lines with a long common beginning are
    // different descriptions or addresses.
    QSet<QString> seen;
    for (int i = 0; i < ListKategory->count();) {
        const QString l = ListKategory->item(i)->text();
        if (seen.contains(l)) {
            delete ListKategory->takeItem(i);
        } else {
            seen.insert(l);
            ++i;
        }
    }
}

void TFormHTMLKategory::addLine(const QByteArray& line)
{
    ListKategory->clearSelection();
    ListKategory->addItem(headerLineText(line));
    HeaderChanged = 1;
}

void TFormHTMLKategory::UserDescription1Click()
{
    addLine(HeaderLines::UserDescription);
    Dubli();
}

void TFormHTMLKategory::AddUserKeywords1Click()
{
    addLine(HeaderLines::UserKeywords);
    Dubli();
}

void TFormHTMLKategory::Userkategory1Click()
{
    addLine(HeaderLines::UserKategory);
    Dubli();
}

void TFormHTMLKategory::ReLoad1Click()
{
    addLine(HeaderLines::DownloadMark);
    Dubli();
    HTMLSave();
}

void TFormHTMLKategory::Hidepage1Click()
{
    addLine(HeaderLines::HideMark);
    const QString mark = headerLineText(HeaderLines::DownloadMark);
    for (int i = ListKategory->count() - 1; i >= 0; --i)
        if (ListKategory->item(i)->text() == mark)
            delete ListKategory->takeItem(i);
    Dubli();
    HTMLSave();
}

void TFormHTMLKategory::Stoplist1Click()
{
    addLine(HeaderLines::StopList);
    Dubli();
    if (!FormStopList)
        return;
    if (!FormStopList->SaveStopList())
        return;
    FormStopList->LoadStopList();
    // No address, no entry: an empty line in the stop list would match every address.
    if (!StopAddress.isEmpty()) {
        FormStopList->MemoStop->appendPlainText(StopAddress);
        FormStopList->StopListChanged = 1;
    }
}

void TFormHTMLKategory::Delete1Click()
{
    QListWidgetItem* it = ListKategory->currentItem();
    if (!it || !it->isSelected())
        return;
    delete ListKategory->takeItem(ListKategory->row(it));
    HeaderChanged = 1;
}

void TFormHTMLKategory::reeKategory1Click()
{
    if (!FormSlova || !HTMLSave())
        return;
    FormSlova->LoadTreeKategory();
    LoadHTMLList();
}

void TFormHTMLKategory::ListKategoryDblClick()
{
    QListWidgetItem* it = ListKategory->currentItem();
    if (!it || !it->isSelected())
        return;
    ListKategory->setEnabled(false);
    EditKategory->setEnabled(true);
    EditKategory->setText(it->text());
    EditKategory->setFocus();
}

void TFormHTMLKategory::endEdit()
{
    ListKategory->setEnabled(true);
    EditKategory->setEnabled(false);
    ListKategory->setFocus();
}

void TFormHTMLKategory::EditKategoryAccept()
{
    if (!EditKategory->isEnabled())
        return;
    endEdit();
    if (QListWidgetItem* it = ListKategory->currentItem()) {
        it->setText(EditKategory->text());
        HeaderChanged = 1;
    }
}

void TFormHTMLKategory::EditKategoryCancel()
{
    endEdit();
    EditKategory->clear();
}

bool TFormHTMLKategory::eventFilter(QObject* o, QEvent* e)
{
    if (o == ListKategory && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        HeaderChanged = 1; // every key marks the header, as the main window expects
        if (k->key() == Qt::Key_Delete) {
            Delete1Click();
            return true;
        }
        if (k->modifiers() & Qt::ControlModifier) {
            if (k->key() == Qt::Key_R) {
                ReLoad1Click();
                return true;
            }
            if (k->key() == Qt::Key_T) {
                if (FormSlova)
                    FormSlova->ButtonTXT();
                return true;
            }
        }
    } else if (o == EditKategory) {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                EditKategoryAccept();
                return true;
            }
            if (key == Qt::Key_Escape) {
                EditKategoryCancel();
                return true;
            }
        } else if (e->type() == QEvent::MouseButtonDblClick) {
            EditKategoryAccept();
            return true;
        }
    }
    return TForm::eventFilter(o, e);
}
