// Sprites and triangles from Hashes, objects and instance variables: the
// defaults, the alpha rule, path resolution with the atlas, triangle colour
// inheritance, and what a raising reader leaves behind.
#include "pack_fixture.h"

#include <mruby/variable.h>

namespace
{

// One expectation: the Ruby value, then the fields the record must show, or
// no fields and drawn false for a primitive that packs nothing.
struct hash_case {
    const char *ruby;
    bool drawn;
    std::map<std::string, std::string> expect;
};

const hash_case g_sprite_hashes[] = {
    {"{x: 1, y: 2, w: 3, h: 4}",
     true,
     {{"path", "\"pixel\""},
      {"x", "1.0"},
      {"y", "2.0"},
      {"z", "0"},
      {"w", "3.0"},
      {"h", "4.0"},
      {"angle", "0.0"},
      {"r", "255"},
      {"g", "255"},
      {"b", "255"},
      {"a", "255"},
      {"tile_x", "0.0"},
      {"tile_w", "-1.0"},
      {"tile_h", "-1.0"},
      {"source_x", "0.0"},
      {"source_w", "-1.0"},
      {"source_h", "-1.0"},
      {"flip_horizontally", "0"},
      {"flip_vertically", "0"},
      {"angle_anchor_x", "0.5"},
      {"angle_anchor_y", "0.5"},
      {"blendmode_enum", "1"},
      {"texture_scale", "100"},
      {"anchor_x", "0.0"},
      {"anchor_y", "0.0"},
      {"scale_quality_enum", "1"}}},
    // The alpha rule: only nil and non-zero numbers draw.
    {"{w: 1, h: 1, a: 0}", false, {}},
    {"{w: 1, h: 1, a: 0.4}", false, {}},
    {"{w: 1, h: 1, a: -0.9}", false, {}},
    {"{w: 1, h: 1, a: '80'}", false, {}},
    {"{w: 1, h: 1, a: :a}", false, {}},
    {"{w: 1, h: 1, a: true}", false, {}},
    {"{w: 1, h: 1, a: false}", false, {}},
    {"{w: 1, h: 1, a: []}", false, {}},
    {"{w: 1, h: 1, a: nil}", true, {{"a", "255"}}},
    {"{w: 1, h: 1, a: 128.9}", true, {{"a", "128"}}},
    {"{w: 1, h: 1, a: 256}", true, {{"a", "256"}}},
    // Paths.
    {"{path: :player}", true, {{"path", "\"player\""}, {"texture_scale", "100"}}},
    {"{path: 'sprites/a.png'}", true, {{"path", "\"sprites/a.png\""}, {"texture_scale", "100"}}},
    {"{path: 5}", true, {{"path", "\"pixel\""}}},
    {"{path: nil}", true, {{"path", "\"pixel\""}}},
    // Keys that are not Symbols, and unknown Symbols, are ignored.
    {"{'x' => 10, 'w' => 5, nope: 1, 3 => 4}", true, {{"x", "0.0"}, {"w", "0.0"}}},
    // Numbers of either kind; others take the default.
    {"{x: 2**40, y: -7.25, w: '5', h: :h, angle: 90}",
     true,
     {{"x", "1.0995116e+12"}, {"y", "-7.25"}, {"w", "0.0"}, {"h", "0.0"}, {"angle", "90.0"}}},
    {"{r: 2**32 + 7, g: 1.9, b: -1}", true, {{"r", "7"}, {"g", "1"}, {"b", "-1"}}},
    // Flips are truthiness.
    {"{flip_horizontally: 0, flip_vertically: false}",
     true,
     {{"flip_horizontally", "1"}, {"flip_vertically", "0"}}},
    {"{flip_horizontally: nil, flip_vertically: :yes}",
     true,
     {{"flip_horizontally", "0"}, {"flip_vertically", "1"}}},
    {"{blendmode_enum: nil, scale_quality_enum: 2}",
     true,
     {{"blendmode_enum", "1"}, {"scale_quality_enum", "2"}}},
    {"{blendmode_enum: 4, tile_x: 1, tile_y: 2, tile_w: 3, tile_h: 4, source_x: 5, source_y: 6, "
     "source_w: 7, source_h: 8, angle_anchor_x: 0, angle_anchor_y: 1, anchor_x: 0.5, anchor_y: -1}",
     true,
     {{"blendmode_enum", "4"},
      {"tile_x", "1.0"},
      {"tile_y", "2.0"},
      {"tile_w", "3.0"},
      {"tile_h", "4.0"},
      {"source_x", "5.0"},
      {"source_y", "6.0"},
      {"source_w", "7.0"},
      {"source_h", "8.0"},
      {"angle_anchor_x", "0.0"},
      {"angle_anchor_y", "1.0"},
      {"anchor_x", "0.5"},
      {"anchor_y", "-1.0"}}},
    // x3 alone is still a sprite.
    {"{x: 1, x3: 5, y3: 6}", true, {{"x", "1.0"}}},
};

void PrintTo(const hash_case &c, std::ostream *os)
{
    *os << c.ruby;
}

class SpriteHash : public PackTest, public testing::WithParamInterface<hash_case>
{
};

TEST_P(SpriteHash, PacksTheRecordTheAttributesCallFor)
{
    const hash_case &c = GetParam();
    std::vector<record> r = pack(c.ruby, threadstream_pack_sprite_hash);
    if (!c.drawn) {
        EXPECT_TRUE(r.empty()) << c.ruby;
        // Nothing at all was written, not even the kind word.
        EXPECT_EQ(scene->length, 0u);
        return;
    }
    ASSERT_EQ(r.size(), 1u) << c.ruby;
    EXPECT_EQ(r[0].kind, "prim_sprite");
    for (const auto &e : c.expect) {
        EXPECT_EQ(r[0][e.first], e.second) << c.ruby << " field " << e.first;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SpriteHash, testing::ValuesIn(g_sprite_hashes));

const hash_case g_triangle_hashes[] = {
    {"{x: 1, y: 2, x2: 3, y2: 4, x3: 5, y3: 6, source_x3: 0}",
     true,
     {{"x", "1.0"},
      {"y", "2.0"},
      {"z", "0"},
      {"x2", "3.0"},
      {"y2", "4.0"},
      {"z2", "0"},
      {"x3", "5.0"},
      {"y3", "6.0"},
      {"z3", "0"},
      {"r", "255"},
      {"a", "255"},
      {"path", "\"pixel\""},
      {"source_x3", "0.0"},
      {"blendmode_enum", "1"},
      {"texture_scale", "100"},
      {"r2", "255"},
      {"a2", "255"},
      {"r3", "255"},
      {"a3", "255"}}},
    // Colours fall back on the vertex before.
    {"{source_x3: 1, r: 10}", true, {{"r", "10"}, {"r2", "10"}, {"r3", "10"}}},
    {"{source_x3: 1, r: 10, r2: 20}", true, {{"r", "10"}, {"r2", "20"}, {"r3", "20"}}},
    {"{source_x3: 1, g3: 7}", true, {{"g", "255"}, {"g2", "255"}, {"g3", "7"}}},
    {"{source_x3: 1, a: 100, b2: 3}",
     true,
     {{"a", "100"}, {"a2", "100"}, {"a3", "100"}, {"b", "255"}, {"b2", "3"}, {"b3", "3"}}},
    {"{source_x3: 1, a: 0}", false, {}},
    {"{source_x3: 1, a: 'x'}", false, {}},
    {"{source_x3: 1, path: :tri, source_x: 1, source_y: 2, source_x2: 3, source_y2: 4, "
     "source_y3: 6, blendmode_enum: 2}",
     true,
     {{"path", "\"tri\""},
      {"source_x", "1.0"},
      {"source_y", "2.0"},
      {"source_x2", "3.0"},
      {"source_y2", "4.0"},
      {"source_x3", "1.0"},
      {"source_y3", "6.0"},
      {"blendmode_enum", "2"}}},
};

class TriangleHash : public PackTest, public testing::WithParamInterface<hash_case>
{
};

TEST_P(TriangleHash, PacksATriangleWhenSourceX3IsSet)
{
    const hash_case &c = GetParam();
    std::vector<record> r = pack(c.ruby, threadstream_pack_sprite_hash);
    if (!c.drawn) {
        EXPECT_TRUE(r.empty()) << c.ruby;
        EXPECT_EQ(scene->length, 0u);
        return;
    }
    ASSERT_EQ(r.size(), 1u) << c.ruby;
    EXPECT_EQ(r[0].kind, "prim_triangle");
    for (const auto &e : c.expect) {
        EXPECT_EQ(r[0][e.first], e.second) << c.ruby << " field " << e.first;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TriangleHash, testing::ValuesIn(g_triangle_hashes));

// Tier, path, expected packed path and texture scale.
struct atlas_case {
    int32_t tier;
    const char *ruby;
    const char *path;
    const char *scale;
};

const atlas_case g_atlas_cases[] = {
    {150, "{path: 'sprites/hero.png'}", "\"sprites/hero@150.png\"", "1002"},
    {100, "{path: 'sprites/hero.png'}", "\"sprites/hero@100.png\"", "1000"},
    {400, "{path: 'sprites/hero.png'}", "\"sprites/hero@400.png\"", "1007"},
    {110, "{path: 'sprites/hero.png'}", "\"sprites/hero.png\"", "100"},
    {150, "{path: 'sprites/other.png'}", "\"sprites/other.png\"", "100"},
    {150, "{path: :'sprites/hero.png'}", "\"sprites/hero.png\"", "100"},
    {150, "{path: 'sprites/hero.png', source_x3: 0}", "\"sprites/hero@150.png\"", "1002"},
};

void PrintTo(const atlas_case &c, std::ostream *os)
{
    *os << "tier " << c.tier << " " << c.ruby;
}

class Atlas : public PackTest, public testing::WithParamInterface<atlas_case>
{
};

TEST_P(Atlas, ChoosesTheVariantOfTheTier)
{
    const atlas_case &c = GetParam();
    pack_begin_frame(c.tier);
    record r = pack_one(c.ruby, threadstream_pack_sprite_hash);
    EXPECT_EQ(r["path"], c.path) << c.ruby;
    EXPECT_EQ(r["texture_scale"], c.scale) << c.ruby;
}

INSTANTIATE_TEST_SUITE_P(Table, Atlas, testing::ValuesIn(g_atlas_cases));

TEST_F(PackTest, OnlyStringPathsReachTheAtlas)
{
    pack_one("{path: :'sprites/hero.png'}", threadstream_pack_sprite_hash);
    pack_one("{path: 7}", threadstream_pack_sprite_hash);
    pack_one("{}", threadstream_pack_sprite_hash);
    EXPECT_EQ(lookups, 0);
    pack_one("{path: 'x.png'}", threadstream_pack_sprite_hash);
    EXPECT_EQ(lookups, 1);
}

TEST_F(PackTest, PathsKeepTheirByteLength)
{
    record r = pack_one("{path: \"a\\0b\"}", threadstream_pack_sprite_hash);
    EXPECT_EQ(r["path"], "\"a\\x00b\"");
}

// Object and instance-variable forms.
const char *const g_classes = R"RUBY(
class SpriteObject
  ATTRS = [:x, :y, :w, :h, :path, :angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w, :tile_h,
           :flip_horizontally, :flip_vertically, :angle_anchor_x, :angle_anchor_y,
           :source_x, :source_y, :source_w, :source_h, :blendmode_enum, :anchor_x, :anchor_y,
           :scale_quality_enum, :x2, :y2, :x3, :y3, :source_x2, :source_y2, :source_x3, :source_y3,
           :r2, :g2, :b2, :a2, :r3, :g3, :b3, :a3]
  attr_accessor(*ATTRS)
  attr_reader :calls
  def initialize(h = {})
    h.each { |k, v| instance_variable_set("@#{k}", v) }
  end
  ATTRS.each do |name|
    define_method(name) do
      (@calls ||= []) << name
      instance_variable_get("@#{name}")
    end
  end
end
class Overridden
  attr_reader :drawn_with
  def draw_override ffi
    @drawn_with = [ffi]
  end
end
class Partial
  attr_accessor :x, :y, :w, :h, :path
  def initialize; @w = 10; @h = 10; end
end
)RUBY";

TEST_F(PackTest, ObjectFormReadsEveryAttributeMethodInListOrder)
{
    eval(g_classes);
    mrb_value obj = eval("$o = SpriteObject.new(x: 3, w: 4, h: 5, path: 'p', r: 9, flip_vertically: 1)");
    scene->length = 0;
    threadstream_pack_sprite_object(mrb, obj);
    std::vector<record> r = records();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].kind, "prim_sprite");
    EXPECT_EQ(r[0]["x"], "3.0");
    EXPECT_EQ(r[0]["w"], "4.0");
    EXPECT_EQ(r[0]["path"], "\"p\"");
    EXPECT_EQ(r[0]["r"], "9");
    EXPECT_EQ(r[0]["g"], "255");
    EXPECT_EQ(r[0]["flip_vertically"], "1");
    mrb_value calls = eval("$o.calls.map(&:to_s).join(',')");
    EXPECT_STREQ(mrb_str_to_cstr(mrb, calls),
                 "w,h,path,x,y,angle,a,r,g,b,tile_x,tile_y,tile_w,tile_h,flip_horizontally,"
                 "flip_vertically,angle_anchor_x,angle_anchor_y,source_x,source_y,source_w,"
                 "source_h,blendmode_enum,anchor_x,anchor_y,scale_quality_enum");
}

