// Tables in CSV files, as people write them by hand or spreadsheet programs
// save them: comma-separated with decimal points, or, when the header line
// holds a semicolon and no comma, semicolon-separated with decimal commas;
// UTF-8 with or without a byte-order mark, or Windows-1252; any line ends.
// Fields may be quoted ("a, b", doubled quotes inside); blanks around a
// field do not count; rows without any value are skipped. Every report
// names the file, the line and the column.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "textio/folder.h"

namespace kalp {

struct CsvTable {
    std::string file;
    bool decimalcomma = false; // fields stand apart by ';', numbers take a decimal comma
    std::vector<std::string> header; // the column names as written, trimmed
    int headerline = 0;
    struct Row {
        int line = 0;
        std::vector<std::string> cells; // one per column of the header, "" where missing
    };
    std::vector<Row> rows;
};

// The table in `text`, read as file `file`. A row with more fields than
// the header ends the run.
CsvTable parsecsv(std::string text, const std::string& file);

// A record of a CSV text where its bytes stand, for a program that changes
// some of its fields and keeps every other byte: the line it begins on,
// its bytes from `begin` to `end` (its line end included), and its fields
// (quotes taken off, blanks around left out), each with the bytes it
// stands in (a quoted field with its quotes, a field of blanks as the
// empty place after them). A comment line has no fields; a row of empty
// fields is `empty`.
struct CsvRecord {
    int line = 0;
    size_t begin = 0, end = 0;
    bool comment = false, empty = false;
    struct Field {
        std::string text;
        size_t offset = 0, length = 0;
        bool quoted = false;
    };
    std::vector<Field> fields;
};
// The separator of a text: ';' when the first line that holds anything
// other than a comment holds a semicolon and no comma, else ','.
char csvseparator(const std::string& text);
// The records of `text`, the bytes of a file after its byte-order mark and
// before a final Ctrl-Z, as parsecsv splits them: separators, quotes and
// line ends are ASCII bytes in UTF-8 and Windows-1252 alike, so the
// records of a file's own bytes are those of its text as read. A quote
// that is not closed, or text after a closing quote, ends the run.
std::vector<CsvRecord> splitcsv(const std::string& text, const std::string& file, char sep);
// Whether `cell` is a plain decimal number with the decimal sign of its
// file (a comma when `decimalcomma`), as CsvColumns::number reads it; its
// value in `value`.
bool csvnumber(std::string cell, bool decimalcomma, double& value);
// The table of the file `name` in `folder`, named `shown` in reports when
// given; a file that cannot be read, or is saved as UTF-16, ends the run.
CsvTable readcsv(const Folder& folder, const std::string& name, const std::string& shown = "");

// A column that a file may have: its name, whether it must be there, and
// what it holds, for the report on an unknown column.
struct CsvColumn {
    const char* name;
    bool required;
};

// The columns of a table, by name (compared without regard to case).
class CsvColumns {
public:
    // Finds the columns of `known` in the header; an unknown column (unless
    // `others` allows it), a column given twice and a required column that
    // is missing end the run.
    CsvColumns(const CsvTable& t, const std::vector<CsvColumn>& known, bool others = false);
    // The cell of column `name` in `row`, "" when the file has no such column.
    const std::string& cell(const CsvTable::Row& row, const char* name) const;
    // A number in `name`: nothing for an empty cell; text that is not a
    // plain decimal number (with the table's decimal sign) ends the run.
    std::optional<double> number(const CsvTable::Row& row, const char* name) const;
    // A whole number: digits only, with a sign.
    std::optional<long long> whole(const CsvTable::Row& row, const char* name) const;
    // Ends the run with a report on the cell of `name` in `row`.
    [[noreturn]] void fault(const CsvTable::Row& row, const char* name, const std::string& what,
                            const std::string& fix) const;
    // "index-traits.csv, line 4, column 3 (h2)".
    std::string where(const CsvTable::Row& row, const char* name) const;
    bool has(const char* name) const;
    const CsvTable& table() const { return t_; }

private:
    const CsvTable& t_;
    std::vector<std::pair<std::string, int>> at_; // known name and its column, -1 when absent
    int column(const char* name) const;
};

// A cell as the reader takes it: without the blanks and tabs around it.
std::string trimmed(const std::string& s);

// ASCII letters in lower case: column names and words of the files are
// compared so.
std::string lowercase(std::string s);

// Ends the run with a report on a CSV file (`what` names the line, which
// `line` gives when there is one).
[[noreturn]] void csvfault(const std::string& file, const std::string& what, const std::string& fix,
                           int line = 0);

} // namespace kalp
