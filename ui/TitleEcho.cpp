#include "ui/TitleEcho.h"

#include "platform/Strings.h"

namespace {
constexpr const char* kEraseLine = "\r\x1b[K"; // to the line's start, then erase to its end
} // namespace

std::string TTitleEcho::Drawn(const std::string& title) const {
    std::string shown = "[" + title + "]";
    const int columns = out_.columns ? out_.columns() : 0;
    // One Latin-1 byte is one column.
    if (columns > 1 && shown.size() > static_cast<size_t>(columns - 1)) shown.resize(columns - 1);
    return platform::Latin1ToUtf8(shown);
}

void TTitleEcho::Show(const std::string& title) {
    if (!out_.terminal) return;
    const std::string drawn = Drawn(title);
    if (drawn == drawn_) return;
    drawn_ = drawn;
    out_.write(kEraseLine + drawn_);
}

void TTitleEcho::Line(const std::string& line) {
    if (drawn_.empty()) return out_.write(line + "\n");
    out_.write(kEraseLine + line + "\n" + drawn_);
}

void TTitleEcho::End() {
    if (drawn_.empty()) return;
    drawn_.clear();
    out_.write("\n");
}
