// The scene executor on the software renderer: hand-packed scenes are executed
// and the frame is read back from the screenshot texture, which has the
// logical size (1280x720) without HD, so every expected pixel is exact unless a
// tolerance is written beside it.
#include "render_fixture.h"

namespace {

using SceneTest = RenderTest;

TEST_F(SceneTest, SolidsCoverTheirMappedRectangles)
{
    scene_builder s;
    s.grid().passes(1, 1).pass(0, 0, 0);
    s.solid(0, 0, 64, 64, 255, 0, 0);
    s.solid(200, 300, -100, 20, 0, 255, 0);
    s.solid(640, 360, 100, 100, 0, 0, 255, 255, 1, 0.5f, 0.5f);
    s.end_pass();
    run(s);
    struct probe {
        int x, y;
        rgba want;
    };
    const probe probes[] = {
        // 64x64 red at (0, 0): exactly the bottom-left 64x64 pixels.
        {0, 0, {255, 0, 0, 255}},
        {63, 63, {255, 0, 0, 255}},
        {64, 0, {0, 0, 0, 255}},
        {0, 64, {0, 0, 0, 255}},
        // w = -100 at x = 200 covers columns 100 ... 199.
        {100, 305, {0, 255, 0, 255}},
        {199, 305, {0, 255, 0, 255}},
        {99, 305, {0, 0, 0, 255}},
        {200, 305, {0, 0, 0, 255}},
        // Anchors 0.5/0.5 centre the 100x100 square on (640, 360).
        {590, 310, {0, 0, 255, 255}},
        {689, 409, {0, 0, 255, 255}},
        {589, 360, {0, 0, 0, 255}},
        {690, 360, {0, 0, 0, 255}},
        {640, 410, {0, 0, 0, 255}},
    };
    for (const probe &p : probes) {
        SCOPED_TRACE(testing::Message() << "at " << p.x << ", " << p.y);
        EXPECT_RGB(at(p.x, p.y), p.want.r, p.want.g, p.want.b, 0);
    }
}

TEST_F(SceneTest, WithoutAGridEverythingMapsToZero)
{
    SDL_AtomicSet(&ctx->ready, 0);
    scene_builder s;
    s.passes(1, 1).pass(0, 0, 0);
    s.solid(0, 0, 500, 500, 255, 0, 0);
    s.end_pass();
    run(s);
    EXPECT_RGB(at(10, 10), 0, 0, 0, 0);
    EXPECT_RGB(at(250, 250), 0, 0, 0, 0);
}

TEST_F(SceneTest, CentredGridMovesTheOrigin)
{
    scene_builder s;
    s.grid(640, 360).passes(1, 1).pass(0, 0, 0);
    s.solid(0, 0, 10, 10, 255, 255, 255);
    s.end_pass();
    run(s);
    EXPECT_EQ(SDL_AtomicGet(&ctx->centered_grid), 1);
    EXPECT_RGB(at(640, 360), 255, 255, 255, 0);
    EXPECT_RGB(at(649, 369), 255, 255, 255, 0);
    EXPECT_RGB(at(639, 360), 0, 0, 0, 0);
}

// Destination (100, 150, 200) under a solid (200, 100, 50) at alpha 128.
// The software blitter works in 8-bit integer steps, so each channel may be off
// by up to 2 from the exact value computed here.
TEST_F(SceneTest, BlendModesFollowTheTable)
{
    const double sa = 128.0 / 255.0;
    const double src[3] = {200, 100, 50}, dst[3] = {100, 150, 200};
    struct blend_case {
        int blend;
        const char *name;
    };
    const blend_case cases[] = {{0, "none"},     {1, "blend"},    {2, "add"},
                                {3, "modulate"}, {4, "multiply"}, {7, "other"}};
    for (const blend_case &c : cases) {
        SCOPED_TRACE(c.name);
        scene_builder s;
        s.grid().passes(1, 1).pass(100, 150, 200);
        s.solid(100, 100, 50, 50, 200, 100, 50, 128, c.blend);
        s.end_pass();
        run(s);
        for (int ch = 0; ch < 3; ch++) {
            double want = 0;
            switch (c.blend) {
            case 0:
                want = src[ch];
                break;
            case 2:
                want = SDL_min(255.0, src[ch] * sa + dst[ch]);
                break;
            case 3:
                want = src[ch] * dst[ch] / 255.0;
                break;
            case 4:
                want = SDL_min(255.0, src[ch] * dst[ch] / 255.0 + dst[ch] * (1 - sa));
                break;
            default:
                want = src[ch] * sa + dst[ch] * (1 - sa);
                break;
            }
            const rgba p = at(120, 120);
            const int got = ch == 0 ? p.r : ch == 1 ? p.g : p.b;
            EXPECT_NEAR(got, want, 2.0) << "channel " << ch;
        }
    }
}

// A 4 x 64 image whose row y has red = 4y: which rows a sprite samples shows
// in the red channel of its pixels (nearest scaling, one output row per
// texture row).
class SpriteTest : public RenderTest
{
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        std::vector<uint32_t> px;
        for (int y = 0; y < 64; y++) {
            for (int x = 0; x < 4; x++) {
                px.push_back(((uint32_t)(4 * y) << 24) | 0x0000FFu | ((uint32_t)x << 16));
            }
        }
        write_file(game_dir / "sprites/bands.png", png_of(4, 64, px));
        // Quadrants: top-left red, top-right green, bottom-left blue,
        // bottom-right white.
        write_file(game_dir / "sprites/quad.png",
                   png_of(2, 2, {0xFF0000FFu, 0x00FF00FFu, 0x0000FFFFu, 0xFFFFFFFFu}));
    }
};

