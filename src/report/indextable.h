// The tables of the index's files: each a CSV file and an array of JSON
// objects with the same names, cell by cell.
#pragma once

#include <string>
#include <vector>

namespace kalp::tables {

struct Cell {
    std::string text;
    bool string = false; // a text in the JSON, else a number ("" for null)
};
struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
};

Cell text(const std::string& s);
// A real as the shortest text of its double; zero without a sign.
Cell real(double v);
// An economic weight: a single-precision value of KALP's, as
// kalp-weights.csv writes it.
Cell weight(double v);
Cell whole(long long v);
Cell none();

std::string csv(const Table& t);
// The rows as an array of objects, indented by `indent`.
std::string json(const Table& t, const std::string& indent);

// A number in the console report, as printf's `format` gives it, and a
// text right-aligned in `width` characters.
std::string fixed(double v, const char* format = "%.4g");
std::string pad(const std::string& s, size_t width);

} // namespace kalp::tables
