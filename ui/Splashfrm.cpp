#include "ui/Splashfrm.h"

#include "platform/Timer.h"

namespace {
TSplashForm* splash = nullptr;

class SplashScreen final : public TSplashScreen {
public:
    void Show(platform::TComponent& owner) override { ShowSplashForm(&owner); }
    void AddLine(const std::string& text) override { AddSplashLine(text); }
    void SetCaption(const std::string& text) override { SetSplashCaption(text); }
    void SetProgress(int percent) override { SetSplashProgress(percent); }
    void Close() override { CloseSplashForm(); }
};
} // namespace

TSplashForm::TSplashForm(platform::TComponent* owner) : TComponent(owner, "SplashForm") {}

TSplashForm::~TSplashForm() {
    if (splash == this) splash = nullptr;
}

TSplashForm* SplashForm() {
    return splash;
}

void ShowSplashForm(platform::TComponent* owner) {
    if (splash) return;
    splash = new TSplashForm(owner);
}

void AddSplashLine(const std::string& text) {
    if (splash && splash->Showing) splash->Lines.push_back(text);
}

void SetSplashCaption(const std::string& text) {
    if (splash && splash->Showing) splash->Caption = text;
}

void SetSplashProgress(int percent) {
    if (splash && splash->Showing) splash->Progress = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
}

void CloseSplashForm() {
    if (!splash || !splash->Showing) return;
    splash->Showing = false;
    // Freed a moment later, from the loop, so that a caller on the splash's own stack is safe.
    auto* release = new platform::TTimer(splash, "ReleaseTimer");
    release->SetInterval(10);
    release->OnTimer = [](platform::TTimer* timer) {
        timer->SetEnabled(false);
        TSplashForm* done = splash;
        splash = nullptr;
        delete done; // also frees this timer, its owned component
    };
}

std::unique_ptr<TSplashScreen> MakeSplashScreen() {
    return std::make_unique<SplashScreen>();
}
