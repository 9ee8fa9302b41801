#pragma once
// What the program (app/) and the tests decide before they make the main window: where its log lines
// go besides korvane.log, and the parts of the window that live in the layers above the controller.
#include <functional>
#include <memory>
#include <string>

class TMainForm;
class TPublishing;
class TSplashScreen;

struct TStationOptions {
    // Every status-log line is also written to standard output, as the memo shows it.
    bool EchoLogToStdout = true;
    // Where those lines go (UTF-8, without their line end) when set, instead of straight to standard
    // output: the program prints them above the title it keeps on a terminal's last line.
    std::function<void(const std::string&)> PrintLogLine;
    // Where the status log's datagram copy goes ([STATUS] Enabled): a broadcast on the [STATUS] port.
    std::string StatusLogCopyAddress = "255.255.255.255";
    // The publishing side (publish/) and the splash (ui/) of a new main window; unset, the window has
    // none.
    std::function<std::unique_ptr<TPublishing>(TMainForm&)> MakePublishing;
    std::function<std::unique_ptr<TSplashScreen>()> MakeSplash;
};

extern TStationOptions StationOptions;
