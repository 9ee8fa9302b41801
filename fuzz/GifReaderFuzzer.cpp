// The GIF reader (TGIFImage::LoadFromStream): every input loads or raises GIFException, and what loads
// is written again and reads back to the same frames, pixel for pixel. A frame without pixels (a
// descriptor of no size, or extensions with no image after them) has nothing to write but its
// extensions, so only the frames that hold pixels are compared.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gif/GIFImage.h"
#include "gif/GifItems.h"
#include "support/FuzzSupport.h"

namespace {

struct Frame {
    int width, height;
    std::vector<uint8_t> pixels;
    bool operator==(const Frame&) const = default;
};

std::vector<Frame> Frames(gif::TGIFImage& image) {
    std::vector<Frame> frames;
    for (int i = 0; i < image.Images.Count(); ++i) {
        gif::TGIFSubImage* f = image.Images.Image(i);
        if (f->Empty()) continue;
        frames.push_back(
            {f->Width(), f->Height(), std::vector<uint8_t>(f->Data(), f->Data() + f->DataSize())});
    }
    return frames;
}

void Limit(gif::TGIFImage& image) {
    // Small frames keep each run quick; the caps themselves are tested in the suite.
    image.LoadLimits = {uint64_t{1} << 16, uint64_t{1} << 16};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::TMemoryStream m;
    m.Write(data, size);
    m.SetPosition(0);
    gif::TGIFImage image;
    Limit(image);
    try {
        image.LoadFromStream(m);
    } catch (const gif::GIFException&) {
        return 0;
    }
    for (int i = 0; i < image.Images.Count(); ++i) {
        gif::TGIFSubImage* f = image.Images.Image(i);
        if (!f->Empty()) (void)f->GetBitmap();
    }
    if (image.Images.Count() == 0) return 0;
    std::vector<Frame> loaded = Frames(image);
    platform::TMemoryStream out;
    image.SaveToStream(out);
    FUZZ_CHECK(Frames(image) == loaded); // saving leaves the image as it was
    out.SetPosition(0);
    gif::TGIFImage again;
    Limit(again);
    again.LoadFromStream(out);
    FUZZ_CHECK(Frames(again) == loaded);
    return 0;
}
