#include "report/sweepwords.h"

#include <algorithm>

#include "report/charts.h"

namespace kalp::sweepwords {

namespace {

// A note lists at most this many values of a parameter that the chart
// leaves out.
constexpr size_t listed = 12;

// A label or noun of a parameter with the name of its trait in place of
// "trait K".
std::string named(std::string text, const Axis& a, const TraitNames& names) {
    const std::string number = "trait " + std::to_string(a.trait);
    const size_t at = a.p->pertrait ? text.find(number) : std::string::npos;
    if (at != std::string::npos) text.replace(at, number.size(), traitnoun(names, a.trait));
    return text;
}

// A unit as the unit of a value per unit of the trait: its counted word
// singular, "lamb per lambing" for "lambs per lambing".
std::string perunit(std::string unit) {
    const size_t end = std::min(unit.find(" per "), unit.size());
    const size_t blank = unit.rfind(' ', end == 0 ? 0 : end - 1);
    const size_t start = blank == std::string::npos || blank >= end ? 0 : blank + 1;
    const std::string word = unit.substr(start, end - start);
    const bool letters = std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    if (letters && word.size() >= 4 && word.back() == 's' && word[word.size() - 2] != 's')
        unit.erase(end - 1, 1);
    return unit;
}

// Neighbouring values that share a key, as bands with the label of their
// first.
std::vector<Band> bandsof(const std::vector<std::string>& keys,
                          const std::vector<std::string>& labels) {
    std::vector<Band> bands;
    for (size_t i = 0; i < keys.size(); ++i)
        if (i > 0 && keys[i - 1] == keys[i])
            bands.back().last = i;
        else
            bands.push_back({labels[i], i, i});
    return bands;
}

} // namespace

bool traced(const Axis& a) { return a.p == findparameter("n_sac"); }

std::string traitnoun(const TraitNames& names, int k) {
    std::string n = nameunit(names[k]).name;
    if (n.size() > 1 && n[0] >= 'A' && n[0] <= 'Z' && n[1] >= 'a' && n[1] <= 'z')
        n[0] = static_cast<char>(n[0] - 'A' + 'a');
    return n.empty() ? "trait " + std::to_string(k) : n;
}

std::string axistitle(const Axis& a, const TraitNames& names) {
    std::string s = named(paramlabel(*a.p, a.trait), a, names);
    if (!a.p->pertrait) return s;
    const std::string unit = nameunit(names[a.trait]).unit;
    if (a.p->stage == Stage::weights)
        return s + ", per " + (unit.empty() ? "unit of the trait (no unit given)" : perunit(unit));
    return s + " (" + (unit.empty() ? "no unit given" : unit) + ")";
}

std::string axisnoun(const Axis& a, const TraitNames& names) {
    return named(paramnoun(*a.p, a.trait), a, names);
}

std::string valuetext(const SweepTables& t, const Axis& a, size_t i) {
    std::string v = axistext(a, i);
    if (*a.p->unit) v += std::string(" ") + a.p->unit + (a.values[i] == 1 ? "" : "s");
    if (traced(a) && i < t.groups.size()) v += " (" + t.groups[i] + ")";
    return v;
}

std::string shortname(int key) {
    return std::to_string(key / 2) + " " + componentname(key % 2 == 0);
}

std::string listof(const std::vector<int>& keys) {
    std::string s;
    for (size_t i = 0; i < keys.size(); ++i)
        s += (i ? ", " : "") + shortname(keys[i]);
    return s;
}

std::vector<std::vector<Band>> groupbands(const SweepTables& t, const std::vector<size_t>& picks) {
    std::vector<std::string> sexes, systems, both;
    for (const size_t k : picks) {
        sexes.push_back(k < t.sexes.size() ? t.sexes[k] : "");
        systems.push_back(k < t.systems.size() ? "system " + t.systems[k] : "");
        both.push_back(systems.back() + " " + sexes.back());
    }
    return {bandsof(both, sexes), bandsof(systems, systems)};
}

std::vector<std::string> otheraxes(const SweepTables& t, const TraitNames& names) {
    const SweepPlan& plan = *t.plan;
    std::vector<std::string> notes;
    for (size_t i = 0; i < plan.axes.size(); ++i) {
        const Axis& a = plan.axes[i];
        if (i == plan.first || i == plan.second || a.values.size() < 2) continue;
        std::string s = "Drawn at the " + axisnoun(a, names) + " " + valuetext(t, a, 0) +
                        " only, the first of its " + std::to_string(a.values.size()) +
                        " values; not drawn, and in kalp-sweep.csv: ";
        for (size_t k = 1; k < a.values.size() && k <= listed; ++k)
            s += (k > 1 ? ", " : "") + valuetext(t, a, k);
        if (a.values.size() - 1 > listed)
            s += " and " + std::to_string(a.values.size() - 1 - listed) + " more, up to " +
                 valuetext(t, a, a.values.size() - 1);
        notes.push_back(s);
    }
    return notes;
}

std::string picknote(const SweepTables& t, const TraitNames& names, bool heat) {
    const SweepPlan& plan = *t.plan;
    const Axis& x = plan.axes[plan.first];
    std::vector<std::string> parts;
    if (t.stride > 1)
        parts.push_back("one value of the " + axisnoun(x, names) + " in every " +
                        std::to_string(t.stride) + " and its last, " +
                        axistext(x, x.values.size() - 1));
    if (heat && t.series.size() < plan.axes[plan.second].values.size()) {
        const Axis& s = plan.axes[plan.second];
        const size_t step = t.series.size() > 1 ? t.series[1] - t.series[0] : 1;
        parts.push_back("one value of the " + axisnoun(s, names) + " in every " +
                        std::to_string(step) + " and its last, " +
                        axistext(s, s.values.size() - 1));
    }
    if (parts.empty()) return "";
    std::string s = heat ? "The heat maps take " : "The lines take ";
    for (size_t i = 0; i < parts.size(); ++i)
        s += (i ? "; and " : "") + parts[i];
    return s + " (kalp-sweep.csv holds every value)";
}

} // namespace kalp::sweepwords
