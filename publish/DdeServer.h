#pragma once
// The DDE service of the station: the conversation "Weather" with the item of the status line, the
// list of item names, a group of items per kind of sensor present and items per sensor named after its
// serial number (TDdeItems). The readers and the status line write the texts while it runs; a rescan
// stops and starts it, so that the items follow the sensors found.
//
// Items in the order they are made (each but the first two is a line of DDEItems):
//   DDEItems, DDEWeather;
//   wind: DDEWindSpeed, DDEWindspeedAVGMin, DDEWindspeedAVGHour, DDEWindDirection, DDEWindDirAVG;
//   rain: DDERainToday, DDERainRate, DDERainCounter;   barometer: DDEBarometer;
//   any temperature-capable sensor (DS1820 family or DS2438-based): DDETemperature, DDEWindChill;
//   per DS1820: its DDE name; per plain DS2423: its DDE name; per DS2450: MakeDDEItemName + A, B, C, D;
//   humidity: DDEHumidity, then per sensor its DDE name + H, + T; per plain DS2438: its DDE name + V, + T.
#include "publish/FailureRun.h"

class TPublishingHost;

class TDdeServer {
public:
    explicit TDdeServer(TPublishingHost& station) : station_(station) {}
    ~TDdeServer();
    TDdeServer(const TDdeServer&) = delete;
    TDdeServer& operator=(const TDdeServer&) = delete;

    // Makes the conversation and the items and sets the DDE service running. A start that fails frees what it
    // made, so that the next one can register the same names; only the first failure of a run is logged.
    void StartDDEServices();
    // Frees everything, when the service runs.
    void StopDDEServices();

private:
    void CreateItems();
    void FreeItems();

    TPublishingHost& station_;
    TFailureRun startFailures_;
};
