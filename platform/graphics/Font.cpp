#include "platform/graphics/Font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <tuple>

namespace platform::gfx {

namespace {
std::atomic<bool> gTestFont{false};

const char* kFontDir = "/usr/share/fonts/truetype/dejavu/";

bool FileExists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

std::string Lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct FtEngine {
    std::mutex mutex;
    FT_Library lib = nullptr;
    std::map<std::string, FT_Face> faces;
    FtEngine() {
        if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
    }
    FT_Face Face(const std::string& path) {
        auto it = faces.find(path);
        if (it != faces.end()) return it->second;
        FT_Face f = nullptr;
        if (!lib || FT_New_Face(lib, path.c_str(), 0, &f) != 0) f = nullptr;
        faces[path] = f;
        return f;
    }
};
FtEngine& Engine() {
    static FtEngine* e = new FtEngine(); // lives for the process
    return *e;
}

const uint16_t kCp1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                              0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

// Test-font cell height for a font height.
int TestCellHeight(int height) {
    if (height > 0) return height;
    if (height == 0) return 16;
    return std::max(1, static_cast<int>(std::lround(-height * 5.0 / 4.0)));
}

struct GlyphBits;

struct FtSizing {
    FT_Face face = nullptr;
    bool synthBold = false;
    bool synthItalic = false;
    TextMetrics metrics;
    FT_UInt ppem = 0; // set on the face before a glyph is rendered
    // The glyphs of the ASCII characters as LoadGlyph last gave them, while the glyph cache is of
    // generation glyphs.
    std::array<const GlyphBits*, 128> ascii{};
    uint64_t glyphs = 0;
};

// The face and its pixel size for a font; a face of null when FreeType has none.
FtSizing ComputeSizing(const TFont& font) {
    FtSizing s;
    std::string path = FontFileFor(font.Name(), font.Style());
    if (path.empty()) return s;
    FT_Face face = Engine().Face(path);
    if (!face) return s;
    s.face = face;
    std::string plain = FontFileFor(font.Name(), 0);
    s.synthBold = (font.Style() & fsBold) && path == plain;
    s.synthItalic = (font.Style() & fsItalic) && path.find("Oblique") == std::string::npos &&
                    path.find("Italic") == std::string::npos;
    int upem = face->units_per_EM ? face->units_per_EM : 2048;
    int winA = face->ascender, winD = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
        winA = os2->usWinAscent;
        winD = os2->usWinDescent;
    }
    int h = font.Height() == 0 ? -13 : font.Height();
    int ppem =
        h < 0 ? -h
              : std::max(1, static_cast<int>(std::lround(static_cast<double>(h) * upem / (winA + winD))));
    s.ppem = static_cast<FT_UInt>(ppem);
    s.metrics.Ascent = static_cast<int>(std::lround(static_cast<double>(winA) * ppem / upem));
    s.metrics.Descent = static_cast<int>(std::lround(static_cast<double>(winD) * ppem / upem));
    s.metrics.Height = s.metrics.Ascent + s.metrics.Descent;
    return s;
}

// Sizings by name, style and height: the graphs measure and draw hundreds of texts in a few fonts.
// Used under the engine's lock.
FtSizing& SizeFace(const TFont& font) {
    using Key = std::tuple<std::string, TFontStyles, int>;
    static std::map<Key, FtSizing> cache;
    static const Key* last = nullptr;
    static FtSizing* lastSizing = nullptr;
    if (last && std::get<1>(*last) == font.Style() && std::get<2>(*last) == font.Height() &&
        std::get<0>(*last) == font.Name())
        return *lastSizing;
    Key key{font.Name(), font.Style(), font.Height()};
    auto it = cache.find(key);
    if (it == cache.end()) {
        if (cache.size() >= 1024) cache.clear(); // a bound for programs that use many sizes
        it = cache.emplace(std::move(key), ComputeSizing(font)).first;
    }
    last = &it->first;
    lastSizing = &it->second;
    return it->second;
}

void DrawDecorations(const TFont& font, TextMask& m) {
    int thick = std::max(1, m.Height / 15);
    auto bar = [&](int y0) {
        for (int y = y0; y < y0 + thick; ++y) {
            if (y < 0 || y >= m.Height) continue;
            for (int x = 0; x < m.Width; ++x)
                m.Ink[static_cast<size_t>(y * m.Width + x)] = 1;
        }
    };
    if (font.Style() & fsUnderline) bar(std::min(m.Height - thick, m.Ascent + 1));
    if (font.Style() & fsStrikeOut) bar(m.Ascent - m.Ascent / 3);
}
} // namespace

// ---- Font ----

void TFont::Assign(const TFont& o) {
    if (this == &o) return;
    name_ = o.name_;
    height_ = o.height_;
    style_ = o.style_;
    color_ = o.color_;
    orientation_ = o.orientation_;
    ppi_ = o.ppi_;
    if (OnChange) OnChange(*this);
}

