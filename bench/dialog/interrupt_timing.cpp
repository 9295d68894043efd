// Ten Interrupt Tests at the default 2000 Hz on the simulated board: how far the measured
// scan time lies from the expected one, and the wall time of one whole press.
#include "DialogBench.h"
#include "app/CMainTestDlg.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 10;

// The last "Time taken" line of the console: measured minus expected milliseconds.
bool LastDifference(const std::string& console, int& difference) {
    const std::regex line(R"(Time taken: (-?\d+) ms \(expected (\d+)\))");
    bool found = false;
    for (auto it = std::sregex_iterator(console.begin(), console.end(), line); it != std::sregex_iterator();
         ++it) {
        difference = std::stoi((*it)[1]) - std::stoi((*it)[2]);
        found = true;
    }
    return found;
}

}  // namespace

int main() {
    vantrel::dialogdriver::BenchFolder bench;
    if (!benchdialog::PrepareBench(bench, 2, {"noise_lsb = 0", "seed = 1"})) return 1;

    std::vector<int> differences;
    std::vector<double> wallMs;
    CMainTestDlg dlg;
    vantrel::dialogdriver::RunModal(
        dlg,
        [&](vantrel::dialogdriver::DialogDriver& driver) {
            driver.Click(IDC_INITIALIZE_BOARD);
            for (int run = 0; run < kRuns; ++run) {
                const auto start = std::chrono::steady_clock::now();
                driver.Click(IDC_INTERRUPT_TEST);
                wallMs.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
                int difference = 0;
                if (LastDifference(driver.ConsoleText(IDC_CONSOLE), difference))
                    differences.push_back(difference);
            }
            driver.Click(IDC_QUIT);
        },
        0);

    if (differences.size() != static_cast<std::size_t>(kRuns)) {
        std::fprintf(stderr, "only %zu of %d runs reported a scan time\n", differences.size(), kRuns);
        return 1;
    }
    std::vector<int> sorted = differences;
    std::sort(sorted.begin(), sorted.end());
    const double median = (sorted[kRuns / 2 - 1] + sorted[kRuns / 2]) / 2.0;
    const int worst = std::abs(sorted.front()) > std::abs(sorted.back()) ? sorted.front() : sorted.back();
    std::printf("interrupt test at 2000 Hz, %d runs\nmeasured - expected (ms):", kRuns);
    for (int d : differences) std::printf(" %d", d);
    std::printf("\nmedian %.1f ms, worst %d ms\nwall time per test (ms):", median, worst);
    for (double w : wallMs) std::printf(" %.0f", w);
    std::printf("\n");
    return 0;
}
