#pragma once
// The GIF codec (subsystem 7): GIF87a/GIF89a writing and reading, colour reduction, dithering.
//
// The station's road: a bitmap drawn by the trend printer -> TGIFImage::Assign (web palette, nearest
// colour) -> SaveToStream / SaveToFile (LZW, 87a with a 256-entry local table).
//
// The implementation is split by concern: GifStructure.cpp (stream helpers, colour maps, header),
// GifLzwEncode.cpp, GifFrame.cpp, GifColorReduce.cpp, GifDither.cpp, GifLzwDecode.cpp, GifDib.cpp,
// GifImage.cpp (the image class) and GifExtensions.cpp.
//
// Damaged input never crashes the reader: a code above the next free code is damaged data (warning
// "Invalid GIF data", the partial frame kept, the decoder stack bounded); the bit reader never reads past
// its buffer; frame sizes are computed in 64 bits with pixel caps for loaded frames (GIFException "Image
// too large"); GetPixel checks Y; a minimum code size above 8 is refused ("Invalid GIF data"). SaveToFile
// writes "name.tmp" and renames it, so a failed save never leaves a truncated file.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Palette.h"

namespace gif {

using platform::TMemoryStream;
using platform::TStream;
using platform::gfx::Bitmap;
using platform::gfx::HPALETTE;
using platform::gfx::TColor;
using platform::gfx::TPixelFormat;
using platform::gfx::TRect;

// ---- enumerations (names and order are part of the interface) ----
enum TGIFVersion { gvUnknown, gv87a, gv89a };
enum TGIFSeverity { gsInfo, gsWarning, gsError };
enum TGIFDrawOption {
    goAsync,
    goTransparent,
    goAnimate,
    goLoop,
    goLoopContinously,
    goValidateCanvas,
    goDirectDraw,
    goClearOnLoop,
    goTile,
    goDither,
    goAutoDither
};
using TGIFDrawOptions = uint16_t; // bit = ordinal
constexpr TGIFDrawOptions DrawOption(TGIFDrawOption o) {
    return static_cast<TGIFDrawOptions>(1u << o);
}
enum TColorReduction {
    rmNone,
    rmWindows20,
    rmWindows256,
    rmWindowsGray,
    rmMonochrome,
    rmGrayScale,
    rmNetscape,
    rmQuantize,
    rmQuantizeWindows,
    rmPalette
};
enum TDitherMode { dmNearest, dmFloydSteinberg, dmStucki, dmSierra, dmJaJuNI, dmSteveArche, dmBurkes };
enum TGIFCompression { gcLZW, gcRLE };
enum TGIFOptimizeOption { ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors };
enum TDisposalMethod { dmNone, dmNoDisposal, dmBackground, dmPrevious };
enum TProgressStage { psStarting, psRunning, psEnding };

// ---- unit-wide settings ----
extern int GIFDelayExp;
extern int GIFDefaultDelay;
extern int GIFMinimumDelay;
extern int GIFMaximumDelay;
extern const char* const GIFVersions[3];
extern TGIFDrawOptions GIFImageDefaultDrawOptions;
extern TColorReduction GIFImageDefaultColorReduction;
extern int GIFImageDefaultColorReductionBits;
extern TDitherMode GIFImageDefaultDitherMode;
extern TGIFCompression GIFImageDefaultCompression;
extern int GIFImageDefaultAnimationSpeed;
extern bool DoAutoDither;
extern bool PaletteDevice;
extern bool GIFImageRenderOnLoad;
extern bool GIFImageOptimizeOnStream;
// the largest frame (in pixels) that loading accepts, and the most pixels of all frames of one load.
extern uint64_t GIFImageMaxFramePixels;
extern uint64_t GIFImageMaxTotalPixels;

// Every error of the codec.
class GIFException : public platform::Exception {
public:
    using platform::Exception::Exception;
    std::string ClassName() const override { return "GIFException"; }
};

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
    void Prepare();
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
    void DoSetBounds(int left, int top, int width, int height);

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
    void Assign(const TGIFSubImage& source);
    // The frame rendered as an 8-bit bitmap with the frame's palette (cached).
    const Bitmap& GetBitmap();
    bool HasBitmap() const { return bitmap_ != nullptr; }
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

    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    void Compress(TStream& stream);
    void Decompress(TStream& stream);

