#include "UnitHistory.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TFormHistory* FormHistory = nullptr;

TFormHistory::TFormHistory() : TForm(QStringLiteral("FormHistory"))
{
    setWindowTitle(QString::fromUtf8("История работы"));
    auto* v = new QVBoxLayout(this);
    ListBoxH = new QListWidget(this);
    ListBoxH->setObjectName(QStringLiteral("ListBoxH"));
    v->addWidget(ListBoxH);
    auto* h = new QHBoxLayout;
    ButtonUp = new QPushButton(QStringLiteral("Up"), this);
    ButtonDown = new QPushButton(QStringLiteral("Down"), this);
    ButtonClear = new QPushButton(QStringLiteral("Clear"), this);
    h->addWidget(ButtonUp);
    h->addWidget(ButtonDown);
    h->addWidget(ButtonClear);
    v->addLayout(h);
    resize(260, 300);
}
