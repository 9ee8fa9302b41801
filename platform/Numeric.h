#pragma once
// Float-to-integer conversions of the runtime, safe for every input: the library's Round rounds to the
// nearest integer with halves to the even neighbour (the processor's default mode); Trunc drops the
// fraction. NaN gives 0, and values beyond the target range saturate at its ends, where a plain C++
// conversion would be undefined.
#include <cmath>
#include <cstdint>
#include <limits>

namespace platform {

template <class Int> Int SaturatingConvert(double rounded) {
    if (std::isnan(rounded)) return 0;
    if (rounded <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    // max() of 64-bit types is not a double: compare with 2^63 (2^31 for 32 bits), which is.
    if (rounded >= -static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(rounded);
}

inline int32_t Round(double x) {
    return SaturatingConvert<int32_t>(std::nearbyint(x));
}
inline int64_t Round64(double x) {
    return SaturatingConvert<int64_t>(std::nearbyint(x));
}
inline int32_t Trunc(double x) {
    return SaturatingConvert<int32_t>(std::trunc(x));
}
// a x b / c rounded to the nearest integer, halves away from zero, through a 64-bit product; the
// result saturates at the int range, and c = 0 gives 0.
inline int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return 0;
    int64_t p = static_cast<int64_t>(a) * b;
    int64_t q = p / c, r = p % c;
    if (2 * (r < 0 ? -r : r) >= (c < 0 ? -static_cast<int64_t>(c) : c)) q += ((p < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int32_t>(q < INT32_MIN ? INT32_MIN : q > INT32_MAX ? INT32_MAX : q);
}

inline int16_t SaturateInt16(int64_t v) {
    return static_cast<int16_t>(v < INT16_MIN ? INT16_MIN : v > INT16_MAX ? INT16_MAX : v);
}

} // namespace platform
