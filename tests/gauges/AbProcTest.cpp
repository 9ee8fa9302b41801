// The drawing procedures: scale label texts, bits, geometry with its edge rules, rotation and angles,
// colour steps, text anchors (with the fixed-metric test font), read-back and pointer shapes; starting
// programs and documents, and form positions in the registry.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "gauges/AbArrow.h"
#include "gauges/AbProc.h"
#include "platform/EventLoop.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/controls/Form.h"
#include "platform/graphics/Font.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace gauges;
using namespace platform::gfx;

namespace {

TEST(AbProcTexts, ScaleLabelsTokensAndBits) {
    EXPECT_EQ(AbRangeStr(0, 100, 4, "0"), "100;75;50;25;0;");
    EXPECT_EQ(AbRangeStr(-30, 50, 8, "##0.0"), "50.0;40.0;30.0;20.0;10.0;0.0;-10.0;-20.0;-30.0;");
    EXPECT_EQ(AbLogRangeStr(0, 3, 3, "0", false), "1;10;100;1000;");
    EXPECT_EQ(AbLogRangeStr(0, 3, 3, "0", true), "1000;100;10;1;");
    EXPECT_EQ(AbLogRangeStr(0, 5, 2, "0", false), "1;100;10000;1000000;") << "one label past an off-grid end";
    EXPECT_EQ(AbLogRangeStr(-2, 0, 2, "0.##", false), "0.01;0.1;1;");
    EXPECT_EQ(AbCalcLogStr(30, 2, "0", true), "1000;100;10;");
    EXPECT_EQ(AbCalcLogStr(3, 2, "0", false), "3;30;300;");

    std::string text = "a;b";
    EXPECT_EQ(AbStrToken(text, ';'), "a");
    EXPECT_EQ(text, "b");
    EXPECT_EQ(AbStrToken(text, ';'), "b");
    EXPECT_EQ(text, "");
    EXPECT_EQ(AbRemoveSign("-1-2", '-'), "12");

    EXPECT_EQ(AbIntToBin(5, 0), "101");
    EXPECT_EQ(AbIntToBin(5, 8), "000000101");
    EXPECT_EQ(AbIntToBin(0, -3), "0");
    EXPECT_EQ(AbIntToBin(-1, 0), std::string(32, '1'));
    EXPECT_EQ(AbIntToBin(5, 40).size(), 32u);
    EXPECT_EQ(AbBinToLWord("1x1"), 5u) << "any other character is a 0 that takes its place";
    EXPECT_EQ(AbBinToInt(std::string(32, '1')), -1);
    EXPECT_EQ(AbSingleToBin(1.0f, 31), "00111111100000000000000000000000");
    EXPECT_EQ(AbBinToSingle(AbSingleToBin(-2.5f, 31)), -2.5f);
    int exponent = 0;
    EXPECT_FLOAT_EQ(AbRoundLogValue(exponent, 400), 1000);
    EXPECT_EQ(exponent, 3);
    EXPECT_DOUBLE_EQ(AbRoundLogValue(exponent, -5), 1);
}

TEST(AbProcGeometry, EdgesSquaresAndCircles) {
    EXPECT_EQ(AbMinMaxInt(5, 10, 0), 10);
    EXPECT_EQ(AbMinMaxInt(5, 0, 10), 5);
    TRect r{10, 20, 30, 40};
    EXPECT_FALSE(AbInRect(30, 25, r)) << "the right edge does not count";
    EXPECT_TRUE(AbInRect(15, 40, r)) << "the bottom edge does";
    EXPECT_TRUE(AbInRect(10, 20, r));
    EXPECT_EQ(AbCenterPoint({0, 0, 11, 7}), (TPoint{5, 3}));
    EXPECT_EQ(AbGetRadius({0, 0, 11, 7}), 3);
    TRect out;
    EXPECT_TRUE(AbRectIntersection({0, 0, 10, 10}, {10, 0, 20, 10}, out)) << "touching rectangles intersect";
    EXPECT_FALSE(AbRectIntersection({0, 0, 10, 10}, {11, 0, 20, 10}, out));
    EXPECT_EQ(AbMakeSquare({5, 5, 25, 15}), (TRect{5, 5, 15, 15}));
    EXPECT_EQ(AbMakeCenterSquare({0, 0, 20, 10}), (TRect{5, 0, 15, 10}));
    EXPECT_EQ(AbMakeCenterSquare({0, 0, 10, 21}), (TRect{0, 5, 10, 15}));
    TRect grow{10, 10, 20, 20};
    AbGetMaxRect(5, 30, grow);
    EXPECT_EQ(grow, (TRect{5, 10, 20, 30}));
    EXPECT_TRUE(AbInCircle(10, 0, {0, 0, 20, 20}));
    EXPECT_TRUE(AbInCircle(3, 3, {0, 0, 20, 20}));
    EXPECT_FALSE(AbInCircle(2, 2, {0, 0, 20, 20}));
}

TEST(AbProcGeometry, RotationAndAngleOfTheFourQuadrants) {
    TPoint c{10, 10}, up{10, 0};
    EXPECT_EQ(AbRotate(up, c, 90, true), (TPoint{20, 10}));
    EXPECT_EQ(AbRotate(up, c, 180, true), (TPoint{10, 20}));
    EXPECT_EQ(AbRotate(up, c, 90, false), (TPoint{0, 10}));
    EXPECT_EQ(AbRotate(up, c, 45, true), (TPoint{17, 3}));
    TPoint o{0, 0};
    EXPECT_NEAR(AbGetAngle(o, {0, -10}), 180, 1e-4);
    EXPECT_NEAR(AbGetAngle(o, {10, 0}), 270, 1e-4);
    EXPECT_NEAR(AbGetAngle(o, {0, 10}), 0, 1e-4);
    EXPECT_NEAR(AbGetAngle(o, {-10, 0}), 90, 1e-4);
    EXPECT_NEAR(AbGetAngle(o, {10, -10}), 225, 1e-3);
    EXPECT_NEAR(AbGetAngle(o, {10, 10}), 315, 1e-3);
    EXPECT_NEAR(AbGetAngle(o, {-10, 10}), 45, 1e-3);
    EXPECT_NEAR(AbGetAngle(o, {-10, -10}), 135, 1e-3);
}

TEST(AbProcColours, StepsRoundToEvenAndEqualColoursStayAsGiven) {
    EXPECT_EQ(AbCalcColor(clBlack, clWhite, 0, 0), clBlack);
    EXPECT_EQ(AbCalcColor(clBlack, clWhite, 4, 2), RGB(128, 128, 128)); // 127.5 to even
    EXPECT_EQ(AbCalcColor(clBlack, clWhite, 4, 4), clWhite);
    EXPECT_EQ(AbCalcColor(clBtnFace, clSilver, 4, 2), clBtnFace)
        << "equal after resolving: returned unresolved";
    EXPECT_EQ(AbCalcColor(clWhite, clBlack, 2, 1), RGB(127, 127, 127)); // 255 - 127.5: -127.5 to even

    Bitmap plain(12, 9);
    AbGradFill(plain.GetCanvas(), {0, 0, 12, 9}, clBtnFace, clSilver, gsElliptic1);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(plain.GetPixel(x, y), clSilver);

    Bitmap ramp(4, 64);
    AbGradFill(ramp.GetCanvas(), {0, 0, 4, 64}, clBlack, RGB(0, 0, 255), gsHorizontal1);
    EXPECT_EQ(ramp.GetPixel(0, 0), clBlack);
    int previous = -1;
    for (int y = 0; y < 64; ++y) {
        int blue = GetBValue(ramp.GetPixel(2, y));
        EXPECT_GE(blue, previous) << "row " << y;
        previous = blue;
    }
    EXPECT_GE(previous, 248);
}

TEST(AbProcText, AnchorsPlaceTheTextBoxWithTheTestFont) {
    Bitmap b(100, 100);
    Canvas& c = b.GetCanvas();
    c.Font.SetName(TestFontName);
    c.Font.SetHeight(20); // cells 20 high, characters 10 wide; ink from row 1 to row 14
    c.Font.SetColor(clWhite);
    c.Brush.Style = bsClear;
    int w, h;
    AbGetMaxTokenSize(c, w, h, "1;10;1000");
    EXPECT_EQ(w, 40) << "the last token counts too";
    EXPECT_EQ(h, 20);
    auto inkBox = [&]() {
        TRect box{1000, 1000, -1, -1};
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (b.GetPixel(x, y) == clWhite)
                    box = {std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1),
                           std::max(box.Bottom, y + 1)};
        return box;
    };
    struct Case {
        toPos anchor;
        TPoint topLeft;
    };
    const Case cases[] = {{toTopLeft, {50, 50}}, {toTopCenter, {40, 50}}, {toTopRight, {30, 50}},
                          {toMidLeft, {50, 40}}, {toMidCenter, {40, 40}}, {toMidRight, {30, 40}},
                          {toBotLeft, {50, 30}}, {toBotCenter, {40, 30}}, {toBotRight, {30, 30}}};
    for (const Case& k : cases) {
        c.Brush.Style = bsSolid;
        c.Brush.Color = clBlack;
        c.FillRect({0, 0, 100, 100});
        c.Brush.Style = bsClear;
        AbTextOut(c, 50, 50, "AB", k.anchor);
        TPoint tl = k.topLeft;
        EXPECT_EQ(inkBox(), (TRect{tl.X, tl.Y + 1, tl.X + 19, tl.Y + 15})) << "anchor " << k.anchor;
    }
}

