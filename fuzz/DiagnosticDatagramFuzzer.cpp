// The station's diagnostic listener (127.0.0.1, the sensor objects' datagrams) on a running station:
// the input is one datagram from anyone on the machine. It is logged as one line of printable ASCII,
// marked "UDP: " and cut at its first NUL and at 100 bytes, when it is in a sensor's form (each input
// within the listener's bounds); nothing else is.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/Wsocket.h"
#include "onewire/DiagnosticDatagram.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "platform/System.h"
#include "platform/controls/Headless.h"
#include "platform/tmex/Tmex.h"
#include "station/Unit1.h"
#include "support/FuzzSupport.h"

namespace {

TMainForm* station = nullptr;
std::shared_ptr<platform::SimulatedClock> simulatedClock;
int sender = -1;
sockaddr_in listener{};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string folder = fuzzing::ScratchDir() + "/station";
    ::mkdir(folder.c_str(), 0700);
    platform::SetCurrentDir(folder);
    platform::SetExeName(folder + "/korvane");
    platform::Clock::SetTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
    simulatedClock = std::make_shared<platform::SimulatedClock>(1796562189000LL, 1000000);
    platform::Clock::Install(simulatedClock);
    platform::EventLoop::Get().Reset();
    platform::TIniFile::FlushCache();
    platform::tmex::ResetDriver();
    StationOptions = TStationOptions{};
    StationOptions.EchoLogToStdout = false;
    DiagnosticListenerPort = "0";                        // any free port
    station = new TMainForm(nullptr);                    // kept for the whole run
    station->LogStatusToFileCheckBox->SetChecked(false); // millions of lines need no file
    listener.sin_family = AF_INET;
    listener.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listener.sin_port = htons(static_cast<uint16_t>(std::stoi(station->UDPStatusSocket->GetXPort())));
    sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::TStringList& memo = station->DisplayMemo->Lines();
    // Every input within the listener's bounds: ten minutes after the one before, whose summary is told.
    simulatedClock->Advance(10 * 60 * 1000);
    platform::EventLoop::Get().Turn(false);
    std::string last = memo.Count() > 0 ? memo[memo.Count() - 1] : "";
    int before = memo.Count();
    FUZZ_CHECK(::sendto(sender, data, size, 0, reinterpret_cast<sockaddr*>(&listener), sizeof listener) ==
               static_cast<ssize_t>(size));
    for (int turn = 0; turn < 3; ++turn)
        platform::EventLoop::Get().Turn(false);

    std::string datagram(reinterpret_cast<const char*>(data), size);
    size_t length = std::min({datagram.find('\0'), size, size_t{100}});
    bool expected = IsSensorDiagnostic(datagram.substr(0, length));
    bool added = memo.Count() != before || (memo.Count() > 0 && memo[memo.Count() - 1] != last);
    FUZZ_CHECK(added == expected);
    if (!added) return 0;
    const std::string& line = memo[memo.Count() - 1];
    FUZZ_CHECK(line.compare(8, 6, " UDP: ") == 0);
    FUZZ_CHECK(line.size() <= 14 + 4 * length); // "hh:mm:ss UDP: " and the text, a byte at most as \xNN
    for (unsigned char c : line)
        FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    return 0;
}
