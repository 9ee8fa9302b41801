#include "platform/Help.h"

namespace platform {

std::vector<THelpRequest>& HelpRequests() {
    static std::vector<THelpRequest> requests;
    return requests;
}

void HelpContext(int context) {
    HelpRequests().push_back({THelpRequest::Kind::Context, context});
}

void HelpContextPopup(int context) {
    HelpRequests().push_back({THelpRequest::Kind::ContextPopup, context});
}

} // namespace platform
