// Whole-file helpers over a real PhysicsFS: reads from the search path and an
// archive appended to an executable, atomic stores, appends, the writers that
// bypass PhysicsFS, times and existence.
#include <sys/stat.h>

#include "counting_allocator.h"
#include "physfs_fixture.h"

namespace
{

std::string loaded(const char *path, size_t *length_out = nullptr)
{
    size_t length = 12345;
    char *data = loadfile(path, &length);
    if (length_out) {
        *length_out = length;
    }
    if (!data) {
        return "<null>";
    }
    EXPECT_EQ(data[length], '\0') << path;
    std::string s(data, length);
    SDL_free(data);
    return s;
}

using FileTest = PhysfsTest;

struct load_case {
    const char *name;
    const char *content; // null: the file is not created
    size_t length;
};

TEST_F(FileTest, LoadfileReturnsWholeFileWithTerminator)
{
    const load_case cases[] = {
        {"empty.txt", "", 0},
        {"text.txt", "hello\nworld\n", 12},
        {"binary.bin", "a\0b\0\xff", 5},
        {"deep/er/nested.txt", "x", 1},
    };
    for (const load_case &c : cases) {
        write_real_file(read_dir / c.name, std::string(c.content, c.length));
        size_t length = 99;
        char *data = loadfile(c.name, &length);
        ASSERT_NE(data, nullptr) << c.name;
        EXPECT_EQ(length, c.length) << c.name;
        EXPECT_EQ(std::string(data, length), std::string(c.content, c.length)) << c.name;
        EXPECT_EQ(data[length], '\0') << c.name;
        SDL_free(data);
    }
    // The length pointer is optional.
    char *data = loadfile("text.txt", NULL);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data, "hello\nworld\n");
    SDL_free(data);
}

TEST_F(FileTest, LoadfileFailsForMissingFilesAndDirectories)
{
    fs::create_directories(read_dir / "adir");
    for (const char *path : {"missing.txt", "adir", "../escape.txt"}) {
        size_t length = 99;
        EXPECT_EQ(loadfile(path, &length), nullptr) << path;
        EXPECT_EQ(length, 0u) << path;
        EXPECT_NE(PHYSFS_getLastErrorCode(), PHYSFS_ERR_OK) << path;
    }
}

TEST_F(FileTest, WriteDirectoryShadowsSearchPath)
{
    write_real_file(read_dir / "save.txt", "from game");
    ASSERT_TRUE(storefile("save.txt", "from player", 11));
    EXPECT_EQ(loaded("save.txt"), "from player");
    EXPECT_EQ(read_real_file(read_dir / "save.txt"), "from game");
}

TEST_F(FileTest, ReadsFromZipAppendedToAnExecutable)
{
    const std::string script = "def tick args\n  args.outputs.labels << [10, 10, 'hi']\nend\n";
    std::string blob;
    for (int i = 0; i < 3000; i++) {
        blob.push_back((char)(i * 7 + 3));
    }
    const std::string zip = build_stored_zip({
        {"app/main.rb", script},
        {"sprites/blob.bin", blob},
        {"metadata/empty.txt", ""},
    });
    std::string exe = read_real_file("/proc/self/exe");
    ASSERT_GT(exe.size(), 1000u);
    const fs::path packed = root / "packed_game";
    write_real_file(packed, exe + zip);
    ASSERT_TRUE(PHYSFS_mount(packed.c_str(), NULL, 1))
        << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());

    size_t length = 0;
    EXPECT_EQ(loaded("app/main.rb", &length), script);
    EXPECT_EQ(length, script.size());
    EXPECT_EQ(loaded("sprites/blob.bin"), blob);
    EXPECT_EQ(loaded("metadata/empty.txt", &length), "");
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(path_exists("app/main.rb"), 1);
    EXPECT_EQ(path_exists("sprites"), 1);
    EXPECT_EQ(path_exists("app/other.rb"), 0);
    EXPECT_NE(lastmodtime("app/main.rb"), -1);
}

