// The version text shown in the driver lines of the console.
#include "app/DriverVersionText.h"

#include <gtest/gtest.h>

namespace {

struct VersionCase {
    unsigned version;
    const char* text;
};

class DriverVersionTextTest : public testing::TestWithParam<VersionCase> {};

TEST_P(DriverVersionTextTest, InsertsPointAfterFirstHexDigit) {
    EXPECT_EQ(vantrel::app::DriverVersionText(GetParam().version), GetParam().text)
        << "version 0x" << std::hex << GetParam().version;
}

INSTANTIATE_TEST_SUITE_P(Versions, DriverVersionTextTest,
                         testing::Values(VersionCase{1538, "6.02"}, VersionCase{0x601, "6.01"},
                                         VersionCase{0x10, "1.0"}, VersionCase{0x5, "0.5"},
                                         VersionCase{0xABC, "a.bc"}, VersionCase{0x1234, "1.234"}));

}  // namespace
