#pragma once
// Free routines of the gauge library: numbers and scale label texts, rectangle and point geometry,
// text at nine anchor positions, colour steps and the drawing helpers (gradients, LEDs, bevels,
// sectors, thumbs, a horizontal scale). They keep no state.
//
// Conventions: rectangles are Left, Top, Right, Bottom with Right and Bottom exclusive; "div" truncates
// toward zero; Round rounds halves to even (platform::Round); angles are degrees clockwise from twelve
// o'clock. Values declared single in the library are float here, but every expression is evaluated in
// double and narrowed only where it is stored.
#include <cstdint>
#include <string>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"

namespace platform {
class TForm;
}

namespace gauges {

using platform::gfx::Bitmap;
using platform::gfx::Canvas;
using platform::gfx::TColor;
using platform::gfx::TPoint;
using platform::gfx::TRect;

// Text anchor: which point of the text's box lies at the given point.
enum toPos {
    toTopLeft,
    toTopCenter,
    toTopRight,
    toMidLeft,
    toMidCenter,
    toMidRight,
    toBotLeft,
    toBotCenter,
    toBotRight
};
enum TGradientStyle {
    gsHorizontal1,
    gsHorizontal2,
    gsHorizontal3,
    gsVertical1,
    gsVertical2,
    gsVertical3,
    gsElliptic1,
    gsElliptic2,
    gsElliptic3,
    gsRectangle,
    gsDiamond1,
    gsDiamond2,
    gsTopLeft,
    gsTopRight
};
enum TLEDShape { sRound, sArrowLeft, sArrowRight, sArrowUp, sArrowDown, sRectangle };
enum TLEDPos { lpLeft, lpRight, lpTop, lpBottom };

// Numbers and strings.
double AbLog10(double x);
double AbPower(double base, double exponent);
// 10 to the power round(log10(value)), the exponent in `exponent`; values of 0 or below count as 1.
double AbRoundLogValue(int& exponent, double value);
// Labels of a linear scale from `second` down to `first` in `steps` steps, each followed by ";".
std::string AbRangeStr(float first, float second, int steps, const std::string& format);
// Labels of a logarithmic scale over decades; an end off the step grid gives one label past it.
std::string AbLogRangeStr(int fromExponent, int toExponent, int steps, const std::string& format,
                          bool descending);
std::string AbCalcLogStr(double value, int decades, const std::string& format, bool descending);
// The text before the first separator; `text` keeps what follows it (nothing when there is none).
std::string AbStrToken(std::string& text, char separator);
std::string AbRemoveSign(const std::string& text, char sign);
std::string AbIntToBin(int32_t value, int digits);
std::string AbSingleToBin(float value, int digits);
uint32_t AbBinToLWord(const std::string& text);
int32_t AbBinToInt(const std::string& text);
float AbBinToSingle(const std::string& text);

// Geometry.
inline int AbMinInt(int a, int b) {
    return a < b ? a : b;
}
inline int AbMaxInt(int a, int b) {
    return a > b ? a : b;
}
// value clamped into low .. high; low wins when low > high.
inline int AbMinMaxInt(int value, int low, int high) {
    return AbMaxInt(AbMinInt(value, high), low);
}
TPoint AbCenterPoint(const TRect& r);
int AbGetRadius(const TRect& r);
void AbBorder(TRect& r, int n);
void AbMultiBorder(TRect& r, int left, int top, int right, int bottom);
// The overlap of two rectangles; true when it is not negative (touching rectangles intersect).
bool AbRectIntersection(const TRect& a, const TRect& b, TRect& result);
// Left <= x < Right and Top <= y <= Bottom: the bottom edge counts, the right edge does not.
bool AbInRect(int x, int y, const TRect& r);
bool AbRectIsRect(const TRect& a, const TRect& b);
bool AbRectInRect(const TRect& inner, const TRect& outer);
void AbGetMaxRect(int x, int y, TRect& r);
TRect AbMakeSquare(TRect r);
TRect AbMakeCenterSquare(TRect r);
bool AbInCircle(int x, int y, const TRect& r);
// The point turned about the centre (clockwise on the screen when `clockwise`).
TPoint AbRotate(TPoint p, TPoint centre, float angle, bool clockwise);
// The direction from p1 to p2 in degrees (0 .. 360, 180 straight up).
float AbGetAngle(TPoint p1, TPoint p2);

// Text.
void AbGetTextSize(Canvas& canvas, int& width, int& height, TPoint& half, const std::string& text);
// Height of the whole text; width of its widest ";"-separated token.
void AbGetMaxTokenSize(Canvas& canvas, int& width, int& height, const std::string& text);
void AbTextOut(Canvas& canvas, int x, int y, const std::string& text, toPos anchor);
void AbTextOut3D(Canvas& canvas, int x, int y, TColor textColor, TColor color2, TColor color3,
                 const std::string& text, toPos anchor, bool threeD);
void AbRotTextOut(Canvas& canvas, TPoint p, float angle, const std::string& text, toPos anchor);

// Drawing.
// Colour `step` of `steps` between the two (each channel rounded, halves to even).
TColor AbCalcColor(TColor from, TColor to, int steps, int step);
// Copies what the canvas shows in `rect` into `bitmap`, which gets the rectangle's size.
void GetBkUpImage(Canvas& canvas, Bitmap& bitmap, const TRect& rect);
void AbEllipse3D(Canvas& canvas, TRect& rect, TColor face, bool raised);
void AbCircleAtPoint(Canvas& canvas, TPoint centre, int radius, TColor fill, TColor pen);
void AbThumb(Canvas& canvas, TPoint centre, int size, int unused, bool vertical, TColor color);
void AbBtnBevel(Canvas& canvas, TRect& rect, bool raised, bool fill, TColor color);
void AbDrawLED(Canvas& canvas, const TRect& rect, TLEDShape shape, TColor border, TColor fill);
void AbRoundSector(Canvas& canvas, const TRect& rect, float start, float span);
void AbGradFill(Canvas& canvas, const TRect& rect, TColor from, TColor to, TGradientStyle style);
void AbCircleGradFill(Canvas& canvas, const TRect& rect, TColor from, TColor to);
void AbHorizScala(Canvas& canvas, const std::string& labels, TRect& rect, int steps, int subSteps,
                  bool labelsAbove);
void AbDrawHPointer(Canvas& canvas, const TRect& rect, int position, int halfWidth, int height, bool unused);
void Ab3DEllipse(Canvas& canvas, TPoint offset, TPoint centre, int rx, int ry, const Bitmap& bitmap,
                 TColor ring, bool stretch, bool withRing);

// The folder of the program, with its trailing separator.
std::string AppPath();

// Starts a program, or opens a document or link, in `folder` (platform::ShellExecute with the main
// form's window and the default verb); returns the shell's result: above 32 when started, else the
// shell's error (platform::SE_ERR_FNF...).
int AbExecuteFile(const std::string& fileName, const std::string& params, const std::string& folder,
                  int showCmd);

// The registry key below which AbSaveFormPos keeps one sub-key per form class.
inline constexpr const char* kAbFormPosKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane Gauges";
// Stores the form's Left and Top as the binary value "Position" (two 32-bit little-endian integers,
// Left first) under the key named after the form's class; AbLoadFormPos moves the form there, keeping
// its size, and leaves it where it is when nothing was stored. Both keep the form on the screen: a
// negative Left or Top becomes 0, then a form reaching past the screen's right (bottom) edge is moved
// left (up) to end at it.
void AbSaveFormPos(platform::TForm& form);
void AbLoadFormPos(platform::TForm& form);

// The hand cursor (resource "crHand") as cursor number 5, the analog controls' sliding cursor; done
// once at start-up (and by every analog control, in case the program did not).
inline constexpr int crAbHand = 5;
void AbInstallCursors();

} // namespace gauges
