#include "gauges/AbPrtTrd.h"

#include <algorithm>
#include <vector>

#include "platform/DateTime.h"
#include "platform/FloatFormat.h"
#include "platform/Numeric.h"

namespace gauges {

namespace gfx = platform::gfx;
using platform::Round;

namespace {

// Restores a value when the scope ends, also by an exception.
template <class T> class Restore {
public:
    Restore(T& field, T during) : field_(field), saved_(field) { field_ = during; }
    ~Restore() { field_ = saved_; }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    T& field_;
    T saved_;
};

std::string ChannelLabel(int channel) {
    std::string label(1, ' '); // built step by step: GCC 12 misreads " " + std::string as overlapping
    label += std::to_string(channel);
    label += " ch";
    return label;
}

std::string DateAndTime(platform::TDateTime t) {
    return platform::DateToStr(t) + " " + platform::TimeToStr(t);
}

} // namespace

TLegend::TLegend() {
    captions_.OnChange = [this](TObject* sender) { ChangeObject(sender); };
}

TAbPrintTrend::TAbPrintTrend(platform::TComponent* owner, const std::string& name)
    : TComponent(owner, name), logPixelScreen_(gfx::Screen::PixelsPerInch) {
    font_.SetName("Arial");
    font_.OnChange = [this](gfx::TFont&) { ParamChange(); };
    legend_.OnChange = [this](TObject*) { ParamChange(); };
    CalcPixelSize();
}

TAbPrintTrend::~TAbPrintTrend() {
    if (previewPaintBox_) previewPaintBox_->OnPaint = nullptr;
}

gfx::Printer& TAbPrintTrend::Printer() {
    static gfx::Printer shared;
    return printer_ ? *printer_ : shared;
}

// ---- settings ----

void TAbPrintTrend::SetTrend(TAbTrend* trend) {
    if (trend_) RemoveFreeNotification(trend_);
    trend_ = trend;
    if (trend_) FreeNotification(trend_);
    PaintPreview();
}

void TAbPrintTrend::ScaleSizes(double factor) {
    for (int32_t* v :
         {&width_, &height_, &fontSize_, &scaleSpacing_, &trendSpace_, &outerBorder_, &fontSizeCaption_})
        *v = Round(*v * factor);
    legend_.margin_ = Round(legend_.Margin() * factor);
}

void TAbPrintTrend::SetFormat(TFormat format) {
    const double l = logPixelScreen_;
    double factor = 1.0;
    switch (format_) {
    case TFormat::Pixel:
        factor = format == TFormat::Metric ? 254.0 / l : format == TFormat::Inch ? 100.0 / l : 1.0;
        break;
    case TFormat::Inch:
        factor = format == TFormat::Pixel ? l / 100.0 : format == TFormat::Metric ? 2.54 : 1.0;
        break;
    case TFormat::Metric:
        factor = format == TFormat::Pixel ? l / 254.0 : format == TFormat::Inch ? 0.3937 : 1.0;
        break;
    }
    if (format != format_ && l > 0) ScaleSizes(factor);
    format_ = format;
    ParamChange();
}

void TAbPrintTrend::SetLogPixelScreen(int32_t v) {
    if (format_ == TFormat::Pixel && logPixelScreen_ > 0)
        ScaleSizes(static_cast<double>(v) / logPixelScreen_);
    logPixelScreen_ = v;
    ParamChange();
}

void TAbPrintTrend::SetWidth(int32_t v) {
    width_ = v;
    ParamChange();
}
void TAbPrintTrend::SetHeight(int32_t v) {
    height_ = v;
    ParamChange();
}
void TAbPrintTrend::SetFontSize(int32_t v) {
    fontSize_ = v;
    ParamChange();
}
void TAbPrintTrend::SetFontSizeCaption(int32_t v) {
    fontSizeCaption_ = v;
    ParamChange();
}
void TAbPrintTrend::SetScaleSpacing(int32_t v) {
    scaleSpacing_ = v;
    ParamChange();
}
void TAbPrintTrend::SetTrendSpace(int32_t v) {
    trendSpace_ = v;
    ParamChange();
}
void TAbPrintTrend::SetOuterBorder(int32_t v) {
    outerBorder_ = v;
    CalcPixelSize();
    ParamChange();
}
void TAbPrintTrend::SetRecFrom(int32_t v) {
    if (v < 0) return;
    recFrom_ = v;
    ParamChange();
}
void TAbPrintTrend::SetRecTo(int32_t v) {
    recTo_ = v;
    ParamChange();
}
void TAbPrintTrend::SetTimeScaleSteps(int32_t v) {
    timeScaleSteps_ = v;
    ParamChange();
}
void TAbPrintTrend::SetOptions(TPrtTrdOptions v) {
    options_ = v;
    ParamChange();
}
void TAbPrintTrend::SetBkColor(TColor c) {
    bkColor_ = c;
    ParamChange();
}

void TAbPrintTrend::SetPreviewZoom(float zoom) {
    if (zoom == previewZoom_) return;
    if (zoom >= 0.1f && zoom <= 10.0f) previewZoom_ = zoom;
    ParamChange();
}

void TAbPrintTrend::SetPreviewPaintBox(platform::TPaintBox* box) {
    if (previewPaintBox_) {
        previewPaintBox_->OnPaint = nullptr;
        RemoveFreeNotification(previewPaintBox_);
    }
    previewPaintBox_ = box;
    if (box) {
        FreeNotification(box);
        box->OnPaint = [this](platform::TComponent*) { PaintBoxPaint(); };
    }
    PaintPreview();
}

void TAbPrintTrend::Notification(platform::TComponent* component, platform::TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != platform::TOperation::opRemove) return;
    if (component == trend_) {
        trend_ = nullptr;
        if (previewPaintBox_) previewPaintBox_->Invalidate();
    }
    if (component == previewPaintBox_) previewPaintBox_ = nullptr;
}

