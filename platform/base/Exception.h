// The root of every failure the system raises: a class per kind of failure, each carrying the
// message that a person eventually reads. The runtime's own failures are declared here too; the
// picture framework, the codecs and the program add their classes beside their code.
#pragma once

#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

#define VISTEL_EXCEPTION(name, base)     \
    class name : public base {           \
    public:                              \
        using base::base;                \
    }

VISTEL_EXCEPTION(EStreamError, Exception);
VISTEL_EXCEPTION(EReadError, EStreamError);
VISTEL_EXCEPTION(EWriteError, EStreamError);
VISTEL_EXCEPTION(EFOpenError, EStreamError);
VISTEL_EXCEPTION(EFCreateError, EStreamError);
VISTEL_EXCEPTION(EConvertError, Exception);
VISTEL_EXCEPTION(EAbstractError, Exception);
VISTEL_EXCEPTION(EInvalidCast, Exception);
VISTEL_EXCEPTION(EOutOfMemory, Exception);
/// The silent failure: callers that catch exceptions to show them let this one pass unseen.
VISTEL_EXCEPTION(EAbort, Exception);

/// A failure of the operating system, with its error code.
class EOSError : public Exception {
public:
    EOSError(std::string message, unsigned code) : Exception(std::move(message)), FErrorCode(code) {}
    unsigned ErrorCode() const noexcept { return FErrorCode; }

private:
    unsigned FErrorCode;
};
