// The program as the main block starts it, which also prints the screen positions of the
// controls a test on a real desktop clicks: "NAME X Y" once the control's window is shown.
#include "app/OnStart.h"
#include "app/UnitSlova.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/ui/QtDialogs.h"
#include "web/U_manager.h"
#include "web/Unit_kyes.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {
void print(const char* name, QWidget* w, QPoint local)
{
    const QPoint p = w->mapToGlobal(local);
    std::printf("%s %d %d\n", name, p.x(), p.y());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    platform::setDialogs(std::make_unique<platform::QtDialogs>());
    CreateWindows(QApplication::arguments());
    FormSlova->show();
    bool keysDone = false, managerDone = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!keysDone && Form_keys->isVisible() && Form_keys->isActiveWindow()) {
            keysDone = true;
            print("Edit1", Form_keys->Edit1, Form_keys->Edit1->rect().center());
            print("ButtonMakeFile", Form_keys->ButtonMakeFile, Form_keys->ButtonMakeFile->rect().center());
        }
        if (!managerDone && FormM->isVisible() && FormM->isActiveWindow()) {
            managerDone = true;
            print("Preparelist1", FormM->MainMenu1, FormM->MainMenu1->actionGeometry(FormM->Preparelist1).center());
            print("StartDownload1", FormM->MainMenu1, FormM->MainMenu1->actionGeometry(FormM->StartDownload1).center());
        }
    });
    poll.start(200);
    const int rc = QApplication::exec();
    DestroyWindows();
    return rc;
}
