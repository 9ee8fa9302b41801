#pragma once
// The keeper's commands of a running station: the main window's menu and sensor-tree commands, by the
// names of their items, given on the command line (`korvane command NAME [ARGS]`) and carried to the
// station by its command socket (CommandDesk.h). Each one clicks its item, so it does what the click
// does: the same log lines, keys and labels. Names and the words "on" and "off" match in any case.
//
// What a command answers: the lines its click logged, and what a keeper at the window would see besides
// (the text of a message box; the item name a copy put on the clipboard); a command whose click logged
// nothing says in one line what was done. A command for an item the window would not let a keeper click
// now (a post's item while the post is pending, RestartButton while sensors were found) does nothing and
// says why (kCommandNotTaken). The upload and the posts start a transfer and are answered when it ends
// (TransferAnswers.h): the station goes on meanwhile.
//
// On the wire a request is one line, "NAME ARG...", and its answer is "status N" followed by the lines
// the client prints, each ended by a line feed. N is the client's exit status (TCommandStatus).
#include <functional>
#include <string>
#include <vector>

class TMainForm;
class TTransferAnswers;

enum TCommandStatus : int {
    kCommandRan = 0, // the command ran (or had nothing to act on, and says so)
    // Not taken: no station runs, it is busy or stopping, or the window would not let a keeper click the
    // command's item now.
    kCommandNotTaken = 1,
    kCommandRefused = 2,        // an unknown name, or an argument missing or wrong
    kCommandTransferFailed = 3, // the transfer it started failed, or could not start (the lines say why)
};

// One command as the list of names shows it.
struct TCommandSpec {
    const char* name;
    const char* arguments; // what follows the name ("on|off"), empty for none
    const char* meaning;
};
// Every command, in the order of the list of names.
const std::vector<TCommandSpec>& CommandSpecs();

struct TCommandCall {
    const TCommandSpec* spec = nullptr;
    std::vector<std::string> args;
};

struct TCommandAnswer {
    int status = kCommandRan;
    std::vector<std::string> lines;
};

// Reads a request. False: `refusal` says why it cannot run (an unknown name lists the names).
bool ParseCommand(const std::string& request, TCommandCall& call, TCommandAnswer& refusal);

// Runs a parsed call on the station; `answer` is called once with what to tell the client: after the
// command, with the lines it logged (or, where the station lacks the sensor it acts on, the line that
// says nothing was done); before it, for a command that restarts or ends the station; at the end of the
// transfer it started, through `transfers`, which then holds `answer` until then.
void RunCommand(TMainForm& form, const TCommandCall& call,
                const std::function<void(const TCommandAnswer&)>& answer, TTransferAnswers& transfers);

std::string EncodeAnswer(const TCommandAnswer& answer);
// False when `text` is no answer (it does not begin with a status line).
bool DecodeAnswer(const std::string& text, TCommandAnswer& answer);
