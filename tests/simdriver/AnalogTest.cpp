// A/D conversions, D/A loop-back, the calibration multiplexer and the reference terminals.
#include "DriverFixture.h"

#include <cmath>
#include <string>

namespace {

int CodeFor(double volts) { return static_cast<int>(std::lround(volts / 10.0 * 32768.0)); }

class Analog : public DriverFixture {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        Configure("noise_lsb = 0");
        m_h = Open();
    }
    int16_t Sample(int channel) {
        int16_t s = 0;
        EXPECT_EQ(bqxADSetChannel(m_h, uint8_t(channel), uint8_t(channel)), BQX_OK);
        EXPECT_EQ(bqxADSample(m_h, &s), BQX_OK);
        return s;
    }
    BoardHandle m_h = BQX_NO_BOARD;
};

TEST_F(Analog, CalibrationMuxPutsReferencesOnChannelsZeroToFour) {
    const double refs[] = {4.9962, 2.4987, 1.2493, 0.6247, 0.0004};
    ASSERT_EQ(bqxSetCalMux(m_h, 1), BQX_OK);
    for (int c = 0; c < 5; ++c) EXPECT_EQ(Sample(c), CodeFor(refs[c])) << "channel " << c;
    EXPECT_EQ(Sample(5), 0) << "channels beyond the references read ground";
    int16_t scan[4] = {};
    ScanRequest req{};
    req.lowChannel = 0;
    req.highChannel = 3;
    ASSERT_EQ(bqxADScan(m_h, &req, scan), BQX_OK);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(scan[c], CodeFor(refs[c])) << "scan channel " << c;
}

TEST_F(Analog, ReferencesFollowTheBenchDescription) {
    Configure("reference2 = 1.3000");
    ASSERT_EQ(bqxSetCalMux(m_h, 1), BQX_OK);
    EXPECT_EQ(Sample(2), CodeFor(1.3));
}

struct DaCase {
    uint16_t code;
    int expected;
};

class DaLoopback : public Analog, public ::testing::WithParamInterface<DaCase> {};

TEST_P(DaLoopback, MuxOffChannelsReadTheirDaOutput) {
    const auto c = GetParam();
    ASSERT_EQ(bqxSetCalMux(m_h, 0), BQX_OK);
    ASSERT_EQ(bqxDAConvert(m_h, 2, c.code), BQX_OK);
    EXPECT_EQ(Sample(2), c.expected);
    EXPECT_EQ(Sample(6), c.expected) << "channel 6 reads D/A output 6 mod 4 = 2";
    EXPECT_EQ(Sample(30), c.expected);
}

// 0..4095 spans -10..+10 V; +10 V clamps to the largest code.
INSTANTIATE_TEST_SUITE_P(Codes, DaLoopback,
                         ::testing::Values(DaCase{0, -32768}, DaCase{4095, 32767},
                                           DaCase{2048, CodeFor(-10.0 + 20.0 * 2048 / 4095)},
                                           DaCase{5, CodeFor(-10.0 + 20.0 * 5 / 4095)},
                                           DaCase{4091, CodeFor(-10.0 + 20.0 * 4091 / 4095)}),
                         [](const auto& row) { return "Code" + std::to_string(row.param.code); });

TEST_F(Analog, BadArgumentsAreRefused) {
    EXPECT_EQ(bqxDAConvert(m_h, 4, 100), BQX_E_ARGUMENT);
    EXPECT_EQ(bqxDAConvert(m_h, 0, 4096), BQX_E_ARGUMENT);
    EXPECT_EQ(bqxADSetChannel(m_h, 3, 2), BQX_E_CHANNEL);
    EXPECT_EQ(bqxADSample(m_h, nullptr), BQX_E_ARGUMENT);
    ADSettings settings{17, {0, 1, 0, 1, 0}};
    EXPECT_EQ(bqxADSetSettings(m_h, &settings), BQX_OK) << "a 32-channel board has channel 17";
    ScanRequest req{};
    req.lowChannel = 17;
    req.highChannel = 20;
    int16_t four[4];
    EXPECT_EQ(bqxADScan(m_h, &req, four), BQX_OK);
    req.highChannel = 32;
    EXPECT_EQ(bqxADScan(m_h, &req, four), BQX_E_CHANNEL);
}

