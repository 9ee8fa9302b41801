#pragma once
// A station window for the publishing tests, with its peers on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "support/PeerPacedClock.h"
#include "support/StationFixture.h"
#include "tests/net/FtpTestSupport.h"
#include "tests/net/NetTestSupport.h"

namespace publish_test {

inline constexpr const char* kPython = "/usr/bin/python3";

// The machine's clock for the loop (peers in other processes answer in real time), and a fixed date.
class FixedDateClock : public platform::RealClock {
public:
    explicit FixedDateClock(int64_t unixMs) : unixMs_(unixMs) {}
    int64_t UnixTimeMs() override { return unixMs_; }

private:
    int64_t unixMs_;
};

// Every line of the window's status memo, for messages.
inline std::string MemoText(TMainForm& form) {
    std::string all;
    auto& lines = form.DisplayMemo->Lines();
    for (int i = 0; i < lines.Count(); ++i)
        all += lines[i] + "\n";
    return all;
}

using korvane_test::PeerPacedClock;

// A station window (no session) on a clock that runs in real time; its date stays at the fixture's start.
class PeerStationTest : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        platform::Clock::Install(std::make_shared<FixedDateClock>(korvane_test::kDefaultStartMs));
        StationOptions.MakePublishing = [this](TMainForm& form) {
            auto made = std::make_unique<TStationPublishing>(form);
            publishing = made.get();
            return made;
        };
    }

    // Starts the window with these korvane.ini lines; the session start never runs.
    TMainForm& StartWith(const std::string& ini) {
        Write("korvane.ini", ini);
        TMainForm& form = Start();
        form.StartTimer->SetEnabled(false);
        return form;
    }
    static bool RunUntil(const std::function<bool()>& pred, uint32_t limitMs = 10000) {
        return platform::EventLoop::Get().RunUntil(pred, limitMs);
    }
    bool RunUntilLogged(const std::string& text, uint32_t limitMs = 10000) {
        return RunUntil([&] { return CountLog(text) > 0; }, limitMs);
    }
    std::string Log() const { return MemoText(*form_); }

    TStationPublishing* publishing = nullptr;
};

// The scripted HTTP peer (tests/peers/http_peer.py) on 127.0.0.1, on a given port or any free one.
class HttpPeer {
public:
    explicit HttpPeer(uint16_t port = 0)
        : process_({kPython, KORVANE_SOURCE_DIR "/tests/peers/http_peer.py", "--port", std::to_string(port)}),
          port_(static_cast<uint16_t>(ftp_test::AwaitPort(process_))) {}
    uint16_t Port() const { return port_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> Requests() {
        process_.Done(); // collects what it printed
        return net_test::RecordedRequests(process_.Output());
    }

private:
    net_test::PeerProcess process_;
    uint16_t port_;
};

} // namespace publish_test
