// Pictures: the graphic classes registered by file extension and clipboard format (the latest wins, a
// class can be taken back), loading that replaces the graphic only when the new one read its data, and
// bitmaps and icons through files and the clipboard, and bitmap files (run lengths, and sizes a file
// cannot hold refused before anything is allocated).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/graphics/BitmapFile.h"
#include "platform/graphics/Canvas.h"
#include "platform/controls/Picture.h"
#include "tests/platform/IconTestSupport.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;
using namespace platform::gfx;

namespace {

// A graphic that reads any bytes item and any stream, and says which it read.
class NoteGraphic : public TGraphic {
public:
    bool Empty() const override { return note.empty(); }
    int Width() const override { return 1; }
    int Height() const override { return 1; }
    void Draw(Canvas&, const TRect&) override {}
    void LoadFromStream(TStream& stream) override {
        note.resize(static_cast<size_t>(stream.Size()));
        stream.Read(note.data(), note.size());
    }
    void SaveToStream(TStream& stream) override { stream.WriteString(note); }
    void LoadFromClipboardFormat(TClipboardFormat, const TClipboardData& data, HPALETTE) override {
        if (!data.Bytes) throw EInvalidGraphic("no bytes");
        note.assign(data.Bytes->begin(), data.Bytes->end());
    }
    void SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data, HPALETTE& palette) override {
        format = Clipboard().RegisterFormat("Test Note");
        data = TClipboardData::FromBytes({note.begin(), note.end()});
        palette = nullptr;
    }
    std::string note;
};
class OtherNoteGraphic : public NoteGraphic {};

class PictureTest : public ::testing::Test {
protected:
    ~PictureTest() override {
        TPicture::UnregisterGraphicClass(typeid(NoteGraphic));
        TPicture::UnregisterGraphicClass(typeid(OtherNoteGraphic));
        while (Clipboard().IsOpen())
            Clipboard().Close();
        Clipboard().Open();
        Clipboard().Clear();
        Clipboard().Close();
    }
    TClipboardData Bytes(const std::string& s) { return TClipboardData::FromBytes({s.begin(), s.end()}); }
    const TClipboardFormat note = Clipboard().RegisterFormat("Test Note");
};

TEST_F(PictureTest, TheLatestRegistrationOfAFormatWinsAndAClassCanBeTakenBack) {
    TPicture picture;
    EXPECT_TRUE(TPicture::SupportsClipboardFormat(CF_BITMAP));
    EXPECT_FALSE(TPicture::SupportsClipboardFormat(note));
    EXPECT_THROW(picture.LoadFromClipboardFormat(note, Bytes("x"), nullptr), EInvalidGraphic);

    TPicture::RegisterClipboardFormat<NoteGraphic>(note);
    TPicture::RegisterClipboardFormat<OtherNoteGraphic>(note);
    EXPECT_EQ(TPicture::ClipboardFormatOf(typeid(NoteGraphic)), note);
    picture.LoadFromClipboardFormat(note, Bytes("second"), nullptr);
    ASSERT_NE(dynamic_cast<OtherNoteGraphic*>(picture.Graphic()), nullptr);
    EXPECT_EQ(static_cast<NoteGraphic*>(picture.Graphic())->note, "second");

    TPicture::UnregisterGraphicClass(typeid(OtherNoteGraphic));
    picture.LoadFromClipboardFormat(note, Bytes("first"), nullptr);
    EXPECT_EQ(typeid(*picture.Graphic()), typeid(NoteGraphic));
    TPicture::UnregisterGraphicClass(typeid(NoteGraphic));
    EXPECT_FALSE(TPicture::SupportsClipboardFormat(note));
    EXPECT_EQ(TPicture::ClipboardFormatOf(typeid(NoteGraphic)), 0);

    // File extensions likewise, in any letter case.
    EXPECT_EQ(TPicture::FileFormatDescription("ICO"), "Icon");
    TPicture::RegisterFileFormat<NoteGraphic>(".Note", "Notes");
    EXPECT_EQ(TPicture::FileFormatDescription("note"), "Notes");
    testsupport::ScratchDir dir;
    std::ofstream("a.NOTE") << "from a file";
    picture.LoadFromFile("a.NOTE");
    EXPECT_EQ(static_cast<NoteGraphic*>(picture.Graphic())->note, "from a file");
    EXPECT_THROW(picture.LoadFromFile("a.unknown"), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile("dot.d/noextension"), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile("missing.note"), EInOutError);
    EXPECT_EQ(static_cast<NoteGraphic*>(picture.Graphic())->note, "from a file");
}

