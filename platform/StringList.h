#pragma once
// A list of strings with optional sorting (case-insensitive, duplicates ignored when sorted) and an
// object pointer per line, as the class library's string list.
#include <string>
#include <vector>

namespace platform {

class TStringList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int index) const { return items_.at(static_cast<size_t>(index)).text; }
    const std::string& Strings(int index) const { return (*this)[index]; }
    void* Objects(int index) const { return items_.at(static_cast<size_t>(index)).object; }

    // Adds the text (at its sorted place when Sorted); returns its index. A sorted list ignores a
    // duplicate and returns the index of the existing entry.
    int Add(const std::string& text) { return AddObject(text, nullptr); }
    int AddObject(const std::string& text, void* object);
    void Insert(int index, const std::string& text);
    void Delete(int index);
    void Clear() { items_.clear(); }
    int IndexOf(const std::string& text) const; // case-insensitive
    // Binary search of a sorted list: true when found; index = where it is or would be.
    bool Find(const std::string& text, int& index) const;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);

    // Lines joined with CR LF after each, as the class library's Text.
    std::string Text() const;
    void SetText(const std::string& text);

    void BeginUpdate() { ++updating_; }
    void EndUpdate() {
        if (updating_ > 0) --updating_;
    }
    bool Updating() const { return updating_ > 0; }

    bool LoadFromFile(const std::string& path);
    bool SaveToFile(const std::string& path) const;

private:
    struct Item {
        std::string text;
        void* object = nullptr;
    };
    std::vector<Item> items_;
    bool sorted_ = false;
    int updating_ = 0;
};

} // namespace platform