TEST_F(SpriteTest, SourceRectanglesCountFromTheBottomAndTilesFromTheTop)
{
    struct band_case {
        const char *name;
        float source_y, source_h, tile_y, tile_h;
        int first_row;  // texture row drawn at the top of the sprite
    };
    const band_case cases[] = {
        {"source bottom 16 rows", 0, 16, 0, -1, 48},
        {"source rows 0..15 from y 48", 48, 16, 0, -1, 0},
        {"tile top 16 rows", 0, -1, 0, 16, 0},
        {"tile rows 16..31", 0, -1, 16, 16, 16},
    };
    for (const band_case &c : cases) {
        SCOPED_TRACE(c.name);
        sprite_rec sp;
        sp.path = "sprites/bands.png";
        sp.x = 100;
        sp.y = 100;
        sp.w = 4;
        sp.h = 16;
        sp.source_y = c.source_y;
        sp.source_h = c.source_h;
        sp.tile_y = c.tile_y;
        sp.tile_h = c.tile_h;
        if (c.tile_h > 0) {
            sp.tile_w = 4;
        } else {
            sp.source_w = 4;
        }
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).sprite(sp).end_pass();
        run(s);
        // Output rows 720-116 ... 720-101 hold the sprite, top first.
        for (int row = 0; row < 16; row++) {
            EXPECT_EQ(px(101, 720 - 116 + row).r, 4 * (c.first_row + row)) << "row " << row;
        }
    }
}

TEST_F(SpriteTest, OutOfBoundsSourceWarnsOncePerPath)
{
    for (int frame_no = 0; frame_no < 3; frame_no++) {
        sprite_rec sp;
        sp.path = "sprites/bands.png";
        sp.w = 10;
        sp.h = 10;
        sp.source_w = 8;  // the image is 4 wide
        sp.source_h = 8;
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).sprite(sp);
        sp.path = "sprites/quad.png";
        s.sprite(sp).end_pass();
        run(s);
    }
    struct log_entry *list = log_get_entries();
    int bands = 0, quad = 0;
    for (struct log_entry *e = list; e; e = e->next) {
        if (SDL_strstr(e->message, "rendering passed the boundaries of the =sprites/bands.png=")) {
            bands++;
            EXPECT_NE(SDL_strstr(e->message, "~w: 4, h: 64~"), nullptr) << e->message;
        }
        if (SDL_strstr(e->message, "rendering passed the boundaries of the =sprites/quad.png=")) {
            quad++;
        }
    }
    log_free_entries(list);
    EXPECT_EQ(bands, 1);
    EXPECT_EQ(quad, 1);
}

