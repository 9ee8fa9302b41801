// The drawing half of TAbTrend.
//
// Layout of a paint (control coordinates), top to bottom: the outer bevel (filled); the caption (or,
// without it, one text row for the unit labels when a scale is on); the scale columns left and right of
// the curve area, each as wide as its widest label plus a gap g (tick length t = outer Spacing clamped to
// 2 .. 8, g = t + t div 2 clamped to 4 .. 12); the inner bevel around the curve area.
//
// Inside the curve area's bitmap, h is the curve height: row h is the zero line (YOffset moves it), row 0
// the top of the scales. Under the zero line lie BottomReserve() rows: 4 plus one text row for each of
// opDate and opTime, or without both a text row plus 4 when a scale channel shows its caption, else 4.
// Grid rows at round(i x h / GridYSteps), grid columns every GridXPixel from 0. A record digit d of a
// channel lies at zero line - round(d x (h / digit span) / ZoomY); a limit of v percent at zero line -
// round(v x (h / 100) / ZoomY). One record per pixel column from the first displayed record.
//
// Curves are staircases: from the previous point a horizontal line, then a vertical one, thin lines
// leaving out their end points as every line of the canvas does. A recording tick draws only the columns
// from the drawn positions on (redrawing the last drawn one), so ticks drawn one by one leave exactly
// the pixels of one full drawing.
#include <algorithm>
#include <string>

#include "gauges/AbTrend.h"
#include "platform/DateTime.h"
#include "platform/Numeric.h"

