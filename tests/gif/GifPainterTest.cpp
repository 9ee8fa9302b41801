// Drawing and animating images: frame timing on the simulated clock, looping, disposal methods against
// what a viewer composes, Draw, and threaded painters that hand their steps to the window thread and are
// stopped, joined and freed safely (also mid-step, and on a control that is freed under them).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <thread>

#include "gif/GifAnimationSupport.h"
#include "gif/GifPainter.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/FileProblems.h"
#include "platform/ThreadPriority.h"
#include "platform/controls/Form.h"
#include "platform/controls/Picture.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace giftest;
using namespace platform::gfx;
using gif::DrawOption;

namespace {

const TColor kColors[] = {clRed, clLime, clBlue, clYellow, clAqua};

// Frames of 4 x 3 pixels in one colour each, with the given delays (and a looping extension when loops
// is not negative).
std::unique_ptr<gif::TGIFImage> Solids(const std::vector<int>& delays, int loops = -1) {
    auto img = std::make_unique<gif::TGIFImage>();
    img->Header.ScreenWidth = 4;
    img->Header.ScreenHeight = 3;
    for (size_t i = 0; i < delays.size(); ++i) {
        FrameSpec s;
        s.bounds = {0, 0, 4, 3};
        s.localColors = {kColors[i % 5], clBlack};
        s.pixels = Bytes(12, 0);
        s.delay = delays[i];
        s.loops = i == 0 ? loops : -1;
        AddFrame(*img, s);
    }
    return img;
}

gif::TGIFDrawOptions Options(std::initializer_list<gif::TGIFDrawOption> options) {
    gif::TGIFDrawOptions o = 0;
    for (auto option : options)
        o |= DrawOption(option);
    return o;
}

class GifPainterTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = platform::Clock::Install(clock_);
        platform::EventLoop::Get().Reset();
    }
    void TearDown() override {
        platform::EventLoop::Get().Reset();
        platform::Clock::Install(old_);
    }
    // Runs the loop (the simulated clock jumps to due timers) until pred holds; false after 30 s of
    // real time without it.
    bool Pump(const std::function<bool()>& pred) {
        for (int i = 0; i < 3000 && !pred(); ++i)
            platform::EventLoop::Get().Turn(true);
        return pred();
    }
    // Records the tick and frame of every OnPaint.
    void Record(gif::TGIFImage& img) {
        img.OnPaint = [this](gif::TGIFPainter* p) {
            ticks.push_back(clock_->TickCount());
            frames.push_back(p->ActiveImage());
            threads.push_back(std::this_thread::get_id());
        };
    }
    std::vector<uint32_t> Intervals() const {
        std::vector<uint32_t> out;
        for (size_t i = 1; i < ticks.size(); ++i)
            out.push_back(ticks[i] - ticks[i - 1]);
        return out;
    }

    std::shared_ptr<platform::SimulatedClock> clock_ = std::make_shared<platform::SimulatedClock>();
    std::shared_ptr<platform::Clock> old_;
    std::vector<uint32_t> ticks;
    std::vector<int> frames;
    std::vector<std::thread::id> threads;
    Bitmap target{8, 6};
};

} // namespace

TEST_F(GifPainterTest, FrameDelaysAreClampedAndTimedOnTheClock) {
    // Without goAsync: delay 1 is raised to 3 hundredths, 0 means 10, 5000 is lowered to 1000; a
    // hundredth lasts GIFDelayExp = 12 ms and the first frame waits one unit.
    auto img = Solids({1, 0, 5000, 10});
    Record(*img);
    uint32_t start = clock_->TickCount();
    EXPECT_EQ(img->Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAnimate})), nullptr);
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(ticks.front() - start, 12u);
    EXPECT_EQ(Intervals(), (std::vector<uint32_t>{36, 120, 12000}));
    EXPECT_EQ(target.GetPixel(0, 0), clYellow);
    EXPECT_EQ(img->PainterCount(), 0);

    // At half speed every wait doubles; time spent painting is taken half off the next wait.
    ticks.clear();
    frames.clear();
    img->SetAnimationSpeed(50);
    img->OnPaint = [this](gif::TGIFPainter*) {
        ticks.push_back(clock_->TickCount());
        clock_->Advance(20);
    };
    img->Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAnimate}));
    // (36 - 20 / 2) x 2 after a first wait of 24 and 20 ms of painting.
    EXPECT_EQ(Intervals()[0], 20u + 52u);
}

