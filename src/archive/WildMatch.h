#pragma once
#include <QString>

namespace archive {

// Wildcard match of a file or member name: "?" one character, "*" any run, "<set>" one
// character of a set (items and ranges "a-f"), "<!set>" or "<^set>" one character outside
// it, "*<set>" a run of set characters. Case-insensitive for ASCII letters only. Runs in time
// polynomial in the lengths of pattern and name.
bool IsMatch(const QString& pattern, const QString& name);

} // namespace archive
