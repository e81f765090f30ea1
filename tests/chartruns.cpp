#include "chartruns.h"

#include <gtest/gtest.h>

#include <regex>

#include "engine/sweep.h"
#include "report/sweepchart.h"
#include "report/sweeprows.h"
#include "run/sweepargs.h"
#include "workdir.h"

namespace fs = std::filesystem;

namespace kalp::test {

namespace {

const fs::path source = KALP_SOURCE_DIR;

} // namespace

std::unique_ptr<Run> runfolder(const fs::path& dir,
                               const std::map<std::string, std::string>& replaced) {
    auto r = std::make_unique<Run>();
    r->files.set("TEXTVRD_OUT.TXT", kalp::test::slurp(source / "share" / "TEXTVRD_OUT.TXT"));
    for (const auto& e : fs::directory_iterator(dir))
        r->files.set(e.path().filename().string(), kalp::test::slurp(e.path()));
    for (const auto& [name, text] : replaced)
        r->files.set(name, text);
    kalp::Request q;
    q.files = &r->files;
    q.year = [&r](const kalp::Model& m, int t) {
        if (t == 0) r->years = kalp::yeartable(m.l_inv);
        kalp::keepyear(r->years, m, t, m.m_gf);
    };
    r->o = kalp::runscenario(q);
    if (r->o.stop) ADD_FAILURE() << r->o.stop->report();
    return r;
}

std::string sweepchartof(const Run& run, const std::vector<std::string>& args,
                         svg::Layout* layout) {
    const auto prepared = std::make_unique<kalp::Model>();
    if (const auto stop = kalp::preparesweep(run.files, *prepared)) {
        ADD_FAILURE() << stop->report();
        return "";
    }
    const kalp::SweepPlan plan = kalp::makeplan(kalp::parsesweeps(args), *prepared);
    const kalp::SweepTables t = kalp::sweeptables(plan, *prepared, run.o.names, false);
    std::vector<double> points;
    const auto stop = kalp::runsweep(
        run.files, *prepared, plan,
        [&](const kalp::Scenario& sc, const kalp::Model& m, kalp::Chunk& c) {
            kalp::chartpoints(t, sc, m, c.numbers);
        },
        [&](kalp::Chunk& c) { points.insert(points.end(), c.numbers.begin(), c.numbers.end()); });
    if (stop) ADD_FAILURE() << stop->report();
    return kalp::sweepchart(t, run.o.names, points, layout);
}

fs::path example(const std::string& name) { return source / "examples" / name; }

std::vector<std::string> values(const std::string& svg, const std::string& attribute) {
    std::vector<std::string> v;
    const std::regex re(" " + attribute + "=\"([^\"]*)\"");
    for (auto i = std::sregex_iterator(svg.begin(), svg.end(), re); i != std::sregex_iterator();
         ++i)
        v.push_back((*i)[1]);
    return v;
}

std::vector<std::string> faults(const std::string& svg, const svg::Layout& l) {
    std::vector<std::string> v;
    const double width = std::stod(values(svg, "width").at(0));
    const double height = std::stod(values(svg, "height").at(0));
    for (size_t i = 0; i < l.texts.size(); ++i) {
        const svg::Label& a = l.texts[i];
        const svg::Box& b = a.box;
        if (b.x0 < 0 || b.y0 < 0 || b.x1 > width || b.y1 > height)
            v.push_back("\"" + a.text + "\" outside the picture");
        for (size_t j = i + 1; j < l.texts.size(); ++j)
            if (svg::overlap(b, l.texts[j].box))
                v.push_back("\"" + a.text + "\" over \"" + l.texts[j].text + "\"");
        for (const auto* lines : {&l.gridlines, &l.ticks})
            for (const svg::Segment& s : *lines)
                if (svg::crosses(s, b)) v.push_back("\"" + a.text + "\" struck through");
        for (const svg::Box& bar : l.bars)
            if (svg::overlap(b, bar)) v.push_back("\"" + a.text + "\" over a bar");
    }
    for (const svg::Box& bar : l.bars)
        for (const svg::Segment& s : l.ticks)
            if (svg::crosses(s, bar)) v.push_back("a bar over a tick");
    return v;
}

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v)
        s += x + "\n";
    return s;
}

std::string notxml(const std::string& s) {
    char text[40];
    for (size_t at = 0; at < s.size();) {
        const auto b = static_cast<unsigned char>(s[at]);
        const size_t n = b < 0x80                ? 1
                         : b >= 0xC2 && b < 0xE0 ? 2
                         : b >= 0xE0 && b < 0xF0 ? 3
                         : b >= 0xF0 && b < 0xF5 ? 4
                                                 : 0;
        bool good = n > 0 && at + n <= s.size();
        char32_t c = n == 1 ? b : b & (0x7F >> n);
        for (size_t k = 1; good && k < n; ++k) {
            const auto f = static_cast<unsigned char>(s[at + k]);
            good = (f & 0xC0) == 0x80;
            c = c << 6 | (f & 0x3F);
        }
        const bool shortest =
            n < 2 || (n == 2 && c >= 0x80) || (n == 3 && c >= 0x800) || (n == 4 && c >= 0x10000);
        if (!good || !shortest) {
            std::snprintf(text, sizeof text, "byte %02X", b);
            return text + (" at " + std::to_string(at));
        }
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        if (!allowed) {
            std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
            return text + (" at " + std::to_string(at));
        }
        at += n;
    }
    return "";
}

} // namespace kalp::test
