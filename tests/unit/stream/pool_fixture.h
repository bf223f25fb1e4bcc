// Fixture for tests that need the stream pool: every test starts with a fresh,
// empty pool and ends by tearing it down.
#pragma once

#include <gtest/gtest.h>

#include "stream/stream.h"

class StreamPool : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(threadstream_init());
    }
    void TearDown() override
    {
        threadstream_quit();
    }
};
