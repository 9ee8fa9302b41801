#include "platform/Clipboard.h"

#include <algorithm>

#include "platform/Strings.h"

namespace platform {

TClipboardData TClipboardData::FromBytes(std::vector<uint8_t> bytes) {
    TClipboardData d;
    d.Bytes = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    return d;
}

TClipboardData TClipboardData::FromBitmap(const gfx::Bitmap& bitmap) {
    TClipboardData d;
    d.Bitmap = std::make_shared<const gfx::Bitmap>(bitmap);
    return d;
}

TClipboardData TClipboardData::FromPalette(gfx::HPALETTE palette) {
    TClipboardData d;
    d.Palette = std::move(palette);
    return d;
}

TClipboard& TClipboard::Get() {
    static TClipboard clipboard;
    return clipboard;
}

TClipboardFormat TClipboard::RegisterFormat(const std::string& name) {
    if (name.empty()) return 0;
    std::lock_guard lock(mutex_);
    std::string key = UpperCase(name);
    auto it = registered_.find(key);
    if (it != registered_.end()) return it->second;
    size_t next = CF_FIRST_REGISTERED + registered_.size();
    if (next > 0xFFFF) return 0;
    auto format = static_cast<TClipboardFormat>(next);
    registered_[key] = format;
    names_[format] = name;
    return format;
}

std::string TClipboard::FormatName(TClipboardFormat format) const {
    std::lock_guard lock(mutex_);
    auto it = names_.find(format);
    return it == names_.end() ? std::string() : it->second;
}

bool TClipboard::Open() {
    std::lock_guard lock(mutex_);
    if (openCount_ > 0 && owner_ != std::this_thread::get_id()) return false;
    owner_ = std::this_thread::get_id();
    ++openCount_;
    return true;
}

void TClipboard::Close() {
    std::lock_guard lock(mutex_);
    if (openCount_ > 0 && owner_ == std::this_thread::get_id()) --openCount_;
}

bool TClipboard::OpenedByCaller() const {
    return openCount_ > 0 && owner_ == std::this_thread::get_id();
}

bool TClipboard::IsOpen() const {
    std::lock_guard lock(mutex_);
    return OpenedByCaller();
}

bool TClipboard::Clear() {
    std::lock_guard lock(mutex_);
    if (!OpenedByCaller()) return false;
    items_.clear();
    return true;
}

bool TClipboard::SetData(TClipboardFormat format, TClipboardData data) {
    std::lock_guard lock(mutex_);
    if (!OpenedByCaller() || format == 0 || data.Empty()) return false;
    items_[format] = std::move(data);
    return true;
}

TClipboardData TClipboard::GetData(TClipboardFormat format) const {
    std::lock_guard lock(mutex_);
    if (!OpenedByCaller()) return {};
    auto it = items_.find(format);
    return it == items_.end() ? TClipboardData{} : it->second;
}

bool TClipboard::HasFormat(TClipboardFormat format) const {
    std::lock_guard lock(mutex_);
    return items_.count(format) != 0;
}

std::vector<TClipboardFormat> TClipboard::Formats() const {
    std::lock_guard lock(mutex_);
    std::vector<TClipboardFormat> formats;
    for (const auto& [format, data] : items_)
        formats.push_back(format);
    return formats;
}

bool SetClipboardText(const std::string& text) {
    TClipboardOpen open;
    if (!open.IsOpen()) return false;
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    Clipboard().Clear();
    return Clipboard().SetData(CF_TEXT, TClipboardData::FromBytes(std::move(bytes)));
}

std::string ClipboardText() {
    TClipboardOpen open;
    if (!open.IsOpen()) return {};
    TClipboardData data = Clipboard().GetData(CF_TEXT);
    if (!data.Bytes) return {};
    const std::vector<uint8_t>& bytes = *data.Bytes;
    return std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), uint8_t{0}));
}

} // namespace platform
