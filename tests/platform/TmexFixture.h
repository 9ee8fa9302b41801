#pragma once
// Shared set-up of the 1-Wire driver tests: a simulated clock, a fresh driver with one simulated net
// on port 1, an open session, and the station-side helpers the sensor classes use (select, read bytes).
#include "platform/Clock.h"
#include "platform/tmex/Crc.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/SimNet.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tmex_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class TmexTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock = std::make_shared<platform::SimulatedClock>();
        oldClock = platform::Clock::Install(clock);
        tmex::ResetDriver();
        net = std::make_shared<sim::SimNet>();
        tmex::InstallBackend(1, tmex::kPortTypeSimulated, net);
    }
    void TearDown() override {
        if (session > 0) tmex::EndSession(session);
        tmex::ResetDriver();
        platform::Clock::Install(oldClock);
    }

    tmex::SessionHandle Open() {
        session = tmex::StartSession(1, tmex::kPortTypeSimulated, 0);
        return session;
    }

    // Station-style helpers over the driver calls.
    int16_t SetRom(const sim::Rom& rom) {
        auto words = rom.Words();
        return tmex::Rom(session, &state, words.data());
    }
    sim::Rom GetRom() {
        uint16_t words[8] = {};
        tmex::Rom(session, &state, words);
        sim::Rom rom;
        for (int i = 0; i < 8; ++i)
            rom.bytes[i] = static_cast<uint8_t>(words[i]);
        return rom;
    }
    // iButton::SelectDevice: SET; ACC; else SACC; else R and fail.
    bool Select(const sim::Rom& rom) {
        if (SetRom(rom) != 1) return false;
        if (tmex::Access(session, &state) == 1) return true;
        if (tmex::StrongAccess(session, &state) == 1) return true;
        tmex::TouchReset(session);
        return false;
    }
    int16_t T(int byte) { return tmex::TouchByte(session, static_cast<int16_t>(byte)); }
    std::vector<uint8_t> Block(std::vector<uint8_t> bytes) {
        int16_t n = tmex::BlockIO(session, bytes.data(), static_cast<int16_t>(bytes.size()));
        EXPECT_EQ(n, static_cast<int16_t>(bytes.size()));
        return bytes;
    }
    // Every ROM a full search finds, in order.
    std::vector<sim::Rom> SearchAll() {
        std::vector<sim::Rom> found;
        tmex::TmexStateBuffer searchState;
        int16_t r = tmex::First(session, &searchState);
        while (r == 1) {
            uint16_t words[8] = {};
            tmex::Rom(session, &searchState, words);
            sim::Rom rom;
            for (int i = 0; i < 8; ++i)
                rom.bytes[i] = static_cast<uint8_t>(words[i]);
            found.push_back(rom);
            r = tmex::Next(session, &searchState);
        }
        return found;
    }

    std::shared_ptr<platform::SimulatedClock> clock;
    std::shared_ptr<platform::Clock> oldClock;
    std::shared_ptr<sim::SimNet> net;
    tmex::SessionHandle session = 0;
    tmex::TmexStateBuffer state;
};

} // namespace tmex_test
