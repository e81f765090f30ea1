// The gate file, the number of production systems, the parameter file and
// the preamble of the results file.
#pragma once

#include <array>
#include <string>

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

// ERROR.TXT: the value 1 stops the run before any file is created.
void readgate(Model& m, Streams& s);
// The segments of the report template: the preamble, the echo of both
// systems and the longest results section.
constexpr int templatesegments = 297;

// TEXTVRD_OUT.TXT, open until the end of the run; a template whose
// quotes do not pair up, or that is too short, ends the run.
void opentemplate(Streams& s);
// P01.TXT: 1 or 2 production systems.
void readprods(Model& m, Streams& s);
// Writes the preamble of the results file and the echo of PARAVRD.TXT,
// and reads gstd from a second pass over PARAVRD.TXT.
void writepreamble(Model& m, Streams& s);

// The trait names of the report template: the captions of the economic
// weights table (segments 148 to 182) without their numbers, traits 1..35.
using TraitNames = std::array<std::string, NT>;
TraitNames readtraitnames(const Streams& s);

} // namespace kalp
