// How schema-v4.sql and schema-v4.json were made; built by no target of this tree. It writes
// one Measure References record with the meter's copy, as schema 4 keeps it, through the
// records library of main at 44b1f59, and prints its pending-file JSON:
//   g++ -std=c++20 -Isrc schema-v4-writer.cpp build/debug/src/records/libvantrel_records.a \
//       build/debug/src/metrology/libvantrel_metrology.a build/debug/src/platform/libvantrel_platform.a \
//       $(pkg-config --libs sqlite3 libpq uuid icu-uc) -o write_v4
//   ./write_v4 v4.db docs/instruments.ini > schema-v4.json
// then `sqlite3 v4.db .dump` with its application_id and user_version pragmas added.
#include "metrology/InstrumentRegister.h"
#include "metrology/UncertaintyBudget.h"
#include "records/RecordJson.h"
#include "records/RecordStore.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace vantrel::records;
    namespace metro = vantrel::metrology;
    if (argc < 3) return 2;
    const auto reg = metro::LoadRegister(argv[2]);
    const metro::ReferenceMeter& meter = *reg.Find("4571234");
    ActionRecord r;
    r.id = "3c0e6f4b-7d52-4f0e-9a51-2b8c4d6e8f10";
    r.kind = ActionKind::MeasureReferences;
    r.bench = {"bench-4", "/srv/vantrel/bench-4", "1.0.0", "Orvane Driver version 6.02", "operator4"};
    r.board = {"Corvel", 27, 768, 7, 3, "SN-V4-0001"};
    r.startedUtc = "2026-12-07T10:00:00.000Z";
    r.endedUtc = "2026-12-07T10:00:24.000Z";
    r.verdict = "Use Above Specified Values";
    r.passed = true;
    r.outcome = MeasureOutcome::Written;
    r.meterModel = MeterModel::Fluke45;
    r.meterSerial = meter.serial;
    r.meterStanding = metro::MeterStanding::InCalibration;
    r.meterAssetTag = meter.assetTag;
    r.meterCertificate = meter.certificate;
    r.meterCertificateDate = metro::FormatDate(meter.certificateDate);
    r.meterLab = meter.lab;
    r.meterDue = metro::FormatDate(meter.due);
    r.ambientCelsius = 22.5;
    const double readings[] = {4.9962, 2.4987, 1.2493, 0.6247};
    const double lows[] = {4.5, 2.1, 1.0, 0.5}, highs[] = {5.5, 2.9, 1.5, 0.7};
    for (int ch = 0; ch < 4; ++ch) {
        ChannelFigures f;
        f.channel = ch;
        f.reading = readings[ch];
        f.windowLow = lows[ch];
        f.windowHigh = highs[ch];
        f.verdict = ChannelVerdict::Pass;
        f.eepromBefore = lows[ch];
        f.eepromWritten = readings[ch];
        const auto budget = metro::MakeBudget(meter, readings[ch]);
        f.meterRange = budget->range.range;
        f.expandedUncertainty = budget->expanded;
        r.channels.push_back(f);
    }
    r.consoleText = "measure: Use Above Specified Values\n";
    RecordStore store(argv[1]);
    if (!store.Write(r)) return 1;
    std::printf("%s\n", RecordToJson(r).c_str());
    return 0;
}
