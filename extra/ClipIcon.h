#pragma once
// Icons on the clipboard, and icons at their real size: the size of the image in the icon's file rather
// than the system icon size at which a TIcon shows.
//
// The clipboard carries an icon twice: as a bitmap of its real size over a background colour (with the
// picture's palette, when it has one), for whoever pastes pictures; and as its icon file under the
// registered format "Icon Image", which is what AssignClipboardIcon reads back.
//
// The real-size icon is rebuilt from the icon file: the image that suits the screen's colours (see
// ChooseIconEntry), in screen-compatible colour with its mask. A stock icon file (type 0) gives the
// default application icon; any other file, or one that fails the reader's checks, gives a copy of the
// icon as it is.
#include <memory>

#include "platform/Clipboard.h"
#include "platform/graphics/Canvas.h"
#include "platform/controls/Icon.h"

namespace extra {

// The clipboard format of icon files.
platform::TClipboardFormat IconClipboardFormat();
// Registers that format with the picture class as the one of icons, so that pictures paste icons (the
// program does it at start, StartComponentUnits); once is enough.
void RegisterIconClipboardFormat();

// Empties the clipboard and puts the icon on it in both forms. False, with the clipboard untouched, when
// the icon is empty or the clipboard cannot be opened.
bool CopyIconToClipboard(const platform::gfx::TIcon& icon, platform::gfx::TColor backColor);
// Loads icon from the clipboard's icon file; leaves it unchanged when there is none or it is unsound.
void AssignClipboardIcon(platform::gfx::TIcon& icon);
// A new icon from the clipboard; null when it holds no sound icon file.
std::unique_ptr<platform::gfx::TIcon> CreateIconFromClipboard();

// The icon at its real size (a new icon). Raises EOutOfResources when its bitmaps cannot be made.
platform::gfx::TIcon CreateRealSizeIcon(const platform::gfx::TIcon& icon);
// The size of the icon's picture; the system icon size for an empty icon.
void GetIconSize(const platform::gfx::TIcon& icon, int& width, int& height);
// Draws the icon at (x, y) at its real size.
void DrawRealSizeIcon(platform::gfx::Canvas& canvas, const platform::gfx::TIcon& icon, int x, int y);

} // namespace extra
