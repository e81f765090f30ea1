#include "serve/indexdoc.h"

#include <algorithm>
#include <set>

#include "core/indexdata.h"
#include "core/stop.h"
#include "input/indexfiles.h"
#include "textio/utf8.h"

namespace kalp {

namespace {

std::string cellof(const IndexCells& cells, const std::string& column) {
    const auto c = cells.find(column);
    return c == cells.end() ? "" : trimmed(c->second);
}

bool oneof(const std::string& word, const std::vector<std::string>& words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

const std::vector<std::string>& pathwords() {
    static const std::vector<std::string> w = {pathname(Path::rams), pathname(Path::ewes)};
    return w;
}

const std::vector<std::string>& sourcewords() {
    static const std::vector<std::string> w = [] {
        std::vector<std::string> v;
        v.reserve(sourcecount);
        for (int k = 0; k < sourcecount; ++k)
            v.emplace_back(sourcename(static_cast<Source>(k)));
        return v;
    }();
    return w;
}

// An edit of the body: `length` bytes at `offset` replaced by `text`. Of
// the texts put in at one offset, those of a lower rank stand first: a
// cell, the cells added to the end of its row, then new rows.
struct Edit {
    size_t offset, length;
    std::string text;
    int rank;
};
enum Rank { incell = 0, atrowend = 1, newrows = 2 };

// Where a record's content ends: before its line end.
size_t contentend(const std::string& body, const CsvRecord& r) {
    size_t end = r.end;
    if (end > r.begin && body[end - 1] == '\n') --end;
    if (end > r.begin && body[end - 1] == '\r') --end;
    return end;
}

class Composer {
public:
    Composer(const IndexTable& t, const IndexDoc& d, std::optional<Unwritable>& b) : table(t), doc(d), bad(b) {}

    std::string compose(const IndexChanges& changes) {
        const std::vector<IndexCells>& rows = changes.rows;
        std::map<std::string, const IndexCells*> page;
        for (const IndexCells& r : rows) {
            const std::string key = rowkey(table, r);
            if (!key.empty()) page.emplace(key, &r);
        }
        const std::set<std::string> removed(changes.removed.begin(), changes.removed.end());
        place(rows);
        std::set<std::string> done;
        for (const IndexDoc::Row& row : doc.rows) {
            const CsvRecord& r = doc.records[row.record];
            const auto p = page.find(row.key);
            if (p == page.end() && !removed.count(row.key)) {
                done.insert(row.key);
                continue;
            }
            if (p == page.end() || dropped(*p->second, &row)) {
                edits.push_back({r.begin, r.end - r.begin, "", incell});
                continue;
            }
            done.insert(row.key);
            change(row, *p->second);
        }
        std::vector<std::string> lines;
        for (const IndexCells& r : rows) {
            const std::string key = rowkey(table, r);
            if (key.empty() || done.count(key) || dropped(r, nullptr) || !done.insert(key).second) continue;
            lines.push_back(newline(key, r));
        }
        if (!lines.empty() && doc.header < 0) lines.insert(lines.begin(), headerline());
        if (!lines.empty()) addlines(lines);
        std::string body = doc.body;
        // From the end, so that the offsets of the rest stand; at one
        // offset, what is removed first, then the texts put in from the
        // last one on.
        std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
            if (a.offset != b.offset) return a.offset > b.offset;
            if ((a.length > 0) != (b.length > 0)) return a.length > 0;
            return a.rank > b.rank;
        });
        for (const Edit& e : edits)
            body.replace(e.offset, e.length, e.text);
        return doc.prefix + body + doc.tail;
    }

private:
    const IndexTable& table;
    const IndexDoc& doc;
    std::optional<Unwritable>& bad;
    std::vector<Edit> edits;
    std::map<std::string, size_t> at; // the field of each column of the table

    // Whether a row of the page is not written: in a table of one value a
    // cell (of a grid) emptied, or a correlation set to 0. A row of the file
    // that the page did not change stays as it is.
    bool dropped(const IndexCells& r, const IndexDoc::Row* before) const {
        if (table.keys + 1 != table.columns.size()) return false;
        const char* column = table.columns.back();
        const std::string value = cellof(r, column);
        if (before && cellof(before->cells, column) == value) return false;
        if (value.empty()) return true;
        double v = 1;
        return table.pair && csvnumber(value, doc.decimalcomma(), v) && v == 0;
    }

