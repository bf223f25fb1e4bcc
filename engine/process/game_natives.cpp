// The game record, the interpreter bootstrap and every call the process loops
// make into the runtime object. Each call into script code runs under
// protection: an exception raised or left pending is logged and cleared, so
// it never leaks into the next call.
#include "process/game.h"

#include "config/config.h"
#include "framework_image.h"
#include "input/input_natives.h"
#include "log/log.h"
#include "natives/natives.h"
#include "process/interpreter_natives.h"
#include "process/process.h"
#include "process/texture_atlas.h"
#include "render/draw_natives.h"
#include "render/render.h"
#include "stream/pack.h"
#include "stream/stream.h"
#include "stream/stream_ruby.h"

#include <SDL.h>
#include <atomic>
#include <mruby.h>
#include <mruby/array.h>
#include <mruby/class.h>
#include <mruby/compile.h>
#include <mruby/error.h>
#include <mruby/hash.h>
#include <mruby/irep.h>
#include <mruby/string.h>
#include <mruby/variable.h>

namespace
{

// Symbols of the methods the engine calls, interned once per interpreter.
struct game_symbols {
    mrb_sym sdl_tick;
    mrb_sym current_fps;
    mrb_sym reboot_requested;
    mrb_sym windowevent_size_changed;
    mrb_sym reboot;
    mrb_sym tick_count;
    mrb_sym global_tick_count;
    mrb_sym quit;
    mrb_sym quit_bang;
    mrb_sym quit_requested_p;
    mrb_sym new_log_entry;
    mrb_sym pixel_arrays;
    mrb_sym passes;
    mrb_sym take_screenshot;
    mrb_sym target;
    mrb_sym render_transient;
    mrb_sym render_width;
    mrb_sym render_height;
    mrb_sym background_color;
    mrb_sym clear_before_render;
    mrb_sym primitives;
    mrb_sym draw_screenshots;
    mrb_sym ffi_draw;
    mrb_sym get_texture_atlas;
    mrb_sym exit_status;
    mrb_sym new_;
};

// A cvar registered on another thread, waiting to reach $cvars.
struct pending_cvar {
    char *name;
    pending_cvar *next;
};

struct game_record {
    int32_t buttons[4][30]; // per-player button state, read by controller support
    mrb_state *mrb;
    mrb_value runtime;
    mrb_value draw;
    struct RClass *open_entity;
    struct RClass *strict_entity;
    struct RClass *attr_sprite;
    struct RClass *top_level_outputs;
    struct RClass *zel_runtime;
    mrb_value argv_str;
    mrb_value binary_path_str;
    int production;
    int exit_status; // status the process should end with, from the last quit!
    game_symbols sym;
};

game_record g_game;

// The thread currently running the interpreter: cvar registrations from any
// other thread are queued instead of touching it.
std::atomic<SDL_threadID> g_owner{0};
SDL_SpinLock g_pending_lock;
pending_cvar *g_pending_cvars;

const char *const cvar_type_names[] = {nullptr, "string", "int", "uint", "float", "bool"};

void *game_allocf(mrb_state *, void *p, size_t size, void *)
{
    if (size == 0) {
        SDL_free(p);
        return nullptr;
    }
    return SDL_realloc(p, size);
}

mrb_value int64_value(mrb_state *mrb, int64_t v)
{
    if (v >= (int64_t)MRB_INT_MIN && v <= (int64_t)MRB_INT_MAX) {
        return mrb_int_value(mrb, (mrb_int)v);
    }
    return mrb_float_value(mrb, (mrb_float)v);
}

int32_t value_to_int(mrb_value v)
{
    return threadstream_ruby_to_int(v, 0);
}

void claim_thread(void)
{
    g_owner.store(SDL_ThreadID());
}

struct call_request {
    mrb_value recv;
    mrb_sym name;
    mrb_int argc;
    const mrb_value *argv;
};

mrb_value call_body(mrb_state *mrb, void *ud)
{
    const call_request *c = (const call_request *)ud;
    return mrb_funcall_argv(mrb, c->recv, c->name, c->argc, c->argv);
}

// Calls recv.name(*argv) under protection. On an exception the result is nil,
// *failed (when given) is 1 and the exception has been logged and cleared.
mrb_value protected_call(mrb_value recv, mrb_sym name, mrb_int argc, const mrb_value *argv,
                         int *failed = nullptr)
{
    mrb_state *mrb = g_game.mrb;
    call_request c{recv, name, argc, argv};
    mrb_bool error = FALSE;
    mrb_value result = mrb_protect_error(mrb, call_body, &c, &error);
    if (error) {
        mrb->exc = mrb_obj_ptr(result);
    }
    if (mrb->exc) {
        interpreter_report_pending_exception(mrb, mrb_sym_name(mrb, name));
        if (failed) {
            *failed = 1;
        }
        return mrb_nil_value();
    }
    if (failed) {
        *failed = 0;
    }
    return result;
}

mrb_value call_runtime(mrb_sym name, mrb_int argc = 0, const mrb_value *argv = nullptr)
{
    return protected_call(g_game.runtime, name, argc, argv);
}

mrb_value call_runtime_fn(mrb_sym name, mrb_int argc, const mrb_value *argv)
{
    return call_runtime(name, argc, argv);
}

// Adds $cvars[name] = ZelCvar.new(name, description, type name). Runs under
// protection; anything but a Hash in $cvars, or an unknown type, is skipped.
struct cvar_request {
    const char *name;
    const char *description;
    int type;
};

mrb_value add_cvar_body(mrb_state *mrb, void *ud)
{
    const cvar_request *r = (const cvar_request *)ud;
    mrb_value cvars = mrb_gv_get(mrb, mrb_intern_lit(mrb, "$cvars"));
    if (!mrb_hash_p(cvars)) {
        return mrb_nil_value();
    }
    struct RClass *cls = mrb_class_get(mrb, "ZelCvar");
    mrb_value args[3] = {
        mrb_str_new_cstr(mrb, r->name),
        mrb_str_new_cstr(mrb, r->description ? r->description : ""),
        mrb_str_new_cstr(mrb, cvar_type_names[r->type]),
    };
    mrb_value cvar = mrb_obj_new(mrb, cls, 3, args);
    mrb_hash_set(mrb, cvars, args[0], cvar);
    return mrb_nil_value();
}

void add_cvar(const char *name, const char *description, int type)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb || type < CVAR_TYPE_STRING || type > CVAR_TYPE_BOOL || !name) {
        return;
    }
    const int ai = mrb_gc_arena_save(mrb);
    cvar_request r{name, description, type};
    mrb_bool error = FALSE;
    mrb_value result = mrb_protect_error(mrb, add_cvar_body, &r, &error);
    if (error) {
        mrb->exc = mrb_obj_ptr(result);
        interpreter_report_pending_exception(mrb, "the cvar callback");
    }
    mrb_gc_arena_restore(mrb, ai);
}

