#include "U_Internet.h"

#include <QLineEdit>
#include <QVBoxLayout>

TFormI* FormI = nullptr;

TFormI::TFormI() : TForm(QStringLiteral("FormI"))
{
    setWindowTitle(QStringLiteral("Download all URLs from the page"));
    auto* v = new QVBoxLayout(this);
    EditURL = new QLineEdit(QStringLiteral("EditURL"), this);
    EditURL->setObjectName(QStringLiteral("EditURL"));
    v->addWidget(EditURL);
}
