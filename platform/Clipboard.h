#pragma once
// The clipboard, in-process: what one part of the program puts on it, another part takes back. There is
// no desktop clipboard on a headless station, so other programs never see it.
//
// Rules (the desktop clipboard's):
// - A format is a number: the standard ones below, or a name registered at run time, which gets a number
//   from 0xC000 up. The same name (letter case ignored) always gives the same number.
// - Data is set, read and emptied only between Open and Close by the thread that opened it; Open nests
//   (each Open needs its Close) and fails while another thread has the clipboard open. HasFormat needs
//   no Open.
// - Each format holds one item: raw bytes (global memory), a bitmap or a palette. Setting a format again
//   replaces its item. Items are immutable once set: what GetData returned stays valid after the
//   clipboard is emptied or changed.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/Bitmap.h"

namespace platform {

using TClipboardFormat = uint16_t;

inline constexpr TClipboardFormat CF_TEXT = 1;
inline constexpr TClipboardFormat CF_BITMAP = 2;
inline constexpr TClipboardFormat CF_DIB = 8;
inline constexpr TClipboardFormat CF_PALETTE = 9;
inline constexpr TClipboardFormat CF_FIRST_REGISTERED = 0xC000;

// One clipboard item: exactly one of the three is set, or none (no data).
struct TClipboardData {
    std::shared_ptr<const std::vector<uint8_t>> Bytes;
    std::shared_ptr<const gfx::Bitmap> Bitmap;
    gfx::HPALETTE Palette;

    bool Empty() const { return !Bytes && !Bitmap && !Palette; }
    static TClipboardData FromBytes(std::vector<uint8_t> bytes);
    // A copy of the bitmap (the caller keeps its own).
    static TClipboardData FromBitmap(const gfx::Bitmap& bitmap);
    static TClipboardData FromPalette(gfx::HPALETTE palette);
};

class TClipboard {
public:
    static TClipboard& Get();

    // The number of a named format; 0 for an empty name or when the 0x4000 numbers are used up.
    TClipboardFormat RegisterFormat(const std::string& name);
    // The name a format was registered with; empty for standard and unknown numbers.
    std::string FormatName(TClipboardFormat format) const;

    bool Open();
    void Close();
    // Whether the calling thread has the clipboard open.
    bool IsOpen() const;

    // Removes every item. False when the clipboard is not open.
    bool Clear();
    // False when the clipboard is not open, the format is 0 or the data is empty.
    bool SetData(TClipboardFormat format, TClipboardData data);
    // The item of a format; empty when there is none or the clipboard is not open.
    TClipboardData GetData(TClipboardFormat format) const;
    bool HasFormat(TClipboardFormat format) const;
    // The formats that hold an item, in number order.
    std::vector<TClipboardFormat> Formats() const;

private:
    bool OpenedByCaller() const;

    mutable std::mutex mutex_;
    std::map<std::string, TClipboardFormat> registered_; // by upper-case name
    std::map<TClipboardFormat, std::string> names_;
    std::map<TClipboardFormat, TClipboardData> items_;
    std::thread::id owner_;
    int openCount_ = 0;
};

inline TClipboard& Clipboard() {
    return TClipboard::Get();
}

// Holds the clipboard open for a scope, when it could be opened.
class TClipboardOpen {
public:
    TClipboardOpen() : open_(Clipboard().Open()) {}
    ~TClipboardOpen() {
        if (open_) Clipboard().Close();
    }
    TClipboardOpen(const TClipboardOpen&) = delete;
    TClipboardOpen& operator=(const TClipboardOpen&) = delete;
    bool IsOpen() const { return open_; }

private:
    bool open_;
};

// Puts a text on the clipboard in place of everything it held: CF_TEXT, ended by a zero byte. False
// when the clipboard cannot be opened (another thread holds it).
bool SetClipboardText(const std::string& text);
// The clipboard's CF_TEXT up to its zero byte; empty when it holds none or cannot be opened.
std::string ClipboardText();

} // namespace platform
