// The distribution of numbers over drawn scenarios, in bounded memory:
// for each column its count, mean and standard deviation (Welford's
// updates) and its quantiles, exact while at most `kept` values have come
// (every value is kept); beyond, from a histogram of `bins` cells over the
// range of the first `kept` values widened by a fifth on either side, each
// cell with its count and its lowest and highest value (cells below and
// above the range too), the values of a cell taken as evenly spread
// between those two: within a cell's width of the exact quantile, exact
// where a cell holds one value however often.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalp {

class Spread {
public:
    explicit Spread(std::size_t width, std::size_t kept = 16384, std::size_t bins = 8192);
    // A draw: a value for each column, NaN where the draw gives none.
    void add(const double* row);
    std::size_t width() const { return columns_.size(); }
    long long count(std::size_t column) const { return columns_[column].n; }
    double mean(std::size_t column) const { return columns_[column].mean; }
    // The standard deviation (n - 1 in the denominator); 0 for one value.
    double sd(std::size_t column) const;
    // The quantile p, 0 <= p <= 1, as R's type 7 (the default of quantile()
    // and of numpy): between the values of rank floor and ceil of (n - 1) p.
    double quantile(std::size_t column, double p) const;
    // Whether the quantiles of every column are exact.
    bool exact() const;

private:
    struct Cell {
        std::uint32_t n = 0;
        double lo = 0, hi = 0;
    };
    struct Column {
        long long n = 0;
        double mean = 0, m2 = 0;
        std::vector<double> kept;
        std::vector<Cell> cells; // below, bins_ cells, above: empty while every value is kept
        double lo = 0, step = 0; // the range of the cells
    };
    std::size_t kept_, bins_;
    std::vector<Column> columns_;
    void count(Column& c, double x) const;
    void tohistogram(Column& c) const;
    double ranked(const Column& c, long long r) const; // the value of rank r, 0-based
};

} // namespace kalp