TEST_F(GifPainterTest, LoopingFollowsTheExtensionAndTheOptions) {
    struct Case {
        int loops;
        gif::TGIFDrawOptions options;
        size_t painted;
    } cases[] = {
        {2, Options({gif::goAnimate, gif::goLoop}), 6},  // two passes
        {0, Options({gif::goAnimate, gif::goLoop}), 3},  // "for ever" plays once without goAsync
        {-1, Options({gif::goAnimate, gif::goLoop}), 3}, // no extension: one pass
        {2, Options({gif::goAnimate}), 3},               // without goLoop the frames show once
        {2, Options({gif::goLoop}), 1},                  // without goAnimate only the first frame
    };
    for (const Case& c : cases) {
        auto img = Solids({2, 2, 2}, c.loops);
        Record(*img);
        frames.clear();
        img->Paint(target.GetCanvas(), {0, 0, 4, 3}, c.options);
        EXPECT_EQ(frames.size(), c.painted) << c.loops << " " << c.options;
    }
    // goLoopContinously goes on until the painter is stopped.
    auto img = Solids({2, 2, 2}, 1);
    Record(*img);
    frames.clear();
    int loops = 0;
    img->OnLoop = [&](gif::TGIFPainter* p) {
        if (++loops == 4) p->Stop();
    };
    int ends = 0;
    img->OnEndPaint = [&](gif::TGIFPainter*) { ++ends; };
    img->Paint(target.GetCanvas(), {0, 0, 4, 3},
               Options({gif::goAnimate, gif::goLoop, gif::goLoopContinously}));
    EXPECT_EQ(frames.size(), 12u);
    EXPECT_EQ(ends, 0); // a stopped painter fires nothing more

    // A pass that shows nothing (the first frame is empty) ends the painting instead of repeating.
    auto blank = Solids({2, 2});
    blank->Images.Image(0)->DoSetBounds(0, 0, 0, 0);
    Record(*blank);
    frames.clear();
    blank->Paint(target.GetCanvas(), {0, 0, 4, 3},
                 Options({gif::goAnimate, gif::goLoop, gif::goLoopContinously}));
    EXPECT_TRUE(frames.empty());
}

TEST_F(GifPainterTest, AnEndRequestMetWhileWaitingEndsThePaintingAndStays) {
    auto img = Solids({50, 50, 50});
    Record(*img);
    class Quit : public platform::MessageTarget {
        void Dispatch(platform::TMessage&) override { platform::EventLoop::Get().Terminate(); }
    } quit;
    img->OnAfterPaint = [&](gif::TGIFPainter*) { platform::PostMessage(quit.Handle(), platform::WM_USER); };
    img->Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAnimate, gif::goLoop}));
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_TRUE(platform::EventLoop::Get().Terminated());
}

TEST_F(GifPainterTest, DisposalMethodsComposeAsAViewerShowsThem) {
    for (unsigned seed = 1; seed <= 10; ++seed) {
        gif::TGIFImage img;
        RandomAnimation(img, seed);
        platform::TMemoryStream m;
        img.SaveToStream(m);
        std::vector<Shown> expected = Pictures(GiflibDecode(m.Bytes()));
        Bitmap canvas(30, 20);
        canvas.GetCanvas().Brush.Color = clWhite;
        canvas.GetCanvas().FillRect({0, 0, 30, 20});
        TRect rect{3, 1, 27, 19};
        size_t frame = 0;
        img.OnAfterPaint = [&](gif::TGIFPainter*) {
            ASSERT_LT(frame, expected.size());
            for (int y = 0; y < 18; ++y)
                for (int x = 0; x < 24; ++x) {
                    uint32_t want = expected[frame].pixels[static_cast<size_t>(y * 24 + x)];
                    uint32_t got = canvas.GetRgb(rect.Left + x, rect.Top + y);
                    ASSERT_EQ(got, want ? want & 0xFFFFFF : 0xFFFFFF)
                        << "seed " << seed << " frame " << frame << " at " << x << "," << y;
                }
            ++frame;
        };
        img.Paint(canvas.GetCanvas(), rect, Options({gif::goAnimate, gif::goTransparent}));
        EXPECT_EQ(frame, expected.size()) << "seed " << seed;
    }
}

