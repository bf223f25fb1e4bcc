// The worker pool with real threads: sizing and priorities, where each target
// runs, ordering (front-queued jobs included), the main-thread queue, the
// no-worker mode, shutdown refusing new jobs, and init/quit balance.
// Workers are held with semaphores so queues fill deterministically.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "counting_allocator.h"
#include "janitor/janitor.h"

namespace
{

std::string thread_name()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

// Worker threads are "janitor1" to "janitor4" (the test process itself is
// "janitor_test", so the digit matters).
bool is_worker_name(const std::string &name)
{
    return name.size() == 8 && name.rfind("janitor", 0) == 0 && name[7] >= '1' && name[7] <= '4';
}

int thread_nice()
{
    return getpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid));
}

struct run_record {
    std::string label;
    std::string thread;
    SDL_threadID thread_id;
    int nice;
};

// Collects which job ran where, in the order they ran.
class Recorder
{
  public:
    void add(const std::string &label)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        runs_.push_back({label, thread_name(), SDL_ThreadID(), thread_nice()});
    }
    std::vector<run_record> runs()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return runs_;
    }
    // Labels that ran on one thread, in order.
    std::vector<std::string> on_thread(const std::string &thread)
    {
        std::vector<std::string> labels;
        for (const run_record &r : runs()) {
            if (r.thread == thread) {
                labels.push_back(r.label);
            }
        }
        return labels;
    }
    const run_record *find(const std::string &label)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const run_record &r : runs_) {
            if (r.label == label) {
                found_ = r;
                return &found_;
            }
        }
        return nullptr;
    }

  private:
    std::mutex mutex_;
    std::vector<run_record> runs_;
    run_record found_;
};

struct record_job {
    Recorder *recorder;
    std::string label;
};

void record_job_fn(void *arg)
{
    auto *job = (record_job *)arg;
    job->recorder->add(job->label);
}

// Holds a worker: signals that it started, then waits until released.
struct gate {
    SDL_sem *started = SDL_CreateSemaphore(0);
    SDL_sem *release = SDL_CreateSemaphore(0);
    ~gate()
    {
        SDL_DestroySemaphore(started);
        SDL_DestroySemaphore(release);
    }
};

void gate_job_fn(void *arg)
{
    auto *g = (gate *)arg;
    SDL_SemPost(g->started);
    SDL_SemWait(g->release);
}

class JanitorTest : public testing::Test
{
  protected:
    Recorder recorder;
    std::deque<record_job> jobs; // stable addresses for job arguments
    std::deque<gate> gates;

    void TearDown() override
    {
        janitor_quit();
        janitor_set_thread_creation_limit(-1);
    }

    int queue_record(const std::string &label, int target, int at_front = 0)
    {
        jobs.push_back({&recorder, label});
        return janitor_queue_job(record_job_fn, &jobs.back(), target, at_front);
    }

    // Occupies worker k with a job that waits; returns once it is running.
    gate *hold_worker(int k)
    {
        gates.emplace_back();
        gate *g = &gates.back();
        EXPECT_EQ(janitor_queue_job(gate_job_fn, g, k, 0), 1);
        SDL_SemWait(g->started);
        return g;
    }
};

const int kPoolSizes[][2] = {
    // processor count, workers
    {1, 1}, {2, 1}, {4, 1}, {5, 2}, {6, 3}, {7, 4}, {8, 4}, {64, 4},
};

TEST_F(JanitorTest, SizesThePoolAndLowersTheLastWorker)
{
    const int main_nice = thread_nice();
    for (const auto &size : kPoolSizes) {
        const int cpus = size[0], workers = size[1];
        ASSERT_EQ(janitor_init_with_cpu_count(cpus), 1);
        ASSERT_EQ(janitor_thread_count(), workers) << cpus << " processors";
        for (int k = 1; k <= workers; k++) {
            const std::string label = std::to_string(cpus) + "/" + std::to_string(k);
            ASSERT_EQ(queue_record(label, k), 1);
            janitor_wait_until_idle(k);
            const run_record *r = recorder.find(label);
            ASSERT_NE(r, nullptr) << label;
            EXPECT_EQ(r->thread, "janitor" + std::to_string(k)) << label;
            if (k == workers) {
                EXPECT_GT(r->nice, main_nice) << label; // low priority
            } else {
                EXPECT_EQ(r->nice, main_nice) << label;
            }
        }
        janitor_quit();
    }
    // This machine's own count goes through the same rule.
    ASSERT_EQ(janitor_init(), 1);
    EXPECT_EQ(janitor_thread_count(), SDL_clamp(SDL_GetCPUCount(), 4, 7) - 3);
}

