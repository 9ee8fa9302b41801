#pragma once
// The one way a handler catches what its work throws and logs it: the work runs, and an exception that
// leaves it is told to `log` as one line and goes no further.
//
//   CatchAndLog({"SERVER: Error: ", "SERVER: Error starting"}, log, [&] { LoadSettings(); });
//   CatchAndLog("Exception writing to SENSORS.INI!", log, [&] { SaveSettings(); });
#include <exception>
#include <string>
#include <utility>

namespace platform {

// The texts of a caught exception: `withMessage` followed by a standard exception's message, `without`
// for any other exception (and, with emptyIsWithout, for a standard exception whose message is empty).
struct ErrorTexts {
    std::string withMessage;
    std::string without;
    bool emptyIsWithout = false;
};

// The texts of a step named by `what`: "<what>: <message>", or `what` alone.
inline ErrorTexts Named(const std::string& what) {
    return {what + ": ", what};
}

// Runs work(); true when it returned. An exception that leaves it is told with the texts.
template <class Log, class Work> bool CatchAndLog(const ErrorTexts& texts, Log&& log, Work&& work) {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const std::exception& e) {
        const std::string message = e.what();
        log(texts.emptyIsWithout && message.empty() ? texts.without : texts.withMessage + message);
    } catch (...) {
        log(texts.without);
    }
    return false;
}

// Runs work(); true when it returned. Any exception that leaves it is told with the one text.
template <class Log, class Work> bool CatchAndLog(const char* text, Log&& log, Work&& work) {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (...) {
        log(std::string(text));
    }
    return false;
}

} // namespace platform
