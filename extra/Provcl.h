#pragma once
// Helpers of the pro controls: 3-D frames on chosen sides, the pause that keeps messages flowing, the
// shell's open of a link, installed fonts, fresh component names, and the pro cursors.
#include <cstdint>
#include <string>

#include "platform/Component.h"
#include "platform/graphics/Canvas.h"

namespace extra {

// The sides of a rectangle, as a set of bits (all four = 0x0F).
enum TSide : uint8_t { sdLeft = 1, sdTop = 2, sdRight = 4, sdBottom = 8 };
using TSides = uint8_t;
inline constexpr TSides sdAllSides = sdLeft | sdTop | sdRight | sdBottom;

// Cursor ids of the pro controls, registered with the screen under their resource names.
inline constexpr int crProHandPoint = 15000;
inline constexpr int crProSmallHandPoint = 15001;
inline constexpr int crProGrabHand = 15002;
inline constexpr int crProGrabHandArrow = 15003;
inline constexpr int crProDragHand = 15004;
// Registers the five cursors "PRO_HANDPOINT" ... "PRO_DRAGHAND" (done by the first pro control).
void RegisterProCursors();

// Width times, with a one-pixel pen: the left side from (left, top) to (left, bottom) and the top side
// from (left, top) to (right, top) in topColor; the right side at x = right - 1 and the bottom side at
// y = bottom - 1 in bottomColor; each only when in sides; then rect shrinks by one pixel on each side
// in sides. (Lines leave out their end point.)
void Frame3DSides(platform::gfx::Canvas& canvas, platform::gfx::TRect& rect, TSides sides,
                  platform::gfx::TColor topColor, platform::gfx::TColor bottomColor, int width);
// Two one-pixel frames: button shadow over highlight outside, button text over face inside.
void FrameCtl3D(platform::gfx::Canvas& canvas, platform::gfx::TRect& rect);
// Two one-pixel frames on sides: raised highlight over shadow, then 3-D light over dark shadow; sunken
// button text over highlight, then shadow over 3-D light.
void FrameCtl3DSides(platform::gfx::Canvas& canvas, platform::gfx::TRect& rect, TSides sides, bool raised);

// Runs the message loop for ms milliseconds (waiting in poll between messages), so that the program
// stays alive while the caller pauses. Returns at once when the application is terminating.
void Delay(uint32_t ms);
// Asks the shell to open a link or document (nothing for an empty text).
void OpenURL(const std::string& url);
// The screen's font list holds the name (letters in either case).
bool FontInstalled(const std::string& name);
bool FontTahomaInstalled();
// The first of base1, base2, ... that names no component of the form.
std::string GetNewComponentName(const platform::TComponent* form, const std::string& base);

} // namespace extra
