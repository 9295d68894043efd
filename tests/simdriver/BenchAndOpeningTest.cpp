// Starting the driver, reading the bench description, and opening boards.
#include "DriverFixture.h"

#include "platform/DriverLibrary.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct ModelRow {
    uint8_t type;
    int channels;
    int references;
};

const ModelRow kModels[] = {
    {27, 32, 7}, {34, 32, 0}, {33, 16, 7}, {20, 32, 4}, {32, 32, 7},
    {36, 32, 7}, {15, 16, 6}, {0, 16, 0},  {12, 32, 7},
};

class DriverStart : public DriverFixture {};

TEST_F(DriverStart, CallsBeforeInitAndAfterFreeAnswerNotStarted) {
    ASSERT_EQ(bqxFree(), BQX_OK);
    uint32_t ms = 0;
    uint8_t byte = 0;
    BoardHandle handle = BQX_NO_BOARD;
    EXPECT_EQ(bqxGetTime(&ms), BQX_E_NOT_STARTED);
    EXPECT_EQ(bqxInp(0x300, &byte), BQX_E_NOT_STARTED);
    EXPECT_EQ(bqxSleep(1), BQX_E_NOT_STARTED);
    EXPECT_EQ(TryOpen(27, 0x300, 7, &handle), BQX_E_NOT_STARTED);
    EXPECT_EQ(bqxFree(), BQX_E_NOT_STARTED);
    EXPECT_EQ(bqxInit(BQX_REQUIRED_VERSION), BQX_OK);
}

TEST_F(DriverStart, OnlyVersion602IsAccepted) {
    EXPECT_EQ(Restart(), BQX_OK);
    bqxFree();
    EXPECT_EQ(bqxInit(0x0601), BQX_E_VERSION);
    EXPECT_EQ(bqxInit(0x0603), BQX_E_VERSION);
    WriteBench({"library_version = 0x601"});
    EXPECT_EQ(Restart(), BQX_E_VERSION) << "a library of another version must refuse 6.02";
    uint32_t ms = 0;
    EXPECT_EQ(bqxGetTime(&ms), BQX_E_NOT_STARTED);
}

TEST_F(DriverStart, InitAndFreeRepeatStartAfresh) {
    for (int round = 0; round < 5; ++round) {
        BoardHandle h = Open();
        ASSERT_EQ(bqxSetCalMux(h, 1), BQX_OK);
        ASSERT_EQ(Restart(), BQX_OK);
        // The board was closed by bqxFree: it opens again without a handle conflict.
        h = Open();
        EXPECT_EQ(bqxFreeBoard(h), BQX_OK);
    }
}

struct MalformedBench {
    const char* name;
    std::vector<std::string> lines;
    int badLine;
};

class MalformedBenchFile : public DriverFixture, public ::testing::WithParamInterface<MalformedBench> {};

TEST_P(MalformedBenchFile, FailsInitNamesTheLineAndAppliesNothing) {
    const auto& param = GetParam();
    {
        std::ofstream out(m_dir / "bench.ini");
        for (const auto& line : param.lines) out << line << "\n";
    }
    bqxFree();
    ::testing::internal::CaptureStderr();
    const uint8_t code = bqxInit(BQX_REQUIRED_VERSION);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, BQX_E_BENCH_FILE);
    const std::string where = "bench.ini:" + std::to_string(param.badLine) + ":";
    EXPECT_NE(err.find(where), std::string::npos) << "expected '" << where << "' in: " << err;
    // Nothing of the file is applied: with a good file afterwards the defaults hold.
    WriteBench({"# fine"});
    ASSERT_EQ(Restart(), BQX_OK);
    BoardHandle h = Open(33, 0x280, 5);
    uint32_t rev = 0;
    ASSERT_EQ(bqxGetFPGARev(h, &rev), BQX_OK);
    EXPECT_EQ(rev, 0x1A3u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MalformedBenchFile,
    ::testing::Values(MalformedBench{"UnknownKey", {"fpga_revision = 0x222", "colour = red"}, 2},
                      MalformedBench{"NoEquals", {"# comment", "", "model 27"}, 3},
                      MalformedBench{"UnknownModel", {"model = 99"}, 1},
                      MalformedBench{"BadHex", {"base = 0x3g0"}, 1},
                      MalformedBench{"NotANumber", {"fpga_revision = 0x222", "noise_lsb = lots"}, 2},
                      MalformedBench{"InfiniteReference", {"reference0 = inf"}, 1},
                      MalformedBench{"FlagOutOfRange", {"scan_never_ends = 2"}, 1},
                      MalformedBench{"OffsetWithoutCodes", {"scan_channel_offset = 2"}, 1},
                      MalformedBench{"EmptyKey", {" = 4"}, 1},
                      MalformedBench{"CodeTooLarge", {"fail_scan_int = 256"}, 1},
                      MalformedBench{"NulInValue", {"# fine", std::string("eeprom = a.bin\0b", 16)}, 2},
                      MalformedBench{"OverlongLine", {"seed = 1", "# " + std::string(5000, 'x')}, 2},
                      MalformedBench{"OneOverTheLineLimit", {"seed = 1", "# " + std::string(4095, 'x')}, 2}),
    [](const auto& row) { return std::string(row.param.name); });

