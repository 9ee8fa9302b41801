// GIF file structure - stream helpers, item and list bases, colour maps, header, trailer.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "gif/GifItems.h"
#include "gif/GifSections.h"

namespace gif {

// ---- stream helpers ----

void WriteByte(TStream& s, uint8_t v) {
    s.Write(&v, 1);
}

int ReadByte(TStream& s) {
    uint8_t b;
    return s.Read(&b, 1) == 1 ? b : -1;
}

void ReadCheck(TStream& s, void* buffer, size_t size) {
    if (s.Read(buffer, size) != size) throw GIFException("Premature end of data");
}

void WriteWord(TStream& s, uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    s.Write(b, 2);
}

void WriteBytes(TStream& s, const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) s.Write(bytes.data(), bytes.size());
}

void WriteStrings(TStream& s, const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        size_t pos = 0;
        while (pos < line.size()) {
            size_t n = std::min<size_t>(255, line.size() - pos);
            WriteByte(s, static_cast<uint8_t>(n));
            s.Write(line.data() + pos, n);
            pos += n;
        }
    }
    WriteByte(s, 0);
}

void ReadStrings(TStream& s, std::vector<std::string>& lines) {
    lines.clear();
    for (;;) {
        int n = ReadByte(s);
        if (n <= 0) return;
        std::string line(static_cast<size_t>(n), '\0');
        size_t got = s.Read(line.data(), line.size());
        line.resize(got);
        lines.push_back(line);
        if (got < static_cast<size_t>(n)) return;
    }
}

// ---- TGIFItem ----

void TGIFItem::Warning(TGIFSeverity severity, const std::string& message) {
    if (image_) image_->Warning(this, severity, message);
}

void TGIFItem::SaveToFile(const std::string& fileName) {
    TMemoryStream m;
    SaveToStream(m);
    if (!m.SaveToFile(fileName)) throw GIFException("Cannot create file " + fileName);
}

void TGIFItem::LoadFromFile(const std::string& fileName) {
    TMemoryStream m;
    if (!m.LoadFromFile(fileName)) throw GIFException("Cannot open file " + fileName);
    m.SetPosition(0);
    LoadFromStream(m);
}

// ---- TGIFList ----

TGIFItem* TGIFList::Item(int index) const {
    if (index < 0 || index >= Count()) throw GIFException("List index out of bounds");
    return items_[static_cast<size_t>(index)].get();
}

void TGIFList::SetItem(int index, std::unique_ptr<TGIFItem> item) {
    Item(index);
    if (!item) throw GIFException("Object type not supported for operation");
    // Freed once the new item stands in its place: what its destructor undoes in its frame then sees
    // the list as it now is.
    std::unique_ptr<TGIFItem> replaced = std::exchange(items_[static_cast<size_t>(index)], std::move(item));
}

int TGIFList::Add(std::unique_ptr<TGIFItem> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
}

void TGIFList::Insert(int index, std::unique_ptr<TGIFItem> item) {
    if (index < 0 || index > Count()) throw GIFException("List index out of bounds");
    items_.insert(items_.begin() + index, std::move(item));
}

void TGIFList::Delete(int index) {
    if (index < 0 || index >= Count()) throw GIFException("List index out of bounds");
    auto item = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    item.reset();
}

void TGIFList::Clear() {
    while (!items_.empty())
        Delete(0);
}

void TGIFList::Exchange(int a, int b) {
    Item(a);
    Item(b);
    std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void TGIFList::Move(int from, int to) {
    Item(from);
    Item(to);
    auto item = std::move(items_[static_cast<size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
}

int TGIFList::IndexOf(const TGIFItem* item) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)].get() == item) return i;
    return -1;
}

std::unique_ptr<TGIFItem> TGIFList::Remove(TGIFItem* item) {
    int i = IndexOf(item);
    if (i < 0) return nullptr;
    auto p = std::move(items_[static_cast<size_t>(i)]);
    items_.erase(items_.begin() + i);
    return p;
}

void TGIFList::Warning(TGIFSeverity severity, const std::string& message) {
    if (image_) image_->Warning(this, severity, message);
}

void TGIFList::SaveToStream(TStream& stream) {
    for (auto& item : items_)
        item->SaveToStream(stream);
}

// ---- TGIFColorMap ----

void TGIFColorMap::Clear() {
    data_.clear();
    count_ = 0;
    capacity_ = 0;
    optimized_ = false;
}

TGIFColor TGIFColorMap::Color2RGB(TColor c) {
    return {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>((c >> 8) & 0xFF),
            static_cast<uint8_t>((c >> 16) & 0xFF)};
}

