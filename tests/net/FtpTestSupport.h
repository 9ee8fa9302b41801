#pragma once
// The FTP tests' peers and helpers: a temporary folder, the scripted server, pyftpdlib and vsftpd on
// 127.0.0.1, and a run of one request to its OnRequestDone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "net/Ftpcli.h"
#include "tests/net/NetTestSupport.h"
#include "tests/platform/RuntimeTestSupport.h"

namespace ftp_test {

namespace fs = std::filesystem;
using net_test::PeerProcess;

inline const char* const kPython = "/usr/bin/python3";

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/korvane-ftp-XXXXXX";
        path_ = ::mkdtemp(pattern);
        fs::permissions(path_, fs::perms::all); // a server that runs as nobody writes here too
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

using testsupport::ReadRaw;
using testsupport::WriteRaw;

// Bytes that differ from block to block, so that a repeated or missing block shows.
inline std::string Pattern(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return bytes;
}

// Runs the loop until the peer printed "PORT <n>"; 0 when it did not.
inline int AwaitPort(PeerProcess& peer) {
    platform::EventLoop::Get().RunUntil([&] { return peer.Output().find('\n') != std::string::npos; }, 5000);
    const std::string& out = peer.Output();
    size_t at = out.find("PORT ");
    return at == std::string::npos ? 0 : std::stoi(out.substr(at + 5));
}

// Runs the loop until a server listens on 127.0.0.1:port (without connecting, which a server with a
// client limit would count).
inline bool AwaitBound(uint16_t port) {
    for (int tries = 0; tries < 250; ++tries) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = net_test::Loopback(port);
        bool taken = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0;
        ::close(fd);
        if (taken) return true;
        platform::EventLoop::Get().RunFor(20); // nothing wakes the loop when the server is up: look again
    }
    return false;
}

// The scripted server of tests/peers/ftp_peer.py in one mode, writing uploads into its own folder.
struct ScriptedPeer {
    explicit ScriptedPeer(const std::string& mode)
        : process({kPython, KORVANE_SOURCE_DIR "/tests/peers/ftp_peer.py", "--port", "0", "--root",
                   root.Path(), "--mode", mode}),
          port(AwaitPort(process)) {}
    TempDir root;
    PeerProcess process;
    int port;
};

// pyftpdlib: ftpuserID / MoLeSkIn may do everything, reader / reader only read. It serves its own
// folder, or `folder` (which outlives it, for a server started again), on any free port or `fixedPort`.
struct PyftpdPeer {
    explicit PyftpdPeer(const std::string& folder = {}, uint16_t fixedPort = 0)
        : process({kPython, KORVANE_SOURCE_DIR "/tests/peers/pyftpd_peer.py",
                   folder.empty() ? root.Path() : folder, std::to_string(fixedPort)}),
          port(AwaitPort(process)) {}
    TempDir root;
    PeerProcess process;
    int port;
};

// vsftpd with a private configuration: anonymous users (230 without PASS) may upload into the root.
// As root it runs as nobody; the configuration must belong to the user that runs it.
struct VsftpdPeer {
    explicit VsftpdPeer(int maxClients = 8, const std::string& banner = {})
        : port(net_test::FreePort()), process(Command(maxClients, banner)) {
        if (!AwaitBound(static_cast<uint16_t>(port))) port = 0;
    }
    std::vector<std::string> Command(int maxClients, const std::string& banner) {
        std::string conf = dir / "vsftpd.conf";
        std::ostringstream text;
        text << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << port
             << "\nrun_as_launching_user=YES\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\n"
             << "anon_root=" << root.Path() << "\nwrite_enable=YES\nanon_upload_enable=YES\n"
             << "anon_other_write_enable=YES\nanon_mkdir_write_enable=YES\nanon_umask=022\n"
             << "connect_from_port_20=NO\nseccomp_sandbox=NO\nlocal_enable=NO\nmax_clients=" << maxClients
             << "\n";
        if (!banner.empty()) {
            WriteRaw(dir / "banner.txt", banner);
            text << "banner_file=" << (dir / "banner.txt") << "\n";
        }
        WriteRaw(conf, text.str());
        if (::geteuid() != 0) return {"vsftpd", conf};
        ::chown(conf.c_str(), 65534, 65534);
        return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "vsftpd", conf};
    }
    TempDir dir, root;
    int port;
    PeerProcess process;
};

// The outcome of one request.
struct Done {
    int calls = 0;
    net::TFtpRequest rqType = net::ftpNone;
    int error = -1;
};

// Starts a request and runs the loop until its OnRequestDone, then a little longer to catch a second one.
inline Done RunRequest(net::TCustomFtpCli& client, const std::function<void()>& start,
                       uint32_t limitMs = 10000) {
    Done done;
    // A blocking call's own OnRequestDone arrives after it returned: let it go by first.
    client.OnRequestDone = nullptr;
    platform::EventLoop::Get().ProcessMessages();
    client.OnRequestDone = [&](net::TCustomFtpCli*, net::TFtpRequest rqType, uint16_t error) {
        ++done.calls;
        done.rqType = rqType;
        done.error = error;
    };
    start();
    EXPECT_TRUE(platform::EventLoop::Get().RunUntil([&] { return done.calls > 0; }, limitMs))
        << "no OnRequestDone";
    platform::EventLoop::Get().RunFor(30);
    EXPECT_EQ(done.calls, 1);
    client.OnRequestDone = nullptr;
    return done;
}

// The commands a client sent, one per line.
inline void RecordCommands(net::TCustomFtpCli& client, std::vector<std::string>& commands) {
    client.OnCommand = [&commands](net::TCustomFtpCli*, std::string& command) {
        commands.push_back(command);
    };
}

inline bool Sent(const std::vector<std::string>& commands, const std::string& prefix) {
    for (const std::string& c : commands)
        if (c.rfind(prefix, 0) == 0) return true;
    return false;
}

} // namespace ftp_test
