// The engine on texts held in memory: a complete run touches no file, and a
// stop names its kind, file and model variable.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/engine.h"
#include "report/dump.h"
#include "report/results.h"
#include "scenario.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
namespace fs = std::filesystem;

namespace {

TextSource texts(const Scenario& s) {
    TextSource t;
    const std::pair<const char*, const std::string*> files[] = {
        {"ERROR.TXT", &s.error},          {"P01.TXT", &s.prods},
        {"PARAVRD.TXT", &s.paravrd},      {"TEXTVRD_OUT.TXT", &s.tpl},
        {"INPUTVRD01A.TXT", &s.a},        {"INPUTVRD01B.TXT", &s.b},
        {"INPUTVRD02.TXT", &s.settings2}, {"INPUTVRD03.TXT", &s.settings3}};
    for (const auto& [name, text] : files)
        if (!text->empty()) t.set(name, *text);
    return t;
}

kalp::Outcome runin(const TextSource& t) {
    Request r;
    r.files = &t;
    return runscenario(r);
}

} // namespace

// The bundled example as texts: the run reads nothing from the disk and
// writes nothing, in a working directory that is empty (or gone).
TEST(Engine, ScenarioFromTextsInMemory) {
    Workdir example, empty;
    copyexample(example, "two-systems");
    TextSource t;
    for (const std::string& name : example.files())
        t.set(name, example.read(name));
    const fs::path here = fs::current_path();
    fs::current_path(empty.path());
    fs::remove(empty.path());
    kalp::Outcome o = runin(t);
    fs::current_path(here);
    ASSERT_TRUE(o.complete()) << o.stop->report();
    const fs::path want = fs::path(KALP_SOURCE_DIR) / "tests" / "expected" / "two-systems";
    EXPECT_EQ(dumptext(*o.model), slurp(want / "CHECKVRD"));
    EXPECT_EQ(o.echo + resultssection(*o.model, t), slurp(want / "resgfps02"));
    EXPECT_EQ(o.names[8], "Litter size (lambs per lambing)");
    EXPECT_TRUE(empty.outside().empty());
}

TEST(Engine, StopsNameTheirFileAndValue) {
    using Change = std::function<void(Scenario&)>;
    struct Row {
        const char* name;
        Change change;
        StopKind kind;
        const char* file;
        const char* value;
    };
    const auto replace = [](std::string& s, const char* from, const char* to) {
        s.replace(s.find(from), std::string(from).size(), to);
    };
    const Row rows[] = {
        {"gate", [](Scenario& s) { s.error = "1"; }, StopKind::gate, "ERROR.TXT", "errmess"},
        {"traced group", [&](Scenario& s) { replace(s.settings2, "1 \"Traced", "9 \"Traced"); },
         StopKind::traced, "INPUTVRD02.TXT", "n_sac"},
        {"matrix row", [&](Scenario& s) { replace(s.a, "0.5 0.3 0.2", "0.5 0.3 0.3"); },
         StopKind::matrix, "INPUTVRD01A.TXT", "l4EA"},
        {"given path", [&](Scenario& s) { replace(s.settings2, "0 0.3", "0.2 0.3"); },
         StopKind::matrix, "INPUTVRD02.TXT", "P[1]"},
        {"decimal comma", [&](Scenario& s) { replace(s.a, "0.05", "0,05"); }, StopKind::input,
         "INPUTVRD01A.TXT", "u"},
        {"age weight", [&](Scenario& s) { replace(s.a, "0.6 0.4", "0.6 x"); }, StopKind::input,
         "INPUTVRD01A.TXT", "l4RA[2]"},
        {"path share", [&](Scenario& s) { replace(s.settings2, "0 0.3", "0 -0.3"); },
         StopKind::input, "INPUTVRD02.TXT", "P[1][2]"},
        {"missing file", [](Scenario& s) { s.settings2.clear(); }, StopKind::input,
         "INPUTVRD02.TXT", ""},
        {"overflow", [&](Scenario& s) { replace(s.a, "0.05", "-0.9999"); }, StopKind::notfinite,
         "INPUTVRD01A.TXT", "u"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario s = Scenario::one();
        if (std::string(row.name) == "overflow") replace(s.settings2, "3 \"Years", "40 \"Years");
        row.change(s);
        const kalp::Outcome o = runin(texts(s));
        ASSERT_FALSE(o.complete());
        EXPECT_EQ(o.stop->kind, row.kind);
        EXPECT_EQ(o.stop->file, row.file);
        EXPECT_EQ(o.stop->value, row.value);
        EXPECT_EQ(o.stop->report().find("\nError message:\n"), row.kind == StopKind::traced ? 2u : 0u);
        // The echo reaches as far as the run went: nothing after the gate.
        EXPECT_EQ(o.resultsfile, row.kind != StopKind::gate);
    }
}
