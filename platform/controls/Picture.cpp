#include "platform/controls/Picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Files.h"
#include "platform/Strings.h"

namespace platform::gfx {

namespace {

struct FileFormat {
    std::string extension; // upper case, no dot
    std::string description;
    std::type_index graphicClass;
    TGraphicFactory create;
};

struct ClipboardFormat {
    TClipboardFormat format;
    std::type_index graphicClass;
    TGraphicFactory create;
};

// Registrations in their order; the picture's own come first.
struct Registry {
    std::vector<FileFormat> files;
    std::vector<ClipboardFormat> clipboard;
    Registry() {
        files.push_back(
            {"ICO", "Icon", typeid(TIconGraphic), [] { return std::make_unique<TIconGraphic>(); }});
        files.push_back(
            {"BMP", "Bitmaps", typeid(TBitmapGraphic), [] { return std::make_unique<TBitmapGraphic>(); }});
        clipboard.push_back(
            {CF_BITMAP, typeid(TBitmapGraphic), [] { return std::make_unique<TBitmapGraphic>(); }});
    }
};

Registry& Formats() {
    static Registry registry;
    return registry;
}

std::string ExtensionKey(std::string extension) {
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    return UpperCase(extension);
}

const FileFormat* FindFile(const std::string& extension) {
    auto& files = Formats().files;
    std::string key = ExtensionKey(extension);
    auto it =
        std::find_if(files.rbegin(), files.rend(), [&](const FileFormat& f) { return f.extension == key; });
    return it == files.rend() ? nullptr : &*it;
}

const ClipboardFormat* FindClipboard(TClipboardFormat format) {
    auto& clipboard = Formats().clipboard;
    auto it = std::find_if(clipboard.rbegin(), clipboard.rend(),
                           [&](const ClipboardFormat& f) { return f.format == format; });
    return it == clipboard.rend() ? nullptr : &*it;
}

} // namespace

// ---- registration ----

void TPicture::AddFileFormat(const std::string& extension, const std::string& description,
                             std::type_index graphicClass, TGraphicFactory create) {
    Formats().files.push_back({ExtensionKey(extension), description, graphicClass, std::move(create)});
}

void TPicture::AddClipboardFormat(TClipboardFormat format, std::type_index graphicClass,
                                  TGraphicFactory create) {
    if (format == 0) return;
    Formats().clipboard.push_back({format, graphicClass, std::move(create)});
}

void TPicture::UnregisterGraphicClass(std::type_index graphicClass) {
    std::erase_if(Formats().files, [&](const FileFormat& f) { return f.graphicClass == graphicClass; });
    std::erase_if(Formats().clipboard,
                  [&](const ClipboardFormat& f) { return f.graphicClass == graphicClass; });
}

bool TPicture::SupportsClipboardFormat(TClipboardFormat format) {
    return FindClipboard(format) != nullptr;
}

TClipboardFormat TPicture::ClipboardFormatOf(std::type_index graphicClass) {
    auto& clipboard = Formats().clipboard;
    auto it = std::find_if(clipboard.rbegin(), clipboard.rend(),
                           [&](const ClipboardFormat& f) { return f.graphicClass == graphicClass; });
    return it == clipboard.rend() ? 0 : it->format;
}

std::string TPicture::FileFormatDescription(const std::string& extension) {
    const FileFormat* f = FindFile(extension);
    return f ? f->description : std::string();
}

// ---- the picture ----

TPicture::~TPicture() {
    if (graphic_) {
        graphic_->OnChange = nullptr;
        graphic_->OnProgress = nullptr;
    }
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    if (graphic_) {
        graphic_->OnChange = nullptr;
        graphic_->OnProgress = nullptr;
    }
    graphic_ = std::move(graphic);
    if (graphic_) {
        graphic_->OnChange = [this] { Changed(); };
        Listen(*graphic_);
    }
    Changed();
}

void TPicture::Listen(TGraphic& graphic) {
    graphic.OnProgress = [this](TObject* sender, TProgressStage stage, int percent, bool redrawNow,
                                const TRect& rect, const std::string& message) {
        if (OnProgress) OnProgress(sender, stage, percent, redrawNow, rect, message);
    };
}

void TPicture::Changed() {
    if (OnChange) OnChange(*this);
}

template <class T> T& TPicture::As() {
    if (auto* g = dynamic_cast<T*>(graphic_.get())) return *g;
    auto made = std::make_unique<T>();
    T& result = *made;
    SetGraphic(std::move(made));
    return result;
}

Bitmap& TPicture::GetBitmap() {
    return As<TBitmapGraphic>().Image();
}

TIcon& TPicture::GetIcon() {
    return As<TIconGraphic>().Icon();
}

void TPicture::LoadFromFile(const std::string& fileName) {
    size_t dot = fileName.find_last_of("./\\");
    std::string extension = dot != std::string::npos && fileName[dot] == '.' ? fileName.substr(dot + 1) : "";
    const FileFormat* format = FindFile(extension);
    if (!format) throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
    TMemoryStream stream;
    if (!stream.LoadFromFile(fileName)) throw EInOutError("Cannot open file " + fileName);
    std::unique_ptr<TGraphic> graphic = format->create();
    Listen(*graphic);
    graphic->LoadFromStream(stream);
    SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& fileName) {
    if (!graphic_) return;
    TMemoryStream stream;
    graphic_->SaveToStream(stream);
    const std::vector<uint8_t>& bytes = stream.Bytes();
    int error = ReplaceWholeFile(fileName, std::string(bytes.begin(), bytes.end()));
    if (error != 0) throw EInOutError("Cannot create file " + fileName + ": " + std::strerror(error));
}

void TPicture::TakeFromClipboard(TGraphicFactory create, TClipboardFormat format, const TClipboardData& data,
                                 HPALETTE palette) {
    std::unique_ptr<TGraphic> graphic = create();
    Listen(*graphic);
    graphic->LoadFromClipboardFormat(format, data, palette);
    SetGraphic(std::move(graphic));
}

void TPicture::LoadFromClipboardFormat(TClipboardFormat format, const TClipboardData& data,
                                       HPALETTE palette) {
    const ClipboardFormat* registered = FindClipboard(format);
    if (!registered) throw EInvalidGraphic("Unsupported clipboard format");
    TakeFromClipboard(registered->create, format, data, palette);
}

void TPicture::SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data, HPALETTE& palette) {
    format = 0;
    data = {};
    palette = nullptr;
    if (!Empty()) graphic_->SaveToClipboardFormat(format, data, palette);
}

bool TPicture::PasteFromClipboard() {
    TClipboardOpen open;
    if (!open.IsOpen()) return false;
    auto& clipboard = Formats().clipboard;
    for (auto it = clipboard.rbegin(); it != clipboard.rend(); ++it) {
        if (!Clipboard().HasFormat(it->format)) continue;
        // The factory is copied: a graphic's reading may register or unregister classes.
        TGraphicFactory create = it->create;
        TakeFromClipboard(create, it->format, Clipboard().GetData(it->format),
                          Clipboard().GetData(CF_PALETTE).Palette);
        return true;
    }
    return false;
}

bool TPicture::CopyToClipboard() {
    if (Empty()) return false;
    TClipboardOpen open;
    if (!open.IsOpen()) return false;
    Clipboard().Clear();
    TClipboardFormat format = 0;
    TClipboardData data;
    HPALETTE palette;
    graphic_->SaveToClipboardFormat(format, data, palette);
    bool stored = Clipboard().SetData(format, std::move(data));
    if (stored && palette) Clipboard().SetData(CF_PALETTE, TClipboardData::FromPalette(palette));
    return stored;
}

} // namespace platform::gfx
