#pragma once
// Pictures of any kind behind one interface, so that whatever holds a picture (TPicture, an image
// control, the clipboard) can hold a bitmap, an icon or a GIF alike.
//
// A graphic draws itself into a rectangle, reads and writes its own file format, and takes itself from
// and gives itself to the clipboard as a format number with its item (and a palette, or none). What a
// graphic cannot read raises EInvalidGraphic and leaves it unchanged. Changed (OnChange) tells whoever
// holds the graphic that its picture is new; code that draws into a graphic's bitmap calls it.
#include <functional>
#include <string>

#include "platform/Clipboard.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"
#include "platform/Object.h"
#include "platform/graphics/Bitmap.h"
#include "platform/controls/Icon.h"

namespace platform::gfx {

class Canvas;

// Progress of a long operation on a graphic (loading, saving, copying, optimising): the graphic that
// reports, the stage, how far it is (per cent), whether what has been read so far may be drawn now
// (redrawNow) and the area it concerns, and a text such as "Loading...".
enum TProgressStage { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* sender, TProgressStage stage, int percentDone,
                                          bool redrawNow, const TRect& rect, const std::string& message)>;

class TGraphic : public TObject {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void Draw(Canvas& canvas, const TRect& rect) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // Reads the item of a clipboard format (an empty item: the open clipboard's item of the format).
    virtual void LoadFromClipboardFormat(TClipboardFormat format, const TClipboardData& data,
                                         HPALETTE palette) = 0;
    // The format, item and palette that stand for the graphic on the clipboard; format 0 for an empty
    // graphic.
    virtual void SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data, HPALETTE& palette) = 0;

    // Drawn leaving its background colour unpainted (what that is depends on the graphic).
    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool transparent);

    virtual void Changed() {
        if (OnChange) OnChange();
    }
    std::function<void()> OnChange;

    // Raises OnProgress (with the graphic as the sender).
    void Progress(TProgressStage stage, int percentDone, bool redrawNow, const TRect& rect,
                  const std::string& message) {
        if (OnProgress) OnProgress(this, stage, percentDone, redrawNow, rect, message);
    }
    TProgressEvent OnProgress;

private:
    bool transparent_ = false;
};

// A bitmap as a graphic: stretched into the rectangle it is drawn in; on the clipboard as CF_BITMAP
// with its palette. Its stream is a bitmap file (platform/graphics/BitmapFile.h); what is no bitmap
// file this reader takes raises EInvalidGraphic. An empty bitmap writes nothing.
class TBitmapGraphic : public TGraphic {
public:
    Bitmap& Image() { return bitmap_; }
    const Bitmap& Image() const { return bitmap_; }

    bool Empty() const override { return bitmap_.Empty(); }
    int Width() const override { return bitmap_.Width(); }
    int Height() const override { return bitmap_.Height(); }
    void Draw(Canvas& canvas, const TRect& rect) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(TClipboardFormat format, const TClipboardData& data,
                                 HPALETTE palette) override;
    void SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data, HPALETTE& palette) override;

private:
    Bitmap bitmap_;
};

// An icon as a graphic: drawn at the rectangle's top-left at its own size (its mask makes it
// transparent); its stream is the icon file. On the clipboard it is the icon file under the format
// registered with the picture for icons (TPicture::RegisterClipboardFormat).
class TIconGraphic : public TGraphic {
public:
    TIcon& Icon() { return icon_; }
    const TIcon& Icon() const { return icon_; }

    bool Empty() const override { return icon_.Empty(); }
    int Width() const override { return icon_.Width(); }
    int Height() const override { return icon_.Height(); }
    void Draw(Canvas& canvas, const TRect& rect) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(TClipboardFormat format, const TClipboardData& data,
                                 HPALETTE palette) override;
    void SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data, HPALETTE& palette) override;

private:
    TIcon icon_;
};

} // namespace platform::gfx
