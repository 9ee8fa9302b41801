#include "platform/graphics/Printer.h"

#include <stdexcept>

namespace platform::gfx {

Printer::Printer(int ppi, int w, int h) : ppi_(ppi), pageWidth_(w), pageHeight_(h) {}

void Printer::SetPageSize(int w, int h) {
    if (printing_) throw std::logic_error("Printing in progress");
    pageWidth_ = w;
    pageHeight_ = h;
}

void Printer::StartPage() {
    page_ = std::make_unique<Bitmap>(pageWidth_, pageHeight_, pf24bit);
    Canvas& c = page_->GetCanvas();
    c.Brush.Color = clWhite;
    c.Brush.Style = bsSolid;
    c.FillRect({0, 0, pageWidth_, pageHeight_});
    c.Font.SetPixelsPerInch(ppi_);
    c.Font.SetName("Arial");
    c.Font.SetSize(10);
    c.Font.SetColor(clBlack);
}

void Printer::BeginDoc() {
    if (printing_) throw std::logic_error("Printing in progress");
    pages_.clear();
    printing_ = true;
    StartPage();
}

void Printer::NewPage() {
    if (!printing_) throw std::logic_error("Printer is not printing");
    pages_.push_back(*page_);
    StartPage();
}

void Printer::EndDoc() {
    if (!printing_) throw std::logic_error("Printer is not printing");
    pages_.push_back(*page_);
    page_.reset();
    printing_ = false;
}

void Printer::Abort() {
    page_.reset();
    printing_ = false;
}

Canvas& Printer::GetCanvas() {
    if (!printing_ || !page_) throw std::logic_error("Printer is not printing");
    return page_->GetCanvas();
}

} // namespace platform::gfx
