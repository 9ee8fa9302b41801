#pragma once
// The blocks of a GIF file as the codec keeps them: the item and list bases, the colour maps, the
// header with the logical screen, the trailer, the extensions and the frames. Internal to gif/: users
// of the codec include gif/GIFImage.h.
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "gif/GIFImage.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Palette.h"

namespace gif {

using platform::gfx::TPixelFormat;
using platform::gfx::TRect;

// ---- unit-wide settings ----
// Frame delays of the animation painter: milliseconds per delay unit, the delay of a frame without one,
// and the bounds of a delay.
extern int GIFDelayExp;
extern int GIFDefaultDelay;
extern int GIFMinimumDelay;
extern int GIFMaximumDelay;
// The version text written after "GIF", by TGIFVersion.
extern const char* const GIFVersions[3];
// Whether the screen is a palette device, and whether goAutoDither then dithers. Headless: no.
extern bool DoAutoDither;
extern bool PaletteDevice;

struct TGIFColor {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

struct TUsageCount {
    int Count = 0;
    int Index = 0;
};

// Bytes that a plain resize leaves unset: the pixels of a frame converted from a bitmap are each written
// once, without zeroing them first.
template <class T> struct TUnsetAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = TUnsetAllocator<U>; };
    TUnsetAllocator() = default;
    template <class U> TUnsetAllocator(const TUnsetAllocator<U>&) noexcept {}
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using TPixelBytes = std::vector<uint8_t, TUnsetAllocator<uint8_t>>;

class TGIFImage;
class TGIFSubImage;
class TGIFExtension;
class TGIFGraphicControlExtension;

// ---- stream helpers ----
void WriteByte(TStream& s, uint8_t v);
// -1 at the end of the stream.
int ReadByte(TStream& s);
// Reads exactly size bytes; fewer is GIFException "Premature end of data".
void ReadCheck(TStream& s, void* buffer, size_t size);
void WriteStrings(TStream& s, const std::vector<std::string>& lines);
void ReadStrings(TStream& s, std::vector<std::string>& lines);
void WriteWord(TStream& s, uint16_t v);
// Writes the whole buffer.
void WriteBytes(TStream& s, const std::vector<uint8_t>& bytes);

// ---- items and lists ----
class TGIFItem {
public:
    explicit TGIFItem(TGIFImage* image) : image_(image) {}
    virtual ~TGIFItem() = default;
    TGIFItem(const TGIFItem&) = delete;
    TGIFItem& operator=(const TGIFItem&) = delete;

    virtual TGIFVersion GetVersion() const { return gv87a; }
    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void SaveToStream(TStream& stream) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    void SaveToFile(const std::string& fileName);
    void LoadFromFile(const std::string& fileName);
    TGIFImage* Image() const { return image_; }

protected:
    TGIFImage* image_;
};

class TGIFList {
public:
    explicit TGIFList(TGIFImage* image) : image_(image) {}
    virtual ~TGIFList() { Clear(); }
    TGIFList(const TGIFList&) = delete;
    TGIFList& operator=(const TGIFList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    TGIFItem* Item(int index) const;
    // Puts item at index in place of the item there, which is freed as Delete frees it.
    virtual void SetItem(int index, std::unique_ptr<TGIFItem> item);
    int Add(std::unique_ptr<TGIFItem> item);
    void Insert(int index, std::unique_ptr<TGIFItem> item);
    void Delete(int index);
    void Clear();
    void Exchange(int a, int b);
    void Move(int from, int to);
    TGIFItem* First() const { return items_.empty() ? nullptr : items_.front().get(); }
    TGIFItem* Last() const { return items_.empty() ? nullptr : items_.back().get(); }
    int IndexOf(const TGIFItem* item) const;
    // Removes without freeing: the caller takes the item.
    std::unique_ptr<TGIFItem> Remove(TGIFItem* item);

    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream, void* parent) = 0;
    TGIFImage* Image() const { return image_; }

protected:
    TGIFImage* image_;
    std::vector<std::unique_ptr<TGIFItem>> items_;
};

// ---- colour maps ----
class TGIFColorMap {
public:
    TGIFColorMap() = default;
    virtual ~TGIFColorMap() = default;
    TGIFColorMap(const TGIFColorMap&) = delete;
    TGIFColorMap& operator=(const TGIFColorMap&) = delete;

    void Clear();
    static TGIFColor Color2RGB(TColor color);
    static TColor RGB2Color(const TGIFColor& c);

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    bool Optimized() const { return optimized_; }
    void SetOptimized(bool v) { optimized_ = v; }
    const TGIFColor* Data() const { return data_.data(); }

