#include "platform/controls/Graphic.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/BitmapFile.h"
#include "platform/graphics/Canvas.h"
#include "platform/controls/Picture.h"

namespace platform::gfx {

namespace {
std::vector<uint8_t> ReadRest(TStream& stream) {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(stream.Size() - stream.Position(), 0)));
    bytes.resize(stream.Read(bytes.data(), bytes.size()));
    return bytes;
}

TClipboardData ItemOf(TClipboardFormat format, const TClipboardData& data) {
    return data.Empty() ? Clipboard().GetData(format) : data;
}
} // namespace

void TGraphic::SetTransparent(bool transparent) {
    if (transparent == transparent_) return;
    transparent_ = transparent;
    Changed();
}

// ---- bitmap ----

void TBitmapGraphic::Draw(Canvas& canvas, const TRect& rect) {
    bitmap_.Transparent = Transparent();
    canvas.StretchDraw(rect, bitmap_);
}

void TBitmapGraphic::LoadFromStream(TStream& stream) {
    std::string problem;
    std::optional<Bitmap> read = ReadBitmapFile(ReadRest(stream), &problem);
    if (!read) throw EInvalidGraphic("Bitmap image is not valid: " + problem);
    bitmap_ = std::move(*read);
    Changed();
}

void TBitmapGraphic::SaveToStream(TStream& stream) {
    if (Empty()) return;
    std::vector<uint8_t> bytes = WriteBitmapFile(bitmap_);
    stream.Write(bytes.data(), bytes.size());
}

void TBitmapGraphic::LoadFromClipboardFormat(TClipboardFormat format, const TClipboardData& data,
                                             HPALETTE palette) {
    TClipboardData item = ItemOf(format, data);
    if (format != CF_BITMAP || !item.Bitmap) throw EInvalidGraphic("Unsupported clipboard format");
    bitmap_.Assign(*item.Bitmap);
    if (palette && bitmap_.IsPaletted()) bitmap_.SetPalette(palette);
    Changed();
}

void TBitmapGraphic::SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data,
                                           HPALETTE& palette) {
    format = 0;
    data = {};
    palette = nullptr;
    if (Empty()) return;
    format = CF_BITMAP;
    data = TClipboardData::FromBitmap(bitmap_);
    if (bitmap_.GetPalette()) palette = std::make_shared<Palette>(*bitmap_.GetPalette());
}

// ---- icon ----

void TIconGraphic::Draw(Canvas& canvas, const TRect& rect) {
    icon_.Draw(canvas, rect.Left, rect.Top);
}

void TIconGraphic::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> bytes = ReadRest(stream);
    if (!icon_.LoadFromStream(bytes)) throw EInvalidGraphic("Invalid icon file");
    Changed();
}

void TIconGraphic::SaveToStream(TStream& stream) {
    std::vector<uint8_t> bytes = icon_.SaveToStream();
    stream.Write(bytes.data(), bytes.size());
}

void TIconGraphic::LoadFromClipboardFormat(TClipboardFormat format, const TClipboardData& data, HPALETTE) {
    TClipboardData item = ItemOf(format, data);
    if (!item.Bytes || !icon_.LoadFromStream(*item.Bytes))
        throw EInvalidGraphic("Unsupported clipboard format");
    Changed();
}

void TIconGraphic::SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data, HPALETTE& palette) {
    format = 0;
    data = {};
    palette = nullptr;
    if (Empty()) return;
    format = TPicture::ClipboardFormatOf(typeid(TIconGraphic));
    if (format == 0) throw EInvalidGraphic("No clipboard format is registered for icons");
    data = TClipboardData::FromBytes(icon_.SaveToStream());
}

} // namespace platform::gfx