TEST_F(GifPainterTest, AThreadedPainterPaintsOnTheWindowThreadInTime) {
    // goAsync: the first frame at once, delays not lowered (5000 stays 60 s), 1 raised to 3.
    auto img = Solids({10, 5000, 1}, 0);
    Record(*img);
    img->ThreadPriority = platform::tpLowest; // the worker runs below the process
    gif::TGIFPainter* p =
        img->Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAsync, gif::goAnimate, gif::goLoop}));
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->WorkerThread(), 0);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(p->WorkerThread())),
              getpriority(PRIO_PROCESS, static_cast<id_t>(getpid())) + 10);
    ASSERT_TRUE(Pump([&] { return frames.size() >= 7; }));
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));
    EXPECT_EQ(Intervals(), (std::vector<uint32_t>{120, 60000, 36, 120, 60000, 36}));
    for (auto id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(img->PainterCount(), 1);

    // A new speed wakes the waiting worker: the frame shows at once, the next after a tenth of its delay.
    size_t shown = frames.size();
    img->SetAnimationSpeed(1000); // not the draw painter: tell it directly
    p->SetAnimationSpeed(1000);
    ASSERT_TRUE(Pump([&] { return frames.size() >= shown + 2; }));
    EXPECT_EQ(ticks[shown] - ticks[shown - 1], 0u);
    EXPECT_EQ(ticks[shown + 1] - ticks[shown], 6000u);

    // Paused, it paints nothing; resumed, it goes on.
    img->PaintPause();
    shown = frames.size();
    clock_->Advance(100000);
    platform::EventLoop::Get().RunFor(200000);
    EXPECT_EQ(frames.size(), shown);
    img->PaintResume();
    EXPECT_TRUE(Pump([&] { return frames.size() > shown; }));
    img->PaintStop();
    EXPECT_EQ(img->PainterCount(), 0);
}

TEST_F(GifPainterTest, ACopyLowersItsWorkersAsTheSourceDoesAndStopBringsThemBack) {
    auto source = Solids({3, 3}, 0);
    source->ThreadPriority = platform::tpLowest;
    gif::TGIFImage copy;
    copy.Assign(source.get());
    std::vector<std::string> told;
    platform::SetProblemReporter([&](const std::string& text) { told.push_back(text); });
    platform::ForgetThreadPriorityRefusal();
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    int before = INT_MIN, after = INT_MIN;
    copy.OnPaint = [&](gif::TGIFPainter* p) {
        if (before != INT_MIN) return;
        // The worker waits for this step, so it is there to be asked.
        const auto worker = static_cast<id_t>(p->WorkerThread());
        before = getpriority(PRIO_PROCESS, worker);
        p->Stop();
        after = getpriority(PRIO_PROCESS, worker);
    };
    copy.Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAsync, gif::goAnimate, gif::goLoop}));
    EXPECT_TRUE(Pump([&] { return copy.PainterCount() == 0; }));
    EXPECT_EQ(before, base + 10);
    // Coming back up needs the privilege to raise priorities; without it the refusal is told.
    const std::vector<std::string> refused{"Thread priority tpNormal not applied: Operation not permitted"};
    EXPECT_TRUE(after == base || told == refused) << after;
    platform::SetProblemReporter(nullptr);
    platform::ForgetThreadPriorityRefusal();
}

TEST_F(GifPainterTest, PaintersStoppedAtAnyMomentAreJoinedAndFreed) {
    // Destroying the image (or stopping from inside a step) at every stage of the worker: waiting for a
    // step, inside one, waiting for a frame's time, just started.
    for (int turns = 0; turns < 40; ++turns) {
        auto img = Solids({3, 3, 3}, 0);
        int painted = 0;
        img->OnPaint = [&](gif::TGIFPainter*) { ++painted; };
        bool stopInside = turns % 4 == 3;
        if (stopInside) img->OnAfterPaint = [&](gif::TGIFPainter*) { img->PaintStop(); };
        for (int k = 0; k < 3; ++k)
            img->Paint(target.GetCanvas(), {k, 0, k + 4, 3},
                       Options({gif::goAsync, gif::goAnimate, gif::goLoop}));
        for (int t = 0; t < turns % 10; ++t)
            platform::EventLoop::Get().Turn(true);
        if (stopInside) {
            EXPECT_TRUE(Pump([&] { return img->PainterCount() == 0; }));
        }
        img.reset();
        platform::EventLoop::Get().ProcessMessages();
    }
    // Ended by itself: reaped on the window thread.
    auto img = Solids({3, 3});
    img->Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAsync, gif::goAnimate}));
    EXPECT_TRUE(Pump([&] { return img->PainterCount() == 0; }));
}