TEST(AbProcDrawing, ReadBackKeepsWhatLiesOutsideTheCanvasBlack) {
    Bitmap source(20, 20);
    Canvas& c = source.GetCanvas();
    c.Brush.Color = clWhite;
    c.FillRect({0, 0, 20, 20});
    c.SetPixel(5, 5, clRed);
    Bitmap saved;
    GetBkUpImage(c, saved, {3, 3, 30, 30});
    EXPECT_EQ(saved.Width(), 27);
    EXPECT_EQ(saved.Height(), 27);
    EXPECT_EQ(saved.GetPixel(2, 2), clRed);
    EXPECT_EQ(saved.GetPixel(0, 0), clWhite);
    EXPECT_EQ(saved.GetPixel(20, 20), clBlack);
}

TEST(AbProcDrawing, PointerShapesAndTheirDefault) {
    TArrowPoints p;
    AbArrowField(9, 0, {0, 0, 100, 100}, p);
    TArrowHeader h = GetArrowHeader(p);
    EXPECT_EQ(h.Count, 4);
    EXPECT_EQ(h.Circle1, 2);
    EXPECT_EQ(h.Circle2, 0);
    EXPECT_EQ(p[1], (TPoint{50, 50}));
    EXPECT_EQ(p[2], (TPoint{45, 55}));
    EXPECT_EQ(p[3], (TPoint{55, 55}));
    EXPECT_EQ(p[4], (TPoint{50, 0}));
    AbArrowField(6, 0, {0, 0, 100, 100}, p);
    EXPECT_EQ(GetArrowHeader(p).Flag & 1, 1);
    EXPECT_EQ(GetArrowHeader(p).Count, 5);

    Bitmap b(100, 100);
    Canvas& c = b.GetCanvas();
    c.Brush.Color = clWhite;
    c.FillRect({0, 0, 100, 100});
    c.Pen.Color = clRed;
    c.Brush.Color = clRed;
    AbArrowField(0, 0, {0, 0, 100, 100}, p);
    TArrowPoints turned;
    AbArrowDraw(c, 90, p, turned, true);
    EXPECT_EQ(turned[4], (TPoint{100, 50})) << "the tip turned to three o'clock";
    EXPECT_EQ(c.GetPixel(90, 50), clRed);
    EXPECT_EQ(c.GetPixel(50, 10), clWhite);
}

} // namespace

