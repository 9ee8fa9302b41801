// Optimising an image: one global colour table sorted by use (OptimizeColorMap), and the frame passes of
// Optimize (colour tables, clean-up, merge, crop).
#include "gif/GifOptimize.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace gif {

namespace {

constexpr int32_t kCountLimit = 0x7FFFFFFF;

int Distance(const TGIFColor& a, const TGIFColor& b) {
    return std::abs(a.Red - b.Red) + std::abs(a.Green - b.Green) + std::abs(a.Blue - b.Blue);
}

bool ColorLess(const TGIFColor& a, const TGIFColor& b) {
    if (a.Red != b.Red) return a.Red < b.Red;
    if (a.Green != b.Green) return a.Green < b.Green;
    return a.Blue < b.Blue;
}

void SortByUse(std::vector<THistogram::Entry*>& list) {
    std::stable_sort(list.begin(), list.end(), [](const THistogram::Entry* a, const THistogram::Entry* b) {
        return a->Count > b->Count;
    });
}

bool IsTransparent(const TGIFSubImage& frame) {
    return frame.Transparent && frame.GraphicControlExtension;
}

// Renderings and palettes made from the old pixels and tables.
void DropRenderings(TGIFImage& image) {
    for (int i = 0; i < image.Images.Count(); ++i) {
        image.Images.Image(i)->FreeBitmap();
        image.Images.Image(i)->SetPalette(nullptr);
    }
    image.SetPalette(nullptr);
}

} // namespace

// ---- histogram ----

THistogram::THistogram(TGIFColorMap& map) : map_(map) {
    entries_.resize(static_cast<size_t>(map.Count()));
    for (int i = 0; i < map.Count(); ++i) {
        Entry& e = entries_[static_cast<size_t>(i)];
        e.Index = i;
        e.Color = map.Data()[i];
        list_.push_back(&e);
    }
}

bool THistogram::ProcessSubImage(TGIFSubImage& frame) {
    frames_.push_back(&frame);
    bool transparent = IsTransparent(frame);
    uint8_t tIndex = transparent ? frame.GraphicControlExtension->TransparentIndex : 0;
    bool occurs = false, outside = false;
    uint8_t* pixels = frame.Data();
    for (size_t i = 0; i < frame.DataSize(); ++i) {
        if (transparent && pixels[i] == tIndex) {
            occurs = true;
            continue;
        }
        if (pixels[i] >= entries_.size()) {
            outside = true;
            pixels[i] = 0;
        }
        if (entries_.empty()) continue;
        Entry& e = entries_[pixels[i]];
        if (e.Count < kCountLimit) ++e.Count;
    }
    if (outside) frame.Warning(gsWarning, "Color not in color table");
    if (transparent && !occurs) {
        frame.GraphicControlExtension->TransparentIndex = 0;
        frame.GraphicControlExtension->SetTransparent(false);
    }
    return occurs;
}

int THistogram::Prune() {
    SortByUse(list_);
    auto firstUnused = std::find_if(list_.begin(), list_.end(), [](const Entry* e) { return e->Count == 0; });
    list_.erase(firstUnused, list_.end());
    return static_cast<int>(list_.size());
}

void THistogram::MapImages(bool useTransparency, uint8_t newTransparent) {
    uint8_t map[256] = {};
    for (const Entry* e : list_) {
        int to = e->MergedInto ? e->MergedInto->NewIndex : e->NewIndex;
        map[e->Index] = static_cast<uint8_t>(to < 256 ? to : 0);
    }
    for (TGIFSubImage* frame : frames_) {
        bool transparent = useTransparency && IsTransparent(*frame);
        uint8_t tIndex = transparent ? frame->GraphicControlExtension->TransparentIndex : 0;
        uint8_t* pixels = frame->Data();
        for (size_t i = 0; i < frame->DataSize(); ++i)
            pixels[i] = transparent && pixels[i] == tIndex ? newTransparent : map[pixels[i]];
        if (transparent) frame->GraphicControlExtension->TransparentIndex = newTransparent;
    }
}

