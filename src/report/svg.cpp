#include "report/svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace kalp::svg {

namespace {

// Advance widths of DejaVu Sans and DejaVu Sans Bold in thousandths of the
// font size: printable ASCII from the blank on, then Latin-1 from U+00A0.
constexpr short ascii[2][95] = {
    {317,  400, 459, 837, 636, 950, 779, 274, 390, 390, 500, 837, 317, 360, 317, 336,
     636,  636, 636, 636, 636, 636, 636, 636, 636, 636, 336, 336, 837, 837, 837, 530,
     1000, 684, 686, 698, 770, 631, 575, 774, 751, 294, 294, 655, 557, 862, 748, 787,
     603,  787, 694, 634, 610, 731, 684, 988, 685, 610, 685, 390, 336, 390, 837, 500,
     500,  612, 634, 549, 634, 615, 352, 634, 633, 277, 277, 579, 277, 974, 633, 611,
     634,  634, 411, 520, 392, 633, 591, 817, 591, 591, 524, 636, 336, 636, 837},
    {348,  456, 520, 837, 695, 1001, 872, 306,  457, 457, 522, 837, 379, 415,  379, 365,
     695,  695, 695, 695, 695, 695,  695, 695,  695, 695, 399, 399, 837, 837,  837, 580,
     1000, 773, 762, 733, 830, 683,  683, 820,  836, 372, 372, 774, 637, 995,  836, 850,
     732,  850, 770, 720, 682, 812,  773, 1103, 770, 724, 725, 457, 365, 457,  837, 500,
     500,  674, 715, 592, 715, 678,  435, 715,  711, 342, 342, 665, 342, 1041, 711, 687,
     715,  715, 493, 595, 478, 711,  651, 923,  645, 651, 582, 711, 365, 711,  837}};
constexpr short latin1[2][96] = {
    {317, 400, 636, 636, 636, 636, 336, 500, 500, 1000, 471, 611, 837, 360, 1000, 500,
     500, 837, 400, 400, 500, 636, 636, 317, 500, 400,  471, 611, 969, 969, 969,  530,
     684, 684, 684, 684, 684, 684, 974, 698, 631, 631,  631, 631, 294, 294, 294,  294,
     774, 748, 787, 787, 787, 787, 787, 837, 787, 731,  731, 731, 731, 610, 604,  629,
     612, 612, 612, 612, 612, 612, 981, 549, 615, 615,  615, 615, 277, 277, 277,  277,
     611, 633, 611, 611, 611, 611, 611, 837, 611, 633,  633, 633, 633, 591, 634,  591},
    {348, 456, 695, 695, 636, 695, 365,  500, 500, 1000, 563, 645, 837,  415,  1000, 500,
     500, 837, 437, 437, 500, 735, 636,  379, 500, 437,  563, 645, 1035, 1035, 1035, 580,
     773, 773, 773, 773, 773, 773, 1084, 733, 683, 683,  683, 683, 372,  372,  372,  372,
     837, 836, 850, 850, 850, 850, 850,  837, 850, 812,  812, 812, 812,  724,  737,  719,
     674, 674, 674, 674, 674, 674, 1047, 592, 678, 678,  678, 678, 342,  342,  342,  342,
     687, 711, 687, 687, 687, 687, 687,  837, 687, 711,  711, 711, 711,  651,  715,  651}};

// The next character of UTF-8 text at `at`, and its length in bytes (1 for
// a stray byte).
char32_t next(std::string_view s, size_t at, size_t& length) {
    const auto b = static_cast<unsigned char>(s[at]);
    const size_t n = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (n == 1 || at + n > s.size()) {
        length = 1;
        return b;
    }
    char32_t c = b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k)
        c = c << 6 | (static_cast<unsigned char>(s[at + k]) & 0x3F);
    length = n;
    return c;
}

// The width of one character in thousandths of the font size.
int advance(char32_t c, bool bold) {
    if (c >= 0x20 && c < 0x7F) return ascii[bold][c - 0x20];
    if (c >= 0xA0 && c <= 0xFF) return latin1[bold][c - 0xA0];
    if (c >= 0x300 && c < 0x370) return 0; // combining accents
    if (c == 0x2026 || c == 0x2014) return 1000;
    if (c == 0x2013) return 500;
    if (c >= 0x2E80) return 1000; // East Asian characters fill a square
    return bold ? 800 : 750;
}

