// The log on its own: line formats for standard output and the log file,
// thresholds and level names, the subsystem filter, file names, the writers
// (limited, multi-line, error details), the per-tick hand-off through a real
// janitor, shutdown and the emergency exit.
#include <SDL.h>
#include <gtest/gtest.h>
#include <physfs.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "counting_allocator.h"
#include "janitor/janitor.h"
#include "log/log.h"
#include "log_test_support.h"

namespace
{

struct output_flags {
    int level_char;
    int timing;
    int subsystem;
    int colour;
};

void set_output_flags(const output_flags &f)
{
    cvar_log_level_char = f.level_char;
    cvar_log_timing = f.timing;
    cvar_log_subsystem = f.subsystem;
    cvar_log_stdout_color = f.colour;
    cvar_log_stdout = 1;
}

// Publishes the list with standard output captured.
std::string publish_to_stdout(const struct log_entry *list)
{
    stdout_redirect out;
    log_publish(list);
    return out.finish();
}

struct log_entry make_entry(int32_t level, uint32_t ticks, const char *subsystem,
                            const char *message)
{
    struct log_entry e;
    e.level = level;
    e.ticks = ticks;
    e.subsystem = subsystem;
    e.message = message;
    e.next = nullptr;
    return e;
}

class LogTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        set_output_flags({1, 0, 1, 0});
        ASSERT_EQ(log_init(), 1);
        take_pending_entries(); // the banner
    }

    void TearDown() override
    {
        {
            stdout_redirect quiet;
            log_quit();
        }
        log_set_emergency_ready_hook(nullptr);
        if (PHYSFS_isInit()) {
            PHYSFS_deinit();
        }
        set_output_flags({1, 0, 1, 0});
    }

    void configure(const char *level, const char *filters = "", const char *filename = "",
                   int production = 0)
    {
        struct log_settings s = {level, production, filters, filename};
        ASSERT_EQ(log_configure(&s), 1);
    }
};

// --- Line format -------------------------------------------------------------

struct format_case {
    const char *label;
    output_flags flags;
    int32_t level;
    uint32_t ticks;
    const char *expected; // the stdout text, newline included
};

void PrintTo(const format_case &c, std::ostream *os)
{
    *os << c.label;
}

class LogLineFormat : public LogTest, public ::testing::WithParamInterface<format_case>
{
};

TEST_P(LogLineFormat, StdoutLine)
{
    const format_case &c = GetParam();
    set_output_flags(c.flags);
    struct log_entry e = make_entry(c.level, c.ticks, "Engine", "hello there");
    EXPECT_EQ(publish_to_stdout(&e), c.expected);
}

const format_case kFormatCases[] = {
    {"defaults_info", {1, 0, 1, 0}, LOG_INFO, 5000, "- [Engine] hello there\n"},
    {"spam_char", {1, 0, 1, 0}, LOG_SPAM, 0, ". [Engine] hello there\n"},
    {"debug_char", {1, 0, 1, 0}, LOG_DEBUG, 0, "? [Engine] hello there\n"},
    {"warn_char", {1, 0, 1, 0}, LOG_WARN, 0, "# [Engine] hello there\n"},
    {"error_char", {1, 0, 1, 0}, LOG_ERROR, 0, "! [Engine] hello there\n"},
    {"unfiltered_char", {1, 0, 1, 0}, LOG_UNFILTERED, 0, "* [Engine] hello there\n"},
    {"script_level_char", {1, 0, 1, 0}, 7, 0, "? [Engine] hello there\n"},
    {"timing_six_digits", {1, 1, 1, 0}, LOG_INFO, 1234567, "- 001234 [Engine] hello there\n"},
    {"timing_zero", {1, 1, 1, 0}, LOG_INFO, 999, "- 000000 [Engine] hello there\n"},
    {"timing_wide", {0, 1, 0, 0}, LOG_INFO, 4294967295u, "4294967 hello there\n"},
    {"message_only", {0, 0, 0, 0}, LOG_WARN, 0, "hello there\n"},
    {"no_subsystem", {1, 0, 0, 0}, LOG_ERROR, 0, "! hello there\n"},
    {"colour_info", {1, 0, 1, 1}, LOG_INFO, 0, "\33[37m- [Engine] hello there\33[m\n"},
    {"colour_spam", {1, 0, 1, 1}, LOG_SPAM, 0, "\33[30m. [Engine] hello there\33[m\n"},
    {"colour_debug", {1, 0, 1, 1}, LOG_DEBUG, 0, "\33[32m? [Engine] hello there\33[m\n"},
    {"colour_warn", {1, 0, 1, 1}, LOG_WARN, 0, "\33[33m# [Engine] hello there\33[m\n"},
    {"colour_error", {1, 0, 1, 1}, LOG_ERROR, 0, "\33[31m! [Engine] hello there\33[m\n"},
    {"colour_unfiltered", {1, 0, 1, 1}, LOG_UNFILTERED, 0, "\33[36m* [Engine] hello there\33[m\n"},
    {"colour_script_level_plain", {1, 0, 1, 1}, 7, 0, "? [Engine] hello there\n"},
};

