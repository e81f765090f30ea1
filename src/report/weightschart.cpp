#include "report/charts.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "report/chartkit.h"
#include "textio/numbers.h"

namespace kalp {

using namespace chartkit;
using svg::Anchor;
using svg::Attrs;
using svg::Box;
using svg::Document;

namespace {

// The decimals of the bar labels of a chart, one rule for all: as few as
// show every value as other than 0, from one to three.
int barplaces(const std::vector<double>& values) {
    // The least size that shows as other than 0 with one and two decimals.
    constexpr double shown[] = {0.05, 0.005};
    int places = 1;
    for (const double v : values)
        while (places < 3 && std::fabs(v) < shown[places - 1])
            ++places;
    return places;
}

// A value as a bar label with `places` decimals.
std::string barlabel(double v, int places) {
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, places).ptr;
    std::string s(text, end);
    if (s.find_first_not_of("-0.") == std::string::npos) s.assign(1, '0'); // no "-0.0"
    return s;
}

// "3 Weaning weight (kg), direct" for the notes.
std::string componentlabel(const TraitNames& names, int trait, bool direct) {
    return std::to_string(trait) + " " + chartname(names[trait]) + ", " + componentname(direct);
}

struct WeightBar {
    int trait;
    bool direct;
    double value; // the relative weight, negative where the economic weight is
    float share;  // as the model holds it, signed
};

} // namespace

