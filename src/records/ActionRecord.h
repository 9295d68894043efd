#pragma once
// One operator action that tested or changed a board, as the production records keep it.
// A plain value: the app fills it from a run's result, the store writes it, the exports and
// the forwarder read it. Nothing here knows of dialogs, SQL or files.

#include "metrology/MeterModel.h"
#include "metrology/MeterStanding.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::metrology {
struct DcVoltageRange;
}  // namespace vantrel::metrology

namespace vantrel::records {

// The kinds of action that leave a record. The text names are what the database, the
// exports and the command line use.
enum class ActionKind { InitializeBoard, InterruptTest, MeasureReferences, Sample, FreeBoard, EepromWrite };

std::string_view ActionKindName(ActionKind kind);  // "initialize", ...
std::optional<ActionKind> ActionKindFromName(std::string_view name);

// How a Measure References run ended.
enum class MeasureOutcome {
    None,
    Written,
    Kept,
    Cancelled,
    FailedReading,
    OutOfTolerance,
    Refused,
    WriteFailed
};

std::string_view MeasureOutcomeName(MeasureOutcome outcome);  // "", "written", ...
std::optional<MeasureOutcome> MeasureOutcomeFromName(std::string_view name);

// The meter of a Measure References run, or that the operator typed the values: the
// register's own vocabulary, so a record's meter and the register's entry compare directly.
using metrology::MeterModel;
using metrology::MeterModelFromName;
using metrology::MeterModelName;
using metrology::ReadByMeter;

// How one channel of a Measure References run, an EEPROM write or a sample ended.
enum class ChannelVerdict { None, Pass, Fail, NotRead, NotMeasured, Typed, Refused, Stored, NotStored };

std::string_view ChannelVerdictName(ChannelVerdict verdict);  // "", "pass", "fail", "not measured", ...
std::optional<ChannelVerdict> ChannelVerdictFromName(std::string_view name);

struct BenchIdentity {
    std::string host;    // host name of the bench computer
    std::string folder;  // the bench folder (absolute path)
    std::string toolVersion;
    std::string driverVersion;  // the driver's version text as the console shows it
    std::string operatorLogin;

    bool operator==(const BenchIdentity&) const = default;
};

struct BoardIdentity {
    std::string model;  // board-list text of the model
    int typeCode = 0;
    int baseAddress = 0;
    int interruptLevel = 0;
    std::optional<int> fpgaRevision;
    std::string serialNumber;  // empty when the operator gave none; stored exactly as typed

    bool operator==(const BoardIdentity&) const = default;
};

struct InterruptFigures {
    int rateHz = 0;
    int expectedMs = 0;
    int measuredMs = 0;
    std::int64_t overflows = 0;
    std::int64_t errorCount = 0;
    int timeoutToleranceMs = 0;
    int timeToleranceMs = 0;
    int adToleranceLsb = 0;

    bool operator==(const InterruptFigures&) const = default;
};

// One channel of a Measure References run, an EEPROM write or a sample. Fields that an
// action does not have stay empty.
struct ChannelFigures {
    int channel = 0;
    std::optional<double> reading;    // volts read or typed
    std::optional<double> windowLow;  // tolerance window, inclusive
    std::optional<double> windowHigh;
    ChannelVerdict verdict = ChannelVerdict::None;
    std::optional<double> eepromBefore;         // as found
    std::optional<double> eepromWritten;        // as left
    std::optional<int> code;                    // A/D code of a sample
    std::optional<double> meterRange;           // the meter's range for the reading, volts
    std::optional<double> expandedUncertainty;  // U of the value, volts, from the register's figures
    // The register's figures for that range when it measured, so that the budget can be made
    // again from the record alone: one count, the accuracy and the temperature coefficient.
    // Empty by default, so that the figures of other actions need not name them.
    std::optional<double> meterResolution{};           // volts
    std::optional<double> accuracyPercentOfReading{};  // ±(% of reading
    std::optional<double> accuracyPercentOfRange{};    //   + % of range
    std::optional<int> accuracyCounts{};               //   + counts)
    std::optional<double> tempcoPercentOfReading{};    // the same per degree Celsius outside the
    std::optional<double> tempcoPercentOfRange{};      // band the accuracy holds in; none when
    std::optional<double> tempcoCounts{};              // the register gave no coefficient

    bool operator==(const ChannelFigures&) const = default;
};

// A meter range's figures kept in a channel beside its U, and read back from it: the pair a
// channel's budget is made again from, whatever the register says later. Reading back gives
// none when the channel kept only U, or nothing.
void KeepRangeFigures(ChannelFigures& channel, const metrology::DcVoltageRange& range);
std::optional<metrology::DcVoltageRange> KeptRangeFigures(const ChannelFigures& channel);

struct ActionRecord {
    std::string id;  // UUID, lower-case text; NewRecordId() makes one
    ActionKind kind = ActionKind::InitializeBoard;
    BenchIdentity bench;
    BoardIdentity board;
    std::string startedUtc;  // "2026-12-07T15:04:05.123Z"
    std::string endedUtc;
    std::string verdict;  // as shown to the operator, e.g. "SUCCESS"
    bool passed = false;  // the verdict read as a pass; yields count these
    MeasureOutcome outcome = MeasureOutcome::None;
    MeterModel meterModel = MeterModel::Unrecorded;  // Measure References and its EEPROM write
    std::string meterSerial;  // serial number of the reference meter used; empty when unknown
    // The reference meter as the register described it when it measured: a copy, so that a
    // later calibration of the meter leaves this record as it was. Empty without a register;
    // only the standing without an entry.
    std::optional<vantrel::metrology::MeterStanding> meterStanding;
    std::string meterAssetTag;
    std::string meterCertificate;
    std::string meterCertificateDate;  // YYYY-MM-DD
    std::string meterLab;
    std::string meterDue;                  // YYYY-MM-DD, the last day of the meter's calibration
    std::optional<double> ambientCelsius;  // the bench's ambient temperature setting
    std::optional<InterruptFigures> interrupt;
    std::vector<ChannelFigures> channels;
    std::string consoleText;  // what the action wrote to the console, as plain text

    bool operator==(const ActionRecord&) const = default;
};

// A new random (version 4) UUID in its usual lower-case text form.
std::string NewRecordId();

// The current time as UTC ISO 8601 with milliseconds.
std::string UtcNowIso8601();

// This computer's host name, the current folder and the login name of the user running the
// tool, with the versions given.
BenchIdentity ThisBench(std::string toolVersion, std::string driverVersion);

}  // namespace vantrel::records
