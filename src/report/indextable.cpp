#include "report/indextable.h"

#include <cstdio>

#include "report/exports.h"
#include "textio/numbers.h"

namespace kalp::tables {

Cell text(const std::string& s) { return {s, true}; }
Cell real(double v) { return {shortest(v == 0 ? 0.0 : v), false}; }
Cell weight(double v) { return {shortest(static_cast<float>(v == 0 ? 0.0 : v)), false}; }
Cell whole(long long v) { return {std::to_string(v), false}; }
Cell none() { return {"", false}; }

std::string csv(const Table& t) {
    std::string out;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        if (i) out += ',';
        out += t.columns[i];
    }
    out += '\n';
    for (const auto& row : t.rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) out += ',';
            out += csvfield(row[i].text);
        }
        out += '\n';
    }
    return out;
}

std::string json(const Table& t, const std::string& indent) {
    std::string out = "[";
    for (size_t r = 0; r < t.rows.size(); ++r) {
        out += (r ? ",\n" : "\n") + indent + "  {";
        for (size_t i = 0; i < t.columns.size(); ++i) {
            const Cell& c = t.rows[r][i];
            out += (i ? ", " : "") + jsonstring(t.columns[i]) + ": " +
                   (c.string ? jsonstring(c.text) : c.text.empty() ? "null" : c.text);
        }
        out += "}";
    }
    return out + (t.rows.empty() ? "]" : "\n" + indent + "]");
}

std::string fixed(double v, const char* format) {
    char s[48];
    std::snprintf(s, sizeof s, format, v);
    return s;
}

std::string pad(const std::string& s, size_t width) {
    return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

} // namespace kalp::tables
