#include "report/MeterUse.h"

#include "metrology/InstrumentRegister.h"

namespace vantrel::report {

void MeterUseTally::Add(const records::ActionRecord& r) {
    if (r.kind != records::ActionKind::MeasureReferences || !records::ReadByMeter(r.meterModel)) return;
    MeterUse& use = m_meters[r.meterSerial];
    use.serial = r.meterSerial;
    use.model = records::MeterModelName(r.meterModel);
    if (!r.meterDue.empty()) use.due = r.meterDue;
    ++use.measurements;
    if (r.meterStanding == metrology::MeterStanding::Overdue) ++use.overdueUses;
    if (r.meterStanding == metrology::MeterStanding::Unregistered) ++use.unregisteredUses;
    // A board counts once however often the meter calibrated it; a record without a serial
    // number is a board of its own.
    if (r.outcome == records::MeasureOutcome::Written)
        m_boards[r.meterSerial].insert(r.board.serialNumber.empty() ? "record " + r.id
                                                                    : r.board.serialNumber);
}

std::vector<MeterUse> MeterUseTally::Rows() const {
    std::vector<MeterUse> rows;
    for (const auto& [serial, use] : m_meters) {
        rows.push_back(use);
        const auto boards = m_boards.find(serial);
        rows.back().boardsCalibrated =
            boards == m_boards.end() ? 0 : static_cast<std::int64_t>(boards->second.size());
    }
    return rows;
}

}  // namespace vantrel::report
