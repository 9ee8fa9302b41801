// A plain DS2407 switch: listed with its Type and description, never read.
#include "DS2423SensorNet.h"

#include "onewire/DS2407.h"
#include "platform/tmex/sim/DS2407.h"

using namespace sensor_net_test;

TEST_F(SensorNetTest, DS2407KeepsItsTypeAndIsNeverRead) {
    auto& device = net->Add<sim::DS2407>(net->Trunk(), 0x0000000012C3ULL);
    auto plain = Make<DS2407>(device.rom(), 3, nullptr, 0);
    EXPECT_EQ(plain->SwitchIndex, 3);
    EXPECT_EQ(Ini(device.rom(), "Type"), "DS2407");
    EXPECT_EQ(plain->Description, device.rom().Text());
    net->ClearTraffic();
    EXPECT_EQ(plain->Read(), 0);
    EXPECT_TRUE(net->Traffic().empty());
    EXPECT_EQ(plain->GetStatus(), "");
    std::string html = plain->GetHTML();
    EXPECT_EQ(
        html.find(
            "<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=0><TR><TD><FONT SIZE=2><CENTER><B>DS2407"),
        0u);
    EXPECT_NE(html.find(device.rom().Text()), std::string::npos);

    const std::string section = device.rom().Text();
    Sensors("[" + section + "]\r\nType=TAI8570Reader\r\nDescription=Pressure board\r\n");
    auto reader = Make<DS2407>(device.rom(), 0, nullptr, 0);
    EXPECT_EQ(reader->Type, "TAI8570Reader");
    EXPECT_EQ(reader->Description, "Pressure board");
    EXPECT_EQ(Ini(device.rom(), "Type"), "TAI8570Reader");
}