class JanitorPoolTest : public JanitorTest, public testing::WithParamInterface<int>
{
  protected:
    int workers() const
    {
        return GetParam();
    }
    void SetUp() override
    {
        ASSERT_EQ(janitor_init_with_cpu_count(workers() + 3), 1);
        ASSERT_EQ(janitor_thread_count(), workers());
    }
};

TEST_P(JanitorPoolTest, EachTargetRunsWhereItShould)
{
    const int w = workers();
    const SDL_threadID main_id = SDL_ThreadID();
    for (int target : {-100, -3, -2, -1, 0, 1, 2, 3, 4, 5, 99}) {
        const std::string x = "X" + std::to_string(target);
        // Every worker held, each with a marker waiting on its own queue; X
        // goes in front. On a worker's queue X runs before that worker's
        // marker; on the shared queue only after it (own queue first).
        std::vector<gate *> held;
        for (int k = 1; k <= w; k++) {
            held.push_back(hold_worker(k));
            ASSERT_EQ(queue_record("A" + std::to_string(k) + "@" + x, k), 1);
        }
        ASSERT_EQ(queue_record(x, target, 1), 1);
        for (gate *g : held) {
            SDL_SemPost(g->release);
        }
        for (int k = 1; k <= w; k++) {
            janitor_wait_until_idle(k);
        }
        janitor_wait_until_idle(0);
        janitor_wait_until_idle(target);

        const run_record *r = recorder.find(x);
        ASSERT_NE(r, nullptr) << x;
        int worker = target == -1 ? w : (target >= 1 && target <= w ? target : 0);
        if (target == -3) {
            EXPECT_EQ(r->thread_id, main_id) << x;
        } else if (worker > 0) {
            const std::string name = "janitor" + std::to_string(worker);
            EXPECT_EQ(r->thread, name) << x;
            const std::vector<std::string> seq = recorder.on_thread(name);
            const std::string marker = "A" + std::to_string(worker) + "@" + x;
            EXPECT_LT(std::find(seq.begin(), seq.end(), x),
                      std::find(seq.begin(), seq.end(), marker))
                << x << " should run from worker " << worker << "'s own queue";
        } else {
            ASSERT_TRUE(is_worker_name(r->thread)) << x << " ran on " << r->thread;
            const std::vector<std::string> seq = recorder.on_thread(r->thread);
            const std::string marker = "A" + r->thread.substr(7) + "@" + x;
            EXPECT_GT(std::find(seq.begin(), seq.end(), x),
                      std::find(seq.begin(), seq.end(), marker))
                << x << " should come from the shared queue";
        }
    }
}

TEST_P(JanitorPoolTest, WorkerQueueRunsInOrderWithFrontJobsFirst)
{
    for (int k = 1; k <= workers(); k++) {
        const std::string name = "janitor" + std::to_string(k);
        const std::string p = name + ":";
        gate *g = hold_worker(k);
        std::vector<std::string> expected = {p + "front2", p + "front1"};
        for (int i = 0; i < 30; i++) {
            ASSERT_EQ(queue_record(p + std::to_string(i), k), 1);
            expected.push_back(p + std::to_string(i));
        }
        ASSERT_EQ(queue_record(p + "front1", k, 1), 1);
        ASSERT_EQ(queue_record(p + "front2", k, 1), 1);
        SDL_SemPost(g->release);
        janitor_wait_until_idle(k);
        // Idle means finished: every job has run by the time the wait returns.
        EXPECT_EQ(recorder.on_thread(name), expected);
    }
    // Target -1 is the last worker, and its batches keep their order too.
    const std::string last = "janitor" + std::to_string(workers());
    std::vector<std::string> expected = recorder.on_thread(last);
    for (int i = 0; i < 30; i++) {
        ASSERT_EQ(queue_record("log" + std::to_string(i), JANITOR_TARGET_LAST_WORKER), 1);
        expected.push_back("log" + std::to_string(i));
    }
    janitor_wait_until_idle(JANITOR_TARGET_LAST_WORKER);
    EXPECT_EQ(recorder.on_thread(last), expected);
}

TEST_P(JanitorPoolTest, SharedJobsAllRunOnWorkers)
{
    for (int i = 0; i < 200; i++) {
        ASSERT_EQ(queue_record("s" + std::to_string(i), i % 2 ? 0 : 99), 1);
    }
    janitor_wait_until_idle(0);
    const std::vector<run_record> runs = recorder.runs();
    ASSERT_EQ(runs.size(), 200u);
    for (const run_record &r : runs) {
        EXPECT_TRUE(is_worker_name(r.thread)) << r.label << " on " << r.thread;
    }
}

