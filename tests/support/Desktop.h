#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace testsupport {

// xdotool in the test's X session; its standard output, trimmed.
QString xdotool(const QStringList& args);
// The id of a shown window whose title matches the pattern, waiting up to the timeout while
// the program runs; empty when none appeared.
QString waitForWindow(const QString& titlePattern, int timeoutMs, const QProcess& program);
// Polls `done` every 100 ms up to the timeout; whether it came true.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

// Starts `program` as a user's start finds it: its program folder (MORVANEL_PROGRAM_DIR), its
// settings folder (XDG_CONFIG_HOME) and a working folder of its own; false when it did not start.
bool startProgram(QProcess& proc, const QString& program, const QString& programDir, const QString& configDir,
                  const QString& workDir);
// Asks the program to end, as the session's end does; killed when it has not ended in a minute.
void endProgram(QProcess& proc);

} // namespace testsupport