// A line of exactly 4096 characters is still a line of the file.
TEST_F(DriverStart, BenchLineAtTheLimitIsTaken) {
    WriteBench({"# " + std::string(4094, 'x'), "fpga_revision = 0x222"});
    ASSERT_EQ(Restart(), BQX_OK);
    BoardHandle h = Open(33, 0x280, 5);
    uint32_t rev = 0;
    ASSERT_EQ(bqxGetFPGARev(h, &rev), BQX_OK);
    EXPECT_EQ(rev, 0x222u);
}

enum class BenchFault { NoPermission, Folder, Fifo, EndlessDevice };

std::string BenchFaultName(BenchFault fault) {
    switch (fault) {
    case BenchFault::NoPermission: return "NoPermissionAsUnprivilegedUser";
    case BenchFault::Folder: return "Folder";
    case BenchFault::Fifo: return "Fifo";
    case BenchFault::EndlessDevice: return "LinkToDevZero";
    }
    return "";
}

class BenchFileOutOfReach : public DriverFixture, public ::testing::WithParamInterface<BenchFault> {};

// A bench file that is there but cannot be read is never taken for "no file", which would
// run the bench as another board; nor may it block or grow without bound.
TEST_P(BenchFileOutOfReach, FailsInitAndSaysWhy) {
    const auto bench = m_dir / "bench.ini";
    bqxFree();
    std::filesystem::permissions(m_dir, std::filesystem::perms::all);
    switch (GetParam()) {
    case BenchFault::NoPermission:
        WriteBench({"model = 20"});
        std::filesystem::permissions(bench, std::filesystem::perms::none);
        break;
    case BenchFault::Folder: std::filesystem::create_directory(bench); break;
    case BenchFault::Fifo: ASSERT_EQ(mkfifo(bench.c_str(), 0644), 0); break;
    case BenchFault::EndlessDevice: std::filesystem::create_symlink("/dev/zero", bench); break;
    }
    const int code = RunInChild(GetParam() == BenchFault::NoPermission, [] {
        ::testing::internal::CaptureStderr();
        const int result = bqxInit(BQX_REQUIRED_VERSION);
        const std::string err = ::testing::internal::GetCapturedStderr();
        return err.rfind("bench.ini: ", 0) == 0 ? result : 200;
    });
    if (code == kCannotDropPrivileges) GTEST_SKIP() << "cannot drop privileges to user nobody";
    EXPECT_EQ(code, BQX_E_BENCH_FILE) << "200: the message does not begin with \"bench.ini: \"";
    std::filesystem::remove(bench);
}

INSTANTIATE_TEST_SUITE_P(Faults, BenchFileOutOfReach,
                         ::testing::Values(BenchFault::NoPermission, BenchFault::Folder, BenchFault::Fifo,
                                           BenchFault::EndlessDevice),
                         [](const ::testing::TestParamInfo<BenchFault>& row) {
                             return BenchFaultName(row.param);
                         });

