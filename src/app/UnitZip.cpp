#include "UnitZip.h"

#include <QHBoxLayout>
#include <QPushButton>

TFormZip* FormZip = nullptr;

TFormZip::TFormZip() : TForm(QStringLiteral("FormZip"))
{
    setWindowTitle(QStringLiteral("Zip & UnZip form"));
    auto* h = new QHBoxLayout(this);
    ButtonZip = new QPushButton(QStringLiteral("Zip"), this);
    ButtonZip->setObjectName(QStringLiteral("ButtonZip"));
    ButtonUnZip = new QPushButton(QStringLiteral("UnZip"), this);
    ButtonUnZip->setObjectName(QStringLiteral("ButtonUnZip"));
    h->addWidget(ButtonZip);
    h->addWidget(ButtonUnZip);
    resize(503, 56);
    centreOnScreen();
}
