#include "extra/RxClock.h"

#include <algorithm>
#include <cmath>

#include "platform/Exceptions.h"
#include "platform/Strings.h"
#include "platform/controls/Application.h"
#include "platform/controls/Screen.h"

namespace extra {

using namespace platform;
using namespace platform::widgets;
using gfx::TPoint;
using gfx::TRect;

double ClockAspectCorrection(int widthPx, int heightPx, int widthMM, int heightMM) {
    if (widthMM <= 0 || heightMM <= 0 || widthPx <= 0 || heightPx <= 0) return 1.0;
    double horizontal = widthPx * 100.0 / widthMM;
    double vertical = heightPx * 100.0 / heightMM;
    return horizontal / vertical;
}

std::array<TPoint, 60> ClockCircleTable(double aspect) {
    std::array<TPoint, 60> table;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 60; ++i) {
        double a = 6.0 * i * pi / 180.0;
        table[static_cast<size_t>(i)] = {static_cast<int>(std::lround(8000.0 * std::sin(a))),
                                         static_cast<int>(std::lround(-8000.0 * std::cos(a) * aspect))};
    }
    return table;
}

namespace {
// Shared by every clock; made when the first one is built.
const std::array<TPoint, 60>& Circle() {
    static const std::array<TPoint, 60> table = ClockCircleTable(
        ClockAspectCorrection(Screen->Width, Screen->Height, Screen->WidthMM, Screen->HeightMM));
    return table;
}

// The parts of a time text: runs between ':' and ' ' separators, with their first index.
std::vector<std::pair<size_t, std::string>> TextParts(const std::string& text) {
    std::vector<std::pair<size_t, std::string>> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == ':' || text[i] == ' ') {
            parts.emplace_back(start, text.substr(start, i - start + (i < text.size() ? 1 : 0)));
            start = i + 1;
        }
    return parts;
}
} // namespace

TRxClock::TRxClock(TComponent* owner, const std::string& name)
    : TCustomPanel(owner, name), timer_(std::make_unique<TRxTimer>()) {
    Circle();
    SetBevelInner(TBevelCut::bvLowered);
    SetBevelOuter(TBevelCut::bvRaised);
    SetControlStyle(ControlStyle() | csOpaque);
    SetCaption(TimeText(GetSystemTime()));
    timer_->SetThreaded(false);
    timer_->SetInterval(450);
    timer_->SetOnTimer([this](TComponent*) { Tick(); });
}

TRxClock::~TRxClock() {
    timer_.reset();
    HookApplication(false);
}

void TRxClock::SetParent(TWinControl* parent) {
    TCustomPanel::SetParent(parent);
    // A parent that is destroyed lets its owned children go without a SetParent: its free
    // notification tells the clock.
    hookedParent_ = Parent();
    FreeNotification(hookedParent_);
    HookApplication(hookedParent_ != nullptr);
}

void TRxClock::Notification(TComponent* component, TOperation operation) {
    TCustomPanel::Notification(component, operation);
    if (operation != TOperation::opRemove || component != hookedParent_ || !component) return;
    hookedParent_ = nullptr;
    HookApplication(false);
}

void TRxClock::HookApplication(bool hook) {
    if (hook == (applicationHook_ != 0)) return;
    if (hook) {
        applicationHook_ = Application->HookMainWindow([this](TMessage& m) {
            ApplicationMessage(m);
            return false; // the other hooks and the window see it too
        });
    } else {
        Application->UnhookMainWindow(applicationHook_);
        applicationHook_ = 0;
    }
}

void TRxClock::ApplicationMessage(const TMessage& message) {
    if (message.Msg == WM_WININICHANGE) Invalidate();
    if (message.Msg == WM_TIMECHANGE) {
        Invalidate();
        CheckAlarm();
    }
}

void TRxClock::SetBounds(int left, int top, int width, int height) {
    bool resized = width != Width() || height != Height();
    TCustomPanel::SetBounds(left, top, width, height);
    if (resized && !autoSize_) FitFont();
}

void TRxClock::Loaded() {
    TCustomPanel::Loaded();
    armed_ = true;
}

// ---- settings ----

void TRxClock::Changed(bool resize) {
    if (resize && autoSize_) FitSize();
    Invalidate();
}

void TRxClock::SetShowMode(TShowClock mode) {
    if (mode == showMode_) return;
    showMode_ = mode;
    Changed(false);
}

void TRxClock::SetShowSeconds(bool v) {
    if (v == showSeconds_) return;
    showSeconds_ = v;
    Changed(true);
}

void TRxClock::SetTwelveHour(bool v) {
    if (v == twelveHour_) return;
    twelveHour_ = v;
    Changed(true);
}

void TRxClock::SetLeadingZero(bool v) {
    if (v == leadingZero_) return;
    leadingZero_ = v;
    Changed(true);
}

