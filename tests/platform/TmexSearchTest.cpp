// The genuine search order (ascending bit-reversed ROM), family-targeted searches, and the coupler and
// DS2407 branches that make devices reachable.
#include "TmexFixture.h"

#include "platform/tmex/sim/DS1822.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DS2401.h"
#include "platform/tmex/sim/DS2407.h"
#include "platform/tmex/sim/DS2408.h"
#include "platform/tmex/sim/DS2409.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DS2450.h"

#include <algorithm>

using namespace tmex_test;

namespace {
std::vector<int> Families(const std::vector<sim::Rom>& roms) {
    std::vector<int> out;
    for (const auto& r : roms)
        out.push_back(r.Family());
    return out;
}
} // namespace

class TmexSearch : public TmexTest {
protected:
    // One device of every family, added in a scrambled order.
    void AddOneOfEach() {
        auto& trunk = net->Trunk();
        net->Add<sim::DS2409>(trunk, 0x10ULL);
        net->Add<sim::DS2423>(trunk, 0x10ULL);
        net->Add<sim::DS2408>(trunk, 0x10ULL);
        net->Add<sim::RomOnlyDevice>(trunk, sim::Rom::Make(0x81, 0x10ULL));
        net->Add<sim::DS2401>(trunk, 0x10ULL);
        net->Add<sim::DS2438>(trunk, 0x10ULL);
        net->Add<sim::DS2407>(trunk, 0x10ULL);
        net->Add<sim::DS1822>(trunk, 0x10ULL);
        net->Add<sim::DS18B20>(trunk, 0x10ULL);
        net->Add<sim::DS18S20>(trunk, 0x10ULL);
        net->Add<sim::DS2450>(trunk, 0x10ULL);
    }
};

TEST_F(TmexSearch, FamiliesComeInBitReversedOrder) {
    AddOneOfEach();
    Open();
    EXPECT_EQ(Families(SearchAll()),
              (std::vector<int>{0x20, 0x10, 0x28, 0x22, 0x12, 0x26, 0x01, 0x81, 0x29, 0x1D, 0x1F}));
}

TEST_F(TmexSearch, OrderWithinAFamilyIsTheBitReversedSerial) {
    auto& trunk = net->Trunk();
    // Serial bytes 0x01, 0x02, 0x03: bit-reversed 0x80, 0x40, 0xC0 -> order 02, 01, 03.
    auto& a = net->Add<sim::DS18B20>(trunk, 0x01ULL);
    auto& b = net->Add<sim::DS18B20>(trunk, 0x02ULL);
    auto& c = net->Add<sim::DS18B20>(trunk, 0x03ULL);
    Open();
    auto found = SearchAll();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0], b.rom());
    EXPECT_EQ(found[1], a.rom());
    EXPECT_EQ(found[2], c.rom());
}

TEST_F(TmexSearch, FamilySearchFindsTheFamilyThenRunsOnIntoOthers) {
    AddOneOfEach();
    net->Add<sim::DS18S20>(net->Trunk(), 0x20ULL);
    Open();
    ASSERT_EQ(tmex::FamilySearchSetup(session, &state, 0x10), 1);
    ASSERT_EQ(tmex::First(session, &state), 1);
    EXPECT_EQ(GetRom().Family(), 0x10);
    std::vector<int> next;
    while (tmex::Next(session, &state) == 1)
        next.push_back(GetRom().Family());
    EXPECT_EQ(next, (std::vector<int>{0x10, 0x28, 0x22, 0x12, 0x26, 0x01, 0x81, 0x29, 0x1D, 0x1F}));
}

TEST_F(TmexSearch, FirstReturnsZeroWhenNoDeviceOfTheFamilyIsThere) {
    net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    net->Add<sim::DS2423>(net->Trunk(), 0x1ULL);
    Open();
    tmex::FamilySearchSetup(session, &state, 0x26);
    EXPECT_EQ(tmex::First(session, &state), 0);
    tmex::FamilySearchSetup(session, &state, 0x1F); // past the last device in order
    EXPECT_EQ(tmex::First(session, &state), 0);
    tmex::FamilySearchSetup(session, &state, 0x1D);
    EXPECT_EQ(tmex::First(session, &state), 1);
    EXPECT_EQ(GetRom().Family(), 0x1D);
}

TEST_F(TmexSearch, EmptyNetFindsNothing) {
    Open();
    EXPECT_EQ(tmex::First(session, &state), 0);
    EXPECT_EQ(tmex::Next(session, &state), 0);
}

