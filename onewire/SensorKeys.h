#pragma once
// The INI keys a class keeps, declared once as a table that serves both directions: LoadKeys reads the
// table, SaveKeys writes it, each key with its field and the default for a key the section lacks.
//
//   const SensorKeys<Barometer> kKeys = {
//       {"BaroOffset", &Barometer::BaroOffset, 0.0},
//       {"current_baro", Value(&Barometer::baro), 0.0, {.load = false}},
//       {Marks(&Barometer::baro), {.save = false}},
//       {"Metric", &Barometer::Metric, 0},
//   };
//
// The table is in the order the keys are written (a key new to a section goes to its end, so the order
// shapes the file); reads take the same order, each into its own field. A default is a value, a
// function of the section (text worked out from the serial or the file), or a function of what was read
// before it; without one a key keeps what the field holds. A bool default reads and writes an int as
// 0/1. A float whose text is beyond its range keeps its default.
//
// A key may be read only (`.save = false`: written elsewhere, as it changes), written only
// (`.load = false`, or a text worked out from the object), read or written only when a condition holds,
// and corrected right after it is read (`.fix`), before a later key's default looks at it.
//
// `Marks(&S::temp)` stands for the four keys of an Extremes field (the names it carries: "max_temp",
// "max_temp_t", "min_temp", "min_temp_t"); they default to the marks it holds.
//
// A table may serve each of several channels: its fields are then arrays indexed by the channel, and
// the channel's suffix follows each key ("Offset_" + "A").
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "onewire/Extremes.h"
#include "platform/IniFile.h"

// One number of an Extremes field (or of an array of them) of a class: its value, a mark or a time.
template <class Member, class E, class T> struct ExtremesPart {
    Member extremes;
    T E::*part;
};
template <class C, class E> auto Value(E C::*e) {
    using X = std::remove_extent_t<E>;
    return ExtremesPart<E C::*, X, decltype(X::value)>{e, &X::value};
}
template <class C, class E> auto High(E C::*e) {
    using X = std::remove_extent_t<E>;
    return ExtremesPart<E C::*, X, decltype(X::high)>{e, &X::high};
}
template <class C, class E> auto Low(E C::*e) {
    using X = std::remove_extent_t<E>;
    return ExtremesPart<E C::*, X, decltype(X::low)>{e, &X::low};
}
template <class C, class E> auto HighTime(E C::*e) {
    using X = std::remove_extent_t<E>;
    return ExtremesPart<E C::*, X, int32_t>{e, &X::highTime};
}
template <class C, class E> auto LowTime(E C::*e) {
    using X = std::remove_extent_t<E>;
    return ExtremesPart<E C::*, X, int32_t>{e, &X::lowTime};
}

// All marks of an Extremes field, under the keys it carries.
template <class Member> struct MarksField { Member extremes; };
template <class C, class E> MarksField<E C::*> Marks(E C::*e) {
    return {e};
}

// Where a table is read or written: the section, and for a channel its index and key suffix.
struct KeyPlace {
    const std::string& section;
    int index = 0;
    const std::string& suffix;
};

namespace sensor_keys {

// The field a key fills in an object: a member, a channel's element of an array member, a number of
// an Extremes member.
template <class S, class C, class T> auto& At(S& s, T C::*m, int) {
    return s.*m;
}
template <class S, class C, class T, std::size_t N> auto& At(S& s, T (C::*m)[N], int index) {
    return (s.*m)[index];
}
template <class S, class M, class E, class T> auto& At(S& s, const ExtremesPart<M, E, T>& p, int index) {
    return At(s, p.extremes, index).*p.part;
}

template <class T>
T Read(const platform::TIniFile& ini, const std::string& section, const std::string& key, const T& def) {
    if constexpr (std::is_same_v<T, std::string>) {
        return ini.ReadString(section, key, def);
    } else if constexpr (std::is_same_v<T, bool>) {
        return ini.ReadBool(section, key, def);
    } else if constexpr (std::is_same_v<T, double>) {
        return ini.ReadFloat(section, key, def);
    } else if constexpr (std::is_same_v<T, float>) {
        const auto value = static_cast<float>(ini.ReadFloat(section, key, def));
        return std::isfinite(value) ? value : def;
    } else {
        static_assert(std::is_integral_v<T>, "a key's field is text, a flag, a number or an integer");
        return static_cast<T>(ini.ReadInteger(section, key, static_cast<int>(def)));
    }
}

template <class T>
void Write(platform::TIniFile& ini, const std::string& section, const std::string& key, const T& value) {
    if constexpr (std::is_same_v<T, std::string>)
        ini.WriteString(section, key, value);
    else if constexpr (std::is_same_v<T, bool>)
        ini.WriteBool(section, key, value);
    else if constexpr (std::is_floating_point_v<T>)
        ini.WriteFloat(section, key, value);
    else
        ini.WriteInteger(section, key, static_cast<int>(value));
}

} // namespace sensor_keys

