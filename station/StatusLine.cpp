// The 21-field status line, the title and tray hint, and the sample-count display.
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <optional>

#include "onewire/DataTables.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Strings.h"
#include "station/Unit1.h"

using namespace platform;

std::string StatusLine;

namespace {
// One field of the status line with the text of the value it last showed: a round moves few of the 21
// values, and the others are not formatted again. The text depends on the value alone (its bits), so a
// kept text is never one of another value.
class StatusField {
public:
    explicit StatusField(const char* spec) : spec_(spec) {}
    // True when the text was made anew (the value is not the one it showed).
    bool Update(double value) {
        uint64_t key;
        std::memcpy(&key, &value, sizeof key);
        if (known_ && key == key_) return false;
        Remember(key, Format(spec_, value));
        return true;
    }
    bool Update(int value) {
        const auto key = static_cast<uint64_t>(static_cast<uint32_t>(value));
        if (known_ && key == key_) return false;
        Remember(key, Format(spec_, value));
        return true;
    }
    const std::string& Text() const { return text_; }

private:
    void Remember(uint64_t key, std::string text) {
        key_ = key;
        known_ = true;
        text_ = std::move(text);
    }
    const char* spec_;
    bool known_ = false;
    uint64_t key_ = 0;
    std::string text_;
};
} // namespace

std::string TMainForm::FormatStatusLine() const {
    const TCurrentReadings& r = CurrentReadings;
    // "%2.1f %2.1f %2.1f %2.1f %2.1f %2.1f %d %d %3.3f %3.3f %3.3f %3.3f %2.1f %2.1f %2.1f %2.4f %2.4f
    //  %2.4f %2.4f %3.3f %d\r\n", field by field.
    static StatusField fields[] = {
        StatusField("%2.1f"), StatusField("%2.1f"), StatusField("%2.1f"), StatusField("%2.1f"),
        StatusField("%2.1f"), StatusField("%2.1f"), StatusField("%d"),    StatusField("%d"),
        StatusField("%3.3f"), StatusField("%3.3f"), StatusField("%3.3f"), StatusField("%3.3f"),
        StatusField("%2.1f"), StatusField("%2.1f"), StatusField("%2.1f"), StatusField("%2.4f"),
        StatusField("%2.4f"), StatusField("%2.4f"), StatusField("%2.4f"), StatusField("%3.3f"),
        StatusField("%d")};
    // The line of the texts the fields hold, with where each starts: a text made anew in the length of
    // the one before is put in its place, one of another length has the line joined again.
    static std::string line;
    static size_t at[std::size(fields)];
    bool rejoin = line.empty();
    size_t next = 0;
    auto put = [&](auto value) {
        StatusField& field = fields[next];
        const size_t before = field.Text().size();
        if (field.Update(value)) {
            if (field.Text().size() == before && !rejoin)
                std::memcpy(line.data() + at[next], field.Text().data(), before);
            else
                rejoin = true;
        }
        ++next;
    };
    // A group that is not current shows the zeros of a sensor the station does not have.
    auto putAll = [&](std::initializer_list<float> values) {
        for (float v : values)
            put(static_cast<double>(v));
    };
    const std::optional<TWindNow> wind = r.Wind();
    const TTemperatureNow t = r.MainTemperature().value_or(TTemperatureNow{});
    const TWindNow w = wind.value_or(TWindNow{});
    const TRainNow rn = r.Rain().value_or(TRainNow{});
    const THumidityNow h = r.MainHumidity().value_or(THumidityNow{});
    const TBarometerNow b = r.Pressure().value_or(TBarometerNow{});
    putAll({t.C, t.MaxC, t.MinC});
    putAll({w.SpeedMs, w.GustMs, w.MaxMs});
    const int bin = wind ? w.DirectionBin : 0;
    const int degrees = w.Prevailing ? w.Prevailing->Degrees : 0;
    put(bin);
    put(degrees);
    putAll({rn.Rate, rn.Today, rn.Week, rn.Month});
    putAll({h.Percent, h.Max, h.Min});
    putAll({b.InHg, b.MaxInHg, b.MinInHg, b.ChangeInHg});
    putAll({rn.Hour});
    put(bin + degrees);
    if (!rejoin) return line;
    // The texts, a blank between them, and CR LF.
    size_t size = std::size(fields) + 1;
    for (const StatusField& field : fields)
        size += field.Text().size();
    line.resize(size);
    char* to = line.data();
    for (size_t i = 0; i < std::size(fields); ++i) {
        at[i] = static_cast<size_t>(to - line.data());
        std::memcpy(to, fields[i].Text().data(), fields[i].Text().size());
        to += fields[i].Text().size();
        *to++ = ' ';
    }
    to[-1] = '\r';
    *to = '\n';
    return line;
}

std::string TMainForm::FormatTitle() const {
    // The title of the values it was last made of is kept: most rounds show the same.
    static struct {
        bool known = false;
        int shape = 0;
        StatusField temperature{"%.1f"}, windSpeed{"%.1f"};
        std::string point, text;
    } last;
    // The main temperature and the wind while current; what is not current stays out ("12.3°" without
    // a current wind), as what the station has no sensor for.
    const std::optional<TTemperatureNow> temperature = CurrentReadings.MainTemperature();
    const std::optional<TWindNow> wind = CurrentReadings.Wind();
    const int shape = temperature.has_value() + 2 * wind.has_value();
    // A wind without a valid direction (no vane, or no direction read) shows its speed alone.
    const char* point = wind && SensorSet().WindDirectionFound ? CompassPointName(wind->DirectionBin) : "";
    bool changed = !last.known || last.shape != shape;
    if (temperature) changed |= last.temperature.Update(static_cast<double>(temperature->InUnit));
    if (wind) changed |= last.windSpeed.Update(static_cast<double>(wind->Speed));
    if (!changed && last.point == point) return last.text;
    last.text.clear();
    if (temperature) last.text.append(last.temperature.Text()).append(1, kDegreeSign);
    if (temperature && wind) last.text.append(" - ");
    if (wind && *point != 0) last.text.append(point).append(1, ' ');
    if (wind) last.text.append(last.windSpeed.Text());
    if (!temperature && !wind) last.text = "No current readings";
    last.known = true;
    last.shape = shape;
    last.point = point;
    return last.text;
}

void TMainForm::UpdateStatusLine() {
    static const ErrorTexts texts = Named("SERVER: Error updating display"); // made once, not every round
    Logged(texts, [&] {
        WChillTemp->SetVisible(CurrTemp->Caption() != WChillTemp->Caption());
        StatusLine = FormatStatusLine();
        if (DDERunning) {
            SetDDEText(Dde.DDEWeather, StatusLine);
            EmptyStaleDDEItems(Dde, CurrentReadings);
        }
        if (StationSettings.UDPEnabled) Publishing().SendUDPStatus(StatusLine);
        // The title carries the readings from the first round with a current one on (until then it tells
        // the station's state), and says when none is current.
        titleCarriesReadings_ |= CurrentReadings.MainTemperature() || CurrentReadings.Wind();
        if (titleCarriesReadings_) {
            std::string title = FormatTitle();
            TrayIcon->SetHint(title);
            Application->SetTitle(title);
        }
        if (SampleCount % 10000 == 0) LogRunTime();
    });
}

void TMainForm::DisplaySampleCount(TMessage& message) {
    Logged({"SERVER: Error: ", "SERVER: Error starting"}, [&] {
        unsigned count = static_cast<unsigned>(message.WParam);
        StatusBar->Panel(0) = Format("%u samples", count);
        if (count % 10000 == 0) LogRunTime();
    });
}
