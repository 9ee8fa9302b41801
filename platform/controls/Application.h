#pragma once
// The application object: title, the message loop, termination and the application-wide exception
// handler. Headless: the main window's visibility is a flag that the station reads.
//
// It also holds the application-wide event slots and settings of the class library. The slots are
// raised by the platform itself: OnMessage for every posted message before it is dispatched (Handled
// drops it), OnIdle when the loop is about to wait (Done false: on the real clock the loop does not
// block; the actions that components show are updated after it), OnShortCut for every key pressed on a form
// (Handled consumes the key), OnHint when the hint text changes, OnShowHint from ActivateHint, OnHelp from
// HelpContext/HelpCommand, the action events from TBasicAction (Actions.h), OnActivate/OnDeactivate,
// OnMinimize/OnRestore on a change of state.
//
// The application window (Handle) is a hidden window: messages sent or posted to it go through the
// hooks of HookMainWindow (oldest first; a hook returning true takes the message).
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/HiddenWindow.h"
#include "platform/Object.h"
#include "platform/controls/Messages.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"

namespace platform {

class TBasicAction;
class TControl;
class TForm;

enum class TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

// A queued message as OnMessage sees it; the handler may change it before it is dispatched.
struct TMsg {
    HWND Window = 0;
    uint32_t Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
};

// A key pressed on a form, as OnShortCut sees it.
struct TWMKey {
    uint16_t CharCode = 0;
    TShiftState Shift = 0;
};

// The hint about to be shown; OnShowHint may change it.
struct THintInfo {
    TControl* HintControl = nullptr;
    gfx::TPoint CursorPos;
    int HintMaxWidth = 0;
    gfx::TColor HintColor = gfx::clInfoBk;
    int ReshowTimeout = 0;
    int HideTimeout = 0;
    std::string HintStr;
};

// What a paint of the application window may cover: the rectangle, and whether to erase it first.
struct TPaintStruct {
    gfx::TRect rcPaint;
    bool fErase = false;
};

// WM_HELP commands of HelpCommand: a topic as a page, or as a small pop-up over the active window.
inline constexpr uint16_t HELP_CONTEXT = 1;
inline constexpr uint16_t HELP_CONTEXTPOPUP = 8;

using TAppNotifyEvent = std::function<void(TObject* sender)>;
using TActionEvent = std::function<void(TBasicAction* action, bool& handled)>;
using TShortCutEvent = std::function<void(TWMKey& msg, bool& handled)>;
using TIdleEvent = std::function<void(TObject* sender, bool& done)>;
using THelpEvent = std::function<bool(uint16_t command, intptr_t data, bool& callHelp)>;
using TMessageEvent = std::function<void(TMsg& msg, bool& handled)>;
using TShowHintEvent = std::function<void(std::string& hintStr, bool& canShow, THintInfo& hintInfo)>;
using TExceptionEvent = std::function<void(const std::exception&)>;

class TApplication : public TObject {
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
    void SetOnException(TExceptionEvent handler);
    const TExceptionEvent& OnException() const { return onException_; }
    void ShowException(const std::exception& e);

    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }
    // The start-up show command of the process (2 = minimised, 10 = default).
    int ShowCommand() const { return showCommand_; }
    void SetShowCommand(int command) { showCommand_ = command; }

    // The remaining application-wide event slots (the header says who raises each).
    TActionEvent OnActionExecute;
    TActionEvent OnActionUpdate;
    TShortCutEvent OnShortCut;
    TAppNotifyEvent OnActivate;
    TAppNotifyEvent OnDeactivate;
    TIdleEvent OnIdle;
    THelpEvent OnHelp;
    TAppNotifyEvent OnHint;
    TMessageEvent OnMessage;
    TAppNotifyEvent OnMinimize;
    TAppNotifyEvent OnRestore;
    TShowHintEvent OnShowHint;

    // Application-wide settings.
    gfx::TColor HintColor = gfx::clInfoBk;
    int HintPause = 500;
    int HintShortPause = 50;
    int HintHidePause = 2500;
    bool ShowHint = true;
    bool HintShortCuts = true;
    bool UpdateFormatSettings = true;
    bool UpdateMetricSettings = true;
    bool ShowMainForm = true;
    TBiDiMode BiDiMode = TBiDiMode::bdLeftToRight;
    std::string BiDiKeyboard;
    std::string NonBiDiKeyboard;
    TForm* MainForm = nullptr;

    // The hint text of the moment (a menu item's or a control's); a change raises OnHint.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    // The hint of `control` with the mouse at cursorPos: the text before a "|", shown when ShowHint
    // and the control's ShowHint are on and OnShowHint lets it. The shown hint is kept in ShownHint.
    bool ActivateHint(TControl* control, gfx::TPoint cursorPos);
    std::optional<THintInfo> ShownHint;

    // Application activation (another program taking the foreground deactivates it).
    bool Active() const { return active_; }
    void Activate();
    void Deactivate();

    // Help requests: OnHelp first; when it leaves CallHelp set the request goes to the help system,
    // which headless records it in HelpCalls. True when help was given or OnHelp said so.
    bool HelpContext(int context);
    bool HelpCommand(uint16_t command, intptr_t data);
    struct HelpCall {
        uint16_t command;
        intptr_t data;
    };
    std::vector<HelpCall> HelpCalls;

    // A key pressed on a form: true when OnShortCut handled it.
    bool IsShortCut(uint16_t key, TShiftState shift);
    // The action events: true when a handler handled the action.
    bool ExecuteAction(TBasicAction& action);
    bool UpdateAction(TBasicAction& action);

    // The hidden application window.
    HWND Handle();
    // Sends a message to the application window (hooks first) and returns its result.
    intptr_t Perform(uint32_t msg, WPARAM wParam = 0, LPARAM lParam = 0);
    using TWindowHook = std::function<bool(TMessage&)>;
    int HookMainWindow(TWindowHook hook);
    void UnhookMainWindow(int id);
    // The taskbar button: shown or hidden.
    bool WindowVisible() const { return windowVisible_; }
    void ShowWindow(bool visible) { windowVisible_ = visible; }
    // Painting the application window (its picture while minimised, one icon in size): InvalidateWindow
    // posts WM_PAINT; BeginPaint says what to paint and the surface is the device context.
    void InvalidateWindow(bool erase);
    TPaintStruct BeginPaint();
    void EndPaint() {}
    gfx::Bitmap& WindowSurface();

    TApplication();
    ~TApplication() override;

private:
    void WindowProc(TMessage& message);
    bool InvokeHelp(uint16_t command, intptr_t data);

    std::string title_;
    TExceptionEvent onException_;
    bool minimized_ = false;
    int showCommand_ = 10;
    std::string hint_;
    bool active_ = true;
    bool windowVisible_ = true;
    bool eraseWindow_ = false;
    THiddenWindow* window_ = nullptr; // made on first use
    gfx::Bitmap surface_;
    struct Hook {
        int id;
        TWindowHook hook;
    };
    std::vector<Hook> hooks_;
    int nextHook_ = 1;
};

extern TApplication* Application;

} // namespace platform
