// The views of what an index is worth and of the indexes bound to aims:
// the value of each source (kalp-index-sources.csv), the sensitivity to
// each economic weight (kalp-index-sensitivity.csv), the restricted index
// and the index of desired gains (kalp-index-constrained*.csv), as tables
// of their files and JSON, and as parts of the console report.
#pragma once

#include <string>

#include "report/indexreport.h"
#include "report/indextable.h"

namespace kalp {

tables::Table sourcestable(const IndexView& v);
tables::Table sensitivitytable(const IndexView& v);
// Whether the index has a restricted index or one of desired gains.
bool constrained(const IndexView& v);
tables::Table constrainedtable(const IndexView& v);
tables::Table constrainedweightstable(const IndexView& v);
tables::Table constrainedresponsetable(const IndexView& v);

// The console: the value of the sources and the weights that need most
// care; the restricted index and the index of desired gains with what
// they cost.
std::string worthreport(const IndexView& v);
std::string constrainedreport(const IndexView& v);

} // namespace kalp