void TAbPrintTrend::CalcPixelSize() {
    const double l = logPixelScreen_;
    auto pixels = [&](int32_t v) {
        switch (format_) {
        case TFormat::Metric:
            return Round(v * l / 254);
        case TFormat::Inch:
            return Round(v * l / 100);
        default:
            return static_cast<int>(v);
        }
    };
    px_ = {pixels(width_),      pixels(height_),      pixels(fontSize_),        pixels(scaleSpacing_),
           pixels(trendSpace_), pixels(outerBorder_), pixels(fontSizeCaption_), pixels(legend_.Margin())};
}

void TAbPrintTrend::ParamChange() {
    CalcPixelSize();
    PaintPreview();
    if (OnSettingsChange) OnSettingsChange(this);
}

void TAbPrintTrend::PaintPreview() {
    if (previewPaintBox_ && trend_) PaintBoxPaint();
}

void TAbPrintTrend::PaintBoxPaint() {
    if (!previewPaintBox_ || !trend_) return;
    Bitmap preview(std::max(Round(px_.width * static_cast<double>(previewZoom_)), 0),
                   std::max(Round(px_.height * static_cast<double>(previewZoom_)), 0));
    Canvas& c = preview.GetCanvas();
    c.Brush.Color = gfx::clWhite;
    c.FillRect({0, 0, preview.Width(), preview.Height()});
    DrawTrend(c, 0, 0, true);
    previewPaintBox_->Canvas().Draw(0, 0, preview);
}

// ---- rendering ----

int TAbPrintTrend::Scaled(double size) const {
    return Round(size * zoom_);
}

bool TAbPrintTrend::IsPrinterCanvas(const Canvas& canvas) {
    gfx::Printer& p = Printer();
    return p.Printing() && &p.GetCanvas() == &canvas;
}

