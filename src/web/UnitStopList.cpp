#include "UnitStopList.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

TFormStopList* FormStopList = nullptr;

TFormStopList::TFormStopList() : TForm(QStringLiteral("FormStopList"))
{
    setWindowTitle(QStringLiteral("Stop URL list"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    auto* v = new QVBoxLayout(this);
    MemoStop = new QPlainTextEdit(this);
    MemoStop->setObjectName(QStringLiteral("MemoStop"));
    v->addWidget(MemoStop);
}
