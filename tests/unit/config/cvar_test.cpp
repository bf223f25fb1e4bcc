// The cvar registry: conversions, pending values, locking, re-registration,
// the registration callback, string lifetimes and concurrent use.
#include <SDL.h>
#include <gtest/gtest.h>
#include <limits.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "config/config.h"
#include "counting_allocator.h"
#include "log/log.h"
#include "log_test_support.h"

namespace
{

class CvarTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(log_init(), 1);
        struct log_settings s = {"spam", 0, "", ""};
        ASSERT_EQ(log_configure(&s), 1);
        take_pending_entries();
    }

    void TearDown() override
    {
        cvar_quit();
        stdout_redirect quiet;
        log_quit();
    }
};

// --- Conversions ---------------------------------------------------------------

struct conversion_case {
    int type;
    const char *text;
    double expected;
};

void PrintTo(const conversion_case &c, std::ostream *os)
{
    *os << "\"" << c.text << "\"";
}

std::string type_label(int type)
{
    const char *names[] = {"", "string", "int", "uint", "float", "bool"};
    return names[type];
}

class CvarConversion : public CvarTest, public ::testing::WithParamInterface<conversion_case>
{
};

TEST_P(CvarConversion, TextBecomesTypedValue)
{
    const conversion_case &c = GetParam();
    ASSERT_EQ(cvar_register("test.value", c.type, "under test", nullptr, "0"), 1);
    ASSERT_EQ(cvar_set("test.value", c.text), 1);
    int type = 0;
    void *slot = cvar_get("test.value", &type, nullptr);
    ASSERT_NE(slot, nullptr);
    ASSERT_EQ(type, c.type);
    switch (c.type) {
    case CVAR_TYPE_INT:
        EXPECT_EQ(*(int32_t *)slot, (int32_t)c.expected) << c.text;
        EXPECT_EQ(cvar_get_int("test.value"), slot);
        break;
    case CVAR_TYPE_UINT:
        EXPECT_EQ(*(uint32_t *)slot, (uint32_t)c.expected) << c.text;
        EXPECT_EQ(cvar_get_uint("test.value"), slot);
        break;
    case CVAR_TYPE_FLOAT:
        EXPECT_FLOAT_EQ(*(float *)slot, (float)c.expected) << c.text;
        EXPECT_EQ(cvar_get_float("test.value"), slot);
        break;
    case CVAR_TYPE_BOOL:
        EXPECT_EQ(*(int32_t *)slot, (int32_t)c.expected) << c.text;
        EXPECT_EQ(cvar_get_bool("test.value"), slot);
        break;
    }
}

const conversion_case kConversions[] = {
    {CVAR_TYPE_BOOL, "TRUE", 1},
    {CVAR_TYPE_BOOL, "true", 1},
    {CVAR_TYPE_BOOL, "1", 1},
    {CVAR_TYPE_BOOL, "42", 1},
    {CVAR_TYPE_BOOL, "-1", 1},
    {CVAR_TYPE_BOOL, "4294967296", 1}, // not narrowed to 0
    {CVAR_TYPE_BOOL, "yes", 0},
    {CVAR_TYPE_BOOL, "on", 0},
    {CVAR_TYPE_BOOL, "", 0},
    {CVAR_TYPE_BOOL, "false", 0},
    {CVAR_TYPE_BOOL, "0", 0},
    {CVAR_TYPE_INT, "abc", 0},
    {CVAR_TYPE_INT, "12ab", 12},
    {CVAR_TYPE_INT, "  -7", -7},
    {CVAR_TYPE_INT, "0x10", 0},
    {CVAR_TYPE_INT, "2147483647", INT32_MAX},
    {CVAR_TYPE_INT, "4294967297", INT32_MAX},
    {CVAR_TYPE_INT, "-4294967297", INT32_MIN},
    {CVAR_TYPE_INT, "99999999999999999999999", INT32_MAX},
    {CVAR_TYPE_UINT, "4000000000", 4000000000.0},
    {CVAR_TYPE_UINT, "4294967297", UINT32_MAX},
    {CVAR_TYPE_UINT, "-5", 0},
    {CVAR_TYPE_UINT, "12ab", 12},
    {CVAR_TYPE_UINT, "abc", 0},
    {CVAR_TYPE_FLOAT, "1.5e2", 150},
    {CVAR_TYPE_FLOAT, "-0.25", -0.25},
    {CVAR_TYPE_FLOAT, "3.5px", 3.5},
    {CVAR_TYPE_FLOAT, "abc", 0},
};

