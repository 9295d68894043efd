#pragma once
// A board's calibration certificate, gathered from its records: the last Measure References
// with its values as found, read and left, the last interrupt test, and whether the board
// can be called calibrated at all.

#include "metrology/DecisionRule.h"
#include "metrology/UncertaintyBudget.h"
#include "records/ActionRecord.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::records {
class RecordStore;
}

namespace vantrel::report {

using records::ActionRecord;

struct CertificateChannel {
    int channel = 0;
    std::optional<double> asFound;
    std::optional<double> reading;
    std::optional<double> windowLow;
    std::optional<double> windowHigh;
    std::optional<double> asLeft;
    records::ChannelVerdict verdict =
        records::ChannelVerdict::NotMeasured;  // judged from the reading and window
};

// Where a certificate's uncertainty comes from.
enum class UncertaintyOrigin {
    None,      // no uncertainty is stated; noUncertainty says why
    Record,    // each channel's figures (or only its U) as the record kept them when it measured
    Register,  // the record kept none: today's register of reference meters
};

// A channel whose record kept U and the range but not the figures the budget was made from.
struct RecordedUncertainty {
    int channel = 0;
    double range = 0.0;     // volts
    double expanded = 0.0;  // U, volts
};

// The uncertainty and the statement of conformity: the bench's decision rule and each
// channel's budget, made from the record's own copy of the meter's figures, or, for a record
// that kept none, from the register's entry of its meter.
struct CertificateMetrology {
    metrology::DecisionRule rule = metrology::DecisionRule::SimpleAcceptance;
    UncertaintyOrigin origin = UncertaintyOrigin::None;
    std::optional<metrology::ReferenceMeter> meter;  // the register's entry taken, for Register
    bool meterNamed = false;  // the record named the meter; else the only one of its model was taken
    std::string noUncertainty = "the metrology settings were not read";  // why no uncertainty is stated
    std::vector<std::pair<int, metrology::UncertaintyBudget>> budgets;   // by channel
    std::vector<RecordedUncertainty> termsNotRecorded;  // channels with only U and range kept
};

// Whether the board can be called calibrated, and if not, the first reason found.
enum class CalibrationState {
    Calibrated,
    NoMeasureReferences,
    ValuesNotWritten,
    RunFailed,
    TypedValues,
    MeterNotTraceable,  // the register refused the meter when it measured: overdue or unknown
    ChannelOutsideWindow,
    NoChannelMeasured,
    WrittenAgain,
};

struct Certificate {
    std::string number;  // the record id of the calibration (or of the last record)
    records::BoardIdentity board;
    records::BenchIdentity bench;
    std::string dateUtc;                      // end of the calibration, else of the last record
    std::optional<ActionRecord> calibration;  // the last Measure References
    std::optional<ActionRecord> interrupt;    // the last interrupt test
    std::vector<CertificateChannel> channels;
    std::vector<ActionRecord> laterEepromWrites;  // EEPROM writes after the calibration
    CalibrationState state = CalibrationState::NoMeasureReferences;
    bool calibrated = false;             // state is Calibrated
    std::string status;                  // the state as one sentence, e.g. "NOT CALIBRATED: ..."
    std::optional<ActionRecord> source;  // the record it is numbered by, when neither of the above
    std::string digest;                  // SHA-256 of the records above, in their canonical text
    CertificateMetrology metrology;
};

// The certificate from a board's records (oldest first) as of `asOf`, one of them; records
// after it only count as later EEPROM writes.
Certificate MakeCertificate(const std::vector<ActionRecord>& history, const ActionRecord& asOf);

// The decision rule of the bench folder's metrology settings and the uncertainty. A record that
// kept its meter's figures gives each budget itself, so a later change to the register leaves
// the certificate as it was; one that kept only U gives U and the range. For a record that kept
// neither, the register's entry of the meter the record names or, when it names none, the
// register's only meter of the recorded model; otherwise, or when the settings cannot be read,
// the certificate says why no uncertainty is stated.
void AttachMetrology(Certificate& certificate, const std::string& benchFolder);

// The certificate of a record id or a board's serial number; none when neither is known.
std::optional<Certificate> LoadCertificate(const records::RecordStore& store, const std::string& serialOrId);

}  // namespace vantrel::report
