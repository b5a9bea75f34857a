#include "platform/graphics/Cursors.h"

#include <QHash>

namespace platform::graphics {

static QHash<int, QCursor>& table()
{
    static QHash<int, QCursor> t;
    return t;
}

void SetScreenCursor(int slot, const QCursor& cursor) { table().insert(slot, cursor); }
QCursor ScreenCursor(int slot) { return table().value(slot, QCursor(Qt::ArrowCursor)); }
bool HasScreenCursor(int slot) { return table().contains(slot); }

} // namespace platform::graphics
