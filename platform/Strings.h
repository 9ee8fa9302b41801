#pragma once
// 8-bit string helpers: printf-style formatting (always with a '.' decimal point), number parsing with
// defaults, FloatToStr and case helpers. Texts are ISO 8859-1; the degree sign is the byte 0xB0.
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr char kDegreeSign = '\xB0';

// printf into a string of any length, in the C locale whatever the process locale is.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same with the arguments already gathered (args is used up).
std::string FormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// General number format: up to 15 significant digits, no trailing zeros, exponent form ("1E-5",
// "1.5E20") outside the plain range; always '.'.
std::string FloatToStr(double value);
std::string IntToStr(long long value);

// Whole-text integer parse (optional sign; "$" or "0x" hexadecimal). Returns false on anything else.
bool TryStrToInt(const std::string& text, long long& value);
int StrToIntDef(const std::string& text, int def);
// Whole-text float parse with '.' as the decimal point (surrounding blanks allowed).
bool TryStrToFloat(const std::string& text, double& value);
double StrToFloatDef(const std::string& text, double def);
// Throws EConvertError ("'x' is not a valid floating point value").
double StrToFloat(const std::string& text);
int StrToInt(const std::string& text);

// ISO 8859-1 (the station's 8-bit texts) to UTF-8, for a terminal.
std::string Latin1ToUtf8(const std::string& text);

std::string UpperCase(std::string text);
std::string LowerCase(std::string text);
std::string Trim(const std::string& text);
// The text on one line: each run of CR and LF as one blank, none at the end (an error text may carry
// line breaks, which a log or an answer line cannot).
std::string OneLine(const std::string& text);
std::string_view TrimView(std::string_view text); // the same without a copy
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
bool Contains(const std::string& text, const std::string& part);
bool ContainsText(const std::string& text, const std::string& part); // case-insensitive
bool StartsText(const std::string& prefix, const std::string& text); // case-insensitive

} // namespace platform