INSTANTIATE_TEST_SUITE_P(Workers, JanitorPoolTest, testing::Values(1, 2, 4));

struct tick_from_thread {
    static int SDLCALL run(void *)
    {
        janitor_tick();
        return 0;
    }
};

TEST_F(JanitorTest, MainThreadQueueRunsOnlyInTheMainThreadsTick)
{
    ASSERT_EQ(janitor_init_with_cpu_count(4), 1);
    ASSERT_EQ(queue_record("m1", JANITOR_TARGET_MAIN_THREAD), 1);
    ASSERT_EQ(queue_record("m2", JANITOR_TARGET_MAIN_THREAD), 1);
    ASSERT_EQ(queue_record("m0", JANITOR_TARGET_MAIN_THREAD, 1), 1);

    // Another thread ticking does not take them, nor does the worker: once
    // the worker has got past "w" it has had every chance to.
    SDL_Thread *other = SDL_CreateThread(tick_from_thread::run, "not-main", NULL);
    ASSERT_NE(other, nullptr);
    SDL_WaitThread(other, NULL);
    ASSERT_EQ(queue_record("w", 1), 1);
    SDL_SemPost(hold_worker(1)->release);
    ASSERT_NE(recorder.find("w"), nullptr);
    EXPECT_EQ(recorder.runs().size(), 1u);

    janitor_tick();
    std::vector<std::string> on_main;
    for (const run_record &r : recorder.runs()) {
        if (r.thread_id == SDL_ThreadID()) {
            on_main.push_back(r.label);
        }
    }
    EXPECT_EQ(on_main, (std::vector<std::string>{"m0", "m1", "m2"}));
}

TEST_F(JanitorTest, WithoutWorkersSharedJobsRunOnTheMainThread)
{
    janitor_set_thread_creation_limit(0);
    ASSERT_EQ(janitor_init_with_cpu_count(8), 1);
    ASSERT_EQ(janitor_thread_count(), 0);
    for (int target : {0, -1, 1, 4, 99, -7}) {
        ASSERT_EQ(queue_record("t" + std::to_string(target), target), 1);
    }
    ASSERT_EQ(queue_record("front", 0, 1), 1);
    ASSERT_EQ(queue_record("main", JANITOR_TARGET_MAIN_THREAD), 1);
    EXPECT_TRUE(recorder.runs().empty());

    janitor_wait_until_idle(0);
    const std::vector<run_record> runs = recorder.runs();
    std::vector<std::string> labels;
    for (const run_record &r : runs) {
        EXPECT_EQ(r.thread_id, SDL_ThreadID()) << r.label;
        labels.push_back(r.label);
    }
    EXPECT_EQ(labels,
              (std::vector<std::string>{"main", "front", "t0", "t-1", "t1", "t4", "t99", "t-7"}));

    ASSERT_EQ(queue_record("later", -1), 1);
    janitor_tick();
    EXPECT_NE(recorder.find("later"), nullptr);
}

TEST_F(JanitorTest, PartialStartRoutesToTheWorkersThatRun)
{
    janitor_set_thread_creation_limit(2);
    ASSERT_EQ(janitor_init_with_cpu_count(8), 1);
    ASSERT_EQ(janitor_thread_count(), 2);
    const int main_nice = thread_nice();
    ASSERT_EQ(queue_record("last", JANITOR_TARGET_LAST_WORKER), 1);
    janitor_wait_until_idle(JANITOR_TARGET_LAST_WORKER);
    const run_record *r = recorder.find("last");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->thread, "janitor2");
    EXPECT_EQ(r->nice, main_nice); // the planned low-priority worker never started

    for (int target : {3, 4}) {
        const std::string label = "to" + std::to_string(target);
        ASSERT_EQ(queue_record(label, target), 1);
        janitor_wait_until_idle(0);
        r = recorder.find(label);
        ASSERT_NE(r, nullptr) << label;
        EXPECT_TRUE(is_worker_name(r->thread)) << label << " on " << r->thread;
    }
}

// During shutdown: tries every target and counts acceptances.
struct quit_probe {
    Recorder *recorder;
    SDL_sem *release_worker;
    SDL_atomic_t accepted;
    SDL_atomic_t stray_runs;
};

void stray_job_fn(void *arg)
{
    SDL_AtomicIncRef(&((quit_probe *)arg)->stray_runs);
}

void probe_all_targets(quit_probe *p, const char *who)
{
    for (int target : {-3, -1, 0, 1, 2, 99}) {
        if (janitor_queue_job(stray_job_fn, p, target, 0)) {
            SDL_AtomicIncRef(&p->accepted);
        }
        if (janitor_queue_job(stray_job_fn, p, target, 1)) {
            SDL_AtomicIncRef(&p->accepted);
        }
    }
    p->recorder->add(who);
}

