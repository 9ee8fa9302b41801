// A kind of sensor the station has never had, added the way a new kind is: its class, its row in each
// layer's registry and its simulated chip, nothing else. The station finds it, reads it, logs it,
// publishes it, saves it and frees it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "onewire/DataFiles.h"
#include "onewire/DataTables.h"
#include "onewire/Discovery.h"
#include "onewire/Microlan.h"
#include "onewire/SensorKinds.h"
#include "onewire/SensorTables.h"
#include "onewire/iButton.h"
#include "platform/DateTime.h"
#include "platform/Strings.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/Device.h"
#include "platform/tmex/sim/SimNet.h"
#include "publish/PublishContext.h"
#include "publish/PublishKinds.h"
#include "publish/SensorTags.h"
#include "publish/StatusPage.h"
#include "publish/WeatherXml.h"
#include "station/StationKinds.h"
#include "support/StationFixture.h"

namespace {

namespace sim = platform::tmex::sim;
using platform::Format;

constexpr uint8_t kLeafFamily = 0x7E;

// The chip: a leaf-wetness probe that answers its Read command (0xBE) with one byte, the wetness in
// percent.
class LeafChip final : public sim::Device {
public:
    explicit LeafChip(uint64_t serial48) : Device(sim::Rom::Make(kLeafFamily, serial48)) {}
    std::string FamilyName() const override { return "LEAF"; }

    uint8_t wetness = 0;

protected:
    void OnSelected() override { command_ = -1; }
    uint8_t FunctionByte(uint8_t master) override {
        if (command_ < 0) {
            command_ = master;
            if (master != 0xBE) EndFunction();
            return 0xFF;
        }
        EndFunction();
        return wetness;
    }

private:
    int command_ = -1;
};

// The class: one value read by the command.
class LeafSensor final : public iButton {
public:
    LeafSensor(int tag, const uint16_t* couplerRom, int branch) : iButton(couplerRom, branch) { Tag = tag; }

    int Read() override {
        if (!SelectDevice() || !Microlan::SendByte(0xBE)) return 0;
        Wetness = Microlan::ReadByte();
        return 1;
    }
    void LogData() {
        platform::DosDate date = platform::GetDate();
        AppendDataFile(SensorDataFileName("Leaf", date.da_mon, date.da_year), Format("%d\n", Wetness));
    }
    void SaveSettings() { ++Saves; }

    int Wetness = -1;
    int Saves = 0;
};

SensorTable<LeafSensor> Leaves(4);

void FileLeaf(FamilyScan& scan, const std::string& serial) {
    if (!scan.Room(Leaves, "LEAF", serial)) return;
    LeafSensor* leaf = Leaves.Add(std::make_unique<LeafSensor>(Leaves.Count(), scan.couplerRom, scan.branch));
    scan.AddNode(scan.branchNode, "LEAF: " + serial, leaf, ScanImage::None);
    Microlan::MarkSerialFound(serial);
    ++SensorSet().DeviceCount;
}

// The rows, after every built-in kind in each walk.
SensorKind LeafKind() {
    SensorKind kind;
    kind.kind = "Leaf";
    kind.present = [] { return Leaves.Count() > 0; };
    kind.clear = [] { Leaves.Clear(); };
    kind.clearOrder = 100;
    kind.save = [](const std::function<void(const SaveStep&)>& save) {
        for (LeafSensor* leaf : Leaves)
            save([leaf] { leaf->SaveSettings(); });
    };
    kind.saveOrder = 100;
    kind.families = {{kLeafFamily, "LEAF", 95, nullptr, FileLeaf}};
    return kind;
}

StationKind LeafStation() {
    StationKind kind;
    kind.kind = "Leaf";
    kind.read = [](TMainForm&) {
        LeafSensor* leaf = Leaves[static_cast<int>(SampleCount % static_cast<unsigned>(Leaves.Count()))];
        return leaf != nullptr && leaf->Sample() != 0;
    };
    kind.readOrder = 100;
    kind.logData = [](TMainForm&) {
        for (LeafSensor* leaf : Leaves)
            leaf->LogData();
    };
    kind.logOrder = 100;
    return kind;
}

std::string Serial(const LeafSensor& leaf) {
    return iButton::RomText(leaf.Rom);
}

publish::PublishKind LeafPublishing() {
    publish::PublishKind kind;
    kind.kind = "Leaf";
    kind.xml = [](publish::TPublishContext&) -> std::string {
        if (Leaves.Count() == 0) return {};
        std::string xml = "<leaves>\n";
        for (LeafSensor* leaf : Leaves)
            xml += "<leaf>\n" + publish::XmlElement("serial", Serial(*leaf)) +
                   publish::XmlValueBlock("current", "%.0f", leaf->Wetness) + "</leaf>\n";
        return xml + "</leaves>\n";
    };
    kind.xmlOrder = 100;
    kind.page = [](publish::StatusPageWriter& page) {
        if (Leaves.Count() == 0) return;
        page.Out() += page.OpenBlock() + "<TR><TH>Leaf wetness</TH>" + page.Head("Current") + "</TR>";
        for (LeafSensor* leaf : Leaves)
            page.Out() += Format("<TR><TD>%s</TD><TD>%d%%</TD></TR>", Serial(*leaf).c_str(), leaf->Wetness);
        page.Out() += "</TABLE></TD></TR>";
    };
    kind.pageOrder = 100;
    kind.tag = [](const std::string& name) -> std::optional<std::string> {
        for (LeafSensor* leaf : Leaves)
            if (platform::SameText(name, Serial(*leaf) + "W")) return Format("%d", leaf->Wetness);
        return std::nullopt;
    };
    kind.tagOrder = 100;
    return kind;
}

class MadeUpKindTest : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        net = std::make_shared<sim::SimNet>();
        platform::tmex::InstallBackend(1, platform::tmex::kPortTypeSimulated, net);
        Write("korvane.ini", "[Weather]\r\nPortNum=1\r\nPortType=64\r\nSampleInterval=2000\r\n");
    }

    // The made-up kind's table is the test's own, not the window's.
    void TearDown() override {
        StationFixture::TearDown();
        Leaves.Clear();
    }

    // The data files under DATA whose name holds `part`, read together.
    std::string DataFiles(const std::string& part) const {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(Path("DATA")))
            if (entry.path().filename().string().find(part) != std::string::npos)
                text += Read("DATA/" + entry.path().filename().string());
        return text;
    }

    std::shared_ptr<sim::SimNet> net;
    KindRegistry<SensorKind>::Registration kind_{SensorKinds(), LeafKind()};
    KindRegistry<StationKind>::Registration station_{StationKinds(), LeafStation()};
    KindRegistry<publish::PublishKind>::Registration publishing_{publish::PublishKinds(), LeafPublishing()};
};

