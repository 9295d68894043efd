// The meter as Measure References sees it, over the emulated COM1: a reading with its sign, or
// the one fault that says why there is none.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "MeterEmulator.h"
#include "meter/Voltmeter.h"

namespace {

using vantrel::meter::MeterFault;

struct VoltmeterRow {
    const char* name;
    std::vector<std::string> emulator;
    MeterType type;
    bool portMissing;
    MeterFault preparation;
    MeterFault reading;
    double volts;        // of a reading without fault
    const char* reason;  // of the fault, the system's words; "" for none
};

void PrintTo(const VoltmeterRow& row, std::ostream* os) { *os << row.name; }

class LinkVoltmeterTest : public testing::TestWithParam<VoltmeterRow> {};

TEST_P(LinkVoltmeterTest, GivesTheReadingOrWhyThereIsNone) {
    const VoltmeterRow row = GetParam();
    MeterEmulator emulator(row.emulator);
    if (row.portMissing) {
        std::filesystem::remove("COM1");
        std::filesystem::create_symlink(emulator.Dir() + "/no-such-device", "COM1");
    }
    vantrel::meter::LinkVoltmeter voltmeter(1, row.type);
    EXPECT_EQ(voltmeter.Preparation().fault, row.preparation);
    if (row.type == MeterNone) return;
    const vantrel::meter::MeterStatus status = voltmeter.Read();
    EXPECT_EQ(status.fault, row.reading);
    EXPECT_EQ(status.reason, row.reason);
    if (row.reading == MeterFault::None) {
        EXPECT_DOUBLE_EQ(status.volts, row.volts);
    }
}

const std::string kMissing = std::strerror(ENOENT);

INSTANTIATE_TEST_SUITE_P(Meters, LinkVoltmeterTest,
                         testing::Values(VoltmeterRow{"FlukeNegative",
                                                      {"--meter", "fluke45", "--readings", "-2.5"},
                                                      MeterFluke45,
                                                      false,
                                                      MeterFault::None,
                                                      MeterFault::None,
                                                      -2.5,
                                                      ""},
                                         VoltmeterRow{"HpReading",
                                                      {"--meter", "hp34401a", "--readings", "1.25"},
                                                      MeterHp34401A,
                                                      false,
                                                      MeterFault::None,
                                                      MeterFault::None,
                                                      1.25,
                                                      ""},
                                         VoltmeterRow{"FlukeSilent",
                                                      {"--meter", "fluke45", "--fault", "silent"},
                                                      MeterFluke45,
                                                      false,
                                                      MeterFault::None,
                                                      MeterFault::NoReading,
                                                      0.0,
                                                      ""},
                                         VoltmeterRow{"FlukeErrorPrompt",
                                                      {"--meter", "fluke45", "--fault", "error-prompt"},
                                                      MeterFluke45,
                                                      false,
                                                      MeterFault::None,
                                                      MeterFault::NoReading,
                                                      0.0,
                                                      ""},
                                         VoltmeterRow{"PortMissing",
                                                      {"--meter", "fluke45"},
                                                      MeterFluke45,
                                                      true,
                                                      MeterFault::PortNotOpened,
                                                      MeterFault::PortNotOpened,
                                                      0.0,
                                                      kMissing.c_str()},
                                         VoltmeterRow{"NoneOpensNothing",
                                                      {"--meter", "fluke45"},
                                                      MeterNone,
                                                      true,
                                                      MeterFault::None,
                                                      MeterFault::None,
                                                      0.0,
                                                      ""}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
