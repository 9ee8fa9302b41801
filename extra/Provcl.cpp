#include "extra/Provcl.h"

#include <algorithm>

#include "platform/EventLoop.h"
#include "platform/Shell.h"
#include "platform/Strings.h"
#include "platform/controls/Screen.h"

using platform::gfx::TColor;
using platform::gfx::TRect;

namespace extra {

void RegisterProCursors() {
    static const char* const names[] = {"PRO_HANDPOINT", "PRO_SMALLHANDPOINT", "PRO_GRABHAND",
                                        "PRO_GRABHANDARROW", "PRO_DRAGHAND"};
    for (int i = 0; i < 5; ++i)
        if (platform::Screen->CursorResource(crProHandPoint + i).empty())
            platform::Screen->SetCursorResource(crProHandPoint + i, names[i]);
}

void Frame3DSides(platform::gfx::Canvas& canvas, TRect& rect, TSides sides, TColor topColor,
                  TColor bottomColor, int width) {
    canvas.Pen.Width = 1;
    auto line = [&](int x0, int y0, int x1, int y1) {
        canvas.MoveTo(x0, y0);
        canvas.LineTo(x1, y1);
    };
    for (int i = 0; i < width; ++i) {
        canvas.Pen.Color = topColor;
        if (sides & sdLeft) line(rect.Left, rect.Top, rect.Left, rect.Bottom);
        if (sides & sdTop) line(rect.Left, rect.Top, rect.Right, rect.Top);
        canvas.Pen.Color = bottomColor;
        if (sides & sdRight) line(rect.Right - 1, rect.Top, rect.Right - 1, rect.Bottom);
        if (sides & sdBottom) line(rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom - 1);
        if (sides & sdLeft) ++rect.Left;
        if (sides & sdTop) ++rect.Top;
        if (sides & sdRight) --rect.Right;
        if (sides & sdBottom) --rect.Bottom;
    }
}

void FrameCtl3D(platform::gfx::Canvas& canvas, TRect& rect) {
    using namespace platform::gfx;
    Frame3DSides(canvas, rect, sdAllSides, clBtnShadow, clBtnHighlight, 1);
    Frame3DSides(canvas, rect, sdAllSides, clBtnText, clBtnFace, 1);
}

void FrameCtl3DSides(platform::gfx::Canvas& canvas, TRect& rect, TSides sides, bool raised) {
    using namespace platform::gfx;
    if (raised) {
        Frame3DSides(canvas, rect, sides, clBtnHighlight, clBtnShadow, 1);
        Frame3DSides(canvas, rect, sides, cl3DLight, cl3DDkShadow, 1);
    } else {
        Frame3DSides(canvas, rect, sides, clBtnText, clBtnHighlight, 1);
        Frame3DSides(canvas, rect, sides, clBtnShadow, cl3DLight, 1);
    }
}

void Delay(uint32_t ms) {
    platform::EventLoop::Get().RunFor(ms);
}

void OpenURL(const std::string& url) {
    if (!url.empty()) platform::ShellOpen(url);
}

bool FontInstalled(const std::string& name) {
    const auto& fonts = platform::Screen->Fonts;
    return std::any_of(fonts.begin(), fonts.end(),
                       [&](const std::string& f) { return platform::SameText(f, name); });
}

bool FontTahomaInstalled() {
    return FontInstalled("Tahoma");
}

std::string GetNewComponentName(const platform::TComponent* form, const std::string& base) {
    for (int i = 1;; ++i) {
        std::string name = base + std::to_string(i);
        if (!form || !form->FindComponent(name)) return name;
    }
}

} // namespace extra
