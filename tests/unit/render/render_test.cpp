// The render context's geometry and life cycle, textures and images, cursors,
// font atlases and labels, on the dummy video driver's software renderer.
#include "counting_allocator.h"
#include "render_fixture.h"

namespace {

// ---- HD geometry -----------------------------------------------------------------

struct hd_case {
    int ow, oh, lw, lh, max_scale;
    float raw, scale;
    int tier, offset_x, offset_y;
};

void PrintTo(const hd_case &c, std::ostream *os)
{
    *os << c.ow << "x" << c.oh << " max " << c.max_scale;
}

class HdSizesTest : public testing::TestWithParam<hd_case>
{
};

TEST_P(HdSizesTest, OutputSizeGivesScaleTierAndOffsets)
{
    const hd_case &c = GetParam();
    struct render_sizes s;
    SDL_zero(s);
    render_compute_hd_sizes(c.ow, c.oh, c.ow, c.oh, c.lw, c.lh, c.max_scale, &s);
    EXPECT_NEAR(s.raw_scale, c.raw, 1e-4);
    EXPECT_FLOAT_EQ(s.render_scale, c.scale);
    EXPECT_EQ(s.texture_tier, c.tier);
    EXPECT_EQ(s.offset_x, c.offset_x);
    EXPECT_EQ(s.offset_y, c.offset_y);
    EXPECT_EQ(s.output_w, c.ow);
    EXPECT_EQ(s.output_h, c.oh);
    EXPECT_FLOAT_EQ(s.pixel_density, 1.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HdSizesTest,
    testing::Values(hd_case{1920, 1080, 1280, 720, 0, 1.5f, 1.5f, 150, 0, 0},
                    hd_case{5120, 2880, 1280, 720, 400, 4.0f, 4.0f, 400, 0, 0},
                    hd_case{6400, 3600, 1280, 720, 400, 5.0f, 4.0f, 400, 640, 360},
                    hd_case{2560, 1440, 1280, 720, 150, 2.0f, 1.5f, 150, 320, 180},
                    hd_case{1366, 768, 1280, 720, 400, 1.0667f, 1.0f, 100, 43, 24},
                    hd_case{1000, 1000, 1280, 720, 400, 0.78125f, 0.75f, 100, 20, 230},
                    hd_case{1280, 720, 1280, 720, 100, 1.0f, 1.0f, 100, 0, 0},
                    hd_case{3840, 2160, 1280, 720, 250, 3.0f, 2.5f, 250, 320, 180},
                    hd_case{3840, 2160, 1280, 720, 123, 3.0f, 3.0f, 300, 0, 0},
                    hd_case{200, 100, 1280, 720, 400, 0.138889f, 0.1f, 100, 36, 14},
                    hd_case{1440, 2560, 720, 1280, 400, 2.0f, 2.0f, 200, 0, 0}));

TEST(RenderScale, TiersAndSteps)
{
    const struct {
        float k;
        int tier;
    } tiers[] = {{0.1f, 100}, {1.24f, 100}, {1.25f, 125}, {1.5f, 150}, {1.75f, 175},
                 {2.0f, 200}, {2.49f, 200}, {2.5f, 250}, {3.0f, 300}, {3.99f, 300},
                 {4.0f, 400}, {5.0f, 400}};
    for (const auto &t : tiers) {
        EXPECT_EQ(render_texture_tier(t.k), t.tier) << t.k;
    }
    EXPECT_FLOAT_EQ(render_snap_scale(0.2f), 0.1f);
    EXPECT_FLOAT_EQ(render_snap_scale(2.3f), 2.25f);
    EXPECT_FLOAT_EQ(render_snap_scale(3.9f), 3.5f);
    EXPECT_FLOAT_EQ(render_snap_scale(9.0f), 5.0f);
}

TEST(RenderBlend, EnumMapsToPlatformModes)
{
    EXPECT_EQ(render_blend_mode(0), SDL_BLENDMODE_NONE);
    EXPECT_EQ(render_blend_mode(1), SDL_BLENDMODE_BLEND);
    EXPECT_EQ(render_blend_mode(2), SDL_BLENDMODE_ADD);
    EXPECT_EQ(render_blend_mode(3), SDL_BLENDMODE_MOD);
    EXPECT_EQ(render_blend_mode(4), SDL_BLENDMODE_MUL);
    EXPECT_EQ(render_blend_mode(7), SDL_BLENDMODE_BLEND);
    EXPECT_EQ(render_blend_mode(-1), SDL_BLENDMODE_BLEND);
    EXPECT_FLOAT_EQ(render_texture_factor(150, 3.0f), 1.5f);
    EXPECT_FLOAT_EQ(render_texture_factor(110, 3.0f), 3.0f);
}

TEST(RenderNames, HashAndPathLint)
{
    // h = 5; h = h * 33 ^ c: "a" gives 5 * 33 ^ 97 = 228.
    EXPECT_EQ(render_name_hash(""), 5u);
    EXPECT_EQ(render_name_hash("a"), (5u * 33u) ^ 97u);
    const struct {
        const char *path, *suggestion;
    } cases[] = {{"sprites/Hero Ship.png", "sprites/hero-ship.png"},
                 {"a\tb\nc.PNG", "a-b-c.png"},
                 {"sprites/fine_name-1.png", nullptr}};
    for (const auto &c : cases) {
        char *s = nullptr;
        EXPECT_EQ(texture_path_lint(c.path, &s), c.suggestion != nullptr) << c.path;
        if (c.suggestion) {
            EXPECT_STREQ(s, c.suggestion);
        }
        SDL_free(s);
    }
}

// ---- Context -----------------------------------------------------------------------

using ContextTest = RenderTest;

TEST_F(ContextTest, CreatesEverythingAndReportsNonHdSizes)
{
    EXPECT_NE(ctx->white_texture, nullptr);
    EXPECT_NE(ctx->fallback_texture, nullptr);
    EXPECT_NE(ctx->default_font, nullptr);
    EXPECT_EQ(ctx->max_texture_w, 2048);  // the software renderer reports 0
    struct render_sizes s;
    render_context_get_sizes(ctx, &s);
    EXPECT_EQ(s.logical_w, 1280);
    EXPECT_EQ(s.logical_h, 720);
    EXPECT_EQ(s.output_w, 1280);
    EXPECT_EQ(s.window_h, 720);
    EXPECT_EQ(s.texture_tier, 100);
    EXPECT_FLOAT_EQ(s.render_scale, 1.0f);
    EXPECT_EQ(SDL_AtomicGet(&ctx->tick_count), -1);
    EXPECT_EQ(SDL_AtomicGet(&ctx->sizes_changed), 1);
}

TEST_F(ContextTest, CreationLogsTheRendererAndSizes)
{
    render_context_delete(ctx);
    log_free_entries(log_get_entries());
    ctx = render_context_new(1, 0);
    ASSERT_NE(ctx, nullptr);
    struct log_entry *list = log_get_entries();
    std::vector<std::string> lines;
    for (struct log_entry *e = list; e; e = e->next) {
        lines.push_back(e->message);
    }
    log_free_entries(list);
    const char *wanted[] = {"SDL renderer backend: software", "Window size: ",
                            "Max texture size: 2048x2048 (system reported 0x0)",
                            "Logical render size: 1280x720", "HD: no"};
    for (const char *w : wanted) {
        bool found = false;
        for (const std::string &l : lines) {
            found = found || l.find(w) != std::string::npos;
        }
        EXPECT_TRUE(found) << w;
    }
}

TEST_F(ContextTest, FailsWithoutTheDefaultFont)
{
    render_context_delete(ctx);
    ctx = nullptr;
    PHYSFS_unmount(game_dir.c_str());
    struct render_context *none = render_context_new(1, 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(SDL_strstr(SDL_GetError(), "font.ttf"), nullptr) << SDL_GetError();
    ASSERT_TRUE(PHYSFS_mount(game_dir.c_str(), nullptr, 1));
}

TEST_F(ContextTest, CreateAndDeleteBalanceTheHeap)
{
    render_context_delete(ctx);
    ctx = nullptr;
    // One round first, so lazily made state of the platform and of PhysicsFS
    // (its per-thread error record) exists.
    for (int round = 0; round < 2; round++) {
        const counting_allocator_snapshot before = counting_allocator_read();
        struct render_context *c = render_context_new(1, 0);
        ASSERT_NE(c, nullptr);
        lookup_font(c, "mono.ttf");
        lookup_font(c, "missing.ttf");
        struct texture_lookup t;
        lookup_texture(&t, c, "sprites/none.png");
        render_context_delete(c);
        log_free_entries(log_get_entries());
        if (round == 1) {
            EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
        }
    }
}

TEST_F(ContextTest, OrientationAndRecovery)
{
    render_context_toggle_orientation(ctx);
    render_context_update_sizes(ctx);
    struct render_sizes s;
    render_context_get_sizes(ctx, &s);
    EXPECT_EQ(s.logical_w, 720);
    EXPECT_EQ(s.logical_h, 1280);
    EXPECT_STREQ(cvar_game_metadata_orientation_current, "portrait");
    render_context_toggle_orientation(ctx);
    render_context_get_sizes(ctx, &s);
    EXPECT_EQ(s.logical_w, 1280);

    write_file(game_dir / "a.png", png_of(1, 1, {0xFF0000FFu}));
    struct texture_lookup t;
    lookup_texture(&t, ctx, "a.png");
    ASSERT_NE(t.entry, nullptr);
    struct texture_entry *target = render_target_lookup(ctx, "target", 10, 10, 1.0f);
    ASSERT_NE(target, nullptr);
    render_context_recover_render_targets(ctx);
    EXPECT_EQ(target->texture, nullptr);
    EXPECT_NE(t.entry->texture, nullptr);
    render_context_recover_textures(ctx);
    EXPECT_EQ(t.entry->texture, nullptr);
    EXPECT_NE(ctx->default_font, nullptr);
    EXPECT_NE(ctx->fallback_texture, nullptr);
    lookup_texture(&t, ctx, "a.png");
    EXPECT_NE(t.entry->texture, nullptr);  // reloaded lazily
}

// ---- Textures and images -------------------------------------------------------

using TextureTest = RenderTest;

TEST_F(TextureTest, LookupGivesBuiltInsCachedImagesAndTheFallback)
{
    write_file(game_dir / "img.png", png_of(3, 2, std::vector<uint32_t>(6, 0x112233FFu)));
    struct texture_lookup t;
    lookup_texture(&t, ctx, "pixel");
    EXPECT_EQ(t.texture, ctx->white_texture);
    EXPECT_EQ(t.w, 1280);
    EXPECT_EQ(t.entry, nullptr);
    lookup_texture(&t, ctx, "solid");
    EXPECT_EQ(t.texture, ctx->white_texture);
    lookup_texture(&t, ctx, "img.png");
    EXPECT_EQ(t.w, 3);
    EXPECT_EQ(t.h, 2);
    ASSERT_NE(t.entry, nullptr);
    SDL_Texture *first = t.texture;
    lookup_texture(&t, ctx, "img.png");
    EXPECT_EQ(t.texture, first);
    lookup_texture(&t, ctx, "nothing.png");
    EXPECT_EQ(t.texture, ctx->fallback_texture);
    EXPECT_EQ(t.w, 256);
    EXPECT_EQ(t.entry, nullptr);
    int w = 0, h = 0;
    EXPECT_TRUE(render_cached_texture_size(ctx, "nothing.png", &w, &h));
    EXPECT_EQ(w, -1);
    EXPECT_FALSE(render_cached_texture_size(ctx, "never.png", &w, &h));
    // A failed path is tried again on its next use.
    write_file(game_dir / "nothing.png", png_of(1, 1, {0xFFFFFFFFu}));
    lookup_texture(&t, ctx, "nothing.png");
    EXPECT_EQ(t.w, 1);
}

TEST_F(TextureTest, DevelopmentBuildWarnsOnceAboutPathNames)
{
    struct texture_lookup t;
    for (int i = 0; i < 3; i++) {
        lookup_texture(&t, ctx, "sprites/Hero Ship.png");
    }
    struct log_entry *list = log_get_entries();
    int n = 0;
    for (struct log_entry *e = list; e; e = e->next) {
        if (SDL_strstr(e->message, "File path contains problematic characters")) {
            n++;
            EXPECT_NE(SDL_strstr(e->message, "=sprites/Hero Ship.png=\n  to\n    "
                                             "=sprites/hero-ship.png="),
                      nullptr)
                << e->message;
        }
    }
    log_free_entries(list);
    EXPECT_EQ(n, 1);
}

class ProductionTextureTest : public RenderTest
{
protected:
    int development() override
    {
        return 0;
    }
};

TEST_F(ProductionTextureTest, ProductionBuildDoesNotLintPaths)
{
    struct texture_lookup t;
    lookup_texture(&t, ctx, "sprites/Hero Ship.png");
    EXPECT_EQ(count_log("problematic"), 0);
}

TEST_F(TextureTest, ImagesDecodeProbeAndEncode)
{
    // A 16-bit PNG: samples 0xABCD keep their high byte 0xAB.
    std::vector<unsigned char> raw16;
    for (int i = 0; i < 2; i++) {
        for (unsigned v : {0xABCDu, 0x1234u, 0xFF00u, 0xFFFFu}) {
            raw16.push_back((unsigned char)(v >> 8));
            raw16.push_back((unsigned char)v);
        }
    }
    unsigned char *png = nullptr;
    size_t size = 0;
    ASSERT_EQ(lodepng_encode_memory(&png, &size, raw16.data(), 2, 1, LCT_RGBA, 16), 0u);
    write_file(game_dir / "deep.png", std::string((const char *)png, size));
    free(png);
    int w = 0, h = 0;
    uint8_t *px = load_image("deep.png", &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(px[0], 0xAB);
    EXPECT_EQ(px[1], 0x12);
    EXPECT_EQ(px[2], 0xFF);
    EXPECT_EQ(px[3], 0xFF);
    free_image(px);

    write_file(game_dir / "big.png", png_of(40, 30, std::vector<uint32_t>(1200, 0x00FF00FFu)));
    EXPECT_TRUE(load_image_only_dimensions("big.png", &w, &h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    write_file(game_dir / "junk.png", "not an image");
    EXPECT_FALSE(load_image_only_dimensions("junk.png", &w, &h));
    EXPECT_FALSE(load_image_only_dimensions("absent.png", &w, &h));
    EXPECT_EQ(load_image("junk.png", &w, &h), nullptr);

    // encode_png: as is, and scaled to 20 x 15.
    px = load_image("big.png", &w, &h);
    ASSERT_NE(px, nullptr);
    for (int out : {0, 1}) {
        size_t bytes = 0;
        uint8_t *file = encode_png(px, w, h, out ? 20 : 0, out ? 15 : 0, &bytes);
        ASSERT_NE(file, nullptr);
        ASSERT_GT(bytes, 26u);
        EXPECT_EQ(file[24], 8);  // IHDR bit depth: always 8-bit RGBA, even for
        EXPECT_EQ(file[25], 6);  // pixels a palette could hold
        unsigned char *back = nullptr;
        unsigned bw = 0, bh = 0;
        ASSERT_EQ(lodepng_decode32(&back, &bw, &bh, file, bytes), 0u);
        EXPECT_EQ(bw, out ? 20u : 40u);
        EXPECT_EQ(bh, out ? 15u : 30u);
        EXPECT_EQ(back[1], 255);
        free(back);
        SDL_free(file);
    }
    free_image(px);
}

TEST_F(TextureTest, CursorsAreCachedByPath)
{
    write_file(game_dir / "cursor.png", png_of(2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu)));
    SDL_Cursor *a = lookup_cursor(ctx, "cursor.png", 0, 0);
    SDL_Cursor *b = lookup_cursor(ctx, "cursor.png", 1, 1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(lookup_cursor(ctx, "missing.png", 0, 0), SDL_GetDefaultCursor());
    // The dummy driver has no system cursors: the default one stands in.
    EXPECT_EQ(lookup_system_cursor(ctx, SDL_SYSTEM_CURSOR_HAND), SDL_GetDefaultCursor());
    EXPECT_NE(lookup_cursor_no_fallback(ctx, "$ORVZEL$11"), nullptr);
}

// ---- Fonts -------------------------------------------------------------------------

using FontTest = RenderTest;

TEST_F(FontTest, KerningIsInTheSansFontAndNotInTheMonoFont)
{
    struct fontatlas *sans = lookup_font(ctx, nullptr);
    struct fontatlas *mono = lookup_font(ctx, "mono.ttf");
    ASSERT_NE(mono, sans);
    EXPECT_TRUE(fontatlas_has_kerning(sans));
    const float scale = fontatlas_get_scale(sans, 100);
    EXPECT_FLOAT_EQ(fontatlas_get_kerningadvance(sans, 'A', 'V', scale), -131.0f * scale);
    EXPECT_FLOAT_EQ(fontatlas_get_kerningadvance(sans, 0, 'V', scale), 0.0f);
    EXPECT_FLOAT_EQ(fontatlas_get_kerningadvance(mono, 'A', 'V', scale), 0.0f);
    for (struct fontatlas *f : {sans, mono}) {
        float av = 0, a = 0, v = 0, h = 0;
        fontatlas_calcstringrect_uncached(f, "AV", &av, &h, 100);
        fontatlas_calcstringrect_uncached(f, "A", &a, &h, 100);
        fontatlas_calcstringrect_uncached(f, "V", &v, &h, 100);
        if (f == sans) {
            EXPECT_NEAR(av, a + v - 131.0f * scale, 0.02f);
        } else {
            EXPECT_NEAR(av, a + v, 0.02f);
        }
    }
}

TEST_F(FontTest, MeasurementOfEmptyAndMissingGlyphs)
{
    struct fontatlas *sans = lookup_font(ctx, nullptr);
    float w = -1, h = -1;
    fontatlas_calcstringrect(sans, "", &w, &h, 22);
    EXPECT_EQ(w, 0.0f);
    const float line = fontatlas_get_scale(sans, 22) *
                       (fontatlas_get_raw_ascent(sans) - fontatlas_get_raw_descent(sans) +
                        fontatlas_get_raw_line_gap(sans));
    EXPECT_FLOAT_EQ(h, line);
    float with = 0, without = 0;
    fontatlas_calcstringrect(sans, "A\xe4\xb8\xadV", &with, &h, 40);  // U+4E2D is not there
    fontatlas_calcstringrect(sans, "AV", &without, &h, 40);
    EXPECT_FLOAT_EQ(with, without);
    EXPECT_EQ(fontatlas_getglyph(sans, 0x4E2D, 40), nullptr);
    // Cached and uncached agree within the truncation of each advance.
    float cached = 0, uncached = 0;
    fontatlas_calcstringrect(sans, "Hello, world", &cached, &h, 30);
    fontatlas_calcstringrect_uncached(sans, "Hello, world", &uncached, &h, 30);
    EXPECT_NEAR(cached, uncached, 12.0f);
    EXPECT_LE(cached, uncached);
}

TEST_F(FontTest, UnknownFontsFallBackToTheDefault)
{
    EXPECT_EQ(lookup_font(ctx, "nope.ttf"), ctx->default_font);
    EXPECT_EQ(lookup_font(ctx, "nope.ttf"), ctx->default_font);
    write_file(game_dir / "bogus.ttf", "this is not a font file at all");
    EXPECT_EQ(lookup_font(ctx, "bogus.ttf"), ctx->default_font);
    EXPECT_EQ(fontatlas_new(nullptr, "bogus.ttf"), nullptr);
    EXPECT_NE(SDL_strstr(SDL_GetError(), "Font 'bogus.ttf' is bogus or corrupt"), nullptr);
    EXPECT_EQ(fontatlas_new(nullptr, "absent.ttf"), nullptr);
    EXPECT_NE(SDL_strstr(SDL_GetError(), "Couldn't load 'absent.ttf'"), nullptr);
}

TEST_F(FontTest, GlyphsPackIntoPagesAndOversizedOnesHaveNone)
{
    struct fontatlas *f = fontatlas_new(ctx->renderer, "font.ttf");
    ASSERT_NE(f, nullptr);
    fontatlas_set_page_size(f, 64, 64);
    std::vector<uint32_t> cps;
    for (uint32_t c = 'A'; c <= 'Z'; c++) {
        cps.push_back(c);
    }
    fontatlas_cacheglyphs(f, cps.data(), (int)cps.size(), 20);
    EXPECT_GT(fontatlas_page_count(f), 1);
    // Every glyph sits inside its page, with a transparent pixel around it,
    // and no two glyphs of a page overlap.
    std::vector<const struct fontatlas_glyph *> glyphs;
    for (uint32_t c : cps) {
        const struct fontatlas_glyph *g = fontatlas_getglyph(f, c, 20);
        ASSERT_NE(g, nullptr);
        ASSERT_NE(g->page, nullptr);
        EXPECT_GE(g->x, 1);
        EXPECT_GE(g->y, 1);
        EXPECT_LE(g->x + g->w + 1, 64);
        EXPECT_LE(g->y + g->h + 1, 64);
        for (const struct fontatlas_glyph *o : glyphs) {
            if (o->page == g->page) {
                const bool apart = g->x + g->w < o->x || o->x + o->w < g->x ||
                                   g->y + g->h < o->y || o->y + o->h < g->y;
                EXPECT_TRUE(apart) << (char)c;
            }
        }
        glyphs.push_back(g);
    }
    const int pages = fontatlas_page_count(f);
    const struct fontatlas_glyph *huge = fontatlas_getglyph(f, 'W', 2000);
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(huge->page, nullptr);
    EXPECT_GT(huge->advance, 1000.0f);
    EXPECT_EQ(fontatlas_page_count(f), pages);
    fontatlas_delete(f);
}

// ---- Labels ----------------------------------------------------------------------

using LabelTest = RenderTest;

TEST_F(LabelTest, InkMatchesTheMeasuredWidthAndAlignmentShiftsIt)
{
    // U+2588 FULL BLOCK fills its whole advance, so ink width is the measure.
    const std::string blocks = "\xe2\x96\x88\xe2\x96\x88\xe2\x96\x88";
    float W = 0, H = 0;
    ASSERT_TRUE(render_measure_text(ctx, nullptr, blocks.c_str(), 40, &W, &H));
    int first[3], last[3];
    for (int align = 0; align < 3; align++) {
        label_rec l;
        l.text = blocks;
        l.x = 600;
        l.y = 400;
        l.size_px = 40;
        l.alignment = align;
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).label(l).end_pass();
        run(s);
        ink_span(720 - 400, 720 - 400 + 40, &first[align], &last[align]);
        ASSERT_GE(first[align], 0) << align;
        SCOPED_TRACE(align);
        // Ink is within 2 px of the measure (edge pixels are partly covered).
        EXPECT_NEAR(last[align] - first[align] + 1, W, 2.0);
    }
    EXPECT_NEAR(first[0], 600, 2);
    EXPECT_NEAR(first[0] - first[1], W / 2, 1.5);
    EXPECT_NEAR(first[0] - first[2], W, 1.5);
}

TEST_F(LabelTest, KerningShowsInTheInkAndMissingGlyphsChangeNothing)
{
    auto right_edge = [&](const char *text, const char *font, float x = 100) {
        label_rec l;
        l.text = text;
        l.font = font;
        l.x = x;
        l.y = 400;
        l.size_px = 200;
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).label(l).end_pass();
        run(s);
        int first = 0, last = 0;
        ink_span(0, 719, &first, &last);
        return last;
    };
    // "AV" ends where a lone "V" drawn at A's advance ends, plus the kerning:
    // -131 units at 200 px in the sans font (about -11 px), none in the mono font.
    for (const char *font : {(const char *)nullptr, "mono.ttf"}) {
        SCOPED_TRACE(font ? font : "default");
        float a_w = 0, h = 0;
        ASSERT_TRUE(render_measure_text(ctx, font, "A", 200, &a_w, &h));
        const int together = right_edge("AV", font);
        const int apart = right_edge("V", font, 100 + a_w);
        const float kern =
            font ? 0.0f : -131.0f * fontatlas_get_scale(ctx->default_font, 200);
        EXPECT_NEAR(together - apart, kern, 1.5);
    }
    const std::vector<uint8_t> plain = (right_edge("AV", nullptr), frame);
    right_edge("A\xe4\xb8\xadV", nullptr);
    EXPECT_TRUE(frame == plain);
}

TEST_F(LabelTest, SizesAndVerticalAlignment)
{
    auto ink_rows = [&](float size_enum, float size_px, int valign, int *top, int *bottom) {
        label_rec l;
        l.text = "\xe2\x96\x88";
        l.x = 100;
        l.y = 400;
        l.size_enum = size_enum;
        l.size_px = size_px;
        l.valign = valign;
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).label(l).end_pass();
        run(s);
        *top = *bottom = -1;
        for (int y = 0; y < 720; y++) {
            for (int x = 90; x < 200; x++) {
                if (px(x, y).r > 128) {
                    if (*top < 0) {
                        *top = y;
                    }
                    *bottom = y;
                    break;
                }
            }
        }
    };
    int t0, b0, t1, b1, t2, b2;
    ink_rows(0, -1, 2, &t0, &b0);  // size_enum 0: 22 px
    ink_rows(0, 40, 2, &t1, &b1);
    ink_rows(0, 40, 0, &t2, &b2);
    ASSERT_GE(t0, 0);
    ASSERT_GE(t1, 0);
    ASSERT_GE(t2, 0);
    // The full block spans the font's ascent to its descent, which is the
    // pixel size; its edge rows are partly covered (2 px).
    EXPECT_NEAR(b0 - t0 + 1, 22, 2);
    EXPECT_NEAR(b1 - t1 + 1, 40, 2);
    // Vertical alignment 2 hangs the text below y: its top is at y.
    EXPECT_NEAR(t1, 720 - 400, 2);
    // Alignment 0 puts the line box above y: one line height higher.
    const float line = 40 * (fontatlas_get_raw_ascent(ctx->default_font) -
                             fontatlas_get_raw_descent(ctx->default_font) +
                             fontatlas_get_raw_line_gap(ctx->default_font)) /
                       (fontatlas_get_raw_ascent(ctx->default_font) -
                        fontatlas_get_raw_descent(ctx->default_font));
    EXPECT_NEAR(t1 - t2, line, 1.5);
}

TEST_F(LabelTest, HugeAndEmptyLabelsDrawNothing)
{
    label_rec l;
    l.text = "W";
    l.x = 0;
    l.y = 700;
    l.size_px = 100000;
    scene_builder s;
    s.grid().passes(1, 1).pass(0, 0, 0).label(l);
    l.text = "";
    l.size_px = 40;
    s.label(l).end_pass();
    run(s);
    int first = 0, last = 0;
    ink_span(0, 719, &first, &last, 0);
    EXPECT_EQ(first, -1);
}

// The simulation thread measures while the render thread draws labels and
// replaces the fonts: the font lock keeps both safe (a ThreadSanitizer run
// checks it).
TEST_F(LabelTest, MeasuringOnAnotherThreadWhileDrawing)
{
    struct shared {
        struct render_context *ctx;
        SDL_atomic_t stop;
        int measured;
    } sh = {ctx, {0}, 0};
    SDL_Thread *t = SDL_CreateThread(
        [](void *p) -> int {
            shared *s = (shared *)p;
            while (!SDL_AtomicGet(&s->stop)) {
                float w = 0, h = 0;
                if (render_measure_text(s->ctx, "mono.ttf", "measure me", 30, &w, &h) && w > 0) {
                    s->measured++;
                }
                int tw = 0, th = 0;
                render_cached_texture_size(s->ctx, "pixel-ish.png", &tw, &th);
            }
            return 0;
        },
        "measure", &sh);
    ASSERT_NE(t, nullptr);
    for (int n = 0; n < 20; n++) {
        label_rec l;
        l.text = "drawing";
        l.font = "mono.ttf";
        l.size_px = (float)(20 + n);
        sprite_rec sp;
        sp.path = "pixel-ish.png";
        sp.w = 5;
        sp.h = 5;
        scene_builder s;
        s.grid().passes(1, 1).pass(0, 0, 0).label(l).sprite(sp).end_pass();
        run(s);
        if (n % 5 == 4) {
            render_context_recover_textures(ctx);
        }
    }
    SDL_AtomicSet(&sh.stop, 1);
    SDL_WaitThread(t, nullptr);
    EXPECT_GT(sh.measured, 0);
}

}  // namespace