// ---- the whole run ----

void TColorMapOptimizer::CountFrames() {
    transparency_ = false;
    TGIFColorMap& global = image_.Header.ColorMap;
    if (global.Count() > 0) {
        auto h = std::make_unique<THistogram>(global);
        for (int i = 0; i < image_.Images.Count(); ++i) {
            TGIFSubImage* f = image_.Images.Image(i);
            if (!f->Empty() && f->ColorMap.Count() == 0) transparency_ |= h->ProcessSubImage(*f);
        }
        if (!h->Frames().empty()) histograms_.push_back(std::move(h));
    }
    for (int i = 0; i < image_.Images.Count(); ++i) {
        TGIFSubImage* f = image_.Images.Image(i);
        if (f->Empty() || f->ColorMap.Count() == 0) continue;
        auto h = std::make_unique<THistogram>(f->ColorMap);
        transparency_ |= h->ProcessSubImage(*f);
        histograms_.push_back(std::move(h));
    }
}

void TColorMapOptimizer::MergeColors() {
    for (auto& h : histograms_) {
        h->Prune();
        merged_.insert(merged_.end(), h->List().begin(), h->List().end());
    }
    std::stable_sort(
        merged_.begin(), merged_.end(),
        [](const THistogram::Entry* a, const THistogram::Entry* b) { return ColorLess(a->Color, b->Color); });
    THistogram::Entry* first = nullptr;
    for (THistogram::Entry* e : merged_) {
        if (first && first->Color == e->Color) {
            first->Count =
                static_cast<int32_t>(std::min<int64_t>(int64_t{first->Count} + e->Count, kCountLimit));
            e->Count = 0;
            e->MergedInto = first;
        } else {
            first = e;
        }
    }
}

void TColorMapOptimizer::BuildTable() {
    SortByUse(merged_);
    int limit = transparency_ ? 255 : 256;
    size_t retained = 0;
    while (retained < merged_.size() && static_cast<int>(retained) < limit && merged_[retained]->Count != 0) {
        merged_[retained]->NewIndex = static_cast<int>(retained);
        newTable_[retained] = merged_[retained]->Color;
        ++retained;
    }
    for (size_t i = retained; i < merged_.size(); ++i) {
        THistogram::Entry* e = merged_[i];
        if (e->Count == 0) {
            if (e->MergedInto) e->NewIndex = e->MergedInto->NewIndex;
            continue;
        }
        int best = 765, bestIndex = 0;
        for (size_t k = 0; k < retained; ++k) {
            int d = Distance(e->Color, newTable_[k]);
            if (d < best) {
                best = d;
                bestIndex = static_cast<int>(k);
            }
        }
        e->NewIndex = bestIndex;
    }
    newCount_ = static_cast<int>(retained);
    if (transparency_) {
        newTransparent_ = static_cast<uint8_t>(newCount_);
        newTable_[newCount_] = TGIFColor{};
        ++newCount_;
    }
}

void TColorMapOptimizer::ReplaceTables() {
    TGIFColorMap& global = image_.Header.ColorMap;
    // The background colour keeps its colour: its index moves to the nearest colour of the new table.
    bool hadBackground = image_.Header.BackgroundColorIndex < global.Count();
    TGIFColor background = hadBackground ? global.Data()[image_.Header.BackgroundColorIndex] : TGIFColor{};
    for (int i = 0; i < image_.Images.Count(); ++i)
        image_.Images.Image(i)->ColorMap.Clear();
    global.ImportColorMap(newTable_, newCount_);
    global.SetOptimized(true);
    if (hadBackground) {
        int best = 0;
        for (int k = 1; k < newCount_; ++k)
            if (Distance(background, newTable_[k]) < Distance(background, newTable_[best])) best = k;
        image_.Header.BackgroundColorIndex = static_cast<uint8_t>(best);
    }
}