    // The fields of the table's columns, those the header lacks added to
    // it where a row of the page gives them a value.
    void place(const std::vector<IndexCells>& rows) {
        for (size_t i = 0; i < doc.columns.size(); ++i)
            if (!doc.columns[i].empty() && !at.count(doc.columns[i])) at[doc.columns[i]] = i;
        if (doc.header < 0) {
            for (size_t i = 0; i < table.columns.size(); ++i)
                at[table.columns[i]] = i;
            return;
        }
        size_t next = doc.columns.size();
        while (next > 0 && doc.columns[next - 1].empty())
            --next;
        const CsvRecord& h = doc.records[static_cast<size_t>(doc.header)];
        std::string appended;
        for (const char* column : table.columns) {
            if (at.count(column)) continue;
            const bool given = std::any_of(rows.begin(), rows.end(),
                                           [&](const IndexCells& r) { return !cellof(r, column).empty(); });
            if (!given) continue;
            if (next < h.fields.size())
                edits.push_back({h.fields[next].offset, h.fields[next].length, column, incell});
            else
                appended += std::string(next > 0 ? 1 : 0, doc.sep) + column;
            at[column] = next++;
        }
        if (!appended.empty()) edits.push_back({contentend(doc.body, h), 0, appended, atrowend});
    }

    // A value as the file writes it; false when no file may hold it.
    bool written(const std::string& key, const std::string& column, const std::string& value, bool first,
                 bool quote, std::string& out) {
        std::string why;
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
            why = "holds a line break or another control character";
        else if (utf8length(value) > 64)
            why = "is longer than 64 characters";
        else if (!isutf8(value))
            why = "is not UTF-8 text";
        std::string bytes = value;
        if (why.empty() && !doc.utf8 && !to1252(value, bytes))
            why = "holds a character that Windows-1252, in which the file is saved, lacks";
        if (!why.empty()) {
            if (!bad) bad = Unwritable{key, column, why};
            return false;
        }
        quote = quote || bytes.find(doc.sep) != std::string::npos || bytes.find('"') != std::string::npos ||
                (first && !bytes.empty() && bytes[0] == '#');
        if (!quote) {
            out = bytes;
            return true;
        }
        out = "\"";
        for (const char c : bytes)
            out += c == '"' ? std::string("\"\"") : std::string(1, c);
        out += '"';
        return true;
    }

    // The cells of a row of the file that the page changed.
    void change(const IndexDoc::Row& row, const IndexCells& page) {
        const CsvRecord& r = doc.records[row.record];
        std::map<size_t, std::string> beyond; // fields past the end of the row
        for (const char* column : table.columns) {
            const auto field = at.find(column);
            if (field == at.end() || !page.count(column)) continue;
            const std::string now = cellof(page, column);
            const auto before = row.cells.find(column);
            if (now == (before == row.cells.end() ? "" : before->second)) continue;
            const size_t i = field->second;
            const bool inside = i < r.fields.size();
            std::string text;
            if (!written(row.key, column, now, i == 0, inside && r.fields[i].quoted, text)) continue;
            if (inside)
                edits.push_back({r.fields[i].offset, r.fields[i].length, text, incell});
            else if (!now.empty())
                beyond[i] = text;
        }
        if (beyond.empty()) return;
        std::string tail;
        for (size_t i = r.fields.size(); i <= beyond.rbegin()->first; ++i)
            tail += std::string(1, doc.sep) + (beyond.count(i) ? beyond[i] : "");
        edits.push_back({contentend(doc.body, r), 0, tail, atrowend});
    }

    std::string headerline() const {
        std::string line;
        for (const char* column : table.columns)
            line += (line.empty() ? "" : std::string(1, doc.sep)) + column;
        return line;
    }

    std::string newline(const std::string& key, const IndexCells& r) {
        std::map<size_t, std::string> fields;
        for (const char* column : table.columns) {
            const std::string now = cellof(r, column);
            std::string text;
            if (!now.empty() && at.count(column) && written(key, column, now, at[column] == 0, false, text))
                fields[at[column]] = text;
        }
        std::string line;
        for (size_t i = 0; !fields.empty() && i <= fields.rbegin()->first; ++i)
            line += (i ? std::string(1, doc.sep) : "") + (fields.count(i) ? fields[i] : "");
        return line;
    }

    // New lines after the last row of the file (or its header), before
    // the blank lines and comments that follow it.
    void addlines(const std::vector<std::string>& lines) {
        size_t after = doc.body.size();
        bool ended = doc.body.empty() || doc.body.back() == '\n' || doc.body.back() == '\r';
        for (size_t k = doc.records.size(); k-- > 0;) {
            const CsvRecord& r = doc.records[k];
            if (r.comment || r.empty) continue;
            after = r.end;
            ended = contentend(doc.body, r) != r.end;
            break;
        }
        std::string text;
        for (const std::string& l : lines)
            text += (ended ? l + doc.eol : doc.eol + l);
        edits.push_back({after, 0, text, newrows});
    }
};

} // namespace

const std::vector<IndexTable>& indextables() {
    static const std::vector<IndexTable> t = {
        {indexfiles()[0].name, {"trait", "sd", "h2", "h2_maternal", "r_direct_maternal", "c2", "repeatability"}, 1},
        {indexfiles()[1].name, {"kind", "trait_a", "component_a", "trait_b", "component_b", "value"}, 5, true},
        {indexfiles()[2].name, {"path", "source", "trait", "records"}, 3},
        {indexfiles()[3].name, {"path", "proportion", "intensity", "generation_interval", "traced_group"}, 1},
    };
    return t;
}

