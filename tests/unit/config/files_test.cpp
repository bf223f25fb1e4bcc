// The configuration file readers over real PhysicsFS: fixture game
// directories mounted as the game, a temporary write directory, and the log's
// pending entries read back to check the messages.
#include <SDL.h>
#include <gtest/gtest.h>
#include <physfs.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config.h"
#include "counting_allocator.h"
#include "log/log.h"
#include "log_test_support.h"

namespace
{

std::string fixture_dir(const char *name)
{
    const char *source = getenv("ORV_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/unit/config/fixtures/" + name;
}

bool contains(const std::vector<std::string> &messages, const std::string &message)
{
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

std::string string_cvar(const char *name)
{
    char *copy = cvar_get_string_copy(name);
    std::string value = copy ? copy : "(missing)";
    SDL_free(copy);
    return value;
}

// A game: the log initialised (not ready, so nothing is filtered), the
// engine's cvars registered, PhysicsFS with a temporary write directory.
class ConfigFiles : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(log_init(), 1);
        write_dir_ = start_physfs("config");
        ASSERT_EQ(register_renderer_cvars(), 1);
        ASSERT_EQ(register_metadata_cvars(), 1);
        take_pending_entries();
    }

    void TearDown() override
    {
        config_set_fatal_handler(nullptr);
        cvar_quit();
        {
            stdout_redirect quiet;
            log_quit();
        }
        log_set_emergency_ready_hook(nullptr);
        PHYSFS_deinit();
    }

    void mount_game(const char *name)
    {
        ASSERT_NE(PHYSFS_mount(fixture_dir(name).c_str(), nullptr, 0), 0)
            << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    }

    // A file in the write directory, which is in the search path too.
    void write_file(const char *path, const std::string &bytes)
    {
        PHYSFS_File *f = PHYSFS_openWrite(path);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(PHYSFS_writeBytes(f, bytes.data(), bytes.size()), (PHYSFS_sint64)bytes.size());
        PHYSFS_close(f);
    }

    std::string write_dir_;
};

// --- Lines and key=value pairs ----------------------------------------------------

struct lines_case {
    const char *label;
    std::string bytes;
    std::vector<std::string> lines;
};

void PrintTo(const lines_case &c, std::ostream *os)
{
    *os << c.label;
}

class SplitLines : public ConfigFiles, public ::testing::WithParamInterface<lines_case>
{
};

TEST_P(SplitLines, EveryLineEndCounts)
{
    const lines_case &c = GetParam();
    write_file("lines.txt", c.bytes);
    int count = -1;
    char **lines = split_textfile_into_lines("lines.txt", &count);
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(count, (int)c.lines.size());
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(lines[i], c.lines[i]) << "line " << i + 1;
    }
    EXPECT_EQ(lines[count], nullptr);
    free_split_textfile(lines);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, SplitLines,
    ::testing::Values(lines_case{"empty_file", "", {""}},
                      lines_case{"no_final_end", "a\nb", {"a", "b"}},
                      lines_case{"final_lf", "a\n", {"a", ""}},
                      lines_case{"crlf_is_one_end", "a\r\nb\r\n", {"a", "b", ""}},
                      lines_case{"bare_cr", "a\rb\rc", {"a", "b", "c"}},
                      lines_case{"mixed", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
                      lines_case{"lf_then_cr_is_two_ends", "\n\r", {"", "", ""}},
                      lines_case{"blank_crlf_lines", "\r\n\r\n", {"", "", ""}}),
    [](const ::testing::TestParamInfo<lines_case> &i) { return std::string(i.param.label); });

TEST_F(ConfigFiles, SplitMissingFileIsNull)
{
    int count = 5;
    EXPECT_EQ(split_textfile_into_lines("no/such/file.txt", &count), nullptr);
    EXPECT_EQ(count, 0);
    free_split_textfile(nullptr);
}

struct pair_case {
    const char *line;
    int result;
    const char *key; // null: comment or invalid
    const char *value;
};

void PrintTo(const pair_case &c, std::ostream *os)
{
    *os << "\"" << c.line << "\"";
}

class KeyValue : public ::testing::TestWithParam<pair_case>
{
};

TEST_P(KeyValue, Splits)
{
    const pair_case &c = GetParam();
    std::vector<char> line(c.line, c.line + strlen(c.line) + 1);
    char *key = (char *)"unset";
    char *value = (char *)"unset";
    EXPECT_EQ(split_key_value_string(line.data(), &key, &value), c.result);
    if (c.key) {
        ASSERT_NE(key, nullptr);
        EXPECT_STREQ(key, c.key);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value, c.value);
    } else {
        EXPECT_EQ(key, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyValue,
    ::testing::Values(pair_case{"key=value", 1, "key", "value"},
                      pair_case{"  spaced key \t=\t spaced value  ", 1, "spaced key",
                                "spaced value"},
                      pair_case{"url=http://x/?a=b", 1, "url", "http://x/?a=b"},
                      pair_case{"empty=", 1, "empty", ""}, pair_case{"empty =   ", 1, "empty", ""},
                      pair_case{"", 1, nullptr, nullptr}, pair_case{"   \t ", 1, nullptr, nullptr},
                      pair_case{"# comment=with equals", 1, nullptr, nullptr},
                      pair_case{"  ; comment", 1, nullptr, nullptr},
                      pair_case{"key # not a comment = x", 1, "key # not a comment", "x"},
                      pair_case{"=value", 0, nullptr, nullptr},
                      pair_case{"  =value", 0, nullptr, nullptr},
                      pair_case{"no equals", 0, nullptr, nullptr}));

// --- Cvar files ------------------------------------------------------------------------

TEST_F(ConfigFiles, CvarFileSetsWarnsAndRefuses)
{
    mount_game("basic");
    static char *text = nullptr;
    static char *empty = nullptr;
    ASSERT_EQ(cvar_register_string("test.text", "", &text, "unset"), 1);
    ASSERT_EQ(cvar_register_string("test.empty", "", &empty, "unset"), 1);
    take_pending_entries();

    load_cvars_from_file("metadata/cvars.txt");
    EXPECT_EQ(cvar_renderer_vsync, 0);
    EXPECT_EQ(cvar_renderer_background_sleep, 25u);
    EXPECT_STREQ(text, "a=b=c");
    EXPECT_STREQ(empty, "");
    EXPECT_STREQ(cvar_game_metadata_gameid, "hello-SDL");

    std::vector<captured_entry> entries = take_pending_entries();
    std::vector<std::string> m = messages_of(entries);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.front(), "Loading cvars from file 'metadata/cvars.txt' ...");
    EXPECT_EQ(m.back(), "File 'metadata/cvars.txt' complete");
    EXPECT_TRUE(contains(m, "File 'metadata/cvars.txt' line 2 setting cvar 'renderer.vsync' to "
                            "'false'"));
    EXPECT_TRUE(contains(m, "File 'metadata/cvars.txt' line 6 setting cvar 'test.text' to "
                            "'a=b=c'"));
    EXPECT_TRUE(contains(m, "metadata/cvars.txt: invalid data on line 8, ignored"));
    EXPECT_TRUE(contains(m, "metadata/cvars.txt: invalid data on line 9, ignored"));
    EXPECT_TRUE(contains(m, "metadata/cvars.txt: invalid data on line 12, ignored") == false)
        << "the final empty line is blank, not invalid";
    EXPECT_TRUE(contains(m, "Refusing to set locked cvar 'game_metadata.gameid' to 'hijack'"));
    for (const captured_entry &e : entries) {
        if (e.message.find("invalid data") != std::string::npos) {
            EXPECT_EQ(e.level, LOG_WARN);
        }
        if (e.message.find("setting cvar") != std::string::npos) {
            EXPECT_EQ(e.level, LOG_DEBUG);
        }
    }
    for (const char *comment : {"line 1 ", "line 3 ", "line 4 "}) {
        for (const std::string &s : m) {
            EXPECT_EQ(s.find(comment), std::string::npos) << "comment lines are skipped: " << s;
        }
    }

    // A name registered after the file was read takes its value then.
    static char *later = nullptr;
    ASSERT_EQ(cvar_register_string("test.later", "", &later, "default"), 1);
    EXPECT_STREQ(later, "pending from file");
}

TEST_F(ConfigFiles, UserCvarsWinOverGameCvars)
{
    mount_game("basic");
    load_cvars_from_file("metadata/cvars.txt");
    EXPECT_EQ(cvar_renderer_vsync, 0);
    load_cvars_from_file("user_cvars.txt");
    EXPECT_EQ(cvar_renderer_vsync, 1);
}

TEST_F(ConfigFiles, MissingCvarFileIsSilent)
{
    load_cvars_from_file("metadata/cvars.txt");
    EXPECT_TRUE(take_pending_entries().empty());
}

struct ending_result {
    int32_t vsync;
    uint32_t sleep;
    std::string text;
    std::string empty;
    std::vector<std::string> messages;
};

class LineEndings : public ConfigFiles, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(LineEndings, SameCvarsAndMessagesAsLineFeeds)
{
    auto read_game = [this](const char *game) {
        ending_result r;
        mount_game(game);
        static char *text = nullptr;
        static char *empty = nullptr;
        cvar_register_string("test.text", "", &text, "unset");
        cvar_register_string("test.empty", "", &empty, "unset");
        take_pending_entries();
        load_cvars_from_file("metadata/cvars.txt");
        r.vsync = cvar_renderer_vsync;
        r.sleep = cvar_renderer_background_sleep;
        r.text = text;
        r.empty = empty;
        r.messages = messages_of(take_pending_entries());
        PHYSFS_unmount(fixture_dir(game).c_str());
        cvar_quit();
        register_renderer_cvars();
        register_metadata_cvars();
        return r;
    };
    const ending_result lf = read_game("le_lf");
    const ending_result other = read_game(GetParam());
    EXPECT_EQ(lf.vsync, 0);
    EXPECT_EQ(lf.sleep, 7u);
    EXPECT_EQ(lf.text, "spaced value");
    EXPECT_EQ(lf.empty, "");
    EXPECT_TRUE(contains(lf.messages, "metadata/cvars.txt: invalid data on line 6, ignored"));
    EXPECT_EQ(other.vsync, lf.vsync);
    EXPECT_EQ(other.sleep, lf.sleep);
    EXPECT_EQ(other.text, lf.text);
    EXPECT_EQ(other.empty, lf.empty);
    EXPECT_EQ(other.messages, lf.messages);
}

INSTANTIATE_TEST_SUITE_P(Files, LineEndings, ::testing::Values("le_crlf", "le_cr"));

// --- Game metadata ----------------------------------------------------------------------------

TEST_F(ConfigFiles, MetadataSetsIdentityAndWarns)
{
    mount_game("basic");
    EXPECT_EQ(load_metadata("metadata/game_metadata.txt"), 1);
    EXPECT_EQ(string_cvar("game_metadata.devid"), "fixturedev");
    EXPECT_EQ(string_cvar("game_metadata.gametitle"), "A Title With = Sign");
    EXPECT_EQ(string_cvar("game_metadata.devtitle"), "Fixture Developer");
    EXPECT_EQ(string_cvar("game_metadata.gameid"), "fixture-game");
    EXPECT_EQ(string_cvar("game_metadata.version"), "2.5");
    EXPECT_EQ(string_cvar("game_metadata.orientation"), "portrait,landscape");
    EXPECT_EQ(string_cvar("game_metadata.readme"), "");
    EXPECT_EQ(string_cvar("game_metadata.packageid"), "org.fixturedev.fixture-game");
    EXPECT_EQ(cvar_game_metadata_hd, 1);
    EXPECT_EQ(cvar_game_metadata_scale_quality, 2);
    EXPECT_EQ(cvar_game_metadata_deployment, 0) << "deployment is not a metadata key";
    EXPECT_STREQ(cvar_game_metadata_gameid, "fixture-game");

    std::vector<std::string> m = messages_of(take_pending_entries());
    EXPECT_TRUE(contains(m, "Unknown game metadata key 'deployment', ignoring"));
    EXPECT_TRUE(contains(m, "Unknown game metadata key 'colour', ignoring"));
    EXPECT_TRUE(contains(m, "Invalid metadata on line 13, ignored"));
    EXPECT_FALSE(contains(m, "Metadata file does not have all required fields!"));

    for (const char *name : {"game_metadata.devid", "game_metadata.gameid",
                             "game_metadata.orientation_current", "game_metadata.deployment"}) {
        EXPECT_EQ(cvar_islocked(name), 1) << name;
    }
    EXPECT_EQ(cvar_set("game_metadata.gameid", "x"), 0);
}

TEST_F(ConfigFiles, MetadataWithOnlyGameIdKeepsDefaultsAndDerivesPackage)
{
    mount_game("only_gameid");
    EXPECT_EQ(load_metadata("metadata/game_metadata.txt"), 0);
    EXPECT_EQ(string_cvar("game_metadata.gameid"), "solo");
    EXPECT_EQ(string_cvar("game_metadata.devid"), "orvane");
    EXPECT_EQ(string_cvar("game_metadata.devtitle"), "Orvane LLC");
    EXPECT_EQ(string_cvar("game_metadata.version"), "1.0");
    EXPECT_EQ(string_cvar("game_metadata.packageid"), "org.orvane.solo");
    std::vector<captured_entry> entries = take_pending_entries();
    ASSERT_EQ(count_message(entries, "Metadata file does not have all required fields!"), 1);
    for (const captured_entry &e : entries) {
        if (e.message == "Metadata file does not have all required fields!") {
            EXPECT_EQ(e.level, LOG_ERROR);
        }
    }
    EXPECT_EQ(cvar_islocked("game_metadata.packageid"), 1);
}

TEST_F(ConfigFiles, MissingMetadataLeavesEverythingAlone)
{
    cvar_set_forced("game_metadata.gameid", "kept");
    EXPECT_EQ(load_metadata("metadata/game_metadata.txt"), 0);
    EXPECT_EQ(string_cvar("game_metadata.gameid"), "kept");
    EXPECT_EQ(cvar_islocked("game_metadata.gameid"), 1);
}

TEST_F(ConfigFiles, MetadataIsResetBeforeReading)
{
    mount_game("only_gameid");
    cvar_set_forced("game_metadata.devid", "stale");
    cvar_set_forced("game_metadata.hd", "true");
    load_metadata("metadata/game_metadata.txt");
    EXPECT_EQ(string_cvar("game_metadata.devid"), "orvane");
    EXPECT_EQ(cvar_game_metadata_hd, 0);
}

TEST_F(ConfigFiles, ReadingFilesLeavesNoBlocks)
{
    mount_game("basic");
    // The first loads allocate what stays until cvar_quit (retired texts).
    load_metadata("metadata/game_metadata.txt");
    load_cvars_from_file("metadata/cvars.txt");
    take_pending_entries();
    const counting_allocator_snapshot before = counting_allocator_read();
    load_metadata("metadata/game_metadata.txt");
    load_cvars_from_file("metadata/cvars.txt");
    take_pending_entries();
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
}

// --- Publishing keys: fatal ------------------------------------------------------------

void handler_like_startup_failure(const char *message)
{
    fprintf(stderr, "\n\nStartup failure!:\n%s\n\n", message);
    exit(1);
}

TEST_F(ConfigFiles, SteamKeyLeavesThroughTheFatalHandler)
{
    mount_game("steam_key");
    config_set_fatal_handler(handler_like_startup_failure);
    EXPECT_EXIT(load_metadata("metadata/game_metadata.txt"), ::testing::ExitedWithCode(1),
                "Startup failure!:\nSteam publishing details in game_metadata.txt line 3!");
}

struct publishing_case {
    const char *game;
    const char *first_line;
    const char *second_line;
};

void PrintTo(const publishing_case &c, std::ostream *os)
{
    *os << c.game;
}

class PublishingKey : public ConfigFiles, public ::testing::WithParamInterface<publishing_case>
{
};

// Without a handler the log is finished (its file written), the message goes
// to standard error and the status is 1.
TEST_P(PublishingKey, StopsAfterTheErrorLinesReachTheLog)
{
    const publishing_case &c = GetParam();
    mount_game(c.game);
    EXPECT_EXIT(
        {
            stdout_redirect quiet;
            load_metadata("metadata/game_metadata.txt");
        },
        ::testing::ExitedWithCode(1), c.first_line);
    std::vector<std::string> lines = split_lines(read_whole_file(write_dir_ + "/logs/leaky.log"));
    std::vector<std::string> errors;
    for (const std::string &line : lines) {
        if (line.rfind("! [Engine] ", 0) == 0) {
            errors.push_back(line.substr(11));
        }
    }
    EXPECT_EQ(errors,
              (std::vector<std::string>{c.first_line, c.second_line,
                                        "Quitting now so you know to FIX THIS RIGHT NOW."}));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "* [Engine] Logging shutting down");
}

INSTANTIATE_TEST_SUITE_P(
    Stores, PublishingKey,
    ::testing::Values(
        publishing_case{"steam_key", "Steam publishing details in game_metadata.txt line 3!",
                        "This info must be in steam_metadata.txt or they will be published with "
                        "your game!"},
        publishing_case{"itchio_key", "Itch.io publishing details in game_metadata.txt line 2!",
                        "This info must be in itchio_metadata.txt or they will be published with "
                        "your game!"}),
    [](const ::testing::TestParamInfo<publishing_case> &i) { return std::string(i.param.game); });

} // namespace
