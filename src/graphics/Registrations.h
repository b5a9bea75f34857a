#pragma once
// Start-up registrations of the picture subsystem. Call RegisterPictureUnits() once after the
// QApplication exists and before any picture is loaded; UnregisterPictureUnits() at shut-down.
// Each routine guards itself so that repeated calls do nothing.

namespace graphics {

// Screen cursor slots of the program's hand and drag cursors (no window uses them yet).
constexpr int crHandCursor = 14000;
constexpr int crDragCursor = 14001;

// Cursors 14000 ("HANDCUR") and 14001 ("DRAGCUR").
void RegisterCursors();
// The icon clipboard format "Morvanel Icon" for the icon class.
void RegisterIconClipboardFormat();
// In module order: cursors, colour-reduction tables, icon clipboard format, GIF picture.
void RegisterPictureUnits();
// Unregisters the GIF picture class from the picture-format and clipboard registries.
void UnregisterPictureUnits();

} // namespace graphics