INSTANTIATE_TEST_SUITE_P(Formats, LogLineFormat, ::testing::ValuesIn(kFormatCases),
                         [](const ::testing::TestParamInfo<format_case> &i) {
                             return std::string(i.param.label);
                         });

TEST_F(LogTest, StdoutOffWritesNothing)
{
    cvar_log_stdout = 0;
    struct log_entry e = make_entry(LOG_ERROR, 0, "Engine", "quiet");
    EXPECT_EQ(publish_to_stdout(&e), "");
}

TEST_F(LogTest, NullTextsAreNamed)
{
    orv_log_write(nullptr, LOG_INFO, nullptr);
    struct log_entry *list = log_get_entries();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(publish_to_stdout(list), "- [???] (null)\n");
    log_free_entries(list);
}

TEST_F(LogTest, BatchIsPublishedInWriteOrder)
{
    log_info("Engine", "first %d", 1);
    log_warn("Render", "second");
    log_error("HTTP", "third %s", "x");
    struct log_entry *list = log_get_entries();
    EXPECT_EQ(publish_to_stdout(list), "- [Engine] first 1\n# [Render] second\n! [HTTP] third x\n");
    log_free_entries(list);
    EXPECT_EQ(log_get_entries(), nullptr);
}

TEST_F(LogTest, BannerStartsTheLog)
{
    {
        stdout_redirect quiet;
        log_quit();
    }
    ASSERT_EQ(log_init(), 1);
    std::vector<captured_entry> banner = take_pending_entries();
    ASSERT_EQ(banner.size(), 7u);
    for (const captured_entry &e : banner) {
        EXPECT_EQ(e.level, LOG_UNFILTERED);
        EXPECT_EQ(e.subsystem, "Engine");
    }
    EXPECT_EQ(banner[0].message.rfind("Log started at ", 0), 0u);
    EXPECT_EQ(banner[2].message.rfind("  Version: ", 0), 0u);
    EXPECT_EQ(banner[3].message.rfind("  GIT Hash: ", 0), 0u);
    EXPECT_EQ(banner[4].message.rfind("  Build Date: ", 0), 0u);
    EXPECT_EQ(banner[5].message, std::string("Platform: ") + SDL_GetPlatform());
    EXPECT_EQ(banner[6].message, "");
}

// --- Log file ----------------------------------------------------------------

struct filename_case {
    const char *label;
    const char *setting;
    const char *path; // relative to the write directory
};

void PrintTo(const filename_case &c, std::ostream *os)
{
    *os << c.label;
}

class LogFileName : public LogTest, public ::testing::WithParamInterface<filename_case>
{
};

