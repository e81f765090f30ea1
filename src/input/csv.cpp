#include "input/csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/stop.h"
#include "textio/stream.h"
#include "textio/utf8.h"

namespace kalp {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

// A cell as a report quotes it: a long text cut short.
std::string quoted(const std::string& s) {
    return "\"" + (utf8length(s) > 40 ? shorten(s, 40) : s) + "\"";
}

// The bytes of the file as UTF-8 text without a byte-order mark or a final
// Ctrl-Z; a file saved as UTF-16, or holding a NUL byte, ends the run.
std::string astext(std::string text, const std::string& file) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const bool mark = text.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) ||
                                           (byte(0) == 0xFE && byte(1) == 0xFF));
    // Notepad's "Unicode" without a mark: a NUL beside the first character.
    const size_t nul = text.find('\0');
    if (mark || nul < 2)
        failin(file, "", "The file " + file + " is saved as UTF-16 (\"Unicode\"), which KALP cannot read.",
               "Open " + file + " in a spreadsheet or editor, save it as CSV (UTF-8 or ANSI) and "
               "restart the program.");
    if (nul != std::string::npos) {
        const int line = static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(nul), '\n')) + 1;
        csvfault(file, "The file " + file + " holds a NUL byte (a byte of value 0) on line " +
                                 std::to_string(line) + "; a text file holds none.",
                 "Save " + file + " as CSV (UTF-8 or ANSI) and restart the program.", line);
    }
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    // Some Windows programs end a text file with Ctrl-Z.
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n'))
        --end;
    if (end > 0 && text[end - 1] == '\x1A') text.resize(end - 1);
    return isutf8(text) ? text : asutf8(text);
}

// Splits the text into records of fields. A field that begins with a
// double quote runs to the closing one, across separators and line ends.
struct Splitter {
    const std::string& text;
    const std::string& file;
    char sep;
    size_t at = 0;
    int line = 1;

    bool lineend(size_t i) const { return text[i] == '\n' || text[i] == '\r'; }
    void skiplineend() {
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
        ++at;
        ++line;
    }
    // Whether the record at `at` is a comment line: its first character
    // other than a blank is #.
    bool comment() const {
        size_t i = at;
        while (i < text.size() && blank(text[i]))
            ++i;
        return i < text.size() && text[i] == '#';
    }
    // The field of the bytes from .. to, blanks around it left out.
    void close(CsvRecord::Field& f, size_t from, size_t to) const {
        while (to > from && blank(text[to - 1]))
            --to;
        while (from < to && blank(text[from]))
            ++from;
        f.offset = from;
        f.length = to - from;
        f.text = text.substr(from, to - from);
    }
    // The next record; false at the end.
    bool next(CsvRecord& r) {
        if (at >= text.size()) return false;
        r = CsvRecord{};
        r.line = line;
        r.begin = at;
        if (comment()) {
            r.comment = true;
            while (at < text.size() && !lineend(at))
                ++at;
            if (at < text.size()) skiplineend();
            r.end = at;
            return true;
        }
        size_t from = at; // where the field being read began
        bool closed = false; // the field was quoted, and its quote is closed
        r.fields.emplace_back();
        while (at < text.size()) {
            if (lineend(at)) {
                if (!closed) close(r.fields.back(), from, at);
                closed = true;
                skiplineend();
                break;
            }
            if (text[at] == sep) {
                if (!closed) close(r.fields.back(), from, at);
                r.fields.emplace_back();
                from = ++at;
                closed = false;
                continue;
            }
            if (text[at] == '"' && !closed &&
                std::all_of(text.begin() + static_cast<long>(from), text.begin() + static_cast<long>(at), blank)) {
                quotedfield(r.fields.back());
                closed = true;
                continue;
            }
            ++at;
        }
        if (!closed) close(r.fields.back(), from, at);
        r.end = at;
        r.empty = std::all_of(r.fields.begin(), r.fields.end(),
                              [](const CsvRecord::Field& f) { return f.text.empty(); });
        return true;
    }
    // A quoted field, from its opening quote; only blanks may follow it
    // before the separator or the line end.
    void quotedfield(CsvRecord::Field& f) {
        const int opened = line;
        std::string s;
        f.offset = at++;
        f.quoted = true;
        for (;;) {
            if (at >= text.size())
                csvfault(file, "In " + file + ", the double quote opened on line " +
                                           std::to_string(opened) + " is not closed.",
                         "Close the quoted text with a double quote in " + file +
                             " and restart the program.",
                         opened);
            if (text[at] == '"') {
                if (at + 1 < text.size() && text[at + 1] == '"') {
                    s += '"';
                    at += 2;
                    continue;
                }
                ++at;
                break;
            }
            if (lineend(at)) {
                const size_t from = at;
                skiplineend();
                s += text.substr(from, at - from);
                continue;
            }
            s += text[at++];
        }
        f.length = at - f.offset;
        f.text = trimmed(s);
        while (at < text.size() && blank(text[at]))
            ++at;
        if (at < text.size() && text[at] != sep && !lineend(at))
            csvfault(file, "In " + file + ", line " + std::to_string(line) +
                                     ", text follows the closing double quote of a field.",
                     "Put the whole field in the quotes, or remove the quotes, in " + file +
                         " and restart the program.",
                     line);
    }
};