std::string weightschart(const Model& m, const TraitNames& names, svg::Layout* layout) {
    std::vector<int> traits;
    std::vector<WeightBar> bars;
    std::vector<std::string> leftout, nought;
    for (const Component& c : components(m)) {
        if (!c.included) {
            leftout.push_back(componentlabel(names, c.trait, c.direct));
            continue;
        }
        // A relative weight is a share of absolute values; its bar points
        // the way of its economic weight (the sign the component carries),
        // so that the direction of selection shows.
        const float share = c.total;
        if (std::fabs(static_cast<double>(share)) < 1e-6) {
            nought.push_back(componentlabel(names, c.trait, c.direct));
            continue;
        }
        bars.push_back({c.trait, c.direct, static_cast<double>(share), share});
        if (traits.empty() || traits.back() != c.trait) traits.push_back(c.trait);
    }

    const double width = 1200;
    std::vector<std::string> labels;
    double labelroom = 0;
    for (const int k : traits) {
        labels.push_back(std::to_string(k) + " " + chartname(names[k]));
        labelroom = std::max(labelroom, svg::textwidth(labels.back(), labelfont));
    }
    // Names are cut only where they would take more than this.
    labelroom = std::min(labelroom, width * 0.42);
    const double rowheight = 34, pad = 10;
    const double legend = lineheight(legendfont) + 10;
    const std::string title = "Relative economic weights within the total";
    const double head = headheight(width, title, scenarioline(m));
    const double top = head + legend;
    const Box area{margin + labelroom + 12, top, width - margin,
                   top + pad + static_cast<double>(traits.size()) * rowheight + pad};
    auto rowof = [&](int k) {
        return static_cast<double>(std::find(traits.begin(), traits.end(), k) - traits.begin());
    };
    // A trait with both components has the direct bar above the maternal
    // one; a single bar stands in the middle of its row.
    auto band = [&](const WeightBar& b) {
        const bool both = std::count_if(bars.begin(), bars.end(), [&](const WeightBar& o) {
                              return o.trait == b.trait;
                          }) == 2;
        const double row = area.y0 + pad + rowof(b.trait) * rowheight;
        const double y = both ? row + (b.direct ? 4 : 18) : row + 11;
        return std::pair<double, double>{y, y + 12};
    };

    // The axis, widened by a step at a time until every value label stands
    // beside the end of its bar inside the plot.
    double lo = 0, hi = 0;
    for (const WeightBar& b : bars) {
        lo = std::min(lo, b.value);
        hi = std::max(hi, b.value);
    }
    if (hi <= lo) hi = 1;
    std::vector<double> values(bars.size());
    std::transform(bars.begin(), bars.end(), values.begin(),
                   [](const WeightBar& b) { return b.value; });
    const int places = barplaces(values);
    svg::Plot p;
    std::vector<Box> boxes;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const svg::Ticks xt = svg::axisticks(lo, hi, area.x1 - area.x0, tickfont, true);
        p = svg::plot(area, xt, svg::Ticks{0, 1, {}, {}});
        boxes.clear();
        bool wider = false, left = false;
        for (const WeightBar& b : bars) {
            const double w = svg::textwidth(barlabel(b.value, places), valuefont);
            const auto [y0, y1] = band(b);
            const double yc = middle((y0 + y1) / 2, valuefont);
            const double x = b.value >= 0 ? p.x(b.value) + 4 : p.x(b.value) - 4 - w;
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
        "Each bar is the share of one trait component in the sum of the absolute standardised "
        "weights (%); it points left of 0 where the economic weight is negative."};
    if (!leftout.empty()) {
        std::string s =
            "Left out of the sums by the pair choices of INPUTVRD05.TXT, so not drawn: ";
        for (size_t i = 0; i < leftout.size(); ++i)
            s += (i ? "; " : "") + leftout[i];
        notes.push_back(sentence(s));
    }
    if (!nought.empty()) {
        std::string s = "No bar, as their share is 0: ";
        for (size_t i = 0; i < nought.size(); ++i)
            s += (i ? "; " : "") + nought[i];
        notes.push_back(sentence(s));
    }
    const std::vector<std::string> lines = notelines(notes, width - 2 * margin);
    const double axistitle = lineheight(labelfont) + 4;
    const double height =
        area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle + notesheight(lines) + margin;
    Document d(width, height, title, sentences({scenarioline(m), notes.front()}));
    heading(d, title, scenarioline(m));

    // The legend, right above the plot.
    const struct {
        const char* name;
        const char* colour;
    } kinds[] = {{"Direct", "#1C64C8"}, {"Maternal", "#E28C36"}};
    double lx = area.x0;
    const double ly = head + 2;
    for (const auto& k : kinds) {
        d.empty("rect", Attrs()("x", lx)("y", ly)("width", 14.0)("height", 12.0)("fill", k.colour));
        lx = d.text(lx + 20, middle(ly + 6, legendfont), k.name, legendfont).x1 + 24;
    }

    // The gridlines stop short of the value labels, so that none is struck
    // through.
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
    for (size_t i = 0; i < traits.size(); ++i) {
        const double yc = area.y0 + pad + static_cast<double>(i) * rowheight + rowheight / 2;
        d.text(area.x0 - 12, middle(yc, labelfont), svg::fit(labels[i], labelfont, labelroom),
               labelfont, Anchor::end, Attrs()("data-trait", static_cast<int>(traits[i])));
    }
    for (size_t i = 0; i < bars.size(); ++i) {
        const WeightBar& b = bars[i];
        const auto [y0, y1] = band(b);
        const double x0 = std::min(p.x(0), p.x(b.value)), x1 = std::max(p.x(0), p.x(b.value));
        std::string value;
        appendreal(value, b.share);
        d.bar({x0, y0, x1, y1},
              Attrs()("fill", b.direct ? kinds[0].colour : kinds[1].colour)("data-trait", b.trait)(
                  "data-component", componentname(b.direct))("data-value", value));
        d.text(boxes[i].x0, middle((y0 + y1) / 2, valuefont), barlabel(b.value, places), valuefont);
    }
    d.text((area.x0 + area.x1) / 2,
           area.y1 + svg::xaxisheight(tickfont) + 6 + svg::ascent(labelfont),
           "Relative economic weight within the total (%)", labelfont, Anchor::middle);
    drawnotes(d, lines, area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle);
    return d.finish(layout);
}

} // namespace kalp