TEST_P(LogFileName, FileLinesMatchTheFormat)
{
    const filename_case &c = GetParam();
    std::string dir = start_physfs("logfile");
    PHYSFS_mkdir("custom");
    cvar_log_stdout = 0;
    cvar_log_timing = 1;
    configure("debug", "", c.setting);
    struct log_entry second = make_entry(LOG_WARN, 42000, "Render", "two");
    struct log_entry first = make_entry(LOG_INFO, 1000, "Engine", "one");
    first.next = &second;
    log_publish(&first);
    EXPECT_EQ(read_whole_file(dir + "/" + c.path),
              "- 000001 [Engine] one\n# 000042 [Render] two\n");

    cvar_log_timing = 0;
    log_quit();
    std::vector<std::string> lines = split_lines(read_whole_file(dir + "/" + c.path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "* [Engine] Logging shutting down");
}

const filename_case kFileNames[] = {
    {"plain_name_goes_to_logs", "x.txt", "logs/x.txt"},
    {"name_with_slash_kept", "custom/run.log", "custom/run.log"},
};

INSTANTIATE_TEST_SUITE_P(Names, LogFileName, ::testing::ValuesIn(kFileNames),
                         [](const ::testing::TestParamInfo<filename_case> &i) {
                             return std::string(i.param.label);
                         });

TEST_F(LogTest, FileIsTruncatedWhenOpened)
{
    std::string dir = start_physfs("truncate");
    {
        std::ofstream old(dir + "/logs/old.log");
        old << "stale line\n";
    }
    cvar_log_stdout = 0;
    configure("debug", "", "old.log");
    struct log_entry e = make_entry(LOG_INFO, 0, "Engine", "fresh");
    log_publish(&e);
    EXPECT_EQ(read_whole_file(dir + "/logs/old.log"), "- [Engine] fresh\n");
}

TEST_F(LogTest, NoFileWithoutNameOrFileSystem)
{
    // Without PhysicsFS the name is ignored; nothing is logged about it.
    configure("debug", "", "nowhere.log");
    EXPECT_TRUE(take_pending_entries().empty());
    std::string dir = start_physfs("noname");
    configure("debug", "", "");
    EXPECT_TRUE(take_pending_entries().empty());
}

TEST_F(LogTest, FileThatCannotBeOpenedIsReportedAndStdoutGoesOn)
{
    // Folders of the name are created; a plain file in the way makes it fail.
    std::string dir = start_physfs("noopen");
    FILE *blocker = fopen((dir + "/missing_dir").c_str(), "w");
    ASSERT_NE(blocker, nullptr);
    fclose(blocker);
    configure("debug", "", "missing_dir/run.log");
    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].level, LOG_ERROR);
    EXPECT_EQ(pending[0].message.rfind("Failed to open logfile 'missing_dir/run.log' (", 0), 0u)
        << pending[0].message;
    EXPECT_EQ(pending[1].message,
              "Continuing on without log file, hoping this log info is going elsewhere, too.");
    struct log_entry e = make_entry(LOG_INFO, 0, "Engine", "still here");
    EXPECT_EQ(publish_to_stdout(&e), "- [Engine] still here\n");
}

TEST_F(LogTest, FileThatCannotBeWrittenIsAbandonedOnce)
{
    std::string dir = start_physfs("full");
    ASSERT_EQ(symlink("/dev/full", (dir + "/logs/full.log").c_str()), 0);
    PHYSFS_permitSymbolicLinks(1);
    configure("debug", "", "full.log");
    ASSERT_TRUE(take_pending_entries().empty()) << "the device opens fine";

    struct log_entry b = make_entry(LOG_INFO, 0, "Engine", "second line");
    struct log_entry a = make_entry(LOG_INFO, 0, "Engine", "first line");
    a.next = &b;
    EXPECT_EQ(publish_to_stdout(&a), "- [Engine] first line\n- [Engine] second line\n");

    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].level, LOG_ERROR);
    EXPECT_EQ(pending[0].message.rfind("Failed to write log file! Giving up on further logging to "
                                       "this file. (",
                                       0),
              0u)
        << pending[0].message;

    struct log_entry c = make_entry(LOG_INFO, 0, "Engine", "third line");
    EXPECT_EQ(publish_to_stdout(&c), "- [Engine] third line\n");
    EXPECT_TRUE(take_pending_entries().empty());
}

