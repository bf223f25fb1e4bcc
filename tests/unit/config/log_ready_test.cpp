// log_ready: the log.* cvars, their defaults from the game metadata and the
// terminal, values from the cvar files, run-time changes, and the fatal paths
// that finish the log before the metadata exists.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <physfs.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "log/log.h"
#include "log_test_support.h"

namespace
{

std::string fixture_dir(const char *name)
{
    const char *source = getenv("ORV_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/unit/config/fixtures/" + name;
}

class LogReady : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(log_init(), 1);
        write_dir_ = start_physfs("logready");
        ASSERT_EQ(register_renderer_cvars(), 1);
        ASSERT_EQ(register_metadata_cvars(), 1);
        cvar_set_forced("game_metadata.gameid", "my-game");
        take_pending_entries();
    }

    void TearDown() override
    {
        {
            stdout_redirect quiet;
            log_quit();
        }
        cvar_quit();
        log_set_emergency_ready_hook(nullptr);
        PHYSFS_deinit();
    }

    // log_ready with standard output going to a file, as when not on a terminal.
    int ready_off_terminal(void)
    {
        stdout_redirect not_a_terminal;
        return log_ready();
    }

    std::string write_dir_;
};

struct cvar_default {
    const char *name;
    const char *value; // as text: strings as they are, bools "0"/"1"
    int locked;
};

std::string value_text(const char *name)
{
    int type = 0;
    void *slot = cvar_get(name, &type, nullptr);
    if (!slot) {
        return "(missing)";
    }
    if (type == CVAR_TYPE_STRING) {
        char *copy = cvar_get_string_copy(name);
        std::string s = copy;
        SDL_free(copy);
        return s;
    }
    return std::to_string(*(int32_t *)slot);
}

TEST_F(LogReady, DevelopmentDefaults)
{
    ASSERT_EQ(ready_off_terminal(), 1);
    const cvar_default expected[] = {
        {"log.filename", "my-game.log", 1},
        {"log.level", "debug", 1},
        {"log.filter_subsystems", "", 1},
        {"log.stdout", "1", 0},
        {"log.timing", "0", 0},
        {"log.level_char", "1", 0},
        {"log.subsystem", "1", 0},
        {"log.stdout_color", "0", 0},
    };
    for (const cvar_default &c : expected) {
        EXPECT_EQ(value_text(c.name), c.value) << c.name;
        EXPECT_EQ(cvar_islocked(c.name), c.locked) << c.name;
    }
    EXPECT_STREQ(cvar_log_filename, "my-game.log");
    EXPECT_EQ(log_is_ready(), 1);

    log_info("Engine", "into the file");
    struct log_entry *list = log_get_entries();
    {
        stdout_redirect quiet;
        log_publish(list);
    }
    log_free_entries(list);
    EXPECT_EQ(read_whole_file(write_dir_ + "/logs/my-game.log"), "- [Engine] into the file\n");
}

TEST_F(LogReady, ProductionDefaults)
{
    cvar_set_forced("game_metadata.deployment", "1");
    log_debug("Engine", "queued debug line");
    log_info("Engine", "queued info line");
    ASSERT_EQ(ready_off_terminal(), 1);
    EXPECT_EQ(value_text("log.level"), "info");
    EXPECT_EQ(value_text("log.stdout"), "0");
    EXPECT_EQ(messages_of(take_pending_entries()), std::vector<std::string>{"queued info line"});
}

TEST_F(LogReady, ValuesFromTheCvarFilesArePendingUntilReady)
{
    ASSERT_NE(PHYSFS_mount(fixture_dir("log_settings").c_str(), nullptr, 0), 0);
    PHYSFS_mkdir("custom");
    load_cvars_from_file("metadata/cvars.txt");
    log_info("Engine", "start-up info line");
    log_warn("Engine", "start-up warning");
    log_error("HTTP", "http error");
    log_error("render", "render error");
    log_error("HTTPServer", "server error");
    ASSERT_EQ(ready_off_terminal(), 1);

    EXPECT_EQ(value_text("log.level"), "warn");
    EXPECT_EQ(value_text("log.timing"), "1");
    EXPECT_EQ(messages_of(take_pending_entries()),
              (std::vector<std::string>{"start-up warning", "server error"}));
    EXPECT_TRUE(PHYSFS_exists("custom/out.log")) << "a name with '/' is kept as given";
    EXPECT_FALSE(PHYSFS_exists("logs/custom/out.log"));
}

