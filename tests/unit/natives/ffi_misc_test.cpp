// FFI::Misc and FFI::MRB with real values: cvars by type, the log, the
// environment, syntax checks, and Kernel#sleep.
#include <SDL.h>

#include "counting_allocator.h"
#include "natives_fixture.h"

namespace
{

using MiscNativesTest = NativesTest;

struct cvar_case {
    const char *type;
    const char *default_text;
    const char *value; // inspect text of cvar_get
    const char *set_text;
    const char *after_set;
};

TEST_F(MiscNativesTest, CvarsRegisteredByScriptsConvertByType)
{
    const cvar_case cases[] = {
        {"string", "hello", "\"hello\"", "", "\"\""},
        {"int", "-12", "-12", "4294967297", "2147483647"},
        {"uint", "7", "7", "4000000000", "4000000000"},
        {"float", "1.5", "1.5", "2.25", "2.25"},
        {"bool", "true", "true", "0", "false"},
    };
    for (const cvar_case &c : cases) {
        const std::string name = std::string("test.") + c.type;
        const std::string reg = "FFI::Misc.new.cvar_register('" + name + "', 'desc', '" + c.type +
                                "', '" + c.default_text + "')";
        EXPECT_EQ(inspect(reg), "true") << c.type;
        EXPECT_EQ(inspect("FFI::Misc.new.cvar_get('" + name + "')"), c.value) << c.type;
        EXPECT_EQ(inspect("FFI::Misc.new.cvar_set('" + name + "', '" + c.set_text + "')"), "true")
            << c.type;
        EXPECT_EQ(inspect("FFI::Misc.new.cvar_get('" + name + "')"), c.after_set) << c.type;
        EXPECT_EQ(inspect("FFI::Misc.new.cvar_islocked('" + name + "')"), "false") << c.type;
    }
}

TEST_F(MiscNativesTest, UnknownCvarsAndTypes)
{
    EXPECT_EQ(inspect("FFI::Misc.new.cvar_get('no.such')"), "nil");
    EXPECT_EQ(inspect("FFI::Misc.new.cvar_islocked('no.such')"), "false");
    EXPECT_EQ(inspect("FFI::Misc.new.cvar_register('v.x', 'd', 'vector', '1')"), "false");
    const std::vector<std::string> lines = drain_log();
    const std::string wanted = "4 [Engine] Can't register cvar 'v.x' with unknown type 'vector' "
                               "(try 'string', 'int', 'uint', 'float', or 'bool').";
    EXPECT_NE(std::find(lines.begin(), lines.end(), wanted), lines.end());
    EXPECT_EQ(inspect("FFI::Misc.new.cvar_get('v.x')"), "nil");
}

TEST_F(MiscNativesTest, LockedCvarsRefuseScripts)
{
    ASSERT_TRUE(cvar_register_int("test.locked", "d", nullptr, 3));
    ASSERT_TRUE(cvar_lock("test.locked"));
    EXPECT_EQ(inspect("FFI::Misc.new.cvar_islocked('test.locked')"), "true");
    EXPECT_EQ(inspect("FFI::Misc.new.cvar_set('test.locked', '9')"), "false");
    EXPECT_EQ(inspect("FFI::Misc.new.cvar_get('test.locked')"), "3");
}

TEST_F(MiscNativesTest, LogWritesWithTheGivenSubsystemAndLevel)
{
    eval("m = FFI::Misc.new; m.log(nil, 2, 'plain'); m.log('Net', 4, 'bad'); "
         "m.log('Odd', -5, 'negative'); m.log('Nil', 3, nil)");
    const std::vector<std::string> lines = drain_log();
    const std::vector<std::string> wanted = {"2 [Game] plain", "4 [Net] bad", "-5 [Odd] negative",
                                             "3 [Nil] (null)"};
    EXPECT_EQ(lines, wanted);
}

TEST_F(MiscNativesTest, EnvironmentVariables)
{
    EXPECT_EQ(inspect("FFI::Misc.new.getenv('ORV_NATIVES_TEST_VAR')"), "nil");
    EXPECT_EQ(inspect("FFI::Misc.new.setenv('ORV_NATIVES_TEST_VAR', 'one', false)"), "nil");
    EXPECT_EQ(inspect("FFI::Misc.new.getenv('ORV_NATIVES_TEST_VAR')"), "\"one\"");
    eval("FFI::Misc.new.setenv('ORV_NATIVES_TEST_VAR', 'two', false)");
    EXPECT_EQ(inspect("FFI::Misc.new.getenv('ORV_NATIVES_TEST_VAR')"), "\"one\"");
    eval("FFI::Misc.new.setenv('ORV_NATIVES_TEST_VAR', 'two', true)");
    EXPECT_EQ(inspect("FFI::Misc.new.getenv('ORV_NATIVES_TEST_VAR')"), "\"two\"");
}

TEST_F(MiscNativesTest, PlatformFactsForTheRuntime)
{
    EXPECT_EQ(inspect("FFI::Misc.new.device_size"), "[]");
    EXPECT_EQ(inspect("FFI::Misc.new.touch_enabled?"), "false");
    EXPECT_EQ(inspect("FFI::Misc.new.get_thermal_state"), "nil");
    EXPECT_EQ(inspect("FFI::Misc.new.request_quit_fatal('why')"), "nil");
    const std::string locale = inspect("FFI::Misc.new.get_locale");
    EXPECT_TRUE(locale == "nil" || (locale.front() == '"' && locale.find('_') == std::string::npos))
        << locale;
}

struct parse_case {
    const char *source;
    bool ok;
};

TEST_F(MiscNativesTest, ParseAnswersSyntaxOkOrTheErrorLines)
{
    const parse_case cases[] = {
        {"1 + 2", true},
        {"def tick args\n  args.state.x ||= 1\nend\n", true},
        {"", true},
        {"def tick args\n", false},
        {"x = (1 +\n", false},
        {"class\nend\nend\n", false},
    };
    for (const parse_case &c : cases) {
        mrb_value src = mrb_str_new_cstr(mrb, c.source);
        mrb_value parser = eval("FFI::MRB.new");
        mrb_value result = mrb_funcall(mrb, parser, "parse", 1, src);
        ASSERT_TRUE(mrb_string_p(result)) << c.source;
        const std::string text = RSTRING_CSTR(mrb, result);
        if (c.ok) {
            EXPECT_EQ(text, "Syntax OK") << c.source;
            continue;
        }
        EXPECT_EQ(text.rfind("line ", 0), 0u) << text;
        EXPECT_EQ(text.back(), '\n') << text;
        int line = 0, column = 0;
        EXPECT_EQ(sscanf(text.c_str(), "line %d:%d:", &line, &column), 2) << text;
        EXPECT_GE(line, 1) << text;
    }
}

TEST_F(MiscNativesTest, ParserErrorLinesKeepTheirLimits)
{
    // Many errors in one text: each line and the whole text stay bounded.
    std::string source;
    for (int i = 0; i < 40; i++) {
        source += "def f" + std::to_string(i) + "(\n";
    }
    mrbc_context *cxt = mrbc_context_new(mrb);
    cxt->capture_errors = TRUE;
    struct mrb_parser_state *p = mrb_parse_nstring(mrb, source.c_str(), source.size(), cxt);
    ASSERT_NE(p, nullptr);
    ASSERT_GT(p->nerr, 0u);
    char small[40];
    const size_t n = natives_format_parser_errors(p, small, sizeof(small), 20);
    EXPECT_LT(n, sizeof(small));
    EXPECT_EQ(strlen(small), n);
    for (const char *line = small; *line;) {
        const char *nl = strchr(line, '\n');
        ASSERT_NE(nl, nullptr) << small;
        EXPECT_LE((size_t)(nl - line + 1), 19u) << small;
        line = nl + 1;
    }
    mrb_parser_free(p);
    mrbc_context_free(mrb, cxt);
}

TEST_F(MiscNativesTest, SleepWaitsAndRefusesNegativeTimes)
{
    const uint32_t before = SDL_GetTicks();
    EXPECT_EQ(inspect("sleep 0.03"), "0");
    EXPECT_GE(SDL_GetTicks() - before, 30u);
    EXPECT_EQ(inspect("usleep 2000"), "2000");
    EXPECT_EQ(inspect("sleep(-1)").rfind("<raised ArgumentError", 0), 0u);
    EXPECT_EQ(inspect("sleep('1')").rfind("<raised TypeError", 0), 0u);
}

TEST_F(MiscNativesTest, FfiInitKeepsOnlyItsLatestDirectories)
{
    const counting_allocator_snapshot before = counting_allocator_read();
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(ffi_init("/g", "/b", mrb, nullptr));
    }
    EXPECT_STREQ(natives_game_dir(), "/g");
    natives_quit();
    EXPECT_EQ(natives_game_dir(), nullptr);
    // The three copies of each directory are freed again, and so are the
    // fixture's own (natives_quit released them).
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks - 2);
}

} // namespace
