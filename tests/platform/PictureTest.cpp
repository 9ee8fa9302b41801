// Pictures: the graphic classes registered by file extension and clipboard format (the latest wins, a
// class can be taken back), loading that replaces the graphic only when the new one read its data, and
// bitmaps and icons through files and the clipboard.
#include <gtest/gtest.h>

#include <fstream>

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

} // namespace
