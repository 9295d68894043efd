#pragma once
// The records as JSON: one object per record, in the export's documented form (format
// "vantrel-records", version 1). The pending folder keeps waiting records in the same form.

#include "records/ActionRecord.h"

#include <iosfwd>
#include <string>

namespace vantrel::records {

inline constexpr int kJsonFormatVersion = 1;
inline constexpr const char* kJsonFormatName = "vantrel-records";

std::string RecordToJson(const ActionRecord& record);
// Throws std::runtime_error on text that is not a record of this form.
ActionRecord RecordFromJson(const std::string& text);

// Streams {"format":..., "version":..., "records":[...]} one record at a time.
class JsonExportWriter {
public:
    explicit JsonExportWriter(std::ostream& out);
    void Add(const ActionRecord& record);
    void Finish();

private:
    std::ostream& m_out;
    bool m_first = true;
};

}  // namespace vantrel::records
