#include "report/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kalp::svg {

namespace {

// 10^p for |p| <= 300: exact up to 10^22, one correctly rounded step
// beyond, so that every platform gets the same value.
double power10(int p) {
    double r = 1;
    for (int i = 0; i < std::abs(p); ++i)
        r *= 10;
    return p < 0 ? 1 / r : r;
}

// A step of an axis: q x 10^p with q one of 10, 20, 25, 50.
struct Step {
    long long q;
    int p;
    double value() const { return p >= 0 ? q * power10(p) : q / power10(-p); }
    double times(long long k) const { return p >= 0 ? k * q * power10(p) : k * q / power10(-p); }
    // k x q x 10^p as exact decimal text.
    std::string text(long long k) const {
        const long long v = k * q;
        std::string digits = std::to_string(v < 0 ? -v : v);
        if (p >= 0) {
            if (v != 0) digits.append(static_cast<size_t>(p), '0');
        } else {
            const size_t places = static_cast<size_t>(-p);
            if (digits.size() <= places)
                digits = std::string(places + 1 - digits.size(), '0') + digits;
            std::string fraction = digits.substr(digits.size() - places);
            while (!fraction.empty() && fraction.back() == '0')
                fraction.pop_back();
            digits.resize(digits.size() - places);
            if (!fraction.empty()) digits += "." + fraction;
        }
        return (v < 0 ? "-" : "") + digits;
    }
};

// The number of steps from the last multiple of the step at or below `lo`
// to the first at or above `hi`.
double intervals(const Step& s, double lo, double hi) {
    return std::ceil(hi / s.value() - 1e-9) - std::floor(lo / s.value() + 1e-9);
}

} // namespace

Ticks ticks(double lo, double hi, int most) {
    most = std::max(1, most);
    if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 1;
    if (lo > hi) std::swap(lo, hi);
    if (hi - lo <= std::max(std::fabs(lo), std::fabs(hi)) * 1e-9) {
        // A single value: an axis around it, or from 0 to 1 for 0.
        if (lo == 0 && hi == 0) {
            hi = 1;
        } else {
            const double pad = std::max(std::fabs(lo), std::fabs(hi)) / 10;
            lo -= pad;
            hi += pad;
        }
    }
    const double span = hi - lo;
    int p = 0;
    while (p > -300 && Step{10, p}.value() * most > span)
        --p;
    while (p < 300 && Step{10, p + 1}.value() * most <= span)
        ++p;
    Step step{10, p};
    for (int i = 0; i < 40; ++i) {
        const long long qs[] = {10, 20, 25, 50};
        step = Step{qs[i % 4], p + i / 4};
        if (intervals(step, lo, hi) <= most) break;
    }
    Ticks t;
    const double first = std::floor(lo / step.value() + 1e-9);
    const double last = std::ceil(hi / step.value() - 1e-9);
    const bool exact = std::fabs(first) < 1e15 && std::fabs(last) < 1e15;
    if (exact) {
        for (auto i = static_cast<long long>(first); i <= static_cast<long long>(last); ++i) {
            t.at.push_back(step.times(i));
            t.labels.push_back(step.text(i));
        }
    } else { // far from 0 for its span: as many steps, without exact labels
        for (int i = 0; i <= static_cast<int>(last - first); ++i) {
            const double v = (first + i) * step.value();
            t.at.push_back(v);
            t.labels.push_back(number(v, 6));
        }
    }
    t.lo = t.at.front();
    t.hi = t.at.back();
    return t;
}

Ticks axisticks(double lo, double hi, double length, const Font& f, bool across) {
    const double tall = (ascent(f) + descent(f)) * 1.8;
    int most = std::clamp(static_cast<int>(length / (across ? 45 : 30)), 1, 10);
    for (;; --most) {
        Ticks t = ticks(lo, hi, most);
        if (most == 1 || t.at.size() < 2) return t;
        const double spacing = length / static_cast<double>(t.at.size() - 1);
        double need = tall;
        if (across) {
            need = 0;
            for (const std::string& l : t.labels)
                need = std::max(need, textwidth(l, f) + f.size);
        }
        if (spacing >= need) return t;
    }
}

Ticks spanticks(double lo, double hi, double length, const Font& f, bool across) {
    if (!(hi > lo)) return ticks(lo, hi, 1);
    const Ticks all = axisticks(lo, hi, length, f, across);
    const double slack = (hi - lo) * 1e-9;
    Ticks t;
    t.lo = lo;
    t.hi = hi;
    for (size_t i = 0; i < all.at.size(); ++i)
        if (all.at[i] >= lo - slack && all.at[i] <= hi + slack) {
            t.at.push_back(all.at[i]);
            t.labels.push_back(all.labels[i]);
        }
    return t;
}

Ticks categories(const std::vector<std::string>& names, double length, const Font& f, bool across) {
    Ticks t;
    t.lo = -0.5;
    t.hi = static_cast<double>(names.size()) - 0.5;
    double widest = across ? 0 : (ascent(f) + descent(f)) * 1.5;
    for (const std::string& n : names)
        if (across) widest = std::max(widest, textwidth(n, f) + f.size);
    const double spacing = length / std::max<double>(1, static_cast<double>(names.size()));
    const auto every = static_cast<size_t>(std::max(1.0, std::ceil(widest / spacing)));
    for (size_t i = 0; i < names.size(); i += every) {
        t.at.push_back(static_cast<double>(i));
        t.labels.push_back(names[i]);
    }
    return t;
}

Plot plot(const Box& area, const Ticks& xt, const Ticks& yt) {
    return Plot{area, xt, yt, Scale{xt.lo, xt.hi, area.x0, area.x1},
                Scale{yt.lo, yt.hi, area.y1, area.y0}};
}

