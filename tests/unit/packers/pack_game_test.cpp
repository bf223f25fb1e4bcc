// The pass walk of a real game: the interpreter bootstrapped with the
// framework over a PhysicsFS game, ticked as the simulation thread does, and
// its scene read back through the decoder. Entities, AttrSprite classes,
// objects drawing themselves, and one bad object among good ones.
#include <SDL.h>

#include "../natives/natives_fixture.h"

#include <sstream>
#include "process/game.h"
#include "stream/pack.h"
#include "stream/scene_decode.h"
#include "stream/stream.h"

namespace
{

class GameWalk : public NativesTest
{
  protected:
    void SetUp() override
    {
        NativesTest::SetUp();
        mrb_close(mrb);  // the game gets its own interpreter
        mrb = nullptr;
        ASSERT_TRUE(threadstream_init());
        ASSERT_TRUE(register_renderer_cvars());
        ASSERT_TRUE(register_metadata_cvars());
    }

    void TearDown() override
    {
        game_close();
        threadstream_quit();
        NativesTest::TearDown();
    }

    // Boots the game, runs ticks and returns the decoded scene of the last.
    std::string run(const std::string &main_rb, int ticks = 3)
    {
        write_real(game_dir / "app" / "main.rb", main_rb);
        EXPECT_TRUE(interpreter_bootstrap(nullptr, "./orvane", "./orvane", game_dir.c_str(),
                                          base_dir.c_str()))
            << SDL_GetError();
        for (int i = 0; i < ticks; i++) {
            SDL_Delay(17);
            const int arena = game_arena_save();
            game_current_fps(60, 60);
            game_tick();
            game_arena_restore(arena);
        }
        threadstream *scene = threadstream_allocate();
        game_pack_render_passes(nullptr, scene);
        char *text = scene_decode_commands(scene);
        std::string out = text ? text : "";
        SDL_free(text);
        threadstream_free(scene);
        return out;
    }

    // "kind:x" of every record, in order.
    static std::string xs(const std::string &decoded)
    {
        std::string out;
        for (const record_line &r : lines(decoded)) {
            out += r.first + ":" + r.second + " ";
        }
        return out;
    }

    using record_line = std::pair<std::string, std::string>;
    static std::vector<record_line> lines(const std::string &decoded)
    {
        std::vector<record_line> out;
        std::istringstream in(decoded);
        std::string line;
        while (std::getline(in, line)) {
            const size_t p = line.find("prim_");
            const size_t x = line.find(" x=");
            if (p == std::string::npos || x == std::string::npos || line.find("prim_end") != std::string::npos) {
                continue;
            }
            const std::string kind = line.substr(p + 5, line.find(' ', p) - p - 5);
            const size_t e = line.find(' ', x + 3);
            out.push_back({kind, line.substr(x + 3, e - x - 3)});
        }
        return out;
    }
};

TEST_F(GameWalk, EveryFormOfSpriteReachesTheScene)
{
    const std::string scene = run(R"RUBY(
class Hero
  attr_sprite
  def initialize x; @x = x; @w = 10; @h = 10; @path = :hero; end
end
class Painter
  def initialize x; @x = x; end
  def draw_override ffi; ffi.draw_sprite_hash({x: @x, path: :painted}); end
end
class Plain
  def x; 6; end
  def y; 0; end
  def w; 1; end
  def h; 1; end
  def path; 'plain.png'; end
  [:angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w, :tile_h, :flip_horizontally,
   :flip_vertically, :angle_anchor_x, :angle_anchor_y, :source_x, :source_y, :source_w,
   :source_h, :blendmode_enum, :anchor_x, :anchor_y, :scale_quality_enum].each do |m|
    define_method(m) { nil }
  end
end
def tick args
  args.outputs.sprites << {x: 1, w: 2, h: 2}
  args.outputs.sprites << Zel::OpenEntity.new(x: 2, w: 3)
  args.outputs.sprites << Zel::StrictEntity.new(:s, x: 3, w: 4)
  args.outputs.sprites << Hero.new(4)
  args.outputs.sprites << Painter.new(5)
  args.outputs.sprites << Plain.new
  args.outputs.sprites << nil
  args.outputs.labels << {x: 7, text: 'hi'}
  args.outputs.lines << {x: 8, y: 0, w: 1, h: 1}
end
)RUBY");
    EXPECT_EQ(xs(scene),
              "sprite:1.0 sprite:2.0 sprite:3.0 sprite:4.0 sprite:5.0 sprite:6.0 label:7.0 "
              "line:8.0 ")
        << scene;
    EXPECT_NE(scene.find("path=\"hero\""), std::string::npos) << scene;
    EXPECT_NE(scene.find("path=\"painted\""), std::string::npos) << scene;
}

TEST_F(GameWalk, OneBadObjectLeavesTheRestOfTheFrame)
{
    const uint32_t before = pack_exception_count();
    const std::string scene = run(R"RUBY(
class Broken
  def primitive_marker; :sprite; end
  def w; raise "broken sprite"; end
end
def tick args
  args.outputs.sprites << {x: 1}
  args.outputs.sprites << Broken.new
  args.outputs.sprites << {x: 2}
  args.outputs.labels << {x: 3, text: 'still here'}
end
)RUBY");
    EXPECT_EQ(xs(scene), "sprite:1.0 sprite:2.0 label:3.0 ") << scene;
    EXPECT_EQ(pack_exception_count() - before, 1u);
    // Handed to the framework, which reports and exports it.
    std::string log;
    for (const std::string &l : drain_log()) {
        log += l + "\n";
    }
    EXPECT_NE(log.find("broken sprite"), std::string::npos) << log;
}

}  // namespace
