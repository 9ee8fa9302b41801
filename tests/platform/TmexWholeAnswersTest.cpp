// What the simulated net answers whole (a search pass, a Match ROM block) against the same traffic slot
// by slot, on random nets: the same ROMs in the same order, the same path and forks, the same devices
// left selected and the same bus time; with and without the traffic log.
#include "TmexFixture.h"

#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS2401.h"
#include "platform/tmex/sim/DS2407.h"
#include "platform/tmex/sim/DS2409.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DS2450.h"

#include <algorithm>
#include <map>
#include <random>
#include <string>

using namespace tmex_test;

namespace {

// A net that answers everything slot by slot, as a master without a search accelerator does.
class SlotBySlotNet : public sim::SimNet {
public:
    int16_t SearchBits(const tmex::RomBytes& directions, tmex::RomBytes& rom,
                       tmex::RomBytes& forks) override {
        return Backend::SearchBits(directions, rom, forks);
    }
    int16_t TouchBlock(uint8_t* bytes, int16_t length) override { return Backend::TouchBlock(bytes, length); }
};

// A random net: ROMs of a few families with serials that share long prefixes (deep forks), now and then
// two devices with one ROM, a coupler whose branch may be on, and a DS2407 whose PIO-B chain shows one or
// two of its chips.
void BuildRandomNet(sim::SimNet& net, uint32_t seed) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    const uint8_t families[] = {0x10, 0x28, 0x22, 0x26, 0x1D, 0x20, 0x81};
    const uint64_t base = ((static_cast<uint64_t>(random()) << 16) ^ random()) & 0xFFFFFFFFFFFFULL;
    std::vector<sim::Rom> roms;
    for (int i = 0, n = pick(14); i < n; ++i) {
        uint64_t serial = base ^ (uint64_t{1} << pick(48)) ^ (pick(3) == 0 ? random() : 0);
        roms.push_back(sim::Rom::Make(families[pick(7)], serial));
    }
    if (!roms.empty() && pick(4) == 0) roms.push_back(roms[pick(static_cast<int>(roms.size()))]);
    for (const auto& rom : roms)
        net.Add<sim::RomOnlyDevice>(net.Trunk(), rom);
    if (pick(2) == 0) {
        auto& coupler = net.Add<sim::DS2409>(net.Trunk(), base ^ 0x100);
        net.Add<sim::DS18B20>(coupler.Main(), base ^ 0x200).SetTemperature(pick(40));
        net.Add<sim::DS2438>(coupler.Aux(), base ^ 0x300);
        coupler.SetActiveBranch(pick(3));
    }
    if (pick(2) == 0) {
        auto& vaneSwitch = net.Add<sim::DS2407>(net.Trunk(), base ^ 0x400);
        for (int k = 0; k < 8; ++k)
            net.Add<sim::DS2401>(vaneSwitch.PioB(), (base ^ 0x500) + static_cast<uint64_t>(k));
        vaneSwitch.SetStatus(0x3F); // PIO-B conducts
        vaneSwitch.PioB().SetVanePosition(pick(16));
    }
}

// The ROM as the search walks it, first bit highest: the search order is the ascending one of these.
uint64_t WalkOrder(const sim::Rom& rom) {
    uint64_t v = 0;
    for (int b = 0; b < 64; ++b)
        v = (v << 1) | ((rom.bytes[b / 8] >> (b % 8)) & 1);
    return v;
}

// The line slots of the traffic log, with their times from the first one.
std::vector<std::string> TimedSlots(const sim::SimNet& net) {
    std::vector<std::string> out;
    const auto& traffic = net.Traffic();
    uint64_t start = traffic.empty() ? 0 : traffic.front().atUs;
    for (const auto& e : traffic)
        if (e.kind != sim::TrafficEntry::Call)
            out.push_back(e.text + std::to_string(e.sent) + "=" + std::to_string(e.result) + "@" +
                          std::to_string(e.atUs - start));
    return out;
}

// Which devices are in a ROM or function phase.
std::string Phases(const sim::SimNet& net) {
    std::string phases;
    for (sim::Device* d : net.Devices())
        phases += d->InSlots() ? '1' : '0';
    return phases;
}

} // namespace

