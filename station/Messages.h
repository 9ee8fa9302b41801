#pragma once
// The station's private window messages. They are always posted, never sent.
#include <cstdint>

inline constexpr uint32_t MsgUpdateDialog = 2024;
inline constexpr uint32_t MsgTemperatureAlarm = 2026;
inline constexpr uint32_t MsgDisplayTemperature = 2027;
inline constexpr uint32_t MsgDisplayRain = 2028;
inline constexpr uint32_t MsgDisplayHumidity = 2029;
inline constexpr uint32_t MsgDisplayWind = 2030;
inline constexpr uint32_t MsgReadCycle = 2031;
inline constexpr uint32_t MsgDisplayBarometer = 2033;
inline constexpr uint32_t MsgStartUpload = 2035;
inline constexpr uint32_t MsgRestoreFromTray = 2036;
inline constexpr uint32_t MsgResetWindHighMark = 2037;
inline constexpr uint32_t MsgDisplaySampleCount = 2042;
inline constexpr uint32_t MsgDisplayWindChillHeatIndex = 2043;
inline constexpr uint32_t MsgStartSession = 2044;
// The keeper's commands that wait may run (CommandDesk.h).
inline constexpr uint32_t MsgRunCommands = 2045;
