// Colour reduction - palettes, colour lookups, the octree quantizer and ReduceColors.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gif/GifColorReduce.h"
#include "gif/GifItems.h"

namespace gif {

using namespace platform::gfx;

// ---- palettes ----

HPALETTE WebPalette() {
    std::vector<PaletteEntry> e;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                e.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                             static_cast<uint8_t>(b * 51), 0});
    return MakePalette(std::move(e));
}

HPALETTE GrayScalePalette() {
    std::vector<PaletteEntry> e;
    for (int i = 0; i < 256; ++i) {
        uint8_t v = static_cast<uint8_t>(i);
        e.push_back({v, v, v, PC_NOCOLLAPSE});
    }
    return MakePalette(std::move(e));
}

HPALETTE MonochromePalette() {
    return MakePalette({{0, 0, 0, PC_NOCOLLAPSE}, {0xFF, 0xFF, 0xFF, PC_NOCOLLAPSE}});
}

HPALETTE WindowsGrayPalette() {
    std::vector<PaletteEntry> e;
    for (uint8_t v : {0x00, 0x80, 0xC0, 0xFF})
        e.push_back({v, v, v, PC_NOCOLLAPSE});
    return MakePalette(std::move(e));
}

// ---- lookups ----

TFastColorLookup::TFastColorLookup(const HPALETTE& palette) : TColorLookup(0), inverse_(32768, 0xFFFF) {
    OrderFree = false; // the first colour of a 5-5-5 cell that is no palette colour names the cell's index
    if (palette) {
        int n = std::min(256, palette->Count());
        entries_.assign(palette->Entries().begin(), palette->Entries().begin() + n);
    }
    Colors = static_cast<int>(entries_.size());
    for (int i = 0; i < Colors; ++i) {
        const auto& e = entries_[static_cast<size_t>(i)];
        int key = (e.peRed >> 3) | ((e.peGreen & 0xF8) << 2) | ((e.peBlue & 0xF8) << 7);
        if (inverse_[static_cast<size_t>(key)] == 0xFFFF)
            inverse_[static_cast<size_t>(key)] = static_cast<uint16_t>(i);
    }
}

uint8_t TFastColorLookup::Lookup(int red, int green, int blue, int& r, int& g, int& b) {
    int key = (red >> 3) | ((green & 0xF8) << 2) | ((blue & 0xF8) << 7);
    uint16_t idx = inverse_[static_cast<size_t>(key)];
    if (idx == 0xFFFF) {
        int best = 0x30000;
        idx = 0;
        for (int i = 0; i < Colors; ++i) {
            const auto& e = entries_[static_cast<size_t>(i)];
            int d = std::abs(e.peRed - red) + std::abs(e.peGreen - green) + std::abs(e.peBlue - blue);
            if (d < best) {
                best = d;
                idx = static_cast<uint16_t>(i);
            }
        }
        inverse_[static_cast<size_t>(key)] = idx;
    }
    if (Colors > 0) {
        const auto& e = entries_[idx];
        r = e.peRed;
        g = e.peGreen;
        b = e.peBlue;
    }
    return static_cast<uint8_t>(idx);
}

uint8_t TNetscapeColorLookup::Lookup(int red, int green, int blue, int& r, int& g, int& b) {
    int qr = (red + 3) / 51, qg = (green + 3) / 51, qb = (blue + 3) / 51;
    r = qr * 51;
    g = qg * 51;
    b = qb * 51;
    return static_cast<uint8_t>(qr * 36 + qg * 6 + qb);
}

uint8_t TGrayScaleLookup::Lookup(int red, int green, int blue, int& r, int& g, int& b) {
    int y = (77 * red + 150 * green + 29 * blue) >> 8;
    r = g = b = y;
    return static_cast<uint8_t>(y);
}

uint8_t TMonochromeLookup::Lookup(int red, int green, int blue, int& r, int& g, int& b) {
    int s = 77 * red + 150 * green + 29 * blue;
    if (s < 32513) {
        r = g = b = 0;
        return 0;
    }
    r = g = b = 255;
    return 1;
}

// ---- octree quantizer ----

namespace {
struct TOctreeNode {
    bool IsLeaf = false;
    int64_t PixelCount = 0, RedSum = 0, GreenSum = 0, BlueSum = 0;
    TOctreeNode* Next = nullptr;
    std::unique_ptr<TOctreeNode> Child[8];
};

class TColorQuantizer {
public:
    TColorQuantizer(int maxColors, int colorBits)
        : maxColors_(maxColors), colorBits_(std::clamp(colorBits, 1, 8)) {}

