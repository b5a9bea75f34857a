#include "REMain.h"

#include "app/UnitSlova.h"

#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>

TFormEdit* FormEdit = nullptr;

TFormEdit::TFormEdit()
{
    setObjectName(QStringLiteral("FormEdit"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addStretch();
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusPanel1 = new QLabel(this);
    StatusBar->addWidget(StatusPanel1);
    v->addWidget(StatusBar);
}

bool TFormEdit::Modified() const
{
    return StatusPanel1->text() == QLatin1String("Modified");
}

bool TFormEdit::Close()
{
    if (!CloseQuery())
        return false;
    hide();
    if (FormSlova)
        FormSlova->EditorShown = 0;
    return true;
}

void TFormEdit::FormDestroy()
{
    if (FormSlova)
        FormSlova->EditorShown = 0;
}