void cvar_callback(void *, const char *name, const char *description, int type)
{
    if (!g_game.mrb || type < CVAR_TYPE_STRING || type > CVAR_TYPE_BOOL || !name) {
        return;
    }
    if (SDL_ThreadID() == g_owner.load()) {
        add_cvar(name, description, type);
        return;
    }
    pending_cvar *p = (pending_cvar *)SDL_malloc(sizeof(pending_cvar));
    char *copy = SDL_strdup(name);
    if (!p || !copy) {
        SDL_free(p);
        SDL_free(copy);
        log_error("Engine", "Out of memory; cvar '%s' is missing from $cvars.", name);
        return;
    }
    p->name = copy;
    SDL_AtomicLock(&g_pending_lock);
    p->next = g_pending_cvars;
    g_pending_cvars = p;
    SDL_AtomicUnlock(&g_pending_lock);
}

void drain_pending_cvars(void)
{
    SDL_AtomicLock(&g_pending_lock);
    pending_cvar *list = g_pending_cvars;
    g_pending_cvars = nullptr;
    SDL_AtomicUnlock(&g_pending_lock);
    while (list) {
        pending_cvar *next = list->next;
        int type = 0;
        const char *description = nullptr;
        if (g_game.mrb && cvar_get(list->name, &type, &description)) {
            add_cvar(list->name, description, type);
        }
        SDL_free(list->name);
        SDL_free(list);
        list = next;
    }
}