void TAbPrintTrend::DrawTrendBmp(Bitmap& bitmap) {
    Restore<float> zoom(previewZoom_, 1.0f);
    bitmap.SetSize(std::max(px_.width, 0), std::max(px_.height, 0));
    Canvas& c = bitmap.GetCanvas();
    c.Brush.Style = gfx::bsSolid;
    c.Brush.Color = gfx::clWhite;
    c.Rectangle(-1, -1, bitmap.Width() + 1, bitmap.Height() + 1);
    Restore<bool> blank(blankBitmap_, true);
    DrawTrend(c, 0, 0, true);
}

void TAbPrintTrend::PrintTrend(int x, int y) {
    gfx::Printer& p = Printer();
    p.Title = Name() + " - " + (trend_ ? trend_->Caption() : std::string());
    p.BeginDoc();
    try {
        if (OnAfterBeginDoc) OnAfterBeginDoc(this);
        DrawTrend(p.GetCanvas(), x, y, false);
        if (OnBeforeEndDoc) OnBeforeEndDoc(this);
    } catch (...) {
        p.Abort();
        throw;
    }
    p.EndDoc();
}

void TAbPrintTrend::ExPrintTrend(int x, int y) {
    DrawTrend(Printer().GetCanvas(), x, y, false);
}

void TAbPrintTrend::DrawTrend(Canvas& canvas, int x, int y, bool toBitmap) {
    if (!trend_) return;
    // The pen width, the trend's Flow and the zoom come back whatever happens in between.
    struct PenBack {
        Canvas& c;
        ~PenBack() { c.Pen.Width = 1; }
    } penBack{canvas};
    struct FlowBack {
        TAbTrend& t;
        bool flow;
        ~FlowBack() { t.SetFlow(flow); }
    } flowBack{*trend_, trend_->Flow()};
    Restore<double> zoomBack(zoom_, 1.0);

    canvas.Font.Assign(font_);
    canvas.Brush.Style = gfx::bsSolid;
    canvas.Brush.Color = gfx::clWhite;
    canvas.Pen.Color = gfx::clWhite;
    canvas.Pen.Style = gfx::psSolid;
    canvas.Pen.Mode = gfx::pmCopy;
    canvas.Pen.Width = 1;
    if (toBitmap && !blankBitmap_) canvas.Rectangle(lastDrawRect_);
    const int from = recFrom_;
    const int to = std::min<int64_t>(recTo_, static_cast<int64_t>(trend_->RecordCount()) - 1);
    trend_->SetFlow(false); // no trimming while the records are read

    const double l = logPixelScreen_;
    double u = 1.0;
    if (toBitmap) {
        zoom_ = previewPaintBox_ && !IsPrinterCanvas(canvas) ? previewZoom_ : 1.0;
        u = format_ == TFormat::Metric ? l / 254 : format_ == TFormat::Inch ? l / 100 : 1.0;
    } else {
        canvas.TextOut(0, 0, " ");
        const double p = Printer().PixelsPerInch();
        if (l > 0) zoom_ = p / l;
        u = format_ == TFormat::Metric ? p / 254 : format_ == TFormat::Inch ? p / 100 : 1.0;
    }

    TRect r;
    r.Left = Round(x * u);
    r.Top = Round(y * u);
    r.Right = r.Left + Scaled(px_.width);
    r.Bottom = r.Top + Scaled(px_.height);
    lastDrawRect_ = r;
    AbBorder(r, px_.outerBorder);

    canvas.Brush.Style = gfx::bsClear;
    if (options_ & ptCaption) {
        canvas.Font.SetHeight(Scaled(px_.caption));
        AbTextOut(canvas, r.Left + r.Width() / 2, r.Top, trend_->Caption(), toTopCenter);
        r.Top += Scaled(px_.caption);
    }
    canvas.Font.SetHeight(Scaled(px_.fontSize));
    widestFormat_ = 0;
    for (int ch = 1; ch <= kTrendChannels; ++ch)
        widestFormat_ = std::max(widestFormat_, canvas.TextWidth(trend_->Channel(ch).ValueFormat()));

    const bool extremesKnown = to - from > 0;
    if (extremesKnown) trend_->FindMinMax(from, to);
    if (options_ & ptLegend) DrawLegend(canvas, r, extremesKnown);

    const int timeWidth = canvas.TextWidth(platform::TimeToStr(platform::Now()));
    const int textHeight = canvas.TextHeight("X");
    r.Left += timeWidth / 2;
    if (options_ & ptVerticalScale) {
        r.Top += widestFormat_ / 2 + 1;
        r.Bottom -= Round(2.0 * textHeight + px_.scaleSpacing * zoom_) + 2;
    } else {
        r.Top += Round(px_.fontSize * zoom_ / 2);
        r.Bottom -= Round(2.0 * textHeight + px_.scaleSpacing * zoom_);
    }

    if (options_ & ptSelScaleOnly) {
        if (trend_->AbsScaleCh() > 0) AbDrawScale(canvas, r, trend_->AbsScaleCh());
    } else {
        for (int ch = kTrendChannels; ch >= 1; --ch)
            if (trend_->Channel(ch).Visible()) AbDrawScale(canvas, r, ch);
    }
    r.Right -= Scaled(px_.trendSpace);
    curveRect_ = r;

    if (options_ & ptColor) {
        canvas.Brush.Style = gfx::bsSolid;
        canvas.Brush.Color = (options_ & ptUseTrdBkCol) ? trend_->BevelInner().Color() : bkColor_;
        canvas.FillRect(r);
    }
    DrawTimeScale(canvas, r, from, to);
    AbDrawHLines(canvas, r);

    canvas.Pen.Width = std::max(Scaled(1), 1);
    canvas.Pen.Color = gfx::clBlack;
    canvas.Pen.Style = gfx::psSolid;
    canvas.Brush.Style = gfx::bsClear;
    const int m = Scaled(0.51);
    canvas.Rectangle(r.Left - m, r.Top - m, r.Right + m, r.Bottom + m);

    if (to - from > 0) DrawCurves(canvas, r, from, to);
}

