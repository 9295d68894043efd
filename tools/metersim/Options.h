#pragma once
// The emulator's command line.

#include <optional>
#include <string>
#include <vector>

#include "EmulatedMeter.h"
#include "ReadingSource.h"

namespace vantrel::metersim {

struct Options {
    MeterModel model = MeterModel::Fluke45;
    std::string dir = ".";
    std::string linkPath;       // <dir>/COM1 unless --link names another
    std::string terminalsPath;  // <dir>/reference-terminals unless --terminals
    std::vector<double> readings;
    std::string logPath;
    Fault fault;
    double timeScale = 1.0;  // the meter's measurement times are multiplied by it
    bool help = false;
};

// nullopt with error set when an argument is unknown, lacks its value or is malformed.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);
std::string UsageText();

}  // namespace vantrel::metersim
