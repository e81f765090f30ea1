#include "index/spread.h"

#include <algorithm>
#include <cmath>

namespace kalp {

Spread::Spread(size_t width, size_t kept, size_t bins) : kept_(std::max<size_t>(kept, 2)), bins_(bins), columns_(width) {}

void Spread::add(const double* row) {
    for (size_t i = 0; i < columns_.size(); ++i) {
        const double x = row[i];
        if (std::isnan(x)) continue;
        Column& c = columns_[i];
        ++c.n;
        const double delta = x - c.mean;
        c.mean += delta / static_cast<double>(c.n);
        c.m2 += delta * (x - c.mean);
        if (c.cells.empty() && c.kept.size() < kept_) {
            c.kept.push_back(x);
            continue;
        }
        if (c.cells.empty()) tohistogram(c);
        count(c, x);
    }
}

void Spread::count(Column& c, double x) const {
    size_t at = 0;
    if (x >= c.lo) {
        const double k = c.step > 0 ? std::floor((x - c.lo) / c.step) : 0;
        at = k < static_cast<double>(bins_) ? static_cast<size_t>(k) + 1 : bins_ + 1;
    }
    Cell& cell = c.cells[at];
    cell.lo = cell.n ? std::min(cell.lo, x) : x;
    cell.hi = cell.n ? std::max(cell.hi, x) : x;
    ++cell.n;
}

void Spread::tohistogram(Column& c) const {
    const auto [lo, hi] = std::minmax_element(c.kept.begin(), c.kept.end());
    const double range = *hi - *lo;
    c.lo = *lo - range / 5;
    c.step = range * 1.4 / static_cast<double>(bins_);
    c.cells.assign(bins_ + 2, Cell{});
    for (const double x : c.kept)
        count(c, x);
    std::vector<double>().swap(c.kept);
}

double Spread::sd(size_t column) const {
    const Column& c = columns_[column];
    return c.n > 1 ? std::sqrt(std::max(c.m2, 0.0) / static_cast<double>(c.n - 1)) : 0;
}

double Spread::ranked(const Column& c, long long r) const {
    long long before = 0;
    for (const Cell& cell : c.cells) {
        if (r < before + cell.n) {
            if (cell.n == 1) return cell.lo;
            const double share = static_cast<double>(r - before) / static_cast<double>(cell.n - 1);
            return cell.lo + (cell.hi - cell.lo) * share;
        }
        before += cell.n;
    }
    return c.cells.empty() ? 0 : c.cells.back().hi;
}

double Spread::quantile(size_t column, double p) const {
    const Column& c = columns_[column];
    if (c.n == 0) return std::nan("");
    const double h = static_cast<double>(c.n - 1) * p;
    const long long lo = static_cast<long long>(std::floor(h)), hi = std::min(lo + 1, c.n - 1);
    double x0, x1;
    if (c.cells.empty()) {
        std::vector<double> v = c.kept;
        std::nth_element(v.begin(), v.begin() + lo, v.end());
        x0 = v[static_cast<size_t>(lo)];
        x1 = hi == lo ? x0 : *std::min_element(v.begin() + lo + 1, v.end());
    } else {
        x0 = ranked(c, lo);
        x1 = ranked(c, hi);
    }
    return x0 + (h - static_cast<double>(lo)) * (x1 - x0);
}

bool Spread::exact() const {
    return std::all_of(columns_.begin(), columns_.end(), [](const Column& c) { return c.cells.empty(); });
}

} // namespace kalp
