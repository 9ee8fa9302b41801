#include "gauges/AbScale.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/Numeric.h"

namespace gauges {

namespace gfx = platform::gfx;
using platform::Round;

TScaleSettings::TScaleSettings() {
    font_.SetName("Arial");
    font_.SetSize(14);
    font_.OnChange = [this](gfx::TFont&) { Change(); };
}

void TScaleSettings::SetDrawLine(bool v) {
    drawLine_ = v;
    Change();
}

void TScaleSettings::SetSteps(int32_t v) {
    if (v < 1 || v > 20) return;
    steps_ = v;
    Change();
}

void TScaleSettings::SetSubSteps(int32_t v) {
    if (v < 1 || v > 10) return;
    subSteps_ = v;
    Change();
}

void TScaleSettings::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TScaleSettings*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->SetColor(color_);
    d->SetDrawLine(drawLine_);
    d->SetFont(font_);
    d->SetPointerColor(pointerColor_);
    d->SetPosLeftTop(posLeftTop_);
    d->SetSteps(steps_);
    d->SetSubSteps(subSteps_);
    d->SetValueFormat(valueFormat_);
    d->SetValueFormatLog(valueFormatLog_);
}

int TScaleSettings::CalcLogScaleSteps(int steps, int decades) {
    if (decades == 0 || steps < 2) return 1;
    for (int s = steps; s > 1; --s)
        if (decades % s == 0) return s;
    return 1;
}

void TScaleSettings::Prepare(Canvas& canvas) {
    canvas.Font.Assign(font_);
    canvas.Pen.Color = color_;
    canvas.Pen.Style = gfx::psSolid;
    canvas.Brush.Style = gfx::bsClear;
}

void TScaleSettings::Measure(Canvas& canvas, double from, double to, bool descending) {
    Prepare(canvas);
    if (LogScale) {
        LogFrom = Round(AbLog10(from));
        LogTo = Round(AbLog10(to));
        LogSteps = CalcLogScaleSteps(steps_, LogTo - LogFrom);
        Labels = AbLogRangeStr(LogFrom, LogTo, LogSteps, valueFormatLog_, descending);
    } else {
        // AbRangeStr runs from its second value down to its first.
        Labels = descending
                     ? AbRangeStr(static_cast<float>(from), static_cast<float>(to), steps_, valueFormat_)
                     : AbRangeStr(static_cast<float>(to), static_cast<float>(from), steps_, valueFormat_);
    }
    AbGetMaxTokenSize(canvas, LabelWidth, LabelHeight, Labels);
    MainPenWidth = Round(LabelHeight / 14.0);
    PointerMargin = MainPenWidth / 2 + 3;
}

namespace {
int SubTickOf(int mainTick, int mainPen) {
    return mainPen == 1 ? Round(mainTick / 2.0) : Round(mainTick / 1.4);
}
} // namespace

void TScaleSettings::CalcSize(Canvas& canvas, double from, double to) {
    Measure(canvas, from, to, true);
    Gap = LabelHeight / 3;
    MainTick = Round(LabelHeight / 1.4);
    SubTick = SubTickOf(MainTick, MainPenWidth);
    ScaleWidth = LabelWidth + MainTick + Gap;
    ScaleHeight = Round(LabelHeight * MainSteps() * 1.4);
}

void TScaleSettings::CalcHSize(Canvas& canvas, double from, double to) {
    Measure(canvas, from, to, false);
    Gap = LabelHeight / 5;
    MainTick = Round(LabelHeight / 1.4);
    SubTick = SubTickOf(MainTick, MainPenWidth);
    ScaleWidth = Round(LabelWidth * MainSteps() * 1.4);
    ScaleHeight = LabelHeight / 2 + MainTick + Gap;
}

void TScaleSettings::CalcRSize(Canvas& canvas, double from, double to) {
    Measure(canvas, from, to, false);
    Gap = std::max(LabelHeight, LabelWidth) / 2 + 1;
}

