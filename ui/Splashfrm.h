#pragma once
// The splash window shown during the scan, headless: caption, progress and lines are kept while it
// shows; closing releases it through a 10 ms one-shot timer.
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "station/SplashScreen.h"

namespace platform {
class TTimer;
}

class TSplashForm : public platform::TComponent {
public:
    explicit TSplashForm(platform::TComponent* owner);
    ~TSplashForm() override;
    std::string Caption;
    int Progress = 0;
    std::vector<std::string> Lines;
    bool Showing = true;
};

// The splash of the main window; null when none exists.
TSplashForm* SplashForm();
void ShowSplashForm(platform::TComponent* owner);
void AddSplashLine(const std::string& text);
void SetSplashCaption(const std::string& text);
void SetSplashProgress(int percent);
void CloseSplashForm();

// The splash above as the main window's splash screen (StationOptions::MakeSplash).
std::unique_ptr<TSplashScreen> MakeSplashScreen();
