#include "DriverFixture.h"

#include "platform/DriverLibrary.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace {

// The library is loaded once for the whole run, as the tool loads it at start-up.
class LoadDriverOnce : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(vantrel::platform::LoadDriverLibrary({BQXSIM_LIBRARY_DIR}))
            << "no libbqxdrv.so in " << BQXSIM_LIBRARY_DIR;
    }
    void TearDown() override { vantrel::platform::ResetDriverLibrary(); }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LoadDriverOnce);

template <typename Fn>
Fn Extension(const char* name) {
    void* symbol = vantrel::platform::DriverSymbol(name);
    EXPECT_NE(symbol, nullptr) << "the driver exports no " << name;
    return reinterpret_cast<Fn>(symbol);
}

}  // namespace

void DriverFixture::SetUp() {
    (void)g_environment;
    m_previousDir = std::filesystem::current_path();
    std::random_device seed;
    m_dir = std::filesystem::temp_directory_path() /
            ("bqxsim-test-" + std::to_string(getpid()) + "-" + std::to_string(seed()));
    std::filesystem::create_directories(m_dir);
    std::filesystem::current_path(m_dir);
    ASSERT_EQ(bqxInit(BQX_REQUIRED_VERSION), BQX_OK);
}

void DriverFixture::TearDown() {
    bqxFree();
    std::filesystem::current_path(m_previousDir);
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

void DriverFixture::WriteBench(std::initializer_list<std::string> lines) {
    std::ofstream out(m_dir / "bench.ini");
    for (const auto& line : lines) out << line << "\n";
}

uint8_t DriverFixture::Restart() {
    bqxFree();
    return bqxInit(BQX_REQUIRED_VERSION);
}

int DriverFixture::TryConfigure(const std::string& line) {
    auto configure = Extension<BqxsimConfigureFn>("bqxsimConfigure");
    return configure ? configure(line.c_str()) : -1;
}

void DriverFixture::Configure(const std::string& line) {
    ASSERT_EQ(TryConfigure(line), 0) << "the driver refused the bench line '" << line << "'";
}

std::string DriverFixture::CallLog() {
    auto log = Extension<BqxsimCallLogFn>("bqxsimCallLog");
    if (!log) return {};
    const std::size_t size = log(nullptr, 0);
    std::string text(size + 1, '\0');
    EXPECT_EQ(log(text.data(), text.size()), size);
    text.resize(size);
    return text;
}

void DriverFixture::ClearCallLog() {
    if (auto clear = Extension<BqxsimClearCallLogFn>("bqxsimClearCallLog")) clear();
}

uint8_t DriverFixture::TryOpen(uint8_t type, uint16_t base, uint32_t irq, BoardHandle* handle) {
    BoardConfig config{};
    config.boardType = type;
    config.baseAddress = base;
    config.interruptLevel = irq;
    config.clockHz = 10000000;
    config.clockEnable = 1;
    return bqxInitBoard(type, &config, handle);
}

BoardHandle DriverFixture::Open(uint8_t type, uint16_t base, uint32_t irq) {
    BoardHandle handle = BQX_NO_BOARD;
    const uint8_t code = TryOpen(type, base, irq, &handle);
    EXPECT_EQ(code, BQX_OK) << "bqxInitBoard(" << int(type) << ", base 0x" << std::hex << base << std::dec
                            << ", irq " << irq << ")";
    EXPECT_NE(handle, BQX_NO_BOARD);
    return handle;
}

std::string DriverFixture::ReadFile(const std::string& name) const {
    std::ifstream in(m_dir / name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<uint8_t> DriverFixture::ReadBytes(const std::string& name) const {
    std::ifstream in(m_dir / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool DecodeEepromReferences(const std::vector<uint8_t>& image, std::vector<double>& references) {
    references.clear();
    if (image.size() != 128) return false;
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < 73; ++i) {
        crc = static_cast<uint16_t>(crc ^ (image[static_cast<std::size_t>(i)] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    if (image[73] != (crc & 0xFF) || image[74] != (crc >> 8)) return false;
    const int count = image[16];
    if (count > 7) return false;
    for (int i = 0; i < count; ++i) {
        uint64_t bits = 0;
        for (int b = 7; b >= 0; --b) bits = (bits << 8) | image[static_cast<std::size_t>(17 + 8 * i + b)];
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        references.push_back(v);
    }
    return true;
}

int RunInChild(bool unprivileged, int (*body)()) {
    const pid_t child = fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (unprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(kCannotDropPrivileges);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 255;
    return WEXITSTATUS(status);
}