TEST_F(SpriteTest, FlipsAndRotationTurnTheQuadrants)
{
    struct turn_case {
        const char *name;
        float angle;
        int flip_h, flip_v;
        rgba top_left, top_right, bottom_left, bottom_right;
    };
    const rgba R = {255, 0, 0, 255}, G = {0, 255, 0, 255}, B = {0, 0, 255, 255},
               W = {255, 255, 255, 255};
    const turn_case cases[] = {
        {"plain", 0, 0, 0, R, G, B, W},
        {"flip horizontally", 0, 1, 0, G, R, W, B},
        {"flip vertically", 0, 0, 1, B, W, R, G},
        {"both flips", 0, 1, 1, W, B, G, R},
        // Game angles turn counter-clockwise.
        {"90 degrees", 90, 0, 0, G, W, R, B},
        {"180 degrees", 180, 0, 0, W, B, G, R},
    };
    for (const turn_case &c : cases) {
        SCOPED_TRACE(c.name);
        sprite_rec sp;
        sp.path = "sprites/quad.png";
        sp.x = 400;
        sp.y = 200;
        sp.w = 100;
        sp.h = 100;
        sp.angle = c.angle;
        sp.flip_h = c.flip_h;
        sp.flip_v = c.flip_v;
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).sprite(sp).end_pass();
        run(s);
        const rgba tl = at(425, 275), tr = at(475, 275), bl = at(425, 225), br = at(475, 225);
        EXPECT_RGB(tl, c.top_left.r, c.top_left.g, c.top_left.b, 0);
        EXPECT_RGB(tr, c.top_right.r, c.top_right.g, c.top_right.b, 0);
        EXPECT_RGB(bl, c.bottom_left.r, c.bottom_left.g, c.bottom_left.b, 0);
        EXPECT_RGB(br, c.bottom_right.r, c.bottom_right.g, c.bottom_right.b, 0);
    }
}

TEST_F(SceneTest, RotationTurnsAboutTheAngleAnchor)
{
    // A 100 x 40 white bar at (300, 300) turned 90 degrees about its
    // bottom-left corner stands up to the left of that corner.
    sprite_rec sp;
    sp.x = 300;
    sp.y = 300;
    sp.w = 100;
    sp.h = 40;
    sp.angle = 90;
    sp.angle_anchor_x = 0;
    sp.angle_anchor_y = 0;
    scene_builder s;
    s.grid().passes(1, 1).pass(0, 0, 0).sprite(sp).end_pass();
    run(s);
    EXPECT_RGB(at(280, 350), 255, 255, 255, 0);  // inside the turned bar
    EXPECT_RGB(at(280, 395), 255, 255, 255, 0);
    EXPECT_RGB(at(350, 320), 0, 0, 0, 0);  // where the bar lay before
    EXPECT_RGB(at(320, 350), 0, 0, 0, 0);
}

TEST_F(SceneTest, SpriteAnchorsShiftByTheirSize)
{
    sprite_rec sp;
    sp.x = 500;
    sp.y = 500;
    sp.w = 80;
    sp.h = 40;
    sp.anchor_x = 1.0f;
    sp.anchor_y = 1.0f;
    sp.r = 0;
    sp.b = 0;
    scene_builder s;
    s.grid().passes(1, 1).pass(0, 0, 0).sprite(sp).end_pass();
    run(s);
    EXPECT_RGB(at(420, 460), 0, 255, 0, 0);
    EXPECT_RGB(at(499, 499), 0, 255, 0, 0);
    EXPECT_RGB(at(500, 480), 0, 0, 0, 0);
    EXPECT_RGB(at(450, 500), 0, 0, 0, 0);
}

// Vertex colours are interpolated; at the centroid the three mix equally.
// The rasteriser's fixed-point interpolation may be a few steps off: 6.
TEST_F(SceneTest, TriangleInterpolatesVertexColours)
{
    const float xy[6] = {100, 100, 400, 100, 250, 400};
    const int colours[12] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};
    scene_builder s;
    s.grid().passes(1, 1).pass(0, 0, 0).triangle(xy, colours).end_pass();
    run(s);
    const rgba near_a = at(110, 103), near_b = at(390, 103), near_c = at(250, 390);
    EXPECT_GT(near_a.r, 200);
    EXPECT_GT(near_b.g, 200);
    EXPECT_GT(near_c.b, 200);
    EXPECT_RGB(at(250, 200), 85, 85, 85, 6);
    EXPECT_RGB(at(100, 300), 0, 0, 0, 0);  // outside
}