void TAbPrintTrend::DrawTimeScale(Canvas& canvas, const TRect& r, int from, int to) {
    const int w = r.Width();
    const int steps = std::max(timeScaleSteps_, 1); // 0 would divide by zero, below 0 never end
    const double perRecord = w / (to - from + 0.001);
    const int tick = Scaled(px_.trendSpace);
    const int textHeight = canvas.TextHeight("X");
    canvas.Pen.Color = gfx::clBlack;
    canvas.Pen.Width = 1;
    canvas.Brush.Style = gfx::bsClear;
    timeScaleTimes_.clear();
    for (int i = 0; i <= steps; ++i) {
        const int x = Round(static_cast<double>(i) * w / steps);
        if (x > w) break;
        // A separator is labelled with the time of a real record beside it; without any real record
        // there is no time to write.
        platform::TDateTime t = 0;
        if (trend_->LabelTime(from + Round(x / perRecord), t)) {
            timeScaleTimes_.push_back(t);
            AbTextOut(canvas, r.Left + x, r.Bottom + tick, platform::TimeToStr(t), toTopCenter);
            AbTextOut(canvas, r.Left + x, r.Bottom + tick + textHeight, platform::DateToStr(t), toTopCenter);
        }
        canvas.Pen.Style = gfx::psDot;
        canvas.MoveTo(r.Left + x, r.Top);
        canvas.LineTo(r.Left + x, r.Bottom);
        canvas.Pen.Style = gfx::psSolid;
        canvas.LineTo(r.Left + x, r.Bottom + tick);
    }
}

void TAbPrintTrend::AbDrawHLines(Canvas& canvas, const TRect& r) {
    const int steps = trend_->GridYSteps();
    const double pitch = (r.Height() - 1.0) / steps;
    const int tick = Scaled(px_.trendSpace);
    canvas.Pen.Color = gfx::clBlack;
    canvas.Pen.Width = 1;
    canvas.Brush.Style = gfx::bsClear;
    for (int i = 0; i <= steps; ++i) {
        const int y = Round(pitch * i + r.Top);
        canvas.Pen.Style = gfx::psDot;
        canvas.MoveTo(r.Left, y);
        canvas.LineTo(r.Right, y);
        canvas.Pen.Style = gfx::psSolid;
        canvas.LineTo(r.Right + tick, y);
    }
}

