// The simulation thread: sixty paced ticks a second, each feeding the input
// batches to the scripts, running the game's tick and queueing one scene.
#include "process/process.h"

#include "audio/audio.h"
#include "input/input.h"
#include "log/log.h"
#include "process/game.h"
#include "process/process_internal.h"
#include "render/render.h"
#include "stream/stream.h"

#include <string.h>
#include <time.h>

namespace {

// Opt-in per-stage timing of the ticks (environment ORV_TIMING=1), logged
// once a second: the stages of the tick, the scene's size, and when each tick
// started against its deadline. When off, every stamp is one branch on a flag
// that never changes.
enum tick_stage { stage_input, stage_tick, stage_gc, stage_pack, stage_finish, stage_count };
constexpr uint32_t timing_ring = 256;  // tick intervals kept for one log line

// What one log line reports: the ticks of about a second.
struct tick_window {
    uint32_t ticks;
    int64_t sum[stage_count], max[stage_count], busy_sum, busy_max;
    uint64_t scene_bytes;
    uint32_t scene_max;
    uint32_t late;  // ticks that started more than 2 ms after their deadline
    int64_t late_max;
    uint32_t intervals;
    uint32_t interval_us[timing_ring];
};

struct tick_timing {
    int on;
    double ms_per_count;
    int64_t due;  // when the current tick should have started
    int64_t stamp[stage_count + 1];
    int64_t previous_start;
    uint32_t window_start_ms, next_log_ms;
    int first_tick_reported;
    struct tick_window w;
};

// Milliseconds on CLOCK_MONOTONIC, comparable with the clocks of other processes.
double monotonic_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

struct simulation_state {
    struct render_context *ctx;
    struct fps_sampler sampler;
    uint32_t next_fps_log_ms;
    struct input_state input;  // touches, pointer memory, focus, quit
    struct tick_timing timing;
};

struct simulation_state g_sim;

// Each log entry of the tick is shown to the scripts before it is published.
void show_log_entry(void *user, int32_t level, uint32_t ticks, const char *subsystem,
                    const char *message)
{
    (void)user;
    game_new_log_entry(level, ticks, subsystem, message);
}

// Takes every waiting event batch, oldest first. Returns 1 when the
// application was asked to quit. With deliver 0 (the application is in the
// background) the events are dropped, but a quit is still honoured.
int drain_events(int deliver)
{
    g_sim.input.quit = 0;
    struct threadstream *batch;
    while ((batch = threadstreamqueue_getitem(g_sim.ctx->event_queue)) != nullptr) {
        const uint32_t count = (uint32_t)threadstream_unpack_int(batch);
        for (uint32_t i = 0; i < count && !threadstream_eos(batch); i++) {
            if (batch->length - batch->read_pos < sizeof(SDL_Event)) {
                break;
            }
            SDL_Event ev;
            memcpy(&ev, batch->data + batch->read_pos, sizeof(ev));
            batch->read_pos += sizeof(ev);
            if (deliver) {
                game_deliver_event(g_sim.ctx, &g_sim.input, &ev);
            } else if (ev.type == SDL_QUIT) {
                g_sim.input.quit = 1;
            }
            if (ev.type == SDL_DROPFILE || ev.type == SDL_DROPTEXT) {
                SDL_free(ev.drop.file);  // the event's text travels with the batch
            }
        }
        threadstream_free(batch);
    }
    return g_sim.input.quit;
}

int reboot(void)
{
    interpreter_bootstrap(g_sim.ctx, process_saved.binary_path, process_saved.argument_line,
                          process_saved.game_dir, process_saved.base_dir);
    game_windowevent_size_changed(g_sim.ctx);
    game_reboot_notify(g_sim.input.mouse_x, g_sim.input.mouse_y, g_sim.input.relative_x,
                       g_sim.input.relative_y);
    threadstream_free(process_current_scene);
    process_current_scene = nullptr;
    return 1;
}

void finish_scene(void)
{
    struct threadstream *scene = process_current_scene;
    process_current_scene = nullptr;
    if (scene->error) {
        threadstream_free(scene);
        return;
    }
    renderstream_stamp_scene(scene, (int32_t)(SDL_GetTicks() - renderstream_tick_offset()));
    threadstreamqueue_putitem(g_sim.ctx->scene_queue, scene);
}

inline void timing_stamp(int stage)
{
    if (g_sim.timing.on) {
        g_sim.timing.stamp[stage] = (int64_t)SDL_GetPerformanceCounter();
    }
}

void timing_report(const struct tick_window *w, uint32_t window_ms, double ms_per_count)
{
    const double n = w->ticks ? (double)w->ticks : 1.0;
    const double k = ms_per_count;
    log_info("Engine",
             "Timing: %u ticks in %u ms; busy %.3f ms (max %.3f): input %.3f, tick %.3f (max %.3f), "
             "gc %.3f (max %.3f), pack %.3f (max %.3f), finish %.3f; scene %llu bytes (max %u); "
             "late %u (max %.3f ms)",
             w->ticks, window_ms, (double)w->busy_sum * k / n, (double)w->busy_max * k,
             (double)w->sum[stage_input] * k / n, (double)w->sum[stage_tick] * k / n,
             (double)w->max[stage_tick] * k, (double)w->sum[stage_gc] * k / n,
             (double)w->max[stage_gc] * k, (double)w->sum[stage_pack] * k / n,
             (double)w->max[stage_pack] * k, (double)w->sum[stage_finish] * k / n,
             (unsigned long long)(w->scene_bytes / (w->ticks ? w->ticks : 1)), w->scene_max,
             w->late, (double)w->late_max * k);
    char line[timing_ring * 11 + 1];
    size_t used = 0;
    line[0] = '\0';
    for (uint32_t i = 0; i < w->intervals; i++) {
        used += (size_t)SDL_snprintf(line + used, sizeof(line) - used, " %u", w->interval_us[i]);
    }
    log_info("Engine", "Timing intervals (us):%s", line);
}

// Adds the stamps of a finished tick; logs once a second.
void timing_finish_tick(void)
{
    struct tick_timing *t = &g_sim.timing;
    struct tick_window *w = &t->w;
    if (!t->first_tick_reported && SDL_AtomicGet(&atomic_last_completed_global_tick_count) >= 0) {
        // The game's own first tick: the ones before it only load the game.
        t->first_tick_reported = 1;
        log_info("Engine", "Timing: first game tick done at %.3f ms (monotonic clock)",
                 monotonic_ms());
    }
    for (int i = 0; i < stage_count; i++) {
        const int64_t d = t->stamp[i + 1] - t->stamp[i];
        w->sum[i] += d;
        w->max[i] = d > w->max[i] ? d : w->max[i];
    }
    const int64_t busy = t->stamp[stage_count] - t->stamp[0];
    w->busy_sum += busy;
    w->busy_max = busy > w->busy_max ? busy : w->busy_max;
    const int64_t late = t->stamp[0] - t->due;
    if ((double)late * t->ms_per_count > 2.0) {
        w->late++;
    }
    w->late_max = late > w->late_max ? late : w->late_max;
    if (t->previous_start != 0 && w->intervals < timing_ring) {
        const double us = (double)(t->stamp[0] - t->previous_start) * t->ms_per_count * 1000.0;
        w->interval_us[w->intervals++] = (uint32_t)(us + 0.5);
    }
    t->previous_start = t->stamp[0];
    w->ticks++;
    const uint32_t now = SDL_GetTicks();
    if ((int32_t)(t->next_log_ms - now) <= 0) {
        timing_report(w, now - t->window_start_ms, t->ms_per_count);
        *w = tick_window{};
        t->window_start_ms = now;
        t->next_log_ms = now + 1000;
    }
}

}  // namespace

