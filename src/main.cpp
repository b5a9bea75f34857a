// The program's main block: the start-up sequence lives in the app library.
#include "app/OnStart.h"

int main(int argc, char** argv)
{
    return runMorvanel(argc, argv);
}
