#pragma once
// A panel that shows the time of day as digits or as a face with hands, and raises an alarm event at a
// set time every day. A timer of 450 ms drives it on the window thread (a window timer, so the display
// follows the loop's clock).
//
// The alarm fires once when the time reaches the alarm's minute (hour and minute equal, the second at
// or past the alarm's) while it is armed; it is armed again once the time has left that minute and is
// before the alarm time, or at any time outside the minute when the alarm is midnight.
//
// While it has a window (a parent), the clock hooks the application window: a change of the regional
// settings (WM_WININICHANGE) sent there repaints it, and a change of the system time (WM_TIMECHANGE)
// repaints it and checks the alarm. It unhooks when it loses its parent, taken away or destroyed.
#include <array>
#include <functional>
#include <memory>

#include "extra/RxTimer.h"
#include "platform/DateTime.h"
#include "platform/controls/StdCtrls.h"

namespace extra {

enum class TShowClock { scDigital, scAnalog };

// The screen's aspect correction: horizontal pixels per 100 mm over vertical pixels per 100 mm; 1 when
// a physical size is unknown (0).
double ClockAspectCorrection(int widthPx, int heightPx, int widthMM, int heightMM);
// The face's 60 points: point i is (8000 sin(6i deg), -8000 cos(6i deg) x aspect), rounded.
std::array<platform::gfx::TPoint, 60> ClockCircleTable(double aspect);

class TRxClock : public platform::widgets::TCustomPanel {
public:
    explicit TRxClock(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TRxClock() override;

    TShowClock ShowMode() const { return showMode_; }
    void SetShowMode(TShowClock mode);
    bool ShowSeconds() const { return showSeconds_; }
    void SetShowSeconds(bool v);
    bool TwelveHour() const { return twelveHour_; }
    void SetTwelveHour(bool v);
    bool LeadingZero() const { return leadingZero_; }
    void SetLeadingZero(bool v);
    platform::gfx::TColor DotsColor() const { return dotsColor_; }
    void SetDotsColor(platform::gfx::TColor c);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);

    bool AlarmEnabled = false;
    int AlarmHour() const;
    int AlarmMinute() const;
    int AlarmSecond() const;
    // Each replaces one part of the alarm time and arms the alarm; a combination that is no time of
    // day raises EConvertError.
    void SetAlarmHour(int v);
    void SetAlarmMinute(int v);
    void SetAlarmSecond(int v);
    void SetAlarmTime(int hour, int minute, int second);
    bool AlarmArmed() const { return armed_; }

    std::function<void(platform::TComponent*)> OnAlarm;
    std::function<void(platform::TComponent*, platform::TDateTime&)> OnGetTime;

    // The time of day now (through OnGetTime), and its parts.
    platform::TDateTime GetSystemTime() const;
    void GetTime(int& hour, int& minute, int& second) const;
    // The digits as the clock shows them for a time of day.
    std::string TimeText(platform::TDateTime time) const;
    // One tick: paint what changed, then check the alarm.
    void Tick();
    // The face's centre and radius (analogue mode).
    platform::gfx::TPoint FaceCentre() const { return centre_; }
    int FaceRadius() const { return radius_; }

    void Loaded() override;
    void SetParent(platform::TWinControl* parent) override;
    void SetBounds(int left, int top, int width, int height) override;

protected:
    void Paint() override;
    void WndProc(platform::TMessage& message) override;
    void Notification(platform::TComponent* component, platform::TOperation operation) override;

private:
    struct Shown {
        int hour = -1, minute = -1, second = -1;
    };
    platform::gfx::TRect TextArea() const;
    void FitFont();
    void FitSize();
    void CheckAlarm();
    void HookApplication(bool hook);
    void ApplicationMessage(const platform::TMessage& message);
    void Changed(bool resize);
    void PaintDigital(bool full);
    void PaintFace();
    void PaintHands(bool full);
    void DrawHand(int position, double length, double width, platform::gfx::TColor color);
    void DrawSecondHand(int position);
    platform::gfx::TPoint CirclePoint(int position, double scale) const;

    std::unique_ptr<TRxTimer> timer_;
    int applicationHook_ = 0; // the id of the hook on the application window, 0 when none
    platform::TWinControl* hookedParent_ = nullptr; // the parent it is hooked for
    TShowClock showMode_ = TShowClock::scDigital;
    bool showSeconds_ = true;
    bool twelveHour_ = false;
    bool leadingZero_ = true;
    platform::gfx::TColor dotsColor_ = 0x808000;
    bool autoSize_ = false;
    int alarmSeconds_ = 0; // seconds of the day
    bool armed_ = true;
    Shown shown_;
    std::string shownText_; // the digits on the surface now
    int secondHandAt_ = -1; // where the inverted second hand is drawn now, -1 none
    platform::gfx::TPoint centre_;
    int radius_ = 0;
};

} // namespace extra