void intern_symbols(mrb_state *mrb)
{
    game_symbols &s = g_game.sym;
    s.sdl_tick = mrb_intern_lit(mrb, "__sdl_tick__");
    s.current_fps = mrb_intern_lit(mrb, "current_fps");
    s.reboot_requested = mrb_intern_lit(mrb, "reboot_requested");
    s.windowevent_size_changed = mrb_intern_lit(mrb, "windowevent_size_changed");
    s.reboot = mrb_intern_lit(mrb, "__reboot__");
    s.tick_count = mrb_intern_lit(mrb, "__tick_count__");
    s.global_tick_count = mrb_intern_lit(mrb, "__global_tick_count__");
    s.quit = mrb_intern_lit(mrb, "quit");
    s.quit_bang = mrb_intern_lit(mrb, "quit!");
    s.quit_requested_p = mrb_intern_lit(mrb, "quit_requested?");
    s.new_log_entry = mrb_intern_lit(mrb, "new_log_entry");
    s.pixel_arrays = mrb_intern_lit(mrb, "pixel_arrays");
    s.passes = mrb_intern_lit(mrb, "passes");
    s.take_screenshot = mrb_intern_lit(mrb, "take_screenshot");
    s.target = mrb_intern_lit(mrb, "target");
    s.render_transient = mrb_intern_lit(mrb, "render_transient");
    s.render_width = mrb_intern_lit(mrb, "render_width");
    s.render_height = mrb_intern_lit(mrb, "render_height");
    s.background_color = mrb_intern_lit(mrb, "background_color");
    s.clear_before_render = mrb_intern_lit(mrb, "clear_before_render");
    s.primitives = mrb_intern_lit(mrb, "primitives");
    s.draw_screenshots = mrb_intern_lit(mrb, "draw_screenshots");
    s.ffi_draw = mrb_intern_lit(mrb, "ffi_draw");
    s.get_texture_atlas = mrb_intern_lit(mrb, "get_texture_atlas");
    s.exit_status = mrb_intern_lit(mrb, "exit_status");
    s.new_ = mrb_intern_lit(mrb, "new");
}

// Step 4: the strings, the button tables and the class handles. Looking up a
// constant of the wrong kind raises the interpreter's TypeError.
void game_pre_init(mrb_state *mrb, const char *binary_path, const char *argument_line)
{
    intern_symbols(mrb);
    SDL_memset(g_game.buttons, 0, sizeof(g_game.buttons));
    g_game.binary_path_str = mrb_str_new_cstr(mrb, binary_path ? binary_path : "");
    mrb_gc_register(mrb, g_game.binary_path_str);
    g_game.argv_str = mrb_str_new_cstr(mrb, argument_line ? argument_line : "");
    mrb_gc_register(mrb, g_game.argv_str);
    g_game.zel_runtime = mrb_class_get(mrb, "ZelRuntime");
    g_game.attr_sprite = mrb_module_get(mrb, "AttrSprite");
    g_game.top_level_outputs = mrb_class_get(mrb, "ZelTopLevelOutputs");
    struct RClass *zel = mrb_module_get(mrb, "Zel");
    g_game.open_entity = mrb_class_get_under(mrb, zel, "OpenEntity");
    g_game.strict_entity = mrb_class_get_under(mrb, zel, "StrictEntity");
}

