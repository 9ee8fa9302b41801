// The keeper's commands: their table, the reading of a request and the run of one on the station.
#include "station/Commands.h"

#include <cctype>
#include <cstdlib>

#include "onewire/DS2450.h"
#include "onewire/SensorTables.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

enum class Args { None, OnOff, Serial, SerialAndChannel };

// A command clicks its menu item of the window (`item`), or does what `run` does with its arguments; one
// with neither is OpenStatusLog.
struct TCommandRow {
    TCommandSpec spec;
    Args args;
    // What the station lacks for the command to act: "no rain gauge"; empty when it has it.
    std::string (*lacking)(const TCommandCall& call);
    TMenuItem* TMainForm::*item;
    void (*run)(TMainForm& form, const TCommandCall& call);
    bool answersFirst; // it restarts or ends the station
};

std::string HasAll(const TCommandCall&) {
    return {};
}
std::string NoTemperature(const TCommandCall&) {
    return SensorSet().TemperatureSensors.Count() == 0 ? "no temperature sensor" : "";
}
std::string NoHumidity(const TCommandCall&) {
    return SensorSet().HumiditySensors.Count() == 0 ? "no humidity sensor" : "";
}
std::string NoBarometer(const TCommandCall&) {
    return SensorSet().BarometerPresent && SensorSet().BarometerSensor ? "" : "no barometer";
}
std::string NoWind(const TCommandCall&) {
    return SensorSet().WindPresent && SensorSet().WindSensor ? "" : "no wind sensor";
}
std::string NoDS2450(const TCommandCall&) {
    return SensorSet().DS2450Sensors.Count() == 0 ? "no DS2450 sensor" : "";
}
std::string NoRain(const TCommandCall&) {
    return SensorSet().RainPresent && SensorSet().RainSensor ? "" : "no rain gauge";
}

// The station's DS2450 sensor with the serial (in any case), or null. The wind's direction converter is
// no DS2450 sensor of its own.
DS2450* DS2450BySerial(const std::string& serial) {
    for (DS2450* sensor : SensorSet().DS2450Sensors)
        if (sensor && SameText(sensor->RomToText(), serial)) return sensor;
    return nullptr;
}
std::string NoSuchDS2450(const TCommandCall& call) {
    return DS2450BySerial(call.args[0]) ? "" : "no DS2450 sensor " + UpperCase(call.args[0]);
}

// The channel named by a letter A-D or a number 0-3, or -1.
int ChannelOf(const std::string& text) {
    if (text.size() != 1) return -1;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (c >= 'A' && c <= 'D') return c - 'A';
    if (c >= '0' && c <= '3') return c - '0';
    return -1;
}

