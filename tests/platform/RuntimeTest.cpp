// The class-library stand-ins: component ownership, string lists, memory streams and the headless
// controls.
#include <gtest/gtest.h>

#include "platform/Component.h"
#include "platform/controls/Headless.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;

namespace {

class Counted : public TComponent {
public:
    Counted(TComponent* owner, const std::string& name, std::vector<std::string>& log)
        : TComponent(owner, name), log_(log) {}
    ~Counted() override { log_.push_back(Name()); }

private:
    std::vector<std::string>& log_;
};

TEST(RuntimeComponent, OwnerFreesWhatItOwnsAndAFreedChildLeavesItsOwner) {
    std::vector<std::string> freed;
    auto* form = new Counted(nullptr, "MainForm", freed);
    auto* timer = new Counted(form, "StartTimer", freed);
    auto* panel = new Counted(form, "Panel", freed);
    new Counted(panel, "Label", freed);
    EXPECT_EQ(form->ComponentCount(), 2);
    EXPECT_EQ(form->FindComponent("starttimer"), timer);
    EXPECT_EQ(form->FindComponent("Label"), nullptr); // only direct children
    delete timer;
    EXPECT_EQ(form->ComponentCount(), 1);
    EXPECT_EQ(form->FindComponent("StartTimer"), nullptr);
    delete form; // under ASan: each freed once
    EXPECT_EQ(freed, (std::vector<std::string>{"StartTimer", "MainForm", "Panel", "Label"}));
}

TEST(RuntimeComponent, MembersOwnedByTheirFormAreNotFreedTwice) {
    struct Form : TComponent {
        Form() : TComponent(nullptr, "Form") {}
        TCheckBox box{this, "Box"};
        TMemo memo{this, "Memo"};
    };
    auto form = std::make_unique<Form>();
    EXPECT_EQ(form->ComponentCount(), 2);
    form.reset(); // members leave the owner before the owner's own destructor runs
}

TEST(RuntimeStringList, SortedListIgnoresCaseAndDuplicates) {
    TStringList serials;
    serials.SetSorted(true);
    EXPECT_EQ(serials.Add("beta"), 0);
    EXPECT_EQ(serials.Add("Alpha"), 0);
    EXPECT_EQ(serials.Add("gamma"), 2);
    EXPECT_EQ(serials.Add("ALPHA"), 0); // duplicate: the existing entry
    EXPECT_EQ(serials.Count(), 3);
    EXPECT_EQ(serials.Text(), "Alpha\r\nbeta\r\ngamma\r\n");
    int index = -1;
    EXPECT_TRUE(serials.Find("BETA", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(serials.Find("delta", index));
    EXPECT_EQ(index, 2); // where it would go
    EXPECT_EQ(serials.IndexOf("GAMMA"), 2);
    EXPECT_EQ(serials.IndexOf("omega"), -1);
}

TEST(RuntimeStringList, SortingAnUnsortedListAndLateAdds) {
    TStringList list;
    list.SetText("zulu\r\nAlpha\r\nmike\r\n");
    EXPECT_EQ(list.IndexOf("ALPHA"), 1);
    list.SetSorted(true);
    EXPECT_EQ(list.Text(), "Alpha\r\nmike\r\nzulu\r\n");
    list.Add("Kilo");
    list.Add("x-ray");
    EXPECT_EQ(list.Text(), "Alpha\r\nKilo\r\nmike\r\nx-ray\r\nzulu\r\n");
}

TEST(RuntimeMemoryStream, WriteReadSeekAndSize) {
    TMemoryStream s;
    s.WriteString("GET /weather");
    EXPECT_EQ(s.Size(), 12);
    EXPECT_EQ(s.Position(), 12);
    s.SetPosition(4);
    char buffer[32] = {};
    EXPECT_EQ(s.Read(buffer, sizeof buffer), 8u);
    EXPECT_STREQ(buffer, "/weather");
    EXPECT_EQ(s.Read(buffer, 1), 0u);
    s.SetPosition(14); // past the end: a write fills the gap with zero bytes
    s.WriteString("!");
    EXPECT_EQ(s.AsString(), std::string("GET /weather\0\0!", 15));
    s.SetSize(3);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(s.AsString(), "GET");
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Position(), 0);
}

TEST(RuntimeMemoryStream, FilesAreBinary) {
    testsupport::ScratchDir dir;
    TMemoryStream s;
    s.WriteString(std::string("a\nb\r\n\0c", 7));
    ASSERT_TRUE(s.SaveToFile("trend.dat"));
    EXPECT_EQ(testsupport::ReadRaw("trend.dat"), std::string("a\nb\r\n\0c", 7));
    TMemoryStream back;
    ASSERT_TRUE(back.LoadFromFile("TREND.DAT"));
    EXPECT_EQ(back.AsString(), s.AsString());
}

TEST(RuntimeControls, CheckBoxSetFromCodeRunsNoHandler) {
    TCheckBox box;
    int clicks = 0;
    box.OnClick = [&](TComponent*) { ++clicks; };
    box.SetChecked(true);
    EXPECT_EQ(clicks, 0);
    box.Click();
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(clicks, 1);
    box.SetEnabled(false);
    box.Click();
    EXPECT_EQ(clicks, 1);
}

} // namespace