TEST_F(LogReady, UnknownLevelNameFallsBackWithAnError)
{
    cvar_set("log.level", "Warn");
    ASSERT_EQ(ready_off_terminal(), 1);
    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].level, LOG_ERROR);
    EXPECT_EQ(pending[0].message, "Cvar log.level value 'Warn' is unknown. Defaulting to 'debug'.");
    log_debug("Engine", "debug passes");
    EXPECT_EQ(take_pending_entries().size(), 1u);
}

TEST_F(LogReady, OutputCvarsTakeEffectAtRunTime)
{
    ASSERT_EQ(ready_off_terminal(), 1);
    auto publish_one = [] {
        log_warn("Engine", "runtime");
        struct log_entry *list = log_get_entries();
        stdout_redirect out;
        log_publish(list);
        log_free_entries(list);
        return out.finish();
    };
    EXPECT_EQ(publish_one(), "# [Engine] runtime\n");
    EXPECT_EQ(cvar_set("log.level_char", "false"), 1);
    EXPECT_EQ(cvar_set("log.subsystem", "0"), 1);
    EXPECT_EQ(publish_one(), "runtime\n");
    EXPECT_EQ(cvar_set("log.stdout", "false"), 1);
    EXPECT_EQ(publish_one(), "");
    EXPECT_EQ(cvar_set("log.level", "spam"), 0) << "the level is fixed once the log is ready";
}

TEST_F(LogReady, ColourByDefaultOnlyOnATerminal)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    {
        stdout_redirect on_terminal(slave);
        ASSERT_EQ(isatty(1), 1);
        ASSERT_EQ(log_ready(), 1);
        log_info("Engine", "coloured");
        struct log_entry *list = log_get_entries();
        log_publish(list);
        log_free_entries(list);
    }
    EXPECT_EQ(value_text("log.stdout_color"), "1");
    std::string seen;
    char buffer[256];
    while (seen.find("\n") == std::string::npos) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) {
            break;
        }
        const ssize_t n = read(master, buffer, sizeof(buffer));
        if (n <= 0) {
            break;
        }
        seen.append(buffer, (size_t)n);
    }
    EXPECT_EQ(seen, "\33[37m- [Engine] coloured\33[m\r\n");
    close(slave);
    close(master);
}

TEST_F(LogReady, CalledTwiceKeepsOneSetOfCvars)
{
    ASSERT_EQ(ready_off_terminal(), 1);
    cvar_set("log.timing", "true");
    ASSERT_EQ(ready_off_terminal(), 1);
    EXPECT_EQ(value_text("log.timing"), "1");
}

TEST_F(LogReady, EmergencyQuitBeforeReadyWritesTheFile)
{
    log_info("Engine", "early start-up line");
    {
        stdout_redirect quiet;
        log_emergency_quit();
    }
    std::vector<std::string> lines = split_lines(read_whole_file(write_dir_ + "/logs/my-game.log"));
    EXPECT_EQ(lines, (std::vector<std::string>{"- [Engine] early start-up line",
                                               "* [Engine] Logging shutting down"}));
    ASSERT_EQ(log_init(), 1); // for TearDown
}

// The fatal exit can come before any cvar exists: SDL_Init, log_init or the
// registration itself failing.
TEST(LogReadyEarly, EmergencyQuitWithoutMetadataJustPrints)
{
    cvar_quit();
    cvar_log_stdout = 1; // numeric slots keep their values after cvar_quit
    cvar_log_level_char = 1;
    cvar_log_subsystem = 1;
    cvar_log_timing = 0;
    cvar_log_stdout_color = 0;
    ASSERT_EQ(log_init(), 1);
    log_set_emergency_ready_hook(log_ready);
    EXPECT_EQ(log_ready(), 0);
    log_error("Engine", "why we stop");
    std::string out;
    {
        stdout_redirect capture;
        log_emergency_quit();
        out = capture.finish();
    }
    EXPECT_NE(out.find("! [Engine] why we stop\n"), std::string::npos) << out;
    EXPECT_NE(out.find("* [Engine] Logging shutting down\n"), std::string::npos) << out;
    EXPECT_EQ(cvar_get("log.filename", nullptr, nullptr), nullptr);
    log_set_emergency_ready_hook(nullptr);

    log_emergency_quit(); // never initialised: nothing at all
    cvar_quit();
}

} // namespace
