#pragma once
// Fonts and text rasterisation.
//
// Text goes through FreeType, rendered monochrome (1 bit per pixel, no antialiasing), so that text
// pixels are exactly the font colour. Font names map to DejaVu fonts (FontFileFor): "Arial",
// "MS Sans Serif", "System" and any unknown name give DejaVu Sans; "Courier New" gives DejaVu Sans Mono;
// "Times New Roman" gives DejaVu Serif. Bold and italic use the matching DejaVu file, or FreeType's
// emboldening / a shear when the file is missing.
//
// The built-in test font (name TestFontName, or every font while UseTestFont(true) is in force) has
// fixed metrics so that layout arithmetic can be checked without FreeType: for a cell height H
// (Height > 0: H = Height; Height < 0: H = round(-Height x 5 / 4)), ascent = H - H div 4,
// descent = H div 4, every character is max(1, H div 2) pixels wide, a space draws nothing and every
// other character is a filled box over columns [0, width - 1) and rows [1, ascent) of its cell.
//
// Height semantics as GDI: positive = cell height (ascent + descent) in pixels, negative = em height.
// Size is in points at PixelsPerInch: Height = -round(Size x PixelsPerInch / 72).
// Orientation is in tenths of a degree, counter-clockwise.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/Color.h"

namespace platform::gfx {

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

inline constexpr const char* TestFontName = "Korvane Test";

class TFont {
public:
    TFont() = default;
    TFont(const TFont& other) { Assign(other); }
    TFont& operator=(const TFont& other) {
        Assign(other);
        return *this;
    }

    // Copies every attribute (not the OnChange handler) and fires OnChange.
    void Assign(const TFont& other);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& n) { Set(name_, n); }
    int Height() const { return height_; }
    void SetHeight(int h) { Set(height_, h); }
    int Size() const;
    void SetSize(int points);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles s) { Set(style_, s); }
    TColor Color() const { return color_; }
    void SetColor(TColor c) { Set(color_, c); }
    int Orientation() const { return orientation_; }
    void SetOrientation(int tenths) { Set(orientation_, tenths); }
    int PixelsPerInch() const { return ppi_; }
    void SetPixelsPerInch(int ppi) { Set(ppi_, ppi); }

    std::function<void(TFont&)> OnChange;

    // The whole process draws every font with the test font while this is on (tests only).
    static void UseTestFont(bool on);
    static bool TestFontInUse();
    bool IsTestFont() const;

private:
    template <class T> void Set(T& field, const T& v) {
        if (field == v) return;
        field = v;
        if (OnChange) OnChange(*this);
    }
    std::string name_ = "MS Sans Serif";
    int height_ = -11; // 8 points at 96 pixels per inch
    TFontStyles style_ = 0;
    TColor color_ = clWindowText;
    int orientation_ = 0;
    int ppi_ = 96;
};

// Font file for a font name and style; empty when no file exists.
std::string FontFileFor(const std::string& name, TFontStyles style);

struct TextMetrics {
    int Ascent = 0;
    int Descent = 0;
    int Height = 0; // ascent + descent: the cell height
};

// Unrotated text as a 1-bit mask of Width x Height pixels (row-major, one byte per pixel, 1 = ink),
// with the cell's top-left at (0, 0) and the baseline at row Ascent. Underline and strikeout included.
struct TextMask {
    int Width = 0;
    int Height = 0;
    int Ascent = 0;
    std::vector<uint8_t> Ink;
};

TextMetrics GetTextMetrics(const TFont& font);
// Advance width of the text in pixels (no kerning, as GDI's TextOut).
int MeasureText(const TFont& font, const std::string& text);
TextMask RenderText(const TFont& font, const std::string& text);

// Text is taken as UTF-8 when it is valid UTF-8, otherwise as Windows-1252 bytes.
std::u32string DecodeText(const std::string& text);

} // namespace platform::gfx