void TRxClock::SetDotsColor(gfx::TColor c) {
    if (c == dotsColor_) return;
    dotsColor_ = c;
    Changed(false);
}

void TRxClock::SetAutoSize(bool v) {
    if (v == autoSize_) return;
    autoSize_ = v;
    Changed(true);
}

int TRxClock::AlarmHour() const {
    return alarmSeconds_ / 3600;
}
int TRxClock::AlarmMinute() const {
    return alarmSeconds_ / 60 % 60;
}
int TRxClock::AlarmSecond() const {
    return alarmSeconds_ % 60;
}
void TRxClock::SetAlarmHour(int v) {
    SetAlarmTime(v, AlarmMinute(), AlarmSecond());
}
void TRxClock::SetAlarmMinute(int v) {
    SetAlarmTime(AlarmHour(), v, AlarmSecond());
}
void TRxClock::SetAlarmSecond(int v) {
    SetAlarmTime(AlarmHour(), AlarmMinute(), v);
}

void TRxClock::SetAlarmTime(int hour, int minute, int second) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        char sep = FormatSettings().TimeSeparator;
        throw EConvertError(Format("'%d%c%d%c%d' is not a valid time", hour, sep, minute, sep, second));
    }
    alarmSeconds_ = hour * 3600 + minute * 60 + second;
    armed_ = true;
    Changed(false);
}

// ---- time ----

TDateTime TRxClock::GetSystemTime() const {
    TDateTime now = Now();
    TDateTime time = now - std::floor(now);
    if (OnGetTime) OnGetTime(const_cast<TRxClock*>(this), time);
    return time;
}

void TRxClock::GetTime(int& hour, int& minute, int& second) const {
    int ms;
    DecodeTime(GetSystemTime(), hour, minute, second, ms);
}

std::string TRxClock::TimeText(TDateTime time) const {
    std::string pattern = leadingZero_ ? "hh:mm" : "h:mm";
    if (showSeconds_) pattern += ":ss";
    if (twelveHour_) pattern += " ampm";
    return FormatDateTime(pattern, time);
}

void TRxClock::CheckAlarm() {
    int h, m, s;
    GetTime(h, m, s);
    int now = h * 3600 + m * 60 + s;
    bool inMinute = h == AlarmHour() && m == AlarmMinute() && s >= AlarmSecond();
    if (AlarmEnabled && inMinute && armed_) {
        armed_ = false;
        if (OnAlarm) OnAlarm(this);
        return;
    }
    // Re-arming only outside the alarm's minute: a midnight alarm would otherwise fire again and again.
    if (!inMinute && (now < alarmSeconds_ || alarmSeconds_ == 0)) armed_ = true;
}

void TRxClock::Tick() {
    if (Showing() && Width() > 0 && Height() > 0) {
        if (showMode_ == TShowClock::scDigital)
            PaintDigital(false);
        else
            PaintHands(false);
    }
    CheckAlarm();
}

void TRxClock::WndProc(TMessage& message) {
    if (message.Msg == WM_TIMECHANGE) {
        Invalidate();
        CheckAlarm();
    }
    TCustomPanel::WndProc(message);
}

// ---- painting ----

TRect TRxClock::TextArea() const {
    return InnerRect();
}

void TRxClock::FitFont() {
    TRect area = TextArea();
    if (area.Width() <= 0 || area.Height() <= 0) return;
    gfx::TFont font = Font();
    std::string sample = TimeText(0.5);
    for (int h = area.Height(); h > 1; --h) {
        font.SetHeight(h);
        if (gfx::MeasureText(font, sample) <= area.Width()) break;
    }
    Font().SetHeight(font.Height());
}

void TRxClock::FitSize() {
    std::string text = TimeText(GetSystemTime());
    int inset = ClientWidth() - TextArea().Width();
    gfx::TextMetrics tm = gfx::GetTextMetrics(Font());
    SetBounds(Left(), Top(), gfx::MeasureText(Font(), text) + inset + 4, tm.Height + inset + 2);
}

