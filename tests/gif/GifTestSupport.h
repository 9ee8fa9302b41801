#pragma once
// giflib as an independent peer: its encoder is the byte-exact LZW oracle, its decoder checks our files.
#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gif/GIFImage.h"
#include "gif/GifEncoder.h"
#include "gif/GifItems.h"

namespace giftest {

using Bytes = std::vector<uint8_t>;

inline Bytes StreamBytes(const platform::TMemoryStream& m) {
    return m.Bytes();
}

struct MemReader {
    const Bytes* data;
    size_t pos = 0;
};

inline int ReadFn(GifFileType* g, GifByteType* buf, int len) {
    auto* r = static_cast<MemReader*>(g->UserData);
    size_t k = std::min(static_cast<size_t>(len), r->data->size() - r->pos);
    std::memcpy(buf, r->data->data() + r->pos, k);
    r->pos += k;
    return static_cast<int>(k);
}

inline int WriteFn(GifFileType* g, const GifByteType* buf, int len) {
    auto* v = static_cast<Bytes*>(g->UserData);
    v->insert(v->end(), buf, buf + len);
    return len;
}

// A GIF decoded by giflib's DGifSlurp (de-interlaced raster bits).
struct Decoded {
    int error = 0;
    int width = 0, height = 0, colorResolution = 0;
    bool hasGlobalMap = false;
    struct Frame {
        int left = 0, top = 0, width = 0, height = 0;
        bool interlace = false;
        std::vector<GifColorType> colors; // the frame's local map, empty if none
        Bytes pixels;
        std::vector<std::pair<int, Bytes>> extensions; // function code, bytes of all sub-blocks
    };
    std::vector<Frame> frames;
    std::vector<GifColorType> globalColors;
};

inline Decoded GiflibDecode(const Bytes& data) {
    Decoded d;
    MemReader r{&data, 0};
    int err = 0;
    GifFileType* g = DGifOpen(&r, ReadFn, &err);
    if (!g) {
        d.error = err ? err : -1;
        return d;
    }
    if (DGifSlurp(g) != GIF_OK) {
        d.error = g->Error ? g->Error : -1;
        DGifCloseFile(g, &err);
        return d;
    }
    d.width = g->SWidth;
    d.height = g->SHeight;
    d.colorResolution = g->SColorResolution;
    d.hasGlobalMap = g->SColorMap != nullptr;
    if (g->SColorMap)
        d.globalColors.assign(g->SColorMap->Colors, g->SColorMap->Colors + g->SColorMap->ColorCount);
    for (int i = 0; i < g->ImageCount; ++i) {
        const SavedImage& s = g->SavedImages[i];
        Decoded::Frame f;
        f.left = s.ImageDesc.Left;
        f.top = s.ImageDesc.Top;
        f.width = s.ImageDesc.Width;
        f.height = s.ImageDesc.Height;
        f.interlace = s.ImageDesc.Interlace;
        if (s.ImageDesc.ColorMap)
            f.colors.assign(s.ImageDesc.ColorMap->Colors,
                            s.ImageDesc.ColorMap->Colors + s.ImageDesc.ColorMap->ColorCount);
        f.pixels.assign(s.RasterBits,
                        s.RasterBits + static_cast<size_t>(f.width) * static_cast<size_t>(f.height));
        for (int e = 0; e < s.ExtensionBlockCount; ++e) {
            const ExtensionBlock& b = s.ExtensionBlocks[e];
            if (b.Function != CONTINUE_EXT_FUNC_CODE)
                f.extensions.push_back({b.Function, Bytes(b.Bytes, b.Bytes + b.ByteCount)});
            else if (!f.extensions.empty())
                f.extensions.back().second.insert(f.extensions.back().second.end(), b.Bytes,
                                                  b.Bytes + b.ByteCount);
        }
        d.frames.push_back(std::move(f));
    }
    DGifCloseFile(g, &err);
    return d;
}

// A whole GIF written by giflib: one frame of the given pixels with a global map of 2^bpp grey levels.
inline Bytes GiflibEncodeFile(const Bytes& pixels, int w, int h, int bpp, bool interlace) {
    Bytes out;
    int err = 0;
    GifFileType* g = EGifOpen(&out, WriteFn, &err);
    if (!g) throw std::runtime_error("EGifOpen");
    ColorMapObject* cm = GifMakeMapObject(1 << bpp, nullptr);
    for (int i = 0; i < (1 << bpp); ++i) {
        GifByteType v = static_cast<GifByteType>(i * 255 / ((1 << bpp) - 1));
        cm->Colors[i] = {v, static_cast<GifByteType>(255 - v), static_cast<GifByteType>(i * 37)};
    }
    if (EGifPutScreenDesc(g, w, h, bpp, 0, cm) != GIF_OK) throw std::runtime_error("EGifPutScreenDesc");
    if (EGifPutImageDesc(g, 0, 0, w, h, interlace, nullptr) != GIF_OK)
        throw std::runtime_error("EGifPutImageDesc");
    std::vector<int> rows;
    if (interlace) {
        for (int start : {0, 4, 2, 1}) {
            int step = start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2;
            for (int y = start; y < h; y += step)
                rows.push_back(y);
        }
    } else {
        for (int y = 0; y < h; ++y)
            rows.push_back(y);
    }
    for (int y : rows) {
        Bytes line(pixels.begin() + static_cast<long>(y) * w, pixels.begin() + static_cast<long>(y + 1) * w);
        if (EGifPutLine(g, line.data(), w) != GIF_OK) throw std::runtime_error("EGifPutLine");
    }
    GifFreeMapObject(cm);
    if (EGifCloseFile(g, &err) != GIF_OK) throw std::runtime_error("EGifCloseFile");
    return out;
}

// The image data block (minimum code size byte .. terminator) of a one-frame giflib file.
inline Bytes GiflibImageData(const Bytes& pixels, int w, int h, int bpp, bool interlace = false) {
    Bytes f = GiflibEncodeFile(pixels, w, h, bpp, interlace);
    size_t start = 6 + 7 + 3 * (size_t{1} << bpp) + 10;
    return Bytes(f.begin() + static_cast<long>(start), f.end() - 1); // without the trailer
}

// Our encoder's image data block for the same pixels.
inline Bytes OurImageData(const Bytes& pixels, int w, int h, int bpp, bool interlace = false,
                          gif::TGIFCompression compression = gif::gcLZW) {
    platform::TMemoryStream m;
    std::unique_ptr<gif::TGIFEncoder> enc;
    if (compression == gif::gcRLE)
        enc = std::make_unique<gif::TRLEEncoder>();
    else
        enc = std::make_unique<gif::TLZWEncoder>();
    enc->Encode(m, bpp, w, h, interlace, pixels.empty() ? nullptr : pixels.data(), 1 << bpp);
    return m.Bytes();
}

inline Bytes RandomPixels(int n, int bpp, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes p(static_cast<size_t>(n));
    for (auto& v : p)
        v = static_cast<uint8_t>(rng() & ((1u << bpp) - 1));
    return p;
}

inline std::string Hex(const Bytes& b, size_t max = 64) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < b.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", b[i]);
        s += buf;
    }
    return s;
}

// Loads a GIF with our reader; collects warnings.
struct Loaded {
    std::unique_ptr<gif::TGIFImage> image = std::make_unique<gif::TGIFImage>();
    std::vector<std::string> warnings;
};

inline Loaded OurLoad(const Bytes& data) {
    Loaded l;
    l.image->OnWarning = [&l](void*, gif::TGIFSeverity, const std::string& m) { l.warnings.push_back(m); };
    platform::TMemoryStream m;
    m.Write(data.data(), data.size());
    m.SetPosition(0);
    l.image->LoadFromStream(m);
    l.image->OnWarning = nullptr;
    return l;
}

} // namespace giftest
