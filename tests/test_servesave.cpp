// The editor's Save and Run meet a file that another program holds open
// without letting it be replaced, as a spreadsheet holds the file it shows
// (Windows): nothing is written, the page names the file by its role, and
// the next Save, once the file is let go, saves.
#include <gtest/gtest.h>
#include <httplib.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "serve/server.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
using json = nlohmann::json;

namespace {

#ifdef _WIN32
// This test is the other program: it reads the file and lets others read
// it, nothing more.
class Held {
public:
    explicit Held(const std::string& path)
        : h_(CreateFileW(native(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Held() { release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    bool holding() const { return h_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};
#endif

} // namespace

TEST(Serve, SaveAndRunMeetAFileHeldOpen) {
#ifndef _WIN32
    GTEST_SKIP() << "POSIX lets a file be replaced whatever holds it open; the same fault in memory is "
                    "in Exports.FaultsLeaveTheFolderWhole";
#else
    Diskdir w;
    copyexample(w, "one-system");
    ServeOptions o;
    o.dir = w.path();
    Server server(o);
    std::thread listening([&] { server.listen(); });
    httplib::Client c("127.0.0.1", server.port());
    c.set_default_headers({{"X-KALP-Token", server.token()}});
    const auto post = [&](const char* path, const json& body) {
        const auto r = c.Post(path, body.dump(), "application/json");
        return r ? std::pair{r->status, json::parse(r->body)} : std::pair{0, json()};
    };
    const auto get = [&](const char* path) {
        const auto r = c.Get(path);
        return r && r->status == 200 ? json::parse(r->body) : json();
    };
    std::map<std::string, std::string> before;
    for (const std::string& name : w.files())
        before[name] = w.read(name);

    // Two files edited, the second held: neither is written.
    const long v = get("/api/scenario")["version"];
    const json values = {{"INPUTVRD01A.TXT", {{"u", "0.06"}}}, {"INPUTVRD02.TXT", {{"l_inv", "12"}}}};
    {
        Held held(w.path() + "/INPUTVRD02.TXT");
        ASSERT_TRUE(held.holding());
        const auto [status, answer] = post("/api/save", {{"version", v}, {"values", values}});
        EXPECT_EQ(status, 409);
        EXPECT_EQ(answer["error"].get<std::string>(),
                  "The input file INPUTVRD02.TXT cannot be written: INPUTVRD02.TXT is open in another "
                  "program, such as a spreadsheet. Nothing was saved.")
            << answer;
    }
    for (const auto& [name, text] : before)
        EXPECT_EQ(w.read(name), text) << name;
    for (const std::string& name : w.files())
        EXPECT_EQ(name.rfind(".kalp-", 0), std::string::npos) << name;
    // Let go of, the same page saves both.
    const auto [saved, answer] = post("/api/save", {{"version", v}, {"values", values}});
    EXPECT_EQ(saved, 200) << answer;
    EXPECT_EQ(answer["saved"], json::array({"INPUTVRD01A.TXT", "INPUTVRD02.TXT"}));

    // Run kalp with an export held: the run's report names it, and the
    // files of the run are not put in place.
    ASSERT_EQ(w.run("--csv").status, 0);
    const std::string weights = w.read("kalp-weights.csv");
    w.write("resgfps01", "earlier results\n");
    Held held(w.path() + "/kalp-weights.csv");
    ASSERT_TRUE(held.holding());
    const long id = post("/api/run", json::object()).second["id"];
    json state;
    for (int i = 0; i < 600; ++i) {
        state = get("/api/run");
        if (state["id"] == id && !state["running"].get<bool>()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(state["status"], 1) << state;
    EXPECT_NE(state["console"].get<std::string>().find("kalp-weights.csv is open in another program, such as a "
                                                      "spreadsheet.\n  Close it there and restart the program."),
              std::string::npos)
        << state;
    EXPECT_EQ(state["files"], json::array());
    EXPECT_EQ(w.read("resgfps01"), "earlier results\n");
    held.release();
    EXPECT_EQ(w.read("kalp-weights.csv"), weights);
    server.stop();
    listening.join();
#endif
}
