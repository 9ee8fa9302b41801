// The keeper's commands as requests: what is taken (names and words in any case), what is refused and
// how (one clear line; the list of names for an unknown one), and the answer on the wire.
#include <gtest/gtest.h>

#include <set>

#include "station/Commands.h"

namespace {

TCommandAnswer Refusal(const std::string& request) {
    TCommandCall call;
    TCommandAnswer refusal;
    EXPECT_FALSE(ParseCommand(request, call, refusal)) << request;
    EXPECT_EQ(call.spec, nullptr);
    return refusal;
}

TCommandCall Call(const std::string& request) {
    TCommandCall call;
    TCommandAnswer refusal;
    EXPECT_TRUE(ParseCommand(request, call, refusal)) << request << ": " << refusal.lines.front();
    return call;
}

TEST(Commands, EveryItemOfTheMenusAndTheTreeIsThereOnce) {
    std::set<std::string> names;
    for (const TCommandSpec& spec : CommandSpecs())
        names.insert(spec.name);
    std::set<std::string> items = {
        "TempStatReset",    "HumidityStatReset", "BarometerStatReset", "WindStatReset",
        "DS2450StatReset",  "ResetRGaugeToday",  "ResetRGaugeWeek",    "ResetRGaugeMonth",
        "ResetRGaugeTotal", "Resethighmark1",    "RescanMLan",         "RestartButton",
        "OpenStatusLog",    "ClearStatusList",   "Clearlog1",          "LogStatusToFileCheckBox",
        "DbgCheckBox",      "Unload1",           "ResetSensor",        "WindDirectionDS2450Sensor"};
    items.insert({"CreateHTML", "UploadToHomepage", "PostAPRS", "PostToWeather4U", "PostServlet",
                  "PosttoWeatherUnderground", "CopyDDEItemNameToClipboard"});
    EXPECT_EQ(names, items);
    EXPECT_EQ(names.size(), CommandSpecs().size());
}

TEST(Commands, NamesAndWordsAreTakenInAnyCaseAndBetweenAnyBlanks) {
    EXPECT_STREQ(Call("resetrgaugetotal").spec->name, "ResetRGaugeTotal");
    EXPECT_STREQ(Call("  UNLOAD1\t").spec->name, "Unload1");
    TCommandCall box = Call("dbgcheckbox\tOFF");
    EXPECT_STREQ(box.spec->name, "DbgCheckBox");
    EXPECT_EQ(box.args, std::vector<std::string>{"OFF"});
    TCommandCall channel = Call("ResetSensor  200000000000a5c0 b");
    EXPECT_EQ(channel.args, (std::vector<std::string>{"200000000000a5c0", "b"}));
    for (const char* number : {"0", "3"})
        EXPECT_NE(Call(std::string("ResetSensor 200000000000A5C0 ") + number).spec, nullptr);
}

TEST(Commands, AnUnknownNameIsRefusedWithTheListOfNames) {
    for (const char* request : {"ResetRain", "", "   "}) {
        TCommandAnswer refusal = Refusal(request);
        EXPECT_EQ(refusal.status, kCommandRefused);
        ASSERT_EQ(refusal.lines.size(), 1 + CommandSpecs().size()) << request;
        EXPECT_NE(refusal.lines[0].find("the commands are:"), std::string::npos);
        EXPECT_EQ(refusal.lines.back().rfind("  WindDirectionDS2450Sensor <DS2450 serial> - ", 0), 0u);
    }
    EXPECT_EQ(Refusal("ResetRain").lines[0], "unknown command \"ResetRain\"; the commands are:");
    // A name of a megabyte is shown cut short.
    EXPECT_LT(Refusal(std::string(1 << 20, 'A')).lines[0].size(), 100u);
}

TEST(Commands, AMissingSurplusOrWrongArgumentIsRefusedInOneLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"ResetRGaugeTotal now", "ResetRGaugeTotal takes no argument: korvane command ResetRGaugeTotal"},
        {"DbgCheckBox", "DbgCheckBox needs its arguments: korvane command DbgCheckBox on|off"},
        {"DbgCheckBox maybe", "DbgCheckBox takes on or off, not \"maybe\""},
        {"LogStatusToFileCheckBox on off", "LogStatusToFileCheckBox needs its arguments: korvane command "
                                           "LogStatusToFileCheckBox on|off"},
        {"ResetSensor 200000000000A5C0", "ResetSensor needs its arguments: korvane command ResetSensor "
                                         "<DS2450 serial> <channel A-D>"},
        {"ResetSensor 20000000000A5C0 A", "\"20000000000A5C0\" is no serial: a DS2450's serial is 16 "
                                          "hexadecimal digits"},
        {"ResetSensor 200000000000A5CX A", "\"200000000000A5CX\" is no serial: a DS2450's serial is 16 "
                                           "hexadecimal digits"},
        {"ResetSensor 200000000000A5C0 E", "\"E\" is no channel: A, B, C or D (or 0 to 3)"},
        {"ResetSensor 200000000000A5C0 4", "\"4\" is no channel: A, B, C or D (or 0 to 3)"},
        {"WindDirectionDS2450Sensor", "WindDirectionDS2450Sensor needs its arguments: korvane command "
                                      "WindDirectionDS2450Sensor <DS2450 serial>"},
        {"CopyDDEItemNameToClipboard", "CopyDDEItemNameToClipboard needs its arguments: korvane command "
                                       "CopyDDEItemNameToClipboard <serial> [A-D|H|T|V]"},
        {"CopyDDEItemNameToClipboard 200000000000A5C0 B C",
         "CopyDDEItemNameToClipboard needs its arguments: korvane command CopyDDEItemNameToClipboard "
         "<serial> "
         "[A-D|H|T|V]"},
        {"CopyDDEItemNameToClipboard 28000000000A5C0",
         "\"28000000000A5C0\" is no serial: a sensor's serial is "
         "16 hexadecimal digits"},
        {"CopyDDEItemNameToClipboard 200000000000A5C0 E",
         "\"E\" is no part of a sensor: A, B, C, D (a DS2450's channels), H, T or V"},
        {"PostAPRS now", "PostAPRS takes no argument: korvane command PostAPRS"},
    };
    for (const auto& [request, line] : cases) {
        TCommandAnswer refusal = Refusal(request);
        EXPECT_EQ(refusal.status, kCommandRefused) << request;
        EXPECT_EQ(refusal.lines, std::vector<std::string>{line}) << request;
    }
}

