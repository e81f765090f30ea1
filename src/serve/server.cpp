#include "serve/server.h"

#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/stop.h"
#include "editorpage.h"
#include "engine/engine.h"
#include "report/charts.h"
#include "report/exports.h"
#include "serve/form.h"
#include "serve/scenario.h"
#include "textio/lock.h"
#include "textio/outfile.h"
#include "textio/source.h"

extern char** environ;

namespace kalp {

using json = nlohmann::json;

namespace {

constexpr size_t maxbody = 1 << 20;

// The files a run writes, which the page may link.
const char* const outputs[] = {"resgfps01",         "resgfps02",        "CHECKVRD",
                               "kalp-classes.csv",  "kalp-geneflow.csv", "kalp-weights.csv",
                               "kalp-results.json", "kalp-geneflow.svg", "kalp-weights.svg"};

const char* const policy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                           "img-src 'self' data:; connect-src 'self'; base-uri 'none'; "
                           "form-action 'none'; frame-ancestors 'none'";

struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string newtoken() {
    unsigned char bytes[24];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error(std::string("no random bytes for the token: ") + std::strerror(errno));
        got += static_cast<size_t>(n);
    }
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

std::string readall(std::FILE* f) {
    std::string text;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, n);
    return text;
}

// The input files of the folder that can be read.
Texts readfolder(const std::string& dir) {
    const FolderSource folder(dir);
    Texts texts;
    for (const std::string& name : inputnames()) {
        std::FILE* f = folder.open(name.c_str());
        if (!f) continue;
        texts[name] = readall(f);
        std::fclose(f);
    }
    return texts;
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

// What a page sends: the version of the files it shows and its values.
struct Edits {
    long version = 0;
    Values values;
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
            if (!why.empty()) {
                std::string message = "In " + file;
                message += ", the value of " + var;
                message += " " + why + ".";
                throw BadRequest(message);
            }
            e.values[file][var] = text.get<std::string>();
        }
    }
    return e;
}

struct Child {
    int status;
    std::string output;
};

// Runs `program` with `args`, its console (standard output and error)
// collected, without input and with the signals of a fresh process.
Child runchild(const std::string& program, const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("no pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int sig : {SIGINT, SIGTERM, SIGPIPE})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv(all.size() + 1, nullptr);
    std::transform(all.begin(), all.end(), argv.begin(), [](std::string& a) { return a.data(); });
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw std::runtime_error(program + " could not be started: " + std::strerror(rc));
    }
    Child c{0, ""};
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (c.output.size() < maxbody) c.output.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return c;
}

// What tells whether a run wrote a file.
struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long sec = 0, nsec = 0;
    bool operator==(const Stamp&) const = default;
};
Stamp stamp(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return {};
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

const char* holds(const std::string& name) {
    if (name.rfind("resgfps", 0) == 0) return "the results file";
    if (name == "CHECKVRD") return "every model variable";
    return exportholds(name.c_str());
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

std::string selfpath() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "kalp";
    return std::string(path, static_cast<size_t>(n));
}

} // namespace

struct Server::Impl {
    std::string dir, token, program, page;
    int port = -1;
    httplib::Server http;

    // The files as the page read them, the spans of their numbers and their
    // version. The engine runs under this lock, one scenario at a time.
    std::mutex mutex;
    Texts loaded;
    std::vector<Span> spans;
    long version = 0;
    std::mutex running; // one run at a time
    std::atomic<bool> listening{false};

    // Reads the folder; a new version when its files are not those held.
    void load() {
        Texts texts = readfolder(dir);
        if (version > 0 && texts == loaded) return;
        loaded = std::move(texts);
        spans = record(loaded);
        ++version;
    }

    // A run of one scenario as the page shows it.
    struct Run {
        Outcome o;
        YearTable years;
        json reached = json::array(); // the files it began to read
    };

