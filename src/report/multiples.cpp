#include "report/charts.h"

#include <algorithm>
#include <cstdio>

#include "report/chartkit.h"

namespace kalp {

using namespace chartkit;
using svg::Anchor;
using svg::Attrs;
using svg::Box;
using svg::Document;
using svg::Font;

namespace {

// The colour of series i of n: from light to dark in one hue, so that their
// order shows; one series in the dark blue.
std::string seriescolour(size_t i, size_t n) {
    const int light[3] = {140, 185, 230}, dark[3] = {8, 48, 107};
    const int num = n <= 1 ? 1 : static_cast<int>(i), den = n <= 1 ? 1 : static_cast<int>(n - 1);
    char text[8];
    std::string s = "#";
    for (int c = 0; c < 3; ++c) {
        const int v = light[c] + (dark[c] - light[c]) * num / den;
        std::snprintf(text, sizeof text, "%02X", v);
        s += text;
    }
    return s;
}

constexpr const char* greyline = "#a0a0a0";

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

} // namespace

std::string multipleschart(const Multiples& chart, svg::Layout* layout) {
    const size_t n = std::max<size_t>(1, chart.panels.size());
    const size_t cols = n <= 3 ? n : n <= 4 ? 2 : n <= 9 ? 3 : 4;
    const size_t rows = (n + cols - 1) / cols;
    const bool points = !chart.categories.empty();
    const double plotwidth = cols >= 4 ? 200 : 240, plotheight = 150, gap = 22;

    // The scales of the panels: x shared, y each its own, 0 always on it.
    double xlo = 0, xhi = 0;
    bool any = false;
    for (const Panel& panel : chart.panels)
        for (const Line& l : panel.lines)
            for (const double x : l.x) {
                xlo = any ? std::min(xlo, x) : x;
                xhi = any ? std::max(xhi, x) : x;
                any = true;
            }
    const svg::Ticks xt = points      ? svg::categories(chart.categories, plotwidth, tickfont)
                          : xhi > xlo ? svg::spanticks(xlo, xhi, plotwidth, tickfont)
                                      : svg::ticks(xlo - 0.5, xhi + 0.5, 1);
    std::vector<svg::Ticks> yt;
    double ylabels = 0;
    for (const Panel& panel : chart.panels) {
        double lo = 0, hi = 0;
        for (const Line& l : panel.lines)
            for (const double y : l.y) {
                lo = std::min(lo, y);
                hi = std::max(hi, y);
            }
        yt.push_back(svg::axisticks(lo, hi, plotheight, tickfont, false));
        ylabels = std::max(ylabels, svg::labelwidth(yt.back(), tickfont));
    }
    const double panelwidth = ylabels + plotwidth + 8;
    const double width = std::max(640.0, margin + ytitle + static_cast<double>(cols) * panelwidth +
                                             static_cast<double>(cols - 1) * gap + margin);
    const double titleroom = 2 * lineheight(panelfont) + 8;
    const double rowheight = titleroom + plotheight + svg::xaxisheight(tickfont) + 18;

    // The legend of the series: a sample and a name each, in rows.
    struct Entry {
        double x, y;
    };
    std::vector<Entry> entries;
    double legendheight = 0;
    if (chart.series.size() > 1) {
        std::vector<std::vector<size_t>> legendrows(1);
        double used = 0;
        for (size_t i = 0; i < chart.series.size(); ++i) {
            const double w = 30 + svg::textwidth(chart.series[i], legendfont) + 22;
            if (used + w > width - 2 * margin && !legendrows.back().empty()) {
                legendrows.emplace_back();
                used = 0;
            }
            legendrows.back().push_back(i);
            used += w;
        }
        entries.resize(chart.series.size());
        for (size_t r = 0; r < legendrows.size(); ++r) {
            double rowwidth = 0;
            for (const size_t i : legendrows[r])
                rowwidth += 30 + svg::textwidth(chart.series[i], legendfont) + 22;
            double x = (width - rowwidth + 22) / 2;
            for (const size_t i : legendrows[r]) {
                entries[i] = {x, headheight() +
                                     lineheight(legendfont) * (static_cast<double>(r) + 0.5)};
                x += 30 + svg::textwidth(chart.series[i], legendfont) + 22;
            }
        }
        legendheight = static_cast<double>(legendrows.size()) * lineheight(legendfont) + 10;
    }
    const double top = headheight() + legendheight;
    const double gridheight = static_cast<double>(rows) * rowheight;
    const std::vector<std::string> xlabel = svg::wrap(chart.xlabel, labelfont, width - 2 * margin);
    const double xlabelheight = static_cast<double>(xlabel.size()) * lineheight(labelfont);
    const std::vector<std::string> lines = notelines(chart.notes, width - 2 * margin);
    const double height = top + gridheight + xlabelheight + notesheight(lines) + margin;

    std::string desc = chart.subtitle;
    for (const std::string& note : chart.notes)
        desc += ". " + note;
    Document d(width, height, chart.title, desc);
    heading(d, chart.title, chart.subtitle);
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string colour = seriescolour(i, chart.series.size());
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
        const Box area{x0 + ylabels, y0 + titleroom, x0 + ylabels + plotwidth,
                       y0 + titleroom + plotheight};
        const svg::Plot p = svg::plot(area, xt, yt[i]);
        d.open("g", Attrs()("data-panel", panel.key));
        const std::vector<std::string> title = titlelines(panel, panelwidth);
        for (size_t j = 0; j < title.size(); ++j)
            d.text(x0, y0 + svg::ascent(panelfont) + static_cast<double>(j) * lineheight(panelfont),
                   title[j], panelfont, Anchor::start,
                   panel.grey ? Attrs()("fill", grey) : Attrs());
        svg::axes(d, p, tickfont, true, true);
        if (p.yt.lo < 0 && p.yt.hi > 0)
            d.empty("line", Attrs()("x1", area.x0)("y1", p.y(0))("x2", area.x1)("y2", p.y(0))(
                                "stroke", "#888"));
        const size_t nseries = std::max<size_t>(1, chart.series.size());
        for (const Line& l : panel.lines) {
            const std::string colour =
                panel.grey ? greyline : seriescolour(static_cast<size_t>(l.series), nseries);
            Attrs a;
            if (l.trait) a("data-trait", l.trait)("data-component", componentname(!l.maternal));
            if (chart.series.size() > 1)
                a("data-series", chart.series[static_cast<size_t>(l.series)]);
            if (points) {
                // The series side by side at each category.
                const double shift =
                    (static_cast<double>(l.series) - (static_cast<double>(nseries) - 1) / 2) * 7;
                d.open("g", a("fill", l.maternal ? "#fff" : colour)("stroke",
                                                                    colour)("stroke-width", 1.5));
                for (size_t k = 0; k < l.x.size(); ++k)
                    d.empty("circle",
                            Attrs()("cx", p.x(l.x[k]) + shift)("cy", p.y(l.y[k]))("r", 3.5));
                d.close();
            } else {
                a("points", svg::linepoints(p, l.x, l.y))("fill", "none")("stroke", colour)(
                    "stroke-width", panel.grey ? 1.2 : 2.0);
                if (l.maternal) a("stroke-dasharray", svg::dash(1));
                d.empty("polyline", a);
            }
        }
        d.close();
    }
    if (chart.panels.empty())
        d.text(width / 2, top + rowheight / 2, "No trait has a weight here.", labelfont,
               Anchor::middle);
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
