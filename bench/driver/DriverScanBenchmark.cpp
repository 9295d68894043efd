// Runs each model's interrupt scan at its maximum conversion rate for one second, polling
// like the interrupt test does, and reports the conversion rate sustained, the FIFO
// overflows and the CPU the whole process used, in percent of one core.
#include "platform/DriverLibrary.h"
#include "platform/bqxdrv.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

struct Model {
    uint8_t type;
    int channels;
    double maxConversions;
};

const Model kModels[] = {
    {27, 32, 250000}, {34, 32, 250000}, {33, 16, 100000}, {20, 32, 250000}, {32, 32, 250000},
    {36, 32, 250000}, {15, 16, 100000}, {0, 16, 100000},  {12, 32, 250000},
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void FullSpeedScan(benchmark::State& state) {
    const Model& model = kModels[state.range(0)];
    const auto previous = std::filesystem::current_path();
    const auto dir = std::filesystem::temp_directory_path() / "bqxsim-bench";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    if (!vantrel::platform::LoadDriverLibrary({BQXSIM_LIBRARY_DIR}) || bqxInit(BQX_REQUIRED_VERSION) != 0) {
        state.SkipWithError("driver did not start");
        return;
    }
    BoardConfig config{};
    config.boardType = model.type;
    config.baseAddress = 0x300;
    config.interruptLevel = 7;
    BoardHandle h = BQX_NO_BOARD;
    if (bqxInitBoard(model.type, &config, &h) != 0) {
        state.SkipWithError("board did not open");
        return;
    }
    // Every channel of the board, at the model's maximum conversion rate, for one second.
    const auto conversions = static_cast<uint32_t>(model.maxConversions);
    std::vector<int16_t> buffer(conversions);
    double rate = 0, cpu = 0, overflows = 0;
    for (auto _ : state) {
        ScanIntRequest req{};
        req.conversion_count = conversions;
        req.rate_hz = static_cast<float>(model.maxConversions / model.channels);
        req.low_channel = 0;
        req.high_channel = static_cast<uint8_t>(model.channels - 1);
        req.fifo_threshold = 256;
        req.sample_buffer_ptr = reinterpret_cast<uintptr_t>(buffer.data());
        const double cpuStart = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (bqxADScanInt(h, &req) != 0) {
            state.SkipWithError("scan did not start");
            break;
        }
        DriverStatus st{};
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            bqxGetStatus(h, &st);
        } while (st.busy);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        rate = st.transfers / seconds;
        cpu = 100.0 * (CpuSeconds() - cpuStart) / seconds;
        overflows = st.overflows;
    }
    state.counters["conv_per_s"] = rate;
    state.counters["overflows"] = overflows;
    state.counters["cpu_pct"] = cpu;
    state.SetLabel(std::to_string(model.type) + " (" + std::to_string(model.channels) + " ch)");
    bqxFree();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}

BENCHMARK(FullSpeedScan)->DenseRange(0, 8)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
