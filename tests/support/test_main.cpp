// Test main shared by every unit test executable: the counting allocator must
// be in place before SDL or any engine code allocates.
#include <gtest/gtest.h>
#include <stdio.h>

#include "counting_allocator.h"

int main(int argc, char **argv)
{
    if (!counting_allocator_install()) {
        fprintf(stderr, "could not install the counting allocator\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
