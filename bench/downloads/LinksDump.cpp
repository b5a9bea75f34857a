// links-dump PAGE-OR-ADDRESS CATALOG: the link list the link list window shows for a page with
// that catalog's stop list, one address a line.
#include "app/OnStart.h"
#include "app/UnitSlova.h"
#include "platform/web/BrowserControl.h"
#include "web/U_Internet.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() != 3) {
        std::fprintf(stderr, "usage: links-dump PAGE-OR-ADDRESS CATALOG\n");
        return 2;
    }
    // The program's own files go to a scratch program folder and settings; the catalog is read.
    QTemporaryDir prog, cfg;
    qputenv("MORVANEL_PROGRAM_DIR", prog.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", cfg.path().toUtf8());
    QApplication::setQuitOnLastWindowClosed(false);
    CreateWindows({a[0], a[2]});
    FormI->EditURL->setText(a[1]);
    FormI->ButtonLoadLinksClick();
    if (!FormI->WB1->waitLoaded(60000))
        std::fprintf(stderr, "the page did not load\n");
    QCoreApplication::processEvents();
    for (int i = 0; i < FormI->LB_url->count(); ++i)
        std::printf("%s\n", FormI->LB_url->item(i)->text().toUtf8().constData());
    DestroyWindows();
    return 0;
}
