#pragma once
// The GIF codec: GIF87a/GIF89a writing and reading, colour reduction, dithering. This header is what a
// user of the codec needs: create a TGIFImage, Assign a bitmap, SaveToStream or SaveToFile (or load one),
// with the conversion settings below. The file's blocks (header, frames, extensions, colour maps) are
// declared in gif/GifItems.h, the byte layout the writer produces in gif/GifSections.h, the encoders in
// gif/GifEncoder.h and colour reduction in gif/GifColorReduce.h.
//
// The station's road: a bitmap drawn by the trend printer -> TGIFImage::Assign (web palette, nearest
// colour) -> SaveToStream / SaveToFile (LZW, 87a with a 256-entry local table). Saving only computes
// bytes: it changes neither the image nor its frames, so saving twice writes the same file.
//
// Damaged input never crashes the reader: a code above the next free code is damaged data (warning
// "Invalid GIF data", the partial frame kept, the decoder stack bounded); the bit reader never reads past
// its buffer; frame sizes are computed in 64 bits and capped by LoadLimits (GIFException "Image too
// large"); GetPixel checks Y; a minimum code size above 8 is refused ("Invalid GIF data"). SaveToFile
// writes "name.tmp" and renames it, so a failed save never leaves a truncated file.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"
#include "platform/ThreadPriority.h"
#include "platform/graphics/Bitmap.h"
#include "platform/controls/Graphic.h"
#include "platform/graphics/Types.h"

namespace platform {
class TControl;
namespace gfx {
class Canvas;
}
} // namespace platform

namespace gif {

using platform::TMemoryStream;
using platform::TStream;
using platform::gfx::Bitmap;
using platform::gfx::HPALETTE;
using platform::gfx::TColor;
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
using TGIFOptimizeOptions = uint8_t; // bit = ordinal
constexpr TGIFOptimizeOptions OptimizeOption(TGIFOptimizeOption o) {
    return static_cast<TGIFOptimizeOptions>(1u << o);
}
constexpr TGIFOptimizeOptions AllOptimizeOptions = 0x1F;
enum TDisposalMethod { dmNone, dmNoDisposal, dmBackground, dmPrevious };
using platform::gfx::psEnding;
using platform::gfx::psRunning;
using platform::gfx::psStarting;
using platform::gfx::TProgressStage;

// ---- unit-wide defaults, copied by every new image ----
extern TGIFDrawOptions GIFImageDefaultDrawOptions;
extern TColorReduction GIFImageDefaultColorReduction;
extern int GIFImageDefaultColorReductionBits;
extern TDitherMode GIFImageDefaultDitherMode;
extern TGIFCompression GIFImageDefaultCompression;
extern int GIFImageDefaultAnimationSpeed;
extern platform::TThreadPriority GIFImageDefaultThreadPriority;
// Each loaded frame is rendered at once.
extern bool GIFImageRenderOnLoad;
// WriteData optimises the image first.
extern bool GIFImageOptimizeOnStream;

// Every error of the codec.
class GIFException : public platform::EInvalidGraphic {
public:
    using platform::EInvalidGraphic::EInvalidGraphic;
    std::string ClassName() const override { return "GIFException"; }
};

// What one load accepts: the largest frame in pixels, and the most pixels of all its frames together.
struct TGIFLoadLimits {
    uint64_t MaxFramePixels = uint64_t{1} << 26;
    uint64_t MaxTotalPixels = uint64_t{1} << 28;
};

class TGIFHeader;
class TGIFImageList;
class TGIFSubImage;
class TGIFColorMap;
class TGIFPainter;

// The number of the registered clipboard format "GIF Image".
platform::TClipboardFormat GIFClipboardFormat();

// Where painting lands: a canvas that its owner keeps alive while painters use it, or the canvas of a
// control, taken afresh for each drawing and never touched once the control is freed.
class TGIFPaintTarget {
public:
    TGIFPaintTarget(platform::gfx::Canvas& canvas) : canvas_(&canvas) {}
    TGIFPaintTarget(platform::TControl& control);
    // The canvas to draw on now; null once the control is freed.
    platform::gfx::Canvas* Canvas() const;
    bool Valid() const;
    friend bool operator==(const TGIFPaintTarget& a, const TGIFPaintTarget& b) {
        return a.canvas_ == b.canvas_ && a.control_ == b.control_;
    }

private:
    class Watcher;
    platform::gfx::Canvas* canvas_ = nullptr;
    platform::TControl* control_ = nullptr;
    std::shared_ptr<Watcher> watcher_;
};

// Registered with the picture: files ".gif" ("GIF Image") and the clipboard format "GIF Image".
class TGIFImage : public platform::gfx::TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    void Clear();
    void NewImage() { Clear(); }
    // A bitmap or any other graphic becomes a new frame (see Assign); returns its index.
    int Add(Bitmap& source);
    int Add(platform::gfx::TGraphic& source);
    int Add(std::unique_ptr<TGIFSubImage> frame);
    // A bitmap becomes the only frame, converted by ColorReduction, ReductionBits and DitherMode; the
    // source may be switched to 24 bits per pixel. Null clears.
    void Assign(Bitmap* source);
    // Another GIF image is copied frame by frame (with its drawing settings, not its handlers); any
    // other graphic becomes the only frame as a bitmap would, an icon with its mask as transparency.
    void Assign(platform::gfx::TGraphic* source);
    void Assign(const TGIFImage* source);
    // A copy of the frame becomes the only frame, where it stands on a logical screen that just holds
    // it; a frame drawn on its image's global table takes those colours along as its own table. The
    // source may be one of this image's frames.
    void Assign(const TGIFSubImage* source);
    void Assign(std::nullptr_t) { Clear(); }
    // Renders the first frame into dest (GetBitmap).
    void AssignTo(Bitmap& dest);
    // Only the image itself is equal to it.
    bool Equals(const platform::gfx::TGraphic* graphic) const { return graphic == this; }

    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    // Written to fileName + ".tmp" and renamed, so that a failed save never leaves a truncated file.
    // The name is resolved as every station file name is ('\' separators, any letter case).
    void SaveToFile(const std::string& fileName);
    void LoadFromFile(const std::string& fileName);
    void WriteData(TStream& stream);

