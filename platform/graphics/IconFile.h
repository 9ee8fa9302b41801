#pragma once
// The icon file format: what TIcon reads and writes as its stream image, and what the icon clipboard
// format carries.
//
// Layout (little-endian):
// - Header, 6 bytes: reserved (0), type (0 a stock icon, 1 an icon, 2 a cursor), count: 16-bit words.
// - Count directory entries of 16 bytes: width, height, colour count, reserved (bytes); planes, bit
//   count (16-bit words); bytes in resource, image offset (32-bit, counted from the start of the file).
// - Each image: a device-independent bitmap header of at least 40 bytes (size, width, height, planes,
//   bit count, compression 0, ...), the palette (2^bit count four-byte B, G, R, 0 entries for 1, 4 and 8
//   bits; none otherwise), the colour rows, then the AND mask rows at 1 bit per pixel (1 = the
//   background shows). Rows run bottom-up, each padded to 4 bytes. The header's height counts colour and
//   mask rows, so it is twice the image's.
//
// Reading trusts nothing: every count, offset, size and header field is checked against the data before
// it is used (the clipboard's data may come from anywhere); whatever fails a check is "no icon".
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/graphics/Bitmap.h"

namespace platform::gfx {

inline constexpr uint16_t kStockIconType = 0;
inline constexpr uint16_t kIconType = 1;
// The largest width or height of an image that reading accepts.
inline constexpr int kMaxIconSide = 1024;

struct TIconFileHeader {
    uint16_t Reserved = 0;
    uint16_t Type = 0;
    uint16_t Count = 0;
};

struct TIconDirEntry {
    uint8_t Width = 0;
    uint8_t Height = 0;
    uint8_t ColorCount = 0;
    uint8_t Reserved = 0;
    uint16_t Planes = 0;
    uint16_t BitCount = 0;
    uint32_t BytesInRes = 0;
    uint32_t ImageOffset = 0;
    // The colour count read as one 16-bit word with the reserved byte (0 for 256 colours and more).
    uint16_t Colors() const { return static_cast<uint16_t>(ColorCount | (Reserved << 8)); }
};

// One image: the colour picture (in the pixel format of its bit count, paletted ones with their palette)
// and the AND mask (1 bit, black then white), both of the image's size.
struct TIconImage {
    Bitmap Color;
    Bitmap Mask;
};

// The 6-byte header; none when the data is shorter.
std::optional<TIconFileHeader> ReadIconFileHeader(std::span<const uint8_t> data);
// The directory of an icon file: empty unless the count is above 0 and every entry, and the bytes of
// the image it points to, lie inside the data.
std::vector<TIconDirEntry> ReadIconDirectory(std::span<const uint8_t> data);
// The image of one directory entry; none when its header, palette, colour rows or mask rows do not fit
// the entry's bytes or the header holds what no icon has.
std::optional<TIconImage> ReadIconImage(std::span<const uint8_t> data, const TIconDirEntry& entry);

// The colours of a screen for choosing an icon image: 2^(bits per pixel x planes), 0 (true colour) from
// 24 bits on.
int IconScreenColors(int bitsPerPixel, int planes);
// The entry that suits a screen best: the first whose colours equal the screen's; else, among entries
// with no more colours than the screen, the one with the most (the first of equals); else entry 0.
size_t ChooseIconEntry(const std::vector<TIconDirEntry>& entries, int screenColors);

// A file of one icon image. Paletted pictures keep their bit count and palette; others are written at
// 24 bits. The mask (1 = background) is of the picture's size; an empty mask makes an opaque icon.
std::vector<uint8_t> WriteIconFile(const Bitmap& color, const Bitmap& mask);

} // namespace platform::gfx
