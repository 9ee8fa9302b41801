// The GIF image class - header, frames and trailer; Assign, Add, Save/LoadFromStream,
// palette, settings and the unit-wide defaults.
#include <algorithm>

#include "gif/GifColorReduce.h"
#include "gif/GifItems.h"
#include "gif/GifPainter.h"
#include "platform/Files.h"

namespace gif {

using namespace platform::gfx;

int GIFDelayExp = 12;
int GIFDefaultDelay = 10;
int GIFMinimumDelay = 3;
int GIFMaximumDelay = 1000;
const char* const GIFVersions[3] = {"", "87a", "89a"};
TGIFDrawOptions GIFImageDefaultDrawOptions = 0x060F;
TColorReduction GIFImageDefaultColorReduction = rmNetscape;
int GIFImageDefaultColorReductionBits = 8;
TDitherMode GIFImageDefaultDitherMode = dmNearest;
TGIFCompression GIFImageDefaultCompression = gcLZW;
int GIFImageDefaultAnimationSpeed = 100;
platform::TThreadPriority GIFImageDefaultThreadPriority = platform::tpNormal;
// Headless: the "screen" is 32 bits deep, so it is no palette device and nothing auto-dithers.
bool PaletteDevice = false;
bool DoAutoDither = false;
bool GIFImageRenderOnLoad = false;
bool GIFImageOptimizeOnStream = false;

// ---- frame list ----

void TGIFImageList::LoadFromStream(TStream& stream, void* parent) {
    TGIFImage* image = parent ? static_cast<TGIFImage*>(parent) : image_;
    uint64_t totalPixels = 0;
    for (;;) {
        int b;
        do {
            b = ReadByte(stream);
        } while (b == 0);
        if (b < 0) return;
        stream.SetPosition(stream.Position() - 1);
        if (b == ';') return;
        if (b != '!' && b != ',') {
            Warning(gsWarning, "Unknown GIF block type");
            return;
        }
        auto frame = std::make_unique<TGIFSubImage>(image);
        TGIFSubImage* raw = frame.get();
        Add(std::move(frame));
        raw->LoadFromStream(stream);
        totalPixels += static_cast<uint64_t>(raw->Width()) * static_cast<uint64_t>(raw->Height());
        uint64_t limit = image ? image->LoadLimits.MaxTotalPixels : TGIFLoadLimits{}.MaxTotalPixels;
        if (totalPixels > limit) throw GIFException("Image too large");
        int64_t size = stream.Size();
        if (image && size > 0)
            image->Progress(psRunning, static_cast<int>(stream.Position() * 100 / size), GIFImageRenderOnLoad,
                            raw->GetBoundsRect(), "Loading...");
    }
}

// ---- image ----

TGIFImage::TGIFImage()
    : ColorReduction(GIFImageDefaultColorReduction), DitherMode(GIFImageDefaultDitherMode),
      Compression(GIFImageDefaultCompression), header_(std::make_unique<TGIFHeader>(this)),
      images_(std::make_unique<TGIFImageList>(this)), Header(*header_), Images(*images_),
      drawOptions_(GIFImageDefaultDrawOptions), reductionBits_(GIFImageDefaultColorReductionBits),
      animationSpeed_(GIFImageDefaultAnimationSpeed) {
    NewImage();
}

TGIFImage::~TGIFImage() {
    PaintStop();
    {
        // Painters still running up the stack (without goAsync) must not reach a freed image.
        std::lock_guard lock(painterLock_);
        for (TGIFPainter* p : std::vector<TGIFPainter*>(painters_))
            p->DoOnTerminate();
    }
    OnWarning = nullptr;
    OnProgress = nullptr;
    OnChange = nullptr;
    Images.Clear();
}

void TGIFImage::Clear() {
    PaintStop();
    Images.Clear();
    Header.ColorMap.Clear();
    Header.ScreenWidth = 0;
    Header.ScreenHeight = 0;
    Header.Prepare();
    SetPalette(nullptr);
}

int TGIFImage::Add(Bitmap& source) {
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(source);
    return Add(std::move(frame));
}

int TGIFImage::Add(TGraphic& source) {
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(source);
    return Add(std::move(frame));
}

int TGIFImage::Add(std::unique_ptr<TGIFSubImage> frame) {
    if (!frame) throw GIFException("Object type not supported for operation");
    int i = Images.Add(std::move(frame));
    DropBitmap();
    Changed();
    return i;
}

void TGIFImage::Assign(Bitmap* source) {
    if (!source) {
        Clear();
        return;
    }
    Clear();
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(*source);
    Add(std::move(frame));
}

void TGIFImage::Assign(TGraphic* source) {
    if (auto* gif = dynamic_cast<const TGIFImage*>(source)) {
        Assign(gif);
        return;
    }
    Clear();
    if (!source) return;
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(*source);
    Add(std::move(frame));
}

void TGIFImage::Assign(const TGIFImage* source) {
    if (source == this) return;
    if (!source) {
        Clear();
        return;
    }
    Clear();
    OnProgress = source->OnProgress;
    OnWarning = source->OnWarning;
    bool ok = false;
    try {
        Progress(psStarting, 0, "Copying...");
        Header.Assign(source->Header);
        ThreadPriority = source->ThreadPriority;
        DrawBackgroundColor = source->DrawBackgroundColor;
        drawOptions_ = source->drawOptions_;
        ColorReduction = source->ColorReduction;
        DitherMode = source->DitherMode;
        int n = source->Images.Count();
        for (int i = 0; i < n; ++i) {
            auto frame = std::make_unique<TGIFSubImage>(this);
            frame->Assign(*source->Images.Image(i));
            Add(std::move(frame));
            Progress(psRunning, (i + 1) * 100 / n, "Copying...");
        }
        ok = true;
    } catch (...) {
        Progress(psEnding, 0, "Copying...");
        OnProgress = nullptr;
        OnWarning = nullptr;
        throw;
    }
    Progress(psEnding, ok ? 100 : 0, "Copying...");
    OnProgress = nullptr;
    OnWarning = nullptr;
}

void TGIFImage::Assign(const TGIFSubImage* source) {
    if (!source) {
        Clear();
        return;
    }
    // Copied before Clear, which frees the source when it is one of this image's frames.
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(*source);
    // Clear empties the global table the copy would otherwise be drawn on.
    if (!frame->Empty() && frame->ColorMap.Count() == 0) frame->ColorMap.Assign(source->ActiveColorMap());
    Clear();
    frame->DoSetBounds(frame->Left(), frame->Top(), frame->Width(), frame->Height());
    Add(std::move(frame));
}

void TGIFImage::AssignTo(Bitmap& dest) {
    dest.Assign(GetBitmap());
}

const Bitmap& TGIFImage::GetBitmap() {
    static const Bitmap none;
    if (bitmap_) return *bitmap_;
    if (Images.Count() == 0) return none;
    TGIFSubImage* first = Images.Image(0);
    if (first->Width() == Width() && first->Height() == Height()) {
        auto bitmap = std::make_unique<Bitmap>();
        first->AssignTo(*bitmap);
        bitmap_ = std::move(bitmap);
        return *bitmap_;
    }
    NewBitmap();
    try {
        first->Draw(bitmap_->GetCanvas(), {0, 0, Width(), Height()}, false, false);
    } catch (...) {
        bitmap_.reset(); // never kept half drawn
        throw;
    }
    return *bitmap_;
}

void TGIFImage::SaveToStream(TStream& stream) {
    Progress(psStarting, 0, "Saving...");
    try {
        Header.SaveToStream(stream);
        int n = Images.Count();
        for (int i = 0; i < n; ++i) {
            Images.Image(i)->SaveToStream(stream);
            Progress(psRunning, (i + 1) * 100 / n, "Saving...");
        }
        TGIFTrailer trailer(this);
        trailer.SaveToStream(stream);
    } catch (...) {
        Progress(psEnding, 0, "Saving...");
        throw;
    }
    Progress(psEnding, 100, "Saving...");
}

void TGIFImage::LoadFromStream(TStream& stream) {
    Progress(psStarting, 0, "Loading...");
    Clear();
    struct Loading {
        bool& flag;
        explicit Loading(bool& f) : flag(f) { flag = true; }
        ~Loading() { flag = false; }
    } loading{loading_};
    int64_t pos = stream.Position();
    try {
        Header.LoadFromStream(stream);
        Images.LoadFromStream(stream, this);
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(stream);
    } catch (...) {
        stream.SetPosition(pos);
        Progress(psEnding, 0, "Loading...");
        throw;
    }
    Progress(psEnding, 100, "Loading...");
}

void TGIFImage::SaveToFile(const std::string& fileName) {
    TMemoryStream m;
    SaveToStream(m);
    std::string tmp = fileName + ".tmp";
    if (!m.SaveToFile(tmp) || !platform::RenameFile(tmp, fileName)) {
        platform::DeleteFile(tmp);
        throw GIFException("Cannot create file " + fileName);
    }
}

void TGIFImage::LoadFromFile(const std::string& fileName) {
    TMemoryStream m;
    if (!m.LoadFromFile(fileName)) throw GIFException("Cannot open file " + fileName);
    m.SetPosition(0);
    LoadFromStream(m);
}

void TGIFImage::WriteData(TStream& stream) {
    if (GIFImageOptimizeOnStream) Optimize(AllOptimizeOptions, rmNone, dmNearest, 8);
    TMemoryStream m;
    SaveToStream(m);
    uint32_t size = static_cast<uint32_t>(m.Size());
    uint8_t b[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                    static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
    stream.Write(b, 4);
    stream.Write(m.Memory(), m.Bytes().size());
}

bool TGIFImage::Empty() const {
    return Images.Count() == 0;
}
int TGIFImage::Width() const {
    return Header.ScreenWidth;
}
int TGIFImage::Height() const {
    return Header.ScreenHeight;
}
int TGIFImage::BackgroundColorIndex() const {
    return Header.BackgroundColorIndex;
}
void TGIFImage::SetBackgroundColorIndex(int i) {
    Header.SetBackgroundColorIndex(i);
}
TColor TGIFImage::BackgroundColor() {
    return Header.GetBackgroundColor();
}
void TGIFImage::SetBackgroundColor(TColor c) {
    Header.SetBackgroundColor(c);
}
uint8_t TGIFImage::AspectRatio() const {
    return Header.AspectRatio;
}
void TGIFImage::SetAspectRatio(uint8_t v) {
    Header.AspectRatio = v;
}
TGIFColorMap& TGIFImage::GlobalColorMap() {
    return Header.ColorMap;
}

void TGIFImage::SetWidth(int value) {
    for (int i = 0; i < Images.Count(); ++i)
        if (Images.Image(i)->Left() + Images.Image(i)->Width() > value)
            throw GIFException("Image width too small for contained frames");
    if (value != Header.ScreenWidth) {
        Header.ScreenWidth = static_cast<uint16_t>(value);
        DropBitmap();
        Changed();
    }
}

void TGIFImage::SetHeight(int value) {
    for (int i = 0; i < Images.Count(); ++i)
        if (Images.Image(i)->Top() + Images.Image(i)->Height() > value)
            throw GIFException("Image height too small for contained frames");
    if (value != Header.ScreenHeight) {
        Header.ScreenHeight = static_cast<uint16_t>(value);
        DropBitmap();
        Changed();
    }
}

bool TGIFImage::IsTransparent() const {
    for (int i = 0; i < Images.Count(); ++i) {
        TGIFSubImage* f = Images.Image(i);
        if (f->GraphicControlExtension && f->GraphicControlExtension->Transparent()) return true;
    }
    return false;
}

TGIFVersion TGIFImage::Version() const {
    TGIFVersion v = gvUnknown;
    for (int i = 0; i < Images.Count(); ++i) {
        TGIFVersion fv = Images.Image(i)->GetVersion();
        if (fv > v) v = fv;
        if (v == gv89a) break;
    }
    return v;
}

int TGIFImage::ColorResolution() const {
    int r = Header.GetColorResolution();
    for (int i = 0; i < Images.Count(); ++i)
        r = std::max(r, Images.Image(i)->GetColorResolution());
    return r;
}

int TGIFImage::BitsPerPixel() const {
    int r = Header.GetBitsPerPixel();
    for (int i = 0; i < Images.Count(); ++i)
        r = std::max(r, Images.Image(i)->GetBitsPerPixel());
    return r;
}

void TGIFImage::SetDrawOptions(TGIFDrawOptions v) {
    if (v == drawOptions_) return;
    StopDraw();
    drawOptions_ = v;
    Pack();
    Changed();
}

void TGIFImage::SetAnimationSpeed(int v) {
    v = std::clamp(v, 0, 1000);
    if (v == animationSpeed_) return;
    animationSpeed_ = v;
    std::lock_guard lock(painterLock_);
    if (drawPainter_) drawPainter_->SetAnimationSpeed(v);
}

void TGIFImage::SetReductionBits(int v) {
    if (v < 3 || v > 8) throw GIFException("Invalid Bits Per Pixel value");
    reductionBits_ = v;
}

bool TGIFImage::DoDither() const {
    return (drawOptions_ & DrawOption(goDither)) &&
           (!(drawOptions_ & DrawOption(goAutoDither)) || DoAutoDither);
}

HPALETTE TGIFImage::GetPalette() {
    if (inGetPalette_) throw GIFException("No global or local color table defined");
    inGetPalette_ = true;
    HPALETTE result;
    try {
        if (bitmap_ && bitmap_->GetPalette())
            result = bitmap_->GetPalette();
        else if (globalPalette_)
            result = globalPalette_;
        else if (DoDither())
            result = globalPalette_ = WebPalette();
        else if (Header.ColorMap.Count() > 0)
            result = globalPalette_ = Header.ColorMap.ExportPalette();
        else if (Images.Count() > 0)
            result = Images.Image(0)->GetPalette();
    } catch (...) {
        inGetPalette_ = false;
        throw;
    }
    inGetPalette_ = false;
    return result;
}

void TGIFImage::SetPalette(HPALETTE palette) {
    if (palette == globalPalette_) return;
    globalPalette_ = std::move(palette);
    if (bitmap_ && bitmap_->GetPalette() != globalPalette_) {
        DropBitmap();
        Changed();
    }
}

void TGIFImage::Pack() {
    DropBitmap();
    SetPalette(nullptr);
    for (int i = 0; i < Images.Count(); ++i) {
        Images.Image(i)->FreeBitmap();
        Images.Image(i)->SetPalette(nullptr);
    }
    if (Header.ColorMap.Count() == 0 && Images.Count() == 1) {
        TGIFSubImage* f = Images.Image(0);
        Header.ColorMap.Assign(f->ColorMap);
        f->ColorMap.Clear();
    }
}

void TGIFImage::Warning(void* sender, TGIFSeverity severity, const std::string& message) {
    if (OnWarning) OnWarning(sender, severity, message);
}

void TGIFImage::Progress(TProgressStage stage, int percent, const std::string& text) {
    Progress(stage, percent, false, TRect{}, text);
}

void TGIFImage::Changed() {
    if (OnChange) OnChange();
}

} // namespace gif