INSTANTIATE_TEST_SUITE_P(Table, CvarConversion, ::testing::ValuesIn(kConversions),
                         [](const ::testing::TestParamInfo<conversion_case> &i) {
                             return type_label(i.param.type) + "_" + std::to_string(i.index);
                         });

TEST_F(CvarTest, TypedWrappersFormatTheirDefaults)
{
    static int32_t i = 0, b = 0;
    static uint32_t u = 0;
    static float f = 0;
    static char *s = nullptr;
    ASSERT_EQ(cvar_register_int("t.int", "d", &i, -12), 1);
    ASSERT_EQ(cvar_register_uint("t.uint", "d", &u, 4000000000u), 1);
    ASSERT_EQ(cvar_register_float("t.float", "d", &f, 2.5f), 1);
    ASSERT_EQ(cvar_register_bool("t.bool", "d", &b, 1), 1);
    ASSERT_EQ(cvar_register_string("t.string", "d", &s, "hello"), 1);
    EXPECT_EQ(i, -12);
    EXPECT_EQ(u, 4000000000u);
    EXPECT_FLOAT_EQ(f, 2.5f);
    EXPECT_EQ(b, 1);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "hello");
    EXPECT_EQ(cvar_get_string("t.string"), &s);
    EXPECT_EQ(cvar_get_int("t.string"), nullptr) << "typed getters check the type";
    EXPECT_EQ(cvar_get_bool("t.int"), nullptr);

    std::vector<std::string> messages = messages_of(take_pending_entries());
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "Registered cvar \"t.float\" (\"d\") [default value: \"2.500000\"]"),
              messages.end());
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "Registered cvar \"t.uint\" (\"d\") [default value: \"4000000000\"]"),
              messages.end());
}

TEST_F(CvarTest, RefusedRegistrations)
{
    EXPECT_EQ(cvar_register(nullptr, CVAR_TYPE_INT, "d", nullptr, "1"), 0);
    EXPECT_EQ(cvar_register("t.x", CVAR_TYPE_INT, "d", nullptr, nullptr), 0);
    EXPECT_EQ(cvar_register("t.x", 9, "d", nullptr, "1"), 0);
    EXPECT_EQ(cvar_get("t.x", nullptr, nullptr), nullptr) << "a failed registration leaves nothing";
}

TEST_F(CvarTest, GetReportsTypeAndDescription)
{
    int type = -1;
    const char *description = "unset";
    EXPECT_EQ(cvar_get("no.such", &type, &description), nullptr);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(description, nullptr);
    static float storage = 0;
    ASSERT_EQ(cvar_register("t.f", CVAR_TYPE_FLOAT, "a float", &storage, "1"), 1);
    EXPECT_EQ(cvar_get("t.f", &type, &description), &storage);
    EXPECT_EQ(type, CVAR_TYPE_FLOAT);
    EXPECT_STREQ(description, "a float");
    EXPECT_EQ(cvar_get("T.F", nullptr, nullptr), nullptr) << "names are case-sensitive";
}

// --- Setting, pending values, locking ------------------------------------------------

TEST_F(CvarTest, SetLogsAndNullsAreRefused)
{
    static int32_t v = 0;
    ASSERT_EQ(cvar_register_int("t.v", "d", &v, 0), 1);
    take_pending_entries();
    EXPECT_EQ(cvar_set(nullptr, "1"), 0);
    EXPECT_EQ(cvar_set("t.v", nullptr), 0);
    EXPECT_EQ(cvar_set("t.v", "5"), 1);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(messages_of(take_pending_entries()),
              std::vector<std::string>{"Setting cvar 't.v' to '5'."});
}

TEST_F(CvarTest, LastPendingValueWinsAndRegistrationReportsIt)
{
    EXPECT_EQ(cvar_set("log.level", "info"), 1);
    EXPECT_EQ(cvar_set("log.level", "warn"), 1);
    EXPECT_EQ(cvar_get("log.level", nullptr, nullptr), nullptr);
    std::vector<captured_entry> marks = take_pending_entries();
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[1].level, LOG_SPAM);
    EXPECT_EQ(marks[1].message, "Marked unregistered cvar 'log.level' (value 'warn') as pending.");

    static char *level = nullptr;
    ASSERT_EQ(cvar_register_string("log.level", "levels", &level, "debug"), 1);
    EXPECT_STREQ(level, "warn");
    EXPECT_EQ(messages_of(take_pending_entries()),
              std::vector<std::string>{
                  "Registered cvar \"log.level\" (\"levels\") [pending value: \"warn\"]"});

    // The pending value was used up: a fresh registry cycle uses the default.
    cvar_quit();
    ASSERT_EQ(cvar_register_string("log.level", "levels", &level, "debug"), 1);
    EXPECT_STREQ(level, "debug");
}

