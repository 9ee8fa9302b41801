#include "onewire/ReadingText.h"

#include <algorithm>
#include <ostream>

#include "platform/Strings.h"

void ReadingText::SetNumbers(const char* format, std::initializer_list<double> numbers) {
    std::fill(std::begin(numbers_), std::end(numbers_), 0.0);
    std::copy_n(numbers.begin(), std::min(numbers.size(), kMaxNumbers), numbers_);
    format_ = format;
}

std::string ReadingText::str() const {
    if (!format_) return text_;
    // Numbers the format has no conversion for are passed and left alone, as printf leaves them.
    return platform::Format(format_, numbers_[0], numbers_[1], numbers_[2], numbers_[3]);
}

std::ostream& operator<<(std::ostream& out, const ReadingText& text) {
    return out << text.str();
}