// Two threads publishing their own batches into one file (the simulation
// thread's fallback overlapping a worker's batch) never mix within a line.
TEST_F(LogTest, ConcurrentBatchesKeepLinesWhole)
{
    std::string dir = start_physfs("overlap");
    cvar_log_stdout = 0;
    configure("debug", "", "overlap.log");
    const int kLines = 20000;
    std::vector<std::string> texts_a, texts_b;
    for (int i = 0; i < kLines; i++) {
        texts_a.push_back("worker batch line " + std::to_string(i));
        texts_b.push_back("simulation fallback line " + std::to_string(i));
    }
    auto build = [](std::vector<std::string> &texts, std::vector<struct log_entry> &entries) {
        entries.resize(texts.size());
        for (size_t i = 0; i < texts.size(); i++) {
            entries[i] = make_entry(LOG_INFO, 0, "Engine", texts[i].c_str());
            entries[i].next = i + 1 < texts.size() ? &entries[i + 1] : nullptr;
        }
    };
    std::vector<struct log_entry> a, b;
    build(texts_a, a);
    build(texts_b, b);
    std::atomic<int> waiting{2};
    auto publish = [&waiting](const struct log_entry *list) {
        waiting--;
        while (waiting > 0) {
        }
        log_publish(list);
    };
    std::thread worker(publish, &a[0]);
    std::thread simulation(publish, &b[0]);
    worker.join();
    simulation.join();

    std::vector<std::string> lines = split_lines(read_whole_file(dir + "/logs/overlap.log"));
    ASSERT_EQ(lines.size(), (size_t)(2 * kLines));
    int next_a = 0, next_b = 0;
    for (const std::string &line : lines) {
        if (next_a < kLines && line == "- [Engine] " + texts_a[next_a]) {
            next_a++;
        } else if (next_b < kLines && line == "- [Engine] " + texts_b[next_b]) {
            next_b++;
        } else {
            ADD_FAILURE() << "mixed or out-of-order line: " << line;
            break;
        }
    }
    EXPECT_EQ(next_a, kLines);
    EXPECT_EQ(next_b, kLines);
}

// --- Threshold and filters -----------------------------------------------------

struct threshold_case {
    const char *level;
    int production;
    int32_t threshold; // lowest level kept
    const char *error; // expected error line, or null
};

void PrintTo(const threshold_case &c, std::ostream *os)
{
    *os << c.level;
}

class LogThreshold : public LogTest, public ::testing::WithParamInterface<threshold_case>
{
};

TEST_P(LogThreshold, LevelNameSetsThreshold)
{
    const threshold_case &c = GetParam();
    configure(c.level, "", "", c.production);
    std::vector<captured_entry> after_configure = take_pending_entries();
    if (c.error) {
        ASSERT_EQ(after_configure.size(), 1u);
        EXPECT_EQ(after_configure[0].level, LOG_ERROR);
        EXPECT_EQ(after_configure[0].message, c.error);
    } else {
        EXPECT_TRUE(after_configure.empty());
    }
    const int32_t levels[] = {LOG_SPAM, LOG_DEBUG, LOG_INFO, LOG_WARN, LOG_ERROR, LOG_UNFILTERED};
    for (int32_t level : levels) {
        orv_log_write("Engine", level, "x");
        const bool kept = take_pending_entries().size() == 1;
        EXPECT_EQ(kept, (uint32_t)level >= (uint32_t)c.threshold) << "level " << level;
        EXPECT_EQ(log_should_be_filtered("Engine", level), kept ? 0 : 1) << "level " << level;
    }
}

const threshold_case kThresholds[] = {
    {"spam", 0, LOG_SPAM, nullptr},
    {"debug", 0, LOG_DEBUG, nullptr},
    {"info", 0, LOG_INFO, nullptr},
    {"warn", 0, LOG_WARN, nullptr},
    {"error", 0, LOG_ERROR, nullptr},
    {"unfiltered", 0, LOG_UNFILTERED, nullptr},
    {"nothing", 0, LOG_NOTHING, nullptr},
    {"Warn", 0, LOG_DEBUG, "Cvar log.level value 'Warn' is unknown. Defaulting to 'debug'."},
    {"", 0, LOG_DEBUG, "Cvar log.level value '' is unknown. Defaulting to 'debug'."},
    {"verbose", 1, LOG_INFO, "Cvar log.level value 'verbose' is unknown. Defaulting to 'info'."},
};

INSTANTIATE_TEST_SUITE_P(Levels, LogThreshold, ::testing::ValuesIn(kThresholds),
                         [](const ::testing::TestParamInfo<threshold_case> &i) {
                             std::string name = i.param.level[0] ? i.param.level : "empty";
                             return name + (i.param.production ? "_production" : "");
                         });