TEST_F(CvarTest, PendingValuesOfSeveralNames)
{
    cvar_set("p.a", "1");
    cvar_set("p.b", "2");
    cvar_set("p.c", "3");
    static int32_t a = 0, b = 0, c = 0;
    ASSERT_EQ(cvar_register_int("p.b", "", &b, 0), 1); // unlinks from the middle
    ASSERT_EQ(cvar_register_int("p.c", "", &c, 0), 1); // the front
    ASSERT_EQ(cvar_register_int("p.a", "", &a, 0), 1); // the last one
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 3);
}

TEST_F(CvarTest, LockedCvarRefusesSet)
{
    static char *id = nullptr;
    ASSERT_EQ(cvar_register_string("game_metadata.gameid", "id", &id, "hello-SDL"), 1);
    EXPECT_EQ(cvar_islocked("game_metadata.gameid"), 0);
    EXPECT_EQ(cvar_lock("game_metadata.gameid"), 1);
    EXPECT_EQ(cvar_islocked("game_metadata.gameid"), 1);
    take_pending_entries();

    EXPECT_EQ(cvar_set("game_metadata.gameid", "other"), 0);
    EXPECT_STREQ(id, "hello-SDL");
    std::vector<captured_entry> lines = take_pending_entries();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].message, "Setting cvar 'game_metadata.gameid' to 'other'.");
    EXPECT_EQ(lines[1].level, LOG_ERROR);
    EXPECT_EQ(lines[1].subsystem, "Engine");
    EXPECT_EQ(lines[1].message, "Refusing to set locked cvar 'game_metadata.gameid' to 'other'");

    // The engine's own ways: unlock, set, lock; or a forced set that keeps the lock.
    EXPECT_EQ(cvar_unlock("game_metadata.gameid"), 1);
    EXPECT_EQ(cvar_set("game_metadata.gameid", "mine"), 1);
    EXPECT_STREQ(id, "mine");
    cvar_lock("game_metadata.gameid");
    EXPECT_EQ(cvar_set_forced("game_metadata.gameid", "forced"), 1);
    EXPECT_STREQ(id, "forced");
    EXPECT_EQ(cvar_islocked("game_metadata.gameid"), 1);

    EXPECT_EQ(cvar_lock("no.such"), 0);
    EXPECT_EQ(cvar_unlock("no.such"), 0);
    EXPECT_EQ(cvar_islocked("no.such"), 0);
    EXPECT_EQ(cvar_set_forced("no.such", "1"), 0);
    EXPECT_EQ(cvar_get("no.such", nullptr, nullptr), nullptr)
        << "a forced set makes nothing pending";
}

// --- Registering a name again -----------------------------------------------------------

struct seen_registration {
    std::string name;
    std::string description;
    int type;
};

void record_registration(void *user, const char *name, const char *description, int type)
{
    static_cast<std::vector<seen_registration> *>(user)->push_back({name, description, type});
}

int registrations_named(const char *name)
{
    std::vector<seen_registration> all;
    cvar_set_register_callback(record_registration, &all);
    cvar_set_register_callback(nullptr, nullptr);
    int n = 0;
    for (const seen_registration &r : all) {
        n += r.name == name;
    }
    return n;
}

TEST_F(CvarTest, ScriptRegisteringAnEngineCvarAgainKeepsTheEngineStorage)
{
    static int32_t engine_vsync = 0;
    ASSERT_EQ(cvar_register_bool("renderer.vsync", "engine", &engine_vsync, 1), 1);
    cvar_set("renderer.vsync", "false");
    // A script registers the same name with no storage, on every reboot.
    for (int reboot = 0; reboot < 3; reboot++) {
        ASSERT_EQ(cvar_register("renderer.vsync", CVAR_TYPE_BOOL, "script", nullptr, "true"), 1);
    }
    EXPECT_EQ(registrations_named("renderer.vsync"), 1);
    EXPECT_EQ(engine_vsync, 0) << "re-registration keeps the value";
    EXPECT_EQ(cvar_get("renderer.vsync", nullptr, nullptr), &engine_vsync);
    cvar_set("renderer.vsync", "true");
    EXPECT_EQ(engine_vsync, 1) << "the engine's variable still follows cvar_set";
    const char *description = nullptr;
    cvar_get("renderer.vsync", nullptr, &description);
    EXPECT_STREQ(description, "engine");
}