struct store_case {
    const char *path;
    std::vector<const char *> top_level; // names in the write directory afterwards
};

TEST_F(FileTest, StorefileCreatesOnlyTheDirectoriesItNeeds)
{
    const store_case cases[] = {
        {"plain.txt", {"plain.txt"}},
        {"saves/slot1.txt", {"saves"}},
        {"a/b/c/deep.txt", {"a"}},
    };
    for (const store_case &c : cases) {
        fs::remove_all(write_dir);
        fs::create_directories(write_dir);
        ASSERT_TRUE(storefile(c.path, "state", 5)) << c.path;
        EXPECT_EQ(read_real_file(write_dir / c.path), "state") << c.path;
        std::vector<std::string> expected(c.top_level.begin(), c.top_level.end());
        EXPECT_EQ(list_real_dir(write_dir), expected) << c.path;
        // No temporary file is left beside the stored one.
        EXPECT_EQ(list_real_dir((write_dir / c.path).parent_path()),
                  std::vector<std::string>{fs::path(c.path).filename().string()})
            << c.path;
    }
}

TEST_F(FileTest, StorefileReplacesAndZeroLengthEmpties)
{
    ASSERT_TRUE(storefile("f.txt", "a longer first version", 22));
    ASSERT_TRUE(storefile("f.txt", "short", 5));
    EXPECT_EQ(read_real_file(write_dir / "f.txt"), "short");
    ASSERT_TRUE(storefile("f.txt", NULL, 0));
    EXPECT_TRUE(fs::exists(write_dir / "f.txt"));
    EXPECT_EQ(fs::file_size(write_dir / "f.txt"), 0u);
    ASSERT_TRUE(storefile("new_empty.txt", "", 0));
    EXPECT_EQ(fs::file_size(write_dir / "new_empty.txt"), 0u);
}

TEST_F(FileTest, FailedStoreKeepsThePreviousFile)
{
    ASSERT_TRUE(storefile("saves/game.sav", "good state", 10));
    // Block the temporary file with a directory so the new write cannot happen.
    char *temp = sprintf_alloc("saves/game.sav.tmp%lu", SDL_ThreadID());
    ASSERT_NE(temp, nullptr);
    fs::create_directories(write_dir / temp);
    SDL_free(temp);
    EXPECT_EQ(storefile("saves/game.sav", "new", 3), 0);
    EXPECT_NE(PHYSFS_getLastErrorCode(), PHYSFS_ERR_OK);
    EXPECT_EQ(read_real_file(write_dir / "saves/game.sav"), "good state");
}

TEST_F(FileTest, StoreOntoADirectoryFailsAndCleansUp)
{
    fs::create_directories(write_dir / "taken" / "inner");
    EXPECT_EQ(storefile("taken", "x", 1), 0);
    EXPECT_NE(PHYSFS_getLastErrorCode(), PHYSFS_ERR_OK);
    EXPECT_TRUE(fs::is_directory(write_dir / "taken"));
    EXPECT_EQ(list_real_dir(write_dir), std::vector<std::string>{"taken"});
}

TEST_F(FileTest, AppendfileAddsInOrderAndZeroLengthKeeps)
{
    ASSERT_TRUE(appendfile("logs/two.bin", "A", 1));
    ASSERT_TRUE(appendfile("logs/two.bin", "B", 1));
    EXPECT_EQ(read_real_file(write_dir / "logs/two.bin"), "AB");
    ASSERT_TRUE(appendfile("logs/two.bin", NULL, 0));
    EXPECT_EQ(read_real_file(write_dir / "logs/two.bin"), "AB");
    ASSERT_TRUE(appendfile("created_empty.txt", NULL, 0));
    EXPECT_TRUE(fs::exists(write_dir / "created_empty.txt"));
    EXPECT_EQ(fs::file_size(write_dir / "created_empty.txt"), 0u);
}