TEST_F(Analog, NoiseHasTheConfiguredSpreadAndRepeatsWithASeed) {
    Configure("noise_lsb = 1.5");
    auto run = [&] {
        Configure("seed = 77");
        ASSERT_EQ(bqxFreeBoard(m_h), BQX_OK);
        m_h = Open();
    };
    run();
    bqxSetCalMux(m_h, 1);
    std::vector<int> first;
    double sum = 0, sumSq = 0;
    const int n = 2000;
    bqxADSetChannel(m_h, 1, 1);
    for (int i = 0; i < n; ++i) {
        int16_t s = 0;
        bqxADSample(m_h, &s);
        first.push_back(s);
        const double d = s - 2.4987 / 10.0 * 32768.0;
        sum += d;
        sumSq += d * d;
    }
    const double mean = sum / n;
    const double sd = std::sqrt(sumSq / n - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.2);
    EXPECT_NEAR(sd, 1.5, 0.25);
    run();
    bqxSetCalMux(m_h, 1);
    bqxADSetChannel(m_h, 1, 1);
    for (int i = 0; i < 20; ++i) {
        int16_t s = 0;
        bqxADSample(m_h, &s);
        EXPECT_EQ(s, first[static_cast<std::size_t>(i)]) << "sample " << i << " with the same seed";
    }
}

TEST_F(Analog, TerminalsCarryTheSelectedReferenceOnlyWhileTheMuxIsOn) {
    EXPECT_EQ(ReadFile("reference-terminals"), "open\n");
    bqxADSetChannel(m_h, 0, 0);
    EXPECT_EQ(ReadFile("reference-terminals"), "open\n") << "mux off";
    bqxSetCalMux(m_h, 1);
    EXPECT_EQ(ReadFile("reference-terminals"), "4.996200000\n");
    bqxADSetChannel(m_h, 3, 3);
    EXPECT_EQ(ReadFile("reference-terminals"), "0.624700000\n");
    bqxADSetChannel(m_h, 4, 4);
    EXPECT_EQ(ReadFile("reference-terminals"), "0.000400000\n");
    bqxADSetChannel(m_h, 5, 5);
    EXPECT_EQ(ReadFile("reference-terminals"), "open\n") << "channel 5 carries no reference";
    bqxADSetChannel(m_h, 1, 1);
    EXPECT_EQ(ReadFile("reference-terminals"), "2.498700000\n");
    Configure("reference1 = 2.5123");
    EXPECT_EQ(ReadFile("reference-terminals"), "2.512300000\n");
    bqxSetCalMux(m_h, 0);
    EXPECT_EQ(ReadFile("reference-terminals"), "open\n");
    bqxSetCalMux(m_h, 1);
    EXPECT_EQ(ReadFile("reference-terminals"), "2.512300000\n");
    bqxFreeBoard(m_h);
    EXPECT_EQ(ReadFile("reference-terminals"), "open\n") << "a closed board carries nothing";
}

struct ChannelFaultCase {
    const char* name;
    const char* line;
    bool onSetChannel;
    int fromChannel;
    uint8_t code;
};

class ChannelFaults : public Analog, public ::testing::WithParamInterface<ChannelFaultCase> {};

TEST_P(ChannelFaults, FailFromTheGivenChannelOn) {
    const auto& c = GetParam();
    Configure(c.line);
    for (int ch = 0; ch < 32; ++ch) {
        const uint8_t set = bqxADSetChannel(m_h, uint8_t(ch), uint8_t(ch));
        int16_t s = 0;
        const uint8_t sample = set == BQX_OK ? bqxADSample(m_h, &s) : set;
        const uint8_t seen = c.onSetChannel ? set : sample;
        if (ch < c.fromChannel)
            ASSERT_EQ(seen, BQX_OK) << "channel " << ch;
        else
            ASSERT_EQ(seen, c.code) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ChannelFaults,
    ::testing::Values(ChannelFaultCase{"SetChannelDefaultCode", "fail_set_channel_from = 7", true, 7,
                                       BQX_E_HARDWARE},
                      ChannelFaultCase{"SetChannelGivenCode", "fail_set_channel_from = 3:44", true, 3, 44},
                      ChannelFaultCase{"SampleFromFive", "fail_sample_from = 5", false, 5, BQX_E_HARDWARE},
                      ChannelFaultCase{"SampleFromZero", "fail_sample_from = 0:9", false, 0, 9}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Analog, SleepIsScaledByTheTimeScale) {
    Configure("time_scale = 0.01");
    uint32_t before = 0, after = 0;
    bqxGetTime(&before);
    ASSERT_EQ(bqxSleep(2000), BQX_OK);
    bqxGetTime(&after);
    EXPECT_GE(after - before, 15u);
    EXPECT_LT(after - before, 500u) << "2000 ms at a time scale of 0.01";
    Configure("time_scale = 1");
    bqxGetTime(&before);
    bqxSleep(60);
    bqxGetTime(&after);
    EXPECT_GE(after - before, 60u);
}

}  // namespace
