// Formatted heap strings, the UTF-8 decoder and the clock helpers.
#include <gtest/gtest.h>
#include <time.h>

#include <string>

#include "util/util.h"

namespace
{

std::string take(char *s)
{
    if (!s) {
        return "<null>";
    }
    std::string out(s);
    SDL_free(s);
    return out;
}

TEST(SprintfAlloc, FormatsIntoAnExactHeapString)
{
    EXPECT_EQ(take(sprintf_alloc("%s", "")), "");
    EXPECT_EQ(take(sprintf_alloc("plain")), "plain");
    EXPECT_EQ(take(sprintf_alloc("%d/%u/%x", -7, 7u, 255)), "-7/7/ff");
    EXPECT_EQ(take(sprintf_alloc("%s=%.2f", "pi", 3.14159)), "pi=3.14");
    EXPECT_EQ(take(sprintf_alloc("%lld", (long long)INT64_MIN)), "-9223372036854775808");
    const std::string big(5000, 'q');
    EXPECT_EQ(take(sprintf_alloc("<%s>", big.c_str())), "<" + big + ">");
    EXPECT_EQ(take(generate_unique_emscripten_folder_name("game", "1234")), "game-1234");
}

char *forward(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    char *s = vsprintf_alloc(format, args);
    va_end(args);
    return s;
}

TEST(SprintfAlloc, VariableArgumentListForm)
{
    EXPECT_EQ(take(forward("%s:%d", "janitor", 3)), "janitor:3");
    EXPECT_EQ(take(forward("%c%c", 'o', 'k')), "ok");
}

struct utf8_case {
    const char *label;
    const char *bytes; // NUL-terminated input
    uint32_t expected;
    int advance;
};

constexpr uint32_t BAD = UTF8_BAD_CODEPOINT;

const utf8_case kUtf8Cases[] = {
    {"terminator", "", 0, 0},
    {"ascii", "A!", 'A', 1},
    {"ascii DEL", "\x7f", 0x7F, 1},
    {"stray continuation", "\x80z", BAD, 1},
    {"stray continuation BF", "\xbf", BAD, 1},
    {"two-byte e acute", "\xc3\xa9", 0xE9, 2},
    {"two-byte lowest", "\xc2\x80", 0x80, 2},
    {"two-byte highest", "\xdf\xbf", 0x7FF, 2},
    {"overlong NUL", "\xc0\x80", BAD, 2},
    {"overlong slash", "\xc1\xaf", BAD, 2},
    {"two-byte missing continuation", "\xc3(", BAD, 1},
    {"two-byte cut by terminator", "\xc3", BAD, 1},
    {"euro sign", "\xe2\x82\xac", 0x20AC, 3},
    {"three-byte lowest", "\xe0\xa0\x80", 0x800, 3},
    {"three-byte overlong", "\xe0\x9f\xbf", BAD, 3},
    {"replacement char", "\xef\xbf\xbd", 0xFFFD, 3},
    {"noncharacter FFFE", "\xef\xbf\xbe", BAD, 3},
    {"noncharacter FFFF", "\xef\xbf\xbf", BAD, 3},
    {"bad second byte", "\xe2\x28\xa1", BAD, 1},
    {"bad third byte", "\xe2\x82\x28", BAD, 1},
    {"terminator inside three-byte", "\xe2\x82", BAD, 1},
    {"surrogate D800", "\xed\xa0\x80", BAD, 3},
    {"surrogate DB7F", "\xed\xad\xbf", BAD, 3},
    {"surrogate DB80", "\xed\xae\x80", BAD, 3},
    {"surrogate DBFF", "\xed\xaf\xbf", BAD, 3},
    {"surrogate DC00", "\xed\xb0\x80", BAD, 3},
    {"surrogate DF80", "\xed\xbe\x80", BAD, 3},
    {"surrogate DFFF", "\xed\xbf\xbf", BAD, 3},
    {"unlisted surrogate D801 passes", "\xed\xa0\x81", 0xD801, 3},
    {"four-byte emoji", "\xf0\x9f\x98\x80", 0x1F600, 4},
    {"four-byte lowest", "\xf0\x90\x80\x80", 0x10000, 4},
    {"four-byte highest", "\xf4\x8f\xbf\xbf", 0x10FFFF, 4},
    {"four-byte above Unicode", "\xf4\x90\x80\x80", BAD, 4},
    {"four-byte overlong", "\xf0\x8f\xbf\xbf", BAD, 4},
    {"four-byte missing last", "\xf0\x9f\x98z", BAD, 1},
    {"five-byte form", "\xf8\x88\x80\x80\x80", BAD, 5},
    {"five-byte cut short", "\xf8\x88\x80\x80", BAD, 1},
    {"six-byte form", "\xfc\x84\x80\x80\x80\x80", BAD, 6},
    {"six-byte all ones", "\xff\xbf\xbf\xbf\xbf\xbf", BAD, 6},
    {"six-byte broken", "\xfd\xbf\xbf!\xbf\xbf", BAD, 1},
};

TEST(Utf8Codepoint, DecodesOneCodePointPerCall)
{
    for (const utf8_case &c : kUtf8Cases) {
        const char *cursor = c.bytes;
        EXPECT_EQ(utf8codepoint(&cursor), c.expected) << c.label;
        EXPECT_EQ(cursor - c.bytes, c.advance) << c.label;
    }
}

TEST(Utf8Codepoint, WalksMixedTextAndResynchronises)
{
    // "a€" then a lead byte missing its continuation, then "😀" and "z".
    const char *text = "a\xe2\x82\xac\xe2\xf0\x9f\x98\x80z";
    const uint32_t expected[] = {'a', 0x20AC, BAD, 0x1F600, 'z', 0, 0};
    const char *cursor = text;
    for (uint32_t cp : expected) {
        EXPECT_EQ(utf8codepoint(&cursor), cp);
    }
    EXPECT_EQ(*cursor, '\0');
}

TEST(Clock, TimestampAndLocalDateAgree)
{
    const int64_t before = (int64_t)time(NULL);
    int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
    current_datetime(&year, &month, &day, &hour, &minute, &second);
    const int64_t stamp = current_timestamp();
    const int64_t after = (int64_t)time(NULL);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);

    EXPECT_GE(year, 2024);
    EXPECT_GE(month, 1);
    EXPECT_LE(month, 12);
    EXPECT_GE(day, 1);
    EXPECT_LE(day, 31);
    EXPECT_LE(second, 59);
    // The fields name the local time now: mktime maps them back to the clock.
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const int64_t back = (int64_t)mktime(&local);
    EXPECT_GE(back, before - 1);
    EXPECT_LE(back, after);

    // Every out-pointer is optional.
    current_datetime(NULL, NULL, NULL, NULL, NULL, NULL);
    int only_year = 0;
    current_datetime(&only_year, NULL, NULL, NULL, NULL, NULL);
    EXPECT_GE(only_year, year);
}

} // namespace
