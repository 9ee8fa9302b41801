#pragma once
// The trend printer: renders the records of a TAbTrend as a finished chart (caption, one value scale per
// channel, a time scale, the curves and a legend of extremes) into a bitmap, onto the printer, or into a
// preview paint box. Sizes are in Format units (1/100 inch, 1/10 mm or pixels) and converted to pixels
// at LogPixelScreen pixels per inch; the printer scales them further by its own resolution.
//
// Layout of a rendering, in pixels (f is the zoom: 1 for a bitmap, PreviewZoom for the preview, printer
// ppi / LogPixelScreen on paper), from the chart rectangle inward:
// - the rectangle less OuterBorder on every side;
// - ptCaption: the trend's caption centred on the top edge, CaptionSize x f high;
// - ptLegend: the legend table at the bottom: a heading row and 8 channel rows (4 per half with lpSplit)
//   between three Legend.Margin gaps, then one more text row and a margin above it; a hidden channel's
//   row has its label and "-" in every cell;
// - the time scale: two text rows (time, date) and ScaleSpacing under the curve area, half a time text
//   left of it; FontSize / 2 above it;
// - the value scales, each a column off the right edge, then TrendSpace between them and the curves;
// - the curve area: GridYSteps + 1 dotted rows at round((h - 1) / GridYSteps x i + top) running into the
//   TrendSpace gap as ticks, TimeScaleSteps + 1 dotted columns at round(i x w / TimeScaleSteps) with the
//   time and date of the record there (a separator's are those of the real record nearest to it; an
//   empty trend has none), a black frame one pixel outside (round(0.51 x f)), and the curves
//   as polylines: record i at x = round(i x w / (count + 0.001)) + left, y = bottom - round(digit x h /
//   digit span), held inside the area.
#include <cstdint>
#include <string>
#include <vector>

#include "gauges/AbTrend.h"
#include "platform/controls/PaintBox.h"
#include "platform/graphics/Printer.h"

