// One frame - bounds, pixels, conversion from a
// bitmap, rendering, drawing, crop and merge.
#include <algorithm>
#include <cstring>

#include "gif/GifColorReduce.h"
#include "gif/GifItems.h"
#include "gif/GifSections.h"

namespace gif {

using namespace platform::gfx;

TGIFSubImage::TGIFSubImage(TGIFImage* image) : TGIFItem(image), ColorMap(this), Extensions(image, this) {}

TGIFSubImage::~TGIFSubImage() {
    GraphicControlExtension = nullptr;
    Extensions.Clear();
}

void TGIFSubImage::Clear() {
    Extensions.Clear();
    ColorMap.Clear();
    FreeImage();
    width_ = height_ = 0;
    Transparent = false;
    GraphicControlExtension = nullptr;
    FreeBitmap();
    FreeMask();
}

bool TGIFSubImage::Empty() const {
    return data_.empty() || width_ == 0 || height_ == 0;
}

void TGIFSubImage::NewImage() {
    data_.clear();
    uint64_t n = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
    if (n > 0) data_.assign(static_cast<size_t>(n), 0);
}

void TGIFSubImage::FreeImage() {
    data_.clear();
    data_.shrink_to_fit();
}

void TGIFSubImage::NeedImage() {
    if (data_.empty()) NewImage();
    if (data_.empty()) throw GIFException("Image is empty");
}

int TGIFSubImage::GetBounds(int index) const {
    switch (index) {
    case 1:
        return left_;
    case 2:
        return top_;
    case 3:
        return width_;
    case 4:
        return height_;
    default:
        return 0;
    }
}

void TGIFSubImage::SetBounds(int index, int value) {
    switch (index) {
    case 1:
        DoSetBounds(value, top_, width_, height_);
        break;
    case 2:
        DoSetBounds(left_, value, width_, height_);
        break;
    case 3:
        DoSetBounds(left_, top_, value, height_);
        break;
    case 4:
        DoSetBounds(left_, top_, width_, value);
        break;
    default:
        break;
    }
}

void TGIFSubImage::SetBoundsRect(const TRect& r) {
    DoSetBounds(r.Left, r.Top, r.Right - r.Left + 1, r.Bottom - r.Top + 1);
}

void TGIFSubImage::DoSetBounds(int left, int top, int width, int height, bool zeroed) {
    left = std::clamp(left, 0, 65535);
    top = std::clamp(top, 0, 65535);
    width = std::clamp(width, 0, 65535);
    height = std::clamp(height, 0, 65535);
    bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (resized) {
        FreeBitmap();
        FreeMask();
        if (zeroed)
            NewImage();
        else
            data_.clear();
    }
    if (!image_) return;
    bool warned = false;
    if (image_->Width() < left + width) {
        if (image_->Width() > 0) {
            Warning(gsWarning, "Image width too small for contained frames");
            warned = true;
        }
        image_->Header.ScreenWidth = static_cast<uint16_t>(std::min(65535, left + width));
    }
    if (image_->Height() < top + height) {
        if (image_->Height() > 0) {
            Warning(gsWarning, "Image height too small for contained frames");
            warned = true;
        }
        image_->Header.ScreenHeight = static_cast<uint16_t>(std::min(65535, top + height));
    }
    if (warned) Warning(gsWarning, "Image exceeds Logical Screen size");
}

uint8_t TGIFSubImage::GetPixel(int x, int y) const {
    if (x < 0 || x >= width_ || y < 0 || y >= height_ || data_.empty())
        throw GIFException("Invalid pixel coordinates");
    return data_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

uint8_t* TGIFSubImage::GetScanline(int y) {
    if (y < 0 || y >= height_) throw GIFException("Invalid pixel coordinates");
    NeedImage();
    return data_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
}

TGIFColorMap& TGIFSubImage::ActiveColorMap() {
    if (ColorMap.Count() > 0) return ColorMap;
    if (image_ && image_->Header.ColorMap.Count() > 0) return image_->Header.ColorMap;
    return ColorMap;
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
    return const_cast<TGIFSubImage*>(this)->ActiveColorMap();
}

TGIFVersion TGIFSubImage::GetVersion() const {
    if (ColorMap.Optimized() || Extensions.Count() > 0) return gv89a;
    return gv87a;
}

// ---- conversion from a bitmap ----

void TGIFSubImage::TransparencyFromMask(const std::vector<uint8_t>& mask) {
    if (ColorMap.Count() == 0) return;
    const size_t n = std::min(data_.size(), mask.size());
    bool any = false, shown[256] = {};
    for (size_t i = 0; i < n; ++i) {
        any |= mask[i] != 0;
        if (!mask[i]) shown[data_[i]] = true;
    }
    for (size_t i = n; i < data_.size(); ++i)
        shown[data_[i]] = true;
    if (!any) return;
    int index = -1;
    if (ColorMap.Count() < 256) {
        index = ColorMap.Add(clBlack);
    } else {
        // A full table (such as the web palette's 256 entries): an entry no other pixel shows serves.
        for (int i = 255; i >= 0 && index < 0; --i)
            if (!shown[i]) index = i;
        if (index < 0) return;
        ColorMap.SetColor(index, clBlack);
    }
    for (size_t i = 0; i < n; ++i)
        if (mask[i]) data_[i] = static_cast<uint8_t>(index);
    auto gce = std::make_unique<TGIFGraphicControlExtension>(this);
    gce->SetTransparentColorIndex(index);
    gce->SetTransparent(true);
    Extensions.Add(std::move(gce));
}

void TGIFSubImage::Assign(Bitmap& source) {
    Clear();
    if (source.Empty()) return;
    if (source.Width() > 65535 || source.Height() > 65535) throw GIFException("Image too large");
    std::vector<uint8_t> mask;
    if (source.Transparent) {
        uint32_t key = ColorToRgb32(ColorToRGB(source.GetTransparentColor()));
        mask.resize(static_cast<size_t>(source.Width()) * static_cast<size_t>(source.Height()));
        for (int y = 0; y < source.Height(); ++y)
            for (int x = 0; x < source.Width(); ++x)
                mask[static_cast<size_t>(y) * static_cast<size_t>(source.Width()) + static_cast<size_t>(x)] =
                    source.GetRgb(x, y) == key ? 1 : 0;
    }
    // The size as SetWidth and SetHeight set it, with pixels that are all written below; those an
    // exception leaves unwritten are zeroed.
    DoSetBounds(left_, top_, source.Width(), height_, false);
    DoSetBounds(left_, top_, width_, source.Height(), false);
    data_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    struct ZeroUnwritten {
        TPixelBytes& data;
        size_t written = 0;
        ~ZeroUnwritten() {
            if (written < data.size())
                std::fill(data.begin() + static_cast<ptrdiff_t>(written), data.end(), 0);
        }
    } unwritten{data_};
    std::unique_ptr<Bitmap> work;
    std::unique_ptr<TNearestReduction> nearest;
    TPixelFormat pf = source.PixelFormat();
    if (pf == pf1bit || pf == pf4bit || pf == pf8bit) {
        work = std::make_unique<Bitmap>(source);
    } else {
        TColorReduction cr = image_ ? image_->ColorReduction : GIFImageDefaultColorReduction;
        TDitherMode dm = image_ ? image_->DitherMode : GIFImageDefaultDitherMode;
        int bits = image_ ? image_->ReductionBits() : GIFImageDefaultColorReductionBits;
        // Without dithering the indices go straight into the frame.
        nearest = TNearestReduction::Create(source, cr, dm, bits, nullptr);
        if (!nearest) {
            work = ReduceColors(source, cr, dm, bits, nullptr);
            // An empty result: a reduction or dither mode outside its enumeration, or rmPalette (no
            // palette is given here).
            if (work->Width() != width_ || work->Height() != height_)
                throw GIFException("Invalid color reduction");
            pf = work->PixelFormat();
        }
    }
    if (image_) image_->Progress(psStarting, 0, "Converting...");
    try {
        int w = width_, h = height_;
        // Called before row `row` is written: those above it are.
        auto progress = [&](int row) {
            unwritten.written = static_cast<size_t>(row) * static_cast<size_t>(w);
            if (image_ && row % 32 == 0)
                image_->Progress(psRunning, static_cast<int>(int64_t{row} * 100 / h), "Converting...");
        };
        if (nearest) {
            ColorMap.ImportPalette(nearest->Palette());
            for (int y = 0; y < h; ++y) {
                progress(y);
                nearest->Row(y, data_.data() + static_cast<size_t>(y) * static_cast<size_t>(w));
            }
        } else if (pf == pf8bit || pf == pf4bit || pf == pf1bit) {
            if (pf == pf8bit)
                ColorMap.ImportDIBColors(work->GetCanvas());
            else
                ColorMap.ImportPalette(work->GetPalette());
            for (int y = 0; y < h; ++y) {
                progress(y);
                const uint8_t* row = work->ScanLine(y);
                uint8_t* dst = data_.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
                if (pf == pf8bit) {
                    std::memcpy(dst, row, static_cast<size_t>(w));
                } else if (pf == pf4bit) {
                    for (int x = 0; x < w; ++x)
                        dst[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
                } else {
                    for (int x = 0; x < w; ++x)
                        dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
                }
            }
        } else {
            // 24 bits (other formats are read as 24 bits): an 8-slot cache of recent colours.
            if (pf != pf24bit) work->SetPixelFormat(pf24bit);
            struct Slot {
                uint32_t color;
                int index;
                bool used;
            } cache[8] = {};
            int last = 0;
            for (int y = 0; y < h; ++y) {
                progress(y);
                const uint8_t* row = work->ScanLine(y);
                uint8_t* dst = data_.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
                for (int x = 0; x < w; ++x) {
                    const uint8_t* p = row + 3 * x;
                    uint32_t c = static_cast<uint32_t>(p[2]) | static_cast<uint32_t>(p[1]) << 8 |
                                 static_cast<uint32_t>(p[0]) << 16; // TColor order
                    int found = -1, i = last;
                    for (int k = 0; k < 8; ++k) {
                        if (!cache[i].used) break;
                        if (cache[i].color == c) {
                            found = cache[i].index;
                            last = i;
                            break;
                        }
                        i = (i + 7) % 8;
                    }
                    if (found < 0) {
                        found = ColorMap.AddUnique(static_cast<TColor>(c));
                        last = (last + 1) % 8;
                        cache[last] = {c, found, true};
                    }
                    dst[x] = static_cast<uint8_t>(found);
                }
            }
        }
        unwritten.written = data_.size();
        if (!mask.empty()) TransparencyFromMask(mask);
    } catch (...) {
        if (image_) image_->Progress(psEnding, 0, "Converting...");
        throw;
    }
    if (image_) image_->Progress(psEnding, 100, "Converting...");
}

void TGIFSubImage::Assign(TGraphic& source) {
    if (auto* graphic = dynamic_cast<TBitmapGraphic*>(&source)) {
        Bitmap bitmap(graphic->Image());
        bitmap.Transparent = graphic->Transparent();
        Assign(bitmap);
        return;
    }
    Clear();
    if (source.Empty()) return;
    Bitmap bitmap;
    if (auto* gif = dynamic_cast<TGIFImage*>(&source)) {
        bitmap = gif->GetBitmap();
    } else {
        bitmap = Bitmap(source.Width(), source.Height(), pf24bit);
        source.Draw(bitmap.GetCanvas(), {0, 0, source.Width(), source.Height()});
    }
    Assign(bitmap);
    auto* icon = dynamic_cast<TIconGraphic*>(&source);
    if (!icon || Empty()) return;
    // The icon's AND mask: a set bit lets the background through.
    const Bitmap& iconMask = icon->Icon().Mask();
    std::vector<uint8_t> mask(data_.size());
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            mask[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] =
                iconMask.GetIndex(x, y) != 0;
    TransparencyFromMask(mask);
}

void TGIFSubImage::Assign(const TGIFSubImage& source) {
    if (&source == this) return;
    Clear();
    if (source.Empty()) return;
    left_ = source.left_;
    top_ = source.top_;
    width_ = source.width_;
    height_ = source.height_;
    packedFields_ = source.packedFields_;
    Transparent = source.Transparent;
    data_ = source.data_;
    ColorMap.Assign(source.ColorMap);
    if (source.Extensions.Count() > 0) {
        TMemoryStream m;
        const_cast<TGIFExtensionList&>(source.Extensions).SaveToStream(m);
        m.SetPosition(0);
        Extensions.LoadFromStream(m, this);
    }
}

// ---- rendering ----

HPALETTE TGIFSubImage::GetPalette() {
    if (bitmap_ && bitmap_->GetPalette()) return bitmap_->GetPalette();
    if (palette_) return palette_;
    if (image_ && image_->DoDither()) {
        palette_ = WebPalette();
        return palette_;
    }
    if (ColorMap.Count() > 0) {
        palette_ = ColorMap.ExportPalette();
        return palette_;
    }
    return image_ ? image_->GetPalette() : nullptr;
}

void TGIFSubImage::SetPalette(HPALETTE palette) {
    if (palette == palette_) return;
    palette_ = std::move(palette);
    if (bitmap_ && bitmap_->GetPalette() != palette_) {
        bitmap_.reset();
        if (image_) image_->Changed();
    }
}

void TGIFSubImage::SetHasBitmap(bool value) {
    if (value)
        GetBitmap();
    else
        FreeBitmap();
}

void TGIFSubImage::SetBitmap(Bitmap& bitmap) {
    FreeBitmap();
    Assign(bitmap);
}

void TGIFSubImage::NewBitmap() {
    bitmap_ = std::make_unique<Bitmap>();
}

void TGIFSubImage::FreeBitmap() {
    bitmap_.reset();
}

void TGIFSubImage::FreeMask() {
    mask_.clear();
    needMask_ = true;
}

bool TGIFSubImage::HasMask() {
    if (needMask_ && Transparent) {
        FreeBitmap();
        GetBitmap();
    }
    return !mask_.empty();
}

const Bitmap& TGIFSubImage::GetBitmap() {
    if (!bitmap_) {
        if (image_) image_->Progress(psStarting, 0, "Rendering...");
        if (image_ && image_->DoDither())
            DoGetDitherBitmap();
        else
            DoGetBitmap();
        if (image_) image_->Progress(psEnding, 100, "Rendering...");
    }
    return *bitmap_;
}

void TGIFSubImage::DoGetBitmap() {
    NewBitmap();
    bitmap_->SetPixelFormat(pf8bit);
    const TGIFColorMap& map = ActiveColorMap();
    HPALETTE pal = map.Count() > 0 ? map.ExportPalette() : GetPalette();
    if (Empty()) {
        bitmap_->SetSize(width_, height_);
        bitmap_->SetPalette(pal ? std::make_shared<Palette>(*pal) : nullptr);
        return;
    }
    TDIBWriter writer(*bitmap_, pal, width_, height_, pf8bit);
    bool buildMask = needMask_ && Transparent && GraphicControlExtension;
    needMask_ = false;
    std::vector<uint8_t> mask;
    uint8_t tIndex = GraphicControlExtension ? GraphicControlExtension->TransparentIndex : 0;
    if (buildMask) mask.assign(data_.size(), 0);
    bool any = false;
    for (int y = 0; y < height_; ++y) {
        const uint8_t* src = data_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
        std::memcpy(writer.GetScanline(y), src, static_cast<size_t>(width_));
        if (buildMask)
            for (int x = 0; x < width_; ++x)
                if (src[x] == tIndex) {
                    mask[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = 1;
                    any = true;
                }
    }
    writer.Finish();
    if (any) mask_ = std::move(mask);
}

void TGIFSubImage::DoGetDitherBitmap() {
    NewBitmap();
    HPALETTE pal = GetPalette();
    if (Empty()) {
        bitmap_->SetPixelFormat(pf8bit);
        bitmap_->SetSize(width_, height_);
        bitmap_->SetPalette(pal);
        return;
    }
    TDIBWriter writer(*bitmap_, pal, width_, height_, pf8bit);
    TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer dither(width_, &lookup);
    TGIFColorMap& map = ActiveColorMap();
    bool buildMask = needMask_ && Transparent && GraphicControlExtension;
    needMask_ = false;
    uint8_t tIndex = GraphicControlExtension ? GraphicControlExtension->TransparentIndex : 0;
    std::vector<uint8_t> mask;
    if (buildMask) mask.assign(data_.size(), 0);
    bool any = false;
    for (int y = 0; y < height_; ++y) {
        uint8_t* dst = writer.GetScanline(y);
        const uint8_t* src = data_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
        if (buildMask && map.Count() > 0) {
            // the web-palette index of the transparent colour (masked pixels keep it).
            TGIFColor t = map.Data()[std::min<int>(tIndex, map.Count() - 1)];
            int r, g, b;
            uint8_t fillIndex = lookup.Lookup(t.Red, t.Green, t.Blue, r, g, b);
            std::memset(dst, fillIndex, static_cast<size_t>(width_));
        }
        while (dither.Column >= 0 && dither.Column < width_) {
            int x = dither.Column;
            if (buildMask && src[x] == tIndex) {
                mask[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = 1;
                any = true;
                dither.Column += dither.Direction;
                continue;
            }
            TGIFColor c = map.Count() > 0 ? map.Data()[std::min<int>(src[x], map.Count() - 1)] : TGIFColor{};
            int r, g, b;
            dst[x] = dither.Dither(c.Red, c.Green, c.Blue, r, g, b);
        }
        dither.NextLine();
    }
    writer.Finish();
    if (any) mask_ = std::move(mask);
}

TRect TGIFSubImage::ScaleRect(const TRect& r) const {
    int iw = image_ && image_->Width() > 0 ? image_->Width() : std::max(1, width_);
    int ih = image_ && image_->Height() > 0 ? image_->Height() : std::max(1, height_);
    auto mulDiv = [](int64_t a, int64_t b, int64_t c) { return static_cast<int>(a * b / c); };
    return {mulDiv(left_, r.Width(), iw) + r.Left, mulDiv(top_, r.Height(), ih) + r.Top,
            mulDiv(left_ + width_, r.Width(), iw) + r.Left, mulDiv(top_ + height_, r.Height(), ih) + r.Top};
}

void TGIFSubImage::Draw(Canvas& canvas, const TRect& rect, bool doTransparent, bool doTile) {
    StretchDraw(canvas, doTile ? rect : ScaleRect(rect), doTransparent, doTile);
}

void TGIFSubImage::StretchDraw(Canvas& canvas, const TRect& rect, bool doTransparent, bool doTile) {
    if (Empty()) return;
    const Bitmap& bmp = GetBitmap();
    bool masked = doTransparent && Transparent && HasMask();
    // Masked drawing: destination AND mask (white where transparent), then OR the image with its
    // transparent pixels made black - the SRCAND / SRCPAINT pair.
    Bitmap maskBmp, imageBmp;
    if (masked) {
        maskBmp = Bitmap(width_, height_, pf32bit);
        imageBmp = Bitmap(width_, height_, pf32bit);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                bool t = mask_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
                maskBmp.SetRgb(x, y, t ? 0xFFFFFF : 0);
                imageBmp.SetRgb(x, y, t ? 0 : bmp.GetRgb(x, y));
            }
    }
    auto one = [&](const TRect& r) {
        if (!masked) {
            canvas.StretchDraw(r, bmp);
            return;
        }
        uint32_t keep = canvas.CopyMode;
        canvas.CopyMode = SRCAND;
        canvas.CopyRectFrom(r, maskBmp, {0, 0, width_, height_});
        canvas.CopyMode = SRCPAINT;
        canvas.CopyRectFrom(r, imageBmp, {0, 0, width_, height_});
        canvas.CopyMode = keep;
    };
    if (!doTile) {
        one(rect);
        return;
    }
    int stepX = image_ && image_->Width() > 0 ? image_->Width() : width_;
    int stepY = image_ && image_->Height() > 0 ? image_->Height() : height_;
    for (int y = rect.Top + top_; y < rect.Bottom; y += stepY)
        for (int x = rect.Left + left_; x < rect.Right; x += stepX)
            one({x, y, x + width_, y + height_});
}

void TGIFSubImage::Crop() {
    if (Empty() || !Transparent || !GraphicControlExtension) return;
    uint8_t t = GraphicControlExtension->TransparentIndex;
    int x0 = width_, x1 = -1;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (data_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] != t) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
    if (x1 < 0) {
        Clear();
        return;
    }
    int y0 = height_, y1 = -1;
    for (int y = 0; y < height_; ++y)
        for (int x = x0; x <= x1; ++x)
            if (data_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] != t) {
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    int nw = x1 - x0 + 1, nh = y1 - y0 + 1;
    TPixelBytes nd(static_cast<size_t>(nw) * static_cast<size_t>(nh), 0);
    for (int y = 0; y < nh; ++y)
        std::memcpy(
            &nd[static_cast<size_t>(y) * static_cast<size_t>(nw)],
            &data_[static_cast<size_t>(y + y0) * static_cast<size_t>(width_) + static_cast<size_t>(x0)],
            static_cast<size_t>(nw));
    left_ += x0;
    top_ += y0;
    width_ = nw;
    height_ = nh;
    data_ = std::move(nd);
    FreeBitmap();
    FreeMask();
}

void TGIFSubImage::Merge(TGIFSubImage* previous) {
    if (Empty() || !previous || previous->Empty()) return;
    if (previous->GraphicControlExtension) {
        TDisposalMethod d = previous->GraphicControlExtension->Disposal();
        if (d == dmBackground || d == dmPrevious) return;
    }
    TRect a = GetBoundsRect(), b = previous->GetBoundsRect();
    TRect o = a.Intersect(b);
    if (o.IsEmpty()) return;
    TGIFColorMap& map = ActiveColorMap();
    bool wasTransparent = Transparent && GraphicControlExtension;
    if (!wasTransparent && (map.Count() < 1 || map.Count() >= 256)) return;
    int tIndex = wasTransparent ? GraphicControlExtension->TransparentIndex : -1;
    auto takeIndex = [&]() {
        if (tIndex >= 0) return;
        if (ColorMap.Count() > 0) {
            tIndex = ColorMap.Add(clBlack);
            return;
        }
        // Another frame's transparent index serves only when it lies in the shared table (one past it
        // would be refused as this frame's transparent index) and none of this frame's pixels has it.
        if (image_)
            for (int i = 0; i < image_->Images.Count(); ++i) {
                TGIFSubImage* f = image_->Images.Image(i);
                if (f == this || f->ColorMap.Count() != 0 || !f->Transparent || !f->GraphicControlExtension)
                    continue;
                int borrowed = f->GraphicControlExtension->TransparentIndex;
                if (borrowed < map.Count() &&
                    std::find(data_.begin(), data_.end(), borrowed) == data_.end()) {
                    tIndex = borrowed;
                    return;
                }
            }
        tIndex = map.Add(clBlack);
    };
    TGIFColorMap& prevMap = previous->ActiveColorMap();
    int prevT = previous->Transparent && previous->GraphicControlExtension
                    ? previous->GraphicControlExtension->TransparentIndex
                    : -1;
    for (int y = o.Top; y < o.Bottom; ++y)
        for (int x = o.Left; x < o.Right; ++x) {
            uint8_t& p = data_[static_cast<size_t>(y - top_) * static_cast<size_t>(width_) +
                               static_cast<size_t>(x - left_)];
            uint8_t q =
                previous
                    ->data_[static_cast<size_t>(y - previous->top_) * static_cast<size_t>(previous->width_) +
                            static_cast<size_t>(x - previous->left_)];
            if ((wasTransparent && p == tIndex) || q == prevT) continue;
            bool same;
            if (&prevMap == &map)
                same = p == q;
            else
                same = p < map.Count() && q < prevMap.Count() && map.Data()[p] == prevMap.Data()[q];
            if (!same) continue;
            takeIndex();
            p = static_cast<uint8_t>(tIndex);
        }
    if (!wasTransparent && tIndex >= 0) {
        if (!GraphicControlExtension) Extensions.Add(std::make_unique<TGIFGraphicControlExtension>(this));
        GraphicControlExtension->SetTransparentColorIndex(tIndex);
        GraphicControlExtension->SetTransparent(true);
    }
    FreeBitmap();
    FreeMask();
}

// ---- stream form ----

void TGIFSubImage::SaveToStream(TStream& stream) {
    Extensions.SaveToStream(stream);
    if (Empty()) return;
    WriteBytes(stream, ImageDescriptorBytes(*this));
    WriteBytes(stream, ColorTableBytes(ColorMap));
    Compress(stream);
}

void TGIFSubImage::Compress(TStream& stream) const {
    WriteBytes(stream, ImageDataBytes(*this));
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
    Clear();
    Extensions.LoadFromStream(stream, this);
    int peek = ReadByte(stream);
    if (peek < 0) return;
    stream.SetPosition(stream.Position() - 1);
    if (peek == ';' || peek == 0) return;
    uint8_t d[10];
    ReadCheck(stream, d, 10);
    left_ = d[1] | d[2] << 8;
    top_ = d[3] | d[4] << 8;
    width_ = d[5] | d[6] << 8;
    height_ = d[7] | d[8] << 8;
    packedFields_ = d[9];
    if (width_ == 0 || height_ == 0) {
        width_ = image_ ? image_->Width() : 0;
        height_ = image_ ? image_->Height() : 0;
        Warning(gsWarning, "Image exceeds Logical Screen size");
    }
    uint64_t pixels = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
    uint64_t limit = image_ ? image_->LoadLimits.MaxFramePixels : TGIFLoadLimits{}.MaxFramePixels;
    if (pixels > limit) throw GIFException("Image too large");
    if (packedFields_ & 0x80) {
        int count = 2 << (packedFields_ & 7);
        if (count < 2 || count > 256)
            throw GIFException("Invalid number of colors specified in Image Descriptor");
        ColorMap.LoadFromStream(stream, count);
    }
    Decompress(stream);
    if (GIFImageRenderOnLoad) GetBitmap();
}

} // namespace gif
