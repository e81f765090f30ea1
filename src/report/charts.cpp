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

// Distinct hues for unrelated lines (traits), alternating in lightness.
void setpalette(int n) {
    for (int i = 0; i < n && first + i < colours; ++i)
        setcolour(first + i, std::fmod(i * 137.508, 360.0), i % 2 ? 0.35 : 0.5);
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

std::string geneflowchart(const Model& m, const YearTable& t) {
    Block layout[8];
    const int nblocks = layoutblocks(m, layout);
    // One panel per parental block, then one for all progeny classes.
    struct Panel {
        std::string title;
        int from, to; // classes
        double hue;
    };
    std::vector<Panel> panels;
    const double hues[] = {215, 0, 275, 130, 30};
    for (int k = 0; k < nblocks && !layout[k].progeny; ++k)
        panels.push_back({capital(layout[k].name), layout[k].first,
                          layout[k].first + layout[k].size - 1, hues[k]});
    panels.push_back({"Progeny", m.acm - (m.prods == 1 ? 0 : 2), m.acm, 180});

    const int cols = 3;
    const int rows = (static_cast<int>(panels.size()) + cols - 1) / cols;
    const int height = 90 + rows * 520;
    Page page;
    beginpage(page, 2100, height);
    const double top = 1.0 - 90.0 / height; // below the title
    const ClassInfo traced = describeclass(m, m.n_sac);
    const std::string title = "Gene flow of sex and age group " + std::to_string(m.n_sac) + " (" +
                              groupname(traced) + "), discount rate " +
                              shortnumber(static_cast<double>(m.u)) + ", " +
                              std::to_string(m.l_inv) + " years";
    plvpor(0, 1, top, 1);
    plwind(0, 1, 0, 1);
    plschr(0, 0.75);
    plptex(0.5, 0.4, 1, 0, 0.5, title.c_str());

    std::vector<double> x(t.years.begin(), t.years.end());
    const int stride = m.acm + 1;
    for (size_t p = 0; p < panels.size(); ++p) {
        const Panel& panel = panels[p];
        const bool progeny = panel.title == "Progeny";
        const double margin = 0.02; // for the axis label of the first column
        const double cw = (1.0 - margin) / cols, ch = top / rows;
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
        const bool reached = ymax > 0;
        if (!reached) ymax = 1;
        plschr(0, 0.55);
        plvpor(x0 + 0.13 * cw, x0 + 0.62 * cw, y0 + 0.15 * ch, y0 + 0.88 * ch);
        plwind(0, std::max(1, m.l_inv), 0, ymax * 1.08);
        plcol0(2);
        plbox("g", 0, 0, "g", 0, 0);
        plcol0(1);
        plbox("bcnst", 0, 0, "bcnstv", 0, 0);
        pllab("Year", "Share of the traced genes", panel.title.c_str());
        if (!reached) {
            plschr(0, 0.45);
            plptex(std::max(1, m.l_inv) / 2.0, 0.55, 1, 0, 0.5, "not reached");
            plschr(0, 0.55);
        }
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
    const int rows = std::max(1, static_cast<int>(traits.size()));
    const int height = 200 + rows * 34;
    // The labels stand in the left margin, 600 pixels wide: about 56
    // characters of their size, the trait number included.
    const size_t namechars = 52;
    Page page;
    beginpage(page, 1500, height);
    setcolour(first, 215, 0.45);    // direct
    setcolour(first + 1, 30, 0.55); // maternal
    double xmax = 1;
    for (int k : traits)
        xmax = std::max({xmax, static_cast<double>(m.ewr_da[k]), static_cast<double>(m.ewr_ma[k])});
    xmax *= 1.1;
    plschr(0, 0.55);
    plvpor(0.4, 0.97, 80.0 / height, 1.0 - 110.0 / height);
    plwind(0, xmax, 0, rows);
    plcol0(2);
    plbox("g", 0, 0, "", 0, 0);
    plcol0(1);
    plbox("bcnst", 0, 0, "bc", 0, 0);
    pllab("Relative economic weight within the total (%)", "", "");
    plschr(0, 0.7);
    plmtex("t", 4.2, 0.5, 0.5, "Relative economic weights within the total");
    plschr(0, 0.55);
    for (int i = 0; i < static_cast<int>(traits.size()); ++i) {
        const int k = traits[i];
        const double ybase = rows - i - 1;
        const std::string label = literal(std::to_string(k) + " " + chartname(names[k], namechars));
        plcol0(1);
        plmtex("lv", 1.0, (ybase + 0.4) / rows, 1.0, label.c_str());
        const struct {
            bool has;
            float value;
            double low;
            int colour;
        } bars[] = {{hasdirect(m, k) && m.delta_d[k] == 1, m.ewr_da[k], 0.5, first},
                    {hasmaternal(m, k) && m.delta_m[k] == 1, m.ewr_ma[k], 0.14, first + 1}};
        for (const auto& b : bars) {
            if (!b.has || negligible(b.value)) continue;
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
            plptex(v + xmax * 0.008, ybase + b.low + 0.06, 1, 0, 0, text);
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

std::string lineschart(const std::string& title, const std::string& xlabel,
                       const std::string& ylabel, const std::vector<Line>& lines) {
    const int n = static_cast<int>(lines.size());
    const int perrow = 36;
    const int columns = std::max(1, (n + perrow - 1) / perrow);
    const int plotwidth = 1600, legendwidth = 900;
    const int width = plotwidth + columns * legendwidth;
    Page page;
    beginpage(page, width, 900);
    setpalette(n);
    double xmin = 0, xmax = 1, ymin = 0, ymax = 0;
    bool any = false;
    for (const Line& l : lines) {
        for (size_t i = 0; i < l.x.size(); ++i) {
            if (!any) {
                xmin = xmax = l.x[i];
                ymin = ymax = l.y[i];
                any = true;
            }
            xmin = std::min(xmin, l.x[i]);
            xmax = std::max(xmax, l.x[i]);
            ymin = std::min(ymin, l.y[i]);
            ymax = std::max(ymax, l.y[i]);
        }
    }
    if (xmax <= xmin) {
        xmin -= 0.5;
        xmax += 0.5;
    }
    ymin = std::min(ymin, 0.0);
    const double pad = (ymax - ymin) > 0 ? (ymax - ymin) * 0.06 : 1;
    plschr(0, 0.55);
    plvpor(130.0 / width, (plotwidth - 30.0) / width, 0.1, 0.88);
    plwind(xmin, xmax, ymin - (ymin < 0 ? pad : 0), ymax + pad);
    plcol0(2);
    plbox("g", 0, 0, "g", 0, 0);
    plcol0(1);
    plbox("bcnst", 0, 0, "bcnstv", 0, 0);
    pllab(xlabel.c_str(), ylabel.c_str(), "");
    plschr(0, 0.7);
    plmtex("t", 2.5, 0.5, 0.5, title.c_str());
    plschr(0, 0.55);
    std::vector<std::string> labels;
    std::vector<int> colour;
    std::vector<PLINT> styles;
    for (int i = 0; i < n; ++i) {
        const Line& l = lines[i];
        const int index = first + i % (colours - first);
        plcol0(index);
        pllsty(l.dashed ? 2 : 1);
        plwidth(2.0);
        if (l.x.size() == 1)
            plstring(1, l.x.data(), l.y.data(), "#(728)");
        else
            plline(static_cast<PLINT>(l.x.size()), l.x.data(), l.y.data());
        plwidth(1.0);
        pllsty(1);
        labels.push_back(l.label);
        colour.push_back(index);
        styles.push_back(l.dashed ? 2 : 1);
    }
    plcol0(1);
    if (lines.empty())
        plptex((xmin + xmax) / 2, (ymax + pad) / 2, 1, 0, 0.5, "No trait has a weight here.");
    legend(labels, colour, perrow, 0.42, styles);
    return endpage(page);
}

} // namespace kalp