    void ProcessImage(const Bitmap& bmp) {
        for (int y = 0; y < bmp.Height(); ++y) {
            const uint8_t* row = bmp.ScanLine(y);
            for (int x = 0; x < bmp.Width(); ++x) {
                const uint8_t* p = row + 3 * x; // blue, green, red
                AddColor(tree_, p[2], p[1], p[0], 0);
                while (leafCount_ > maxColors_)
                    ReduceTree();
            }
        }
    }

    std::vector<TGIFColor> ColorTable() const {
        std::vector<TGIFColor> out;
        Collect(tree_.get(), out);
        return out;
    }

private:
    void AddColor(std::unique_ptr<TOctreeNode>& node, int r, int g, int b, int level) {
        if (!node) {
            node = std::make_unique<TOctreeNode>();
            node->IsLeaf = level == colorBits_;
            if (node->IsLeaf) {
                ++leafCount_;
            } else {
                node->Next = reducible_[level];
                reducible_[level] = node.get();
            }
        }
        if (node->IsLeaf) {
            node->PixelCount++;
            node->RedSum += r;
            node->GreenSum += g;
            node->BlueSum += b;
            return;
        }
        int m = 0x80 >> level, s = 7 - level;
        int index = (((r & m) >> s) << 2) | (((g & m) >> s) << 1) | ((b & m) >> s);
        AddColor(node->Child[index], r, g, b, level + 1);
    }

    void ReduceTree() {
        int i = colorBits_ - 1;
        while (i > 0 && !reducible_[i])
            --i;
        TOctreeNode* node = reducible_[i];
        if (!node) return;
        reducible_[i] = node->Next;
        int children = 0;
        for (auto& c : node->Child)
            if (c) {
                node->RedSum += c->RedSum;
                node->GreenSum += c->GreenSum;
                node->BlueSum += c->BlueSum;
                node->PixelCount += c->PixelCount;
                c.reset();
                ++children;
            }
        node->IsLeaf = true;
        leafCount_ -= children - 1;
    }

    static void Collect(const TOctreeNode* n, std::vector<TGIFColor>& out) {
        if (!n) return;
        if (n->IsLeaf) {
            if (n->PixelCount == 0)
                out.push_back({});
            else
                out.push_back({static_cast<uint8_t>(n->RedSum / n->PixelCount),
                               static_cast<uint8_t>(n->GreenSum / n->PixelCount),
                               static_cast<uint8_t>(n->BlueSum / n->PixelCount)});
            return;
        }
        for (const auto& c : n->Child)
            Collect(c.get(), out);
    }

    std::unique_ptr<TOctreeNode> tree_;
    int leafCount_ = 0;
    TOctreeNode* reducible_[9] = {};
    int maxColors_;
    int colorBits_;
};

HPALETTE BuildOptimizedPalette(TColorQuantizer& q, int colors, bool windows) {
    std::vector<TGIFColor> table = q.ColorTable();
    std::vector<PaletteEntry> e;
    if (windows) {
        HPALETTE sys = SystemPalette20();
        e.resize(256);
        for (int i = 0; i < 10; ++i)
            e[static_cast<size_t>(i)] = (*sys)[i];
        for (int i = 0; i < 10; ++i)
            e[static_cast<size_t>(246 + i)] = (*sys)[10 + i];
        for (int i = 0; i < 236 && i < static_cast<int>(table.size()); ++i)
            e[static_cast<size_t>(10 + i)] = {table[static_cast<size_t>(i)].Red,
                                              table[static_cast<size_t>(i)].Green,
                                              table[static_cast<size_t>(i)].Blue, 0};
    } else {
        e.resize(static_cast<size_t>(colors));
        for (int i = 0; i < colors && i < static_cast<int>(table.size()); ++i)
            e[static_cast<size_t>(i)] = {table[static_cast<size_t>(i)].Red,
                                         table[static_cast<size_t>(i)].Green,
                                         table[static_cast<size_t>(i)].Blue, 0};
    }
    return MakePalette(std::move(e));
}
} // namespace

HPALETTE CreateOptimizedPalette(Bitmap& bitmap, int colors, int colorBits, bool windows) {
    TColorQuantizer q(windows ? 236 : colors, colorBits);
    TDIBReader reader(bitmap, pf24bit);
    q.ProcessImage(bitmap);
    return BuildOptimizedPalette(q, colors, windows);
}

HPALETTE CreateOptimizedPaletteFromManyBitmaps(const std::vector<Bitmap*>& bitmaps, int colors, int colorBits,
                                               bool windows) {
    if (bitmaps.empty()) throw GIFException("Invalid bitmap list");
    TColorQuantizer q(windows ? 236 : colors, colorBits);
    for (Bitmap* b : bitmaps) {
        if (!b) throw GIFException("Invalid bitmap list");
        TDIBReader reader(*b, pf24bit);
        q.ProcessImage(*b);
    }
    return BuildOptimizedPalette(q, colors, windows);
}

