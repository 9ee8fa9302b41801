#include "platform/tmex/Tmex.h"

#include "platform/tmex/Crc.h"
#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/DriverSettings.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace platform::tmex {

namespace {

using PortKey = int32_t;

PortKey KeyOf(int16_t portNum, int16_t portType) {
    return static_cast<PortKey>((static_cast<uint32_t>(static_cast<uint16_t>(portNum)) << 16) |
                                static_cast<uint16_t>(portType));
}

struct Driver {
    std::map<PortKey, std::shared_ptr<Backend>> backends;
    // The open sessions, one per port at most: a few, opened and ended around every sample, so kept in
    // a list that allocates nothing once it has room.
    struct PortSession {
        PortKey port;
        SessionHandle handle;
    };
    std::vector<PortSession> sessions;
    PortSession* SessionOfPort(PortKey port);
    PortSession* Session(SessionHandle handle);
    SessionHandle nextHandle = 1;
    std::optional<std::pair<int16_t, int16_t>> defaultOverride;
    std::string settingsPath = "tmex.ini";
    std::map<int16_t, PortTypeDriver> portTypes;
    std::function<void(const std::string&)> log;
    void Forget();
};

// The last session looked up and its backend (every byte asks, so they sit outside the driver's
// lazily made state): forgotten whenever a session ends or a backend is replaced.
SessionHandle lastSession = 0;
Backend* lastBackend = nullptr;

Driver::PortSession* Driver::SessionOfPort(PortKey port) {
    for (auto& s : sessions)
        if (s.port == port) return &s;
    return nullptr;
}

Driver::PortSession* Driver::Session(SessionHandle handle) {
    for (auto& s : sessions)
        if (s.handle == handle) return &s;
    return nullptr;
}

void Driver::Forget() {
    lastSession = 0;
    lastBackend = nullptr;
}

Driver& D() {
    static Driver driver;
    return driver;
}

// The driver's state inside the caller's TmexStateBuffer.
struct SearchState {
    uint32_t magic;
    uint8_t hasCurrent;
    uint8_t hasLastFound;
    uint8_t primed;
    uint8_t unused;
    RomBytes current;
    RomBytes lastFound;
    RomBytes primedPosition;
};
constexpr uint32_t kStateMagic = 0x4B4F5257; // "KORW"
static_assert(sizeof(SearchState) <= kStateBufferSize);

SearchState LoadState(const TmexStateBuffer* buffer) {
    SearchState s{};
    std::memcpy(&s, buffer->bytes, sizeof s);
    if (s.magic != kStateMagic) {
        s = SearchState{};
        s.magic = kStateMagic;
    }
    return s;
}

void StoreState(TmexStateBuffer* buffer, const SearchState& s) {
    std::memcpy(buffer->bytes, &s, sizeof s);
}

std::string Hex(const uint8_t* bytes, std::size_t n) {
    std::string out;
    char two[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        if (!out.empty()) out += ' ';
        out += two;
    }
    return out;
}

std::string Hex1(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string RomText(const RomBytes& rom) {
    std::string out;
    char two[4];
    for (int i = 7; i >= 0; --i) {
        std::snprintf(two, sizeof two, "%02X", rom[i]);
        out += two;
    }
    return out;
}

// Announces a call to the backend's traffic log and reports its result on the way out. The argument
// text is made (by `args`) only when the backend keeps a log: most calls are single bytes, whose path
// keeps no room for the text either (Announce is out of line).
class CallScope {
public:
    CallScope(Backend* backend, const char* name) : backend_(Logging(backend)) {
        if (backend_) Announce(name, nullptr, nullptr);
    }
    template <typename Args>
    CallScope(Backend* backend, const char* name, const Args& args) : backend_(Logging(backend)) {
        if (backend_)
            Announce(
                name, [](const void* a) { return (*static_cast<const Args*>(a))(); }, &args);
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    template <typename T> T Done(T result) {
        if (backend_) backend_->EndCall(static_cast<int32_t>(result));
        backend_ = nullptr;
        return result;
    }
    ~CallScope() {
        if (backend_) backend_->EndCall(0);
    }

private:
    static Backend* Logging(Backend* backend) {
        return backend && backend->KeepsTrafficLog() ? backend : nullptr;
    }
    void Announce(const char* name, std::string (*text)(const void*), const void* args);

    Backend* backend_;
};

void CallScope::Announce(const char* name, std::string (*text)(const void*), const void* args) {
    backend_->BeginCall(DriverCall{name, text ? text(args) : std::string(), 0});
}

std::shared_ptr<Backend> DefaultBackendFor(int16_t portNum, int16_t portType) {
    auto& types = D().portTypes;
    auto it = types.find(portType);
    if (it == types.end() || !it->second.makePort) return nullptr;
    return it->second.makePort(portNum);
}

std::shared_ptr<Backend> BackendFor(int16_t portNum, int16_t portType, bool create) {
    auto& d = D();
    auto it = d.backends.find(KeyOf(portNum, portType));
    if (it != d.backends.end()) return it->second;
    if (!create) return nullptr;
    auto backend = DefaultBackendFor(portNum, portType);
    if (backend) d.backends[KeyOf(portNum, portType)] = backend;
    return backend;
}

// The backend of an open session, or null: the last one looked up at once, others from the list.
Backend* LookUpSession(SessionHandle session) {
    auto& d = D();
    const Driver::PortSession* open = d.Session(session);
    if (!open) return nullptr;
    auto b = d.backends.find(open->port);
    if (b == d.backends.end()) return nullptr;
    lastSession = session;
    lastBackend = b->second.get();
    return lastBackend;
}
inline Backend* SessionBackend(SessionHandle session) {
    return session == lastSession && lastBackend ? lastBackend : LookUpSession(session);
}

void CloseSessionOfPort(PortKey key) {
    auto& d = D();
    Driver::PortSession* open = d.SessionOfPort(key);
    if (!open) return;
    d.Forget();
    d.sessions.erase(d.sessions.begin() + (open - d.sessions.data()));
    auto b = d.backends.find(key);
    if (b != d.backends.end()) b->second->CloseSession();
}

// --- search ---------------------------------------------------------------------------------------
// Bit i of the ROM (byte i / 8, bit i % 8) is the i-th bit of the search walk: the search order is the
// ascending order of the bit-reversed 64-bit ROM, the 0 branch first.

// The next position in search order; false when rom was the last one.
bool Increment(RomBytes& rom) {
    for (int i = 63; i >= 0; --i) {
        if (RomBit(rom, i) == 0) {
            SetRomBit(rom, i, 1);
            return true;
        }
        SetRomBit(rom, i, 0);
    }
    return false;
}

enum class SearchResult { Found, None, Error };

struct PassOutcome {
    SearchResult result = SearchResult::None;
    RomBytes found{};
    RomBytes forks{};
};

// One search pass (reset, 0xF0, the 64 ROM bits) taking `directions` at every fork.
PassOutcome SearchPass(Backend& bus, const RomBytes& directions) {
    PassOutcome out;
    int16_t reset = bus.Reset();
    if (reset < 0) {
        out.result = SearchResult::Error;
        return out;
    }
    if (reset != 1) return out; // no presence (or a short): nothing to find
    int16_t r = bus.TouchByte(0xF0);
    if (r >= 0) r = bus.SearchBits(directions, out.found, out.forks);
    if (r < 0)
        out.result = SearchResult::Error;
    else if (r == 1)
        out.result = Crc8(out.found) == 0 ? SearchResult::Found : SearchResult::Error;
    return out;
}

// The smallest reachable ROM at or after `target` in search order. The first pass follows the target
// at every fork; where it leaves the target, at most one more pass finds the answer.
SearchResult SearchFrom(Backend& bus, const RomBytes& target, RomBytes& found) {
    PassOutcome first = SearchPass(bus, target);
    if (first.result != SearchResult::Found) return first.result;
    // In search order as numbers (bit i = RomBit i): k is the first bit where the pass left the target.
    const uint64_t want = RomBits(target), got = RomBits(first.found), forks = RomBits(first.forks);
    const int k = got == want ? 64 : std::countr_zero(got ^ want);
    uint64_t directions;
    if (k == 64 || ((got >> k) & 1) != 0) {
        // At the target, or above it from bit k on: the answer is the smallest ROM under this prefix,
        // which the pass found unless it took a 1 at a later fork.
        const uint64_t later = k >= 63 ? 0 : ~uint64_t{0} << (k + 1);
        if ((forks & got & later) == 0) {
            found = first.found;
            return SearchResult::Found;
        }
        directions = got & ~later;
    } else {
        // Below the target from bit k on: go up at the deepest earlier fork where the target took 0.
        const uint64_t ups = forks & ~want & ((uint64_t{1} << k) - 1);
        if (ups == 0) return SearchResult::None;
        const uint64_t fork = uint64_t{1} << (63 - std::countl_zero(ups));
        directions = (want & (fork - 1)) | fork;
    }
    PassOutcome second = SearchPass(bus, RomBytesOf(directions));
    if (second.result == SearchResult::Found) found = second.found;
    return second.result;
}

int16_t MatchRom(Backend& bus, const RomBytes& rom) {
    uint8_t bytes[9] = {0x55};
    std::memcpy(bytes + 1, rom.data(), rom.size());
    int16_t r = bus.TouchBlock(bytes, 9);
    return r < 0 ? r : 1;
}

int16_t DoAccess(Backend& bus, const SearchState& s) {
    int16_t reset = bus.Reset();
    if (reset < 0) return reset;
    // A shorted line holds the bus low, which the adapter cannot tell from a presence pulse.
    if (reset != 1 && reset != 2) return 0;
    int16_t r = MatchRom(bus, s.current);
    return r < 0 ? r : 1;
}

} // namespace

// --- sessions ---------------------------------------------------------------------------------------

SessionHandle StartSession(int16_t portNum, int16_t portType, int32_t /*reserved*/) {
    auto& d = D();
    auto backend = BackendFor(portNum, portType, true);
    if (!backend) return kErrNoHardwareDriver;
    CallScope call(backend.get(), "START",
                   [&] { return std::to_string(portNum) + "," + std::to_string(portType); });
    PortKey key = KeyOf(portNum, portType);
    if (d.SessionOfPort(key)) return call.Done(0); // the port is in use by an open session
    int32_t answer = backend->OpenSession();
    if (answer <= 0) return call.Done(answer);
    SessionHandle handle = d.nextHandle;
    d.nextHandle = d.nextHandle == INT32_MAX ? 1 : d.nextHandle + 1;
    d.sessions.push_back({key, handle});
    return call.Done(handle);
}

int16_t ValidSession(SessionHandle session) {
    Backend* bus = SessionBackend(session);
    CallScope call(bus, "VALID");
    return call.Done<int16_t>(bus ? 1 : 0);
}

int16_t EndSession(SessionHandle session) {
    const Driver::PortSession* open = D().Session(session);
    if (!open) return 0; // 0, negative and stale handles are tolerated
    const PortKey port = open->port;
    CallScope call(SessionBackend(session), "END");
    CloseSessionOfPort(port);
    return call.Done<int16_t>(1);
}

int16_t ReleasePort(SessionHandle session) {
    EndSession(session);
    return 1;
}

int16_t DefaultPort(int16_t* portNum, int16_t* portType) {
    auto& d = D();
    int16_t num = 1;
    int16_t type = kPortTypeDS2480;
    if (d.defaultOverride) {
        num = d.defaultOverride->first;
        type = d.defaultOverride->second;
    } else {
        DriverSettings settings = LoadDriverSettings(d.settingsPath);
        num = settings.defaultPortNum;
        type = settings.defaultPortType;
    }
    if (portNum) *portNum = num;
    if (portType) *portType = type;
    return 1;
}

namespace {
int16_t CopyText(const std::string& text, char* out) {
    if (!out) return 0;
    std::size_t n = std::min<std::size_t>(text.size(), kVersionTextSize - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
    return static_cast<int16_t>(n);
}
} // namespace

int16_t MainDriverVersion(char* text) {
    return CopyText("Korvane 1-Wire driver 1.0 (TMEX calls by ordinal)", text);
}

int16_t TypeDriverVersion(int16_t portType, char* text) {
    for (auto& [key, backend] : D().backends)
        if (static_cast<int16_t>(key & 0xFFFF) == portType) return CopyText(backend->TypeVersion(), text);
    auto it = D().portTypes.find(portType);
    return CopyText(it == D().portTypes.end() ? std::string() : it->second.version, text);
}

int16_t Setup(SessionHandle session) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    CallScope call(bus, "SETUP");
    return call.Done(bus->Setup());
}

// --- line primitives -------------------------------------------------------------------------------

int16_t TouchReset(SessionHandle session) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    CallScope call(bus, "R");
    return call.Done(bus->Reset());
}

namespace {
// Out of line: kept apart, its call scope costs the plain byte nothing.
[[gnu::noinline]] int16_t LoggedTouchByte(Backend* bus, int16_t byte) {
    if (!bus) return kErrInvalidSession;
    CallScope call(bus, "T", [&] { return Hex1(byte); });
    return call.Done(bus->TouchByte(static_cast<uint8_t>(byte & 0xFF)));
}
} // namespace

int16_t TouchByte(SessionHandle session, int16_t byte) {
    // The most frequent call of all: without a traffic log it is the backend's byte and nothing else.
    Backend* bus = SessionBackend(session);
    if (bus && !bus->KeepsTrafficLog()) return bus->TouchByte(static_cast<uint8_t>(byte & 0xFF));
    return LoggedTouchByte(bus, byte);
}

int16_t TouchBit(SessionHandle session, int16_t bit) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    CallScope call(bus, "TB", [&] { return std::to_string(bit & 1); });
    return call.Done(bus->TouchBit(static_cast<uint8_t>(bit & 1)));
}

