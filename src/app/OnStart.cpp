#include "OnStart.h"

#include "About.h"
#include "UnitDir.h"
#include "UnitHistory.h"
#include "UnitICO.h"
#include "UnitMove.h"
#include "UnitSearch.h"
#include "UnitSettings.h"
#include "UnitSlova.h"
#include "UnitZip.h"
#include "editor/REMain.h"
#include "graphics/Registrations.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/richedit/JpegImage.h"
#include "platform/shell/Launcher.h"
#include "platform/web/BrowserControl.h"
#include "platform/ui/QtDialogs.h"
#include "web/UnitFiltr.h"
#include "web/UnitHTML.h"
#include "web/UnitHtmlKategory.h"
#include "web/UnitStopList.h"
#include "web/U_Internet.h"
#include "web/U_manager.h"
#include "web/Unit_kyes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

TSplashForm* SplashForm = nullptr;

namespace {
// The first splash instance: the variable is reused for the second one.
TSplashForm* firstSplash = nullptr;

// A termination request (logout, "kill", Ctrl+C in a terminal) is turned into closing the main
// window, so the program saves as when the user closes it. The handler only writes a byte; the
// message loop does the rest.
int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(terminationPipe[1], &c, 1);
    errno = saved;
}

void installTerminationHandler()
{
    if (terminationPipe[0] < 0) {
        if (::pipe(terminationPipe) != 0)
            return;
        for (int fd : terminationPipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buf[16];
        while (::read(terminationPipe[0], buf, sizeof buf) > 0) {
        }
        if (FormSlova)
            FormSlova->close(); // the editor may still ask about a modified note
        else
            QCoreApplication::exit(0);
    });
    struct sigaction sa = {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}
} // namespace

TSplashForm::TSplashForm()
{
    setObjectName(QStringLiteral("SplashForm"));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setCursor(Qt::WaitCursor);
    setWindowTitle(QStringLiteral("On Start form"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QLabel(QStringLiteral("Morvanel"), this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    QFont f = panel->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() * 2);
    panel->setFont(f);
    v->addWidget(panel);
    resize(396, 146);
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    move((s.width() - width()) / 2, (s.height() - height()) / 2);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TSplashForm::Timer1Timer);
    Timer1->start();
    Timer2 = new QTimer(this);
    Timer2->setInterval(1000);
    connect(Timer2, &QTimer::timeout, this, &TSplashForm::Timer2Timer);
    Timer2->start();
}

void TSplashForm::Timer1Timer()
{
    Timer1->stop();
    close();
}

void TSplashForm::closeEvent(QCloseEvent* e)
{
    if (Timer1->isActive())
        e->ignore();
    else
        e->accept();
}

void CreateWindows(const QStringList& args)
{
    // Before any window exists, for the whole process: no browser shows its own context menu.
    platform::installBrowserMouseHook();
    SplashForm = new TSplashForm();
    firstSplash = SplashForm;
    SplashForm->show();
    SplashForm->repaint();

    FormSlova = new TFormSlova();
    FormSlova->FormCreate(args);
    FormHistory = new TFormHistory();
    FormEdit = new TFormEdit();
    FormSearch = new TFormSearch();
    FormICO = new TFormICO();
    FormHTMLKategory = new TFormHTMLKategory();
    FormStopList = new TFormStopList();
    FormMove = new TFormMove();
    SplashForm = new TSplashForm(); // a second instance that is never shown
    FormI = new TFormI();
    FormM = new TFormM();
    FormZip = new TFormZip();
    FormSettings = new TFormSettings();
    FormFiltr = new TFormFiltr();
    FormHTML = new TFormHTML();
    FormA = new TFormA();
    Form_keys = new TForm_keys();
    FormDir = new TFormDir();
    FormDir->FormCreate();

    // The second instance refuses to close while its timer runs; it is freed all the same.
    SplashForm->close();
    delete SplashForm;
    SplashForm = firstSplash;
}

void DestroyWindows()
{
    // Save first, in reverse creation order, while every window still exists.
    if (FormDir)
        FormDir->FormDestroy();
    for (TForm* f : std::initializer_list<TForm*>{Form_keys, FormA, FormHTML, FormFiltr, FormSettings, FormZip, FormM,
                                                  FormI, FormMove, FormStopList, FormHTMLKategory, FormICO, FormSearch})
        if (f)
            f->FormDestroy();
    if (FormEdit)
        FormEdit->FormDestroy();
    if (FormHistory)
        FormHistory->FormDestroy();
    if (FormSlova)
        FormSlova->FormDestroy();

    auto drop = [](auto*& w) {
        delete w;
        w = nullptr;
    };
    drop(FormDir);
    drop(Form_keys);
    drop(FormA);
    drop(FormHTML);
    drop(FormFiltr);
    drop(FormSettings);
    drop(FormZip);
    drop(FormM);
    drop(FormI);
    drop(FormMove);
    drop(FormStopList);
    drop(FormHTMLKategory);
    drop(FormICO);
    drop(FormSearch);
    drop(FormEdit);
    drop(FormHistory);
    drop(FormSlova);
    delete firstSplash;
    firstSplash = nullptr;
    SplashForm = nullptr;
}

int runMorvanel(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvanel"));
    // Closing the main window ends the program, whatever other windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::setDialogs(std::make_unique<platform::QtDialogs>());
    platform::setLauncher(std::make_unique<platform::DesktopLauncher>());
    installTerminationHandler();
    // Picture formats are registered once the application object exists, before any window
    // may load a picture.
    graphics::RegisterPictureUnits();
    platform::RegisterJpegPicture();

    CreateWindows(QApplication::arguments());
    FormSlova->show();
    const int rc = QApplication::exec();
    DestroyWindows();
    graphics::UnregisterPictureUnits();
    return rc;
}
