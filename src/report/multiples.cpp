#include "report/charts.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "report/chartkit.h"

namespace kalp {

using namespace chartkit;
using svg::Anchor;
using svg::Attrs;
using svg::Box;
using svg::Document;

namespace {

constexpr const char* greyline = "#a0a0a0";
// A tier of bands: the bracket and a line of text.
const double tier = 5 + svg::ascent(tickfont) + svg::descent(tickfont) + 3;
// The colour scale of a heat map beside its panel: gap, bar, ticks.
constexpr double scalegap = 8, scalebar = 10;

// A panel title in at most two lines: the title cut after a word, when it
// must be, and its tail whole.
std::vector<std::string> titlelines(const Panel& panel, double width) {
    std::vector<std::string> lines = svg::wrap(panel.title + panel.tail, panelfont, width);
    for (std::string cut = panel.title; lines.size() > 2;) {
        const size_t blank = cut.rfind(' ');
        if (blank == std::string::npos || blank == 0) {
            lines = svg::wrap(panel.title + panel.tail, panelfont, width, 2);
            break;
        }
        cut.resize(blank);
        while (!cut.empty() && (cut.back() == ',' || cut.back() == ' '))
            cut.pop_back();
        lines = svg::wrap(cut + "\u2026" + panel.tail, panelfont, width);
    }
    return lines;
}

// The edges of the cells around values: halfway between neighbours, and
// half a step beyond the first and the last; the edges of a single value
// half a unit away.
std::vector<double> edges(const std::vector<double>& sorted) {
    const size_t n = sorted.size();
    std::vector<double> e;
    if (n == 0) return e;
    if (n == 1) return {sorted[0] - 0.5, sorted[0] + 0.5};
    e.push_back(sorted[0] - (sorted[1] - sorted[0]) / 2);
    for (size_t i = 1; i < n; ++i)
        e.push_back((sorted[i - 1] + sorted[i]) / 2);
    e.push_back(sorted[n - 1] + (sorted[n - 1] - sorted[n - 2]) / 2);
    return e;
}

// A coordinate as the document writes it, so that neighbouring cells share
// their edges exactly and no seam shows between them.
double pixel(double v) { return std::round(v * 10) / 10; }

// Where v stands among sorted values.
size_t indexof(const std::vector<double>& sorted, double v) {
    return static_cast<size_t>(std::lower_bound(sorted.begin(), sorted.end(), v) - sorted.begin());
}

// Brackets with their labels under categories of the x axis, tier by tier
// from `y` down.
void xbands(Document& d, const svg::Plot& p, const std::vector<std::vector<Band>>& tiers,
            double y) {
    for (const std::vector<Band>& bands : tiers) {
        for (const Band& b : bands) {
            const double x0 = p.x(static_cast<double>(b.first) - 0.5) + 2;
            const double x1 = p.x(static_cast<double>(b.last) + 0.5) - 2;
            d.tick(x0, y + 1, x0, y + 3, "#888");
            d.tick(x0, y + 3, x1, y + 3, "#888");
            d.tick(x1, y + 1, x1, y + 3, "#888");
            d.text((x0 + x1) / 2, y + 5 + svg::ascent(tickfont),
                   svg::fit(b.label, tickfont, x1 - x0), tickfont, Anchor::middle,
                   Attrs()("fill", grey));
        }
        y += tier;
    }
}

// The room that tiers of bands take beside the y axis: a bracket and the
// widest label of each tier.
std::vector<double> ytiers(const std::vector<std::vector<Band>>& tiers) {
    std::vector<double> widths;
    for (const std::vector<Band>& bands : tiers) {
        double w = 0;
        for (const Band& b : bands)
            w = std::max(w, svg::textwidth(b.label, tickfont));
        widths.push_back(w + 10);
    }
    return widths;
}

// The same beside categories of the y axis, tier by tier from `x`
// leftwards, each label across its band where the band is tall enough.
void ybands(Document& d, const svg::Plot& p, const std::vector<std::vector<Band>>& tiers,
            double x) {
    const std::vector<double> widths = ytiers(tiers);
    const double tall = svg::ascent(tickfont) + svg::descent(tickfont);
    for (size_t t = 0; t < tiers.size(); ++t) {
        for (const Band& b : tiers[t]) {
            const double y0 = p.y(static_cast<double>(b.last) + 0.5) + 1;
            const double y1 = p.y(static_cast<double>(b.first) - 0.5) - 1;
            d.tick(x - 1, y0, x - 3, y0, "#888");
            d.tick(x - 3, y0, x - 3, y1, "#888");
            d.tick(x - 1, y1, x - 3, y1, "#888");
            if (y1 - y0 >= tall)
                d.text(x - 6, middle((y0 + y1) / 2, tickfont), b.label, tickfont, Anchor::end,
                       Attrs()("fill", grey));
        }
        x -= widths[t];
    }
}

// The labels at the ends of the lines of a panel, moved apart where lines
// end close together, with a leader from the end of the line; one label
// "all" where every line coincides.
void endlabels(Document& d, const svg::Plot& p, const Multiples& chart, const Panel& panel,
               double shift) {
    struct End {
        double x, y;
        std::string text, colour;
    };
    std::vector<End> ends;
    for (const Line& l : panel.lines) {
        if (l.x.empty()) continue;
        const double x =
            p.x(l.x.back()) + shift * (static_cast<double>(l.series) -
                                       (static_cast<double>(chart.series.size()) - 1) / 2);
        ends.push_back({x, p.y(l.y.back()), chart.serieskeys[static_cast<size_t>(l.series)],
                        std::string(svg::serieshue(static_cast<size_t>(l.series)))});
    }
    if (panel.alike && !ends.empty()) ends = {{ends.back().x, ends.back().y, "all", "#222"}};
    std::vector<double> wish(ends.size());
    std::transform(ends.begin(), ends.end(), wish.begin(), [](const End& e) { return e.y; });
    const double step = svg::ascent(endfont) + svg::descent(endfont) + 1;
    const std::vector<double> at =
        spread(wish, step, p.area.y0 + step / 2, p.area.y1 - step / 2 - 2);
    const double lx = p.area.x1 + 12;
    for (size_t j = 0; j < ends.size(); ++j) {
        const End& e = ends[j];
        if (std::fabs(at[j] - e.y) > 0.5 || e.x < p.area.x1 - 1)
            d.empty("line", Attrs()("x1", e.x + 1)("y1", e.y)("x2", lx - 2)("y2", at[j])(
                                "stroke", e.colour)("stroke-width", 0.8));
        d.text(lx, middle(at[j], endfont), e.text, endfont, Anchor::start,
               Attrs()("fill", e.colour));
    }
}

// The colour scale of a heat map: its range from the values of the panel,
// symmetric around 0 when they have both signs.
svg::Ticks colourscale(const Panel& panel, double length) {
    double lo = 0, hi = 0;
    bool any = false;
    for (const Line& l : panel.lines)
        for (const double v : l.y) {
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
    if (lo < 0 && hi > 0) {
        const double top = std::max(-lo, hi);
        lo = -top;
        hi = top;
    }
    return svg::axisticks(lo, hi, length, tickfont, false);
}

void drawscale(Document& d, const svg::Ticks& scale, const Box& area) {
    const double x0 = area.x1 + scalegap, x1 = x0 + scalebar;
    const svg::Plot s = svg::plot({x0, area.y0, x1, area.y1}, svg::ticks(0, 1, 1), scale);
    constexpr int slices = 50;
    d.open("g", Attrs()("shape-rendering", "crispEdges"));
    for (int i = 0; i < slices; ++i) {
        const double v0 = scale.lo + (scale.hi - scale.lo) * i / slices;
        const double v1 = scale.lo + (scale.hi - scale.lo) * (i + 1) / slices;
        const double top = pixel(s.y(v1)), bottom = pixel(s.y(v0));
        d.empty("rect", Attrs()("x", x0)("y", top)("width", scalebar)("height", bottom - top)(
                            "fill", svg::shade((v0 + v1) / 2, scale.lo, scale.hi)));
    }
    d.close();
    d.empty("rect", Attrs()("x", x0)("y", area.y0)("width", scalebar)("height", area.y1 - area.y0)(
                        "fill", "none")("stroke", "#444")("stroke-width", 0.5));
    for (size_t i = 0; i < scale.at.size(); ++i) {
        const double y = s.y(scale.at[i]);
        d.tick(x1, y, x1 + 3, y);
        d.text(x1 + 5, y + (svg::ascent(tickfont) - svg::descent(tickfont)) / 2, scale.labels[i],
               tickfont);
    }
}

// The values on the x axis of a heat map, and the edges of their cells.
struct Grid {
    std::vector<double> xs, xedges;
    std::vector<size_t> rows; // the series from the lowest row value up
    std::vector<double> yedges;
};

Grid heatgrid(const Multiples& chart) {
    Grid g;
    for (const Panel& panel : chart.panels)
        for (const Line& l : panel.lines)
            g.xs.insert(g.xs.end(), l.x.begin(), l.x.end());
    std::sort(g.xs.begin(), g.xs.end());
    g.xs.erase(std::unique(g.xs.begin(), g.xs.end()), g.xs.end());
    g.xedges = chart.categories.empty()
                   ? edges(g.xs)
                   : std::vector<double>{-0.5, static_cast<double>(chart.categories.size()) - 0.5};
    const bool named = !chart.rowcategories.empty();
    const size_t n = named ? chart.rowcategories.size() : chart.rowvalues.size();
    g.rows.resize(n);
    std::iota(g.rows.begin(), g.rows.end(), 0);
    if (!named) {
        std::stable_sort(g.rows.begin(), g.rows.end(), [&](size_t a, size_t b) {
            return chart.rowvalues[a] < chart.rowvalues[b];
        });
        std::vector<double> sorted(g.rows.size());
        std::transform(g.rows.begin(), g.rows.end(), sorted.begin(),
                       [&](size_t r) { return chart.rowvalues[r]; });
        g.yedges = edges(sorted);
    } else {
        for (size_t i = 0; i <= n; ++i)
            g.yedges.push_back(static_cast<double>(i) - 0.5);
    }
    return g;
}

void drawheat(Document& d, const svg::Plot& p, const Multiples& chart, const Grid& g,
              const Panel& panel, const svg::Ticks& scale) {
    const bool named = !chart.rowcategories.empty();
    std::vector<size_t> place(g.rows.size()); // of each series among the rows
    // Cells that meet without a seam of background between them.
    d.open("g", Attrs()("shape-rendering", "crispEdges"));
    for (size_t i = 0; i < g.rows.size(); ++i)
        place[g.rows[i]] = i;
    for (const Line& l : panel.lines) {
        const auto r = static_cast<size_t>(l.series);
        if (r >= place.size()) continue;
        const std::string ytext = named ? chart.rowcategories[r] : datum(chart.rowvalues[r]);
        const double ya = p.y(g.yedges[place[r] + 1]), yb = p.y(g.yedges[place[r]]);
        for (size_t j = 0; j < l.x.size(); ++j) {
            double xa = 0, xb = 0;
            std::string xtext;
            if (chart.categories.empty()) {
                const size_t c = indexof(g.xs, l.x[j]);
                xa = p.x(g.xedges[c]);
                xb = p.x(g.xedges[c + 1]);
                xtext = datum(l.x[j]);
            } else {
                xa = p.x(l.x[j] - 0.5);
                xb = p.x(l.x[j] + 0.5);
                xtext = chart.categories[static_cast<size_t>(l.x[j])];
            }
            const Box& a = p.area;
            d.bar({std::clamp(pixel(xa), a.x0, a.x1), std::clamp(pixel(ya), a.y0, a.y1),
                   std::clamp(pixel(xb), a.x0, a.x1), std::clamp(pixel(yb), a.y0, a.y1)},
                  Attrs()("fill", svg::shade(l.y[j], scale.lo, scale.hi))("data-x", xtext)(
                      "data-y", ytext)("data-value", datum(l.y[j])));
        }
    }
    d.close();
    drawscale(d, scale, p.area);
}

void drawlines(Document& d, const svg::Plot& p, const Multiples& chart, const Panel& panel) {
    const bool points = !chart.categories.empty();
    const size_t nseries = std::max<size_t>(1, chart.series.size());
    for (const Line& l : panel.lines) {
        const auto s = static_cast<size_t>(l.series);
        const std::string colour =
            panel.grey ? greyline : std::string(svg::serieshue(chart.series.empty() ? 0 : s));
        Attrs a;
        if (l.trait) a("data-trait", l.trait)("data-component", componentname(!l.maternal));
        if (chart.series.size() > 1) a("data-series", chart.serieskeys[s]);
        if (points) {
            // The series side by side at each category.
            const double shift =
                (static_cast<double>(l.series) - (static_cast<double>(nseries) - 1) / 2) * 7;
            d.open("g",
                   a("fill", l.maternal ? "#fff" : colour)("stroke", colour)("stroke-width", 1.5));
            for (size_t k = 0; k < l.x.size(); ++k)
                d.empty("circle", Attrs()("cx", p.x(l.x[k]) + shift)("cy", p.y(l.y[k]))("r", 3.5)(
                                      "data-x", chart.categories[static_cast<size_t>(l.x[k])])(
                                      "data-y", datum(l.y[k])));
            d.close();
        } else {
            const svg::Polyline line = svg::polyline(p, l.x, l.y);
            a("points", line.points)("fill", "none")("stroke", colour)("stroke-width",
                                                                       panel.grey ? 1.2 : 2.0);
            if (l.maternal) a("stroke-dasharray", svg::dash(1));
            a("data-x", datalist(l.x, line.at))("data-y", datalist(l.y, line.at));
            d.empty("polyline", a);
        }
    }
    if (chart.series.size() > 1 && !panel.grey) endlabels(d, p, chart, panel, points ? 7 : 0);
}

} // namespace

std::string multipleschart(const Multiples& chart, svg::Layout* layout) {
    const size_t n = std::max<size_t>(1, chart.panels.size());
    const size_t cols = n <= 3 ? n : n <= 4 ? 2 : n <= 9 ? 3 : 4;
    const size_t rows = (n + cols - 1) / cols;
    const bool points = !chart.categories.empty() && !chart.heat;
    const double plotwidth = cols >= 4 ? 200 : 240, plotheight = 150, gap = 22;

    // The scales of the panels: x shared, y each its own (0 always on it)
    // or, for heat maps, the rows shared and a colour scale each.
    double xlo = 0, xhi = 0;
    bool any = false;
    for (const Panel& panel : chart.panels)
        for (const Line& l : panel.lines)
            for (const double x : l.x) {
                xlo = any ? std::min(xlo, x) : x;
                xhi = any ? std::max(xhi, x) : x;
                any = true;
            }
    Grid grid;
    if (chart.heat) {
        grid = heatgrid(chart);
        xlo = grid.xedges.front();
        xhi = grid.xedges.back();
    }
    const svg::Ticks xt = !chart.categories.empty()
                              ? svg::categories(chart.categories, plotwidth, tickfont)
                          : xhi > xlo ? svg::spanticks(xlo, xhi, plotwidth, tickfont)
                                      : svg::ticks(xlo - 0.5, xhi + 0.5, 1);
    std::vector<svg::Ticks> yt, scales;
    double ylabels = 0, right = 0;
    for (const Panel& panel : chart.panels) {
        if (chart.heat) {
            yt.push_back(!chart.rowcategories.empty()
                             ? svg::categories(chart.rowcategories, plotheight, tickfont, false)
                             : svg::spanticks(grid.yedges.front(), grid.yedges.back(), plotheight,
                                              tickfont, false));
            scales.push_back(colourscale(panel, plotheight));
            right =
                std::max(right, scalegap + scalebar + 5 + svg::labelwidth(scales.back(), tickfont));
        } else {
            double lo = 0, hi = 0;
            for (const Line& l : panel.lines)
                for (const double y : l.y) {
                    lo = std::min(lo, y);
                    hi = std::max(hi, y);
                }
            yt.push_back(svg::axisticks(lo, hi, plotheight, tickfont, false));
        }
        ylabels = std::max(ylabels, svg::labelwidth(yt.back(), tickfont));
    }
    if (!chart.heat && chart.series.size() > 1) {
        double widest = svg::textwidth("all", endfont);
        for (const std::string& k : chart.serieskeys)
            widest = std::max(widest, svg::textwidth(k, endfont));
        right = 12 + widest;
    }
    const std::vector<double> tiers =
        ytiers(chart.heat ? chart.rowbands : std::vector<std::vector<Band>>());
    const double yband = std::accumulate(tiers.begin(), tiers.end(), 0.0);
    const double panelwidth = yband + ylabels + plotwidth + right + 8;
    const double width = std::max(640.0, margin + ytitle + static_cast<double>(cols) * panelwidth +
                                             static_cast<double>(cols - 1) * gap + margin);
    const double titleroom = 2 * lineheight(panelfont) + 8;
    const double xband = static_cast<double>(chart.bands.size()) * tier;
    const double rowheight = titleroom + plotheight + svg::xaxisheight(tickfont) + xband + 18;

    const double head = headheight(width, chart.title, chart.subtitle);
    // The legend of the series: what they are values of, then a sample and
    // a value each, in rows.
    struct Entry {
        double x, y;
    };
    std::vector<Entry> entries;
    double legendheight = 0;
    const bool legend = chart.series.size() > 1 && !chart.heat;
    const std::string lead = chart.serieslabel.empty() ? "" : chart.serieslabel + ":";
    Entry leadat{0, 0};
    if (legend) {
        auto widthof = [&](size_t i) {
            return i == 0 ? svg::textwidth(lead, legendfont) + 16
                          : 30 + svg::textwidth(chart.series[i - 1], legendfont) + 22;
        };
        std::vector<std::vector<size_t>> legendrows(1);
        double used = 0;
        const double room = width - 2 * margin;
        for (size_t i = lead.empty() ? 1 : 0; i <= chart.series.size(); ++i) {
            if (used + widthof(i) > room && !legendrows.back().empty()) {
                legendrows.emplace_back();
                used = 0;
            }
            legendrows.back().push_back(i);
            used += widthof(i);
        }
        entries.resize(chart.series.size());
        for (size_t r = 0; r < legendrows.size(); ++r) {
            double rowwidth = 0;
            for (const size_t i : legendrows[r])
                rowwidth += widthof(i);
            double x = std::max(margin, (width - rowwidth + 22) / 2);
            const double y = head + lineheight(legendfont) * (static_cast<double>(r) + 0.5);
            for (const size_t i : legendrows[r]) {
                if (i == 0)
                    leadat = {x, y};
                else
                    entries[i - 1] = {x, y};
                x += widthof(i);
            }
        }
        legendheight = static_cast<double>(legendrows.size()) * lineheight(legendfont) + 10;
    }
    const double top = head + legendheight;
    const double gridheight = static_cast<double>(rows) * rowheight;
    const std::vector<std::string> xlabel = svg::wrap(chart.xlabel, labelfont, width - 2 * margin);
    const double xlabelheight = static_cast<double>(xlabel.size()) * lineheight(labelfont);
    const std::vector<std::string> lines = notelines(chart.notes, width - 2 * margin);
    const double height = top + gridheight + xlabelheight + notesheight(lines) + margin;

    std::vector<std::string> desc = {chart.subtitle};
    desc.insert(desc.end(), chart.notes.begin(), chart.notes.end());
    Document d(width, height, chart.title, sentences(desc));
    heading(d, chart.title, chart.subtitle);
    if (legend && !lead.empty())
        d.text(leadat.x, middle(leadat.y, legendfont),
               svg::fit(lead, legendfont, width - 2 * margin), legendfont);
    for (size_t i = 0; legend && i < entries.size(); ++i) {
        const std::string colour(svg::serieshue(i));
        const double x = entries[i].x, y = entries[i].y;
        if (points)
            d.empty("circle", Attrs()("cx", x + 12)("cy", y)("r", 4.0)("fill", colour));
        else
            d.empty("line", Attrs()("x1", x)("y1", y)("x2", x + 24)("y2", y)("stroke", colour)(
                                "stroke-width", 2.5));
        d.text(x + 30, middle(y, legendfont), chart.series[i], legendfont);
    }
    if (!chart.ylabel.empty())
        d.uptext(margin + svg::ascent(labelfont), top + gridheight / 2,
                 svg::fit(chart.ylabel, labelfont, gridheight), labelfont, Anchor::middle);

    for (size_t i = 0; i < chart.panels.size(); ++i) {
        const Panel& panel = chart.panels[i];
        const double x0 = margin + ytitle + static_cast<double>(i % cols) * (panelwidth + gap);
        const size_t row = i / cols;
        const double y0 = top + static_cast<double>(row) * rowheight;
        const Box area{x0 + yband + ylabels, y0 + titleroom, x0 + yband + ylabels + plotwidth,
                       y0 + titleroom + plotheight};
        const svg::Plot p = svg::plot(area, xt, yt[i]);
        d.open("g", Attrs()("data-panel", panel.key));
        const std::vector<std::string> title = titlelines(panel, panelwidth);
        for (size_t j = 0; j < title.size(); ++j)
            d.text(x0, y0 + svg::ascent(panelfont) + static_cast<double>(j) * lineheight(panelfont),
                   title[j], panelfont, Anchor::start,
                   panel.grey ? Attrs()("fill", grey) : Attrs());
        if (chart.heat) {
            drawheat(d, p, chart, grid, panel, scales[i]);
            svg::axes(d, p, tickfont, false, false);
            ybands(d, p, chart.rowbands, area.x0 - ylabels);
        } else {
            svg::axes(d, p, tickfont, true, true);
            if (p.yt.lo < 0 && p.yt.hi > 0)
                d.empty("line", Attrs()("x1", area.x0)("y1", p.y(0))("x2", area.x1)("y2", p.y(0))(
                                    "stroke", "#888"));
            drawlines(d, p, chart, panel);
        }
        xbands(d, p, chart.bands, area.y1 + svg::xaxisheight(tickfont));
        d.close();
    }
    if (chart.panels.empty())
        d.text(width / 2, top + rowheight / 2, svg::fit(chart.none, labelfont, width - 2 * margin),
               labelfont, Anchor::middle);
    double y = top + gridheight;
    for (const std::string& l : xlabel) {
        d.text(margin + ytitle + (width - 2 * margin - ytitle) / 2, y + svg::ascent(labelfont), l,
               labelfont, Anchor::middle);
        y += lineheight(labelfont);
    }
    drawnotes(d, lines, y);
    return d.finish(layout);
}

} // namespace kalp
