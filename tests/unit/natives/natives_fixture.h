// A fresh interpreter with the FFI module over a real PhysicsFS: "game/" is
// the search path (the game directory), "base/" the write directory, mounted
// first as the engine does. The log keeps its entries for the test to read.
#pragma once

#include <gtest/gtest.h>
#include <mruby.h>
#include <mruby/compile.h>
#include <mruby/string.h>
#include <physfs.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/config.h"
#include "log/log.h"
#include "natives/natives.h"
#include "util/util.h"

namespace fs = std::filesystem;

class NativesTest : public testing::Test
{
  protected:
    fs::path root, game_dir, base_dir;
    mrb_state *mrb = nullptr;

    void SetUp() override
    {
        const char *tmp = getenv("ORV_TEST_TMPDIR");
        const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char &c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        root = fs::path(tmp ? tmp : "/tmp") / "natives" / name;
        fs::remove_all(root);
        game_dir = root / "game";
        base_dir = root / "base";
        fs::create_directories(game_dir);
        fs::create_directories(base_dir);
        ASSERT_TRUE(util_physfs_use_sdl_allocator());
        ASSERT_TRUE(PHYSFS_init(nullptr));
        ASSERT_TRUE(PHYSFS_setWriteDir(base_dir.c_str()));
        ASSERT_TRUE(PHYSFS_mount(base_dir.c_str(), nullptr, 1));
        ASSERT_TRUE(PHYSFS_mount(game_dir.c_str(), nullptr, 0));
        ASSERT_TRUE(log_init());
        struct log_settings settings = {"spam", 0, "", ""};
        ASSERT_TRUE(log_configure(&settings));
        ASSERT_TRUE(cvar_init());
        mrb = mrb_open();
        ASSERT_NE(mrb, nullptr);
        ASSERT_TRUE(ffi_init(game_dir.c_str(), base_dir.c_str(), mrb, nullptr));
        drain_log();
    }

    void TearDown() override
    {
        if (mrb) {
            mrb_close(mrb);
        }
        natives_quit();
        cvar_quit();
        log_free_entries(log_get_entries());
        log_quit();
        log_free_entries(log_get_entries());
        PHYSFS_deinit();
        fs::remove_all(root);
    }

    // Evaluates code; an exception fails the test and answers nil.
    mrb_value eval(const std::string &code)
    {
        mrb_value v = mrb_load_string(mrb, code.c_str());
        if (mrb->exc) {
            mrb_value e = mrb_obj_value(mrb->exc);
            mrb->exc = nullptr;
            mrb_value s = mrb_inspect(mrb, e);
            ADD_FAILURE() << code << " raised " << RSTRING_CSTR(mrb, s);
            return mrb_nil_value();
        }
        return v;
    }

    // inspect text of the value of code ("<raised Class: message>" when it raised).
    std::string inspect(const std::string &code)
    {
        mrb_value v = mrb_load_string(mrb, code.c_str());
        if (mrb->exc) {
            mrb_value e = mrb_obj_value(mrb->exc);
            mrb->exc = nullptr;
            mrb_value cls = mrb_str_new_cstr(mrb, mrb_obj_classname(mrb, e));
            mrb_value msg = mrb_funcall(mrb, e, "message", 0);
            return std::string("<raised ") + RSTRING_CSTR(mrb, cls) + ": " +
                   RSTRING_CSTR(mrb, msg) + ">";
        }
        mrb_value s = mrb_inspect(mrb, v);
        return RSTRING_CSTR(mrb, s);
    }

    // Log lines since the last call, as "<level> [<subsystem>] <message>".
    std::vector<std::string> drain_log()
    {
        std::vector<std::string> lines;
        struct log_entry *list = log_get_entries();
        for (struct log_entry *e = list; e; e = e->next) {
            lines.push_back(std::to_string(e->level) + " [" + e->subsystem + "] " + e->message);
        }
        log_free_entries(list);
        return lines;
    }

    static void write_real(const fs::path &path, const std::string &bytes)
    {
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), (std::streamsize)bytes.size());
    }

    static std::string read_real(const fs::path &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};
