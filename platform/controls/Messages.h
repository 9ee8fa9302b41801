#pragma once
// Message numbers, virtual keys, mouse buttons and shift states of the control layer. Input is
// delivered to controls as messages through Perform, so that a control (or a derived class) sees it in
// its WndProc like any other message.
#include <cstdint>

#include "platform/EventLoop.h"

namespace platform {

// Window messages (numbered as the platform's).
inline constexpr uint32_t WM_SIZE = 0x0005;
inline constexpr uint32_t WM_SETFOCUS = 0x0007;
inline constexpr uint32_t WM_KILLFOCUS = 0x0008;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_WININICHANGE = 0x001A; // regional or other system settings changed
inline constexpr uint32_t WM_SETTINGCHANGE = WM_WININICHANGE;
inline constexpr uint32_t WM_TIMECHANGE = 0x001E;
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_CHAR = 0x0102;
inline constexpr uint32_t WM_GETDLGCODE = 0x0087;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_MOUSEWHEEL = 0x020A;

// Control notifications of the class library.
inline constexpr uint32_t CM_BASE = 0xB000;
inline constexpr uint32_t CM_ENABLEDCHANGED = CM_BASE + 3;
inline constexpr uint32_t CM_FONTCHANGED = CM_BASE + 9;
inline constexpr uint32_t CM_COLORCHANGED = CM_BASE + 10;
inline constexpr uint32_t CM_PARENTFONTCHANGED = CM_BASE + 12;
inline constexpr uint32_t CM_MOUSEENTER = CM_BASE + 19;
inline constexpr uint32_t CM_MOUSELEAVE = CM_BASE + 20;
inline constexpr uint32_t CM_TEXTCHANGED = CM_BASE + 18;
inline constexpr uint32_t CM_VISIBLECHANGED = CM_BASE + 11;
inline constexpr uint32_t CM_ENTER = CM_BASE + 27;
inline constexpr uint32_t CM_EXIT = CM_BASE + 28;
inline constexpr uint32_t CM_DIALOGKEY = CM_BASE + 5;       // wParam: the key; Result 1 = taken
inline constexpr uint32_t CM_RELEASE = CM_BASE + 33;        // a form frees itself
inline constexpr uint32_t CM_SHOWINGCHANGED = CM_BASE + 34; // unused headless; kept for numbering
inline constexpr uint32_t CM_VISIBLECHANGING =
    CM_BASE + 61; // sent before Visible changes (wParam: the new value)

// WM_GETDLGCODE answers.
inline constexpr intptr_t DLGC_WANTARROWS = 0x0001;
inline constexpr intptr_t DLGC_WANTTAB = 0x0002;
inline constexpr intptr_t DLGC_WANTALLKEYS = 0x0004;

// Virtual keys.
inline constexpr uint16_t VK_TAB = 9;
inline constexpr uint16_t VK_RETURN = 13;
inline constexpr uint16_t VK_SHIFT = 16;
inline constexpr uint16_t VK_CONTROL = 17;
inline constexpr uint16_t VK_ESCAPE = 27;
inline constexpr uint16_t VK_SPACE = 32;
inline constexpr uint16_t VK_PRIOR = 33;
inline constexpr uint16_t VK_NEXT = 34;
inline constexpr uint16_t VK_END = 35;
inline constexpr uint16_t VK_HOME = 36;
inline constexpr uint16_t VK_LEFT = 37;
inline constexpr uint16_t VK_UP = 38;
inline constexpr uint16_t VK_RIGHT = 39;
inline constexpr uint16_t VK_DOWN = 40;
inline constexpr uint16_t VK_DELETE = 46;

// Key-state bits of mouse messages (wParam).
inline constexpr WPARAM MK_LBUTTON = 0x0001;
inline constexpr WPARAM MK_RBUTTON = 0x0002;
inline constexpr WPARAM MK_SHIFT = 0x0004;
inline constexpr WPARAM MK_CONTROL = 0x0008;
inline constexpr WPARAM MK_MBUTTON = 0x0010;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Shift state: keys and buttons held.
enum TShiftFlag : uint8_t {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64
};
using TShiftState = uint8_t;

// Packing of mouse coordinates into lParam: x in the low 16 bits, y in the next 16, both signed.
inline LPARAM MakePointParam(int x, int y) {
    return static_cast<LPARAM>(static_cast<uint16_t>(static_cast<int16_t>(x)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(y))) << 16));
}
inline int PointParamX(LPARAM l) {
    return static_cast<int16_t>(static_cast<uint16_t>(l & 0xFFFF));
}
inline int PointParamY(LPARAM l) {
    return static_cast<int16_t>(static_cast<uint16_t>((l >> 16) & 0xFFFF));
}
// Mouse-message key bits from a shift state, and back.
WPARAM KeysFromShift(TShiftState shift);
TShiftState ShiftFromKeys(WPARAM keys);

} // namespace platform
