// The recorder half of TAbTrend: channels, the recording clock, the record list, read-back, the cursor
// read-out, zoom and offset, and the history files.
#include "gauges/AbTrend.h"

#include <algorithm>

#include "platform/Numeric.h"
#include "platform/TypedFile.h"

namespace gauges {

using platform::Round;
using platform::SaturateInt16;
namespace gfx = platform::gfx;

namespace {
constexpr gfx::TColor kChannelColors[kTrendChannels] = {gfx::clLime,    gfx::clYellow,      gfx::clRed,
                                                        gfx::clFuchsia, gfx::clOrange,      gfx::clAqua,
                                                        gfx::clBtnFace, gfx::clBtnHighlight};
} // namespace

TAbTrend::TAbTrend(platform::TComponent* owner, const std::string& name) : TAbGraphicControl(owner, name) {
    BeginUpdate(); // closed by Loaded
    for (int c = 0; c < kTrendChannels; ++c) {
        channels_[static_cast<size_t>(c)] = std::make_unique<TChSettings>();
        channels_[static_cast<size_t>(c)]->SetColor(kChannelColors[c]);
    }
    limitUpper_.value_ = 90.0f;
    limitLower_.value_ = 10.0f;
    captionFont_.SetName("Arial");
    captionFont_.SetSize(14);
    captionFont_.SetStyle(gfx::fsUnderline);
    bevelInner_.SetStyle(bsLowered);
    bevelInner_.SetSpacing(1);
    bevelInner_.SetWidth(2);
    bevelInner_.SetBevelLine(blNone);
    bevelInner_.SetColor(gfx::clBlack);
    bevelOuter_.SetSpacing(10);
    bevelOuter_.SetWidth(2);
    bevelOuter_.SetBevelLine(blOuter);
    SetBounds(Left(), Top(), 500, 300);
}

TAbTrend::~TAbTrend() {
    destroying_ = true;
    startRecording_ = false;
    records_.clear();
    DelControl(this);
}

void TAbTrend::Loaded() {
    TAbGraphicControl::Loaded();
    for (auto& ch : channels_) {
        ch->OnChange = [this](TObject* s) { ParamChange(s); };
        ch->OnValueChange = [this](TObject* s) { ValueChange(s); };
    }
    for (TTrendLimit* limit : {&limitUpper_, &limitLower_}) {
        limit->OnChange = [this](TObject* s) { ParamChange(s); };
        limit->OnValueChange = [this](TObject* s) { ValueChange(s); };
    }
    captionFont_.OnChange = [this](gfx::TFont&) { ParamChange(this); };
    for (TAbSBevel* bevel : {&bevelInner_, &bevelOuter_})
        bevel->OnChange = [this](TObject* s) { ParamChange(s); };
    ValueChange(this);
    if (startRecording_) SetStartRecording(true);
    EndUpdate();
}

TChSettings& TAbTrend::Channel(int n) {
    if (n < 1 || n > kTrendChannels) n = 1;
    return *channels_[static_cast<size_t>(n - 1)];
}

TMinMax& TAbTrend::MinMax(int n) {
    if (n < 1 || n > kTrendChannels) n = 1;
    return minMax_[static_cast<size_t>(n - 1)];
}

void TAbTrend::SetChannel(int n, const TChSettings& source) {
    TChSettings& ch = Channel(n);
    source.AssignTo(ch);
    ch.SetColor(source.Color());
    ch.SetPenWidth(source.PenWidth());
    ch.SetVisible(source.Visible());
}

void TAbTrend::SetCaptionFont(const gfx::TFont& font) {
    captionFont_.Assign(font);
    Change();
}

void TAbTrend::WndProc(platform::TMessage& message) {
    if (message.Msg == WM_FLASH) {
        WMFlash(message);
        return;
    }
    TAbGraphicControl::WndProc(message);
}

void TAbTrend::Register(uint32_t interval) {
    AddControl(this, interval);
}

void TAbTrend::SetStartRecording(bool on) {
    startRecording_ = on;
    fastMode_ = false;
    scrolling_ = flow_ && on;
    if (Loading()) return; // Loaded starts the clock
    if (on) {
        Register(interval_);
        if (RecordCount() >= 2) AddSeparator(RecordCount() - 1);
    } else {
        DelControl(this);
    }
}

void TAbTrend::SetInterval(uint32_t ms) {
    if (ms < 100 || ms == interval_) return;
    interval_ = ms;
    if (startRecording_ && !Loading()) {
        if (RecordCount() >= 2) AddSeparator(RecordCount() - 1);
        Register(interval_);
    }
}

void TAbTrend::SetInterval2(uint32_t ms) {
    if (ms < 100) return;
    interval2_ = ms;
}

void TAbTrend::SetFlow(bool on) {
    flow_ = on;
    scrolling_ = flow_ && startRecording_;
}

void TAbTrend::SetMaxRecords(int32_t n) {
    if (n < 100) return;
    maxRecords_ = n;
}

void TAbTrend::RunInterval2(int32_t ticks) {
    if (!startRecording_) return;
    fastTicksLeft_ = ticks;
    fastMode_ = true;
    Register(interval2_);
    AddSeparator(RecordCount() - 1);
}

void TAbTrend::WMFlash(platform::TMessage& message) {
    lateness_ = static_cast<int32_t>(message.LParam);
    if (!startRecording_) return;
    if (fastMode_) {
        --fastTicksLeft_;
        if (fastTicksLeft_ < 1) {
            fastMode_ = false;
            Register(interval_);
            AddSeparator(RecordCount() - 1);
        }
    }
    GetData();
    if (OnInterval) OnInterval(this);
}

void TAbTrend::GetData() {
    if (destroying_) return;
    FlagScope busy(busy_);
    int count = RecordCount();
    if (flow_ && count - 1 >= maxRecords_) {
        int64_t n = (static_cast<int64_t>(count) - 1) - (static_cast<int64_t>(maxRecords_) - gridXPixel_);
        // A GridXPixel above MaxRecords would ask for more than there is: keep the newest record.
        n = std::min<int64_t>(n, count - 1);
        if (OnMaxRecords) OnMaxRecords(this);
        DeleteRecords(static_cast<int>(n));
        firstDisplayed_ = 0;
        drawnPositions_ = 0;
        RedrawView();
    }
    TTrendRecord r;
    r.Time = platform::Now();
    std::copy(std::begin(currentDigits_), std::end(currentDigits_), r.Digit);
    records_.push_back(r);
    RecordNoChanged();

    count = RecordCount();
    int32_t before = firstDisplayed_;
    if (flow_ && bitmap_.Width() + firstDisplayed_ < count - 1) {
        while (bitmap_.Width() + firstDisplayed_ < count - 1)
            firstDisplayed_ += gridXPixel_;
        drawnPositions_ = 0;
    }
    if (firstDisplayed_ + drawnPositions_ < count - 1) DrawNewRecords(firstDisplayed_ != before);
}

bool TAbTrend::AddValue(const float values[kTrendChannels]) {
    if (startRecording_) return false;
    TTrendRecord r;
    r.Time = platform::Now();
    for (int c = 0; c < kTrendChannels; ++c) {
        const TChSettings& ch = *channels_[static_cast<size_t>(c)];
        r.Digit[c] = SaturateInt16(static_cast<int64_t>(ValueToDigit(c + 1, values[c])) - ch.DigitalFrom());
    }
    records_.push_back(r);
    return true;
}

bool TAbTrend::AddDigit(const int16_t digits[kTrendChannels]) {
    if (startRecording_) return false;
    TTrendRecord r;
    r.Time = platform::Now();
    for (int c = 0; c < kTrendChannels; ++c)
        r.Digit[c] =
            SaturateInt16(static_cast<int64_t>(digits[c]) - channels_[static_cast<size_t>(c)]->DigitalFrom());
    records_.push_back(r);
    return true;
}

bool TAbTrend::ReadRecTime(int index, TDateTime& time) const {
    if (index < 0 || index >= RecordCount()) return false;
    time = records_[static_cast<size_t>(index)].Time;
    return true;
}

bool TAbTrend::LabelTime(int index, TDateTime& time) const {
    if (index < 0 || index >= RecordCount()) return false;
    auto real = [&](int i) {
        if (i < 0 || i >= RecordCount() || records_[static_cast<size_t>(i)].Time == kSeparatorTime)
            return false;
        time = records_[static_cast<size_t>(i)].Time;
        return true;
    };
    for (int d = 0; d <= std::max(index, RecordCount() - 1 - index); ++d)
        if (real(index + d) || real(index - d)) return true;
    return false;
}

bool TAbTrend::ReadDigit(int index, TDateTime& time, int16_t digits[kTrendChannels]) const {
    if (index < 0 || index >= RecordCount()) return false;
    const TTrendRecord& r = records_[static_cast<size_t>(index)];
    time = r.Time;
    std::copy(std::begin(r.Digit), std::end(r.Digit), digits);
    return true;
}

bool TAbTrend::ReadValue(int index, TDateTime& time, float values[kTrendChannels]) const {
    if (index < 0 || index >= RecordCount()) return false;
    const TTrendRecord& r = records_[static_cast<size_t>(index)];
    time = r.Time;
    for (int c = 0; c < kTrendChannels; ++c)
        values[c] = channels_[static_cast<size_t>(c)]->AbsDigitToValue(r.Digit[c]);
    return true;
}

float TAbTrend::DigitToValue(int channel, int32_t digit) {
    if (channel < 1 || channel > kTrendChannels) return 0;
    return Channel(channel).DigitToValue(digit);
}

int32_t TAbTrend::ValueToDigit(int channel, float value) {
    if (channel < 1 || channel > kTrendChannels) return 0;
    return Channel(channel).ValueToDigit(value);
}

bool TAbTrend::FindMinMax(int from, int to) {
    if (from < 0 || to > RecordCount() - 1 || from > to) return false;
    // The first extremes are those of the first real record: a separator's time is no time.
    int start = from;
    while (start < to && records_[static_cast<size_t>(start)].Time == kSeparatorTime)
        ++start;
    if (records_[static_cast<size_t>(start)].Time == kSeparatorTime) start = from;
    const TTrendRecord& first = records_[static_cast<size_t>(start)];
    int16_t lo[kTrendChannels], hi[kTrendChannels];
    TDateTime loAt[kTrendChannels], hiAt[kTrendChannels];
    for (int c = 0; c < kTrendChannels; ++c) {
        lo[c] = hi[c] = first.Digit[c];
        loAt[c] = hiAt[c] = first.Time;
    }
    for (int i = start + 1; i <= to; ++i) {
        const TTrendRecord& r = records_[static_cast<size_t>(i)];
        if (r.Time == kSeparatorTime) continue;
        for (int c = 0; c < kTrendChannels; ++c) {
            if (r.Digit[c] < lo[c]) {
                lo[c] = r.Digit[c];
                loAt[c] = r.Time;
            } else if (r.Digit[c] > hi[c]) {
                hi[c] = r.Digit[c];
                hiAt[c] = r.Time;
            }
        }
    }
    for (int c = 0; c < kTrendChannels; ++c) {
        const TChSettings& ch = *channels_[static_cast<size_t>(c)];
        minMax_[static_cast<size_t>(c)].SetMinAt(ch.AbsDigitToValue(lo[c]), loAt[c]);
        minMax_[static_cast<size_t>(c)].SetMaxAt(ch.AbsDigitToValue(hi[c]), hiAt[c]);
    }
    return true;
}

void TAbTrend::RecordNoChanged() {
    ++changes_;
    if (RecordCount() >= 2) {
        recordInfo_.TotalRecords = static_cast<uint32_t>(RecordCount());
        recordInfo_.FirstRecord = records_.front().Time;
        recordInfo_.LastRecord = records_.back().Time;
    } else {
        recordInfo_.TotalRecords = 0;
        recordInfo_.FirstRecord = 0;
        recordInfo_.LastRecord = 0;
    }
    if (OnRecNoChanged) OnRecNoChanged(this);
}

void TAbTrend::DeleteRecords(int n) {
    if (n > RecordCount() - 1) return;
    if (n > 0) records_.erase(records_.begin(), records_.begin() + n);
    RecordNoChanged();
}

void TAbTrend::ClearRecords() {
    // Recording pauses while the list is emptied and resumes as it was, also after an exception.
    struct Resume {
        TAbTrend& t;
        bool was;
        ~Resume() {
            if (!t.destroying_) t.SetStartRecording(was);
        }
    } resume{*this, startRecording_};
    SetStartRecording(false);
    firstDisplayed_ = 0;
    drawnPositions_ = 0;
    records_.clear();
    if (!destroying_ && Drawable()) PaintRecords(0, -1);
    recordInfo_.FirstDisplayedRec = 0;
    recordInfo_.LastDisplayedRec = 0;
    RecordNoChanged();
}

void TAbTrend::AddSeparator(int index) {
    if (!(options_ & opSeparator)) return;
    if (index < 1 || index > RecordCount() - 1) return;
    TTrendRecord separator = records_[static_cast<size_t>(index - 1)];
    separator.Time = kSeparatorTime;
    records_.insert(records_.begin() + index, 5, separator);
}

void TAbTrend::RecodeChannel(int n, const std::function<int32_t(int16_t)>& recode) {
    if (n < 1 || n > kTrendChannels) return;
    for (TTrendRecord& r : records_)
        r.Digit[n - 1] = SaturateInt16(recode(r.Digit[n - 1]));
    ParamChange(this);
}

int TAbTrend::SaveToFile(const std::string& name) {
    std::vector<uint8_t> bytes(records_.size() * kTrendRecordSize);
    for (size_t i = 0; i < records_.size(); ++i)
        EncodeTrendRecord(records_[i], bytes.data() + i * kTrendRecordSize);
    return platform::ReplaceFileContents(name, bytes.data(), bytes.size());
}

int TAbTrend::SavePartToFile(const std::string& name, int from, int to) {
    from = std::max(from, 0);
    to = std::min(to, RecordCount() - 1);
    if (to - from <= 0) return -1;
    platform::TTypedFile file(kTrendRecordSize);
    int code = file.Reset(name, false);
    if (code == platform::ioFileNotFound) code = file.Rewrite(name);
    if (code != 0) return code;
    code = file.Seek(file.FileSize());
    if (code == 0) {
        std::vector<uint8_t> bytes(static_cast<size_t>(to - from + 1) * kTrendRecordSize);
        for (int i = from; i <= to; ++i)
            EncodeTrendRecord(records_[static_cast<size_t>(i)],
                              bytes.data() + static_cast<size_t>(i - from) * kTrendRecordSize);
        code = file.WriteRecords(bytes.data(), to - from + 1);
    }
    int closed = file.Close();
    return code != 0 ? code : closed;
}

int TAbTrend::LoadFromFileEx(const std::string& name, bool clear) {
    SetStartRecording(false);
    if (clear) {
        firstDisplayed_ = 0;
        drawnPositions_ = 0;
        records_.clear();
    }
    if (RecordCount() >= 2) AddSeparator(RecordCount() - 1);
    platform::TTypedFile file(kTrendRecordSize);
    int code = file.Reset(name, true);
    if (code != 0) return code;
    int64_t n = std::max<int64_t>(file.FileSize(), 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(n) * kTrendRecordSize);
    code = file.ReadRecords(bytes.data(), n);
    if (code == 0) {
        records_.reserve(records_.size() + static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i)
            records_.push_back(DecodeTrendRecord(bytes.data() + static_cast<size_t>(i) * kTrendRecordSize));
    }
    file.Close();
    RecordNoChanged();
    if (Drawable()) {
        int last = RecordCount() - 1;
        PaintRecords((options_ & opShowLast) ? last - recordsThatFit_ : 0, last);
    }
    return code;
}

void TAbTrend::ZoomYIn() {
    float z = static_cast<float>(std::clamp(static_cast<double>(zoomY_) - 0.1, 0.1, 10.0));
    if (z == zoomY_) return;
    zoomY_ = z;
    Change();
}

void TAbTrend::ZoomYOut() {
    float z = static_cast<float>(std::clamp(static_cast<double>(zoomY_) + 0.1, 0.1, 10.0));
    if (z == zoomY_) return;
    zoomY_ = z;
    Change();
}

void TAbTrend::ZoomYTo(float factor) {
    if (!(factor >= 0.1f && factor <= 10.0f)) return;
    zoomY_ = factor;
    Change();
}

void TAbTrend::SetZoomY(float factor) {
    if (!(factor > 0) || factor == zoomY_) return;
    zoomY_ = factor;
    Change();
}

void TAbTrend::SetZoomH(float factor) {
    if (!(factor > 0) || factor == zoomH_) return;
    zoomH_ = factor;
    Change();
}

void TAbTrend::MoveY(int32_t steps) {
    yOffset_ += Round(static_cast<double>(steps) * zoomY_);
    Change();
}

void TAbTrend::SetYOffset(int32_t n) {
    if (n == yOffset_) return;
    yOffset_ = n;
    Change();
}

void TAbTrend::SetYDefault() {
    yOffset_ = 0;
    zoomY_ = 1.0f;
    Change();
}

void TAbTrend::MoveX(int32_t records) {
    if (!Drawable()) return;
    SetFlow(false);
    firstDisplayed_ += records;
    if (firstDisplayed_ > RecordCount()) firstDisplayed_ = RecordCount() - 1 - gridXPixel_;
    if (firstDisplayed_ < 0) firstDisplayed_ = 0;
    drawnPositions_ = 0;
    RedrawView();
}

void TAbTrend::SetGridXPixel(int32_t n) {
    if (n < 30 || n == gridXPixel_) return;
    gridXPixel_ = n;
    if (Drawable()) {
        DrawGrid(curveRect_, true);
        CopyBitmapToControl();
    }
}

void TAbTrend::SetGridYSteps(int32_t n) {
    if (n < 1 || n > 10 || n == gridYSteps_) return;
    gridYSteps_ = n;
    Change();
}

void TAbTrend::SetFillChannelNo(int32_t n) {
    if (n == fillChannelNo_) return;
    if (n >= 0 && n <= kTrendChannels) fillChannelNo_ = n;
    Change();
}

void TAbTrend::SetAbsScaleCh(int32_t n) {
    if (n < 0 || n > kTrendChannels || n == absScaleCh_) return;
    absScaleCh_ = n;
    Change();
}

void TAbTrend::SetLeftScaleCh(int32_t n) {
    if (n < 0 || n > kTrendChannels || n == leftScaleCh_) return;
    leftScaleCh_ = n;
    Change();
}

void TAbTrend::SetOptions(TTrendOptions options) {
    if (options == options_) return;
    options_ = options;
    Change();
}

void TAbTrend::SetColorGrid(gfx::TColor c) {
    colorGrid_ = c;
    Change();
}

void TAbTrend::SetColorTime(gfx::TColor c) {
    if (c == colorTime_) return;
    colorTime_ = c;
    Change();
}

void TAbTrend::SetTimeFormat(const std::string& format) {
    if (format == timeFormat_) return;
    timeFormat_ = format;
    Change();
}

void TAbTrend::SetCursorLine(int x, int y) {
    if ((!(options_ & opCursorOnRec) && scrolling_) || !cursorLine_ || busy_) return;
    int cx = x - curveRect_.Left;
    if (cx == cursorX_) return;
    cursorX_ = cx;
    int64_t index = static_cast<int64_t>(firstDisplayed_) + cx;
    auto notify = [this] {
        if (OnNewCursorPos) OnNewCursorPos(this);
    };
    if (!curveRect_.Contains(x, y)) {
        if (cursorShown_) {
            cursorShown_ = false;
            valueAtCursor_.DataValid = false;
            notify();
            CopyBitmapToControl();
        }
        return;
    }
    if (index >= 0 && index < RecordCount()) {
        cursorShown_ = true;
        DrawCursorLine(false);
        const TTrendRecord& r = records_[static_cast<size_t>(index)];
        valueAtCursor_.DataValid = r.Time != kSeparatorTime;
        valueAtCursor_.RecordNo = static_cast<int32_t>(index);
        valueAtCursor_.Time = r.Time;
        for (int c = 0; c < kTrendChannels; ++c)
            valueAtCursor_.ValueCh[c] = channels_[static_cast<size_t>(c)]->AbsDigitToValue(r.Digit[c]);
        notify();
        return;
    }
    cursorShown_ = false;
    valueAtCursor_.DataValid = false;
    notify();
}

void TAbTrend::MouseMove(platform::TShiftState shift, int x, int y) {
    TAbGraphicControl::MouseMove(shift, x, y);
    SetCursorLine(x, y);
}

void TAbTrend::ValueChange(TObject*) {
    for (int c = 0; c < kTrendChannels; ++c)
        currentDigits_[c] = SaturateInt16(channels_[static_cast<size_t>(c)]->AbsDigit());
}

void TAbTrend::ParamChange(TObject*) {
    ++changes_;
    if (paintedOnce_) Invalidate();
}

} // namespace gauges