bool IsSerial(const std::string& text) {
    if (text.size() != 16) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// The tree node that shows channel `channel` of the sensor: the sensor's nodes lie in channel order.
TTreeNode* ChannelNode(const std::vector<std::unique_ptr<TTreeNode>>& nodes, const DS2450* sensor,
                       int& channel) {
    for (const auto& node : nodes) {
        if (node->Data == sensor && channel-- == 0) return node.get();
        if (TTreeNode* found = ChannelNode(node->Children, sensor, channel)) return found;
    }
    return nullptr;
}

// Selects the tree node of the call's DS2450 channel (the sensor's first node for a call without one),
// as the keeper does before choosing the tree's command. False when the tree does not show it.
bool SelectDS2450Node(TMainForm& form, const TCommandCall& call) {
    int channel = call.args.size() > 1 ? ChannelOf(call.args[1]) : 0;
    TTreeNode* node = ChannelNode(form.SensorTreeView->Roots(), DS2450BySerial(call.args[0]), channel);
    if (node) form.SensorTreeView->Select(node);
    return node != nullptr;
}

// A check box set to the state of the argument by its click, which writes its key.
void SetCheckBox(TCheckBox& box, const std::string& state) {
    box.SetChecked(!SameText(state, "on"));
    box.Click();
}

using Lacking = std::string (*)(const TCommandCall& call);
using Runner = void (*)(TMainForm& form, const TCommandCall& call);

// A command without arguments that clicks its item of the window.
TCommandRow Clicks(TCommandSpec spec, Lacking lacking, TMenuItem* TMainForm::*item,
                   bool answersFirst = false) {
    return {spec, Args::None, lacking, item, nullptr, answersFirst};
}
// A command that acts with its arguments.
TCommandRow Acts(TCommandSpec spec, Args args, Lacking lacking, Runner run) {
    return {spec, args, lacking, nullptr, run, false};
}

void ResetSensorChannel(TMainForm& form, const TCommandCall& call) {
    if (SelectDS2450Node(form, call)) form.ResetSensor->Click();
}
void MakeWindDirection(TMainForm& form, const TCommandCall& call) {
    if (SelectDS2450Node(form, call)) form.WindDirectionDS2450Sensor->Click();
}

const std::vector<TCommandRow>& Rows() {
    using F = TMainForm;
    static const std::vector<TCommandRow> rows = {
        Clicks({"TempStatReset", "", "resets the highs and lows of every temperature sensor"}, NoTemperature,
               &F::TempStatReset),
        Clicks({"HumidityStatReset", "", "resets the highs and lows of every humidity sensor"}, NoHumidity,
               &F::HumidityStatReset),
        Clicks({"BarometerStatReset", "", "resets the barometer's highs and lows"}, NoBarometer,
               &F::BarometerStatReset),
        Clicks({"WindStatReset", "", "resets the wind's day and its averages"}, NoWind, &F::WindStatReset),
        Clicks({"DS2450StatReset", "", "resets the highs and lows of every DS2450 channel"}, NoDS2450,
               &F::DS2450StatReset),
        Clicks({"ResetRGaugeToday", "", "restarts the rain of today"}, NoRain, &F::ResetRGaugeToday),
        Clicks({"ResetRGaugeWeek", "", "restarts the rain of the week"}, NoRain, &F::ResetRGaugeWeek),
        Clicks({"ResetRGaugeMonth", "", "restarts the rain of the month"}, NoRain, &F::ResetRGaugeMonth),
        Clicks({"ResetRGaugeTotal", "", "restarts the rain gauge's grand total now"}, NoRain,
               &F::ResetRGaugeTotal),
        Clicks({"Resethighmark1", "", "clears the high and low marks of the barometer dial"}, HasAll,
               &F::Resethighmark1),
        Clicks({"RescanMLan", "", "searches the net again and adds the sensors found since"}, HasAll,
               &F::RescanMLan),
        Clicks({"RestartButton", "", "saves and frees the sensors and starts the session again"}, HasAll,
               &F::RestartButton, true),
        Clicks({"OpenStatusLog", "", "prints the path of korvane.log"}, HasAll, nullptr),
        Clicks({"ClearStatusList", "", "clears the status list (not korvane.log)"}, HasAll,
               &F::ClearStatusList),
        Clicks({"Clearlog1", "", "clears the status list (not korvane.log)"}, HasAll, &F::Clearlog1),
        Acts({"LogStatusToFileCheckBox", "on|off", "logs to korvane.log or not ([Weather] LogStatusToFile)"},
             Args::OnOff, HasAll,
             [](F& f, const TCommandCall& c) { SetCheckBox(*f.LogStatusToFileCheckBox, c.args[0]); }),
        Acts({"DbgCheckBox", "on|off", "the debug lines on or off ([Weather] Debug)"}, Args::OnOff, HasAll,
             [](F& f, const TCommandCall& c) { SetCheckBox(*f.DbgCheckBox, c.args[0]); }),
        Clicks({"Unload1", "", "saves everything, stops the services and ends the station"}, HasAll,
               &F::Unload1, true),
        Acts(
            {"ResetSensor", "<DS2450 serial> <channel A-D>", "resets the high and low of one DS2450 channel"},
            Args::SerialAndChannel, NoSuchDS2450, ResetSensorChannel),
        Acts({"WindDirectionDS2450Sensor", "<DS2450 serial>",
              "makes a DS2450 the wind's direction sensor (Type=WindDirection) from the next restart"},
             Args::Serial, NoSuchDS2450, MakeWindDirection),
    };
    return rows;
}

void Act(TMainForm& form, const TCommandRow& row, const TCommandCall& call) {
    if (row.item)
        (form.*row.item)->Click();
    else
        row.run(form, call);
}

const TCommandRow* RowOf(const TCommandSpec* spec) {
    for (const TCommandRow& row : Rows())
        if (&row.spec == spec) return &row;
    return nullptr;
}

// A word of the request as a message shows it: at most 40 characters.
std::string Shown(const std::string& word) {
    return "\"" + (word.size() > 40 ? word.substr(0, 40) + "..." : word) + "\"";
}

TCommandAnswer Refusal(const std::string& line) {
    return {kCommandRefused, {line}};
}

std::string Usage(const TCommandSpec& spec) {
    return std::string(spec.name) + (*spec.arguments ? " " + std::string(spec.arguments) : "");
}

// The refusal for wrong arguments of a known command, or an empty answer when they are right.
TCommandAnswer CheckArguments(const TCommandRow& row, const std::vector<std::string>& args) {
    const size_t wanted = row.args == Args::None                                ? 0
                          : row.args == Args::OnOff || row.args == Args::Serial ? 1
                                                                                : 2;
    if (args.size() != wanted)
        return Refusal(std::string(row.spec.name) +
                       (wanted == 0 ? " takes no argument" : " needs its arguments") + ": korvane command " +
                       Usage(row.spec));
    if (row.args == Args::OnOff && !SameText(args[0], "on") && !SameText(args[0], "off"))
        return Refusal(std::string(row.spec.name) + " takes on or off, not " + Shown(args[0]));
    if ((row.args == Args::Serial || row.args == Args::SerialAndChannel) && !IsSerial(args[0]))
        return Refusal(Shown(args[0]) + " is no serial: a DS2450's serial is 16 hexadecimal digits");
    if (row.args == Args::SerialAndChannel && ChannelOf(args[1]) < 0)
        return Refusal(Shown(args[1]) + " is no channel: A, B, C or D (or 0 to 3)");
    return {};
}

} // namespace

