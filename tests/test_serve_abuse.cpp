// The editor's server against requests that no page sends and the clients
// of a hostile one: every request bounded, the page answered under load,
// only plain files read, files saved as they are, and an end within a
// second of a signal or a kill at any moment.
#include <gtest/gtest.h>
#include <httplib.h>

#ifndef _WIN32
#include <zlib.h>

#include <csignal>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "serve/server.h"
#include "served.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
using json = nlohmann::json;

namespace {

#ifndef _WIN32
// `n` blanks compressed with gzip.
std::string gzipped(size_t n) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
    const std::string blanks(1 << 20, ' ');
    std::string out;
    char buf[1 << 16];
    for (size_t done = 0; done <= n; done += blanks.size()) {
        const bool last = done + blanks.size() >= n;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(blanks.data()));
        z.avail_in = static_cast<uInt>(last ? n - done : blanks.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buf, sizeof buf - z.avail_out);
        } while (z.avail_out == 0);
        if (last) break;
    }
    deflateEnd(&z);
    return out;
}
#endif

// Saves the discount rate as `a`, `b`, `a`, ... until `stop` or a save
// fails, as a page would.
void saveagain(const Editor& e, const std::atomic<bool>& stop, const char* a, const char* b) {
    auto c = e.client();
    const auto r = c->Get("/api/scenario");
    long v = r ? json::parse(r->body)["version"].get<long>() : 0;
    for (int i = 0; !stop; ++i) {
        const auto s =
            c->Post("/api/save", edits(v, {{"INPUTVRD01A.TXT", {{"u", i % 2 ? b : a}}}}).dump(), "application/json");
        if (!s || s->status != 200) return;
        v = json::parse(s->body)["version"];
    }
}

// The temporary files that a folder holds.
std::vector<std::string> unfinished(const std::string& dir) {
    std::vector<std::string> v;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind(".kalp-unfinished-", 0) == 0) v.push_back(utf8(e.path().filename()));
    return v;
}

} // namespace