int TFont::Size() const {
    return static_cast<int>(std::lround(-static_cast<double>(height_) * 72.0 / ppi_));
}
void TFont::SetSize(int points) {
    SetHeight(-static_cast<int>(std::lround(static_cast<double>(points) * ppi_ / 72.0)));
}

void TFont::UseTestFont(bool on) {
    gTestFont = on;
}
bool TFont::TestFontInUse() {
    return gTestFont;
}
bool TFont::IsTestFont() const {
    return gTestFont || name_ == TestFontName;
}

std::string FontFileFor(const std::string& name, TFontStyles style) {
    std::string n = Lower(name);
    std::string family = "DejaVuSans";
    if (n.find("courier") != std::string::npos || n.find("mono") != std::string::npos ||
        n.find("fixedsys") != std::string::npos)
        family = "DejaVuSansMono";
    else if (n.find("times") != std::string::npos || n.find("serif") == 0 ||
             n.find("roman") != std::string::npos)
        family = "DejaVuSerif";
    bool bold = style & fsBold, italic = style & fsItalic;
    // The installed fonts are looked for once per family and style (every text drawn asks).
    static std::mutex foundMutex;
    static std::map<std::tuple<std::string, bool, bool>, std::string> found;
    std::lock_guard lock(foundMutex);
    auto [known, fresh] = found.try_emplace({family, bold, italic});
    if (!fresh) return known->second;
    std::string italicWord = family == "DejaVuSerif" ? "Italic" : "Oblique";
    std::vector<std::string> tries;
    if (bold && italic) tries.push_back(family + "-Bold" + italicWord);
    if (bold) tries.push_back(family + "-Bold");
    if (italic) tries.push_back(family + "-" + italicWord);
    tries.push_back(family);
    tries.push_back("DejaVuSans");
    for (auto& t : tries) {
        std::string p = std::string(kFontDir) + t + ".ttf";
        if (FileExists(p)) return known->second = p;
    }
    return {};
}

std::u32string DecodeText(const std::string& text) {
    std::u32string out;
    bool valid = true;
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra;
        char32_t cp;
        if (c < 0x80) {
            extra = 0;
            cp = c;
        } else if ((c >> 5) == 6) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c >> 4) == 14) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c >> 3) == 30) {
            extra = 3;
            cp = c & 0x07;
        } else {
            valid = false;
            break;
        }
        if (i + extra >= n + (extra == 0 ? 1 : 0) && extra > 0) {
            valid = false;
            break;
        }
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!valid) break;
        out.push_back(cp);
        i += extra + 1;
    }
    if (valid) return out;
    out.clear();
    for (unsigned char c : text)
        out.push_back(c >= 0x80 && c < 0xA0 ? kCp1252[c - 0x80] : c);
    return out;
}

TextMetrics GetTextMetrics(const TFont& font) {
    if (font.IsTestFont()) {
        int h = TestCellHeight(font.Height());
        return {h - h / 4, h / 4, h};
    }
    std::lock_guard<std::mutex> lock(Engine().mutex);
    const FtSizing& s = SizeFace(font);
    if (!s.face) {
        int h = TestCellHeight(font.Height());
        return {h - h / 4, h / 4, h};
    }
    return s.metrics;
}

namespace {
struct GlyphBits {
    int left = 0, top = 0, width = 0, rows = 0, advance = 0;
    std::vector<uint8_t> ink;
};

GlyphBits RenderGlyph(const FtSizing& s, char32_t cp) {
    GlyphBits g;
    FT_Face face = s.face;
    FT_Matrix shear{0x10000, s.synthItalic ? 0x0366A : 0, 0, 0x10000};
    FT_Set_Transform(face, s.synthItalic ? &shear : nullptr, nullptr);
    FT_UInt gi = FT_Get_Char_Index(face, cp);
    if (FT_Load_Glyph(face, gi, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return g;
    if (s.synthBold) FT_GlyphSlot_Embolden(face->glyph);
    g.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0) return g;
    const FT_Bitmap& bm = face->glyph->bitmap;
    g.left = face->glyph->bitmap_left;
    g.top = face->glyph->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.rows = static_cast<int>(bm.rows);
    g.ink.assign(static_cast<size_t>(g.width) * static_cast<size_t>(g.rows), 0);
    for (int y = 0; y < g.rows; ++y) {
        const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        for (int x = 0; x < g.width; ++x) {
            bool on =
                bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x] >= 128;
            g.ink[static_cast<size_t>(y * g.width + x)] = on ? 1 : 0;
        }
    }
    return g;
}

// Rendered glyphs by face, pixel size, synthesis and character: hinting a glyph costs far more than
// drawing it, and the graphs write the same few characters over and over. Used under the engine's lock;
// a reference lives until the next LoadGlyph that finds the cache full (ReserveGlyphs avoids that).
struct GlyphCache {
    using Key = std::tuple<FT_Face, FT_UInt, bool, bool, char32_t>;
    static constexpr size_t kBound = 8192; // a bound for programs that use many sizes
    std::map<Key, GlyphBits> glyphs;
    uint64_t generation = 1; // counts the clears
    void Clear() {
        glyphs.clear();
        ++generation;
    }
};
GlyphCache& Glyphs() {
    static GlyphCache cache;
    return cache;
}

// Room for `count` more glyphs without a clear in between.
void ReserveGlyphs(size_t count) {
    if (Glyphs().glyphs.size() + count > GlyphCache::kBound) Glyphs().Clear();
}

const GlyphBits& LoadGlyph(FtSizing& s, char32_t cp) {
    GlyphCache& cache = Glyphs();
    const bool ascii = cp < s.ascii.size();
    if (ascii && s.glyphs == cache.generation && s.ascii[cp]) return *s.ascii[cp];
    GlyphCache::Key key{s.face, s.ppem, s.synthBold, s.synthItalic, cp};
    auto it = cache.glyphs.find(key);
    if (it == cache.glyphs.end()) {
        if (cache.glyphs.size() >= GlyphCache::kBound) cache.Clear();
        FT_Set_Pixel_Sizes(s.face, 0, s.ppem);
        it = cache.glyphs.emplace(key, RenderGlyph(s, cp)).first;
    }
    if (ascii) {
        if (s.glyphs != cache.generation) {
            s.ascii.fill(nullptr);
            s.glyphs = cache.generation;
        }
        s.ascii[cp] = &it->second;
    }
    return it->second;
}
} // namespace

