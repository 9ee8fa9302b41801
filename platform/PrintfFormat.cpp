#include "platform/PrintfFormat.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
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

// Collects the text in a buffer of its own and hands it to the string in large pieces.
class Sink {
public:
    explicit Sink(std::string& out) : out_(out) {}
    ~Sink() { Flush(); }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    // Most pieces are a few characters: copied by hand, without a call.
    [[gnu::always_inline]] void Put(std::string_view text) {
        size_t n = text.size();
        if (used_ + n > sizeof buffer_) {
            Flush();
            if (n > sizeof buffer_) {
                out_.append(text);
                return;
            }
        }
        char* to = buffer_ + used_;
        const char* from = text.data();
        // Overlapping word copies within the piece: a few instructions whatever its length.
        if (n >= 8) {
            if (n <= 16) {
                std::memcpy(to, from, 8);
                std::memcpy(to + n - 8, from + n - 8, 8);
            } else {
                std::memcpy(to, from, n);
            }
        } else if (n >= 4) {
            std::memcpy(to, from, 4);
            std::memcpy(to + n - 4, from + n - 4, 4);
        } else if (n > 0) {
            to[0] = from[0];
            to[n / 2] = from[n / 2];
            to[n - 1] = from[n - 1];
        }
        used_ += n;
    }
    void Fill(char c, size_t count) {
        while (count > 0) {
            if (used_ == sizeof buffer_) Flush();
            size_t n = std::min(count, sizeof buffer_ - used_);
            std::memset(buffer_ + used_, c, n);
            used_ += n;
            count -= n;
        }
    }
    void Flush() {
        out_.append(buffer_, used_);
        used_ = 0;
    }

private:
    std::string& out_;
    char buffer_[256];
    size_t used_ = 0;
};

void PlacePadded(Sink& out, const Spec& spec, std::string_view sign, std::string_view body, bool zeros);

// The sign and the body placed in the field: spaces before (or after, left-aligned), or zeros between
// the sign and the body. Most fields need no padding: those without a call.
[[gnu::always_inline]] inline void Place(Sink& out, const Spec& spec, std::string_view sign,
                                         std::string_view body, bool zeros) {
    if (spec.width <= sign.size() + body.size()) {
        out.Put(sign);
        out.Put(body);
        return;
    }
    PlacePadded(out, spec, sign, body, zeros);
}

void PlacePadded(Sink& out, const Spec& spec, std::string_view sign, std::string_view body, bool zeros) {
    size_t fill = spec.width - sign.size() - body.size();
    if (spec.left) {
        out.Put(sign);
        out.Put(body);
        out.Fill(' ', fill);
    } else if (zeros) {
        out.Put(sign);
        out.Fill('0', fill);
        out.Put(body);
    } else {
        out.Fill(' ', fill);
        out.Put(sign);
        out.Put(body);
    }
}

std::string_view SignOf(const Spec& spec, bool negative) {
    if (negative) return "-";
    if (spec.plus) return "+";
    if (spec.space) return " ";
    return {};
}

// "00" to "99": two decimal digits a step.
constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

// The decimal digits of v (none for 0) written before `end`; returns where they begin.
char* DecimalBefore(char* end, unsigned long long v) {
    while (v >= 100) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (v >= 10) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * v, 2);
    } else if (v > 0) {
        *--end = static_cast<char>('0' + v);
    }
    return end;
}

// Exactly `count` decimal digits of v (v < 10^count), leading zeros included, written before `end`.
char* FixedDigitsBefore(char* end, uint64_t v, int count) {
    for (; count >= 2; count -= 2) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (count == 1) *--end = static_cast<char>('0' + v);
    return end;
}

void PutInteger(Sink& out, const Spec& spec, unsigned long long magnitude, bool negative, int base,
                bool upper, bool signedConversion) {
    char digits[32];
    char* end = digits + sizeof digits;
    char* p = end;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    if (base == 16) {
        for (unsigned long long v = magnitude; v != 0; v >>= 4)
            *--p = set[v & 15];
    } else {
        p = DecimalBefore(end, magnitude);
    }
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

constexpr uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// |value|·10^precision rounded to a whole number as the C library rounds it (to nearest, a tie to even),
// exactly: the (finite) double is m·2^e, and m·10^precision fits in 128 bits. False when out of range.
bool ScaledMagnitude(double value, int precision, uint64_t& scaled) {
    auto bits = std::bit_cast<uint64_t>(value);
    auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    int e = -1074; // subnormal
    if (biased != 0) {
        mantissa |= uint64_t{1} << 52;
        e = biased - 1075;
    }
    unsigned __int128 x = static_cast<unsigned __int128>(mantissa) * kPow10[precision];
    if (e >= 0) {
        if (e > 40 || (x << e) >> 64 != 0) return false;
        scaled = static_cast<uint64_t>(x << e);
        return true;
    }
    int shift = -e;
    if (shift >= 127) { // far below one unit of the last place: rounds to 0
        scaled = 0;
        return true;
    }
    unsigned __int128 q = x >> shift;
    unsigned __int128 rest = x - (q << shift);
    unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    if (q >> 64 != 0) return false;
    scaled = static_cast<uint64_t>(q);
    return true;
}

bool PutFixed(Sink& out, const Spec& spec, double value, bool upper) {
    int precision = spec.precision < 0 ? 6 : spec.precision;
    uint64_t scaled = 0;
    if (std::isfinite(value) && precision < static_cast<int>(std::size(kPow10)) &&
        ScaledMagnitude(value, precision, scaled)) {
        char text[40];
        char* end = text + sizeof text;
        char* p = end;
        uint64_t whole = scaled, part = 0;
        if (precision > 0) {
            whole = scaled / kPow10[precision];
            part = scaled - whole * kPow10[precision];
            p = FixedDigitsBefore(p, part, precision);
            *--p = '.';
        }
        p = whole == 0 ? FixedDigitsBefore(p, 0, 1) : DecimalBefore(p, whole);
        Place(out, spec, SignOf(spec, std::signbit(value)), std::string_view(p, static_cast<size_t>(end - p)),
              spec.zero);
        return true;
    }
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

bool AppendPrintf(std::string& text, const char* format, va_list args) {
    Sink out(text);
    const char* p = format;
    while (*p) {
        const char* percent = std::strchr(p, '%');
        if (!percent) {
            out.Put(p);
            break;
        }
        out.Put(std::string_view(p, static_cast<size_t>(percent - p)));
        p = percent + 1;
        if (*p == '%') {
            out.Put("%");
            ++p;
            continue;
        }
        Spec spec;
        // The flags ('-', '+', ' ', '0') sort below the other characters of a spec but '.'; most specs
        // have none.
        for (; *p <= '0'; ++p) {
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
