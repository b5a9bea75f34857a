#include "U_manager.h"

TFormM* FormM = nullptr;

TFormM::TFormM() : TForm(QStringLiteral("FormM"))
{
    setWindowTitle(QStringLiteral("Download manager"));
}