TColor TGIFColorMap::RGB2Color(const TGIFColor& c) {
    return platform::gfx::RGB(c.Red, c.Green, c.Blue);
}

int TGIFColorMap::IndexOf(TColor color) const {
    TGIFColor c = Color2RGB(color);
    if (optimized_) {
        for (int i = 0; i < count_; ++i)
            if (data_[static_cast<size_t>(i)] == c) return i;
    } else {
        for (int i = count_ - 1; i >= 0; --i)
            if (data_[static_cast<size_t>(i)] == c) return i;
    }
    return -1;
}

void TGIFColorMap::SetCapacity(int size) {
    if (size >= capacity_) {
        capacity_ = size <= 16 ? 16 : ((size + 31) / 32) * 32;
        if (capacity_ > 256) capacity_ = 256;
        data_.resize(static_cast<size_t>(capacity_));
    }
}

int TGIFColorMap::Add(TColor color) {
    if (count_ >= 256) throw GIFException("Color table overflow");
    if (count_ >= capacity_) SetCapacity(count_ + 1);
    data_[static_cast<size_t>(count_)] = Color2RGB(color);
    ++count_;
    optimized_ = false;
    Changed();
    return count_ - 1;
}

int TGIFColorMap::AddUnique(TColor color) {
    int i = IndexOf(color);
    return i >= 0 ? i : Add(color);
}

void TGIFColorMap::Delete(int index) {
    if (index < 0 || index >= count_) throw GIFException("Invalid color index");
    data_.erase(data_.begin() + index);
    data_.push_back({});
    --count_;
    optimized_ = false;
    Changed();
}

TColor TGIFColorMap::GetColor(int index) {
    if (index < 0 || index >= count_) {
        Warning(gsWarning, "Invalid color index");
        if (count_ == 0) throw GIFException("Color table is empty");
        index = 0;
    }
    return RGB2Color(data_[static_cast<size_t>(index)]);
}

void TGIFColorMap::SetColor(int index, TColor color) {
    if (index < 0 || index >= count_) throw GIFException("Invalid color index");
    data_[static_cast<size_t>(index)] = Color2RGB(color);
    Changed();
}

int TGIFColorMap::GetBitsPerPixel() const {
    if (count_ == 0) return 0;
    if (count_ <= 2) return 1;
    int n = 1;
    while ((1 << n) < count_)
        ++n;
    return n;
}

void TGIFColorMap::ImportPalette(const HPALETTE& palette) {
    Clear();
    if (!palette) return;
    int n = std::min(256, palette->Count());
    if (n == 0) return;
    SetCapacity(n);
    for (int i = 0; i < n; ++i) {
        const auto& e = (*palette)[i];
        data_[static_cast<size_t>(i)] = {e.peRed, e.peGreen, e.peBlue};
    }
    count_ = n;
    Changed();
}

void TGIFColorMap::ImportColorMap(const TGIFColor* map, int count) {
    Clear();
    count = std::clamp(count, 0, 256);
    SetCapacity(count);
    for (int i = 0; i < count; ++i)
        data_[static_cast<size_t>(i)] = map[i];
    count_ = count;
    Changed();
}

void TGIFColorMap::ImportColorTable(const uint8_t* table, int count) {
    Clear();
    count = std::clamp(count, 0, 256);
    SetCapacity(count);
    for (int i = 0; i < count; ++i)
        data_[static_cast<size_t>(i)] = {table[4 * i + 2], table[4 * i + 1], table[4 * i]};
    count_ = count;
    Changed();
}

void TGIFColorMap::ImportDIBColors(platform::gfx::Canvas& canvas) {
    const Bitmap& bitmap = canvas.Target();
    std::vector<uint8_t> table;
    if (bitmap.IsPaletted()) {
        HPALETTE palette = bitmap.GetPalette() ? bitmap.GetPalette()
                                               : platform::gfx::DefaultPaletteFor(bitmap.PixelFormat());
        const int n = palette ? std::min({palette->Count(), 1 << bitmap.BitsPerPixel(), 256}) : 0;
        for (int i = 0; i < n; ++i) {
            const auto& e = (*palette)[i];
            table.insert(table.end(), {e.peBlue, e.peGreen, e.peRed, 0});
        }
    }
    ImportColorTable(table.data(), static_cast<int>(table.size() / 4));
}

