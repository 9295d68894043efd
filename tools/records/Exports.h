#pragma once
// CSV and JUnit XML forms of the records (JSON is the records library's own).

#include "records/ActionRecord.h"

#include <iosfwd>
#include <string>

namespace vantrel::records::cli {

// The text with each byte that is not part of a valid UTF-8 character replaced by U+FFFD,
// as the JSON and JUnit exports do.
std::string ValidUtf8(const std::string& text);

// One CSV cell (RFC 4180 quoting), valid UTF-8. Free text that a spreadsheet would run as a formula
// (starting with =, +, -, @, tab or carriage return) gets a leading apostrophe.
std::string CsvTextCell(const std::string& text);

class CsvExportWriter {
public:
    explicit CsvExportWriter(std::ostream& out);
    void Add(const ActionRecord& record);

private:
    std::ostream& m_out;
};

// Text for XML content and attribute values; characters XML 1.0 cannot carry become U+FFFD.
std::string XmlEscaped(const std::string& text);

// One <testsuite> per bench host in a <testsuites>; one <testcase> per record; a record that
// did not pass carries a <failure>. Collects the records, writes everything in Finish().
class JUnitExportWriter {
public:
    explicit JUnitExportWriter(std::ostream& out);
    void Add(const ActionRecord& record);
    void Finish();

private:
    std::ostream& m_out;
    std::vector<std::pair<std::string, std::vector<ActionRecord>>> m_suites;
};

// Seconds between two of the records' time stamps; 0 when either cannot be read.
double SecondsBetween(const std::string& startedUtc, const std::string& endedUtc);

}  // namespace vantrel::records::cli
