#include "platform/richedit/RtfWriter.h"

#include <QTextCursor>
#include <QTextDocument>

namespace platform {

QByteArray WriteRtf(const QTextDocument&) { return {}; }
QByteArray WriteRtf(const QTextCursor&) { return {}; }

} // namespace platform
