#include "platform/Hints.h"

namespace platform {

std::string& ApplicationHint() {
    static std::string hint;
    return hint;
}

} // namespace platform
