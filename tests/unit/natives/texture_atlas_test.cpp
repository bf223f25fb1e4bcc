// The texture-atlas table: copies of keys and paths, lookups, clearing.
#include <gtest/gtest.h>
#include <string.h>

#include "counting_allocator.h"
#include "process/texture_atlas.h"

namespace
{

TEST(TextureAtlas, KeepsCopiesAndFindsByKey)
{
    const counting_allocator_snapshot before = counting_allocator_read();
    char key[] = "sprites/hero";
    char path[] = "sprites/hero@200.png";
    struct texture_atlas_entry *e = texture_atlas_add(key);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(texture_atlas_add(key), e);
    ASSERT_TRUE(texture_atlas_set_level(e, 4, path, 200));
    ASSERT_TRUE(texture_atlas_set_level(e, 0, nullptr, 0));
    // The table does not point into the caller's strings.
    strcpy(key, "sprites/nope");
    strcpy(path, "overwritten.png.....");
    const struct texture_atlas_entry *found = texture_atlas_find("sprites/hero");
    ASSERT_EQ(found, e);
    EXPECT_STREQ(found->path[4], "sprites/hero@200.png");
    EXPECT_EQ(found->scale_enum[4], 200);
    EXPECT_EQ(found->path[0], nullptr);
    EXPECT_EQ(texture_atlas_find("sprites/nope"), nullptr);
    EXPECT_EQ(texture_atlas_count(), 1);
    EXPECT_EQ(texture_atlas_levels[7], 400);
    EXPECT_FALSE(texture_atlas_set_level(e, TEXTURE_ATLAS_LEVELS, "x", 1));
    texture_atlas_clear();
    EXPECT_EQ(texture_atlas_count(), 0);
    EXPECT_EQ(texture_atlas_find("sprites/hero"), nullptr);
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
}

} // namespace
