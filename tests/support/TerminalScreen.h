#pragma once
// What a terminal shows of the bytes written to it, for tests: the rows, top to bottom, of a terminal
// `columns` wide with unlimited scroll-back. It knows what the station writes: printable characters
// (UTF-8, one column each), a line feed (as the terminal's output processing makes it: to the start
// of the next row), a carriage return, the bell (nothing shown) and "ESC [ K" (erase from the cursor
// to the end of the row). A character written past the last column starts a new row, as a terminal
// wraps. Any other escape sequence is counted, so that a test can insist there is none.
#include <string>
#include <string_view>
#include <vector>

namespace korvane_test {

class TerminalScreen {
public:
    explicit TerminalScreen(size_t columns) : columns_(columns), rows_(1) {}

    void Feed(std::string_view bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c == '\n') {
                NextRow();
            } else if (c == '\r') {
                column_ = 0;
            } else if (c == '\a') {
            } else if (c == 0x1b) {
                i = Escape(bytes, i);
            } else if (c >= 0x20) {
                size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
                Put(std::string(bytes.substr(i, length)));
                i += length - 1;
            }
        }
    }

    // The rows as text, trailing blanks cut. The last row is where the cursor is (often empty).
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const std::vector<std::string>& cells : rows_) {
            std::string text;
            for (const std::string& cell : cells)
                text += cell;
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            rows.push_back(text);
        }
        return rows;
    }
    // Escape sequences other than the erase to the end of the row.
    int UnknownSequences() const { return unknown_; }

private:
    void NextRow() {
        ++row_;
        column_ = 0;
        if (row_ == rows_.size()) rows_.emplace_back();
    }
    void Put(std::string cell) {
        if (column_ == columns_) NextRow();
        std::vector<std::string>& cells = rows_[row_];
        if (cells.size() <= column_) cells.resize(column_ + 1, " ");
        cells[column_++] = std::move(cell);
    }
    // The sequence starting at bytes[i] (ESC); returns the index of its last byte.
    size_t Escape(std::string_view bytes, size_t i) {
        if (bytes.substr(i, 3) == "\x1b[K" || bytes.substr(i, 4) == "\x1b[0K") {
            std::vector<std::string>& cells = rows_[row_];
            if (cells.size() > column_) cells.resize(column_);
            return i + (bytes[i + 2] == 'K' ? 2 : 3);
        }
        ++unknown_;
        return i;
    }

    size_t columns_;
    std::vector<std::vector<std::string>> rows_;
    size_t row_ = 0, column_ = 0;
    int unknown_ = 0;
};

} // namespace korvane_test
