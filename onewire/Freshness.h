#pragma once
// When a sensor's values count as current. A sensor read on its turns keeps them current; one that has
// not read its device for kCurrentReadIntervals of its read intervals (and never less than
// kCurrentAtLeastSeconds, so that a busy minute or a short adapter outage does not blank a value) has
// values the station no longer publishes as current. A sensor that has not read its device yet has no
// values at all: it is not current until its first good read.
//
// The read interval is the one the station's rounds give the sensor (its turn among its kind); the
// station that schedules the rounds tells it (SetReadInterval). Until told, the sensor has the least
// window.
#include <cstdint>

inline constexpr int kCurrentReadIntervals = 5;
inline constexpr int kCurrentAtLeastSeconds = 120;

class TFreshness {
public:
    // A sample read the device now.
    void Read();
    // The seconds between two reads of the sensor.
    void SetReadInterval(int seconds) { readIntervalSeconds_ = seconds; }
    // The interval told (0 until told).
    int ReadIntervalSeconds() const { return readIntervalSeconds_; }
    // Within the limit for the sensor's read interval.
    bool Current() const;

private:
    uint64_t lastMs_ = 0; // the clock's monotonic milliseconds
    bool read_ = false;   // a sample has read the device
    int readIntervalSeconds_ = 0;
};
