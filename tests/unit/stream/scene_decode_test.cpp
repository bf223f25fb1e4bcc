// The scene decoder on hand-packed scenes: every top-level command, render
// passes with each kind of record, and streams that end early or go astray.
#include <SDL.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "pool_fixture.h"
#include "stream/scene_decode.h"
#include "stream/stream.h"

namespace
{

// Small packing helpers so that a scene reads like its decoded text.
struct packer {
    threadstream *s;
    packer &i(int32_t v)
    {
        EXPECT_TRUE(threadstream_pack_int(s, v));
        return *this;
    }
    packer &f(float v)
    {
        EXPECT_TRUE(threadstream_pack_float(s, v));
        return *this;
    }
    packer &str(const char *v)
    {
        EXPECT_TRUE(threadstream_pack_string(s, v));
        return *this;
    }
    packer &bytes(const void *v, size_t n)
    {
        EXPECT_TRUE(threadstream_pack_buffer(s, v, n));
        return *this;
    }
};

std::string decoded(char *text)
{
    EXPECT_NE(text, nullptr);
    std::string out = text ? text : "";
    SDL_free(text);
    return out;
}

class SceneDecode : public StreamPool
{
  protected:
    void SetUp() override
    {
        StreamPool::SetUp();
        s = threadstream_allocate();
        ASSERT_NE(s, nullptr);
        p.s = s;
    }
    void TearDown() override
    {
        threadstream_free(s);
        StreamPool::TearDown();
    }
    threadstream *s = nullptr;
    packer p{nullptr};
};

void pack_sprite(packer &p)
{
    p.i(prim_sprite).str("sprites/hero.png").f(10).f(20.5f).i(0).f(64).f(32).i(0).i(0);
    p.f(45).i(255).i(128).i(0).i(200); // angle, r, g, b, a
    p.f(0).f(0).f(-1).f(-1);           // tile
    p.f(1).f(2).f(-1).f(-1);           // source
    p.i(1).i(0).f(0.5f).f(0.5f).i(1).i(150).f(0.25f).f(0.75f).i(2);
}

void pack_triangle(packer &p)
{
    p.i(prim_triangle).f(0).f(0).i(0).f(100).f(0).i(0).f(50).f(80).i(0);
    p.i(10).i(20).i(30).i(255).str("pixel");
    p.f(0).f(0).f(1).f(0).f(0.5f).f(1);
    p.i(1).i(100).i(10).i(20).i(30).i(255).i(40).i(50).i(60).i(70);
}

TEST_F(SceneDecode, EveryCommandAndRecordByName)
{
    ASSERT_TRUE(renderstream_pack_scene_header(s));
    ASSERT_TRUE(renderstream_stamp_scene(s, 250));
    p.i(cmd_nop);
    p.i(cmd_screenshot).str("shots/a.png").f(0).f(0).f(1280).f(720).i(3).i(1).i(2).i(3).i(255);
    p.i(cmd_set_grid).f(640).f(360).i(0);
    p.i(cmd_unload_texture).str(nullptr);
    p.i(cmd_unload_texture).str("sprites/x.png");
    p.i(cmd_show_cursor).i(1);
    p.i(cmd_set_fullscreen).i(0);
    p.i(cmd_set_window_scale).f(1.5f).i(16).i(9);
    const uint8_t pixels[8] = {0xff, 0, 0, 0xff, 0, 0x80, 0, 0x7f};
    p.i(cmd_upload_pixels).str("canvas").i(2).i(1).bytes(pixels, sizeof(pixels));
    p.i(cmd_open_url).str("https://example.com/?q=\"x\"\\");
    p.i(cmd_set_cursor).str(nullptr).i(4).i(5);
    p.i(cmd_set_system_cursor).str("hand");
    p.i(cmd_set_mouse_grab).i(2);
    p.i(cmd_set_window_title).str("Tab\there\ncaf\xc3\xa9");
    p.i(cmd_accessibility).i(2);
    p.str("btn1").str("Start").str("button").str(nullptr).f(10).f(20).f(100).f(40);
    p.str("note").str("").str(nullptr).str("btn1").f(0).f(0).f(0.1f).f(-3);
    p.i(cmd_move_to_next_display);
    p.i(cmd_maximize_window);
    p.i(cmd_toggle_orientation);
    p.i(cmd_set_scale_quality).i(1);
    p.i(cmd_set_hd_max_scale).i(200);
    p.i(cmd_toggle_hd_letterbox);
    p.i(cmd_toggle_orientation_no_resize);
    p.i(cmd_set_window_size).i(800).i(600);
    p.i(cmd_set_window_position).i(-10).i(20);
    p.i(cmd_raise_window);
    p.i(cmd_render_passes).i(2).i(1);
    p.i(0).i(0).i(0).i(255).str("minimap").i(300).i(200).i(1).i(1);
    pack_sprite(p);
    p.i(0); // kind words the executor steps over
    pack_triangle(p);
    p.i(prim_end_pass);
    p.i(10).i(20).i(30).i(0).str(nullptr).i(1280).i(720).i(0).i(1);
    p.i(prim_solid).f(0).f(0).i(0).f(1280).f(720).i(1).i(2).i(3).i(255).i(1).f(0).f(0);
    p.i(prim_label).f(640).f(360).f(0).str("Score: 10").str(nullptr).f(2).i(1);
    p.i(0).i(0).i(0).i(255).i(2).i(1).f(-1).i(1).f(0).i(0).f(0);
    p.i(prim_line).f(10).f(20).i(0).f(15).f(20).i(255).i(0).i(0).i(0).i(1);
    p.i(17);
    p.i(prim_border).f(5).f(6).i(0).f(7).f(8).i(9).i(10).i(11).i(12).i(0).f(0).f(0);
    p.i(prim_end_pass);
    p.i(5); // not a top-level command: decoding stops here
    p.i(cmd_raise_window);

    const char *expected =
        "header time=250 format=1\n"
        "cmd_nop\n"
        "cmd_screenshot path=\"shots/a.png\" x=0.0 y=0.0 w=1280.0 h=720.0 tolerance=3 r=1 g=2"
        " b=3 a=255\n"
        "cmd_set_grid origin_x=640.0 origin_y=360.0 unused=0\n"
        "cmd_unload_texture path=nil\n"
        "cmd_unload_texture path=\"sprites/x.png\"\n"
        "cmd_show_cursor on=1\n"
        "cmd_set_fullscreen on=0\n"
        "cmd_set_window_scale scale=1.5 aspect_w=16 aspect_h=9\n"
        "cmd_upload_pixels name=\"canvas\" w=2 h=1 pixels=<8 bytes: ff0000ff 0080007f>\n"
        "cmd_open_url url=\"https://example.com/?q=\\\"x\\\"\\\\\"\n"
        "cmd_set_cursor path=nil hot_x=4 hot_y=5\n"
        "cmd_set_system_cursor name=\"hand\"\n"
        "cmd_set_mouse_grab mode=2\n"
        "cmd_set_window_title title=\"Tab\\there\\ncaf\\xc3\\xa9\"\n"
        "cmd_accessibility count=2\n"
        "  a11y id=\"btn1\" text=\"Start\" trait=\"button\" notification_target=nil x=10.0 y=20.0"
        " w=100.0 h=40.0\n"
        "  a11y id=\"note\" text=\"\" trait=nil notification_target=\"btn1\" x=0.0 y=0.0 w=0.1"
        " h=-3.0\n"
        "cmd_move_to_next_display\n"
        "cmd_maximize_window\n"
        "cmd_toggle_orientation\n"
        "cmd_set_scale_quality quality=1\n"
        "cmd_set_hd_max_scale scale=200\n"
        "cmd_toggle_hd_letterbox\n"
        "cmd_toggle_orientation_no_resize\n"
        "cmd_set_window_size w=800 h=600\n"
        "cmd_set_window_position x=-10 y=20\n"
        "cmd_raise_window\n"
        "cmd_render_passes count=2 screenshot=1\n"
        "  pass 0 r=0 g=0 b=0 a=255 target=\"minimap\" render_width=300 render_height=200"
        " transient=1 clear=1\n"
        "    prim_sprite path=\"sprites/hero.png\" x=10.0 y=20.5 z=0 w=64.0 h=32.0 reserved=0"
        " reserved2=0 angle=45.0 r=255 g=128 b=0 a=200 tile_x=0.0 tile_y=0.0 tile_w=-1.0"
        " tile_h=-1.0 source_x=1.0 source_y=2.0 source_w=-1.0 source_h=-1.0"
        " flip_horizontally=1 flip_vertically=0 angle_anchor_x=0.5 angle_anchor_y=0.5"
        " blendmode_enum=1 texture_scale=150 anchor_x=0.25 anchor_y=0.75"
        " scale_quality_enum=2\n"
        "    skip kind=0\n"
        "    prim_triangle x=0.0 y=0.0 z=0 x2=100.0 y2=0.0 z2=0 x3=50.0 y3=80.0 z3=0 r=10 g=20"
        " b=30 a=255 path=\"pixel\" source_x=0.0 source_y=0.0 source_x2=1.0 source_y2=0.0"
        " source_x3=0.5 source_y3=1.0 blendmode_enum=1 texture_scale=100 r2=10 g2=20 b2=30"
        " a2=255 r3=40 g3=50 b3=60 a3=70\n"
        "    prim_end_pass\n"
        "  pass 1 r=10 g=20 b=30 a=0 target=nil render_width=1280 render_height=720"
        " transient=0 clear=1\n"
        "    prim_solid x=0.0 y=0.0 z=0 w=1280.0 h=720.0 r=1 g=2 b=3 a=255 blendmode_enum=1"
        " anchor_x=0.0 anchor_y=0.0\n"
        "    prim_label x=640.0 y=360.0 z=0.0 text=\"Score: 10\" font=nil size_enum=2.0"
        " alignment_enum=1 r=0 g=0 b=0 a=255 vertical_alignment_enum=2 blendmode_enum=1"
        " size_px=-1.0 anchor_x_present=1 anchor_x=0.0 anchor_y_present=0 anchor_y=0.0\n"
        "    prim_line x=10.0 y=20.0 z=0 x2=15.0 y2=20.0 r=255 g=0 b=0 a=0 blendmode_enum=1\n"
        "    skip kind=17\n"
        "    prim_border x=5.0 y=6.0 z=0 w=7.0 h=8.0 r=9 g=10 b=11 a=12 blendmode_enum=0"
        " anchor_x=0.0 anchor_y=0.0\n"
        "    prim_end_pass\n";
    std::string unknown =
        "unknown opcode 5 at offset " + std::to_string(s->length - 8) + ": decoding stops\n";
    EXPECT_EQ(decoded(scene_decode(s)), expected + unknown);
    EXPECT_EQ(s->read_pos, 0u) << "the decoder reads a copy";
    EXPECT_EQ(s->error, 0);
}

// Streams that end early or hold something unexpected: each ends with one line
// that says where decoding stopped.
struct broken_case {
    const char *name;
    void (*pack)(packer &);
    const char *expected;
};

const broken_case g_broken[] = {
    {"empty_stream", [](packer &) {},
     "header time=?\nerror: data ends inside header at field time\n"},
    {"header_only", [](packer &p) { p.i(0).i(1); }, "header time=0 format=1\n"},
    {"opcode_above_the_table", [](packer &p) { p.i(0).i(1).i(32).i(0); },
     "header time=0 format=1\nunknown opcode 32 at offset 8: decoding stops\n"},
    {"negative_opcode", [](packer &p) { p.i(0).i(1).i(cmd_raise_window).i(-1); },
     "header time=0 format=1\ncmd_raise_window\nunknown opcode -1 at offset 12: decoding stops\n"},
    {"primitive_kind_at_top_level", [](packer &p) { p.i(0).i(1).i(prim_triangle); },
     "header time=0 format=1\nunknown opcode 18 at offset 8: decoding stops\n"},
    {"command_cut_short", [](packer &p) { p.i(0).i(1).i(cmd_set_window_size).i(800); },
     "header time=0 format=1\ncmd_set_window_size w=800 h=?\n"
     "error: data ends inside cmd_set_window_size at field h\n"},
    {"string_running_past_the_end",
     [](packer &p) { p.i(0).i(1).i(cmd_open_url).i(64).i(0x41414141); },
     "header time=0 format=1\ncmd_open_url url=?\n"
     "error: data ends inside cmd_open_url at field url\n"},
    {"pass_without_end",
     [](packer &p) {
         p.i(0).i(1).i(cmd_render_passes).i(1).i(0);
         p.i(0).i(0).i(0).i(255).str(nullptr).i(1280).i(720).i(0).i(1);
         p.i(prim_line).f(1).f(2).i(0).f(3).f(4).i(5).i(6).i(7).i(8).i(1);
     },
     "header time=0 format=1\ncmd_render_passes count=1 screenshot=0\n"
     "  pass 0 r=0 g=0 b=0 a=255 target=nil render_width=1280 render_height=720 transient=0"
     " clear=1\n"
     "    prim_line x=1.0 y=2.0 z=0 x2=3.0 y2=4.0 r=5 g=6 b=7 a=8 blendmode_enum=1\n"
     "error: data ends inside pass 0 before prim_end_pass\n"},
    {"record_cut_short",
     [](packer &p) {
         p.i(0).i(1).i(cmd_render_passes).i(1).i(0);
         p.i(0).i(0).i(0).i(255).str(nullptr).i(1280).i(720).i(0).i(1);
         p.i(prim_solid).f(1).f(2).i(0);
     },
     "header time=0 format=1\ncmd_render_passes count=1 screenshot=0\n"
     "  pass 0 r=0 g=0 b=0 a=255 target=nil render_width=1280 render_height=720 transient=0"
     " clear=1\n"
     "    prim_solid x=1.0 y=2.0 z=0 w=?\nerror: data ends inside prim_solid at field w\n"},
    {"accessibility_count_beyond_the_data",
     [](packer &p) {
         p.i(0).i(1).i(cmd_accessibility).i(3);
         p.str("id").str("t").str(nullptr).str(nullptr).f(1).f(2).f(3).f(4);
     },
     "header time=0 format=1\ncmd_accessibility count=3\n"
     "  a11y id=\"id\" text=\"t\" trait=nil notification_target=nil x=1.0 y=2.0 w=3.0 h=4.0\n"
     "  a11y id=?\nerror: data ends inside a11y at field id\n"},
};

// Names each case in test listings (and so in the test runner's names).
void PrintTo(const broken_case &c, std::ostream *os)
{
    *os << c.name;
}

class BrokenScene : public SceneDecode, public testing::WithParamInterface<broken_case>
{
};

TEST_P(BrokenScene, StopsWithALineSayingWhere)
{
    GetParam().pack(p);
    EXPECT_EQ(decoded(scene_decode(s)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenScene, testing::ValuesIn(g_broken));

TEST_F(SceneDecode, StrayBytesAfterTheLastCommand)
{
    p.i(0).i(1).i(cmd_show_cursor).i(0).i(0);
    s->length -= 2; // a raw writer left half a word behind
    EXPECT_EQ(decoded(scene_decode(s)),
              "header time=0 format=1\ncmd_show_cursor on=0\nerror: 2 stray bytes at offset 16\n");
}

TEST_F(SceneDecode, StreamInErrorIsNotedAndStillDecoded)
{
    p.i(0).i(1).i(cmd_maximize_window);
    threadstream_unpack_int(s);
    threadstream_unpack_int(s);
    threadstream_unpack_int(s);
    threadstream_unpack_int(s); // past the end
    ASSERT_NE(s->error, 0);
    EXPECT_EQ(
        decoded(scene_decode(s)),
        "note: the stream's error flag is set\nheader time=0 format=1\ncmd_maximize_window\n");
}

TEST_F(SceneDecode, CommandsWithoutHeader)
{
    p.i(cmd_set_grid).f(0).f(-0.0f).i(0).i(cmd_toggle_orientation);
    EXPECT_EQ(decoded(scene_decode_commands(s)),
              "cmd_set_grid origin_x=0.0 origin_y=-0.0 unused=0\ncmd_toggle_orientation\n");
}

TEST_F(SceneDecode, BarePrimitiveRecords)
{
    p.i(prim_line).f(1).f(2).i(0).f(3).f(4).i(5).i(6).i(7).i(8).i(1);
    p.i(prim_end_pass);
    p.i(prim_border).f(0.1f).f(1e-7f).i(0).f(3e9f).f(16777216).i(0).i(0).i(0).i(255).i(1);
    p.f(1.0f / 3.0f).f(-2.5f);
    EXPECT_EQ(decoded(scene_decode_primitives(s)),
              "prim_line x=1.0 y=2.0 z=0 x2=3.0 y2=4.0 r=5 g=6 b=7 a=8 blendmode_enum=1\n"
              "prim_end_pass\n"
              "prim_border x=0.1 y=1e-07 z=0 w=3e+09 h=16777216.0 r=0 g=0 b=0 a=255"
              " blendmode_enum=1 anchor_x=0.33333334 anchor_y=-2.5\n");
}

TEST_F(SceneDecode, LongPixelBufferIsAbbreviated)
{
    uint8_t pixels[64];
    for (int i = 0; i < 64; i++) {
        pixels[i] = static_cast<uint8_t>(i);
    }
    p.i(cmd_upload_pixels).str(nullptr).i(4).i(4).bytes(pixels, sizeof(pixels));
    EXPECT_EQ(decoded(scene_decode_commands(s)),
              "cmd_upload_pixels name=nil w=4 h=4 pixels=<64 bytes: 00010203 04050607 08090a0b"
              " 0c0d0e0f 10111213 14151617 18191a1b 1c1d1e1f ...>\n");
}

TEST_F(SceneDecode, EmptyAndNullStreams)
{
    EXPECT_EQ(decoded(scene_decode_commands(s)), "");
    EXPECT_EQ(decoded(scene_decode_primitives(s)), "");
    EXPECT_EQ(scene_decode(nullptr), nullptr);
    EXPECT_EQ(scene_decode_commands(nullptr), nullptr);
    EXPECT_EQ(scene_decode_primitives(nullptr), nullptr);
}

} // namespace
