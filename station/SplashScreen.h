#pragma once
// The splash window of the scan as the controller sees it (the window itself is ui/'s). The main window
// makes one through StationOptions; without one the scan shows nothing.
#include <string>

namespace platform {
class TComponent;
}

class TSplashScreen {
public:
    virtual ~TSplashScreen() = default;

    // Shows the splash, owned by `owner`; a splash already showing stays.
    virtual void Show(platform::TComponent& owner) = 0;
    // While it shows: a status-log line, the caption, the progress in percent.
    virtual void AddLine(const std::string& text) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void Close() = 0;
};
