#include "platform/IniFile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <deque>
#include <map>
#include <string_view>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/FileProblems.h"
#include "platform/Files.h"
#include "platform/HostPaths.h"
#include "platform/StringList.h"
#include "platform/Strings.h"

namespace platform {

// One change the program made to a document: kept until the file holds it, so that it can be made
// again on top of what another program wrote to the file meanwhile.
struct IniChange {
    enum class Kind { Set, DeleteKey, EraseSection };
    Kind kind;
    std::string section, key, value;
    bool superseded = false; // by a later change of the same key
};

// One parsed file, shared by every TIniFile on the same path. Its lines are the truth: a write that
// fails keeps them and the next write tries the whole document again, and a file that vanishes while
// the program runs is written back from them. It notices changes made by other programs through the
// file's size, modification time and inode; while the modification time is too recent to tell two
// writes apart (file systems keep it in coarse steps), through the content. Such a change is taken in,
// and the changes of ours that the file does not hold yet are made again on top of it.
class IniDocument {
public:
    explicit IniDocument(std::string path) : path_(std::move(path)) {}

    // The name as it resolves now: a file that appeared under another spelling is the one to use. A
    // spelling that names nothing (the file vanished) leaves the file where it was.
    void SetPath(const std::string& path) {
        if (path == path_) return;
        if (loaded_ && (unsaved_ || !StampOf(path).exists)) return;
        path_ = path;
        loaded_ = false;
    }

    // Takes in what another program changed. With `whilePresent`, a file that is not there is left
    // to the caller (false) and nothing is done.
    bool Refresh(bool whilePresent = false) {
        long long checkedAt = FileSystemNowNs(); // before the look, so a write during it counts as later
        Stamp stamp = StampOf(path_);
        if (unsaved_) {
            // Our unwritten changes are the newest text; a file that vanished gets them at the next
            // write, one that another program changed is read again beneath them.
            if (!stamp.exists || (stamp == stamp_ && !Racy(stamp, checkedAt_))) return true;
            TakeIn(stamp, checkedAt);
            return true;
        }
        if (whilePresent && !stamp.exists) return false;
        if (loaded_ && stamp == stamp_ && !Racy(stamp, checkedAt_)) return true;
        if (loaded_ && stamp_.exists && !stamp.exists) {
            Flush(); // deleted behind our back: what we hold is all that is left of it
            return true;
        }
        TakeIn(stamp, checkedAt);
        return true;
    }

    // Index of the section's (first) header line, or -1.
    int FindSection(const std::string& section) const {
        const Index& index = Indexed();
        auto found = index.sections.find(std::string_view(section));
        return found == index.sections.end() ? -1 : found->second.header;
    }

    // End (exclusive) of the section starting at header line `start`.
    int SectionEnd(int start) const {
        size_t i = static_cast<size_t>(start) + 1;
        std::string_view name;
        while (i < lines_.size() && !SectionNameView(lines_[i], name))
            ++i;
        return static_cast<int>(i);
    }

    // Index of the key's (first) line in the section starting at header line `sectionLine`, or -1.
    int FindKey(int sectionLine, const std::string& key) const {
        if (sectionLine < 0) return -1;
        const Index& index = Indexed();
        auto section = index.byHeader.find(sectionLine);
        if (section == index.byHeader.end()) return ScanKey(sectionLine, key);
        auto found = section->second->keys.find(std::string_view(key));
        return found == section->second->keys.end() ? -1 : found->second;
    }

    // The same by looking at each line of the section (one that is not the first of its name).
    int ScanKey(int sectionLine, const std::string& key) const {
        int end = SectionEnd(sectionLine);
        for (int i = sectionLine + 1; i < end; ++i) {
            std::string_view k;
            if (KeyView(lines_[static_cast<size_t>(i)], k) && SameText(k, key)) return i;
        }
        return -1;
    }

    static bool SectionName(const std::string& line, std::string& name) {
        std::string_view view;
        if (!SectionNameView(line, view)) return false;
        name.assign(view);
        return true;
    }