// The same random net twice: on port 1 answering whole where it can, on port 2 slot by slot.
class TmexWholeAnswers : public TmexTest {
protected:
    void TearDown() override {
        if (slotSession > 0) tmex::EndSession(slotSession);
        TmexTest::TearDown();
    }
    void Fresh(uint32_t seed) {
        net = std::make_shared<sim::SimNet>();
        slotNet = std::make_shared<SlotBySlotNet>();
        tmex::InstallBackend(1, tmex::kPortTypeSimulated, net); // ends the sessions on the old nets
        tmex::InstallBackend(2, tmex::kPortTypeSimulated, slotNet);
        BuildRandomNet(*net, seed);
        BuildRandomNet(*slotNet, seed);
        Open();
        slotSession = tmex::StartSession(2, tmex::kPortTypeSimulated, 0);
    }
    void SetLogging(bool on) {
        net->SetTrafficLogging(on);
        slotNet->SetTrafficLogging(on);
    }
    // What `work` returned on a net, its slots, its devices' phases after it and the bus time it took.
    template <typename F> std::vector<std::string> Run(sim::SimNet& on, F work) {
        on.ClearTraffic();
        uint64_t before = on.NowUs();
        std::vector<std::string> out = work(on);
        for (const std::string& slot : TimedSlots(on))
            out.push_back(slot);
        out.push_back(Phases(on));
        out.push_back(std::to_string(on.NowUs() - before) + " us");
        return out;
    }
    // `work` on both nets, given the session of each: the same outcome.
    template <typename F> void ExpectSame(F work, const std::string& what) {
        EXPECT_EQ(Run(*net, [&](sim::SimNet& on) { return work(on, session); }),
                  Run(*slotNet, [&](sim::SimNet& on) { return work(on, slotSession); }))
            << what;
    }

    std::shared_ptr<SlotBySlotNet> slotNet;
    tmex::SessionHandle slotSession = 0;
};

TEST_F(TmexWholeAnswers, SearchesFindTheSameRomsInTheSameOrder) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Fresh(seed);
        // Every reachable ROM once, in walk order.
        std::vector<uint64_t> expected;
        for (sim::Device* d : net->Devices())
            if (d->Reachable()) expected.push_back(WalkOrder(d->rom()));
        std::sort(expected.begin(), expected.end());
        expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
        std::vector<uint64_t> found;
        for (const sim::Rom& rom : SearchAll())
            found.push_back(WalkOrder(rom));
        EXPECT_EQ(found, expected);

        for (bool logging : {true, false}) {
            SetLogging(logging);
            ExpectSame(
                [](sim::SimNet&, tmex::SessionHandle h) {
                    std::vector<std::string> roms;
                    tmex::TmexStateBuffer st;
                    for (int16_t r = tmex::First(h, &st); r == 1; r = tmex::Next(h, &st)) {
                        uint16_t words[8] = {};
                        tmex::Rom(h, &st, words);
                        roms.push_back(std::to_string(words[0]) + "." + std::to_string(words[7]));
                    }
                    return roms;
                },
                "logging " + std::to_string(logging));
        }
    }
}

TEST_F(TmexWholeAnswers, EachPassTakesTheSamePathAndForks) {
    std::mt19937 random(7);
    for (uint32_t seed = 100; seed < 160; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Fresh(seed);
        for (int pass = 0; pass < 4; ++pass) {
            tmex::RomBytes directions{};
            for (auto& b : directions)
                b = static_cast<uint8_t>(random());
            SetLogging(pass % 2 == 0);
            ExpectSame(
                [&](sim::SimNet& on, tmex::SessionHandle) {
                    std::vector<std::string> out{std::to_string(on.Reset()),
                                                 std::to_string(on.TouchByte(0xF0))};
                    tmex::RomBytes rom{}, forks{};
                    out.push_back(std::to_string(on.SearchBits(directions, rom, forks)));
                    for (int i = 0; i < 8; ++i)
                        out.push_back(std::to_string(rom[i]) + "/" + std::to_string(forks[i]));
                    return out;
                },
                "pass " + std::to_string(pass));
        }
    }
}

TEST_F(TmexWholeAnswers, MatchRomSelectsTheSameDevices) {
    for (uint32_t seed = 200; seed < 240; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Fresh(seed);
        std::vector<sim::Rom> roms;
        for (sim::Device* d : net->Devices())
            roms.push_back(d->rom());
        roms.push_back(sim::Rom::Make(0x28, 0x123456)); // nobody's
        for (std::size_t i = 0; i < roms.size(); ++i) {
            SetLogging(i % 2 == 0);
            // The driver's select, then one block with Match ROM, Read Scratchpad and its nine bytes.
            ExpectSame(
                [&](sim::SimNet& on, tmex::SessionHandle h) {
                    tmex::TmexStateBuffer st;
                    auto words = roms[i].Words();
                    tmex::Rom(h, &st, words.data());
                    std::vector<std::string> out{std::to_string(tmex::Access(h, &st)), Phases(on)};
                    std::vector<uint8_t> block{0x55};
                    block.insert(block.end(), roms[i].bytes.begin(), roms[i].bytes.end());
                    block.push_back(0xBE);
                    block.resize(block.size() + 9, 0xFF);
                    out.push_back(std::to_string(on.Reset()));
                    out.push_back(
                        std::to_string(tmex::BlockIO(h, block.data(), static_cast<int16_t>(block.size()))));
                    for (uint8_t b : block)
                        out.push_back(std::to_string(b));
                    return out;
                },
                "ROM " + roms[i].Text());
        }
    }
}

