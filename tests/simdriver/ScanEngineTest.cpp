// The simulated driver's scan engine: pacing, sample order, cancelling, status and injected faults.
#include "DriverFixture.h"
#include "TimingChecks.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

ScanIntRequest Request(int16_t* buffer, uint32_t count, float rate, uint8_t low, uint8_t high) {
    ScanIntRequest r{};
    r.conversion_count = count;
    r.rate_hz = rate;
    r.clock_source = 1;
    r.low_channel = low;
    r.high_channel = high;
    r.sample_buffer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer));
    r.interrupt_enable = 1;
    r.fifo_threshold = 256;
    r.block_size = 1024;
    r.sample_buffer_ptr = reinterpret_cast<uintptr_t>(buffer);
    return r;
}

class InterruptScan : public DriverFixture {
protected:
    // Polls until busy clears or the limit passes; returns the elapsed milliseconds.
    double WaitForEnd(BoardHandle h, double limitMs, DriverStatus& status) {
        const auto start = Clock::now();
        for (;;) {
            EXPECT_EQ(bqxGetStatus(h, &status), BQX_OK);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            if (!status.busy || ms > limitMs) return ms;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
};

TEST_F(InterruptScan, RunsAt2000HzFor2560ms) {
    BoardHandle h = Open(27, 0x300, 7);
    bqxSetCalMux(h, 1);
    std::vector<int16_t> buffer(20480, int16_t(-258));
    auto req = Request(buffer.data(), 20480, 2000.0f, 0, 3);
    const auto start = Clock::now();
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    uint32_t lastTransfers = 0;
    int changes = 0;
    while (true) {
        ASSERT_EQ(bqxGetStatus(h, &st), BQX_OK);
        if (!st.busy) break;
        if (st.transfers != lastTransfers) ++changes;
        lastTransfers = st.transfers;
        ASSERT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 5.0) << "time-out";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    // The scan paces itself: never more than 2 % early; late only by the machine's other work.
    EXPECT_TRUE(timing::Within(ms, 2560.0 * 0.98, 2560.0 + timing::kRunsLongMs));
    EXPECT_GT(changes, 10) << "transfers advance while the scan runs";
    EXPECT_EQ(st.transfers, 20480u);
    EXPECT_EQ(st.overflows, 0u);
    EXPECT_EQ(st.interrupts, 80u) << "one interrupt per 256-sample FIFO block";
    const double refs[] = {4.9962, 2.4987, 1.2493, 0.6247};
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const double expected = refs[i % 4] / 10.0 * 32768.0;
        ASSERT_NEAR(buffer[i], expected, 15.0) << "sample " << i << " belongs to channel " << i % 4;
    }
}

struct MaxRateCase {
    uint8_t type;
    float scansPerSecond;  // four channels at the model's maximum conversion rate
};

class ScanAtMaximum : public InterruptScan, public ::testing::WithParamInterface<MaxRateCase> {};

TEST_P(ScanAtMaximum, KeepsPaceWithoutOverflow) {
    const auto c = GetParam();
    BoardHandle h = Open(c.type, 0x300, 7);
    const uint32_t count = static_cast<uint32_t>(c.scansPerSecond * 4 / 2);  // half a second
    std::vector<int16_t> buffer(count);
    auto req = Request(buffer.data(), count, c.scansPerSecond, 0, 3);
    const auto start = Clock::now();
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 3000, st);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ASSERT_EQ(st.busy, 0u);
    EXPECT_TRUE(timing::Within(ms, 490.0, 500.0 + timing::kRunsLongMs));
    EXPECT_EQ(st.transfers, count);
    EXPECT_EQ(st.overflows, 0u);
}

INSTANTIATE_TEST_SUITE_P(Models, ScanAtMaximum,
                         ::testing::Values(MaxRateCase{27, 62500.0f}, MaxRateCase{33, 25000.0f}),
                         [](const auto& row) { return "TypeCode" + std::to_string(row.param.type); });

TEST_F(InterruptScan, AboveTheMaximumRunsButCountsOverflows) {
    BoardHandle h = Open(15, 0x300, 7);  // 100,000 conversions/s
    std::vector<int16_t> buffer(20000);
    auto req = Request(buffer.data(), 20000, 40000.0f, 0, 3);  // 160,000 conversions/s
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 2000, st);
    EXPECT_EQ(st.busy, 0u);
    EXPECT_GT(st.overflows, 0u);
    EXPECT_EQ(st.transfers, 20000u);
}

TEST_F(InterruptScan, SamplesFollowChannelOrderForAnyRange) {
    Configure("noise_lsb = 0");
    BoardHandle h = Open();
    for (uint8_t out = 0; out < 4; ++out) bqxDAConvert(h, out, uint16_t(500 + 1000 * out));
    std::vector<int16_t> buffer(1000);
    auto req = Request(buffer.data(), 1000, 20000.0f, 5, 11);  // seven channels
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 2000, st);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const int channel = 5 + static_cast<int>(i % 7);
        const double volts = -10.0 + 20.0 * (500 + 1000 * (channel % 4)) / 4095.0;
        ASSERT_EQ(buffer[i], std::lround(volts / 10 * 32768)) << "sample " << i;
    }
}