    int IndexOf(TColor color) const;
    void SetCapacity(int size);
    int Add(TColor color);
    int AddUnique(TColor color);
    void Delete(int index);
    TColor GetColor(int index);
    void SetColor(int index, TColor color);
    int GetBitsPerPixel() const;
    void ImportPalette(const HPALETTE& palette);
    void ImportColorMap(const TGIFColor* map, int count);
    // Four-byte DIB colour-table entries (blue, green, red, reserved).
    void ImportColorTable(const uint8_t* table, int count);
    // The colour table of the bitmap the canvas draws on, as a DIB of its format holds it: its palette
    // (or the format's default) up to 2^bits entries; none for a bitmap of more than 8 bits a pixel.
    void ImportDIBColors(platform::gfx::Canvas& canvas);
    HPALETTE ExportPalette() const;
    void SaveToStream(TStream& stream) const;
    void LoadFromStream(TStream& stream, int count);
    void Assign(const TGIFColorMap& source);
    bool DoOptimize();
    // Sets Count directly (used by DoOptimize and tests).
    void SetCount(int count) { count_ = count; }
    TGIFColor& Entry(int i) { return data_[static_cast<size_t>(i)]; }

    virtual void Warning(TGIFSeverity severity, const std::string& message) = 0;
    virtual void BuildHistogram(std::vector<TUsageCount>& histogram) = 0;
    virtual void MapImages(const std::vector<int>& map) = 0;
    virtual bool Optimize() = 0;
    virtual void Changed() = 0;

protected:
    std::vector<TGIFColor> data_;
    int count_ = 0;
    int capacity_ = 0;
    bool optimized_ = false;
};

class TGIFHeader;

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader* header) : header_(header) {}
    void Warning(TGIFSeverity severity, const std::string& message) override;
    void BuildHistogram(std::vector<TUsageCount>& histogram) override;
    void MapImages(const std::vector<int>& map) override;
    bool Optimize() override;
    void Changed() override;

private:
    TGIFHeader* header_;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage* frame) : frame_(frame) {}
    void Warning(TGIFSeverity severity, const std::string& message) override;
    void BuildHistogram(std::vector<TUsageCount>& histogram) override;
    void MapImages(const std::vector<int>& map) override;
    bool Optimize() override;
    void Changed() override;

private:
    TGIFSubImage* frame_;
};

// ---- header and trailer ----
class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage* image);
    void Clear();
    void Assign(const TGIFHeader& source);
    void Assign(const TGIFColorMap& source);
    TGIFVersion GetVersion() const override;
    int GetBitsPerPixel() const { return ColorMap.GetBitsPerPixel(); }
    int GetColorResolution() const { return ColorMap.GetBitsPerPixel() - 1; }
    TColor GetBackgroundColor() { return ColorMap.GetColor(BackgroundColorIndex); }
    void SetBackgroundColor(TColor color) { SetBackgroundColorIndex(ColorMap.AddUnique(color)); }
    void SetBackgroundColorIndex(int index);
    // Stores the packed field the header is written with (ScreenPackedFields).
    void Prepare();
    // Signature, logical screen descriptor and global colour table (gif/GifSections.h).
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    uint16_t ScreenWidth = 0;
    uint16_t ScreenHeight = 0;
    uint8_t PackedFields = 0;
    uint8_t BackgroundColorIndex = 0;
    uint8_t AspectRatio = 0;
    TGIFGlobalColorMap ColorMap;
};

class TGIFTrailer : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
};

// ---- extensions ----
class TGIFExtensionList : public TGIFList {
public:
    TGIFExtensionList(TGIFImage* image, TGIFSubImage* frame) : TGIFList(image), frame_(frame) {}
    TGIFExtension* Extension(int index) const;
    void SetExtension(int index, std::unique_ptr<TGIFExtension> extension);
    // When the frame's graphic control extension is the one replaced, the frame takes its
    // transparency from the first one the list still holds.
    void SetItem(int index, std::unique_ptr<TGIFItem> item) override;
    // parent: the owning TGIFSubImage.
    void LoadFromStream(TStream& stream, void* parent) override;

private:
    TGIFSubImage* frame_;
};

using TGIFExtensionFactory = std::function<std::unique_ptr<TGIFExtension>(TGIFSubImage*)>;

