// The history window: the catalog's recently used node names; a click makes one current.
#include "UnitHistory.h"

#include "TreeFile.h"
#include "UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/text/LineList.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormHistory* FormHistory = nullptr;

namespace {
constexpr int kMaxLines = 50;
}

TFormHistory::TFormHistory() : TForm(QStringLiteral("FormHistory"))
{
    setWindowTitle(QString::fromUtf8("История работы"));
    auto* v = new QVBoxLayout(this);
    ListBoxH = new QListWidget(this);
    ListBoxH->setObjectName(QStringLiteral("ListBoxH"));
    v->addWidget(ListBoxH, 1);
    auto* panel = new QWidget(this);
    auto* h = new QHBoxLayout(panel);
    h->setContentsMargins(0, 0, 0, 0);
    ButtonUp = new QPushButton(QStringLiteral("Up"), panel);
    ButtonDown = new QPushButton(QStringLiteral("Down"), panel);
    ButtonClear = new QPushButton(QStringLiteral("Clear"), panel);
    for (QPushButton* b : {ButtonUp, ButtonDown, ButtonClear}) {
        b->setAutoDefault(false);
        h->addWidget(b);
    }
    v->addWidget(panel);
    PopupH = new QMenu(this);
    PopupH->setObjectName(QStringLiteral("PopupH"));
    connect(PopupH->addAction(QStringLiteral("Delete the line")), &QAction::triggered, this, &TFormHistory::dellNode);
    setPopupMenu(ListBoxH, PopupH);
    connect(ListBoxH, &QListWidget::itemClicked, this, &TFormHistory::OpenEditor);
    connect(ButtonUp, &QPushButton::clicked, this, &TFormHistory::up);
    connect(ButtonDown, &QPushButton::clicked, this, &TFormHistory::down);
    connect(ButtonClear, &QPushButton::clicked, this, &TFormHistory::clear);
    ListBoxH->installEventFilter(this);
    resize(260, 300);
}

QStringList TFormHistory::Lines() const
{
    QStringList out;
    out.reserve(ListBoxH->count());
    for (int i = 0; i < ListBoxH->count(); ++i)
        out.append(ListBoxH->item(i)->text());
    return out;
}

void TFormHistory::LoadHistory(const QString& path)
{
    QStringList lines;
    if (QFileInfo::exists(path)) {
        QString error;
        if (!platform::loadLines1251(path, lines, &error))
            platform::dialogs().message(error, QString(), platform::MsgButtons::Ok, platform::MsgIcon::Error);
    }
    ListBoxH->clear();
    ListBoxH->addItems(lines);
    loaded_ = lines;
}

void TFormHistory::OpenEditor()
{
    QListWidgetItem* item = ListBoxH->currentItem();
    TFormSlova* m = FormSlova;
    if (!item || !m || m->NoCatalog)
        return;
    const QString line = item->text();
    if (line == m->CurrentNodeText)
        return;
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItem* n : treefile::allNodes(m->Tree1))
        if (n->text(0).trimmed() == line) {
            found = n;
            break;
        }
    if (!found) {
        delete ListBoxH->takeItem(ListBoxH->row(item));
        return;
    }
    // The node is opened, not only named current: what is shown, CurrentNodeText and the
    // node the other commands work on stay in step.
    m->Tree1->setCurrentItem(found);
    m->Tree1->scrollToItem(found);
    m->Tree1Click();
}

void TFormHistory::up()
{
    const int row = ListBoxH->currentRow();
    if (row < 0)
        return;
    ListBoxH->setCurrentRow(std::max(0, row - 1));
    OpenEditor();
}

void TFormHistory::down()
{
    const int row = ListBoxH->currentRow();
    if (row < 0)
        return;
    ListBoxH->setCurrentRow(std::min(ListBoxH->count() - 1, row + 1));
    OpenEditor();
}

void TFormHistory::clear() { ListBoxH->clear(); }

void TFormHistory::dellNode()
{
    const int row = ListBoxH->currentRow();
    if (row >= 0)
        delete ListBoxH->takeItem(row);
}

void TFormHistory::FormClose()
{
    while (ListBoxH->count() > kMaxLines)
        delete ListBoxH->takeItem(0);
    const QStringList lines = Lines();
    // The catalog switch closes the window, shown or not: an unchanged list writes nothing.
    if (lines == loaded_ || !FormSlova || FormSlova->ProjectPath.isEmpty())
        return;
    if (FormSlova->WriteCatalogFile(FormSlova->CatalogFile(QStringLiteral("history")), lines))
        loaded_ = lines;
}

void TFormHistory::showEvent(QShowEvent* e)
{
    const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    int top = FormSlova ? FormSlova->height() - 1 : 0;
    if (top + height() > screenHeight)
        top = screenHeight - height();
    move(0, top);
    TForm::showEvent(e);
}

void TFormHistory::closeEvent(QCloseEvent* e)
{
    FormClose();
    TForm::closeEvent(e);
}

void TFormHistory::reject()
{
    FormClose();
    TForm::reject();
}

bool TFormHistory::eventFilter(QObject* o, QEvent* e)
{
    // Character 30 (Ctrl+^ on most layouts) deletes the selected line.
    if (o == ListBoxH && e->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(e);
        const bool ctrlCaret = k->key() == Qt::Key_AsciiCircum && (k->modifiers() & Qt::ControlModifier);
        if (k->text() == QString(QChar(30)) || ctrlCaret) {
            dellNode();
            return true;
        }
    }
    return TForm::eventFilter(o, e);
}