TEST_F(TmexSearch, NextAfterSetupWithoutFirstStartsAtThePrimedPosition) {
    AddOneOfEach();
    auto& second = net->Add<sim::DS2401>(net->Trunk(), 0x20ULL);
    Open();
    tmex::FamilySearchSetup(session, &state, 0x01);
    std::vector<sim::Rom> found;
    while (tmex::Next(session, &state) == 1) {
        found.push_back(GetRom());
        if (found.back().Family() != 0x01 && found.back().Family() != 0x81)
            break; // the vane loop stops at any other family
    }
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].Family(), 0x01);
    EXPECT_EQ(found[1].Family(), 0x01);
    EXPECT_EQ(found[0], second.rom());  // serial byte 0x20 reverses to 0x04, before 0x10 (0x08)
    EXPECT_EQ(found[2].Family(), 0x81); // the adapter ID follows the 0x01 chips
    EXPECT_EQ(found[3].Family(), 0x29);
}

TEST_F(TmexSearch, SettingTheCurrentRomDoesNotDisturbTheSearch) {
    AddOneOfEach();
    Open();
    ASSERT_EQ(tmex::First(session, &state), 1);
    sim::Rom first = GetRom();
    SetRom(sim::Rom::Make(0x1F, 0x10ULL)); // as DS2409::Switch(0) inside the coupler search loop
    ASSERT_EQ(tmex::Next(session, &state), 1);
    EXPECT_EQ(GetRom().Family(), 0x10);
    EXPECT_NE(GetRom(), first);
}

TEST_F(TmexSearch, DeviceVanishingBetweenFirstAndNextIsSkipped) {
    auto& a = net->Add<sim::DS18B20>(net->Trunk(), 0x2ULL);
    auto& b = net->Add<sim::DS18B20>(net->Trunk(), 0x1ULL);
    auto& c = net->Add<sim::DS18B20>(net->Trunk(), 0x3ULL);
    Open();
    ASSERT_EQ(tmex::First(session, &state), 1);
    EXPECT_EQ(GetRom(), a.rom());
    b.Remove();
    ASSERT_EQ(tmex::Next(session, &state), 1);
    EXPECT_EQ(GetRom(), c.rom());
    EXPECT_EQ(tmex::Next(session, &state), 0);
    b.Reinsert();
    EXPECT_EQ(SearchAll().size(), 3u);
}

TEST_F(TmexSearch, CouplerBranchesSwitchReachability) {
    auto& trunk = net->Trunk();
    net->Add<sim::DS18B20>(trunk, 0x1ULL);
    auto& coupler = net->Add<sim::DS2409>(trunk, 0x1ULL);
    auto& onMain = net->Add<sim::DS18S20>(coupler.Main(), 0x2ULL);
    auto& onAux = net->Add<sim::DS2438>(coupler.Aux(), 0x3ULL);
    Open();
    EXPECT_EQ(SearchAll().size(), 2u); // branches off at power-on

    // iButton::SwitchCoupler(1): SET(coupler); ACC; T(CC) T(FF); T(FF) T(FF).
    ASSERT_TRUE(Select(coupler.rom()));
    EXPECT_EQ(T(0xCC), 0xCC);
    EXPECT_EQ(T(0xFF), 0xFF); // reset stimulus
    EXPECT_EQ(T(0xFF), 0x00); // presence byte: a device answered on MAIN
    EXPECT_EQ(T(0xFF), 0xCC); // confirmation
    EXPECT_EQ(coupler.ActiveBranch(), sim::DS2409::MainBranch);
    auto found = SearchAll();
    EXPECT_EQ(found.size(), 3u);
    EXPECT_NE(std::find(found.begin(), found.end(), onMain.rom()), found.end());
    EXPECT_TRUE(onMain.Reachable());
    EXPECT_FALSE(onAux.Reachable());

    ASSERT_TRUE(Select(coupler.rom()));
    T(0x33);
    T(0xFF);
    EXPECT_EQ(T(0xFF), 0x00);
    EXPECT_EQ(T(0xFF), 0x33);
    EXPECT_FALSE(onMain.Reachable());
    EXPECT_TRUE(onAux.Reachable());

    // An empty branch: no presence.
    onAux.Remove();
    ASSERT_TRUE(Select(coupler.rom()));
    T(0x33);
    T(0xFF);
    EXPECT_EQ(T(0xFF), 0xFF);
    EXPECT_EQ(T(0xFF), 0x33);
    onAux.Reinsert();

    ASSERT_TRUE(Select(coupler.rom()));
    EXPECT_EQ(T(0x66), 0x66);
    EXPECT_EQ(T(0xFF), 0x66);
    EXPECT_EQ(T(0xFF), 0xFF);
    EXPECT_EQ(coupler.ActiveBranch(), sim::DS2409::None);
    EXPECT_EQ(SearchAll().size(), 2u);

    ASSERT_TRUE(Select(coupler.rom()));
    T(0xA5);
    EXPECT_EQ(T(0xFF), 0xA5);
    EXPECT_TRUE(onMain.Reachable());
}