TEST_F(SceneTest, RenderTargetsKeepOrClearTheirContents)
{
    // First frame: the target is cleared to red and gets a blue square; the
    // window pass draws the target by name.
    {
        scene_builder s;
        s.grid().passes(2, 1);
        s.pass(255, 0, 0, 255, "rt", 100, 100, 1).solid(0, 0, 50, 50, 0, 0, 255).end_pass();
        sprite_rec sp;
        sp.path = "rt";
        sp.x = 10;
        sp.y = 10;
        sp.w = 100;
        sp.h = 100;
        s.pass(0, 0, 0).sprite(sp).end_pass();
        run(s);
        EXPECT_RGB(at(20, 20), 0, 0, 255, 0);
        EXPECT_RGB(at(90, 90), 255, 0, 0, 0);
    }
    int w = 0, h = 0;
    ASSERT_TRUE(render_cached_texture_size(ctx, "rt", &w, &h));
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 100);
    struct keep_case {
        int clear;
        rgba corner;
    };
    const keep_case cases[] = {{0, {0, 0, 255, 255}}, {1, {0, 255, 0, 255}}};
    for (const keep_case &c : cases) {
        SCOPED_TRACE(c.clear ? "cleared" : "kept");
        scene_builder s;
        sprite_rec sp;
        sp.path = "rt";
        sp.x = 10;
        sp.y = 10;
        sp.w = 100;
        sp.h = 100;
        s.grid().passes(2, 1);
        s.pass(0, 255, 0, 255, "rt", 100, 100, c.clear).end_pass();
        s.pass(0, 0, 0).sprite(sp).end_pass();
        run(s);
        EXPECT_RGB(at(20, 20), c.corner.r, c.corner.g, c.corner.b, 0);
    }
}

TEST_F(SceneTest, RenderTargetsAreSizedByTheRenderScaleAndReused)
{
    struct texture_entry *a = render_target_lookup(ctx, "scaled", 480, 270, 1.5f);
    ASSERT_NE(a, nullptr);
    SDL_Texture *first = a->texture;
    EXPECT_EQ(a->w, 480);
    EXPECT_EQ(a->creation_scale, 1.5f);
    struct texture_entry *b = render_target_lookup(ctx, "scaled", 480, 270, 1.5f);
    EXPECT_EQ(b, a);
    EXPECT_EQ(b->texture, first);
    struct texture_entry *c = render_target_lookup(ctx, "scaled", 320, 180, 1.0f);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->w, 320);
    EXPECT_EQ(c->creation_scale, 1.0f);
}

TEST_F(SceneTest, CatchUpSkipsWindowPassesButDrawsTargets)
{
    {
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).end_pass();
        run(s);
    }
    scene_builder s;
    s.grid().passes(2, 0);
    s.pass(255, 255, 0, 255, "ct", 50, 50, 1).end_pass();
    s.pass(9, 9, 9).solid(0, 0, 1280, 720, 255, 0, 0).end_pass();
    ctx->frame_uncleared = 1;
    s.s->read_pos = 0;
    execute_scene(ctx, s.s, 1, 0);
    EXPECT_EQ(ctx->frame_uncleared, 1);  // the window pass did not run
    // The target was drawn: a sprite of it shows its yellow.
    scene_builder t;
    sprite_rec sp;
    sp.path = "ct";
    sp.w = 50;
    sp.h = 50;
    t.grid().passes(1, 1).pass(0, 0, 0).sprite(sp).end_pass();
    run(t);
    EXPECT_RGB(at(10, 10), 255, 255, 0, 0);
}

