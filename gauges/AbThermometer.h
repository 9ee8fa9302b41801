#pragma once
// A thermometer: a vertical level bar between two vertical scales, markers for the minimum and maximum
// reached, a value box with the unit above the bar and name texts below, framed by up to two bevels.
//
// Painting: a paint lays out the control top to bottom (outer bevel, names at the bottom, value box,
// inner bevel, the bar column centred with a scale on each side) and saves the area inside the inner
// bevel as the background. A value change draws the bar and the markers on a copy of that background
// and writes the value box; nothing else is touched.
//
// Markers: with d = (bar bottom - 1 - bar top) / 1000, a per-mille position p lies at row
// bar bottom - 1 - round(p x d); the markers are triangles right of the bar, one main tick long.
#include <cstdint>
#include <string>

#include "gauges/AbAnalogGControl.h"
#include "gauges/AbBar.h"
#include "gauges/AbBevel.h"
#include "gauges/AbScale.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Font.h"

namespace gauges {

class TAbThermometer : public TAbAnalogGControl {
public:
    enum TThMetOption : uint8_t {
        opBevelInner = 1 << 0,
        opBevelOuter = 1 << 1,
        opValue = 1 << 2,
        opName1 = 1 << 3,
        opName2 = 1 << 4,
        opUnit = 1 << 5,
    };
    using TThMetOptions = uint8_t;

    explicit TAbThermometer(platform::TComponent* owner, const std::string& name = {});

    void Loaded() override;

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    platform::gfx::TFont& FontValue() { return fontValue_; }
    void SetFontValue(const platform::gfx::TFont& font);
    TBarSettings& BarSettings() { return bar_; }
    TAbSBevel& BevelInner() { return bevelInner_; }
    TAbSBevel& BevelOuter() { return bevelOuter_; }
    TAbSBevel& BevelValue() { return bevelValue_; }
    TThMetOptions Options() const { return options_; }
    void SetOptions(TThMetOptions options);
    TScaleSettings& ScaleSettings() { return scale_; }
    int32_t ScaleSpacing() const { return scaleSpacing_; }
    void SetScaleSpacing(int32_t v);

    void ParamChange(TObject* sender) override;
    // Measures names, value, unit and scale; with AutoSize the control takes the size they need.
    void CalcSize();

    // Layout of the last paint (control coordinates; the bar's rectangle relative to the background).
    const TRect& BackgroundRect() const { return backgroundRect_; }
    const TRect& ValueBox() const { return valueBox_; }
    bool Hidden() const { return hidden_; }

protected:
    void Paint() override;
    void ValueChange() override;
    void LogScaleChanged() override;

private:
    // The value box with its unit; `rect` loses the box's rows at the top.
    void PaintValueBox(platform::gfx::Canvas& canvas, TRect& rect);
    void PaintScales(platform::gfx::Canvas& canvas, const TRect& bar);

    bool autoSize_ = true;
    platform::gfx::TFont fontValue_;
    TBarSettings bar_;
    TAbSBevel bevelInner_;
    TAbSBevel bevelOuter_;
    TAbSBevel bevelValue_;
    TThMetOptions options_ = opValue | opName1 | opName2 | opUnit;
    TScaleSettings scale_;
    int32_t scaleSpacing_ = 2;

    int name1W_ = 0, name1H_ = 0;
    int name2W_ = 0, name2H_ = 0;
    int valueW_ = 0, valueH_ = 0;
    int unitW_ = 0, unitH_ = 0;
    int16_t width_ = 0, height_ = 0;
    TRect backgroundRect_;
    Bitmap background_;
    TRect valueBox_;
    bool hidden_ = false;
};

} // namespace gauges
