// Cost of one console append (with its synchronous repaint) on a short and on a long
// console, and of saving a long console as RTF.
#include "app/CMainTestDlg.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

// Opens the main dialog without a modal loop; the benchmark drives it directly.
class BenchDialog : public CMainTestDlg {
public:
    BenchDialog() { Create(IDD_VANTREL_DIALOG); }
    ~BenchDialog() override {
        EndDialog(0);
        DestroyWindow();
    }
    void Save() { OnWriteLog(); }
};

// A console holding lineCount lines, put in with one insertion.
std::unique_ptr<BenchDialog> DialogWithLines(long lineCount) {
    vantrel::afx::EnsureApplication();
    auto dialog = std::make_unique<BenchDialog>();
    std::string text;
    text.reserve(static_cast<std::size_t>(lineCount) * 40);
    char line[64];
    for (long i = 0; i < lineCount; ++i) {
        std::snprintf(line, sizeof(line), "Channel %2ld: %6ld counts, 4.9960 V\n", i % 32, i);
        text += line;
    }
    auto* console = dynamic_cast<CRichEditCtrl*>(dialog->GetDlgItem(IDC_CONSOLE));
    console->SetSel(1000000000, 1000000000);
    console->ReplaceSel(text.c_str(), FALSE);
    return dialog;
}

void BM_LogPrintfOnConsoleOf(benchmark::State& state) {
    const auto dialog = DialogWithLines(state.range(0));
    long i = 0;
    for (auto _ : state) {
        dialog->LogPrintf("Sample %ld: %6d counts\n", i++, 2047);
    }
    state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_LogPrintfOnConsoleOf)->Arg(1000)->Arg(200000)->Unit(benchmark::kMicrosecond);

void BM_SaveConsoleOf(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / "vantrel_bench_console";
    std::filesystem::create_directories(folder);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    const auto dialog = DialogWithLines(state.range(0));
    for (auto _ : state) {
        dialog->Save();
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(folder / "log.rtf"));
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveConsoleOf)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    // No window system is needed for the measurements.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
