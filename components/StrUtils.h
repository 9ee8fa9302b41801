#pragma once
// String helpers of the form components on the program's 8-bit texts.
#include <string>
#include <string_view>

namespace components {

// N copies of C; empty when N is below 1.
std::string MakeStr(char c, int n);
// S with every occurrence of Srch replaced, left to right; the replacement text is not searched
// again. An empty Srch leaves S unchanged.
std::string ReplaceStr(const std::string& s, const std::string& srch, const std::string& replace);
// The N-th word (from 1) of S, words being the runs between any of the delimiter characters; empty
// when there is no such word or N is below 1.
std::string ExtractWord(int n, const std::string& s, std::string_view wordDelims);
// S without any occurrence of the character Chr.
std::string DelChars(const std::string& s, char chr);

} // namespace components
