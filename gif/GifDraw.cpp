// Showing an image: paint targets, the rendered bitmap, Draw and the painter controls, and the
// clipboard formats.
#include <algorithm>

#include "gif/GifItems.h"
#include "gif/GifPainter.h"
#include "platform/controls/Control.h"
#include "platform/controls/Picture.h"

namespace gif {

using namespace platform::gfx;

namespace {

bool Has(TGIFDrawOptions options, TGIFDrawOption o) {
    return (options & DrawOption(o)) != 0;
}

} // namespace

// ---- paint targets ----

// Hears of the control's freeing.
class TGIFPaintTarget::Watcher : public platform::TComponent {
public:
    explicit Watcher(platform::TControl& control) : control_(&control) { FreeNotification(&control); }
    void Notification(platform::TComponent* component, platform::TOperation operation) override {
        if (operation == platform::TOperation::opRemove && component == control_) gone = true;
        TComponent::Notification(component, operation);
    }
    bool gone = false;

private:
    platform::TControl* control_;
};

TGIFPaintTarget::TGIFPaintTarget(platform::TControl& control)
    : control_(&control), watcher_(std::make_shared<Watcher>(control)) {}

Canvas* TGIFPaintTarget::Canvas() const {
    if (!control_) return canvas_;
    return watcher_->gone ? nullptr : &control_->Canvas();
}

bool TGIFPaintTarget::Valid() const {
    return !control_ || !watcher_->gone;
}

// ---- the rendered bitmap ----

void TGIFImage::NewBitmap() {
    if (!bitmap_) NewBitmap(GetPalette());
}

void TGIFImage::NewBitmap(const HPALETTE& palette) {
    if (bitmap_) return;
    auto bitmap = std::make_unique<Bitmap>(Width(), Height(), palette ? pf8bit : pf24bit);
    if (palette) bitmap->SetPalette(std::make_shared<Palette>(*palette));
    bitmap_ = std::move(bitmap);
}

void TGIFImage::FreeBitmap() {
    {
        std::lock_guard lock(painterLock_);
        if (drawPainter_) EndPainter(drawPainter_);
    }
    bitmap_.reset();
}

void TGIFImage::DropBitmap() {
    if (!bitmap_) return;
    {
        std::lock_guard lock(painterLock_);
        if (drawPainter_ && drawPainter_->Target() == TGIFPaintTarget(bitmap_->GetCanvas()))
            EndPainter(drawPainter_);
    }
    bitmap_.reset();
}

void TGIFImage::DrawBitmap(Canvas& canvas, const TRect& rect) {
    if (!Has(drawOptions_, goTile)) {
        canvas.StretchDraw(rect, *bitmap_);
        return;
    }
    int w = bitmap_->Width(), h = bitmap_->Height();
    if (w <= 0 || h <= 0) return;
    CanvasStateSaver saver(canvas);
    canvas.IntersectClipRect(rect);
    for (int y = rect.Top; y < rect.Bottom; y += h)
        for (int x = rect.Left; x < rect.Right; x += w)
            canvas.Draw(x, y, *bitmap_);
}

// ---- drawing ----

void TGIFImage::Draw(const TGIFPaintTarget& target, const TRect& rect) {
    Canvas* canvas = target.Canvas();
    if (drawing_ || Images.Count() == 0 || !canvas) return;
    drawing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{drawing_};

    if (Images.Count() == 1 || !Has(drawOptions_, goAnimate) || loading_) {
        Images.Image(0)->Draw(*canvas, rect, Has(drawOptions_, goTransparent), Has(drawOptions_, goTile));
        return;
    }
    bool direct = Has(drawOptions_, goDirectDraw);
    if (bitmap_ && !direct) {
        DrawBitmap(*canvas, rect);
        return;
    }
    std::lock_guard lock(painterLock_);
    if (drawPainter_ && drawPainter_->Target() == target && drawPainter_->PaintRect() == rect) return;
    StopDraw();
    TGIFPaintTarget paintTarget = target;
    TRect paintRect = rect;
    if (!direct) {
        // The animation runs in the bitmap, over what lay under the image: in true colour, since
        // neither that nor the frames' own tables need be in the image's palette.
        NewBitmap(nullptr);
        paintRect = {0, 0, Width(), Height()};
        bitmap_->GetCanvas().CopyRect(paintRect, *canvas, rect);
        paintTarget = TGIFPaintTarget(bitmap_->GetCanvas());
    }
    TGIFPainter* painter = InternalPaint(&drawPainter_, paintTarget, paintRect, drawOptions_);
    if (painter) {
        if (!direct) painter->OnFramePainted = [this] { Changed(); };
        painter->Start();
        if (!direct) {
            // The first frame is in the bitmap before it is drawn.
            TGIFPainterThreads& threads = TGIFPainterThreads::Get();
            uint64_t id = painter->Id();
            threads.ServeUntil([&] {
                return !threads.Alive(id) || painter->Terminated() || painter->Started() ||
                       painter->Waiting();
            });
        }
    }
    if (!direct && bitmap_) DrawBitmap(*canvas, rect);
}

TGIFPainter* TGIFImage::InternalPaint(TGIFPainter** painterRef, const TGIFPaintTarget& target,
                                      const TRect& rect, TGIFDrawOptions options) {
    if (Empty() || rect.IsEmpty()) {
        if (painterRef) *painterRef = nullptr;
        return nullptr;
    }
    if (Images.Count() == 1)
        options = static_cast<TGIFDrawOptions>(options & ~(DrawOption(goAsync) | DrawOption(goAnimate)));
    std::unique_ptr<TGIFPainter> owned;
    TGIFPainter* painter;
    {
        std::lock_guard lock(painterLock_);
        owned = std::make_unique<TGIFPainter>(this, target, rect, options, painterRef);
        painter = owned.get();
        painters_.push_back(painter);
        painter->OnStartPaint = OnStartPaint;
        painter->OnPaint = OnPaint;
        painter->OnAfterPaint = OnAfterPaint;
        painter->OnLoop = OnLoop;
        painter->OnEndPaint = OnEndPaint;
        if (painter->Threaded()) {
            painter->SetThreadPriority(ThreadPriority);
            TGIFPainterThreads::Get().Adopt(std::move(owned));
            return painter;
        }
    }
    painter->Execute();
    painter->DoOnTerminate();
    std::exception_ptr error = painter->Error();
    owned.reset();
    if (error) std::rethrow_exception(error);
    return nullptr;
}

TGIFPainter* TGIFImage::Paint(const TGIFPaintTarget& target, const TRect& rect, TGIFDrawOptions options) {
    TGIFPainter* painter = InternalPaint(nullptr, target, rect, options);
    if (painter) painter->Start();
    return painter;
}

// ---- painter control ----

void TGIFImage::EndPainter(TGIFPainter* painter) {
    if (painter->Threaded())
        TGIFPainterThreads::Get().Reap(painter);
    else
        painter->Stop(); // it runs up the stack and ends there
}

void TGIFImage::RemovePainter(TGIFPainter* painter) {
    std::lock_guard lock(painterLock_);
    std::erase(painters_, painter);
    if (drawPainter_ == painter) drawPainter_ = nullptr;
}

void TGIFImage::StopDraw() {
    {
        std::lock_guard lock(painterLock_);
        if (drawPainter_) EndPainter(drawPainter_);
    }
    bitmap_.reset();
}

void TGIFImage::PaintStop() {
    {
        std::lock_guard lock(painterLock_);
        std::vector<TGIFPainter*> all(painters_);
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            (*it)->Stop();
        for (TGIFPainter* painter : all)
            if (painter->Threaded()) EndPainter(painter);
    }
    bitmap_.reset();
}

void TGIFImage::PaintStart() {
    std::lock_guard lock(painterLock_);
    for (TGIFPainter* painter : std::vector<TGIFPainter*>(painters_))
        painter->Start();
}

void TGIFImage::PaintPause() {
    std::lock_guard lock(painterLock_);
    for (TGIFPainter* painter : painters_)
        painter->Suspend();
}

void TGIFImage::PaintResume() {
    PaintStart();
}

void TGIFImage::PaintRestart() {
    std::lock_guard lock(painterLock_);
    for (TGIFPainter* painter : painters_)
        painter->Restart();
}

int TGIFImage::PainterCount() {
    std::lock_guard lock(painterLock_);
    return static_cast<int>(painters_.size());
}

// ---- clipboard ----

platform::TClipboardFormat GIFClipboardFormat() {
    static const platform::TClipboardFormat format = platform::Clipboard().RegisterFormat("GIF Image");
    return format;
}

namespace {
// The image's place with the picture, for as long as the program runs.
struct PictureRegistration {
    PictureRegistration() {
        platform::gfx::TPicture::RegisterFileFormat<TGIFImage>("gif", "GIF Image");
        platform::gfx::TPicture::RegisterClipboardFormat<TGIFImage>(GIFClipboardFormat());
    }
    ~PictureRegistration() { platform::gfx::TPicture::UnregisterGraphicClass(typeid(TGIFImage)); }
    PictureRegistration(const PictureRegistration&) = delete;
    PictureRegistration& operator=(const PictureRegistration&) = delete;
} pictureRegistration;
} // namespace

void TGIFImage::SaveToClipboardFormat(platform::TClipboardFormat& format, platform::TClipboardData& data,
                                      HPALETTE& palette) {
    format = 0;
    data = {};
    palette = nullptr;
    if (Empty()) return;
    const Bitmap& bitmap = GetBitmap();
    format = platform::CF_BITMAP;
    data = platform::TClipboardData::FromBitmap(bitmap);
    if (bitmap.GetPalette()) palette = std::make_shared<Palette>(*bitmap.GetPalette());
    TMemoryStream m;
    SaveToStream(m);
    if (!platform::Clipboard().SetData(GIFClipboardFormat(), platform::TClipboardData::FromBytes(m.Bytes())))
        throw GIFException("Failed to store GIF on clipboard");
}

void TGIFImage::LoadFromClipboardFormat(platform::TClipboardFormat format,
                                        const platform::TClipboardData& data, HPALETTE palette) {
    platform::TClipboardData item = data.Empty() ? platform::Clipboard().GetData(format) : data;
    if (format == GIFClipboardFormat() && item.Bytes) {
        TMemoryStream m;
        m.Write(item.Bytes->data(), item.Bytes->size());
        m.SetPosition(0);
        LoadFromStream(m);
        return;
    }
    if (format == platform::CF_BITMAP && item.Bitmap) {
        Bitmap bitmap(*item.Bitmap);
        if (palette && bitmap.IsPaletted()) bitmap.SetPalette(palette);
        Assign(&bitmap);
        return;
    }
    throw GIFException("Unsupported clipboard format");
}

} // namespace gif
