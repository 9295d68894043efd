#pragma once
// What each reference meter did on a line: how often it measured, how many boards hold the
// values it read, and how often it measured while the register called it overdue or did not
// know it. A line sees here which meter to recall before it looks for the boards.

#include "records/ActionRecord.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vantrel::report {

struct MeterUse {
    std::string serial;  // empty for the records that name no meter
    std::string model;
    std::string due;                    // as the latest record copied it; empty when unknown
    std::int64_t measurements = 0;      // Measure References read with it
    std::int64_t boardsCalibrated = 0;  // boards whose written values it read
    std::int64_t overdueUses = 0;
    std::int64_t unregisteredUses = 0;
};

class MeterUseTally {
public:
    void Add(const records::ActionRecord& record);
    // By serial number; the meter that was not named comes first.
    std::vector<MeterUse> Rows() const;

private:
    std::map<std::string, MeterUse> m_meters;
    std::map<std::string, std::set<std::string>> m_boards;
};

}  // namespace vantrel::report