namespace gauges {

enum TPrtTrdOption : uint8_t {
    ptCaption = 1,
    ptLegend = 2,
    ptColor = 4,
    ptVerticalScale = 8,
    ptSelScaleOnly = 16,
    ptUseTrdBkCol = 32,
};
using TPrtTrdOptions = uint8_t;

enum TLegendOpt : uint8_t {
    loName1 = 1,
    loName2 = 2,
    loMin = 4,
    loMinTime = 8,
    loMax = 16,
    loMaxTime = 32,
    loUnit = 64,
};
using TLegendOpts = uint8_t;

enum class TLegendPos { lpSplit, lpLeft, lpCenter, lpRight };
enum class TFormat { Inch, Metric, Pixel };

// The column headings of the legend.
class TLegendCaptions : public TAbPersistent {
public:
    const std::string& ChannelNo() const { return channelNo_; }
    const std::string& Name1() const { return name1_; }
    const std::string& Name2() const { return name2_; }
    const std::string& Min() const { return min_; }
    const std::string& MinTime() const { return minTime_; }
    const std::string& Max() const { return max_; }
    const std::string& MaxTime() const { return maxTime_; }
    const std::string& lUnit() const { return unit_; }
    void SetChannelNo(const std::string& v) { SetProperty(channelNo_, v); }
    void SetName1(const std::string& v) { SetProperty(name1_, v); }
    void SetName2(const std::string& v) { SetProperty(name2_, v); }
    void SetMin(const std::string& v) { SetProperty(min_, v); }
    void SetMinTime(const std::string& v) { SetProperty(minTime_, v); }
    void SetMax(const std::string& v) { SetProperty(max_, v); }
    void SetMaxTime(const std::string& v) { SetProperty(maxTime_, v); }
    void SetlUnit(const std::string& v) { SetProperty(unit_, v); }

private:
    std::string channelNo_ = "ChNo";
    std::string name1_ = "Name1";
    std::string name2_ = "Name2";
    std::string min_ = "Min";
    std::string minTime_ = "MinTime";
    std::string max_ = "Max";
    std::string maxTime_ = "MaxTime";
    std::string unit_ = "Unit";
};

class TLegend : public TAbPersistent {
public:
    TLegend();
    TLegendCaptions& Captions() { return captions_; }
    const TLegendCaptions& Captions() const { return captions_; }
    TLegendOpts Options() const { return options_; }
    TLegendPos Position() const { return position_; }
    int32_t Margin() const { return margin_; }
    void SetOptions(TLegendOpts v) { SetProperty(options_, v); }
    void SetPosition(TLegendPos v) { SetProperty(position_, v); }
    void SetMargin(int32_t v) { SetProperty(margin_, v); }

private:
    friend class TAbPrintTrend; // converts Margin with the other sizes
    TLegendCaptions captions_;
    TLegendOpts options_ = loName1 | loName2 | loMin | loMinTime | loMax | loMaxTime | loUnit;
    TLegendPos position_ = TLegendPos::lpSplit;
    int32_t margin_ = 20;
};

class TAbPrintTrend : public platform::TComponent {
public:
    explicit TAbPrintTrend(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TAbPrintTrend() override;

    TAbTrend* Trend() const { return trend_; }
    // Selects the graph the next rendering draws (and repaints the preview).
    void SetTrend(TAbTrend* trend);
    TFormat Format() const { return format_; }
    // Converts every size property into the new unit (rounded).
    void SetFormat(TFormat format);
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t FontSize() const { return fontSize_; }
    int32_t FontSizeCaption() const { return fontSizeCaption_; }
    int32_t ScaleSpacing() const { return scaleSpacing_; }
    int32_t TrendSpace() const { return trendSpace_; }
    int32_t OuterBorder() const { return outerBorder_; }
    int32_t LogPixelScreen() const { return logPixelScreen_; }
    int32_t RecFrom() const { return recFrom_; }
    int32_t RecTo() const { return recTo_; }
    int32_t TimeScaleSteps() const { return timeScaleSteps_; }
    TPrtTrdOptions Options() const { return options_; }
    void SetWidth(int32_t v);
    void SetHeight(int32_t v);
    void SetFontSize(int32_t v);
    void SetFontSizeCaption(int32_t v);
    void SetScaleSpacing(int32_t v);
    void SetTrendSpace(int32_t v);
    void SetOuterBorder(int32_t v);
    // In Pixel format the sizes scale with the new resolution; otherwise it is only stored.
    void SetLogPixelScreen(int32_t v);
    void SetRecFrom(int32_t v); // negative ignored
    void SetRecTo(int32_t v);
    // Drawn as at least 1 division.
    void SetTimeScaleSteps(int32_t v);
    void SetOptions(TPrtTrdOptions v);
    platform::gfx::TFont& Font() { return font_; }
    void SetFont(const platform::gfx::TFont& font) { font_.Assign(font); }
    TLegend& Legend() { return legend_; }
    TColor BkColor() const { return bkColor_; }
    void SetBkColor(TColor c);
    platform::TPaintBox* PreviewPaintBox() const { return previewPaintBox_; }
    void SetPreviewPaintBox(platform::TPaintBox* box);
    float PreviewZoom() const { return previewZoom_; }
    // Stored for 0.1 .. 10.0.
    void SetPreviewZoom(float zoom);

    TNotifyEvent OnSettingsChange;
    TNotifyEvent OnAfterBeginDoc;
    TNotifyEvent OnBeforeEndDoc;

    // The printer the print jobs go to (a process-wide headless printer unless set).
    void SetPrinter(platform::gfx::Printer* printer) { printer_ = printer; }
    platform::gfx::Printer& Printer();

    // Renders into the bitmap, which becomes the pixel size.
    void DrawTrendBmp(Bitmap& bitmap);
    // A print job of its own with the chart at (x, y) in Format units; ExPrintTrend draws into the job
    // already open.
    void PrintTrend(int x, int y);
    void ExPrintTrend(int x, int y);
    void DrawTrend(Canvas& canvas, int x, int y, bool toBitmap);

    void CalcPixelSize();
    void ParamChange();
    void PaintPreview();

    // Pixel sizes of the last CalcPixelSize.
    int PixelWidth() const { return px_.width; }
    int PixelHeight() const { return px_.height; }
    int PixelFontSize() const { return px_.fontSize; }
    // The curve area of the last rendering.
    const TRect& CurveRect() const { return curveRect_; }
    // The times written under the time scale of the last rendering, left to right.
    const std::vector<platform::TDateTime>& TimeScaleTimes() const { return timeScaleTimes_; }

    void Notification(platform::TComponent* component, platform::TOperation operation) override;

private:
    struct PixelSizes {
        int width = 0, height = 0, fontSize = 0, scaleSpacing = 0, trendSpace = 0, outerBorder = 0,
            caption = 0, margin = 0;
    };
    // Every size property times the factor, rounded.
    void ScaleSizes(double factor);
    void PaintBoxPaint();
    void DrawLegend(Canvas& canvas, TRect& r, bool extremesKnown);
    void AbDrawScale(Canvas& canvas, TRect& r, int channel);
    void AbDrawHLines(Canvas& canvas, const TRect& r);
    void DrawTimeScale(Canvas& canvas, const TRect& r, int from, int to);
    void DrawCurves(Canvas& canvas, const TRect& r, int from, int to);
    int Scaled(double size) const;
    bool IsPrinterCanvas(const Canvas& canvas);

    TAbTrend* trend_ = nullptr;
    TFormat format_ = TFormat::Metric;
    int32_t width_ = 2700;
    int32_t height_ = 1900;
    int32_t fontSize_ = 26;
    int32_t fontSizeCaption_ = 60;
    int32_t scaleSpacing_ = 10;
    int32_t trendSpace_ = 20;
    int32_t outerBorder_ = 20;
    int32_t logPixelScreen_;
    int32_t recFrom_ = 0;
    int32_t recTo_ = 0x7FFFFFFF;
    int32_t timeScaleSteps_ = 5;
    TPrtTrdOptions options_ = ptCaption | ptLegend | ptColor | ptVerticalScale | ptUseTrdBkCol;
    platform::gfx::TFont font_;
    TLegend legend_;
    TColor bkColor_ = platform::gfx::clWhite;
    platform::TPaintBox* previewPaintBox_ = nullptr;
    float previewZoom_ = 0.6f;
    platform::gfx::Printer* printer_ = nullptr;

    PixelSizes px_;
    TRect lastDrawRect_;
    TRect curveRect_;
    double zoom_ = 1.0;
    int widestFormat_ = 0;
    std::vector<platform::TDateTime> timeScaleTimes_;
    bool blankBitmap_ = false; // DrawTrendBmp has just whitened the bitmap: no second clearing
};

} // namespace gauges
