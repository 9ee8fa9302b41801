#pragma once
// The desktop's look as the controls ask for it: whether new-style (3-D) controls are on, the menu's
// check-mark width and bar height, and the fonts of menus and message boxes from the non-client
// metrics. Fixed values that tests may change; FontQueryFails makes the font queries fail, as on a
// system that cannot answer them.
#include "platform/graphics/Font.h"

namespace platform {

struct TSystemMetrics {
    bool NewStyleControls = true;
    int CheckMarkWidth = 13;
    int MenuBarHeight = 19;
    int IconSize = 32;
    bool FontQueryFails = false;
    std::string MenuFontName = "Tahoma";
    int MenuFontHeight = -11;
    std::string MessageFontName = "Tahoma";
    int MessageFontHeight = -11;
};

TSystemMetrics& SystemMetrics();

// The menu or message font of the non-client metrics (charset as the system's, colour untouched);
// false, and font unchanged, when the query fails.
bool GetNonClientMenuFont(gfx::TFont& font);
bool GetNonClientMessageFont(gfx::TFont& font);

} // namespace platform
