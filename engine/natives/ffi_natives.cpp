// ffi_init: the FFI module and its classes, once per interpreter.
#include "natives/natives.h"
#include "natives/core_ext.h"
#include "natives/natives_internal.h"

#include "log/log.h"
#include "render/render.h"

#include <SDL.h>
#include <mruby/value.h>

struct natives_state g_natives = {nullptr, nullptr, nullptr, -1};

mrb_value natives_int64_value(mrb_state *mrb, int64_t value)
{
    if (value >= (int64_t)MRB_INT_MIN && value <= (int64_t)MRB_INT_MAX) {
        return mrb_int_value(mrb, (mrb_int)value);
    }
    return mrb_float_value(mrb, (mrb_float)value);
}

int ffi_init(const char *game_dir, const char *base_dir, mrb_state *mrb, struct render_context *ctx)
{
    char *game = SDL_strdup(game_dir ? game_dir : "");
    char *base = SDL_strdup(base_dir ? base_dir : "");
    if (!game || !base) {
        SDL_free(game);
        SDL_free(base);
        log_error("Engine", "Out of memory while defining the FFI module.");
        return 0;
    }
    SDL_free(g_natives.game_dir);
    SDL_free(g_natives.base_dir);
    g_natives.game_dir = game;
    g_natives.base_dir = base;
    g_natives.ctx = ctx;
    g_natives.generation = ctx ? SDL_AtomicGet(&ctx->tick_count) : -1;

    // Each definition saves and restores the arena so the bootstrap does not
    // pile up class objects in it.
    int ai = mrb_gc_arena_save(mrb);
    struct RClass *ffi = mrb_define_module(mrb, "FFI");
    ffi_file_define(mrb, ffi);
    mrb_gc_arena_restore(mrb, ai);
    ffi_misc_define(mrb, ffi);
    mrb_gc_arena_restore(mrb, ai);
    ffi_mrb_define(mrb, ffi);
    mrb_gc_arena_restore(mrb, ai);
    kernel_natives_define(mrb);
    mrb_gc_arena_restore(mrb, ai);
    core_ext_natives_register(mrb);
    mrb_gc_arena_restore(mrb, ai);
    // FIXME: FFI::CPtr, geometry, outputs, vectors and matrices, zlib and
    // Array#value are defined here by their modules.
    return 1;
}

void natives_quit(void)
{
    SDL_free(g_natives.game_dir);
    SDL_free(g_natives.base_dir);
    g_natives.game_dir = nullptr;
    g_natives.base_dir = nullptr;
    g_natives.ctx = nullptr;
    g_natives.generation = -1;
}

const char *natives_game_dir(void)
{
    return g_natives.game_dir;
}

const char *natives_base_dir(void)
{
    return g_natives.base_dir;
}

int32_t natives_generation(void)
{
    return g_natives.generation;
}
