// The program as the main block starts it, with the page of the node "Страница" made current
// and the stop list window and the page header editor shown, for a test on a real desktop.
#include "app/OnStart.h"
#include "app/UnitSlova.h"
#include "web/UnitHtmlKategory.h"
#include "web/UnitStopList.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    CreateWindows(QApplication::arguments());
    FormSlova->show();
    FormSlova->CurrentNodeText = QStringLiteral("Страница");
    FormSlova->CurrentFile = FormSlova->ProjectPath + QStringLiteral("Страница.htm");
    FormStopList->move(40, 40);
    FormStopList->show();
    FormHTMLKategory->move(500, 40);
    FormHTMLKategory->show();
    const int rc = QApplication::exec();
    DestroyWindows();
    return rc;
}
