#include "extra/AppEvent.h"

#include <algorithm>

#include "platform/controls/Screen.h"

using platform::Application;
using platform::TObject;

namespace extra {

namespace {
std::unique_ptr<TAppEventList> theList; // lives until the process ends
} // namespace

TAppEventList* TAppEventList::Instance() {
    return theList.get();
}

void TAppEventList::AddEvents(TAppEvents* events) {
    if (std::find(events_.begin(), events_.end(), events) != events_.end()) return;
    events_.push_back(events);
    if (!events->Designing() && !hooked_) HookEvents();
}

void TAppEventList::RemoveEvents(TAppEvents* events) {
    std::erase(events_, events);
    bool runTime = std::any_of(events_.begin(), events_.end(), [](TAppEvents* e) { return !e->Designing(); });
    if (hooked_ && !runTime) UnhookEvents();
}

void TAppEventList::HookEvents() {
    platform::TApplication& app = *Application;
    platform::TScreen& screen = *platform::Screen;
    saved_ = Saved{app.OnActionExecute,
                   app.OnActionUpdate,
                   app.OnShortCut,
                   app.OnActivate,
                   app.OnDeactivate,
                   app.OnHint,
                   app.OnMinimize,
                   app.OnRestore,
                   app.OnException(),
                   app.OnIdle,
                   app.OnHelp,
                   app.OnMessage,
                   app.OnShowHint,
                   screen.OnActiveControlChange,
                   screen.OnActiveFormChange};
    app.OnActionExecute = [this](platform::TBasicAction* a, bool& h) { DoActionExecute(a, h); };
    app.OnActionUpdate = [this](platform::TBasicAction* a, bool& h) { DoActionUpdate(a, h); };
    app.OnShortCut = [this](platform::TWMKey& m, bool& h) { DoShortCut(m, h); };
    app.OnActivate = [this](TObject* s) { DoActivate(s); };
    app.OnDeactivate = [this](TObject* s) { DoDeactivate(s); };
    app.SetOnException([this](const std::exception& e) { DoException(e); });
    app.OnIdle = [this](TObject* s, bool& done) { DoIdle(s, done); };
    app.OnHelp = [this](uint16_t c, intptr_t d, bool& call) { return DoHelp(c, d, call); };
    app.OnHint = [this](TObject* s) { DoHint(s); };
    app.OnMessage = [this](platform::TMsg& m, bool& h) { DoMessage(m, h); };
    app.OnMinimize = [this](TObject* s) { DoMinimize(s); };
    app.OnRestore = [this](TObject* s) { DoRestore(s); };
    app.OnShowHint = [this](std::string& s, bool& c, platform::THintInfo& i) { DoShowHint(s, c, i); };
    screen.OnActiveControlChange = [this](TObject* s) { DoActiveControlChange(s); };
    screen.OnActiveFormChange = [this](TObject* s) { DoActiveFormChange(s); };
    hooked_ = true;
}

void TAppEventList::UnhookEvents() {
    platform::TApplication& app = *Application;
    platform::TScreen& screen = *platform::Screen;
    app.OnActionExecute = std::move(saved_.onActionExecute);
    app.OnActionUpdate = std::move(saved_.onActionUpdate);
    app.OnShortCut = std::move(saved_.onShortCut);
    app.OnActivate = std::move(saved_.onActivate);
    app.OnDeactivate = std::move(saved_.onDeactivate);
    app.SetOnException(std::move(saved_.onException));
    app.OnIdle = std::move(saved_.onIdle);
    app.OnHelp = std::move(saved_.onHelp);
    app.OnHint = std::move(saved_.onHint);
    app.OnMessage = std::move(saved_.onMessage);
    app.OnMinimize = std::move(saved_.onMinimize);
    app.OnRestore = std::move(saved_.onRestore);
    app.OnShowHint = std::move(saved_.onShowHint);
    screen.OnActiveControlChange = std::move(saved_.onActiveControlChange);
    screen.OnActiveFormChange = std::move(saved_.onActiveFormChange);
    saved_ = {};
    hooked_ = false;
}

template <class Call> bool TAppEventList::Walk(Call&& call) {
    // A handler may free instances (or create new ones): walk a copy and skip those that left.
    std::vector<TAppEvents*> snapshot = events_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        TAppEvents* e = *it;
        if (std::find(events_.begin(), events_.end(), e) == events_.end()) continue;
        bool chained = e->Chained();
        if (call(*e)) return false;
        if (!chained) return false;
    }
    return true;
}

template <class Event, class... Args>
void TAppEventList::Chain(Event TAppEvents::*slot, const Event& earlier, const bool* handled, Args&... args) {
    bool ranOff = Walk([&](TAppEvents& e) {
        if (e.*slot) (e.*slot)(args...);
        return handled && *handled;
    });
    if (ranOff && earlier) earlier(args...);
}

