#include "platform/graphics/DrawText.h"

#include <vector>

namespace platform::gfx {

std::string StripPrefix(const std::string& text, int* underlined) {
    std::string out;
    if (underlined) *underlined = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && underlined && *underlined < 0) *underlined = static_cast<int>(out.size());
        }
        out += text[i];
    }
    return out;
}

namespace {
std::string ExpandTabs(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\t')
            out.append(8 - out.size() % 8, ' ');
        else
            out += c;
    }
    return out;
}

// Splits into lines at line feeds and, with word breaks, between words that would pass the width.
std::vector<std::string> Lines(const Canvas& canvas, const std::string& text, int width, unsigned flags) {
    std::vector<std::string> lines;
    if (flags & DT_SINGLELINE) {
        std::string one;
        for (char c : text)
            if (c != '\r' && c != '\n') one += c;
        lines.push_back(one);
        return lines;
    }
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        std::string para = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!para.empty() && para.back() == '\r') para.pop_back();
        if (!(flags & DT_WORDBREAK) || canvas.TextWidth(para) <= width) {
            lines.push_back(para);
        } else {
            std::string line;
            size_t i = 0;
            while (i < para.size()) {
                size_t j = para.find(' ', i);
                std::string word = para.substr(i, j == std::string::npos ? std::string::npos : j - i);
                std::string tryLine = line.empty() ? word : line + " " + word;
                if (!line.empty() && canvas.TextWidth(tryLine) > width) {
                    lines.push_back(line);
                    line = word;
                } else {
                    line = tryLine;
                }
                if (j == std::string::npos) break;
                i = j + 1;
            }
            lines.push_back(line);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}
} // namespace

int DrawText(Canvas& canvas, const std::string& text, TRect& rect, unsigned flags) {
    std::string shown = (flags & DT_NOPREFIX) ? text : StripPrefix(text);
    if (flags & DT_EXPANDTABS) shown = ExpandTabs(shown);
    std::vector<std::string> lines = Lines(canvas, shown, rect.Width(), flags);
    int lineHeight = canvas.TextHeight("Wg");
    int height = lineHeight * static_cast<int>(lines.size());
    if (flags & DT_CALCRECT) {
        int width = 0;
        for (auto& l : lines)
            width = std::max(width, canvas.TextWidth(l));
        rect.Right = rect.Left + width;
        rect.Bottom = rect.Top + height;
        return height;
    }
    unsigned horz = flags & (DT_CENTER | DT_RIGHT);
    if (flags & DT_RTLREADING) horz = horz == DT_RIGHT ? DT_LEFT : horz == DT_LEFT ? DT_RIGHT : horz;
    int y = rect.Top;
    if (flags & DT_SINGLELINE) {
        if (flags & DT_VCENTER) y = rect.Top + (rect.Height() - height) / 2;
        if (flags & DT_BOTTOM) y = rect.Bottom - height;
    }
    for (auto& l : lines) {
        int w = canvas.TextWidth(l);
        int x = horz == DT_CENTER  ? rect.Left + (rect.Width() - w) / 2
                : horz == DT_RIGHT ? rect.Right - w
                                   : rect.Left;
        if (flags & DT_NOCLIP)
            canvas.TextOut(x, y, l);
        else
            canvas.TextRect(rect, x, y, l);
        y += lineHeight;
    }
    return height;
}

} // namespace platform::gfx
