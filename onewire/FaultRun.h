#pragma once
// A fault that comes back on every try while its cause stays (a calculation fed a bad number from the
// settings, say): the first failure of a run is logged as it is, the others are only counted, and the
// success that ends a run of two or more logs how many there were. So a standing fault costs two log
// lines, not one a reading.
#include <functional>
#include <string>

#include "platform/Strings.h"

class TFaultRun {
public:
    using Log = std::function<void(const std::string&)>;

    void Failed(const std::string& line, const Log& log) {
        if (count_ > 0 && line == line_) {
            ++count_;
            return;
        }
        Succeeded(log); // another fault ends the run before it
        line_ = line;
        count_ = 1;
        log(line);
    }
    void Succeeded(const Log& log) {
        if (count_ > 1) log(line_ + platform::Format(" - %u times in a row, now ended", count_));
        count_ = 0;
    }
    unsigned Count() const { return count_; }

private:
    std::string line_;
    unsigned count_ = 0;
};