// Step 11: the runtime object, its draw object and the cvar callback.
mrb_value game_init(mrb_state *mrb, int32_t logical_w, int32_t logical_h, int landscape, int a11y)
{
    const char *platform = SDL_GetPlatform();
    if (SDL_GetHintBoolean("SteamDeck", SDL_FALSE)) {
        platform = "Steam Deck";
    }
    g_game.production = cvar_game_metadata_deployment ? 1 : 0;
    mrb_value args[11] = {
        mrb_str_new_cstr(mrb, platform ? platform : ""),
        mrb_bool_value(g_game.production != 0),
        mrb_int_value(mrb, (mrb_int)cvar_game_metadata_vrmode),
        mrb_int_value(mrb, (mrb_int)logical_w),
        mrb_int_value(mrb, (mrb_int)logical_h),
        g_game.argv_str,
        g_game.binary_path_str,
        mrb_float_value(mrb, -43.0),
        mrb_symbol_value(mrb_intern_cstr(mrb, landscape ? "landscape" : "portrait")),
        mrb_bool_value(cvar_game_metadata_remote_hotload != 0),
        mrb_bool_value(a11y != 0),
    };
    g_game.runtime = mrb_obj_new(mrb, g_game.zel_runtime, 11, args);
    mrb_gc_register(mrb, g_game.runtime);
    g_game.draw = mrb_funcall_argv(mrb, g_game.runtime, g_game.sym.ffi_draw, 0, nullptr);
    mrb_gc_register(mrb, g_game.draw);
    cvar_set_register_callback(cvar_callback, nullptr);
    return g_game.draw;
}

// Step 13: copies the framework's atlas Hash into the engine's table.
void load_texture_atlases(mrb_state *mrb)
{
    texture_atlas_clear();
    if (!cvar_game_metadata_hd) {
        return;
    }
    if (!mrb_respond_to(mrb, g_game.runtime, g_game.sym.get_texture_atlas)) {
        return;
    }
    mrb_value dir = mrb_str_new_cstr(
        mrb, cvar_game_metadata_sprites_directory ? cvar_game_metadata_sprites_directory : "");
    mrb_value atlas = mrb_funcall_argv(mrb, g_game.runtime, g_game.sym.get_texture_atlas, 1, &dir);
    if (!mrb_hash_p(atlas)) {
        return;
    }
    mrb_value pairs = mrb_funcall(mrb, atlas, "to_a", 0);
    for (mrb_int i = 0; mrb_array_p(pairs) && i < RARRAY_LEN(pairs); i++) {
        const int ai = mrb_gc_arena_save(mrb);
        mrb_value pair = mrb_ary_entry(pairs, i);
        mrb_value key = mrb_ary_entry(pair, 0);
        mrb_value levels = mrb_ary_entry(pair, 1);
        if (mrb_string_p(key) && mrb_hash_p(levels)) {
            struct texture_atlas_entry *e = texture_atlas_add(mrb_string_value_cstr(mrb, &key));
            for (int l = 0; e && l < TEXTURE_ATLAS_LEVELS; l++) {
                char name[40];
                SDL_snprintf(name, sizeof(name), "texture_%d", (int)texture_atlas_levels[l]);
                mrb_value path =
                    mrb_hash_get(mrb, levels, mrb_symbol_value(mrb_intern_cstr(mrb, name)));
                SDL_snprintf(name, sizeof(name), "texture_%d_scale_enum",
                             (int)texture_atlas_levels[l]);
                mrb_value scale =
                    mrb_hash_get(mrb, levels, mrb_symbol_value(mrb_intern_cstr(mrb, name)));
                const char *p = mrb_string_p(path) ? mrb_string_value_cstr(mrb, &path) : nullptr;
                if (!texture_atlas_set_level(e, l, p, value_to_int(scale))) {
                    log_error("Engine", "Out of memory while reading texture atlases.");
                }
            }
        }
        mrb_gc_arena_restore(mrb, ai);
    }
}

