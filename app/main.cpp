// The program entry: the application object, the main window, the message loop; or, given
// `command NAME [ARGS]`, one of the keeper's commands sent to the station running in the folder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/CommandClient.h"
#include "onewire/DiagnosticDatagram.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/FolderLock.h"
#include "platform/Signals.h"
#include "platform/System.h"
#include "platform/controls/Application.h"
#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoCounts.h"
#include "platform/tmex/sim/SimulatedPort.h"
#include "publish/StationPublishing.h"
#include "station/Unit1.h"
#include "ui/Splashfrm.h"
#include "ui/TitleEcho.h"

using namespace platform;

namespace {

void WriteToStdout(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        if (std::strcmp(argv[1], "command") == 0)
            return RunCommandClient(std::vector<std::string>(argv + 2, argv + argc));
        std::fprintf(stderr,
                     "unknown argument \"%s\": korvane starts the station, korvane command NAME [ARGS] "
                     "gives it a command (korvane command lists them)\n",
                     argv[1]);
        return 2;
    }
    // The window's title bar on standard output when that is a terminal, kept on its last line below the
    // status log (see TitleEcho.h).
    static TTitleEcho titleEcho({WriteToStdout, StandardOutputIsTerminal(), StandardOutputColumns});
    try {
        // The working folder is the program's folder: logs and data files are named relative to it.
        SetCurrentDir(AppPath());
        // One station per folder: a second one would write every record twice. It leaves before it
        // touches any file.
        static FolderLock folderLock;
        switch (folderLock.Acquire("korvane.lock")) {
        case FolderLock::Result::Taken:
            break;
        case FolderLock::Result::HeldElsewhere:
            std::fputs("another station is running in this folder\n", stderr);
            return 1;
        case FolderLock::Result::Unavailable:
            std::fprintf(stderr, "cannot lock korvane.lock (%s); not guarded against a second station\n",
                         folderLock.Error().c_str());
            break;
        }
        // The 1-Wire driver's port types: the serial DS2480 adapter and the simulated net. The driver's
        // own messages go to the status log once the main window is there.
        tmex::RegisterSerialPortType();
        tmex::sim::RegisterSimulatedPortType(tmex::sim::kDemoCountsFile);
        tmex::SetDriverLog([](const std::string& line) {
            if (MainForm) {
                MainForm->LogStatus(line);
            } else {
                titleEcho.End(); // the line goes below the title, not after it
                std::string shown = line + "\n";
                std::fwrite(shown.data(), 1, shown.size(), stderr);
            }
        });
        Application->OnTitleChange = [](const std::string& title) { titleEcho.Show(title); };
        StationOptions.PrintLogLine = [](const std::string& line) { titleEcho.Line(line); };
        Application->SetTitle("Loading Korvane...");
        // Ctrl-C, SIGTERM and SIGHUP are the Unload command: save everything, stop the services, end.
        HandleTerminationSignals([] {
            if (MainForm)
                MainForm->Unload1Click(MainForm->Unload1);
            else
                Application->Terminate();
        });
        // The main window's publishing side and its splash.
        StationOptions.MakePublishing = [](TMainForm& form) {
            return std::make_unique<TStationPublishing>(form);
        };
        StationOptions.MakeSplash = MakeSplashScreen;
        // A station started by the tests takes the diagnostic port they name ("0": a free one), never
        // the one of a station running on the machine.
        if (const char* port = std::getenv("KORVANE_DIAGNOSTIC_PORT")) DiagnosticListenerPort = port;
        auto* form = new TMainForm(nullptr);
        (void)form;
        Application->Run();
        titleEcho.End();
        delete MainForm; // ends the process
    } catch (const std::exception& e) {
        titleEcho.End();
        // Nothing the station does reaches here but a fault of its own start or end: told, and the
        // process says it failed.
        Application->ShowException(e);
        return 1;
    } catch (...) {
        titleEcho.End();
        std::fputs("SERIOUS ERROR: an unknown exception ended the station\n", stderr);
        return 1;
    }
    return 0;
}
