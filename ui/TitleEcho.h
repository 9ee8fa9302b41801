#pragma once
// The headless main window's title on standard output: the program's states ("Running!", "Saving
// data...") and, once the station has readings, the main temperature and the wind ("12.3° - NE 4.5").
// The station sets the title after every reading round.
//
// On a terminal the title keeps the terminal's last line: a change redraws it in place (a carriage
// return, an erase to the end of the line, the new title, no line end), and a status-log line is
// printed above it (the title erased, the log line, the title again), so the log scrolls as it would
// without a title and the title never fills the scroll-back. A title wider than the terminal is cut to
// one column less than its width, since a wrapped title could not be redrawn in place. A round that
// changed nothing writes nothing. Anywhere else (a pipe, a file, a service manager's journal) standard
// output carries the status log alone, as plain lines. korvane.log never holds the title.
#include <functional>
#include <string>

struct TTitleOutput {
    std::function<void(const std::string&)> write; // bytes to standard output, flushed
    bool terminal = false;
    std::function<int()> columns; // the terminal's width, 0 when unknown
};

class TTitleEcho {
public:
    explicit TTitleEcho(TTitleOutput out) : out_(std::move(out)) {}
    // The title (Latin-1 as the station keeps it), redrawn when it differs from the one shown.
    void Show(const std::string& title);
    // A status-log line (UTF-8, without its line end), printed above the title.
    void Line(const std::string& line);
    // Leaves the title shown as a finished line, so that what comes after (the shell's prompt, an
    // error on standard error) starts below it. A later title is drawn on a line of its own.
    void End();

private:
    std::string Drawn(const std::string& title) const;

    TTitleOutput out_;
    std::string drawn_; // what stands on the last line (UTF-8); empty when nothing does
};