void TAppEventList::DoActionExecute(platform::TBasicAction* action, bool& handled) {
    Chain(&TAppEvents::OnActionExecute, saved_.onActionExecute, &handled, action, handled);
}
void TAppEventList::DoActionUpdate(platform::TBasicAction* action, bool& handled) {
    Chain(&TAppEvents::OnActionUpdate, saved_.onActionUpdate, &handled, action, handled);
}
void TAppEventList::DoShortCut(platform::TWMKey& msg, bool& handled) {
    Chain(&TAppEvents::OnShortCut, saved_.onShortCut, &handled, msg, handled);
}
void TAppEventList::DoMessage(platform::TMsg& msg, bool& handled) {
    Chain(&TAppEvents::OnMessage, saved_.onMessage, &handled, msg, handled);
}
void TAppEventList::DoActivate(TObject* sender) {
    Chain(&TAppEvents::OnActivate, saved_.onActivate, nullptr, sender);
}
void TAppEventList::DoDeactivate(TObject* sender) {
    Chain(&TAppEvents::OnDeactivate, saved_.onDeactivate, nullptr, sender);
}
void TAppEventList::DoHint(TObject* sender) {
    Chain(&TAppEvents::OnHint, saved_.onHint, nullptr, sender);
}
void TAppEventList::DoMinimize(TObject* sender) {
    Chain(&TAppEvents::OnMinimize, saved_.onMinimize, nullptr, sender);
}
void TAppEventList::DoRestore(TObject* sender) {
    Chain(&TAppEvents::OnRestore, saved_.onRestore, nullptr, sender);
}
void TAppEventList::DoActiveControlChange(TObject* sender) {
    Chain(&TAppEvents::OnActiveControlChange, saved_.onActiveControlChange, nullptr, sender);
}
void TAppEventList::DoActiveFormChange(TObject* sender) {
    Chain(&TAppEvents::OnActiveFormChange, saved_.onActiveFormChange, nullptr, sender);
}
void TAppEventList::DoIdle(TObject* sender, bool& done) {
    Chain(&TAppEvents::OnIdle, saved_.onIdle, nullptr, sender, done);
}
void TAppEventList::DoShowHint(std::string& hintStr, bool& canShow, platform::THintInfo& hintInfo) {
    Chain(&TAppEvents::OnShowHint, saved_.onShowHint, nullptr, hintStr, canShow, hintInfo);
}

bool TAppEventList::DoHelp(uint16_t command, intptr_t data, bool& callHelp) {
    bool result = false;
    if (Walk([&](TAppEvents& e) {
            if (e.OnHelp) result = e.OnHelp(command, data, callHelp);
            return false;
        }) &&
        saved_.onHelp)
        result = saved_.onHelp(command, data, callHelp);
    return result;
}

void TAppEventList::DoException(const std::exception& e) {
    bool handled = false;
    bool ranOff = Walk([&](TAppEvents& events) {
        if (events.OnException) {
            events.OnException(Application, e);
            handled = true;
        }
        return false;
    });
    if (ranOff && saved_.onException)
        saved_.onException(e);
    else if (!handled)
        Application->ShowException(e);
}

// ---- the component ----

TAppEvents::TAppEvents(platform::TComponent* owner, const std::string& name) : TComponent(owner, name) {
    if (!theList) theList = std::make_unique<TAppEventList>();
    if (!Designing())
        hook_ = Application->HookMainWindow([this](platform::TMessage& m) { return MessageHook(m); });
    theList->AddEvents(this);
}

TAppEvents::~TAppEvents() {
    if (hook_) Application->UnhookMainWindow(hook_);
    if (theList) theList->RemoveEvents(this);
}

void TAppEvents::Loaded() {
    TComponent::Loaded();
    UpdateAppProps();
}

void TAppEvents::UpdateAppProps() {
    if (Designing()) return;
    platform::TApplication& app = *Application;
    app.HintColor = hintColor_;
    app.HintPause = hintPause_;
    app.ShowHint = showHint_;
    app.UpdateFormatSettings = updateFormatSettings_;
    app.HintShortPause = hintShortPause_;
    app.HintHidePause = hintHidePause_;
    app.ShowMainForm = showMainForm_;
    app.UpdateMetricSettings = updateMetricSettings_;
    app.HintShortCuts = hintShortCuts_;
    app.BiDiMode = biDiMode_;
    app.BiDiKeyboard = biDiKeyboard_;
    app.NonBiDiKeyboard = nonBiDiKeyboard_;
    platform::Mouse->DragImmediate = mouseDragImmediate_;
    platform::Mouse->DragThreshold = mouseDragThreshold_;
}

