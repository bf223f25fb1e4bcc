// Counting allocator for tests: installed through SDL_SetMemoryFunctions by the
// test main before anything allocates, it counts every SDL_malloc, SDL_calloc,
// SDL_realloc and SDL_free that engine code makes (and PhysicsFS, once it is
// given the SDL allocator). Any thread may allocate; the counters are atomic.
#pragma once
#include <stdint.h>

struct counting_allocator_snapshot {
    int64_t allocations;  // successful malloc/calloc calls and realloc(NULL, n)
    int64_t reallocations;  // realloc of an existing block
    int64_t frees;  // free of a non-null block
    int64_t live_blocks;  // allocations - frees
};

// Installs the counting functions; returns 1 when SDL accepted them.
int counting_allocator_install(void);

// Current counters.
counting_allocator_snapshot counting_allocator_read(void);

// Allocations plus reallocations made since the snapshot was taken.
int64_t counting_allocator_calls_since(const counting_allocator_snapshot &before);
