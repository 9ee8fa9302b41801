#include "platform/controls/Application.h"

#include <algorithm>
#include <cstdio>

#include "platform/controls/Actions.h"
#include "platform/Exceptions.h"
#include "platform/controls/Control.h"

namespace platform {

namespace {
TApplication theApplication;
constexpr int kIconSize = 32; // the system's icon size: the minimised application's picture
} // namespace
TApplication* Application = &theApplication;

TApplication::TApplication() {
    EventLoop& loop = EventLoop::Get();
    loop.SetExceptionHandler([this](std::exception_ptr error) {
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
    loop.SetMessageFilter([this](HWND window, TMessage& message) {
        if (!OnMessage) return false;
        TMsg msg{window, message.Msg, message.WParam, message.LParam};
        bool handled = false;
        TMessageEvent handler = OnMessage; // the handler may replace the slot
        handler(msg, handled);
        message.Msg = msg.Msg;
        message.WParam = msg.WParam;
        message.LParam = msg.LParam;
        return handled;
    });
    loop.SetIdleHandler([this] {
        bool done = true;
        if (OnIdle) {
            TIdleEvent handler = OnIdle;
            handler(this, done);
        }
        TBasicAction::UpdateLinkedActions();
        return done;
    });
}

TApplication::~TApplication() {
    delete window_;
}

void TApplication::SetOnException(TExceptionEvent handler) {
    onException_ = std::move(handler);
}

void TApplication::ShowException(const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", ExceptionClassName(e).c_str(), e.what());
}

void TApplication::Minimize() {
    if (minimized_) return;
    minimized_ = true;
    if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
    if (!minimized_) return;
    minimized_ = false;
    if (OnRestore) OnRestore(this);
}

void TApplication::SetHint(const std::string& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    if (OnHint) OnHint(this);
}

bool TApplication::ActivateHint(TControl* control, gfx::TPoint cursorPos) {
    ShownHint.reset();
    if (!control || !ShowHint || !control->ShowHint()) return false;
    THintInfo info;
    info.HintControl = control;
    info.CursorPos = cursorPos;
    info.HintMaxWidth = 0;
    info.HintColor = HintColor;
    info.HideTimeout = HintHidePause;
    const std::string& text = control->Hint();
    std::string hintStr = text.substr(0, text.find('|'));
    bool canShow = true;
    if (OnShowHint) OnShowHint(hintStr, canShow, info);
    if (!canShow || hintStr.empty()) return false;
    info.HintStr = hintStr;
    ShownHint = info;
    return true;
}

void TApplication::Activate() {
    if (active_) return;
    active_ = true;
    if (OnActivate) OnActivate(this);
}

void TApplication::Deactivate() {
    if (!active_) return;
    active_ = false;
    if (OnDeactivate) OnDeactivate(this);
}

bool TApplication::InvokeHelp(uint16_t command, intptr_t data) {
    bool callHelp = true;
    bool result = false;
    if (OnHelp) result = OnHelp(command, data, callHelp);
    if (callHelp) {
        HelpCalls.push_back({command, data});
        result = true;
    }
    return result;
}

bool TApplication::HelpContext(int context) {
    return InvokeHelp(HELP_CONTEXT, context);
}

bool TApplication::HelpCommand(uint16_t command, intptr_t data) {
    return InvokeHelp(command, data);
}

bool TApplication::IsShortCut(uint16_t key, TShiftState shift) {
    if (!OnShortCut) return false;
    TWMKey msg{key, shift};
    bool handled = false;
    OnShortCut(msg, handled);
    return handled;
}

bool TApplication::ExecuteAction(TBasicAction& action) {
    bool handled = false;
    if (OnActionExecute) OnActionExecute(&action, handled);
    return handled;
}

bool TApplication::UpdateAction(TBasicAction& action) {
    bool handled = false;
    if (OnActionUpdate) OnActionUpdate(&action, handled);
    return handled;
}

HWND TApplication::Handle() {
    if (!window_) window_ = new THiddenWindow([this](TMessage& m) { WindowProc(m); });
    return window_->Handle();
}

intptr_t TApplication::Perform(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    WindowProc(message);
    return message.Result;
}

int TApplication::HookMainWindow(TWindowHook hook) {
    int id = nextHook_++;
    hooks_.push_back({id, std::move(hook)});
    return id;
}

void TApplication::UnhookMainWindow(int id) {
    std::erase_if(hooks_, [id](const Hook& h) { return h.id == id; });
}

void TApplication::WindowProc(TMessage& message) {
    // A hook may unhook itself (or another) while it runs: walk a copy of the ids.
    std::vector<int> ids;
    for (const Hook& h : hooks_)
        ids.push_back(h.id);
    for (int id : ids) {
        auto it = std::find_if(hooks_.begin(), hooks_.end(), [id](const Hook& h) { return h.id == id; });
        if (it == hooks_.end()) continue;
        TWindowHook hook = it->hook;
        if (hook(message)) return;
    }
    // The default procedure: nothing to do headless.
}

void TApplication::InvalidateWindow(bool erase) {
    eraseWindow_ = eraseWindow_ || erase;
    PostMessage(Handle(), WM_PAINT);
}

TPaintStruct TApplication::BeginPaint() {
    TPaintStruct ps{{0, 0, kIconSize, kIconSize}, eraseWindow_};
    eraseWindow_ = false;
    return ps;
}

gfx::Bitmap& TApplication::WindowSurface() {
    if (surface_.Width() != kIconSize) surface_.SetSize(kIconSize, kIconSize);
    return surface_;
}

} // namespace platform
