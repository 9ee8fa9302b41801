#pragma once
// The printf conversions the program uses, written without the C library's multi-precision float path
// (the status line alone formats nineteen numbers a second): the same text as vsnprintf in the C locale,
// byte for byte.
//
// Done here: "%%", and d i u x X c s f F with the flags "-+ 0", a width and a precision written as
// digits, and the length modifiers l, ll and z (l also on f). Anything else ('*', '#', e g a p n, h,
// L, a null string) makes it give up; the caller then formats the whole text with vsnprintf.
#include <cstdarg>
#include <string>

namespace platform {

// Appends the formatted text to out and returns true, or returns false (out and args then hold
// something partial) for a format it does not do.
bool AppendPrintf(std::string& out, const char* format, va_list args);

} // namespace platform
