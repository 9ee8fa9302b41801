#pragma once
// Merging every colour table of an image into one global table sorted by use
// (TGIFImage::OptimizeColorMap). Internal to gif/.
//
// The run: count how often each frame uses each index of its table (a transparent frame's transparent
// pixels are not counted, only noted), drop unused entries, fold equal colours of different tables
// into one entry, keep the most used colours (256, or 255 and a black transparent entry when some frame
// really uses its transparent index), map every other colour to the kept colour of the smallest
// |dR| + |dG| + |dB|, then give the image the new global table, rewrite every frame's pixels and drop
// every local table.
#include <cstdint>
#include <memory>
#include <vector>

#include "gif/GifItems.h"

namespace gif {

// The counts of one colour table.
class THistogram {
public:
    struct Entry {
        int32_t Count = 0;
        int Index = 0;
        // The index in the new global table; 256 until assigned.
        int NewIndex = 256;
        TGIFColor Color;
        // A duplicate colour folded into another table's entry refers to that entry.
        Entry* MergedInto = nullptr;
    };

    explicit THistogram(TGIFColorMap& map);

    // Counts the frame's pixels. An index outside the table is rewritten to 0 (warning "Color not in
    // color table"). A transparent frame whose transparent index occurs nowhere loses its transparency.
    // Returns whether the frame uses its transparent index.
    bool ProcessSubImage(TGIFSubImage& frame);
    // Sorts the entries by use, most used first, and drops the unused ones; returns how many are used.
    int Prune();
    // Rewrites the pixels of every counted frame to the new indexes (transparent pixels to
    // newTransparent when useTransparency).
    void MapImages(bool useTransparency, uint8_t newTransparent);

    TGIFColorMap& ColorMap() { return map_; }
    std::vector<Entry*>& List() { return list_; }
    const std::vector<TGIFSubImage*>& Frames() const { return frames_; }

private:
    TGIFColorMap& map_;
    std::vector<Entry> entries_;
    std::vector<Entry*> list_;
    std::vector<TGIFSubImage*> frames_;
};

class TColorMapOptimizer {
public:
    explicit TColorMapOptimizer(TGIFImage& image) : image_(image) {}
    void Optimize();

private:
    void CountFrames();
    void MergeColors();
    void BuildTable();
    void ReplaceTables();

    TGIFImage& image_;
    std::vector<std::unique_ptr<THistogram>> histograms_;
    std::vector<THistogram::Entry*> merged_;
    TGIFColor newTable_[256];
    int newCount_ = 0;
    bool transparency_ = false;
    uint8_t newTransparent_ = 0;
};

} // namespace gif
