// The program's main block: the start-up sequence lives in the app library.
#include "app/OnStart.h"

#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Chromium's sandbox refuses to run as root, and the main window's page view starts the web
    // engine at once, so a root session (a container, a rescue shell) could not start the program
    // at all. Only then is the sandbox turned off, and only when the user has not chosen; it must
    // be set before the application object exists.
    if (geteuid() == 0)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    return runMorvanel(argc, argv);
}