void TAbPrintTrend::DrawCurves(Canvas& canvas, const TRect& r, int from, int to) {
    const int w = r.Width(), h = r.Height();
    const double perRecord = w / (to - from + 0.001);
    canvas.Pen.Style = gfx::psSolid;
    std::vector<TPoint> points;
    for (int ch = kTrendChannels; ch >= 1; --ch) {
        const TChSettings& s = trend_->Channel(ch);
        if (!s.Visible() || s.DigitSpan() == 0) continue; // a channel without a span has no curve
        const double perDigit = static_cast<double>(h) / s.DigitSpan();
        canvas.Pen.Width = Scaled(s.PenWidth());
        canvas.Pen.Color = (options_ & ptColor) ? s.Color() : gfx::clBlack;
        points.clear();
        for (int i = 0; i <= to - from; ++i) {
            int y = r.Bottom - Round(trend_->Record(from + i).Digit[ch - 1] * perDigit);
            points.push_back({Round(i * perRecord) + r.Left, std::clamp(y, r.Top, r.Bottom)});
        }
        canvas.Polyline(points);
    }
}

void TAbPrintTrend::AbDrawScale(Canvas& canvas, TRect& r, int channel) {
    const TChSettings& s = trend_->Channel(channel);
    const int steps = trend_->GridYSteps();
    const double pitch = (r.Height() - 1.0) / steps;
    const int x = r.Right;
    const bool vertical = (options_ & ptVerticalScale) != 0;
    std::string rest = AbRangeStr(s.ValueFrom(), s.ValueTo(), steps, s.ValueFormat());
    canvas.Font.SetHeight(Scaled(px_.fontSize));
    canvas.Font.SetColor(font_.Color());
    if (vertical) canvas.Font.SetOrientation(900);
    const int textHeight = canvas.TextHeight("X");
    int widest = 0;
    for (int i = 0; i <= steps; ++i) {
        std::string label = AbStrToken(rest, ';');
        const int y = Round(i * pitch + r.Top);
        canvas.Brush.Style = gfx::bsClear;
        if (i == 1) {
            label = s.ValueUnit();
        } else if (i == steps - 1) {
            label = ChannelLabel(channel);
            canvas.Brush.Style = gfx::bsSolid;
            canvas.Brush.Color = (options_ & ptColor) ? s.Color() : gfx::clSilver;
        }
        if (label.empty()) continue;
        if (vertical) {
            canvas.TextOut(x - textHeight, y + canvas.TextWidth(label) / 2, label);
        } else {
            AbTextOut(canvas, x, y, label, toMidRight);
            widest = std::max(widest, canvas.TextWidth(label));
        }
    }
    canvas.Font.SetOrientation(0);
    canvas.Brush.Style = gfx::bsClear;
    r.Right -= (vertical ? textHeight : widest) + Scaled(px_.scaleSpacing);
}

