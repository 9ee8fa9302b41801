#include "platform/Application.h"

#include <cstdio>

#include "platform/Exceptions.h"

namespace platform {

namespace {
TApplication theApplication;
}
TApplication* Application = &theApplication;

TApplication::TApplication() {
    EventLoop::Get().SetExceptionHandler([this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            if (onException_)
                onException_(e);
            else
                ShowException(e);
        } catch (...) {
            Exception unknown("Unknown exception");
            if (onException_)
                onException_(unknown);
            else
                ShowException(unknown);
        }
    });
}

void TApplication::SetOnException(std::function<void(const std::exception&)> handler) {
    onException_ = std::move(handler);
}

void TApplication::ShowException(const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", ExceptionClassName(e).c_str(), e.what());
}

} // namespace platform