HPALETTE TGIFColorMap::ExportPalette() const {
    if (count_ == 0) return nullptr;
    std::vector<platform::gfx::PaletteEntry> e;
    for (int i = 0; i < count_; ++i) {
        const auto& c = data_[static_cast<size_t>(i)];
        e.push_back({c.Red, c.Green, c.Blue, platform::gfx::PC_NOCOLLAPSE});
    }
    return platform::gfx::MakePalette(std::move(e));
}

void TGIFColorMap::SaveToStream(TStream& stream) const {
    WriteBytes(stream, ColorTableBytes(*this));
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
    Clear();
    count = std::clamp(count, 0, 256);
    SetCapacity(count);
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 3);
    ReadCheck(stream, bytes.data(), bytes.size());
    for (int i = 0; i < count; ++i)
        data_[static_cast<size_t>(i)] = {bytes[static_cast<size_t>(3 * i)],
                                         bytes[static_cast<size_t>(3 * i + 1)],
                                         bytes[static_cast<size_t>(3 * i + 2)]};
    count_ = count;
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
    if (this == &source) return;
    capacity_ = source.capacity_;
    count_ = source.count_;
    optimized_ = source.optimized_;
    data_ = source.data_;
    Changed();
}

bool TGIFColorMap::DoOptimize() {
    if (count_ <= 1) return false;
    optimized_ = true;
    std::vector<TUsageCount> hist;
    BuildHistogram(hist);
    // Largest use first; a stable sort keeps equal counts in index order.
    std::stable_sort(hist.begin(), hist.end(),
                     [](const TUsageCount& a, const TUsageCount& b) { return a.Count > b.Count; });
    bool inOrder = true;
    for (int i = 0; i < static_cast<int>(hist.size()); ++i)
        if (hist[static_cast<size_t>(i)].Index != i) inOrder = false;
    if (inOrder) return true;
    std::vector<int> map(static_cast<size_t>(count_), 0);
    for (int i = 0; i < static_cast<int>(hist.size()); ++i)
        map[static_cast<size_t>(hist[static_cast<size_t>(i)].Index)] = i;
    MapImages(map);
    std::vector<TGIFColor> old(data_.begin(), data_.begin() + count_);
    for (int i = 0; i < count_; ++i)
        data_[static_cast<size_t>(map[static_cast<size_t>(i)])] = old[static_cast<size_t>(i)];
    for (int i = 0; i < static_cast<int>(hist.size()); ++i)
        if (hist[static_cast<size_t>(i)].Count == 0) {
            count_ = i;
            break;
        }
    Changed();
    return true;
}

// ---- global and local maps ----

void TGIFGlobalColorMap::Warning(TGIFSeverity severity, const std::string& message) {
    if (header_ && header_->Image()) header_->Image()->Warning(this, severity, message);
}

void TGIFGlobalColorMap::BuildHistogram(std::vector<TUsageCount>& h) {
    h.assign(static_cast<size_t>(count_), {});
    for (int i = 0; i < count_; ++i)
        h[static_cast<size_t>(i)] = {0, i};
    TGIFImage* img = header_ ? header_->Image() : nullptr;
    if (!img) return;
    for (int f = 0; f < img->Images.Count(); ++f) {
        TGIFSubImage* fr = img->Images.Image(f);
        if (&fr->ActiveColorMap() != this) continue;
        for (size_t i = 0; i < fr->DataSize(); ++i) {
            uint8_t p = fr->Data()[i];
            if (p < count_) h[p].Count++;
        }
    }
}

namespace {
// Moves a frame's pixels and its transparent index to the new colour indexes of its colour map.
void RemapFrame(TGIFSubImage& frame, const std::vector<int>& map) {
    for (size_t i = 0; i < frame.DataSize(); ++i) {
        uint8_t& p = frame.Data()[i];
        if (p < map.size()) p = static_cast<uint8_t>(map[p]);
    }
    if (frame.Transparent && frame.GraphicControlExtension) {
        uint8_t t = frame.GraphicControlExtension->TransparentIndex;
        if (t < map.size()) frame.GraphicControlExtension->TransparentIndex = static_cast<uint8_t>(map[t]);
    }
    frame.FreeBitmap();
}
} // namespace

void TGIFGlobalColorMap::MapImages(const std::vector<int>& map) {
    TGIFImage* img = header_ ? header_->Image() : nullptr;
    if (!img) return;
    for (int f = 0; f < img->Images.Count(); ++f) {
        TGIFSubImage* fr = img->Images.Image(f);
        if (&fr->ActiveColorMap() != this) continue;
        RemapFrame(*fr, map);
    }
}

bool TGIFGlobalColorMap::Optimize() {
    TGIFImage* img = header_ ? header_->Image() : nullptr;
    if (!img || img->Images.Count() == 0) return false;
    return DoOptimize();
}

