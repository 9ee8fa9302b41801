#pragma once
// The bytes of a GIF file as the codec writes it, one function per section in the order of the file:
//
//   signature "GIF87a" / "GIF89a"           SignatureBytes
//   logical screen descriptor (7 bytes)     LogicalScreenBytes (packed field: ScreenPackedFields)
//   global colour table                     ColorTableBytes, when the packed field says so
//   per frame: its extensions               each extension's SaveToStream
//              image descriptor (10 bytes)  ImageDescriptorBytes (packed field: DescriptorPackedFields)
//              local colour table           ColorTableBytes
//              image data                   ImageDataBytes
//   trailer ";"                             TrailerBytes
//
// Each function only computes bytes from what it is given: none changes the image, a frame or a map.
// Multi-byte integers are little-endian.
#include <cstdint>
#include <vector>

#include "gif/GifItems.h"

namespace gif {

using TGIFBytes = std::vector<uint8_t>;

// "GIF" and the three version characters; gvUnknown is GIFException "Unsupported GIF version".
TGIFBytes SignatureBytes(TGIFVersion version);

// 0x80 with a global table (plus 0x08 when it is sorted by use), the image's colour resolution in bits
// 6-4, and the table size in bits 2-0: of the global table, or of the image's largest map without one.
uint8_t ScreenPackedFields(const TGIFHeader& header);
// Width, height, packed field, background colour index, aspect ratio.
TGIFBytes LogicalScreenBytes(const TGIFHeader& header);

// The map's colours as RGB triples, padded with black to a power of two; nothing for an empty map.
TGIFBytes ColorTableBytes(const TGIFColorMap& map);

// With a local table: 0x80, 0x20 when it is sorted by use, its size in bits 2-0, and nothing else (such
// a frame is written non-interlaced). Without: the frame's interlace and reserved bits (mask 0x58).
uint8_t DescriptorPackedFields(const TGIFSubImage& frame);
// The separator ",", left, top, width, height and the packed field.
TGIFBytes ImageDescriptorBytes(const TGIFSubImage& frame);
// Minimum code size, the code stream in sub-blocks (LZW, or run-length when the image says gcRLE) and
// the zero-length terminator; rows in interlaced order when the written packed field says so.
TGIFBytes ImageDataBytes(const TGIFSubImage& frame);

TGIFBytes TrailerBytes();

} // namespace gif
