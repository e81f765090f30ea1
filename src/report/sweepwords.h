// The words of a sweep's chart: its parameters named with their trait and
// its unit, values in sentences, lists of trait components, the bands of
// traced groups, and the notes on the values that the chart leaves out.
#pragma once

#include <string>
#include <vector>

#include "engine/sweep.h"
#include "report/charts.h"
#include "report/sweeprows.h"

namespace kalp::sweepwords {

// Whether an axis is the traced group, whose values are categories.
bool traced(const Axis& a);
// The name of trait K in a sentence, "litter size" for "Litter size (lambs
// per lambing)"; a first capital stays when the next letter is one too.
std::string traitnoun(const TraitNames& names, int k);
// The title of an axis: the parameter with its trait and the trait's unit,
// "Economic value of litter size (A), per lamb per lambing".
std::string axistitle(const Axis& a, const TraitNames& names);
// The parameter in a sentence: "economic value of litter size (A)".
std::string axisnoun(const Axis& a, const TraitNames& names);
// A value of an axis in a sentence: "20 years", "12 (newborn crossing rams
// of A)".
std::string valuetext(const SweepTables& t, const Axis& a, size_t i);
// "3 direct" for component 2 x 3 (direct) or 2 x 3 + 1 (maternal), and a
// list of them.
std::string shortname(int key);
std::string listof(const std::vector<int>& keys);
// The traced groups of `picks` (values of the traced-group axis) in bands
// by sex within bands by system.
std::vector<std::vector<Band>> groupbands(const SweepTables& t, const std::vector<size_t>& picks);
// The scenarios that the chart leaves out on axes beyond its first two, a
// note each that names their values.
std::vector<std::string> otheraxes(const SweepTables& t, const TraitNames& names);
// What the chart takes of the values of its axes, when not every one; ""
// when it takes all.
std::string picknote(const SweepTables& t, const TraitNames& names, bool heat);

} // namespace kalp::sweepwords
