#include "engine/engine.h"

#include <algorithm>
#include <iterator>

#include "input/settings.h"
#include "input/standards.h"
#include "input/systems.h"
#include "model/finite.h"
#include "model/layout.h"
#include "model/matrix.h"
#include "model/standardise.h"
#include "model/weights.h"

namespace kalp {

namespace {

// The stages from the economic weights to the standardised weights, on a
// model whose gene flow is done; `changes` replace values of the files, and
// a result that is not a number blames the options of `blamed`.
void weigh(Model& m, Streams& s, const std::vector<Change>& changes, const Givens& blamed) {
    apply(m, changes, Stage::weights);
    economicweights(m);
    requirefiniteweights(m, blamed);
    if (m.gstd == 2) {
        readdeviations(m, s);
        apply(m, changes, Stage::deviations);
        readflags(m, s);
    }
    choosepairs(m);
    if (m.gstd == 2) {
        standardise(m);
        requirefinitestandardised(m, blamed);
    }
}

// The state that a run of `t` years ends with, from a gene flow that is
// running longer: its shares and sums after year t, and the shares also in
// m_gft, which the last year of a run leaves there.
void endflow(Model& scenario, const Model& flowing, int t) {
    std::copy(std::begin(flowing.m_gf), std::end(flowing.m_gf), scenario.m_gf);
    std::copy(std::begin(flowing.m_gf), std::end(flowing.m_gf), scenario.m_gft);
    std::copy(std::begin(flowing.m_sum), std::end(flowing.m_sum), scenario.m_sum);
    scenario.l_inv = t;
}

std::vector<Change> only(const std::vector<Change>& changes, bool flow) {
    std::vector<Change> v;
    std::copy_if(changes.begin(), changes.end(), std::back_inserter(v), [&](const Change& c) {
        return (c.p->stage == Stage::flow) == flow && c.p->stage != Stage::period;
    });
    return v;
}

} // namespace

void prepare(Model& m, Streams& s, const std::function<void(int prods)>& begun) {
    readgate(m, s);
    opentemplate(s);
    readprods(m, s);
    if (begun) begun(m.prods);
    writepreamble(m, s);
    readsystemA(m, s);
    if (m.prods > 1)
        readsystemB(m, s);
    else
        dropsystemB(s);
    layclasses(m);
    readsettings(m, s);
    buildmatrix(m);
}

std::optional<JobStop> runjob(const Model& prepared, Streams& s, const Job& job,
                              const EachScenario& each, const YearHook& year) {
    const auto base = std::make_unique<Model>(prepared);
    apply(*base, job.flow, Stage::flow);
    const auto flowing = std::make_unique<Model>();
    const auto scenario = std::make_unique<Model>();
    size_t next = 0, set = 0;
    try {
        while (next < job.periods.size()) {
            // One gene flow serves a rising run of periods: the discounted
            // sum after t years does not depend on the years that follow.
            size_t end = next + 1;
            while (end < job.periods.size() && job.periods[end] > job.periods[end - 1])
                ++end;
            *flowing = *base;
            flowing->l_inv = job.periods[end - 1];
            geneflow(*flowing, [&](const Model& g, int t) {
                if (year) year(g, t);
                for (; next < end && job.periods[next] == t; ++next)
                    for (set = 0; set < job.sets; ++set) {
                        const std::vector<Change> changes = job.set(set);
                        *scenario = *base;
                        endflow(*scenario, g, t);
                        Givens blamed;
                        optionsof(job.flow, blamed);
                        optionsof(changes, blamed);
                        weigh(*scenario, s, changes, blamed);
                        each(next, set, *scenario);
                    }
            });
            next = end;
        }
    } catch (const RunStop& stop) {
        return JobStop{stop, next, set};
    }
    return std::nullopt;
}

namespace {

// An outcome with a model in its reset state.
Outcome fresh() {
    Outcome o;
    o.model = std::make_unique<Model>();
    reset(*o.model);
    return o;
}

} // namespace

Outcome runscenario(const Request& r) {
    Outcome o = fresh();
    Streams s;
    s.files = r.files;
    s.say = r.say;
    s.spans = r.spans;
    s.reached = &o.reached;
    s.warnings = &o.warnings;
    if (r.echo) s.res = Sink{&o.echo};
    try {
        Model& m = *o.model;
        prepare(m, s, [&](int prods) {
            if (r.begun) r.begun(prods);
            o.resultsfile = true;
        });

        Job job;
        job.flow = only(r.changes, true);
        job.set = [&r](size_t) { return only(r.changes, false); };
        job.periods = {m.l_inv};
        for (const Change& c : r.changes)
            if (c.p->stage == Stage::period) job.periods = {static_cast<int>(c.value)};
        const auto stop = runjob(m, s, job, [&](size_t, size_t, const Model& done) { m = done; },
                                 r.year);
        if (stop) throw stop->stop;
        o.names = readtraitnames(s);
    } catch (const RunStop& stop) {
        o.stop = stop;
    }
    return o;
}

Outcome readlayout(const Folder& files) {
    Outcome o = fresh();
    // The system files are read as in a run, their echo going nowhere
    // against a template of empty segments.
    Streams s;
    s.files = &files;
    s.reached = &o.reached;
    s.warnings = &o.warnings;
    std::string empty;
    for (int i = 0; i < 128; ++i)
        empty += "\"\"";
    try {
        Model& m = *o.model;
        readprods(m, s);
        s.tpl = textstream(empty, "TEXTVRD_OUT.TXT");
        readsystemA(m, s);
        if (m.prods > 1) readsystemB(m, s);
        layclasses(m);
    } catch (const RunStop& stop) {
        o.stop = stop;
    }
    return o;
}

Retrace::Retrace(const Model& prepared, int traced)
    : prepared_(prepared), traced_(traced), flow_(std::make_unique<Model>()), out_(std::make_unique<Model>()) {}

const Model& Retrace::weighed(const Model& m) {
    if (!flowed_ || flow_->u != m.u || flow_->l_inv != m.l_inv) {
        *flow_ = prepared_;
        flow_->u = m.u;
        flow_->n_sac = traced_;
        flow_->l_inv = m.l_inv;
        geneflow(*flow_);
        flowed_ = true;
    }
    *out_ = *flow_;
    for (int k = 0; k < NT; ++k)
        for (int j = 0; j < 3; ++j) {
            out_->evpA[k][j] = m.evpA[k][j];
            out_->evpB[k][j] = m.evpB[k][j];
        }
    economicweights(*out_);
    return *out_;
}

} // namespace kalp