platform::gfx::TColor TAppEvents::HintColor() const {
    return Get(hintColor_, Application->HintColor);
}
void TAppEvents::SetHintColor(platform::gfx::TColor v) {
    Set(hintColor_, Application->HintColor, v);
}
int TAppEvents::HintPause() const {
    return Get(hintPause_, Application->HintPause);
}
void TAppEvents::SetHintPause(int v) {
    Set(hintPause_, Application->HintPause, v);
}
bool TAppEvents::ShowHint() const {
    return Get(showHint_, Application->ShowHint);
}
void TAppEvents::SetShowHint(bool v) {
    Set(showHint_, Application->ShowHint, v);
}
bool TAppEvents::UpdateFormatSettings() const {
    return Get(updateFormatSettings_, Application->UpdateFormatSettings);
}
void TAppEvents::SetUpdateFormatSettings(bool v) {
    Set(updateFormatSettings_, Application->UpdateFormatSettings, v);
}
int TAppEvents::HintShortPause() const {
    return Get(hintShortPause_, Application->HintShortPause);
}
void TAppEvents::SetHintShortPause(int v) {
    Set(hintShortPause_, Application->HintShortPause, v);
}
int TAppEvents::HintHidePause() const {
    return Get(hintHidePause_, Application->HintHidePause);
}
void TAppEvents::SetHintHidePause(int v) {
    Set(hintHidePause_, Application->HintHidePause, v);
}
bool TAppEvents::ShowMainForm() const {
    return Get(showMainForm_, Application->ShowMainForm);
}
void TAppEvents::SetShowMainForm(bool v) {
    Set(showMainForm_, Application->ShowMainForm, v);
}
bool TAppEvents::UpdateMetricSettings() const {
    return Get(updateMetricSettings_, Application->UpdateMetricSettings);
}
void TAppEvents::SetUpdateMetricSettings(bool v) {
    Set(updateMetricSettings_, Application->UpdateMetricSettings, v);
}
bool TAppEvents::HintShortCuts() const {
    return Get(hintShortCuts_, Application->HintShortCuts);
}
void TAppEvents::SetHintShortCuts(bool v) {
    Set(hintShortCuts_, Application->HintShortCuts, v);
}
platform::TBiDiMode TAppEvents::BiDiMode() const {
    return Get(biDiMode_, Application->BiDiMode);
}
void TAppEvents::SetBiDiMode(platform::TBiDiMode v) {
    Set(biDiMode_, Application->BiDiMode, v);
}
bool TAppEvents::MouseDragImmediate() const {
    return Get(mouseDragImmediate_, platform::Mouse->DragImmediate);
}
void TAppEvents::SetMouseDragImmediate(bool v) {
    Set(mouseDragImmediate_, platform::Mouse->DragImmediate, v);
}
int TAppEvents::MouseDragThreshold() const {
    return Get(mouseDragThreshold_, platform::Mouse->DragThreshold);
}
void TAppEvents::SetMouseDragThreshold(int v) {
    Set(mouseDragThreshold_, platform::Mouse->DragThreshold, v);
}
std::string TAppEvents::BiDiKeyboard() const {
    return Get(biDiKeyboard_, Application->BiDiKeyboard);
}
void TAppEvents::SetBiDiKeyboard(const std::string& v) {
    Set(biDiKeyboard_, Application->BiDiKeyboard, v);
}
std::string TAppEvents::NonBiDiKeyboard() const {
    return Get(nonBiDiKeyboard_, Application->NonBiDiKeyboard);
}
void TAppEvents::SetNonBiDiKeyboard(const std::string& v) {
    Set(nonBiDiKeyboard_, Application->NonBiDiKeyboard, v);
}

platform::gfx::Canvas& TAppEvents::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<platform::gfx::Canvas>(Application->WindowSurface());
    return *canvas_;
}

bool TAppEvents::MessageHook(platform::TMessage& message) {
    if (message.Msg == platform::WM_PAINT && Application->Minimized() && OnPaintIcon) {
        PaintIcon();
        return true;
    }
    if (message.Msg == platform::WM_SETTINGCHANGE) SettingsChanged();
    return false;
}

void TAppEvents::PaintIcon() {
    platform::TPaintStruct ps = Application->BeginPaint();
    canvas_ = std::make_unique<platform::gfx::Canvas>(Application->WindowSurface());
    canvas_->Brush.Color = platform::gfx::clBackground;
    if (ps.fErase) canvas_->FillRect(ps.rcPaint);
    try {
        if (OnPaintIcon) OnPaintIcon(this);
    } catch (...) {
        canvas_.reset();
        Application->EndPaint();
        throw;
    }
    canvas_.reset();
    Application->EndPaint();
}

void TAppEvents::SettingsChanged() {
    if (OnSettingsChanged) OnSettingsChanged(this);
}

} // namespace extra
