#pragma once
// The reference meters of the line's register and how each stands today, as the page's
// "meters" section: overdue meters first, the longest overdue at the top.

#include "metrology/CalendarDate.h"

#include <optional>
#include <string>

namespace vantrel::dashboard {

// JSON: null without a register; {"error": why} when it cannot be read; otherwise
// {"day", "meters": [{serial, model, assetTag, certificate, calibrated, due, lab, standing,
// days, overdue}]}, with `days` to the due date (negative once overdue).
std::string MeterListJson(const std::optional<std::string>& registerPath,
                          const metrology::CalendarDate& today);

}  // namespace vantrel::dashboard