TEST_F(CvarTest, ReRegistrationNeverUnlocks)
{
    static char *gameid = nullptr;
    ASSERT_EQ(cvar_register_string("game_metadata.gameid", "id", &gameid, "hello-SDL"), 1);
    cvar_lock("game_metadata.gameid");
    ASSERT_EQ(cvar_register("game_metadata.gameid", CVAR_TYPE_STRING, "copy", nullptr, "x"), 1);
    EXPECT_EQ(cvar_islocked("game_metadata.gameid"), 1);
    EXPECT_EQ(cvar_set("game_metadata.gameid", "hijack"), 0);
    EXPECT_STREQ(gameid, "hello-SDL");
    EXPECT_EQ(registrations_named("game_metadata.gameid"), 1);
}

TEST_F(CvarTest, EngineStorageTakesOverFromAScriptRegistration)
{
    ASSERT_EQ(cvar_register("shared.port", CVAR_TYPE_UINT, "script", nullptr, "80"), 1);
    cvar_set("shared.port", "8080");
    static uint32_t port = 0;
    ASSERT_EQ(cvar_register_uint("shared.port", "engine", &port, 9001), 1);
    EXPECT_EQ(port, 8080u) << "the current value moves into the engine's variable";
    cvar_set("shared.port", "9090");
    EXPECT_EQ(port, 9090u);
    EXPECT_EQ(cvar_get_uint("shared.port"), &port);
    EXPECT_EQ(registrations_named("shared.port"), 1);
}

TEST_F(CvarTest, SecondStorageGetsACopyOfTheValue)
{
    static char *first = nullptr;
    static char *second = nullptr;
    ASSERT_EQ(cvar_register_string("t.name", "one", &first, "alpha"), 1);
    ASSERT_EQ(cvar_register_string("t.name", "two", &second, "beta"), 1);
    EXPECT_EQ(cvar_get_string("t.name"), &first);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second, "alpha");
}

TEST_F(CvarTest, ReRegistrationWithAnotherTypeIsRefused)
{
    static int32_t flag = 0;
    ASSERT_EQ(cvar_register_bool("t.flag", "d", &flag, 1), 1);
    take_pending_entries();
    EXPECT_EQ(cvar_register("t.flag", CVAR_TYPE_STRING, "d", nullptr, "yes"), 0);
    std::vector<captured_entry> lines = take_pending_entries();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, LOG_ERROR);
    EXPECT_EQ(lines[0].message,
              "Refusing to register cvar 't.flag' as string: it is already a bool cvar.");
    int type = 0;
    EXPECT_EQ(cvar_get("t.flag", &type, nullptr), &flag);
    EXPECT_EQ(type, CVAR_TYPE_BOOL);
}

// --- Callback --------------------------------------------------------------------------------

TEST_F(CvarTest, CallbackSeesExistingNewestFirstThenEachNewOne)
{
    cvar_register("c.first", CVAR_TYPE_INT, "1st", nullptr, "1");
    cvar_register("c.second", CVAR_TYPE_STRING, "2nd", nullptr, "2");
    cvar_register("c.third", CVAR_TYPE_BOOL, "3rd", nullptr, "true");
    std::vector<seen_registration> seen;
    cvar_set_register_callback(record_registration, &seen);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].name, "c.third");
    EXPECT_EQ(seen[0].type, CVAR_TYPE_BOOL);
    EXPECT_EQ(seen[1].name, "c.second");
    EXPECT_EQ(seen[1].description, "2nd");
    EXPECT_EQ(seen[2].name, "c.first");
    EXPECT_EQ(seen[2].type, CVAR_TYPE_INT);

    cvar_register("c.fourth", CVAR_TYPE_FLOAT, "4th", nullptr, "4");
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3].name, "c.fourth");
    EXPECT_EQ(seen[3].type, CVAR_TYPE_FLOAT);

    cvar_register("c.fourth", CVAR_TYPE_FLOAT, "again", nullptr, "5");
    ASSERT_EQ(seen.size(), 5u) << "a re-registration is reported too (the script hash is rebuilt)";
    EXPECT_EQ(seen[4].description, "4th");

    cvar_quit();
    seen.clear();
    cvar_register("c.after_quit", CVAR_TYPE_INT, "", nullptr, "1");
    EXPECT_TRUE(seen.empty()) << "cvar_quit clears the callback";
}

