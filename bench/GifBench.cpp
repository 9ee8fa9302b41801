// GIF encoding of the station's 500 x 400 graph (run by hand: make bench). Reports our LZW encoder beside
// giflib's EGifPutLine on the same indexed pixels (giflib is loaded at run time when libgif is present),
// and the whole station road (web-palette reduction, LZW, SaveToStream).
#include <benchmark/benchmark.h>

#include <cmath>
#include <dlfcn.h>

#include "gif/GIFImage.h"
#include "gif/GifEncoder.h"
#include "gif/GifItems.h"
#include "platform/graphics/Canvas.h"

#if __has_include(<gif_lib.h>)
#include <gif_lib.h>
#define KORVANE_HAVE_GIFLIB 1
#endif

using namespace platform::gfx;

namespace {

Bitmap GraphBitmap() {
    const int w = 500, h = 400;
    Bitmap bmp(w, h);
    Canvas& c = bmp.GetCanvas();
    c.Brush.Color = clWhite;
    c.FillRect({0, 0, w, h});
    c.Pen.Style = psDot;
    c.Pen.Color = clGray;
    for (int x = 40; x < w; x += 50) {
        c.MoveTo(x, 40);
        c.LineTo(x, h - 40);
    }
    for (int y = 40; y < h - 40; y += 40) {
        c.MoveTo(40, y);
        c.LineTo(w - 20, y);
    }
    c.Pen.Style = psSolid;
    TColor colors[] = {clRed, clBlue, clGreen, clFuchsia, clOlive, clNavy};
    for (int ch = 0; ch < 6; ++ch) {
        c.Pen.Color = colors[ch];
        c.Pen.Width = 1 + ch % 2;
        c.MoveTo(40, 200);
        for (int x = 40; x < w - 20; ++x)
            c.LineTo(x, 200 + static_cast<int>(60 * std::sin(x / (20.0 + 7 * ch)) + 20 * ch - 50));
    }
    c.Pen.Width = 1;
    c.Font.SetName("Arial");
    c.Font.SetSize(10);
    c.Font.SetColor(clBlack);
    c.Brush.Style = bsClear;
    for (int i = 0; i < 8; ++i)
        c.TextOut(5, 40 + 40 * i, std::to_string(30 - 5 * i));
    c.TextOut(200, 5, "Temperature");
    return bmp;
}

std::vector<uint8_t> GraphIndices() {
    Bitmap bmp = GraphBitmap();
    gif::TGIFImage img;
    img.Assign(&bmp);
    auto* f = img.Images.Image(0);
    return std::vector<uint8_t>(f->Data(), f->Data() + f->DataSize());
}

void BM_StationGifRoad(benchmark::State& state) {
    Bitmap bmp = GraphBitmap();
    for (auto _ : state) {
        Bitmap copy(bmp);
        gif::TGIFImage img;
        img.Assign(&copy);
        platform::TMemoryStream m;
        img.SaveToStream(m);
        benchmark::DoNotOptimize(m.Size());
    }
}
BENCHMARK(BM_StationGifRoad)->Unit(benchmark::kMillisecond);

void BM_OurLzw(benchmark::State& state) {
    std::vector<uint8_t> pixels = GraphIndices();
    for (auto _ : state) {
        platform::TMemoryStream m;
        gif::TLZWEncoder enc;
        enc.Encode(m, 8, 500, 400, false, pixels.data(), 256);
        benchmark::DoNotOptimize(m.Size());
    }
}
BENCHMARK(BM_OurLzw)->Unit(benchmark::kMillisecond);

// The same pixels through the hash table, the road of images with many colours.
void BM_OurLzwHashTable(benchmark::State& state) {
    std::vector<uint8_t> pixels = GraphIndices();
    for (auto _ : state) {
        platform::TMemoryStream m;
        gif::TLZWEncoder enc;
        enc.SetDirectLimit(0);
        enc.Encode(m, 8, 500, 400, false, pixels.data(), 256);
        benchmark::DoNotOptimize(m.Size());
    }
}
BENCHMARK(BM_OurLzwHashTable)->Unit(benchmark::kMillisecond);

#ifdef KORVANE_HAVE_GIFLIB
struct Giflib {
    decltype(&EGifOpen) open = nullptr;
    decltype(&EGifPutScreenDesc) screen = nullptr;
    decltype(&EGifPutImageDesc) image = nullptr;
    decltype(&EGifPutLine) line = nullptr;
    decltype(&EGifCloseFile) close = nullptr;
    decltype(&GifMakeMapObject) makeMap = nullptr;
    decltype(&GifFreeMapObject) freeMap = nullptr;
    bool ok = false;
    Giflib() {
        void* h = dlopen("libgif.so.7", RTLD_NOW);
        if (!h) return;
        open = reinterpret_cast<decltype(open)>(dlsym(h, "EGifOpen"));
        screen = reinterpret_cast<decltype(screen)>(dlsym(h, "EGifPutScreenDesc"));
        image = reinterpret_cast<decltype(image)>(dlsym(h, "EGifPutImageDesc"));
        line = reinterpret_cast<decltype(line)>(dlsym(h, "EGifPutLine"));
        close = reinterpret_cast<decltype(close)>(dlsym(h, "EGifCloseFile"));
        makeMap = reinterpret_cast<decltype(makeMap)>(dlsym(h, "GifMakeMapObject"));
        freeMap = reinterpret_cast<decltype(freeMap)>(dlsym(h, "GifFreeMapObject"));
        ok = open && screen && image && line && close && makeMap && freeMap;
    }
};

int Sink(GifFileType* g, const GifByteType* buf, int len) {
    static_cast<std::vector<uint8_t>*>(g->UserData)
        ->insert(static_cast<std::vector<uint8_t>*>(g->UserData)->end(), buf, buf + len);
    return len;
}

void BM_GiflibLzw(benchmark::State& state) {
    static Giflib gl;
    if (!gl.ok) {
        state.SkipWithError("libgif.so.7 not found");
        return;
    }
    std::vector<uint8_t> pixels = GraphIndices();
    ColorMapObject* map = gl.makeMap(256, nullptr);
    for (auto _ : state) {
        std::vector<uint8_t> out;
        int err = 0;
        GifFileType* g = gl.open(&out, Sink, &err);
        gl.screen(g, 500, 400, 8, 0, map);
        gl.image(g, 0, 0, 500, 400, false, nullptr);
        for (int y = 0; y < 400; ++y)
            gl.line(g, pixels.data() + y * 500, 500);
        gl.close(g, &err);
        benchmark::DoNotOptimize(out.size());
    }
    gl.freeMap(map);
}
BENCHMARK(BM_GiflibLzw)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
