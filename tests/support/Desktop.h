#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

// xdotool in the test's X session; its standard output, trimmed.
QString xdotool(const QStringList& args);
// The id of a shown window whose title matches the pattern, waiting up to the timeout while
// the program runs; empty when none appeared.
QString waitForWindow(const QString& titlePattern, int timeoutMs, const QProcess& program);

} // namespace testsupport