TEST_F(PictureTest, WhatANewGraphicCannotReadLeavesThePictureAsItWas) {
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture&) { ++changes; };
    Bitmap& bitmap = picture.GetBitmap();
    bitmap.SetSize(4, 3);
    EXPECT_EQ(changes, 1) << "the new bitmap graphic";
    TGraphic* before = picture.Graphic();
    EXPECT_THROW(picture.LoadFromClipboardFormat(CF_BITMAP, Bytes("not a bitmap"), nullptr), EInvalidGraphic);
    testsupport::ScratchDir dir;
    std::ofstream("bad.ico") << "not an icon";
    EXPECT_THROW(picture.LoadFromFile("bad.ico"), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 4);
    EXPECT_EQ(changes, 1);

    // The graphic's own changes reach the picture.
    before->SetTransparent(true);
    EXPECT_EQ(changes, 2);
    TIcon& icon = picture.GetIcon();
    EXPECT_TRUE(icon.Empty());
    EXPECT_EQ(changes, 3);
    picture.SetGraphic(nullptr);
    EXPECT_TRUE(picture.Empty());
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(changes, 4);
}

TEST_F(PictureTest, BitmapsAndIconsGoThroughTheClipboardAndFiles) {
    // A paletted bitmap comes back with its palette.
    TPicture picture;
    Bitmap& bitmap = picture.GetBitmap();
    bitmap.SetSize(3, 2);
    bitmap.SetPixelFormat(pf8bit);
    bitmap.SetPalette(MakePalette({{10, 20, 30, 0}, {200, 100, 50, 0}}));
    bitmap.SetIndex(2, 1, 1);
    ASSERT_TRUE(picture.CopyToClipboard());
    EXPECT_FALSE(Clipboard().IsOpen());
    TPicture pasted;
    ASSERT_TRUE(pasted.PasteFromClipboard());
    ASSERT_NE(dynamic_cast<TBitmapGraphic*>(pasted.Graphic()), nullptr);
    EXPECT_EQ(pasted.GetBitmap().GetPixel(2, 1), RGB(200, 100, 50));
    EXPECT_EQ(pasted.GetBitmap().GetPixel(0, 0), RGB(10, 20, 30));

    // An empty picture copies nothing; an empty clipboard pastes nothing.
    TPicture empty;
    EXPECT_FALSE(empty.CopyToClipboard());
    Clipboard().Open();
    Clipboard().Clear();
    Clipboard().Close();
    EXPECT_FALSE(pasted.PasteFromClipboard());
    EXPECT_NE(pasted.Graphic(), nullptr);

    // An icon file reads by its extension; without a registered format an icon cannot be copied.
    testsupport::ScratchDir dir;
    const std::vector<uint8_t> file = icontest::SolidIconFile(16, pf24bit, clRed);
    std::ofstream("app.ICO", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    picture.LoadFromFile("app.ICO");
    ASSERT_NE(dynamic_cast<TIconGraphic*>(picture.Graphic()), nullptr);
    TMemoryStream saved;
    picture.Graphic()->SaveToStream(saved);
    EXPECT_EQ(saved.Bytes(), file);
    Bitmap shot(40, 40);
    shot.GetCanvas().Brush.Color = clWhite;
    shot.GetCanvas().FillRect({0, 0, 40, 40});
    picture.Graphic()->Draw(shot.GetCanvas(), {4, 4, 5, 5});
    EXPECT_EQ(shot.GetPixel(4, 4), clWhite) << "the masked corner";
    EXPECT_EQ(shot.GetPixel(14, 14), clRed) << "at its own size from the top-left";
    ASSERT_EQ(TPicture::ClipboardFormatOf(typeid(TIconGraphic)), 0) << "the icon helpers register one";
    EXPECT_THROW(picture.CopyToClipboard(), EInvalidGraphic);
    EXPECT_FALSE(Clipboard().IsOpen());
}

namespace {

std::vector<uint8_t> Le(std::initializer_list<uint32_t> dwords) {
    std::vector<uint8_t> out;
    for (uint32_t v : dwords)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A bitmap file: "BM", size, reserved, offset; then the info header (40 bytes, the image size being
// what follows the offset) and `rest`.
std::vector<uint8_t> BmpFile(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                             uint32_t colorsUsed, uint32_t bitsOffset, const std::vector<uint8_t>& rest) {
    std::vector<uint8_t> f{'B', 'M'};
    for (uint8_t b : Le({static_cast<uint32_t>(14 + 40 + rest.size()), 0, bitsOffset}))
        f.push_back(b);
    const auto imageSize =
        static_cast<uint32_t>(14 + 40 + rest.size() - std::min<size_t>(bitsOffset, 54 + rest.size()));
    for (uint8_t b : Le({40, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                         1u | uint32_t{bits} << 16, compression, imageSize, 0, 0, colorsUsed, 0}))
        f.push_back(b);
    f.insert(f.end(), rest.begin(), rest.end());
    return f;
}

} // namespace

TEST_F(PictureTest, BitmapFilesAreReadAndWrittenByThePicture) {
    testsupport::ScratchDir dir;
    EXPECT_EQ(TPicture::FileFormatDescription("bmp"), "Bitmaps");

    // A 24-bit 2 x 2 picture: rows bottom-up, B G R, each padded to 8 bytes.
    TPicture picture;
    Bitmap& b = picture.GetBitmap();
    b.SetSize(2, 2);
    b.SetPixelFormat(pf24bit);
    b.SetPixel(0, 0, RGB(1, 2, 3));
    b.SetPixel(1, 0, RGB(4, 5, 6));
    b.SetPixel(0, 1, RGB(7, 8, 9));
    b.SetPixel(1, 1, RGB(10, 11, 12));
    picture.SaveToFile("two.bmp");
    std::ifstream in("two.bmp", std::ios::binary);
    std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(written, BmpFile(2, 2, 24, 0, 0, 54, {9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));

    // Every format comes back with its pixels.
    for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
        TPicture out;
        Bitmap& o = out.GetBitmap();
        o.SetSize(5, 3);
        o.SetPixelFormat(format);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                o.SetPixel(x, y, (x + y) % 2 ? clWhite : clBlack);
        o.SetPixel(4, 2, RGB(0, 0, 248));
        out.SaveToFile("round.bmp");
        TPicture back;
        back.LoadFromFile("ROUND.BMP");
        ASSERT_NE(dynamic_cast<TBitmapGraphic*>(back.Graphic()), nullptr);
        Bitmap& r = back.GetBitmap();
        ASSERT_EQ(r.Width(), 5);
        ASSERT_EQ(r.Height(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(r.GetPixel(x, y), o.GetPixel(x, y)) << format << " " << x << "," << y;
    }

    // Rows top-down (a negative height) with two colours used of a 4-bit palette; 5-6-5 bit fields.
    WriteFile("top.bmp",
              BmpFile(2, -2, 4, 0, 2, 62, {0, 0, 255, 0, 255, 0, 0, 0, 0x10, 0, 0, 0, 0x01, 0, 0, 0}));
    picture.LoadFromFile("top.bmp");
    EXPECT_EQ(picture.GetBitmap().GetPixel(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(picture.GetBitmap().GetPixel(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(picture.GetBitmap().GetPixel(1, 1), RGB(0, 0, 255));
    std::vector<uint8_t> fields = Le({0xF800, 0x07E0, 0x001F});
    for (uint8_t v : {0x00, 0xF8, 0x1F, 0x00}) // one row: red, blue
        fields.push_back(v);
    WriteFile("fields.bmp", BmpFile(2, 1, 16, 3, 0, 66, fields));
    picture.LoadFromFile("fields.bmp");
    Bitmap ref(2, 1, pf16bit);
    ref.SetPixel(0, 0, RGB(255, 0, 0));
    ref.SetPixel(1, 0, RGB(0, 0, 255));
    EXPECT_EQ(picture.GetBitmap().PixelFormat(), pf16bit);
    EXPECT_EQ(picture.GetBitmap().GetPixel(0, 0), ref.GetPixel(0, 0));
    EXPECT_EQ(picture.GetBitmap().GetPixel(1, 0), ref.GetPixel(1, 0));

    // Run lengths: 8 bits (a run, the end of a row, literal pixels, the end) and 4 bits (halves in turn).
    const std::vector<uint8_t> redBlue{0, 0, 255, 0, 255, 0, 0, 0};
    std::vector<uint8_t> rle8 = redBlue;
    rle8.insert(rle8.end(), {2, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 1});
    WriteFile("rle8.bmp", BmpFile(3, 2, 8, 1, 2, 62, rle8));
    picture.LoadFromFile("rle8.bmp");
    std::string shown;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            shown += picture.GetBitmap().GetPixel(x, y) == RGB(0, 0, 255) ? 'b' : 'r';
    EXPECT_EQ(shown, "brbbbr");
    std::vector<uint8_t> rle4 = redBlue;
    rle4.insert(rle4.end(), {4, 0x10, 0, 1});
    WriteFile("rle4.bmp", BmpFile(4, 1, 4, 2, 2, 62, rle4));
    picture.LoadFromFile("rle4.bmp");
    EXPECT_EQ(picture.GetBitmap().GetPixel(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(picture.GetBitmap().GetPixel(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(picture.GetBitmap().GetPixel(2, 0), RGB(0, 0, 255));

    // What is no bitmap file this reader takes leaves the picture as it was.
    std::vector<uint8_t> cut = written;
    cut.erase(cut.end() - 3, cut.end());
    std::vector<uint8_t> huge = BmpFile(40000, 1, 24, 0, 0, 54, {});
    std::vector<uint8_t> noPalette = BmpFile(2, 2, 8, 1, 0, 54, {});
    std::vector<uint8_t> jpeg = BmpFile(2, 2, 24, 4, 0, 54, std::vector<uint8_t>(16));
    for (const auto& bad : {cut, huge, noPalette, jpeg, std::vector<uint8_t>{'B', 'M'}}) {
        WriteFile("bad.bmp", bad);
        EXPECT_THROW(picture.LoadFromFile("bad.bmp"), EInvalidGraphic);
        EXPECT_EQ(picture.GetBitmap().Width(), 4);
    }
}

} // namespace

namespace {

// How much the process's peak resident size grows while fn runs, in MB.
int64_t PeakGrowthMb(const std::function<void()>& fn) {
    auto statusKb = [](const std::string& field) {
        std::ifstream in("/proc/self/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind(field + ":", 0) == 0) return int64_t{std::stoll(line.substr(field.size() + 1))};
        return int64_t{-1};
    };
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from the present size
    const int64_t before = statusKb("VmHWM");
    fn();
    return (statusKb("VmHWM") - before) / 1024;
}

std::string Indices(const Bitmap& b) {
    std::string s;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x)
            s += static_cast<char>('0' + b.GetIndex(x, y));
        s += y + 1 < b.Height() ? "/" : "";
    }
    return s;
}

// What a picture tells when it cannot load the file: its exception's text ("read" when it loads).
std::string LoadFailure(const std::vector<uint8_t>& file) {
    testsupport::ScratchDir dir;
    WriteFile("picture.bmp", file);
    TPicture picture;
    try {
        picture.LoadFromFile("picture.bmp");
        return "read";
    } catch (const EInvalidGraphic& e) {
        return e.what();
    }
}

} // namespace

TEST(BitmapFile, RunLengthDeltasMoveTheCursorAndLiteralsKeepTheirPadding) {
    const std::vector<uint8_t> palette{0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    // 8 bits, 4 x 3, bottom row first: three literal pixels and their pad byte, the end of the row; a
    // delta two right and one up; a run of one; the end.
    std::vector<uint8_t> rle8 = palette;
    rle8.insert(rle8.end(), {0, 3, 1, 2, 1, 0, 0, 0, 0, 2, 2, 1, 1, 2, 0, 1});
    auto b = ReadBitmapFile(BmpFile(4, 3, 8, 1, 3, 66, rle8));
    ASSERT_TRUE(b);
    EXPECT_EQ(Indices(*b), "0020/0000/1210");
    // 4 bits: five literal pixels in three bytes and a pad byte, then a run of one.
    std::vector<uint8_t> rle4 = palette;
    rle4.insert(rle4.end(), {0, 5, 0x12, 0x12, 0x10, 0, 1, 0x20, 0, 1});
    b = ReadBitmapFile(BmpFile(6, 1, 4, 2, 3, 66, rle4));
    ASSERT_TRUE(b);
    EXPECT_EQ(Indices(*b), "121212");
}

TEST(BitmapFile, SizesTheFileCannotHoldAreRefusedBeforeThePictureIsMade) {
    // 54 bytes that ask for 4096 x 4096 pixels of 32 bits (64 MB); a 1,080-byte run-length file of
    // 4096 x 4096 whose data is its end mark alone.
    const std::vector<uint8_t> headerOnly = BmpFile(4096, 4096, 32, 0, 0, 54, {});
    std::vector<uint8_t> rest(1024, 0);
    rest.insert(rest.end(), {0, 1});
    const std::vector<uint8_t> tinyRunLength = BmpFile(4096, 4096, 8, 1, 0, 1078, rest);
    // 186 bytes of 16384 x 1024 (16 MB at 8 bits) whose 32 deltas climb to its top row but cannot
    // reach its right column.
    std::vector<uint8_t> deltas{255, 255, 255, 0};
    for (int i = 0; i < 32; ++i)
        deltas.insert(deltas.end(), {0, 2, 255, 255});
    const std::vector<uint8_t> tinyWide = BmpFile(16384, 1024, 8, 1, 1, 58, deltas);
    ASSERT_EQ(headerOnly.size(), 54u);
    ASSERT_EQ(tinyRunLength.size(), 1080u);
    ASSERT_EQ(tinyWide.size(), 186u);
    std::string problem[3];
    const int64_t grown = PeakGrowthMb([&] {
        EXPECT_FALSE(ReadBitmapFile(headerOnly, &problem[0]));
        EXPECT_FALSE(ReadBitmapFile(tinyRunLength, &problem[1]));
        EXPECT_FALSE(ReadBitmapFile(tinyWide, &problem[2]));
    });
    EXPECT_LT(grown, 64);
    EXPECT_EQ(problem[0], "pixel rows beyond the end of the file");
    EXPECT_EQ(problem[1], "more rows than its run-length data can reach");
    EXPECT_EQ(problem[2], "more columns than its run-length data can reach");
    // A wide run-length picture past 4M pixels whose runs do reach its right edge is read: 8192 x 1024,
    // its bottom row painted by 33 runs of 255, five deltas up to the top.
    std::vector<uint8_t> wideRuns{0, 0, 0, 0, 255, 255, 255, 0};
    for (int i = 0; i < 33; ++i)
        wideRuns.insert(wideRuns.end(), {255, 1});
    wideRuns.insert(wideRuns.end(), {0, 0});
    for (int i = 0; i < 5; ++i)
        wideRuns.insert(wideRuns.end(), {0, 2, 0, 255});
    wideRuns.insert(wideRuns.end(), {0, 1});
    const auto wide = ReadBitmapFile(BmpFile(8192, 1024, 8, 1, 2, 62, wideRuns));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->GetIndex(0, 1023) + wide->GetIndex(8191, 1023), 2);
    EXPECT_EQ(wide->GetIndex(8191, 1022) + wide->GetIndex(8191, 0), 0);
    // A modest run-length picture may end early: 2 x 1000, its bottom row painted and the rest blank.
    const auto blankTop =
        ReadBitmapFile(BmpFile(2, 1000, 8, 1, 2, 62, {0, 0, 0, 0, 255, 255, 255, 0, 2, 1, 0, 1}));
    ASSERT_TRUE(blankTop);
    EXPECT_EQ(blankTop->GetIndex(0, 999) + blankTop->GetIndex(1, 999), 2);
    EXPECT_EQ(blankTop->GetIndex(1, 998) + blankTop->GetIndex(0, 0), 0);

    // The picture tells the reason; the same picture with room for its rows is read.
    EXPECT_EQ(LoadFailure(BmpFile(3, 2, 24, 0, 0, 54, std::vector<uint8_t>(23))),
              "Bitmap image is not valid: pixel rows beyond the end of the file");
    EXPECT_TRUE(ReadBitmapFile(BmpFile(3, 2, 24, 0, 0, 54, std::vector<uint8_t>(24))));
}

TEST(BitmapFile, APictureOfMoreThan16MegapixelsIsRefusedBeforeItIsMade) {
    // 320 bytes of 16384 x 16384 (256 MB at 8 bits) whose 65 deltas reach its top row and right column.
    std::vector<uint8_t> deltas{255, 255, 255, 0};
    for (int i = 0; i < 65; ++i)
        deltas.insert(deltas.end(), {0, 2, 255, 255});
    deltas.insert(deltas.end(), {0, 1});
    const std::vector<uint8_t> far = BmpFile(16384, 16384, 8, 1, 1, 58, deltas);
    ASSERT_EQ(far.size(), 320u);
    std::string problem;
    const int64_t grown = PeakGrowthMb([&] { EXPECT_FALSE(ReadBitmapFile(far, &problem)); });
    EXPECT_LT(grown, 16);
    EXPECT_EQ(problem, "picture of more than 16 megapixels");
    EXPECT_EQ(LoadFailure(far), "Bitmap image is not valid: picture of more than 16 megapixels");

    // 16 megapixels are read: 4096 x 4096, its bottom-left pixel painted and 17 deltas up to the top;
    // one column more is refused.
    std::vector<uint8_t> atCeiling{0, 0, 0, 0, 255, 255, 255, 0, 1, 1};
    for (int i = 0; i < 17; ++i)
        atCeiling.insert(atCeiling.end(), {0, 2, 0, 255});
    atCeiling.insert(atCeiling.end(), {0, 1});
    const auto read = ReadBitmapFile(BmpFile(4096, 4096, 8, 1, 2, 62, atCeiling));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetIndex(0, 4095), 1);
    EXPECT_EQ(read->GetIndex(1, 4095) + read->GetIndex(4095, 0), 0);
    EXPECT_FALSE(ReadBitmapFile(BmpFile(4097, 4096, 8, 1, 2, 62, atCeiling), &problem));
    EXPECT_EQ(problem, "picture of more than 16 megapixels");
}