TEST_F(TmexWholeAnswers, CounterPagesReadTheSameBytesAtTheSameTimes) {
    // A counter whose live input counts the bus time its own net has spent: a page built at another
    // moment than slot by slot would carry another count.
    std::mt19937 random(11);
    for (uint32_t seed = 300; seed < 320; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Fresh(seed);
        std::map<sim::SimNet*, uint64_t> start;
        sim::Rom rom;
        for (sim::SimNet* on :
             {static_cast<sim::SimNet*>(net.get()), static_cast<sim::SimNet*>(slotNet.get())}) {
            auto& counter = on->Add<sim::DS2423>(on->Trunk(), 0x4D0000 + seed);
            counter.ConnectInput('A', [on, &start] { return (on->NowUs() - start[on]) / 300; });
            counter.AddCounts('B', seed * 1000);
            for (int page = 0; page < 16; ++page) {
                std::array<uint8_t, 32> bytes{};
                for (int i = 0; i < 32; ++i)
                    bytes[i] = static_cast<uint8_t>(seed * 7 + page * 32 + i);
                counter.SetPage(page, bytes);
            }
            rom = counter.rom();
        }
        for (int read = 0; read < 6; ++read) {
            const int page = read < 2 ? 14 : static_cast<int>(random() % 16);
            const int address = page * 32 + static_cast<int>(random() % 32);
            const int length = 1 + static_cast<int>(random() % 100); // across page ends, past the memory's
            const bool fault = random() % 3 == 0;
            SetLogging(read == 5);
            ExpectSame(
                [&](sim::SimNet& on, tmex::SessionHandle h) {
                    start[&on] = on.NowUs();
                    if (fault) static_cast<sim::DS2423*>(on.Find(rom))->InjectCrcErrors(1);
                    tmex::TmexStateBuffer st;
                    auto words = rom.Words();
                    tmex::Rom(h, &st, words.data());
                    uint8_t page40[40] = {};
                    std::vector<std::string> out{
                        std::to_string(tmex::ReadPageWithCounter(h, &st, page, page40))};
                    for (uint8_t b : page40)
                        out.push_back(std::to_string(b));
                    // The command by hand, then one block from an address inside a page.
                    out.push_back(std::to_string(tmex::Access(h, &st)));
                    std::vector<uint8_t> block{0xA5, static_cast<uint8_t>(address & 0xFF),
                                               static_cast<uint8_t>(address >> 8)};
                    block.resize(block.size() + length, 0xFF);
                    out.push_back(
                        std::to_string(tmex::BlockIO(h, block.data(), static_cast<int16_t>(block.size()))));
                    for (uint8_t b : block)
                        out.push_back(std::to_string(b));
                    return out;
                },
                "page " + std::to_string(page) + ", address " + std::to_string(address));
        }
    }
}

TEST_F(TmexWholeAnswers, AConversionStartedInABlockNeedsThePullupAtOnceAsSlotBySlot) {
    // A parasite A/D conversion started by the last byte of a block browns out at that byte unless the
    // strong pull-up holds it: a pull-up switched on after the block comes too late, whole or not.
    Fresh(400);
    sim::Rom rom;
    for (sim::SimNet* on : {static_cast<sim::SimNet*>(net.get()), static_cast<sim::SimNet*>(slotNet.get())})
        rom = on->Add<sim::DS2450>(on->Trunk(), 0x990001).rom();
    SetLogging(false);
    ExpectSame(
        [&](sim::SimNet& on, tmex::SessionHandle h) {
            tmex::TmexStateBuffer st;
            auto words = rom.Words();
            tmex::Rom(h, &st, words.data());
            std::vector<std::string> out{std::to_string(tmex::Access(h, &st))};
            uint8_t convert[5] = {0x3C, 0x0F, 0x00, 0xFF, 0xFF};
            out.push_back(std::to_string(tmex::BlockIO(h, convert, 5)));
            tmex::OneWireLevel(h, 0, 1, 0);
            platform::Sleep(20);
            tmex::OneWireLevel(h, 0, 0, 0);
            auto& vane = *static_cast<sim::DS2450*>(on.Find(rom));
            out.push_back(std::to_string(vane.Conversions()) + " conversions, " +
                          std::to_string(vane.Brownouts()) + " brown-outs");
            return out;
        },
        "convert");
}

