// The chart of kalp --draws: the spread of the relative weight of every
// trait component over the drawn scenarios.
#include <algorithm>
#include <cmath>

#include "report/chartkit.h"
#include "report/charts.h"
#include "report/drawsreport.h"
#include "report/exports.h"
#include "textio/numbers.h"

namespace kalp {

using svg::Anchor;
using svg::Attrs;
using svg::Box;
using svg::Document;
using namespace chartkit;

namespace {

const char* const colours[2] = {"#1C64C8", "#E28C36"}; // direct, maternal

struct Row {
    size_t c;
    std::string label;
    double q05, q50, q95, mean, base, top5;
};

std::string percent(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%.0f %%", v);
    return s;
}

std::string valuelist(const Draws& d) {
    std::string s;
    for (size_t i = 0; i < d.values.size(); ++i) {
        const UncertainValue& u = d.values[i];
        s += (i ? "; " : "") + std::string("trait ") + std::to_string(u.trait) + " (" + systemname(u.system) + ") ";
        if (u.distribution == Distribution::normal)
            s += "normal about " + shortest(static_cast<float>(u.value)) + ", SD " + shortest(static_cast<float>(u.a));
        else
            s += std::string(distributionname(u.distribution)) + " from " + shortest(static_cast<float>(u.a)) +
                 " to " + shortest(static_cast<float>(u.b)) +
                 (u.distribution == Distribution::triangular ? ", peak " + shortest(static_cast<float>(u.value)) : "");
    }
    return s;
}

} // namespace

std::string drawschart(const DrawsView& v, svg::Layout* layout) {
    const DrawSummary& s = v.summary;
    const std::vector<Component> comps = components(v.base, false);
    std::vector<Row> rows;
    std::vector<std::string> zero, leftout;
    for (size_t c = 0; c < comps.size() && c < drawcomponents; ++c) {
        const Component& k = comps[c];
        const std::string name = std::to_string(k.trait) + " " + chartname(v.names[static_cast<size_t>(k.trait)]) +
                                 ", " + componentname(k.direct);
        const size_t r = drawcomponents + c;
        const bool weighted = s.spread.count(c) > 0 && (s.spread.mean(c) != 0 || s.spread.sd(c) != 0);
        if (!weighted) continue;
        if (s.spread.count(r) == 0) {
            leftout.push_back(name);
            continue;
        }
        if (s.spread.quantile(r, 0) == 0 && s.spread.quantile(r, 1) == 0) {
            zero.push_back(name);
            continue;
        }
        rows.push_back({c, name, s.spread.quantile(r, 0.05), s.spread.quantile(r, 0.5), s.spread.quantile(r, 0.95),
                        s.spread.mean(r), k.included ? k.total : 0,
                        100.0 * static_cast<double>(s.top5[c]) / static_cast<double>(std::max(s.draws, 1LL))});
    }

    const double width = 1100;
    const std::string title = "Relative weights over " + std::to_string(s.draws) + " drawn scenarios";
    const std::string subtitle = scenarioline(v.base) + "; seed " + std::to_string(v.draws.seed);
    std::vector<std::string> notes = {
        sentences({"Each band runs from the 5 % to the 95 % point of the relative weight in the total over the "
                   "draws, the line across it is the median and the dot the weight of the input files' "
                   "scenario; negative where the economic weight is negative",
                   "At the right: how often the component is among the five of the largest standardised "
                   "weight",
                   "Drawn: " + valuelist(v.draws)})};
    if (!leftout.empty()) {
        std::string n = "Left out of the sums by the pair choices of INPUTVRD05.TXT, so not drawn: ";
        for (size_t i = 0; i < leftout.size(); ++i)
            n += (i ? "; " : "") + leftout[i];
        notes.push_back(sentence(n));
    }
    if (!zero.empty()) {
        std::string n = "A relative weight of 0 in every draw, so not drawn: ";
        for (size_t i = 0; i < zero.size(); ++i)
            n += (i ? "; " : "") + zero[i];
        notes.push_back(sentence(n));
    }
    if (!s.spread.exact())
        notes.push_back("The points beyond the first 16384 draws come from histograms of the draws, within "
                        "1/5800 of the range of those draws.");

    double labelroom = 0;
    for (const Row& r : rows)
        labelroom = std::min(std::max(labelroom, svg::textwidth(r.label, labelfont)), width * 0.4);
    const double shareroom = svg::textwidth("100 %", valuefont) + 16;
    const double rowheight = 22, pad = 8;
    const double head = headheight(width, title, subtitle);
    const double legend = lineheight(legendfont) + 10;
    const double top = head + legend;
    const Box area{margin + labelroom + 12, top, width - margin - shareroom,
                   top + pad + static_cast<double>(std::max<size_t>(rows.size(), 1)) * rowheight + pad};
    double lo = 0, hi = 0;
    for (const Row& r : rows) {
        lo = std::min({lo, r.q05, r.base});
        hi = std::max({hi, r.q95, r.base});
    }
    if (hi <= lo) hi = lo + 1;
    const svg::Ticks xt = svg::axisticks(lo, hi, area.x1 - area.x0, tickfont, true);
    const svg::Plot p = svg::plot(area, xt, svg::Ticks{0, 1, {}, {}});
    const std::vector<std::string> lines = notelines(notes, width - 2 * margin);
    const double axistitle = lineheight(labelfont) + 4;
    const double height = area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle + notesheight(lines) + margin;

    Document d(width, height, title, subtitle + ". " + notes.front());
    heading(d, title, subtitle);
    double lx = area.x0;
    const double ly = head + 2;
    for (int k = 0; k < 2; ++k) {
        d.empty("rect", Attrs()("x", lx)("y", ly)("width", 14.0)("height", 12.0)("fill", colours[k])("fill-opacity", "0.45"));
        lx = d.text(lx + 20, middle(ly + 6, legendfont), k ? "Maternal" : "Direct", legendfont).x1 + 24;
    }
    d.text(area.x1 + shareroom, middle(ly + 6, legendfont), "Top 5", legendfont, Anchor::end);
    svg::axes(d, p, tickfont, true, false, false);
    d.tick(p.x(0), area.y0, p.x(0), area.y1, "#222");
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const Component& k = comps[r.c];
        const double yc = area.y0 + pad + static_cast<double>(i) * rowheight + rowheight / 2;
        d.text(area.x0 - 12, middle(yc, labelfont), svg::fit(r.label, labelfont, labelroom), labelfont, Anchor::end);
        const double x0 = p.x(r.q05), x1 = std::max(p.x(r.q95), x0 + 1);
        d.bar({x0, yc - 6, x1, yc + 6},
              Attrs()("fill", colours[k.direct ? 0 : 1])("fill-opacity", "0.45")("data-trait", k.trait)(
                  "data-component", componentname(k.direct))("data-q05", datum(r.q05))("data-q50", datum(r.q50))(
                  "data-q95", datum(r.q95))("data-mean", datum(r.mean))("data-base", datum(r.base))(
                  "data-top5", shortest(r.top5)));
        d.tick(p.x(r.q50), yc - 8, p.x(r.q50), yc + 8, "#222");
        d.empty("circle", Attrs()("cx", p.x(r.base))("cy", yc)("r", 3.5)("fill", "#000"));
        d.text(area.x1 + shareroom, middle(yc, valuefont), percent(r.top5), valuefont, Anchor::end);
    }
    d.text((area.x0 + area.x1) / 2, area.y1 + svg::xaxisheight(tickfont) + 6 + svg::ascent(labelfont),
           "Relative weight in the total (%)", labelfont, Anchor::middle);
    drawnotes(d, lines, area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle);
    return d.finish(layout);
}

} // namespace kalp
