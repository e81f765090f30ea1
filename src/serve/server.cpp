#include "serve/server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
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
#include "report/catalogue.h"
#include "report/charts.h"
#include "serve/form.h"
#include "serve/http.h"
#include "serve/scenario.h"
#include "serve/session.h"
#include "textio/folder.h"
#include "textio/utf8.h"

namespace kalp {

namespace {

const char* const policy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                           "img-src 'self' data:; connect-src 'self'; base-uri 'none'; "
                           "form-action 'none'; frame-ancestors 'none'";

} // namespace

// Removes what a killed save or run left in the folder, as a run does,
// unless a run is working there now.
void Server::Impl::tidy() {
    bool held = false;
    int error = 0;
    const std::unique_ptr<Hold> lock = folder->lock(held, error);
    if (!lock) return;
    std::vector<std::string> names = editornames();
    const std::vector<std::string> outputs = outputnames();
    names.insert(names.end(), outputs.begin(), outputs.end());
    try {
        removeunfinished(*folder, names);
    } catch (const RunStop&) {
        // A folder at a temporary name: a save or a run names it.
    }
}

// Reads the folder; a new version when its files are not those held.
void Server::Impl::load() {
    Read now = readfolder(*folder);
    if (version > 0 && now.texts == loaded && now.unreadable == unreadable) return;
    loaded = std::move(now.texts);
    unreadable = std::move(now.unreadable);
    spans = record(loaded, {}, nullptr, &unreadable);
    docs = readindexdocs(loaded);
    ++version;
}

std::vector<Span> Server::Impl::runpage(const Texts& texts, Run& out) const {
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

json Server::Impl::compute(const Values& values, const IndexEdits& index, std::optional<Invalid> bad,
                           bool rows, const IndexShown& shown) const {
    // The last pass of composing the texts is the run of the page. A value
    // that cannot stand in its file is not put there, and an emptied one
    // leaves its number as it is.
    Run last;
    bool ran = false;
    const Composed c = compose(loaded, spans, values, [&](const Texts& texts) {
        ran = true;
        return runpage(texts, last);
    });
    if (!ran) runpage(c.texts, last);
    // The page's rows of the index files in place of theirs.
    Texts texts = c.texts;
    IndexDocs now;
    const std::optional<Unwritable> unwritable = composeindexfiles(docs, index, texts, now);
    if (!bad)
        if (const Span* s = emptied(values, c.spans)) bad = Invalid{s->file, s->var, "is empty"};
    Outcome& o = last.o;
    const json reached = o.reached;
    const YearTable& years = last.years;
    const TraitNames names = o.complete() ? o.names : traitnames(c.texts);
    // A file that the run reached but could not read (a folder, a FIFO)
    // has a section that says so.
    std::map<std::string, std::string> notes;
    for (const auto& [name, error] : unreadable)
        if (std::find(o.reached.begin(), o.reached.end(), name) != o.reached.end())
            notes[name] = unopened(name, error).what;
    json form = formjson(c.texts, c.spans, *o.model, names, notes);
    // A value that no file may hold stops the page's result, naming its
    // field by the words the page shows.
    json invalid = nullptr;
    if (bad) {
        std::optional<FieldName> f = fieldname(form, bad->file, bad->var);
        if (!f) f = valuename(bad->file, bad->var);
        const std::string label = f ? f->label : bad->var, section = f ? f->section : bad->file;
        std::string what = "In " + section + " (" + bad->file + "), the field \"" + label + "\" " + bad->why + ".";
        std::string fix = "Correct the field.";
        const auto held = std::find_if(spans.begin(), spans.end(), [&](const Span& s) {
            return s.file == bad->file && s.var == bad->var && s.length > 0;
        });
        if (bad->why == "is empty")
            fix = held == spans.end() ? "Type a number into the field."
                                      : "Type a number into the field, or the one the file holds, " +
                                            asutf8(spantext(loaded, *held)) + ".";
        o.stop = RunStop{StopKind::input, bad->file, bad->var, what, fix, ""};
        invalid = {{"file", bad->file}, {"var", bad->var}, {"label", label}, {"why", bad->why},
                   {"message", what + " " + fix}};
    }
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
    for (const auto& [name, text] : texts)
        if (!loaded.count(name) || loaded.at(name) != text) changed.push_back(name);
    bool none = true;
    for (const std::string& name : inputnames()) {
        if (!c.texts.count(name)) missing.push_back(name);
        if (c.texts.count(name) && name != "TEXTVRD_OUT.TXT") none = false;
    }
    json result = resultjson(o, names, years);
    if (o.stop) result["stop"]["advice"] = stopadvice(form, *o.stop);
    // A folder without input files: the page says so and offers the
    // first scenario of kalp init.
    return {{"version", version},
            {"folder", dir},
            {"newfolder", none},
            {"missing", missing},
            {"changed", changed},
            {"invalid", invalid},
            {"reached", reached},
            {"partial", partial},
            {"warnings", o.warnings},
            {"form", std::move(form)},
            {"result", std::move(result)},
            {"index", indexjson(texts, now, o, names, rows, unwritable, shown)}};
}

template <class F> void Server::Impl::guard(httplib::Response& res, F f) {
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

template <class F> httplib::Server::Handler Server::Impl::getting(F f) {
    return [f](const httplib::Request& req, httplib::Response& res) { guard(res, [&] { f(req, res); }); };
}

template <class F> httplib::Server::HandlerWithContentReader Server::Impl::posting(F f) {
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

bool Server::Impl::posted(const std::string& path) {
    return path == "/api/compute" || path == "/api/save" || path == "/api/run" || path == "/api/init" ||
           path == "/api/indexinit";
}

bool Server::Impl::allowed(const httplib::Request& req, httplib::Response& res) const {
    // A request that names two hosts is for none in particular.
    if (req.get_header_value_count("Host") > 1) {
        refuse(res, 400, "The request names its host more than once.");
        return false;
    }
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

bool Server::Impl::admit(const httplib::Request& req, httplib::Response& res) const {
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

void Server::Impl::routes() {
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
        answer(res, 200, compute({}, {}, std::nullopt, true));
    }));
    http.Post("/api/compute", posting([this](const std::string& body, httplib::Response& res) {
        const std::lock_guard<std::mutex> hold(mutex);
        const Edits e = readedits(body, http.limits());
        if (current(e, res)) answer(res, 200, compute(e.values, e.index, e.bad, false, e.shown));
    }));
    http.Post("/api/save", posting([this](const std::string& body, httplib::Response& res) { save(body, res); }));
    http.Post("/api/run", posting([this](const std::string&, httplib::Response& res) { run(res); }));
    http.Get("/api/run", getting([this](const httplib::Request&, httplib::Response& res) { runnow(res); }));
    http.Post("/api/init", posting([this](const std::string& body, httplib::Response& res) { start(body, res); }));
    http.Post("/api/indexinit", posting([this](const std::string&, httplib::Response& res) { startindex(res); }));
    http.Get(R"(/files/([A-Za-z0-9._-]{1,64}))",
             getting([this](const httplib::Request& req, httplib::Response& res) {
                 file(req.matches[1].str(), res);
             }));
}

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
    // The address is the way in: without --open, a standard output that
    // takes it not (closed, full, a pipe nobody reads) ends the editor.
    errno = 0;
    const bool printed = std::printf("%s\n", server->address().c_str()) > 0 && std::fflush(stdout) == 0;
    const std::string why = printed ? "" : platform::errortext(errno);
    // The folder by its letters, also in a console window of Windows.
    if (printed)
        platform::writestream(stdout, "The editor of the files in " + platform::fullpath(options.dir) +
                                          ": open the address above in a browser. Ctrl-C ends it.\n");
    if (!printed && !options.open) {
        std::fprintf(stderr,
                     "kalp: the editor's address cannot be written to standard output (%s), so nobody could "
                     "open it; the editor stops. Give --open to open it in the browser\n",
                     why.c_str());
        return 1;
    }
    if (options.open && !platform::openbrowser(server->address())) {
        if (!printed) {
            std::fprintf(stderr,
                         "kalp: no browser could be started, and the editor's address cannot be written to "
                         "standard output (%s); the editor stops\n",
                         why.c_str());
            return 1;
        }
        std::fprintf(stderr, "kalp: no browser could be started; open the address above in one\n");
    } else if (!printed) {
        std::fprintf(stderr, "kalp: the editor's address cannot be written to standard output (%s); it was "
                             "opened in the browser\n",
                     why.c_str());
    }
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