struct bootstrap_request {
    struct render_context *ctx;
    const char *binary_path;
    const char *argument_line;
    const char *game_dir;
    const char *base_dir;
};

// Steps 4 to 13, under one protection: any raise ends the bootstrap.
mrb_value bootstrap_body(mrb_state *mrb, void *ud)
{
    const bootstrap_request *r = (const bootstrap_request *)ud;
    game_pre_init(mrb, r->binary_path, r->argument_line);
    events_init(mrb);
    if (!ffi_init(r->game_dir, r->base_dir, mrb, r->ctx)) {
        mrb_raise(mrb, E_RUNTIME_ERROR, "the FFI module could not be defined");
    }
    // The accessibility event type, the screenshot directory, and the ready
    // flag cleared: windowevent_size_changed waits until the executor has run
    // a grid command of the new run.
    draw_init(r->ctx, r->game_dir);
    // FIXME: the pending accessibility activation text is cleared here.
    interpreter_register_runtime_natives(mrb);
    struct RClass *draw = mrb_class_get_under(mrb, mrb_module_get(mrb, "FFI"), "Draw");
    // Drawing commands go into the scene being built: the first scene during
    // start-up, each tick's scene afterwards.
    draw_natives_register(mrb, draw, r->ctx, &process_current_scene);
    // The packers' symbols and class handles, and draw_sprite_hash.
    const struct pack_settings pack = {&process_current_scene, get_texture_atlas_value,
                                       &cvar_game_metadata_scale_quality};
    if (!pack_init(mrb, &pack)) {
        mrb_raise(mrb, E_RUNTIME_ERROR, "the packers could not be set up");
    }
    // FIXME: update_simulation_audio_state joins here.
    struct render_sizes sizes = {1280, 720, 1280, 720, 1280, 720, 0, 0, 100, 1.0f, 1.0f, 1.0f, 1};
    if (r->ctx) {
        render_context_get_sizes(r->ctx, &sizes);
    }
    game_init(mrb, sizes.logical_w, sizes.logical_h, sizes.landscape, 0);
    mrb_load_string(mrb, "def tick args; end;");
    if (mrb->exc) {
        struct RObject *exc = mrb->exc;
        mrb->exc = nullptr;
        mrb_exc_raise(mrb, mrb_obj_value(exc));
    }
    load_texture_atlases(mrb);
    return mrb_nil_value();
}

void close_interpreter(void)
{
    // The callback would point into the closed interpreter.
    cvar_set_register_callback(nullptr, nullptr);
    drain_pending_cvars();
    texture_atlas_clear();
    if (g_game.mrb) {
        mrb_close(g_game.mrb);
    }
    g_game.mrb = nullptr;
    g_game.runtime = mrb_nil_value();
    g_game.draw = mrb_nil_value();
    g_game.argv_str = mrb_nil_value();
    g_game.binary_path_str = mrb_nil_value();
    g_game.open_entity = g_game.strict_entity = nullptr;
    g_game.attr_sprite = g_game.top_level_outputs = g_game.zel_runtime = nullptr;
}

int truthy_call(mrb_sym name)
{
    if (!g_game.mrb) {
        return 0;
    }
    const int ai = mrb_gc_arena_save(g_game.mrb);
    const int result = mrb_test(call_runtime(name)) ? 1 : 0;
    mrb_gc_arena_restore(g_game.mrb, ai);
    return result;
}

} // namespace

