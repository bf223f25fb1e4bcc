// The janitor: a small pool of background worker threads ("janitor1" ...
// "janitor4") running fire-and-forget jobs, one queue per worker, a shared
// queue any worker drains, and a main-thread queue the render loop drains.
// Thread: janitor_init, janitor_tick's main-thread part and janitor_quit run on
// the main thread; janitor_queue_job and janitor_thread_count on any thread
// between init and the end of quit. A job's argument stays the caller's; the
// janitor only hands it to the job.
#pragma once

// A job: runs once with its argument, on the thread its target names.
typedef void (*janitor_job_fn)(void *arg);

// Targets for janitor_queue_job and janitor_wait_until_idle. 1 to
// janitor_thread_count() name a worker; 0, larger values and other negatives
// mean the shared queue.
#define JANITOR_TARGET_SHARED 0
#define JANITOR_TARGET_LAST_WORKER (-1) // the low-priority worker; shared with none
#define JANITOR_TARGET_MAIN_THREAD (-3) // run by janitor_tick on the main thread

#define JANITOR_MAX_WORKERS 4

// Starts the pool sized from the processor count: clamped to 4..7, minus 3
// workers, the last at low priority. Returns 0 only when the main-thread queue
// cannot be set up; a pool that could not start every worker still returns 1.
// Call once, from the thread that will call janitor_tick, paired with janitor_quit.
int janitor_init(void);

// janitor_init for a given processor count instead of SDL_GetCPUCount().
int janitor_init_with_cpu_count(int cpu_count);

// Test hook: the next janitor_init starts at most `limit` workers, as if
// creating the next thread had failed; -1 (the default) lifts the limit.
void janitor_set_thread_creation_limit(int limit);

// Queues fn(arg) on `target`, at the head when at_front is set (it runs next),
// else at the tail. Returns 1 when queued, 0 when the pool is not running, is
// shutting down, or memory ran out; nothing is queued then.
int janitor_queue_job(janitor_job_fn fn, void *arg, int target, int at_front);

// Once per render-loop iteration: on the main thread runs every main-thread
// job; with no worker running, runs every shared job.
void janitor_tick(void);

// Does janitor_tick's work until `target`'s queue has no job queued or running.
void janitor_wait_until_idle(int target);

// Number of running workers, 0 to JANITOR_MAX_WORKERS.
int janitor_thread_count(void);

// Stops the pool: refuses new jobs everywhere, runs the pending main-thread
// jobs (and shared ones when there are no workers), lets each worker finish
// its own queue, and frees shared jobs no worker took, without running them.
void janitor_quit(void);