TEST_F(PackTest, ObjectWithoutWidthAndHeightIsATriangle)
{
    eval(g_classes);
    mrb_value obj = eval("$o = SpriteObject.new(x: 1, x2: 2, x3: 3, r: 10, r2: 20)");
    scene->length = 0;
    threadstream_pack_sprite_object(mrb, obj);
    std::vector<record> r = records();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].kind, "prim_triangle");
    EXPECT_EQ(r[0]["x3"], "3.0");
    EXPECT_EQ(r[0]["r3"], "20");
    mrb_value calls = eval("$o.calls.map(&:to_s).join(',')");
    EXPECT_STREQ(mrb_str_to_cstr(mrb, calls),
                 "w,h,path,x,y,x2,y2,x3,y3,r,g,b,a,source_x,source_y,source_x2,source_y2,"
                 "source_x3,source_y3,blendmode_enum,r2,g2,b2,a2,r3,g3,b3,a3");

    // Only one of the two missing is a sprite of width 0.
    scene->length = 0;
    threadstream_pack_sprite_object(mrb, eval("SpriteObject.new(h: 5)"));
    r = records();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].kind, "prim_sprite");
    EXPECT_EQ(r[0]["w"], "0.0");
    EXPECT_EQ(r[0]["h"], "5.0");
}