namespace {

// A script that writes its arguments and its working folder into `marker`.
std::string MarkerScript(const std::string& path, const std::string& marker) {
    std::ofstream(path) << "#!/bin/sh\necho \"$@|$(pwd)\" > \"" << marker << ".tmp\"\n/bin/mv \"" << marker
                        << ".tmp\" \"" << marker << "\"\n";
    ::chmod(path.c_str(), 0755);
    return path;
}

// The marker's text once the started program wrote it (the loop runs meanwhile, reaping it); empty
// after a minute without it.
std::string WaitForMarker(const std::string& marker) {
    for (int i = 0; i < 6000; ++i) {
        std::ifstream in(marker);
        std::string text;
        if (in && std::getline(in, text)) return text;
        platform::EventLoop::Get().ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

} // namespace

TEST(AbProcOther, ExecuteFileStartsProgramsAndHandsDocumentsToTheOpener) {
    testsupport::ScratchDir dir;
    ::mkdir("work", 0755);
    const std::string d = dir.Path();
    MarkerScript(d + "/run.sh", d + "/ran");
    EXPECT_GT(AbExecuteFile("run.sh", "one \"two three\"", "work", platform::SW_SHOWNORMAL), 32);
    EXPECT_EQ(WaitForMarker(d + "/ran"), "one two three|" + d + "/work");
    EXPECT_GT(AbExecuteFile("/bin/true", "", "", platform::SW_SHOWNORMAL), 32);

    // A document or link goes to the opener found on PATH, never to a browser here.
    ::mkdir("bin", 0755);
    MarkerScript(d + "/bin/xdg-open", d + "/opened");
    std::ofstream("work/page.html") << "<html></html>";
    const char* oldPath = std::getenv("PATH");
    std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", (d + "/bin").c_str(), 1);
    EXPECT_GT(AbExecuteFile("PAGE.HTML", "ignored", "work", platform::SW_SHOWNORMAL), 32);
    EXPECT_EQ(WaitForMarker(d + "/opened"), d + "/work/page.html|" + d + "/work");
    ::unlink((d + "/bin/xdg-open").c_str());
    EXPECT_EQ(AbExecuteFile("work/page.html", "", "", platform::SW_SHOWNORMAL), platform::SE_ERR_NOASSOC);
    EXPECT_EQ(AbExecuteFile("sh", "", "", platform::SW_SHOWNORMAL), platform::SE_ERR_FNF); // not on PATH now
    ::setenv("PATH", savedPath.c_str(), 1);

    // The shell's errors.
    EXPECT_EQ(AbExecuteFile("missing.exe", "", "", platform::SW_SHOWNORMAL), platform::SE_ERR_FNF);
    EXPECT_EQ(AbExecuteFile("run.sh", "", "no-such-folder", platform::SW_SHOWNORMAL), platform::SE_ERR_PNF);
    std::ofstream("bad.bin") << "\x01\x02 not a program";
    ::chmod("bad.bin", 0755);
    EXPECT_EQ(AbExecuteFile("bad.bin", "", "", platform::SW_SHOWNORMAL), platform::SE_ERR_BADFORMAT);
}

TEST(AbProcOther, FormPositionsGoToTheRegistryAndStayOnTheScreen) {
    testsupport::ScratchDir dir;
    std::string oldRoot = platform::RegistryRoot();
    platform::SetRegistryRoot(dir.Path() + "/reg");
    {
        platform::TForm form;
        form.SetBounds(-20, 100, 300, 200);
        AbSaveFormPos(form); // kept on the screen: Left 0
        form.SetBounds(500, 500, 300, 200);
        AbLoadFormPos(form);
        EXPECT_EQ(form.BoundsRect(), (TRect{0, 100, 300, 300}));
        platform::TIniFile key(platform::RegistryKeyFile(kAbFormPosKey));
        EXPECT_EQ(key.ReadString("TForm", "Position", ""), "0000000064000000");

        // A stored place past the screen's edge comes back onto it; the size stays.
        key.WriteString("TForm", "Position", "F0030000F0020000"); // 1008, 752
        AbLoadFormPos(form);
        EXPECT_EQ(form.BoundsRect(), (TRect{1024 - 300, 768 - 200, 1024, 768}));
        key.WriteString("TForm", "Position", "nonsense");
        AbLoadFormPos(form);
        EXPECT_EQ(form.Left(), 1024 - 300);
    }
    platform::SetRegistryRoot(oldRoot);
}
