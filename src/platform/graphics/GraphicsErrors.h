#pragma once
#include "platform/base/Exception.h"

namespace platform::graphics {

// A picture that cannot be read or used ("Bitmap image is not valid", unknown extension).
class EInvalidGraphic : public platform::Exception {
public:
    using Exception::Exception;
};

// An operation a picture class cannot perform (bad GIF data, a size change refused, ...).
class EInvalidGraphicOperation : public platform::Exception {
public:
    using Exception::Exception;
};

// "Cannot assign a %s to a %s".
class EConvertError : public platform::Exception {
public:
    using Exception::Exception;
};

// A stream that holds fewer bytes than a reader needs ("Stream read error").
class EReadError : public platform::Exception {
public:
    using Exception::Exception;
};

inline const char* const SReadError = "Stream read error";
inline const char* const SInvalidBitmap = "Bitmap image is not valid";

} // namespace platform::graphics