TEST_F(LogTest, NegativeScriptLevelPassesEvenNothing)
{
    configure("nothing");
    orv_log_write("Game", -1, "from a script");
    orv_log_write("Game", LOG_UNFILTERED, "dropped");
    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].message, "from a script");
}

TEST_F(LogTest, EverythingIsQueuedUntilReadyThenFiltered)
{
    EXPECT_EQ(log_should_be_filtered("Engine", LOG_SPAM), 0);
    log_info("Engine", "info before ready");
    log_warn("Engine", "warn before ready");
    orv_log_write("HTTP", LOG_ERROR, "http before ready");
    orv_log_write("Engine", LOG_SPAM, "spam written directly before ready");
    log_spam("Engine", "spam writer is below the start-up threshold");
    configure("warn", "http");
    EXPECT_EQ(messages_of(take_pending_entries()), std::vector<std::string>{"warn before ready"});
}

TEST_F(LogTest, SubsystemFilterIsTrimmedAndIgnoresCase)
{
    configure("spam", "  HTTP ,render ,, http");
    for (const char *subsystem : {"http", "HTTP", "Render", "render", "HTTPServer", "Engine"}) {
        orv_log_write(subsystem, LOG_ERROR, subsystem);
    }
    orv_log_write(nullptr, LOG_ERROR, "no subsystem");
    EXPECT_EQ(messages_of(take_pending_entries()),
              (std::vector<std::string>{"HTTPServer", "Engine", "no subsystem"}));
    EXPECT_EQ(log_should_be_filtered("hTTp", LOG_ERROR), 1);
    EXPECT_EQ(log_should_be_filtered("HTTPServer", LOG_ERROR), 0);
    EXPECT_EQ(log_should_be_filtered(nullptr, LOG_ERROR), 0);
}

// --- Writers ---------------------------------------------------------------------

TEST_F(LogTest, LimitedWritesThirtyThenTheNotice)
{
    configure("debug");
    int counter = 0;
    for (int i = 1; i <= 40; i++) {
        log_limited(&counter, "Engine", LOG_WARN, "repeat %d", i);
    }
    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 31u);
    for (int i = 0; i < 30; i++) {
        EXPECT_EQ(pending[i].message, "repeat " + std::to_string(i + 1));
    }
    EXPECT_EQ(pending[30].message, "(Too many logs entries like this, not logging it again.)");
    EXPECT_EQ(pending[30].level, LOG_WARN);
    EXPECT_EQ(counter, 30);
}

TEST_F(LogTest, LimitedBelowThresholdStillCounts)
{
    configure("error");
    int counter = 0;
    for (int i = 0; i < 35; i++) {
        log_limited(&counter, "Engine", LOG_INFO, "hidden");
    }
    EXPECT_TRUE(take_pending_entries().empty());
    EXPECT_EQ(counter, 30);
}

struct multiline_case {
    const char *label;
    const char *text;
    std::vector<std::string> entries;
};

void PrintTo(const multiline_case &c, std::ostream *os)
{
    *os << c.label;
}

class LogMultiline : public LogTest, public ::testing::WithParamInterface<multiline_case>
{
};

TEST_P(LogMultiline, OneEntryPerLine)
{
    const multiline_case &c = GetParam();
    log_multiline("Game", LOG_INFO, c.text);
    EXPECT_EQ(messages_of(take_pending_entries()), c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LogMultiline,
    ::testing::Values(multiline_case{"null", nullptr, {}}, multiline_case{"empty", "", {""}},
                      multiline_case{"single", "alone", {"alone"}},
                      multiline_case{
                          "middle_empty_trailing_newline", "one\n\nthree\n", {"one", "", "three"}},
                      multiline_case{"no_trailing_newline", "a\nb", {"a", "b"}},
                      multiline_case{"just_newline", "\n", {""}},
                      multiline_case{"two_trailing_newlines", "a\n\n", {"a", ""}}),
    [](const ::testing::TestParamInfo<multiline_case> &i) { return std::string(i.param.label); });

TEST_F(LogTest, SdlErrorIsAppended)
{
    SDL_SetError("device %d is gone", 3);
    log_sdl_error("Render", LOG_ERROR, "Couldn't open %s", "window");
    SDL_ClearError();
    log_sdl_error("Render", LOG_WARN, "Nothing wrong");
    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].message, "Couldn't open window (device 3 is gone)");
    EXPECT_EQ(pending[0].level, LOG_ERROR);
    EXPECT_EQ(pending[0].subsystem, "Render");
    EXPECT_EQ(pending[1].message, "Nothing wrong ()");
}

