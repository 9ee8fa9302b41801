#include "gauges/AbProc.h"

#include <cmath>
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/FloatFormat.h"
#include "platform/Numeric.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/Strings.h"
#include "platform/controls/Application.h"
#include "platform/controls/Form.h"
#include "platform/controls/Screen.h"

namespace gauges {

using platform::Round;

double AbLog10(double x) {
    return std::log(x) / std::log(10.0);
}

double AbPower(double base, double exponent) {
    return std::exp(exponent * std::log(base));
}

double AbRoundLogValue(int& exponent, double value) {
    if (!(value > 0)) value = 1.0;
    exponent = Round(AbLog10(value));
    return AbPower(10.0, exponent);
}

std::string AbRangeStr(float first, float second, int steps, const std::string& format) {
    if (steps < 1) steps = 1; // callers pass at least 1; 0 would divide by zero
    double d = (static_cast<double>(second) - first) / steps;
    std::string text;
    for (int i = 0; i <= steps; ++i)
        text += platform::FormatFloat(format, (steps - i) * d + first) + ";";
    return text;
}

namespace {
double PowerOfTen(int exponent) {
    double v = 1;
    platform::TryStrToFloat("1e" + std::to_string(exponent), v);
    return v;
}
} // namespace

std::string AbLogRangeStr(int fromExponent, int toExponent, int steps, const std::string& format,
                          bool descending) {
    if (steps < 1) steps = 1;
    int step = (toExponent - fromExponent) / steps;
    std::string text;
    if (step <= 0) step = 1; // a zero step would never reach the end
    if (descending) {
        int e = toExponent;
        text += platform::FormatFloat(format, PowerOfTen(e)) + ";";
        while (e > fromExponent) {
            e -= step;
            text += platform::FormatFloat(format, PowerOfTen(e)) + ";";
        }
    } else {
        int e = fromExponent;
        text += platform::FormatFloat(format, PowerOfTen(e)) + ";";
        while (e < toExponent) {
            e += step;
            text += platform::FormatFloat(format, PowerOfTen(e)) + ";";
        }
    }
    return text;
}

std::string AbCalcLogStr(double value, int decades, const std::string& format, bool descending) {
    std::string text;
    if (descending) {
        double v = AbPower(10.0, Round(AbLog10(value)) + decades);
        text += platform::FormatFloat(format, v) + ";";
        for (int i = 0; i < decades; ++i) {
            v /= 10;
            text += platform::FormatFloat(format, v) + ";";
        }
    } else {
        double v = value;
        text += platform::FormatFloat(format, v) + ";";
        for (int i = 0; i < decades; ++i) {
            v *= 10;
            text += platform::FormatFloat(format, v) + ";";
        }
    }
    return text;
}

std::string AbStrToken(std::string& text, char separator) {
    size_t p = text.find(separator);
    if (p == std::string::npos) {
        std::string all = std::move(text);
        text.clear();
        return all;
    }
    std::string token = text.substr(0, p);
    text.erase(0, p + 1);
    return token;
}

std::string AbRemoveSign(const std::string& text, char sign) {
    std::string out;
    for (char c : text)
        if (c != sign) out += c;
    return out;
}

std::string AbIntToBin(int32_t value, int digits) {
    uint32_t bits = static_cast<uint32_t>(value);
    int top;
    if (digits <= 0) {
        top = 0;
        for (int b = 31; b > 0; --b)
            if (bits & (1u << b)) {
                top = b;
                break;
            }
    } else {
        top = std::min(digits, 31);
    }
    std::string out;
    for (int b = top; b >= 0; --b)
        out += (bits & (1u << b)) ? '1' : '0';
    return out;
}

std::string AbSingleToBin(float value, int digits) {
    int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return AbIntToBin(bits, digits);
}

uint32_t AbBinToLWord(const std::string& text) {
    uint32_t v = 0;
    int weight = 0;
    for (auto it = text.rbegin(); it != text.rend(); ++it, ++weight)
        if (*it == '1' && weight < 32) v |= 1u << weight;
    return v;
}

int32_t AbBinToInt(const std::string& text) {
    return static_cast<int32_t>(AbBinToLWord(text));
}

float AbBinToSingle(const std::string& text) {
    uint32_t bits = AbBinToLWord(text);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

TPoint AbCenterPoint(const TRect& r) {
    return {r.Left + (r.Right - r.Left) / 2, r.Top + (r.Bottom - r.Top) / 2};
}

int AbGetRadius(const TRect& r) {
    return AbMinInt(r.Right - r.Left, r.Bottom - r.Top) / 2;
}

void AbBorder(TRect& r, int n) {
    AbMultiBorder(r, n, n, n, n);
}

void AbMultiBorder(TRect& r, int left, int top, int right, int bottom) {
    r.Left += left;
    r.Top += top;
    r.Right -= right;
    r.Bottom -= bottom;
}

bool AbRectIntersection(const TRect& a, const TRect& b, TRect& result) {
    result = {AbMaxInt(a.Left, b.Left), AbMaxInt(a.Top, b.Top), AbMinInt(a.Right, b.Right),
              AbMinInt(a.Bottom, b.Bottom)};
    return result.Left <= result.Right && result.Top <= result.Bottom;
}

bool AbInRect(int x, int y, const TRect& r) {
    return r.Left <= x && x < r.Right && r.Top <= y && y <= r.Bottom;
}

bool AbRectIsRect(const TRect& a, const TRect& b) {
    return a == b;
}

bool AbRectInRect(const TRect& inner, const TRect& outer) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

void AbGetMaxRect(int x, int y, TRect& r) {
    r.Left = AbMinInt(r.Left, x);
    r.Right = AbMaxInt(r.Right, x);
    r.Top = AbMinInt(r.Top, y);
    r.Bottom = AbMaxInt(r.Bottom, y);
}

TRect AbMakeSquare(TRect r) {
    int side = AbMinInt(r.Right - r.Left, r.Bottom - r.Top);
    r.Right = r.Left + side;
    r.Bottom = r.Top + side;
    return r;
}

TRect AbMakeCenterSquare(TRect r) {
    int w = r.Right - r.Left, h = r.Bottom - r.Top;
    if (w <= h) {
        r.Top = r.Top + h / 2 - w / 2;
        r.Bottom = r.Top + w;
    } else {
        r.Left = r.Left + w / 2 - h / 2;
        r.Right = r.Left + h;
    }
    return r;
}

bool AbInCircle(int x, int y, const TRect& r) {
    double w = r.Right - r.Left, h = r.Bottom - r.Top;
    double cx = r.Left + w / 2, cy = r.Top + h / 2;
    return 2 * std::hypot(x - cx, y - cy) <= w;
}

TPoint AbRotate(TPoint p, TPoint centre, float angle, bool clockwise) {
    float a = static_cast<float>(static_cast<double>(angle) * 0.017453292519943295);
    double c = std::cos(static_cast<double>(a)), s = std::sin(static_cast<double>(a));
    double dx = p.X - centre.X, dy = p.Y - centre.Y;
    double x, y;
    if (clockwise) {
        x = c * dx - s * dy;
        y = c * dy + s * dx;
    } else {
        x = c * dx + s * dy;
        y = c * dy - s * dx;
    }
    return {centre.X + Round(x), centre.Y + Round(y)};
}

float AbGetAngle(TPoint p, TPoint q) {
    constexpr double kPi = 3.141592653589793;
    float inner;
    if (q.Y == p.Y) {
        inner = q.X > p.X ? 1.5707964f : -1.5707964f;
    } else {
        double dy = q.Y - p.Y + 0.0001;
        if (q.Y < p.Y)
            inner = static_cast<float>(std::atan((p.X - q.X) / dy));
        else if (q.X <= p.X)
            inner = static_cast<float>(-std::atan((q.X - p.X) / dy) - kPi);
        else
            inner = static_cast<float>(kPi - std::atan((q.X - p.X) / dy));
    }
    return static_cast<float>(57.29577951308232 * inner + 180);
}

void AbGetTextSize(Canvas& canvas, int& width, int& height, TPoint& half, const std::string& text) {
    width = canvas.TextWidth(text);
    height = canvas.TextHeight(text);
    half = {width / 2, height / 2};
}

void AbGetMaxTokenSize(Canvas& canvas, int& width, int& height, const std::string& text) {
    height = canvas.TextHeight(text);
    width = 0;
    std::string rest = text;
    while (!rest.empty())
        width = AbMaxInt(width, canvas.TextWidth(AbStrToken(rest, ';')));
}

void AbTextOut(Canvas& canvas, int x, int y, const std::string& text, toPos anchor) {
    int w = canvas.TextWidth(text), h = canvas.TextHeight(text);
    int hw = w / 2, hh = h / 2;
    switch (anchor) {
    case toTopLeft:
        break;
    case toTopCenter:
        x -= hw;
        break;
    case toTopRight:
        x -= w;
        break;
    case toMidLeft:
        y -= hh;
        break;
    case toMidCenter:
        x -= hw;
        y -= hh;
        break;
    case toMidRight:
        x -= w;
        y -= hh;
        break;
    case toBotLeft:
        y -= h;
        break;
    case toBotCenter:
        x -= hw;
        y -= h;
        break;
    case toBotRight:
        x -= w;
        y -= h;
        break;
    }
    canvas.TextOut(x, y, text);
}

void AbTextOut3D(Canvas& canvas, int x, int y, TColor textColor, TColor color2, TColor color3,
                 const std::string& text, toPos anchor, bool threeD) {
    if (threeD) {
        canvas.Font.SetColor(color3);
        AbTextOut(canvas, x + 1, y + 1, text, anchor);
        canvas.Font.SetColor(color2);
        AbTextOut(canvas, x - 1, y - 1, text, anchor);
    }
    canvas.Font.SetColor(textColor);
    AbTextOut(canvas, x, y, text, anchor);
}

void AbRotTextOut(Canvas& canvas, TPoint p, float angle, const std::string& text, toPos anchor) {
    using namespace platform::gfx;
    platform::gfx::TFont old = canvas.Font;
    int oldAlign = canvas.TextAlign;
    canvas.Font.SetOrientation(-platform::Trunc(static_cast<double>(angle) * 10));
    int h = canvas.TextHeight(text);
    TPoint a = p;
    if (anchor == toMidLeft || anchor == toMidCenter || anchor == toMidRight) a.Y = p.Y - h / 2;
    static const int kAlign[] = {TA_LEFT | TA_TOP,      TA_CENTER | TA_TOP,    TA_RIGHT | TA_TOP,
                                 TA_LEFT | TA_TOP,      TA_CENTER | TA_TOP,    TA_RIGHT | TA_TOP,
                                 TA_LEFT | TA_BASELINE, TA_CENTER | TA_BOTTOM, TA_RIGHT | TA_BOTTOM};
    canvas.TextAlign = kAlign[anchor];
    a = AbRotate(a, p, angle, true);
    canvas.TextOut(a.X, a.Y, text);
    // The alignment is restored too, so that later text on the canvas is not moved.
    canvas.TextAlign = oldAlign;
    canvas.Font = old;
}

std::string AppPath() {
    return platform::AppPath();
}

int AbExecuteFile(const std::string& fileName, const std::string& params, const std::string& folder,
                  int showCmd) {
    platform::TForm* main = platform::Application ? platform::Application->MainForm : nullptr;
    return platform::ShellExecute(main ? main->Handle() : 0, "", fileName, params, folder, showCmd);
}

namespace {

std::string FormClassName(const platform::TForm& form) {
    std::string name = platform::TypeName(typeid(form));
    size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

// The position moved onto the screen: negative coordinates to 0, then back from the far edges.
void KeepOnScreen(int& left, int& top, int width, int height) {
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (left + width > platform::Screen->Width) left = platform::Screen->Width - width;
    if (top + height > platform::Screen->Height) top = platform::Screen->Height - height;
}

void PutInt32(std::vector<uint8_t>& bytes, int32_t value) {
    uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

int32_t GetInt32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t{bytes[at + static_cast<size_t>(i)]} << (8 * i);
    return static_cast<int32_t>(u);
}

} // namespace

void AbSaveFormPos(platform::TForm& form) {
    int left = form.Left(), top = form.Top();
    KeepOnScreen(left, top, form.Width(), form.Height());
    std::vector<uint8_t> bytes;
    PutInt32(bytes, left);
    PutInt32(bytes, top);
    platform::TRegIniFile key(kAbFormPosKey);
    platform::WriteBinaryValue(key, FormClassName(form), "Position", bytes);
}

void AbLoadFormPos(platform::TForm& form) {
    platform::TRegIniFile key(kAbFormPosKey);
    std::vector<uint8_t> bytes;
    if (!platform::ReadBinaryValue(key, FormClassName(form), "Position", bytes) || bytes.size() != 8) return;
    int left = GetInt32(bytes, 0), top = GetInt32(bytes, 4);
    KeepOnScreen(left, top, form.Width(), form.Height());
    form.SetBounds(left, top, form.Width(), form.Height());
}

void AbInstallCursors() {
    if (platform::Screen->CursorResource(crAbHand).empty())
        platform::Screen->SetCursorResource(crAbHand, "crHand");
}

} // namespace gauges