namespace gauges {

namespace gfx = platform::gfx;
using platform::Round;

namespace {

struct ScaleText {
    std::string labels;
    std::string unit;
    int width = 0;
    int height = 0;
};

} // namespace

int TAbTrend::BottomReserve() const {
    bool date = (options_ & opDate) != 0, time = (options_ & opTime) != 0;
    if (date || time) return 4 + (date ? textHeight_ : 0) + (time ? textHeight_ : 0);
    bool caption =
        ((options_ & opLeftScale) && leftScaleCh_ > 0) || ((options_ & opRightScale) && absScaleCh_ > 0);
    return caption ? textHeight_ + 4 : 4;
}

void TAbTrend::Paint() {
    if (UpdateCount() > 0) return;
    paintedOnce_ = true;
    prevCursorX_ = 0;
    const int width = Width(), height = Height();
    if (width < 1 || height < 1) return;
    gfx::Bitmap frame(width, height);
    gfx::Canvas& c = frame.GetCanvas();
    TRect r = ClientRect();
    bevelOuter_.PaintFilledBevel(c, r);
    c.Brush.Style = gfx::bsClear;
    if (options_ & opCaption) {
        c.Font.Assign(captionFont_);
        AbTextOut(c, width / 2, r.Top, Caption(), toTopCenter);
        r.Top += c.TextHeight(Caption()) + bevelOuter_.Spacing();
    } else if (options_ & (opLeftScale | opRightScale)) {
        c.Font.Assign(Font());
        r.Top += c.TextHeight("X");
    }

    // The scale texts: a channel's range shifted by YOffset (percent of the span) and stretched by ZoomY,
    // or for channel 0 a percent scale.
    c.Font.Assign(Font());
    auto scaleOf = [&](int channel) {
        ScaleText s;
        if (channel > 0) {
            const TChSettings& ch = Channel(channel);
            double low = static_cast<double>(ch.ValueSpan()) / 100 * yOffset_ + ch.ValueFrom();
            double high = static_cast<double>(ch.ValueSpan()) * zoomY_ + low;
            s.labels =
                AbRangeStr(static_cast<float>(low), static_cast<float>(high), gridYSteps_, ch.ValueFormat());
            s.unit = ch.ValueUnit();
        } else {
            s.labels = AbRangeStr(static_cast<float>(yOffset_), static_cast<float>(100.0 * zoomY_ + yOffset_),
                                  gridYSteps_, "##0.#");
            s.unit = std::string(1, '%'); // (assigning the literal trips a false GCC 12 warning)
        }
        AbGetMaxTokenSize(c, s.width, s.height, s.labels);
        return s;
    };
    ScaleText right = scaleOf(absScaleCh_), left = scaleOf(leftScaleCh_);
    textHeight_ = left.height;
    const int tick = std::clamp(bevelOuter_.Spacing(), 2, 8);
    const int gap = std::clamp(tick + tick / 2, 4, 12);
    const bool leftOn = (options_ & opLeftScale) != 0, rightOn = (options_ & opRightScale) != 0;
    if (leftOn) r.Left += left.width + gap;
    if (rightOn) r.Right -= right.width + gap;

    const int inner = bevelInner_.TotalWidth();
    const int top = r.Top + inner;
    const int bottom = r.Bottom - inner - BottomReserve();
    curveHeight_ = bottom - top - 1;
    const int h = curveHeight_;
    yOffsetPixels_ = Round(yOffset_ * 10.0 * h / 1000);

    const int leftColumn = r.Left, rightColumn = r.Right;
    const int leftLabelX = leftColumn - gap, rightLabelX = rightColumn + gap + right.width;
    struct Column {
        bool on;
        int channel;
        int labelX;
        const ScaleText* text;
    };
    const Column columns[] = {{leftOn, leftScaleCh_, leftLabelX, &left},
                              {rightOn, absScaleCh_, rightLabelX, &right}};
    for (const Column& col : columns) {
        if (!col.on) continue;
        if (col.channel > 0) {
            c.Brush.Style = gfx::bsSolid;
            c.Brush.Color = bevelInner_.Color();
            c.Font.SetColor(Channel(col.channel).Color());
            std::string label(1, ' ');
            label += std::to_string(col.channel);
            label += " Ch";
            AbTextOut(c, col.labelX, r.Bottom, label, toBotRight);
        }
        c.Brush.Style = gfx::bsClear;
        c.Font.Assign(Font());
        AbTextOut(c, col.labelX, top - textHeight_, col.text->unit, toMidRight);
    }

    c.Pen.Color = Font().Color();
    c.Pen.Width = 1;
    std::string leftRest = left.labels, rightRest = right.labels;
    for (int i = 0; i <= gridYSteps_; ++i) {
        int y = Round(static_cast<double>(i) * h / gridYSteps_) + top;
        if (leftOn) {
            c.MoveTo(leftColumn - tick, y);
            c.LineTo(leftColumn, y);
            AbTextOut(c, leftLabelX, y, AbStrToken(leftRest, ';'), toMidRight);
        }
        if (rightOn) {
            c.MoveTo(rightColumn + tick, y);
            c.LineTo(rightColumn, y);
            AbTextOut(c, rightLabelX, y, AbStrToken(rightRest, ';'), toMidRight);
        }
    }

    bevelInner_.PaintBevel(c, r);
    curveRect_ = r;
    recordsThatFit_ = std::max(r.Width(), 0);
    DrawGrid(curveRect_, true);
    if (RecordCount() > 0) DrawCurves(firstDisplayed_, RecordCount() - 1);
    if (!bitmap_.Empty()) c.Draw(curveRect_.Left, curveRect_.Top, bitmap_);
    Canvas().Draw(0, 0, frame);
}

void TAbTrend::DrawGrid(const TRect& rect, bool full) {
    const int w = rect.Width(), hb = rect.Height();
    if (w < 1 && hb < 1) return;
    bitmap_.SetSize(std::max(w, 0), std::max(hb, 0));
    gfx::Canvas& c = bitmap_.GetCanvas();
    c.Brush.Style = gfx::bsSolid;
    c.Brush.Color = bevelInner_.Color();
    c.Pen.Width = 1;
    c.Pen.Style = gfx::psSolid;
    c.Pen.Mode = gfx::pmCopy;
    const int h = curveHeight_;
    if (full) {
        c.FillRect({0, 0, w, hb});
        const int zeroY = h + Round(yOffsetPixels_ / static_cast<double>(zoomY_));
        const double pixelsPerPercent = h / 100.0;
        auto limitY = [&](const TTrendLimit& l) {
            return zeroY - Round(static_cast<double>(l.Value()) * pixelsPerPercent / zoomY_);
        };
        auto line = [&](int y) {
            c.MoveTo(0, y);
            c.LineTo(w, y);
        };
        for (const TTrendLimit* l : {&limitUpper_, &limitLower_}) {
            if (!l->Enabled()) continue;
            int y = limitY(*l);
            c.Pen.Color = l->Color();
            c.Brush.Color = l->Color();
            if (!l->Filled())
                line(y);
            else if (l == &limitUpper_)
                c.Rectangle(0, 0, w, y);
            else if (y < hb)
                c.Rectangle(0, y, w, hb);
        }
    }
    if (options_ & opGrid) {
        c.Pen.Color = colorGrid_;
        c.Pen.Style = gfx::psDot;
        c.Brush.Style = gfx::bsClear;
        for (int i = 0; i <= gridYSteps_; ++i) {
            int y = Round(static_cast<double>(i) * h / gridYSteps_);
            c.MoveTo(0, y);
            c.LineTo(w, y);
        }
        for (int x = 0; x < w; x += gridXPixel_) {
            c.MoveTo(x, 0);
            c.LineTo(x, h);
        }
        c.Pen.Style = gfx::psSolid;
    }
    drawnPositions_ = 0;
}

void TAbTrend::DrawChannel(int channel, CurveRole role, int from, int firstX, int lastX, int zeroY,
                           int bottom) {
    const TChSettings& ch = Channel(channel);
    if (!ch.Visible() || ch.DigitSpan() == 0) return; // no scale, no curve
    const double pixelsPerDigit = static_cast<double>(curveHeight_) / ch.DigitSpan();
    auto yOf = [&](int record) {
        return zeroY -
               Round(records_[static_cast<size_t>(record)].Digit[channel - 1] * pixelsPerDigit / zoomY_);
    };
    gfx::Canvas& c = bitmap_.GetCanvas();
    c.Pen.Color = ch.Color();
    c.Pen.Width = role == CurveRole::Line ? ch.PenWidth() : 1;
    c.Pen.Style = gfx::psSolid;
    int prevY = 0;
    if (role == CurveRole::Line) {
        // The staircase goes on from the point before the first column drawn now.
        if (firstX > 0) {
            prevY = yOf(from + firstX - 1);
            c.MoveTo(firstX - 1, prevY);
        } else {
            prevY = yOf(from);
            c.MoveTo(0, prevY);
        }
    }
    for (int x = firstX; x <= lastX; ++x) {
        const int y = yOf(from + x);
        switch (role) {
        case CurveRole::Line:
            c.LineTo(x, prevY);
            c.LineTo(x, y);
            prevY = y;
            break;
        case CurveRole::Fill:
            c.MoveTo(x, zeroY);
            c.LineTo(x, std::min(y, bottom));
            break;
        case CurveRole::UpperArea:
            c.MoveTo(x, 0);
            c.LineTo(x, std::min(y, bottom) + 1);
            break;
        case CurveRole::LowerArea:
            c.MoveTo(x, bottom);
            c.LineTo(x, std::min(y, bottom) - 1);
            break;
        }
    }
    c.Pen.Width = 1;
}

void TAbTrend::DrawTimeRow(int from, int firstX, int lastX) {
    gfx::Canvas& c = bitmap_.GetCanvas();
    const int hb = bitmap_.Height();
    c.Font.Assign(Font());
    c.Font.SetColor(colorTime_);
    c.Brush.Style = gfx::bsClear;
    c.Pen.Color = colorSeparator_;
    c.Pen.Width = 1;
    const bool date = (options_ & opDate) != 0, time = (options_ & opTime) != 0;
    for (int x = firstX; x <= lastX; ++x) {
        const TTrendRecord& r = records_[static_cast<size_t>(from + x)];
        if (r.Time == kSeparatorTime) {
            c.MoveTo(x, 0);
            c.LineTo(x, hb);
        }
        TDateTime at = 0;
        if (x <= 0 || x % gridXPixel_ != 0 || !LabelTime(from + x, at)) continue;
        if (date) AbTextOut(c, x, hb, platform::DateToStr(at), toBotCenter);
        if (time) {
            std::string text =
                timeFormat_.empty() ? platform::TimeToStr(at) : platform::FormatDateTime(timeFormat_, at);
            AbTextOut(c, x, date ? hb - textHeight_ : hb, text, toBotCenter);
        }
    }
}

void TAbTrend::DrawCurves(int from, int to) {
    if (!Drawable() || RecordCount() < 2) return;
    from = std::max(from, 0);
    to = std::min(to, RecordCount() - 1);
    recordInfo_.FirstDisplayedRec = from;
    recordInfo_.LastDisplayedRec = std::min(from + recordsThatFit_, to);
    if (firstDisplayed_ + drawnPositions_ > RecordCount() - 1) firstDisplayed_ = 0;
    const int lastX = std::min(bitmap_.Width(), to - from);
    const int firstX = drawnPositions_;
    if (lastX < firstX) return;
    const int bottom = bitmap_.Height() - 1 - BottomReserve();
    const int zeroY = bottom + Round(yOffsetPixels_ / static_cast<double>(zoomY_));

    const bool upper = (options_ & opCh7isUL) != 0, lower = (options_ & opCh8isLL) != 0;
    auto isArea = [&](int ch) { return (ch == 7 && upper) || (ch == 8 && lower) || ch == fillChannelNo_; };
    if (fillChannelNo_ > 0 || upper || lower) {
        if (upper) DrawChannel(7, CurveRole::UpperArea, from, firstX, lastX, zeroY, bottom);
        if (lower) DrawChannel(8, CurveRole::LowerArea, from, firstX, lastX, zeroY, bottom);
        if (fillChannelNo_ > 0)
            DrawChannel(fillChannelNo_, CurveRole::Fill, from, firstX, lastX, zeroY, bottom);
        // The grid goes back over the areas, only in the columns drawn now: older columns keep their
        // curves on top.
        gfx::Canvas& c = bitmap_.GetCanvas();
        c.IntersectClipRect({firstX, 0, lastX + 1, bitmap_.Height()});
        DrawGrid(curveRect_, false);
        c.SelectClipRgn(nullptr);
    }
    for (int ch = 1; ch <= kTrendChannels; ++ch)
        if (!isArea(ch)) DrawChannel(ch, CurveRole::Line, from, firstX, lastX, zeroY, bottom);
    DrawTimeRow(from, firstX, lastX);
    drawnPositions_ = lastX;
}

void TAbTrend::DrawCursorLine(bool full) {
    if (bitmap_.Empty() || !Drawable()) return;
    const int w = bitmap_.Width(), hb = bitmap_.Height();
    int x0 = full ? 0 : std::min(cursorX_, prevCursorX_);
    int x1 = full ? w : std::max(cursorX_, prevCursorX_) + 1;
    x0 = std::clamp(x0, 0, w);
    x1 = std::clamp(x1, x0, w);
    if (x1 <= x0) return;
    gfx::Bitmap strip(x1 - x0, hb);
    gfx::Canvas& c = strip.GetCanvas();
    c.CopyRectFrom({0, 0, x1 - x0, hb}, bitmap_, {x0, 0, x1, hb});
    const bool date = (options_ & opDate) != 0, time = (options_ & opTime) != 0;
    const int lineBottom = hb - (date && time ? 2 * textHeight_ + 2 : date || time ? textHeight_ + 2 : 0);
    c.Pen.Color = colorCursorLine_;
    c.Pen.Mode = cursorLinePenMode_;
    c.Pen.Width = 1;
    c.MoveTo(cursorX_ - x0, 0);
    c.LineTo(cursorX_ - x0, lineBottom);
    Canvas().Draw(curveRect_.Left + x0, curveRect_.Top, strip);
    prevCursorX_ = cursorX_;
}

void TAbTrend::CopyBitmapToControl() {
    if (!Drawable() || bitmap_.Empty()) return;
    Canvas().Draw(curveRect_.Left, curveRect_.Top, bitmap_);
}

void TAbTrend::RedrawView() {
    if (!Drawable()) return;
    DrawGrid(curveRect_, true);
    DrawCurves(firstDisplayed_, RecordCount() - 1);
    CopyBitmapToControl();
}

void TAbTrend::DrawNewRecords(bool firstMoved) {
    if (!Drawable()) return;
    if (firstMoved) DrawGrid(curveRect_, true);
    const int first = firstDisplayed_, firstX = drawnPositions_;
    DrawCurves(firstDisplayed_, RecordCount() - 1);
    if (cursorShown_)
        DrawCursorLine(true); // the new column and the cursor over it
    else if (firstMoved || first != firstDisplayed_ || LabelDrawn(firstX, drawnPositions_))
        CopyBitmapToControl();
    else
        CopyColumnsToControl(firstX, drawnPositions_);
}

bool TAbTrend::LabelDrawn(int firstX, int lastX) const {
    if ((options_ & (opDate | opTime)) == 0) return false;
    for (int x = std::max(firstX, 1); x <= lastX; ++x)
        if (x % gridXPixel_ == 0) return true;
    return false;
}

void TAbTrend::CopyColumnsToControl(int firstX, int lastX) {
    // Only the columns the new records drew in changed: the staircase from the column before, widened
    // by the thickest pen; the control holds the rest already.
    if (bitmap_.Empty() || bitmap_.Transparent) return CopyBitmapToControl();
    int pen = 1;
    for (int ch = 1; ch <= kTrendChannels; ++ch)
        pen = std::max(pen, Channel(ch).PenWidth());
    const int x0 = std::clamp(firstX - 1 - pen, 0, bitmap_.Width());
    const int x1 = std::clamp(lastX + 1 + pen, x0, bitmap_.Width());
    const int h = bitmap_.Height();
    Canvas().CopyRectFrom({curveRect_.Left + x0, curveRect_.Top, curveRect_.Left + x1, curveRect_.Top + h},
                          bitmap_, {x0, 0, x1, h});
}

void TAbTrend::PaintRecords(int from, int to) {
    if (!Drawable()) return;
    drawnPositions_ = 0;
    firstDisplayed_ = std::max(from, 0);
    DrawGrid(curveRect_, true);
    DrawCurves(std::max(from, 0), std::min(to, RecordCount() - 1));
    CopyBitmapToControl();
}

} // namespace gauges
