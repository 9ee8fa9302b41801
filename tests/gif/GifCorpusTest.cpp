// Writes the fuzzer's seed corpus (fuzz/corpus/GifReader): small GIFs of our own covering every block kind.
// Run by hand: test_gif --gtest_also_run_disabled_tests --gtest_filter='*WriteSeedCorpus*'
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "gif/GifTestSupport.h"

using namespace giftest;

namespace {
void WriteFile(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes Save(gif::TGIFImage& img) {
    platform::TMemoryStream m;
    img.SaveToStream(m);
    return m.Bytes();
}
} // namespace

TEST(GifCorpus, DISABLED_WriteSeedCorpus) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(KORVANE_SOURCE_DIR) / "fuzz" / "corpus" / "GifReader";
    fs::create_directories(dir);
    using namespace platform::gfx;
    // 1. The station's form: a small 24-bit bitmap through the web palette.
    {
        Bitmap bmp(24, 16);
        Canvas& c = bmp.GetCanvas();
        c.Brush.Color = clWhite;
        c.FillRect({0, 0, 24, 16});
        c.Pen.Color = clRed;
        c.MoveTo(0, 15);
        c.LineTo(23, 2);
        c.Brush.Color = clNavy;
        c.Ellipse(12, 4, 22, 14);
        gif::TGIFImage img;
        img.Assign(&bmp);
        WriteFile(dir / "station_web.gif", Save(img));
    }
    // 2. giflib-written files: 1, 4 and 8 bits, plain and interlaced.
    WriteFile(dir / "giflib_1bpp.gif", GiflibEncodeFile(RandomPixels(9 * 7, 1, 1), 9, 7, 1, false));
    WriteFile(dir / "giflib_4bpp_interlaced.gif",
              GiflibEncodeFile(RandomPixels(13 * 11, 4, 2), 13, 11, 4, true));
    WriteFile(dir / "giflib_8bpp.gif", GiflibEncodeFile(RandomPixels(16 * 16, 8, 3), 16, 16, 8, false));
    // 3. Two frames with a graphic control extension, a looping extension, a comment, a plain text block
    //    and an unknown application block; the second frame uses the global map.
    {
        gif::TGIFImage img;
        Bitmap a(8, 8, pf8bit);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                a.SetIndex(x, y, (x + y) % 4);
        a.SetPalette(MakePalette({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}}));
        img.Add(a);
        img.Add(a);
        img.Pack();
        auto* f0 = img.Images.Image(0);
        auto loop = std::make_unique<gif::TGIFAppExtNSLoop>(f0);
        loop->Loops = 3;
        f0->Extensions.Add(std::move(loop));
        auto gce = std::make_unique<gif::TGIFGraphicControlExtension>(f0);
        gce->Delay = 10;
        gce->SetDisposal(gif::dmBackground);
        gce->SetTransparentColorIndex(2);
        gce->SetTransparent(true);
        f0->Extensions.Add(std::move(gce));
        auto comment = std::make_unique<gif::TGIFCommentExtension>(f0);
        comment->Text = {"Korvane seed", std::string(300, 'x')};
        f0->Extensions.Add(std::move(comment));
        auto* f1 = img.Images.Image(1);
        auto text = std::make_unique<gif::TGIFTextExtension>(f1);
        text->Width = 8;
        text->Height = 8;
        text->CharWidth = 4;
        text->CharHeight = 8;
        text->Text = {"Hi"};
        f1->Extensions.Add(std::move(text));
        auto unknown = std::make_unique<gif::TGIFUnknownAppExtension>(f1);
        unknown->SetIdentifier("KORVANE1");
        unknown->SetAuthentication("0.1");
        gif::TGIFBlock blk(5);
        blk.Data = {1, 2, 3, 4, 5};
        unknown->Blocks.push_back(blk);
        f1->Extensions.Add(std::move(unknown));
        WriteFile(dir / "animated_extensions.gif", Save(img));
    }
    // 4. A minimal file: one pixel of index 0 on a 2-entry global table; a run-length-encoded frame.
    WriteFile(dir / "one_pixel.gif",
              {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0,    0,    0,    0,    0,    255, 255,
               255, 0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    0x02, 0x02, 0x44, 0x01, 0x00, 0x3B});
    {
        Bitmap a(40, 10, pf8bit);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 40; ++x)
                a.SetIndex(x, y, x / 13);
        gif::TGIFImage img;
        img.Compression = gif::gcRLE;
        img.Assign(&a);
        WriteFile(dir / "rle.gif", Save(img));
    }
}