TEST_F(FileTest, WritesFailWithoutWriteDirectory)
{
    ASSERT_TRUE(PHYSFS_setWriteDir(NULL));
    EXPECT_EQ(storefile("a.txt", "x", 1), 0);
    EXPECT_EQ(appendfile("a.txt", "x", 1), 0);
    EXPECT_FALSE(fs::exists(write_dir / "a.txt"));
}

struct override_case {
    const char *path;
    bool accepted;
};

TEST_F(FileTest, WriteOverrideStaysInsideItsDirectory)
{
    const fs::path game = root / "game";
    fs::create_directories(game);
    const override_case cases[] = {
        {"shot.png", true},
        {"screenshots/2024/shot.png", true},
        {"..hidden/dots..txt", true},
        {"./here.txt", true},
        {"../escape.txt", false},
        {"sub/../../escape.txt", false},
        {"sub/..", false},
        {"..", false},
        {"/tmp/absolute.txt", false},
        {"", false},
    };
    const std::string payload = "several bytes, not one";
    for (const override_case &c : cases) {
        PHYSFS_getLastErrorCode(); // clear
        const int stored =
            storefile_write_override(game.c_str(), c.path, payload.data(), payload.size());
        EXPECT_EQ(stored, c.accepted ? 1 : 0) << c.path;
        if (c.accepted) {
            EXPECT_EQ(read_real_file(game / c.path), payload) << c.path;
        } else {
            EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_BAD_FILENAME) << c.path;
            EXPECT_EQ(appendfile_write_override(game.c_str(), c.path, "x", 1), 0) << c.path;
            EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_BAD_FILENAME) << c.path;
        }
    }
    EXPECT_FALSE(fs::exists(root / "escape.txt"));
    EXPECT_FALSE(fs::exists("/tmp/absolute.txt"));
    EXPECT_EQ(storefile_write_override(NULL, "a.txt", "x", 1), 0);
    EXPECT_EQ(storefile_write_override("", "a.txt", "x", 1), 0);

    // Directories it creates are private to the owner.
    struct stat st;
    ASSERT_EQ(stat((game / "screenshots/2024").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(FileTest, WriteOverrideReplacesAndAppends)
{
    const fs::path base = root / "base";
    ASSERT_TRUE(storefile_write_override(base.c_str(), "notes/n.txt", "first line", 10));
    ASSERT_TRUE(storefile_write_override(base.c_str(), "notes/n.txt", "one", 3));
    EXPECT_EQ(read_real_file(base / "notes/n.txt"), "one");
    ASSERT_TRUE(appendfile_write_override(base.c_str(), "notes/n.txt", "+two", 4));
    ASSERT_TRUE(appendfile_write_override(base.c_str(), "notes/n.txt", "!", 1));
    ASSERT_TRUE(appendfile_write_override(base.c_str(), "notes/n.txt", NULL, 0));
    EXPECT_EQ(read_real_file(base / "notes/n.txt"), "one+two!");
    ASSERT_TRUE(storefile_write_override(base.c_str(), "notes/n.txt", NULL, 0));
    EXPECT_EQ(fs::file_size(base / "notes/n.txt"), 0u);

    // A directory where the file should be: the open fails.
    fs::create_directories(base / "blocked");
    EXPECT_EQ(storefile_write_override(base.c_str(), "blocked", "x", 1), 0);
    EXPECT_NE(PHYSFS_getLastErrorCode(), PHYSFS_ERR_OK);
}

TEST_F(FileTest, LastmodtimeAndPathExists)
{
    write_real_file(read_dir / "dated.txt", "x");
    fs::create_directories(read_dir / "folder");
    struct stat st;
    ASSERT_EQ(stat((read_dir / "dated.txt").c_str(), &st), 0);
    EXPECT_EQ(lastmodtime("dated.txt"), (int64_t)st.st_mtime);
    EXPECT_EQ(lastmodtime("missing.txt"), -1);

    EXPECT_EQ(path_exists("dated.txt"), 1);
    EXPECT_EQ(path_exists("folder"), 1);
    EXPECT_EQ(path_exists("missing.txt"), 0);
    EXPECT_EQ(path_exists(NULL), 0);
    ASSERT_TRUE(storefile("written/only.txt", "y", 1));
    EXPECT_EQ(path_exists("written/only.txt"), 1);
}

// An archive type whose entries do not know their size, or claim one far too
// large, as some PhysicsFS back-ends report. Content is served from memory.
struct sizeless_entry {
    const char *name;
    PHYSFS_sint64 reported_size;
    std::string content;
};

std::vector<sizeless_entry> &sizeless_entries()
{
    static std::vector<sizeless_entry> entries;
    return entries;
}

const sizeless_entry *find_sizeless(const char *name)
{
    for (const sizeless_entry &e : sizeless_entries()) {
        if (strcmp(e.name, name) == 0) {
            return &e;
        }
    }
    return nullptr;
}

struct memory_io_state {
    const std::string *content;
    size_t pos;
};

PHYSFS_sint64 mio_read(PHYSFS_Io *io, void *buf, PHYSFS_uint64 len)
{
    auto *s = (memory_io_state *)io->opaque;
    const size_t left = s->content->size() - s->pos;
    const size_t n = len < left ? (size_t)len : left;
    memcpy(buf, s->content->data() + s->pos, n);
    s->pos += n;
    return (PHYSFS_sint64)n;
}
PHYSFS_sint64 mio_write(PHYSFS_Io *, const void *, PHYSFS_uint64)
{
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return -1;
}
int mio_seek(PHYSFS_Io *io, PHYSFS_uint64 offset)
{
    auto *s = (memory_io_state *)io->opaque;
    if (offset > s->content->size()) {
        PHYSFS_setErrorCode(PHYSFS_ERR_PAST_EOF);
        return 0;
    }
    s->pos = (size_t)offset;
    return 1;
}
PHYSFS_sint64 mio_tell(PHYSFS_Io *io)
{
    return (PHYSFS_sint64)((memory_io_state *)io->opaque)->pos;
}
PHYSFS_sint64 mio_length(PHYSFS_Io *)
{
    return -1; // the stream does not know either
}
PHYSFS_Io *mio_new(const std::string *content);
PHYSFS_Io *mio_duplicate(PHYSFS_Io *io)
{
    return mio_new(((memory_io_state *)io->opaque)->content);
}
int mio_flush(PHYSFS_Io *)
{
    return 1;
}
void mio_destroy(PHYSFS_Io *io)
{
    delete (memory_io_state *)io->opaque;
    delete io;
}
PHYSFS_Io *mio_new(const std::string *content)
{
    auto *io = new PHYSFS_Io{0,          new memory_io_state{content, 0},
                             mio_read,   mio_write,
                             mio_seek,   mio_tell,
                             mio_length, mio_duplicate,
                             mio_flush,  mio_destroy};
    return io;
}

const char kSizelessMagic[] = "ORVSIZELESS";
int g_sizeless_archive_token;

void *sizeless_open_archive(PHYSFS_Io *io, const char *, int for_write, int *claimed)
{
    char magic[sizeof kSizelessMagic - 1];
    if (for_write || io->read(io, magic, sizeof magic) != (PHYSFS_sint64)sizeof magic ||
        memcmp(magic, kSizelessMagic, sizeof magic) != 0) {
        return NULL;
    }
    *claimed = 1;
    io->destroy(io);
    return &g_sizeless_archive_token;
}
PHYSFS_EnumerateCallbackResult sizeless_enumerate(void *, const char *, PHYSFS_EnumerateCallback,
                                                  const char *, void *)
{
    return PHYSFS_ENUM_OK;
}
PHYSFS_Io *sizeless_open_read(void *, const char *name)
{
    const sizeless_entry *e = find_sizeless(name);
    if (!e) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NOT_FOUND);
        return NULL;
    }
    return mio_new(&e->content);
}
PHYSFS_Io *sizeless_refuse_open(void *, const char *)
{
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return NULL;
}
int sizeless_refuse(void *, const char *)
{
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return 0;
}
int sizeless_stat(void *, const char *name, PHYSFS_Stat *st)
{
    const sizeless_entry *e = find_sizeless(name);
    if (!e) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NOT_FOUND);
        return 0;
    }
    st->filesize = e->reported_size;
    st->modtime = st->createtime = st->accesstime = -1;
    st->filetype = PHYSFS_FILETYPE_REGULAR;
    st->readonly = 1;
    return 1;
}
void sizeless_close_archive(void *) {}

