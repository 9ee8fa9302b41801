// The simulated net on the machine's own clock (as `make run` uses it): nothing sleeps per bus slot,
// yet a device polled in a tight loop sees the bus time go by and finishes its conversion.
#include "TmexFixture.h"
#include "platform/tmex/sim/DS2438.h"

using namespace tmex_test;

class TmexBusTimeOnRealClock : public TmexTest {
protected:
    void SetUp() override {
        TmexTest::SetUp();
        platform::Clock::Install(std::make_shared<platform::RealClock>());
    }
};

TEST_F(TmexBusTimeOnRealClock, ConversionPolledWithoutSleepingFinishesWithinTheStationsPollLimit) {
    auto& battery = net->Add<sim::DS2438>(net->Trunk(), 0x77);
    ASSERT_GT(Open(), 0);
    ASSERT_TRUE(Select(battery.rom()));
    ASSERT_EQ(tmex::TouchByte(session, 0xB4), 0xB4); // convert voltage
    int polls = 0;
    while (tmex::TouchByte(session, 0xFF) == 0 && polls < 1000) ++polls;
    EXPECT_LT(polls, 1000); // the readers give up after 1000 reads
    EXPECT_GT(polls, 0);    // and the conversion did take bus time
}
