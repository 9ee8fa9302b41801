#include "platform/graphics/Region.h"

#include <algorithm>
#include <cmath>

namespace platform::gfx {

namespace {
const std::vector<Span> kNoSpans;

std::vector<Span> CombineRow(const std::vector<Span>& a, const std::vector<Span>& b, TRegionCombine mode) {
    // Sweep over the boundaries of both span lists.
    std::vector<int> xs;
    for (auto& s : a)
        xs.insert(xs.end(), {s.X0, s.X1});
    for (auto& s : b)
        xs.insert(xs.end(), {s.X0, s.X1});
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    auto in = [](const std::vector<Span>& v, int x) {
        for (auto& s : v)
            if (x >= s.X0 && x < s.X1) return true;
        return false;
    };
    std::vector<Span> out;
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
        int x = xs[i];
        bool ia = in(a, x), ib = in(b, x), r = false;
        switch (mode) {
        case RGN_AND:
            r = ia && ib;
            break;
        case RGN_OR:
            r = ia || ib;
            break;
        case RGN_XOR:
            r = ia != ib;
            break;
        case RGN_DIFF:
            r = ia && !ib;
            break;
        case RGN_COPY:
            r = ia;
            break;
        }
        if (!r) continue;
        if (!out.empty() && out.back().X1 == x)
            out.back().X1 = xs[i + 1];
        else
            out.push_back({x, xs[i + 1]});
    }
    return out;
}
} // namespace

void EllipseRowSpan(const TRect& box, int64_t y, int64_t& x0, int64_t& x1) {
    x0 = 0;
    x1 = 0;
    double a = (static_cast<double>(box.Right) - box.Left) / 2.0;
    double b = (static_cast<double>(box.Bottom) - box.Top) / 2.0;
    if (a <= 0 || b <= 0) return;
    double cx = (static_cast<double>(box.Left) + box.Right) / 2.0;
    double cy = (static_cast<double>(box.Top) + box.Bottom) / 2.0;
    double dy = (static_cast<double>(y) + 0.5 - cy) / b;
    double q = 1.0 - dy * dy;
    if (q < 0) return;
    double half = a * std::sqrt(q);
    // x + 0.5 in [cx - half, cx + half]
    x0 = static_cast<int64_t>(std::ceil(cx - half - 0.5));
    x1 = static_cast<int64_t>(std::floor(cx + half - 0.5)) + 1;
}

Region Region::FromRect(const TRect& r) {
    Region g;
    if (r.IsEmpty()) return g;
    g.top_ = r.Top;
    g.rows_.assign(static_cast<size_t>(r.Height()), std::vector<Span>{{r.Left, r.Right}});
    return g;
}

Region Region::FromEllipse(const TRect& r) {
    Region g;
    if (r.IsEmpty()) return g;
    g.top_ = r.Top;
    for (int y = r.Top; y < r.Bottom; ++y) {
        int64_t x0, x1;
        EllipseRowSpan(r, y, x0, x1);
        std::vector<Span> row;
        if (x1 > x0) row.push_back({static_cast<int>(x0), static_cast<int>(x1)});
        g.rows_.push_back(std::move(row));
    }
    g.Trim();
    return g;
}

Region Region::FromRows(int top, std::vector<std::vector<Span>> rows) {
    Region g;
    g.top_ = top;
    g.rows_ = std::move(rows);
    for (auto& row : g.rows_)
        row = CombineRow(row, {}, RGN_OR); // normalise
    g.Trim();
    return g;
}

void Region::Trim() {
    size_t first = 0;
    while (first < rows_.size() && rows_[first].empty())
        ++first;
    if (first == rows_.size()) {
        rows_.clear();
        top_ = 0;
        return;
    }
    size_t last = rows_.size();
    while (last > first && rows_[last - 1].empty())
        --last;
    rows_ = std::vector<std::vector<Span>>(rows_.begin() + static_cast<long>(first),
                                           rows_.begin() + static_cast<long>(last));
    top_ += static_cast<int>(first);
}

bool Region::IsEmpty() const {
    return rows_.empty();
}

TRect Region::Box() const {
    if (rows_.empty()) return {};
    int l = INT32_MAX, r = INT32_MIN;
    for (auto& row : rows_)
        for (auto& s : row) {
            l = std::min(l, s.X0);
            r = std::max(r, s.X1);
        }
    return {l, top_, r, top_ + RowCount()};
}

const std::vector<Span>& Region::Row(int y) const {
    int64_t i = static_cast<int64_t>(y) - top_;
    if (i < 0 || i >= RowCount()) return kNoSpans;
    return rows_[static_cast<size_t>(i)];
}

bool Region::Contains(int x, int y) const {
    for (auto& s : Row(y))
        if (x >= s.X0 && x < s.X1) return true;
    return false;
}

void Region::Offset(int dx, int dy) {
    top_ += dy;
    for (auto& row : rows_)
        for (auto& s : row) {
            s.X0 += dx;
            s.X1 += dx;
        }
}

Region Region::Combine(const Region& a, const Region& b, TRegionCombine mode) {
    if (mode == RGN_COPY) return a;
    if (a.IsEmpty() && b.IsEmpty()) return {};
    int top, bottom;
    if (a.IsEmpty()) {
        top = b.top_;
        bottom = b.top_ + b.RowCount();
    } else if (b.IsEmpty()) {
        top = a.top_;
        bottom = a.top_ + a.RowCount();
    } else {
        top = std::min(a.top_, b.top_);
        bottom = std::max(a.top_ + a.RowCount(), b.top_ + b.RowCount());
    }
    Region g;
    g.top_ = top;
    for (int y = top; y < bottom; ++y)
        g.rows_.push_back(CombineRow(a.Row(y), b.Row(y), mode));
    g.Trim();
    return g;
}

Region Region::Intersect(const TRect& r) const {
    return Combine(*this, FromRect(r), RGN_AND);
}

bool operator==(const Region& a, const Region& b) {
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
    if (a.top_ != b.top_ || a.rows_.size() != b.rows_.size()) return false;
    for (size_t i = 0; i < a.rows_.size(); ++i) {
        if (a.rows_[i].size() != b.rows_[i].size()) return false;
        for (size_t j = 0; j < a.rows_[i].size(); ++j)
            if (a.rows_[i][j].X0 != b.rows_[i][j].X0 || a.rows_[i][j].X1 != b.rows_[i][j].X1) return false;
    }
    return true;
}

} // namespace platform::gfx