TEST_F(InterruptScan, SixtyFourBitAddressTravelsInTheExtension) {
    BoardHandle h = Open();
    std::vector<int16_t> buffer(64, int16_t(-258));
    auto req = Request(buffer.data(), 64, 10000.0f, 0, 3);
    req.sample_buffer = 0xDEADBEEF;  // the 32-bit field alone could never reach this buffer
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 1000, st);
    for (int16_t s : buffer) ASSERT_NE(s, -258);
}

struct BadRequest {
    const char* name;
    uint32_t count;
    float rate;
    uint8_t low, high;
    bool buffer;
    uint8_t expected;
};

class InvalidScanRequest : public InterruptScan, public ::testing::WithParamInterface<BadRequest> {};

TEST_P(InvalidScanRequest, FailsAtOnce) {
    const auto& c = GetParam();
    BoardHandle h = Open(33, 0x280, 5);  // 16 channels
    int16_t buffer[16];
    auto req = Request(c.buffer ? buffer : nullptr, c.count, c.rate, c.low, c.high);
    EXPECT_EQ(bqxADScanInt(h, &req), c.expected);
    DriverStatus st{};
    ASSERT_EQ(bqxGetStatus(h, &st), BQX_OK);
    EXPECT_EQ(st.busy, 0u) << "no scan runs after a refused request";
}

INSTANTIATE_TEST_SUITE_P(
    Requests, InvalidScanRequest,
    ::testing::Values(BadRequest{"ZeroRate", 16, 0.0f, 0, 3, true, BQX_E_ARGUMENT},
                      BadRequest{"NegativeRate", 16, -2000.0f, 0, 3, true, BQX_E_ARGUMENT},
                      BadRequest{"NaNRate", 16, std::nanf(""), 0, 3, true, BQX_E_ARGUMENT},
                      BadRequest{"InfiniteRate", 16, HUGE_VALF, 0, 3, true, BQX_E_ARGUMENT},
                      BadRequest{"NoBuffer", 16, 2000.0f, 0, 3, false, BQX_E_ARGUMENT},
                      BadRequest{"NoConversions", 0, 2000.0f, 0, 3, true, BQX_E_ARGUMENT},
                      BadRequest{"HighBeyondBoard", 16, 2000.0f, 0, 16, true, BQX_E_CHANNEL},
                      BadRequest{"LowAboveHigh", 16, 2000.0f, 3, 0, true, BQX_E_CHANNEL}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(InterruptScan, SecondScanWhileRunningIsBusy) {
    BoardHandle h = Open();
    std::vector<int16_t> buffer(8000);
    auto req = Request(buffer.data(), 8000, 1000.0f, 0, 3);
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    EXPECT_EQ(bqxADScanInt(h, &req), BQX_E_BUSY);
    int16_t s = 0;
    EXPECT_EQ(bqxADSample(h, &s), BQX_E_BUSY);
    ASSERT_EQ(bqxCancelOp(h), BQX_OK);
    EXPECT_EQ(bqxCancelOp(h), BQX_OK) << "cancelling with nothing running is harmless";
    EXPECT_EQ(bqxADScanInt(h, &req), BQX_OK) << "a new scan starts after a cancel";
}

TEST_F(InterruptScan, RegistersShowInterruptAndFifoStatusWhileRunning) {
    BoardHandle h = Open();
    std::vector<int16_t> buffer(40000);
    auto req = Request(buffer.data(), 40000, 10000.0f, 0, 3);  // one second
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    std::set<uint8_t> fifo;
    bool sawPending = false, sawRunning = false;
    for (int i = 0; i < 200; ++i) {
        uint8_t r7 = 0, r9 = 0;
        bqxRegisterRead(h, 0x309, &r9);
        bqxRegisterRead(h, 0x307, &r7);
        fifo.insert(r9);
        sawRunning |= (r7 & 0x05) == 0x05;
        sawPending |= (r7 & 0x02) != 0;
        std::this_thread::sleep_for(std::chrono::microseconds(1700));
    }
    EXPECT_TRUE(sawRunning) << "register 7 shows an enabled, running interrupt scan";
    EXPECT_TRUE(sawPending);
    EXPECT_GT(fifo.size(), 3u) << "the FIFO level in register 9 changes";
    bqxCancelOp(h);
    ASSERT_EQ(bqxRegisterWrite(h, 7, 2), BQX_OK);
    uint8_t r7 = 0xFF;
    bqxRegisterRead(h, 0x307, &r7);
    EXPECT_EQ(r7, 0);
}

TEST_F(InterruptScan, CancelStopsAllWritesBeforeReturning) {
    BoardHandle h = Open();
    std::mt19937 random(12345);
    for (int round = 0; round < 150; ++round) {
        const uint32_t count = 200000;
        auto* buffer = new int16_t[count];
        auto req = Request(buffer, count, 62500.0f, 0, 3);
        ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        ASSERT_EQ(bqxCancelOp(h), BQX_OK);
        DriverStatus st{};
        ASSERT_EQ(bqxGetStatus(h, &st), BQX_OK);
        // The tool frees the buffer right away; AddressSanitizer catches a late write.
        delete[] buffer;
        EXPECT_EQ(st.busy, 0u);
        const uint32_t transfers = st.transfers;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        ASSERT_EQ(bqxGetStatus(h, &st), BQX_OK);
        ASSERT_EQ(st.transfers, transfers) << "no transfer after the cancel, round " << round;
    }
}

TEST_F(InterruptScan, FreeBoardAndFreeDriverEndARunningScan) {
    BoardHandle h = Open();
    auto buffer = std::make_unique<int16_t[]>(100000);
    auto req = Request(buffer.get(), 100000, 10000.0f, 0, 3);
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    ASSERT_EQ(bqxFreeBoard(h), BQX_OK);
    buffer.reset();
    auto second = std::make_unique<int16_t[]>(100000);
    h = Open();
    req = Request(second.get(), 100000, 10000.0f, 0, 3);
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    ASSERT_EQ(bqxFree(), BQX_OK);
    second.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(bqxInit(BQX_REQUIRED_VERSION), BQX_OK);
}

// ---- Injected faults ----

TEST_F(InterruptScan, NeverEndingScanKeepsBusyUntilCancelled) {
    Configure("scan_never_ends = 1");
    BoardHandle h = Open();
    std::vector<int16_t> buffer(400);
    auto req = Request(buffer.data(), 400, 10000.0f, 0, 3);
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 300, st);
    EXPECT_EQ(st.busy, 1u);
    EXPECT_EQ(st.transfers, 400u) << "the data still arrive";
    ASSERT_EQ(bqxCancelOp(h), BQX_OK);
    ASSERT_EQ(bqxGetStatus(h, &st), BQX_OK);
    EXPECT_EQ(st.busy, 0u);
}

TEST_F(InterruptScan, SkippedWritesLeaveTheBufferUntouched) {
    Configure("scan_skip_writes = 1");
    BoardHandle h = Open();
    std::vector<int16_t> buffer(2048, int16_t(-258));
    auto req = Request(buffer.data(), 2048, 20000.0f, 0, 3);
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 2000, st);
    EXPECT_EQ(st.busy, 0u);
    for (int16_t s : buffer) ASSERT_EQ(s, -258);
}