int interpreter_bootstrap(struct render_context *ctx, const char *binary_path,
                          const char *argument_line, const char *game_dir, const char *base_dir)
{
    close_interpreter();
    claim_thread();
    mrb_state *mrb = mrb_open_allocf(game_allocf, nullptr);
    if (!mrb) {
        log_error("Engine", "Couldn't create the Ruby interpreter.");
        SDL_SetError("the interpreter could not be created");
        return 0;
    }
    g_game.mrb = mrb;

    mrb_load_irep_buf(mrb, main_ruby, main_ruby_size);
    if (mrb->exc) {
        // Without the framework nothing that follows can work.
        char text[1024];
        interpreter_describe_pending_exception(mrb, text, sizeof(text));
        log_error("Engine", "The framework image could not be run: %s", text);
        SDL_SetError("the framework image could not be run: %s", text);
        close_interpreter();
        return 0;
    }

    bootstrap_request request{ctx, binary_path, argument_line, game_dir, base_dir};
    mrb_bool error = FALSE;
    mrb_value result = mrb_protect_error(mrb, bootstrap_body, &request, &error);
    if (error || mrb->exc) {
        if (error) {
            mrb->exc = mrb_obj_ptr(result);
        }
        char text[1024];
        interpreter_describe_pending_exception(mrb, text, sizeof(text));
        log_error("Engine", "The framework could not be started: %s", text);
        SDL_SetError("the framework could not be started: %s", text);
        close_interpreter();
        return 0;
    }
    return 1;
}

int game_has_interpreter(void)
{
    return g_game.mrb != nullptr;
}

int game_arena_save(void)
{
    return g_game.mrb ? mrb_gc_arena_save(g_game.mrb) : 0;
}

void game_arena_restore(int position)
{
    if (g_game.mrb) {
        mrb_gc_arena_restore(g_game.mrb, position);
    }
}

void game_current_fps(uint32_t simulation_fps, uint32_t rendering_fps)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb) {
        return;
    }
    claim_thread();
    drain_pending_cvars();
    mrb_value args[2] = {int64_value(mrb, simulation_fps), int64_value(mrb, rendering_fps)};
    call_runtime(g_game.sym.current_fps, 2, args);
}

int game_reboot_requested(void)
{
    return truthy_call(g_game.sym.reboot_requested);
}

void game_windowevent_size_changed(struct render_context *ctx)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb || !ctx) {
        return;
    }
    struct render_sizes s;
    render_context_get_sizes(ctx, &s);
    const int ai = mrb_gc_arena_save(mrb);
    mrb_value args[12] = {
        mrb_int_value(mrb, s.logical_w),       mrb_int_value(mrb, s.logical_h),
        mrb_int_value(mrb, s.window_w),        mrb_int_value(mrb, s.window_h),
        mrb_int_value(mrb, s.output_w),        mrb_int_value(mrb, s.output_h),
        mrb_int_value(mrb, s.offset_x),        mrb_int_value(mrb, s.offset_y),
        mrb_float_value(mrb, s.pixel_density), mrb_int_value(mrb, s.texture_tier),
        mrb_float_value(mrb, s.render_scale),  mrb_float_value(mrb, s.pixel_density),
    };
    call_runtime(g_game.sym.windowevent_size_changed, 12, args);
    mrb_gc_arena_restore(mrb, ai);
}

void game_reboot_notify(int32_t mouse_x, int32_t mouse_y, int32_t relative_x, int32_t relative_y)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb) {
        return;
    }
    mrb_value args[4] = {mrb_int_value(mrb, mouse_x), mrb_int_value(mrb, mouse_y),
                         mrb_int_value(mrb, relative_x), mrb_int_value(mrb, relative_y)};
    call_runtime(g_game.sym.reboot, 4, args);
}

void game_tick(void)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb) {
        return;
    }
    claim_thread();
    drain_pending_cvars();
    mrb_value now = int64_value(mrb, (int64_t)SDL_GetTicks());
    call_runtime(g_game.sym.sdl_tick, 1, &now);
}

void game_incremental_gc(void)
{
    if (g_game.mrb) {
        mrb_incremental_gc(g_game.mrb);
    }
}