    static bool KeyValue(const std::string& line, std::string& key, std::string& value) {
        std::string_view k;
        if (!KeyView(line, k)) return false;
        std::string_view t = TrimView(line);
        std::string_view v = TrimView(t.substr(t.find('=') + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        key.assign(k);
        value.assign(v);
        return true;
    }
    // Makes a change to the lines; false when they already said so.
    bool Apply(const IniChange& change) {
        switch (change.kind) {
        case IniChange::Kind::Set:
            return SetValue(change.section, change.key, change.value);
        case IniChange::Kind::DeleteKey: {
            int line = FindKey(FindSection(change.section), change.key);
            if (line < 0) return false;
            lines_.erase(lines_.begin() + line);
            Reindex();
            return true;
        }
        case IniChange::Kind::EraseSection: {
            int start = FindSection(change.section);
            if (start < 0) return false;
            lines_.erase(lines_.begin() + start, lines_.begin() + SectionEnd(start));
            Reindex();
            return true;
        }
        }
        return false;
    }

    // Makes a change and has it written: at once, at the end of the batch, or (held) when the deferral
    // closes and the file is due. A change the lines already hold is written only when they still
    // hold others the disk lacks.
    void Change(IniChange change, bool held) {
        if (!Apply(change) && !unsaved_) return;
        Remember(std::move(change));
        unsaved_ = true;
        if (held)
            deferred_ = true;
        else if (batchDepth > 0)
            batched_ = true;
        else
            Write();
    }

    // Writes the document when the batch that closes changed it.
    void EndBatch() {
        if (!batched_) return;
        batched_ = false;
        Write();
    }

    // Writes the held changes when `always`, or when the file was last written (or tried) a deferral
    // interval ago.
    void WriteHeld(bool always) {
        if (!deferred_ || !unsaved_) return;
        uint64_t now = Clock::Get().MonotonicMs();
        if (!always && tried_ && now >= lastTryMs_ && now - lastTryMs_ < TIniFile::kDeferredWriteMs) return;
        Write();
    }

    // Takes in what another program wrote since the last look (inside a scope the looks are spared),
    // then writes the whole document.
    void Write() {
        Refresh();
        Flush();
    }

    // Writes the whole document. A failure (told by the writer) keeps it unsaved for the next write.
    void Flush() {
        std::string raw = Joined();
        long long checkedAt = FileSystemNowNs();
        tried_ = true;
        lastTryMs_ = Clock::Get().MonotonicMs();
        unsaved_ = !WriteWholeFile(path_, raw, FileMode::Binary);
        if (unsaved_) return;
        deferred_ = batched_ = false;
        changes_.clear();
        latestChange_.clear();
        raw_ = std::move(raw);
        stamp_ = StampOf(path_);
        checkedAt_ = checkedAt;
    }

    const std::vector<std::string>& Lines() const { return lines_; }

    // The lines as the file's bytes: each ended by CR LF, a line feed within a line given a CR before
    // it too, and no CR doubled (ToCrLf of the lines joined by LF).
    std::string Joined() const {
        size_t size = 0;
        for (const auto& line : lines_)
            size += line.size() + 2;
        std::string raw;
        raw.reserve(size);
        for (const auto& line : lines_) {
            const size_t start = raw.size();
            if (line.find('\n') == std::string::npos)
                raw += line;
            else
                raw += ToCrLf(line);
            if (raw.size() == start || raw.back() != '\r') raw += '\r';
            raw += '\n';
        }
        return raw;
    }

private:
    struct Stamp {
        bool exists = false;
        long long size = 0;
        long long sec = 0;
        long long nsec = 0;
        unsigned long long inode = 0;
        bool operator==(const Stamp&) const = default;
    };

    static Stamp StampOf(const std::string& path) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return {};
        return Stamp{true, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ino};
    }

    // "[name]" with blanks around the line and the name.
    static bool SectionNameView(std::string_view line, std::string_view& name) {
        std::string_view t = TrimView(line);
        if (t.size() < 2 || t[0] != '[') return false;
        size_t close = t.find(']');
        if (close == std::string_view::npos) return false;
        name = TrimView(t.substr(1, close - 1));
        return true;
    }

    // The key of a "key=value" line (not a comment or a section header).
    static bool KeyView(std::string_view line, std::string_view& key) {
        std::string_view t = TrimView(line);
        if (t.empty() || t[0] == ';' || t[0] == '[') return false;
        size_t eq = t.find('=');
        if (eq == std::string_view::npos) return false;
        key = TrimView(t.substr(0, eq));
        return !key.empty();
    }

    // Reads the file (when its bytes differ from those the lines came from) and makes our unwritten
    // changes again on top of it.
    void TakeIn(const Stamp& stamp, long long checkedAt) {
        std::string raw;
        if (!(stamp.exists && ReadWholeFile(path_, raw, FileMode::Binary))) raw.clear();
        if (!loaded_ || raw != raw_) {
            lines_ = SplitLines(raw);
            Reindex();
            raw_ = std::move(raw);
            for (const IniChange& change : changes_)
                if (!change.superseded) Apply(change);
        }
        stamp_ = stamp;
        checkedAt_ = checkedAt;
        loaded_ = true;
    }

    // Keeps a change until the file holds it; one that an earlier change of the same key (or section)
    // no longer matters for replaces it, so the list stays as short as the keys changed.
    void Remember(IniChange change) {
        if (change.kind == IniChange::Kind::EraseSection) {
            std::erase_if(changes_, [&](const IniChange& old) {
                return old.superseded || SameText(old.section, change.section);
            });
            changes_.push_back(std::move(change));
            latestChange_.clear();
            for (size_t i = 0; i < changes_.size(); ++i)
                if (changes_[i].kind != IniChange::Kind::EraseSection) latestChange_.emplace(KeyOf(changes_[i]), i);
            return;
        }
        if (auto old = latestChange_.find(KeyOf(change)); old != latestChange_.end()) {
            changes_[old->second].superseded = true;
            latestChange_.erase(old);
        }
        changes_.push_back(std::move(change));
        latestChange_.emplace(KeyOf(changes_.back()), changes_.size() - 1);
    }

    // A key's line set to the value (added after the section's last non-blank line, or with a new
    // section at the end); false when it said so already.
    bool SetValue(const std::string& section, const std::string& key, const std::string& value) {
        int sectionLine = FindSection(section);
        if (sectionLine < 0) {
            lines_.push_back("[" + section + "]");
            lines_.push_back(key + "=" + value);
            Reindex();
            return true;
        }
        int keyLine = FindKey(sectionLine, key);
        if (keyLine >= 0) {
            std::string& line = lines_[static_cast<size_t>(keyLine)];
            std::string_view k;
            KeyView(line, k);
            // The file already says so (the line is "key=value" as it would be written): rewriting it
            // would change nothing but its time stamp (the hourly save of every sensor writes mostly
            // unchanged keys).
            if (k.data() == line.data() && line.size() == k.size() + 1 + value.size() && line[k.size()] == '=' &&
                line.compare(k.size() + 1, std::string::npos, value) == 0)
                return false;
            // Keeps its key, so the index holds: the line is still a key line of that name.
            std::string written;
            written.reserve(k.size() + 1 + value.size());
            written.append(k).append(1, '=').append(value);
            line = std::move(written);
            return true;
        }
        int at = SectionEnd(sectionLine);
        while (at > sectionLine + 1 && Trim(lines_[static_cast<size_t>(at - 1)]).empty())
            --at;
        lines_.insert(lines_.begin() + at, key + "=" + value);
        Reindex();
        return true;
    }

    // Case-blind hashing and comparing of names, as SameText compares them.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const {
            size_t h = 14695981039346656037ULL;
            for (char c : name)
                h = (h ^ static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c)) * 1099511628211ULL;
            return h;
        }
    };
    struct NameEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const { return SameText(a, b); }
    };
    template <typename T>
    using NameMap = std::unordered_map<std::string, T, NameHash, NameEqual>;

    // Where each section's header and each key of it are: the first line of each name, as a scan from
    // the top finds it. It is made from the lines when first asked for after Reindex; every change to
    // the lines that inserts or erases one (or replaces them all) calls Reindex, and the one change
    // made in place (a key line's value) keeps the line a key line of the same name, so it cannot go
    // stale.
    struct SectionIndex {
        int header = -1;
        NameMap<int> keys;
    };
    struct Index {
        NameMap<SectionIndex> sections;
        std::unordered_map<int, const SectionIndex*> byHeader; // the first header of each name only
    };

    void Reindex() { indexed_ = false; }

    // A change's section and key, compared as names are.
    using ChangeKey = std::pair<std::string_view, std::string_view>;
    static ChangeKey KeyOf(const IniChange& change) { return {change.section, change.key}; }
    struct ChangeKeyHash {
        size_t operator()(const ChangeKey& k) const { return NameHash()(k.first) * 31 + NameHash()(k.second); }
    };
    struct ChangeKeyEqual {
        bool operator()(const ChangeKey& a, const ChangeKey& b) const {
            return SameText(a.first, b.first) && SameText(a.second, b.second);
        }
    };

    const Index& Indexed() const {
        if (indexed_) return index_;
        index_.sections.clear();
        index_.byHeader.clear();
        SectionIndex* current = nullptr; // the section the lines belong to, when it is the first of its name
        for (size_t i = 0; i < lines_.size(); ++i) {
            std::string_view name;
            if (SectionNameView(lines_[i], name)) {
                auto [at, added] = index_.sections.try_emplace(std::string(name));
                current = added ? &at->second : nullptr;
                if (!current) continue;
                current->header = static_cast<int>(i);
                index_.byHeader.emplace(static_cast<int>(i), current);
            } else if (current && KeyView(lines_[i], name)) {
                current->keys.try_emplace(std::string(name), static_cast<int>(i));
            }
        }
        indexed_ = true;
        return index_;
    }

    // True when another write could still leave the same time stamp: the file was modified less than
    // one time stamp step before we last looked at it. File systems that keep whole seconds (FAT, some
    // network file systems; seen as a zero fraction) step by up to 2 s; the others by a clock tick.
    static bool Racy(const Stamp& stamp, long long checkedAt) {
        const long long stepNs = stamp.nsec == 0 ? 2000000000LL : 20000000LL;
        return stamp.exists && stamp.sec * 1000000000LL + stamp.nsec + stepNs > checkedAt;
    }