int16_t BlockIO(SessionHandle session, uint8_t* buffer, int16_t length) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (length < 0 || (length > 0 && !buffer)) return -8; // block transfer too long / bad buffer
    CallScope call(bus, "BLK", [&] { return Hex(buffer, static_cast<std::size_t>(length)); });
    return call.Done(bus->TouchBlock(buffer, length));
}

int16_t OneWireLevel(SessionHandle session, int16_t operation, int16_t levelMode, int16_t primed) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    CallScope call(bus, "LL", [&] {
        return std::to_string(operation) + "," + std::to_string(levelMode) + "," + std::to_string(primed);
    });
    return call.Done(bus->Level(operation, levelMode, primed));
}

int16_t DS2480LineParameters(SessionHandle session, TMLine* block) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!block) return 0;
    CallScope call(bus, "TMLINE", [&] { return std::to_string(block->flag); });
    return call.Done(bus->LineParameters(*block));
}

// --- ROM, access, search -----------------------------------------------------------------------------

int16_t Rom(SessionHandle session, TmexStateBuffer* state, uint16_t* rom) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!state || !rom) return 0;
    SearchState s = LoadState(state);
    if (rom[0] == 0) {
        CallScope call(bus, "GET");
        for (int i = 0; i < 8; ++i)
            rom[i] = s.hasCurrent ? s.current[i] : 0;
        return call.Done<int16_t>(1);
    }
    for (int i = 0; i < 8; ++i)
        s.current[i] = static_cast<uint8_t>(rom[i] & 0xFF);
    s.hasCurrent = 1;
    StoreState(state, s);
    CallScope call(bus, "SET", [&] { return RomText(s.current); });
    return call.Done<int16_t>(1);
}