TEST_F(SceneTest, MissingImageDrawsTheCheckerboardWithoutWarning)
{
    sprite_rec sp;
    sp.path = "sprites/missing.png";
    sp.w = 256;
    sp.h = 256;
    scene_builder s;
    s.grid().passes(1, 1).pass(0, 0, 255).sprite(sp).end_pass();
    run(s);
    // Output row 720 - 256 + y holds texture row y.
    auto tex = [&](int x, int y) { return px(x, 720 - 256 + y); };
    EXPECT_RGB(tex(0, 0), 255, 0, 0, 0);
    EXPECT_RGB(tex(255, 100), 255, 0, 0, 0);
    EXPECT_RGB(tex(100, 255), 255, 0, 0, 0);
    for (int y : {1, 15, 16, 40, 200}) {
        for (int x : {1, 16, 17, 33, 128}) {
            int light = (y >> 4) & 1;
            if (((x + 15) / 16) % 2 == 1) {
                light = !light;
            }
            const int v = light ? 255 : 0;
            SCOPED_TRACE(testing::Message() << x << ", " << y);
            EXPECT_RGB(tex(x, y), v, v, v, 0);
        }
    }
    EXPECT_EQ(count_log("WARNING"), 0);
}

TEST_F(SceneTest, ChangedImageAppearsOnlyAfterUnload)
{
    write_file(game_dir / "sprites/c.png", png_of(1, 1, {0xFF0000FFu}));
    sprite_rec sp;
    sp.path = "sprites/c.png";
    sp.w = 10;
    sp.h = 10;
    auto draw = [&](bool unload) {
        scene_builder s;
        s.grid();
        if (unload) {
            s.i(cmd_unload_texture).str("sprites/c.png");
        }
        s.passes(1, 1).pass(0, 0, 0).sprite(sp).end_pass();
        run(s);
        return at(5, 5);
    };
    EXPECT_RGB(draw(false), 255, 0, 0, 0);
    write_file(game_dir / "sprites/c.png", png_of(1, 1, {0x00FF00FFu}));
    EXPECT_RGB(draw(false), 255, 0, 0, 0);
    EXPECT_RGB(draw(true), 0, 255, 0, 0);
}

TEST_F(SceneTest, UploadedPixelsBecomeATexture)
{
    const uint32_t pixels[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu};
    struct upload_case {
        const char *name;
        int w, h;
        size_t bytes;
        bool accepted;
    };
    const upload_case cases[] = {
        {"up", 2, 2, 16, true},
        {"short", 2, 2, 12, false},
        {"zero", 0, 2, 0, false},
        {"negative", -2, -2, 16, false},
        {"wider than any texture", 100000, 1, 16, false},
        {"", 2, 2, 16, false},
    };
    for (const upload_case &c : cases) {
        SCOPED_TRACE(c.name);
        scene_builder s;
        s.grid().i(cmd_upload_pixels).str(c.name).i(c.w).i(c.h);
        threadstream_pack_buffer(s.s, pixels, c.bytes);
        sprite_rec sp;
        sp.path = c.name;
        sp.w = 20;
        sp.h = 20;
        s.passes(1, 1).pass(0, 0, 0).sprite(sp).end_pass();
        run(s);
        int w = 0, h = 0;
        const int known = render_cached_texture_size(ctx, c.name, &w, &h);
        if (c.accepted) {
            EXPECT_EQ(w, 2);
            // 0xAABBGGRR words: top-left red, top-right green.
            EXPECT_RGB(at(5, 15), 255, 0, 0, 0);
            EXPECT_RGB(at(15, 15), 0, 255, 0, 0);
            EXPECT_RGB(at(5, 5), 0, 0, 255, 0);
        } else {
            EXPECT_TRUE(!known || w == -1);
        }
    }
}

