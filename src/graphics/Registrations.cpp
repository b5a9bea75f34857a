#include "graphics/Registrations.h"

#include "graphics/ColorReduce.h"
#include "graphics/GifPicture.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/Cursors.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/PictureFormats.h"

namespace graphics {

namespace {
int cursorCount = 0, reduceCount = 0, iconCount = 0, gifCount = 0;
}

void RegisterCursors()
{
    if (cursorCount++)
        return;
    // The program ships no cursor resources: the desktop's own hand and drag cursors stand in.
    platform::graphics::SetScreenCursor(crHandCursor, QCursor(Qt::PointingHandCursor));
    platform::graphics::SetScreenCursor(crDragCursor, QCursor(Qt::DragMoveCursor));
}

void RegisterIconClipboardFormat()
{
    if (iconCount++)
        return;
    using namespace platform::graphics;
    TIcon::ClipboardFormat = RegisterClipboardFormatName(QStringLiteral("Morvanel Icon"));
    RegisterClipboardFormat(TIcon::ClipboardFormat, QStringLiteral("TIcon"), [] { return std::make_unique<TIcon>(); });
}

void RegisterPictureUnits()
{
    RegisterCursors();
    if (!reduceCount++)
        InitColorReduce();
    RegisterIconClipboardFormat();
    if (!gifCount++)
        RegisterGifPicture();
}

void UnregisterPictureUnits()
{
    if (gifCount > 0 && --gifCount == 0)
        UnregisterGifPicture();
}

} // namespace graphics