int simulation_iteration(void)
{
    if (SDL_AtomicGet(&sleep_occurred_flag)) {
        // In the background no tick runs, but a quit must not be missed.
        return drain_events(0) ? 0 : 1;
    }
    timing_stamp(stage_input);
    process_current_scene = threadstream_allocate();
    if (!process_current_scene) {
        return 0;
    }
    renderstream_pack_scene_header(process_current_scene);

    const uint32_t simulation_fps = fps_iteration(&g_sim.sampler);
    const uint32_t render_fps = (uint32_t)SDL_AtomicGet(&g_sim.ctx->render_fps);
    if ((int32_t)(g_sim.next_fps_log_ms - SDL_GetTicks()) <= 0) {
        g_sim.next_fps_log_ms += 1000;
        log_spam("Engine", "Simulation fps: %u", simulation_fps);
        log_spam("Render", "Render fps: %u", render_fps);
    }

    const int arena = game_arena_save();
    game_current_fps(simulation_fps, render_fps);
    if (game_reboot_requested()) {
        return reboot();
    }

    // FIXME: controller key transitions for players 1-4 join here.
    const int quit_event = drain_events(1);
    // FIXME: controller sampling and the sixteen analog-stick calls join here
    // with controller support.
    game_report_vr_positions();
    // FIXME: httpserver_tick() and its request delivery join here with the
    // HTTP server (requests that fail the delivery check wait for a later tick).

    SDL_AtomicSet(&atomic_resize_occurred, 0);
    if (SDL_AtomicGet(&g_sim.ctx->ready) && SDL_AtomicGet(&g_sim.ctx->sizes_changed)) {
        game_windowevent_size_changed(g_sim.ctx);
        SDL_AtomicSet(&g_sim.ctx->sizes_changed, 0);
    }

    timing_stamp(stage_tick);
    game_tick();
    timing_stamp(stage_gc);
    game_incremental_gc();
    // FIXME: reconciling the game's audio outputs with sources joins here.
    audio_tick();
    timing_stamp(stage_pack);
    game_pack_render_passes(g_sim.ctx, process_current_scene);
    timing_stamp(stage_finish);
    if (g_sim.timing.on) {
        const uint32_t bytes = (uint32_t)process_current_scene->length;
        struct tick_window *w = &g_sim.timing.w;
        w->scene_bytes += bytes;
        w->scene_max = bytes > w->scene_max ? bytes : w->scene_max;
    }
    finish_scene();
    // FIXME: http_tick() joins here with the HTTP client.

    const int quit_requested = game_quit_requested();
    log_hand_off_pending(show_log_entry, nullptr);
    game_arena_restore(arena);
    game_publish_tick_counts(g_sim.ctx);
    if (g_sim.timing.on) {
        timing_stamp(stage_count);
        timing_finish_tick();
    }

    return !(quit_requested || quit_event);
}