void TColorMapOptimizer::Optimize() {
    image_.PaintStop();
    std::lock_guard lock(image_.PainterLock());
    CountFrames();
    if (histograms_.empty()) return;
    MergeColors();
    BuildTable();
    ReplaceTables();
    for (auto& h : histograms_)
        h->MapImages(transparency_, newTransparent_);
    DropRenderings(image_);
}

void TGIFImage::OptimizeColorMap() {
    TColorMapOptimizer optimizer(*this);
    optimizer.Optimize();
}

// ---- Optimize ----

namespace {

TDisposalMethod DisposalOf(const TGIFSubImage& frame) {
    return frame.GraphicControlExtension ? frame.GraphicControlExtension->Disposal() : dmNone;
}

bool UsesIndex(const TGIFSubImage& frame, uint8_t index) {
    const uint8_t* p = frame.Data();
    return std::find(p, p + frame.DataSize(), index) != p + frame.DataSize();
}

bool AllPixelsAre(const TGIFSubImage& frame, uint8_t index) {
    const uint8_t* p = frame.Data();
    return std::all_of(p, p + frame.DataSize(), [index](uint8_t v) { return v == index; });
}

TGIFAppExtNSLoop* LoopExtension(const TGIFSubImage& frame) {
    for (int i = 0; i < frame.Extensions.Count(); ++i)
        if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(frame.Extensions.Extension(i))) return loop;
    return nullptr;
}

bool Contains(const TRect& outer, const TRect& inner) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

// The frame passes of Optimize, with the progress they report.
class TFramePasses {
public:
    explicit TFramePasses(TGIFImage& image) : image_(image), total_(6 * image.Images.Count()) {}

    void Advance(int steps) { step_ += steps; }
    // One frame visited; changed frames report progress.
    void Visited(bool changed) {
        ++step_;
        if (changed && total_ > 0)
            image_.Progress(psRunning, std::min(100, static_cast<int>(int64_t{step_} * 100 / total_)),
                            "Optimizing...");
    }
    int Frames() const { return image_.Images.Count(); }
    TGIFSubImage& Frame(int i) { return *image_.Images.Image(i); }

    void ColorTables() {
        image_.Header.ColorMap.Optimize();
        for (int i = 0; i < Frames(); ++i)
            Visited(Frame(i).ColorMap.Count() > 0 && Frame(i).ColorMap.Optimize());
    }

    void DropUnusedTransparency() {
        for (int i = 0; i < Frames(); ++i) {
            TGIFSubImage& f = Frame(i);
            bool drop = IsTransparent(f) && !UsesIndex(f, f.GraphicControlExtension->TransparentIndex);
            if (drop) f.GraphicControlExtension->SetTransparent(false);
            Visited(drop);
        }
    }

    // A frame restored to the background or to the previous picture keeps nothing on screen when the
    // next frame covers it wholly with opaque pixels, so it needs no disposal - unless that next frame
    // restores the picture from before itself, which then must be the disposed one.
    void DropNeedlessDisposal() {
        for (int i = 0; i < Frames(); ++i) {
            bool changed = false;
            if (i + 1 < Frames()) {
                TGIFSubImage &f = Frame(i), &next = Frame(i + 1);
                TDisposalMethod d = DisposalOf(f);
                if ((d == dmBackground || d == dmPrevious) && !IsTransparent(next) &&
                    DisposalOf(next) != dmPrevious && Contains(next.GetBoundsRect(), f.GetBoundsRect())) {
                    f.GraphicControlExtension->SetDisposal(dmNone);
                    changed = true;
                }
            }
            Visited(changed);
        }
    }

    void MergeFrames() {
        for (int i = Frames() - 1; i >= 1; --i) {
            int k = i - 1;
            while (k > 0 && Frame(k).GraphicControlExtension && DisposalOf(Frame(k)) == dmPrevious)
                --k;
            Frame(i).Merge(&Frame(k));
            Visited(true);
        }
        Advance(Frames() > 0 ? 1 : 0);
    }

