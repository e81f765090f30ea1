// The selection index in the editor's page: the index files as tables
// (the traits with their parameters, the correlations as triangles, the
// sources of each path as a grid, the selection of each path), the texts
// composed from the rows the page holds, and the index that kalp index
// computes from them on the scenario's economic weights, or its stop with
// the cell it names. The page has no rules of its own: which components a
// trait has, which sources a path may use and what a value may be come
// from here, from the rules of the files' reader.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/stop.h"
#include "engine/engine.h"
#include "serve/indexdoc.h"
#include "serve/scenario.h"

namespace kalp {

// What the page changed in each index file, by file; a file that the page
// names not keeps its text.
using IndexEdits = std::map<std::string, IndexChanges>;
// The index files of a set of texts as the editor read them, in the order
// of indextables().
using IndexDocs = std::vector<std::shared_ptr<const IndexDoc>>;

// The rows of the index's tables that the page shows: the first `rows` of
// each, all of those named in `all`. Every table tells its total.
struct IndexShown {
    size_t rows = static_cast<size_t>(-1);
    std::set<std::string> all;
};
IndexDocs readindexdocs(const Texts& texts);

// The files the editor reads beside the input files: the four index
// files, and index-desired.csv, which the index reads and the page does
// not edit.
const std::vector<std::string>& indexfilenames();

// `texts` with the page's changes in the index files of `loaded` (read as
// `docs`), and in `now` those files as read then; the first value that no
// file may hold, when one is given.
std::optional<Unwritable> composeindexfiles(const IndexDocs& docs, const IndexEdits& edits, Texts& texts,
                                            IndexDocs& now);

// The index's part of the page's answer for the files `texts` (their index
// files read as `docs`), whose scenario ran to `o` (trait names `names`):
// the tables' rows when `rows`
// (the page takes them when it reads the files), what the tables show
// (traits, components, sources a path may use, traced groups), and the
// index with its tables and chart, or its stop with the cell it names.
nlohmann::json indexjson(const Texts& texts, const IndexDocs& docs, const Outcome& o, const TraitNames& names,
                         bool rows, const std::optional<Unwritable>& bad, const IndexShown& shown = {});

// Where a stop of the index lies among the tables of `docs` (the files of
// `texts` as the editor read them): the file, the row's key and the column
// of a cell, the header, or a line that no table shows; and what the page
// says to do.
nlohmann::json stopplace(const RunStop& stop, const IndexDocs& docs);

// The index of `texts` on the economic weights of `o` (a complete run of
// the same files): its tables, chart and report as kalp index gives them;
// or its stop, with the correlations that bending moved where the
// parameters are not possible together, and the index of the bent
// matrices, to look at.
nlohmann::json indexresult(const Texts& texts, const Outcome& o, const IndexDocs& docs, const IndexShown& shown = {});

} // namespace kalp
