#pragma once
// The eight-channel trend recorder and scrolling graph. The station feeds a trend by setting each
// channel's Value; while StartRecording is on, the trend samples the eight channels on its own clock
// (the flash list, every Interval ms) and appends one record per tick (TrendRecord.h).
//
// Record list rules:
// - With Flow on, a tick that finds count - 1 >= MaxRecords first deletes the
//   (count - 1) - (MaxRecords - GridXPixel) oldest records (at most count - 1), so the list never holds
//   more than MaxRecords + 1 records; with Flow off it grows without limit.
// - Separators (time 0.0, the digits of the record before) mark gaps: five of them go in front of the
//   newest record when recording starts, the interval changes, the fast mode starts or ends, or a file
//   is loaded onto two or more records (only with opSeparator).
// - Digits are stored as absolute digits (Digit - DigitalFrom), saturated to 16 bits.
//
// History files: SaveToFile replaces the file through a temporary file and a rename, so a failed save
// leaves the old history; SavePartToFile appends; LoadFromFile(Ex) opens read-only and appends whole
// records. All return the I/O code (0 = success; -1 from SavePartToFile when there is nothing to write).
//
// The graph (AbTrendDraw.cpp) is drawn into an off-screen bitmap of the curve area and copied onto the
// control; see the layout rules there.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gauges/AbBevel.h"
#include "gauges/AbFlashT.h"
#include "gauges/GClass.h"
#include "gauges/SignalSettings.h"
#include "gauges/TrendRecord.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"

namespace gauges {

enum TTrendOption : uint16_t {
    opCaption = 1 << 0,
    opGrid = 1 << 1,
    opCursorOnRec = 1 << 2,
    opSeparator = 1 << 3,
    opDate = 1 << 4,
    opTime = 1 << 5,
    opCh7isUL = 1 << 6,
    opCh8isLL = 1 << 7,
    opLeftScale = 1 << 8,
    opRightScale = 1 << 9,
    opShowLast = 1 << 10,
};
using TTrendOptions = uint16_t;

struct TRecInfo {
    int32_t FirstDisplayedRec = 0;
    int32_t LastDisplayedRec = 0;
    uint32_t TotalRecords = 0;
    TDateTime FirstRecord = 0;
    TDateTime LastRecord = 0;
};

struct TVAtCursor {
    bool DataValid = false;
    int32_t RecordNo = 0;
    TDateTime Time = 0;
    float ValueCh[kTrendChannels] = {};
};

// A limit band of the graph: Value is a percentage of the full scale.
class TTrendLimit : public TAbPersistent {
public:
    float Value() const { return value_; }
    platform::gfx::TColor Color() const { return color_; }
    bool Filled() const { return filled_; }
    bool Enabled() const { return enabled_; }
    void SetValue(float v) { SetProperty(value_, v); }
    void SetColor(platform::gfx::TColor c) { SetProperty(color_, c); }
    void SetFilled(bool v) { SetProperty(filled_, v); }
    void SetEnabled(bool v) { SetProperty(enabled_, v); }
    TNotifyEvent OnValueChange;

private:
    friend class TAbTrend;
    float value_ = 0;
    platform::gfx::TColor color_ = platform::gfx::clMaroon;
    bool filled_ = true;
    bool enabled_ = true;
};

class TAbTrend : public TAbGraphicControl {
public:
    explicit TAbTrend(platform::TComponent* owner, const std::string& name = {});
    ~TAbTrend() override;

    void Loaded() override;

    // Channels 1 .. 8 (any other number gives channel 1) and their extremes as FindMinMax found them.
    TChSettings& Channel(int n);
    TMinMax& MinMax(int n);
    // Copies range, format, names, colour, pen and visibility of `source` into channel n.
    void SetChannel(int n, const TChSettings& source);
    TTrendLimit& LimitUpper() { return limitUpper_; }
    TTrendLimit& LimitLower() { return limitLower_; }
    platform::gfx::TFont& CaptionFont() { return captionFont_; }
    void SetCaptionFont(const platform::gfx::TFont& font);
    // The frame around the whole control and the one around the curve area (its Color is the graph's
    // background).
    TAbSBevel& BevelOuter() { return bevelOuter_; }
    TAbSBevel& BevelInner() { return bevelInner_; }
    const TAbSBevel& BevelInner() const { return bevelInner_; }

    // Recording.
    uint32_t Interval() const { return interval_; }
    uint32_t Interval2() const { return interval2_; }
    int32_t MaxRecords() const { return maxRecords_; }
    bool Flow() const { return flow_; }
    bool StartRecording() const { return startRecording_; }
    void SetStartRecording(bool on);
    void SetInterval(uint32_t ms);  // below 100 ignored
    void SetInterval2(uint32_t ms); // below 100 ignored
    void SetFlow(bool on);
    void SetMaxRecords(int32_t n); // below 100 ignored
    // Records `ticks` ticks at Interval2, then goes back to Interval.
    void RunInterval2(int32_t ticks);
    // Appends one record of the current digits (the recording tick).
    void GetData();

