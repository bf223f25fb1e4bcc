// The render loop on the main thread: event capture, taking the newest scene,
// drawing it and presenting, while the simulation thread ticks on its own.
#include "process/process.h"

#include "config/config.h"
#include "janitor/janitor.h"
#include "log/log.h"
#include "process/process_internal.h"
#include "render/render.h"
#include "stream/stream.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

SDL_atomic_t simulation_stopped;

namespace {

// One event record in a batch: the platform event as it is.
constexpr size_t event_record_size = 56;
static_assert(sizeof(SDL_Event) == event_record_size, "event records are 56 bytes");

enum scene_mode { scene_normal, scene_catch_up, scene_repeat };

struct render_loop_state {
    int last_drawn_tick;  // -2: a value no tick reports
    struct fps_sampler sampler;
    // Frame statistics, logged at spam level once a second.
    uint32_t next_stats_ms;
    uint32_t drawn, caught_up, repeated;
    int queue_peak;
};

struct render_loop_state g_loop = {-2, {}, 1000, 0, 0, 0, 0};

// Opt-in timing of the frames (environment ORV_TIMING=1), logged once a
// second: event capture, scene execution (catch-up scenes included) and
// present. When off, each stamp is one branch on a flag that never changes.
struct frame_timing {
    int on;
    int first_frame_reported;
    double ms_per_count;
    uint32_t window_start_ms, next_log_ms;
    uint32_t frames;
    int64_t events_sum, scenes_sum, scenes_max, present_sum, present_max;
};

struct frame_timing g_frame_timing;

void frame_timing_add(int64_t start, int64_t events_done, int64_t scenes_done, int tick)
{
    struct frame_timing *t = &g_frame_timing;
    const int64_t end = (int64_t)SDL_GetPerformanceCounter();
    if (!t->first_frame_reported && tick >= 0) {
        // The first frame that shows a scene of the game.
        t->first_frame_reported = 1;
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        log_info("Render", "Timing: first frame presented at %.3f ms (monotonic clock)",
                 (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6);
    }
    const int64_t scenes = scenes_done - events_done;
    const int64_t present = end - scenes_done;
    t->events_sum += events_done - start;
    t->scenes_sum += scenes;
    t->scenes_max = scenes > t->scenes_max ? scenes : t->scenes_max;
    t->present_sum += present;
    t->present_max = present > t->present_max ? present : t->present_max;
    t->frames++;
    const uint32_t now = SDL_GetTicks();
    if ((int32_t)(t->next_log_ms - now) <= 0) {
        const double n = (double)t->frames, k = t->ms_per_count;
        log_info("Render",
                 "Timing: %u frames in %u ms; events %.3f ms, scenes %.3f ms (max %.3f), "
                 "present %.3f ms (max %.3f)",
                 t->frames, now - t->window_start_ms, (double)t->events_sum * k / n,
                 (double)t->scenes_sum * k / n, (double)t->scenes_max * k,
                 (double)t->present_sum * k / n, (double)t->present_max * k);
        t->window_start_ms = now;
        t->next_log_ms = now + 1000;
        t->frames = 0;
        t->events_sum = t->scenes_sum = t->scenes_max = t->present_sum = t->present_max = 0;
    }
}

void count_scenes(int waiting, enum scene_mode mode)
{
    if (waiting > g_loop.queue_peak) {
        g_loop.queue_peak = waiting;
    }
    if (waiting > 1) {
        g_loop.caught_up += (uint32_t)(waiting - 1);
    }
    (mode == scene_repeat ? g_loop.repeated : g_loop.drawn)++;
    const uint32_t now = SDL_GetTicks();
    if ((int32_t)(g_loop.next_stats_ms - now) <= 0) {
        g_loop.next_stats_ms = now + 1000;
        log_spam("Render", "Scenes: %u drawn, %u caught up, %u repeated; queue peak %d",
                 g_loop.drawn, g_loop.caught_up, g_loop.repeated, g_loop.queue_peak);
        g_loop.drawn = g_loop.caught_up = g_loop.repeated = 0;
        g_loop.queue_peak = 0;
    }
}

void handle_window_resize(struct render_context *ctx, const SDL_Event *ev)
{
    SDL_AtomicSet(&atomic_resize_occurred, 1);
    if (cvar_game_metadata_orientation_both && ev->window.data2 > 0) {
        struct render_sizes sizes;
        render_context_get_sizes(ctx, &sizes);
        const double r = (double)ev->window.data1 / (double)ev->window.data2;
        const char *next = nullptr;
        if (sizes.landscape && r < 0.8) {
            next = "portrait";
        } else if (!sizes.landscape && r > 0.8) {
            next = "landscape";
        }
        if (next) {
            cvar_set_forced("game_metadata.orientation_current", next);
            render_context_update_orientation(ctx);
        }
    }
    render_context_update_sizes(ctx);
}

// Polls every pending platform event into one batch for the simulation thread.
void capture_events(struct render_context *ctx)
{
    struct threadstream *batch = threadstream_allocate();
    if (!batch) {
        return;
    }
    // FIXME: a pending accessibility activation is pushed as the first event
    // once screen-reader support exists.
    threadstream_pack_int(batch, 0);  // count, written below
    uint32_t count = 0;
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        switch (ev.type) {
        case SDL_APP_WILLENTERBACKGROUND:
            SDL_AtomicSet(&sleep_occurred_flag, 1);
            SDL_AtomicSet(&wake_occurred_flag, 0);
            break;
        case SDL_APP_DIDENTERFOREGROUND:
            SDL_AtomicSet(&sleep_occurred_flag, 0);
            SDL_AtomicSet(&wake_occurred_flag, 1);
            break;
        case SDL_RENDER_TARGETS_RESET:
            // Target contents are gone; the passes recreate them next time.
            render_context_recover_render_targets(ctx);
            break;
        case SDL_RENDER_DEVICE_RESET:
            // Every texture is gone; images reload lazily, fonts now.
            render_context_recover_textures(ctx);
            render_context_recover_render_targets(ctx);
            break;
        case SDL_WINDOWEVENT:
            if (ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
                ev.window.windowID == ctx->window_id) {
                handle_window_resize(ctx, &ev);
            }
            break;
        default:
            break;
        }
        if (!threadstream_claim_space(batch, event_record_size)) {
            continue;  // error is set; the batch is dropped below
        }
        memcpy(batch->data + batch->length, &ev, event_record_size);
        batch->length += event_record_size;
        count++;
    }
    memcpy(batch->data, &count, sizeof(count));
    if (count == 0 || batch->error) {
        threadstream_free(batch);
    } else {
        threadstreamqueue_putitem(ctx->event_queue, batch);
    }
}

// Runs one scene. Catch-up scenes only apply their state changes; normal and
// repeated scenes draw.
void execute_scene(struct render_context *ctx, struct threadstream *scene, enum scene_mode mode)
{
    ::execute_scene(ctx, scene, mode == scene_catch_up, mode == scene_repeat);
    // Window commands of the scene resized the window: tell the simulation.
    if (SDL_AtomicSet(&ctx->resize_requested, 0)) {
        SDL_AtomicSet(&atomic_resize_occurred, 1);
    }
}

void draw_scenes(struct render_context *ctx)
{
    const int waiting = threadstreamqueue_getcount(ctx->scene_queue);
    enum scene_mode mode = scene_repeat;
    if (waiting >= 1) {
        renderstream_queue_scene(ctx->current_scene);
        ctx->current_scene = threadstreamqueue_getitem(ctx->scene_queue);
        for (int i = 1; i < waiting && ctx->current_scene; i++) {
            execute_scene(ctx, ctx->current_scene, scene_catch_up);
            renderstream_queue_scene(ctx->current_scene);
            ctx->current_scene = threadstreamqueue_getitem(ctx->scene_queue);
        }
        mode = scene_normal;
    }
    count_scenes(waiting, mode);

    if (!ctx->current_scene) {
        SDL_SetRenderDrawColor(ctx->renderer, 0, 0, 0, 255);
        SDL_RenderClear(ctx->renderer);
        return;
    }
    ctx->frame_uncleared = 1;
    execute_scene(ctx, ctx->current_scene, mode);
    if (ctx->frame_uncleared) {
        SDL_SetRenderDrawColor(ctx->renderer, ctx->clear_r, ctx->clear_g, ctx->clear_b, 255);
        SDL_RenderClear(ctx->renderer);
    }
    ctx->current_scene->read_pos = 0;
}

}  // namespace

