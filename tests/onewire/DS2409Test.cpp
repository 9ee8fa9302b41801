// The coupler object against the simulated coupler.
#include "MicrolanNet.h"

#include "onewire/DS2409.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS2409.h"

using namespace microlan_test;

class DS2409Test : public MicrolanNetTest {
protected:
    void SetUp() override {
        MicrolanNetTest::SetUp();
        coupler = &net->Add<sim::DS2409>(net->Trunk(), 0x000000001234ULL);
        onMain = &net->Add<sim::DS18B20>(coupler->Main(), 0x1ULL);
        onAux = &net->Add<sim::DS18B20>(coupler->Aux(), 0x2ULL);
    }
    std::unique_ptr<DS2409> MakeCoupler() {
        EXPECT_TRUE(Microlan::StartSession());
        auto words = coupler->rom().Words();
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, words.data());
        auto object = std::make_unique<DS2409>(3);
        Microlan::EndSession();
        return object;
    }
    sim::DS2409* coupler = nullptr;
    sim::DS18B20* onMain = nullptr;
    sim::DS18B20* onAux = nullptr;
};

TEST_F(DS2409Test, ConstructorAndSettings) {
    auto c = MakeCoupler();
    EXPECT_EQ(c->Index, 3);
    EXPECT_EQ(iButton::RomText(c->Rom), coupler->rom().Text());
    EXPECT_EQ(c->Type, "MLanCoupler");
    EXPECT_EQ(c->Description, coupler->rom().Text());
    EXPECT_STREQ(c->SerialText(), coupler->rom().Text().c_str());
    c->SaveSettings();
    EXPECT_EQ(Key(*coupler, "Type"), "MLanCoupler");
    EXPECT_EQ(Key(*coupler, "Description"), coupler->rom().Text());
}

TEST_F(DS2409Test, SwitchesTheBranchesAndLeavesTheSessionOpen) {
    auto c = MakeCoupler();
    EXPECT_EQ(c->Switch(1), 1);
    EXPECT_EQ(c->State, "MAIN ON");
    EXPECT_TRUE(onMain->Reachable());
    EXPECT_FALSE(onAux->Reachable());
    EXPECT_EQ(tmex::ValidSession(Microlan::Bus().SessionHandle), 1);
    EXPECT_EQ(c->Switch(2), 1);
    EXPECT_EQ(c->State, "AUX ON");
    EXPECT_TRUE(onAux->Reachable());
    EXPECT_EQ(c->Switch(0), 1);
    EXPECT_EQ(c->State, "ALL LINES OFF");
    EXPECT_FALSE(onMain->Reachable());
    EXPECT_FALSE(onAux->Reachable());
    EXPECT_EQ(c->Switch(3), 1);
    EXPECT_EQ(c->State, "MAIN ON");
    EXPECT_TRUE(onMain->Reachable());
    EXPECT_EQ(c->Switch(5), 0);
    Microlan::EndSession();
}

TEST_F(DS2409Test, DischargeWaitsOneHundredMillisecondsBeforeTheConfirmation) {
    auto c = MakeCoupler();
    net->ClearTraffic();
    EXPECT_EQ(c->Switch(4), 1);
    EXPECT_EQ(c->State, "DISCHARGE ALL");
    EXPECT_EQ(coupler->Discharges(), 1);
    const auto& traffic = net->Traffic();
    uint64_t at99 = 0, atConfirm = 0;
    for (std::size_t i = 0; i < traffic.size(); ++i) {
        if (traffic[i].kind == sim::TrafficEntry::Call && traffic[i].text == "T" && traffic[i].args == "99")
            at99 = traffic[i].atUs;
        if (traffic[i].kind == sim::TrafficEntry::Call && traffic[i].text == "T" && traffic[i].args == "FF" &&
            at99 != 0 && atConfirm == 0)
            atConfirm = traffic[i].atUs;
    }
    EXPECT_GE(atConfirm - at99, 100000u);
    Microlan::EndSession();
}

TEST_F(DS2409Test, ASwitchThatCannotSelectReturnsZeroAndKeepsTheState) {
    auto c = MakeCoupler();
    c->Switch(1);
    Microlan::EndSession();
    coupler->Remove();
    EXPECT_EQ(c->Switch(0), 0); // a failed selection is a failure
    EXPECT_EQ(c->State, "MAIN ON");
    net->SetSessionResult(0);
    Microlan::EndSession();
    EXPECT_EQ(c->Switch(0), 0);
}