    // Transparent borders are cut off. A frame that is transparent everywhere goes, its delay added to
    // the frame before it, when that changes neither a picture nor the timing: the frame before leaves
    // its picture on screen and can hold a delay, and this frame neither clears to the background nor
    // carries the loop count.
    void CropFrames() {
        for (int i = Frames() - 1; i >= 0; --i) {
            TGIFSubImage& f = Frame(i);
            bool changed = false;
            if (!f.Empty() && IsTransparent(f) && DisposalOf(f) != dmBackground) {
                if (!AllPixelsAre(f, f.GraphicControlExtension->TransparentIndex)) {
                    f.Crop();
                    changed = true;
                } else if (i > 0 && !LoopExtension(f)) {
                    TGIFSubImage& before = Frame(i - 1);
                    TDisposalMethod d = DisposalOf(before);
                    if (before.GraphicControlExtension && (d == dmNone || d == dmNoDisposal)) {
                        int delay = before.GraphicControlExtension->Delay + f.GraphicControlExtension->Delay;
                        before.GraphicControlExtension->Delay = static_cast<uint16_t>(std::min(delay, 65535));
                        image_.Images.Delete(i);
                        changed = true;
                    }
                }
            }
            Visited(changed);
        }
    }

    void DropExtensions() {
        int n = Frames();
        for (int i = n - 1; i >= 0; --i) {
            TGIFSubImage& f = Frame(i);
            bool changed = false;
            for (int e = f.Extensions.Count() - 1; e >= 0; --e) {
                TGIFExtension* ext = f.Extensions.Extension(e);
                bool drop = dynamic_cast<TGIFCommentExtension*>(ext) ||
                            dynamic_cast<TGIFTextExtension*>(ext) ||
                            dynamic_cast<TGIFUnknownAppExtension*>(ext) ||
                            (dynamic_cast<TGIFAppExtNSLoop*>(ext) && (i > 0 || n == 1));
                if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext)) {
                    TDisposalMethod d = gce->Disposal();
                    drop = (gce->Delay == 0 || n == 1) && !gce->Transparent() && !gce->UserInput() &&
                           (d == dmNone || d == dmNoDisposal || n == 1);
                }
                if (drop) {
                    f.Extensions.Delete(e);
                    changed = true;
                }
            }
            if (f.Empty() && f.Extensions.Count() == 0 && Frames() > 1) {
                image_.Images.Delete(i);
                changed = true;
            }
            Visited(changed);
        }
    }

private:
    TGIFImage& image_;
    int total_;
    int step_ = 0;
};

bool Has(TGIFOptimizeOptions options, TGIFOptimizeOption o) {
    return (options & OptimizeOption(o)) != 0;
}

} // namespace

void TGIFImage::Optimize(TGIFOptimizeOptions options, TColorReduction colorReduction, TDitherMode ditherMode,
                         int reductionBits) {
    (void)ditherMode;
    (void)reductionBits;
    if (Empty()) return;
    PaintStop();
    std::lock_guard lock(painterLock_);
    Progress(psStarting, 0, "Optimizing...");
    try {
        TFramePasses passes(*this);
        int n = Images.Count();
        if (Has(options, ooColorMap)) passes.ColorTables();
        if (Has(options, ooCleanup)) {
            passes.DropUnusedTransparency();
            passes.DropNeedlessDisposal();
        } else {
            passes.Advance(2 * n);
        }
        if (Has(options, ooMerge))
            passes.MergeFrames();
        else
            passes.Advance(n);
        if (Has(options, ooCrop))
            passes.CropFrames();
        else
            passes.Advance(n);
        passes.Advance(n);
        if (Has(options, ooCleanup)) passes.DropExtensions();
        // Colours are not reduced here; a palette reduction cannot be asked for without a clean-up.
        if (Has(options, ooReduceColors) && colorReduction == rmPalette && !Has(options, ooCleanup))
            throw GIFException("Invalid reduction method");
    } catch (...) {
        DropRenderings(*this);
        Progress(psEnding, 0, "Optimizing...");
        throw;
    }
    DropRenderings(*this);
    Progress(psEnding, 100, "Optimizing...");
}

} // namespace gif
