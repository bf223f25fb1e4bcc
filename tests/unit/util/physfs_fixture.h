// Shared set-up for the util tests: a real PhysicsFS over a fresh temporary
// folder per test, with "read/" mounted as the search path and "write/" as the
// write directory (also mounted, first, as the engine does), plus small
// helpers to look at the real files underneath.
#pragma once

#include <gtest/gtest.h>
#include <physfs.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "util/util.h"

namespace fs = std::filesystem;

inline fs::path test_scratch_dir()
{
    const char *root = getenv("ORV_TEST_TMPDIR");
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char &c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return fs::path(root ? root : "/tmp") / "util" / name;
}

inline void write_real_file(const fs::path &path, const std::string &bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

inline std::string read_real_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names directly inside a real folder, sorted.
inline std::vector<std::string> list_real_dir(const fs::path &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PhysfsTest : public testing::Test
{
  protected:
    fs::path root, read_dir, write_dir;

    void SetUp() override
    {
        root = test_scratch_dir();
        fs::remove_all(root);
        read_dir = root / "read";
        write_dir = root / "write";
        fs::create_directories(read_dir);
        fs::create_directories(write_dir);
        ASSERT_TRUE(util_physfs_use_sdl_allocator());
        ASSERT_TRUE(PHYSFS_init(NULL)) << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
        ASSERT_TRUE(PHYSFS_setWriteDir(write_dir.c_str()));
        ASSERT_TRUE(PHYSFS_mount(write_dir.c_str(), NULL, 1));
        ASSERT_TRUE(PHYSFS_mount(read_dir.c_str(), NULL, 1));
    }

    void TearDown() override
    {
        if (PHYSFS_isInit()) {
            PHYSFS_deinit();
        }
        fs::remove_all(root);
    }
};

// Writes a ZIP archive with stored (uncompressed) members, enough for
// PhysicsFS to mount; used for the archive appended to an executable.
struct zip_member {
    const char *name;
    std::string data;
};

inline uint32_t zip_crc32(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; k++) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

inline std::string build_stored_zip(const std::vector<zip_member> &members)
{
    std::string out, central;
    auto u16 = [](std::string &s, uint32_t v) {
        s.push_back((char)(v & 0xFF));
        s.push_back((char)((v >> 8) & 0xFF));
    };
    auto u32 = [&](std::string &s, uint32_t v) {
        u16(s, v & 0xFFFF);
        u16(s, v >> 16);
    };
    const uint32_t dos_time = 0, dos_date = (1u << 5) | 1u; // 1980-01-01
    for (const zip_member &m : members) {
        const uint32_t offset = (uint32_t)out.size();
        const uint32_t crc = zip_crc32(m.data);
        const uint32_t size = (uint32_t)m.data.size();
        const uint32_t name_len = (uint32_t)strlen(m.name);
        u32(out, 0x04034b50);
        u16(out, 20);
        u16(out, 0);
        u16(out, 0);
        u16(out, dos_time);
        u16(out, dos_date);
        u32(out, crc);
        u32(out, size);
        u32(out, size);
        u16(out, name_len);
        u16(out, 0);
        out += m.name;
        out += m.data;

        u32(central, 0x02014b50);
        u16(central, 20);
        u16(central, 20);
        u16(central, 0);
        u16(central, 0);
        u16(central, dos_time);
        u16(central, dos_date);
        u32(central, crc);
        u32(central, size);
        u32(central, size);
        u16(central, name_len);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u32(central, 0);
        u32(central, offset);
        central += m.name;
    }
    const uint32_t central_offset = (uint32_t)out.size();
    out += central;
    u32(out, 0x06054b50);
    u16(out, 0);
    u16(out, 0);
    u16(out, (uint32_t)members.size());
    u16(out, (uint32_t)members.size());
    u32(out, (uint32_t)central.size());
    u32(out, central_offset);
    u16(out, 0);
    return out;
}
