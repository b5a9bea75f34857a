#pragma once
// The other programs the picture tests compare with: Debian's python3 (with Pillow) and
// ImageMagick's convert, taken from /usr/bin before the PATH (a stand-in may come first there).
#include "support/TestSupport.h"

#include <QFile>
#include <QString>

namespace peers {

inline QString python3()
{
    return QFile::exists("/usr/bin/python3") ? QStringLiteral("/usr/bin/python3") : QStringLiteral("python3");
}

inline QString imConvert()
{
    return QFile::exists("/usr/bin/convert") ? QStringLiteral("/usr/bin/convert") : QStringLiteral("convert");
}

inline bool havePillow() { return testsupport::runTool(python3(), {"-c", "import PIL"}) == 0; }

} // namespace peers