// The callback may use the registry itself, as the script side does.
void callback_reading_registry(void *user, const char *name, const char *, int)
{
    int type = 0;
    if (cvar_get(name, &type, nullptr) && type != 0) {
        ++*static_cast<int *>(user);
    }
    cvar_islocked(name);
}

TEST_F(CvarTest, CallbackMayCallTheRegistry)
{
    cvar_register("r.a", CVAR_TYPE_INT, "", nullptr, "1");
    int calls = 0;
    cvar_set_register_callback(callback_reading_registry, &calls);
    cvar_register("r.b", CVAR_TYPE_INT, "", nullptr, "1");
    EXPECT_EQ(calls, 2);
}

// --- Strings: lifetimes and memory ------------------------------------------------------

TEST_F(CvarTest, ReplacedTextStaysReadableUntilQuit)
{
    static char *orientation = nullptr;
    ASSERT_EQ(cvar_register_string("o.current", "d", &orientation, "landscape"), 1);
    const char *before = orientation;
    cvar_set("o.current", "portrait");
    EXPECT_STREQ(orientation, "portrait");
    EXPECT_STREQ(before, "landscape") << "a reader holding the old pointer is still safe";
    cvar_set("o.current", "landscape");
    EXPECT_EQ(orientation, before) << "a text held before is reused";
    char *copy = cvar_get_string_copy("o.current");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "landscape");
    SDL_free(copy);
    EXPECT_EQ(cvar_get_string_copy("no.such"), nullptr);

    cvar_quit();
    EXPECT_EQ(orientation, nullptr) << "cvar_quit empties string slots";
}

TEST_F(CvarTest, RegistryCycleLeavesNoBlocks)
{
    const counting_allocator_snapshot before = counting_allocator_read();
    static char *s = nullptr;
    static int32_t n = 0;
    cvar_set("later.text", "pending one");
    cvar_set("later.text", "pending two");
    cvar_set("never.registered", "left pending");
    ASSERT_EQ(cvar_register_string("later.text", "d", &s, "default"), 1);
    ASSERT_EQ(cvar_register_int("n", "d", &n, 3), 1);
    ASSERT_EQ(cvar_register("inline.text", CVAR_TYPE_STRING, "d", nullptr, "x"), 1);
    for (int i = 0; i < 20; i++) {
        cvar_set("later.text", ("value " + std::to_string(i % 7)).c_str());
        cvar_set("inline.text", std::to_string(i).c_str());
    }
    cvar_register("inline.text", CVAR_TYPE_STRING, "again", nullptr, "y");
    std::vector<seen_registration> seen;
    cvar_set_register_callback(record_registration, &seen);
    take_pending_entries();
    cvar_quit();
    // The std::vector above is the test's own (not SDL) memory.
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
}

// Both threads use the registry at once, as the render thread (orientation
// change: unlock, set, lock; reading the exported text) and the simulation
// thread (script registrations and lookups) do.
TEST_F(CvarTest, ConcurrentUseFromTwoThreads)
{
    static char *current = nullptr;
    ASSERT_EQ(cvar_register_string("o.current", "d", &current, "landscape"), 1);
    cvar_lock("o.current");
    struct log_settings s = {"error", 0, "", ""};
    log_configure(&s); // keep the spam lines out of this test
    std::atomic<bool> stop{false};
    std::thread render([&] {
        for (int i = 0; i < 2000; i++) {
            cvar_unlock("o.current");
            cvar_set("o.current", (i & 1) ? "portrait" : "landscape");
            cvar_lock("o.current");
            const char *text = __atomic_load_n(&current, __ATOMIC_ACQUIRE);
            EXPECT_TRUE(strcmp(text, "portrait") == 0 || strcmp(text, "landscape") == 0);
        }
        stop = true;
    });
    int registered = 0;
    while (!stop || registered < 200) {
        const std::string name = "script.cvar" + std::to_string(registered % 50);
        cvar_register(name.c_str(), CVAR_TYPE_INT, "script", nullptr, "1");
        registered++;
        const char *text = __atomic_load_n(&current, __ATOMIC_ACQUIRE);
        EXPECT_TRUE(strcmp(text, "portrait") == 0 || strcmp(text, "landscape") == 0);
        char *copy = cvar_get_string_copy("o.current");
        ASSERT_NE(copy, nullptr);
        SDL_free(copy);
        EXPECT_NE(cvar_get("o.current", nullptr, nullptr), nullptr);
    }
    render.join();
    EXPECT_EQ(registrations_named("script.cvar0"), 1);
    take_pending_entries();
}

} // namespace