    // Records.
    int RecordCount() const { return static_cast<int>(records_.size()); }
    const TTrendRecord& Record(int index) const { return records_.at(static_cast<size_t>(index)); }
    // Append a record by hand; false (nothing added) while StartRecording is on.
    bool AddValue(const float values[kTrendChannels]);
    bool AddDigit(const int16_t digits[kTrendChannels]);
    bool ReadRecTime(int index, TDateTime& time) const;
    // The time a time label at record `index` shows: the record's own, or for a separator that of the
    // nearest real record (the later one at equal distance), so that no label reads the separator's
    // time 0.0 (1899-12-30). False outside the records and when the trend holds no real record.
    bool LabelTime(int index, TDateTime& time) const;
    bool ReadDigit(int index, TDateTime& time, int16_t digits[kTrendChannels]) const;
    bool ReadValue(int index, TDateTime& time, float values[kTrendChannels]) const;
    // Channel 1 .. 8; 0 for any other channel.
    float DigitToValue(int channel, int32_t digit);
    int32_t ValueToDigit(int channel, float value);
    // Fills the eight MinMax objects from records from .. to (separators skipped, also a separator at
    // `from` unless there is nothing else); false for an empty or out-of-range span.
    bool FindMinMax(int from, int to);
    void DeleteRecords(int n);
    void ClearRecords();
    void AddSeparator(int index);
    // Gives every record a new digit of channel n (1 .. 8), `recode` of the old one saturated to 16
    // bits: the history of a channel whose scale or unit changed.
    void RecodeChannel(int n, const std::function<int32_t(int16_t)>& recode);
    void RecordNoChanged();
    static constexpr TDateTime kSeparatorTime = 0.0;

    // History files.
    int SaveToFile(const std::string& name);
    int SavePartToFile(const std::string& name, int from, int to);
    int LoadFromFile(const std::string& name) { return LoadFromFileEx(name, false); }
    int LoadFromFileEx(const std::string& name, bool clear);

    // View.
    float ZoomY() const { return zoomY_; }
    float ZoomH() const { return zoomH_; }
    int32_t YOffset() const { return yOffset_; }
    void ZoomYIn();
    void ZoomYOut();
    // Stored (and Change called, also when unchanged) for 0.1 .. 10.0.
    void ZoomYTo(float factor);
    void SetZoomY(float factor);
    void SetZoomH(float factor);
    void MoveY(int32_t steps);
    void SetYOffset(int32_t n);
    void SetYDefault();
    void MoveX(int32_t records);

    // Layout and appearance.
    int32_t GridXPixel() const { return gridXPixel_; }
    int32_t GridYSteps() const { return gridYSteps_; }
    int32_t FillChannelNo() const { return fillChannelNo_; }
    int32_t AbsScaleCh() const { return absScaleCh_; }
    int32_t LeftScaleCh() const { return leftScaleCh_; }
    TTrendOptions Options() const { return options_; }
    bool CursorLine() const { return cursorLine_; }
    platform::gfx::TPenMode CursorLinePenMode() const { return cursorLinePenMode_; }
    platform::gfx::TColor ColorCursorLine() const { return colorCursorLine_; }
    platform::gfx::TColor ColorGrid() const { return colorGrid_; }
    platform::gfx::TColor ColorSeparator() const { return colorSeparator_; }
    platform::gfx::TColor ColorTime() const { return colorTime_; }
    const std::string& TimeFormat() const { return timeFormat_; }
    void SetGridXPixel(int32_t n); // below 30 ignored
    void SetGridYSteps(int32_t n); // 1 .. 10
    void SetFillChannelNo(int32_t n);
    void SetAbsScaleCh(int32_t n);  // 0 .. 8
    void SetLeftScaleCh(int32_t n); // 0 .. 8
    void SetOptions(TTrendOptions options);
    void SetCursorLine(bool on) { cursorLine_ = on; }
    void SetCursorLinePenMode(platform::gfx::TPenMode mode) { cursorLinePenMode_ = mode; }
    void SetColorCursorLine(platform::gfx::TColor c) { colorCursorLine_ = c; }
    void SetColorGrid(platform::gfx::TColor c);
    void SetColorSeparator(platform::gfx::TColor c) { colorSeparator_ = c; }
    void SetColorTime(platform::gfx::TColor c);
    void SetTimeFormat(const std::string& format);

    // Read-only information.
    const TRecInfo& RecordInfo() const { return recordInfo_; }
    const TVAtCursor& ValueAtCursor() const { return valueAtCursor_; }
    // The lateness (ms) the last recording tick reported.
    int32_t Lateness() const { return lateness_; }
    // Counts the changes a drawing of the graph would show: records added or removed, settings changed.
    uint64_t Changes() const { return changes_; }
    bool FastMode() const { return fastMode_; }

