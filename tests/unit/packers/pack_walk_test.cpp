// Labels, lines, borders, solids and accessibility lists from script values,
// and the walk of one pass: the sixteen collections in order, production
// hiding debug, primitive dispatch, one bad element among good ones, arrays
// changed by the elements' own callbacks, and the GC arena per element.
#include "pack_fixture.h"

#include <mruby/array.h>

namespace
{

struct record_case {
    const char *ruby;
    const char *kind;  // null: nothing packed
    std::map<std::string, std::string> expect;
};

void PrintTo(const record_case &c, std::ostream *os)
{
    *os << c.ruby;
}

const record_case g_labels[] = {
    {"{x: 1, y: 2, text: 'hi'}",
     "prim_label",
     {{"x", "1.0"},
      {"y", "2.0"},
      {"z", "0.0"},
      {"text", "\"hi\""},
      {"font", "nil"},
      {"size_enum", "0.0"},
      {"alignment_enum", "0"},
      {"r", "0"},
      {"g", "0"},
      {"b", "0"},
      {"a", "255"},
      {"vertical_alignment_enum", "2"},
      {"blendmode_enum", "1"},
      {"size_px", "-1.0"},
      {"anchor_x_present", "0"},
      {"anchor_x", "0.0"},
      {"anchor_y_present", "0"},
      {"anchor_y", "0.0"}}},
    {"{text: 42}", "prim_label", {{"text", "\"42\""}}},
    {"{text: :sym}", "prim_label", {{"text", "\"sym\""}}},
    {"{}", "prim_label", {{"text", "\"\""}}},
    {"{text: Class.new { def to_s; 5; end }.new}", "prim_label", {{"text", "nil"}}},
    {"{text: 'a', font: 'fonts/x.ttf', size_enum: 2, size_px: 30, alignment_enum: 1, "
     "vertical_alignment_enum: 0, blendmode_enum: 3, z: 4, r: 1, g: 2, b: 3}",
     "prim_label",
     {{"font", "\"fonts/x.ttf\""},
      {"size_enum", "2.0"},
      {"size_px", "30.0"},
      {"alignment_enum", "1"},
      {"vertical_alignment_enum", "0"},
      {"blendmode_enum", "3"},
      {"z", "4.0"},
      {"r", "1"},
      {"b", "3"}}},
    {"{font: :f}", "prim_label", {{"font", "nil"}}},
    {"{anchor_x: 0, anchor_y: 0.5}",
     "prim_label",
     {{"anchor_x_present", "1"},
      {"anchor_x", "0.0"},
      {"anchor_y_present", "1"},
      {"anchor_y", "0.5"}}},
    {"{anchor_x: true, anchor_y: false}",
     "prim_label",
     {{"anchor_x_present", "1"},
      {"anchor_x", "0.0"},
      {"anchor_y_present", "1"},
      {"anchor_y", "0.0"}}},
    {"{text: 'x', a: 0}", nullptr, {}},
    {"{text: 'x', a: 'x'}", nullptr, {}},
    {"{text: 'x', a: nil}", "prim_label", {{"a", "255"}}},
};

class LabelHash : public PackTest, public testing::WithParamInterface<record_case>
{
};

TEST_P(LabelHash, PacksTheLabelRecord)
{
    const record_case &c = GetParam();
    std::vector<record> r = pack(c.ruby, threadstream_pack_label_hash);
    if (!c.kind) {
        EXPECT_EQ(scene->length, 0u) << c.ruby;
        return;
    }
    ASSERT_EQ(r.size(), 1u) << c.ruby;
    EXPECT_EQ(r[0].kind, c.kind);
    for (const auto &e : c.expect) {
        EXPECT_EQ(r[0][e.first], e.second) << c.ruby << " field " << e.first;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LabelHash, testing::ValuesIn(g_labels));

const record_case g_lines[] = {
    {"{x: 10, y: 20, w: 5, h: 0, x2: 100}",
     "prim_line",
     {{"x", "10.0"},
      {"y", "20.0"},
      {"z", "0"},
      {"x2", "15.0"},
      {"y2", "20.0"},
      {"r", "0"},
      {"a", "255"},
      {"blendmode_enum", "1"}}},
    {"{x: 1, y: 2}", "prim_line", {{"x2", "1.0"}, {"y2", "2.0"}}},
    {"{x: 1, y: 2, x2: 30, y2: 7}", "prim_line", {{"x2", "30.0"}, {"y2", "7.0"}}},
    {"{x: 1, y: 2, y2: 7}", "prim_line", {{"x2", "0.0"}, {"y2", "7.0"}}},
    {"{a: 0}", "prim_line", {{"a", "0"}}},
    {"{a: :x, r: 3, g: 4, b: 5, blendmode_enum: 0}",
     "prim_line",
     {{"a", "255"}, {"r", "3"}, {"g", "4"}, {"b", "5"}, {"blendmode_enum", "0"}}},
};

class LineHash : public PackTest, public testing::WithParamInterface<record_case>
{
};

TEST_P(LineHash, PacksTheLineRecord)
{
    const record_case &c = GetParam();
    record r = pack_one(c.ruby, threadstream_pack_line_hash);
    EXPECT_EQ(r.kind, c.kind);
    for (const auto &e : c.expect) {
        EXPECT_EQ(r[e.first], e.second) << c.ruby << " field " << e.first;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LineHash, testing::ValuesIn(g_lines));

TEST_F(PackTest, BordersAndSolidsFollowTheAlphaRule)
{
    record r = pack_one("{x: 1, y: 2, w: 3, h: 4, anchor_x: 1}", threadstream_pack_border_hash);
    EXPECT_EQ(r.kind, "prim_border");
    EXPECT_EQ(r["w"], "3.0");
    EXPECT_EQ(r["r"], "0");
    EXPECT_EQ(r["a"], "255");
    EXPECT_EQ(r["blendmode_enum"], "1");
    EXPECT_EQ(r["anchor_x"], "0.0");  // borders carry no anchors
    EXPECT_TRUE(pack("{w: 1, a: 0}", threadstream_pack_border_hash).empty());
    EXPECT_TRUE(pack("{w: 1, a: false}", threadstream_pack_border_hash).empty());

    scene->length = 0;
    mrb_value v[PACK_ATTR_COUNT];
    for (mrb_value &x : v) {
        x = mrb_nil_value();
    }
    v[PACK_ANCHOR_X] = mrb_float_value(mrb, 0.5);
    v[PACK_R] = mrb_int_value(mrb, 9);
    threadstream_pack_solid(scene, mrb, v);
    std::vector<record> solids = records();
    ASSERT_EQ(solids.size(), 1u);
    EXPECT_EQ(solids[0].kind, "prim_solid");
    EXPECT_EQ(solids[0]["anchor_x"], "0.5");
    EXPECT_EQ(solids[0]["r"], "9");
    v[PACK_A] = mrb_int_value(mrb, 0);
    scene->length = 0;
    threadstream_pack_solid(scene, mrb, v);
    EXPECT_EQ(scene->length, 0u);
}

TEST_F(PackTest, LabelAndLineObjectsAnswerThroughTheirMethods)
{
    eval("class Lbl; attr_accessor :x, :y, :text, :font, :size_enum, :alignment_enum, :r, :g, :b, "
         ":a, :vertical_alignment_enum, :blendmode_enum, :size_px, :anchor_x, :anchor_y; end\n"
         "class LblZ < Lbl; def z; 3; end; end\n"
         "class Ln; attr_accessor :x, :y, :w, :h, :x2, :y2, :r, :g, :b, :a, :blendmode_enum; end");
    record r = pack_one("l = LblZ.new; l.text = 7; l.anchor_y = 0; l", threadstream_pack_label_object);
    EXPECT_EQ(r["z"], "3.0");
    EXPECT_EQ(r["text"], "\"7\"");
    EXPECT_EQ(r["anchor_y_present"], "1");
    r = pack_one("Lbl.new", threadstream_pack_label_object);
    EXPECT_EQ(r["z"], "0.0");
    EXPECT_EQ(r["text"], "\"\"");
    r = pack_one("l = Ln.new; l.x = 1; l.w = 2; l.h = 3; l", threadstream_pack_line_object);
    EXPECT_EQ(r["x2"], "3.0");
    EXPECT_EQ(r["y2"], "3.0");
    r = pack_one("l = Ln.new; l.w = 4; l", threadstream_pack_border_object);
    EXPECT_EQ(r.kind, "prim_border");
    EXPECT_EQ(r["w"], "4.0");
}

TEST_F(PackTest, AccessibilityListHasARecordForEveryElement)
{
    scene->length = 0;
    threadstream_pack_a11ys(scene, mrb,
                            eval("[{a11y_id: 'b1', a11y_text: 'Play', a11y_trait: 'button', "
                                 "a11y_notification_target: nil, x: 1, y: 2, w: 3, h: 4}, "
                                 "7, {a11y_id: :sym, a11y_text: 5, x: 'x'}, nil]"));
    char *text = scene_decode_commands(scene);
    ASSERT_NE(text, nullptr);
    const std::string decoded = text;
    SDL_free(text);
    EXPECT_EQ(decoded,
              "cmd_accessibility count=4\n"
              "  a11y id=\"b1\" text=\"Play\" trait=\"button\" notification_target=nil "
              "x=1.0 y=2.0 w=3.0 h=4.0\n"
              "  a11y id=nil text=nil trait=nil notification_target=nil x=0.0 y=0.0 w=0.0 h=0.0\n"
              "  a11y id=nil text=nil trait=nil notification_target=nil x=0.0 y=0.0 w=0.0 h=0.0\n"
              "  a11y id=nil text=nil trait=nil notification_target=nil x=0.0 y=0.0 w=0.0 h=0.0\n");
}

// ---- The walk ------------------------------------------------------------------

// A pass with the sixteen collections, and a runtime whose drawing methods
// pack a sprite whose x says which method drew which element.
const char *const g_walk_ruby = R"RUBY(
module FFI; class Draw; end; end
$draw = FFI::Draw.new
class Pass
  NAMES = [:solids, :static_solids, :sprites, :static_sprites, :primitives, :static_primitives,
           :labels, :static_labels, :lines, :static_lines, :borders, :static_borders,
           :debug, :static_debug, :reserved, :static_reserved]
  NAMES.each { |n| attr_accessor n }
  def initialize; NAMES.each { |n| send("#{n}=", []) }; end
end
class Runtime
  attr_reader :calls, :exceptions
  def initialize; @calls = []; @exceptions = []; end
  { draw_solid: 100, draw_border: 200, draw_primitive: 300, draw_label: 400, draw_line: 500,
    draw_sprite: 600 }.each do |name, base|
    define_method(name) do |e|
      @calls << name
      $draw.draw_sprite_hash({x: base + (e.is_a?(Hash) ? e[:n].to_i : 0)})
    end
  end
  def unhandled_exception e
    @exceptions << e.message
  end
end
class Hash
  def primitive_marker; self[:primitive_marker]; end
end
class Drawn
  def initialize n; @n = n; end
  def draw_override ffi; ffi.draw_sprite_hash({x: 700 + @n}); end
end
class Bad
  def w; raise "bad sprite"; end
end
$runtime = Runtime.new
$pass = Pass.new
)RUBY";

class Walk : public PackTest
{
  protected:
    pack_walk walk;

    void SetUp() override
    {
        PackTest::SetUp();
        eval(g_walk_ruby);
        pack_settings settings = {&scene, test_atlas_lookup, &scale_quality};
        ASSERT_TRUE(pack_init(mrb, &settings));
        walk.runtime = eval("$runtime");
        walk.draw = eval("$draw");
        walk.production = 0;
    }

    // The x of every record packed by walking $pass, in order.
    std::string walk_xs()
    {
        scene->length = 0;
        pack_begin_frame(100);
        pack_pass_collections(mrb, &walk, eval("$pass"));
        std::string xs;
        for (const record &r : records()) {
            xs += (xs.empty() ? "" : " ") + r["x"];
        }
        return xs;
    }
};

TEST_F(Walk, VisitsTheSixteenCollectionsInOrder)
{
    eval("Pass::NAMES.each_with_index { |n, i| $pass.send(n) << nil << {n: i, x: 1000 + i} }");
    // Solids and borders through the runtime, sprites natively, primitive
    // Hashes without a marker through draw_primitive, labels and lines as
    // labels and lines, debug and reserved through draw_primitive.
    scene->length = 0;
    pack_begin_frame(100);
    pack_pass_collections(mrb, &walk, eval("$pass"));
    std::string kinds;
    for (const record &r : records()) {
        kinds += r.kind.substr(5) + ":" + r["x"] + " ";
    }
    EXPECT_EQ(kinds,
              "sprite:100.0 sprite:101.0 sprite:1002.0 sprite:1003.0 sprite:304.0 sprite:305.0 "
              "label:1006.0 label:1007.0 line:1008.0 line:1009.0 sprite:210.0 sprite:211.0 "
              "sprite:312.0 sprite:313.0 sprite:314.0 sprite:315.0 ");

    walk.production = 1;
    kinds.clear();
    scene->length = 0;
    pack_pass_collections(mrb, &walk, eval("$pass"));
    for (const record &r : records()) {
        kinds += r["x"] + " ";
    }
    EXPECT_EQ(kinds.find("312.0"), std::string::npos) << kinds;
    EXPECT_EQ(kinds.find("313.0"), std::string::npos) << kinds;
    EXPECT_NE(kinds.find("314.0"), std::string::npos) << kinds;
}

TEST_F(Walk, DispatchesEachFormOfElement)
{
    eval("$pass.sprites.concat([{x: 1}, [2], Drawn.new(3), nil])\n"
         "$pass.primitives.concat([{x: 4, primitive_marker: :sprite}, "
         "{x: 5, primitive_marker: :label}, {x: 6, primitive_marker: :line}, "
         "{n: 7, primitive_marker: :solid}, Drawn.new(8), 9])\n"
         "$pass.labels.concat([{x: 10}, [11]])\n"
         "$pass.lines.concat([{x: 12}, [13]])");
    scene->length = 0;
    pack_begin_frame(100);
    pack_pass_collections(mrb, &walk, eval("$pass"));
    std::string kinds;
    for (const record &r : records()) {
        kinds += r.kind.substr(5) + ":" + r["x"] + " ";
    }
    EXPECT_EQ(kinds,
              "sprite:1.0 sprite:600.0 sprite:703.0 sprite:4.0 label:5.0 line:6.0 sprite:307.0 "
              "sprite:708.0 sprite:300.0 label:10.0 sprite:400.0 line:12.0 sprite:500.0 ");
}

TEST_F(Walk, OneBadElementLeavesTheRestOfTheFrame)
{
    eval("$pass.sprites.concat([{x: 1}, Bad.new, {x: 2}, Bad.new, Drawn.new(3)])\n"
         "$pass.labels << {x: 4, text: Class.new { def to_s; raise 'no text'; end }.new} << {x: 5}");
    EXPECT_EQ(walk_xs(), "1.0 2.0 703.0 5.0");
    EXPECT_EQ(mrb->exc, nullptr);
    // The first exception of the frame reaches the runtime; the others are
    // cleared and counted.
    EXPECT_EQ(std::string(mrb_str_to_cstr(mrb, eval("$runtime.exceptions.inspect"))),
              "[\"bad sprite\"]");
    EXPECT_EQ(pack_exception_count(), 3u);
    walk_xs();
    EXPECT_EQ(std::string(mrb_str_to_cstr(mrb, eval("$runtime.exceptions.size.to_s"))), "2");
}

TEST_F(Walk, ElementsThatChangeTheirArrayAreNotReadPastItsEnd)
{
    eval("class Clearing; def draw_override ffi; $pass.sprites.clear; "
         "ffi.draw_sprite_hash({x: 9}); end; end\n"
         "class Growing; def draw_override ffi; $pass.static_sprites << {x: 8} "
         "if $pass.static_sprites.size < 4; end; end\n"
         "$pass.sprites.concat([{x: 1}, Clearing.new, {x: 2}, {x: 3}])\n"
         "$pass.static_sprites.concat([Growing.new, {x: 7}])");
    // Items appended during the walk are drawn too, at their place.
    EXPECT_EQ(walk_xs(), "1.0 9.0 7.0 8.0");
}

TEST_F(Walk, EachElementGetsItsOwnArena)
{
    eval("class Obj; def initialize(x); @x = x; end; def x; @x.to_f; end; "
         "def y; [1].first.to_f; end; def w; 2.0; end; def h; 2.0; end; def path; 'p' + 'q'; end; "
         "[:angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w, :tile_h, :flip_horizontally, "
         ":flip_vertically, :angle_anchor_x, :angle_anchor_y, :source_x, :source_y, :source_w, "
         ":source_h, :blendmode_enum, :anchor_x, :anchor_y, :scale_quality_enum].each "
         "{ |m| define_method(m) { nil } }; end\n"
         "2000.times { |i| $pass.sprites << Obj.new(i) }");
    const mrb_value pass = eval("$pass");
    const int before = mrb_gc_arena_save(mrb);
    const int capacity = mrb->gc.arena_capa;
    scene->length = 0;
    pack_begin_frame(100);
    pack_pass_collections(mrb, &walk, pass);
    EXPECT_EQ(mrb_gc_arena_save(mrb), before);
    // About thirty call results per element: kept for the whole collection
    // they would have grown the arena to tens of thousands of slots.
    EXPECT_LE(mrb->gc.arena_capa, capacity * 2);
    EXPECT_EQ(records().size(), 2000u);
}

}  // namespace