    TGIFLocalColorMap ColorMap;
    TGIFExtensionList Extensions;
    bool Transparent = false;
    TGIFGraphicControlExtension* GraphicControlExtension = nullptr;

private:
    void DoGetBitmap();
    void DoGetDitherBitmap();
    void TransparencyFromMask(const std::vector<uint8_t>& mask);

    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    uint8_t packedFields_ = 0;
    std::vector<uint8_t> data_;
    std::unique_ptr<Bitmap> bitmap_;
    std::vector<uint8_t> mask_;
    bool needMask_ = true;
    HPALETTE palette_;
};

class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFSubImage* Image(int index) const { return static_cast<TGIFSubImage*>(Item(index)); }
    void LoadFromStream(TStream& stream, void* parent) override;
};

// ---- the image ----
class TGIFImage {
public:
    TGIFImage();
    virtual ~TGIFImage();
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    void Clear();
    void NewImage() { Clear(); }
    // A bitmap becomes a new frame; returns its index.
    int Add(Bitmap& source);
    int Add(std::unique_ptr<TGIFSubImage> frame);
    void Assign(Bitmap* source);
    void Assign(const TGIFImage* source);
    // Renders the first frame into dest.
    void AssignTo(Bitmap& dest);

    void SaveToStream(TStream& stream);
    void LoadFromStream(TStream& stream);
    // Written to fileName + ".tmp" and renamed, so that a failed save never leaves a truncated file.
    void SaveToFile(const std::string& fileName);
    void LoadFromFile(const std::string& fileName);
    void WriteData(TStream& stream);

    bool Empty() const { return Images.Count() == 0; }
    int Width() const { return Header.ScreenWidth; }
    int Height() const { return Header.ScreenHeight; }
    void SetWidth(int value);
    void SetHeight(int value);
    bool IsTransparent() const;
    TGIFVersion Version() const;
    int ColorResolution() const;
    int BitsPerPixel() const;
    int BackgroundColorIndex() const { return Header.BackgroundColorIndex; }
    void SetBackgroundColorIndex(int i) { Header.SetBackgroundColorIndex(i); }
    TColor BackgroundColor() { return Header.GetBackgroundColor(); }
    void SetBackgroundColor(TColor c) { Header.SetBackgroundColor(c); }
    uint8_t AspectRatio() const { return Header.AspectRatio; }
    void SetAspectRatio(uint8_t v) { Header.AspectRatio = v; }
    TGIFColorMap& GlobalColorMap() { return Header.ColorMap; }

    TGIFDrawOptions DrawOptions() const { return drawOptions_; }
    void SetDrawOptions(TGIFDrawOptions v);
    int AnimationSpeed() const { return animationSpeed_; }
    void SetAnimationSpeed(int v);
    int ReductionBits() const { return reductionBits_; }
    void SetReductionBits(int v);
    bool DoDither() const;
    const Bitmap& GetBitmap();
    HPALETTE GetPalette();
    void SetPalette(HPALETTE palette);
    void Pack();
    void FreeBitmap() { bitmap_.reset(); }

    virtual void Warning(void* sender, TGIFSeverity severity, const std::string& message);
    void Progress(TProgressStage stage, int percent, const std::string& text);
    void Changed();

    TColorReduction ColorReduction = rmNetscape;
    TDitherMode DitherMode = dmNearest;
    TGIFCompression Compression = gcLZW;
    TColor DrawBackgroundColor = platform::gfx::clNone;
    std::function<void(void* sender, TGIFSeverity, const std::string&)> OnWarning;
    std::function<void(TProgressStage, int percent, const std::string& text)> OnProgress;
    std::function<void()> OnChange;

    TGIFHeader Header;
    TGIFImageList Images;

private:
    TGIFDrawOptions drawOptions_;
    int reductionBits_;
    int animationSpeed_;
    std::unique_ptr<Bitmap> bitmap_;
    HPALETTE globalPalette_;
    bool inGetPalette_ = false;
};