// An extension class as the registries know it: an id for look-ups and a factory.
struct TGIFExtensionClass {
    std::string Name;
    TGIFExtensionFactory Create;
    // FindSubExtension: given the stream just after the label, the refined class (or itself).
    std::function<const TGIFExtensionClass*(TStream&)> FindSub;
};

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage* frame);
    ~TGIFExtension() override = default;
    TGIFVersion GetVersion() const override { return gv89a; }
    virtual uint8_t GetExtensionType() const = 0;
    TGIFSubImage* Frame() const { return frame_; }

    // Registry of label bytes (last registration wins).
    static void RegisterExtension(uint8_t label, const TGIFExtensionClass* cls);
    // The class for the block whose label is at the stream's position (the introducer already read),
    // or null; the stream position is unchanged.
    static const TGIFExtensionClass* FindExtension(TStream& stream);

protected:
    void SaveHeader(TStream& stream) const;
    void LoadHeader(TStream& stream) const;
    TGIFSubImage* frame_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    explicit TGIFGraphicControlExtension(TGIFSubImage* frame);
    ~TGIFGraphicControlExtension() override;
    uint8_t GetExtensionType() const override { return 0xF9; }
    static const TGIFExtensionClass* Class();

    bool Transparent() const { return Packed & 0x01; }
    void SetTransparent(bool v);
    bool UserInput() const { return Packed & 0x02; }
    void SetUserInput(bool v) { Packed = static_cast<uint8_t>(v ? (Packed | 0x02) : (Packed & ~0x02)); }
    TDisposalMethod Disposal() const { return static_cast<TDisposalMethod>((Packed >> 2) & 7); }
    void SetDisposal(TDisposalMethod d) { Packed = static_cast<uint8_t>((Packed & ~0x1C) | ((d & 7) << 2)); }
    uint16_t Delay = 0;
    uint8_t TransparentColorIndex() const { return TransparentIndex; }
    void SetTransparentColorIndex(int index);
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);

    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    uint8_t BlockSize = 4;
    uint8_t Packed = 0;
    uint8_t TransparentIndex = 0;
    uint8_t Terminator = 0;
};

class TGIFTextExtension : public TGIFExtension {
public:
    explicit TGIFTextExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
    uint8_t GetExtensionType() const override { return 0x01; }
    static const TGIFExtensionClass* Class();
    int GetBounds(int index) const;
    void SetBounds(int index, int value);
    TColor ForegroundColor() const;
    void SetForegroundColor(TColor c);
    TColor BackgroundColor() const;
    void SetBackgroundColor(TColor c);
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    uint8_t BlockSize = 12;
    uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint8_t CharWidth = 0, CharHeight = 0;
    uint8_t ForegroundColorIndex = 0, BackgroundColorIndex = 0;
    std::vector<std::string> Text;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    explicit TGIFCommentExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
    uint8_t GetExtensionType() const override { return 0xFE; }
    static const TGIFExtensionClass* Class();
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    std::vector<std::string> Text;
};

class TGIFApplicationExtension : public TGIFExtension {
public:
    explicit TGIFApplicationExtension(TGIFSubImage* frame);
    uint8_t GetExtensionType() const override { return 0xFF; }
    static const TGIFExtensionClass* Class();
    std::string Identifier() const { return std::string(reinterpret_cast<const char*>(Record), 8); }
    void SetIdentifier(const std::string& v);
    std::string Authentication() const { return std::string(reinterpret_cast<const char*>(Record + 8), 3); }
    void SetAuthentication(const std::string& v);
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    virtual void SaveData(TStream& stream) = 0;
    virtual void LoadData(TStream& stream) = 0;

    // Registry of 11-byte application records (last registration wins).
    static void RegisterExtension(const std::string& record11, const TGIFExtensionClass* cls);
    // FindSubExtension of the application classes (stream just after the label).
    static const TGIFExtensionClass* FindAppSubExtension(TStream& stream, const TGIFExtensionClass* self);

    uint8_t Record[11] = {};
    uint8_t RecordSize = 11; // 10 for an old record read from a file
};

class TGIFBlock {
public:
    explicit TGIFBlock(int size) : Data(static_cast<size_t>(size), 0) {}
    int Size() const { return static_cast<int>(Data.size()); }
    std::vector<uint8_t> Data;
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    explicit TGIFUnknownAppExtension(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {}
    static const TGIFExtensionClass* Class();
    void SaveData(TStream& stream) override;
    void LoadData(TStream& stream) override;
    std::vector<TGIFBlock> Blocks;
};

class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage* frame);
    static const TGIFExtensionClass* Class();
    void SaveData(TStream& stream) override;
    void LoadData(TStream& stream) override;
    uint16_t Loops = 0;
    uint32_t BufferSize = 0;
};