int16_t Access(SessionHandle session, TmexStateBuffer* state) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!state) return 0;
    CallScope call(bus, "ACC");
    return call.Done(DoAccess(*bus, LoadState(state)));
}

int16_t StrongAccess(SessionHandle session, TmexStateBuffer* state) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!state) return 0;
    CallScope call(bus, "SACC");
    SearchState s = LoadState(state);
    RomBytes found{};
    SearchResult r = SearchFrom(*bus, s.current, found);
    if (r != SearchResult::Found || found != s.current) return call.Done<int16_t>(0);
    return call.Done(DoAccess(*bus, s));
}

int16_t FamilySearchSetup(SessionHandle session, TmexStateBuffer* state, int16_t family) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!state) return 0;
    CallScope call(bus, "FSETUP", [&] { return Hex1(family); });
    SearchState s = LoadState(state);
    s.primed = 1;
    s.primedPosition = RomBytes{};
    s.primedPosition[0] = static_cast<uint8_t>(family & 0xFF);
    s.hasLastFound = 0;
    StoreState(state, s);
    return call.Done<int16_t>(1);
}

// Stores the outcome of a search step in the caller's state: 1 when a device became current, 0 when
// the search ended (the next one starts over) or found another family than the primed one.
static int16_t FinishSearch(TmexStateBuffer* state, SearchState& s, SearchResult r, const RomBytes& found,
                            bool primedFamilyOnly) {
    if (r == SearchResult::Error) return kErrPacket;
    if (r == SearchResult::None) {
        s.hasLastFound = 0;
        s.primed = 0;
        StoreState(state, s);
        return 0;
    }
    s.lastFound = found;
    s.hasLastFound = 1;
    if (primedFamilyOnly && found[0] != s.primedPosition[0]) {
        StoreState(state, s);
        return 0;
    }
    s.current = found;
    s.hasCurrent = 1;
    StoreState(state, s);
    return 1;
}

