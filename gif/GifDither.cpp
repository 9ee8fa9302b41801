// Dithering - a serpentine walk with the plain engine (dmNearest) or one table-driven
// error-diffusion engine carrying each matrix. Floyd-Steinberg's "carried value" gives
// the same integer sums as its matrix, so it runs on the same engine.
#include <algorithm>

#include "gif/GifColorReduce.h"

namespace gif {

uint8_t TDitherEngine::Dither(int red, int green, int blue, int& r, int& g, int& b) {
    uint8_t i = Lookup->Lookup(red, green, blue, r, g, b);
    Column += Direction;
    return i;
}

void TDitherEngine::NextLine() {
    Direction = -Direction;
    Column = Direction > 0 ? 0 : Width - 1;
}

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int width, TColorLookup* lookup, std::vector<Tap> taps,
                                                 int divisor, int rounding)
    : TDitherEngine(width, lookup), taps_(std::move(taps)), divisor_(divisor), rounding_(rounding) {
    pad_ = 0;
    rows_ = 1;
    for (const Tap& t : taps_) {
        pad_ = std::max(pad_, std::abs(t.Offset));
        rows_ = std::max(rows_, t.Row + 1);
    }
    for (auto& comp : err_)
        comp.assign(static_cast<size_t>(rows_),
                    std::vector<int32_t>(static_cast<size_t>(width + 2 * pad_), 0));
}

uint8_t TErrorDiffusionDitherer::Dither(int red, int green, int blue, int& r, int& g, int& b) {
    size_t cell = static_cast<size_t>(Column + pad_);
    int in[3] = {red, green, blue}, value[3];
    for (int c = 0; c < 3; ++c) {
        int acc = err_[c][0][cell];
        int v = in[c] + (acc + rounding_) / divisor_; // truncates toward zero
        value[c] = std::clamp(v, 0, 255);
    }
    uint8_t index = Lookup->Lookup(value[0], value[1], value[2], r, g, b);
    int chosen[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
        int e = value[c] - chosen[c];
        if (e == 0) continue;
        for (const Tap& t : taps_) {
            int col = Column + t.Offset * Direction + pad_;
            err_[c][static_cast<size_t>(t.Row)][static_cast<size_t>(col)] += e * t.Weight;
        }
    }
    Column += Direction;
    return index;
}

void TErrorDiffusionDitherer::NextLine() {
    for (auto& comp : err_) {
        std::vector<int32_t> first = std::move(comp[0]);
        std::fill(first.begin(), first.end(), 0);
        for (int i = 0; i + 1 < rows_; ++i)
            comp[static_cast<size_t>(i)] = std::move(comp[static_cast<size_t>(i + 1)]);
        comp[static_cast<size_t>(rows_ - 1)] = std::move(first);
    }
    TDitherEngine::NextLine();
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int w, TColorLookup* l)
    : TErrorDiffusionDitherer(w, l, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}, 16, 8) {}

TStuckiDitherer::TStuckiDitherer(int w, TColorLookup* l)
    : TErrorDiffusionDitherer(w, l,
                              {{0, 1, 8},
                               {0, 2, 4},
                               {1, -2, 2},
                               {1, -1, 4},
                               {1, 0, 8},
                               {1, 1, 4},
                               {1, 2, 2},
                               {2, -2, 1},
                               {2, -1, 2},
                               {2, 0, 4},
                               {2, 1, 2},
                               {2, 2, 1}},
                              42, 21) {}

TSierraDitherer::TSierraDitherer(int w, TColorLookup* l)
    : TErrorDiffusionDitherer(w, l,
                              {{0, 1, 5},
                               {0, 2, 3},
                               {1, -2, 2},
                               {1, -1, 4},
                               {1, 0, 5},
                               {1, 1, 4},
                               {1, 2, 2},
                               {2, -1, 2},
                               {2, 0, 3},
                               {2, 1, 2}},
                              32, 16) {}

TJaJuNiDitherer::TJaJuNiDitherer(int w, TColorLookup* l)
    : TErrorDiffusionDitherer(w, l,
                              {{0, 1, 7},
                               {0, 2, 5},
                               {1, -2, 3},
                               {1, -1, 5},
                               {1, 0, 7},
                               {1, 1, 5},
                               {1, 2, 3},
                               {2, -2, 1},
                               {2, -1, 3},
                               {2, 0, 5},
                               {2, 1, 3},
                               {2, 2, 1}},
                              48, 24) {}

TSteveArcheDitherer::TSteveArcheDitherer(int w, TColorLookup* l)
    : TErrorDiffusionDitherer(w, l,
                              {{0, 2, 32},
                               {1, -3, 12},
                               {1, -1, 26},
                               {1, 1, 30},
                               {1, 3, 16},
                               {2, -2, 12},
                               {2, 0, 26},
                               {2, 2, 12},
                               {3, -3, 5},
                               {3, -1, 12},
                               {3, 1, 12},
                               {3, 3, 5}},
                              200, 100) {}

TBurkesDitherer::TBurkesDitherer(int w, TColorLookup* l)
    : TErrorDiffusionDitherer(
          w, l, {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}, 32, 16) {}

std::unique_ptr<TDitherEngine> CreateDitherer(TDitherMode mode, int width, TColorLookup* lookup) {
    switch (mode) {
    case dmNearest:
        return std::make_unique<TDitherEngine>(width, lookup);
    case dmFloydSteinberg:
        return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case dmStucki:
        return std::make_unique<TStuckiDitherer>(width, lookup);
    case dmSierra:
        return std::make_unique<TSierraDitherer>(width, lookup);
    case dmJaJuNI:
        return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case dmSteveArche:
        return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case dmBurkes:
        return std::make_unique<TBurkesDitherer>(width, lookup);
    default:
        return nullptr;
    }
}

} // namespace gif
