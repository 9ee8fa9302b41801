#pragma once
// Tags of one sensor: the name proper is the sensor's 16-digit serial text (any letter case) followed
// by a suffix naming the value. The barometer's tags answer inside the barometer group; the others
// after every plain tag, family by family (DS1820, humidity, DS2438, DS2423, DS2450), sensor by sensor
// in table order, each sensor's suffixes in their order.
#include <optional>
#include <string>

namespace publish {

std::optional<std::string> BarometerTagValue(const std::string& name);
std::optional<std::string> SensorTagValue(const std::string& name);

} // namespace publish