void TAbPrintTrend::DrawLegend(Canvas& canvas, TRect& r, bool extremesKnown) {
    const TLegendCaptions& cap = legend_.Captions();
    const TLegendOpts opts = legend_.Options();
    const int textHeight = canvas.TextHeight("X"), xWidth = canvas.TextWidth("X");
    auto widthOf = [&](const std::string& s) { return canvas.TextWidth(s); };
    const std::string now = DateAndTime(platform::Now());

    // The columns after the channel label, in order, with their option bit and the text of a row.
    struct Column {
        TLegendOpt option;
        const std::string* caption;
        int width;
    };
    std::vector<Column> columns = {{loName1, &cap.Name1(), 0}, {loName2, &cap.Name2(), 0},
                                   {loMin, &cap.Min(), 0},     {loMinTime, &cap.MinTime(), 0},
                                   {loMax, &cap.Max(), 0},     {loMaxTime, &cap.MaxTime(), 0},
                                   {loUnit, &cap.lUnit(), 0}};
    auto cellOf = [&](TLegendOpt option, int ch) -> std::string {
        const TChSettings& s = trend_->Channel(ch);
        if (!s.Visible()) return "-";
        const TMinMax& mm = trend_->MinMax(ch);
        switch (option) {
        case loName1:
            return s.Name1();
        case loName2:
            return s.Name2();
        case loMin:
            return extremesKnown ? platform::FormatFloat(s.ValueFormat(), mm.Min()) : "-";
        case loMinTime:
            return extremesKnown ? DateAndTime(mm.MinDateTime()) : "-";
        case loMax:
            return extremesKnown ? platform::FormatFloat(s.ValueFormat(), mm.Max()) : "-";
        case loMaxTime:
            return extremesKnown ? DateAndTime(mm.MaxDateTime()) : "-";
        default:
            return s.ValueUnit();
        }
    };
    int chWidth = widthOf(cap.ChannelNo());
    for (Column& col : columns)
        col.width = widthOf(*col.caption);
    for (int ch = 1; ch <= kTrendChannels; ++ch) {
        const TChSettings& s = trend_->Channel(ch);
        chWidth = std::max(chWidth, widthOf(ChannelLabel(ch)));
        for (Column& col : columns) {
            std::string sample = col.option == loName1                          ? s.Name1()
                                 : col.option == loName2                        ? s.Name2()
                                 : col.option == loUnit                         ? s.ValueUnit()
                                 : (col.option == loMin || col.option == loMax) ? s.ValueFormat()
                                                                                : now;
            col.width = std::max(col.width, widthOf(sample));
        }
    }
    int tableWidth = xWidth / 2 + chWidth;
    for (const Column& col : columns)
        if (opts & col.option) tableWidth += col.width + xWidth;

    const bool split = legend_.Position() == TLegendPos::lpSplit;
    const int rows = split ? 4 : 8;
    const int margin = Scaled(px_.margin);
    const int height = Scaled(3.0 * px_.margin) + (rows + 1) * textHeight;
    const int top = r.Bottom - height;

    auto drawTable = [&](int left, int firstChannel) {
        int y = top + margin;
        int end = left + xWidth / 2 + chWidth;
        canvas.Brush.Style = gfx::bsClear;
        AbTextOut(canvas, end, y, cap.ChannelNo(), toTopRight);
        for (const Column& col : columns) {
            if (!(opts & col.option)) continue;
            end += xWidth + col.width;
            AbTextOut(canvas, end, y, *col.caption, toTopRight);
        }
        y += textHeight + margin;
        for (int ch = firstChannel; ch < firstChannel + rows; ++ch, y += textHeight) {
            end = left + xWidth / 2 + chWidth;
            if (options_ & ptColor) {
                canvas.Brush.Style = gfx::bsSolid;
                canvas.Brush.Color = trend_->Channel(ch).Color();
            }
            AbTextOut(canvas, end, y, ChannelLabel(ch), toTopRight);
            canvas.Brush.Style = gfx::bsClear;
            for (const Column& col : columns) {
                if (!(opts & col.option)) continue;
                end += xWidth + col.width;
                AbTextOut(canvas, end, y, cellOf(col.option, ch), toTopRight);
            }
        }
    };
    switch (legend_.Position()) {
    case TLegendPos::lpSplit: {
        const int third = (r.Width() - 2 * tableWidth) / 3;
        drawTable(r.Left + third, 1);
        drawTable(r.Right - tableWidth - third, 5);
        break;
    }
    case TLegendPos::lpLeft:
        drawTable(r.Left, 1);
        break;
    case TLegendPos::lpCenter:
        drawTable(r.Left + (r.Width() - tableWidth) / 2, 1);
        break;
    case TLegendPos::lpRight:
        drawTable(r.Right - tableWidth, 1);
        break;
    }
    r.Bottom -= height + textHeight + margin;
}

} // namespace gauges
