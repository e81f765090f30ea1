#include "report/charts.h"

#include <plplot.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/classes.h"
#include "textio/utf8.h"

namespace kalp {

namespace {

// The colours of the charts: cmap0 index 0 is the white background, 1 the
// black of axes and text; the lines get indices from `first` on.
constexpr int first = 16;
constexpr int colours = first + 128;

// One chart: PLplot writes SVG into memory, so that no file exists before
// the run is complete.
struct Page {
    char* buf = nullptr;
    size_t size = 0;
};

void beginpage(Page& p, int width, int height) {
    std::FILE* f = open_memstream(&p.buf, &p.size);
    plsdev("svg");
    plsfile(f); // plend closes it
    const std::string geometry = std::to_string(width) + "x" + std::to_string(height);
    plsetopt("geometry", geometry.c_str());
    plscolbg(255, 255, 255);
    plinit();
    plscmap0n(colours);
    plscol0(0, 255, 255, 255);
    plscol0(1, 0, 0, 0);
    plscol0(2, 120, 120, 120);
    plcol0(1);
    plfont(1);
    pladv(0);
}

std::string endpage(Page& p) {
    plend();
    std::string svg(p.buf, p.size);
    std::free(p.buf);
    return svg;
}

// Colour index `index` from hue (degrees) and lightness (0 dark, 1 white).
void setcolour(int index, double hue, double lightness) {
    PLFLT r, g, b;
    plhlsrgb(hue, lightness, 0.75, &r, &g, &b);
    plscol0(index, static_cast<int>(r * 255), static_cast<int>(g * 255), static_cast<int>(b * 255));
}

// Text that PLplot draws as it is: `#` begins its escape sequences (a
// superscript, a Greek letter, a symbol) unless it is doubled.
std::string literal(const std::string& text) {
    std::string s;
    for (const char c : text) {
        s += c;
        if (c == '#') s += '#';
    }
    return s;
}

// A legend of lines outside the right edge of the current viewport.
void legend(const std::vector<std::string>& labels, const std::vector<int>& colour, int perrow,
            double scale, const std::vector<PLINT>& linestyles = {}) {
    const int n = static_cast<int>(labels.size());
    if (n == 0) return;
    const int columns = (n + perrow - 1) / perrow;
    const int rows = (n + columns - 1) / columns;
    std::vector<std::string> drawn(labels.size());
    std::transform(labels.begin(), labels.end(), drawn.begin(), literal);
    std::vector<const char*> text(n);
    std::vector<PLINT> opts(n, PL_LEGEND_LINE), textcolours(n, 1), styles(n, 1);
    if (!linestyles.empty()) styles = linestyles;
    std::vector<PLINT> lc(colour.begin(), colour.end());
    std::vector<PLFLT> widths(n, 2.0);
    for (int i = 0; i < n; ++i)
        text[i] = drawn[i].c_str();
    PLFLT w, h;
    pllegend(&w, &h, 0, PL_POSITION_OUTSIDE | PL_POSITION_RIGHT, 0.03, 0.0, 0.05, 0, 0, 1, rows,
             columns, n, opts.data(), 0.4, scale, 1.8, 0.0, textcolours.data(), text.data(),
             nullptr, nullptr, nullptr, nullptr, lc.data(), styles.data(), widths.data(), nullptr,
             nullptr, nullptr, nullptr);
}

double maxof(const std::vector<double>& v, double floor) {
    double top = floor;
    for (double x : v)
        top = std::max(top, x);
    return top;
}

// "0.05" rather than "0.0500000007".
std::string shortnumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Capital first letter for panel titles.
std::string capital(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

} // namespace

std::string chartname(const std::string& name, size_t most) {
    std::string s;
    for (const char c : name) {
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (!blank)
            s += c;
        else if (!s.empty() && s.back() != ' ')
            s += ' ';
    }
    if (!s.empty() && s.back() == ' ') s.pop_back();
    return shorten(s, most);
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
           "), discount rate " + shortnumber(static_cast<double>(m.u)) + ", period " +
           std::to_string(m.l_inv) + (m.l_inv == 1 ? " year" : " years");
}

namespace {

// The title and, below it in a smaller size, the scenario, above the
// viewport of the whole page from `top` up.
void heading(const std::string& title, const std::string& subtitle, double top) {
    plvpor(0, 1, top, 1);
    plwind(0, 1, 0, 1);
    plcol0(1);
    plschr(0, 0.75);
    plptex(0.5, 0.62, 1, 0, 0.5, literal(title).c_str());
    plschr(0, 0.55);
    plcol0(2);
    plptex(0.5, 0.22, 1, 0, 0.5, literal(subtitle).c_str());
    plcol0(1);
}

} // namespace

std::string geneflowchart(const Model& m, const YearTable& t) {
    Block layout[8];
    const int nblocks = layoutblocks(m, layout);
    const int stride = m.acm + 1;
    // One panel per parental block, then one for all progeny classes; a
    // block that the traced genes never reach has no panel.
    struct Panel {
        std::string title;
        int from, to; // classes
        double hue;
    };
    std::vector<Panel> panels;
    std::string unreached;
    const double hues[] = {215, 0, 275, 130, 30};
    auto reached = [&](int from, int to) {
        for (size_t r = 0; r < t.years.size(); ++r)
            for (int c = from; c <= to; ++c)
                if (t.shares[r * stride + c] > 0) return true;
        return false;
    };
    for (int k = 0; k < nblocks && !layout[k].progeny; ++k) {
        const Block& b = layout[k];
        const int last = b.first + b.size - 1;
        if (reached(b.first, last)) {
            panels.push_back({capital(b.name), b.first, last, hues[k]});
        } else {
            unreached += (unreached.empty() ? "" : ", ") + std::string(b.name) + " (classes " +
                         std::to_string(b.first) + " to " + std::to_string(last) + ")";
        }
    }
    panels.push_back({"Progeny", m.acm - (m.prods == 1 ? 0 : 2), m.acm, 180});

    const int count = static_cast<int>(panels.size());
    const int cols = count == 4 ? 2 : std::min(3, count);
    const int rows = (static_cast<int>(panels.size()) + cols - 1) / cols;
    const int foot = unreached.empty() ? 0 : 60;
    const int height = 130 + rows * 520 + foot;
    const int width = 160 + cols * 700;
    Page page;
    beginpage(page, width, height);
    const double top = 1.0 - 130.0 / height, bottom = static_cast<double>(foot) / height;
    heading("Gene flow of the traced genes: their share in each sex and age group by year",
            scenarioline(m), top);
    if (!unreached.empty()) {
        plvpor(0, 1, 0, bottom);
        plwind(0, 1, 0, 1);
        plschr(0, 0.5);
        plcol0(2);
        plptex(0.5, 0.45, 1, 0, 0.5, ("Not reached by the traced genes: " + unreached + ".").c_str());
        plcol0(1);
    }

    std::vector<double> x(t.years.begin(), t.years.end());
    for (size_t p = 0; p < panels.size(); ++p) {
        const Panel& panel = panels[p];
        const bool progeny = panel.title == "Progeny";
        const double margin = 0.02; // for the axis label of the first column
        const double cw = (1.0 - margin) / cols, ch = (top - bottom) / rows;
        const double x0 = margin + static_cast<double>(p % cols) * cw;
        const int row = static_cast<int>(p) / cols;
        const double y0 = top - (row + 1) * ch;
        std::vector<std::vector<double>> ys;
        double ymax = 0;
        for (int c = panel.from; c <= panel.to; ++c) {
            std::vector<double> y;
            for (size_t r = 0; r < t.years.size(); ++r)
                y.push_back(t.shares[r * stride + c]);
            ymax = maxof(y, ymax);
            ys.push_back(y);
        }
        if (ymax <= 0) ymax = 1;
        plschr(0, 0.55);
        plvpor(x0 + 0.13 * cw, x0 + 0.62 * cw, y0 + 0.15 * ch, y0 + 0.88 * ch);
        plwind(0, std::max(1, m.l_inv), 0, ymax * 1.08);
        plcol0(2);
        plbox("g", 0, 0, "g", 0, 0);
        plcol0(1);
        plbox("bcnst", 0, 0, "bcnstv", 0, 0);
        pllab("Year", "Share of the traced genes", panel.title.c_str());
        std::vector<std::string> labels;
        std::vector<int> colour;
        const int n = panel.to - panel.from + 1;
        for (int i = 0; i < n; ++i) {
            const int c = panel.from + i;
            const int index = first + c;
            if (progeny)
                setcolour(index, std::fmod(panel.hue + 110.0 * i, 360.0), 0.42);
            else // young classes light, old ones dark
                setcolour(index, panel.hue, 0.7 - 0.45 * (n > 1 ? i / (n - 1.0) : 0.5));
            plcol0(index);
            plwidth(2.5); // the legend's samples are 2.0 wide
            plline(static_cast<PLINT>(x.size()), x.data(), ys[i].data());
            plwidth(1.0);
            const ClassInfo info = describeclass(m, c);
            const char* kind[] = {"A x A", "B x B", "A x B"}; // sire x dam
            labels.push_back("class " + std::to_string(c) +
                             (progeny ? std::string(", ") + kind[c - panel.from]
                                      : ", age " + std::to_string(info.age)));
            colour.push_back(index);
        }
        plcol0(1);
        legend(labels, colour, 16, n > 16 ? 0.42 : 0.5);
    }
    return endpage(page);
}

std::string weightschart(const Model& m, const TraitNames& names) {
    std::vector<int> traits;
    for (int k = 1; k <= 35; ++k)
        if (!negligible(m.ewr_da[k]) || !negligible(m.ewr_ma[k])) traits.push_back(k);
    // A relative weight is a share of absolute values; its bar points the
    // way of its economic weight, so that the direction of selection shows.
    auto signedshare = [](float share, float ew) {
        return ew < 0 ? -static_cast<double>(share) : static_cast<double>(share);
    };
    const int rows = std::max(1, static_cast<int>(traits.size()));
    const int height = 240 + rows * 34;
    // The labels stand in the left margin, 600 pixels wide: about 56
    // characters of their size, the trait number included.
    const size_t namechars = 52;
    Page page;
    beginpage(page, 1500, height);
    setcolour(first, 215, 0.45);    // direct
    setcolour(first + 1, 30, 0.55); // maternal
    double xmin = 0, xmax = 1;
    for (int k : traits)
        for (double v : {signedshare(m.ewr_da[k], m.ew_d[k]), signedshare(m.ewr_ma[k], m.ew_m[k])}) {
            xmin = std::min(xmin, v);
            xmax = std::max(xmax, v);
        }
    const double pad = (xmax - xmin) * 0.1;
    xmin = xmin < 0 ? xmin - pad : 0;
    xmax += pad;
    heading("Relative economic weights within the total", scenarioline(m),
            1.0 - 100.0 / height);
    plschr(0, 0.55);
    plvpor(0.4, 0.97, 80.0 / height, 1.0 - 150.0 / height);
    plwind(xmin, xmax, 0, rows);
    plcol0(2);
    plbox("g", 0, 0, "", 0, 0);
    plcol0(1);
    plbox("bcnst", 0, 0, "bc", 0, 0);
    pllab("Relative economic weight within the total (%), left of 0 where the economic weight is "
          "negative",
          "", "");
    const PLFLT zx[2] = {0, 0}, zy[2] = {0, static_cast<PLFLT>(rows)};
    plline(2, zx, zy);
    for (int i = 0; i < static_cast<int>(traits.size()); ++i) {
        const int k = traits[i];
        const double ybase = rows - i - 1;
        const std::string label = literal(std::to_string(k) + " " + chartname(names[k], namechars));
        plcol0(1);
        plmtex("lv", 1.0, (ybase + 0.4) / rows, 1.0, label.c_str());
        const struct {
            bool has;
            double value;
            double low;
            int colour;
        } bars[] = {{hasdirect(m, k) && m.delta_d[k] == 1, signedshare(m.ewr_da[k], m.ew_d[k]), 0.5,
                     first},
                    {hasmaternal(m, k) && m.delta_m[k] == 1, signedshare(m.ewr_ma[k], m.ew_m[k]),
                     0.14, first + 1}};
        for (const auto& b : bars) {
            if (!b.has || std::fabs(b.value) < 1e-6) continue;
            const double v = b.value;
            PLFLT bx[4] = {0, v, v, 0};
            PLFLT by[4] = {ybase + b.low, ybase + b.low, ybase + b.low + 0.34,
                           ybase + b.low + 0.34};
            plcol0(b.colour);
            plfill(4, bx, by);
            char text[32];
            std::snprintf(text, sizeof text, "%.1f", v);
            plcol0(1);
            plschr(0, 0.45);
            const double gap = (xmax - xmin) * 0.008;
            plptex(v < 0 ? v - gap : v + gap, ybase + b.low + 0.06, 1, 0, v < 0 ? 1 : 0, text);
            plschr(0, 0.55);
        }
    }
    // The legend between the title and the bars.
    PLFLT w, h;
    const char* text[] = {"Direct", "Maternal"};
    PLINT opts[] = {PL_LEGEND_COLOR_BOX, PL_LEGEND_COLOR_BOX}, tc[] = {1, 1};
    PLINT bc[] = {first, first + 1}, bp[] = {0, 0};
    PLFLT bs[] = {0.8, 0.8}, bw[] = {1, 1};
    pllegend(&w, &h, 0, PL_POSITION_OUTSIDE | PL_POSITION_TOP, 0, 0.01, 0.05, 0, 0, 1, 1, 2, 2,
             opts, 1.0, 0.5, 2.0, 0, tc, text, bc, bp, bs, bw, nullptr, nullptr, nullptr, nullptr,
             nullptr, nullptr, nullptr);
    return endpage(page);
}

std::string multipleschart(const Multiples& chart) {
    const int n = std::max(1, static_cast<int>(chart.panels.size()));
    const int cols = n <= 3 ? n : n <= 4 ? 2 : n <= 9 ? 3 : 4;
    const int rows = (n + cols - 1) / cols;
    const int head = chart.series.size() > 1 ? 170 : 130, foot = chart.note.empty() ? 20 : 60;
    const int width = 120 + cols * 560, height = head + rows * 400 + foot;
    Page page;
    beginpage(page, width, height);
    const double top = 1.0 - static_cast<double>(head) / height;
    const double bottom = static_cast<double>(foot) / height;
    heading(chart.title, chart.subtitle, 1.0 - 110.0 / height);
    // Series from light to dark in one hue, so that their order shows.
    const int nseries = std::max(1, static_cast<int>(chart.series.size()));
    for (int i = 0; i < nseries; ++i)
        setcolour(first + i, 215, nseries == 1 ? 0.4 : 0.72 - 0.5 * i / (nseries - 1.0));
    if (chart.series.size() > 1) {
        std::vector<const char*> text;
        std::vector<PLINT> opts, tc, lc, ls;
        std::vector<PLFLT> lw;
        std::vector<std::string> drawn(chart.series.size());
        std::transform(chart.series.begin(), chart.series.end(), drawn.begin(), literal);
        for (int i = 0; i < nseries; ++i) {
            text.push_back(drawn[i].c_str());
            opts.push_back(chart.points ? PL_LEGEND_SYMBOL : PL_LEGEND_LINE);
            tc.push_back(1);
            lc.push_back(first + i);
            ls.push_back(1);
            lw.push_back(3.0);
        }
        std::vector<PLINT> sc(lc), sn(nseries, 1);
        std::vector<PLFLT> ss(nseries, 2.0);
        std::vector<const char*> sym(nseries, "\u2022");
        plvpor(0, 1, top, 1.0 - 110.0 / height);
        plwind(0, 1, 0, 1);
        PLFLT w, h;
        plschr(0, 0.5);
        pllegend(&w, &h, PL_LEGEND_NONE, PL_POSITION_INSIDE | PL_POSITION_TOP, 0, 0.1, 0.05, 0, 0,
                 1, 1, nseries, nseries, opts.data(), 1.0, 0.5, 1.5, 0, tc.data(), text.data(),
                 nullptr, nullptr, nullptr, nullptr, lc.data(), ls.data(), lw.data(), sc.data(),
                 ss.data(), sn.data(), sym.data());
    }
    if (!chart.note.empty()) {
        plvpor(0, 1, 0, bottom);
        plwind(0, 1, 0, 1);
        plschr(0, 0.5);
        plcol0(2);
        plptex(0.5, 0.45, 1, 0, 0.5, literal(chart.note).c_str());
        plcol0(1);
    }
    plscol0(first + nseries, 165, 165, 165); // the grey of the smaller components
    for (size_t p = 0; p < chart.panels.size(); ++p) {
        const Panel& panel = chart.panels[p];
        double xmin = 0, xmax = 1, ymin = 0, ymax = 0;
        bool any = false;
        for (const Line& l : panel.lines)
            for (size_t i = 0; i < l.x.size(); ++i) {
                if (!any) {
                    xmin = xmax = l.x[i];
                    any = true;
                }
                xmin = std::min(xmin, l.x[i]);
                xmax = std::max(xmax, l.x[i]);
                ymin = std::min(ymin, l.y[i]);
                ymax = std::max(ymax, l.y[i]);
            }
        if (xmax <= xmin || chart.points) {
            xmin -= 0.5;
            xmax += 0.5;
        }
        const double pad = ymax > ymin ? (ymax - ymin) * 0.08 : 1;
        const double cw = (1.0 - 0.03) / cols, ch = (top - bottom) / rows;
        const double x0 = 0.03 + static_cast<double>(p % static_cast<size_t>(cols)) * cw;
        const size_t row = p / static_cast<size_t>(cols);
        const double y0 = top - (static_cast<double>(row) + 1) * ch;
        plschr(0, 0.46);
        plvpor(x0 + 0.16 * cw, x0 + 0.94 * cw, y0 + 0.2 * ch, y0 + 0.86 * ch);
        plwind(xmin, xmax, ymin < 0 ? ymin - pad : 0, ymax + pad);
        plcol0(2);
        plbox("g", 0, 0, "g", 0, 0);
        plcol0(1);
        plbox("bcnst", 0, 0, "bcnstv", 0, 0);
        const bool lastrow = static_cast<int>(p) / cols == rows - 1 ||
                             static_cast<int>(p) + cols >= static_cast<int>(chart.panels.size());
        const bool firstcol = p % static_cast<size_t>(cols) == 0;
        pllab(lastrow ? chart.xlabel.c_str() : "", firstcol ? chart.ylabel.c_str() : "",
              literal(panel.title).c_str());
        if (ymin < 0) {
            const PLFLT zx[2] = {xmin, xmax}, zy[2] = {0, 0};
            plline(2, zx, zy);
        }
        for (const Line& l : panel.lines) {
            plcol0(panel.grey ? first + nseries : first + std::min(l.series, nseries - 1));
            plwidth(panel.grey ? 1.0 : 2.5);
            pllsty(l.dashed ? 2 : 1);
            if (chart.points || l.x.size() == 1) {
                plschr(0, 1.1);
                plstring(static_cast<PLINT>(l.x.size()), l.x.data(), l.y.data(), "\u2022");
                plschr(0, 0.46);
            }
            if (!chart.points && l.x.size() > 1)
                plline(static_cast<PLINT>(l.x.size()), l.x.data(), l.y.data());
            pllsty(1);
            plwidth(1.0);
        }
        plcol0(1);
    }
    if (chart.panels.empty()) {
        plvpor(0, 1, bottom, top);
        plwind(0, 1, 0, 1);
        plschr(0, 0.7);
        plptex(0.5, 0.5, 1, 0, 0.5, "No trait has a weight here.");
    }
    return endpage(page);
}

} // namespace kalp
