// A board whose references were typed, not read by a meter, never gets a CALIBRATED
// certificate: neither when the tool itself recorded the typed run (through the unattended
// session, as an operator would do it), nor when a record names a meter but no channel was
// read against its tolerance window.
#include "RecordsTestSupport.h"

#include "app/RecordAdapter.h"
#include "meter/MeasureReferences.h"
#include "records/RecordStore.h"
#include "report/Certificate.h"

#include <gtest/gtest.h>

namespace {

using namespace recordstest;
using vantrel::records::MeasureOutcome;
using vantrel::records::RecordStore;

ProgramResult Certificate(const std::string& database, const std::string& base, const std::string& serial) {
    return RunShell(ShellQuoted(VANTREL_RECORDS_PROGRAM) + " --db " + ShellQuoted(database) +
                    " certificate --out " + ShellQuoted(base) + " " + ShellQuoted(serial));
}

TEST(TypedReferences, SessionRecordedTypedRunIsNotCalibrated) {
    const TempDir dir;
    WriteFile(dir / "Vantrel.ini", "BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=2\r\nBOARDTYPE=27\r\n");
    WriteFile(dir / "bench.ini", "model = 27\nbase = 0x300\nirq = 7\ntime_scale = 0.01\nseed = 11\n");
    const auto session = RunShell("cd " + ShellQuoted(dir.path()) + " && QT_QPA_PLATFORM=offscreen " +
                                  ShellQuoted(std::string(VANTREL_BIN_DIR) + "/vantrel-session") +
                                  " --color=never serial=SN-T1 init meter=none"
                                  " values=4.9962,2.4987,1.2493,0.6247,0.0004 measure free");
    ASSERT_EQ(session.exitCode, 0) << session.out << session.err;

    const std::string database = dir / "vantrel-records.db";
    const auto measured = RecordStore(database, RecordStore::OpenMode::ReadOnly).History("SN-T1");
    const auto typed = std::find_if(measured.begin(), measured.end(),
                                    [](const auto& r) { return r.kind == ActionKind::MeasureReferences; });
    ASSERT_NE(typed, measured.end());
    ASSERT_EQ(typed->outcome, MeasureOutcome::Written) << "the typed values were not written";

    const auto run = Certificate(database, dir / "certificate", "SN-T1");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("NOT CALIBRATED: the values written were typed by the operator"),
              std::string::npos)
        << run.out;
    const std::string html = ReadFile(dir / "certificate.html");
    EXPECT_NE(html.find("class=\"status not-calibrated\""), std::string::npos);
    EXPECT_EQ(html.find("class=\"status calibrated\""), std::string::npos);
}

// The typed run as the window's records adapter keeps it, stored and read back, judged by the
// certificate: the reason is the typed values, whatever else the record lacks.
TEST(TypedReferences, TheAdaptersTypedRunGivesTheTypedValuesReason) {
    vantrel::meter::MeasureResult result;
    result.outcome = vantrel::meter::MeasureOutcome::Written;
    result.meterIndex = MeterNone;
    result.boardType = 27;
    result.written = {4.9962, 2.4987, 1.2493, 0.6247, 0.0004, 0.3121, 0.1562};
    ActionRecord base = SampleRecord(ActionKind::MeasureReferences, "SN-T2");
    const auto records = vantrel::app::MeasureRecords(base, result);
    ASSERT_EQ(records.size(), 2u) << "the run and its EEPROM write";

    const TempDir dir;
    RecordStore store(dir / "records.db");
    store.WriteAll(records);
    const auto history = store.History("SN-T2");
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history.front().meterModel, vantrel::records::MeterModel::Typed);
    const auto certificate = vantrel::report::MakeCertificate(history, history.back());
    EXPECT_EQ(certificate.state, vantrel::report::CalibrationState::TypedValues) << certificate.status;
    EXPECT_FALSE(certificate.calibrated);
}

TEST(TypedReferences, MeterWithoutAnyWindowIsNotCalibrated) {
    const TempDir dir;
    ActionRecord record = SampleRecord(ActionKind::MeasureReferences, "SN-W1");
    ASSERT_EQ(record.outcome, MeasureOutcome::Written);
    ASSERT_TRUE(record.passed);
    for (auto& channel : record.channels) channel.windowLow = channel.windowHigh = std::nullopt;
    const std::string database = dir / "records.db";
    RecordStore(database).Write(record);

    const auto run = Certificate(database, dir / "certificate", "SN-W1");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("NOT CALIBRATED: no reference channel was measured."), std::string::npos)
        << run.out;
}

}  // namespace
