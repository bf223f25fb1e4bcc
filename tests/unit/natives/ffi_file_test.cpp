// FFI::File over a real PhysicsFS: reads through the search path, writes to
// the game and base directories, status, listing and deletion.
#include "natives_fixture.h"

namespace
{

using FileNativesTest = NativesTest;

struct write_case {
    const char *method;
    const char *under; // "game" or "base"
    bool append;
};

TEST_F(FileNativesTest, WritersReplaceOrAppendUnderTheirDirectory)
{
    const write_case cases[] = {
        {"write", "game", false},
        {"append", "game", true},
        {"write_root", "base", false},
        {"append_root", "base", true},
    };
    for (const write_case &c : cases) {
        const std::string path = std::string("out/") + c.method + "/file.txt";
        const std::string call = std::string("FFI::File.new.") + c.method + "('" + path + "', ";
        EXPECT_EQ(inspect(call + "\"ab\\0c\")"), "true") << c.method;
        EXPECT_EQ(inspect(call + "'de')"), "true") << c.method;
        const fs::path real = (std::string(c.under) == "game" ? game_dir : base_dir) / path;
        EXPECT_EQ(read_real(real), c.append ? std::string("ab\0cde", 6) : std::string("de"))
            << c.method;
        const fs::path other = (std::string(c.under) == "game" ? base_dir : game_dir) / path;
        EXPECT_FALSE(fs::exists(other)) << c.method;
    }
    // The owner-only directories the writers create.
    const auto perms = fs::status(game_dir / "out" / "write").permissions();
    EXPECT_EQ(perms & fs::perms::all, fs::perms::owner_all);
}

TEST_F(FileNativesTest, WritersRefusePathsLeavingTheirDirectory)
{
    EXPECT_EQ(inspect("FFI::File.new.write('../escape.txt', 'x')"), "false");
    EXPECT_EQ(inspect("FFI::File.new.write_root('/tmp/escape.txt', 'x')"), "false");
    EXPECT_FALSE(fs::exists(root / "escape.txt"));
}

TEST_F(FileNativesTest, ReadAnswersTheWholeFileOrNil)
{
    write_real(game_dir / "app" / "data.bin", std::string("x\0y", 3));
    write_real(game_dir / "empty.txt", "");
    EXPECT_EQ(inspect("FFI::File.new.read('app/data.bin')"), "\"x\\x00y\"");
    EXPECT_EQ(inspect("FFI::File.new.read('empty.txt')"), "\"\"");
    EXPECT_EQ(inspect("FFI::File.new.read('missing.txt')"), "nil");
    // The search path sees the write directory too.
    write_real(base_dir / "saved.txt", "s");
    EXPECT_EQ(inspect("FFI::File.new.read('saved.txt')"), "\"s\"");
}

TEST_F(FileNativesTest, NonStringArgumentsRaiseTypeError)
{
    const char *calls[] = {
        "FFI::File.new.read(1)",         "FFI::File.new.read(nil)", "FFI::File.new.write('a', 5)",
        "FFI::File.new.path_exists(:a)", "FFI::File.new.stat([])",  "FFI::File.new.mtime(1.5)",
    };
    for (const char *call : calls) {
        EXPECT_EQ(inspect(call).rfind("<raised TypeError", 0), 0u) << call << ": " << inspect(call);
    }
}

TEST_F(FileNativesTest, ExistenceAndModificationTimes)
{
    write_real(game_dir / "a.txt", "a");
    fs::create_directories(game_dir / "dir");
    EXPECT_EQ(inspect("FFI::File.new.path_exists('a.txt')"), "true");
    EXPECT_EQ(inspect("FFI::File.new.path_exists('dir')"), "true");
    EXPECT_EQ(inspect("FFI::File.new.path_exists('b.txt')"), "false");
    EXPECT_EQ(inspect("FFI::File.new.mtime('b.txt')"), "-1");
    const long mtime = (long)mrb_integer(eval("FFI::File.new.mtime('a.txt')"));
    EXPECT_GT(mtime, 1000000000L);
    // The precise time agrees with the whole seconds and keeps the fraction.
    const double precise = mrb_float(eval("FFI::File.new.mtime_precise('a.txt')"));
    EXPECT_GE(precise, (double)mtime);
    EXPECT_LT(precise, (double)mtime + 1.0);
    EXPECT_EQ(inspect("FFI::File.new.mtime_precise('b.txt')"), "-1.0");
}

TEST_F(FileNativesTest, StatDescribesFilesAndDirectories)
{
    write_real(game_dir / "five.txt", "12345");
    fs::create_directories(game_dir / "sub");
    EXPECT_EQ(inspect("FFI::File.new.stat('none')"), "nil");
    EXPECT_EQ(inspect("FFI::File.new.stat('five.txt').keys"),
              "[:path, :file_size, :mod_time, :create_time, :access_time, :readonly, "
              ":file_type]");
    EXPECT_EQ(inspect("s = FFI::File.new.stat('five.txt'); [s[:path], s[:file_size], "
                      "s[:file_type], s[:mod_time] > 0, [true, false].include?(s[:readonly])]"),
              "[\"five.txt\", 5, :regular, true, true]");
    EXPECT_EQ(inspect("FFI::File.new.stat('sub')[:file_type]"), ":directory");
}

TEST_F(FileNativesTest, ListNamesTheEntriesOfAVirtualDirectory)
{
    write_real(game_dir / "levels" / "one.txt", "1");
    write_real(game_dir / "levels" / "two.txt", "2");
    write_real(base_dir / "levels" / "saved.txt", "3");
    EXPECT_EQ(inspect("FFI::File.new.list('levels').sort"),
              "[\"one.txt\", \"saved.txt\", \"two.txt\"]");
    EXPECT_EQ(inspect("FFI::File.new.list('nowhere')"), "[]");
}

TEST_F(FileNativesTest, DeleteRemovesFromTheWriteDirectoryOrRaises)
{
    write_real(base_dir / "old.txt", "x");
    EXPECT_EQ(inspect("FFI::File.new.delete('old.txt')"), "nil");
    EXPECT_FALSE(fs::exists(base_dir / "old.txt"));
    const std::string missing = inspect("FFI::File.new.delete('old.txt')");
    EXPECT_EQ(missing.rfind("<raised RuntimeError: Error occurred in delete_file: PHYSFS_ERR_", 0),
              0u)
        << missing;
}

TEST_F(FileNativesTest, DirectoriesAreThoseGivenToFfiInit)
{
    EXPECT_EQ(inspect("FFI::File.new.get_game_dir"), "\"" + game_dir.string() + "\"");
    EXPECT_EQ(inspect("FFI::File.new.get_base_dir"), "\"" + base_dir.string() + "\"");
    EXPECT_STREQ(natives_game_dir(), game_dir.c_str());
    EXPECT_EQ(natives_generation(), -1);
}

} // namespace
