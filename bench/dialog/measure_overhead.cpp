// A full five-channel Measure References run with the Fluke 45 emulator at real time: the
// wall time of the press against the waits the flow must take (200 ms pause, 2000 + 4 x 2150
// ms settles, the meter's 200 + 300 ms preparation and 300 ms per reading).
#include "DialogBench.h"
#include "app/CMainTestDlg.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr double kSpecifiedWaitsMs = 200 + 2000 + 4 * 2150 + 200 + 300 + 5 * 300;

std::string ProgramBesideThis(const char* name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

}  // namespace

int main() {
    vantrel::dialogdriver::BenchFolder bench;
    if (!benchdialog::PrepareBench(bench, 0, {"time_scale = 1", "seed = 1"})) return 1;
    if (!bench.StartMeter(ProgramBesideThis("vantrel-metersim"), {"--meter", "fluke45"})) {
        std::fprintf(stderr, "the meter emulator did not get ready\n");
        return 1;
    }

    vantrel::dialogdriver::MessageBoxScript boxes;
    vantrel::dialogdriver::NestedModalScript measureWindow;
    bool used = false;
    measureWindow.Queue([&](vantrel::dialogdriver::DialogDriver& driver) {
        used = driver.IsEnabled(IDOK);
        driver.Click(IDOK);
    });
    double handlerMs = 0;
    CMainTestDlg dlg;
    vantrel::dialogdriver::RunModal(
        dlg,
        [&](vantrel::dialogdriver::DialogDriver& driver) {
            driver.Click(IDC_INITIALIZE_BOARD);
            const auto start = std::chrono::steady_clock::now();
            driver.Click(IDC_MEASURE_REFERENCES);
            handlerMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            driver.Click(IDC_QUIT);
        },
        0);

    if (!used || boxes.records().size() != 1) {
        std::fprintf(stderr, "the run did not end with the values written (%zu message boxes)\n",
                     boxes.records().size());
        for (const auto& box : boxes.records())
            std::fprintf(stderr, "  %s: %s\n", box.caption.c_str(), box.text.c_str());
        return 1;
    }
    std::printf("full Fluke 45 run: %.1f ms, specified waits %.0f ms, the rest %.1f ms\n", handlerMs,
                kSpecifiedWaitsMs, handlerMs - kSpecifiedWaitsMs);
    return 0;
}