uint32_t fps_iteration(struct fps_sampler *s)
{
    const uint32_t now = SDL_GetTicks();
    s->frames_since_sample++;
    uint32_t elapsed = now - s->last_sample_ms;
    if (elapsed >= 125) {
        s->total_ms = s->total_ms - s->ring_ms[s->index] + elapsed;
        s->total_frames = s->total_frames - s->ring_frames[s->index] + s->frames_since_sample;
        s->ring_ms[s->index] = elapsed;
        s->ring_frames[s->index] = s->frames_since_sample;
        s->last_sample_ms = now;
        s->index = (s->index + 1) & 7;
        s->frames_since_sample = 0;
        elapsed = 0;
    }
    const uint32_t ms = s->total_ms + elapsed;
    if (ms == 0) {
        return 0;
    }
    const double frames = (double)s->total_frames + (double)s->frames_since_sample;
    return (uint32_t)(frames / ((double)ms / 1000.0) + 0.5);
}

void draw_iteration(struct render_context *ctx)
{
    if (!ctx) {
        return;
    }
    const int t = SDL_AtomicGet(&atomic_last_completed_global_tick_count);
    const int background = SDL_AtomicGet(&sleep_occurred_flag);
    if (!background && t >= 0 && t == g_loop.last_drawn_tick) {
        SDL_Delay(1);
        return;
    }

    int64_t stamps[3] = {0, 0, 0};
    if (g_frame_timing.on) {
        stamps[0] = (int64_t)SDL_GetPerformanceCounter();
    }
    capture_events(ctx);
    if (g_frame_timing.on) {
        stamps[1] = (int64_t)SDL_GetPerformanceCounter();
    }
    draw_scenes(ctx);
    if (g_frame_timing.on) {
        stamps[2] = (int64_t)SDL_GetPerformanceCounter();
    }
    // Screenshots were read back inside the scene executor, before presenting.
    SDL_RenderPresent(ctx->renderer);
    if (g_frame_timing.on) {
        frame_timing_add(stamps[0], stamps[1], stamps[2], t);
    }

    ctx->keyboard_focus = (SDL_GetWindowFlags(ctx->window) & SDL_WINDOW_INPUT_FOCUS) != 0;
    if (!ctx->keyboard_focus && cvar_renderer_background_sleep != 0) {
        SDL_Delay(cvar_renderer_background_sleep);
    }
    SDL_AtomicSet(&ctx->render_fps, (int)fps_iteration(&g_loop.sampler));
    g_loop.last_drawn_tick = t;
}

