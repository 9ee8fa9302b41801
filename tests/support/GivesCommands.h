#pragma once
// The station's command socket and a client of it, for a fixture that has folder_ and a station: a
// request given, and its whole answer waited for while the loop runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/CommandDesk.h"
#include "station/Commands.h"
#include "support/RawCommandClient.h"

namespace korvane_test {

template <class Base> class GivesCommands : public Base {
protected:
    std::string SocketPath() const { return this->Path(TCommandDesk::kSocketName); }
    // Sends one request and waits (pumping the loop) for its whole answer.
    TCommandAnswer Give(const std::string& request) {
        RawCommandClient client(SocketPath());
        EXPECT_TRUE(client.Connected()) << client.Error();
        client.Send(request + "\n");
        const std::string text = client.Answer();
        TCommandAnswer answer;
        EXPECT_TRUE(DecodeAnswer(text, answer)) << request << ": \"" << text << "\"";
        return answer;
    }
    // Gives a command that must run; the lines it answered with.
    std::vector<std::string> Ran(const std::string& request) {
        TCommandAnswer answer = Give(request);
        EXPECT_EQ(answer.status, kCommandRan)
            << request << ": " << (answer.lines.empty() ? "" : answer.lines[0]);
        return answer.lines;
    }
    static bool Holds(const std::vector<std::string>& lines, const std::string& text) {
        for (const std::string& line : lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

} // namespace korvane_test