public:
    static inline int batchDepth = 0;
    // The pump levels of the event loop at which the open deferrals were made, innermost last.
    static inline std::vector<int> deferralLevels;
    // Inside a batch or a deferral (a reading round, the save of every sensor) a document is looked at
    // on disk once: what another program writes meanwhile is taken in by the next scope, or before the
    // document is written. The count of outermost scopes opened tells one scope from the next.
    static bool InScope() { return batchDepth > 0 || !deferralLevels.empty(); }
    static void OpenScope() {
        if (!InScope()) ++scopeCount;
    }
    static inline uint64_t scopeCount = 0;
    uint64_t lookedInScope = UINT64_MAX;

    const std::string& Path() const { return path_; }

private:
    bool unsaved_ = false;
    bool batched_ = false;
    bool deferred_ = false;    // holds changes made under a deferral
    bool tried_ = false;       // written (or tried) since it was loaded
    uint64_t lastTryMs_ = 0;   // the clock's monotonic time of that write
    std::deque<IniChange> changes_; // made since the file last took a write of ours
    // Where the latest key change (set or delete) of each section and key is in changes_, with views of
    // the names in that entry (a deque keeps its entries in place as it grows). Remade whenever entries
    // are removed, cleared with the list; so it always names the one entry of that key not superseded.
    std::unordered_map<ChangeKey, size_t, ChangeKeyHash, ChangeKeyEqual> latestChange_;
    std::string path_;
    std::vector<std::string> lines_;
    std::string raw_; // the file's bytes that lines_ came from
    mutable Index index_;
    mutable bool indexed_ = false;
    Stamp stamp_;
    long long checkedAt_ = 0;
    bool loaded_ = false;
};