namespace {
constexpr double ticklength = 4, tickgap = 3;
}

double labelwidth(const Ticks& t, const Font& f) {
    double w = 0;
    for (const std::string& l : t.labels)
        w = std::max(w, textwidth(l, f));
    return w + ticklength + tickgap;
}

double xaxisheight(const Font& f) { return ticklength + tickgap + ascent(f) + descent(f); }

void axes(Document& d, const Plot& p, const Font& f, bool xgrid, bool ygrid, bool yaxis) {
    const Box& a = p.area;
    d.open("g", Attrs()("class", "axes"));
    for (const double v : p.xt.at) {
        const double x = p.x(v);
        if (xgrid && (x > a.x0 + 0.5 || !yaxis)) d.gridline(x, a.y0, x, a.y1);
    }
    for (const double v : p.yt.at) {
        const double y = p.y(v);
        if (ygrid && y < a.y1 - 0.5) d.gridline(a.x0, y, a.x1, y);
    }
    if (yaxis) d.tick(a.x0, a.y0, a.x0, a.y1);
    d.tick(a.x0, a.y1, a.x1, a.y1);
    for (size_t i = 0; i < p.xt.at.size(); ++i) {
        const double x = p.x(p.xt.at[i]);
        d.tick(x, a.y1, x, a.y1 + ticklength);
        d.text(x, a.y1 + ticklength + tickgap + ascent(f), p.xt.labels[i], f, Anchor::middle);
    }
    for (size_t i = 0; yaxis && i < p.yt.at.size(); ++i) {
        const double y = p.y(p.yt.at[i]);
        d.tick(a.x0 - ticklength, y, a.x0, y);
        d.text(a.x0 - ticklength - tickgap, y + (ascent(f) - descent(f)) / 2, p.yt.labels[i], f,
               Anchor::end);
    }
    d.close();
}

Polyline polyline(const Plot& p, const std::vector<double>& x, const std::vector<double>& y) {
    const size_t n = std::min(x.size(), y.size());
    std::vector<size_t> keep;
    auto column = [&](size_t i) { return std::floor((p.x(x[i]) - p.area.x0) / 2); };
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && column(j) == column(i))
            ++j;
        if (j - i <= 2) {
            for (size_t k = i; k < j; ++k)
                keep.push_back(k);
        } else {
            size_t low = i, high = i;
            for (size_t k = i; k < j; ++k) {
                if (y[k] < y[low]) low = k;
                if (y[k] > y[high]) high = k;
            }
            if (i == 0 && low != 0 && high != 0) keep.push_back(0);
            keep.push_back(std::min(low, high));
            if (high != low) keep.push_back(std::max(low, high));
            if (j == n && keep.back() != n - 1) keep.push_back(n - 1);
        }
        i = j;
    }
    Polyline line;
    std::string last;
    for (const size_t k : keep) {
        const std::string xy = number(p.x(x[k])) + "," + number(p.y(y[k]));
        if (xy == last) continue;
        if (!line.points.empty()) line.points += ' ';
        line.points += xy;
        line.at.push_back(k);
        last = xy;
    }
    return line;
}

std::string linepoints(const Plot& p, const std::vector<double>& x, const std::vector<double>& y) {
    return polyline(p, x, y).points;
}

std::string_view hue(size_t i) {
    // Okabe and Ito's colours, told apart with any colour vision, without
    // their yellow, which does not show on white.
    constexpr std::string_view colours[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                            "#E69F00", "#56B4E9", "#000000"};
    return colours[i % std::size(colours)];
}
size_t hues() { return 7; }

std::string_view dash(size_t i) {
    constexpr std::string_view patterns[] = {"", "7 4"};
    return patterns[i % std::size(patterns)];
}
size_t dashes() { return 2; }

std::string_view serieshue(size_t i) {
    // Okabe and Ito's seven and a wine red that none of them is near.
    return i % 8 == 7 ? "#882255" : hue(i % 8);
}
size_t serieshues() { return 8; }

namespace {

struct Rgb {
    double r, g, b;
};

// The colour at t, 0 to 1, of a scale through evenly spaced anchors.
std::string between(const std::vector<Rgb>& anchors, double t) {
    t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) * static_cast<double>(anchors.size() - 1);
    const size_t k = std::min(static_cast<size_t>(t), anchors.size() - 2);
    const double f = t - static_cast<double>(k);
    const Rgb& a = anchors[k];
    const Rgb& b = anchors[k + 1];
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X",
                  static_cast<int>(std::lround(a.r + (b.r - a.r) * f)),
                  static_cast<int>(std::lround(a.g + (b.g - a.g) * f)),
                  static_cast<int>(std::lround(a.b + (b.b - a.b) * f)));
    return text;
}

} // namespace

std::string shade(double v, double lo, double hi) {
    if (lo < 0 && hi > 0) {
        // Blue below 0, red above, near white at 0.
        static const std::vector<Rgb> diverging = {
            {33, 102, 172}, {146, 197, 222}, {247, 247, 247}, {244, 165, 130}, {178, 24, 43}};
        const double top = std::max(-lo, hi);
        return between(diverging, (v / top + 1) / 2);
    }
    // viridis, dark for the lowest value and yellow for the highest
    static const std::vector<Rgb> sequential = {{68, 1, 84},    {71, 45, 123},  {59, 82, 139},
                                                {44, 114, 142}, {33, 144, 140}, {39, 173, 129},
                                                {93, 200, 99},  {170, 220, 50}, {253, 231, 37}};
    return between(sequential, hi > lo ? (v - lo) / (hi - lo) : 0.5);
}

} // namespace kalp::svg
