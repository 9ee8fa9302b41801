#pragma once
// Round pointer meters: one analog value as a pointer over a round scale, with a coloured sector ring,
// minimum and maximum markers, name and unit texts and two bevels. The 360, 270, 180 and 120 degree
// variants differ only in sweep, start angle, height ratio and default size.
//
// Painting: a paint lays out and draws the whole dial on the control's canvas, then saves the dial
// under the pointer rectangle (the area inside the scale labels) as the background. A value change or a
// flash tick redraws only that rectangle: a copy of the background with the markers, the pointer and
// its centre discs drawn on it. Everything outside the pointer rectangle stays as the paint left it.
//
// Angles are degrees clockwise from twelve o'clock: a per-mille position p lies at start + p x sweep /
// 1000. The sector ring is clipped to the ring between the ellipse of its rectangle and that ellipse
// shrunk by the ring width (width div 10 + WidthOffset), so the pie slices show only there.
#include <array>
#include <cstdint>
#include <string>

#include "gauges/AbAnalogGControl.h"
#include "gauges/AbArrow.h"
#include "gauges/AbBevel.h"
#include "gauges/AbIndicators.h"
#include "gauges/AbScale.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Font.h"

namespace gauges {

class TAbRMeter : public TAbAnalogGControl {
public:
    enum TRMeterOption : uint8_t {
        opBevelInner = 1 << 0,
        opBevelOuter = 1 << 1,
        opName1 = 1 << 2,
        opName2 = 1 << 3,
        opOverflow = 1 << 4,
        opLimit = 1 << 5,
        opSector = 1 << 6,
        opUnit = 1 << 7,
    };
    using TRMeterOptions = uint8_t;
    static constexpr TRMeterOptions kAllOptions = 0xFF;

    explicit TAbRMeter(platform::TComponent* owner, const std::string& name = {});
    ~TAbRMeter() override;

    void Loaded() override;

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    TArrowSettings& ArrowSettings() { return arrow_; }
    platform::gfx::TFont& FontUnit() { return fontUnit_; }
    void SetFontUnit(const platform::gfx::TFont& font);
    TAbSBevel& BevelInner() { return bevelInner_; }
    TAbSBevel& BevelOuter() { return bevelOuter_; }
    TRMeterOptions Options() const { return options_; }
    void SetOptions(TRMeterOptions options);
    TScaleSettings& ScaleSettings() { return scale_; }

    void ParamChange(TObject* sender) override;

    // Measures names, unit and scale labels; with AutoSize the control takes the size they need.
    void CalcSize();
    // The sector ring inside `rect` (control coordinates), then the scale's base line.
    void DrawRSector(platform::gfx::Canvas& canvas, const TRect& rect);
    // The pointer with the markers over the saved background, drawn on `canvas` when one is given. The
    // colour argument is not used: the colours come from ArrowSettings and the flash state.
    void DrawPointer(platform::gfx::Canvas* canvas, TColor color);
    // Flashes the pointer (2 Hz) while the value is out of range (opOverflow) or beyond a limit (opLimit).
    void PointerFlash();

    // Layout and state kept for drawing.
    int16_t StartAngle() const { return start_; }
    int16_t SweepAngle() const { return sweep_; }
    const TRect& PointerRect() const { return pointerRect_; }
    bool PointerHidden() const { return pointerHidden_; }
    bool PointerFlashing() const { return flashing_; }
    TColor PointerColor() const { return pointerColor_; }
    int16_t LastDrawnPosition() const { return lastDrawn_; }

protected:
    // A meter's geometry: sweep from a start angle, height = width / ratio (about), a default size.
    struct Variant {
        int16_t start;
        int16_t sweep;
        float heightRatio;
        int width;
        int height;
        int32_t steps;
        int number; // 0: 360, 1: 270, 2: 180, 3: 120 degrees
    };
    void ApplyVariant(const Variant& v);
    void SetStartAngle(int16_t start) { start_ = start; }

    void Paint() override;
    void WndProc(platform::TMessage& message) override;
    void ValueChange() override;
    void OverflowChange(int32_t ppt) override;
    void LimitChange() override;
    void LogScaleChanged() override;

private:
    // Lays the scale out by variant; returns the rectangle the scale was first drawn in.
    TRect DrawScale(platform::gfx::Canvas& canvas, TRect& rect);
    void BuildPointerShapes();

    bool autoSize_ = true;
    TArrowSettings arrow_;
    platform::gfx::TFont fontUnit_;
    TAbSBevel bevelInner_;
    TAbSBevel bevelOuter_;
    TRMeterOptions options_ = kAllOptions;
    TScaleSettings scale_;

    int16_t start_ = 0;
    int16_t sweep_ = 360;
    float heightRatio_ = 1.0f;
    int variant_ = 0;

    int name1W_ = 0, name1H_ = 0;
    int name2W_ = 0, name2H_ = 0;
    int unitW_ = 0, unitH_ = 0;
    int16_t diameter_ = 0;
    int16_t height_ = 0;

    TRect pointerRect_;
    Bitmap background_{1, 1};
    TArrowPoints shape_{};   // as built, turned to the start angle
    TArrowPoints rotated_{}; // turned to the value
    std::array<TPoint, 3> minMarker_{}, maxMarker_{};
    bool pointerHidden_ = false;
    bool flashing_ = false;
    TColor pointerColor_ = platform::gfx::clRed;
    bool insideValueChange_ = false;
    int16_t lastDrawn_ = -1;
};

class TAb360Meter : public TAbRMeter {
public:
    explicit TAb360Meter(platform::TComponent* owner, const std::string& name = {});
    int16_t StartPos() const { return StartAngle(); }
    // 0 .. 360; other values and the current one are ignored.
    void SetStartPos(int16_t angle);
};

class TAb270Meter : public TAbRMeter {
public:
    explicit TAb270Meter(platform::TComponent* owner, const std::string& name = {});
};

class TAb180Meter : public TAbRMeter {
public:
    explicit TAb180Meter(platform::TComponent* owner, const std::string& name = {});
};

class TAb120Meter : public TAbRMeter {
public:
    explicit TAb120Meter(platform::TComponent* owner, const std::string& name = {});
};

} // namespace gauges
