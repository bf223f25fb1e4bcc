// FFI::Draw in a fresh interpreter: each case evaluates a line of Ruby and
// compares the commands it appended (decoded to text) with what the records
// must hold.
#include <gtest/gtest.h>
#include <mruby.h>
#include <mruby/compile.h>
#include <mruby/string.h>

#include <string>

#include "render/draw_natives.h"
#include "render/render.h"
#include "stream/pack.h"
#include "stream/scene_decode.h"
#include "stream/stream.h"

namespace {

class DrawNativesTest : public testing::Test
{
protected:
    mrb_state *mrb = nullptr;
    struct threadstream *scene = nullptr;

    static void SetUpTestSuite()
    {
        threadstream_init();
    }

    void SetUp() override
    {
        mrb = mrb_open();
        ASSERT_NE(mrb, nullptr);
        struct RClass *ffi = mrb_define_module(mrb, "FFI");
        struct RClass *draw = mrb_define_class_under(mrb, ffi, "Draw", mrb->object_class);
        draw_natives_register(mrb, draw, nullptr, &scene);
        const struct pack_settings packing = {&scene, nullptr, nullptr};
        pack_init(mrb, &packing);
        scene = threadstream_allocate();
        ASSERT_NE(scene, nullptr);
    }

    void TearDown() override
    {
        threadstream_free(scene);
        scene = nullptr;
        mrb_close(mrb);
    }

    // Runs code with $d as an FFI::Draw; returns the exception's class name
    // and message, or "" when none was raised.
    std::string eval(const std::string &code)
    {
        const std::string full = "$d = FFI::Draw.new\n" + code;
        mrb_load_string(mrb, full.c_str());
        if (!mrb->exc) {
            return "";
        }
        mrb_value e = mrb_obj_value(mrb->exc);
        mrb->exc = nullptr;
        mrb_value text = mrb_funcall(mrb, e, "inspect", 0);
        return std::string(RSTRING_PTR(text), RSTRING_LEN(text));
    }

    std::string commands()
    {
        char *text = scene_decode_commands(scene);
        std::string s = text ? text : "";
        SDL_free(text);
        return s;
    }

