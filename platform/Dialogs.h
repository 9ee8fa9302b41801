#pragma once
// Message boxes, headless: the text goes to a hook (tests record it) or, without one, to standard
// error; the box answers at once with its default button.
#include <functional>
#include <string>

namespace platform {

inline constexpr int MB_OK = 0x0000;
inline constexpr int MB_ICONERROR = 0x0010;
inline constexpr int IDOK = 1;

using MessageBoxHook = std::function<int(const std::string& text, const std::string& caption, int flags)>;

// Installs the hook (an empty one restores the default) and returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
int MessageBox(const std::string& text, const std::string& caption, int flags = MB_OK);

} // namespace platform
