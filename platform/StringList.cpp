#include "platform/StringList.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Strings.h"

namespace platform {

int TStringList::AddObject(const std::string& text, void* object) {
    int index = Count();
    if (sorted_) {
        if (Find(text, index)) return index;
    }
    items_.insert(items_.begin() + index, Item{text, object});
    return index;
}

void TStringList::Insert(int index, const std::string& text) {
    if (index < 0 || index > Count())
        throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
    items_.insert(items_.begin() + index, Item{text, nullptr});
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EStringListError("List index out of bounds (" + IntToStr(index) + ")");
    items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(const std::string& text) const {
    if (sorted_) {
        int index;
        return Find(text, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<size_t>(i)].text, text)) return i;
    return -1;
}

bool TStringList::Find(const std::string& text, int& index) const {
    int lo = 0, hi = Count() - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = CompareText(items_[static_cast<size_t>(mid)].text, text);
        if (c == 0) {
            index = mid;
            return true;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    index = lo;
    return false;
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !sorted_) {
        std::stable_sort(items_.begin(), items_.end(),
                         [](const Item& a, const Item& b) { return CompareText(a.text, b.text) < 0; });
    }
    sorted_ = sorted;
}

std::string TStringList::Text() const {
    std::string out;
    for (const auto& item : items_)
        out += item.text + "\r\n";
    return out;
}

void TStringList::SetText(const std::string& text) {
    Clear();
    for (const auto& line : SplitLines(text))
        Add(line);
}

bool TStringList::LoadFromFile(const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, content)) return false;
    SetText(content);
    return true;
}

bool TStringList::SaveToFile(const std::string& path) const {
    return WriteWholeFile(path, Text());
}

} // namespace platform