// Every request is bounded before it is read: in the size of its line,
// headers and body, however sent, and in time; each refusal names its cause.
TEST(Serve, BoundsEveryRequest) {
    Limits quick;
    quick.head = milliseconds(500);
    quick.whole = milliseconds(1000);
    Served s("one-system", quick);
    const int port = s.server->port();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    const std::string token = "X-KALP-Token: " + s.server->token() + "\r\n";
    const std::string post = "POST /api/compute HTTP/1.1\r\n" + host + token;
    const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
#ifdef _WIN32
    skiprow("a gzip body that unpacks to 100 MB", "needs zlib, which the Windows build has not");
#else
    const std::string bomb = gzipped(100 << 20);
#endif
    const size_t mb = 1 << 20;
    struct Row {
        const char* name;
        std::function<void(Conn&)> send;
        int status;
        std::string says;
        size_t taken = 1 << 20; // the most the client may send before the answer
    };
    const Row rows[] = {
        {"a chunked body over 1 MB",
         [&](Conn& c) {
             c.send(post + "Transfer-Encoding: chunked\r\n\r\n");
             c.pour(chunk, 3 * mb);
         },
         413, "The request's body is larger than 1 MB.", 3 * mb + chunk.size()},
        {"a chunked body of 200 MB",
         [&](Conn& c) {
             c.send(post + "Transfer-Encoding: chunked\r\n\r\n");
             c.pour(chunk, 200 * mb);
         },
         413, "The request's body is larger than 1 MB.", 32 * mb},
#ifndef _WIN32
        {"a gzip body that unpacks to 100 MB",
         [&](Conn& c) {
             c.send(post + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(bomb.size()) + "\r\n\r\n" +
                    bomb);
         },
         415, "The request's body is compressed (Content-Encoding: gzip)", bomb.size() + 1024},
#endif
        {"a length over 1 MB", [&](Conn& c) { c.send(post + "Content-Length: 2000000\r\n\r\n"); }, 413,
         "larger than 1 MB (it gives 2000000 bytes)"},
        {"a POST without a length", [&](Conn& c) { c.send(post + "\r\n"); }, 411,
         "A POST request must give the length of its body"},
        {"another transfer coding", [&](Conn& c) { c.send(post + "Transfer-Encoding: gzip, chunked\r\n\r\n"); },
         501, "transfer coding \"gzip, chunked\""},
        {"a length and chunked",
         [&](Conn& c) { c.send(post + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n"); }, 400,
         "both a Content-Length and a Transfer-Encoding"},
        {"a request line over 8 KB",
         [&](Conn& c) { c.send("GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n" + host + "\r\n"); }, 414,
         "The request line (its method and address) is longer than 8 KB."},
        {"a header line over 8 KB",
         [&](Conn& c) { c.send("GET / HTTP/1.1\r\n" + host + "X-Long: " + std::string(9000, 'a') + "\r\n\r\n"); },
         431, "A header line of the request is longer than 8 KB."},
        {"101 header lines",
         [&](Conn& c) {
             std::string many;
             for (int i = 0; i < 101; ++i)
                 many += "X-Line: " + std::to_string(i) + "\r\n";
             c.send("GET / HTTP/1.1\r\n" + host + many + "\r\n");
         },
         431, "The request has more than 100 header lines."},
        {"45 MB of header lines without the token",
         [&](Conn& c) {
             c.send("GET / HTTP/1.1\r\n" + host);
             c.pour("X-Flood: " + std::string(1000, 'a') + "\r\n", 45 * mb);
         },
         431, "The request's line and headers are longer than 64 KB.", 32 * mb},
        {"a head that trickles",
         [&](Conn& c) { c.trickle("GET / HTTP/1.1\r\n" + host + token + "\r\n", milliseconds(100)); }, 408,
         "did not arrive within 500 ms of its first byte"},
        {"a body that trickles",
         [&](Conn& c) {
             c.send(post + "Content-Length: 100\r\n\r\n");
             c.trickle("{\"version\": 1, \"values\": {}}", milliseconds(100));
         },
         408, "The request's body did not arrive whole within 1 second of the request's first byte."},
        {"a PUT", [&](Conn& c) { c.send("PUT /api/save HTTP/1.1\r\n" + host + token + "Content-Length: 2\r\n\r\n{}"); },
         405, "This server answers GET and POST requests, not PUT."},
        {"a GET with a body",
         [&](Conn& c) { c.send("GET /api/run HTTP/1.1\r\n" + host + token + "Content-Length: 2\r\n\r\n{}"); }, 400,
         "A GET request carries no body here."},
        {"a POST to a page that takes none",
         [&](Conn& c) { c.send("POST /api/nothing HTTP/1.1\r\n" + host + token + "Content-Length: 2\r\n\r\n{}"); },
         404, "There is no page /api/nothing that takes a POST."},
        {"a page that is not there",
         [&](Conn& c) { c.send("GET /nothing HTTP/1.1\r\n" + host + token + "\r\n"); }, 404,
         "There is no page /nothing on this server."},
        {"a request line that is no HTTP",
         [&](Conn& c) { c.send("BREW /pot HTCPCP/1.0\r\n" + host + "\r\n"); }, 400,
         "its request line or a header line is malformed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Conn c(port);
        ASSERT_TRUE(c.open());
        const auto start = Clock::now();
        row.send(c);
        const Answer a = parse(c.answer());
        EXPECT_LT(since(start), 3.0);
        EXPECT_EQ(a.status, row.status);
        EXPECT_NE(a.error.find(row.says), std::string::npos) << a.error;
        EXPECT_LE(c.sent, row.taken);
    }
    // The server goes on answering.
    EXPECT_EQ(s.post("/api/compute", edits(1, {})).first, 200);
}

// A page that always gets its answer: slow and idle clients hold no worker
// that the page needs, and a crowd is answered, the ones over the cap with
// 503 and when to try again.
TEST(Serve, AnswersThePageUnderLoad) {
    Served s("one-system");
    const int port = s.server->port();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    std::vector<std::unique_ptr<Conn>> slow, idle;
    for (int i = 0; i < 16; ++i) {
        slow.push_back(std::make_unique<Conn>(port));
        slow.back()->send("GET /api/scenario HTTP/1.1\r\nHo");
    }
    std::atomic<bool> done{false};
    std::thread trickling([&] {
        const std::string rest = "st: 127.0.0.1:" + std::to_string(port) + "\r\nX-Slow: yes\r\n";
        for (size_t i = 0; i < rest.size() && !done; ++i) {
            for (auto& c : slow)
                c->send(rest.substr(i, 1));
            std::this_thread::sleep_for(milliseconds(100));
        }
    });
    for (int i = 0; i < 200; ++i)
        idle.push_back(std::make_unique<Conn>(port));
    // Past the grace in which a new connection is not closed for another,
    // on a loaded machine too.
    std::this_thread::sleep_for(milliseconds(1000));
    for (int i = 0; i < 10; ++i) {
        const auto start = Clock::now();
        const auto [status, answer] = s.post("/api/compute", edits(1, {{"INPUTVRD01A.TXT", {{"u", "0.06"}}}}));
        EXPECT_EQ(status, 200);
        EXPECT_LT(since(start), 1.0) << i;
    }
    done = true;
    trickling.join();
    slow.clear();
    idle.clear();

#ifdef _WIN32
    // Under Wine 8, 2 to 16 of the 200 were reset unanswered in 2 of 3
    // tries, while Linux answers every one; whether Wine's Winsock or the
    // server's way of refusing on Windows is at fault is not known yet.
    skiprow("200 requests at once", "not yet reliable under Wine: some connections are reset");
    return;
#endif
    // 200 requests at once: each is answered, by the page or by 503.
    std::vector<std::unique_ptr<Conn>> crowd;
    for (int i = 0; i < 200; ++i)
        crowd.push_back(std::make_unique<Conn>(port));
    for (auto& c : crowd)
        c->send("GET /?token=" + s.server->token() + " HTTP/1.1\r\n" + host + "\r\n");
    std::map<int, int> statuses;
    for (auto& c : crowd) {
        const Answer a = parse(c->answer(milliseconds(20000)));
        ++statuses[a.status];
        if (a.status == 503) {
            EXPECT_EQ(a.retry, "1");
            EXPECT_NE(a.error.find("connections open and all of them busy"), std::string::npos) << a.error;
        }
    }
    EXPECT_EQ(statuses[200] + statuses[503], 200) << "no answer: " << statuses[0];
    EXPECT_GE(statuses[200], 128);
}

// Save writes a linked file through its link and leaves a write-protected
// one as it is; what a killed save left is no obstacle.
TEST(Serve, SavesFilesAsTheyAre) {
    const std::string a = "INPUTVRD01A.TXT";
    struct Row {
        const char* name;
        std::function<void(Diskdir&)> before;
        int status;
        std::function<void(const Diskdir&, const json&)> check;
        bool links = false; // needs symbolic links
    };
    const Row rows[] = {
        {"a link to a shared file",
         [&](Diskdir& w) {
             std::filesystem::create_directory(w.beside("shared"));
             std::filesystem::rename(w.path() + "/" + a, w.beside("shared/A.TXT"));
             std::filesystem::create_symlink("../shared/A.TXT", w.path() + "/" + a);
         },
         200,
         [&](const Diskdir& w, const json&) {
             EXPECT_TRUE(std::filesystem::is_symlink(w.path() + "/" + a));
             EXPECT_EQ(slurp(w.beside("shared/A.TXT")).substr(0, 4), "0.06");
             EXPECT_EQ(unfinished(w.beside("shared")), std::vector<std::string>{});
         },
         true},
        {"a write-protected file",
         [&](Diskdir& w) {
             std::filesystem::permissions(w.path() + "/" + a, std::filesystem::perms::owner_write |
                                                                  std::filesystem::perms::group_write |
                                                                  std::filesystem::perms::others_write,
                                          std::filesystem::perm_options::remove);
         },
         409,
         [&](const Diskdir& w, const json& answer) {
             EXPECT_EQ(w.read(a).substr(0, 4), "0.05");
             EXPECT_EQ(answer["protected"], a);
             EXPECT_EQ(answer["error"].get<std::string>().rfind(a + " is write-protected, so nothing was saved.", 0),
                       0u)
                 << answer;
         }},
        {"what a killed save left",
         [&](Diskdir& w) { w.write(".kalp-unfinished-" + a, "0.0"); },
         200,
         [&](const Diskdir& w, const json&) { EXPECT_EQ(w.read(a).substr(0, 4), "0.06"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.links && !symlinksmade()) {
            skiprow(row.name, "needs symbolic links, which this system does not make");
            continue;
        }
        Served s("one-system", Limits(), row.before);
        const std::string settings = s.w.read("INPUTVRD02.TXT");
        const long v = s.get("/api/scenario")["version"];
        const auto [status, answer] = s.post(
            "/api/save", edits(v, {{a, {{"u", "0.06"}}}, {"INPUTVRD02.TXT", {{"l_inv", "25"}}}}));
        EXPECT_EQ(status, row.status) << answer;
        row.check(s.w, answer);
        // The files of a scenario go together, and nothing temporary stays.
        EXPECT_EQ(s.w.read("INPUTVRD02.TXT") == settings, row.status != 200);
        EXPECT_EQ(unfinished(s.w.path()), std::vector<std::string>{});
    }
}

// Only plain files are read: a FIFO at an input name is reported by a run
// and in its section of the page, never waited on; so is a UTF-16 ERROR.TXT
// of one character.
TEST(Serve, ReadsOnlyPlainFiles) {
    const std::string fifo = "The input file INPUTVRD02.TXT is not a plain file but a named pipe (FIFO), a "
                             "device or a socket, which KALP does not read.";
#ifdef _WIN32
    skiprow("a FIFO at an input and at an output", "needs FIFOs (mkfifo), which Windows has not");
    (void)fifo;
#else
    const auto makefifo = [](Diskdir& w) {
        w.remove("INPUTVRD02.TXT");
        ASSERT_EQ(mkfifo((w.path() + "/INPUTVRD02.TXT").c_str(), 0644), 0);
    };
    {
        Diskdir w;
        copyexample(w, "one-system");
        makefifo(w);
        const kalp::test::Outcome r = w.run("", "timeout 20");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("Error message:\n" + fifo), std::string::npos) << r.output;
    }
    Served s("one-system", Limits(), makefifo);
    const json page = s.get("/api/scenario");
    EXPECT_EQ(page["result"]["stop"]["file"], "INPUTVRD02.TXT");
    EXPECT_NE(page["result"]["stop"]["report"].get<std::string>().find("Error message:\n" + fifo), std::string::npos);
    std::string note;
    for (const json& section : page["form"]["sections"])
        if (section["id"] == "INPUTVRD02.TXT") note = section.value("note", "");
    EXPECT_EQ(note, fifo);
    // A FIFO where a run writes is not served, at once.
    ASSERT_EQ(mkfifo((s.w.path() + "/CHECKVRD").c_str(), 0644), 0);
    const auto start = Clock::now();
    const auto r = s.client()->Get("/files/CHECKVRD");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);
    EXPECT_NE(r->body.find("is not a plain file"), std::string::npos);
    EXPECT_LT(since(start), 1.0);
#endif

    // "1" in UTF-16, without a byte-order mark: never an open gate.
    for (const std::string& gate : {std::string("\0" "1", 2), std::string("1\0", 2)}) {
        Served u("one-system", Limits(), [&](Diskdir& w) { w.write("ERROR.TXT", gate); });
        EXPECT_NE(u.get("/api/scenario")["result"]["stop"]["report"].get<std::string>().find(
                      "Error message:\nThe file ERROR.TXT is saved as UTF-16 (\"Unicode\")"),
                  std::string::npos);
        const kalp::test::Outcome run = u.w.run();
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.output.find("ERROR.TXT is saved as UTF-16"), std::string::npos) << run.output;
    }
}

// The real kalp serve ends within a second of Ctrl-C or SIGTERM wherever
// it is, each file whole or untouched and no temporary file left.
TEST(Serve, EndsWithinASecondOfASignal) {
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX signals (SIGINT and SIGTERM to kalp serve)";
#else
    Diskdir w;
    copyexample(w, "one-system");
    for (int i = 0; i < 8; ++i) {
        const int sig = i % 2 ? SIGTERM : SIGINT;
        SCOPED_TRACE(std::string("right after start, ") + (sig == SIGINT ? "SIGINT" : "SIGTERM"));
        Editor e(w);
        ASSERT_GT(e.port, 0);
        double took = 0;
        EXPECT_EQ(e.end(sig, took), 0);
        EXPECT_LT(took, 1.0);
    }
    {
        SCOPED_TRACE("with a slow client and an idle one");
        Editor e(w);
        Conn slow(e.port), idle(e.port);
        slow.send("GET / HTTP/1.1\r\nHo");
        std::this_thread::sleep_for(milliseconds(100));
        double took = 0;
        EXPECT_EQ(e.end(SIGINT, took), 0);
        EXPECT_LT(took, 1.0);
    }
    {
        SCOPED_TRACE("during saves");
        const std::string a = w.read("INPUTVRD01A.TXT");
        Editor e(w);
        std::atomic<bool> stop{false};
        std::thread saving([&] { saveagain(e, stop, "0.06", "0.05"); });
        std::this_thread::sleep_for(milliseconds(150));
        double took = 0;
        const int status = e.end(SIGINT, took);
        stop = true;
        saving.join();
        EXPECT_TRUE(status == 0 || status == 128 + SIGINT) << status;
        EXPECT_LT(took, 1.0);
        std::string b = a;
        b.replace(0, 4, "0.06");
        EXPECT_TRUE(w.read("INPUTVRD01A.TXT") == a || w.read("INPUTVRD01A.TXT") == b);
        EXPECT_EQ(unfinished(w.path()), std::vector<std::string>{});
    }
    {
        SCOPED_TRACE("during a run started from the page");
        w.write("INPUTVRD01A.TXT", w.read("INPUTVRD01A.TXT").replace(0, 4, "0.05"));
        const std::string settings = w.read("INPUTVRD02.TXT");
        std::string longer = settings;
        longer.replace(longer.find("\n20\n"), 4, "\n1000000\n");
        w.write("INPUTVRD02.TXT", longer);
        w.write("CHECKVRD", "earlier\n");
        Editor e(w);
        ASSERT_EQ(e.client()->Post("/api/run", "{}", "application/json")->status, 200);
        const auto start = Clock::now();
        while (unfinished(w.path()).empty() && since(start) < 20)
            std::this_thread::sleep_for(milliseconds(1));
        ASSERT_FALSE(unfinished(w.path()).empty());
        double took = 0;
        EXPECT_EQ(e.end(SIGINT, took), 128 + SIGINT);
        EXPECT_LT(took, 1.0);
        EXPECT_NE(slurp(w.beside("serve.err")).find("kalp: interrupted (SIGINT); the run started from the page was "
                                                   "stopped; its files were not written"),
                  std::string::npos);
        EXPECT_EQ(unfinished(w.path()), std::vector<std::string>{});
        EXPECT_EQ(w.read("CHECKVRD"), "earlier\n");
        w.write("INPUTVRD02.TXT", settings);
    }
#endif
}

// A save killed at any moment leaves each file whole or as it was, and
// nothing in the way of the next save.
TEST(Serve, AKilledSaveLeavesNothingInTheWay) {
    Diskdir w;
    copyexample(w, "one-system");
    const std::string a = w.read("INPUTVRD01A.TXT");
    std::set<std::string> whole;
    for (const char* u : {"0.05", "0.06", "0.07"})
        whole.insert(std::string(a).replace(0, 4, u));
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        {
            Editor e(w);
            std::atomic<bool> stop{false};
            std::thread saving([&] { saveagain(e, stop, "0.06", "0.07"); });
            std::this_thread::sleep_for(milliseconds(20 + 15 * round));
            EXPECT_EQ(e.kill(), 137);
            stop = true;
            saving.join();
        }
        EXPECT_EQ(whole.count(w.read("INPUTVRD01A.TXT")), 1u);
        // The next save goes through, and leaves no temporary file.
        Editor e(w);
        auto c = e.client();
        const long v = json::parse(c->Get("/api/scenario")->body)["version"];
        const auto r = c->Post("/api/save", edits(v, {{"INPUTVRD01A.TXT", {{"u", "0.05"}}}}).dump(), "application/json");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << r->body;
        EXPECT_EQ(w.read("INPUTVRD01A.TXT"), a);
        EXPECT_EQ(unfinished(w.path()), std::vector<std::string>{});
    }
}

// The real kalp serve stays within 64 MB of its idle size under every
// request above, some of them at once.
TEST(Serve, MemoryStaysNearItsIdleSize) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /proc/PID/status for the server's memory, and zlib";
#else
    Diskdir w;
    copyexample(w, "one-system");
    Editor e(w);
    ASSERT_GT(e.port, 0);
    std::this_thread::sleep_for(milliseconds(100));
    const long idle = e.memory("VmRSS");
    const std::string host = "Host: 127.0.0.1:" + std::to_string(e.port) + "\r\n";
    const std::string post = "POST /api/compute HTTP/1.1\r\n" + host + "X-KALP-Token: " + e.token + "\r\n";
    const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    const std::string bomb = gzipped(100 << 20);
    std::vector<std::thread> probes;
    std::atomic<int> answered{0};
    for (int i = 0; i < 3; ++i) {
        probes.emplace_back([&] {
            Conn c(e.port);
            c.send(post + "Transfer-Encoding: chunked\r\n\r\n");
            c.pour(chunk, 200 << 20);
            answered += parse(c.answer()).status == 413;
        });
        probes.emplace_back([&] {
            Conn c(e.port);
            c.send("GET / HTTP/1.1\r\n" + host);
            c.pour("X-Flood: " + std::string(1000, 'a') + "\r\n", 45 << 20);
            answered += parse(c.answer()).status == 431;
        });
        probes.emplace_back([&] {
            Conn c(e.port);
            c.send(post + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(bomb.size()) + "\r\n\r\n" +
                   bomb);
            answered += parse(c.answer()).status == 415;
        });
    }
    for (std::thread& t : probes)
        t.join();
    EXPECT_EQ(answered, 9);
    std::vector<std::unique_ptr<Conn>> crowd;
    for (int i = 0; i < 200; ++i)
        crowd.push_back(std::make_unique<Conn>(e.port));
    for (auto& c : crowd)
        c->send(post + "Content-Length: 2\r\n\r\n{}");
    for (auto& c : crowd)
        EXPECT_NE(parse(c->answer(milliseconds(20000))).status, 0);
    crowd.clear();
    const long peak = e.memory("VmHWM");
    EXPECT_LT(peak - idle, 64 * 1024) << "idle " << idle << " KB, peak " << peak << " KB";
#endif
}