TEST_F(DriverStart, RefusedValueIsQuotedShort) {
    const std::string huge(1 << 20, '7');
    ::testing::internal::CaptureStderr();
    EXPECT_NE(TryConfigure("seed = x" + huge), 0);
    EXPECT_NE(TryConfigure("k" + huge + " = 1"), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_LT(err.size(), 400u) << err.substr(0, 400);
    EXPECT_NE(err.find("(1048577 characters)"), std::string::npos) << err.substr(0, 400);
}

class BoardOpening : public DriverFixture {};

TEST_F(BoardOpening, EveryModelOpensWithItsIdentityAndCounts) {
    for (const auto& m : kModels) {
        SCOPED_TRACE("type code " + std::to_string(m.type));
        BoardHandle h = Open(m.type, 0x300, 7);
        uint8_t type = 0, channels = 0, capacity = 0;
        ASSERT_EQ(bqxGetEEPROM(h, 0, &type), BQX_OK);
        ASSERT_EQ(bqxGetEEPROM(h, 8, &channels), BQX_OK);
        ASSERT_EQ(bqxGetEEPROM(h, 9, &capacity), BQX_OK);
        EXPECT_EQ(type, m.type);
        EXPECT_EQ(channels, m.channels);
        EXPECT_EQ(capacity, m.references);
        uint8_t reg0 = 0;
        EXPECT_EQ(
            bqxADSetChannel(h, static_cast<uint8_t>(m.channels - 1), static_cast<uint8_t>(m.channels - 1)),
            BQX_OK);
        EXPECT_EQ(bqxADSetChannel(h, static_cast<uint8_t>(m.channels), static_cast<uint8_t>(m.channels)),
                  BQX_E_CHANNEL);
        (void)reg0;
        double refs[8];
        ASSERT_EQ(bqxGetReferenceVoltages(h, refs), BQX_OK);
        for (int i = 0; i < 8; ++i) {
            if (i < m.references)
                EXPECT_NE(refs[i], 0.0) << "reference " << i;
            else
                EXPECT_EQ(refs[i], 0.0) << "reference " << i << " beyond the count";
        }
        ASSERT_EQ(bqxFreeBoard(h), BQX_OK);
        // The next model is another board in the same slot: start from a blank EEPROM file.
        std::filesystem::remove(m_dir / "bqxsim-eeprom.bin");
    }
}

struct OpenCase {
    const char* name;
    std::vector<std::string> bench;
    uint8_t type;
    uint16_t base;
    uint32_t irq;
    uint8_t expected;
};

class OpenValidation : public DriverFixture, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenValidation, AnswersTheDistinctCode) {
    const auto& c = GetParam();
    {
        std::ofstream out(m_dir / "bench.ini");
        for (const auto& line : c.bench) out << line << "\n";
    }
    ASSERT_EQ(Restart(), BQX_OK);
    BoardHandle h = 1234;
    EXPECT_EQ(TryOpen(c.type, c.base, c.irq, &h), c.expected);
    if (c.expected != BQX_OK) {
        EXPECT_EQ(h, BQX_NO_BOARD) << "a failed open leaves no handle";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenValidation,
    ::testing::Values(
        OpenCase{"DefaultBenchTakesWhatIsAsked", {}, 20, 0x240, 5, BQX_OK},
        OpenCase{"UnknownTypeCode", {}, 99, 0x300, 7, BQX_E_BOARD_TYPE},
        OpenCase{"TypeWithReferencesButNoModel", {}, 16, 0x300, 7, BQX_E_BOARD_TYPE},
        OpenCase{"BaseZeroHasNoBoard", {}, 27, 0, 7, BQX_E_NO_BOARD},
        OpenCase{"UnalignedBase", {}, 27, 0x305, 7, BQX_E_NO_BOARD},
        OpenCase{"UnusableInterrupt", {}, 27, 0x300, 8, BQX_E_INTERRUPT},
        OpenCase{"InterruptZero", {}, 27, 0x300, 0, BQX_E_INTERRUPT},
        OpenCase{"FixedBenchMatches", {"model = 33", "base = 0x280", "irq = 5"}, 33, 0x280, 5, BQX_OK},
        OpenCase{
            "FixedBenchOtherBase", {"model = 33", "base = 0x280", "irq = 5"}, 33, 0x300, 5, BQX_E_NO_BOARD},
        OpenCase{"FixedBenchOtherModel",
                 {"model = 33", "base = 0x280", "irq = 5"},
                 27,
                 0x280,
                 5,
                 BQX_E_BOARD_TYPE},
        OpenCase{"FixedBenchOtherInterrupt",
                 {"model = 33", "base = 0x280", "irq = 5"},
                 33,
                 0x280,
                 7,
                 BQX_E_INTERRUPT},
        OpenCase{"InjectedInitFailure", {"fail_init_board = 42"}, 27, 0x300, 7, 42}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(BoardOpening, SecondOpenAnswersHandleInUse) {
    BoardHandle h = Open();
    BoardHandle other = 7;
    EXPECT_EQ(TryOpen(27, 0x300, 7, &other), BQX_E_HANDLE_IN_USE);
    EXPECT_EQ(bqxFreeBoard(h), BQX_OK);
    EXPECT_EQ(bqxFreeBoard(h), BQX_E_BAD_HANDLE);
    uint32_t rev = 0;
    EXPECT_EQ(bqxGetFPGARev(h, &rev), BQX_E_BAD_HANDLE);
    EXPECT_EQ(bqxGetFPGARev(BoardHandle(h + 1), &rev), BQX_E_BAD_HANDLE);
}

TEST_F(BoardOpening, FpgaRevisionComesFromTheBench) {
    WriteBench({"fpga_revision = 5"});
    ASSERT_EQ(Restart(), BQX_OK);
    BoardHandle h = Open();
    uint32_t rev = 0;
    ASSERT_EQ(bqxGetFPGARev(h, &rev), BQX_OK);
    EXPECT_EQ(rev, 5u);
}

TEST_F(BoardOpening, CallLogRecordsCallsWithDecimalArguments) {
    BoardHandle h = Open(27, 768, 7);
    bqxSetCalMux(h, 1);
    bqxADSetChannel(h, 3, 3);
    uint8_t v = 0;
    bqxRegisterRead(h, 777, &v);
    bqxRegisterWrite(h, 7, 2);
    bqxInp(771, &v);
    bqxOutp(771, 7);
    bqxDAConvert(h, 2, 4091);
    bqxCancelOp(h);
    DriverStatus st{};
    bqxGetStatus(h, &st);
    Configure("time_scale = 0");
    bqxSleep(2000);
    const double refs[] = {4.996, 2.5, 1.25, 0.625, 0.0, 7.5, 9.75, 0.0};
    bqxSetReferenceVoltages(h, refs);
    const std::string expected =
        "bqxInit(1538)\n"
        "bqxInitBoard(27,base=768,irq=7)\n"
        "bqxSetCalMux(0,1)\n"
        "bqxADSetChannel(0,3,3)\n"
        "bqxRegisterRead(0,777)\n"
        "bqxRegisterWrite(0,7,2)\n"
        "bqxInp(771)\n"
        "bqxOutp(771,7)\n"
        "bqxDAConvert(0,2,4091)\n"
        "bqxCancelOp(0)\n"
        "bqxGetStatus(0)\n"
        "bqxSleep(2000)\n"
        "bqxSetReferenceVoltages(0,4.996000,2.500000,1.250000,0.625000,0.000000,7.500000,"
        "9.750000,0.000000)\n";
    EXPECT_EQ(CallLog(), expected);
    ClearCallLog();
    EXPECT_EQ(CallLog(), "");
    bqxFreeBoard(h);
    EXPECT_EQ(CallLog(), "bqxFreeBoard(0)\n");
}

TEST_F(BoardOpening, CallLogCopyIsTruncatedButTerminated) {
    Open();
    auto log = reinterpret_cast<BqxsimCallLogFn>(vantrel::platform::DriverSymbol("bqxsimCallLog"));
    ASSERT_NE(log, nullptr);
    const std::string full = CallLog();
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(log(small, sizeof small), full.size());
    EXPECT_EQ(std::string(small), full.substr(0, 7));
    EXPECT_EQ(log(nullptr, 0), full.size());
}

TEST_F(BoardOpening, ConfigureRefusesABadLineAndKeepsTheOldValue) {
    ::testing::internal::CaptureStderr();
    EXPECT_NE(TryConfigure("fpga_revision = banana"), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fpga_revision"), std::string::npos) << "stderr was: " << err;
    EXPECT_EQ(TryConfigure("# just a comment"), 0);
    BoardHandle h = Open();
    uint32_t rev = 0;
    ASSERT_EQ(bqxGetFPGARev(h, &rev), BQX_OK);
    EXPECT_EQ(rev, 0x1A3u);
}

}  // namespace
