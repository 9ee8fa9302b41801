#include "platform/controls/SystemMetrics.h"

namespace platform {

TSystemMetrics& SystemMetrics() {
    static TSystemMetrics metrics;
    return metrics;
}

namespace {
bool QueryFont(gfx::TFont& font, const std::string& name, int height) {
    if (SystemMetrics().FontQueryFails) return false;
    font.SetName(name);
    font.SetHeight(height);
    font.SetStyle(0);
    return true;
}
} // namespace

bool GetNonClientMenuFont(gfx::TFont& font) {
    return QueryFont(font, SystemMetrics().MenuFontName, SystemMetrics().MenuFontHeight);
}

bool GetNonClientMessageFont(gfx::TFont& font) {
    return QueryFont(font, SystemMetrics().MessageFontName, SystemMetrics().MessageFontHeight);
}

} // namespace platform
