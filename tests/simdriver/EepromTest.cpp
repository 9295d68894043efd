// The EEPROM reference table: round trip, persistence, refusal of bad values, crash safety.
#include "DriverFixture.h"

#include "platform/DriverLibrary.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <thread>

namespace {

class Eeprom : public DriverFixture {};

std::vector<double> Stored(BoardHandle h, uint8_t expectedCode = BQX_OK) {
    double refs[8];
    std::fill(std::begin(refs), std::end(refs), -1.0);
    EXPECT_EQ(bqxGetReferenceVoltages(h, refs), expectedCode);
    return std::vector<double>(refs, refs + 8);
}

TEST_F(Eeprom, FreshImageHoldsTheTrueReferences) {
    BoardHandle h = Open(20, 0x240, 5);  // four references
    EXPECT_EQ(Stored(h), (std::vector<double>{4.9962, 2.4987, 1.2493, 0.6247, 0, 0, 0, 0}));
    std::vector<double> decoded;
    ASSERT_TRUE(DecodeEepromReferences(ReadBytes("bqxsim-eeprom.bin"), decoded));
    EXPECT_EQ(decoded, (std::vector<double>{4.9962, 2.4987, 1.2493, 0.6247}));
    uint8_t byte = 0;
    ASSERT_EQ(bqxGetEEPROM(h, 0, &byte), BQX_OK);
    EXPECT_EQ(byte, 20);
    ASSERT_EQ(bqxGetEEPROM(h, 127, &byte), BQX_OK);
    EXPECT_EQ(byte, 0xFF) << "unused bytes are erased";
    EXPECT_EQ(bqxGetEEPROM(h, 128, &byte), BQX_E_ARGUMENT);
}

TEST_F(Eeprom, WrittenReferencesReadBackAndPersistAcrossAReload) {
    BoardHandle h = Open(27, 0x300, 7);
    const double refs[] = {4.9871, 2.5012, 1.2478, 0.6251, 0.0003, 7.4990, 10.0, 0.0};
    ASSERT_EQ(bqxSetReferenceVoltages(h, refs), BQX_OK);
    EXPECT_EQ(Stored(h), std::vector<double>(refs, refs + 8));
    // Read the EEPROM bytes the way View EEPROM does, before and after a reload.
    std::vector<uint8_t> bytes(128);
    for (int a = 0; a < 128; ++a) bqxGetEEPROM(h, uint8_t(a), &bytes[std::size_t(a)]);
    EXPECT_EQ(bytes, ReadBytes("bqxsim-eeprom.bin"));

    bqxFree();
    vantrel::platform::ResetDriverLibrary();
    ASSERT_TRUE(vantrel::platform::LoadDriverLibrary({BQXSIM_LIBRARY_DIR}));
    ASSERT_EQ(bqxInit(BQX_REQUIRED_VERSION), BQX_OK);
    h = Open(27, 0x300, 7);
    EXPECT_EQ(Stored(h), std::vector<double>(refs, refs + 8));
}

TEST_F(Eeprom, EepromFileComesFromTheBench) {
    WriteBench({"eeprom = board-7.bin"});
    ASSERT_EQ(Restart(), BQX_OK);
    Open(33, 0x280, 5);
    EXPECT_EQ(ReadBytes("board-7.bin").size(), 128u);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "bqxsim-eeprom.bin"));
}

class NonFiniteReference : public Eeprom, public ::testing::WithParamInterface<double> {};

TEST_P(NonFiniteReference, IsRefusedAndNothingIsWritten) {
    BoardHandle h = Open(27, 0x300, 7);
    const auto before = ReadBytes("bqxsim-eeprom.bin");
    double refs[] = {4.99, 2.49, 1.24, 0.62, 0.0, 7.5, 9.9, 0.0};
    refs[2] = GetParam();
    EXPECT_EQ(bqxSetReferenceVoltages(h, refs), BQX_E_ARGUMENT);
    EXPECT_EQ(ReadBytes("bqxsim-eeprom.bin"), before);
    EXPECT_EQ(Stored(h)[0], 4.9962) << "the stored table is unchanged";
}

INSTANTIATE_TEST_SUITE_P(Values, NonFiniteReference,
                         ::testing::Values(std::numeric_limits<double>::quiet_NaN(),
                                           std::numeric_limits<double>::infinity(),
                                           -std::numeric_limits<double>::infinity()));

TEST_F(Eeprom, OnlyTheModelsReferenceCountIsWritten) {
    BoardHandle h = Open(20, 0x240, 5);  // four references
    const double refs[] = {5.01, 2.51, 1.26, 0.63, 0.0};
    ASSERT_EQ(bqxSetReferenceVoltages(h, refs), BQX_OK);
    EXPECT_EQ(Stored(h), (std::vector<double>{5.01, 2.51, 1.26, 0.63, 0, 0, 0, 0}));
}

