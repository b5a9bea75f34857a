// The stop list window: loading, saving and change tracking of the catalog's stop list.
#include "UnitStopList.h"

#include "PageHeader.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/files/FileNames.h"
#include "platform/text/LineList.h"

#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TFormStopList* FormStopList = nullptr;

TFormStopList::TFormStopList() : TForm(QStringLiteral("FormStopList"))
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    MemoStop = new QPlainTextEdit(this);
    MemoStop->setObjectName(QStringLiteral("MemoStop"));
    MemoStop->setLineWrapMode(QPlainTextEdit::NoWrap);
    v->addWidget(MemoStop);
    // Every change the user makes counts (typing, Delete, cut, paste, undo), not only characters.
    connect(MemoStop, &QPlainTextEdit::textChanged, this, [this] {
        if (!loading_)
            StopListChanged = 1;
    });
    MemoStop->installEventFilter(this);
    MemoStop->viewport()->installEventFilter(this);
    FormCreate();
}

void TFormStopList::FormCreate()
{
    setWindowTitle(QStringLiteral("Stop URL list"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    StopListChanged = 0;
    LoadStopList();
}

QString TFormStopList::currentCatalogFile() const
{
    if (!FormSlova || FormSlova->ProjectPath.isEmpty())
        return QString();
    // "StopList" and "stoplist" name one file: the one on disk is used, whatever its spelling.
    return platform::resolveIn(FormSlova->ProjectPath, QStringLiteral("StopList"));
}

void TFormStopList::LoadStopList()
{
    if (StopListChanged && !SaveStopList())
        return;
    const QString path = currentCatalogFile();
    if (path.isEmpty())
        return;
    file_ = path;
    // A catalog without a list (or with one that cannot be read) shows an empty memo: the
    // previous catalog's addresses must not be saved into this one.
    QStringList lines;
    if (QFileInfo(path).isFile() && !platform::loadLines1251(path, lines))
        lines.clear();
    loading_ = true;
    MemoStop->setPlainText(lines.join(QLatin1Char('\n')));
    loading_ = false;
    StopListChanged = 0;
}

bool TFormStopList::SaveStopList()
{
    if (!StopListChanged)
        return true;
    if (file_.isEmpty())
        file_ = currentCatalogFile();
    if (file_.isEmpty())
        return false;
    platform::DialogOwner owner(this); // shown above the window, which stays on top
    const QString text = MemoStop->toPlainText();
    const QString bad = charsOutside1251(text);
    if (!bad.isEmpty()) {
        platform::dialogs().message(
            QStringLiteral("The stop list cannot be saved: Windows-1251 has no code for %1").arg(bad), QString(),
            platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return false;
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.isEmpty())
        lines.clear();
    QString error;
    if (!platform::saveLines1251(file_, lines, &error)) {
        platform::dialogs().message(QStringLiteral("The stop list was not saved.\n%1").arg(error), QString(),
                                    platform::MsgButtons::Ok, platform::MsgIcon::Error);
        return false;
    }
    StopListChanged = 0;
    return true;
}

void TFormStopList::MemoStopKeyPress(const QString& typed)
{
    if (!typed.isEmpty())
        StopListChanged = 1;
}

void TFormStopList::FormClose() { SaveStopList(); }

void TFormStopList::FormDestroy() { SaveStopList(); }

void TFormStopList::reject()
{
    FormClose();
    TForm::reject();
}

void TFormStopList::showEvent(QShowEvent* e)
{
    // The list may have been switched under the window: show the current catalog's.
    LoadStopList();
    TForm::showEvent(e);
}

bool TFormStopList::eventFilter(QObject* o, QEvent* e)
{
    if (o == MemoStop->viewport() && e->type() == QEvent::MouseButtonPress)
        SaveStopList();
    else if (o == MemoStop && e->type() == QEvent::KeyPress)
        {
        const QString t = static_cast<QKeyEvent*>(e)->text();
        MemoStopKeyPress(!t.isEmpty() && t.at(0).isPrint() ? t : QString());
    }
    return TForm::eventFilter(o, e);
}
