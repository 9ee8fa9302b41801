#include "platform/FloatFormat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/Strings.h"

namespace platform {

namespace {

// The sections of a picture, split at ";" outside quotes.
std::vector<std::string> SplitSections(const std::string& format) {
    std::vector<std::string> sections(1);
    char quote = 0;
    for (char c : format) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

// What a section asks for.
struct Picture {
    int intPlaces = 0;  // digit placeholders before the point
    int intZeros = 0;   // of them, from the first "0" on
    int fracPlaces = 0; // digit placeholders after the point
    int fracZeros = 0;  // up to and including the last "0" after the point
    bool thousands = false;
    bool scientific = false;
    int expDigits = 0;
};

Picture Scan(const std::string& s) {
    Picture p;
    bool afterPoint = false;
    bool sawZero = false;
    char quote = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (p.scientific) {
            continue;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++p.fracPlaces;
                if (c == '0') p.fracZeros = p.fracPlaces;
            } else {
                ++p.intPlaces;
                if (c == '0') sawZero = true;
                if (sawZero) ++p.intZeros;
            }
        } else if (c == '.') {
            afterPoint = true;
        } else if (c == ',') {
            p.thousands = true;
        } else if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
            p.scientific = true;
            size_t j = i + 2;
            while (j < s.size() && s[j] == '0') {
                ++p.expDigits;
                ++j;
            }
        }
    }
    return p;
}

// Decimal digits of |value|: `digits` without leading zeros and the position of the point, so that
// |value| = 0.digits x 10^exponent. Zero gives no digits.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal ToDecimal(double value) {
    Decimal d;
    if (value == 0) return d;
    // 18 significant digits, as printf's "%.17e" gives them.
    char text[40];
    const std::string s(text, std::to_chars(text, text + sizeof text, std::fabs(value),
                                            std::chars_format::scientific, 17).ptr);
    size_t e = s.find('e');
    d.digits = s.substr(0, 1) + s.substr(2, e - 2);
    d.exponent = std::atoi(s.c_str() + e + 1) + 1;
    return d;
}

// Keeps `keep` digits (counted from the first), rounding half away from zero; keep <= 0 keeps none
// (the value may still round up to one digit).
void RoundDigits(Decimal& d, int keep) {
    if (static_cast<int>(d.digits.size()) <= keep) return;
    if (keep < 0) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
            d.digits[static_cast<size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[static_cast<size_t>(i)];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty()) d.exponent = 0;
}

// Digit k of the decimal (k = 0 is the first digit after the point when exponent is 0).
char DigitAt(const Decimal& d, int position) {
    // position counts from the left of the number: the digit with weight 10^(exponent - 1 - position).
    if (position < 0 || position >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[static_cast<size_t>(position)];
}

std::string GroupThousands(const std::string& digits) {
    std::string out;
    int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ',';
        out += digits[static_cast<size_t>(i)];
    }
    return out;
}

// Integer and fraction texts of a plain (not scientific) number.
void PlainParts(double value, const Picture& p, std::string& intText, std::string& fracText) {
    Decimal d = ToDecimal(value);
    RoundDigits(d, d.exponent + p.fracPlaces);
    for (int i = 0; i < d.exponent; ++i)
        intText += DigitAt(d, i);
    if (static_cast<int>(intText.size()) < p.intZeros)
        intText.insert(0, static_cast<size_t>(p.intZeros) - intText.size(), '0');
    for (int i = 0; i < p.fracPlaces; ++i)
        fracText += DigitAt(d, d.exponent + i);
    while (static_cast<int>(fracText.size()) > p.fracZeros && fracText.back() == '0')
        fracText.pop_back();
    if (p.thousands) intText = GroupThousands(intText);
}

// Integer, fraction and exponent texts of the scientific form.
void ScientificParts(double value, const Picture& p, std::string& intText, std::string& fracText,
                     int& exponent) {
    int intPlaces = std::max(p.intPlaces, 1);
    Decimal d = ToDecimal(value);
    RoundDigits(d, intPlaces + p.fracPlaces);
    exponent = d.digits.empty() ? 0 : d.exponent - intPlaces;
    for (int i = 0; i < intPlaces; ++i)
        intText += DigitAt(d, i);
    // Leading zeros of the integer part only as far as the picture's zeros ask.
    size_t lead = 0;
    while (lead + 1 < intText.size() && intText[lead] == '0' &&
           static_cast<int>(intText.size() - lead) > std::max(p.intZeros, 1))
        ++lead;
    intText.erase(0, lead);
    for (int i = 0; i < p.fracPlaces; ++i)
        fracText += DigitAt(d, intPlaces + i);
    while (static_cast<int>(fracText.size()) > p.fracZeros && fracText.back() == '0')
        fracText.pop_back();
}

std::string Apply(const std::string& section, double value, bool minus) {
    Picture p = Scan(section);
    std::string intText, fracText;
    int exponent = 0;
    if (p.scientific)
        ScientificParts(value, p, intText, fracText, exponent);
    else
        PlainParts(value, p, intText, fracText);

    std::string out = minus ? "-" : "";
    bool intDone = false, fracDone = false, afterPoint = false;
    char quote = 0;
    for (size_t i = 0; i < section.size(); ++i) {
        char c = section[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                out += c;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (!afterPoint && !intDone) {
                out += intText;
                intDone = true;
            } else if (afterPoint && !fracDone) {
                out += fracText;
                fracDone = true;
            }
        } else if (c == '.') {
            if (!intDone) {
                out += intText;
                intDone = true;
            }
            afterPoint = true;
            if (!fracText.empty()) out += '.';
        } else if (c == ',') {
            // grouping is done with the digits
        } else if ((c == 'E' || c == 'e') && i + 1 < section.size() &&
                   (section[i + 1] == '+' || section[i + 1] == '-')) {
            if (!intDone) {
                out += intText;
                intDone = true;
            }
            if (afterPoint && !fracDone) {
                out += fracText;
                fracDone = true;
            }
            out += c;
            if (exponent < 0)
                out += '-';
            else if (section[i + 1] == '+')
                out += '+';
            std::string digits = std::to_string(std::abs(exponent));
            if (static_cast<int>(digits.size()) < p.expDigits)
                digits.insert(0, static_cast<size_t>(p.expDigits) - digits.size(), '0');
            out += digits;
            i += 1;
            while (i + 1 < section.size() && section[i + 1] == '0')
                ++i;
        } else {
            out += c;
        }
    }
    if (!intDone && !p.scientific && (p.intPlaces > 0 || p.fracPlaces > 0)) out += intText;
    return out;
}

} // namespace

std::string FormatFloat(const std::string& format, double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    std::vector<std::string> sections = SplitSections(format);
    auto usable = [&](size_t i) { return i < sections.size() && !sections[i].empty(); };
    if (value == 0 && usable(2)) return Apply(sections[2], 0.0, false);
    if (std::signbit(value) && value != 0 && usable(1)) return Apply(sections[1], -value, false);
    if (sections[0].empty() && sections.size() == 1) return FloatToStr(value);
    return Apply(sections[0], std::fabs(value), value < 0);
}

} // namespace platform