int16_t First(SessionHandle session, TmexStateBuffer* state) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!state) return 0;
    CallScope call(bus, "FIRST");
    SearchState s = LoadState(state);
    RomBytes target = s.primed ? s.primedPosition : RomBytes{};
    RomBytes found{};
    SearchResult r = SearchFrom(*bus, target, found);
    // Our choice: when the first device found is not of the primed family, nothing was found.
    return call.Done(FinishSearch(state, s, r, found, s.primed != 0));
}

int16_t Next(SessionHandle session, TmexStateBuffer* state) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!state) return 0;
    CallScope call(bus, "NEXT");
    SearchState s = LoadState(state);
    RomBytes target{};
    bool more = true;
    if (s.hasLastFound) {
        target = s.lastFound;
        more = Increment(target);
    } else if (s.primed) {
        target = s.primedPosition;
    }
    RomBytes found{};
    SearchResult r = more ? SearchFrom(*bus, target, found) : SearchResult::None;
    return call.Done(FinishSearch(state, s, r, found, false)); // Next runs on into other families
}

int16_t ReadPageWithCounter(SessionHandle session, TmexStateBuffer* state, int16_t page, uint8_t* buffer) {
    Backend* bus = SessionBackend(session);
    if (!bus) return kErrInvalidSession;
    if (!state || !buffer || page < 0 || page > 15) return kErrPacket;
    CallScope call(bus, "PWC", [&] { return std::to_string(page); });
    SearchState s = LoadState(state);
    int16_t access = DoAccess(*bus, s);
    if (access != 1) return call.Done<int16_t>(access < 0 ? access : kErrDeviceNotFound);
    uint16_t address = static_cast<uint16_t>(page * 32);
    uint8_t header[3] = {0xA5, static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8)};
    uint16_t crc = Crc16(header);
    int16_t r = bus->TouchBlock(header, 3);
    if (r < 0) return call.Done(r);
    uint8_t data[42];
    std::memset(data, 0xFF, sizeof data);
    r = bus->TouchBlock(data, 42);
    if (r < 0) return call.Done(r);
    if (Crc16(data, crc) != kCrc16Residue) return call.Done(kErrPacket);
    std::memcpy(buffer, data, 40);
    return call.Done<int16_t>(40);
}

