// The index files as the editor holds them: CSV texts whose rows the page
// shows in tables, each row known by what it is about (its key), and the
// texts composed anew from the rows the page holds, in which every byte
// that no changed cell holds stays as it was: the order of the columns,
// blank lines, comment lines, quotes, separators, line ends, the
// byte-order mark and the encoding.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "input/csv.h"

namespace kalp {

// A row as the page holds it: its cells by column name.
using IndexCells = std::map<std::string, std::string>;

// A table of the page and its file: the file's columns in the order that
// a new file writes them, of which the first `keys` name the row.
struct IndexTable {
    const char* file;
    std::vector<const char*> columns;
    size_t keys;
    // A correlation: its two ends are one pair in either order, and a row
    // whose value the page sets to 0 is not written (pairs not given are 0).
    bool pair = false;
};
const std::vector<IndexTable>& indextables();
const IndexTable* findindextable(const std::string& file);

// A trait as the files name it, as the reader compares it: a number
// without leading zeros, a name as it is.
std::string traitkey(const std::string& text);
// The key of a row: its key cells as the reader takes them (words in lower
// case, trait numbers as traitkey gives them, the two ends of a
// correlation in ascending order, "genetic|1 direct|2 maternal",
// "phenotypic|1|fat_depth", "rams|own|1", "ewes"); "" when a cell of the
// key is empty or holds a blank or a |.
std::string rowkey(const IndexTable& t, const IndexCells& cells);

// A file as the editor read it.
struct IndexDoc {
    bool exists = false;
    // Its records could be split and it has a header; else the reader's
    // report on it, and the page shows no table of it.
    bool readable = false;
    std::string why;
    bool utf8 = true; // else Windows-1252
    char sep = ',';
    std::string eol = "\n"; // its first line end
    // The byte-order mark, the records, and a final Ctrl-Z with what
    // follows it.
    std::string prefix, body, tail;
    std::vector<CsvRecord> records;
    int header = -1;
    std::vector<std::string> columns; // the header's fields in lower case, empty ones included
    struct Row {
        size_t record;
        std::string key;
        IndexCells cells; // the file's columns that the table has, as UTF-8
    };
    std::vector<Row> rows;     // the rows the page shows, in the file's order
    std::vector<size_t> other; // data records it cannot show: no key, or the key of an earlier row
    bool decimalcomma() const { return sep == ';'; }
};
// `text` is the file's bytes, null when the file is missing.
IndexDoc readindexdoc(const IndexTable& t, const std::string* text);

// A value of the page that no file may hold: the file, the row's key, the
// column and why ("holds a line break", "holds a character that
// Windows-1252, in which the file is saved, lacks").
struct Unwritable {
    std::string key, column, why;
    std::string file = "";
};

// What the page changed in a file: the rows it changed or added, whole,
// and the keys of the rows it removed. Its other rows are those of the
// file.
struct IndexChanges {
    std::vector<IndexCells> rows;
    std::vector<std::string> removed;
};

// The text of `doc` with the page's changes in place, null when the file
// stays missing. A row of `doc` that the page changed keeps every byte
// but those of the cells that changed (a cell beyond the end of a short
// row is added with the separators before it); one that it removed (or,
// in a grid, whose one value it emptied, or a correlation whose value it
// changed to 0) goes with its line end; new rows follow the last row of
// the file, in the file's separator and line end, their cells quoted where
// they hold the separator or a quote. A column that the header lacks is
// added to it, in the first of its empty fields at its end or after it.
// Rows the page did not change, and those it cannot show, stay as they
// are. The first value that cannot be written goes to `bad` (its file
// left to the caller), and its cell keeps the file's text.
std::optional<std::string> composeindex(const IndexTable& t, const IndexDoc& doc, const IndexChanges& changes,
                                        std::optional<Unwritable>& bad);

} // namespace kalp
