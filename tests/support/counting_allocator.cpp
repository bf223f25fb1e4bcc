#include "counting_allocator.h"

#include <SDL.h>
#include <atomic>
#include <stdlib.h>

namespace {

std::atomic<int64_t> g_allocations{0};
std::atomic<int64_t> g_reallocations{0};
std::atomic<int64_t> g_frees{0};

void *counting_malloc(size_t size)
{
    void *p = malloc(size);
    if (p) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return p;
}

void *counting_calloc(size_t count, size_t size)
{
    void *p = calloc(count, size);
    if (p) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return p;
}

void *counting_realloc(void *old, size_t size)
{
    void *p = realloc(old, size);
    if (p) {
        (old ? g_reallocations : g_allocations).fetch_add(1, std::memory_order_relaxed);
    }
    return p;
}

void counting_free(void *p)
{
    if (p) {
        g_frees.fetch_add(1, std::memory_order_relaxed);
    }
    free(p);
}

}  // namespace

int counting_allocator_install(void)
{
    return SDL_SetMemoryFunctions(counting_malloc, counting_calloc, counting_realloc,
                                  counting_free) == 0;
}

counting_allocator_snapshot counting_allocator_read(void)
{
    counting_allocator_snapshot s;
    s.allocations = g_allocations.load();
    s.reallocations = g_reallocations.load();
    s.frees = g_frees.load();
    s.live_blocks = s.allocations - s.frees;
    return s;
}

int64_t counting_allocator_calls_since(const counting_allocator_snapshot &before)
{
    counting_allocator_snapshot now = counting_allocator_read();
    return (now.allocations - before.allocations) + (now.reallocations - before.reallocations);
}