TEST_F(MadeUpKindTest, IsFoundReadLoggedPublishedSavedAndFreedFromItsRowsAlone) {
    LeafChip& chip = net->Add<LeafChip>(net->Trunk(), 0x4C45AFull);
    chip.wetness = 37;
    TMainForm& form = Start();
    platform::EventLoop::Get().RunFor(1100);
    ASSERT_EQ(Leaves.Count(), 1);
    const std::string serial = Serial(*Leaves[0]);
    EXPECT_EQ(CountLog("WARNING"), 0);

    platform::EventLoop::Get().RunFor(10000);
    EXPECT_EQ(Leaves[0]->Wetness, 37);
    EXPECT_GT(Leaves[0]->Samples, 0u);

    form.WriteDataLog();
    EXPECT_EQ(DataFiles("Leaf"), "37\r\n"); // data files are CR LF text

    publish::TPublishContext context(form);
    const std::string xml = publish::BuildXML(context, false);
    const std::string leafXml = "<leaves>\n<leaf>\n<serial>" + serial +
                                "</serial>\n<current>\n<value>37</value>\n</current>\n</leaf>\n</leaves>\n";
    EXPECT_NE(xml.find("\n" + leafXml + "</weather>"), std::string::npos) << xml;
    const std::string page = publish::StatusPageText(context);
    EXPECT_NE(page.find("<TR><TD>" + serial + "</TD><TD>37%</TD></TR>"), std::string::npos) << page;
    EXPECT_EQ(publish::SensorTagValue(platform::LowerCase(serial) + "w").value_or("none"), "37");
    EXPECT_FALSE(publish::SensorTagValue(serial + "X").has_value());

    form.SaveAllSensors();
    EXPECT_EQ(Leaves[0]->Saves, 1);
    form.CleanupSensors();
    EXPECT_EQ(Leaves.Count(), 0);
}

// Every row of the layers above names a kind of the sensor set (or a group of them), so that none is
// silently never present; every kind with objects to save is read and published.
TEST(SensorKindRegistryTest, TheLayersRowsNameTheKindsOfTheSensorSet) {
    for (const StationKind& row : StationKinds().Rows())
        EXPECT_NE(SensorKinds().Find(row.kind), nullptr) << row.kind;
    for (const publish::PublishKind& row : publish::PublishKinds().Rows())
        EXPECT_TRUE(SensorKinds().Find(row.kind) != nullptr || row.kind == "Thermometers") << row.kind;
    for (const SensorKind& kind : SensorKinds().Rows()) {
        if (!kind.save) continue;
        const StationKind* station = StationKinds().Find(kind.kind);
        EXPECT_TRUE(station != nullptr && station->read) << kind.kind;
        EXPECT_NE(publish::PublishKinds().Find(kind.kind), nullptr) << kind.kind;
    }
}

} // namespace
