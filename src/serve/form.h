// What the editor page shows: the form of a scenario, built from the
// numbers a run read, and the result of the run or its stop.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/model.h"
#include "engine/engine.h"
#include "input/control.h"
#include "report/charts.h"
#include "serve/scenario.h"

namespace kalp {

// The trait names of the report template in `texts`; "trait K" for every
// trait when the template cannot give them.
TraitNames traitnames(const Texts& texts);

// The form: the choices at the top (systems, standardisation, the gate
// flag), then one section per input file in the order of the results file.
// Every field names its file and model variable and holds the text of its
// number; its label is the file's own description for an annotated record.
// `m` is the model as far as the run of `texts` got. A file of `notes` (one
// that cannot be read) has a section with that note, also without fields.
nlohmann::json formjson(const Texts& texts, const std::vector<Span>& spans, const Model& m,
                        const TraitNames& names, const std::map<std::string, std::string>& notes = {});

// A field of the form as the page names it: its label (for an item of a
// list or a table, the list's label and the item's), the title of its
// section, and whether it stands for a whole list (a stop about all the
// age weights of a block names the list, "l4EA").
struct FieldName {
    std::string label, section;
    bool list = false;
};
// The field of `form` that holds `var` of `file`, or that list; empty when
// the form shows none.
std::optional<FieldName> fieldname(const nlohmann::json& form, const std::string& file, const std::string& var);
// A value by the words of its variable, for a field that the form does not
// show ("Age weights of the reproductive ewe classes, class 7"); empty for
// a variable without words.
std::optional<FieldName> valuename(const std::string& file, const std::string& var);

// What the page says above the report of a stop, as an instruction for the
// form: the field or list to correct and its section, or what to do in the
// folder when no field of the form holds the fault.
std::string stopadvice(const nlohmann::json& form, const RunStop& stop);

// A complete run: the class table with the discounted gene flow, the tables
// of the economic weights (and standardised and relative weights), each
// value as the results file prints it, and the yearly shares of the traced
// genes in `years` for the chart. A stopped run: the stop with the report a
// run prints, and the line it writes on standard error after it (the
// detail: where the fault lies, the sum of a list of age weights).
nlohmann::json resultjson(const Outcome& o, const TraitNames& names, const YearTable& years);

} // namespace kalp