    // The cursor follows the mouse (x, y in control coordinates).
    void SetCursorLine(int x, int y);

    TNotifyEvent OnInterval;
    TNotifyEvent OnMaxRecords;
    TNotifyEvent OnNewCursorPos;
    TNotifyEvent OnRecNoChanged;

    void ParamChange(TObject* sender) override;
    // Copies the channels' absolute digits into the digits the next record takes.
    void ValueChange(TObject* sender);

    // Drawing (AbTrendDraw.cpp).
    void PaintRecords(int from, int to);
    // The curve area in control coordinates, as the last Paint laid it out, and the height the scales
    // span (the zero line lies at this row of the curve area).
    const platform::gfx::TRect& CurveRect() const { return curveRect_; }
    int CurveHeight() const { return curveHeight_; }
    int32_t FirstDisplayed() const { return firstDisplayed_; }

protected:
    void WndProc(platform::TMessage& message) override;
    void Paint() override;
    void MouseMove(platform::TShiftState shift, int x, int y) override;
    void TextChanged() override { Change(); }

    // Drawing (AbTrendDraw.cpp): the grid of the off-screen bitmap, the curves of records from .. to,
    // the cursor line, and what the recording tick and the view changes draw.
    void DrawGrid(const platform::gfx::TRect& rect, bool full);
    void DrawCurves(int from, int to);
    void DrawCursorLine(bool full);
    void CopyBitmapToControl();
    void CopyColumnsToControl(int firstX, int lastX);
    bool LabelDrawn(int firstX, int lastX) const;
    void RedrawView();
    void DrawNewRecords(bool firstMoved);
    // Pixels under the zero line: the time and date rows, or room for a scale caption.
    int BottomReserve() const;
    enum class CurveRole { Line, Fill, UpperArea, LowerArea };
    void DrawChannel(int channel, CurveRole role, int from, int firstX, int lastX, int zeroY, int bottom);
    void DrawTimeRow(int from, int firstX, int lastX);

    // State shared by the recorder and the drawing.
    std::array<std::unique_ptr<TChSettings>, kTrendChannels> channels_;
    std::array<TMinMax, kTrendChannels> minMax_;
    std::vector<TTrendRecord> records_;
    int16_t currentDigits_[kTrendChannels] = {};
    platform::gfx::Bitmap bitmap_;   // the curve area, drawn off-screen
    platform::gfx::TRect curveRect_; // in control coordinates
    int32_t recordsThatFit_ = 0;
    int curveHeight_ = 0; // h: the zero line's row in the bitmap
    int textHeight_ = 0;  // one row of the time labels
    int32_t yOffsetPixels_ = 0;
    int32_t firstDisplayed_ = 0;
    int32_t drawnPositions_ = 0;
    int cursorX_ = -1;
    int prevCursorX_ = 0;
    bool cursorShown_ = false;
    bool paintedOnce_ = false;
    bool busy_ = false;
    bool destroying_ = false;
    TRecInfo recordInfo_;
    TVAtCursor valueAtCursor_;

private:
    void WMFlash(platform::TMessage& message);
    void Register(uint32_t interval);
    bool Drawable() const { return Visible() && !destroying_; }

    TTrendLimit limitUpper_;
    TTrendLimit limitLower_;
    platform::gfx::TFont captionFont_;
    TAbSBevel bevelInner_;
    TAbSBevel bevelOuter_;

    uint32_t interval_ = 1000;
    uint32_t interval2_ = 250;
    int32_t maxRecords_ = 2000;
    bool flow_ = true;
    bool startRecording_ = true;
    bool scrolling_ = true;
    int32_t fastTicksLeft_ = 0;
    bool fastMode_ = false;
    int32_t lateness_ = 0;
    uint64_t changes_ = 0;

    float zoomH_ = 1.0f;
    float zoomY_ = 1.0f;
    int32_t yOffset_ = 0;

    int32_t gridXPixel_ = 60;
    int32_t gridYSteps_ = 10;
    int32_t fillChannelNo_ = 0;
    int32_t absScaleCh_ = 1;
    int32_t leftScaleCh_ = 0;
    TTrendOptions options_ =
        opCaption | opGrid | opCursorOnRec | opSeparator | opTime | opLeftScale | opRightScale;
    bool cursorLine_ = true;
    platform::gfx::TPenMode cursorLinePenMode_ = platform::gfx::pmNotMask;
    platform::gfx::TColor colorCursorLine_ = platform::gfx::clLime;
    platform::gfx::TColor colorGrid_ = platform::gfx::clBtnShadow;
    platform::gfx::TColor colorSeparator_ = platform::gfx::clBtnHighlight;
    platform::gfx::TColor colorTime_ = platform::gfx::clBtnHighlight;
    std::string timeFormat_;
};

} // namespace gauges
