// Worker pool: queue records, the worker loop, start-up sizing and shutdown.
#include "janitor/janitor.h"

#include <SDL.h>

namespace
{

constexpr size_t kWorkerStackSize = 524288;
constexpr int kQueueCount = JANITOR_MAX_WORKERS + 1; // 0 shared, 1..4 workers

struct janitor_job {
    janitor_job_fn fn;
    void *arg;
    janitor_job *next;
};

struct janitor_queue {
    // Set under the mutex; a set flag refuses new jobs. Checked under the
    // mutex by producers, so nothing slips in after shutdown drained a queue.
    SDL_atomic_t quit;
    // Set by the stop job queued last on a worker's own queue: the worker
    // ends after that job.
    SDL_atomic_t stop;
    SDL_Thread *thread; // worker queues only
    SDL_ThreadPriority priority;
    janitor_job *head; // oldest first; guarded by mutex
    janitor_job *tail;
    SDL_atomic_t pending; // queued and not yet finished
    SDL_mutex *mutex;
    SDL_sem *sem; // wakes the worker; worker queues only
};

struct janitor_state {
    janitor_queue queues[kQueueCount];
    janitor_queue main_queue;
    SDL_atomic_t thread_count;
    SDL_threadID main_thread;
    int thread_creation_limit; // test hook, kept across init and quit
};

janitor_state g_janitor = {{}, {}, {0}, 0, -1};

janitor_queue *shared_queue()
{
    return &g_janitor.queues[0];
}

janitor_queue *queue_for_target(int target)
{
    const int workers = SDL_AtomicGet(&g_janitor.thread_count);
    if (target == JANITOR_TARGET_MAIN_THREAD) {
        return &g_janitor.main_queue;
    }
    if (target == JANITOR_TARGET_LAST_WORKER) {
        return workers > 0 ? &g_janitor.queues[workers] : shared_queue();
    }
    if (target >= 1 && target <= workers) {
        return &g_janitor.queues[target];
    }
    return shared_queue();
}

// Pops the oldest job, or null.
janitor_job *take_job(janitor_queue *q)
{
    if (!q->mutex) {
        return NULL;
    }
    SDL_LockMutex(q->mutex);
    janitor_job *job = q->head;
    if (job) {
        q->head = job->next;
        if (!q->head) {
            q->tail = NULL;
        }
    }
    SDL_UnlockMutex(q->mutex);
    return job;
}

void run_job(janitor_queue *from, janitor_job *job)
{
    job->fn(job->arg);
    SDL_free(job);
    SDL_AtomicAdd(&from->pending, -1);
}

// Detaches the whole list and runs it in order on the calling thread.
void run_queue_batch(janitor_queue *q)
{
    if (!q->mutex) {
        return;
    }
    SDL_LockMutex(q->mutex);
    janitor_job *job = q->head;
    q->head = q->tail = NULL;
    SDL_UnlockMutex(q->mutex);
    while (job) {
        janitor_job *next = job->next;
        run_job(q, job);
        job = next;
    }
}

// Adds a job; with `refusable` a set quit flag turns it away.
int push_job(janitor_queue *q, janitor_job_fn fn, void *arg, int at_front, int refusable)
{
    if (!q->mutex) {
        return 0;
    }
    janitor_job *job = (janitor_job *)SDL_malloc(sizeof *job);
    if (!job) {
        return 0;
    }
    job->fn = fn;
    job->arg = arg;
    job->next = NULL;
    SDL_LockMutex(q->mutex);
    if (refusable && SDL_AtomicGet(&q->quit)) {
        SDL_UnlockMutex(q->mutex);
        SDL_free(job);
        return 0;
    }
    // Counted before a worker can see the job, so the count never dips below 0.
    SDL_AtomicAdd(&q->pending, 1);
    if (at_front) {
        job->next = q->head;
        q->head = job;
        if (!q->tail) {
            q->tail = job;
        }
    } else {
        if (q->tail) {
            q->tail->next = job;
        } else {
            q->head = job;
        }
        q->tail = job;
    }
    SDL_UnlockMutex(q->mutex);
    return 1;
}

void set_quit_flag(janitor_queue *q)
{
    if (!q->mutex) {
        return;
    }
    SDL_LockMutex(q->mutex);
    SDL_AtomicSet(&q->quit, 1);
    SDL_UnlockMutex(q->mutex);
}

void free_unrun_jobs(janitor_queue *q)
{
    janitor_job *job = q->head;
    while (job) {
        janitor_job *next = job->next;
        SDL_free(job);
        job = next;
    }
    q->head = q->tail = NULL;
}

int SDLCALL worker_main(void *data)
{
    janitor_queue *own = (janitor_queue *)data;
    if (own->priority != SDL_THREAD_PRIORITY_NORMAL) {
        SDL_SetThreadPriority(own->priority);
    }
    for (;;) {
        janitor_queue *from = own;
        janitor_job *job = take_job(own);
        if (!job) {
            from = shared_queue();
            job = take_job(from);
        }
        if (!job) {
            if (SDL_AtomicGet(&own->stop)) {
                return 0;
            }
            // Posts may outnumber jobs (a shared job wakes every worker), so
            // waking to find nothing just means waiting again.
            SDL_SemWait(own->sem);
            continue;
        }
        run_job(from, job);
        if (SDL_AtomicGet(&own->stop)) {
            return 0;
        }
    }
}

void stop_worker_job(void *arg)
{
    SDL_AtomicSet(&((janitor_queue *)arg)->stop, 1);
}

} // namespace

