// The editor's server and the runs started from its page: their console
// with the lines on standard error, the files they wrote as they are
// served, and the address of the editor that must reach its user.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "serve/server.h"
#include "served.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
using json = nlohmann::json;

TEST(Serve, RunsKalpAndLinksItsFiles) {
    Served s("one-system");
    const auto [code, started] = s.post("/api/run", json::object());
    ASSERT_EQ(code, 200);
    // The run works on a thread of the server; the page asks until it ends.
    json run = started;
    for (int i = 0; i < 500 && run["running"]; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        run = s.get("/api/run");
    }
    ASSERT_FALSE(run["running"]);
    EXPECT_EQ(run["console"].get<std::string>().rfind("\nRunning KALP Version 1.0.3, 2011\n", 0), 0u);
    EXPECT_EQ(run["status"], 0) << run["console"];
    std::vector<std::string> names;
    for (const json& f : run["files"])
        names.push_back(f["name"]);
    EXPECT_EQ(names, (std::vector<std::string>{"resgfps01", "CHECKVRD", "kalp-scenarios.csv",
                                               "kalp-classes.csv", "kalp-geneflow.csv", "kalp-weights.csv",
                                               "kalp-results.json", "kalp-geneflow.svg"}));
    for (const char* name : {"resgfps01", "kalp-weights.csv", "kalp-results.json"}) {
        const auto r = s.client()->Get(std::string("/files/") + name, {{"Accept-Encoding", "gzip, br"}});
        ASSERT_TRUE(r);
        EXPECT_EQ(r->get_header_value("Content-Encoding"), "") << name;
        EXPECT_EQ(r->body, s.w.read(name)) << name;
    }
}

// The page's Run shows what the program writes on standard error too, in
// its place among the console's lines: the line that says where an input
// fault lies.
TEST(Serve, RunShowsTheLinesOnStandardError) {
    Served s("one-system", Limits(), [](Diskdir& w) {
        w.write("INPUTVRD01A.TXT", w.read("INPUTVRD01A.TXT").replace(0, 4, "0,05"));
    });
    json run = s.post("/api/run", json::object()).second;
    for (int i = 0; i < 500 && run["running"]; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        run = s.get("/api/run");
    }
    ASSERT_FALSE(run["running"]);
    EXPECT_EQ(run["status"], 1);
    const std::string line = "kalp: INPUTVRD01A.TXT, line 1 holds that value\n";
    const std::string console = run["console"];
    EXPECT_NE(console.find("decimal comma"), std::string::npos) << console;
    // After the report, as a terminal shows it.
    EXPECT_GT(console.find(line), console.find("decimal comma")) << console;
    // In parts by stream, which together are the console.
    std::string joined, err;
    for (const json& part : run["parts"]) {
        joined += part["text"].get<std::string>();
        if (part["stream"] == "stderr") err += part["text"].get<std::string>();
    }
    EXPECT_EQ(joined, console);
    EXPECT_EQ(err, line);
}

