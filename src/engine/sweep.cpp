#include "engine/sweep.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <numeric>
#include <new>
#include <system_error>
#include <thread>

#include "engine/engine.h"
#include "textio/numbers.h"

namespace kalp {

namespace {

// Bytes that a job may hold before the writer takes them, and how far the
// jobs under way may run ahead of the job being written.
// Each chunk handed over wakes the writer: a few hundred a second, not
// thousands (on Windows a wake costs a call to the system).
constexpr size_t chunkbytes = 1 << 18;
constexpr size_t slotbytes = 1 << 20;
constexpr size_t aheadjobs = 16;
// The fewest scenarios of a period that a job is given when the values
// that do not change the gene flow are split among jobs.
constexpr size_t minslice = 256;
// How often the writer, while it waits, lets the caller draw its progress.
constexpr auto tickevery = std::chrono::milliseconds(100);

RunStop systemstop(const std::string& what) {
    return RunStop{StopKind::output, "", "", what,
                   "Close other programs or sweep fewer values, and restart the program.", ""};
}

// Thrown to a worker whose sweep has ended early.
struct Ended {};

// What a job gives, waiting for the writer.
struct Slot {
    std::deque<Chunk> chunks;
    size_t bytes = 0;
    bool done = false;
    std::optional<RunStop> stop;
};

// The axes of each stage, and how a job index and a scenario of a job
// become the indices of the axes.
//
// A job is a value of the axes of Stage::flow with every period and every
// other value. When the period is one and those jobs are too few to keep
// every worker busy, the other values are split among several jobs
// (slices), each computing the gene flow again, which is short beside
// its scenarios.
struct Layout {
    std::vector<size_t> flow, rest; // axes of Stage::flow; of the weights and deviations
    size_t period = 0;              // the axis of l_inv
    size_t flows = 1, sets = 1;     // values of the flow axes; of the others together, and the draws
    size_t slices = 1, slice = 1;   // jobs of one flow value; the sets of each
    size_t jobs = 1;
    // Many short jobs (a flow value each, with one period and few other
    // values) go to the workers in runs of `group`, so that the writer is
    // woken per run rather than per job; at least 16 runs per worker stay.
    size_t group = 1, runs = 1;
    size_t draws = 1;               // the draws of each combination of the other values

    Layout(const SweepPlan& plan, size_t workers) {
        for (size_t i = 0; i < plan.axes.size(); ++i) {
            const Axis& a = plan.axes[i];
            if (a.p->stage == Stage::flow) {
                flow.push_back(i);
                flows *= a.values.size();
            } else if (a.p->stage == Stage::period) {
                period = i;
            } else {
                rest.push_back(i);
                sets *= a.values.size();
            }
        }
        if (plan.draws) {
            draws = static_cast<size_t>(plan.draws->count);
            sets *= draws;
        }
        if (plan.axes[period].values.size() == 1 && flows < 4 * workers)
            slices = std::max<size_t>(1, std::min((4 * workers + flows - 1) / flows, sets / minslice));
        slice = (sets + slices - 1) / slices;
        slices = (sets + slice - 1) / slice;
        jobs = flows * slices;
        const size_t each = flows / std::max<size_t>(workers, 1); // flow values per worker
        if (plan.axes[period].values.size() == 1 && slices == 1 && each > 16)
            group = std::min<size_t>(64, each / 16);
        runs = (jobs + group - 1) / group;
    }
    // The last axis of a group varies fastest.
    static void spread(size_t n, const std::vector<size_t>& axes, const SweepPlan& plan,
                       std::vector<size_t>& at) {
        for (size_t k = axes.size(); k-- > 0;) {
            const size_t size = plan.axes[axes[k]].values.size();
            at[axes[k]] = n % size;
            n /= size;
        }
    }
    // The scenario of job `job` at its period `period` and its set `set`.
    Scenario scenario(const SweepPlan& plan, size_t job, size_t period, size_t set) const {
        Scenario sc{&plan, std::vector<size_t>(plan.axes.size(), 0)};
        spread(job / slices, flow, plan, sc.at);
        const size_t n = job % slices * slice + set;
        spread(n / draws, rest, plan, sc.at);
        sc.draw = static_cast<long long>(n % draws);
        sc.at[this->period] = period;
        return sc;
    }
    // The swept values of a scenario; an axis that is not swept keeps the
    // value of the files. With `drawn`, its drawn values too.
    std::vector<Change> changes(const Scenario& sc, const std::vector<size_t>& axes, bool drawn = false) const {
        std::vector<Change> v;
        for (size_t i : axes) {
            const Axis& a = sc.plan->axes[i];
            if (a.swept) v.push_back({a.p, a.trait, sc.value(i)});
        }
        if (sc.plan->draws && drawn) {
            const std::vector<Change> values = sc.plan->draws->changes(sc.draw);
            v.insert(v.end(), values.begin(), values.end());
        }
        return v;
    }
    Job job(const SweepPlan& plan, size_t j) const {
        Job job;
        job.flow = changes(scenario(plan, j, 0, 0), flow);
        for (double v : plan.axes[period].values)
            job.periods.push_back(static_cast<int>(v));
        job.sets = std::min(slice, sets - j % slices * slice);
        job.set = [this, &plan, j](size_t s) { return changes(scenario(plan, j, 0, s), rest, true); };
        return job;
    }
};

// The jobs under way and the writer that takes their chunks in order.
class Queue {
public:
    explicit Queue(size_t jobs) : jobs_(jobs) {}

