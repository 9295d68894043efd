#include "MeasureFlowFixture.h"

#include "meter/ReferenceTable.h"
#include "platform/bqxdrv.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <sstream>

namespace measuretest {

namespace {

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::vector<double> StoredReferences(BoardHandle handle) {
    double values[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    bqxGetReferenceVoltages(handle, values);
    return std::vector<double>(values, values + 8);
}

// The 128 bytes of the last EEPROM dump in the console.
std::vector<unsigned char> ParseDump(const std::string& console) {
    std::vector<unsigned char> bytes;
    const auto at = console.rfind("EEPROM Dump:");
    if (at == std::string::npos) return bytes;
    std::istringstream in(console.substr(at + 12));
    std::string token;
    while (bytes.size() < 128 && in >> token) {
        if (token.back() == ':') continue;
        bytes.push_back(static_cast<unsigned char>(std::stoul(token, nullptr, 16)));
    }
    return bytes;
}

}  // namespace

WindowSeen Look(vantrel::dialogdriver::DialogDriver& window) {
    WindowSeen seen;
    seen.shown = true;
    for (int i = 0; i < 5; ++i) seen.edits[static_cast<std::size_t>(i)] = window.Text(kReferenceEdit0 + i);
    seen.eepromText = window.Text(kEepromStatic);
    seen.focusId = window.FocusedId();
    return seen;
}

void MeasureFlowTest::SetUp() {
    vantrel::dialogdriver::EnsureApplication();
    m_bench = std::make_unique<MeasureBench>();
}

void MeasureFlowTest::TearDown() { m_bench.reset(); }

FlowOutcome MeasureFlowTest::Run(const FlowOptions& options) {
    FlowOutcome out;
    m_bench->WriteSettings(options.boardType, options.voltmeter);
    m_bench->WriteBench(kTrueReferences, options.benchLines, options.timeScale);
    if (!options.meterArguments.empty()) {
        const bool ready = m_bench->StartMeter(options.meterArguments);
        EXPECT_TRUE(ready) << "the meter emulator did not start";
        if (!ready) return out;
    }

    vantrel::dialogdriver::MessageBoxScript boxes;
    boxes.onShow = options.onBox;
    vantrel::dialogdriver::NestedModalScript nested;
    double pressedAt = 0.0;
    nested.Queue([&](vantrel::dialogdriver::DialogDriver& window) {
        out.handlerMs = NowMs() - pressedAt;
        out.window = Look(window);
        if (options.operatorScript) options.operatorScript(window);
        out.windowEnded = window.Ended();
    });

    // The flag is process-wide: a board held by an earlier test's window is long gone.
    boardInitialized = false;
    CMainTestDlg dlg;
    vantrel::dialogdriver::RunModal(dlg, [&](vantrel::dialogdriver::DialogDriver& main) {
        main.Click(IDC_INITIALIZE_BOARD);
        EXPECT_EQ(main.Text(IDC_INIT_STATUS), "SUCCESS") << main.ConsoleText(IDC_CONSOLE);

        // A known table in EEPROM that no measurement reproduces.
        const int count = vantrel::meter::ReferenceCount(static_cast<std::uint8_t>(options.boardType));
        double before[8] = {};
        for (int i = 0; i < count; ++i) before[i] = kStoredBefore[static_cast<std::size_t>(i)];
        bqxSetReferenceVoltages(CMainTestDlgAccess::BoardHandleOf(dlg), before);
        vantrel::dialogdriver::ConfigureDriver("fail_get_references = 0");
        out.eepromBefore = StoredReferences(CMainTestDlgAccess::BoardHandleOf(dlg));
        for (const std::string& line : options.benchLines) vantrel::dialogdriver::ConfigureDriver(line);

        if (options.beforePress) options.beforePress();
        for (int answer : options.boxAnswers) boxes.Queue(answer);
        const std::size_t boxesBefore = boxes.records().size();
        vantrel::dialogdriver::ClearDriverCallLog();
        pressedAt = NowMs();
        main.Click(IDC_MEASURE_REFERENCES);
        out.result = CMainTestDlgAccess::LastResultsOf(dlg).measure;
        out.calls = vantrel::dialogdriver::DriverCallLog();
        out.boxes.assign(boxes.records().begin() + static_cast<std::ptrdiff_t>(boxesBefore),
                         boxes.records().end());

        vantrel::dialogdriver::ConfigureDriver("fail_get_references = 0");
        out.eepromAfter = StoredReferences(CMainTestDlgAccess::BoardHandleOf(dlg));
        if (options.viewEepromAfter) {
            main.Click(IDC_VIEW_EEPROM);
            out.eepromDump = ParseDump(main.ConsoleText(IDC_CONSOLE));
        }
        out.console = main.ConsoleText(IDC_CONSOLE);
        main.Click(IDC_QUIT);
    });
    return out;
}

std::vector<std::string> MeasureFlowTest::CallsNamed(const std::vector<std::string>& calls,
                                                     const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const auto& line : calls)
        for (const auto& name : names)
            if (line.rfind(name + "(", 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}

std::string MeasureFlowTest::Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

std::string MeasureFlowTest::BoxList(const std::vector<vantrel::dialogdriver::MessageBoxRecord>& boxes) {
    std::string out;
    for (const auto& box : boxes) out += "[" + box.caption + "] " + box.text + "\n";
    return out.empty() ? "(no message box)\n" : out;
}

double MeasureFlowTest::DumpReference(const std::vector<unsigned char>& dump, int i) {
    // The simulated board keeps its table of doubles from byte 17 on, little-endian.
    const std::size_t at = 17 + 8 * static_cast<std::size_t>(i);
    double value = 0.0;
    if (dump.size() >= at + 8) std::memcpy(&value, dump.data() + at, sizeof value);
    return value;
}

}  // namespace measuretest
