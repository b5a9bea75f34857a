#include "UnitHtmlKategory.h"

TFormHTMLKategory* FormHTMLKategory = nullptr;

TFormHTMLKategory::TFormHTMLKategory() : TForm(QStringLiteral("FormHTMLKategory"))
{
    setWindowTitle(QStringLiteral("File category form"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
}
