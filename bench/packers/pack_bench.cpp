// Packing figures: 10,000 Hash sprites per tick through the packers alone and
// through the engine's pass walk with the framework, object-form sprites, and
// the framework's own cost per tick for a game that draws nothing. Prints
// milliseconds per tick (mean and best of the runs); a release build gives
// the figures that matter.
#include <SDL.h>
#include <mruby.h>
#include <mruby/compile.h>
#include <physfs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/config.h"
#include "log/log.h"
#include "process/game.h"
#include "stream/pack.h"
#include "stream/stream.h"
#include "util/util.h"

namespace {

double now_ms(void)
{
    return (double)SDL_GetPerformanceCounter() * 1000.0 / (double)SDL_GetPerformanceFrequency();
}

struct figure {
    double total, best;
    int runs;
};

void add(figure *f, double ms)
{
    f->total += ms;
    f->best = f->runs == 0 || ms < f->best ? ms : f->best;
    f->runs++;
}

void print(const char *what, const figure &f)
{
    printf("%-58s mean %7.3f ms  best %7.3f ms  (%d ticks)\n", what, f.total / f.runs, f.best,
           f.runs);
}

threadstream *g_scene;

// The packers alone over a plain pass object.
void bench_packers(const char *label, const char *elements)
{
    mrb_state *mrb = mrb_open();
    pack_settings settings = {&g_scene, nullptr, nullptr};
    pack_init(mrb, &settings);
    char code[2048];
    snprintf(code, sizeof(code),
             "class Pass; attr_accessor :sprites; [:solids, :static_solids, :static_sprites, "
             ":primitives, :static_primitives, :labels, :static_labels, :lines, :static_lines, "
             ":borders, :static_borders, :debug, :static_debug, :reserved, :static_reserved]"
             ".each { |n| define_method(n) { [] } }; end\n"
             "class Spr; attr_accessor :x, :y, :w, :h, :path, :angle, :a, :r, :g, :b, :tile_x, "
             ":tile_y, :tile_w, :tile_h, :flip_horizontally, :flip_vertically, :angle_anchor_x, "
             ":angle_anchor_y, :source_x, :source_y, :source_w, :source_h, :blendmode_enum, "
             ":anchor_x, :anchor_y, :scale_quality_enum; def initialize(i); @x = i; @y = i; "
             "@w = 32; @h = 32; @path = 'sprites/hero.png'; end; end\n"
             "$pass = Pass.new; $pass.sprites = %s\n$pass",
             elements);
    mrb_value pass = mrb_load_string(mrb, code);
    mrb_gc_register(mrb, pass);
    pack_walk walk = {mrb_nil_value(), mrb_nil_value(), 0};
    figure f = {0, 0, 0};
    for (int i = 0; i < 300; i++) {
        g_scene->length = 0;
        pack_begin_frame(100);
        const double t = now_ms();
        pack_pass_collections(mrb, &walk, pass);
        add(&f, now_ms() - t);
    }
    print(label, f);
    printf("%-58s %u bytes of records per tick\n", "", g_scene->length);
    mrb_close(mrb);
}

void write_file(const char *path, const char *text)
{
    FILE *f = fopen(path, "w");
    fputs(text, f);
    fclose(f);
}

// The engine's tick and pass walk with the framework over a game directory.
void bench_game(const char *root, const char *label, const char *main_rb, int pack)
{
    char dir[512], app[600], file[700];
    snprintf(dir, sizeof(dir), "%s/%s", root, pack ? "walk" : "empty");
    snprintf(app, sizeof(app), "%s/app", dir);
    mkdir(dir, 0755);
    mkdir(app, 0755);
    snprintf(file, sizeof(file), "%s/main.rb", app);
    write_file(file, main_rb);
    PHYSFS_init(nullptr);
    PHYSFS_setWriteDir(root);
    PHYSFS_mount(root, nullptr, 1);
    PHYSFS_mount(dir, nullptr, 0);
    if (!interpreter_bootstrap(nullptr, "./orvane", "./orvane", dir, root)) {
        printf("bootstrap failed: %s\n", SDL_GetError());
        PHYSFS_deinit();
        return;
    }
    figure tick = {0, 0, 0}, walk = {0, 0, 0};
    for (int i = 0; i < 400; i++) {
        // The runtime runs a simulation only when 16 ms have passed.
        SDL_Delay(17);
        const int arena = game_arena_save();
        game_current_fps(60, 60);
        double t = now_ms();
        game_tick();
        const double ticked = now_ms() - t;
        game_incremental_gc();
        g_scene->length = 0;
        t = now_ms();
        game_pack_render_passes(nullptr, g_scene);
        const double walked = now_ms() - t;
        game_quit_requested();
        game_arena_restore(arena);
        game_publish_tick_counts(nullptr);
        if (i >= 100) {  // after boot and warm-up
            add(&tick, ticked);
            add(&walk, walked);
        }
        log_free_entries(log_get_entries());
    }
    char text[160];
    snprintf(text, sizeof(text), "%s: the game's tick", label);
    print(text, tick);
    snprintf(text, sizeof(text), "%s: the pass walk", label);
    print(text, walk);
    printf("%-58s %u bytes of records per tick\n", "", g_scene->length);
    game_close();
    PHYSFS_deinit();
}

}  // namespace

int main(int, char **)
{
    SDL_Init(0);
    threadstream_init();
    g_scene = threadstream_allocate();
    bench_packers("10,000 Hash sprites, packers alone",
                  "10000.times.map { |i| {x: i, y: i, w: 32, h: 32, path: 'sprites/hero.png', "
                  "angle: i % 360, r: 255, g: 128, b: 0, a: 255} }");
    bench_packers("10,000 minimal Hash sprites {x:, y:, w:, h:, path:}",
                  "10000.times.map { |i| {x: i, y: i, w: 32, h: 32, path: 'sprites/hero.png'} }");
    bench_packers("10,000 attr_accessor objects (object form)",
                  "10000.times.map { |i| Spr.new(i) }");

    char root[] = "/tmp/pack_bench_XXXXXX";
    if (!mkdtemp(root)) {
        return 1;
    }
    util_physfs_use_sdl_allocator();
    log_init();
    struct log_settings settings = {"error", 0, "", ""};
    log_configure(&settings);
    cvar_init();
    register_renderer_cvars();
    register_metadata_cvars();
    bench_game(root, "empty game", "def tick args\nend\n", 0);
    bench_game(root, "10,000 static Hash sprites",
               "def tick args\n"
               "  if args.tick_count == 0\n"
               "    10000.times { |i| args.outputs.static_sprites << {x: i % 1280, y: i % 720, "
               "w: 32, h: 32, path: 'sprites/hero.png', angle: i % 360, r: 255, g: 128, b: 0, "
               "a: 255} }\n"
               "  end\nend\n",
               1);
    cvar_quit();
    log_quit();
    threadstream_free(g_scene);
    threadstream_quit();
    char cmd[600];
    snprintf(cmd, sizeof(cmd), "rm -rf %s", root);
    if (system(cmd) != 0) {
        return 1;
    }
    return 0;
}
