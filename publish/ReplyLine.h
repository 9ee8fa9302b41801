#pragma once
// How a peer's reply begins, for a log line that says why the reply was not taken: its first line.
#include <cstddef>
#include <string>

// The line of `text` that starts at `from`, up to its line break and at most `limit` bytes, with every
// byte that is not printable text shown as '?'; empty when `from` is at or past the end.
std::string ShownReplyLine(const std::string& text, size_t from, size_t limit);
