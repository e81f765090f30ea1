#include "serve/session.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "report/catalogue.h"

namespace kalp {

std::string newtoken() {
    unsigned char bytes[24];
    int error = 0;
    if (!platform::randombytes(bytes, sizeof bytes, error))
        throw std::runtime_error("no random bytes for the token: " + platform::errortext(error));
    std::string hex;
    for (const unsigned char b : bytes) {
        hex += "0123456789abcdef"[b >> 4];
        hex += "0123456789abcdef"[b & 15];
    }
    return hex;
}

bool sametoken(const std::string& given, const std::string& token) {
    if (given.size() != token.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < token.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ token[i]);
    return diff == 0;
}

std::vector<std::string> editornames() {
    std::vector<std::string> names = inputnames();
    names.insert(names.end(), indexfilenames().begin(), indexfilenames().end());
    return names;
}

Read readfolder(const Folder& folder) {
    Read r;
    for (const std::string& name : editornames()) {
        std::string text;
        int error = 0;
        if (folder.read(name, text, error))
            r.texts[name] = std::move(text);
        else if (error != ENOENT)
            r.unreadable[name] = error;
    }
    return r;
}

std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

void answer(httplib::Response& res, int status, const json& j) {
    res.status = status;
    res.set_content(dump(j), "application/json; charset=utf-8");
}

void refuse(httplib::Response& res, int status, const std::string& message) {
    answer(res, status, {{"error", message}});
}

std::string shown(const std::string& path) { return path.size() > 64 ? path.substr(0, 64) + "..." : path; }

namespace {

// What the page changed in the index files: by file, the rows it changed
// or added, each its cells by column name, and the keys of those it
// removed.
IndexEdits readindexedits(const json& index, const Limits& limits) {
    if (!index.is_object()) throw BadRequest("The changes of the index files must be given file by file.");
    IndexEdits out;
    for (const auto& [file, changes] : index.items()) {
        const IndexTable* t = findindextable(file);
        if (!t) throw BadRequest("The page shows no table of a file called " + file.substr(0, 64) + ".");
        if (!changes.is_object()) throw BadRequest("The changes of " + file + " must be given as an object.");
        const json rows = changes.value("rows", json::array()), removed = changes.value("removed", json::array());
        if (!rows.is_array() || !removed.is_array())
            throw BadRequest("The rows and the removed rows of " + file + " must be given as lists.");
        if (rows.size() + removed.size() > limits.indexrows)
            throw BadRequest("The page gives more than " + std::to_string(limits.indexrows) + " rows of " + file +
                             ", more than the editor takes.");
        IndexChanges& c = out[file];
        for (const json& key : removed) {
            if (!key.is_string() || key.get<std::string>().size() > 256)
                throw BadRequest("A removed row of " + file + " is not named by a short text.");
            c.removed.push_back(key.get<std::string>());
        }
        std::vector<IndexCells>& list = c.rows;
        for (const json& row : rows) {
            if (!row.is_object()) throw BadRequest("A row of " + file + " must give its cells by column.");
            IndexCells cells;
            for (const auto& item : row.items()) {
                const std::string& column = item.key();
                if (std::none_of(t->columns.begin(), t->columns.end(), [&](const char* c) { return column == c; }))
                    throw BadRequest(file + " has no column called " + column.substr(0, 32) + ".");
                if (!item.value().is_string() || item.value().get<std::string>().size() > 256) {
                    std::string why = "In " + file;
                    why += ", a cell of " + column + " is not given as a short text.";
                    throw BadRequest(why);
                }
                cells[column] = item.value().get<std::string>();
            }
            list.push_back(std::move(cells));
        }
    }
    return out;
}

} // namespace

Edits readedits(const std::string& body, const Limits& limits) {
    json j;
    try {
        j = json::parse(body);
    } catch (const json::exception& e) {
        throw BadRequest(std::string("The request is not JSON: ") + e.what());
    }
    if (!j.is_object() || !j.contains("version") || !j["version"].is_number_integer())
        throw BadRequest("The request gives no version of the files.");
    Edits e;
    e.version = j["version"].get<long>();
    if (j.contains("overwrite")) {
        if (!j["overwrite"].is_boolean()) throw BadRequest("The request gives overwrite as no true or false.");
        e.overwrite = j["overwrite"].get<bool>();
    }
    if (j.contains("index")) e.index = readindexedits(j["index"], limits);
    if (j.contains("indexrows")) {
        const json& n = j["indexrows"];
        if (!n.is_number_unsigned() || n.get<std::uint64_t>() > 1000000)
            throw BadRequest("The request gives indexrows as no count of rows.");
        e.shown.rows = n.get<size_t>();
    }
    if (j.contains("indexall")) {
        const json& all = j["indexall"];
        if (!all.is_array() || all.size() > 8)
            throw BadRequest("The request gives indexall as no short list of tables.");
        for (const json& t : all) {
            if (!t.is_string() || t.get<std::string>().size() > 32)
                throw BadRequest("The request names a table of the index by no short text.");
            e.shown.all.insert(t.get<std::string>());
        }
    }
    if (!j.contains("values")) return e;
    const json& files = j["values"];
    if (!files.is_object()) throw BadRequest("The values must be given file by file.");
    const auto& names = inputnames();
    for (const auto& [file, vars] : files.items()) {
        if (std::find(names.begin(), names.end(), file) == names.end() || file == "TEXTVRD_OUT.TXT")
            throw BadRequest("KALP reads no input file called " + file + ".");
        if (!vars.is_object()) throw BadRequest("The values of " + file + " must be given by name.");
        for (const auto& [var, text] : vars.items()) {
            if (!text.is_string() || var.size() > 32)
                throw BadRequest("In " + file + ", " + var.substr(0, 32) + " is not given as a text.");
            if (!knownvalue(file, var))
                throw BadRequest(std::string("KALP reads no value called ").append(var).append(" in ").append(file) + ".");
            const std::string why = badvalue(text.get<std::string>());
            if (why.empty())
                e.values[file][var] = text.get<std::string>();
            else if (!e.bad)
                e.bad = Invalid{file, var, why};
        }
    }
    return e;
}

const char* mimetype(const std::string& name) {
    const auto ends = [&](const char* e) {
        const std::string s = e;
        return name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
    };
    if (ends(".csv")) return "text/csv; charset=utf-8";
    if (ends(".json")) return "application/json";
    if (ends(".svg")) return "image/svg+xml";
    return "text/plain; charset=utf-8";
}

} // namespace kalp