void TScaleSettings::VertiScala(Canvas& canvas, const TRect& rect) {
    Prepare(canvas);
    const int n = std::max(MainSteps(), 1);
    const double m = static_cast<double>(rect.Bottom - rect.Top) / n;
    ScaleBottom = rect.Bottom;
    ScaleTop = Round(rect.Bottom - n * m);
    const int x = posLeftTop_ ? rect.Right : rect.Left;
    const int dir = posLeftTop_ ? -1 : 1;
    auto tick = [&](int y, int length, int width) {
        canvas.Pen.Width = width;
        canvas.MoveTo(x, y);
        canvas.LineTo(x + dir * length, y);
    };
    std::string rest = Labels;
    auto label = [&](int y) {
        std::string text = AbStrToken(rest, ';');
        if (posLeftTop_)
            AbTextOut(canvas, x - MainTick - Gap + 1, y, text, toMidRight);
        else
            AbTextOut(canvas, x + MainTick + Gap, y, text, toMidLeft);
    };
    if (drawLine_) {
        canvas.Pen.Width = MainPenWidth;
        canvas.MoveTo(x, rect.Top);
        canvas.LineTo(x, Round(n * m + rect.Top));
    }
    for (int i = 0; i < n; ++i) {
        const int y = Round(i * m + rect.Top);
        tick(y, MainTick, MainPenWidth);
        label(y);
        if (LogScale) {
            const double f = subSteps_ < 1 ? 1.0 : 10.0 / subSteps_;
            for (int k = 1; k < subSteps_; ++k)
                tick(Round((i + 1) * m + rect.Top) - Round(AbLog10((subSteps_ - k) * f) * m), SubTick,
                     SubPenWidth);
        } else {
            for (int k = 0; k < subSteps_; ++k)
                tick(Round(k * m / subSteps_ + rect.Top + i * m), SubTick, SubPenWidth);
        }
    }
    const int last = Round(n * m + rect.Top);
    tick(last, MainTick, MainPenWidth);
    label(last);
    canvas.Pen.Width = 1;
}

void TScaleSettings::HorizScala(Canvas& canvas, const TRect& rect) {
    Prepare(canvas);
    const int n = std::max(MainSteps(), 1);
    const double m = static_cast<double>(rect.Width()) / n;
    ScaleBottom = rect.Left;
    ScaleTop = Round(n * m + rect.Left);
    // With the labels on top they are centred on the top edge and the ticks rise from the base line
    // below them; otherwise the ticks hang from the top edge with the labels under them.
    const int base = posLeftTop_ ? rect.Top + LabelHeight / 2 + Gap + MainTick : rect.Top;
    const int dir = posLeftTop_ ? -1 : 1;
    auto tick = [&](int x, int length, int width) {
        canvas.Pen.Width = width;
        canvas.MoveTo(x, base);
        canvas.LineTo(x, base + dir * length);
    };
    std::string rest = Labels;
    auto label = [&](int x) {
        std::string text = AbStrToken(rest, ';');
        if (posLeftTop_)
            AbTextOut(canvas, x, rect.Top, text, toMidCenter);
        else
            AbTextOut(canvas, x, base + MainTick + Gap, text, toTopCenter);
    };
    if (drawLine_) {
        canvas.Pen.Width = MainPenWidth;
        canvas.MoveTo(ScaleBottom, base);
        canvas.LineTo(ScaleTop, base);
    }
    for (int i = 0; i < n; ++i) {
        const int x = Round(i * m + rect.Left);
        tick(x, MainTick, MainPenWidth);
        label(x);
        if (LogScale) {
            const double f = 10.0 / std::max(subSteps_, 1);
            for (int k = 1; k <= subSteps_; ++k)
                tick(rect.Left + Round(AbLog10(k * f) * m + i * m), SubTick, SubPenWidth);
        } else {
            for (int k = 0; k < subSteps_; ++k)
                tick(Round(k * m / subSteps_ + i * m + rect.Left), SubTick, SubPenWidth);
        }
    }
    tick(ScaleTop, MainTick, MainPenWidth);
    label(ScaleTop);
    canvas.Pen.Width = 1;
}

