// The runs of the program started from the page (kalp init and kalp
// --csv --json --plot), and the files a run wrote.
#include <algorithm>
#include <cerrno>
#include <iterator>
#include <mutex>

#include "platform/platform.h"
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
    answer(res, 200, {{"console", console.out()}});
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
    job.files = json::array();
    job.status = 0;
    const long id = ++job.id;
    job.thread = std::thread([this] { work(); });
    answer(res, 200, runstate(id));
}

void Server::Impl::work() {
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
json Server::Impl::runstate(long id) const {
    json state = {{"id", id}, {"running", job.running}, {"console", job.console}};
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

void Server::Impl::file(const std::string& name, httplib::Response& res) const {
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

} // namespace kalp
