// The argument line handed to the scripts: every argument followed by a space,
// cut at 1022 characters, and once one argument is dropped every later one too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/process_internal.h"

namespace {

std::string build(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (auto &a : args) {
        argv.push_back(a.data());
    }
    char out[1024];
    process_build_argument_line((int)argv.size(), argv.data(), out, sizeof(out));
    return out;
}

TEST(ArgumentLine, EveryArgumentIsFollowedByOneSpace)
{
    EXPECT_EQ(build({"./orvane", "mygame", "--eval", "x.rb"}), "./orvane mygame --eval x.rb ");
    EXPECT_EQ(build({}), "");
}

TEST(ArgumentLine, CutsAtTheLimitAndDropsEverythingAfterTheFirstDroppedArgument)
{
    const std::string first(1000, 'a');
    // 1000 + 1 + 21 = 1022 fits exactly; one more character does not.
    const std::string fits(21, 'b');
    const std::string line = build({first, fits});
    EXPECT_EQ(line.size(), 1023u);
    EXPECT_EQ(line, first + " " + fits + " ");

    const std::string too_long(22, 'c');
    EXPECT_EQ(build({first, too_long, "x"}), first + " ");
    // A short argument after a dropped one is dropped as well.
    EXPECT_EQ(build({first, std::string(30, 'd'), "e"}), first + " ");
}

}  // namespace