constexpr double powers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};

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

std::string number(double v, int places) {
    places = std::clamp(places, 0, 6);
    double r = std::round(v * powers[places]) / powers[places];
    if (r == 0 || !std::isfinite(r)) r = 0;
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, r).ptr;
    return std::string(text, end);
}

std::string escape(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': s += "&amp;"; break;
        case '<': s += "&lt;"; break;
        case '>': s += "&gt;"; break;
        case '"': s += "&quot;"; break;
        default: s += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
        }
    }
    return s;
}

bool overlap(const Box& a, const Box& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

bool crosses(const Segment& s, const Box& b) {
    // Gridlines, ticks and axis lines are horizontal or vertical.
    const Box line{std::min(s.x0, s.x1), std::min(s.y0, s.y1), std::max(s.x0, s.x1),
                   std::max(s.y0, s.y1)};
    const bool vertical = line.x0 == line.x1;
    if (vertical) return line.x0 > b.x0 && line.x0 < b.x1 && line.y0 < b.y1 && b.y0 < line.y1;
    return line.y0 > b.y0 && line.y0 < b.y1 && line.x0 < b.x1 && b.x0 < line.x1;
}

double textwidth(std::string_view text, const Font& f) {
    long long total = 0;
    for (size_t at = 0, n = 0; at < text.size(); at += n)
        total += advance(next(text, at, n), f.bold);
    return static_cast<double>(total) * f.size / 1000;
}

double ascent(const Font& f) { return 0.8 * f.size; }
double descent(const Font& f) { return 0.24 * f.size; }

std::string fit(std::string_view text, const Font& f, double width, bool words) {
    if (textwidth(text, f) <= width) return std::string(text);
    const double room = width - textwidth("\u2026", f);
    size_t cut = 0;
    double used = 0;
    for (size_t n = 0; cut < text.size(); cut += n) {
        const double w = advance(next(text, cut, n), f.bold) * f.size / 1000;
        if (used + w > room) break;
        used += w;
    }
    std::string_view kept = text.substr(0, cut);
    if (words) {
        const size_t blank = kept.rfind(' ');
        if (blank != std::string_view::npos && blank >= kept.size() / 2)
            kept = kept.substr(0, blank);
    }
    while (!kept.empty() && (kept.back() == ' ' || kept.back() == ','))
        kept.remove_suffix(1);
    return std::string(kept) + "\u2026";
}

std::vector<std::string> wrap(std::string_view text, const Font& f, double width, size_t most) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        const std::string longer =
            line.empty() ? std::string(word) : line + " " + std::string(word);
        if (line.empty() || textwidth(longer, f) <= width) {
            line = longer;
        } else {
            lines.push_back(line);
            line = word;
        }
    }
    if (!line.empty()) lines.push_back(line);
    if (lines.size() > most && most > 0) {
        std::string rest = lines[most - 1];
        for (size_t i = most; i < lines.size(); ++i)
            rest += " " + lines[i];
        lines.resize(most);
        lines.back() = fit(rest, f, width, true);
    }
    for (std::string& l : lines)
        l = fit(l, f, width);
    return lines;
}

Attrs& Attrs::operator()(std::string_view name, std::string_view value) {
    text_ += ' ';
    text_ += name;
    text_ += "=\"";
    text_ += escape(value);
    text_ += '"';
    return *this;
}

Attrs& Attrs::operator()(std::string_view name, double value) {
    return (*this)(name, number(value));
}

Attrs& Attrs::operator()(std::string_view name, int value) {
    return (*this)(name, std::to_string(value));
}

Document::Document(double width, double height, std::string_view title, std::string_view desc)
    : width_(std::ceil(width)), height_(std::ceil(height)) {
    const std::string w = number(width_), h = number(height_);
    out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h +
           "\" font-family=\"DejaVu Sans, Verdana, sans-serif\" fill=\"#222\" role=\"img\">\n";
    out_ += "<title>" + escape(title) + "</title>\n<desc>" + escape(desc) + "</desc>\n";
    out_ += "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#fff\"/>\n";
    open_.emplace_back("svg");
}

