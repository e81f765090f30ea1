// Save: the page's values written into the files whose text they change,
// all of them or none.
#include <algorithm>
#include <iterator>
#include <mutex>

#include "platform/platform.h"
#include "report/catalogue.h"
#include "serve/session.h"
#include "textio/folder.h"

namespace kalp {

bool Server::Impl::current(const Edits& e, httplib::Response& res) const {
    if (e.version == version) return true;
    answer(res, 409, {{"error", "The files were read afresh or saved from another page since this "
                                "page read them. Reload the page to edit them as they are now."},
                      {"reload", true}});
    return false;
}

Server::Impl::Place Server::Impl::placeof(const std::string& file) const {
    Place p;
    p.file = p.name = file;
    std::string there = dir;
    if (folder->entry(file) == Entry::link) {
        const std::string target = platform::linktarget(folder->path(file));
        const size_t slash = target.find_last_of("/\\");
        p.name = slash == std::string::npos ? target : target.substr(slash + 1);
        if (slash != std::string::npos) there = slash == 0 ? target.substr(0, 1) : target.substr(0, slash);
    }
    p.folder = std::make_unique<DiskFolder>(there);
    return p;
}

void Server::Impl::save(const std::string& body, httplib::Response& res) {
    const std::lock_guard<std::mutex> hold(mutex);
    const Edits e = readedits(body, http.limits());
    if (!current(e, res)) return;
    // A value that no file may hold, or a field emptied, is saved nowhere;
    // the answer names it as the page does.
    const Composed c = compose(loaded, spans, e.values);
    const Span* empty = e.bad ? nullptr : emptied(e.values, c.spans);
    if (e.bad || empty) {
        const json invalid =
            compute(e.values, e.index, e.bad ? *e.bad : Invalid{empty->file, empty->var, "is empty"})["invalid"];
        answer(res, 422, {{"error", invalid["message"].get<std::string>() + " Nothing was saved."}, {"invalid", invalid}});
        return;
    }
    Texts texts = c.texts;
    IndexDocs now;
    if (const std::optional<Unwritable> bad = composeindexfiles(docs, e.index, texts, now)) {
        answer(res, 422, {{"error", "In " + bad->file + ", the value of \"" + bad->column + "\" in the row of " +
                                        bad->key + " " + bad->why + ". Nothing was saved."},
                          {"unwritable", {{"file", bad->file}, {"key", bad->key}, {"column", bad->column}}}});
        return;
    }
    std::unique_ptr<Hold> lock;
    try {
        lock = lockfolder(*folder);
    } catch (const RunStop& stop) {
        refuse(res, 409, stop.what + " Nothing was saved.");
        return;
    }
    // What a killed save or run left at the temporary names.
    try {
        removeunfinished(*folder, editornames());
    } catch (const RunStop& stop) {
        refuse(res, 409, stop.what + " Nothing was saved.");
        return;
    }
    const Read disk = readfolder(*folder);
    json moved = json::array();
    for (const std::string& name : editornames()) {
        const bool here = disk.texts.count(name) != 0, before = loaded.count(name) != 0;
        if (here != before || (here && disk.texts.at(name) != loaded.at(name))) moved.push_back(name);
    }
    if (!moved.empty() && !e.overwrite) {
        std::string names;
        for (const auto& n : moved)
            names += (names.empty() ? "" : ", ") + n.get<std::string>();
        answer(res, 409,
               {{"error", names + " changed in the folder since this page read the files. "
                                  "Nothing was saved. Keep the page's values and write them "
                                  "over those changes, or read the files as they are now "
                                  "(your edits of the other files stay)."},
                {"conflict", moved}});
        return;
    }
    std::vector<Place> places;
    for (const auto& [name, text] : texts)
        if (!loaded.count(name) || loaded.at(name) != text) places.push_back(placeof(name));
    // A file that may not be written is left as it is, and so is every
    // other: the files of a scenario go together.
    for (const Place& p : places) {
        const std::string path = p.folder->path(p.name);
        const bool protect = p.folder->entry(p.name) == Entry::file && !platform::writable(path);
        if (!protect && platform::writable(p.folder->dir())) continue;
        const std::string what = protect ? p.file + (path == folder->path(p.file) ? "" : " (" + path + ")") +
                                               " is write-protected"
                                         : "The folder " + p.folder->dir() + " of " + p.file +
                                               " is write-protected";
        answer(res, 409, {{"error", what + ", so nothing was saved. Allow writing to it (its "
                                           "permissions, or its read-only mark on Windows) and "
                                           "save again, or keep it as it is."},
                          {"protected", p.file}});
        return;
    }
    std::vector<OutputFile> files;
    json saved = json::array();
    try {
        for (const Place& p : places) {
            // What a killed save left beside the file a link points to.
            removeunfinished(*p.folder, {p.name});
            OutputFile f(*p.folder, p.name, Role::input);
            f.write(texts.at(p.file));
            f.close();
            files.push_back(std::move(f));
            saved.push_back(p.file);
        }
    } catch (const RunStop& stop) {
        refuse(res, 409, stop.what + " Nothing was saved.");
        return;
    }
    std::vector<OutputFile*> all(files.size());
    std::transform(files.begin(), files.end(), all.begin(), [](OutputFile& f) { return &f; });
    try {
        publish(all);
    } catch (const RunStop& stop) {
        refuse(res, 409, stop.what + " Nothing was saved.");
        return;
    }
    if (!files.empty()) {
        loaded = std::move(texts);
        docs = std::move(now);
        spans = c.spans;
        ++version;
    }
    answer(res, 200, {{"saved", saved}, {"version", version}});
}

} // namespace kalp