// ---- frames ----
class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage* image);
    ~TGIFSubImage() override;

    void Clear();
    bool Empty() const;
    void NewImage();
    void FreeImage();
    void NeedImage();

    // Bounds by index: 1 Left, 2 Top, 3 Width, 4 Height.
    int GetBounds(int index) const;
    void SetBounds(int index, int value);
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(1, v); }
    void SetTop(int v) { SetBounds(2, v); }
    void SetWidth(int v) { SetBounds(3, v); }
    void SetHeight(int v) { SetBounds(4, v); }
    TRect GetBoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    void SetBoundsRect(const TRect& r);
    TRect GetClientRect() const { return {0, 0, width_, height_}; }
    void DoSetBounds(int left, int top, int width, int height) {
        DoSetBounds(left, top, width, height, true);
    }

    uint8_t GetPixel(int x, int y) const;
    uint8_t* GetScanline(int y);
    uint8_t* Data() { return data_.data(); }
    const uint8_t* Data() const { return data_.data(); }
    size_t DataSize() const { return data_.size(); }

    bool Interlaced() const { return packedFields_ & 0x40; }
    void SetInterlaced(bool v) {
        packedFields_ = static_cast<uint8_t>(v ? (packedFields_ | 0x40) : (packedFields_ & ~0x40));
    }
    uint8_t PackedFields() const { return packedFields_; }
    void SetPackedFields(uint8_t v) { packedFields_ = v; }

    TGIFColorMap& ActiveColorMap();
    const TGIFColorMap& ActiveColorMap() const;
    int GetColorResolution() const { return ColorMap.GetBitsPerPixel() - 1; }
    int GetBitsPerPixel() const { return ColorMap.GetBitsPerPixel(); }
    TGIFVersion GetVersion() const override;

    // Conversion from a bitmap; the source may be switched to 24 bits per pixel.
    void Assign(Bitmap& source);
    // Conversion from any graphic: a bitmap graphic as its bitmap (transparent when the graphic is), a
    // GIF image as its rendered bitmap, others drawn at their size on black. An icon's mask becomes the
    // frame's transparency.
    void Assign(platform::gfx::TGraphic& source);
    void Assign(const TGIFSubImage& source);
    // The frame rendered as an 8-bit bitmap with the frame's palette (cached).
    const Bitmap& GetBitmap();
    bool HasBitmap() const { return bitmap_ != nullptr; }
    // true renders the frame now, false drops its rendering.
    void SetHasBitmap(bool value);
    // The frame becomes the bitmap's picture, as Assign makes it.
    void SetBitmap(Bitmap& bitmap);
    // dest takes the frame's rendering.
    void AssignTo(Bitmap& dest) { dest.Assign(GetBitmap()); }
    // An empty bitmap in place of the rendering: what a rendering is built in.
    void NewBitmap();
    void FreeBitmap();
    void FreeMask();
    bool HasMask();
    // The transparency mask of the last rendering: one byte per pixel, 1 = transparent.
    const std::vector<uint8_t>& Mask() const { return mask_; }
    HPALETTE GetPalette();
    void SetPalette(HPALETTE palette);

    TRect ScaleRect(const TRect& r) const;
    void Draw(platform::gfx::Canvas& canvas, const TRect& rect, bool doTransparent, bool doTile);
    void StretchDraw(platform::gfx::Canvas& canvas, const TRect& rect, bool doTransparent, bool doTile);
    void Crop();
    void Merge(TGIFSubImage* previous);

    // Extensions, image descriptor, local colour table and image data (gif/GifSections.h); the frame
    // itself is left as it was.
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    // The image data block, in the row order the descriptor is written with.
    void Compress(TStream& stream) const;
    void Decompress(TStream& stream);

    TGIFLocalColorMap ColorMap;
    TGIFExtensionList Extensions;
    bool Transparent = false;
    TGIFGraphicControlExtension* GraphicControlExtension = nullptr;

private:
    // A new size makes zeroed pixels, or none yet where the caller makes and writes them all.
    void DoSetBounds(int left, int top, int width, int height, bool zeroed);
    void DoGetBitmap();
    void DoGetDitherBitmap();
    // Pixels whose mask byte is set become one transparent index: a black entry added to the colour
    // map, or, when the map is full, an entry that no other pixel uses.
    void TransparencyFromMask(const std::vector<uint8_t>& mask);

    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    uint8_t packedFields_ = 0;
    TPixelBytes data_;
    std::unique_ptr<Bitmap> bitmap_;
    std::vector<uint8_t> mask_;
    bool needMask_ = true;
    HPALETTE palette_;
};

class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFSubImage* Image(int index) const { return static_cast<TGIFSubImage*>(Item(index)); }
    // The replaced frame is freed.
    void SetImage(int index, std::unique_ptr<TGIFSubImage> frame) { SetItem(index, std::move(frame)); }
    void LoadFromStream(TStream& stream, void* parent) override;
};

} // namespace gif