void game_pack_render_passes(struct render_context *ctx, struct threadstream *scene)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb || !scene) {
        return;
    }
    const game_symbols &s = g_game.sym;
    // Everything the walk and the drawing natives pack goes into this scene.
    struct threadstream *const saved_scene = process_current_scene;
    process_current_scene = scene;
    const int ai = mrb_gc_arena_save(mrb);
    call_runtime(s.pixel_arrays);
    mrb_value passes = call_runtime(s.passes);
    if (!mrb_array_p(passes)) {
        // Without passes there is nothing to frame.
        mrb_gc_arena_restore(mrb, ai);
        process_current_scene = saved_scene;
        return;
    }
    // Kept alive while the walk calls back into scripts.
    mrb_gc_protect(mrb, passes);
    const mrb_int count = RARRAY_LEN(passes);
    threadstream_pack_int(scene, cmd_render_passes);
    threadstream_pack_int(scene, (int32_t)count);
    const int screenshot = mrb_test(call_runtime(s.take_screenshot)) ? 1 : 0;
    threadstream_pack_int(scene, screenshot);
    const int walk_natively = !mrb_respond_to(mrb, g_game.runtime, s.primitives);
    struct render_sizes sizes = {1280, 720, 1280, 720, 1280, 720, 0, 0, 100, 1.0f, 1.0f, 1.0f, 1};
    if (ctx) {
        render_context_get_sizes(ctx, &sizes);
    }
    pack_begin_frame(sizes.texture_tier);
    const struct pack_walk walk = {g_game.runtime, g_game.draw, g_game.production};
    for (mrb_int i = 0; i < count; i++) {
        const int pass_ai = mrb_gc_arena_save(mrb);
        mrb_value pass = mrb_ary_entry(passes, i);
        mrb_value target = call_runtime(s.target, 1, &pass);
        mrb_value transient = call_runtime(s.render_transient, 1, &pass);
        mrb_value width = call_runtime(s.render_width, 1, &pass);
        mrb_value height = call_runtime(s.render_height, 1, &pass);
        mrb_value color = protected_call(pass, s.background_color, 0, nullptr);
        mrb_value clear = protected_call(pass, s.clear_before_render, 0, nullptr);
        int32_t rgba[4] = {0, 0, 0, 0};
        for (int c = 0; c < 4 && mrb_array_p(color); c++) {
            rgba[c] = value_to_int(mrb_ary_entry(color, c));
        }
        const int letterbox = cvar_game_metadata_hd_letterbox == 1 && g_game.top_level_outputs &&
                              mrb_obj_is_kind_of(mrb, pass, g_game.top_level_outputs) && ctx &&
                              SDL_AtomicGet(&ctx->global_tick_count) != 0;
        if (letterbox) {
            // The bars outside the canvas stay black.
            threadstream_pack_int(scene, 0);
            threadstream_pack_int(scene, 0);
            threadstream_pack_int(scene, 0);
            threadstream_pack_int(scene, 255);
        } else {
            for (int c = 0; c < 4; c++) {
                threadstream_pack_int(scene, rgba[c]);
            }
        }
        if (mrb_string_p(target)) {
            threadstream_pack_ruby_string(scene, target);
        } else if (mrb_symbol_p(target)) {
            mrb_int n = 0;
            const char *name = mrb_sym_name_len(mrb, mrb_symbol(target), &n);
            threadstream_pack_buffer(scene, name ? name : "", name ? (size_t)n : 0);
        } else {
            threadstream_pack_int(scene, -1);
        }
        threadstream_pack_int(scene, value_to_int(width));
        threadstream_pack_int(scene, value_to_int(height));
        threadstream_pack_int(scene, mrb_test(transient) ? 1 : 0);
        threadstream_pack_int(scene, mrb_test(clear) ? 1 : 0);
        if (letterbox) {
            // The pass's own background over the logical canvas. A set_grid
            // of this tick has not reached the render thread's flag yet.
            int centred = SDL_AtomicGet(&ctx->centered_grid) ? 1 : 0;
            if (SDL_AtomicGet(&ctx->grid_moved_at_tick) == SDL_AtomicGet(&ctx->global_tick_count)) {
                centred = !centred;
            }
            const int32_t w = sizes.logical_w, h = sizes.logical_h;
            pack_solid_rect(scene, centred ? (float)-(w / 2) : 0.0f, centred ? (float)-(h / 2) : 0.0f,
                            (float)w, (float)h, rgba[0], rgba[1], rgba[2], 255);
        }
        if (!walk_natively) {
            call_runtime(s.primitives, 1, &pass);
        } else {
            pack_pass_collections(mrb, &walk, pass);
        }
        threadstream_pack_int(scene, prim_end_pass);
        mrb_gc_arena_restore(mrb, pass_ai);
    }
    if (screenshot && mrb_respond_to(mrb, g_game.runtime, s.draw_screenshots)) {
        call_runtime(s.draw_screenshots);
    }
    mrb_gc_arena_restore(mrb, ai);
    process_current_scene = saved_scene;
}

