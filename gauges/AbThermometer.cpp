#include "gauges/AbThermometer.h"

#include <algorithm>
#include <utility>

#include "gauges/AbIndicators.h"
#include "platform/Numeric.h"

namespace gauges {

namespace gfx = platform::gfx;
using platform::Round;

TAbThermometer::TAbThermometer(platform::TComponent* owner, const std::string& name)
    : TAbAnalogGControl(owner, name) {
    BeginUpdate(); // closed by Loaded
    fontValue_.SetName("System");
    fontValue_.SetSize(10);
    fontValue_.SetColor(gfx::clBlue);
    bar_.SetMinWidth(3);
    bar_.SetMinHeight(100);
    bar_.SetColor(gfx::clBlue);
    bar_.SetBkColor(gfx::clBtnFace);
    bar_.Bevel().SetSpacing(1);
    bar_.Bevel().SetColor(gfx::clBtnFace);
    bar_.Bevel().SetStyle(bsRaised);
    bevelInner_.SetStyle(bsLowered);
    bevelInner_.SetSpacing(5);
    bevelInner_.SetWidth(2);
    bevelInner_.SetBevelLine(blInner);
    bevelOuter_.SetSpacing(5);
    bevelOuter_.SetWidth(2);
    bevelOuter_.SetBevelLine(blOuter);
    bevelValue_.SetStyle(bsLowered);
    bevelValue_.SetWidth(2);
    bevelValue_.SetColor(gfx::clBtnFace);
    bevelValue_.SetSpacing(0);
    scale_.SetDrawLine(false);
    scale_.SetSubSteps(5);
    scale_.Font().SetSize(8);
    SetBounds(Left(), Top(), 82, 172);
    SignalSettings().SetValueFrom(-40.0f);
    SignalSettings().SetValueTo(60.0f);
    SignalSettings().SetValueUnit("°C");
}

void TAbThermometer::Loaded() {
    TAbAnalogGControl::Loaded();
    auto param = [this](TObject* sender) { ParamChange(sender); };
    fontValue_.OnChange = [this](gfx::TFont&) { ParamChange(this); };
    for (TAbSBevel* bevel : {&bevelOuter_, &bevelInner_, &bevelValue_})
        bevel->OnChange = param;
    scale_.OnChange = param;
    bar_.OnChange = param;
    EndUpdate();
}

void TAbThermometer::SetAutoSize(bool on) {
    autoSize_ = on;
    RepaintUnlessUpdating();
}

void TAbThermometer::SetFontValue(const gfx::TFont& font) {
    fontValue_.Assign(font);
    RepaintUnlessUpdating();
}

void TAbThermometer::SetOptions(TThMetOptions options) {
    options_ = options;
    RepaintUnlessUpdating();
}

void TAbThermometer::SetScaleSpacing(int32_t v) {
    if (v == scaleSpacing_) return;
    scaleSpacing_ = v;
    RepaintUnlessUpdating();
}

void TAbThermometer::ParamChange(TObject* sender) {
    TAbAnalogGControl::ParamChange(sender);
    bar_.ZeroPPT = SignalSettings().GetPPT(0);
    RepaintUnlessUpdating();
}

void TAbThermometer::LogScaleChanged() {
    scale_.LogScale = LogScale();
    RepaintUnlessUpdating();
}

void TAbThermometer::CalcSize() {
    gfx::Canvas& canvas = Canvas();
    gfx::CanvasStateSaver saver(canvas);
    const TSignalSettings& signal = SignalSettings();
    canvas.Font.Assign(Font());
    name1W_ = canvas.TextWidth(signal.Name1());
    name1H_ = canvas.TextHeight(signal.Name1());
    name2W_ = canvas.TextWidth(signal.Name2());
    name2H_ = canvas.TextHeight(signal.Name2());
    canvas.Font.Assign(fontValue_);
    valueW_ = canvas.TextWidth(signal.WidestFormat());
    valueH_ = canvas.TextHeight(signal.WidestFormat());
    const bool unit = (options_ & opUnit) != 0;
    unitW_ = unit ? canvas.TextWidth(signal.ValueUnit()) : 0;
    unitH_ = unit ? canvas.TextHeight(signal.ValueUnit()) : 0;
    scale_.CalcSize(canvas, signal.ValueFrom(), signal.ValueTo());
    bar_.UnitText = signal.ValueUnit();

    const int barBevel = bar_.Bevel().TotalWidth(), inner = bevelInner_.TotalWidth();
    const int outer = (options_ & opBevelOuter) ? bevelOuter_.TotalWidth() : 0;
    int h = bar_.MinHeight() + 2 * barBevel + 2 * outer;
    int w = bar_.MinWidth() + 2 * (outer + scale_.ScaleWidth);
    if (options_ & opName1) {
        h += name1H_;
        w = std::max(w, name1W_ + 2 * outer);
    }
    if (options_ & opName2) {
        h += name2H_;
        w = std::max(w, name2W_ + 2 * outer);
    }
    if (options_ & opBevelInner) {
        h += 2 * inner;
        w += 2 * inner;
    }
    if (options_ & opValue) {
        const int box = bevelValue_.TotalWidth();
        h += valueH_ + 2 * box + inner;
        w = std::max(w, 2 * box + valueW_ + unitW_ + valueH_);
    }
    width_ = platform::SaturateInt16(w);
    height_ = platform::SaturateInt16(h);
    if (autoSize_ && (width_ != Width() || height_ != Height())) SetBounds(Left(), Top(), width_, height_);
}

void TAbThermometer::PaintValueBox(gfx::Canvas& canvas, TRect& r) {
    canvas.Font.Assign(fontValue_);
    const int m = valueH_ / 3, frame = bevelValue_.TotalWidth();
    const int boxHeight = 2 * frame + valueH_;
    const int left = r.Left + (r.Width() - valueW_ - unitW_ - m) / 2 - m;
    TRect box{left, r.Top, left + valueW_ + 2 * frame + 2 * m, r.Top + boxHeight};
    bevelValue_.PaintFilledBevel(canvas, box);
    if (options_ & opUnit) {
        canvas.Font.SetColor(Font().Color());
        canvas.Brush.Style = gfx::bsClear;
        canvas.TextOut(box.Right + m, box.Top, SignalSettings().ValueUnit());
    }
    box.Left += m;
    box.Right -= m;
    valueBox_ = box;
    r.Top += boxHeight + bevelOuter_.Spacing();
}

void TAbThermometer::PaintScales(gfx::Canvas& canvas, const TRect& bar) {
    // The ticks reach ScaleSpacing into the bar from either edge: the rectangle runs from right to left.
    const TRect scale{bar.Right - scaleSpacing_, bar.Top, bar.Left + scaleSpacing_ - 1, bar.Bottom - 1};
    // Both sides are drawn from the one settings object; switching its side is not a settings change.
    TNotifyEvent onChange = std::exchange(scale_.OnChange, nullptr);
    scale_.SetPosLeftTop(true);
    scale_.VertiScala(canvas, scale);
    scale_.SetPosLeftTop(false);
    scale_.VertiScala(canvas, scale);
    scale_.OnChange = std::move(onChange);
}

void TAbThermometer::Paint() {
    if (Updating()) return;
    CalcSize();
    gfx::Canvas& canvas = Canvas();
    TRect r = ClientRect();
    int nameOffset = 0;
    if (options_ & opBevelOuter) {
        bevelOuter_.PaintFilledBevel(canvas, r);
        nameOffset = bevelOuter_.Spacing() / 2;
    }
    canvas.Brush.Style = gfx::bsClear;
    canvas.Font.Assign(Font());
    auto name = [&](const std::string& text, int height) {
        r.Bottom -= height;
        AbTextOut(canvas, r.Left + r.Width() / 2, r.Bottom + nameOffset, text, toTopCenter);
    };
    if (options_ & opName2) name(SignalSettings().Name2(), name2H_);
    if (options_ & opName1) name(SignalSettings().Name1(), name1H_);
    if (options_ & opValue) PaintValueBox(canvas, r);

    canvas.Font.Assign(scale_.Font());
    if (options_ & opBevelInner) {
        bevelInner_.PaintFilledBevel(canvas, r);
    } else {
        const int k = canvas.TextHeight("X") / 2;
        r.Top += k / 2;
        r.Bottom -= k / 2;
    }
    hidden_ = r.Width() < 2 || r.Height() < 2;
    if (hidden_) return;
    backgroundRect_ = r;
    AbBorder(backgroundRect_, -bevelInner_.Spacing());

    const int barWidth = bar_.MinWidth() + 2 * bar_.Bevel().TotalWidth();
    const int left = (Width() - barWidth) / 2;
    TRect bar{left, r.Top, left + barWidth, r.Bottom};
    bar_.Bevel().PaintFilledBevel(canvas, bar);
    scale_.CalcSize(canvas, SignalSettings().ValueFrom(), SignalSettings().ValueTo());
    PaintScales(canvas, bar);

    GetBkUpImage(canvas, background_, backgroundRect_);
    const int barLeft = bar.Left - backgroundRect_.Left;
    bar_.BarRect = {barLeft, bar.Top - backgroundRect_.Top, barLeft + bar_.MinWidth(),
                    bar.Bottom - backgroundRect_.Top};
    ValueChange();
}

void TAbThermometer::ValueChange() {
    TAbAnalogGControl::ValueChange();
    if (hidden_ || !Visible() || background_.Empty()) return;
    Bitmap t(background_);
    gfx::Canvas& c = t.GetCanvas();
    const TRect& b = bar_.BarRect;
    const double d = (b.Bottom - 1 - b.Top) / 1000.0;
    const int s = scale_.MainTick, r = b.Right;
    auto marker = [&](int32_t ppt, TColor own, int tip) {
        const int y = b.Bottom - 1 - Round(ppt * d);
        c.Brush.Style = gfx::bsSolid;
        c.Brush.Color = MarkerColor(ppt, own);
        c.Polygon({TPoint{r, y}, TPoint{r + s, y}, TPoint{r + s, y + tip}});
    };
    if (MinMax().MinVisible()) marker(PptMin(), MinMax().MinColor(), s / 2);
    if (MinMax().MaxVisible()) marker(PptMax(), MinMax().MaxColor(), -(s / 2));

    bar_.ValueText = ValueText();
    const bool inSector = InSector(1) || InSector(2) || InSector(3);
    bar_.SectorColor = (bar_.Options() & opUseSectorCol) && inSector ? SectorColor() : bar_.Color();
    bar_.PaintBar(c, PptValue());
    Canvas().Draw(backgroundRect_.Left, backgroundRect_.Top, t);
    if (options_ & opValue) DrawBoxText(Canvas(), valueBox_, bevelValue_.Color(), fontValue_, ValueText(), 0);
}

} // namespace gauges