void TRxClock::Paint() {
    gfx::Canvas& c = Canvas();
    TRect r = ClientRect();
    DrawBevel(c, r, BevelOuter(), BevelWidth());
    c.Brush.Color = Color();
    c.Brush.Style = gfx::bsSolid;
    for (int i = 0; i < BorderWidth(); ++i) {
        c.FrameRect(r);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    DrawBevel(c, r, BevelInner(), BevelWidth());
    c.FillRect(r);
    if (showMode_ == TShowClock::scDigital) {
        PaintDigital(true);
    } else {
        PaintFace();
        secondHandAt_ = -1; // the face was drawn anew
        PaintHands(true);
    }
}

void TRxClock::PaintDigital(bool full) {
    gfx::Canvas& c = Canvas();
    TRect area = TextArea();
    std::string text = TimeText(GetSystemTime());
    std::string old = full ? std::string() : shownText_;
    c.Font = Font();
    int x0 = area.Left + (area.Width() - c.TextWidth(text)) / 2;
    int y0 = area.Top + (area.Height() - c.TextHeight(text)) / 2;
    auto cell = [&](size_t start, const std::string& part) {
        int left = x0 + c.TextWidth(text.substr(0, start));
        TRect box{left, area.Top, left + c.TextWidth(part), area.Bottom};
        c.Brush.Color = Color();
        c.Brush.Style = gfx::bsSolid;
        c.FillRect(box);
        c.Brush.Style = gfx::bsClear;
        c.TextOut(left, y0, part);
    };
    if (full || old.size() != text.size()) {
        if (!full) {
            c.Brush.Color = Color();
            c.Brush.Style = gfx::bsSolid;
            c.FillRect(area);
        }
        cell(0, text);
    } else {
        auto now = TextParts(text), before = TextParts(old);
        for (size_t i = 0; i < now.size(); ++i)
            if (i >= before.size() || now[i].second != before[i].second) cell(now[i].first, now[i].second);
    }
    shownText_ = text;
}

TPoint TRxClock::CirclePoint(int position, double scale) const {
    const TPoint& p = Circle()[static_cast<size_t>(((position % 60) + 60) % 60)];
    return {centre_.X + static_cast<int>(std::lround(p.X * radius_ * scale / 8000.0)),
            centre_.Y + static_cast<int>(std::lround(p.Y * radius_ * scale / 8000.0))};
}

void TRxClock::PaintFace() {
    TRect area = TextArea();
    centre_ = {area.Left + area.Width() / 2, area.Top + area.Height() / 2};
    radius_ = std::max(0, std::min(area.Width(), area.Height()) / 2 - 2);
    gfx::Canvas& c = Canvas();
    int big = std::max(1, radius_ / 20);
    for (int i = 0; i < 60; ++i) {
        TPoint p = CirclePoint(i, radius_ > big ? 1.0 - static_cast<double>(big) / radius_ : 1.0);
        if (i % 5 == 0) {
            TRect mark{p.X - big, p.Y - big, p.X + big + 1, p.Y + big + 1};
            c.Brush.Color = dotsColor_;
            c.Brush.Style = gfx::bsSolid;
            c.FillRect(mark);
            c.Frame3D(mark, gfx::clBtnHighlight, gfx::clBtnShadow, 1);
        } else if (radius_ >= 40) {
            c.SetPixel(p.X, p.Y, dotsColor_);
        }
    }
}

void TRxClock::DrawHand(int position, double length, double width, gfx::TColor color) {
    gfx::Canvas& c = Canvas();
    TPoint tip = CirclePoint(position, length);
    TPoint side = CirclePoint(position + 15, width);
    TPoint tail = CirclePoint(position + 30, width);
    int sx = side.X - centre_.X, sy = side.Y - centre_.Y;
    c.Pen.Color = color;
    c.Pen.Mode = gfx::pmCopy;
    c.Pen.Width = 1;
    c.Brush.Color = color;
    c.Brush.Style = gfx::bsSolid;
    c.Polygon({{centre_.X + sx, centre_.Y + sy}, tip, {centre_.X - sx, centre_.Y - sy}, tail});
}

void TRxClock::DrawSecondHand(int position) {
    gfx::Canvas& c = Canvas();
    c.Pen.Mode = gfx::pmNot;
    c.Pen.Width = 1;
    c.MoveTo(centre_.X, centre_.Y);
    TPoint tip = CirclePoint(position, 0.9);
    c.LineTo(tip.X, tip.Y);
    c.Pen.Mode = gfx::pmCopy;
}

void TRxClock::PaintHands(bool full) {
    if (radius_ <= 0) {
        if (!full) return;
        PaintFace();
    }
    int h, m, s;
    GetTime(h, m, s);
    int hourAt = (h % 12) * 5 + m / 12;
    if (secondHandAt_ >= 0) DrawSecondHand(secondHandAt_); // inverting again erases it
    secondHandAt_ = -1;
    if (full || hourAt != shown_.hour || m != shown_.minute) {
        if (!full && shown_.hour >= 0) {
            DrawHand(shown_.hour, 0.55, 0.08, Color());
            DrawHand(shown_.minute, 0.8, 0.06, Color());
        }
        DrawHand(hourAt, 0.55, 0.08, Font().Color());
        DrawHand(m, 0.8, 0.06, Font().Color());
    }
    if (showSeconds_) {
        DrawSecondHand(s);
        secondHandAt_ = s;
    }
    shown_ = {hourAt, m, s};
}

} // namespace extra
