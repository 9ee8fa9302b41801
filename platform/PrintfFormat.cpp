#include "platform/PrintfFormat.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <sys/types.h>

namespace platform {

namespace {

struct Spec {
    bool left = false;  // '-'
    bool plus = false;  // '+'
    bool space = false; // ' '
    bool zero = false;  // '0'
    size_t width = 0;
    int precision = -1; // none
};

// The sign and the body placed in the field: spaces before (or after, left-aligned), or zeros between
// the sign and the body.
void Place(std::string& out, const Spec& spec, std::string_view sign, std::string_view body, bool zeros) {
    size_t length = sign.size() + body.size();
    size_t fill = spec.width > length ? spec.width - length : 0;
    if (spec.left) {
        out += sign;
        out += body;
        out.append(fill, ' ');
    } else if (zeros) {
        out += sign;
        out.append(fill, '0');
        out += body;
    } else {
        out.append(fill, ' ');
        out += sign;
        out += body;
    }
}

std::string_view SignOf(const Spec& spec, bool negative) {
    if (negative) return "-";
    if (spec.plus) return "+";
    if (spec.space) return " ";
    return {};
}

void PutInteger(std::string& out, const Spec& spec, unsigned long long magnitude, bool negative, int base,
                bool upper, bool signedConversion) {
    char digits[32];
    char* end = digits + sizeof digits;
    char* p = end;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (unsigned long long v = magnitude; v != 0; v /= static_cast<unsigned>(base))
        *--p = set[v % static_cast<unsigned>(base)];
    // A precision is the least number of digits (none at all for zero with precision 0); the '0' flag
    // pads only where no precision is given.
    size_t wanted = spec.precision < 0 ? 1 : static_cast<size_t>(spec.precision);
    std::string_view sign = signedConversion ? SignOf(spec, negative) : std::string_view{};
    size_t have = static_cast<size_t>(end - p);
    if (have >= wanted) {
        Place(out, spec, sign, std::string_view(p, have), spec.zero && spec.precision < 0);
        return;
    }
    if (spec.precision < 0) { // zero
        Place(out, spec, sign, "0", spec.zero);
        return;
    }
    std::string body(wanted - have, '0');
    body.append(p, have);
    Place(out, spec, sign, body, false);
}

bool PutFixed(std::string& out, const Spec& spec, double value, bool upper) {
    int precision = spec.precision < 0 ? 6 : spec.precision;
    if (precision > 64) return false;
    char text[400]; // the largest double has 309 integer digits
    auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    if (error != std::errc{}) return false;
    std::string_view body(text, static_cast<size_t>(end - text));
    bool negative = !body.empty() && body.front() == '-';
    if (negative) body.remove_prefix(1);
    bool finite = std::isfinite(value);
    if (!finite && upper) {
        for (char* c = text + (negative ? 1 : 0); c != end; ++c)
            *c = static_cast<char>(*c - 'a' + 'A');
    }
    Place(out, spec, SignOf(spec, negative), body, spec.zero && finite);
    return true;
}

// Reads the digits at p into n; false when the number is too large to be a field width.
bool Digits(const char*& p, size_t& n) {
    n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10 + static_cast<size_t>(*p++ - '0');
        if (n > 4096) return false;
    }
    return true;
}

enum class Length { None, Long, LongLong, Size };

} // namespace

bool AppendPrintf(std::string& out, const char* format, va_list args) {
    const char* p = format;
    while (*p) {
        const char* percent = std::strchr(p, '%');
        if (!percent) {
            out.append(p);
            break;
        }
        out.append(p, static_cast<size_t>(percent - p));
        p = percent + 1;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        Spec spec;
        for (;; ++p) {
            if (*p == '-')
                spec.left = true;
            else if (*p == '+')
                spec.plus = true;
            else if (*p == ' ')
                spec.space = true;
            else if (*p == '0')
                spec.zero = true;
            else
                break;
        }
        if (!Digits(p, spec.width)) return false;
        if (*p == '.') {
            ++p;
            size_t precision;
            if (!Digits(p, precision)) return false;
            spec.precision = static_cast<int>(precision);
        }
        Length length = Length::None;
        if (*p == 'l') {
            ++p;
            length = Length::Long;
            if (*p == 'l') {
                ++p;
                length = Length::LongLong;
            }
        } else if (*p == 'z') {
            ++p;
            length = Length::Size;
        }
        char conversion = *p++;
        switch (conversion) {
        case 'd':
        case 'i': {
            long long value = length == Length::None       ? va_arg(args, int)
                              : length == Length::Long     ? va_arg(args, long)
                              : length == Length::LongLong ? va_arg(args, long long)
                                                           : va_arg(args, ssize_t);
            unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                     : static_cast<unsigned long long>(value);
            PutInteger(out, spec, magnitude, value < 0, 10, false, true);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long long value = length == Length::None       ? va_arg(args, unsigned)
                                       : length == Length::Long     ? va_arg(args, unsigned long)
                                       : length == Length::LongLong ? va_arg(args, unsigned long long)
                                                                    : va_arg(args, size_t);
            PutInteger(out, spec, value, false, conversion == 'u' ? 10 : 16, conversion == 'X', false);
            break;
        }
        case 'f':
        case 'F':
            if (length != Length::None && length != Length::Long) return false;
            if (!PutFixed(out, spec, va_arg(args, double), conversion == 'F')) return false;
            break;
        case 's': {
            if (length != Length::None || spec.zero) return false;
            const char* text = va_arg(args, const char*);
            if (!text) return false;
            size_t n =
                spec.precision < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(spec.precision));
            Place(out, spec, {}, std::string_view(text, n), false);
            break;
        }
        case 'c': {
            if (length != Length::None || spec.zero) return false;
            char c = static_cast<char>(va_arg(args, int));
            Place(out, spec, {}, std::string_view(&c, 1), false);
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

} // namespace platform
