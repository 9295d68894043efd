// The call log's line for each entry point, with the structure arguments a call passes or
// "null" in their place: the trace a technician compares with a real driver's.
#include "DriverFixture.h"

#include <functional>
#include <ostream>
#include <string>

namespace {

struct TraceCase {
    const char* name;
    std::function<void(BoardHandle)> call;
    const char* line;  // what the call adds to the log
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }

class CallTrace : public DriverFixture, public testing::WithParamInterface<TraceCase> {};

TEST_P(CallTrace, RecordsTheCallAndItsArguments) {
    const BoardHandle h = Open();
    ClearCallLog();
    GetParam().call(h);
    EXPECT_EQ(CallLog(), std::string(GetParam().line) + "\n");
}

BoardConfig Config() {
    BoardConfig config{};
    config.baseAddress = 0x310;
    config.interruptLevel = 5;
    return config;
}

int16_t g_samples[64];
uint8_t g_byte;
uint32_t g_word;
double g_read[8];
const double g_references[8] = {1e300, 2.5, -1.25, 0.625, 0.0004, 7.5, 9.99, 0.0};

INSTANTIATE_TEST_SUITE_P(
    EntryPoints, CallTrace,
    testing::Values(
        TraceCase{"InitBoardWithoutConfig", [](BoardHandle) { bqxInitBoard(27, nullptr, nullptr); },
                  "bqxInitBoard(27,null)"},
        TraceCase{"InitBoard",
                  [](BoardHandle) {
                      BoardConfig config = Config();
                      BoardHandle other = BQX_NO_BOARD;
                      bqxInitBoard(33, &config, &other);
                  },
                  "bqxInitBoard(33,base=784,irq=5)"},
        TraceCase{"FpgaRevisionOfAnotherHandle", [](BoardHandle) { bqxGetFPGARev(7, &g_word); },
                  "bqxGetFPGARev(7)"},
        TraceCase{"SettingsWithoutStructure", [](BoardHandle h) { bqxADSetSettings(h, nullptr); },
                  "bqxADSetSettings(0,null)"},
        TraceCase{"Settings",
                  [](BoardHandle h) {
                      ADSettings settings{};
                      settings.channel = 3;
                      bqxADSetSettings(h, &settings);
                  },
                  "bqxADSetSettings(0,3)"},
        TraceCase{"Sample", [](BoardHandle h) { bqxADSample(h, &g_samples[0]); }, "bqxADSample(0)"},
        TraceCase{"ScanWithoutRequest", [](BoardHandle h) { bqxADScan(h, nullptr, g_samples); },
                  "bqxADScan(0,null)"},
        TraceCase{"Scan",
                  [](BoardHandle h) {
                      ScanRequest request{};
                      request.lowChannel = 2;
                      request.highChannel = 5;
                      bqxADScan(h, &request, g_samples);
                  },
                  "bqxADScan(0,low=2,high=5)"},
        TraceCase{"InterruptScanWithoutRequest", [](BoardHandle h) { bqxADScanInt(h, nullptr); },
                  "bqxADScanInt(0,null)"},
        TraceCase{"InterruptScan",
                  [](BoardHandle h) {
                      ScanIntRequest request{};
                      request.rate_hz = 1234.5f;
                      request.low_channel = 1;
                      request.high_channel = 4;
                      bqxADScanInt(h, &request);
                  },
                  "bqxADScanInt(0,count=0,rate=1234.5,low=1,high=4)"},
        TraceCase{"Time", [](BoardHandle) { bqxGetTime(&g_word); }, "bqxGetTime()"},
        TraceCase{"Eeprom", [](BoardHandle h) { bqxGetEEPROM(h, 16, &g_byte); }, "bqxGetEEPROM(0,16)"},
        TraceCase{"GetReferences", [](BoardHandle h) { bqxGetReferenceVoltages(h, g_read); },
                  "bqxGetReferenceVoltages(0)"},
        // Each value as %f gives it, cut to 46 characters.
        TraceCase{"SetReferences", [](BoardHandle h) { bqxSetReferenceVoltages(h, g_references); },
                  "bqxSetReferenceVoltages(0,1000000000000000052504760255204420248704468581,2.500000,"
                  "-1.250000,0.625000,0.000400,7.500000,9.990000,0.000000)"},
        TraceCase{"SetReferencesWithoutArray", [](BoardHandle h) { bqxSetReferenceVoltages(h, nullptr); },
                  "bqxSetReferenceVoltages(0,null)"},
        // Without a board under the handle nothing of the array is read.
        TraceCase{"SetReferencesOnAnotherHandle",
                  [](BoardHandle) { bqxSetReferenceVoltages(9, g_references); },
                  "bqxSetReferenceVoltages(9)"},
        TraceCase{"Free", [](BoardHandle) { bqxFree(); }, "bqxFree()"}),
    [](const testing::TestParamInfo<TraceCase>& row) { return std::string(row.param.name); });

}  // namespace