namespace {

// A device with work for every reset, taken off the net: a net that has one passes each reset on to its
// devices at once, never later.
class ResetHookedDevice : public sim::Device {
public:
    explicit ResetHookedDevice(const sim::Rom& rom) : Device(rom) { HookReset(true); }
    std::string FamilyName() const override { return "hooked"; }
};

} // namespace

TEST(TmexResetPassedOnLater, AnswersAsAResetPassedOnAtOnce) {
    // The same random traffic, with test hooks between (devices taken off and back, a coupler's
    // branch, the adapter) on a net that may leave a reset pending and on one that cannot: the same
    // answers, the same devices in their ROM or function phase after each step, the same bus time.
    auto clock = std::make_shared<platform::SimulatedClock>();
    auto old = platform::Clock::Install(clock);
    for (uint32_t seed = 500; seed < 560; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        sim::SimNet later, atOnce;
        BuildRandomNet(later, seed);
        BuildRandomNet(atOnce, seed);
        for (sim::SimNet* on : {&later, &atOnce})
            on->SetTrafficLogging(seed % 2 == 0);
        atOnce.Add<ResetHookedDevice>(atOnce.Trunk(), sim::Rom::Make(0x01, 0xABCDEF)).Remove();
        const std::vector<sim::Device*> devices = later.Devices();
        if (devices.empty()) continue;
        std::mt19937 random(seed);
        for (int step = 0; step < 120; ++step) {
            const int kind = static_cast<int>(random() % 12);
            const std::size_t pick = random() % devices.size();
            tmex::RomBytes directions{};
            for (auto& b : directions)
                b = static_cast<uint8_t>(random());
            const uint8_t byte = static_cast<uint8_t>(random());
            auto run = [&](sim::SimNet& on) {
                const std::vector<sim::Device*> all = on.Devices();
                sim::Device& d = *all[pick];
                uint64_t before = on.NowUs();
                std::string out;
                switch (kind) {
                case 0:
                case 1:
                case 2:
                    out = std::to_string(on.Reset());
                    break;
                case 3:
                case 4: { // Match ROM and a few bytes in one block
                    uint8_t block[12] = {0x55};
                    std::copy(d.rom().bytes.begin(), d.rom().bytes.end(), block + 1);
                    block[9] = byte;
                    block[10] = block[11] = 0xFF;
                    out = std::to_string(on.TouchBlock(block, 12));
                    for (uint8_t b : block)
                        out += " " + std::to_string(b);
                    break;
                }
                case 5: { // a search pass
                    tmex::RomBytes rom{}, forks{};
                    out = std::to_string(on.TouchByte(0xF0));
                    out += " " + std::to_string(on.SearchBits(directions, rom, forks));
                    out += " " + std::to_string(tmex::RomBits(rom)) + "/" + std::to_string(tmex::RomBits(forks));
                    break;
                }
                case 6:
                    out = std::to_string(on.TouchByte(byte));
                    break;
                case 7:
                    out = std::to_string(on.TouchByte(0xCC)) + " " + std::to_string(on.TouchByte(byte));
                    break;
                case 8:
                    out = std::to_string(on.TouchBit(byte & 1));
                    break;
                case 9:
                    if (d.Inserted())
                        d.Remove();
                    else
                        d.Reinsert();
                    break;
                case 10:
                    if (auto* coupler = dynamic_cast<sim::DS2409*>(&d)) coupler->SetActiveBranch(byte % 3);
                    else on.SetAdapterPresent(byte % 5 != 0);
                    break;
                default:
                    out = std::to_string(on.TouchByte(0xF0)) + " " + std::to_string(on.TouchBit(1)) + " " +
                          std::to_string(on.TouchBit(1));
                    break;
                }
                std::string phases;
                for (std::size_t i = 0; i < devices.size(); ++i)
                    phases += all[i]->InSlots() ? '1' : '0';
                return out + " | " + phases + " | " + std::to_string(on.NowUs() - before);
            };
            std::string a = run(later), b = run(atOnce);
            ASSERT_EQ(a, b) << "step " << step << ", kind " << kind;
        }
        auto slots = [](const sim::SimNet& on) {
            std::vector<std::string> out;
            for (const auto& e : on.Traffic())
                out.push_back(e.text + std::to_string(e.sent) + "=" + std::to_string(e.result));
            return out;
        };
        EXPECT_EQ(slots(later), slots(atOnce));
    }
    platform::Clock::Install(old);
}
