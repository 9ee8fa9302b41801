// libFuzzer target for the GIF reader (TGIFImage::LoadFromStream), built by scripts/fuzz with
// clang++ -fsanitize=fuzzer,address,undefined. Every input must load or raise GIFException; anything
// else (a crash, a sanitizer report, another exception) is a finding.
#include <cstddef>
#include <cstdint>

#include "gif/GIFImage.h"
#include "gif/GifItems.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::TMemoryStream m;
    m.Write(data, size);
    m.SetPosition(0);
    gif::TGIFImage image;
    // Keep frames small so that each input runs quickly (the caps themselves are tested elsewhere).
    image.LoadLimits = {uint64_t{1} << 20, uint64_t{1} << 22};
    try {
        image.LoadFromStream(m);
        for (int i = 0; i < image.Images.Count(); ++i) {
            gif::TGIFSubImage* f = image.Images.Image(i);
            if (!f->Empty()) (void)f->GetBitmap();
        }
        // Whatever loaded can be written again.
        if (image.Images.Count() > 0) {
            platform::TMemoryStream out;
            image.SaveToStream(out);
        }
    } catch (const gif::GIFException&) {
    }
    return 0;
}
