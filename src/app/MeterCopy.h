#pragma once
// The reference meter's part of a Measure References record: which meter read the references,
// as the register described it then, and per channel the range it read on and the expanded
// uncertainty of the value kept.

#include "metrology/MeterOnLine.h"
#include "records/ActionRecord.h"

namespace vantrel::app {

// Fills the record's meter copy; the channels' readings must be in the record already.
void CopyMeterInto(vantrel::records::ActionRecord& record, const vantrel::metrology::MeterOnLine& meter);

}  // namespace vantrel::app