// --- ports and backends ------------------------------------------------------------------------------

void InstallBackend(int16_t portNum, int16_t portType, std::shared_ptr<Backend> backend) {
    PortKey key = KeyOf(portNum, portType);
    CloseSessionOfPort(key);
    D().Forget();
    if (backend)
        D().backends[key] = std::move(backend);
    else
        D().backends.erase(key);
}

void RemoveBackend(int16_t portNum, int16_t portType) {
    InstallBackend(portNum, portType, nullptr);
}

std::shared_ptr<Backend> FindBackend(int16_t portNum, int16_t portType) {
    return BackendFor(portNum, portType, false);
}

bool AdapterAnswers(int16_t portNum, int16_t portType) {
    auto backend = BackendFor(portNum, portType, false);
    return backend && backend->AdapterAnswers();
}

void RegisterPortType(int16_t portType, PortTypeDriver driver) {
    D().portTypes[portType] = std::move(driver);
}

void UnregisterPortType(int16_t portType) {
    D().portTypes.erase(portType);
}

std::vector<std::pair<int16_t, std::string>> RegisteredPortTypes() {
    std::vector<std::pair<int16_t, std::string>> types;
    for (const auto& [type, driver] : D().portTypes)
        types.emplace_back(type, driver.version);
    return types;
}

void ResetDriver() {
    auto& d = D();
    while (!d.sessions.empty()) // in the order of their ports
        CloseSessionOfPort(
            std::min_element(d.sessions.begin(), d.sessions.end(), [](const auto& a, const auto& b) {
                return a.port < b.port;
            })->port);
    d.backends.clear();
    d.Forget();
    d.defaultOverride.reset();
    d.settingsPath = "tmex.ini";
    d.log = nullptr;
    DS2480Backend::SetAnswerTimeoutMs(DS2480Backend::kAnswerTimeoutMs);
}

void SetDefaultPortOverride(int16_t portNum, int16_t portType) {
    D().defaultOverride = {portNum, portType};
}
void ClearDefaultPortOverride() {
    D().defaultOverride.reset();
}
void SetDriverSettingsPath(const std::string& path) {
    D().settingsPath = path;
}
const std::string& DriverSettingsPath() {
    return D().settingsPath;
}

void SetDriverLog(std::function<void(const std::string&)> log) {
    D().log = std::move(log);
}

void DriverLog(const std::string& text) {
    if (D().log) {
        D().log(text);
        return;
    }
    std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace platform::tmex
