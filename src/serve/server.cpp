#include "serve/server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/stop.h"
#include "editorpage.h"
#include "engine/engine.h"
#include "platform/platform.h"
#include "program/kalp.h"
#include "report/catalogue.h"
#include "report/charts.h"
#include "serve/form.h"
#include "serve/http.h"
#include "serve/scenario.h"
#include "textio/console.h"
#include "textio/folder.h"
#include "textio/stream.h"

namespace kalp {

using json = nlohmann::json;

namespace {

// The most of a run's console that the page is shown.
constexpr size_t mostconsole = 1 << 20;

const char* const policy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                           "img-src 'self' data:; connect-src 'self'; base-uri 'none'; "
                           "form-action 'none'; frame-ancestors 'none'";

struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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

// Compares in a time that does not depend on where the texts differ.
bool sametoken(const std::string& given, const std::string& token) {
    if (given.size() != token.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < token.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ token[i]);
    return diff == 0;
}

// The input files of the folder: those that can be read, and the errors
// of those that stand there but cannot be.
struct Read {
    Texts texts;
    Unreadable unreadable;
    bool operator==(const Read&) const = default;
};
Read readfolder(const Folder& folder) {
    Read r;
    for (const std::string& name : inputnames()) {
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

// The answers are not compressed: on the loopback, compressing them takes
// far longer than sending them (the library compresses the types it knows
// by their bare name, such as application/json, and not this one).
void answer(httplib::Response& res, int status, const json& j) {
    res.status = status;
    res.set_content(dump(j), "application/json; charset=utf-8");
}

void refuse(httplib::Response& res, int status, const std::string& message) {
    answer(res, status, {{"error", message}});
}

// A path as an answer quotes it.
std::string shown(const std::string& path) { return path.size() > 64 ? path.substr(0, 64) + "..." : path; }

// What a page sends: the version of the files it shows and its values;
// the first value that cannot stand in its file as one number, with why.
struct Edits {
    long version = 0;
    Values values;
    std::optional<RunStop> bad;
    bool overwrite = false; // the user keeps the page's files over changes on the disk
};

Edits readedits(const std::string& body) {
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
            const std::string why = badvalue(text.get<std::string>());
            if (!why.empty() && !e.bad) {
                std::string what = "In ";
                what.append(file).append(", the value typed for ").append(var);
                what.append(" ").append(why).append(".");
                e.bad = RunStop{StopKind::input, file, var, what, "Correct the field.", ""};
            }
            e.values[file][var] = text.get<std::string>();
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

} // namespace

struct Server::Impl {
    std::string dir, token, page;
    std::string share, examples; // for the first scenario of an empty folder
    int port = -1;
    HttpServer http;
    std::unique_ptr<DiskFolder> folder;

    // The files as the page read them, the spans of their numbers and their
    // version. The engine runs under this lock, one scenario at a time, and
    // the bodies of the page's requests are parsed under it, one at a time.
    std::mutex mutex;
    Texts loaded;
    Unreadable unreadable;
    std::vector<Span> spans;
    long version = 0;

    // The run started from the page: its console as it comes, and when it
    // is done its status and the files it put in place.
    struct RunJob {
        std::mutex mu;
        std::condition_variable ended;
        long id = 0;
        bool running = false;
        std::string console;
        int status = 0;
        json files = json::array();
        std::thread thread;
    } job;

    explicit Impl(const Limits& limits) : http(limits) {}
    ~Impl() {
        http.end();
        if (job.thread.joinable()) job.thread.join();
    }

    // Removes what a killed save or run left in the folder, as a run does,
    // unless a run is working there now.
    void tidy() {
        bool held = false;
        int error = 0;
        const std::unique_ptr<Hold> lock = folder->lock(held, error);
        if (!lock) return;
        std::vector<std::string> names = inputnames();
        const std::vector<std::string> outputs = outputnames();
        names.insert(names.end(), outputs.begin(), outputs.end());
        try {
            removeunfinished(*folder, names);
        } catch (const RunStop&) {
            // A folder at a temporary name: a save or a run names it.
        }
    }

    // Reads the folder; a new version when its files are not those held.
    void load() {
        Read now = readfolder(*folder);
        if (version > 0 && now.texts == loaded && now.unreadable == unreadable) return;
        loaded = std::move(now.texts);
        unreadable = std::move(now.unreadable);
        spans = record(loaded, {}, nullptr, &unreadable);
        ++version;
    }

    // A run of one scenario as the page shows it.
    struct Run {
        Outcome o;
        YearTable years;
    };

    std::vector<Span> runpage(const Texts& texts, Run& out) const {
        out = Run{};
        Request r;
        // The years that the chart of kalp --plot draws: the page shows the
        // very same chart.
        r.year = [&out](const Model& m, int t) {
            if (t == 0) out.years = yeartable(m.l_inv);
            keepyear(out.years, m, t, m.m_gf);
        };
        return record(texts, r, &out.o, &unreadable);
    }

    json compute(const Values& values, const std::optional<RunStop>& bad = std::nullopt) const {
        // The last pass of composing the texts is the run of the page.
        Run last;
        bool ran = false;
        // A value that cannot stand in its file is not put there: the page
        // shows the scenario of the files with that report.
        const Composed c = compose(loaded, spans, bad ? Values{} : values, [&](const Texts& texts) {
            ran = true;
            return runpage(texts, last);
        });
        if (!ran) runpage(c.texts, last);
        Outcome& o = last.o;
        if (bad) o.stop = *bad;
        const json reached = o.reached;
        const YearTable& years = last.years;
        const TraitNames names = o.complete() ? o.names : traitnames(c.texts);
        // The file in which the run stopped while reading it: the page keeps
        // what it showed of the file after the stop.
        json partial = nullptr;
        if (o.stop && o.stop->kind == StopKind::input) {
            const std::string& f = o.stop->file;
            if (f == "ERROR.TXT" || f == "P01.TXT" || f == "PARAVRD.TXT" || f == "TEXTVRD_OUT.TXT")
                partial = "top";
            else if (!o.reached.empty() && o.reached.back() == f)
                partial = f;
        }
        json changed = json::array(), missing = json::array();
        for (const auto& [name, text] : c.texts)
            if (!loaded.count(name) || loaded.at(name) != text) changed.push_back(name);
        bool none = true;
        for (const std::string& name : inputnames()) {
            if (!c.texts.count(name)) missing.push_back(name);
            if (c.texts.count(name) && name != "TEXTVRD_OUT.TXT") none = false;
        }
        // A file that the run reached but could not read (a folder, a FIFO)
        // has a section that says so.
        std::map<std::string, std::string> notes;
        for (const auto& [name, error] : unreadable)
            if (std::find(o.reached.begin(), o.reached.end(), name) != o.reached.end())
                notes[name] = unopened(name, error).what;
        // A folder without input files: the page says so and offers the
        // first scenario of kalp init.
        json form = formjson(c.texts, c.spans, *o.model, names, notes);
        json result = resultjson(o, names, years);
        if (o.stop) result["stop"]["advice"] = stopadvice(form, *o.stop);
        return {{"version", version},
                {"folder", dir},
                {"newfolder", none},
                {"missing", missing},
                {"changed", changed},
                {"reached", reached},
                {"partial", partial},
                {"form", std::move(form)},
                {"result", std::move(result)}};
    }

    bool current(const Edits& e, httplib::Response& res) const {
        if (e.version == version) return true;
        answer(res, 409, {{"error", "The files were read afresh or saved from another page since this "
                                    "page read them. Reload the page to edit them as they are now."},
                          {"reload", true}});
        return false;
    }

    // Where the file `name` of the folder is written: beside itself, or for
    // a link beside the file it points to, which is then replaced and the
    // link kept.
    struct Place {
        std::string file;                   // the input file
        std::unique_ptr<DiskFolder> folder; // where it is written
        std::string name;                   // under that name
    };
    Place placeof(const std::string& file) const {
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

    void save(const std::string& body, httplib::Response& res) {
        const std::lock_guard<std::mutex> hold(mutex);
        const Edits e = readedits(body);
        if (!current(e, res)) return;
        if (e.bad) {
            refuse(res, 422, e.bad->what + " Nothing was saved.");
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
            removeunfinished(*folder, inputnames());
        } catch (const RunStop& stop) {
            refuse(res, 409, stop.what + " Nothing was saved.");
            return;
        }
        const Read disk = readfolder(*folder);
        json moved = json::array();
        for (const std::string& name : inputnames()) {
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
        const Composed c = compose(loaded, spans, e.values);
        std::vector<Place> places;
        for (const auto& [name, text] : c.texts)
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
                f.write(c.texts.at(p.file));
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
            loaded = c.texts;
            spans = c.spans;
            ++version;
        }
        answer(res, 200, {{"saved", saved}, {"version", version}});
    }

    // A folder without input files gets the first scenario of kalp init,
    // which refuses to write over any file of the folder.
    void start(const std::string& body, httplib::Response& res) {
        const std::lock_guard<std::mutex> hold(mutex);
        json request;
        try {
            request = json::parse(body);
        } catch (const json::exception& e) {
            throw BadRequest(std::string("The request is not JSON: ") + e.what());
        }
        if (!request.is_object()) throw BadRequest("The request is not a JSON object.");
        Options o;
        o.command = Options::Command::init;
        for (const char* key : {"two", "standardised"})
            if (request.contains(key) && !request[key].is_boolean())
                throw BadRequest(std::string("The request gives ") + key + " as no true or false.");
        o.two = request.value("two", false);
        o.standardised = request.value("standardised", false);
        o.folder = dir;
        const DiskFolder sharefolder(share), examplefolder(examples);
        o.share = share.empty() ? nullptr : &sharefolder;
        o.examples = examples.empty() ? nullptr : &examplefolder;
        DiskFolder target(dir);
        MemoryConsole console;
        const int status = kalp(target, console, o);
        if (status != 0) {
            answer(res, 409, {{"error", console.err() + console.out()}});
            return;
        }
        answer(res, 200, {{"console", console.out()}});
    }

    // Starts kalp --csv --json --plot on the saved files, as the command
    // line would, on a thread of its own.
    void run(httplib::Response& res) {
        const std::lock_guard<std::mutex> hold(job.mu);
        if (job.running) {
            refuse(res, 409, "A run started from this page is still working.");
            return;
        }
        if (job.thread.joinable()) job.thread.join();
        job.running = true;
        job.console.clear();
        job.files = json::array();
        job.status = 0;
        const long id = ++job.id;
        job.thread = std::thread([this] { work(); });
        answer(res, 200, runstate(id));
    }

    void work() {
        DiskFolder target(dir);
        MemoryConsole console;
        console.onprint = [this](std::string_view text) {
            const std::lock_guard<std::mutex> hold(job.mu);
            if (job.console.size() < mostconsole) job.console.append(text);
        };
        Options o;
        o.csv = o.json = o.plot = true;
        int status = 1;
        try {
            status = kalp(target, console, o);
        } catch (const std::exception& e) {
            const std::lock_guard<std::mutex> hold(job.mu);
            job.console += std::string("\nThe run could not go on: ") + e.what() + "\n";
        }
        const std::vector<std::string> placed = target.placed();
        json files = json::array();
        std::transform(placed.begin(), placed.end(), std::back_inserter(files),
                       [](const std::string& name) {
                           return json{{"name", name}, {"holds", outputholds(name)}};
                       });
        {
            const std::lock_guard<std::mutex> hold(job.mu);
            job.status = status;
            job.files = files;
            job.running = false;
        }
        job.ended.notify_all();
    }

    // The run's state; the caller holds job.mu.
    json runstate(long id) const {
        json state = {{"id", id}, {"running", job.running}, {"console", job.console}};
        if (!job.running) {
            state["status"] = job.status;
            state["files"] = job.files;
        }
        return state;
    }

    void runnow(httplib::Response& res) {
        const std::lock_guard<std::mutex> hold(job.mu);
        answer(res, 200, runstate(job.id));
    }

    void file(const std::string& name, httplib::Response& res) const {
        const std::vector<std::string> outputs = outputnames();
        if (std::find(outputs.begin(), outputs.end(), name) == outputs.end()) {
            refuse(res, 404, "KALP writes no file called " + name + ".");
            return;
        }
        // Only a plain file is served, opened without waiting on it.
        int error = 0;
        std::shared_ptr<platform::Reader> reader = platform::openreader(folder->path(name), error);
        if (!reader) {
            refuse(res, 404, error == ENOENT ? name + " is not in the folder: no run has written it yet."
                             : error == EISDIR || error == platform::notplain
                                 ? name + " in the folder is not a plain file (it is a folder, a named "
                                          "pipe, a device or a socket), so it is not served."
                                 : name + " cannot be read: " + platform::errortext(error) + ".");
            return;
        }
        // The file is sent as it is read, in pieces, whatever its size (a
        // sweep's CSV may hold gigabytes), and with its length given: the
        // library then does not compress it, which for a large file takes
        // far longer than sending it. A run that replaces the file meanwhile
        // leaves this one whole, as it renames a new file into place.
        res.set_content_provider(
            static_cast<size_t>(reader->size()), mimetype(name),
            [reader](size_t offset, size_t length, httplib::DataSink& sink) {
                char piece[1 << 16];
                const long long got =
                    reader->readat(static_cast<long long>(offset), piece, std::min(length, sizeof piece));
                return got > 0 && sink.write(piece, static_cast<size_t>(got));
            });
    }

    // Runs a handler; whatever it throws becomes an answer.
    template <class F> static void guard(httplib::Response& res, F f) {
        try {
            f();
        } catch (const BadRequest& e) {
            refuse(res, 400, e.what());
        } catch (const RunStop& stop) {
            refuse(res, 500, stop.what + "\n" + stop.fix);
        } catch (const std::bad_alloc&) {
            refuse(res, 503, "The server lacks the memory to answer now; try again in a moment.");
        } catch (const std::exception& e) {
            refuse(res, 500, std::string("The server could not answer: ") + e.what());
        } catch (...) {
            refuse(res, 500, "The server could not answer.");
        }
    }

    template <class F> httplib::Server::Handler getting(F f) {
        return [f](const httplib::Request& req, httplib::Response& res) { guard(res, [&] { f(req, res); }); };
    }

    // A POST: its body read within the limits, then `f` with it.
    template <class F> httplib::Server::HandlerWithContentReader posting(F f) {
        return [this, f](const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader) {
            Body body;
            const Refusal bad = http.readbody(reader, body);
            if (bad) {
                refuse(res, bad.status, bad.why);
                if (bad.status == 503) res.set_header("Retry-After", "1");
                return;
            }
            guard(res, [&] { f(body.text, res); });
        };
    }

    static bool posted(const std::string& path) {
        return path == "/api/compute" || path == "/api/save" || path == "/api/run" || path == "/api/init";
    }

    bool allowed(const httplib::Request& req, httplib::Response& res) const {
        std::string host = req.get_header_value("Host");
        std::transform(host.begin(), host.end(), host.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string p = ":" + std::to_string(port);
        if (host != "127.0.0.1" + p && host != "localhost" + p) {
            refuse(res, 403, "This server answers only requests for its own address.");
            return false;
        }
        const std::string given = req.has_param("token") ? req.get_param_value("token")
                                                         : req.get_header_value("X-KALP-Token");
        if (!sametoken(given, token)) {
            refuse(res, 403, "The request lacks the token of the address that kalp serve printed.");
            return false;
        }
        return true;
    }

    // Whether a request may go on to its handler, judged on its line and
    // headers before its body is read; a refused one closes its connection,
    // its body unread.
    bool admit(const httplib::Request& req, httplib::Response& res) const {
        Refusal bad;
        try {
            if (!allowed(req, res)) {
                HttpServer::closeafter();
                return false;
            }
            bad = http.checkhead(req);
            if (!bad && req.method == "POST" && !posted(req.path))
                bad = {404, "There is no page " + shown(req.path) + " that takes a POST."};
        } catch (...) {
            bad = {400, "The request cannot be read."};
        }
        if (!bad) return true;
        refuse(res, bad.status, bad.why);
        HttpServer::closeafter();
        return false;
    }

    void routes() {
        http.setheaders({{"Content-Security-Policy", policy},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Cache-Control", "no-store"}});
        http.setanswer([](const std::string& why) { return dump(json{{"error", why}}); });
        http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return admit(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                   : httplib::Server::HandlerResponse::Handled;
        });
        // A client that asks before it sends a body hears at once whether to.
        http.set_expect_100_continue_handler([this](const httplib::Request& req, httplib::Response& res) {
            return admit(req, res) ? 100 : res.status;
        });
        http.set_exception_handler([](const httplib::Request&, httplib::Response& res, const std::exception_ptr& e) {
            std::string why = "The server could not answer.";
            try {
                if (e) std::rethrow_exception(e);
            } catch (const std::exception& x) {
                why = std::string("The server could not answer: ") + x.what();
            } catch (...) {
            }
            refuse(res, 500, why);
        });
        // What the library itself refuses.
        http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
            if (!res.body.empty()) return;
            HttpServer::closeafter();
            switch (res.status) {
            case 404: refuse(res, 404, "There is no page " + shown(req.path) + " on this server."); break;
            case 400:
                refuse(res, 400, "The request cannot be read: its request line or a header line is malformed.");
                break;
            case 413: refuse(res, 413, "The request's body is larger than 1 MB."); break;
            case 416: refuse(res, 416, "The range asked for lies outside the file."); break;
            default:
                refuse(res, res.status,
                       "The server could not answer (HTTP status " + std::to_string(res.status) + ").");
            }
        });
        http.Get("/", getting([this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page, "text/html; charset=utf-8");
        }));
        http.Get("/editor.js", getting([](const httplib::Request&, httplib::Response& res) {
            res.set_content(editorjs, "text/javascript; charset=utf-8");
        }));
        http.Get("/editor.css", getting([](const httplib::Request&, httplib::Response& res) {
            res.set_content(editorcss, "text/css; charset=utf-8");
        }));
        http.Get("/api/scenario", getting([this](const httplib::Request&, httplib::Response& res) {
            const std::lock_guard<std::mutex> hold(mutex);
            load();
            answer(res, 200, compute({}));
        }));
        http.Post("/api/compute", posting([this](const std::string& body, httplib::Response& res) {
            const std::lock_guard<std::mutex> hold(mutex);
            const Edits e = readedits(body);
            if (current(e, res)) answer(res, 200, compute(e.values, e.bad));
        }));
        http.Post("/api/save", posting([this](const std::string& body, httplib::Response& res) { save(body, res); }));
        http.Post("/api/run", posting([this](const std::string&, httplib::Response& res) { run(res); }));
        http.Get("/api/run", getting([this](const httplib::Request&, httplib::Response& res) { runnow(res); }));
        http.Post("/api/init", posting([this](const std::string& body, httplib::Response& res) { start(body, res); }));
        http.Get(R"(/files/([A-Za-z0-9._-]{1,64}))",
                 getting([this](const httplib::Request& req, httplib::Response& res) {
                     file(req.matches[1].str(), res);
                 }));
    }
};

Server::Server(const ServeOptions& o) : impl_(std::make_unique<Impl>(o.limits)) {
    Impl& s = *impl_;
    int error = 0;
    if (!platform::isfolder(o.dir, error))
        throw std::runtime_error("cannot work in " + o.dir + ": " + platform::errortext(error));
    s.dir = platform::fullpath(o.dir);
    s.folder = std::make_unique<DiskFolder>(s.dir);
    s.share = o.share;
    s.examples = o.examples;
    s.token = newtoken();
    s.page = editorhtml;
    for (size_t at; (at = s.page.find("%TOKEN%")) != std::string::npos;)
        s.page.replace(at, 7, s.token);
    {
        const std::lock_guard<std::mutex> hold(s.mutex);
        s.tidy();
        s.load();
    }
    s.routes();
    s.port = s.http.bind(o.port);
    if (s.port <= 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(o.port) + ": " +
                                 platform::errortext(platform::socketerror()));
}

Server::~Server() = default;

int Server::port() const { return impl_->port; }

const std::string& Server::token() const { return impl_->token; }

std::string Server::address() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?token=" + impl_->token;
}

void Server::listen() { impl_->http.serve(); }

void Server::stop() { impl_->http.end(); }

bool Server::ended(std::chrono::milliseconds wait) {
    const auto by = std::chrono::steady_clock::now() + wait;
    if (!impl_->http.ended(wait)) return false;
    std::unique_lock<std::mutex> lock(impl_->job.mu);
    return impl_->job.ended.wait_until(lock, by, [&] { return !impl_->job.running; });
}

bool Server::running() const {
    const std::lock_guard<std::mutex> hold(impl_->job.mu);
    return impl_->job.running;
}

int serve(const ServeOptions& options) {
    // Ctrl-C and SIGTERM are waited for below; every thread started from
    // here on leaves them to that wait.
    platform::holdendsignals();
    int error = 0;
    if (!platform::isfolder(options.dir, error)) {
        std::fprintf(stderr, "kalp: cannot work in %s: %s\n", options.dir.c_str(),
                     platform::errortext(error).c_str());
        return 2;
    }
    std::unique_ptr<Server> server;
    try {
        server = std::make_unique<Server>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kalp: %s\n", e.what());
        return 1;
    }
    std::printf("%s\n", server->address().c_str());
    // The folder by its letters, also in a console window of Windows.
    platform::writestream(stdout, "The editor of the files in " + platform::fullpath(options.dir) +
                                      ": open the address above in a browser. Ctrl-C ends it.\n");
    std::fflush(stdout);
    if (options.open && !platform::openbrowser(server->address()))
        std::fprintf(stderr, "kalp: no browser could be started; open the address above in one\n");
    std::thread listening([&] {
        server->listen();
        platform::wakeend();
    });
    const int sig = platform::waitforend();
    // The process ends within a second of the signal, whatever its clients
    // do: every connection is cut at once, and work that does not end in
    // time (a long run started from the page) ends with the process, its
    // temporary files removed.
    server->stop();
    if (!server->ended(std::chrono::milliseconds(600)))
        platform::endbysignal(sig, server->running()
                                       ? "the run started from the page was stopped; its files were not "
                                         "written, earlier ones are unchanged"
                                       : "the page's last request was stopped; every file is whole");
    listening.join();
    return 0;
}

} // namespace kalp
