#include "UnitFiltr.h"

TFormFiltr* FormFiltr = nullptr;

TFormFiltr::TFormFiltr() : TForm(QStringLiteral("FormFiltr"))
{
    setWindowTitle(QStringLiteral("Filtr form"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
}
