// Shared set-up for the render tests: SDL video on the dummy driver with the
// software renderer (deterministic pixels), the cvar registry, the log, the
// stream pool and a real PhysicsFS over a fresh folder per test that holds the
// default font. Scenes are packed by hand with the stream module, executed,
// and the frame is read back from the screenshot texture at logical size.
#pragma once

#include <gtest/gtest.h>
#include <lodepng.h>
#include <physfs.h>
#include <stdint.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/config.h"
#include "log/log.h"
#include "render/render.h"
#include "render/render_internal.h"
#include "stream/stream.h"
#include "util/util.h"

namespace fs = std::filesystem;

struct rgba {
    int r, g, b, a;
};

inline std::ostream &operator<<(std::ostream &o, const rgba &c)
{
    return o << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

// PNG bytes of w x h pixels given as 0xRRGGBBAA words.
inline std::string png_of(int w, int h, const std::vector<uint32_t> &rrggbbaa)
{
    std::vector<unsigned char> raw;
    for (uint32_t p : rrggbbaa) {
        raw.push_back((unsigned char)(p >> 24));
        raw.push_back((unsigned char)(p >> 16));
        raw.push_back((unsigned char)(p >> 8));
        raw.push_back((unsigned char)p);
    }
    unsigned char *out = nullptr;
    size_t size = 0;
    lodepng_encode32(&out, &size, raw.data(), (unsigned)w, (unsigned)h);
    std::string bytes((const char *)out, size);
    free(out);
    return bytes;
}

inline void write_file(const fs::path &path, const std::string &bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

inline std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A record of prim_sprite with the packers' defaults.
struct sprite_rec {
    std::string path = "pixel";
    float x = 0, y = 0, w = 0, h = 0, angle = 0;
    int r = 255, g = 255, b = 255, a = 255;
    float tile_x = 0, tile_y = 0, tile_w = -1, tile_h = -1;
    float source_x = 0, source_y = 0, source_w = -1, source_h = -1;
    int flip_h = 0, flip_v = 0;
    float angle_anchor_x = 0.5f, angle_anchor_y = 0.5f;
    int blend = 1, texture_scale = 100;
    float anchor_x = 0, anchor_y = 0;
    int quality = 0;
};

struct label_rec {
    std::string text;
    const char *font = nullptr;
    float x = 0, y = 0, size_enum = 0, size_px = -1;
    int alignment = 0, valign = 2;
    int r = 255, g = 255, b = 255, a = 255, blend = 1;
    int has_ax = 0, has_ay = 0;
    float ax = 0, ay = 0;
};

// Packs a scene the way the simulation thread does.
class scene_builder
{
public:
    struct threadstream *s;

    scene_builder()
    {
        s = threadstream_allocate();
        renderstream_pack_scene_header(s);
    }
    ~scene_builder()
    {
        threadstream_free(s);
    }
    scene_builder &i(int32_t v)
    {
        threadstream_pack_int(s, v);
        return *this;
    }
    scene_builder &f(float v)
    {
        threadstream_pack_float(s, v);
        return *this;
    }
    scene_builder &str(const char *t)
    {
        threadstream_pack_string(s, t);
        return *this;
    }
    scene_builder &grid(float ox = 0, float oy = 720)
    {
        return i(cmd_set_grid).f(ox).f(oy).i(0);
    }
    scene_builder &passes(int n, int screenshot)
    {
        return i(cmd_render_passes).i(n).i(screenshot);
    }
    scene_builder &pass(int r, int g, int b, int a = 255, const char *target = nullptr,
                        int rw = 1280, int rh = 720, int clear = 1)
    {
        return i(r).i(g).i(b).i(a).str(target).i(rw).i(rh).i(0).i(clear);
    }
    scene_builder &end_pass()
    {
        return i(prim_end_pass);
    }
    scene_builder &solid(float x, float y, float w, float h, int r, int g, int b, int a = 255,
                         int blend = 1, float ax = 0, float ay = 0, int kind = prim_solid)
    {
        return i(kind).f(x).f(y).i(0).f(w).f(h).i(r).i(g).i(b).i(a).i(blend).f(ax).f(ay);
    }
    scene_builder &line(float x, float y, float x2, float y2, int r, int g, int b, int a = 255)
    {
        return i(prim_line).f(x).f(y).i(0).f(x2).f(y2).i(r).i(g).i(b).i(a).i(1);
    }
    scene_builder &sprite(const sprite_rec &p)
    {
        i(prim_sprite).str(p.path.c_str()).f(p.x).f(p.y).i(0).f(p.w).f(p.h).i(0).i(0);
        f(p.angle).i(p.r).i(p.g).i(p.b).i(p.a);
        f(p.tile_x).f(p.tile_y).f(p.tile_w).f(p.tile_h);
        f(p.source_x).f(p.source_y).f(p.source_w).f(p.source_h);
        i(p.flip_h).i(p.flip_v).f(p.angle_anchor_x).f(p.angle_anchor_y);
        return i(p.blend).i(p.texture_scale).f(p.anchor_x).f(p.anchor_y).i(p.quality);
    }
    scene_builder &label(const label_rec &l)
    {
        i(prim_label).f(l.x).f(l.y).f(0).str(l.text.c_str()).str(l.font).f(l.size_enum);
        i(l.alignment).i(l.r).i(l.g).i(l.b).i(l.a).i(l.valign).i(l.blend).f(l.size_px);
        return i(l.has_ax).f(l.ax).i(l.has_ay).f(l.ay);
    }
    scene_builder &triangle(const float xy[6], const int colours[12], const char *path = "pixel",
                            const float src[6] = nullptr, int blend = 1)
    {
        i(prim_triangle);
        for (int v = 0; v < 3; v++) {
            f(xy[2 * v]).f(xy[2 * v + 1]).i(0);
        }
        i(colours[0]).i(colours[1]).i(colours[2]).i(colours[3]).str(path);
        for (int v = 0; v < 6; v++) {
            f(src ? src[v] : 0.0f);
        }
        i(blend).i(100);
        for (int v = 4; v < 12; v++) {
            i(colours[v]);
        }
        return *this;
    }
    scene_builder &screenshot(const char *path, float x, float y, float w, float h,
                              int tolerance = 0, int r = 0, int g = 0, int b = 0, int a = 255)
    {
        return i(cmd_screenshot).str(path).f(x).f(y).f(w).f(h).i(tolerance).i(r).i(g).i(b).i(a);
    }
};

class RenderTest : public testing::Test
{
protected:
    fs::path root, game_dir, write_dir;
    struct render_context *ctx = nullptr;
    std::vector<uint8_t> frame;  // last frame read back, RGBA, logical size
    int frame_w = 0, frame_h = 0;

    static void SetUpTestSuite()
    {
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_TRUE(log_init());
        ASSERT_TRUE(threadstream_init());
        ASSERT_TRUE(register_renderer_cvars());
        ASSERT_TRUE(register_metadata_cvars());
    }

    static void TearDownTestSuite()
    {
        log_free_entries(log_get_entries());
    }

    // Settings every test starts from.
    virtual void set_cvars()
    {
        cvar_set_forced("game_metadata.hd", "false");
        cvar_set_forced("game_metadata.hd_letterbox", "false");
        cvar_set_forced("game_metadata.hd_max_scale", "0");
        cvar_set_forced("game_metadata.scale_quality", "0");
        cvar_set_forced("game_metadata.orientation_current", "landscape");
        cvar_set_forced("game_metadata.orientation_both", "false");
        cvar_set_forced("game_metadata.icon", "");
        cvar_set("renderer.start_headless", "true");
    }

    virtual int development()
    {
        return 1;
    }

    void SetUp() override
    {
        const char *tmp = getenv("ORV_TEST_TMPDIR");
        const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char &c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        root = fs::path(tmp ? tmp : "/tmp") / "render" / name;
        fs::remove_all(root);
        game_dir = root / "game";
        write_dir = root / "write";
        fs::create_directories(game_dir);
        fs::create_directories(write_dir);
        const char *src = getenv("ORV_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        fs::copy_file(fs::path(src) / "engine/data/font.ttf", game_dir / "font.ttf");
        fs::copy_file(fs::path(src) / "tests/fixtures/render/mono.ttf", game_dir / "mono.ttf");
        ASSERT_TRUE(util_physfs_use_sdl_allocator());
        ASSERT_TRUE(PHYSFS_init(nullptr));
        ASSERT_TRUE(PHYSFS_setWriteDir(write_dir.c_str()));
        ASSERT_TRUE(PHYSFS_mount(write_dir.c_str(), nullptr, 1));
        ASSERT_TRUE(PHYSFS_mount(game_dir.c_str(), nullptr, 1));
        set_cvars();
        ctx = render_context_new(development(), 0);
        ASSERT_NE(ctx, nullptr) << SDL_GetError();
        draw_init(ctx, game_dir.c_str());
        log_free_entries(log_get_entries());
    }

    void TearDown() override
    {
        render_context_delete(ctx);
        ctx = nullptr;
        PHYSFS_deinit();
        log_free_entries(log_get_entries());
    }

    // Executes the scene and reads the screenshot texture back (the scene's
    // last pass must be a screenshot pass).
    void run(scene_builder &scene, int catch_up = 0, int repeat = 0)
    {
        scene.s->read_pos = 0;
        execute_scene(ctx, scene.s, catch_up, repeat);
        ASSERT_NE(ctx->screenshot_texture, nullptr);
        SDL_QueryTexture(ctx->screenshot_texture, nullptr, nullptr, &frame_w, &frame_h);
        frame.assign((size_t)frame_w * frame_h * 4, 0);
        SDL_SetRenderTarget(ctx->renderer, ctx->screenshot_texture);
        ASSERT_EQ(SDL_RenderReadPixels(ctx->renderer, nullptr, SDL_PIXELFORMAT_ABGR8888,
                                       frame.data(), frame_w * 4),
                  0)
            << SDL_GetError();
        SDL_SetRenderTarget(ctx->renderer, nullptr);
        ctx->current_target = nullptr;
    }

    // Pixel at output column x, row y (rows from the top).
    rgba px(int x, int y) const
    {
        const uint8_t *p = &frame[((size_t)y * frame_w + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }

    // Pixel at game point (x, y): y upwards from the bottom.
    rgba at(int x, int y) const
    {
        return px(x, frame_h - 1 - y);
    }

    // Messages logged since the last call that contain the text.
    int count_log(const char *text)
    {
        int n = 0;
        struct log_entry *list = log_get_entries();
        for (struct log_entry *e = list; e; e = e->next) {
            if (SDL_strstr(e->message, text)) {
                n++;
            }
        }
        log_free_entries(list);
        return n;
    }

    // Columns of row y whose red channel is above the threshold: first and last.
    void ink_span(int y_from, int y_to, int *first, int *last, int threshold = 64) const
    {
        *first = -1;
        *last = -1;
        for (int y = y_from; y <= y_to; y++) {
            for (int x = 0; x < frame_w; x++) {
                if (px(x, y).r > threshold) {
                    if (*first < 0 || x < *first) {
                        *first = x;
                    }
                    if (x > *last) {
                        *last = x;
                    }
                }
            }
        }
    }
};

#define EXPECT_RGB(c, R, G, B, tol)                                                              \
    do {                                                                                       \
        const rgba c_ = (c);                                                                   \
        EXPECT_NEAR(c_.r, (R), (tol)) << c_;                                                   \
        EXPECT_NEAR(c_.g, (G), (tol)) << c_;                                                   \
        EXPECT_NEAR(c_.b, (B), (tol)) << c_;                                                   \
    } while (0)
