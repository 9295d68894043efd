#include <gtest/gtest.h>

#include "DialogHarness.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    harness::EnsureApplication();
    return RUN_ALL_TESTS();
}
