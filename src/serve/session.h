// The editor's state behind its server: the folder, the files as the page
// read them, the run started from the page, and the handlers that the
// routes of server.cpp call (save.cpp, runs.cpp), with the helpers they
// share (requests.cpp).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "core/stop.h"
#include "engine/engine.h"
#include "report/charts.h"
#include "serve/http.h"
#include "serve/indexform.h"
#include "serve/scenario.h"
#include "serve/server.h"
#include "textio/folder.h"
#include "textio/stream.h"

namespace kalp {

using json = nlohmann::json;

// The most of a run's console that the page is shown.
constexpr size_t mostconsole = 1 << 20;

struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string newtoken();
// Compares in a time that does not depend on where the texts differ.
bool sametoken(const std::string& given, const std::string& token);

// The files the editor reads: the input files of a run, and the files of
// the selection index.
std::vector<std::string> editornames();

// The files of the folder that the editor reads: those that can be read,
// and the errors of those that stand there but cannot be.
struct Read {
    Texts texts;
    Unreadable unreadable;
    bool operator==(const Read&) const = default;
};
Read readfolder(const Folder& folder);

std::string dump(const json& j);

// The answers are not compressed: on the loopback, compressing them takes
// far longer than sending them (the library compresses the types it knows
// by their bare name, such as application/json, and not this one).
void answer(httplib::Response& res, int status, const json& j);
void refuse(httplib::Response& res, int status, const std::string& message);

// A path as an answer quotes it.
std::string shown(const std::string& path);

// A value of the page that no file may hold, and why: "is empty", "holds a
// blank; write one number".
struct Invalid {
    std::string file, var, why;
};

// What a page sends: the version of the files it shows and its values
// (those that can stand in their files as one number); the first value
// that cannot, with why; and the rows of the tables of the index files
// that it shows. A file, a value or a column that KALP does not read is a
// bad request, and so are more rows of an index file than `limits` take.
struct Edits {
    long version = 0;
    Values values;
    std::optional<Invalid> bad;
    IndexEdits index;
    IndexShown shown; // the rows of the index's tables that the page shows
    bool overwrite = false; // the user keeps the page's files over changes on the disk
};
Edits readedits(const std::string& body, const Limits& limits);

const char* mimetype(const std::string& name);

// The byte ranges of a file of `size` bytes that the Range headers of a
// request ask for, each cut at the end of the file and those that start
// past it left out (none left: 416): false when there is no header to
// take, so that the whole file is sent (none, more than one, another unit
// than bytes, a malformed range or more than 16 of them).
bool byteranges(const std::vector<std::string>& headers, long long size,
                std::vector<std::pair<long long, long long>>& out);

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
    IndexDocs docs; // the index files of `loaded`
    long version = 0;

    // The run started from the page: its console as it comes (the console
    // text and the lines on standard error, as a terminal shows them, and
    // in parts by stream), and when it is done its status and the files it
    // put in place.
    struct RunJob {
        std::mutex mu;
        std::condition_variable ended;
        long id = 0;
        bool running = false;
        std::string console;
        std::vector<std::pair<bool, std::string>> parts; // standard error, and its text
        int status = 0;
        json files = json::array();
        std::thread thread;
        // Adds to the console, up to its most.
        void put(bool err, std::string_view text);
    } job;

    explicit Impl(const Limits& limits) : http(limits) {}
    ~Impl() {
        http.end();
        if (job.thread.joinable()) job.thread.join();
    }

    // Removes what a killed save or run left in the folder, as a run does,
    // unless a run is working there now.
    void tidy();
    // Reads the folder; a new version when its files are not those held.
    void load();

    // A run of one scenario as the page shows it.
    struct Run {
        Outcome o;
        YearTable years;
    };
    std::vector<Span> runpage(const Texts& texts, Run& out) const;
    // The answer to the page: its values and its rows of the index files in
    // place in the files, the form and the result of their run, and the
    // index on its weights (with the tables' rows when `rows`). A value
    // that no file may hold (`bad`, or a field emptied) stops the result
    // with a report that names its field by its label, and is named in
    // "invalid".
    json compute(const Values& values, const IndexEdits& index = {}, std::optional<Invalid> bad = std::nullopt,
                 bool rows = false, const IndexShown& shown = {}) const;

    bool current(const Edits& e, httplib::Response& res) const;
    // Where the file `name` of the folder is written: beside itself, or for
    // a link beside the file it points to, which is then replaced and the
    // link kept.
    struct Place {
        std::string file;                   // the input file
        std::unique_ptr<DiskFolder> folder; // where it is written
        std::string name;                   // under that name
    };
    Place placeof(const std::string& file) const;
    void save(const std::string& body, httplib::Response& res);

    // A folder without input files gets the first scenario of kalp init,
    // which refuses to write over any file of the folder.
    void start(const std::string& body, httplib::Response& res);
    // A folder without index files gets a first set of them, refused where
    // any of them stands.
    void startindex(httplib::Response& res);
    // Starts kalp --csv --json --plot on the saved files, as the command
    // line would, on a thread of its own.
    void run(httplib::Response& res);
    void work();
    // The run's state; the caller holds job.mu.
    json runstate(long id) const;
    void runnow(httplib::Response& res);
    void file(const std::string& name, httplib::Response& res) const;

    // Runs a handler; whatever it throws becomes an answer.
    template <class F> static void guard(httplib::Response& res, F f);
    template <class F> httplib::Server::Handler getting(F f);
    // A POST: its body read within the limits, then `f` with it.
    template <class F> httplib::Server::HandlerWithContentReader posting(F f);
    static bool posted(const std::string& path);
    bool allowed(const httplib::Request& req, httplib::Response& res) const;
    // Whether a request may go on to its handler, judged on its line and
    // headers before its body is read; a refused one closes its connection,
    // its body unread.
    bool admit(const httplib::Request& req, httplib::Response& res) const;
    void routes();
};

} // namespace kalp
