#pragma once
#include <QString>

#include <exception>

namespace platform {

// The class library's base exception: a message text. Components derive their own classes
// from it (EBadZipFile, EInvalidGraphicOperation, ...), and handlers catch it to show Message.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : Message(std::move(message)), utf8_(Message.toUtf8()) {}
    const char* what() const noexcept override { return utf8_.constData(); }
    QString Message;

private:
    QByteArray utf8_;
};

// Raised by an Abort that unwinds a long operation without an error message.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

} // namespace platform
