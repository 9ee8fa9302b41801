#pragma once
// INI files with the profile semantics the station relies on: case-insensitive section and key names,
// every write on disk at once (but those a Deferral holds), several objects on one file always
// coherent, comments, order and unknown lines kept, CR LF line ends. What the program wrote is kept in
// memory even when the disk refuses it: a failed write is told once (platform/FileProblems.h) and the
// next write tries the whole file again; a file deleted while the program runs is written back. What
// another program changes in the file meanwhile is taken in, with our unwritten changes on top.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class TStringList;
class IniDocument;

class TIniFile {
public:
    explicit TIniFile(const std::string& fileName);
    const std::string& FileName() const { return fileName_; }

    // Value text when the key exists (also when empty), else def. Blanks around the value and one pair
    // of enclosing quotes are removed.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // Whole-text integer ("$"/"0x" hex accepted); anything else gives def. A value that is there but
    // does not parse is told once with the default used.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    // 0 is false, any other integer true; text that is no integer gives def.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    // '.' is the decimal point: "1,5" is no number.
    double ReadFloat(const std::string& section, const std::string& key, double def) const;

    // Writes reach the disk before they return when the disk takes them; they never throw.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteFloat(const std::string& section, const std::string& key, double value);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    void ReadSections(TStringList& sections) const;
    void ReadSection(const std::string& section, TStringList& keys) const;
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);

    // Called with the file's name as given, the section and the key of every key a read asks for (a
    // read of a value, or a test whether it is there); null for none. For the tests that hold the
    // settings reference to the keys the station reads.
    using ReadObserver =
        std::function<void(const std::string& file, const std::string& section, const std::string& key)>;
    static void SetReadObserver(ReadObserver observer);

    // Drops the process-wide cache (tests that edit files behind the program's back need nothing of
    // this: a changed file is re-read by itself).
    static void FlushCache();

    // Writes made between BeginBatch and the matching EndBatch reach the disk together at EndBatch, one
    // rewrite per file instead of one per key; every TIniFile of the process sees them at once all the
    // same.
    static void BeginBatch();
    static void EndBatch();
    // A batch for the lifetime of the object.
    class Batch {
    public:
        Batch() { BeginBatch(); }
        ~Batch() { EndBatch(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
    };

    // Writes that the code holding a Deferral makes (the reading round's new highs and lows) are seen
    // by every TIniFile of the process at once, but reach the disk at most once per kDeferredWriteMs of
    // the installed clock: when the outermost Deferral closes and that long has passed since the file
    // was last written (or tried). Any other write of the file takes them along at once, also one made
    // by a handler that the event loop runs while the holder waits in it (a user's command is never
    // held), and so does FlushDeferred. A crash loses at most that last stretch of them.
    class Deferral {
    public:
        Deferral();
        ~Deferral();
        Deferral(const Deferral&) = delete;
        Deferral& operator=(const Deferral&) = delete;
    };
    static constexpr uint32_t kDeferredWriteMs = 60000;
    // Writes every file that holds deferred writes now.
    static void FlushDeferred();

private:
    std::shared_ptr<IniDocument> Document() const;
    std::string fileName_;
};

} // namespace platform