    bool Empty() const override;
    int Width() const override;
    int Height() const override;
    void SetWidth(int value);
    void SetHeight(int value);
    bool IsTransparent() const;
    TGIFVersion Version() const;
    int ColorResolution() const;
    int BitsPerPixel() const;
    int BackgroundColorIndex() const;
    void SetBackgroundColorIndex(int i);
    TColor BackgroundColor();
    void SetBackgroundColor(TColor c);
    uint8_t AspectRatio() const;
    void SetAspectRatio(uint8_t v);
    TGIFColorMap& GlobalColorMap();

    TGIFDrawOptions DrawOptions() const { return drawOptions_; }
    void SetDrawOptions(TGIFDrawOptions v);
    int AnimationSpeed() const { return animationSpeed_; }
    void SetAnimationSpeed(int v);
    int ReductionBits() const { return reductionBits_; }
    void SetReductionBits(int v);
    bool DoDither() const;
    HPALETTE GetPalette();
    void SetPalette(HPALETTE palette);
    void Pack();

    // ---- drawing (gif/GifDraw.cpp; the painters in gif/GifPainter.h) ----
    // The image as one bitmap, kept until the image changes: the first frame's own rendering when it
    // fills the image, else an 8-bit bitmap on the image's palette (24 bits without one) with the
    // first frame drawn on it, transparent pixels included. An image without frames gives an empty
    // bitmap.
    const Bitmap& GetBitmap();
    bool HasBitmap() const { return bitmap_ != nullptr; }
    // When there is none, an empty bitmap of the image's size (what the first frame is drawn on): 8
    // bits with a copy of the image's palette, 24 bits when it has none. An animation is painted
    // into a 24-bit one.
    void NewBitmap();
    // Stops the painter that paints into the bitmap, then frees the bitmap.
    void FreeBitmap();
    // Draws the image into rect: one frame at once, or an animation through a painter (DrawOptions).
    void Draw(const TGIFPaintTarget& target, const TRect& rect);
    void Draw(platform::gfx::Canvas& canvas, const TRect& rect) override {
        Draw(TGIFPaintTarget(canvas), rect);
    }
    // A painter for the image; a threaded one is returned for the caller to start, one without goAsync
    // has already run (and rethrown what ended it) and null is returned. A threaded painter is freed on
    // the window thread when it ends or is stopped; painterRef, when given, names it until then.
    TGIFPainter* InternalPaint(TGIFPainter** painterRef, const TGIFPaintTarget& target, const TRect& rect,
                               TGIFDrawOptions options);
    // InternalPaint, then the painter is started.
    TGIFPainter* Paint(const TGIFPaintTarget& target, const TRect& rect, TGIFDrawOptions options);
    // Stops the painter Draw started, and drops the bitmap.
    void StopDraw();
    void PaintStart();
    // Stops every painter (threaded ones are joined and freed) and drops the bitmap.
    void PaintStop();
    void PaintPause();
    void PaintResume();
    void PaintRestart();
    int PainterCount();
    TGIFPainter* DrawPainter() const { return drawPainter_; }
    // Guards the painter list; held while painters are started, stopped or restarted and by the optimisers.
    std::recursive_mutex& PainterLock() { return painterLock_; }
    // Copied into every new painter; each runs on the window thread.
    std::function<void(TGIFPainter*)> OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;