void process_run(void)
{
    struct render_context *ctx = process_render_context;
    SDL_AtomicSet(&wake_occurred_flag, 0);
    SDL_AtomicSet(&sleep_occurred_flag, 0);
    SDL_AtomicSet(&atomic_resize_occurred, 0);
    SDL_AtomicSet(&atomic_a11y_activation_occurred_at, 0);
    SDL_AtomicSet(&simulation_stopped, 0);
    const char *timing = SDL_getenv("ORV_TIMING");
    g_frame_timing.on = timing && SDL_atoi(timing) != 0;
    g_frame_timing.ms_per_count = 1000.0 / (double)SDL_GetPerformanceFrequency();
    g_frame_timing.window_start_ms = SDL_GetTicks();
    g_frame_timing.next_log_ms = g_frame_timing.window_start_ms + 1000;

    draw_iteration(ctx);
    SDL_Thread *simulation = SDL_CreateThreadWithStackSize(
        simulation_thread_main, "simulation", 8 * 1024 * 1024, ctx);
    if (!simulation) {
        startup_failure("Couldn't create simulation thread: %s", SDL_GetError());
    }
    while (!SDL_AtomicGet(&simulation_stopped)) {
        draw_iteration(ctx);
        janitor_tick();
    }
    SDL_WaitThread(simulation, nullptr);
    draw_iteration(ctx);
    renderstream_queue_scene(ctx->current_scene);
    ctx->current_scene = nullptr;
    exit(process_shutdown());
}