// Whether `s` is a plain decimal number: a sign, digits with at most one
// point, an exponent.
bool decimal(const std::string& s) {
    size_t i = 0, digits = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t exponent = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++exponent;
        }
        if (exponent == 0) return false;
    }
    return i == s.size();
}

} // namespace

std::string trimmed(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && blank(s[a]))
        ++a;
    while (b > a && blank(s[b - 1]))
        --b;
    return s.substr(a, b - a);
}

std::string lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return s;
}

void csvfault(const std::string& file, const std::string& what, const std::string& fix, int line) {
    RunStop stop{StopKind::input, file, "", what, fix, ""};
    stop.line = line;
    halt(stop);
}

char csvseparator(const std::string& text) {
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find_first_of("\r\n", from);
        if (end == std::string::npos) end = text.size();
        const std::string line = trimmed(text.substr(from, end - from));
        if (!line.empty() && line[0] != '#')
            return line.find(';') != std::string::npos && line.find(',') == std::string::npos ? ';' : ',';
        from = end + 1;
    }
    return ',';
}

std::vector<CsvRecord> splitcsv(const std::string& text, const std::string& file, char sep) {
    Splitter split{text, file, sep};
    std::vector<CsvRecord> records;
    for (CsvRecord r; split.next(r);)
        records.push_back(std::move(r));
    return records;
}

bool csvnumber(std::string cell, bool decimalcomma, double& value) {
    if (decimalcomma) {
        if (cell.find('.') != std::string::npos) return false;
        std::replace(cell.begin(), cell.end(), ',', '.');
    } else if (cell.find(',') != std::string::npos) {
        return false;
    }
    if (!decimal(cell)) return false;
    const char* first = cell.data() + (cell[0] == '+' ? 1 : 0);
    const auto r = std::from_chars(first, cell.data() + cell.size(), value);
    return r.ec == std::errc() && std::isfinite(value);
}

CsvTable parsecsv(std::string text, const std::string& file) {
    CsvTable t;
    t.file = file;
    text = astext(std::move(text), file);
    const char sep = csvseparator(text);
    t.decimalcomma = sep == ';';
    size_t width = 0; // the fields of the header line, empty ones at its end included
    for (const CsvRecord& r : splitcsv(text, file, sep)) {
        if (r.comment || r.empty) continue;
        std::vector<std::string> fields(r.fields.size());
        std::transform(r.fields.begin(), r.fields.end(), fields.begin(),
                       [](const CsvRecord::Field& f) { return f.text; });
        const int line = r.line;
        if (t.header.empty()) {
            // A spreadsheet ends every line with the empty fields of the
            // columns that hold something further down.
            width = fields.size();
            while (fields.back().empty())
                fields.pop_back();
            t.header = fields;
            t.headerline = line;
            continue;
        }
        if (fields.size() <= width)
            while (fields.size() > t.header.size() && fields.back().empty())
                fields.pop_back();
        if (fields.size() > t.header.size())
            csvfault(file, "In " + file + ", line " + std::to_string(line) + " has " +
                         std::to_string(fields.size()) + " fields, but the header (line " +
                         std::to_string(t.headerline) + ") names " +
                         std::to_string(t.header.size()) + " columns.",
                     t.decimalcomma
                         ? "Remove the extra fields of line " + std::to_string(line) + " in " + file +
                               " and restart the program."
                         : "Remove the extra fields of line " + std::to_string(line) + " in " + file +
                               "; with commas between the fields, decimals take a point (0.25, "
                               "not 0,25). Then restart the program.",
                     line);
        fields.resize(t.header.size());
        t.rows.push_back({line, fields});
    }
    if (t.header.empty())
        csvfault(file, "The file " + file + " holds no header line naming its columns.",
                 "Write the names of the columns on the first line of " + file +
                     " and restart the program.");
    return t;
}

CsvTable readcsv(const Folder& folder, const std::string& name, const std::string& shown) {
    const std::string file = shown.empty() ? name : shown;
    std::string text;
    int error = 0;
    if (!folder.read(name, text, error)) {
        const Unopened u = unopened(file, error);
        failin(file, "", u.what, u.fix);
    }
    return parsecsv(std::move(text), file);
}

