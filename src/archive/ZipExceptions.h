#pragma once
// Exceptions of the archive component, and the class library's list and stream errors it
// raises. Every one derives from platform::Exception and carries its message text.
#include "platform/base/Exception.h"

namespace archive {

// Component's own classes.
class EBadZipFile : public platform::Exception {
public:
    using Exception::Exception;
};
class EIncompleteZip : public platform::Exception {
public:
    using Exception::Exception;
};
class EFatalUnzipError : public platform::Exception {
public:
    using Exception::Exception;
};
class EUserCanceled : public platform::Exception {
public:
    using Exception::Exception;
};
class EVolumeSize : public platform::Exception {
public:
    using Exception::Exception;
};
class EBiggerThanUncompressed : public platform::Exception {
public:
    using Exception::Exception;
};
class EInvalidMatch : public platform::Exception {
public:
    using Exception::Exception;
};

// Class library errors the component raises.
class EListError : public platform::Exception {
public:
    using Exception::Exception;
};
class EClassNotFound : public platform::Exception {
public:
    using Exception::Exception;
};
class EStreamError : public platform::Exception {
public:
    using Exception::Exception;
};
// A file that cannot be opened ("Cannot open file %s") or created ("Cannot create file %s").
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
// ReadBuffer / WriteBuffer that could not move every byte ("Stream read error", "Stream write error").
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

} // namespace archive