void TScaleSettings::DrawRound(Canvas& canvas, TRect& rect, double sweep, double start, bool dial) {
    Prepare(canvas);
    const int n = std::max(MainSteps(), 1);
    Centre = AbCenterPoint(rect);
    const int r = (rect.Width() - 2 * Gap) / 2 - LabelWidth / 2 + Gap;
    MainTick = dial ? std::max(r / 7, 3) : r / 8;
    SubTick = SubTickOf(MainTick, MainPenWidth);
    if (dial) SubTick = std::max(SubTick, 1);
    Centre.Y = rect.Top + r + LabelHeight / 2;
    const int cx = Centre.X, cy = Centre.Y, halfW = LabelWidth / 2, halfPen = MainPenWidth / 2;
    rect = {cx - r + halfW + halfPen, cy - r + halfW + halfPen, cx + r - halfW + halfPen - 1,
            cy + r - halfW + halfPen - 1};

    const double subAngle = sweep / (subSteps_ * n);
    const double mainAngle = subSteps_ * subAngle;
    // Reference points straight up from the centre, turned to the start angle.
    auto up = [&](int radius) {
        return AbRotate({cx, cy - radius}, Centre, static_cast<float>(start), true);
    };
    const TPoint labelPoint = up(r);
    const TPoint mainOuter = up(r - Gap), mainInner = up(r - Gap - MainTick);
    const TPoint subOuter = up(r - Gap - MainTick + SubTick);
    auto turn = [&](TPoint p, double angle) { return AbRotate(p, Centre, static_cast<float>(angle), true); };
    auto line = [&](TPoint a, TPoint b, int width) {
        canvas.Pen.Width = width;
        canvas.MoveTo(a.X, a.Y);
        canvas.LineTo(b.X, b.Y);
    };
    std::string rest = Labels;
    auto label = [&](double angle) {
        TPoint p = turn(labelPoint, angle);
        AbTextOut(canvas, p.X, p.Y, AbStrToken(rest, ';'), toMidCenter);
    };
    for (int i = 0; i < n; ++i) {
        const double a = i * mainAngle;
        line(turn(mainOuter, a), turn(mainInner, a), MainPenWidth);
        label(a);
        for (int k = 1; k < subSteps_; ++k) {
            double s = LogScale ? Round(AbLog10(k * 10.0 / subSteps_) * mainAngle + i * mainAngle)
                                : Round(i * mainAngle + k * subAngle);
            line(turn(mainInner, s), turn(subOuter, s), 1);
        }
    }
    line(turn(mainOuter, sweep), turn(mainInner, sweep), MainPenWidth);
    if (dial || sweep != 360) label(sweep); // a full circle's last label would cover the first
    canvas.Pen.Width = 1;

    InnerTopLeft = {rect.Left + MainTick, rect.Top + MainTick};
    InnerBottomRight = {rect.Right - MainTick, rect.Bottom - MainTick + 1};
    ArcEnd = turn(mainInner, sweep);
    ArcStart = mainOuter;
    if (MainPenWidth == 1) {
        ++rect.Left;
        ++rect.Top;
    }
}

void TAbLineSettings::SetPen(const gfx::TPen& pen) {
    pen_ = pen;
    ChangeObject(this);
}

TAbCustomScale::TAbCustomScale() {
    font_.OnChange = [this](gfx::TFont&) { ChangeObject(this); };
    gfx::TPen step;
    step.Color = gfx::clWhite;
    step.Width = 2;
    stepLines_.SetPen(step);
    gfx::TPen sub;
    sub.Color = gfx::clSilver;
    sub.Width = 1;
    subStepLines_.SetPen(sub);
    stepLines_.OnChange = [this](TObject* s) { ChangeObject(s); };
    subStepLines_.OnChange = [this](TObject* s) { ChangeObject(s); };
}

} // namespace gauges
