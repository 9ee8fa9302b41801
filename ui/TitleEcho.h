#pragma once
// The headless main window's title on standard output. After every reading round the title carries
// the main temperature and the wind ("12.3° - NE 4.5"): printed each time, that is dozens of lines a
// minute under a service manager. So:
// - a title without a digit (a state of the program: "Running!", "Saving data...") is printed at once,
//   and so is the first title with readings after one;
// - a title with readings is printed when it differs from the last printed one in more than its last
//   digit and at least a minute has passed since that one.
// korvane.log is not concerned: it never holds the title.
#include <cstdint>
#include <functional>
#include <string>

class TTitleEcho {
public:
    explicit TTitleEcho(std::function<void(const std::string&)> print) : print_(std::move(print)) {}
    void Show(const std::string& title);

    static constexpr uint32_t kMinIntervalMs = 60000;

private:
    std::function<void(const std::string&)> print_;
    std::string printed_;
    uint32_t printedTick_ = 0;
};
