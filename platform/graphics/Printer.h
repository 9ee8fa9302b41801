#pragma once
// The headless printer and the screen constants.
//
// Printer renders each page into a bitmap at a set resolution (default 300 pixels per inch, A4 portrait:
// 2480 x 3508 pixels) and keeps the finished pages for tests or for writing out. BeginDoc starts page 1
// (white), NewPage finishes the current page and starts the next, EndDoc finishes the last page.
// The printer canvas's font uses the printer's resolution for point sizes.
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"

namespace platform::gfx {

struct Screen {
    static constexpr int PixelsPerInch = 96;
    static constexpr int Width = 1280;
    static constexpr int Height = 1024;
};

class Printer {
public:
    explicit Printer(int pixelsPerInch = 300, int pageWidth = 2480, int pageHeight = 3508);

    std::string Title;
    void BeginDoc();
    void NewPage();
    void EndDoc();
    void Abort();
    bool Printing() const { return printing_; }

    int PageWidth() const { return pageWidth_; }
    int PageHeight() const { return pageHeight_; }
    int PageNumber() const { return static_cast<int>(pages_.size()) + (printing_ ? 1 : 0); }
    // GetDeviceCaps(LOGPIXELSX / LOGPIXELSY).
    int PixelsPerInch() const { return ppi_; }
    void SetPageSize(int width, int height);

    // The canvas of the page being printed (valid between BeginDoc and EndDoc).
    Canvas& GetCanvas();
    const std::vector<Bitmap>& Pages() const { return pages_; }

private:
    void StartPage();
    int ppi_;
    int pageWidth_;
    int pageHeight_;
    bool printing_ = false;
    std::unique_ptr<Bitmap> page_;
    std::vector<Bitmap> pages_;
};

} // namespace platform::gfx
