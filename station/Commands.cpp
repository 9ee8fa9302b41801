// The keeper's commands: their table, the reading of a request and the run of one on the station.
#include "station/Commands.h"

#include <cctype>
#include <cstdlib>

#include "onewire/DS2450.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Clipboard.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "station/TransferAnswers.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

enum class Args { None, OnOff, Serial, SerialAndChannel, SerialAndPart };
// When the command is answered: after its click, before it (it restarts or ends the station), or at the
// end of the transfer it starts.
enum class Turn { AfterClick, First, TransferEnd };

using Lacking = std::string (*)(const TCommandCall& call);
using ItemOf = TMenuItem* (*)(TMainForm& form, const char* name);
using Runner = void (*)(TMainForm& form, const TCommandCall& call, std::vector<std::string>& told);
// Why the item cannot be clicked in the station's state now; empty where the row's fixed text says it.
using UnavailableNow = std::string (*)(const TMainForm& form);

// A command clicks its item of the window (`item`), or does what `run` does with its arguments.
struct TCommandRow {
    TCommandSpec spec;
    Args args;
    // What the station lacks for the command to act: "no rain gauge"; empty when it has it.
    Lacking lacking;
    ItemOf item;
    // Acts in place of a click; what it adds to `told` is part of the answer.
    Runner run;
    // What was done, for an answer whose click logged nothing; each "%s" takes the next argument.
    const char* done;
    Turn turn;
    // Why the window would not let a keeper click the item now (disabled or not shown).
    const char* unavailable;
    UnavailableNow unavailableNow;
    // A command that starts a transfer: which, and the beginnings of the lines it logs.
    TTransferCommand transfer;
    std::vector<std::string> transferLines;
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

// A part of a sensor's tree nodes, by the suffix of its DDE item.
bool IsPart(const std::string& text) {
    return text.size() == 1 && std::string("ABCDHTV").find(static_cast<char>(
                                   std::toupper(static_cast<unsigned char>(text[0])))) != std::string::npos;
}

// The index of the call's part among the sensor's parts (0 without one); -1 when it has no such part.
int PartIndex(const TCommandCall& call, const std::vector<std::string>& parts) {
    if (call.args.size() < 2) return 0;
    for (size_t i = 0; i < parts.size(); ++i)
        if (SameText(parts[i], call.args[1])) return static_cast<int>(i);
    return -1;
}

// The wind's direction sensor has no node of its own: the wind's node carries its item.
std::string WindsVane(const std::string& serial) {
    const WindData* wind = SensorSet().WindSensor.get();
    if (!wind || !wind->DirectionAssigned || !SameText(iButton::RomText(wind->DirectionRom), serial))
        return {};
    return serial +
           " as the wind's direction sensor: its item is the wind's, given by the wind's counter serial " +
           wind->SerialSection();
}

std::string NoSuchTreeSensor(const TCommandCall& call) {
    const std::string serial = UpperCase(call.args[0]);
    const std::optional<std::vector<std::string>> parts = TMainForm::SensorItemParts(serial);
    if (!parts) {
        const std::string vane = WindsVane(serial);
        return vane.empty() ? "no sensor " + serial : vane;
    }
    if (PartIndex(call, *parts) >= 0) return {};
    std::string told = "no item " + UpperCase(call.args[1]) + " of sensor " + serial;
    if (parts->empty()) return told + " (it has one item: give no part)";
    told += " (its items:";
    for (const std::string& part : *parts)
        told += " " + part;
    return told + ")";
}

bool IsSerial(const std::string& text) {
    if (text.size() != 16) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A check box set to the state of the argument by its click, which writes its key.
void SetCheckBox(TCheckBox& box, const std::string& state) {
    box.SetChecked(!SameText(state, "on"));
    box.Click();
}

// An item of the window, by its member.
template <TMenuItem* TMainForm::*Item> TMenuItem* Member(TMainForm& form, const char*) {
    return form.*Item;
}
// An item the publishing side adds to the window, by its name; null without one.
TMenuItem* Published(TMainForm& form, const char* name) {
    return dynamic_cast<TMenuItem*>(form.FindComponent(name));
}

// A command without arguments that clicks its item of the window.
TCommandRow Clicks(TCommandSpec spec, Lacking lacking, ItemOf item, const char* done) {
    return {spec,    Args::None, lacking, item, nullptr, done, Turn::AfterClick, "its item is disabled now",
            nullptr, {},         {}};
}
// One that restarts or ends the station: it answers first.
TCommandRow ClicksFirst(TCommandSpec spec, ItemOf item, const char* unavailable = "its item is disabled now",
                        UnavailableNow unavailableNow = nullptr) {
    return {spec,        Args::None,  HasAll,         item, nullptr, nullptr,
            Turn::First, unavailable, unavailableNow, {},   {}};
}
// A command that acts with its arguments.
TCommandRow Acts(TCommandSpec spec, Args args, Lacking lacking, Runner run, const char* done) {
    return {spec, args, lacking, nullptr, run, done, Turn::AfterClick, nullptr, nullptr, {}, {}};
}
// A command that starts a transfer: answered at its end.
TCommandRow Transfers(TCommandSpec spec, Lacking lacking, ItemOf item, const char* unavailable,
                      TTransferCommand transfer, std::vector<std::string> lines) {
    return {spec,    Args::None, lacking,         item, nullptr, nullptr, Turn::TransferEnd, unavailable,
            nullptr, transfer,   std::move(lines)};
}

// The restart item shows only after a start that found no sensor. A start that found no adapter shows
// none either: the station tries that one again by itself.
std::string WhyNoRestart(const TMainForm& form) {
    const Microlan::TBusSession& bus = Microlan::Bus();
    if (bus.PortTypeUnsupported)
        return Format("the session cannot start: port type %d is not supported by this build", bus.PortType);
    if (!form.SessionStartFailing) return {};
    return Format("the session has not started, as the adapter on port %d, type %d does not answer; the "
                  "station tries again every %u seconds by itself",
                  bus.PortNum, bus.PortType, TMainForm::kSessionRetryMs / 1000);
}

void TellLogPath(TMainForm& form, const TCommandCall&, std::vector<std::string>& told) {
    // No viewer to start: the keeper is told where the log is.
    told.push_back(CurrentDir() + "/korvane.log");
    if (!form.LogStatusToFileCheckBox->Checked())
        told.push_back("(the station does not log to it now: LogStatusToFileCheckBox on)");
}

void ResetSensorChannel(TMainForm& form, const TCommandCall& call, std::vector<std::string>&) {
    if (form.SelectSensorNode(call.args[0], static_cast<size_t>(ChannelOf(call.args[1]))))
        form.ResetSensor->Click();
}

// Which vane the next start takes, once `serial` has Type=WindDirection. The scan files the wind's
// counter first and with it the vane its section names (DirSerialNum, written by every save of the
// station); it takes a DS2450 of that type only while the wind has no vane, the first the search finds,
// and leaves out any other.
std::string NextVane(const std::string& serial) {
    TSensorSet& set = SensorSet();
    const std::string written = serial + " has Type=WindDirection in SENSORS.INI";
    WindData* wind = set.WindSensor.get();
    if (!wind)
        return written + "; the station has no wind speed sensor, so the next start reads it as a DS2450";
    if (set.WindDirectionFound)
        return written + "; the next start keeps the wind's direction sensor " +
               (wind->DirectionAssigned ? iButton::RomText(wind->DirectionRom) + " " : std::string()) +
               "and leaves " + serial + " out, its four channels with it (one WindDirection only)";
    std::string others;
    for (DS2450* sensor : set.DS2450Sensors)
        if (sensor && sensor->RomToText() != serial && SameText(sensor->Type, "WindDirection"))
            others += ", " + sensor->RomToText();
    if (!others.empty())
        return written + "; the next start takes the first the search finds of " + serial + others +
               " (each has that type) as the wind's direction sensor and leaves the others out";
    return written +
           "; the next start takes it as the wind's direction sensor, in place of its four channels";
}

void MakeWindDirection(TMainForm& form, const TCommandCall& call, std::vector<std::string>& told) {
    if (!form.SelectSensorNode(call.args[0], 0)) return;
    form.WindDirectionDS2450Sensor->Click();
    told.push_back("WindDirectionDS2450Sensor: " + NextVane(UpperCase(call.args[0])));
}

void CopyItemName(TMainForm& form, const TCommandCall& call, std::vector<std::string>& told) {
    const int part =
        PartIndex(call, TMainForm::SensorItemParts(call.args[0]).value_or(std::vector<std::string>{}));
    if (part < 0 || !form.SelectSensorNode(call.args[0], static_cast<size_t>(part))) return;
    form.CopyDDEItemNameToClipboard->Click();
    if (!told.empty()) return; // the copy failed, and said why
    // The wind and the rain gauge carry two items, a line each.
    const std::string copied = ClipboardText();
    for (size_t at = 0; at < copied.size();) {
        const size_t end = copied.find_first_of("\r\n", at);
        if (end != at) told.push_back(copied.substr(at, end - at));
        at = end == std::string::npos ? copied.size() : end + 1;
    }
}

const std::vector<TCommandRow>& Rows() {
    using F = TMainForm;
    using T = TTransferCommand;
    static const std::vector<TCommandRow> rows = {
        Clicks({"TempStatReset", "", "resets the highs and lows of every temperature sensor"}, NoTemperature,
               Member<&F::TempStatReset>, "reset the highs and lows of every temperature sensor"),
        Clicks({"HumidityStatReset", "", "resets the highs and lows of every humidity sensor"}, NoHumidity,
               Member<&F::HumidityStatReset>, "reset the highs and lows of every humidity sensor"),
        Clicks({"BarometerStatReset", "", "resets the barometer's highs and lows"}, NoBarometer,
               Member<&F::BarometerStatReset>, "reset the barometer's highs and lows"),
        Clicks({"WindStatReset", "", "resets the wind's day and its averages"}, NoWind,
               Member<&F::WindStatReset>, "reset the wind's day (its high) and its averages"),
        Clicks({"DS2450StatReset", "", "resets the highs and lows of every DS2450 channel"}, NoDS2450,
               Member<&F::DS2450StatReset>, "reset the highs and lows of every DS2450 channel"),
        Clicks({"ResetRGaugeToday", "", "restarts the rain of today"}, NoRain, Member<&F::ResetRGaugeToday>,
               "the rain of today starts again now"),
        Clicks({"ResetRGaugeWeek", "", "restarts the rain of the week"}, NoRain, Member<&F::ResetRGaugeWeek>,
               "the rain of the week starts again now"),
        Clicks({"ResetRGaugeMonth", "", "restarts the rain of the month"}, NoRain,
               Member<&F::ResetRGaugeMonth>, "the rain of the month starts again now"),
        Clicks({"ResetRGaugeTotal", "", "restarts the rain gauge's grand total now"}, NoRain,
               Member<&F::ResetRGaugeTotal>, "the grand total starts again now"),
        Clicks({"Resethighmark1", "", "clears the high and low marks of the barometer dial"}, HasAll,
               Member<&F::Resethighmark1>, "cleared the high and low marks of the barometer dial"),
        Clicks({"RescanMLan", "", "searches the net again and adds the sensors found since"}, HasAll,
               Member<&F::RescanMLan>, "searched the net again"),
        ClicksFirst({"RestartButton", "", "saves and frees the sensors and starts the session again"},
                    Member<&F::RestartButton>, "the window shows it only when the start found no sensor",
                    WhyNoRestart),
        Acts({"OpenStatusLog", "", "prints the path of korvane.log"}, Args::None, HasAll, TellLogPath,
             nullptr),
        Clicks({"ClearStatusList", "", "clears the status list (not korvane.log)"}, HasAll,
               Member<&F::ClearStatusList>, "cleared the status list (korvane.log keeps every line)"),
        Clicks({"Clearlog1", "", "clears the status list (not korvane.log)"}, HasAll, Member<&F::Clearlog1>,
               "cleared the status list (korvane.log keeps every line)"),
        Acts(
            {"LogStatusToFileCheckBox", "on|off", "logs to korvane.log or not ([Weather] LogStatusToFile)"},
            Args::OnOff, HasAll,
            [](F& f, const TCommandCall& c, std::vector<std::string>&) {
                SetCheckBox(*f.LogStatusToFileCheckBox, c.args[0]);
            },
            "logging to korvane.log is %s ([Weather] LogStatusToFile)"),
        Acts(
            {"DbgCheckBox", "on|off", "the debug lines on or off ([Weather] Debug)"}, Args::OnOff, HasAll,
            [](F& f, const TCommandCall& c, std::vector<std::string>&) {
                SetCheckBox(*f.DbgCheckBox, c.args[0]);
            },
            "the debug lines are %s ([Weather] Debug)"),
        ClicksFirst({"Unload1", "", "saves everything, stops the services and ends the station"},
                    Member<&F::Unload1>),
        Clicks({"CreateHTML", "", "writes weather.html and the template pages now"}, HasAll, Published,
               nullptr),
        Transfers({"UploadToHomepage", "", "uploads the pages by FTP now and tells how it ended"}, HasAll,
                  Published, "an upload is running", T::Upload, {"FTP"}),
        Transfers({"PostAPRS", "", "sends the APRS report now and tells how it ended"}, HasAll,
                  Member<&F::PostAPRS>, "its last report is still running", T::APRS, {"APRS"}),
        Transfers({"PostToWeather4U", "", "posts to Weather4You now and tells how it ended"}, HasAll,
                  Member<&F::PostToWeather4U>, "its last post is still pending", T::W4U,
                  {"POST/W4U", "W4U ", "POST to Weather4You"}),
        Transfers({"PostServlet", "", "posts to the servlet now and tells how it ended"}, NoWind,
                  Member<&F::PostServlet>, "its last post is still pending", T::Servlet,
                  {"POST/SERVLET", "JAVA servlet", "SERVLET ", "POST to Java servlet"}),
        Transfers({"PosttoWeatherUnderground", "", "posts to Weather Underground now and tells how it ended"},
                  HasAll, Member<&F::PosttoWeatherUnderground>, "its last post is still pending", T::WU,
                  {"POST/WU", "WU ", "POST to Weather Underground"}),
        Acts({"CopyDDEItemNameToClipboard", "<serial> [A-D|H|T|V]",
              "copies the DDE item name of a sensor's node and prints it (the part: a DS2450's channel, "
              "a humidity sensor's H or T, a DS2438's V or T)"},
             Args::SerialAndPart, NoSuchTreeSensor, CopyItemName, nullptr),
        Acts(
            {"ResetSensor", "<DS2450 serial> <channel A-D>", "resets the high and low of one DS2450 channel"},
            Args::SerialAndChannel, NoSuchDS2450, ResetSensorChannel,
            "reset the high and low of DS2450 %s channel %s"),
        Acts({"WindDirectionDS2450Sensor", "<DS2450 serial>",
              "writes Type=WindDirection for a DS2450 and tells which vane the next start takes"},
             Args::Serial, NoSuchDS2450, MakeWindDirection, nullptr),
    };
    return rows;
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
    const bool optional = row.args == Args::SerialAndPart && args.size() == 1; // the sensor's first node
    if (args.size() != wanted && !optional)
        return Refusal(std::string(row.spec.name) +
                       (wanted == 0 ? " takes no argument" : " needs its arguments") + ": korvane command " +
                       Usage(row.spec));
    if (row.args == Args::OnOff && !SameText(args[0], "on") && !SameText(args[0], "off"))
        return Refusal(std::string(row.spec.name) + " takes on or off, not " + Shown(args[0]));
    if (row.args == Args::SerialAndPart && !IsSerial(args[0]))
        return Refusal(Shown(args[0]) + " is no serial: a sensor's serial is 16 hexadecimal digits");
    if ((row.args == Args::Serial || row.args == Args::SerialAndChannel) && !IsSerial(args[0]))
        return Refusal(Shown(args[0]) + " is no serial: a DS2450's serial is 16 hexadecimal digits");
    if (row.args == Args::SerialAndChannel && ChannelOf(args[1]) < 0)
        return Refusal(Shown(args[1]) + " is no channel: A, B, C or D (or 0 to 3)");
    if (row.args == Args::SerialAndPart && args.size() == 2 && !IsPart(args[1]))
        return Refusal(Shown(args[1]) +
                       " is no part of a sensor: A, B, C, D (a DS2450's channels), H, T or V");
    return {};
}

// The argument as the answer shows it: a serial and a channel in capitals (a channel by its letter), a
// state in small letters.
std::string ShownArgument(const TCommandRow& row, const std::string& arg, size_t index) {
    if (row.args == Args::OnOff) return LowerCase(arg);
    if (row.args == Args::SerialAndChannel && index == 1)
        return std::string(1, static_cast<char>('A' + ChannelOf(arg)));
    return UpperCase(arg);
}

// The line that says what was done: the row's text, each "%s" taking the next argument.
std::string DoneLine(const TCommandRow& row, const TCommandCall& call) {
    std::string text = row.done;
    size_t index = 0;
    for (size_t at = text.find("%s"); at != std::string::npos && index < call.args.size();
         at = text.find("%s", at)) {
        const std::string arg = ShownArgument(row, call.args[index], index);
        text.replace(at, 2, arg);
        at += arg.size();
        ++index;
    }
    return std::string(row.spec.name) + ": " + text;
}

// While one lives, the text of a message box that a click shows is a line of the answer, as a keeper
// at the window would read it; the box answers at once.
class TMessageBoxLines {
public:
    explicit TMessageBoxLines(std::vector<std::string>& lines)
        : outer_(SetMessageBoxHook([&lines](const std::string& text, const std::string&, int) {
              lines.push_back(OneLine(text));
              return IDOK;
          })) {}
    ~TMessageBoxLines() { SetMessageBoxHook(std::move(outer_)); }
    TMessageBoxLines(const TMessageBoxLines&) = delete;
    TMessageBoxLines& operator=(const TMessageBoxLines&) = delete;

private:
    MessageBoxHook outer_;
};

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
                const std::function<void(const TCommandAnswer&)>& answer, TTransferAnswers& transfers) {
    const TCommandRow* row = RowOf(call.spec);
    if (!row) return answer(Refusal("unknown command"));
    const std::string name = row->spec.name;
    if (const std::string lacking = row->lacking(call); !lacking.empty())
        return answer({kCommandRan, {name + ": the station has " + lacking + "; nothing was done"}});
    TMenuItem* item = row->item ? row->item(form, row->spec.name) : nullptr;
    if (row->item && !item) // a station without its publishing side
        return answer({kCommandRan, {name + ": the station has no such item; nothing was done"}});
    const bool transfer = row->turn == Turn::TransferEnd;
    if ((item && (!item->Enabled() || !item->Visible())) ||
        (transfer && form.Publishing().TransferRunning(row->transfer))) {
        const std::string now = row->unavailableNow ? row->unavailableNow(form) : std::string();
        return answer({kCommandNotTaken,
                       {name + ": " + (now.empty() ? row->unavailable : now) + "; nothing was done"}});
    }
    if (row->turn == Turn::First) {
        answer({kCommandRan, {name + ": " + row->spec.meaning}});
        return item->Click();
    }
    std::vector<std::string> lines;
    const unsigned endsBefore = transfer ? transfers.Ends(row->transfer) : 0;
    {
        TMainForm::TLogCapture capture(form, lines);
        TMessageBoxLines boxes(lines);
        if (row->run)
            row->run(form, call, lines);
        else
            item->Click();
    }
    if (!transfer) {
        if (lines.empty() && row->done) lines.push_back(DoneLine(*row, call));
        return answer({kCommandRan, std::move(lines)});
    }
    if (transfers.Ends(row->transfer) != endsBefore) // it could not start, and ended at once
        return answer(transfers.EndedAnswer(row->transfer, std::move(lines)));
    if (form.Publishing().TransferRunning(row->transfer))
        return transfers.Await(row->transfer, row->transferLines, std::move(lines), answer);
    lines.push_back(name + ": nothing was sent");
    answer({kCommandTransferFailed, std::move(lines)});
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