TEST_F(Eeprom, CorruptImageReadsAsAnEepromErrorUntilRewritten) {
    {
        BoardHandle h = Open(27, 0x300, 7);
        bqxFreeBoard(h);
    }
    auto bytes = ReadBytes("bqxsim-eeprom.bin");
    bytes[20] ^= 0x40;
    {
        std::ofstream out(m_dir / "bqxsim-eeprom.bin", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    BoardHandle h = Open(27, 0x300, 7);
    EXPECT_EQ(Stored(h, BQX_E_EEPROM), std::vector<double>(8, 0.0));
    const double refs[] = {4.99, 2.49, 1.24, 0.62, 0.0, 7.5, 9.9, 0.0};
    ASSERT_EQ(bqxSetReferenceVoltages(h, refs), BQX_OK);
    EXPECT_EQ(Stored(h), std::vector<double>(refs, refs + 8));
}

// Without an open board under the handle the driver cannot know how long the array is: it
// answers the code and reads none of it (a one-value array on the heap shows it under ASan).
TEST_F(Eeprom, CallWithoutAnOpenBoardReadsNothingOfTheArray) {
    const std::unique_ptr<double[]> one(new double[1]{4.99});
    const BoardHandle h = Open(27, 0x300, 7);  // seven references
    struct Case {
        const char* state;
        BoardHandle handle;
        uint8_t code;
    };
    for (const Case c : {Case{"wrong handle", 5, BQX_E_BAD_HANDLE}, Case{"board freed", h, BQX_E_BAD_HANDLE},
                         Case{"driver freed", h, BQX_E_NOT_STARTED}}) {
        if (std::string(c.state) == "board freed") {
            ASSERT_EQ(bqxFreeBoard(h), BQX_OK);
        }
        if (std::string(c.state) == "driver freed") {
            ASSERT_EQ(bqxFree(), BQX_OK);
        }
        ClearCallLog();
        EXPECT_EQ(bqxSetReferenceVoltages(c.handle, one.get()), c.code) << c.state;
        EXPECT_EQ(CallLog(), "bqxSetReferenceVoltages(" + std::to_string(c.handle) + ")\n") << c.state;
    }
}

// A temporary whose writer is gone goes with the next write; one of a running writer stays.
TEST_F(Eeprom, TemporariesOfKilledWritersAreRemoved) {
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    const auto stale = m_dir / ("bqxsim-eeprom.bin.tmp." + std::to_string(gone));
    const auto running = m_dir / ("bqxsim-eeprom.bin.tmp." + std::to_string(getppid()));
    for (const auto& file : {stale, running}) std::ofstream(file) << "half";
    BoardHandle h = Open(27, 0x300, 7);
    const double refs[] = {4.99, 2.49, 1.24, 0.62, 0.0, 7.5, 9.9, 0.0};
    ASSERT_EQ(bqxSetReferenceVoltages(h, refs), BQX_OK);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(running));
}

TEST_F(Eeprom, InjectedReadFailureAnswersTheCode) {
    Configure("fail_get_references = 10");
    BoardHandle h = Open();
    double refs[8] = {};
    EXPECT_EQ(bqxGetReferenceVoltages(h, refs), 10);
}

// A writer process killed at random moments must leave the old or the new table, whole.
TEST_F(Eeprom, KilledWriterNeverLeavesATornImage) {
    const std::vector<double> a = {4.9001, 2.5001, 1.2501, 0.6201, 0.0001, 7.5001, 9.9001};
    const std::vector<double> b = {4.9902, 2.4902, 1.2402, 0.6302, 0.0002, 7.4902, 9.8902};
    const std::vector<double> initial = {4.9962, 2.4987, 1.2493, 0.6247, 0.0004, 7.5012, 9.9987};
    {
        BoardHandle h = Open(27, 0x300, 7);  // creates the image
        bqxFreeBoard(h);
    }
    ASSERT_EQ(bqxFree(), BQX_OK);  // no scan thread lives across the fork
    std::mt19937 random(2024);
    int killedMidWrite = 0;
    for (int round = 0; round < 25; ++round) {
        // The writer says when its first table is written: the kill then lands among writes
        // however slowly the writer starts (a loaded machine, a sanitizer).
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(started[0]);
            if (bqxInit(BQX_REQUIRED_VERSION) != BQX_OK) _exit(3);
            BoardConfig config{};
            config.boardType = 27;
            config.baseAddress = 0x300;
            config.interruptLevel = 7;
            BoardHandle h = BQX_NO_BOARD;
            if (bqxInitBoard(27, &config, &h) != BQX_OK) _exit(4);
            for (unsigned i = 0;; ++i) {
                std::vector<double> values = (i % 2) ? b : a;
                values.push_back(0.0);
                bqxSetReferenceVoltages(h, values.data());
                if (i == 0 && (write(started[1], "w", 1) != 1 || close(started[1]) != 0)) _exit(5);
            }
        }
        close(started[1]);
        char mark = 0;
        const bool wrote = read(started[0], &mark, 1) == 1;
        close(started[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(wrote && WIFSIGNALED(status)) << "the writer ended by itself with " << status;
        std::vector<double> decoded;
        ASSERT_TRUE(DecodeEepromReferences(ReadBytes("bqxsim-eeprom.bin"), decoded))
            << "round " << round << ": the image fails its checksum";
        EXPECT_TRUE(decoded == a || decoded == b || decoded == initial) << "round " << round;
        killedMidWrite += decoded != initial;
    }
    EXPECT_GT(killedMidWrite, 0) << "the writer never got to write";
    ASSERT_EQ(bqxInit(BQX_REQUIRED_VERSION), BQX_OK);
    BoardHandle h = Open(27, 0x300, 7);
    const auto stored = Stored(h);
    EXPECT_TRUE(std::vector<double>(stored.begin(), stored.begin() + 7) == a ||
                std::vector<double>(stored.begin(), stored.begin() + 7) == b);
}

enum class ImageFault { NoPermission, Folder, Fifo };

std::string ImageFaultName(ImageFault fault) {
    switch (fault) {
    case ImageFault::NoPermission: return "NoPermissionAsUnprivilegedUser";
    case ImageFault::Folder: return "Folder";
    case ImageFault::Fifo: return "Fifo";
    }
    return "";
}

class ImageOutOfReach : public Eeprom, public ::testing::WithParamInterface<ImageFault> {};

// The code of bqxInitBoard in a freshly started driver, or 100 and up when it got no further.
int OpenBoard() {
    if (bqxInit(BQX_REQUIRED_VERSION) != BQX_OK) return 100;
    BoardConfig config{};
    config.boardType = 27;
    config.baseAddress = 0x300;
    config.interruptLevel = 7;
    BoardHandle h = 99;
    const uint8_t code = bqxInitBoard(27, &config, &h);
    return code == BQX_OK || h == BQX_NO_BOARD ? code : 101;
}

// An image that exists but cannot be read fails the open and is left as it was; only a
// missing image starts afresh.
TEST_P(ImageOutOfReach, FailsTheOpenAndIsLeftAlone) {
    const auto image = m_dir / "bqxsim-eeprom.bin";
    {
        BoardHandle h = Open(27, 0x300, 7);
        const double refs[] = {4.91, 2.41, 1.21, 0.61, 0.01, 7.41, 9.91, 0.0};
        ASSERT_EQ(bqxSetReferenceVoltages(h, refs), BQX_OK);
    }
    ASSERT_EQ(bqxFree(), BQX_OK);  // no scan thread lives across the fork
    std::filesystem::permissions(m_dir, std::filesystem::perms::all);
    const auto before = ReadBytes("bqxsim-eeprom.bin");
    switch (GetParam()) {
    case ImageFault::NoPermission: std::filesystem::permissions(image, std::filesystem::perms::none); break;
    case ImageFault::Folder:
        std::filesystem::remove(image);
        std::filesystem::create_directory(image);
        break;
    case ImageFault::Fifo:
        std::filesystem::remove(image);
        ASSERT_EQ(mkfifo(image.c_str(), 0644), 0);
        break;
    }
    const int code = RunInChild(GetParam() == ImageFault::NoPermission, OpenBoard);
    if (code == kCannotDropPrivileges) GTEST_SKIP() << "cannot drop privileges to user nobody";
    EXPECT_EQ(code, BQX_E_EEPROM);
    if (GetParam() == ImageFault::NoPermission) {
        std::filesystem::permissions(image, std::filesystem::perms::owner_read);
        EXPECT_EQ(ReadBytes("bqxsim-eeprom.bin"), before);
    } else {
        EXPECT_FALSE(std::filesystem::is_regular_file(image)) << "the image was replaced";
    }
    EXPECT_EQ(bqxInit(BQX_REQUIRED_VERSION), BQX_OK);
}

INSTANTIATE_TEST_SUITE_P(Faults, ImageOutOfReach,
                         ::testing::Values(ImageFault::NoPermission, ImageFault::Folder, ImageFault::Fifo),
                         [](const ::testing::TestParamInfo<ImageFault>& row) {
                             return ImageFaultName(row.param);
                         });

}  // namespace
