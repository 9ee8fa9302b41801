#pragma once
// Device-independent bitmaps, as bitmap (.bmp) files and icon images hold them, and the bitmap file.
//
// Layout (little-endian):
// - Bitmap file header, 14 bytes (files only): "BM", the file's size, two reserved words, and the
//   offset of the pixel rows from the start of the file.
// - Info header of at least 40 bytes: its size, width, height (negative: the rows run top-down),
//   planes (1), bits per pixel, compression (0 none; 1, 2 run lengths; 3 bit fields), image size, two
//   resolutions, colours used, colours important. With bit fields and a 40-byte header, three 32-bit masks
//   (red, green, blue) follow it; longer headers hold them at the same place.
// - The palette of 1-, 4- and 8-bit pictures: "colours used" entries (all 2^bits when 0) of B, G, R, 0.
// - The rows, each padded to 4 bytes, bottom-up unless the height is negative.
//
// Read are 1, 4, 8, 16 (5-5-5, or bit fields 5-5-5 and 5-6-5), 24 and 32 bits (B, G, R, X, or bit
// fields of that order), uncompressed, and 4 and 8 bits run-length encoded (compression 2 and 1, rows
// bottom-up; pixels the runs leave out are index 0). Reading trusts nothing: every size and offset is checked
// against the data before the picture is allocated, and sides above kMaxBitmapSide or more pixels than
// kMaxBitmapPixels are refused; so is a run-length picture of more than 4M pixels taller or wider than its
// data can reach (a 4-byte delta climbs at most 255 rows, a 2-byte end of row one; a 2-byte run paints at
// most 255 columns).
// Whatever fails a check is "no bitmap", with the reason.
// Written are the bitmap's own format and palette (16-bit 5-6-5 with bit fields, 32-bit for pfDevice).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/graphics/Bitmap.h"

namespace platform::gfx {

inline constexpr int kMaxBitmapSide = 32768;
// 16 megapixels: 64 MB at 32 bits, more than any picture of the station's windows and pages needs; a few
// hundred bytes of run-length data can claim a picture this large, never larger.
inline constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 24;
inline constexpr uint32_t kDibInfoBytes = 40;
inline constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

struct TDibInfo {
    uint32_t HeaderBytes = kDibInfoBytes;
    int32_t Width = 0;
    int32_t Height = 0;
    uint16_t Bits = 0;
    uint32_t Compression = BI_RGB;
    uint32_t ColorsUsed = 0;
};

// Little-endian fields of the file formats, and whether [offset, offset + size) lies in `total` bytes.
uint16_t LeWord(std::span<const uint8_t> data, size_t at);
uint32_t LeDWord(std::span<const uint8_t> data, size_t at);
void PutLeWord(std::vector<uint8_t>& out, uint32_t value);
void PutLeDWord(std::vector<uint8_t>& out, uint32_t value);
bool LiesInside(uint64_t offset, uint64_t size, uint64_t total);

// The pixel format of uncompressed rows of `bits` (16 bits are 5-5-5); pfCustom when none holds them.
TPixelFormat DibPixelFormat(int bits);

// The info header at the start of data; none when it is shorter than 40 bytes or says so.
std::optional<TDibInfo> ReadDibInfo(std::span<const uint8_t> data);
// Palette entries B, G, R, 0 at `at`; none when they do not fit.
std::optional<std::vector<PaletteEntry>> ReadDibPalette(std::span<const uint8_t> data, uint64_t at,
                                                        uint64_t count);
// Fills the bitmap (its size and format set) from the rows at `at`; false when they do not fit.
bool ReadDibRows(std::span<const uint8_t> data, uint64_t at, bool topDown, Bitmap& bitmap);

void PutDibInfo(std::vector<uint8_t>& out, const TDibInfo& info, uint32_t imageBytes);
// The bitmap's palette (or its format's default) as 2^bits entries; nothing for other formats.
void PutDibPalette(std::vector<uint8_t>& out, const Bitmap& bitmap);
void PutDibRowsBottomUp(std::vector<uint8_t>& out, const Bitmap& bitmap);

// A bitmap file; none when the data is no bitmap file this reader takes, and then, when problem is
// given, why (such as "pixel rows beyond the end of the file").
std::optional<Bitmap> ReadBitmapFile(std::span<const uint8_t> data, std::string* problem = nullptr);
std::vector<uint8_t> WriteBitmapFile(const Bitmap& bitmap);

} // namespace platform::gfx
