#pragma once
#include <QStringList>
#include <QWidget>

class QTimer;

// The splash window: shown while the windows are created, closed by its own one-shot timer,
// and refusing every close request before that.
class TSplashForm : public QWidget {
    Q_OBJECT
public:
    TSplashForm();
    QTimer* Timer1;
    QTimer* Timer2;
    void Timer1Timer();
    void Timer2Timer() {}

protected:
    void closeEvent(QCloseEvent* e) override;
};

extern TSplashForm* SplashForm;

// Creates the splash window and every window in their designed order (each creation handler
// runs then); args are the program's arguments.
void CreateWindows(const QStringList& args);
// The shut-down sequence: every window saves its state in reverse creation order, then the
// windows are deleted in the same order. Nothing is destroyed before all have saved.
void DestroyWindows();

// The program's main block: returns the process exit code.
int runMorvanel(int argc, char** argv);