int MeasureText(const TFont& font, const std::string& text) {
    // ASCII text (most of what is measured) is its own code points, without a decoded copy.
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::u32string u = ascii ? std::u32string() : DecodeText(text);
    const size_t count = ascii ? text.size() : u.size();
    auto testWidth = [&] { return static_cast<int>(count) * std::max(1, TestCellHeight(font.Height()) / 2); };
    if (font.IsTestFont()) return testWidth();
    std::lock_guard<std::mutex> lock(Engine().mutex);
    FtSizing& s = SizeFace(font);
    if (!s.face) return testWidth();
    int w = 0;
    for (size_t i = 0; i < count; ++i)
        w += LoadGlyph(s, ascii ? static_cast<char32_t>(text[i]) : u[i]).advance;
    return w;
}

TextMask RenderText(const TFont& font, const std::string& text) {
    std::u32string u = DecodeText(text);
    TextMask m;
    bool test = font.IsTestFont();
    std::unique_lock<std::mutex> lock(Engine().mutex, std::defer_lock);
    FtSizing* sizing = nullptr;
    if (!test) {
        lock.lock();
        sizing = &SizeFace(font);
        if (!sizing->face) test = true;
    }
    if (test) {
        int h = TestCellHeight(font.Height());
        int cw = std::max(1, h / 2);
        m.Height = h;
        m.Ascent = h - h / 4;
        m.Width = cw * static_cast<int>(u.size());
        m.Ink.assign(static_cast<size_t>(m.Width) * static_cast<size_t>(m.Height), 0);
        for (size_t i = 0; i < u.size(); ++i) {
            if (u[i] == U' ') continue;
            for (int y = 1; y < m.Ascent; ++y)
                for (int x = 0; x < cw - 1; ++x)
                    m.Ink[static_cast<size_t>(y * m.Width + static_cast<int>(i) * cw + x)] = 1;
        }
        DrawDecorations(font, m);
        return m;
    }
    std::vector<const GlyphBits*> glyphs;
    glyphs.reserve(u.size());
    ReserveGlyphs(u.size());
    int width = 0;
    for (char32_t c : u) {
        glyphs.push_back(&LoadGlyph(*sizing, c));
        width += glyphs.back()->advance;
    }
    m.Width = width;
    m.Height = sizing->metrics.Height;
    m.Ascent = sizing->metrics.Ascent;
    m.Ink.assign(static_cast<size_t>(m.Width) * static_cast<size_t>(m.Height), 0);
    int pen = 0;
    for (const GlyphBits* glyph : glyphs) {
        const GlyphBits& g = *glyph;
        // The glyph's columns inside the cell, found once for all its rows; ink is 0 or 1.
        const int x0 = std::max(0, -(pen + g.left)), x1 = std::min(g.width, m.Width - (pen + g.left));
        for (int y = 0; y < g.rows && x0 < x1; ++y) {
            int ty = m.Ascent - g.top + y;
            if (ty < 0 || ty >= m.Height) continue;
            const uint8_t* from = g.ink.data() + static_cast<size_t>(y * g.width + x0);
            uint8_t* to = m.Ink.data() + static_cast<size_t>(ty * m.Width + pen + g.left + x0);
            for (int i = 0; i < x1 - x0; ++i)
                to[i] |= from[i];
        }
        pen += g.advance;
    }
    DrawDecorations(font, m);
    return m;
}

} // namespace platform::gfx