    static std::vector<Span> runpage(const Texts& texts, Run& out) {
        out = Run{};
        Request r;
        // The chart of the page draws at most about 200 years.
        r.year = [&out](const Model& m, int t) {
            if (t == 0) out.years.stride = std::max(1, (m.l_inv + 199) / 200);
            keepyear(out.years, m, t, m.m_gf);
        };
        r.say = [&out](const std::string& line) {
            const std::string lead = "Reading data from ";
            if (line.rfind(lead, 0) == 0)
                out.reached.push_back(line.substr(lead.size(), line.find('\n') - lead.size()));
        };
        return record(texts, r, &out.o);
    }

    json compute(const Values& values) const {
        // The last pass of composing the texts is the run of the page.
        Run last;
        bool ran = false;
        const Composed c = compose(loaded, spans, values, [&](const Texts& texts) {
            ran = true;
            return runpage(texts, last);
        });
        if (!ran) runpage(c.texts, last);
        const Outcome& o = last.o;
        const json& reached = last.reached;
        const YearTable& years = last.years;
        const TraitNames names = o.complete() ? o.names : traitnames(c.texts);
        // The file in which the run stopped while reading it: the page keeps
        // what it showed of the file after the stop.
        json partial = nullptr;
        if (o.stop && o.stop->kind == StopKind::input) {
            const std::string& f = o.stop->file;
            if (f == "ERROR.TXT" || f == "P01.TXT" || f == "PARAVRD.TXT" || f == "TEXTVRD_OUT.TXT")
                partial = "top";
            else if (!reached.empty() && reached.back() == f)
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
        // A folder without input files: the page says so. This is where a
        // new folder would get the files of a first scenario.
        return {{"version", version},
                {"folder", dir},
                {"newfolder", none},
                {"missing", missing},
                {"changed", changed},
                {"reached", reached},
                {"partial", partial},
                {"form", formjson(c.texts, c.spans, *o.model, names)},
                {"result", resultjson(o, names, years)}};
    }

    bool current(const Edits& e, httplib::Response& res) const {
        if (e.version == version) return true;
        answer(res, 409, {{"error", "The files were read afresh or saved from another page since this "
                                    "page read them. Reload the page to edit them as they are now."},
                          {"reload", true}});
        return false;
    }

    void save(const Edits& e, httplib::Response& res) {
        const std::lock_guard<std::mutex> hold(mutex);
        if (!current(e, res)) return;
        std::optional<FolderLock> lock;
        try {
            lock.emplace(dir);
        } catch (const RunStop& stop) {
            refuse(res, 409, stop.what + " Nothing was saved.");
            return;
        }
        const Texts disk = readfolder(dir);
        json moved = json::array();
        for (const std::string& name : inputnames()) {
            const bool here = disk.count(name) != 0, before = loaded.count(name) != 0;
            if (here != before || (here && disk.at(name) != loaded.at(name))) moved.push_back(name);
        }
        if (!moved.empty()) {
            std::string names;
            for (const auto& n : moved)
                names += (names.empty() ? "" : ", ") + n.get<std::string>();
            answer(res, 409,
                   {{"error", names + " changed in the folder since this page read the files. "
                                      "Nothing was saved. Reload to edit the files as they are "
                                      "now; the changes on this page are then lost."},
                    {"conflict", moved}});
            return;
        }
        const Composed c = compose(loaded, spans, e.values);
        std::vector<OutputFile> files;
        json saved = json::array();
        for (const auto& [name, text] : c.texts) {
            if (loaded.count(name) && loaded.at(name) == text) continue;
            OutputFile f(dir + "/" + name);
            f.write(text);
            f.close();
            files.push_back(std::move(f));
            saved.push_back(name);
        }
        std::vector<OutputFile*> all(files.size());
        std::transform(files.begin(), files.end(), all.begin(), [](OutputFile& f) { return &f; });
        publish(all);
        if (!files.empty()) {
            loaded = c.texts;
            spans = c.spans;
            ++version;
        }
        answer(res, 200, {{"saved", saved}, {"version", version}});
    }

    // A folder without input files gets the first scenario of kalp init,
    // which refuses to write over any input file.
    void start(const std::string& body, httplib::Response& res) {
        json request;
        try {
            request = json::parse(body);
        } catch (const json::exception& e) {
            throw BadRequest(std::string("The request is not JSON: ") + e.what());
        }
        if (!request.is_object()) throw BadRequest("The request is not a JSON object.");
        std::vector<std::string> args = {"init", dir};
        for (const auto& [key, flag] : {std::pair{"two", "--two-systems"},
                                        std::pair{"standardised", "--standardised"}}) {
            if (request.contains(key) && !request[key].is_boolean())
                throw BadRequest(std::string("The request gives ") + key + " as no true or false.");
            if (request.value(key, false)) args.emplace_back(flag);
        }
        const std::lock_guard<std::mutex> hold(mutex);
        const Child c = runchild(program, args);
        if (c.status != 0) {
            answer(res, 409, {{"error", c.output}});
            return;
        }
        answer(res, 200, {{"console", c.output}});
    }

    void run(httplib::Response& res) {
        const std::unique_lock<std::mutex> one(running, std::try_to_lock);
        if (!one.owns_lock()) {
            refuse(res, 409, "A run started from this page is still working.");
            return;
        }
        std::vector<Stamp> before(std::size(outputs));
        std::transform(std::begin(outputs), std::end(outputs), before.begin(),
                       [&](const char* name) { return stamp(dir + "/" + name); });
        const Child c = runchild(program, {"-C", dir, "--csv", "--json", "--plot"});
        json files = json::array();
        for (size_t i = 0; i < std::size(outputs); ++i) {
            const Stamp after = stamp(dir + "/" + outputs[i]);
            if (after.exists && !(after == before[i]))
                files.push_back({{"name", outputs[i]}, {"holds", holds(outputs[i])}});
        }
        answer(res, 200, {{"status", c.status}, {"console", c.output}, {"files", files}});
    }

    void file(const std::string& name, httplib::Response& res) const {
        if (std::find_if(std::begin(outputs), std::end(outputs),
                         [&](const char* o) { return name == o; }) == std::end(outputs)) {
            refuse(res, 404, "KALP writes no file of that name.");
            return;
        }
        const int fd = open((dir + "/" + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0) close(fd);
            refuse(res, 404, name + " is not in the folder.");
            return;
        }
        // The file is sent as it is read, in pieces, whatever its size (a
        // sweep's CSV may hold gigabytes), and with its length given: the
        // library then does not compress it, which for a large file takes
        // far longer than sending it. A run that replaces the file meanwhile
        // leaves this one whole, as it renames a new file into place.
        res.set_content_provider(
            static_cast<size_t>(st.st_size), mimetype(name),
            [fd](size_t offset, size_t length, httplib::DataSink& sink) {
                char piece[1 << 16];
                const ssize_t got = pread(fd, piece, std::min(length, sizeof piece), static_cast<off_t>(offset));
                return got > 0 && sink.write(piece, static_cast<size_t>(got));
            },
            [fd](bool) { close(fd); });
    }

    // Runs a handler; whatever it throws becomes an answer.
    template <class F> httplib::Server::Handler guarded(F f) {
        return [f](const httplib::Request& req, httplib::Response& res) {
            try {
                f(req, res);
            } catch (const BadRequest& e) {
                refuse(res, 400, e.what());
            } catch (const RunStop& stop) {
                refuse(res, 500, stop.what + "\n" + stop.fix);
            } catch (const std::exception& e) {
                refuse(res, 500, std::string("The server could not answer: ") + e.what());
            } catch (...) {
                refuse(res, 500, "The server could not answer.");
            }
        };
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

    void routes() {
        http.set_default_headers({{"Content-Security-Policy", policy},
                                  {"X-Content-Type-Options", "nosniff"},
                                  {"Referrer-Policy", "no-referrer"},
                                  {"Cache-Control", "no-store"}});
        http.set_payload_max_length(maxbody);
        http.set_keep_alive_timeout(1);
        http.set_tcp_nodelay(true);
        http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            try {
                return allowed(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                         : httplib::Server::HandlerResponse::Handled;
            } catch (...) {
                refuse(res, 400, "The request cannot be read.");
                return httplib::Server::HandlerResponse::Handled;
            }
        });
        http.set_exception_handler([](const httplib::Request&, httplib::Response& res, const std::exception_ptr&) {
            refuse(res, 500, "The server could not answer.");
        });
        http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) return;
            refuse(res, res.status,
                   res.status == 413 ? "The request is larger than 1 MB." : "There is no such page.");
        });
        http.Get("/", guarded([this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page, "text/html; charset=utf-8");
        }));
        http.Get("/editor.js", guarded([](const httplib::Request&, httplib::Response& res) {
            res.set_content(editorjs, "text/javascript; charset=utf-8");
        }));
        http.Get("/editor.css", guarded([](const httplib::Request&, httplib::Response& res) {
            res.set_content(editorcss, "text/css; charset=utf-8");
        }));
        http.Get("/api/scenario", guarded([this](const httplib::Request&, httplib::Response& res) {
            const std::lock_guard<std::mutex> hold(mutex);
            load();
            answer(res, 200, compute({}));
        }));
        http.Post("/api/compute", guarded([this](const httplib::Request& req, httplib::Response& res) {
            const Edits e = readedits(req.body);
            const std::lock_guard<std::mutex> hold(mutex);
            if (current(e, res)) answer(res, 200, compute(e.values));
        }));
        http.Post("/api/save", guarded([this](const httplib::Request& req, httplib::Response& res) {
            save(readedits(req.body), res);
        }));
        http.Post("/api/run", guarded([this](const httplib::Request&, httplib::Response& res) { run(res); }));
        http.Post("/api/init", guarded([this](const httplib::Request& req, httplib::Response& res) {
            start(req.body, res);
        }));
        http.Get(R"(/files/([A-Za-z0-9._-]{1,64}))",
                 guarded([this](const httplib::Request& req, httplib::Response& res) {
                     file(req.matches[1].str(), res);
                 }));
    }
};