const IndexTable* findindextable(const std::string& file) {
    const auto t = std::find_if(indextables().begin(), indextables().end(),
                                [&](const IndexTable& x) { return file == x.file; });
    return t == indextables().end() ? nullptr : &*t;
}

std::string traitkey(const std::string& text) {
    std::string s = trimmed(text);
    if (s.empty() || s.size() > 18 || s.find_first_not_of("0123456789") != std::string::npos) return s;
    return std::to_string(std::stoll(s));
}

std::string rowkey(const IndexTable& t, const IndexCells& cells) {
    for (size_t k = 0; k < t.keys; ++k) {
        const std::string c = cellof(cells, t.columns[k]);
        const bool component = std::string(t.columns[k]).rfind("component", 0) == 0;
        if ((c.empty() && !component) || c.find('|') != std::string::npos) return "";
    }
    const auto word = [&](const char* column) { return lowercase(cellof(cells, column)); };
    std::string first = word(t.columns[0]);
    if (t.pair) {
        const bool genetic = first == "genetic";
        if (!genetic && first != "phenotypic" && first != "litter") return "";
        std::string a = traitkey(cellof(cells, "trait_a")), b = traitkey(cellof(cells, "trait_b"));
        if (genetic) {
            const std::string ca = word("component_a"), cb = word("component_b");
            const auto effect = [](const std::string& c) {
                return c == effectname(Effect::direct) || c == effectname(Effect::maternal);
            };
            if (!effect(ca) || !effect(cb)) return "";
            a += " " + ca;
            b += " " + cb;
        }
        return first + "|" + std::min(a, b) + "|" + std::max(a, b);
    }
    if (t.keys == 1 && std::string(t.columns[0]) == "trait") return traitkey(cellof(cells, "trait"));
    if (!oneof(first, pathwords())) return "";
    if (t.keys == 1) return first;
    const std::string source = word("source");
    if (!oneof(source, sourcewords())) return "";
    return first + "|" + source + "|" + traitkey(cellof(cells, "trait"));
}

IndexDoc readindexdoc(const IndexTable& t, const std::string* text) {
    IndexDoc d;
    d.readable = true;
    if (!text) return d;
    d.exists = true;
    std::string body = *text;
    // What the reader refuses before it splits a line: the report is its own.
    if (body.find('\0') != std::string::npos) {
        d.readable = false;
        d.body = body;
        try {
            parsecsv(body, t.file);
        } catch (const RunStop& stop) {
            d.why = stop.what;
        }
        return d;
    }
    if (body.rfind("\xEF\xBB\xBF", 0) == 0) {
        d.prefix = body.substr(0, 3);
        body.erase(0, 3);
    }
    size_t end = body.size();
    while (end > 0 && (body[end - 1] == '\r' || body[end - 1] == '\n'))
        --end;
    if (end > 0 && body[end - 1] == '\x1A') {
        d.tail = body.substr(end - 1);
        body.resize(end - 1);
    }
    d.body = body;
    d.utf8 = isutf8(body);
    d.sep = csvseparator(body);
    const size_t eol = body.find_first_of("\r\n");
    if (eol != std::string::npos)
        d.eol = body.compare(eol, 2, "\r\n") == 0 ? "\r\n" : body.substr(eol, 1);
    try {
        d.records = splitcsv(body, t.file, d.sep);
    } catch (const RunStop& stop) {
        d.readable = false;
        d.why = stop.what;
        d.records.clear();
        return d;
    }
    const auto text8 = [&](const std::string& s) { return d.utf8 ? s : from1252(s); };
    std::set<std::string> seen;
    for (size_t i = 0; i < d.records.size(); ++i) {
        const CsvRecord& r = d.records[i];
        if (r.comment || r.empty) continue;
        if (d.header < 0) {
            d.header = static_cast<int>(i);
            for (const CsvRecord::Field& f : r.fields)
                d.columns.push_back(lowercase(text8(f.text)));
            continue;
        }
        IndexDoc::Row row{i, "", {}};
        for (const char* column : t.columns) {
            const auto c = std::find(d.columns.begin(), d.columns.end(), column);
            const auto k = static_cast<size_t>(c - d.columns.begin());
            if (c != d.columns.end()) row.cells[column] = k < r.fields.size() ? text8(r.fields[k].text) : "";
        }
        row.key = rowkey(t, row.cells);
        if (row.key.empty() || !seen.insert(row.key).second)
            d.other.push_back(i);
        else
            d.rows.push_back(std::move(row));
    }
    return d;
}

std::optional<std::string> composeindex(const IndexTable& t, const IndexDoc& doc, const IndexChanges& changes,
                                        std::optional<Unwritable>& bad) {
    if (!doc.readable) return doc.prefix + doc.body + doc.tail;
    if (!doc.exists && std::none_of(changes.rows.begin(), changes.rows.end(), [&](const IndexCells& r) {
            return !rowkey(t, r).empty();
        }))
        return std::nullopt;
    return Composer(t, doc, bad).compose(changes);
}

} // namespace kalp