// ---- LZW / RLE encoders ----
using TWarningSink = std::function<void(TGIFSeverity, const std::string&)>;

// Sub-block writer: bytes in, 255-byte sub-blocks out.
class TGIFWriter {
public:
    explicit TGIFWriter(TStream& target) : target_(target) {}
    void Write(const void* buffer, size_t count);
    void WriteByte(uint8_t b) {
        buffer_[count_++] = b;
        pending_ = true;
        if (count_ == 256) Flush();
    }
    // Writes the pending sub-block, if any (also done by the encoder at the end).
    void Flush();

private:
    TStream& target_;
    uint8_t buffer_[256] = {};
    int count_ = 1;
    bool pending_ = false;
};

class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;
    void Encode(TStream& stream, int bitsPerPixel, int width, int height, bool interlace, const uint8_t* data,
                int maxColor);
    TWarningSink OnWarning;

protected:
    virtual void Output(int code);
    virtual void Clear();
    virtual void Compress() = 0;
    // Pixel scan: true while pixels remain; NextPixel fetches the next one.
    bool HasPixel() const { return pixel_ != nullptr; }
    int TakePixel();

    int maxColor_ = 0;
    int bitsPerPixel_ = 0;
    int width_ = 0, height_ = 0;
    bool interlace_ = false;
    const uint8_t* data_ = nullptr;
    TGIFWriter* writer_ = nullptr;
    uint32_t outputBucket_ = 0;
    int outputBits_ = 0;
    bool clearFlag_ = false;
    int bitsPerCode_ = 0, initialBitsPerCode_ = 0;
    int maxCode_ = 0, clearCode_ = 0, eofCode_ = 0, baseCode_ = 0;
    const uint8_t* pixel_ = nullptr;
    int64_t countdown_ = 0;
    int row_ = 0, pass_ = 0;
};

// The (prefix, pixel) -> code map of the LZW encoder: open addressing over 16384 entries; an entry
// holds key << 12 | code, 0xFFFFFFFF is free.
class THashTable {
public:
    THashTable() { Clear(); }
    void Clear();
    void Insert(uint32_t key, int code);
    int Lookup(uint32_t key) const;

private:
    static constexpr uint32_t kSize = 16384;
    std::vector<uint32_t> table_ = std::vector<uint32_t>(kSize);
};

class TLZWEncoder : public TGIFEncoder {
protected:
    void Output(int code) override;
    void Clear() override;
    void Compress() override;

private:
    int prefix_ = 0;
    int freeEntry_ = 0;
    THashTable hash_;
};

class TRLEEncoder : public TGIFEncoder {
protected:
    void Clear() override;
    void Compress() override;

private:
    void OutputPlain(int code);
    void FlushRun(int count);
    void FlushFromClear(int count);
    void FlushClearOrRepeat(int count);
    void FlushWithTable(int count);
    void ResetOutClear();
    int maxOutCodes_ = 0, outBumpInit_ = 0, outClearInit_ = 0, runPixel_ = 0, runTableMax_ = 0,
        runTablePixel_ = 0, outCount_ = 0, outClear_ = 0, outBump_ = 0;
};

int ISqrt(int x);
int TriangleCount(int count, int nrepcodes);

// ---- colour reduction ----
class TColorLookup {
public:
    explicit TColorLookup(int colors) : Colors(colors) {}
    virtual ~TColorLookup() = default;
    virtual uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) = 0;
    int Colors;
};

class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const HPALETTE& palette);
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;

private:
    std::vector<platform::gfx::PaletteEntry> entries_;
    std::vector<uint16_t> inverse_;
};

class TNetscapeColorLookup : public TColorLookup {
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;
};

class TGrayScaleLookup : public TColorLookup {
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;
};

class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup() : TColorLookup(2) {}
    uint8_t Lookup(int red, int green, int blue, int& r, int& g, int& b) override;
};

HPALETTE WebPalette();
HPALETTE GrayScalePalette();
HPALETTE MonochromePalette();
HPALETTE WindowsGrayPalette();
// Octree palette for one bitmap (read at 24 bits) or many; Windows = reserve the 20 system colours.
HPALETTE CreateOptimizedPalette(Bitmap& bitmap, int colors, int colorBits, bool windows);
HPALETTE CreateOptimizedPaletteFromManyBitmaps(const std::vector<Bitmap*>& bitmaps, int colors, int colorBits,
                                               bool windows);
