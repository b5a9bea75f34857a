#include "UnitHTML.h"

TFormHTML* FormHTML = nullptr;

TFormHTML::TFormHTML() : TForm(QStringLiteral("FormHTML"))
{
    setWindowTitle(QStringLiteral("HTML project maker form"));
}