TEST_F(PackTest, ObjectWithDrawOverrideDrawsItself)
{
    eval(g_classes);
    mrb_value obj = eval("$o = Overridden.new");
    scene->length = 0;
    threadstream_pack_sprite_object(mrb, obj);
    EXPECT_EQ(scene->length, 0u);
    // Outside a walk the draw object is nil.
    mrb_value drawn = eval("$o.drawn_with.inspect");
    EXPECT_STREQ(mrb_str_to_cstr(mrb, drawn), "[nil]");
}

TEST_F(PackTest, ObjectMissingAReaderLeavesItsExceptionAndPacksNothing)
{
    eval(g_classes);
    mrb_value obj = eval("Partial.new");
    scene->length = 0;
    threadstream_pack_sprite_object(mrb, obj);
    EXPECT_EQ(scene->length, 0u);
    ASSERT_NE(mrb->exc, nullptr);
    EXPECT_TRUE(mrb_obj_is_kind_of(mrb, mrb_obj_value(mrb->exc), E_NOMETHOD_ERROR));
    mrb->exc = nullptr;
}

TEST_F(PackTest, InstanceVariablesFormReadsTheAttributesAsIvars)
{
    eval(g_classes);
    record r = pack_one("Partial.new.tap { |o| o.x = 4; o.path = :hero; "
                        "o.instance_variable_set(:@a, 7); o.instance_variable_set(:@flip_horizontally, 1) }",
                        threadstream_pack_sprite_ivars);
    EXPECT_EQ(r.kind, "prim_sprite");
    EXPECT_EQ(r["x"], "4.0");
    EXPECT_EQ(r["w"], "10.0");
    EXPECT_EQ(r["path"], "\"hero\"");
    EXPECT_EQ(r["a"], "7");
    EXPECT_EQ(r["flip_horizontally"], "1");
    EXPECT_EQ(r["tile_w"], "-1.0");

    r = pack_one("SpriteObject.new(source_x3: 2, x2: 3, r: 1)", threadstream_pack_sprite_ivars);
    EXPECT_EQ(r.kind, "prim_triangle");
    EXPECT_EQ(r["x2"], "3.0");
    EXPECT_EQ(r["source_x3"], "2.0");
    EXPECT_EQ(r["r3"], "1");

    EXPECT_TRUE(pack("SpriteObject.new(a: 0)", threadstream_pack_sprite_ivars).empty());
}

