#pragma once
// The application object: title, the message loop, termination and the application-wide exception
// handler. Headless: the main window's visibility is a flag that the station reads.
#include <exception>
#include <functional>
#include <string>

#include "platform/EventLoop.h"

namespace platform {

class TApplication {
public:
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title) {
        if (title == title_) return;
        title_ = title;
        if (OnTitleChange) OnTitleChange(title_);
    }
    // Headless, the title has no window bar: the program may show it elsewhere.
    std::function<void(const std::string&)> OnTitleChange;

    void Run() { EventLoop::Get().Run(); }
    void ProcessMessages() { EventLoop::Get().ProcessMessages(); }
    void Terminate() { EventLoop::Get().Terminate(); }
    bool Terminated() const { return EventLoop::Get().Terminated(); }

    // The application-wide handler for exceptions that leave an event handler. Without one, the
    // exception's class and message go to stderr.
    void SetOnException(std::function<void(const std::exception&)> handler);
    void ShowException(const std::exception& e);

    void Minimize() { minimized_ = true; }
    void Restore() { minimized_ = false; }
    bool Minimized() const { return minimized_; }
    // The start-up show command of the process (2 = minimised, 10 = default).
    int ShowCommand() const { return showCommand_; }
    void SetShowCommand(int command) { showCommand_ = command; }

    TApplication();

private:
    std::string title_;
    std::function<void(const std::exception&)> onException_;
    bool minimized_ = false;
    int showCommand_ = 10;
};

extern TApplication* Application;

} // namespace platform
