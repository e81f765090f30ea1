#include "report/charts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <numeric>

#include "model/classes.h"
#include "textio/numbers.h"

namespace kalp {

using svg::Anchor;
using svg::Attrs;
using svg::Box;
using svg::Document;
using svg::Font;

namespace {

const Font titlefont{18, true}, subfont{13}, panelfont{13, true}, tickfont{11}, labelfont{12},
    notefont{12}, legendfont{12}, endfont{11, true}, valuefont{11};
constexpr double margin = 20;
// The room at the left for the title of the y axis, turned upwards.
constexpr double ytitle = 26;
constexpr const char* grey = "#555";

double lineheight(const Font& f) { return (svg::ascent(f) + svg::descent(f)) * 1.25; }

// The baseline that centres a line of text on y.
double middle(double y, const Font& f) { return y + (svg::ascent(f) - svg::descent(f)) / 2; }

std::string capital(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

// The height of the title with the scenario under it.
double headheight() {
    return margin + svg::ascent(titlefont) + svg::descent(titlefont) + 8 + svg::ascent(subfont) +
           svg::descent(subfont) + 16;
}

// The title and, under it, the scenario, both centred; the y below them.
double heading(Document& d, const std::string& title, const std::string& subtitle) {
    const double width = d.width() - 2 * margin;
    double y = margin + svg::ascent(titlefont);
    d.text(d.width() / 2, y, svg::fit(title, titlefont, width), titlefont, Anchor::middle);
    y += svg::descent(titlefont) + 8 + svg::ascent(subfont);
    d.text(d.width() / 2, y, svg::fit(subtitle, subfont, width), subfont, Anchor::middle,
           Attrs()("fill", grey));
    return y + svg::descent(subfont) + 16;
}

// Paragraphs under a chart as lines of its width.
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

// Centres for labels wished at `wish`, at least `gap` apart, between `top`
// and `bottom` (which leave room for all): labels that would overlap form
// a run centred on the mean of their wishes.
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

// A value as a bar label: one decimal, two below 0.1.
std::string barlabel(double v) {
    char text[32];
    const int places = std::fabs(v) < 0.095 ? 2 : 1;
    const auto end =
        std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, places).ptr;
    std::string s(text, end);
    if (s.find_first_not_of("-0.") == std::string::npos) s = "0"; // no "-0.0"
    return s;
}

// "3 Weaning weight (kg), direct" for the notes.
std::string componentlabel(const TraitNames& names, int trait, bool direct) {
    return std::to_string(trait) + " " + chartname(names[trait]) + ", " + componentname(direct);
}

} // namespace

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
    const double top = headheight();
    const double axistitle = lineheight(labelfont);
    const double height =
        top + static_cast<double>(rows) * rowheight + axistitle + notesheight(lines) + margin;

    const std::string title =
        "Gene flow of the traced genes: their share in each sex and age group by year";
    Document d(width, height, title, scenarioline(m) + ". " + drawn);
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
            Attrs a;
            a("points", svg::linepoints(p, years, y))("fill", "none")("stroke", svg::hue(j))(
                "stroke-width", 2.0);
            if (!svg::dash(j).empty()) a("stroke-dasharray", svg::dash(j));
            a("data-class", c);
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

namespace {

// One bar of the weights chart.
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
    std::vector<std::string> leftout;
    for (const Component& c : components(m)) {
        if (!c.included) {
            if (!negligible(c.ew)) leftout.push_back(componentlabel(names, c.trait, c.direct));
            continue;
        }
        // A relative weight is a share of absolute values; its bar points
        // the way of its economic weight (the sign the component carries),
        // so that the direction of selection shows.
        const float share = c.total;
        if (std::fabs(static_cast<double>(share)) < 1e-6) continue;
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
    const double top = headheight() + legend;
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
    svg::Plot p;
    std::vector<Box> boxes;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const svg::Ticks xt = svg::axisticks(lo, hi, area.x1 - area.x0, tickfont, true);
        p = svg::plot(area, xt, svg::Ticks{0, 1, {}, {}});
        boxes.clear();
        bool wider = false, left = false;
        for (const WeightBar& b : bars) {
            const double w = svg::textwidth(barlabel(b.value), valuefont);
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
        notes.push_back(s + ".");
    }
    const std::vector<std::string> lines = notelines(notes, width - 2 * margin);
    const double axistitle = lineheight(labelfont) + 4;
    const double height =
        area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle + notesheight(lines) + margin;
    const std::string title = "Relative economic weights within the total";
    Document d(width, height, title, scenarioline(m) + ". " + notes.front());
    heading(d, title, scenarioline(m));

    // The legend, right above the plot.
    const struct {
        const char* name;
        const char* colour;
    } kinds[] = {{"Direct", "#1C64C8"}, {"Maternal", "#E28C36"}};
    double lx = area.x0;
    const double ly = headheight() + 2;
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
        d.text(boxes[i].x0, middle((y0 + y1) / 2, valuefont), barlabel(b.value), valuefont);
    }
    d.text((area.x0 + area.x1) / 2,
           area.y1 + svg::xaxisheight(tickfont) + 6 + svg::ascent(labelfont),
           "Relative economic weight within the total (%)", labelfont, Anchor::middle);
    drawnotes(d, lines, area.y1 + svg::xaxisheight(tickfont) + 6 + axistitle);
    return d.finish(layout);
}

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