TEST_F(InterruptScan, InjectedOverflowsAreReported) {
    Configure("scan_overflows = 3");
    BoardHandle h = Open();
    std::vector<int16_t> buffer(2048);
    auto req = Request(buffer.data(), 2048, 20000.0f, 0, 3);
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 2000, st);
    EXPECT_EQ(st.overflows, 3u);
    uint8_t r9 = 0;
    bqxRegisterRead(h, 0x309, &r9);
    EXPECT_EQ(r9 & 0x80, 0x80) << "register 9 flags the overflow";
}

TEST_F(InterruptScan, ChannelOffsetShiftsOnlyThatChannelsScanSamples) {
    Configure("noise_lsb = 0");
    Configure("scan_channel_offset = 2:250");
    BoardHandle h = Open();
    bqxSetCalMux(h, 1);
    int16_t targets[4];
    ScanRequest sr{};
    sr.highChannel = 3;
    ASSERT_EQ(bqxADScan(h, &sr, targets), BQX_OK);
    std::vector<int16_t> buffer(400);
    auto req = Request(buffer.data(), 400, 20000.0f, 0, 3);
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 2000, st);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i] - targets[i % 4], i % 4 == 2 ? 250 : 0) << "sample " << i;
}

TEST_F(InterruptScan, SlowScanTakesTheGivenPercentageLonger) {
    Configure("scan_slow_percent = 50");
    BoardHandle h = Open();
    std::vector<int16_t> buffer(4000);
    auto req = Request(buffer.data(), 4000, 5000.0f, 0, 3);  // 200 ms at full speed
    const auto start = Clock::now();
    ASSERT_EQ(bqxADScanInt(h, &req), BQX_OK);
    DriverStatus st{};
    WaitForEnd(h, 2000, st);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    // 50 % longer than 200 ms; a scan at full speed would end by 215 ms.
    EXPECT_TRUE(timing::Within(ms, 285.0, 300.0 + timing::kRunsLongMs));
}

TEST_F(InterruptScan, InjectedStartFailureAnswersTheCode) {
    Configure("fail_scan_int = 77");
    BoardHandle h = Open();
    std::vector<int16_t> buffer(16, int16_t(-258));
    auto req = Request(buffer.data(), 16, 2000.0f, 0, 3);
    EXPECT_EQ(bqxADScanInt(h, &req), 77);
    DriverStatus st{};
    ASSERT_EQ(bqxGetStatus(h, &st), BQX_OK);
    EXPECT_EQ(st.busy, 0u);
}

}  // namespace
