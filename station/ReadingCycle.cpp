// The reading cycle: one self-posting message per pass, and the five-minute watchdog that restarts a
// chain whose pass never completed.
#include "onewire/Microlan.h"
#include "platform/Exceptions.h"
#include "platform/Strings.h"
#include "station/Unit1.h"

using namespace platform;

namespace {
constexpr uint32_t kPassSpacingMs = 500;
// The spacing is checked in steps of this length.
constexpr uint32_t kPassStepMs = 200;

bool Stopping() {
    return !SessionRunning || Application->Terminated();
}
} // namespace

void TMainForm::RunReadCycle(TMessage& message) {
    if (Application->Terminated() || Chain.Unloading) return; // the chain ends with the application
    unsigned chain = static_cast<unsigned>(message.LParam);
    if (Chain.PassInProgress) {
        // Handled inside a pass's own message pumping: one pass at a time, so run it afterwards.
        PostMessage(Handle(), MsgReadCycle, 1, message.LParam);
        return;
    }
    if (chain != Chain.Newest) return; // an older chain that the watchdog replaced
    // Without a running session the chain stops here; the session start posts a fresh one.
    if (!SessionRunning) return;
    RunPass(chain);
    RunDeferredCommands();
}

void TMainForm::RunPass(unsigned chain) {
    Chain.PassInProgress = true;
    bool ended = false;
    try {
        ASR->SetEnabled(true);
        if (TicksElapsed(GetTickCount(), LastReadTick) >
            static_cast<uint32_t>(Microlan::Bus().SampleInterval)) {
            ReadAllSensors();
            Application->ProcessMessages();
            ended = Stopping();
            if (!ended) UpdateStatusLine();
        }
        if (!ended) {
            Application->ProcessMessages();
            ended = Stopping();
        }
        if (!ended) {
            SuperviseServices();
            ASR->SetEnabled(false);
            while (TicksElapsed(GetTickCount(), LastPassTick) < kPassSpacingMs && !Chain.UnloadRequested)
                WaitHandlingMessages(kPassStepMs, [this] { return Chain.UnloadRequested; });
            LastPassTick = GetTickCount();
        }
    } catch (const EAccessViolation& e) {
        LogAccessViolation(e);
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error: " + std::string(e.what()));
    } catch (...) {
        LogStatus("SERVER: Error ?");
    }
    Chain.PassInProgress = false;
    if (Chain.UnloadRequested) { // Unload was chosen while this pass ran
        RunShutdown();
        return;
    }
    if (ended || Stopping()) {
        ASR->SetEnabled(false);
        Application->Terminate();
        return;
    }
    if (chain == Chain.Newest) PostMessage(Handle(), MsgReadCycle, 1, static_cast<LPARAM>(chain));
}

void TMainForm::WaitHandlingMessages(uint32_t ms, const std::function<bool()>& done) {
    EventLoop& loop = EventLoop::Get();
    uint32_t start = GetTickCount();
    if (done)
        loop.RunUntil(done, ms);
    else
        loop.RunFor(ms);
    // A terminating loop returns at once; the time is still waited, or a caller that counts on it
    // would spin.
    uint32_t elapsed = TicksElapsed(GetTickCount(), start);
    if (elapsed < ms && !(done && done())) platform::Sleep(ms - elapsed);
}

void TMainForm::LogAccessViolation(const EAccessViolation& e) {
    LogStatus("SERVER: SERIOUS Error: " + e.Message());
    LogStatus(Format("SERVER: Type: %s", e.ClassName().c_str()));
    LogStatus(Format("SERVER: File: %s", e.File()));
    LogStatus(Format("SERVER: Line: %s", std::to_string(e.Line()).c_str()));
}

void TMainForm::RunDeferredCommands() {
    if (Chain.RescanRequested) {
        Chain.RescanRequested = false;
        RescanMLanClick(RescanMLan);
    }
    if (Chain.RestartRequested) {
        Chain.RestartRequested = false;
        RestartButtonClick(RestartButton);
    }
    RunWaitingCommands();
}

void TMainForm::ASRTimer(TComponent*) {
    Logged({"SERVER: Error: ", "SERVER: Error: (unknown)"}, [&] {
        ASR->SetEnabled(false);
        LogStatus("No sampling for 5 minutes, sampling reinitiated...");
        if (!Application->Terminated()) {
            ++Chain.Newest; // the stuck pass no longer continues the chain
            PostMessage(Handle(), MsgReadCycle, 1, static_cast<LPARAM>(Chain.Newest));
        }
    });
}