TEST(Commands, BytesThatAreNotTextAreRefusedBeforeAnyNameIsLookedFor) {
    const std::pair<std::string, const char*> cases[] = {
        {std::string("Unload1\0", 8), "the command is not text: it holds the byte 0x00"},
        {"\x1b[2JUnload1", "the command is not text: it holds the byte 0x1B"},
        {"Clearlog1 \xff\xfe", "the command is not text: it holds the byte 0xFF"},
        {"Clear\x7flog1", "the command is not text: it holds the byte 0x7F"},
    };
    for (const auto& [request, line] : cases)
        EXPECT_EQ(Refusal(request).lines, std::vector<std::string>{line});
}

TEST(Commands, AnAnswerCrossesTheWireWhole) {
    const TCommandAnswer sent{kCommandRan, {"14:03:09 RAINGAUGE: Reset total-counter", "", "last"}};
    TCommandAnswer got;
    ASSERT_TRUE(DecodeAnswer(EncodeAnswer(sent), got));
    EXPECT_EQ(got.status, sent.status);
    EXPECT_EQ(got.lines, sent.lines);
    ASSERT_TRUE(DecodeAnswer("status 2\n", got));
    EXPECT_EQ(got.status, 2);
    EXPECT_TRUE(got.lines.empty());
    for (const char* broken : {"", "status", "status \n", "status 0", "HTTP/1.0 200 OK\r\n", "status 1x\n"})
        EXPECT_FALSE(DecodeAnswer(broken, got)) << broken;
}

} // namespace