TEST_F(TmexSearch, CouplerDischargePowerCyclesBothBranches) {
    auto& coupler = net->Add<sim::DS2409>(net->Trunk(), 0x1ULL);
    auto& t = net->Add<sim::DS18B20>(coupler.Main(), 0x2ULL);
    auto& counter = net->Add<sim::DS2423>(coupler.Aux(), 0x3ULL);
    t.SetScratchpadRaw({0x91, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10});
    counter.AddCounts('B', 42);
    Open();
    ASSERT_TRUE(Select(coupler.rom()));
    T(0x99);
    clock->Advance(100);
    EXPECT_EQ(T(0xFF), 0x99);
    EXPECT_EQ(coupler.Discharges(), 1);
    EXPECT_EQ(coupler.ActiveBranch(), sim::DS2409::None);
    EXPECT_EQ(t.Scratchpad()[0], 0x50); // power-on 85.0
    EXPECT_EQ(t.Scratchpad()[1], 0x05);
    EXPECT_EQ(counter.Counter(15), 42u); // battery-backed
}

TEST_F(TmexSearch, StuckCouplerDoesNotSwitch) {
    auto& coupler = net->Add<sim::DS2409>(net->Trunk(), 0x1ULL);
    auto& t = net->Add<sim::DS18B20>(coupler.Main(), 0x2ULL);
    coupler.SetStuck(true);
    Open();
    ASSERT_TRUE(Select(coupler.rom()));
    T(0xCC);
    T(0xFF);
    EXPECT_EQ(T(0xFF), 0xFF); // no reset reached the branch
    EXPECT_EQ(T(0xFF), 0xCC); // it still confirms
    EXPECT_FALSE(t.Reachable());
}

TEST_F(TmexSearch, CouplerLeftOnShowsItsBranchToTheSearch) {
    auto& coupler = net->Add<sim::DS2409>(net->Trunk(), 0x1ULL);
    net->Add<sim::DS18B20>(coupler.Aux(), 0x2ULL);
    coupler.SetActiveBranch(sim::DS2409::AuxBranch);
    Open();
    EXPECT_EQ(SearchAll().size(), 2u);
}

TEST_F(TmexSearch, DS2407SwitchesTheDS2401VaneChain) {
    auto& trunk = net->Trunk();
    net->Add<sim::RomOnlyDevice>(trunk, sim::Rom::Make(0x81, 0x77ULL));
    net->Add<sim::DS2438>(trunk, 0x5ULL);
    auto& dir = net->Add<sim::DS2407>(trunk, 0x9ULL);
    std::vector<sim::DS2401*> chips;
    for (int k = 0; k < 8; ++k)
        chips.push_back(&net->Add<sim::DS2401>(dir.PioB(), 0x100ULL + static_cast<uint64_t>(k)));
    Open();

    // The station's vane read: WriteSwitchStatus(0x3F) with its commit byte, SLEEP(10), family 0x01 search
    // with Next.
    auto writeSwitch = [&](uint8_t value) {
        SetRom(dir.rom());
        if (tmex::Access(session, &state) != 1) return false;
        uint16_t crc = 0;
        for (uint8_t b : {uint8_t(0x55), uint8_t(0x07), uint8_t(0x00), value})
            crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(b)));
        crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(0xFF)));
        crc = tmex::Crc16Update(crc, static_cast<uint8_t>(T(0xFF)));
        return crc == tmex::kCrc16Residue && T(0xFF) == value; // the byte that commits reads back
    };
    auto chipsSeen = [&](int position) {
        dir.PioB().SetVanePosition(position);
        EXPECT_TRUE(writeSwitch(0x3F));
        clock->Advance(10);
        std::vector<int> seen;
        tmex::FamilySearchSetup(session, &state, 0x01);
        while (tmex::Next(session, &state) == 1) {
            sim::Rom rom = GetRom();
            if (rom.Family() == 0x81) continue;
            if (rom.Family() != 0x01) break;
            for (int k = 0; k < 8; ++k)
                if (chips[k]->rom() == rom) seen.push_back(k);
        }
        EXPECT_TRUE(writeSwitch(0x7F));
        std::sort(seen.begin(), seen.end());
        return seen;
    };
    EXPECT_EQ(chipsSeen(15), (std::vector<int>{0, 7}));
    EXPECT_EQ(chipsSeen(7), (std::vector<int>{3, 4}));
    EXPECT_EQ(chipsSeen(10), (std::vector<int>{5}));
    EXPECT_EQ(dir.Status() & 0x40, 0x40);
    // With PIO-B off no chip is reachable.
    tmex::FamilySearchSetup(session, &state, 0x01);
    ASSERT_EQ(tmex::Next(session, &state), 1);
    EXPECT_EQ(GetRom().Family(), 0x81);

    // A Write Status CRC error: the check fails, and the switch still applies (lenient model).
    dir.InjectCrcErrors(1);
    dir.PioB().SetVanePosition(0);
    EXPECT_FALSE(writeSwitch(0x3F));
    EXPECT_TRUE(writeSwitch(0x3F));
}