CsvColumns::CsvColumns(const CsvTable& t, const std::vector<CsvColumn>& known, bool others) : t_(t) {
    std::string names;
    for (const CsvColumn& k : known) {
        at_.emplace_back(k.name, -1);
        names += std::string(names.empty() ? "" : ", ") + k.name;
    }
    const std::string head = "In " + t.file + ", line " + std::to_string(t.headerline) + ", column ";
    for (size_t i = 0; i < t.header.size(); ++i) {
        const std::string name = lowercase(t.header[i]);
        const std::string col = head + std::to_string(i + 1);
        if (name.empty())
            csvfault(t.file, col + " of the header has no name.",
                     "Name every column of " + t.file + " (" + names + ") and restart the program.");
        const auto k = std::find_if(at_.begin(), at_.end(), [&](const auto& a) { return a.first == name; });
        if (k == at_.end()) {
            if (others) continue;
            csvfault(t.file, col + " of the header, " + quoted(t.header[i]) + ", is no column of " + t.file + ".",
                     "Write the name of one of its columns there (" + names +
                         ") and restart the program.");
        }
        if (k->second >= 0)
            csvfault(t.file, col + " of the header names the column " + k->first + ", which column " +
                         std::to_string(k->second + 1) + " names already.",
                     "Give every column of " + t.file + " once and restart the program.");
        k->second = static_cast<int>(i);
    }
    for (const CsvColumn& k : known)
        if (k.required && column(k.name) < 0)
            csvfault(t.file, "The file " + t.file + " has no column " + k.name + " in its header (line " +
                         std::to_string(t.headerline) + ").",
                     "Add the column " + std::string(k.name) + " to " + t.file +
                         " and restart the program.");
}

int CsvColumns::column(const char* name) const {
    const auto a = std::find_if(at_.begin(), at_.end(), [&](const auto& x) { return x.first == name; });
    return a == at_.end() ? -1 : a->second;
}

bool CsvColumns::has(const char* name) const { return column(name) >= 0; }

const std::string& CsvColumns::cell(const CsvTable::Row& row, const char* name) const {
    static const std::string none;
    const int c = column(name);
    return c < 0 ? none : row.cells[static_cast<size_t>(c)];
}

std::string CsvColumns::where(const CsvTable::Row& row, const char* name) const {
    const int c = column(name);
    std::string s = t_.file + ", line " + std::to_string(row.line);
    if (c >= 0) s += ", column " + std::to_string(c + 1) + " (" + name + ")";
    return s;
}

void CsvColumns::fault(const CsvTable::Row& row, const char* name, const std::string& what,
                       const std::string& fix) const {
    RunStop stop{StopKind::input, t_.file, name, "In " + where(row, name) + ", " + what,
                 fix + " Then restart the program.", ""};
    stop.line = row.line;
    halt(stop);
}

std::optional<double> CsvColumns::number(const CsvTable::Row& row, const char* name) const {
    std::string s = cell(row, name);
    if (s.empty()) return std::nullopt;
    const std::string written = quoted(s);
    if (t_.decimalcomma) {
        if (s.find('.') != std::string::npos)
            fault(row, name, "the number " + written + " is written with a point.",
                  "In a file with semicolons between the fields numbers take a decimal comma "
                  "(0,25), and a point could separate thousands: write the number without it.");
        std::replace(s.begin(), s.end(), ',', '.');
    } else if (s.find(',') != std::string::npos) {
        fault(row, name, "the number " + written + " is written with a decimal comma.",
              "Write decimals with a point (0.25) in a file with commas between the fields.");
    }
    if (!decimal(s))
        fault(row, name, "the value " + written + " is not a number.",
              std::string("Write a plain decimal number there, such as ") +
                  (t_.decimalcomma ? "0,25 or -1,5e-3." : "0.25 or -1.5e-3."));
    double v = 0;
    const char* first = s.data() + (s[0] == '+' ? 1 : 0);
    const auto r = std::from_chars(first, s.data() + s.size(), v);
    if (r.ec != std::errc() || !std::isfinite(v))
        fault(row, name, "the number " + written + " is too large.", "Write a smaller number there.");
    return v;
}

std::optional<long long> CsvColumns::whole(const CsvTable::Row& row, const char* name) const {
    const std::string& s = cell(row, name);
    if (s.empty()) return std::nullopt;
    const bool sign = s[0] == '+' || s[0] == '-';
    long long v = 0;
    const auto r = std::from_chars(s.data() + (s[0] == '+' ? 1 : 0), s.data() + s.size(), v);
    if (s.size() == (sign ? 1u : 0u) || r.ec != std::errc() || r.ptr != s.data() + s.size() ||
        s.find_first_not_of("0123456789", sign ? 1 : 0) != std::string::npos)
        fault(row, name, "the value " + quoted(s) + " is not a whole number.",
              "Write a whole number there, with digits only.");
    return v;
}

} // namespace kalp
