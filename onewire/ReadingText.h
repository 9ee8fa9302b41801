#pragma once
// A sensor's text of its last reading, made from the reading's numbers only when someone reads it: a
// round of readings shows it nowhere, so it is not formatted at every reading. The numbers are kept as
// they were read, so the text is that of the reading whatever changed since.
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>

class ReadingText {
public:
    ReadingText& operator=(std::string text) {
        text_ = std::move(text);
        format_ = nullptr;
        return *this;
    }
    // The text Format(format, numbers...) gives: a literal printf format of at most four floating
    // conversions (the numbers are passed as doubles, as a float is passed to printf).
    void SetNumbers(const char* format, std::initializer_list<double> numbers);
    void clear() { *this = std::string(); }

    std::string str() const;
    operator std::string() const { return str(); }
    friend bool operator==(const ReadingText& a, std::string_view b) { return a.str() == b; }
    friend std::ostream& operator<<(std::ostream& out, const ReadingText& text);

private:
    static constexpr size_t kMaxNumbers = 4;
    std::string text_;
    const char* format_ = nullptr; // numbers to be formatted, or text_ as it is
    double numbers_[kMaxNumbers] = {};
};
