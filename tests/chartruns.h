// Charts for the tests: runs of a folder in process, the sweep chart of
// --sweep arguments over them, and what a reader would find wrong with an
// SVG document.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "report/charts.h"
#include "report/svg.h"
#include "textio/folder.h"

namespace kalp::test {

// A complete run of the input files of `dir` in process, with the delivered
// report template and any files of `replaced` in place of the folder's.
struct Run {
    kalp::MemoryFolder files;
    kalp::Outcome o;
    kalp::YearTable years;
};
std::unique_ptr<Run> runfolder(const std::filesystem::path& dir,
                               const std::map<std::string, std::string>& replaced = {});

// The sweep chart of `args` (as --sweep takes them) over the files of a run.
std::string sweepchartof(const Run& run, const std::vector<std::string>& args,
                         svg::Layout* layout = nullptr);

std::filesystem::path example(const std::string& name);

// Every value of an attribute, in document order.
std::vector<std::string> values(const std::string& svg, const std::string& attribute);

// What a reader would find wrong with a chart: a text over another, struck
// through by a gridline or a tick, over a bar or beyond the edge of the
// picture; a bar over a tick.
std::vector<std::string> faults(const std::string& svg, const svg::Layout& l);

std::string joined(const std::vector<std::string>& v);

// The first character that XML 1.0 cannot hold, or that is not UTF-8, as
// "U+XXXX at N" (or "byte XX at N"); "" when the text is well-formed.
std::string notxml(const std::string& s);

} // namespace kalp::test
