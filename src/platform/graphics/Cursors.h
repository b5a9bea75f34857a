#pragma once
#include <QCursor>

namespace platform::graphics {

// The screen's table of numbered cursors (slot numbers chosen by the program).
void SetScreenCursor(int slot, const QCursor& cursor);
// The cursor in a slot; the arrow when the slot is empty.
QCursor ScreenCursor(int slot);
bool HasScreenCursor(int slot);

} // namespace platform::graphics