// ---- ReduceColors ----

namespace {
// The palette and the lookup of a reduction other than rmNone; false for one outside its enumeration.
bool SelectReduction(Bitmap& bitmap, TColorReduction reduction, int reductionBits,
                     const HPALETTE& customPalette, HPALETTE& palette,
                     std::unique_ptr<TColorLookup>& lookup) {
    switch (reduction) {
    case rmWindows20:
        palette = SystemPalette20();
        break;
    case rmWindows256:
        palette = HalftonePalette256();
        break;
    case rmWindowsGray:
        palette = WindowsGrayPalette();
        break;
    case rmMonochrome:
        palette = MonochromePalette();
        lookup = std::make_unique<TMonochromeLookup>();
        break;
    case rmGrayScale:
        palette = GrayScalePalette();
        lookup = std::make_unique<TGrayScaleLookup>();
        break;
    case rmNetscape:
        palette = WebPalette();
        lookup = std::make_unique<TNetscapeColorLookup>();
        break;
    case rmQuantize:
        palette = CreateOptimizedPalette(bitmap, 1 << std::clamp(reductionBits, 1, 8), 8, false);
        break;
    case rmQuantizeWindows:
        palette = CreateOptimizedPalette(bitmap, 256, 8, true);
        break;
    case rmPalette:
        palette = customPalette ? std::make_shared<Palette>(*customPalette) : nullptr;
        break;
    default:
        return false;
    }
    if (!lookup) lookup = std::make_unique<TFastColorLookup>(palette);
    return true;
}
} // namespace

std::unique_ptr<Bitmap> ReduceColors(Bitmap& bitmap, TColorReduction reduction, TDitherMode dither,
                                     int reductionBits, const HPALETTE& customPalette) {
    auto result = std::make_unique<Bitmap>();
    if (reduction == rmNone) {
        result->Assign(bitmap);
        result->SetPixelFormat(pf24bit);
        return result;
    }
    TDIBReader reader(bitmap, pf24bit);
    HPALETTE palette;
    std::unique_ptr<TColorLookup> lookup;
    if (!SelectReduction(bitmap, reduction, reductionBits, customPalette, palette, lookup)) return result;
    if (lookup->Colors == 0) return result;
    int w = bitmap.Width(), h = bitmap.Height();
    if (w == 0 || h == 0) return result;
    std::unique_ptr<TDitherEngine> ditherer = CreateDitherer(dither, w, lookup.get());
    if (!ditherer) return result;
    TDIBWriter writer(*result, palette, w, h, pf8bit);
    // Without error diffusion a pixel's index is that of its colour, which the pixel before it (in the
    // engine's order) may just have looked up: drawn images are long runs of one colour.
    const bool plain = dither == dmNearest;
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = reader.GetScanline(y);
        uint8_t* dst = writer.GetScanline(y);
        uint32_t lastColour = UINT32_MAX;
        uint8_t lastIndex = 0;
        while (ditherer->Column >= 0 && ditherer->Column < w) {
            int x = ditherer->Column;
            const uint8_t* p = src + 3 * x;
            uint32_t colour = p[0] | (p[1] << 8) | (p[2] << 16);
            if (plain && colour == lastColour) {
                dst[x] = lastIndex;
                ditherer->Column += ditherer->Direction;
                continue;
            }
            int r, g, b;
            dst[x] = lastIndex = ditherer->Dither(p[2], p[1], p[0], r, g, b);
            lastColour = colour;
        }
        ditherer->NextLine();
    }
    writer.Finish();
    return result;
}

// ---- TNearestReduction ----

std::unique_ptr<TNearestReduction> TNearestReduction::Create(Bitmap& bitmap, TColorReduction reduction,
                                                             TDitherMode dither, int reductionBits,
                                                             const HPALETTE& customPalette) {
    if (reduction == rmNone || dither != dmNearest || bitmap.Empty()) return nullptr;
    if (bitmap.BitsPerPixel() != 32) bitmap.SetPixelFormat(pf24bit);
    HPALETTE palette;
    std::unique_ptr<TColorLookup> lookup;
    if (!SelectReduction(bitmap, reduction, reductionBits, customPalette, palette, lookup) ||
        lookup->Colors == 0)
        return nullptr;
    return std::make_unique<TNearestReduction>(bitmap, palette, std::move(lookup));
}

TNearestReduction::TNearestReduction(Bitmap& bitmap, HPALETTE palette, std::unique_ptr<TColorLookup> lookup)
    : bitmap_(bitmap), dibPalette_(DibPalette(palette)), lookup_(std::move(lookup)) {}