int game_quit_requested(void)
{
    return truthy_call(g_game.sym.quit_requested_p);
}

void game_new_log_entry(int32_t level, uint32_t ticks, const char *subsystem, const char *message)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb) {
        return;
    }
    const int ai = mrb_gc_arena_save(mrb);
    mrb_value args[4] = {mrb_int_value(mrb, level), int64_value(mrb, (int64_t)ticks),
                         mrb_str_new_cstr(mrb, subsystem ? subsystem : "???"),
                         mrb_str_new_cstr(mrb, message ? message : "(null)")};
    call_runtime(g_game.sym.new_log_entry, 4, args);
    mrb_gc_arena_restore(mrb, ai);
}

void game_publish_tick_counts(struct render_context *ctx)
{
    mrb_state *mrb = g_game.mrb;
    if (!mrb) {
        return;
    }
    const int ai = mrb_gc_arena_save(mrb);
    const int32_t tick = value_to_int(call_runtime(g_game.sym.tick_count));
    const int32_t global = value_to_int(call_runtime(g_game.sym.global_tick_count));
    mrb_gc_arena_restore(mrb, ai);
    if (ctx) {
        SDL_AtomicSet(&ctx->tick_count, tick);
        SDL_AtomicSet(&ctx->global_tick_count, global);
    }
    SDL_AtomicSet(&atomic_last_completed_global_tick_count, global);
}

void game_quit(void)
{
    if (!g_game.mrb) {
        return;
    }
    claim_thread();
    const int ai = mrb_gc_arena_save(g_game.mrb);
    call_runtime(g_game.sym.quit);
    mrb_gc_arena_restore(g_game.mrb, ai);
}

void game_quit_bang(void)
{
    if (!g_game.mrb) {
        return;
    }
    claim_thread();
    const int ai = mrb_gc_arena_save(g_game.mrb);
    call_runtime(g_game.sym.quit_bang);
    g_game.exit_status = value_to_int(call_runtime(g_game.sym.exit_status));
    mrb_gc_arena_restore(g_game.mrb, ai);
}

int game_exit_status(void)
{
    return g_game.exit_status;
}

void game_close(void)
{
    close_interpreter();
    natives_quit();
}

void game_deliver_event(struct render_context *ctx, struct input_state *input,
                        const SDL_Event *ev)
{
    if (!g_game.mrb) {
        if (ev->type == SDL_QUIT) {
            input->quit = 1;
        }
        return;
    }
    // Each event's record and call results are garbage once delivered.
    const int arena = mrb_gc_arena_save(g_game.mrb);
    events_process_raw(g_game.mrb, ctx, input, ev, call_runtime_fn);
    events_dispatch(g_game.mrb, ctx, input, ev, call_runtime_fn);
    mrb_gc_arena_restore(g_game.mrb, arena);
}

void game_report_vr_positions(void)
{
    if (g_game.mrb) {
        const int arena = mrb_gc_arena_save(g_game.mrb);
        events_report_vr_positions(g_game.mrb, call_runtime_fn);
        mrb_gc_arena_restore(g_game.mrb, arena);
    }
}
