#pragma once
// A run of failures of one kind, told once: First() is true for the first failure of a run only, and a
// success ends the run.
class RunOfFailures {
public:
    bool First() {
        const bool first = !failing_;
        failing_ = true;
        return first;
    }
    void Succeeded() { failing_ = false; }
    bool Failing() const { return failing_; }

private:
    bool failing_ = false;
};
