#include "platform/Dialogs.h"

#include <cstdio>

namespace platform {

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

int MessageBox(const std::string& text, const std::string& caption, int flags) {
    if (Hook()) return Hook()(text, caption, flags);
    std::string shown = text;
    for (char& c : shown)
        if (c == '\r') c = '\n';
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), shown.c_str());
    return IDOK;
}

} // namespace platform