TEST_F(PackTest, AStreamInErrorGetsNothing)
{
    scene->length = 0;
    scene->error = 1;
    threadstream_pack_sprite_hash(mrb, eval("{x: 1}"));
    EXPECT_EQ(scene->length, 0u);
    scene->error = 0;
}

TEST_F(PackTest, DrawSpriteHashPacksIntoTheCurrentScene)
{
    // FFI::Draw exists before the packers are set up, as at boot.
    eval("module FFI; class Draw; end; end");
    pack_settings settings = {&scene, test_atlas_lookup, &scale_quality};
    ASSERT_TRUE(pack_init(mrb, &settings));
    scene->length = 0;
    mrb_value result = eval("d = FFI::Draw.new; d.draw_sprite_hash({x: 5, path: :s}); "
                            "d.draw_sprite_hash(7); d.draw_sprite_hash({a: 0})");
    EXPECT_TRUE(mrb_nil_p(result));
    std::vector<record> r = records();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["x"], "5.0");
    EXPECT_EQ(r[0]["path"], "\"s\"");

    // With no scene (outside a tick) nothing happens.
    threadstream *kept = scene;
    scene = nullptr;
    eval("FFI::Draw.new.draw_sprite_hash({x: 1})");
    scene = kept;
    EXPECT_EQ(records().size(), 1u);
}

}  // namespace