TEST_F(SceneTest, ScreenshotWritesThePassWithTheColourKey)
{
    fs::create_directories(game_dir / "shots");
    write_file(game_dir / "shots/deep/a.png", "old contents");
    scene_builder s;
    s.grid().passes(1, 1).pass(10, 20, 30);
    s.solid(0, 0, 4, 4, 200, 0, 0).end_pass();
    // 8 x 4 from the bottom-left: left half red, right half background. The
    // key turns every pixel within 5 of (12, 18, 30) transparent.
    s.screenshot("shots/deep/a.png", 0, 0, 8, 4, 5, 12, 18, 30, 0);
    s.screenshot("../escape.png", 0, 0, 8, 4);
    s.screenshot("/tmp/orv-absolute.png", 0, 0, 8, 4);
    s.screenshot("shots/huge.png", -1e30f, -1e30f, 3e30f, 3e30f);
    run(s);
    const std::string png = read_file(game_dir / "shots/deep/a.png");
    unsigned char *img = nullptr;
    unsigned w = 0, h = 0;
    ASSERT_EQ(lodepng_decode32(&img, &w, &h, (const unsigned char *)png.data(), png.size()), 0u);
    EXPECT_EQ(w, 8u);
    EXPECT_EQ(h, 4u);
    for (unsigned x = 0; x < 8; x++) {
        const unsigned char *p = img + (size_t)(1 * w + x) * 4;
        if (x < 4) {
            EXPECT_EQ(p[0], 200);
            EXPECT_EQ(p[3], 255);
        } else {
            EXPECT_EQ(p[0], 10);
            EXPECT_EQ(p[1], 20);
            EXPECT_EQ(p[3], 0);
        }
    }
    free(img);
    EXPECT_FALSE(fs::exists(root / "escape.png"));
    EXPECT_FALSE(fs::exists("/tmp/orv-absolute.png"));
    // The huge rectangle is clipped to the frame.
    const std::string huge = read_file(game_dir / "shots/huge.png");
    ASSERT_EQ(lodepng_decode32(&img, &w, &h, (const unsigned char *)huge.data(), huge.size()),
              0u);
    EXPECT_EQ(w, 1280u);
    EXPECT_EQ(h, 720u);
    free(img);
}

TEST_F(SceneTest, ScenesStopAtTheEndOfTheirDataAndAtForeignOpcodes)
{
    // A scene cut inside a record draws what came before and stops.
    scene_builder s;
    s.grid().passes(1, 1).pass(0, 0, 0).solid(0, 0, 10, 10, 255, 0, 0);
    s.i(prim_solid).f(20).f(20);
    run(s);
    EXPECT_RGB(at(5, 5), 255, 0, 0, 0);
    EXPECT_EQ(ctx->current_target, nullptr);

    // A primitive kind at top level ends the scene: the grid after it is not run.
    scene_builder t;
    t.grid().passes(1, 1).pass(0, 0, 0).end_pass().i(prim_sprite).grid(640, 360);
    run(t);
    EXPECT_EQ(SDL_AtomicGet(&ctx->grid_origin_x), 0);
}

TEST_F(SceneTest, RepeatModeIgnoresCommandsButDrawsPasses)
{
    scene_builder s;
    s.grid(640, 360).i(cmd_set_window_title).str("Repeated");
    s.passes(1, 1).pass(0, 0, 0).solid(0, 0, 10, 10, 0, 255, 0).end_pass();
    SDL_AtomicSet(&ctx->grid_origin_x, 0);
    SDL_AtomicSet(&ctx->grid_origin_y, 720);
    SDL_AtomicSet(&ctx->ready, 1);
    run(s, 0, 1);
    EXPECT_EQ(SDL_AtomicGet(&ctx->grid_origin_x), 0);  // the grid command was skipped
    EXPECT_STREQ(SDL_GetWindowTitle(ctx->window), "Repeated");
    EXPECT_RGB(at(5, 5), 0, 255, 0, 0);
}

TEST_F(SceneTest, InvalidMouseGrabLogsAtMostThirtyTimes)
{
    for (int n = 0; n < 40; n++) {
        scene_builder s;
        s.i(cmd_set_mouse_grab).i(7);
        execute_scene(ctx, s.s, 0, 0);
    }
    EXPECT_EQ(count_log("App tried to set an invalid mouse grab value of 7, ignoring"), 30);
}