    std::string primitives()
    {
        char *text = scene_decode_primitives(scene);
        std::string s = text ? text : "";
        SDL_free(text);
        return s;
    }
};

struct packing_case {
    const char *code;
    const char *decoded;  // text the decoded records must contain; "" packs nothing
    bool primitive;
};

void PrintTo(const packing_case &c, std::ostream *os)
{
    *os << c.code;
}

class DrawPackingTest : public DrawNativesTest, public testing::WithParamInterface<packing_case>
{
};

TEST_P(DrawPackingTest, PacksTheRecord)
{
    const packing_case &c = GetParam();
    ASSERT_EQ(eval(c.code), "");
    if (!*c.decoded) {
        EXPECT_EQ(scene->length, 0u) << (c.primitive ? primitives() : commands());
        return;
    }
    const std::string text = c.primitive ? primitives() : commands();
    EXPECT_NE(text.find(c.decoded), std::string::npos) << text;
}

// The decoded forms come from scene_decode; each expectation names the fields
// the case is about.
INSTANTIATE_TEST_SUITE_P(
    Table, DrawPackingTest,
    testing::Values(
        packing_case{"$d.draw_solid(1, 2, 3, 4, 5, 6, 7, 0)", "", true},
        packing_case{"$d.draw_solid(1, 2, 3, 4, 5, 6, 7, 0.4)", "", true},
        packing_case{"$d.draw_solid(1, 2, 3, 4, 5, 6, 7, :a)", "", true},
        packing_case{"$d.draw_solid(1, 2, 3, 4, 5, 6, 7, nil)", "a=255 blendmode_enum=1", true},
        packing_case{"$d.draw_solid_3(1, 2, 3, 4, 5, 6, 7, 8, 2, 0.5, 1)",
                     "r=5 g=6 b=7 a=8 blendmode_enum=2 anchor_x=0.5 anchor_y=1.0", true},
        packing_case{"$d.draw_border(1, 2, 3, 4, 5, 6, 7, 8)", "prim_border", true},
        packing_case{"$d.draw_line(10, 20, 30, nil, 1, 2, 3, 4)", "x2=10.0 y2=20.0", true},
        packing_case{"$d.draw_line_2(10, 20, 30, 40, 1, 2, 3, 4, 0)",
                     "x2=30.0 y2=40.0 r=1 g=2 b=3 a=4 blendmode_enum=0", true},
        packing_case{"$d.draw_label(1, 2, 'hi', 3, 1, 4, 5, 6, nil, nil)",
                     "text=\"hi\" font=nil size_enum=3.0 alignment_enum=1 r=4 g=5 b=6 a=255 "
                     "vertical_alignment_enum=2 blendmode_enum=1 size_px=-1.0",
                     true},
        packing_case{"$d.draw_label_5(1, 2, 'hi', 0, 0, 0, 0, 0, 9, 'f.ttf', 1, 2, 40, 0, nil)",
                     "font=\"f.ttf\"", true},
        packing_case{"$d.draw_label_5(1, 2, 'hi', 0, 0, 0, 0, 0, 9, 'f.ttf', 1, 2, 40, 0, nil)",
                     "size_px=40.0 anchor_x_present=1 anchor_x=0.0 anchor_y_present=0", true},
        packing_case{"$d.draw_triangle(0, 0, 1, 1, 2, 0, nil, nil, nil, nil, nil, 0, 0, 0, 0, 0, "
                     "0, nil)",
                     "r=0 g=0 b=0 a=255 path=\"pixel\"", true},
        packing_case{"$d.draw_triangle_2(0, 0, 1, 1, 2, 0, 10, nil, nil, nil, 'p.png', 0, 0, 0, "
                     "0, 0, 0, 1, 20)",
                     "r2=20 g2=255 b2=255 a2=255 r3=20", true},
        packing_case{"$d.draw_sprite(1, 2, 3, 4, 'p.png')",
                     "path=\"p.png\" x=1.0 y=2.0 z=0 w=3.0 h=4.0 reserved=0 reserved2=0 angle=0.0 "
                     "r=255 g=255 b=255 a=255 tile_x=0.0 tile_y=0.0 tile_w=-1.0",
                     true},
        packing_case{"$d.draw_sprite_2(1, 2, 3, 4, 'p.png', 45, 0)", "", true},
        packing_case{"$d.draw_sprite_2(1, 2, 3, 4, 'p.png', 45, nil, 9, 9)", "angle=45.0 r=255", true},
        packing_case{"$d.draw_sprite_3(1, 2, 3, 4, 'p.png', 0, 128, 1, 2, 3, 4, 5, 6, 7, true, "
                     "false, 0.25, 0.75, 8, 9, 10, 11)",
                     "r=1 g=2 b=3 a=128 tile_x=4.0 tile_y=5.0 tile_w=6.0 tile_h=7.0 source_x=8.0 "
                     "source_y=9.0 source_w=10.0 source_h=11.0 flip_horizontally=1 "
                     "flip_vertically=0 angle_anchor_x=0.25 angle_anchor_y=0.75 blendmode_enum=1",
                     true},
        packing_case{"$d.draw_sprite_6(1, 2, 3, 4, 'p.png', 0, 255, 255, 255, 255, 0, 0, -1, -1, "
                     "false, false, 0.5, 0.5, 0, 0, -1, -1, 3, 1, 0.5, 2)",
                     "blendmode_enum=3 texture_scale=100 anchor_x=1.0 anchor_y=0.5 "
                     "scale_quality_enum=2",
                     true},
        packing_case{"$d.draw_screenshot('s.png', 1, 2, 3, 4, 7, 100, 10, 20, 30)",
                     "path=\"s.png\" x=1.0 y=2.0 w=3.0 h=4.0 tolerance=7 r=10 g=20 b=30 a=100", false},
        packing_case{"$d.set_grid(0.0, 720.0, 5)", "origin_x=0.0 origin_y=720.0", false},
        packing_case{"$d.set_window_scale(2)", "scale=2.0 aspect_w=16 aspect_h=9", false},
        packing_case{"$d.set_window_scale(nil, 0, 3)", "scale=1.0 aspect_w=16 aspect_h=3", false},
        packing_case{"$d.set_window_size(1280, nil)", "w=1280 h=720", false},
        packing_case{"$d.set_scale_quality(nil)", "quality=0", false},
        packing_case{"$d.set_scale_quality(2.0)", "quality=2", false},
        packing_case{"$d.toggle_cursor(false)", "cmd_show_cursor on=0", false},
        packing_case{"$d.toggle_fullscreen(:yes)", "cmd_set_fullscreen on=1", false},
        packing_case{"$d.unload_sprite(nil)", "cmd_unload_texture path=nil", false},
        packing_case{"$d.set_cursor('c.png', 3, 4)", "path=\"c.png\" hot_x=3 hot_y=4", false},
        packing_case{"$d.openurl('http://localhost/')", "url=\"http://localhost/\"", false},
        packing_case{"$d.set_window_title('T')", "title=\"T\"", false},
        packing_case{"$d.toggle_hd_letterbox", "cmd_toggle_hd_letterbox", false},
        packing_case{"$d.upload_pixel_array('px', 0, 1, [])", "", false},
        packing_case{"$d.upload_pixel_array('px', 100000, 100000, [])", "", false},
        packing_case{"$d.draw_a11ys([{a11y_id: 'b', x: 3}])", "cmd_accessibility count=1",
                     false}));

TEST_F(DrawNativesTest, UploadPixelArrayPacksLittleEndianPixels)
{
    ASSERT_EQ(eval("$d.upload_pixel_array('px', 2, 1, [0xFF0000FF])"), "");
    scene->read_pos = 0;
    EXPECT_EQ(threadstream_unpack_int(scene), cmd_upload_pixels);
    uint32_t n = 0;
    EXPECT_STREQ(threadstream_unpack_string(scene, &n), "px");
    EXPECT_EQ(threadstream_unpack_int(scene), 2);
    EXPECT_EQ(threadstream_unpack_int(scene), 1);
    const uint8_t *px = (const uint8_t *)threadstream_unpack_buffer(scene, &n);
    ASSERT_EQ(n, 8u);
    const uint8_t want[8] = {0xFF, 0, 0, 0xFF, 0, 0, 0, 0};  // red, then transparent black
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(px[i], want[i]) << i;
    }
}

TEST_F(DrawNativesTest, ErrorsFollowTheInterpreter)
{
    EXPECT_NE(eval("$d.set_scale_quality(3)").find("Invalid scale quality. Must be 0, 1, or 2."),
              std::string::npos);
    EXPECT_NE(eval("$d.set_scale_quality(-1)").find("ArgumentError"), std::string::npos);
    EXPECT_NE(eval("$d.draw_a11ys([], [])").find("ArgumentError"), std::string::npos);
    EXPECT_NE(eval("$d.draw_label(1, 2, :sym, 0, 0, 0, 0, 0, 255, nil)").find("TypeError"),
              std::string::npos);
    EXPECT_EQ(scene->length, 0u);
}

TEST_F(DrawNativesTest, NothingHappensOutsideATick)
{
    struct threadstream *kept = scene;
    scene = nullptr;
    EXPECT_EQ(eval("$d.draw_solid(1, 2, 3, 4, 5, 6, 7, 8); $d.set_window_size(1, 2)"), "");
    scene = kept;
    EXPECT_EQ(scene->length, 0u);
}

}  // namespace