template <class S> class SensorKey {
public:
    struct Use {
        bool load = true;
        bool save = true;
        // Read only when this holds (the default otherwise); written only when this holds.
        bool (*loadIf)(const S&) = nullptr;
        bool (*saveIf)(const S&) = nullptr;
        // Corrects the value just read.
        void (*fix)(S&) = nullptr;
    };

    template <class Field, class Default>
    SensorKey(const char* key, Field field, Default def, Use use = {}) : use_(use) {
        using T = std::remove_cvref_t<decltype(sensor_keys::At(std::declval<S&>(), field, 0))>;
        // A bool default for an integer field: a flag held as 0/1.
        constexpr bool flag = std::is_same_v<Default, bool> && !std::is_same_v<T, bool>;
        load_ = [=, loadIf = use.loadIf](S& s, const platform::TIniFile& ini, const KeyPlace& place) {
            T& value = sensor_keys::At(s, field, place.index);
            T fallback = value;
            if constexpr (!std::is_same_v<Default, Held>) fallback = DefaultOf<T>(def, s, ini, place);
            if (loadIf && !loadIf(s)) {
                value = fallback;
                return;
            }
            const std::string name = key + place.suffix;
            if constexpr (flag)
                value = ini.ReadBool(place.section, name, fallback != 0) ? 1 : 0;
            else
                value = sensor_keys::Read<T>(ini, place.section, name, fallback);
        };
        save_ = [=](const S& s, platform::TIniFile& ini, const KeyPlace& place) {
            const T& value = sensor_keys::At(s, field, place.index);
            const std::string name = key + place.suffix;
            if constexpr (flag)
                ini.WriteBool(place.section, name, value != 0);
            else
                sensor_keys::Write<T>(ini, place.section, name, value);
        };
    }
    // A key without a default: one missing keeps what the field holds.
    template <class Field>
    requires std::is_member_pointer_v<Field> SensorKey(const char* key, Field field, Use use = {})
        : SensorKey(key, field, Held{}, use) {}
    // A key only written, its text worked out from the object.
    SensorKey(const char* key, std::string (*text)(const S&))
        : use_{.load = false}, save_([=](const S& s, platform::TIniFile& ini, const KeyPlace& place) {
              ini.WriteString(place.section, key + place.suffix, text(s));
          }) {}
    // The marks of an Extremes field, read with what it holds as their defaults.
    template <class Member>
    SensorKey(MarksField<Member> marks, Use use = {})
        : use_(use), load_([=](S& s, const platform::TIniFile& ini, const KeyPlace& place) {
              sensor_keys::At(s, marks.extremes, place.index).LoadMarks(ini, place.section);
          }),
          save_([=](const S& s, platform::TIniFile& ini, const KeyPlace& place) {
              const auto& extremes = sensor_keys::At(s, marks.extremes, place.index);
              extremes.SaveHigh(ini, place.section);
              extremes.SaveLow(ini, place.section);
          }) {}

    void Load(S& s, const platform::TIniFile& ini, const KeyPlace& place) const {
        if (!use_.load || !load_) return;
        load_(s, ini, place);
        if (use_.fix) use_.fix(s);
    }
    void Save(const S& s, platform::TIniFile& ini, const KeyPlace& place) const {
        if (!use_.save || !save_ || (use_.saveIf && !use_.saveIf(s))) return;
        save_(s, ini, place);
    }

private:
    struct Held {};

    template <class T, class D>
    static T DefaultOf(const D& def, const S& s, const platform::TIniFile& ini, const KeyPlace& place) {
        if constexpr (std::is_invocable_v<const D&, const platform::TIniFile&, const std::string&>)
            return def(ini, place.section);
        else if constexpr (std::is_invocable_v<const D&, const std::string&, const std::string&>)
            return def(place.section, place.suffix);
        else if constexpr (std::is_invocable_v<const D&, const S&>)
            return static_cast<T>(def(s));
        else
            return static_cast<T>(def);
    }

    Use use_;
    std::function<void(S&, const platform::TIniFile&, const KeyPlace&)> load_;
    std::function<void(const S&, platform::TIniFile&, const KeyPlace&)> save_;
};

template <class S> using SensorKeys = std::vector<SensorKey<S>>;

// The section's own serial text: the default description.
inline std::string SectionName(const platform::TIniFile&, const std::string& section) {
    return section;
}

// Reads (writes) a table in a section; for a channel, the index of its fields and the suffix of its keys.
template <class S>
void LoadKeys(S& object, const SensorKeys<S>& keys, const platform::TIniFile& ini, const std::string& section,
              int index = 0, const std::string& suffix = "") {
    const KeyPlace place{section, index, suffix};
    for (const SensorKey<S>& key : keys)
        key.Load(object, ini, place);
}

template <class S>
void SaveKeys(const S& object, const SensorKeys<S>& keys, platform::TIniFile& ini, const std::string& section,
              int index = 0, const std::string& suffix = "") {
    const KeyPlace place{section, index, suffix};
    for (const SensorKey<S>& key : keys)
        key.Save(object, ini, place);
}
