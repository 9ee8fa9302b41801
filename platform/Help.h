#pragma once
// The help system of the headless build: there is no help viewer, so every request is recorded (in
// order) for whoever wants to show or check it.
#include <vector>

namespace platform {

struct THelpRequest {
    enum class Kind { Context, ContextPopup };
    Kind kind;
    int context;
};

// Shows the help topic of a context, as a page or as a small pop-up over the active window.
void HelpContext(int context);
void HelpContextPopup(int context);
// Every request so far; tests clear it.
std::vector<THelpRequest>& HelpRequests();

} // namespace platform
