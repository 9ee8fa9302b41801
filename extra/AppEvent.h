#pragma once
// Application events as a component: any form may place a TAppEvents to handle the application-wide
// events and to set the application's hint, drag and keyboard settings. Several instances may live at
// once; one hidden list, TAppEventList, takes over the application's (and the screen's) event slots
// while a run-time instance exists and hands every event to all instances, newest first:
// - each instance's handler runs when it is set; the walk stops after an instance whose Chained is
//   false, and for OnMessage, OnShortCut and the two action events also as soon as Handled is set;
// - when the walk runs off the oldest instance, the handler that was in the slot before the list took
//   it runs (OnHelp then returns its result, else the result of the last handler called);
// - an exception that no instance handled, and that no earlier handler received, is shown by the
//   application in its standard way.
// When the last run-time instance leaves, the slots get back the handlers they had before.
#include <memory>
#include <string>
#include <vector>

#include "platform/controls/Application.h"
#include "platform/Component.h"
#include "platform/graphics/Canvas.h"

namespace extra {

class TAppEvents;

class TAppEventList {
public:
    // The shared list (made by the first instance; null before).
    static TAppEventList* Instance();

    // Joining: an instance already listed is ignored. The first run-time instance takes the slots.
    void AddEvents(TAppEvents* events);
    // Leaving: with no run-time instance left, the slots get their earlier handlers back.
    void RemoveEvents(TAppEvents* events);
    int Count() const { return static_cast<int>(events_.size()); }
    bool Hooked() const { return hooked_; }

private:
    friend class TAppEvents;
    void HookEvents();
    void UnhookEvents();
    // Calls `call` on each instance, newest first, until it returns true (handled) or an instance is
    // not chained. True when the walk ran off the oldest instance.
    template <class Call> bool Walk(Call&& call);
    // Walks with each instance's `slot` handler, then the earlier handler when the walk ran off the
    // oldest instance; with `handled` the walk also stops once it is set.
    template <class Event, class... Args>
    void Chain(Event TAppEvents::*slot, const Event& earlier, const bool* handled, Args&... args);

    void DoActionExecute(platform::TBasicAction* action, bool& handled);
    void DoActionUpdate(platform::TBasicAction* action, bool& handled);
    void DoShortCut(platform::TWMKey& msg, bool& handled);
    void DoActivate(platform::TObject* sender);
    void DoDeactivate(platform::TObject* sender);
    void DoException(const std::exception& e);
    void DoIdle(platform::TObject* sender, bool& done);
    bool DoHelp(uint16_t command, intptr_t data, bool& callHelp);
    void DoHint(platform::TObject* sender);
    void DoMessage(platform::TMsg& msg, bool& handled);
    void DoMinimize(platform::TObject* sender);
    void DoRestore(platform::TObject* sender);
    void DoShowHint(std::string& hintStr, bool& canShow, platform::THintInfo& hintInfo);
    void DoActiveControlChange(platform::TObject* sender);
    void DoActiveFormChange(platform::TObject* sender);

    std::vector<TAppEvents*> events_; // creation order
    bool hooked_ = false;
    // The handlers that were in the slots when the list took them.
    struct Saved {
        platform::TActionEvent onActionExecute, onActionUpdate;
        platform::TShortCutEvent onShortCut;
        platform::TAppNotifyEvent onActivate, onDeactivate, onHint, onMinimize, onRestore;
        platform::TExceptionEvent onException;
        platform::TIdleEvent onIdle;
        platform::THelpEvent onHelp;
        platform::TMessageEvent onMessage;
        platform::TShowHintEvent onShowHint;
        platform::TAppNotifyEvent onActiveControlChange, onActiveFormChange;
    } saved_;
};

class TAppEvents : public platform::TComponent {
public:
    explicit TAppEvents(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TAppEvents() override;

    void Loaded() override;
    // Writes every setting to the application and the mouse object (run time only).
    void UpdateAppProps();

    // Settings: the component's own value at design time, the application's at run time; a setter
    // applies the value at once at run time.
    bool Chained() const { return chained_; }
    void SetChained(bool v) { chained_ = v; }
    platform::gfx::TColor HintColor() const;
    void SetHintColor(platform::gfx::TColor v);
    int HintPause() const;
    void SetHintPause(int v);
    bool ShowHint() const;
    void SetShowHint(bool v);
    bool UpdateFormatSettings() const;
    void SetUpdateFormatSettings(bool v);
    int HintShortPause() const;
    void SetHintShortPause(int v);
    int HintHidePause() const;
    void SetHintHidePause(int v);
    bool ShowMainForm() const;
    void SetShowMainForm(bool v);
    bool UpdateMetricSettings() const;
    void SetUpdateMetricSettings(bool v);
    bool HintShortCuts() const;
    void SetHintShortCuts(bool v);
    platform::TBiDiMode BiDiMode() const;
    void SetBiDiMode(platform::TBiDiMode v);
    bool MouseDragImmediate() const;
    void SetMouseDragImmediate(bool v);
    int MouseDragThreshold() const;
    void SetMouseDragThreshold(int v);
    std::string BiDiKeyboard() const;
    void SetBiDiKeyboard(const std::string& v);
    std::string NonBiDiKeyboard() const;
    void SetNonBiDiKeyboard(const std::string& v);

    // Events: those of the application and the screen, with their signatures (OnException gets the
    // application as sender), and two the component raises itself.
    platform::TActionEvent OnActionExecute;
    platform::TActionEvent OnActionUpdate;
    platform::TShortCutEvent OnShortCut;
    platform::TAppNotifyEvent OnActivate;
    platform::TAppNotifyEvent OnDeactivate;
    std::function<void(platform::TObject* sender, const std::exception& e)> OnException;
    platform::TIdleEvent OnIdle;
    platform::THelpEvent OnHelp;
    platform::TAppNotifyEvent OnHint;
    platform::TMessageEvent OnMessage;
    platform::TAppNotifyEvent OnMinimize;
    platform::TAppNotifyEvent OnRestore;
    platform::TShowHintEvent OnShowHint;
    platform::TAppNotifyEvent OnActiveControlChange;
    platform::TAppNotifyEvent OnActiveFormChange;
    platform::TAppNotifyEvent OnPaintIcon;
    platform::TAppNotifyEvent OnSettingsChanged;

    // The canvas OnPaintIcon draws on (made on demand; during a paint it is on the paint device).
    platform::gfx::Canvas& Canvas();

protected:
    // The application window's messages: the picture of the minimised application and settings changes.
    virtual bool MessageHook(platform::TMessage& message);
    virtual void PaintIcon();
    virtual void SettingsChanged();

private:
    template <class T> T Get(const T& own, const T& app) const { return Designing() ? own : app; }
    template <class T> void Set(T& own, T& app, const T& v) {
        own = v;
        if (!Designing()) app = v;
    }

    bool chained_ = true;
    platform::gfx::TColor hintColor_ = platform::gfx::clInfoBk;
    int hintPause_ = 500;
    bool showHint_ = true;
    bool updateFormatSettings_ = true;
    int hintShortPause_ = 50;
    int hintHidePause_ = 2500;
    bool showMainForm_ = true;
    bool updateMetricSettings_ = true;
    bool hintShortCuts_ = true;
    platform::TBiDiMode biDiMode_ = platform::TBiDiMode::bdLeftToRight;
    bool mouseDragImmediate_ = true;
    int mouseDragThreshold_ = 5;
    std::string biDiKeyboard_;
    std::string nonBiDiKeyboard_;
    int hook_ = 0;
    std::unique_ptr<platform::gfx::Canvas> canvas_;
};

} // namespace extra