TEST_F(GifPainterTest, AnExceptionEndsAThreadedPainterAsAWarning) {
    auto img = Solids({3, 3}, 0);
    std::vector<std::pair<gif::TGIFSeverity, std::string>> warnings;
    img->OnWarning = [&](void*, gif::TGIFSeverity s, const std::string& m) { warnings.push_back({s, m}); };
    img->OnPaint = [](gif::TGIFPainter*) { throw gif::GIFException("no canvas today"); };
    img->Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAsync, gif::goAnimate, gif::goLoop}));
    ASSERT_TRUE(Pump([&] { return img->PainterCount() == 0; }));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].first, gif::gsError);
    EXPECT_EQ(warnings[0].second, "no canvas today");

    // Without goAsync it reaches the caller.
    EXPECT_THROW(img->Paint(target.GetCanvas(), {0, 0, 4, 3}, Options({gif::goAnimate})), gif::GIFException);
    EXPECT_EQ(img->PainterCount(), 0);
}

TEST_F(GifPainterTest, DrawShowsOneFrameAtOnceOrRunsOnePainterPerCanvasAndRect) {
    // One frame: drawn directly, no painter.
    auto one = Solids({10});
    one->SetDrawOptions(Options({gif::goAsync, gif::goAnimate, gif::goLoop}));
    one->Draw(target.GetCanvas(), {0, 0, 4, 3});
    EXPECT_EQ(target.GetPixel(3, 2), clRed);
    EXPECT_EQ(one->PainterCount(), 0);

    // Direct drawing: drawing again on the same canvas and rectangle keeps the running painter.
    auto img = Solids({10, 10, 10}, 0);
    img->SetDrawOptions(Options({gif::goAsync, gif::goAnimate, gif::goLoop, gif::goDirectDraw}));
    img->Draw(target.GetCanvas(), {0, 0, 4, 3});
    gif::TGIFPainter* first = img->DrawPainter();
    ASSERT_NE(first, nullptr);
    img->Draw(target.GetCanvas(), {0, 0, 4, 3});
    EXPECT_EQ(img->DrawPainter(), first);
    EXPECT_EQ(img->PainterCount(), 1);
    ASSERT_TRUE(Pump([&] { return target.GetPixel(0, 0) == clLime; }));
    img->Draw(target.GetCanvas(), {4, 3, 8, 6}); // elsewhere: a new painter replaces it
    EXPECT_NE(img->DrawPainter(), nullptr);
    EXPECT_EQ(img->PainterCount(), 1);

    // Through the bitmap: the first frame is there when Draw returns, and each frame tells OnChange.
    auto buffered = Solids({10, 10, 10}, 0);
    int changes = 0;
    buffered->OnChange = [&] { ++changes; };
    buffered->Draw(target.GetCanvas(), {0, 0, 8, 6});
    EXPECT_TRUE(buffered->HasBitmap());
    EXPECT_EQ(target.GetPixel(7, 5), clRed);
    ASSERT_TRUE(Pump([&] { return buffered->GetBitmap().GetPixel(0, 0) == clLime; }));
    EXPECT_GE(changes, 2);
    buffered->Draw(target.GetCanvas(), {0, 0, 8, 6});
    EXPECT_EQ(target.GetPixel(7, 5), clLime);
    buffered->FreeBitmap();
    EXPECT_EQ(buffered->PainterCount(), 0);
    // A change that drops the bitmap first stops the painter that paints into it.
    buffered->Draw(target.GetCanvas(), {0, 0, 8, 6});
    EXPECT_EQ(buffered->PainterCount(), 1);
    Bitmap more(4, 3);
    buffered->Add(more);
    EXPECT_FALSE(buffered->HasBitmap());
    EXPECT_EQ(buffered->PainterCount(), 0);
}

TEST_F(GifPainterTest, APainterNeverTouchesAFreedControl) {
    for (bool validate : {true, false}) {
        platform::TForm form;
        form.SetBounds(0, 0, 40, 30);
        auto* box = new platform::TCustomControl(&form);
        box->SetParent(&form);
        box->SetBounds(5, 5, 20, 15);
        auto img = Solids({3, 3, 3}, 0);
        gif::TGIFSubImage* f = img->Images.Image(1);
        f->GraphicControlExtension->SetDisposal(gif::dmBackground); // painted through the frame buffer
        Record(*img);
        gif::TGIFDrawOptions options = Options({gif::goAsync, gif::goAnimate, gif::goLoop});
        if (validate) options |= DrawOption(gif::goValidateCanvas);
        gif::TGIFPainter* p = img->Paint(*box, {0, 0, 8, 6}, options);
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(Pump([&] { return box->Surface().GetPixel(7, 5) == clLime; }));
        delete box;
        size_t shown = frames.size();
        if (validate) {
            EXPECT_TRUE(Pump([&] { return img->PainterCount() == 0; }));
        } else {
            EXPECT_TRUE(Pump([&] { return frames.size() >= shown + 4; }));
            EXPECT_EQ(img->PainterCount(), 1);
        }
    }
}