TEST_F(LogTest, PhysfsErrorIsAppended)
{
    start_physfs("physfs-error");
    ASSERT_EQ(PHYSFS_openRead("does/not/exist.txt"), nullptr);
    const std::string expected = std::string("Reading 'does/not/exist.txt' failed (") +
                                 PHYSFS_getErrorByCode(PHYSFS_ERR_NOT_FOUND) + ")";
    PHYSFS_setErrorCode(PHYSFS_ERR_NOT_FOUND);
    log_physfs_error("Engine", LOG_WARN, "Reading '%s' failed", "does/not/exist.txt");
    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].message, expected);
}

TEST_F(LogTest, WritersFromManyThreadsAllArrive)
{
    configure("debug");
    const int kThreads = 4, kEach = 250;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; t++) {
        writers.emplace_back([t] {
            int counter = 0;
            for (int i = 0; i < kEach; i++) {
                log_info("Engine", "thread %d entry %d", t, i);
                log_limited(&counter, "Engine", LOG_INFO, "limited %d", t);
            }
        });
    }
    size_t seen = 0;
    std::vector<int> next(kThreads, 0);
    for (int round = 0; round < 2000 && seen < (size_t)(kThreads * (kEach + 31)); round++) {
        for (const captured_entry &e : take_pending_entries()) {
            seen++;
            int t = -1, i = -1;
            if (sscanf(e.message.c_str(), "thread %d entry %d", &t, &i) == 2) {
                EXPECT_EQ(i, next[t]) << "entries of one thread stay in order";
                next[t] = i + 1;
            }
        }
        SDL_Delay(1);
    }
    for (std::thread &w : writers) {
        w.join();
    }
    seen += take_pending_entries().size();
    EXPECT_EQ(seen, (size_t)(kThreads * (kEach + 31)));
}

// --- Hand-off, shutdown, emergency exit -------------------------------------------

struct seen_entry {
    int32_t level;
    uint32_t ticks;
    std::string subsystem;
    std::string message;
};

void collect(void *user, int32_t level, uint32_t ticks, const char *subsystem, const char *message)
{
    static_cast<std::vector<seen_entry> *>(user)->push_back({level, ticks, subsystem, message});
}

TEST_F(LogTest, HandOffShowsEntriesThenPublishesOnTheLastWorker)
{
    std::string dir = start_physfs("handoff");
    cvar_log_stdout = 0;
    configure("debug", "", "handoff.log");
    ASSERT_EQ(janitor_init(), 1);
    log_info("Engine", "tick entry %d", 1);
    orv_log_write("Game", 9, "script entry");
    std::vector<seen_entry> seen;
    log_hand_off_pending(collect, &seen);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, "tick entry 1");
    EXPECT_EQ(seen[0].level, LOG_INFO);
    EXPECT_EQ(seen[0].subsystem, "Engine");
    EXPECT_EQ(seen[1].level, 9);
    EXPECT_EQ(seen[1].message, "script entry");
    EXPECT_EQ(log_get_entries(), nullptr) << "the batch left the pending list";

    janitor_wait_until_idle(-1);
    EXPECT_EQ(read_whole_file(dir + "/logs/handoff.log"),
              "- [Engine] tick entry 1\n? [Game] script entry\n");

    // An empty tick hands nothing over and shows nothing: no job is even
    // allocated.
    seen.clear();
    const counting_allocator_snapshot before = counting_allocator_read();
    log_hand_off_pending(collect, &seen);
    log_hand_off_pending(nullptr, nullptr);
    EXPECT_EQ(counting_allocator_calls_since(before), 0);
    EXPECT_TRUE(seen.empty());
    janitor_quit();
}