// /files/NAME serves a plain file that a run wrote, never a link (a file
// out of the folder least of all), and of a Range only bytes within the
// file, each part naming the file's size; no other answer is ever cut by
// a Range.
TEST(Serve, ServesTheFilesARunWroteInTheirRanges) {
    Served s("one-system");
    ASSERT_EQ(s.w.run("--csv").status, 0);
    const std::string weights = s.w.read("kalp-weights.csv");
    const std::string n = std::to_string(weights.size());
    const auto get = [&](const std::string& path, const std::string& range) {
        return s.client()->Get(path.c_str(), {{"Range", range}});
    };
    struct Row {
        std::string range;
        int status;
        std::string body;         // for 206
        std::string contentrange; // the header, of a single range
    };
    const size_t last = weights.size() - 1;
    const Row rows[] = {
        {"bytes=999999999-", 416, "", "bytes */" + n},
        {"bytes=" + n + "-", 416, "", "bytes */" + n},
        {"bytes=-0", 416, "", "bytes */" + n},
        {"bytes=0-9", 206, weights.substr(0, 10), "bytes 0-9/" + n},
        {"bytes=10-", 206, weights.substr(10), "bytes 10-" + std::to_string(last) + "/" + n},
        {"bytes=-5", 206, weights.substr(last - 4), "bytes " + std::to_string(last - 4) + "-" + std::to_string(last) + "/" + n},
        {"bytes=" + std::to_string(last) + "-999999999999", 206, weights.substr(last), "bytes " + std::to_string(last) + "-" + std::to_string(last) + "/" + n},
        {"bytes=5-2", 200, weights, ""},
        {"lines=0-5", 200, weights, ""},
        {"bytes=0-x", 200, weights, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.range);
        const auto r = get("/files/kalp-weights.csv", row.range);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, row.status);
        EXPECT_EQ(r->get_header_value("Content-Range"), row.contentrange);
        if (row.status == 416) {
            EXPECT_EQ(json::parse(r->body)["error"],
                      "The range asked for lies outside kalp-weights.csv, which holds " + n + " bytes.");
        } else {
            EXPECT_EQ(r->body, row.body);
        }
    }
    // Several ranges: a part for each one within the file, each naming the
    // file's size.
    const auto many = get("/files/kalp-weights.csv", "bytes=0-1, 5-6,999999999-,-3");
    ASSERT_TRUE(many);
    EXPECT_EQ(many->status, 206);
    const std::string type = many->get_header_value("Content-Type");
    ASSERT_EQ(type.rfind("multipart/byteranges; boundary=", 0), 0u) << type;
    const std::string boundary = "--" + type.substr(type.find('=') + 1);
    std::string want;
    for (const auto& [from, length] : {std::pair<size_t, size_t>{0, 2}, {5, 2}, {last - 2, 3}})
        want += boundary + "\r\nContent-Type: text/csv; charset=utf-8\r\nContent-Range: bytes " +
                std::to_string(from) + "-" + std::to_string(from + length - 1) + "/" + n + "\r\n\r\n" +
                weights.substr(from, length) + "\r\n";
    EXPECT_EQ(many->body, want + boundary + "--\r\n");
    // More ranges than any page asks for: the whole file.
    std::string seventeen = "bytes=0-0";
    for (int i = 1; i < 17; ++i)
        seventeen += "," + std::to_string(i) + "-" + std::to_string(i);
    EXPECT_EQ(get("/files/kalp-weights.csv", seventeen)->body, weights);

    // Every other answer whole, whatever the Range.
    const struct {
        std::string path;
        int status;
    } others[] = {{"/files/INPUTVRD01A.TXT", 404}, {"/files/kalp-sweep.csv", 404}, {"/nothing", 404},
                  {"/api/scenario", 200}};
    for (const auto& o : others) {
        SCOPED_TRACE(o.path);
        const auto r = get(o.path, "bytes=0-3");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, o.status);
        EXPECT_EQ(r->get_header_value("Content-Range"), "");
        EXPECT_TRUE(json::parse(r->body, nullptr, false).is_object()) << r->body.substr(0, 80);
    }

    // A link, out of the folder or in it, is no file that KALP wrote.
    if (!symlinksmade()) {
        skiprow("a link at an output name", "needs symbolic links, which this system does not make");
        return;
    }
    s.w.remove("resgfps01");
    std::filesystem::path secret = native(s.w.beside("secret.txt"));
    { std::ofstream(secret) << "the key to the house\n"; }
    std::filesystem::create_symlink(secret, native(s.w.path() + "/resgfps01"));
    s.w.remove("CHECKVRD");
    std::filesystem::create_symlink("kalp-weights.csv", native(s.w.path() + "/CHECKVRD"));
    for (const char* name : {"resgfps01", "CHECKVRD"}) {
        SCOPED_TRACE(name);
        for (const char* range : {"", "bytes=0-3"}) {
            const auto r = range[0] ? get(std::string("/files/") + name, range) : s.client()->Get(std::string("/files/") + name);
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 404);
            EXPECT_EQ(json::parse(r->body)["error"],
                      std::string(name) + " in the folder is a symbolic link, which KALP never writes, so it is not served.");
        }
    }
}

// A request names its host once: with two Host headers it is for none.
TEST(Serve, RefusesARequestForTwoHosts) {
    Served s("one-system");
    const std::string host = "Host: 127.0.0.1:" + std::to_string(s.server->port()) + "\r\n";
    const std::string token = "X-KALP-Token: " + s.server->token() + "\r\n";
    for (const std::string& hosts : {host + "Host: kalp.example\r\n", "Host: kalp.example\r\n" + host, host + host}) {
        SCOPED_TRACE(hosts);
        Conn c(s.server->port());
        ASSERT_TRUE(c.send("GET /api/scenario HTTP/1.1\r\n" + hosts + token + "\r\n"));
        const Answer a = parse(c.answer());
        EXPECT_EQ(a.status, 400);
        EXPECT_EQ(a.error, "The request names its host more than once.");
    }
    Conn one(s.server->port());
    ASSERT_TRUE(one.send("GET /api/scenario HTTP/1.1\r\n" + host + token + "\r\n"));
    EXPECT_EQ(parse(one.answer()).status, 200);
}

// kalp serve prints the address that is the only way into the editor: a
// standard output that cannot take it ends the editor at once, with a line
// on standard error, rather than serving an address that nobody sees.
TEST(Serve, StopsWhenItsAddressCannotBeShown) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /dev/full as standard output";
#else
    Diskdir w;
    copyexample(w, "one-system");
    Started k = launch({kalpbinary(), "serve", "-C", w.path()}, "", "/dev/full", w.beside("serve.err"));
    const int status = k.wait(10000);
    if (status < 0) k.kill();
    k.release();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(slurp(w.beside("serve.err")),
              "kalp: the editor's address cannot be written to standard output (No space left on device), so "
              "nobody could open it; the editor stops. Give --open to open it in the browser\n");
#endif
}
