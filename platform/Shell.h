#pragma once
// The shell, headless: a notification area that records the icons programs put there, and the "open"
// operation for documents and links, which launches nothing.
//
// Notification area: Shell_NotifyIcon takes the shell's record. NIM_ADD puts an icon (named by its
// window and id) in the area and fails when it is there already; NIM_MODIFY and NIM_DELETE fail when it
// is not. Of the record's fields only those named in uFlags are taken (NIF_MESSAGE the callback
// message, NIF_ICON the icon handle, NIF_TIP the tip). The area keeps the icons present and the last
// kMaxOperations calls, which tests read back; a real desktop would show the icons and send the
// callback message to the window on mouse actions (tests post it themselves).
//
// Open: ShellOpen hands the target to a replaceable hook. The default hook only records the target
// (the last kMaxOpened of them); nothing ever builds a command line from the text.
//
// Execute: ShellExecute really starts things. A program (a file with execute permission, found in
// the folder, in the current folder or, named without a folder, on PATH) is started with the parameters as
// its arguments; a document, a folder or a link ("scheme:...") goes to the desktop's opener, xdg-open found
// on PATH, as its one argument. Nothing goes through a shell: the parameters are split at blanks, "double
// quotes" keeping blanks together. The child starts in `folder` (the current folder when empty), in a session
// of its own, with no descriptor of ours but its standard error, standard input and output on /dev/null, and
// the default signal handling; the loop reaps it when it ends. Only the default verb ("" or "open") is known;
// the window and the show command mean nothing here.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

namespace platform {

inline constexpr uint32_t NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2;
inline constexpr uint32_t NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4;
// The record size of the shell the components are written for.
inline constexpr uint32_t kNotifyIconDataSize = 488;
inline constexpr size_t kNotifyTipSize = 128; // characters, the terminating zero included

struct NOTIFYICONDATA {
    uint32_t cbSize = kNotifyIconDataSize;
    HWND hWnd = 0;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    uint32_t hIcon = 0;
    char szTip[kNotifyTipSize] = {};

    // Copies text into szTip, cut to fit with its terminating zero.
    void SetTip(const std::string& text);
    std::string Tip() const;
};

bool Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA& data);

class NotificationArea {
public:
    struct Icon {
        HWND window = 0;
        uint32_t id = 0;
        uint32_t callbackMessage = 0;
        uint32_t icon = 0;
        std::string tip;
    };
    struct Operation {
        uint32_t message;
        NOTIFYICONDATA data;
        bool succeeded;
    };
    static constexpr size_t kMaxOperations = 256;

    static NotificationArea& Get();

    bool Notify(uint32_t message, const NOTIFYICONDATA& data);
    const std::vector<Icon>& Icons() const { return icons_; }
    // The icon of a window with the id, or null.
    const Icon* Find(HWND window, uint32_t id) const;
    const std::deque<Operation>& Operations() const { return operations_; }
    // Empties the area and its record (tests).
    void Clear();

private:
    std::vector<Icon> icons_;
    std::deque<Operation> operations_;
};

// The major version of the system as the components ask for it. Headless it is a shell with a
// notification area (5); tests set a value below 4 for an old shell without one.
int& SystemMajorVersion();

// The shell's "open" of a document or link.
using ShellOpenHook = std::function<bool(const std::string& target)>;
// Installs the hook (an empty one restores the recording default) and returns the previous one.
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);
bool ShellOpen(const std::string& target);
inline constexpr size_t kMaxOpened = 64;
// What the recording hook was asked to open, oldest first.
std::deque<std::string>& OpenedDocuments();

// ShellExecute's results: above 32 when the program or the opener was started, else the error.
inline constexpr int kShellExecuteStarted = 42;
inline constexpr int SE_ERR_OUTOFMEMORY = 0;  // no process could be made
inline constexpr int SE_ERR_FNF = 2;          // the file does not exist
inline constexpr int SE_ERR_PNF = 3;          // the folder does not exist
inline constexpr int SE_ERR_ACCESSDENIED = 5; // it may not be run
inline constexpr int SE_ERR_BADFORMAT = 11;   // it cannot be run
inline constexpr int SE_ERR_NOASSOC = 31;     // nothing opens it (no opener, or another verb)
inline constexpr int SW_SHOWNORMAL = 1;
int ShellExecute(HWND window, const std::string& verb, const std::string& file, const std::string& parameters,
                 const std::string& folder, int showCommand);
// The parameters as ShellExecute hands them to a program.
std::vector<std::string> SplitParameters(const std::string& parameters);

} // namespace platform
