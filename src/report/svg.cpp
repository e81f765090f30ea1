#include "report/svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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

// The length of the well-formed UTF-8 character at `at`, or 0: no overlong
// forms, no surrogates, nothing beyond U+10FFFF.
size_t valid(std::string_view s, size_t at) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[at + k]); };
    const auto follows = [&](size_t k, unsigned lo, unsigned hi) {
        return at + k < s.size() && b(k) >= lo && b(k) <= hi;
    };
    const unsigned c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return follows(1, 0x80, 0xBF) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return follows(1, lo, hi) && follows(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return follows(1, lo, hi) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// The code point of a well-formed character of `n` bytes.
char32_t decode(std::string_view s, size_t at, size_t n) {
    const auto lead = static_cast<unsigned char>(s[at]);
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k)
        c = c << 6 | (static_cast<unsigned char>(s[at + k]) & 0x3F);
    return c;
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
    for (size_t at = 0; at < text.size();) {
        const size_t n = valid(text, at);
        if (n == 0) { // a byte that begins no character
            s += "\uFFFD";
            ++at;
            continue;
        }
        const char32_t c = decode(text, at, n);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            s += ' ';
        else if (c == 0xFFFE || c == 0xFFFF)
            s += "\uFFFD";
        else if (c == '&')
            s += "&amp;";
        else if (c == '<')
            s += "&lt;";
        else if (c == '>')
            s += "&gt;";
        else if (c == '"')
            s += "&quot;";
        else
            s.append(text.substr(at, n));
        at += n;
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

} // namespace kalp::svg
