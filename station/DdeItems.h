#pragma once
// The main window's DDE conversation "Weather" and its items, made by the DDE service (publish/) while
// it runs and written by the readers, the display handlers and the status line. A field is null while
// its item does not exist (the service stopped, or the kind of sensor is absent); the per-sensor lists
// are indexed like the sensor tables, the DS2450 list with four items per sensor (channels A to D).
#include <string>
#include <vector>

#include "platform/Dde.h"

class DS2450;
struct TCurrentReadings;

struct TDdeItems {
    platform::TDdeServerConv* DDEServerConv = nullptr;
    platform::TDdeServerItem* DDEItems = nullptr;   // the names of the items made after it, one a line
    platform::TDdeServerItem* DDEWeather = nullptr; // the status line
    // Wind.
    platform::TDdeServerItem *DDEWindSpeed = nullptr, *DDEWindspeedAVGMin = nullptr,
                             *DDEWindspeedAVGHour = nullptr, *DDEWindDirection = nullptr,
                             *DDEWindDirAVG = nullptr;
    // Rain.
    platform::TDdeServerItem *DDERainToday = nullptr, *DDERainRate = nullptr, *DDERainCounter = nullptr;
    platform::TDdeServerItem* DDEBarometer = nullptr;
    platform::TDdeServerItem *DDETemperature = nullptr, *DDEWindChill = nullptr;
    platform::TDdeServerItem* DDEHumidity = nullptr; // the main humidity sensor's value
    // Per sensor.
    std::vector<platform::TDdeServerItem*> DS1820Items, DS2423Items, DS2450Items, HumidityItems, DS2438Items;
};

// Sets the item's text when the item exists and its text differs.
void SetDDEText(platform::TDdeServerItem* item, const std::string& text);
// The item at `index` of a per-sensor list, or null.
platform::TDdeServerItem* DDEItemAt(const std::vector<platform::TDdeServerItem*>& items, size_t index);
// Empties the items of every group and sensor whose values are not current (CurrentReadings.h): a
// sensor that stopped reading offers no value, as one not read yet. Its reader sets them again.
void EmptyStaleDDEItems(TDdeItems& dde, const TCurrentReadings& readings);
// "DDE" and the sensor's serial digits (last ROM byte first): the base of its four channel items.
std::string MakeDDEItemName(const DS2450& sensor);

// The kinds with several items per sensor name them by the sensor's DDE name and a suffix, in this
// order: a DS2450's channels, a humidity sensor's humidity and temperature, a plain DS2438's voltage and
// temperature. The sensor tree shows each sensor's nodes in the same order.
inline constexpr const char* kDS2450ItemSuffixes[] = {"A", "B", "C", "D"};
inline constexpr const char* kHumidityItemSuffixes[] = {"H", "T"};
inline constexpr const char* kDS2438ItemSuffixes[] = {"V", "T"};