int simulation_thread_main(void *render_context)
{
    input_state_reset(&g_sim.input);
    g_sim = simulation_state{};
    g_sim.ctx = (struct render_context *)render_context;
    g_sim.input.a11y_activation_at = &atomic_a11y_activation_occurred_at;
    g_sim.input.mouse_focus = g_sim.input.keyboard_focus = 1;
    g_sim.next_fps_log_ms = 1000;
    const char *timing = SDL_getenv("ORV_TIMING");
    g_sim.timing.on = timing && SDL_atoi(timing) != 0;
    g_sim.timing.ms_per_count = 1000.0 / (double)SDL_GetPerformanceFrequency();
    g_sim.timing.window_start_ms = SDL_GetTicks();
    g_sim.timing.next_log_ms = g_sim.timing.window_start_ms + 1000;
    process_install_signal_stack();
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);

    const int64_t frequency = (int64_t)SDL_GetPerformanceFrequency();
    const int64_t interval = (frequency / 4) / 15;
    const int64_t one_ms = frequency / 1000;
    int64_t deadline = (int64_t)SDL_GetPerformanceCounter();
    const uint32_t started_ms = SDL_GetTicks();
    uint32_t ticks = 0;

    while (!SDL_AtomicGet(&simulation_stopped)) {
        deadline += interval;
        if (SDL_AtomicCAS(&atomic_is_first_simulation_iteration, 1, 0)) {
            SDL_Delay(1);
        }
        ticks++;
        if (g_sim.timing.on) {
            g_sim.timing.due = deadline - interval;
        }
        if (!simulation_iteration()) {
            break;
        }
        int64_t now = (int64_t)SDL_GetPerformanceCounter();
        if (SDL_AtomicCAS(&wake_occurred_flag, 1, 0)) {
            // Back from the background: missed ticks are not caught up.
            deadline = now - one_ms;
        }
        if (deadline - now >= 1) {
            while (deadline - (int64_t)SDL_GetPerformanceCounter() >= 2 * one_ms) {
                SDL_Delay(1);
            }
            while (deadline - (int64_t)SDL_GetPerformanceCounter() >= 1) {
                // spin for the last two milliseconds
            }
        }
    }
    input_state_reset(&g_sim.input);
    log_debug("Engine", "Simulation ran %u ticks in %u ms", ticks, SDL_GetTicks() - started_ms);
    SDL_AtomicSet(&simulation_stopped, 1);
    return 0;
}
