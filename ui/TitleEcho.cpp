#include "ui/TitleEcho.h"

#include "platform/Clock.h"

namespace {

bool HasDigit(const std::string& text) {
    return text.find_first_of("0123456789") != std::string::npos;
}

// Whether b is a only in a changed last digit.
bool OnlyLastDigitDiffers(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    std::size_t last = b.find_last_of("0123456789");
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && i != last) return false;
    return true;
}

} // namespace

void TTitleEcho::Show(const std::string& title) {
    const uint32_t now = platform::GetTickCount();
    if (HasDigit(title) && HasDigit(printed_)) {
        if (OnlyLastDigitDiffers(printed_, title)) return;
        if (platform::TicksElapsed(now, printedTick_) < kMinIntervalMs) return;
    }
    printed_ = title;
    printedTick_ = now;
    print_(title);
}