uint8_t TNearestReduction::IndexOf(uint32_t colour) {
    // A colour keeps its index once looked up (also through TFastColorLookup's cells): the colours met
    // are remembered, one per slot.
    Known& known = known_[(colour * 0x9E3779B1u) >> 24];
    if (known.colour != colour) {
        int r, g, b;
        known.index = lookup_->Lookup(static_cast<int>(colour >> 16), static_cast<int>((colour >> 8) & 0xFF),
                                      static_cast<int>(colour & 0xFF), r, g, b);
        known.colour = colour;
    }
    return known.index;
}

void TNearestReduction::Row(int y, uint8_t* indices) {
    const uint8_t* src = bitmap_.ScanLine(y);
    const int w = bitmap_.Width();
    const bool wide = bitmap_.BitsPerPixel() == 32;
    // A graph's background and its lines make many rows the same as the one above them, or (under dotted
    // vertical lines) as the one two above: where the pixels are the same bytes, so are the indices (a
    // lookup free of order depends on the colour alone). The indices are this object's own copies of
    // those of the last two rows it gave.
    const size_t n = static_cast<size_t>(w), bytes = n * (wide ? 4 : 3);
    for (const KeptRow* kept : {&kept_[0], &kept_[1]}) {
        const int above = y - kept->y;
        if (lookup_->OrderFree && (above == 1 || above == 2) && kept->indices.size() == n &&
            std::memcmp(src, bitmap_.ScanLine(kept->y), bytes) == 0) {
            std::memcpy(indices, kept->indices.data(), n);
            Keep(y, indices, n);
            return;
        }
    }
    RowOf(y, src, w, wide, indices);
    Keep(y, indices, n);
}

void TNearestReduction::Keep(int y, const uint8_t* indices, size_t n) {
    std::swap(kept_[0], kept_[1]);
    kept_[0].y = y;
    kept_[0].indices.assign(indices, indices + n);
}

void TNearestReduction::RowOf(int y, const uint8_t* src, int w, bool wide, uint8_t* indices) {
    // A pixel's colour as 0x00RRGGBB (its bytes are blue, green, red), as the generic road reads it.
    auto colourAt = [&](int x) {
        uint32_t c;
        if (wide) {
            std::memcpy(&c, src + 4 * static_cast<size_t>(x), 4);
            return c & 0xFFFFFF;
        }
        const uint8_t* p = src + 3 * static_cast<size_t>(x);
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    };
    if (!lookup_->OrderFree) {
        // The generic road's serpentine order: odd rows from the right.
        const bool back = y % 2 != 0;
        for (int i = 0; i < w; ++i) {
            const int x = back ? w - 1 - i : i;
            indices[x] = IndexOf(colourAt(x));
        }
        return;
    }
    if (wide) {
        WideRow(src, w, indices);
        return;
    }
    for (int x = 0; x < w;) {
        const uint32_t colour = colourAt(x);
        int end = x + 1;
        while (end < w && colourAt(end) == colour)
            ++end;
        std::memset(indices + x, IndexOf(colour), static_cast<size_t>(end - x));
        x = end;
    }
}

namespace {
uint32_t WordAt(const uint8_t* row, int x) {
    uint32_t word;
    std::memcpy(&word, row + 4 * static_cast<size_t>(x), 4);
    return word;
}

// Whether the eight 32-bit pixels at p are all `two`'s halves.
bool EightAre(const uint8_t* p, uint64_t two) {
    uint64_t q[4];
    std::memcpy(q, p, 32);
    return ((q[0] ^ two) | (q[1] ^ two) | (q[2] ^ two) | (q[3] ^ two)) == 0;
}
} // namespace

void TNearestReduction::WideRow(const uint8_t* src, int w, uint8_t* indices) {
    // Pixel by pixel, a word the same as the one before taking its index: text and dotted lines make
    // runs of a pixel or a few. Where a run goes on, it is followed eight pixels a step until eight are
    // not all its word. Drawn pixels leave the fourth byte 0; where it differs the word differs, and the
    // colour is looked up again (to the same index).
    if (w <= 0) return;
    uint32_t last = WordAt(src, 0);
    uint8_t index = IndexOf(last & 0xFFFFFF);
    indices[0] = index;
    bool followed = false; // the current run was followed eight pixels a step already
    for (int x = 1; x < w;) {
        const uint32_t word = WordAt(src, x);
        if (word != last) {
            last = word;
            index = IndexOf(word & 0xFFFFFF);
            indices[x++] = index;
            followed = false;
            continue;
        }
        indices[x++] = index;
        if (followed) continue;
        followed = true;
        const uint64_t two = word * 0x100000001ull, eight = index * 0x0101010101010101ull;
        for (; x + 8 <= w && EightAre(src + 4 * static_cast<size_t>(x), two); x += 8)
            std::memcpy(indices + x, &eight, 8);
    }
}

} // namespace gif
