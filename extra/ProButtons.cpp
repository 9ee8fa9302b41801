#include "extra/ProButtons.h"

#include "platform/controls/Application.h"

namespace extra {

namespace {
bool DefaultOf(TProButtonBase base) {
    using B = TProButtonBase;
    return base == B::Ok || base == B::Yes || base == B::Done || base == B::Next || base == B::Finish;
}
bool CancelOf(TProButtonBase base) {
    return base == TProButtonBase::Cancel || base == TProButtonBase::No;
}
} // namespace

int ProButtonModalResult(TProButtonBase base) {
    switch (base) {
    case TProButtonBase::Ok:
        return 1;
    case TProButtonBase::Cancel:
        return 2;
    case TProButtonBase::Yes:
        return 6;
    case TProButtonBase::No:
        return 7;
    case TProButtonBase::Abort:
        return 3;
    case TProButtonBase::Retry:
        return 4;
    case TProButtonBase::Ignore:
        return 5;
    case TProButtonBase::All:
        return 8;
    case TProButtonBase::Done:
        return 9;
    case TProButtonBase::Finish:
        return 10;
    default:
        return 0;
    }
}

TProButton::TProButton(platform::TComponent* owner, const std::string& name) : TButton(owner, name) {
    RegisterProCursors();
}

TProButtonKind TProButton::Kind() {
    if (kind_ != pbkCustom) {
        TProButtonBase base = ProButtonBase(kind_);
        if (Default != DefaultOf(base) || Cancel != CancelOf(base) ||
            ModalResult != ProButtonModalResult(base))
            kind_ = pbkCustom;
    }
    return kind_;
}

void TProButton::SetKind(TProButtonKind kind) {
    if (kind == Kind()) return;
    kind_ = kind;
    if (kind == pbkCustom) return;
    TProButtonBase base = ProButtonBase(kind);
    Default = DefaultOf(base);
    Cancel = CancelOf(base);
    if (!(Loading() && !Caption().empty())) SetCaption(LoadProString(ProButtonCaptionId(kind)));
    ModalResult = ProButtonModalResult(base);
    Invalidate();
}

bool TProButton::IsCaptionStored() {
    TProButtonKind kind = Kind();
    return kind == pbkCustom || Caption() != LoadProString(ProButtonCaptionId(kind));
}

void TProButton::Click() {
    if (!Enabled()) return;
    TProButtonKind kind = Kind();
    if (kind != pbkCustom && ProButtonBase(kind) == TProButtonBase::Help) {
        for (platform::TControl* c = this; c; c = c->Parent())
            if (c->HelpContext != 0) {
                platform::Application->HelpContext(c->HelpContext);
                return;
            }
    } else if (kind != pbkCustom && ProButtonBase(kind) == TProButtonBase::Close) {
        if (platform::TForm* form = ParentForm()) {
            form->Close();
            return;
        }
    }
    TButton::Click();
}

// ---- speed button ----

TProSpeedButton::TProSpeedButton(platform::TComponent* owner, const std::string& name)
    : TRxSpeedButton(owner, name) {
    RegisterProCursors();
}

TProSpeedButton::~TProSpeedButton() = default;

void TProSpeedButton::SetRepeatEnabled(bool v) {
    repeatEnabled_ = v;
    if (!v) StopRepeat();
}

void TProSpeedButton::StopRepeat() {
    if (timer_) timer_->SetEnabled(false);
}

void TProSpeedButton::MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    TRxSpeedButton::MouseDown(button, shift, x, y);
    if (button != platform::TMouseButton::mbLeft || !repeatEnabled_ || !Enabled()) return;
    if (!timer_) {
        timer_ = std::make_unique<platform::TTimer>();
        timer_->OnTimer = [this](platform::TTimer*) { Tick(); };
    }
    timer_->SetEnabled(false);
    timer_->SetInterval(RepeatInitInterval);
    timer_->SetEnabled(true);
}

void TProSpeedButton::MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) {
    StopRepeat();
    TRxSpeedButton::MouseUp(button, shift, x, y);
}

void TProSpeedButton::Tick() {
    timer_->SetInterval(RepeatInterval);
    if (State() == components::TRxButtonState::rbsDown && platform::GetCaptureControl() == this) Click();
}

} // namespace extra