const std::vector<TCommandSpec>& CommandSpecs() {
    static const std::vector<TCommandSpec> specs = [] {
        std::vector<TCommandSpec> made;
        for (const TCommandRow& row : Rows())
            made.push_back(row.spec);
        return made;
    }();
    return specs;
}

bool ParseCommand(const std::string& request, TCommandCall& call, TCommandAnswer& refusal) {
    call = {};
    for (unsigned char c : request)
        if ((c < 0x20 && c != '\t') || c >= 0x7F) {
            refusal = Refusal("the command is not text: it holds the byte " + Format("0x%02X", c));
            return false;
        }
    std::vector<std::string> words;
    for (size_t at = 0; at < request.size();) {
        const size_t start = request.find_first_not_of(" \t", at);
        if (start == std::string::npos) break;
        const size_t end = request.find_first_of(" \t", start);
        words.push_back(request.substr(start, end - start));
        at = end == std::string::npos ? request.size() : end;
    }
    const TCommandRow* found = nullptr;
    for (const TCommandRow& row : Rows())
        if (!words.empty() && SameText(words[0], row.spec.name)) found = &row;
    if (!found) {
        refusal = Refusal(words.empty() ? "no command given; the commands are:"
                                        : "unknown command " + Shown(words[0]) + "; the commands are:");
        for (const TCommandSpec& spec : CommandSpecs())
            refusal.lines.push_back("  " + Usage(spec) + " - " + spec.meaning);
        return false;
    }
    words.erase(words.begin());
    refusal = CheckArguments(*found, words);
    if (!refusal.lines.empty()) return false;
    call.spec = &found->spec;
    call.args = std::move(words);
    return true;
}

void RunCommand(TMainForm& form, const TCommandCall& call,
                const std::function<void(const TCommandAnswer&)>& answer) {
    const TCommandRow* row = RowOf(call.spec);
    if (!row) return answer(Refusal("unknown command"));
    const std::string name = row->spec.name;
    if (const std::string lacking = row->lacking(call); !lacking.empty())
        return answer({kCommandRan, {name + ": the station has " + lacking + "; nothing was done"}});
    if (!row->item &&
        !row->run) { // OpenStatusLog: no viewer to start, so the keeper is told where the log is
        TCommandAnswer told{kCommandRan, {CurrentDir() + "/korvane.log"}};
        if (!form.LogStatusToFileCheckBox->Checked())
            told.lines.push_back("(the station does not log to it now: LogStatusToFileCheckBox on)");
        return answer(told);
    }
    if (row->answersFirst) {
        answer({kCommandRan, {name + ": " + row->spec.meaning}});
        return Act(form, *row, call);
    }
    TCommandAnswer logged;
    {
        TMainForm::TLogCapture capture(form, logged.lines);
        Act(form, *row, call);
    }
    answer(logged);
}

std::string EncodeAnswer(const TCommandAnswer& answer) {
    std::string text = "status " + std::to_string(answer.status) + "\n";
    for (const std::string& line : answer.lines)
        text += line + "\n";
    return text;
}

bool DecodeAnswer(const std::string& text, TCommandAnswer& answer) {
    const size_t end = text.find('\n');
    if (end == std::string::npos || text.compare(0, 7, "status ") != 0) return false;
    char* after = nullptr;
    const long status = std::strtol(text.c_str() + 7, &after, 10);
    if (after != text.c_str() + end || end == 7) return false;
    answer.status = static_cast<int>(status);
    answer.lines.clear();
    for (size_t at = end + 1; at < text.size();) {
        const size_t next = text.find('\n', at);
        answer.lines.push_back(text.substr(at, next - at));
        at = next == std::string::npos ? text.size() : next + 1;
    }
    return true;
}