namespace {
std::map<std::string, std::shared_ptr<IniDocument>>& Cache() {
    static std::map<std::string, std::shared_ptr<IniDocument>> cache;
    return cache;
}

// Names from the root and what they resolved to.
struct KnownName {
    std::weak_ptr<IniDocument> document;
    std::string resolved;
    bool exact; // every part there as spelt
};
std::map<std::string, KnownName>& KnownNames() {
    static std::map<std::string, KnownName> names;
    return names;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string CanonicalKey(const std::string& resolved) {
    // The folder made canonical, the name lower-cased: one key whether the file exists yet or not. A
    // folder that does not exist (yet) is made canonical from its nearest existing parent, so that the
    // key stays the same when it appears.
    size_t slash = resolved.rfind('/');
    std::string dir = slash == std::string::npos ? "." : resolved.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
    std::string missing;
    char buffer[PATH_MAX];
    while (!::realpath(dir.c_str(), buffer)) {
        size_t up = dir.rfind('/');
        if (up == std::string::npos) {
            missing.insert(0, dir);
            missing.insert(0, 1, '/');
            dir.assign(1, '.');
        } else if (up == 0) {
            return LowerCase(resolved);
        } else {
            missing = dir.substr(up) + missing;
            dir.resize(up);
        }
        if (dir == "." && !::realpath(dir.c_str(), buffer)) return LowerCase(resolved);
    }
    return std::string(buffer) + missing + "/" + LowerCase(name);
}

} // namespace

TIniFile::TIniFile(const std::string& fileName) : fileName_(fileName) {}

std::shared_ptr<IniDocument> TIniFile::Document() const {
    // A name resolves to the same file while that file is there and (when it was spelt otherwise) no
    // file of its own spelling appeared: the look at each part, the folder's listing and its real path
    // are skipped. Inside a scope the document is looked at once.
    auto& names = KnownNames();
    if (auto known = names.find(fileName_); known != names.end()) {
        auto doc = known->second.document.lock();
        if (doc && IniDocument::InScope() && doc->lookedInScope == IniDocument::scopeCount) return doc;
        if (doc && doc->Path() == known->second.resolved && (known->second.exact || !Exists(fileName_)) &&
            doc->Refresh(true)) {
            doc->lookedInScope = IniDocument::scopeCount;
            return doc;
        }
        names.erase(known);
    }
    std::string resolved = ResolvePath(fileName_);
    std::string key = CanonicalKey(resolved);
    auto& slot = Cache()[key];
    if (!slot) slot = std::make_shared<IniDocument>(resolved);
    slot->SetPath(resolved);
    slot->Refresh();
    slot->lookedInScope = IniDocument::scopeCount;
    // Only a name from the root: a relative one names another file once the working folder changes.
    if (slot->Path() == resolved && !fileName_.empty() && fileName_[0] == '/')
        names[fileName_] = KnownName{slot, resolved, resolved == fileName_};
    return slot;
}

void TIniFile::FlushCache() {
    Cache().clear();
    KnownNames().clear();
}

void TIniFile::BeginBatch() {
    IniDocument::OpenScope();
    ++IniDocument::batchDepth;
}

void TIniFile::EndBatch() {
    if (IniDocument::batchDepth == 0 || --IniDocument::batchDepth > 0) return;
    for (auto& [key, doc] : Cache())
        doc->EndBatch();
}

TIniFile::Deferral::Deferral() {
    IniDocument::OpenScope();
    IniDocument::deferralLevels.push_back(EventLoop::Get().PumpLevel());
}

TIniFile::Deferral::~Deferral() {
    IniDocument::deferralLevels.pop_back();
    if (!IniDocument::deferralLevels.empty()) return;
    for (auto& [key, doc] : Cache())
        doc->WriteHeld(false);
}

void TIniFile::FlushDeferred() {
    for (auto& [key, doc] : Cache())
        doc->WriteHeld(true);
}

namespace {
// A write is held when the code that opened a deferral makes it, not a handler that the loop runs
// while that code waits in it.
bool Held() {
    const auto& levels = IniDocument::deferralLevels;
    return !levels.empty() && levels.back() == EventLoop::Get().PumpLevel();
}
} // namespace

namespace {
TIniFile::ReadObserver& Observer() {
    static TIniFile::ReadObserver observer;
    return observer;
}
} // namespace

void TIniFile::SetReadObserver(ReadObserver observer) {
    Observer() = std::move(observer);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    if (Observer()) Observer()(fileName_, section, key);
    auto doc = Document();
    int line = doc->FindKey(doc->FindSection(section), key);
    if (line < 0) return def;
    std::string k, v;
    IniDocument::KeyValue(doc->Lines()[static_cast<size_t>(line)], k, v);
    return v;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    std::string text = ReadString(section, key, "");
    long long value;
    if (TryStrToInt(text, value) && value >= INT32_MIN && value <= INT32_MAX) return static_cast<int>(value);
    if (!text.empty()) NoteUnparsedValue(Document()->Path(), section, key, text, IntToStr(def));
    return def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
    std::string text = ReadString(section, key, "");
    double value;
    if (TryStrToFloat(text, value)) return value;
    if (!text.empty()) NoteUnparsedValue(Document()->Path(), section, key, text, FloatToStr(def));
    return def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    Document()->Change({IniChange::Kind::Set, section, key, value}, Held());
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, IntToStr(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FloatToStr(value));
}

bool TIniFile::SectionExists(const std::string& section) const {
    return Document()->FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    if (Observer()) Observer()(fileName_, section, key);
    auto doc = Document();
    return doc->FindKey(doc->FindSection(section), key) >= 0;
}

void TIniFile::ReadSections(TStringList& sections) const {
    sections.Clear();
    auto doc = Document();
    for (const auto& line : doc->Lines()) {
        std::string name;
        if (IniDocument::SectionName(line, name) && sections.IndexOf(name) < 0) sections.Add(name);
    }
}

void TIniFile::ReadSection(const std::string& section, TStringList& keys) const {
    keys.Clear();
    auto doc = Document();
    int start = doc->FindSection(section);
    if (start < 0) return;
    int end = doc->SectionEnd(start);
    for (int i = start + 1; i < end; ++i) {
        std::string k, v;
        if (IniDocument::KeyValue(doc->Lines()[static_cast<size_t>(i)], k, v) && keys.IndexOf(k) < 0)
            keys.Add(k);
    }
}

void TIniFile::EraseSection(const std::string& section) {
    Document()->Change({IniChange::Kind::EraseSection, section, {}, {}}, Held());
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    Document()->Change({IniChange::Kind::DeleteKey, section, key, {}}, Held());
}

} // namespace platform