Server::Server(const ServeOptions& o) : impl_(std::make_unique<Impl>()) {
    Impl& s = *impl_;
    char path[PATH_MAX];
    struct stat st {};
    if (!realpath(o.dir.c_str(), path) || stat(path, &st) != 0)
        throw std::runtime_error("cannot work in " + o.dir + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) throw std::runtime_error("cannot work in " + o.dir + ": not a folder");
    s.dir = path;
    s.program = o.program.empty() ? selfpath() : o.program;
    s.token = newtoken();
    s.page = editorhtml;
    for (size_t at; (at = s.page.find("%TOKEN%")) != std::string::npos;)
        s.page.replace(at, 7, s.token);
    {
        const std::lock_guard<std::mutex> hold(s.mutex);
        s.load();
    }
    s.routes();
    if (o.port == 0)
        s.port = s.http.bind_to_any_port("127.0.0.1");
    else if (s.http.bind_to_port("127.0.0.1", o.port))
        s.port = o.port;
    if (s.port <= 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(o.port) + ": " +
                                 std::strerror(errno));
}

Server::~Server() = default;

int Server::port() const { return impl_->port; }

const std::string& Server::token() const { return impl_->token; }

std::string Server::address() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?token=" + impl_->token;
}

void Server::listen() {
    impl_->listening = true;
    impl_->http.listen_after_bind();
    impl_->listening = false;
}

void Server::stop() {
    // A server whose listen() has begun stops once it has come to listen.
    while (impl_->listening && !impl_->http.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl_->http.stop();
}

int serve(const ServeOptions& options) {
    // Ctrl-C and SIGTERM are taken by sigwait below; every thread started
    // from here on has them blocked.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    struct stat st {};
    errno = 0;
    if (stat(options.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "kalp: cannot work in %s: %s\n", options.dir.c_str(),
                     errno ? std::strerror(errno) : "not a folder");
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
    std::fflush(stdout);
    std::thread listening([&] {
        server->listen();
        kill(getpid(), SIGTERM);
    });
    int sig = 0;
    sigwait(&ending, &sig);
    server->stop();
    listening.join();
    return 0;
}

} // namespace kalp
