#include "report/charts.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "model/classes.h"
#include "report/chartkit.h"
#include "textio/numbers.h"

namespace kalp {

namespace chartkit {

using svg::Anchor;
using svg::Attrs;
using svg::Document;
using svg::Font;

double lineheight(const Font& f) { return (svg::ascent(f) + svg::descent(f)) * 1.25; }

double middle(double y, const Font& f) { return y + (svg::ascent(f) - svg::descent(f)) / 2; }

std::string capital(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

namespace {

// The title in at most two lines and the scenario in at most three.
std::vector<std::string> titletext(double width, const std::string& title) {
    return svg::wrap(title, titlefont, width - 2 * margin, 2);
}
std::vector<std::string> subtext(double width, const std::string& subtitle) {
    return svg::wrap(subtitle, subfont, width - 2 * margin, 3);
}

double headof(size_t titles, size_t subs) {
    const double more =
        static_cast<double>(std::max<size_t>(titles, 1) - 1) * lineheight(titlefont) +
        static_cast<double>(std::max<size_t>(subs, 1) - 1) * lineheight(subfont);
    return margin + svg::ascent(titlefont) + svg::descent(titlefont) + 8 + svg::ascent(subfont) +
           svg::descent(subfont) + 16 + more;
}

} // namespace

double headheight(double width, const std::string& title, const std::string& subtitle) {
    // As wide as the document makes it.
    width = std::ceil(width);
    return headof(titletext(width, title).size(), subtext(width, subtitle).size());
}

double heading(Document& d, const std::string& title, const std::string& subtitle) {
    double y = margin + svg::ascent(titlefont);
    const std::vector<std::string> titles = titletext(d.width(), title);
    for (size_t i = 0; i < titles.size(); ++i) {
        if (i) y += lineheight(titlefont);
        d.text(d.width() / 2, y, titles[i], titlefont, Anchor::middle);
    }
    y += svg::descent(titlefont) + 8 + svg::ascent(subfont);
    const std::vector<std::string> subs = subtext(d.width(), subtitle);
    for (size_t i = 0; i < subs.size(); ++i) {
        if (i) y += lineheight(subfont);
        d.text(d.width() / 2, y, subs[i], subfont, Anchor::middle, Attrs()("fill", grey));
    }
    return y + svg::descent(subfont) + 16;
}

std::vector<std::string> notelines(const std::vector<std::string>& notes, double width) {
    std::vector<std::string> lines;
    for (const std::string& n : notes) {
        const auto l = svg::wrap(n, notefont, width);
        lines.insert(lines.end(), l.begin(), l.end());
    }
    return lines;
}

double notesheight(const std::vector<std::string>& lines) {
    return lines.empty() ? 0 : static_cast<double>(lines.size()) * lineheight(notefont) + 6;
}

void drawnotes(Document& d, const std::vector<std::string>& lines, double y) {
    y += 6;
    for (const std::string& l : lines) {
        d.text(margin, y + svg::ascent(notefont), l, notefont, Anchor::start,
               Attrs()("fill", grey));
        y += lineheight(notefont);
    }
}

std::vector<double> spread(const std::vector<double>& wish, double gap, double top, double bottom) {
    std::vector<size_t> order(wish.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return wish[a] < wish[b]; });
    struct Run {
        size_t first, count;
        double sum, at; // the sum of the wishes, the centre of the first label
    };
    std::vector<Run> runs;
    auto place = [&](Run& r) {
        const double n = static_cast<double>(r.count);
        r.at =
            std::clamp(r.sum / n - (n - 1) * gap / 2, top, std::max(top, bottom - (n - 1) * gap));
    };
    for (size_t i = 0; i < order.size(); ++i) {
        runs.push_back({i, 1, wish[order[i]], 0});
        place(runs.back());
        while (runs.size() > 1) {
            Run& a = runs[runs.size() - 2];
            const Run& b = runs.back();
            if (a.at + static_cast<double>(a.count) * gap <= b.at) break;
            a.count += b.count;
            a.sum += b.sum;
            runs.pop_back();
            place(runs.back());
        }
    }
    std::vector<double> at(wish.size());
    for (const Run& r : runs)
        for (size_t k = 0; k < r.count; ++k)
            at[order[r.first + k]] = r.at + static_cast<double>(k) * gap;
    return at;
}

std::string sentence(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    if (!s.empty() && s.back() != '.') s += '.';
    return s;
}

std::string sentences(const std::vector<std::string>& parts) {
    std::string s;
    for (const std::string& p : parts) {
        const std::string one = sentence(p);
        if (one.empty()) continue;
        s += (s.empty() ? "" : " ") + one;
    }
    return s;
}

std::string datum(double v) { return shortest(static_cast<float>(v)); }

std::string datalist(const std::vector<double>& v, const std::vector<size_t>& at) {
    std::string s;
    for (const size_t k : at) {
        if (!s.empty()) s += ' ';
        s += datum(v[k]);
    }
    return s;
}

} // namespace chartkit

std::string chartname(const std::string& name) {
    std::string s;
    for (const char c : name) {
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (!blank)
            s += c;
        else if (!s.empty() && s.back() != ' ')
            s += ' ';
    }
    if (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

NameUnit nameunit(const std::string& name) {
    const std::string s = chartname(name);
    const size_t close = s.rfind(')');
    if (close == std::string::npos) return {s, ""};
    // The parenthesis that opens the last group, nested ones included.
    int depth = 0;
    for (size_t i = close + 1; i-- > 0;) {
        if (s[i] == ')') ++depth;
        if (s[i] == '(' && --depth == 0) {
            const std::string unit = s.substr(i + 1, close - i - 1);
            if (unit.find_first_not_of(' ') == std::string::npos) break;
            return {chartname(s.substr(0, i) + s.substr(close + 1)), unit};
        }
    }
    return {s, ""};
}

YearTable yeartable(int l_inv) {
    YearTable t;
    t.stride = std::max(1, (l_inv + 1999) / 2000);
    return t;
}

void keepyear(YearTable& t, const Model& m, int year, const float* share) {
    if (year % t.stride != 0 && year != m.l_inv) return;
    t.years.push_back(year);
    t.shares.insert(t.shares.end(), share, share + m.acm + 1);
}

std::string scenarioline(const Model& m) {
    const ClassInfo traced = describeclass(m, m.n_sac);
    return std::string(m.prods == 1 ? "One production system" : "Two production systems") +
           ", traced group " + std::to_string(m.n_sac) + " (" + groupname(traced) +
           "), discount rate " + shortest(m.u) + ", period " + std::to_string(m.l_inv) +
           (m.l_inv == 1 ? " year" : " years");
}

} // namespace kalp
