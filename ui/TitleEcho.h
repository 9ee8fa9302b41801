#pragma once
// The headless main window's title on standard output: the program's states ("Running!", "Saving
// data...") and, once the station has readings, the main temperature and the wind ("12.3° - NE 4.5").
// The station sets the title after every reading round; a title is printed when it differs from the one
// printed last, so a round that changed nothing prints nothing and a change of any value the title
// shows is printed at once. Only on a terminal: under a service manager standard output carries the
// status log alone, whose journal a title at every change of a value would flood. korvane.log is not
// concerned: it never holds the title.
#include <functional>
#include <string>

class TTitleEcho {
public:
    TTitleEcho(std::function<void(const std::string&)> print, bool terminal)
        : print_(std::move(print)), terminal_(terminal) {}
    void Show(const std::string& title);

private:
    std::function<void(const std::string&)> print_;
    bool terminal_;
    std::string printed_;
    bool printedAny_ = false;
};
