#pragma once
// Animations built frame by frame, and what a viewer shows of a GIF file: giflib decodes it, and the
// frames are laid over one another with their disposal methods (the background is transparent, 0).
#include <algorithm>
#include <random>

#include "gif/GifTestSupport.h"

namespace giftest {

// One picture of an animation (0xFFRRGGBB per pixel, 0 where nothing is drawn) and how long it shows.
struct Shown {
    std::vector<uint32_t> pixels;
    int delay = 0;
    friend bool operator==(const Shown&, const Shown&) = default;
};

// The picture a viewer shows while each frame is up, in frame order.
inline std::vector<Shown> Pictures(const Decoded& d) {
    std::vector<Shown> shown;
    std::vector<uint32_t> canvas(static_cast<size_t>(d.width) * static_cast<size_t>(d.height), 0);
    for (const auto& f : d.frames) {
        int disposal = 0, delay = 0, tIndex = -1;
        for (const auto& [code, bytes] : f.extensions)
            if (code == GRAPHICS_EXT_FUNC_CODE && bytes.size() >= 4) {
                disposal = (bytes[0] >> 2) & 7;
                delay = bytes[1] | bytes[2] << 8;
                if (bytes[0] & 1) tIndex = bytes[3];
            }
        const auto& colors = f.colors.empty() ? d.globalColors : f.colors;
        std::vector<uint32_t> saved = canvas;
        auto forEach = [&](auto&& fn) {
            for (int y = 0; y < f.height; ++y)
                for (int x = 0; x < f.width; ++x)
                    if (f.left + x < d.width && f.top + y < d.height)
                        fn(static_cast<size_t>(f.top + y) * static_cast<size_t>(d.width) +
                               static_cast<size_t>(f.left + x),
                           f.pixels[static_cast<size_t>(y) * static_cast<size_t>(f.width) +
                                    static_cast<size_t>(x)]);
        };
        forEach([&](size_t at, uint8_t index) {
            if (index == tIndex) return;
            GifColorType c = index < colors.size() ? colors[index] : GifColorType{1, 2, 3};
            canvas[at] = 0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
        });
        shown.push_back({canvas, delay});
        if (disposal == 2) forEach([&](size_t at, uint8_t) { canvas[at] = 0; });
        if (disposal == 3) canvas = saved;
    }
    return shown;
}

// The pictures a viewer shows; consecutive equal pictures are one, their delays added.
inline std::vector<Shown> Composite(const Decoded& d) {
    std::vector<Shown> shown;
    for (Shown& s : Pictures(d))
        if (!shown.empty() && shown.back().pixels == s.pixels)
            shown.back().delay += s.delay;
        else
            shown.push_back(std::move(s));
    return shown;
}

inline std::vector<Shown> ShownOf(gif::TGIFImage& img) {
    platform::TMemoryStream m;
    img.SaveToStream(m);
    Decoded d = GiflibDecode(m.Bytes());
    if (d.error) throw std::runtime_error("giflib could not read the file: " + std::to_string(d.error));
    return Composite(d);
}

// One frame of an animation under construction.
struct FrameSpec {
    platform::gfx::TRect bounds;
    std::vector<platform::gfx::TColor> localColors; // empty: the global table
    Bytes pixels;
    int disposal = gif::dmNone;
    int delay = 10;
    int transparentIndex = -1;
    int loops = -1; // a looping extension when >= 0
};

// A logical screen of w x h with a global table of the given colours.
inline void Screen(gif::TGIFImage& img, int w, int h, std::initializer_list<platform::gfx::TColor> colors) {
    img.Header.ScreenWidth = static_cast<uint16_t>(w);
    img.Header.ScreenHeight = static_cast<uint16_t>(h);
    for (auto c : colors)
        img.Header.ColorMap.Add(c);
}

inline gif::TGIFSubImage* AddFrame(gif::TGIFImage& img, const FrameSpec& spec) {
    auto frame = std::make_unique<gif::TGIFSubImage>(&img);
    gif::TGIFSubImage* f = frame.get();
    for (auto c : spec.localColors)
        f->ColorMap.Add(c);
    f->DoSetBounds(spec.bounds.Left, spec.bounds.Top, spec.bounds.Width(), spec.bounds.Height());
    std::copy(spec.pixels.begin(), spec.pixels.end(), f->Data());
    if (spec.loops >= 0) {
        auto loop = std::make_unique<gif::TGIFAppExtNSLoop>(f);
        loop->Loops = static_cast<uint16_t>(spec.loops);
        f->Extensions.Add(std::move(loop));
    }
    auto gce = std::make_unique<gif::TGIFGraphicControlExtension>(f);
    gce->SetDisposal(static_cast<gif::TDisposalMethod>(spec.disposal));
    gce->Delay = static_cast<uint16_t>(spec.delay);
    if (spec.transparentIndex >= 0) {
        gce->TransparentIndex = static_cast<uint8_t>(spec.transparentIndex);
        gce->SetTransparent(true);
    }
    f->Extensions.Add(std::move(gce));
    img.Add(std::move(frame));
    return f;
}

// A random animation over a pool of `poolSize` colours: a global table, frames with and without local
// tables (sharing colours), transparent borders, repeated areas and every disposal method.
inline void RandomAnimation(gif::TGIFImage& img, unsigned seed, int poolSize = 40) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<platform::gfx::TColor> pool;
    for (int i = 0; i < poolSize; ++i)
        pool.push_back(platform::gfx::RGB(pick(256), pick(256), pick(256)));
    const int w = 24, h = 18;
    img.Header.ScreenWidth = w;
    img.Header.ScreenHeight = h;
    for (int i = 0; i < 24; ++i)
        img.Header.ColorMap.Add(pool[static_cast<size_t>(pick(poolSize))]);
    Bytes previous;
    int frames = 4 + pick(3);
    for (int n = 0; n < frames; ++n) {
        FrameSpec s;
        int fw = n == 0 ? w : 4 + pick(w - 4), fh = n == 0 ? h : 4 + pick(h - 4);
        int fl = pick(w - fw + 1), ft = pick(h - fh + 1);
        s.bounds = {fl, ft, fl + fw, ft + fh};
        if (pick(2))
            for (int i = 0, k = 2 + pick(30); i < k; ++i)
                s.localColors.push_back(pool[static_cast<size_t>(pick(poolSize))]);
        int colors =
            s.localColors.empty() ? img.Header.ColorMap.Count() : static_cast<int>(s.localColors.size());
        bool transparent = pick(2);
        if (transparent) s.transparentIndex = pick(colors);
        s.pixels.resize(static_cast<size_t>(fw) * static_cast<size_t>(fh));
        int border = transparent ? pick(3) : 0;
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < fw; ++x) {
                size_t at = static_cast<size_t>(y) * static_cast<size_t>(fw) + static_cast<size_t>(x);
                bool edge = x < border || y < border || x >= fw - border || y >= fh - border;
                // Patches of a few colours, so that frames repeat one another here and there.
                s.pixels[at] =
                    edge ? static_cast<uint8_t>(s.transparentIndex)
                         : static_cast<uint8_t>(((x / 3) * 7 + (y / 4) * 3 + n * (pick(4) == 0)) % colors);
            }
        s.disposal = pick(4);
        s.delay = 1 + pick(20);
        if (n == 0) s.loops = pick(3);
        AddFrame(img, s);
    }
}

} // namespace giftest