TEST(GifClipboard, AnImageGoesOnTheClipboardAsABitmapAndAsAGIF) {
    platform::TClipboard& clipboard = platform::Clipboard();
    gif::TGIFImage empty;
    platform::TClipboardFormat format = 99;
    platform::TClipboardData data;
    HPALETTE palette;
    ASSERT_TRUE(clipboard.Open());
    clipboard.Clear();
    empty.SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, 0);
    EXPECT_TRUE(data.Empty());
    EXPECT_TRUE(clipboard.Formats().empty());

    auto img = Solids({10, 20});
    platform::TMemoryStream original;
    img->SaveToStream(original);
    img->SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, platform::CF_BITMAP);
    ASSERT_TRUE(data.Bitmap);
    EXPECT_EQ(data.Bitmap->GetPixel(3, 2), clRed);
    EXPECT_TRUE(clipboard.HasFormat(gif::GIFClipboardFormat()));
    EXPECT_EQ(clipboard.FormatName(gif::GIFClipboardFormat()), "GIF Image");

    gif::TGIFImage back;
    back.LoadFromClipboardFormat(gif::GIFClipboardFormat(), {}, nullptr);
    platform::TMemoryStream again;
    back.SaveToStream(again);
    EXPECT_EQ(again.Bytes(), original.Bytes());
    gif::TGIFImage fromBitmap;
    fromBitmap.LoadFromClipboardFormat(platform::CF_BITMAP, data, palette);
    EXPECT_EQ(fromBitmap.GetBitmap().GetPixel(0, 0), clRed);
    try {
        fromBitmap.LoadFromClipboardFormat(platform::CF_TEXT, {}, nullptr);
        FAIL() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported clipboard format");
    }
    clipboard.Close();

    // The GIF goes on the clipboard only while it is open.
    try {
        img->SaveToClipboardFormat(format, data, palette);
        FAIL() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Failed to store GIF on clipboard");
    }
}

TEST(GifClipboard, PicturesTakeGIFsFromFilesAndPasteThemOverTheirBitmap) {
    using platform::gfx::TPicture;
    EXPECT_EQ(TPicture::FileFormatDescription("GIF"), "GIF Image");
    EXPECT_TRUE(TPicture::SupportsClipboardFormat(gif::GIFClipboardFormat()));
    testsupport::ScratchDir dir;
    auto img = Solids({10, 20});
    platform::TMemoryStream original;
    img->SaveToStream(original);
    img->SaveToFile("anim.GIF");

    TPicture picture;
    picture.LoadFromFile("anim.GIF");
    auto* loaded = dynamic_cast<gif::TGIFImage*>(picture.Graphic());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Images.Count(), 2);

    // Copied, the clipboard holds the bitmap and the GIF; pasting takes the GIF with both frames.
    ASSERT_TRUE(picture.CopyToClipboard());
    EXPECT_TRUE(platform::Clipboard().HasFormat(platform::CF_BITMAP));
    TPicture pasted;
    ASSERT_TRUE(pasted.PasteFromClipboard());
    auto* gifBack = dynamic_cast<gif::TGIFImage*>(pasted.Graphic());
    ASSERT_NE(gifBack, nullptr);
    platform::TMemoryStream again;
    gifBack->SaveToStream(again);
    EXPECT_EQ(again.Bytes(), original.Bytes());

    // A damaged file is the codec's error, an invalid graphic; the picture keeps its image.
    std::vector<uint8_t> bad(original.Bytes().begin(), original.Bytes().begin() + 8);
    platform::TMemoryStream damaged;
    damaged.Write(bad.data(), bad.size());
    ASSERT_TRUE(damaged.SaveToFile("bad.gif"));
    EXPECT_THROW(picture.LoadFromFile("bad.gif"), platform::EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), loaded);
    platform::Clipboard().Open();
    platform::Clipboard().Clear();
    platform::Clipboard().Close();
}