int janitor_init_with_cpu_count(int cpu_count)
{
    const int limit = g_janitor.thread_creation_limit;
    g_janitor = janitor_state{};
    g_janitor.thread_creation_limit = limit;
    g_janitor.main_queue.priority = SDL_THREAD_PRIORITY_NORMAL;
    g_janitor.main_thread = SDL_ThreadID();
    g_janitor.main_queue.mutex = SDL_CreateMutex();
    if (!g_janitor.main_queue.mutex) {
        return 0;
    }

    const int n = SDL_clamp(cpu_count, 4, 7);
    const int planned = n - 3;

    janitor_queue *shared = shared_queue();
    shared->priority = SDL_THREAD_PRIORITY_NORMAL;
    shared->mutex = SDL_CreateMutex();
    if (!shared->mutex) {
        return 1; // no workers: shared jobs run on the main thread
    }

    for (int k = 1; k <= planned; k++) {
        janitor_queue *q = &g_janitor.queues[k];
        q->priority = k < planned ? SDL_THREAD_PRIORITY_NORMAL : SDL_THREAD_PRIORITY_LOW;
        q->mutex = SDL_CreateMutex();
        if (!q->mutex) {
            break;
        }
        q->sem = SDL_CreateSemaphore(0);
        char name[16];
        SDL_snprintf(name, sizeof name, "janitor%d", k);
        const bool allowed = limit < 0 || k <= limit;
        if (q->sem && allowed) {
            q->thread = SDL_CreateThreadWithStackSize(worker_main, name, kWorkerStackSize, q);
        }
        if (!q->thread) {
            if (q->sem) {
                SDL_DestroySemaphore(q->sem);
            }
            SDL_DestroyMutex(q->mutex);
            *q = janitor_queue{};
            break;
        }
        SDL_AtomicSet(&g_janitor.thread_count, k);
    }
    return 1;
}

int janitor_init(void)
{
    return janitor_init_with_cpu_count(SDL_GetCPUCount());
}

void janitor_set_thread_creation_limit(int limit)
{
    g_janitor.thread_creation_limit = limit < 0 ? -1 : limit;
}

int janitor_queue_job(janitor_job_fn fn, void *arg, int target, int at_front)
{
    if (!fn) {
        return 0;
    }
    janitor_queue *q = queue_for_target(target);
    if (!push_job(q, fn, arg, at_front, 1)) {
        return 0;
    }
    const int workers = SDL_AtomicGet(&g_janitor.thread_count);
    if (q == shared_queue()) {
        for (int k = 1; k <= workers; k++) {
            SDL_SemPost(g_janitor.queues[k].sem);
        }
    } else if (q != &g_janitor.main_queue) {
        SDL_SemPost(q->sem);
    }
    return 1;
}

void janitor_tick(void)
{
    if (SDL_ThreadID() == g_janitor.main_thread) {
        run_queue_batch(&g_janitor.main_queue);
    }
    // Without workers whoever ticks takes the shared jobs; normally that is
    // the render loop on the main thread.
    if (SDL_AtomicGet(&g_janitor.thread_count) == 0) {
        run_queue_batch(shared_queue());
    }
}

void janitor_wait_until_idle(int target)
{
    janitor_queue *q = queue_for_target(target);
    janitor_tick();
    while (SDL_AtomicGet(&q->pending) >= 1) {
        SDL_Delay(30);
        janitor_tick();
    }
}

int janitor_thread_count(void)
{
    return SDL_AtomicGet(&g_janitor.thread_count);
}

void janitor_quit(void)
{
    const int workers = SDL_AtomicGet(&g_janitor.thread_count);

    // Every queue refuses new jobs first, so a job queued while the pool
    // drains (from a running job, say) is turned away rather than stranded.
    set_quit_flag(&g_janitor.main_queue);
    for (int k = 0; k <= workers; k++) {
        set_quit_flag(&g_janitor.queues[k]);
    }

    run_queue_batch(&g_janitor.main_queue);
    if (workers == 0) {
        run_queue_batch(shared_queue());
    }

    // The stop job goes last on each worker's own queue, so the jobs already
    // there run first. Every worker is joined before any queue is destroyed:
    // a job still running on a later worker may try (and fail) to queue onto
    // an earlier one.
    for (int k = 1; k <= workers; k++) {
        janitor_queue *q = &g_janitor.queues[k];
        if (!push_job(q, stop_worker_job, q, 0, 0)) {
            // No memory for the stop job: tell the worker directly; it ends
            // after its current job, dropping the rest of its queue.
            SDL_AtomicSet(&q->stop, 1);
        }
        SDL_SemPost(q->sem);
        SDL_WaitThread(q->thread, NULL);
        q->thread = NULL;
    }
    for (int k = 1; k <= workers; k++) {
        janitor_queue *q = &g_janitor.queues[k];
        free_unrun_jobs(q);
        SDL_DestroySemaphore(q->sem);
        SDL_DestroyMutex(q->mutex);
    }

    // Shared jobs no worker took before stopping are dropped: they are
    // background work, and nothing is left to run them.
    free_unrun_jobs(shared_queue());
    if (shared_queue()->mutex) {
        SDL_DestroyMutex(shared_queue()->mutex);
    }
    free_unrun_jobs(&g_janitor.main_queue);
    if (g_janitor.main_queue.mutex) {
        SDL_DestroyMutex(g_janitor.main_queue.mutex);
    }

    const int limit = g_janitor.thread_creation_limit;
    g_janitor = janitor_state{};
    g_janitor.thread_creation_limit = limit;
}
