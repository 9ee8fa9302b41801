#pragma once
// The exception classes of the class library that the station's handlers catch and log.
#include <source_location>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace platform {

// Base of the library's exceptions: a message and the class name used in "SERIOUS ERROR: class/message".
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
    virtual std::string ClassName() const { return "Exception"; }
};

#define KORVANE_EXCEPTION_CLASS(Name, Base)                                                                  \
    class Name : public Base {                                                                               \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        std::string ClassName() const override { return #Name; }                                             \
    };

KORVANE_EXCEPTION_CLASS(EConvertError, Exception)
KORVANE_EXCEPTION_CLASS(EInOutError, Exception)
KORVANE_EXCEPTION_CLASS(EStringListError, Exception)
KORVANE_EXCEPTION_CLASS(EOutOfResources, Exception)
KORVANE_EXCEPTION_CLASS(EInvalidCast, Exception)
// Picture data a graphic cannot read, or a picture format nothing is registered for.
KORVANE_EXCEPTION_CLASS(EInvalidGraphic, Exception)
// The silent exception: it ends what a handler was doing, and the handlers that report errors pass it by.
KORVANE_EXCEPTION_CLASS(EAbort, Exception)

// A fault the program detected itself about memory use; it carries where it happened so that the
// reading cycle can report file and line.
class EAccessViolation : public Exception {
public:
    explicit EAccessViolation(const std::string& message,
                              std::source_location where = std::source_location::current())
        : Exception(message), where_(where) {}
    std::string ClassName() const override { return "EAccessViolation"; }
    const char* File() const { return where_.file_name(); }
    unsigned Line() const { return where_.line(); }

private:
    std::source_location where_;
};

// Class name of any caught exception, for log lines.
std::string ExceptionClassName(const std::exception& e);
// The readable (demangled) name of a type.
std::string TypeName(const std::type_info& type);

} // namespace platform
