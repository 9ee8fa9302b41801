#pragma once
// A compass card: eight compass-point texts with ticks on a ring that turns so that the course (Value,
// 0 .. 360) stands at the top under a fixed course marker, a marker for the set course (ValueShould),
// and two value boxes under the centre with the course and its deviation from the set course.
//
// Painting: a paint draws the whole control into a bitmap (outer frame or the key colour, names, the
// round outer bevel, the card, the inner bevel, the course marker, captions and box frames), puts it on
// the control's canvas and rebuilds the ring region: the ellipse inside the outer round bevel less the
// ellipse just outside the inner one, in the parent's coordinates. A value change draws only the turning
// card through that region and the two boxes; everything else stays as the paint left it.
//
// The card turns against the course: compass point i (45 x i degrees) is drawn at 45 x i - Value
// degrees clockwise from the top, the set-course marker at ValueShould - Value.
#include <array>
#include <cstdint>
#include <string>

#include "gauges/AbAnalogGControl.h"
#include "gauges/AbBevel.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/Region.h"

namespace gauges {

class TAbCompass : public TAbAnalogGControl {
public:
    enum TCompassOption : uint8_t {
        opArrowShould = 1 << 0,
        opBevelOuterRnd = 1 << 1,
        opBevelInnerRnd = 1 << 2,
        opBevelOuter = 1 << 3,
        opName1 = 1 << 4,
        opName2 = 1 << 5,
        opSubSteps = 1 << 6,
        opValue = 1 << 7,
    };
    using TCompassOptions = uint8_t;
    static constexpr TCompassOptions kAllOptions = 0xFF;
    // Without the outer frame, the paint's bitmap is filled with this colour and drawn transparent.
    static constexpr TColor kKeyColor = 0x00800080;

    explicit TAbCompass(platform::TComponent* owner, const std::string& name = {});

    void Loaded() override;

    TColor ColorArrow() const { return colorArrow_; }
    // Paints the course marker in the new colour at once.
    void SetColorArrow(TColor c);
    TColor ColorArrowShould() const { return colorArrowShould_; }
    void SetColorArrowShould(TColor c);
    TColor ColorScale() const { return colorScale_; }
    void SetColorScale(TColor c);
    platform::gfx::TFont& FontValue() { return fontValue_; }
    void SetFontValue(const platform::gfx::TFont& font) { fontValue_.Assign(font); }
    platform::gfx::TFont& FontScaleText() { return fontScaleText_; }
    void SetFontScaleText(const platform::gfx::TFont& font) { fontScaleText_.Assign(font); }
    TAbSBevel& BevelOuterRnd() { return bevelOuterRnd_; }
    TAbSBevel& BevelInnerRnd() { return bevelInnerRnd_; }
    TAbSBevel& BevelOuter() { return bevelOuter_; }
    TAbSBevel& BevelValue() { return bevelValue_; }
    TCompassOptions Options() const { return options_; }
    void SetOptions(TCompassOptions options);
    float Deviation() const { return deviation_; }
    // Stores only; ValueChange computes it from Value and ValueShould.
    void SetDeviation(float deviation) { deviation_ = deviation; }
    float ValueShould() const { return valueShould_; }
    // 0 .. 360; other values and the current one are ignored.
    void SetValueShould(float should);
    const std::string& ScaleText() const { return scaleText_; }
    // Eight ";"-separated texts for 0, 45, ... 315 degrees; an empty text is ignored.
    void SetScaleText(const std::string& text);
    int32_t SpaceText() const { return spaceText_; }
    void SetSpaceText(int32_t v);
    int32_t SpaceScale() const { return spaceScale_; }
    void SetSpaceScale(int32_t v);
    const std::string& VInd1Caption() const { return vInd1Caption_; }
    void SetVInd1Caption(const std::string& v);
    const std::string& VInd2Caption() const { return vInd2Caption_; }
    void SetVInd2Caption(const std::string& v);

    void ParamChange(TObject* sender) override;

    // Layout kept from the last paint (control coordinates; the region in the parent's).
    const std::string& DeviationText() const { return deviationText_; }
    TPoint Centre() const { return centre_; }
    const TRect& CardRect() const { return card_; }
    // Box 1 (course) or 2 (deviation): the inside of its frame.
    const TRect& ValueBox(int n) const { return n == 2 ? box2_ : box1_; }
    const platform::gfx::Region& RingRegion() const { return ring_; }

protected:
    void Paint() override;
    void ValueChange() override;

private:
    // The card (ticks, texts and set-course marker) turned by value; measuring lays the card out in
    // `rect` and shrinks it to the area inside the set-course marker.
    void CompassScale(platform::gfx::Canvas& canvas, TRect& rect, float value, float should, bool measuring);
    void PosChange() { Paint(); }

    TColor colorArrow_ = platform::gfx::clRed;
    TColor colorArrowShould_ = platform::gfx::clYellow;
    TColor colorScale_ = platform::gfx::clAqua;
    platform::gfx::TFont fontValue_;
    platform::gfx::TFont fontScaleText_;
    TAbSBevel bevelOuterRnd_;
    TAbSBevel bevelInnerRnd_;
    TAbSBevel bevelOuter_;
    TAbSBevel bevelValue_;
    TCompassOptions options_ = kAllOptions;
    float deviation_ = 0;
    float valueShould_ = 0;
    std::string scaleText_ = "N;NE;E;SE;S;SW;W;NW";
    int32_t spaceText_ = 5;
    int32_t spaceScale_ = 5;
    std::string vInd1Caption_ = "Course";
    std::string vInd2Caption_ = "deviation";

    std::array<std::string, 8> texts_;
    std::string deviationText_;
    int boxTextWidth_ = 0, boxTextHeight_ = 0;
    int textWidth_ = 0, textHeight_ = 0; // the widest compass-point text (only grows) and "NW"'s height
    TPoint centre_;
    int radius_ = 0, tick_ = 0, halfTick_ = 0;
    TRect card_;
    TRect box1_, box2_;
    TPoint textPoint_, mainOuter_, mainInner_, subOuter_;
    std::array<TPoint, 3> shouldMarker_{};
    std::array<TPoint, 3> courseMarker_{};
    platform::gfx::Region ring_;
    bool firstPaint_ = true;
};

} // namespace gauges
