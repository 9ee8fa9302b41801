#include "components/VCLUtils.h"

#include <utility>

namespace components {

std::string ResStr(const std::string& text) {
    return text;
}

int Max(int a, int b) {
    return a > b ? a : b;
}

int Min(int a, int b) {
    return a < b ? a : b;
}

void SwapInt(int& a, int& b) {
    std::swap(a, b);
}

bool PointInRect(const platform::gfx::TPoint& p, const platform::gfx::TRect& r) {
    return p.X >= r.Left && p.X <= r.Right && p.Y >= r.Top && p.Y <= r.Bottom;
}

} // namespace components