void main_probe_fn(void *arg)
{
    auto *p = (quit_probe *)arg;
    probe_all_targets(p, "main probe");
    SDL_SemPost(p->release_worker);
}

void worker_probe_fn(void *arg)
{
    auto *p = (quit_probe *)arg;
    SDL_SemWait(p->release_worker);
    probe_all_targets(p, "worker probe");
}

void shared_probe_fn(void *arg)
{
    probe_all_targets((quit_probe *)arg, "shared probe");
}

TEST_F(JanitorTest, QuitRefusesNewJobsToEveryQueue)
{
    for (int limit : {-1, 0}) { // one worker; none
        SCOPED_TRACE(limit < 0 ? "one worker" : "no workers");
        Recorder seen;
        record_job after_probe = {&seen, "own queue after probe"};
        janitor_set_thread_creation_limit(limit);
        ASSERT_EQ(janitor_init_with_cpu_count(4), 1);
        const int workers = janitor_thread_count();
        quit_probe p = {&seen, SDL_CreateSemaphore(0), {0}, {0}};
        ASSERT_NE(p.release_worker, nullptr);
        if (workers > 0) {
            // Held until shutdown runs the main-thread probe; then it probes
            // too, while the pool is still stopping.
            ASSERT_EQ(janitor_queue_job(worker_probe_fn, &p, 1, 0), 1);
            ASSERT_EQ(janitor_queue_job(record_job_fn, &after_probe, 1, 0), 1);
        } else {
            ASSERT_EQ(janitor_queue_job(shared_probe_fn, &p, 0, 0), 1);
            SDL_SemPost(p.release_worker);
        }
        ASSERT_EQ(janitor_queue_job(main_probe_fn, &p, JANITOR_TARGET_MAIN_THREAD, 0), 1);

        janitor_quit();

        EXPECT_NE(seen.find("main probe"), nullptr);
        if (workers > 0) {
            EXPECT_NE(seen.find("worker probe"), nullptr);
            // Jobs already on a worker's own queue run before it stops.
            EXPECT_NE(seen.find("own queue after probe"), nullptr);
        } else {
            // Without workers, shutdown runs the pending shared jobs itself.
            EXPECT_NE(seen.find("shared probe"), nullptr);
        }
        EXPECT_EQ(SDL_AtomicGet(&p.accepted), 0);
        EXPECT_EQ(SDL_AtomicGet(&p.stray_runs), 0);

        // After shutdown nothing is accepted, and nothing is left to run.
        EXPECT_EQ(janitor_thread_count(), 0);
        for (int target : {-3, -1, 0, 1, 4, 99}) {
            EXPECT_EQ(janitor_queue_job(stray_job_fn, &p, target, 0), 0) << target;
        }
        janitor_tick();
        EXPECT_EQ(SDL_AtomicGet(&p.stray_runs), 0);
        SDL_DestroySemaphore(p.release_worker);
    }
}

TEST_F(JanitorTest, NothingIsQueuedBeforeInit)
{
    int dummy = 0;
    for (int target : {-3, -1, 0, 1}) {
        EXPECT_EQ(janitor_queue_job(stray_job_fn, &dummy, target, 0), 0) << target;
    }
    EXPECT_EQ(janitor_queue_job(NULL, &dummy, 0, 0), 0);
    janitor_tick(); // harmless while stopped
    janitor_wait_until_idle(0);
}

void noop_fn(void *) {}

TEST_F(JanitorTest, InitAndQuitBalanceTheirAllocations)
{
    // A first cycle absorbs SDL's one-time per-process set-up.
    ASSERT_EQ(janitor_init_with_cpu_count(7), 1);
    janitor_quit();
    const counting_allocator_snapshot before = counting_allocator_read();
    for (int limit : {-1, 0, 2}) {
        janitor_set_thread_creation_limit(limit);
        for (int cpus : {4, 5, 7}) {
            ASSERT_EQ(janitor_init_with_cpu_count(cpus), 1);
            for (int target : {-3, -1, 0, 1, 2, 3, 4}) {
                ASSERT_EQ(janitor_queue_job(noop_fn, NULL, target, target & 1), 1);
            }
            janitor_wait_until_idle(-1);
            // Some left queued at shutdown; those too are freed.
            for (int target : {-3, 0, 1}) {
                ASSERT_EQ(janitor_queue_job(noop_fn, NULL, target, 0), 1);
            }
            janitor_quit();
        }
    }
    EXPECT_GT(counting_allocator_calls_since(before), 0);
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
}

} // namespace
