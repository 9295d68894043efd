#pragma once
// A production line's records as the bench would leave them: boards of two models tested and
// calibrated one after another over some days, with the faults a line meets (an interrupt
// test out of tolerance, a reference out of its window, a meter that does not answer, values
// kept or typed, an EEPROM written after calibration). Seeded, so the same line comes back.

#include "records/ActionRecord.h"

#include <string>
#include <vector>

namespace reporttest {

using vantrel::records::ActionRecord;

struct LineOptions {
    int boards = 14;
    unsigned seed = 7;
    int days = 3;
    std::string firstDay = "2026-12-01";
    double failureRate = 0.1;  // chance of a random fault for boards after the fixed cases
};

// What happened to one board, for the tests to compare with.
struct BoardPlan {
    std::string serial;
    std::string model;
    std::string fault;        // "", "interrupt", "out-of-tolerance", "meter", "kept", "typed", "rewritten"
    bool retested = false;    // a second try that passed
    bool calibrated = false;  // the certificate must say so
};

// The first seven boards have fixed faults, in this order: a hostile serial number whose
// interrupt test fails and whose retest passes, an interrupt failure, a reading out of
// tolerance then a passing retest, values kept, a meter that failed, values typed without a
// meter, an EEPROM written after calibration.
std::vector<ActionRecord> SimulateLine(const LineOptions& options, std::vector<BoardPlan>* plans = nullptr);

inline const std::string kHostileSerial = "<img src=x onerror=alert(1)>";

}  // namespace reporttest
