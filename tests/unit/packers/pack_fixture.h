// A fresh interpreter with the packers set up over a scene of the test's own,
// plus helpers that evaluate Ruby, pack the value and read the records back
// through the scene decoder as name=value maps.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <mruby.h>
#include <mruby/compile.h>
#include <mruby/string.h>
#include <string.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "stream/pack.h"
#include "stream/scene_decode.h"
#include "stream/stream.h"

// One decoded record: its kind ("prim_sprite") and its fields as printed.
struct record {
    std::string kind;
    std::map<std::string, std::string> field;

    const std::string &operator[](const std::string &name) const
    {
        static const std::string missing = "<missing>";
        auto it = field.find(name);
        return it == field.end() ? missing : it->second;
    }
};

// Splits the decoder's lines; quoted texts in these tests hold no spaces.
inline std::vector<record> parse_records(const std::string &text)
{
    std::vector<record> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        record r;
        words >> r.kind;
        std::string word;
        while (words >> word) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos) {
                r.field[word.substr(0, eq)] = word.substr(eq + 1);
            }
        }
        if (!r.kind.empty()) {
            out.push_back(r);
        }
    }
    return out;
}

// Atlas entries of the tests: one sprite path with a variant for every tier.
inline void test_atlas_lookup(pack_atlas_value *out, const char *path, size_t length);

class PackTest : public testing::Test
{
  public:
    static int lookups;  // calls of test_atlas_lookup

  protected:
    mrb_state *mrb = nullptr;
    threadstream *scene = nullptr;
    int32_t scale_quality = 1;

    void SetUp() override
    {
        ASSERT_TRUE(threadstream_init());
        scene = threadstream_allocate();
        ASSERT_NE(scene, nullptr);
        mrb = mrb_open();
        ASSERT_NE(mrb, nullptr);
        lookups = 0;
        pack_settings settings = {&scene, test_atlas_lookup, &scale_quality};
        ASSERT_TRUE(pack_init(mrb, &settings));
        pack_begin_frame(100);
    }

    void TearDown() override
    {
        mrb_close(mrb);
        threadstream_free(scene);
        threadstream_quit();
    }

    // Evaluates code; an exception fails the test and answers nil.
    mrb_value eval(const std::string &code)
    {
        mrb_value v = mrb_load_string(mrb, code.c_str());
        if (mrb->exc) {
            mrb_value text = mrb_inspect(mrb, mrb_obj_value(mrb->exc));
            mrb->exc = nullptr;
            ADD_FAILURE() << code << " raised " << mrb_str_to_cstr(mrb, text);
            return mrb_nil_value();
        }
        return v;
    }

    // Everything packed since the scene was last emptied, as records.
    std::vector<record> records()
    {
        char *text = scene_decode_primitives(scene);
        EXPECT_NE(text, nullptr);
        std::string decoded = text ? text : "";
        SDL_free(text);
        return parse_records(decoded);
    }

    // Empties the scene, evaluates code and packs its value with reader.
    std::vector<record> pack(const std::string &code, void (*reader)(mrb_state *, mrb_value))
    {
        scene->length = 0;
        scene->read_pos = 0;
        const int ai = mrb_gc_arena_save(mrb);
        reader(mrb, eval(code));
        mrb_gc_arena_restore(mrb, ai);
        return records();
    }

    // The one record code packs with reader (a failure when there is not one).
    record pack_one(const std::string &code, void (*reader)(mrb_state *, mrb_value))
    {
        std::vector<record> r = pack(code, reader);
        EXPECT_EQ(r.size(), 1u) << code;
        return r.empty() ? record{} : r[0];
    }
};

inline int PackTest::lookups = 0;

inline void test_atlas_lookup(pack_atlas_value *out, const char *path, size_t length)
{
    PackTest::lookups++;
    static const char *const textures[PACK_TEXTURE_LEVELS] = {
        "sprites/hero@100.png", "sprites/hero@125.png", "sprites/hero@150.png",
        "sprites/hero@175.png", "sprites/hero@200.png", "sprites/hero@250.png",
        "sprites/hero@300.png", "sprites/hero@400.png"};
    out->found = length == strlen("sprites/hero.png") && memcmp(path, "sprites/hero.png", length) == 0;
    for (int i = 0; i < PACK_TEXTURE_LEVELS; i++) {
        out->texture[i] = out->found ? textures[i] : nullptr;
        out->scale_enum[i] = out->found ? 1000 + i : 0;
    }
}