    // ---- clipboard ----
    // Nothing for an empty image. Otherwise the rendered bitmap is what the caller gets (CF_BITMAP), and
    // the whole GIF is put on the open clipboard under "GIF Image" (GIFException "Failed to store GIF on
    // clipboard" when that fails).
    void SaveToClipboardFormat(platform::TClipboardFormat& format, platform::TClipboardData& data,
                               HPALETTE& palette) override;
    // A "GIF Image" item is loaded, a CF_BITMAP one assigned; empty data takes the open clipboard's item
    // of that format. Anything else is GIFException "Unsupported clipboard format".
    void LoadFromClipboardFormat(platform::TClipboardFormat format, const platform::TClipboardData& data,
                                 HPALETTE palette) override;

    // ---- optimisation (gif/GifOptimize.cpp) ----
    // Rewrites the frames: colour tables sorted by use, needless transparency, disposal and extensions
    // dropped, repeated pixels made transparent, transparent borders cropped. Colours are not reduced.
    void Optimize(TGIFOptimizeOptions options, TColorReduction colorReduction, TDitherMode ditherMode,
                  int reductionBits);
    // One global colour table of the used colours, most used first; no frame keeps a local table.
    void OptimizeColorMap();

    virtual void Warning(void* sender, TGIFSeverity severity, const std::string& message);
    // OnProgress (TGraphic's) with nothing to redraw; loading raises it after each frame with
    // redrawNow = GIFImageRenderOnLoad and that frame's area.
    using TGraphic::Progress;
    void Progress(TProgressStage stage, int percent, const std::string& text);
    void Changed() override;

    TColorReduction ColorReduction = rmNetscape;
    TDitherMode DitherMode = dmNearest;
    TGIFCompression Compression = gcLZW;
    TColor DrawBackgroundColor = platform::gfx::clNone;
    // The priority of the worker of every threaded painter started from now on.
    platform::TThreadPriority ThreadPriority = GIFImageDefaultThreadPriority;
    TGIFLoadLimits LoadLimits;
    std::function<void(void* sender, TGIFSeverity, const std::string&)> OnWarning;

private:
    std::unique_ptr<TGIFHeader> header_;
    std::unique_ptr<TGIFImageList> images_;

public:
    // The logical screen with the global colour table, and the frames in file order (gif/GifItems.h).
    TGIFHeader& Header;
    TGIFImageList& Images;

private:
    friend class TGIFPainter;
    // Drops the rendered bitmap, stopping first the painter that paints into it.
    void DropBitmap();
    // NewBitmap on the given palette; none makes it 24 bits.
    void NewBitmap(const HPALETTE& palette);
    void DrawBitmap(platform::gfx::Canvas& canvas, const TRect& rect);
    // Stops, forgets and frees one painter.
    void EndPainter(TGIFPainter* painter);
    void RemovePainter(TGIFPainter* painter);

    TGIFDrawOptions drawOptions_;
    int reductionBits_;
    int animationSpeed_;
    std::unique_ptr<Bitmap> bitmap_;
    HPALETTE globalPalette_;
    bool inGetPalette_ = false;
    bool drawing_ = false;
    // Set while a stream is read: a drawing then shows the first frame still, starting no painter.
    bool loading_ = false;
    std::recursive_mutex painterLock_;
    std::vector<TGIFPainter*> painters_;
    TGIFPainter* drawPainter_ = nullptr;
};

} // namespace gif
