#include "report/charts.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "model/classes.h"
#include "report/chartkit.h"

namespace kalp {

using namespace chartkit;
using svg::Anchor;
using svg::Attrs;
using svg::Box;
using svg::Document;

namespace {

// A panel of the gene-flow chart: some classes of one block (all progeny
// classes together), on the scale of the whole block.
struct FlowPanel {
    std::string title, key;
    std::vector<int> classes;
    std::vector<std::string> legend;
    double top = 0; // the highest share of the block
};

// At most this many classes share a panel; a larger block takes several.
constexpr size_t classesperpanel = 12;

} // namespace

std::string geneflowchart(const Model& m, const YearTable& t, svg::Layout* layout) {
    Block blocklist[8];
    const int nblocks = layoutblocks(m, blocklist);
    const size_t stride = static_cast<size_t>(m.acm) + 1;
    auto share = [&](size_t row, int c) {
        return static_cast<double>(t.shares[row * stride + static_cast<size_t>(c)]);
    };
    auto reached = [&](int c) {
        for (size_t r = 0; r < t.years.size(); ++r)
            if (share(r, c) > 0) return true;
        return false;
    };
    std::vector<FlowPanel> panels;
    std::vector<std::string> unreached;
    // The progeny classes of every system in one panel, after the parents.
    FlowPanel progeny{"Progeny (sire x dam)", "progeny", {}, {}, 0};
    const char* kinds[] = {"A x A", "B x B", "A x B"}; // of the progeny blocks in order
    int kind = 0;
    for (int k = 0; k < nblocks; ++k) {
        const Block& b = blocklist[k];
        std::vector<int> in, out;
        for (int c = b.first; c < b.first + b.size; ++c) {
            if (reached(c))
                in.push_back(c);
            else
                out.push_back(c);
        }
        double top = 0;
        for (const int c : in)
            for (size_t r = 0; r < t.years.size(); ++r)
                top = std::max(top, share(r, c));
        if (b.progeny) {
            for (const int c : in) {
                progeny.classes.push_back(c);
                progeny.legend.push_back("class " + std::to_string(c) + ", " + kinds[kind]);
            }
            progeny.top = std::max(progeny.top, top);
            ++kind;
        }
        if (in.empty() && !b.progeny) {
            unreached.push_back(b.name + std::string(" (classes ") + std::to_string(b.first) +
                                " to " + std::to_string(b.first + b.size - 1) + ")");
            continue;
        }
        std::transform(out.begin(), out.end(), std::back_inserter(unreached), [&](int c) {
            return "class " + std::to_string(c) + " (" + groupname(describeclass(m, c)) + ")";
        });
        if (b.progeny) continue;
        const size_t parts = (in.size() + classesperpanel - 1) / classesperpanel;
        for (size_t p = 0, from = 0; p < parts; ++p) {
            const size_t n = in.size() / parts + (p < in.size() % parts ? 1 : 0);
            FlowPanel panel;
            panel.classes.assign(in.begin() + static_cast<long>(from),
                                 in.begin() + static_cast<long>(from + n));
            panel.title = capital(b.name);
            panel.key = b.name;
            if (parts > 1) {
                const std::string range = ", classes " + std::to_string(panel.classes.front()) +
                                          " to " + std::to_string(panel.classes.back());
                panel.title += range;
                panel.key += range;
            }
            for (const int c : panel.classes)
                panel.legend.push_back("class " + std::to_string(c) + ", age " +
                                       std::to_string(describeclass(m, c).age));
            panel.top = top;
            panels.push_back(panel);
            from += n;
        }
    }
    if (!progeny.classes.empty()) panels.push_back(progeny);

    // Every panel alike: the labels of its y axis, the plot, the class
    // numbers at the ends of the lines, the legend.
    const double plotwidth = 300, plotheight = 230, gutter = 34;
    std::vector<svg::Ticks> yt;
    double ylabels = 0, legendwidth = 0;
    for (const FlowPanel& p : panels) {
        yt.push_back(svg::axisticks(0, p.top > 0 ? p.top : 1, plotheight, tickfont, false));
        ylabels = std::max(ylabels, svg::labelwidth(yt.back(), tickfont));
        for (const std::string& l : p.legend)
            legendwidth = std::max(legendwidth, svg::textwidth(l, legendfont) + 32);
    }
    const double panelwidth = ylabels + plotwidth + gutter + legendwidth + 8;
    const size_t count = std::max<size_t>(1, panels.size());
    const size_t cols = count <= 4 ? std::min<size_t>(2, count) : 3;
    const size_t rows = (count + cols - 1) / cols;
    const double gap = 28;
    const double width = margin + ytitle + static_cast<double>(cols) * panelwidth +
                         static_cast<double>(cols - 1) * gap + margin;
    const double titleroom = lineheight(panelfont) + 8;
    const double rowheight = titleroom + plotheight + svg::xaxisheight(tickfont) + 22;

    std::vector<std::string> notes;
    std::string drawn = "Each line is the share of the traced genes in one sex and age group "
                        "(class) in every year";
    if (t.stride > 1)
        drawn += " that is a multiple of " + std::to_string(t.stride) + ", and in the last";
    drawn += "; its class number stands at its end, and colour and line pattern tell the classes "
             "of a panel apart.";
    notes.push_back(drawn);
    if (!unreached.empty()) {
        std::string s = "Not reached by the traced genes, so not drawn: ";
        for (size_t i = 0; i < unreached.size(); ++i)
            s += (i ? ", " : "") + unreached[i];
        notes.push_back(s + ".");
    }
    const std::vector<std::string> lines = notelines(notes, width - 2 * margin);
    const std::string title =
        "Gene flow of the traced genes: their share in each sex and age group by year";
    const double top = headheight(width, title, scenarioline(m));
    const double axistitle = lineheight(labelfont);
    const double height =
        top + static_cast<double>(rows) * rowheight + axistitle + notesheight(lines) + margin;

    Document d(width, height, title, sentences({scenarioline(m), drawn}));
    heading(d, title, scenarioline(m));
    const double gridheight = static_cast<double>(rows) * rowheight;
    d.uptext(margin + svg::ascent(labelfont), top + gridheight / 2, "Share of the traced genes",
             labelfont, Anchor::middle);

    std::vector<double> years(t.years.begin(), t.years.end());
    for (size_t i = 0; i < panels.size(); ++i) {
        const FlowPanel& panel = panels[i];
        const double x0 = margin + ytitle + static_cast<double>(i % cols) * (panelwidth + gap);
        const size_t row = i / cols;
        const double y0 = top + static_cast<double>(row) * rowheight;
        const Box area{x0 + ylabels, y0 + titleroom, x0 + ylabels + plotwidth,
                       y0 + titleroom + plotheight};
        const svg::Ticks xt = svg::spanticks(0, std::max(1, m.l_inv), plotwidth, tickfont);
        const svg::Plot p = svg::plot(area, xt, yt[i]);
        d.open("g", Attrs()("data-panel", panel.key));
        d.text(area.x0, y0 + svg::ascent(panelfont),
               svg::fit(panel.title, panelfont, panelwidth - ylabels), panelfont);
        svg::axes(d, p, tickfont, true, true);
        std::vector<double> ends;
        for (size_t j = 0; j < panel.classes.size(); ++j) {
            const int c = panel.classes[j];
            std::vector<double> y;
            for (size_t r = 0; r < t.years.size(); ++r)
                y.push_back(share(r, c));
            const svg::Polyline line = svg::polyline(p, years, y);
            Attrs a;
            a("points", line.points)("fill", "none")("stroke", svg::hue(j))("stroke-width", 2.0);
            if (!svg::dash(j).empty()) a("stroke-dasharray", svg::dash(j));
            a("data-class", c)("data-x", datalist(years, line.at))("data-y", datalist(y, line.at));
            d.empty("polyline", a);
            ends.push_back(y.empty() ? p.y(0) : p.y(y.back()));
        }
        // The class numbers at the ends of the lines, moved apart where
        // lines end close together, with a leader from the end of the line.
        const double step = svg::ascent(endfont) + svg::descent(endfont) + 1;
        const std::vector<double> at =
            spread(ends, step, area.y0 + step / 2, area.y1 - step / 2 - 2);
        for (size_t j = 0; j < panel.classes.size(); ++j) {
            const double lx = area.x1 + 12;
            if (std::fabs(at[j] - ends[j]) > 0.5)
                d.empty("line", Attrs()("x1", area.x1 + 1)("y1", ends[j])("x2", lx - 2)(
                                    "y2", at[j])("stroke", svg::hue(j))("stroke-width", 0.8));
            d.text(lx, middle(at[j], endfont), std::to_string(panel.classes[j]), endfont,
                   Anchor::start, Attrs()("fill", svg::hue(j)));
        }
        // The legend: a sample of each line with its class.
        const double lx = area.x1 + gutter;
        const double rowgap = lineheight(legendfont);
        for (size_t j = 0; j < panel.legend.size(); ++j) {
            const double ly = area.y0 + rowgap * (static_cast<double>(j) + 0.5);
            Attrs a;
            a("x1", lx)("y1", ly)("x2", lx + 24)("y2", ly)("stroke", svg::hue(j))("stroke-width",
                                                                                  2.0);
            if (!svg::dash(j).empty()) a("stroke-dasharray", svg::dash(j));
            d.empty("line", a);
            d.text(lx + 30, middle(ly, legendfont), panel.legend[j], legendfont);
        }
        d.close();
    }
    if (panels.empty())
        d.text(width / 2, top + rowheight / 2, "The traced genes reach no class.", labelfont,
               Anchor::middle);
    const double below = top + gridheight;
    d.text(margin + ytitle + (width - margin - ytitle - margin) / 2, below + svg::ascent(labelfont),
           "Year", labelfont, Anchor::middle);
    drawnotes(d, lines, below + axistitle);
    return d.finish(layout);
}

} // namespace kalp
