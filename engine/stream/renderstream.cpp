// Scene framing helpers and the render side's release of finished scenes.
#include "stream/stream.h"

#include <SDL.h>
#include <atomic>
#include <string.h>

namespace
{

// 0 not yet taken, 1 being taken by one thread, 2 fixed.
std::atomic<int> g_offset_state{0};
std::atomic<uint32_t> g_offset_ticks{0};

} // namespace

int renderstream_pack_scene_header(threadstream *scene)
{
    return threadstream_pack_int(scene, 0) && threadstream_pack_int(scene, 1);
}

int renderstream_stamp_scene(threadstream *scene, int32_t time_ms)
{
    if (!scene || scene->length < 8) {
        return 0;
    }
    memcpy(scene->data, &time_ms, 4);
    return 1;
}

int renderstream_queue_scene(threadstream *scene)
{
    threadstream_free(scene);
    return 1;
}

int renderstream_init(void)
{
    return 1;
}

void renderstream_quit(void) {}

uint32_t renderstream_tick_offset(void)
{
    if (g_offset_state.load(std::memory_order_acquire) == 2) {
        return g_offset_ticks.load(std::memory_order_relaxed);
    }
    int expected = 0;
    if (g_offset_state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
        g_offset_ticks.store(SDL_GetTicks(), std::memory_order_relaxed);
        g_offset_state.store(2, std::memory_order_release);
    } else {
        // Another thread is taking the value right now; it needs only a moment.
        while (g_offset_state.load(std::memory_order_acquire) != 2) {
            SDL_Delay(0);
        }
    }
    return g_offset_ticks.load(std::memory_order_relaxed);
}