void TGIFGlobalColorMap::Changed() {
    TGIFImage* img = header_ ? header_->Image() : nullptr;
    if (img) img->Changed();
}

void TGIFLocalColorMap::Warning(TGIFSeverity severity, const std::string& message) {
    if (frame_ && frame_->Image()) frame_->Image()->Warning(this, severity, message);
}

void TGIFLocalColorMap::BuildHistogram(std::vector<TUsageCount>& h) {
    h.assign(static_cast<size_t>(count_), {});
    for (int i = 0; i < count_; ++i)
        h[static_cast<size_t>(i)] = {0, i};
    if (!frame_) return;
    for (size_t i = 0; i < frame_->DataSize(); ++i) {
        uint8_t p = frame_->Data()[i];
        if (p < count_) h[p].Count++;
    }
}

void TGIFLocalColorMap::MapImages(const std::vector<int>& map) {
    if (frame_) RemapFrame(*frame_, map);
}

bool TGIFLocalColorMap::Optimize() {
    return DoOptimize();
}

void TGIFLocalColorMap::Changed() {
    if (frame_) frame_->SetPalette(nullptr);
}

// ---- header ----

TGIFHeader::TGIFHeader(TGIFImage* image) : TGIFItem(image), ColorMap(this) {
    Clear();
}

void TGIFHeader::Clear() {
    ColorMap.Clear();
    ScreenWidth = ScreenHeight = 0;
    PackedFields = BackgroundColorIndex = AspectRatio = 0;
}

void TGIFHeader::Assign(const TGIFHeader& source) {
    if (this == &source) return;
    ColorMap.Assign(source.ColorMap);
    ScreenWidth = source.ScreenWidth;
    ScreenHeight = source.ScreenHeight;
    PackedFields = source.PackedFields;
    BackgroundColorIndex = source.BackgroundColorIndex;
    AspectRatio = source.AspectRatio;
}

void TGIFHeader::Assign(const TGIFColorMap& source) {
    Clear();
    ColorMap.Assign(source);
}

TGIFVersion TGIFHeader::GetVersion() const {
    return (ColorMap.Optimized() || AspectRatio != 0) ? gv89a : gv87a;
}

void TGIFHeader::SetBackgroundColorIndex(int index) {
    if (ColorMap.Count() > 0 && (index < 0 || index >= ColorMap.Count())) {
        Warning(gsWarning, "Invalid color index");
        index = 0;
    }
    BackgroundColorIndex = static_cast<uint8_t>(index);
}

void TGIFHeader::Prepare() {
    PackedFields = ScreenPackedFields(*this);
}

void TGIFHeader::SaveToStream(TStream& stream) {
    WriteBytes(stream, SignatureBytes(image_ ? image_->Version() : GetVersion()));
    TGIFBytes screen = LogicalScreenBytes(*this);
    WriteBytes(stream, screen);
    if (screen[4] & 0x80) WriteBytes(stream, ColorTableBytes(ColorMap));
}

void TGIFHeader::LoadFromStream(TStream& stream) {
    int64_t pos = stream.Position();
    uint8_t sig[6];
    auto matches = [&]() {
        return std::toupper(sig[0]) == 'G' && std::toupper(sig[1]) == 'I' && std::toupper(sig[2]) == 'F';
    };
    ReadCheck(stream, sig, 6);
    if (!matches()) {
        stream.SetPosition(pos + 4);
        ReadCheck(stream, sig, 6);
        if (!matches()) throw GIFException("Invalid GIF signature");
    }
    uint8_t d[7];
    ReadCheck(stream, d, 7);
    ScreenWidth = static_cast<uint16_t>(d[0] | d[1] << 8);
    ScreenHeight = static_cast<uint16_t>(d[2] | d[3] << 8);
    PackedFields = d[4];
    BackgroundColorIndex = d[5];
    AspectRatio = d[6];
    if (PackedFields & 0x80) {
        int count = 2 << (PackedFields & 7);
        if (count < 2 || count > 256)
            throw GIFException("Invalid number of colors specified in Screen Descriptor");
        ColorMap.LoadFromStream(stream, count);
    } else {
        ColorMap.Clear();
    }
}

// ---- trailer ----

void TGIFTrailer::SaveToStream(TStream& stream) {
    WriteBytes(stream, TrailerBytes());
}

void TGIFTrailer::LoadFromStream(TStream& stream) {
    int b = ReadByte(stream);
    if (b >= 0 && b != ';') Warning(gsWarning, "Invalid Image trailer");
}

} // namespace gif
