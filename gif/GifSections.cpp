// The writer's sections, in the order of the file. See GifSections.h.
#include "gif/GifSections.h"

#include <algorithm>
#include <memory>
#include <string>

#include "gif/GifEncoder.h"

namespace gif {

namespace {
uint8_t Lo(int v) {
    return static_cast<uint8_t>(v);
}
uint8_t Hi(int v) {
    return static_cast<uint8_t>(v >> 8);
}
} // namespace

TGIFBytes SignatureBytes(TGIFVersion version) {
    if (version != gv87a && version != gv89a) throw GIFException("Unsupported GIF version");
    std::string signature = std::string("GIF") + GIFVersions[version];
    return TGIFBytes(signature.begin(), signature.end());
}

uint8_t ScreenPackedFields(const TGIFHeader& header) {
    const TGIFColorMap& map = header.ColorMap;
    const TGIFImage* image = header.Image();
    bool globalTable = map.Count() > 0;
    int packed = 0;
    if (globalTable) {
        packed = 0x80;
        if (map.Optimized()) packed |= 0x08;
    }
    int resolution = image ? image->ColorResolution() : header.GetColorResolution();
    packed |= (resolution * 16) & 0x70;
    int tableBits = globalTable ? map.GetBitsPerPixel() : (image ? image->BitsPerPixel() : 0);
    packed |= (tableBits - 1) & 7;
    return static_cast<uint8_t>(packed);
}

TGIFBytes LogicalScreenBytes(const TGIFHeader& header) {
    int w = header.ScreenWidth, h = header.ScreenHeight;
    return {Lo(w),
            Hi(w),
            Lo(h),
            Hi(h),
            ScreenPackedFields(header),
            header.BackgroundColorIndex,
            header.AspectRatio};
}

TGIFBytes ColorTableBytes(const TGIFColorMap& map) {
    if (map.Count() == 0) return {};
    TGIFBytes bytes(static_cast<size_t>(3) << map.GetBitsPerPixel(), 0);
    for (int i = 0; i < map.Count(); ++i) {
        const TGIFColor& c = map.Data()[i];
        bytes[static_cast<size_t>(3 * i)] = c.Red;
        bytes[static_cast<size_t>(3 * i + 1)] = c.Green;
        bytes[static_cast<size_t>(3 * i + 2)] = c.Blue;
    }
    return bytes;
}

uint8_t DescriptorPackedFields(const TGIFSubImage& frame) {
    const TGIFColorMap& map = frame.ColorMap;
    if (map.Count() == 0) return static_cast<uint8_t>(frame.PackedFields() & 0x58);
    int packed = 0x80;
    if (map.Optimized()) packed |= 0x20;
    packed |= (map.GetBitsPerPixel() - 1) & 7;
    return static_cast<uint8_t>(packed);
}

TGIFBytes ImageDescriptorBytes(const TGIFSubImage& frame) {
    int l = frame.Left(), t = frame.Top(), w = frame.Width(), h = frame.Height();
    return {',', Lo(l), Hi(l), Lo(t), Hi(t), Lo(w), Hi(w), Lo(h), Hi(h), DescriptorPackedFields(frame)};
}

TGIFBytes ImageDataBytes(const TGIFSubImage& frame) {
    TGIFImage* image = frame.Image();
    int bitsPerPixel, colors;
    if (frame.ColorMap.Count() > 0) {
        colors = frame.ColorMap.Count();
        bitsPerPixel = frame.ColorMap.GetBitsPerPixel();
    } else {
        bitsPerPixel = image ? std::max(1, image->BitsPerPixel()) : 8;
        colors = 1 << bitsPerPixel;
    }
    // A file may hold indices beyond its colour tables, and reading keeps them: the code size grows to
    // hold them, so that what was read can be written again.
    if (frame.DataSize() > 0) {
        bool seen[256] = {};
        MarkPresent(frame.Data(), frame.DataSize(), seen);
        int highest = 255;
        while (!seen[highest])
            --highest;
        while (bitsPerPixel < 8 && (1 << bitsPerPixel) <= highest)
            ++bitsPerPixel;
        colors = std::max(colors, highest + 1);
    }
    std::unique_ptr<TGIFEncoder> encoder;
    if (image && image->Compression == gcRLE)
        encoder = std::make_unique<TRLEEncoder>();
    else
        encoder = std::make_unique<TLZWEncoder>();
    if (image)
        encoder->OnWarning = [image](TGIFSeverity s, const std::string& m) { image->Warning(image, s, m); };
    bool interlace = DescriptorPackedFields(frame) & 0x40;
    TMemoryStream out;
    encoder->Encode(out, bitsPerPixel, frame.Width(), frame.Height(), interlace,
                    frame.DataSize() > 0 ? frame.Data() : nullptr, colors);
    return out.Bytes();
}

TGIFBytes TrailerBytes() {
    return {';'};
}

} // namespace gif
