#pragma once
// The pro buttons: a push button whose Kind gives it a caption in one of fifteen languages, its
// Default and Cancel roles and its modal result; and a speed button that repeats its click while held.
//
// Kind: setting a kind other than pbkCustom makes Default true for the Ok, Yes, Done, Next and Finish
// kinds, Cancel true for the Cancel and No kinds, the caption the kind's string resource (a caption
// already read while loading stays) and the modal result the kind's. Reading Kind gives the kind only
// while Default, Cancel and the modal result still match it; otherwise the button has become pbkCustom.
// Clicking a Help kind asks the application for the help topic of the button or its nearest parent
// that has one; a Close kind closes the parent form. Without a topic or a form they click as usual.
#include <memory>

#include "components/RxCtrls.h"
#include "extra/Proconst.h"
#include "extra/Provcl.h"
#include "platform/Timer.h"
#include "platform/controls/StdCtrls.h"

namespace extra {

class TProButton : public platform::widgets::TButton {
public:
    explicit TProButton(platform::TComponent* owner = nullptr, const std::string& name = {});
    TProButtonKind Kind();
    void SetKind(TProButtonKind kind);
    // A form file stores the caption only when it differs from the kind's.
    bool IsCaptionStored();
    void Click() override;

private:
    TProButtonKind kind_ = pbkCustom;
};

// The modal result of a base kind.
int ProButtonModalResult(TProButtonBase base);

// Repeats: a press with RepeatEnabled starts a timer at RepeatInitInterval; each tick sets it to
// RepeatInterval and clicks the button while it is held down with the mouse captured. The release
// (or clearing RepeatEnabled) stops it; the release over the button clicks once more.
class TProSpeedButton : public components::TRxSpeedButton {
public:
    explicit TProSpeedButton(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TProSpeedButton() override;
    bool RepeatEnabled() const { return repeatEnabled_; }
    void SetRepeatEnabled(bool v);
    uint32_t RepeatInitInterval = 400;
    uint32_t RepeatInterval = 100;

protected:
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;

private:
    void Tick();
    void StopRepeat();
    bool repeatEnabled_ = false;
    std::unique_ptr<platform::TTimer> timer_; // made on first use
};

} // namespace extra