TEST_F(SceneTest, WindowCommandsChangeTheWindow)
{
    scene_builder s;
    s.i(cmd_set_window_title).str("Titled").i(cmd_set_window_size).i(640).i(360);
    execute_scene(ctx, s.s, 0, 0);
    EXPECT_STREQ(SDL_GetWindowTitle(ctx->window), "Titled");
    int w = 0, h = 0;
    SDL_GetWindowSize(ctx->window, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
    EXPECT_EQ(SDL_AtomicGet(&ctx->resize_requested), 1);

    scene_builder t;
    t.i(cmd_set_window_scale).f(0.6f).i(16).i(9);
    execute_scene(ctx, t.s, 0, 0);
    SDL_GetWindowSize(ctx->window, &w, &h);
    EXPECT_EQ(w, 640);  // 0.6 snaps down to 0.5
    EXPECT_EQ(h, 360);  // 0.5 * 9 * (1280 / 16)

    scene_builder u;
    u.i(cmd_set_window_scale).f(1.0f).i(0).i(0);  // never divides by zero
    execute_scene(ctx, u.s, 0, 0);
    SDL_GetWindowSize(ctx->window, &w, &h);
    EXPECT_GE(w, 1);
    EXPECT_GE(h, 1);

    scene_builder v;
    v.i(cmd_toggle_orientation_no_resize);
    execute_scene(ctx, v.s, 0, 0);
    struct render_sizes sizes;
    render_context_get_sizes(ctx, &sizes);
    EXPECT_EQ(sizes.landscape, 0);
    EXPECT_EQ(sizes.logical_w, 720);
    EXPECT_EQ(sizes.logical_h, 1280);
}

}  // namespace

// HD on the dummy driver's 1024 x 576 window: scale 0.8 snaps to 0.75, so the
// 960 x 540 canvas sits at (32, 18) with black letterbox bars around it.
class HdSceneTest : public RenderTest
{
protected:
    void set_cvars() override
    {
        RenderTest::set_cvars();
        cvar_set_forced("game_metadata.hd", "true");
        cvar_set_forced("game_metadata.hd_max_scale", "400");
        cvar_set_forced("game_metadata.hd_letterbox", "true");
    }
};

TEST_F(HdSceneTest, CanvasIsScaledCentredAndLetterboxed)
{
    struct render_sizes sz;
    render_context_get_sizes(ctx, &sz);
    ASSERT_EQ(sz.output_w, 1024);
    ASSERT_EQ(sz.output_h, 576);
    EXPECT_FLOAT_EQ(sz.render_scale, 0.75f);
    EXPECT_NEAR(sz.raw_scale, 0.8f, 1e-6);
    EXPECT_EQ(sz.offset_x, 32);
    EXPECT_EQ(sz.offset_y, 18);
    EXPECT_EQ(sz.texture_tier, 100);
    scene_builder s;
    s.grid().passes(1, 0).pass(40, 80, 120);
    s.solid(0, 0, 100, 100, 255, 0, 0).end_pass();
    s.s->read_pos = 0;
    execute_scene(ctx, s.s, 0, 0);
    std::vector<uint8_t> win((size_t)1024 * 576 * 4);
    ASSERT_EQ(SDL_RenderReadPixels(ctx->renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, win.data(),
                                   1024 * 4),
              0)
        << SDL_GetError();
    auto at = [&](int x, int y) {
        const uint8_t *p = &win[((size_t)y * 1024 + x) * 4];
        return rgba{p[0], p[1], p[2], p[3]};
    };
    EXPECT_RGB(at(512, 288), 40, 80, 120, 0);
    EXPECT_RGB(at(32, 18), 40, 80, 120, 0);
    EXPECT_RGB(at(991, 557), 40, 80, 120, 0);
    // The 100 x 100 red square at (0, 0) is 75 x 75 output pixels at the
    // canvas's bottom-left corner (32, 558).
    EXPECT_RGB(at(32, 557), 255, 0, 0, 0);
    EXPECT_RGB(at(106, 483), 255, 0, 0, 0);
    EXPECT_RGB(at(107, 483), 40, 80, 120, 0);
    for (auto p : {std::make_pair(31, 288), std::make_pair(992, 288), std::make_pair(512, 17),
                   std::make_pair(512, 558), std::make_pair(0, 0), std::make_pair(1023, 575)}) {
        SCOPED_TRACE(testing::Message() << p.first << ", " << p.second);
        EXPECT_RGB(at(p.first, p.second), 0, 0, 0, 0);
    }
}
