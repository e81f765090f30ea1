// The runs of the program started from the page: kalp init, and kalp
// --csv --json --plot.
#include <algorithm>
#include <functional>
#include <iterator>
#include <mutex>

#include "program/init.h"
#include "program/kalp.h"
#include "report/catalogue.h"
#include "serve/session.h"
#include "textio/console.h"
#include "textio/folder.h"

namespace kalp {

// A folder without input files gets the first scenario of kalp init,
// which refuses to write over any file of the folder.
void Server::Impl::start(const std::string& body, httplib::Response& res) {
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
    answer(res, 200, {{"console", console.out()}, {"written", target.placed()}});
}

void Server::Impl::startindex(httplib::Response& res) {
    const std::lock_guard<std::mutex> hold(mutex);
    DiskFolder target(dir);
    const DiskFolder examplefolder(examples);
    try {
        answer(res, 200, {{"written", initindex(target, examples.empty() ? nullptr : &examplefolder)}});
    } catch (const RunStop& stop) {
        answer(res, 409, {{"error", stop.what + " " + stop.fix}});
    }
}

// Starts kalp --csv --json --plot on the saved files, as the command
// line would, on a thread of its own.
void Server::Impl::run(httplib::Response& res) {
    const std::lock_guard<std::mutex> hold(job.mu);
    if (job.running) {
        refuse(res, 409, "A run started from this page is still working.");
        return;
    }
    if (job.thread.joinable()) job.thread.join();
    job.running = true;
    job.console.clear();
    job.parts.clear();
    job.files = json::array();
    job.status = 0;
    const long id = ++job.id;
    job.thread = std::thread([this] { work(); });
    answer(res, 200, runstate(id));
}

void Server::Impl::RunJob::put(bool err, std::string_view text) {
    const std::lock_guard<std::mutex> hold(mu);
    if (console.size() >= mostconsole) return;
    console.append(text);
    if (parts.empty() || parts.back().first != err)
        parts.emplace_back(err, text);
    else
        parts.back().second.append(text);
}

namespace {

// The console of a run started from the page: the console text and the
// lines on standard error, in the order they come, as a terminal shows
// them.
class PageConsole final : public Console {
public:
    explicit PageConsole(std::function<void(bool err, std::string_view text)> put) : put_(std::move(put)) {}
    void print(std::string_view text) override { put_(false, text); }
    void warn(std::string_view text) override { put_(true, text); }
    bool terminal() const override { return false; }
    void progress(std::string_view) override {}
    bool flush() override { return true; }

private:
    std::function<void(bool, std::string_view)> put_;
};

} // namespace

void Server::Impl::work() {
    DiskFolder target(dir);
    PageConsole console([this](bool err, std::string_view text) { job.put(err, text); });
    Options o;
    o.csv = o.json = o.plot = true;
    int status = 1;
    try {
        status = kalp(target, console, o);
    } catch (const std::exception& e) {
        job.put(true, std::string("\nThe run could not go on: ") + e.what() + "\n");
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
json Server::Impl::runstate(long id) const {
    json parts = json::array();
    for (const auto& [err, text] : job.parts)
        parts.push_back({{"stream", err ? "stderr" : "stdout"}, {"text", text}});
    json state = {{"id", id}, {"running", job.running}, {"console", job.console}, {"parts", parts}};
    if (!job.running) {
        state["status"] = job.status;
        state["files"] = job.files;
    }
    return state;
}

void Server::Impl::runnow(httplib::Response& res) {
    const std::lock_guard<std::mutex> hold(job.mu);
    answer(res, 200, runstate(job.id));
}

} // namespace kalp
