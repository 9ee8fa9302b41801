#include "extra/ClipIcon.h"

#include <new>

#include "platform/Exceptions.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"
#include "platform/graphics/IconFile.h"
#include "platform/controls/Picture.h"

using namespace platform;
using namespace platform::gfx;

namespace extra {

namespace {

// The real-size icon of a sound icon file; none when the file fails the reader's checks.
std::optional<TIcon> RebuildAtRealSize(std::span<const uint8_t> file) {
    std::vector<TIconDirEntry> entries = ReadIconDirectory(file);
    if (entries.empty()) return std::nullopt;
    size_t index = ChooseIconEntry(entries, IconScreenColors(Screen->BitsPerPixel, Screen->Planes));
    std::optional<TIconImage> image = ReadIconImage(file, entries[index]);
    if (!image) return std::nullopt;
    Bitmap color(image->Color);
    color.SetPixelFormat(pfDevice); // screen-compatible
    TIcon icon;
    icon.SetBitmaps(color, image->Mask);
    return icon;
}

} // namespace

TClipboardFormat IconClipboardFormat() {
    static const TClipboardFormat format = Clipboard().RegisterFormat("Icon Image");
    return format;
}

void RegisterIconClipboardFormat() {
    if (TPicture::ClipboardFormatOf(typeid(TIconGraphic)) == IconClipboardFormat()) return;
    TPicture::RegisterClipboardFormat<TIconGraphic>(IconClipboardFormat());
}

bool CopyIconToClipboard(const TIcon& icon, TColor backColor) {
    if (icon.Empty()) return false;
    TIcon real = CreateRealSizeIcon(icon);
    int width = 0;
    int height = 0;
    GetIconSize(real, width, height);
    Bitmap picture(width, height);
    Canvas canvas(picture);
    canvas.Brush.Color = backColor;
    canvas.FillRect({0, 0, width, height});
    real.Draw(canvas, 0, 0);

    TClipboardOpen open;
    if (!open.IsOpen()) return false;
    Clipboard().Clear();
    Clipboard().SetData(CF_BITMAP, TClipboardData::FromBitmap(picture));
    if (const HPALETTE& palette = icon.Image().GetPalette())
        Clipboard().SetData(CF_PALETTE, TClipboardData::FromPalette(std::make_shared<Palette>(*palette)));
    Clipboard().SetData(IconClipboardFormat(), TClipboardData::FromBytes(icon.SaveToStream()));
    return true;
}

void AssignClipboardIcon(TIcon& icon) {
    if (!Clipboard().HasFormat(IconClipboardFormat())) return;
    TClipboardData data;
    {
        TClipboardOpen open;
        if (!open.IsOpen()) return;
        data = Clipboard().GetData(IconClipboardFormat());
    }
    if (data.Bytes) (void)icon.LoadFromStream(*data.Bytes);
}

std::unique_ptr<TIcon> CreateIconFromClipboard() {
    auto icon = std::make_unique<TIcon>();
    AssignClipboardIcon(*icon);
    if (icon->Empty()) return nullptr;
    return icon;
}

TIcon CreateRealSizeIcon(const TIcon& icon) {
    try {
        std::vector<uint8_t> file = icon.SaveToStream();
        auto header = ReadIconFileHeader(file);
        if (header && header->Type == kStockIconType) return DefaultApplicationIcon();
        if (header && header->Type == kIconType)
            if (std::optional<TIcon> real = RebuildAtRealSize(file)) return *real;
        return icon;
    } catch (const std::bad_alloc&) {
        throw EOutOfResources("Out of system resources");
    }
}

void GetIconSize(const TIcon& icon, int& width, int& height) {
    if (icon.Empty()) {
        width = height = SystemMetrics().IconSize;
        return;
    }
    width = icon.Width();
    height = icon.Height();
}

void DrawRealSizeIcon(Canvas& canvas, const TIcon& icon, int x, int y) {
    CreateRealSizeIcon(icon).Draw(canvas, x, y);
}

} // namespace extra