TEST_F(FileTest, LoadfileCopesWithUnknownAndHugeSizes)
{
    std::string long_text;
    for (int i = 0; long_text.size() < 20000; i++) {
        long_text += "line " + std::to_string(i) + "\n";
    }
    sizeless_entries() = {
        {"unknown.txt", -1, long_text},
        {"unknown_empty.txt", -1, ""},
        {"chunk_exact.txt", -1, std::string(4095, 'z')},
        {"huge.bin", (PHYSFS_sint64)5 << 30, "tiny"},
        {"just_over_limit.bin", (PHYSFS_sint64)UTIL_LOADFILE_MAX_LENGTH + 1, "tiny"},
    };
    const PHYSFS_Archiver archiver = {
        0,
        {"ORVSIZELESS", "test archive without sizes", "orvane tests", "", 0},
        sizeless_open_archive,
        sizeless_enumerate,
        sizeless_open_read,
        sizeless_refuse_open,
        sizeless_refuse_open,
        sizeless_refuse,
        sizeless_refuse,
        sizeless_stat,
        sizeless_close_archive,
    };
    ASSERT_TRUE(PHYSFS_registerArchiver(&archiver))
        << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    // Mounted through an Io of our own: Debian's PhysicsFS 3.0.2 never frees
    // the Io that PHYSFS_mountMemory creates.
    static const std::string magic(kSizelessMagic, sizeof kSizelessMagic - 1);
    ASSERT_TRUE(PHYSFS_mountIo(mio_new(&magic), "sizes.orvsizeless", NULL, 1))
        << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());

    size_t length = 0;
    EXPECT_EQ(loaded("unknown.txt", &length), long_text);
    EXPECT_EQ(length, long_text.size());
    EXPECT_EQ(loaded("unknown_empty.txt", &length), "");
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(loaded("chunk_exact.txt", &length), std::string(4095, 'z'));

    for (const char *path : {"huge.bin", "just_over_limit.bin"}) {
        const counting_allocator_snapshot before = counting_allocator_read();
        EXPECT_EQ(loaded(path, &length), "<null>") << path;
        EXPECT_EQ(length, 0u) << path;
        EXPECT_EQ(PHYSFS_getLastErrorCode(), PHYSFS_ERR_OUT_OF_MEMORY) << path;
        EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks) << path;
    }
}

TEST(FileAllocator, PhysfsMemoryGoesThroughTheSdlAllocatorAndBalances)
{
    const counting_allocator_snapshot before = counting_allocator_read();
    ASSERT_TRUE(util_physfs_use_sdl_allocator());
    ASSERT_TRUE(PHYSFS_init(NULL));
    EXPECT_EQ(util_physfs_use_sdl_allocator(), 0); // refused while initialised
    const fs::path dir = test_scratch_dir();
    fs::create_directories(dir);
    ASSERT_TRUE(PHYSFS_mount(dir.c_str(), NULL, 1));
    EXPECT_GT(counting_allocator_calls_since(before), 0);
    ASSERT_TRUE(PHYSFS_deinit());
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
    fs::remove_all(dir);
}

} // namespace
