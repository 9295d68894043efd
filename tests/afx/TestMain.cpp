#include <gtest/gtest.h>

#include "DialogDriver.h"

namespace {

// The application is created only when tests run (not when they are merely listed).
class Application : public testing::Environment {
public:
    void SetUp() override { vantrel::dialogdriver::EnsureApplication(); }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new Application);
    return RUN_ALL_TESTS();
}
