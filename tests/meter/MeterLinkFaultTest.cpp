// A broken reply from either meter fails the reading and leaves the caller's value alone.
#include <gtest/gtest.h>

#include <string>

#include "MeterEmulator.h"
#include "meter/CMeterLink.h"

namespace {

class MeterLinkFault : public testing::TestWithParam<FaultCase> {};

TEST_P(MeterLinkFault, FailsTheReadingWithoutTouchingTheValue) {
    const FaultCase& c = GetParam();
    MeterEmulator meter(MeterOptions(c.meter, {"--readings", "2.5", "--fault", c.fault}));
    CMeterLink link(1, c.meterType);
    double value = kNotSet;
    EXPECT_EQ(link.ReadVoltage(value), 1) << c.meter << " with " << c.fault;
    EXPECT_EQ(value, kNotSet);
}

INSTANTIATE_TEST_SUITE_P(Faults, MeterLinkFault,
                         testing::Values(FaultCase{MeterFluke45, "fluke45", "no-linefeed"},
                                         FaultCase{MeterFluke45, "fluke45", "long-line"},
                                         FaultCase{MeterFluke45, "fluke45", "garbage"},
                                         FaultCase{MeterFluke45, "fluke45", "delay:600"},
                                         FaultCase{MeterFluke45, "fluke45", "hangup"},
                                         FaultCase{MeterHp34401A, "hp34401a", "no-linefeed"},
                                         FaultCase{MeterHp34401A, "hp34401a", "long-line"},
                                         FaultCase{MeterHp34401A, "hp34401a", "garbage"},
                                         FaultCase{MeterHp34401A, "hp34401a", "delay:1000"},
                                         FaultCase{MeterHp34401A, "hp34401a", "hangup"}),
                         [](const testing::TestParamInfo<FaultCase>& row) {
                             return TestName(std::string(row.param.meter) + "_" + row.param.fault);
                         });

}  // namespace
