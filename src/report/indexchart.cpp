// The chart of kalp index: the response of every trait component, in its
// genetic standard deviations, as signed bars.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "report/chartkit.h"
#include "report/indexreport.h"
#include "textio/numbers.h"

namespace kalp {

using svg::Anchor;
using svg::Attrs;
using svg::Box;
using svg::Document;
using namespace chartkit;

namespace {

// A series of bars: the response per year of both paths, or the response
// per generation of one path.
struct Series {
    std::string name, colour;
    const PathIndex* path; // null: per year
};

struct Bar {
    size_t row, series;
    double gain, standardised, value, share;
    bool shared; // a share of the response is known
};

std::string label(double standardised, bool shared, double share) {
    char s[64];
    if (shared)
        std::snprintf(s, sizeof s, std::fabs(share) < 9.95 ? "%.3g (%.1f %%)" : "%.3g (%.0f %%)",
                      standardised, share);
    else
        std::snprintf(s, sizeof s, "%.3g", standardised);
    std::string t = s;
    return t == "-0" ? "0" : t;
}

} // namespace

std::string indexchart(const IndexView& v, svg::Layout* layout) {
    const IndexResult& r = v.result;
    std::vector<Series> series;
    const char* direct = "#1C64C8";
    const char* maternal = "#E28C36";
    if (r.peryear)
        series.push_back({"per year", direct, nullptr});
    else
        std::transform(r.paths.begin(), r.paths.end(), std::back_inserter(series), [&](const PathIndex& p) {
            return Series{std::string(pathname(p.path)) + ", per generation",
                          p.path == Path::rams ? direct : maternal, &p};
        });
    // One series tells the components apart by colour, several the paths.
    const bool bycomponent = series.size() == 1;
    struct Key {
        std::string name, colour;
    };
    std::vector<Key> keys;
    if (bycomponent)
        keys = {{"Direct", direct}, {"Maternal", maternal}};
    else
        std::transform(series.begin(), series.end(), std::back_inserter(keys),
                       [](const Series& x) { return Key{x.name, x.colour}; });
    const double years = r.interval[0] + r.interval[1];

    std::vector<size_t> rows;
    std::vector<std::string> labels, unscaled;
    std::vector<Bar> bars;
    for (size_t j = 0; j < r.components.size(); ++j) {
        const IndexComponent& c = r.components[j];
        if (!(c.sd > 0)) {
            unscaled.push_back(indexcomponentlabel(v, c));
            continue;
        }
        const Eigen::Index i = static_cast<Eigen::Index>(j);
        for (size_t s = 0; s < series.size(); ++s) {
            double gain = 0, value = 0, total = 0;
            if (series[s].path) {
                gain = series[s].path->at.gain(i);
                value = series[s].path->v(i) * gain;
                total = series[s].path->at.response;
            } else {
                for (const PathIndex& p : r.paths) {
                    gain += p.at.gain(i) / years;
                    value += p.v(i) * p.at.gain(i) / years;
                }
                total = r.yearresponse;
            }
            bars.push_back({rows.size(), s, gain, gain / c.sd, value, total > 0 ? 100 * value / total : 0,
                            total > 0 && value != 0});
        }
        rows.push_back(j);
        labels.push_back(indexcomponentlabel(v, c));
    }

    std::string subtitle;
    for (const PathIndex& path : r.paths) {
        const IndexPathFacts& f = v.path[pathindex(path.path)];
        subtitle += std::string(subtitle.empty() ? "Selected: " : "; ") + pathname(path.path) + " (i = " +
                    label(path.intensity, false, 0) + ", accuracy " + label(path.at.accuracy, false, 0) + ")";
        if (!f.group.empty() && (path.path == r.paths[0].path || f.traced != v.path[pathindex(r.paths[0].path)].traced))
            subtitle += ", objective of traced group " + std::to_string(f.traced);
    }
    if (!v.weights.empty()) subtitle += "; economic weights of " + v.weights;
    const std::string per = r.peryear ? "per year" : "per generation";
    const std::string title = "Response " + per + " by trait component";

    const double width = 1100;
    double labelroom = 0;
    for (const std::string& l : labels)
        labelroom = std::max(labelroom, svg::textwidth(l, labelfont));
    labelroom = std::min(labelroom, width * 0.4);
    const double barheight = 12, rowheight = 8 + barheight * static_cast<double>(series.size()) + 6, pad = 8;
    const double legend = lineheight(legendfont) + 10;
    const double head = headheight(width, title, subtitle);
    const double top = head + legend;
    const Box area{margin + labelroom + 12, top, width - margin,
                   top + pad + static_cast<double>(rows.size()) * rowheight + pad};
    auto band = [&](const Bar& b) {
        const double y = area.y0 + pad + static_cast<double>(b.row) * rowheight + 4 +
                         static_cast<double>(b.series) * barheight;
        return std::pair<double, double>{y, y + barheight - 2};
    };

    // The axis, widened a step at a time until every value label stands
    // beside the end of its bar inside the plot.
    double lo = 0, hi = 0;
    for (const Bar& b : bars) {
        lo = std::min(lo, b.standardised);
        hi = std::max(hi, b.standardised);
    }
    if (hi <= lo) hi = 1;
    svg::Plot p;
    std::vector<Box> boxes;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const svg::Ticks xt = svg::axisticks(lo, hi, area.x1 - area.x0, tickfont, true);
        p = svg::plot(area, xt, svg::Ticks{0, 1, {}, {}});
        boxes.clear();
        bool wider = false, left = false;
        for (const Bar& b : bars) {
            const double w = svg::textwidth(label(b.standardised, b.shared, b.share), valuefont);
            const auto [y0, y1] = band(b);
            const double yc = middle((y0 + y1) / 2, valuefont);
            const double x = b.standardised >= 0 ? p.x(b.standardised) + 4 : p.x(b.standardised) - 4 - w;
            boxes.push_back({x, yc - svg::ascent(valuefont), x + w, yc + svg::descent(valuefont)});
            if (x + w > area.x1 - 2) wider = true;
            if (x < area.x0 + 2) wider = left = true;
        }
        if (!wider) break;
        const double step = xt.at.size() > 1 ? xt.at[1] - xt.at[0] : 1;
        if (left)
            lo = xt.lo - step;
        else
            hi = xt.hi + step;
    }