// A new 8-bit bitmap on the chosen palette (or a 24-bit copy for rmNone). The source is switched to
// 24 bits per pixel (as the original DIB reader does).
std::unique_ptr<Bitmap> ReduceColors(Bitmap& bitmap, TColorReduction reduction, TDitherMode dither,
                                     int reductionBits, const HPALETTE& customPalette);

// ---- dithering ----
class TDitherEngine {
public:
    TDitherEngine(int width, TColorLookup* lookup) : Width(width), Lookup(lookup) {}
    virtual ~TDitherEngine() = default;
    virtual uint8_t Dither(int red, int green, int blue, int& r, int& g, int& b);
    virtual void NextLine();
    int Direction = 1;
    int Column = 0;
    int Width;
    TColorLookup* Lookup;
};

// One table-driven error-diffusion engine; each dithering class is a matrix of it.
class TErrorDiffusionDitherer : public TDitherEngine {
public:
    struct Tap {
        int Row;    // 0 = current row
        int Offset; // relative to the direction of travel
        int Weight;
    };
    TErrorDiffusionDitherer(int width, TColorLookup* lookup, std::vector<Tap> taps, int divisor,
                            int rounding);
    uint8_t Dither(int red, int green, int blue, int& r, int& g, int& b) override;
    void NextLine() override;

private:
    std::vector<Tap> taps_;
    int divisor_, rounding_, pad_, rows_;
    std::vector<std::vector<int32_t>> err_[3]; // [component][row][column + pad]
};

class TFloydSteinbergDitherer : public TErrorDiffusionDitherer {
public:
    TFloydSteinbergDitherer(int width, TColorLookup* lookup);
};
class TStuckiDitherer : public TErrorDiffusionDitherer {
public:
    TStuckiDitherer(int width, TColorLookup* lookup);
};
class TSierraDitherer : public TErrorDiffusionDitherer {
public:
    TSierraDitherer(int width, TColorLookup* lookup);
};
class TJaJuNiDitherer : public TErrorDiffusionDitherer {
public:
    TJaJuNiDitherer(int width, TColorLookup* lookup);
};
class TSteveArcheDitherer : public TErrorDiffusionDitherer {
public:
    TSteveArcheDitherer(int width, TColorLookup* lookup);
};
class TBurkesDitherer : public TErrorDiffusionDitherer {
public:
    TBurkesDitherer(int width, TColorLookup* lookup);
};

// The engine for a dither mode; null for a mode outside the enumeration.
std::unique_ptr<TDitherEngine> CreateDitherer(TDitherMode mode, int width, TColorLookup* lookup);

// ---- DIB access ----
int AlignBit(int bits, int bitsPerPixel, int alignment);

class TDIBReader {
public:
    // Switches the bitmap to the pixel format.
    TDIBReader(Bitmap& bitmap, TPixelFormat format);
    const uint8_t* GetScanline(int row) const { return bitmap_.ScanLine(row); }

private:
    Bitmap& bitmap_;
};

// Builds a bottom-up DIB (8 bits with a 256-entry colour table, or 24 bits) and hands it to the bitmap on
// Finish (or destruction): row 0 of GetScanline is the top row of the result.
class TDIBWriter {
public:
    TDIBWriter(Bitmap& bitmap, HPALETTE palette, int width, int height, TPixelFormat format);
    ~TDIBWriter();
    uint8_t* GetScanline(int row);
    int RowBytes() const { return rowBytes_; }
    // The 256-entry colour table (blue, green, red, 0) of an 8-bit DIB.
    const std::vector<uint8_t>& ColorTable() const { return colorTable_; }
    void Finish();

private:
    void Build();
    Bitmap& bitmap_;
    HPALETTE palette_;
    int width_, height_, bits_;
    int rowBytes_ = 0;
    std::vector<uint8_t> colorTable_;
    std::vector<uint8_t> dib_;
    bool built_ = false;
};

} // namespace gif
