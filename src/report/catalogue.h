// Every file KALP reads or writes, one row each: its name, what it holds,
// when it is read or written, and for the exports the functions that write
// them. The driver, kalp init, the editor and the checks before a run all
// take their names from here; a new export is a new row.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"
#include "engine/sweep.h"
#include "input/control.h"
#include "report/charts.h"
#include "report/sweepchart.h"
#include "report/sweeprows.h"

namespace kalp {

// The input files, in the order a run reads them.
struct InputFile {
    const char* name;
    const char* holds;
    const char* when; // "always", "with one system", ...
    bool annotated;   // values with their words in quotes (else bare numbers)
};
const std::vector<InputFile>& inputfiles();
std::vector<std::string> inputnames();
const InputFile* findinput(const std::string& name);

// What the command line asks for beyond the results file and the dump.
struct Wants {
    bool csv = false, json = false, plot = false;
    bool sweep = false;
    bool draws = false; // kalp --draws: a sweep over drawn economic values
};
enum class Ask { plain, csv, json, plot };

// A complete run, as its exports see it.
struct RunView {
    const Model& m;
    const TraitNames& names;
    const YearTable& years; // the yearly shares the gene-flow chart draws
};

// A file of a run. A file formed whole from the complete run has `whole`;
// one written year by year as the gene flow runs has `head` and `year`.
struct RunOutput {
    const char* name;
    const char* holds;
    Ask ask;
    // Whether a complete run with its option writes it; null: always.
    bool (*wanted)(const Model& m);
    std::string (*whole)(const RunView& v);
    std::string (*head)(const Model& m);
    void (*year)(const Model& m, int t, std::string& out);
};
// The results file (resgfps01 or resgfps02) and CHECKVRD, then the
// exports.
const std::vector<RunOutput>& runoutputs();

// A file of a sweep: its head, the text of each scenario (formed on a
// worker thread; each piece begins with `separator`, which the first one
// drops), its tail; or, formed whole at the end, a chart of the numbers
// that the scenarios gave.
struct SweepOutput {
    const char* name;
    const char* holds;
    Ask ask;
    std::string (*head)(const SweepTables& t);
    void (*scenario)(const SweepTables& t, const SweepRow& r, std::string& text,
                     std::vector<double>& numbers);
    const char* separator;
    const char* tail;
    std::string (*whole)(const SweepTables& t, const TraitNames& names,
                         const std::vector<double>& numbers);
};
const std::vector<SweepOutput>& sweepoutputs();

// A file of kalp --draws, formed whole from the summary of the drawn
// scenarios (report/drawsreport.h); with --csv and --json the draws also
// give the rows of every scenario as a sweep writes them.
struct DrawsView;
struct DrawOutput {
    const char* name;
    const char* holds;
    Ask ask;
    std::string (*whole)(const DrawsView& v);
    // Whether a scenario with its option writes it; null: always.
    bool (*wanted)(const Model& m) = nullptr;
};
const std::vector<DrawOutput>& drawoutputs();
std::vector<const DrawOutput*> askeddraws(const Wants& w, const Model* m = nullptr);
std::vector<const SweepOutput*> askeddrawnrows(const Wants& w);

// A file of kalp index, formed whole from the index (report/indexreport.h).
struct IndexView;
struct IndexOutput {
    const char* name;
    const char* holds;
    Ask ask;
    std::string (*whole)(const IndexView& v);
    // Whether the index has what it holds; null: always.
    bool (*wanted)(const IndexView& v) = nullptr;
};
const std::vector<IndexOutput>& indexoutputs();
// The files of kalp index --sweep: the head and the rows of every scenario
// (formed on a worker thread), or, without a head, the chart drawn at the
// end from the points the scenarios gave.
struct IndexScenario;
struct IndexSweepOutput {
    const char* name;
    const char* holds;
    Ask ask;
    std::string (*head)(const SweepTables& t);
    void (*scenario)(const IndexScenario& s, std::string& text, std::vector<double>& numbers);
};
const std::vector<IndexSweepOutput>& indexsweepoutputs();
std::vector<const IndexSweepOutput*> askedindexsweep(const Wants& w);
// The file of kalp index --draws (with --csv).
constexpr const char* indexdrawsfile = "kalp-index-draws.csv";

// The files of kalp index that `w` asks for.
std::vector<const IndexOutput*> askedindex(const Wants& w);
// The names of all of them: kalp index with export options replaces the
// set of an earlier one.
std::vector<std::string> indexnames();

// The names of every file KALP may write.
std::vector<std::string> outputnames();
// What a file of those holds ("the economic weights"), or "".
const char* outputholds(const std::string& name);
// The exports that `w` asks for, run or sweep.
std::vector<const RunOutput*> asked(const Wants& w, const Model* m = nullptr);
std::vector<const SweepOutput*> askedsweep(const Wants& w);
// Their names, for the checks before a run.
std::vector<std::string> askednames(const Wants& w);
// The exports of the same kind (run, or sweep and draws), asked or not: a
// run with export options replaces the set of an earlier one.
std::vector<std::string> exportnames(bool sweep);

} // namespace kalp