    // The next job for a worker, or false when there is none or the sweep
    // ends; waits while the jobs under way run too far ahead.
    bool take(size_t& job) {
        std::unique_lock<std::mutex> lock(mu_);
        changed_.wait(lock, [&] { return ended_ || next_ >= jobs_ || next_ < written_ + aheadjobs; });
        if (ended_ || next_ >= jobs_) return false;
        job = next_++;
        slots_.resize(next_ - written_);
        return true;
    }
    // A chunk of `job`; waits while the job holds too much. Throws Ended
    // when the sweep has ended.
    void put(size_t job, Chunk&& c) {
        std::unique_lock<std::mutex> lock(mu_);
        changed_.wait(lock, [&] { return ended_ || slot(job).bytes < slotbytes; });
        if (ended_) throw Ended{};
        Slot& s = slot(job);
        s.bytes += c.bytes();
        s.chunks.push_back(std::move(c));
        changed_.notify_all();
    }
    void finish(size_t job, std::optional<RunStop> stop) {
        std::lock_guard<std::mutex> lock(mu_);
        if (ended_) return;
        slot(job).done = true;
        slot(job).stop = std::move(stop);
        changed_.notify_all();
    }
    // The writer's side: the next chunk in scenario order; false at the end
    // of the sweep or at a stop, which `stop` then holds. While it waits,
    // `tick` is called every tickevery.
    bool next(Chunk& c, std::optional<RunStop>& stop, const Tick& tick) {
        std::unique_lock<std::mutex> lock(mu_);
        const auto ready = [&] {
            return !slots_.empty() && (!slots_.front().chunks.empty() || slots_.front().done);
        };
        for (;;) {
            if (written_ >= jobs_) return false;
            auto due = std::chrono::steady_clock::now() + tickevery;
            while (!ready())
                if (changed_.wait_until(lock, due) == std::cv_status::timeout) {
                    due = std::chrono::steady_clock::now() + tickevery;
                    if (!tick) continue;
                    lock.unlock();
                    tick(computed());
                    lock.lock();
                }
            Slot& s = slots_.front();
            if (!s.chunks.empty()) {
                c = std::move(s.chunks.front());
                s.chunks.pop_front();
                s.bytes -= c.bytes();
                changed_.notify_all();
                return true;
            }
            if (s.stop) {
                stop = std::move(s.stop);
                return false;
            }
            slots_.pop_front();
            ++written_;
            changed_.notify_all();
        }
    }
    void end() {
        std::lock_guard<std::mutex> lock(mu_);
        ended_ = true;
        changed_.notify_all();
    }
    // A worker has computed a scenario.
    void count() { ++computed_; }
    long long computed() const { return computed_; }

private:
    Slot& slot(size_t job) { return slots_[job - written_]; }
    std::mutex mu_;
    std::condition_variable changed_;
    std::deque<Slot> slots_; // jobs written_ .. next_ - 1
    size_t jobs_, next_ = 0, written_ = 0;
    bool ended_ = false;
    std::atomic<long long> computed_{0};
};

// A worker: takes runs of jobs until there are none.
void work(const Folder& files, const Model& prepared, const SweepPlan& plan,
          const Layout& layout, const FormatScenario& format, Queue& queue) {
    Streams s;
    s.files = &files;
    std::optional<RunStop> failed;
    size_t r = 0;
    while (queue.take(r)) {
        if (failed) {
            queue.finish(r, failed);
            break;
        }
        try {
            Chunk chunk;
            for (size_t j = r * layout.group; j < std::min(layout.jobs, (r + 1) * layout.group) && !failed; ++j) {
                const Job job = layout.job(plan, j);
                const auto stop = runjob(prepared, s, job, [&](size_t p, size_t set, const Model& m) {
                    format(layout.scenario(plan, j, p, set), m, chunk);
                    ++chunk.scenarios;
                    queue.count();
                    if (chunk.bytes() >= chunkbytes) {
                        queue.put(r, std::move(chunk));
                        chunk = Chunk{};
                    }
                });
                if (stop) {
                    failed = stop->stop;
                    failed->scenario = layout.scenario(plan, j, stop->period, stop->set).label();
                }
            }
            if (chunk.scenarios > 0) queue.put(r, std::move(chunk));
        } catch (const Ended&) {
            break;
        } catch (const RunStop& stop) {
            failed = stop;
        } catch (const std::bad_alloc&) {
            failed = systemstop("The sweep needs more memory than the system gives.");
        }
        closein(s.in);
        queue.finish(r, failed);
        if (failed) break;
    }
}

[[noreturn]] void misfit(const std::string& name, const std::string& wrong, const std::string& fix) {
    halt(RunStop{StopKind::option, "", name, "The option --sweep " + name + " " + wrong + ".", fix,
                 ""});
}

} // namespace

long long SweepPlan::count() const {
    return std::accumulate(axes.begin(), axes.end(), draws ? draws->count : 1LL,
                           [](long long n, const Axis& a) { return n * static_cast<long long>(a.values.size()); });
}

std::string axistext(const Axis& a, size_t i) {
    const double v = a.values[i];
    return a.p->whole ? std::to_string(static_cast<long long>(v)) : shortest(static_cast<float>(v));
}

std::string Scenario::label() const {
    std::string s;
    for (size_t i = 0; i < plan->axes.size(); ++i) {
        const Axis& a = plan->axes[i];
        s += (i ? ", " : "") + paramname(*a.p, a.trait) + " = " + text(i);
    }
    if (plan->draws) s += ", draw " + std::to_string(draw + 1);
    return s;
}

size_t Chunk::bytes() const {
    return std::accumulate(text.begin(), text.end(), numbers.size() * sizeof(double),
                           [](size_t n, const std::string& t) { return n + t.size(); });
}

SweepPlan makeplan(const std::vector<Axis>& swept, const Model& m) {
    SweepPlan plan;
    for (const Parameter& p : parameters()) {
        bool given = false;
        for (size_t k = 0; k < swept.size(); ++k) {
            if (swept[k].p != &p) continue;
            if (k == 0) plan.first = plan.axes.size();
            if (k == 1) plan.second = plan.axes.size();
            plan.axes.push_back(swept[k]);
            given = true;
        }
        if (!given && !p.pertrait) plan.axes.push_back(Axis{&p, 0, {p.get(m, 0)}, {}, false});
    }
    for (const Axis& a : plan.axes)
        for (double v : a.values) {
            std::string wrong, fix;
            if (!a.p->fits(m, a.trait, v, &wrong, &fix)) misfit(paramname(*a.p, a.trait), wrong, fix);
        }
    const long long n = plan.count();
    if (n > mostscenarios)
        halt(RunStop{StopKind::option, "", "", "The sweep asks for " + std::to_string(n) + " scenarios.",
                     "Sweep at most " + std::to_string(mostscenarios) +
                         " combinations of values and restart the program.",
                     ""});
    return plan;
}

std::optional<RunStop> preparesweep(const Folder& files, Model& prepared) {
    reset(prepared);
    Streams s;
    s.files = &files;
    std::optional<RunStop> stop;
    try {
        prepare(prepared, s);
    } catch (const RunStop& x) {
        stop = x;
    }
    return stop;
}

std::optional<RunStop> runsweep(const Folder& files, const Model& prepared,
                                const SweepPlan& plan, const FormatScenario& format,
                                const WriteChunk& write, const Tick& tick) {
    const unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const Layout layout(plan, cores);
    Queue queue(layout.runs);
    std::vector<std::thread> workers;
    std::optional<RunStop> stop;
    try {
        // As many workers as the system lets start, at least one.
        for (unsigned w = 0; w < std::min<size_t>(cores, layout.runs); ++w) {
            try {
                workers.emplace_back(work, std::cref(files), std::cref(prepared), std::cref(plan),
                                     std::cref(layout), std::cref(format), std::ref(queue));
            } catch (const std::system_error&) {
                if (workers.empty()) throw;
                break;
            }
        }
        Chunk c;
        while (queue.next(c, stop, tick)) {
            write(c);
            if (tick) tick(queue.computed());
        }
    } catch (const RunStop& x) {
        stop = x;
    } catch (const std::system_error&) {
        stop = systemstop("The sweep cannot start its threads.");
    } catch (const std::bad_alloc&) {
        stop = systemstop("The sweep needs more memory than the system gives.");
    }
    queue.end();
    for (std::thread& t : workers)
        t.join();
    return stop;
}

} // namespace kalp