    std::vector<std::string> notes = {
        "Each bar is the response " + per + " of one trait component in its genetic standard "
        "deviations; in parentheses its share of the value of the response. Components without "
        "an economic weight respond through their correlations with the objective."};
    if (!unscaled.empty()) {
        std::string s = "Not drawn, having no genetic variance: ";
        for (size_t i = 0; i < unscaled.size(); ++i)
            s += (i ? "; " : "") + unscaled[i];
        notes.push_back(s + ".");
    }
    const bool same = std::equal(r.leftout[0].begin(), r.leftout[0].end(), r.leftout[1].begin(),
                                 r.leftout[1].end(), [](const LeftOut& a, const LeftOut& b) {
                                     return a.number == b.number && a.effect == b.effect;
                                 });
    for (int k = 0; k < pathcount; ++k)
        if (!r.leftout[k].empty() && !(same && k == 1)) {
            std::string s = "Left out of the objective of " +
                            (same ? std::string("both paths") : "the " + std::string(pathname(static_cast<Path>(k)))) +
                            " for want of parameters, so not drawn: ";
            for (size_t i = 0; i < r.leftout[k].size(); ++i)
                s += (i ? "; " : "") + std::to_string(r.leftout[k][i].number) + " " +
                     v.names[static_cast<size_t>(r.leftout[k][i].number)] + ", " +
                     effectname(r.leftout[k][i].effect);
            notes.push_back(s + ".");
        }
    const std::vector<std::string> lines = notelines(notes, width - 2 * margin);
    const double axistitle = lineheight(labelfont) + 4;
    const double height = area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle + notesheight(lines) + margin;

    Document d(width, height, title, subtitle + ". " + notes.front());
    heading(d, title, subtitle);
    double lx = area.x0;
    const double ly = head + 2;
    for (const Key& k : keys) {
        d.empty("rect", Attrs()("x", lx)("y", ly)("width", 14.0)("height", 12.0)("fill", k.colour));
        lx = d.text(lx + 20, middle(ly + 6, legendfont), k.name, legendfont).x1 + 24;
    }
    for (const double g : p.xt.at) {
        const double x = p.x(g);
        if (g == 0) continue;
        double from = area.y0;
        for (const Box& b : boxes) {
            if (x <= b.x0 - 2 || x >= b.x1 + 2 || b.y1 + 1 <= from) continue;
            if (b.y0 - 1 > from) d.gridline(x, from, x, b.y0 - 1);
            from = b.y1 + 1;
        }
        if (from < area.y1) d.gridline(x, from, x, area.y1);
    }
    svg::axes(d, p, tickfont, false, false, false);
    d.tick(p.x(0), area.y0, p.x(0), area.y1, "#222");
    for (size_t i = 0; i < rows.size(); ++i) {
        const double yc = area.y0 + pad + static_cast<double>(i) * rowheight + rowheight / 2;
        d.text(area.x0 - 12, middle(yc, labelfont), svg::fit(labels[i], labelfont, labelroom), labelfont,
               Anchor::end);
    }
    for (size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        const IndexComponent& c = r.components[rows[b.row]];
        const int k = v.data.traits[static_cast<size_t>(c.trait)].number;
        const auto [y0, y1] = band(b);
        const double x0 = std::min(p.x(0), p.x(b.standardised)), x1 = std::max(p.x(0), p.x(b.standardised));
        Attrs a;
        const std::string colour =
            bycomponent ? (c.effect == Effect::direct ? direct : maternal) : series[b.series].colour;
        a("fill", colour)("data-series", series[b.series].name)(
            "data-trait", k ? std::to_string(k) : v.data.traits[static_cast<size_t>(c.trait)].name)(
            "data-component", effectname(c.effect))("data-response", shortest(b.gain))(
            "data-standardised", shortest(b.standardised))("data-value", shortest(b.value));
        if (b.shared) a("data-share", shortest(b.share));
        d.bar({x0, y0, x1, y1}, a);
        d.text(boxes[i].x0, middle((y0 + y1) / 2, valuefont), label(b.standardised, b.shared, b.share),
               valuefont);
    }
    d.text((area.x0 + area.x1) / 2, area.y1 + svg::xaxisheight(tickfont) + 6 + svg::ascent(labelfont),
           "Response " + per + " (genetic standard deviations of the component)", labelfont, Anchor::middle);
    drawnotes(d, lines, area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle);
    return d.finish(layout);
}

} // namespace kalp
