#pragma once
// FormatFloat: numbers by picture, as the class library formats them for the gauges' labels.
//
// Picture syntax:
// - "0" a digit, always shown (leading and trailing zeros pad); "#" a digit shown when significant;
//   "." the decimal point (shown only when fraction digits follow); "," anywhere before the point groups
//   the integer digits in threes; "E+", "E-", "e+", "e-" followed by "0"s: scientific form with at least
//   that many exponent digits ("+" always shows the exponent's sign, "-" only a minus).
// - Any other character is copied; text in single or double quotes is copied without the quotes.
// - Up to three sections separated by ";": positive; negative (written as given, no automatic minus);
//   zero. A missing or empty section falls back to the first, which writes a leading "-" for negative
//   values. The zero section is chosen for a value that is zero before rounding.
// - Rounding is half away from zero on the decimal digits of the value (taken to 18 significant
//   digits): "0.0" of 0.25 is "0.3" and "0" of 2.5 is "3". A negative value that rounds to zero in the
//   first section keeps its minus ("-0.0"), as the library writes it.
// - NaN and infinities come out as "NAN", "INF" and "-INF".
#include <string>

namespace platform {

std::string FormatFloat(const std::string& format, double value);

} // namespace platform
