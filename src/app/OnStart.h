#pragma once

// Creates the application object and the windows in their order, runs the message loop and
// shuts down. Returns the process exit code.
int runMorvanel(int argc, char** argv);