void Document::open(std::string_view tag, const Attrs& a) {
    out_ += '<';
    out_ += tag;
    out_ += a.text();
    out_ += ">\n";
    open_.emplace_back(tag);
}

void Document::close() {
    if (open_.size() <= 1) return; // the svg element closes in finish()
    out_ += "</" + open_.back() + ">\n";
    open_.pop_back();
}

void Document::empty(std::string_view tag, const Attrs& a) {
    out_ += '<';
    out_ += tag;
    out_ += a.text();
    out_ += "/>\n";
}

Box Document::text(double x, double y, std::string_view s, const Font& f, Anchor anchor,
                   const Attrs& extra) {
    const double w = textwidth(s, f);
    const double x0 = anchor == Anchor::start ? x : anchor == Anchor::middle ? x - w / 2 : x - w;
    const Box box{x0, y - ascent(f), x0 + w, y + descent(f)};
    Attrs a;
    a("x", x)("y", y)("font-size", f.size);
    if (f.bold) a("font-weight", "bold");
    if (anchor != Anchor::start) a("text-anchor", anchor == Anchor::middle ? "middle" : "end");
    out_ += "<text" + a.text() + extra.text() + ">" + escape(s) + "</text>\n";
    layout_.texts.push_back({std::string(s), box});
    return box;
}

Box Document::uptext(double x, double y, std::string_view s, const Font& f, Anchor anchor,
                     const Attrs& extra) {
    const double w = textwidth(s, f);
    // Turned a quarter to the left, the text runs upwards from (x, y) and
    // its letters stand to the left of x.
    const double y1 = anchor == Anchor::start ? y : anchor == Anchor::middle ? y + w / 2 : y + w;
    const Box box{x - ascent(f), y1 - w, x + descent(f), y1};
    Attrs a;
    a("x", x)("y", y)("font-size", f.size);
    if (f.bold) a("font-weight", "bold");
    if (anchor != Anchor::start) a("text-anchor", anchor == Anchor::middle ? "middle" : "end");
    a("transform", "rotate(-90 " + number(x) + " " + number(y) + ")");
    out_ += "<text" + a.text() + extra.text() + ">" + escape(s) + "</text>\n";
    layout_.texts.push_back({std::string(s), box});
    return box;
}

void Document::gridline(double x0, double y0, double x1, double y1) {
    empty("line", Attrs()("x1", x0)("y1", y0)("x2", x1)("y2", y1)("stroke", "#dedede"));
    layout_.gridlines.push_back({x0, y0, x1, y1});
}

void Document::tick(double x0, double y0, double x1, double y1, std::string_view colour) {
    empty("line", Attrs()("x1", x0)("y1", y0)("x2", x1)("y2", y1)("stroke", colour));
    layout_.ticks.push_back({x0, y0, x1, y1});
}

void Document::bar(const Box& b, const Attrs& a) {
    const Attrs at = Attrs()("x", b.x0)("y", b.y0)("width", b.x1 - b.x0)("height", b.y1 - b.y0);
    out_ += "<rect" + at.text() + a.text() + "/>\n";
    layout_.bars.push_back(b);
}

std::string Document::finish(Layout* layout) {
    while (open_.size() > 1)
        close();
    out_ += "</svg>\n";
    open_.clear();
    if (layout) *layout = layout_;
    return std::move(out_);
}

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

Ticks spanticks(double lo, double hi, double length, const Font& f) {
    if (!(hi > lo)) return ticks(lo, hi, 1);
    const Ticks all = axisticks(lo, hi, length, f, true);
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

Ticks categories(const std::vector<std::string>& names, double length, const Font& f) {
    Ticks t;
    t.lo = -0.5;
    t.hi = static_cast<double>(names.size()) - 0.5;
    double widest = 0;
    for (const std::string& n : names)
        widest = std::max(widest, textwidth(n, f) + f.size);
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

std::string linepoints(const Plot& p, const std::vector<double>& x, const std::vector<double>& y) {
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
    std::string out, last;
    for (const size_t k : keep) {
        const std::string xy = number(p.x(x[k])) + "," + number(p.y(y[k]));
        if (xy == last) continue;
        if (!out.empty()) out += ' ';
        out += xy;
        last = xy;
    }
    return out;
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

} // namespace kalp::svg
