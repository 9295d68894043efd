#include "dashboard/MeterList.h"

#include "metrology/InstrumentRegister.h"
#include "metrology/MeterStanding.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace vantrel::dashboard {

using Json = nlohmann::json;
using namespace vantrel::metrology;

std::string MeterListJson(const std::optional<std::string>& registerPath, const CalendarDate& today) {
    if (!registerPath) return "null";
    Json list;
    try {
        const InstrumentRegister instruments = LoadRegister(*registerPath);
        std::vector<MeterCheck> checks;
        for (const ReferenceMeter& meter : instruments.meters)
            checks.push_back(CheckMeter(instruments, meter.serial, today));
        std::stable_sort(checks.begin(), checks.end(),
                         [](const MeterCheck& a, const MeterCheck& b) { return a.daysToDue < b.daysToDue; });
        Json meters = Json::array();
        for (const MeterCheck& check : checks) {
            const ReferenceMeter& m = *check.meter;
            meters.push_back({{"serial", m.serial},
                              {"model", MeterModelName(m.model)},
                              {"assetTag", m.assetTag},
                              {"certificate", m.certificate},
                              {"calibrated", FormatDate(m.certificateDate)},
                              {"due", FormatDate(m.due)},
                              {"lab", m.lab},
                              {"standing", MeterStandingName(check.standing)},
                              {"days", check.daysToDue},
                              {"overdue", check.standing == MeterStanding::Overdue}});
        }
        list = {{"day", FormatDate(today)}, {"meters", meters}};
    } catch (const std::runtime_error& error) {  // the register's own errors name file and line
        list = {{"error", error.what()}};
    }
    return list.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vantrel::dashboard
