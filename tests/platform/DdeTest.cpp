// The in-process DDE registry: names without regard to case, taken names refused, texts pushed to hot
// links and announced to warm ones, and withdrawal when an item or its conversation is freed.
#include <gtest/gtest.h>

#include <memory>

#include "platform/Dde.h"
#include "platform/Files.h"

using namespace platform;

TEST(DdeTest, RegistryAnswersRequestsAndLinksUntilTheItemsGo) {
    std::string exe = ExeName();
    SetExeName("/opt/station/korvane.bin");
    EXPECT_EQ(DdeServiceName(), "korvane");
    auto conv = std::make_unique<TDdeServerConv>(nullptr, "Weather");
    EXPECT_THROW(TDdeServerConv(nullptr, "WEATHER"), EDdeError);
    auto lines = std::make_unique<TDdeServerItem>(nullptr, "DDEItems");
    lines->SetServerConv(conv.get());
    TDdeServerItem twin(nullptr, "ddeitems");
    EXPECT_THROW(twin.SetServerConv(conv.get()), EDdeError);
    lines->AddLine("DDEWindSpeed");
    lines->AddLine("DDERainRate");
    std::string text;
    ASSERT_TRUE(DdeRequest("KORVANE", "weather", "DDEITEMS", text));
    EXPECT_EQ(text, "DDEWindSpeed\r\nDDERainRate\r\n");
    EXPECT_EQ(lines->Lines().Count(), 2);
    EXPECT_FALSE(DdeRequest("korvane", "Weather", "Other", text));

    std::vector<std::string> hot;
    int warm = 0;
    TDdeAdviseLink hotLink("korvane", "Weather", "DDEItems", TDdeAdviseLink::Kind::Hot,
                           [&](const std::string* t) { hot.push_back(*t); });
    TDdeAdviseLink warmLink("korvane", "Weather", "DDEItems", TDdeAdviseLink::Kind::Warm,
                            [&](const std::string* t) { warm += t == nullptr; });
    lines->SetText("x");
    EXPECT_EQ(hot, std::vector<std::string>{"x"});
    EXPECT_EQ(warm, 1);
    lines.reset();
    EXPECT_FALSE(hotLink.Active());
    EXPECT_FALSE(DdeRequest("korvane", "Weather", "DDEItems", text));

    auto item = std::make_unique<TDdeServerItem>(nullptr, "DDEWeather");
    item->SetServerConv(conv.get());
    TDdeAdviseLink link("korvane", "Weather", "DDEWeather", TDdeAdviseLink::Kind::Hot, nullptr);
    conv.reset(); // the conversation takes its items out of DDE
    EXPECT_FALSE(link.Active());
    EXPECT_EQ(item->ServerConv(), nullptr);
    TDdeServerConv again(nullptr, "Weather"); // the topic is free again
    item->SetServerConv(&again);
    EXPECT_TRUE(DdeRequest("korvane", "Weather", "DDEWeather", text));

    DdeRefuseRegistrations(0);
    EXPECT_THROW(TDdeServerItem(nullptr, "Late").SetServerConv(&again), EDdeError);
    DdeRefuseRegistrations(-1);
    SetExeName(exe);
}
