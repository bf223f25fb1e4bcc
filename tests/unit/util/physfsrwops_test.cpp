// SDL_RWops over PhysicsFS files: size, seek, read, write and close, on plain
// files and on a member of a mounted archive.
#include "physfs_fixture.h"
#include "util/physfsrwops.h"

namespace
{

using RwopsTest = PhysfsTest;

const std::string kDigits = "0123456789abcdefghij";

void check_reads_and_seeks(SDL_RWops *rw, const std::string &content)
{
    const Sint64 n = (Sint64)content.size();
    EXPECT_EQ(SDL_RWsize(rw), n);
    EXPECT_EQ(SDL_RWtell(rw), 0);

    char buf[64] = {};
    EXPECT_EQ(SDL_RWread(rw, buf, 1, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), content.substr(0, 4));
    EXPECT_EQ(SDL_RWtell(rw), 4);

    struct seek_case {
        Sint64 offset;
        int whence;
        Sint64 expected; // -1: refused, position unchanged
    };
    const seek_case seeks[] = {
        {10, RW_SEEK_SET, 10},       {-3, RW_SEEK_CUR, 7}, {2, RW_SEEK_CUR, 9},
        {-5, RW_SEEK_END, n - 5},    {0, RW_SEEK_END, n},  {-1, RW_SEEK_SET, -1},
        {-(n + 1), RW_SEEK_END, -1}, {1, 42, -1},          {0, RW_SEEK_SET, 0},
    };
    for (const seek_case &s : seeks) {
        const Sint64 before = SDL_RWtell(rw);
        const Sint64 got = SDL_RWseek(rw, s.offset, s.whence);
        EXPECT_EQ(got, s.expected) << s.offset << " whence " << s.whence;
        EXPECT_EQ(SDL_RWtell(rw), s.expected >= 0 ? s.expected : before);
    }

    // Objects larger than one byte: whole objects are counted, and as with
    // stdio the odd byte is consumed too.
    ASSERT_EQ(SDL_RWseek(rw, -5, RW_SEEK_END), n - 5);
    EXPECT_EQ(SDL_RWread(rw, buf, 2, 4), 2u);
    EXPECT_EQ(std::string(buf, 5), content.substr(content.size() - 5));
    EXPECT_EQ(SDL_RWtell(rw), n);
    EXPECT_EQ(SDL_RWread(rw, buf, 1, 8), 0u);
}

TEST_F(RwopsTest, ReadsAndSeeksAPlainFile)
{
    write_real_file(read_dir / "digits.txt", kDigits);
    SDL_RWops *rw = PHYSFSRWOPS_openRead("digits.txt");
    ASSERT_NE(rw, nullptr);
    check_reads_and_seeks(rw, kDigits);
    char c;
    EXPECT_EQ(SDL_RWwrite(rw, "x", 1, 1), 0u); // opened for reading only
    EXPECT_EQ(SDL_RWseek(rw, 3, RW_SEEK_SET), 3);
    EXPECT_EQ(SDL_RWread(rw, &c, 1, 1), 1u);
    EXPECT_EQ(c, '3');
    EXPECT_EQ(SDL_RWclose(rw), 0);
}

TEST_F(RwopsTest, ReadsAMemberOfAMountedArchive)
{
    const std::string zip = build_stored_zip({{"data/digits.txt", kDigits}});
    write_real_file(root / "pack.zip", zip);
    ASSERT_TRUE(PHYSFS_mount((root / "pack.zip").c_str(), NULL, 1));
    SDL_RWops *rw = PHYSFSRWOPS_openRead("data/digits.txt");
    ASSERT_NE(rw, nullptr);
    check_reads_and_seeks(rw, kDigits);
    EXPECT_EQ(SDL_RWclose(rw), 0);
}

TEST_F(RwopsTest, WritesAndAppendsThroughTheWriteDirectory)
{
    SDL_RWops *rw = PHYSFSRWOPS_openWrite("out.bin");
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(SDL_RWwrite(rw, "abcdef", 2, 3), 3u);
    EXPECT_EQ(SDL_RWtell(rw), 6);
    EXPECT_EQ(SDL_RWsize(rw), 6);
    EXPECT_EQ(SDL_RWwrite(rw, "g", 1, 1), 1u);
    EXPECT_EQ(SDL_RWclose(rw), 0);
    EXPECT_EQ(read_real_file(write_dir / "out.bin"), "abcdefg");

    rw = PHYSFSRWOPS_openAppend("out.bin");
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(SDL_RWwrite(rw, "hi", 1, 2), 2u);
    EXPECT_EQ(SDL_RWclose(rw), 0);
    EXPECT_EQ(read_real_file(write_dir / "out.bin"), "abcdefghi");

    rw = PHYSFSRWOPS_openWrite("out.bin");
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(SDL_RWclose(rw), 0);
    EXPECT_EQ(fs::file_size(write_dir / "out.bin"), 0u);

    // SDL's own readers take the RWops and close it for us.
    write_real_file(read_dir / "mappings.txt", "# nothing\n");
    rw = PHYSFSRWOPS_openRead("mappings.txt");
    ASSERT_NE(rw, nullptr);
    size_t length = 0;
    void *data = SDL_LoadFile_RW(rw, &length, 1);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string((char *)data, length), "# nothing\n");
    SDL_free(data);
}

TEST_F(RwopsTest, OpenFailuresLeaveThePhysfsErrorForTheLog)
{
    EXPECT_EQ(PHYSFSRWOPS_openRead("missing.txt"), nullptr);
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_NOT_FOUND);
    EXPECT_EQ(PHYSFSRWOPS_openWrite("../outside.txt"), nullptr);
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_BAD_FILENAME);
    EXPECT_EQ(PHYSFSRWOPS_makeRWops(NULL), nullptr);
    ASSERT_TRUE(PHYSFS_setWriteDir(NULL));
    EXPECT_EQ(PHYSFSRWOPS_openAppend("a.txt"), nullptr);
    EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_NO_WRITE_DIR);
}

} // namespace
