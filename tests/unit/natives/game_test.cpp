// The interpreter glue as the process loops use it: bootstrap without a
// window over a real PhysicsFS game, ticks, the pass headers of a scene,
// exceptions from engine calls, the cvar callback (also from another thread),
// a reboot, and the exit status of a --test run.
#include <SDL.h>

#include "natives_fixture.h"
#include "process/game.h"
#include "process/process.h"
#include "stream/scene_decode.h"
#include "stream/stream.h"

namespace
{

class GameTest : public NativesTest
{
  protected:
    std::string argument_line = "./orvane game";

    void SetUp() override
    {
        NativesTest::SetUp();
        // The fixture's own interpreter is not the game's.
        mrb_close(mrb);
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

    void bootstrap()
    {
        ASSERT_TRUE(interpreter_bootstrap(nullptr, "./orvane", argument_line.c_str(),
                                          game_dir.c_str(), base_dir.c_str()))
            << SDL_GetError();
        ASSERT_TRUE(game_has_interpreter());
    }

    // One engine tick as the simulation thread makes it, 17 ms after the last.
    void tick()
    {
        SDL_Delay(17);
        const int arena = game_arena_save();
        game_current_fps(60, 60);
        game_tick();
        game_incremental_gc();
        game_arena_restore(arena);
    }

    std::string log_text()
    {
        std::string text;
        for (const std::string &l : drain_log()) {
            text += l + "\n";
        }
        return text;
    }
};

TEST_F(GameTest, BootstrapRunsTheGameAndPacksItsPassHeaders)
{
    write_real(game_dir / "app" / "main.rb",
               "def tick args\n  puts \"tick #{args.tick_count}\" if args.tick_count < 2\n"
               "  args.outputs.background_color = [1, 2, 3]\nend\n");
    bootstrap();
    for (int i = 0; i < 3; i++) {
        tick();
    }
    const std::string log = log_text();
    EXPECT_NE(log.find("2 [Game] tick 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("2 [Game] tick 1\n"), std::string::npos) << log;
    EXPECT_FALSE(game_quit_requested());
    EXPECT_FALSE(game_reboot_requested());

    struct threadstream *scene = threadstream_allocate();
    ASSERT_NE(scene, nullptr);
    game_pack_render_passes(nullptr, scene);
    ASSERT_FALSE(scene->error);
    EXPECT_EQ(threadstream_unpack_int(scene), cmd_render_passes);
    EXPECT_EQ(threadstream_unpack_int(scene), 1); // the top-level outputs
    EXPECT_EQ(threadstream_unpack_int(scene), 0); // no screenshot
    const int32_t rgba[4] = {1, 2, 3, 255};
    for (int32_t c : rgba) {
        EXPECT_EQ(threadstream_unpack_int(scene), c);
    }
    EXPECT_EQ(threadstream_unpack_int(scene), -1); // no target
    EXPECT_EQ(threadstream_unpack_int(scene), 1280);
    EXPECT_EQ(threadstream_unpack_int(scene), 720);
    EXPECT_EQ(threadstream_unpack_int(scene), 0); // not transient
    EXPECT_EQ(threadstream_unpack_int(scene), 1); // cleared
    EXPECT_EQ(threadstream_unpack_int(scene), prim_end_pass);
    EXPECT_TRUE(threadstream_eos(scene));
    threadstream_free(scene);

    game_publish_tick_counts(nullptr);
    // The first engine tick loads and boots the game; two more ran it.
    EXPECT_EQ(SDL_AtomicGet(&atomic_last_completed_global_tick_count), 1);
}

TEST_F(GameTest, RenderTargetsComeBeforeTheScreenWithTheirNames)
{
    write_real(game_dir / "app" / "main.rb",
               "def tick args\n  t = args.render_target(:minimap)\n  t.w = 64\n  t.h = 32\nend\n");
    bootstrap();
    tick();
    tick();
    struct threadstream *scene = threadstream_allocate();
    game_pack_render_passes(nullptr, scene);
    char *text = scene_decode_commands(scene);
    ASSERT_NE(text, nullptr);
    const std::string decoded = text;
    SDL_free(text);
    threadstream_free(scene);
    EXPECT_NE(decoded.find("count=2"), std::string::npos) << decoded;
    const size_t target = decoded.find("\"minimap\"");
    ASSERT_NE(target, std::string::npos) << decoded;
    EXPECT_NE(decoded.find("render_width=64", target), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("render_height=32", target), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("target=nil"), std::string::npos) << decoded;
}

TEST_F(GameTest, AnExceptionFromAnEngineCallIsLoggedAndCleared)
{
    write_real(game_dir / "app" / "main.rb",
               "class Zel::Runtime\n  def current_fps a, b\n    raise 'fps broke'\n  end\nend\n"
               "def tick args\n  puts 'still ticking' if args.tick_count == 2\nend\n");
    bootstrap();
    for (int i = 0; i < 4; i++) {
        tick();
    }
    const std::string log = log_text();
    EXPECT_NE(log.find("4 [Engine] Unhandled exception in current_fps: fps broke (RuntimeError)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("2 [Game] still ticking"), std::string::npos) << log;
    EXPECT_FALSE(game_quit_requested());
}

TEST_F(GameTest, CvarsReachScriptsFromEveryThreadAndAfterAReboot)
{
    write_real(game_dir / "app" / "main.rb",
               "def tick args\n  names = ['game.before', 'game.later', 'game.thread']\n"
               "  puts \"cvars #{names.map { |n| $cvars.key?(n) }}\"\nend\n");
    ASSERT_TRUE(cvar_register_int("game.before", "registered before the bootstrap", nullptr, 1));
    bootstrap();
    ASSERT_TRUE(cvar_register_int("game.later", "registered on the game's thread", nullptr, 2));
    SDL_Thread *t = SDL_CreateThread(
        [](void *) -> int { return cvar_register_int("game.thread", "from another", nullptr, 3); },
        "cvar", nullptr);
    int registered = 0;
    SDL_WaitThread(t, &registered);
    ASSERT_TRUE(registered);
    tick();
    tick();
    EXPECT_NE(log_text().find("[Game] cvars [true, true, true]"), std::string::npos);

    // A reboot throws every Ruby object away and fills $cvars again.
    bootstrap();
    tick();
    tick();
    const std::string log = log_text();
    EXPECT_NE(log.find("[Game] cvars [true, true, true]"), std::string::npos) << log;
    EXPECT_NE(log.find("* INFO: =app/main.rb= reloaded."), std::string::npos) << log;
}

struct status_case {
    const char *tests;
    int status;
};

TEST_F(GameTest, ATestRunEndsWithTheStatusOfItsTests)
{
    const status_case cases[] = {
        {"def test_ok args, assert\n  assert.true! true\nend\n", 0},
        {"def test_bad args, assert\n  assert.equal! 1, 2\nend\n", 1},
    };
    argument_line = "./orvane game --test tests.rb";
    for (const status_case &c : cases) {
        write_real(game_dir / "app" / "main.rb", "def tick args\nend\n");
        write_real(game_dir / "tests.rb", c.tests);
        bootstrap();
        for (int i = 0; i < 5 && !game_quit_requested(); i++) {
            tick();
        }
        EXPECT_TRUE(game_quit_requested()) << c.tests;
        game_quit();
        game_quit_bang();
        EXPECT_EQ(game_exit_status(), c.status) << c.tests;
        game_close();
        EXPECT_FALSE(game_has_interpreter());
        EXPECT_EQ(game_exit_status(), c.status) << "kept after the interpreter closed";
    }
}

TEST_F(GameTest, WithoutAnInterpreterEveryCallDoesNothing)
{
    game_close();
    game_tick();
    game_current_fps(1, 1);
    game_quit();
    game_quit_bang();
    EXPECT_FALSE(game_quit_requested());
    EXPECT_FALSE(game_reboot_requested());
    struct threadstream *scene = threadstream_allocate();
    game_pack_render_passes(nullptr, scene);
    EXPECT_EQ(scene->length, 0u);
    threadstream_free(scene);
}

} // namespace