TEST_F(LogTest, HandOffPublishesInlineWhenNoJobCanBeQueued)
{
    configure("debug");
    ASSERT_EQ(janitor_init(), 1);
    janitor_quit(); // from now on every job is refused
    log_info("Engine", "must not be lost");
    std::vector<seen_entry> seen;
    std::string out;
    {
        stdout_redirect capture;
        log_hand_off_pending(collect, &seen);
        out = capture.finish();
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(out, "- [Engine] must not be lost\n");
    std::vector<captured_entry> pending = take_pending_entries();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].level, LOG_WARN);
    EXPECT_EQ(pending[0].message,
              "Failed to start janitor job to publish logs, have to do it immediately on the "
              "simulation thread...");
}

TEST_F(LogTest, QuitPublishesTheRestAndIgnoresLaterWrites)
{
    log_info("Engine", "last words");
    std::string out;
    {
        stdout_redirect capture;
        EXPECT_EQ(log_quit(), 0);
        out = capture.finish();
    }
    EXPECT_EQ(out, "- [Engine] last words\n* [Engine] Logging shutting down\n");
    log_error("Engine", "after quit");
    EXPECT_EQ(log_get_entries(), nullptr);
    EXPECT_EQ(log_should_be_filtered("Engine", LOG_ERROR), 1);
    EXPECT_EQ(log_is_ready(), 0);
}

TEST_F(LogTest, InitAndQuitBalanceAllocations)
{
    {
        stdout_redirect quiet;
        log_quit();
    }
    const counting_allocator_snapshot before = counting_allocator_read();
    {
        stdout_redirect quiet;
        ASSERT_EQ(log_init(), 1);
        configure("spam", "a, b ,c");
        int counter = 0;
        for (int i = 0; i < 40; i++) {
            log_limited(&counter, "Engine", LOG_INFO, "n %d", i);
        }
        log_multiline("Engine", LOG_INFO, "x\ny\n");
        log_quit();
    }
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
    ASSERT_EQ(log_init(), 1); // for TearDown
}

int g_hook_calls = 0;

int hook_configures_with_file(void)
{
    g_hook_calls++;
    struct log_settings s = {"info", 0, "", "emergency.log"};
    return log_configure(&s);
}

int hook_that_cannot(void)
{
    g_hook_calls++;
    return 0;
}

TEST_F(LogTest, EmergencyQuitFinishesTheLogThroughTheHook)
{
    std::string dir = start_physfs("emergency");
    cvar_log_stdout = 0;
    log_debug("Engine", "dropped by the hook's level");
    log_info("Engine", "early entry");
    g_hook_calls = 0;
    log_set_emergency_ready_hook(hook_configures_with_file);
    log_emergency_quit();
    EXPECT_EQ(g_hook_calls, 1);
    std::vector<std::string> lines = split_lines(read_whole_file(dir + "/logs/emergency.log"));
    EXPECT_EQ(lines, (std::vector<std::string>{"- [Engine] early entry",
                                               "* [Engine] Logging shutting down"}));
    ASSERT_EQ(log_init(), 1); // for TearDown
}

TEST_F(LogTest, EmergencyQuitPrintsWhenTheLogCannotBeFinished)
{
    log_warn("Engine", "printed anyway");
    g_hook_calls = 0;
    log_set_emergency_ready_hook(hook_that_cannot);
    std::string out;
    {
        stdout_redirect capture;
        log_emergency_quit();
        out = capture.finish();
    }
    EXPECT_EQ(g_hook_calls, 1);
    EXPECT_EQ(out, "# [Engine] printed anyway\n* [Engine] Logging shutting down\n");

    // Never initialised (or already shut down): nothing happens, nothing crashes.
    g_hook_calls = 0;
    log_emergency_quit();
    EXPECT_EQ(g_hook_calls, 0);
    ASSERT_EQ(log_init(), 1); // for TearDown
}

TEST_F(LogTest, EmergencyQuitSkipsTheHookWhenReady)
{
    configure("debug");
    g_hook_calls = 0;
    log_set_emergency_ready_hook(hook_that_cannot);
    {
        stdout_redirect quiet;
        log_emergency_quit();
    }
    EXPECT_EQ(g_hook_calls, 0);
    ASSERT_EQ(log_init(), 1); // for TearDown
}

} // namespace
