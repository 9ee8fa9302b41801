#include "platform/Strings.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

#include "platform/Exceptions.h"
#include "platform/PrintfFormat.h"

namespace platform {

namespace {

// The C locale, used for every conversion so that a process locale with ',' changes nothing.
locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c;
}

class CLocaleScope {
public:
    CLocaleScope() : old_(uselocale(CLocale())) {}
    ~CLocaleScope() { uselocale(old_); }

private:
    locale_t old_;
};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string FormatWithCLibrary(const char* format, va_list args) {
    CLocaleScope scope;
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, args);
    std::string out;
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else if (n >= 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, copy);
        out.resize(static_cast<size_t>(n));
    }
    va_end(copy);
    return out;
}

} // namespace

std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    std::string out;
    bool done = AppendPrintf(out, format, args);
    if (!done) out = FormatWithCLibrary(format, copy);
    va_end(copy);
    return out;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = FormatV(format, args);
    va_end(args);
    return out;
}

std::string FloatToStr(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";
    char text[32]; // 15 significant digits: d.dddddddddddddde+XX, as printf's "%.14e" writes them
    std::string digits(text,
                       std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14).ptr);
    bool negative = digits[0] == '-';
    if (negative) digits.erase(0, 1);
    size_t ePos = digits.find('e');
    int exponent = std::atoi(digits.c_str() + ePos + 1);
    std::string mantissa = digits.substr(0, 1) + digits.substr(2, ePos - 2);
    while (mantissa.size() > 1 && mantissa.back() == '0')
        mantissa.pop_back();
    std::string out;
    // Plain from 0.0001 up to 15 integer digits, like the class library's general format: 0.0001
    // stays "0.0001", 0.00001 becomes "1E-5".
    if (exponent < -4 || exponent >= 15) {
        out = mantissa.substr(0, 1);
        if (mantissa.size() > 1) {
            out += '.';
            out.append(mantissa, 1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
    } else {
        size_t intDigits = static_cast<size_t>(exponent) + 1;
        if (mantissa.size() <= intDigits) {
            out = mantissa + std::string(intDigits - mantissa.size(), '0');
        } else {
            out = mantissa.substr(0, intDigits) + "." + mantissa.substr(intDigits);
        }
    }
    return negative ? "-" + out : out;
}

std::string IntToStr(long long value) {
    return std::to_string(value);
}

bool TryStrToInt(const std::string& text, long long& value) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    size_t i = 0;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') {
        negative = t[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size()) return false;
    unsigned long long result = 0;
    for (; i < t.size(); ++i) {
        char c = Lower(t[i]);
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        result = result * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (result > 0xFFFFFFFFFFULL) return false;
    }
    long long v = static_cast<long long>(result);
    if (base == 16 && !negative && result <= 0xFFFFFFFFULL)
        v = static_cast<int32_t>(static_cast<uint32_t>(result));
    value = negative ? -v : v;
    return true;
}

int StrToIntDef(const std::string& text, int def) {
    long long v;
    if (!TryStrToInt(text, v) || v < INT32_MIN || v > INT32_MAX) return def;
    return static_cast<int>(v);
}

int StrToInt(const std::string& text) {
    long long v;
    if (!TryStrToInt(text, v) || v < INT32_MIN || v > INT32_MAX)
        throw EConvertError("'" + text + "' is not a valid integer value");
    return static_cast<int>(v);
}

bool TryStrToFloat(const std::string& text, double& value) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    CLocaleScope scope;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return false;
    if (std::isnan(v) || std::isinf(v)) return false;
    value = v;
    return true;
}

double StrToFloatDef(const std::string& text, double def) {
    double v;
    return TryStrToFloat(text, v) ? v : def;
}

double StrToFloat(const std::string& text) {
    double v;
    if (!TryStrToFloat(text, v)) throw EConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::string UpperCase(std::string text) {
    for (char& c : text)
        c = Upper(c);
    return text;
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = Lower(c);
    return text;
}

std::string_view TrimView(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

std::string Trim(const std::string& text) {
    return std::string(TrimView(text));
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r' && c != '\n')
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

int CompareText(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(Lower(a[i])),
                      cb = static_cast<unsigned char>(Lower(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false; // most names compared differ in length
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool ContainsText(const std::string& text, const std::string& part) {
    return LowerCase(text).find(LowerCase(part)) != std::string::npos;
}

bool StartsText(const std::string& prefix, const std::string& text) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

} // namespace platform
