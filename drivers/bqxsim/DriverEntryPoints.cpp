// The bqx calls of the driver library over the simulated bench, and the bqxsim extension
// calls. One lock serialises every call; the scan thread never takes it, so a call that
// waits for the scan (bqxCancelOp, bqxFreeBoard, bqxFree) cannot deadlock with it.
#include "bqxsim_ext.h"
#include "platform/bqxdrv.h"

#include "BenchDescription.h"
#include "CallLog.h"
#include "ReferenceTerminals.h"
#include "SimulatedBoard.h"
#include "SimulatedModels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bqxsim {
namespace {

constexpr const char* kBenchFile = "bench.ini";
constexpr BoardHandle kOnlyHandle = 0;
constexpr int kLowestBase = 0x100;
constexpr int kHighestBase = 0x3F0;
constexpr int kMaxReferencesPassed = 8;

struct Driver {
    std::mutex mutex;
    bool started = false;
    BenchDescription bench;
    std::unique_ptr<SimulatedBoard> board;
    CallLog log;
    ReferenceTerminals terminals;

    // Ends the board's scan and closes it.
    void CloseBoard() {
        if (!board) return;
        board->Scan().Cancel();
        board.reset();
        terminals.Publish(std::nullopt);
    }

    ~Driver() { CloseBoard(); }
};

Driver& TheDriver() {
    static Driver driver;
    return driver;
}

bool UsableInterrupt(std::uint32_t level) {
    switch (level) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 11:
    case 12:
    case 15: return true;
    default: return false;
    }
}

bool AnswersAt(int base) { return base >= kLowestBase && base <= kHighestBase && base % 16 == 0; }

// printf into a string.
std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printed(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return n < 0 ? std::string()
                 : std::string(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

// The structure a call passes, as its trace shows it; "null" without one.
std::string Traced(const BoardConfig* config) {
    return config ? Printed("base=%u,irq=%u", config->baseAddress, config->interruptLevel) : "null";
}
std::string Traced(const ADSettings* settings) {
    return settings ? Printed("%u", settings->channel) : "null";
}
std::string Traced(const ScanRequest* request) {
    return request ? Printed("low=%u,high=%u", request->lowChannel, request->highChannel) : "null";
}
std::string Traced(const ScanIntRequest* request) {
    return request
               ? Printed("count=%u,rate=%g,low=%u,high=%u", request->conversion_count,
                         static_cast<double>(request->rate_hz), request->low_channel, request->high_channel)
               : "null";
}

// ",<value>" as printf's %f gives it, cut to 46 characters.
std::string TracedValue(double value) {
    char text[48];
    std::snprintf(text, sizeof text, ",%f", value);
    return text;
}

std::vector<double> TrueReferences(const BenchDescription& bench, int count) {
    return std::vector<double>(bench.references, bench.references + count);
}

// Opens the EEPROM image of a freshly opened board, creating it from the board's true
// references when the file is absent or belongs to another model. False, with the file left
// alone, when the image exists but cannot be read: a fresh image must never replace a
// calibration that is only out of reach.
bool OpenEeprom(SimulatedBoard& board, const BenchDescription& bench) {
    std::error_code ec;
    auto path = std::filesystem::absolute(bench.eepromPath, ec);
    board.EepromPath() = ec ? bench.eepromPath : path.string();
    EepromImage& image = board.Eeprom();
    std::string error;
    const auto loaded = image.Load(board.EepromPath(), error);
    if (loaded == EepromImage::LoadResult::Refused) {
        std::fprintf(stderr, "bqxdrv: cannot read EEPROM image: %s\n", error.c_str());
        return false;
    }
    const int type = board.Model().typeCode;
    if (loaded == EepromImage::LoadResult::Unreadable) return true;  // reads as a corrupt EEPROM
    if (loaded == EepromImage::LoadResult::Loaded && image.TypeCode() == type) return true;
    const int count = board.Model().referenceCount;
    image = EepromImage::Fresh(type, bench.serialNumber, bench.fpgaRevision, board.Model().channels, count,
                               TrueReferences(bench, count));
    if (!image.Save(board.EepromPath(), error))
        std::fprintf(stderr, "bqxdrv: cannot write EEPROM image: %s\n", error.c_str());
    return true;
}

}  // namespace
}  // namespace bqxsim

using bqxsim::TheDriver;

// Takes the driver's lock for the rest of the call; d is the driver.
#define BQX_LOCK()         \
    auto& d = TheDriver(); \
    std::lock_guard lock(d.mutex)
// Records the call in the driver's call log as "name(arguments)", the arguments formatted as
// printf does; only under BQX_LOCK.
#define BQX_TRACE(format, ...) d.log.Add("%s(" format ")", __func__ __VA_OPT__(, ) __VA_ARGS__)
// A call that needs bqxInit first.
#define BQX_REQUIRE_STARTED() \
    if (!d.started) return BQX_E_NOT_STARTED
// A call on a board: the open board under handle h, as board.
#define BQX_REQUIRE_BOARD(h)                                             \
    BQX_REQUIRE_STARTED();                                               \
    if (!d.board || (h) != bqxsim::kOnlyHandle) return BQX_E_BAD_HANDLE; \
    [[maybe_unused]] auto& board = *d.board
// The opening of most calls: the lock, the call's line in the log, then the refusal of a call
// before bqxInit.
#define BQX_STARTED_CALL(format, ...)             \
    BQX_LOCK();                                   \
    BQX_TRACE(format __VA_OPT__(, ) __VA_ARGS__); \
    BQX_REQUIRE_STARTED()
// The opening of a call on the board under handle h: as BQX_STARTED_CALL with the handle first
// among the logged arguments, then the board as board.
#define BQX_BOARD_CALL(h, format, ...)                    \
    BQX_LOCK();                                           \
    BQX_TRACE("%u" format, h __VA_OPT__(, ) __VA_ARGS__); \
    BQX_REQUIRE_BOARD(h)

extern "C" {

BQX_API uint8_t bqxInit(uint16_t version) {
    BQX_LOCK();
    d.CloseBoard();
    d.started = false;
    d.log.Clear();
    BQX_TRACE("%u", version);
    d.terminals.Reset();
    bqxsim::BenchDescription bench;
    std::string error;
    if (!bqxsim::LoadBenchFile(bqxsim::kBenchFile, bench, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return BQX_E_BENCH_FILE;
    }
    d.bench = bench;
    if (version != d.bench.libraryVersion || d.bench.libraryVersion != BQX_REQUIRED_VERSION)
        return BQX_E_VERSION;
    d.started = true;
    return BQX_OK;
}

BQX_API uint8_t bqxFree(void) {
    BQX_STARTED_CALL("");
    d.CloseBoard();
    d.started = false;
    return BQX_OK;
}

BQX_API uint8_t bqxInitBoard(uint8_t boardType, BoardConfig* config, BoardHandle* handle) {
    BQX_STARTED_CALL("%u,%s", boardType, bqxsim::Traced(config).c_str());
    if (!config || !handle) return BQX_E_ARGUMENT;
    if (d.board) {
        *handle = BQX_NO_BOARD;
        return BQX_E_HANDLE_IN_USE;
    }
    *handle = BQX_NO_BOARD;
    const auto& bench = d.bench;
    if (bench.failInitBoard) return bench.failInitBoard;
    const bqxsim::SimulatedModel* model = bqxsim::FindSimulatedModel(boardType);
    if (!model) return BQX_E_BOARD_TYPE;
    const int base = config->baseAddress;
    const std::uint32_t irq = config->interruptLevel;
    if (bench.base ? base != *bench.base : !bqxsim::AnswersAt(base)) return BQX_E_NO_BOARD;
    // A board of another model answers at the address but not as the model asked for.
    if (bench.model && *bench.model != boardType) return BQX_E_BOARD_TYPE;
    if (bench.irq ? irq != static_cast<std::uint32_t>(*bench.irq) : !bqxsim::UsableInterrupt(irq))
        return BQX_E_INTERRUPT;
    d.board = std::make_unique<bqxsim::SimulatedBoard>(*model, base, static_cast<int>(irq), bench);
    if (!bqxsim::OpenEeprom(*d.board, bench)) {
        d.CloseBoard();
        return BQX_E_EEPROM;
    }
    d.terminals.Publish(d.board->TerminalVolts());
    *handle = bqxsim::kOnlyHandle;
    return BQX_OK;
}

BQX_API uint8_t bqxFreeBoard(BoardHandle handle) {
    BQX_BOARD_CALL(handle, "");
    d.CloseBoard();
    return BQX_OK;
}

BQX_API uint8_t bqxGetFPGARev(BoardHandle handle, uint32_t* revision) {
    BQX_BOARD_CALL(handle, "");
    if (!revision) return BQX_E_ARGUMENT;
    *revision = d.bench.fpgaRevision;
    return BQX_OK;
}

BQX_API uint8_t bqxADSetSettings(BoardHandle handle, ADSettings* settings) {
    BQX_BOARD_CALL(handle, ",%s", bqxsim::Traced(settings).c_str());
    if (!settings) return BQX_E_ARGUMENT;
    if (board.Scan().Running()) return BQX_E_BUSY;
    if (settings->channel >= board.Model().channels) return BQX_E_CHANNEL;
    board.SelectChannel(settings->channel);
    d.terminals.Publish(board.TerminalVolts());
    return BQX_OK;
}

BQX_API uint8_t bqxADSetChannel(BoardHandle handle, uint8_t firstChannel, uint8_t lastChannel) {
    BQX_BOARD_CALL(handle, ",%u,%u", firstChannel, lastChannel);
    if (board.Scan().Running()) return BQX_E_BUSY;
    if (firstChannel > lastChannel || lastChannel >= board.Model().channels) return BQX_E_CHANNEL;
    const auto& fault = d.bench.failSetChannel;
    if (fault.fromChannel >= 0 && firstChannel >= fault.fromChannel) return fault.code;
    board.SelectChannel(firstChannel);
    d.terminals.Publish(board.TerminalVolts());
    return BQX_OK;
}

BQX_API uint8_t bqxADSample(BoardHandle handle, int16_t* sample) {
    BQX_BOARD_CALL(handle, "");
    if (!sample) return BQX_E_ARGUMENT;
    if (board.Scan().Running()) return BQX_E_BUSY;
    const int channel = board.CurrentChannel();
    const auto& fault = d.bench.failSample;
    if (fault.fromChannel >= 0 && channel >= fault.fromChannel) return fault.code;
    *sample = board.Convert(channel);
    return BQX_OK;
}

BQX_API uint8_t bqxADScan(BoardHandle handle, ScanRequest* request, int16_t* buffer) {
    BQX_BOARD_CALL(handle, ",%s", bqxsim::Traced(request).c_str());
    if (!request || !buffer) return BQX_E_ARGUMENT;
    if (board.Scan().Running()) return BQX_E_BUSY;
    if (request->lowChannel > request->highChannel || request->highChannel >= board.Model().channels)
        return BQX_E_CHANNEL;
    for (int c = request->lowChannel; c <= request->highChannel; ++c)
        buffer[c - request->lowChannel] = board.Convert(c);
    return BQX_OK;
}

BQX_API uint8_t bqxADScanInt(BoardHandle handle, ScanIntRequest* request) {
    BQX_BOARD_CALL(handle, ",%s", bqxsim::Traced(request).c_str());
    if (!request) return BQX_E_ARGUMENT;
    const auto& bench = d.bench;
    if (bench.failScanInt) return bench.failScanInt;
    if (board.Scan().Running()) return BQX_E_BUSY;
    const double rate = request->rate_hz;
    if (!std::isfinite(rate) || rate <= 0 || request->conversion_count == 0) return BQX_E_ARGUMENT;
    if (request->low_channel > request->high_channel || request->high_channel >= board.Model().channels)
        return BQX_E_CHANNEL;
    // The whole address travels in the extension; the 32-bit field serves 32-bit callers.
    const std::uintptr_t address = request->sample_buffer_ptr
                                       ? static_cast<std::uintptr_t>(request->sample_buffer_ptr)
                                       : static_cast<std::uintptr_t>(request->sample_buffer);
    if (address == 0) return BQX_E_ARGUMENT;
    bqxsim::ScanPlan plan;
    plan.buffer = reinterpret_cast<std::int16_t*>(address);
    plan.conversions = request->conversion_count;
    plan.scansPerSecond = rate;
    plan.lowChannel = request->low_channel;
    plan.highChannel = request->high_channel;
    plan.fifoBlock = request->fifo_threshold;
    plan.maxConversionsPerSecond = board.Model().maxConversionsPerSecond;
    plan.neverEnds = bench.scanNeverEnds;
    plan.skipWrites = bench.scanSkipWrites;
    plan.extraOverflows = bench.scanOverflows;
    plan.offsetChannel = bench.scanOffsetChannel;
    plan.offsetCodes = bench.scanOffsetCodes;
    plan.slowPercent = bench.scanSlowPercent;
    if (!board.Scan().Start(plan)) return BQX_E_BUSY;
    return BQX_OK;
}

BQX_API uint8_t bqxGetStatus(BoardHandle handle, DriverStatus* status) {
    BQX_BOARD_CALL(handle, "");
    if (!status) return BQX_E_ARGUMENT;
    const bqxsim::ScanStatus s = board.Scan().Status();
    status->busy = s.busy ? 1 : 0;
    status->transfers = s.transfers;
    status->fifo_level = s.fifoLevel;
    status->interrupts = s.interrupts;
    status->errors = 0;
    status->overflows = s.overflows;
    return BQX_OK;
}

BQX_API uint8_t bqxCancelOp(BoardHandle handle) {
    BQX_BOARD_CALL(handle, "");
    board.Scan().Cancel();
    return BQX_OK;
}

BQX_API uint8_t bqxGetTime(uint32_t* milliseconds) {
    BQX_STARTED_CALL("");
    if (!milliseconds) return BQX_E_ARGUMENT;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    *milliseconds = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    return BQX_OK;
}

BQX_API uint8_t bqxDAConvert(BoardHandle handle, uint8_t output, uint16_t code) {
    BQX_BOARD_CALL(handle, ",%u,%u", output, code);
    if (output >= bqxsim::SimulatedBoard::kDaOutputs || code > 4095) return BQX_E_ARGUMENT;
    board.SetDa(output, code);
    return BQX_OK;
}

BQX_API uint8_t bqxSetCalMux(BoardHandle handle, uint8_t on) {
    BQX_BOARD_CALL(handle, ",%u", on);
    board.SetCalMux(on != 0);
    d.terminals.Publish(board.TerminalVolts());
    return BQX_OK;
}

// Both base + r and the bare r reach register r.
static int RegisterNumber(const bqxsim::SimulatedBoard& board, uint16_t address) {
    const int r = address >= board.Base() ? address - board.Base() : address;
    return r < bqxsim::SimulatedBoard::kPortCount ? r : -1;
}

BQX_API uint8_t bqxRegisterRead(BoardHandle handle, uint16_t address, uint8_t* value) {
    BQX_BOARD_CALL(handle, ",%u", address);
    const int r = RegisterNumber(board, address);
    if (!value || r < 0) return BQX_E_ARGUMENT;
    *value = board.ReadRegister(r);
    return BQX_OK;
}

BQX_API uint8_t bqxRegisterWrite(BoardHandle handle, uint16_t address, uint8_t value) {
    BQX_BOARD_CALL(handle, ",%u,%u", address, value);
    const int r = RegisterNumber(board, address);
    if (r < 0) return BQX_E_ARGUMENT;
    board.WriteRegister(r, value);
    return BQX_OK;
}

BQX_API uint8_t bqxInp(uint16_t port, uint8_t* value) {
    BQX_STARTED_CALL("%u", port);
    if (!value) return BQX_E_ARGUMENT;
    // Where no board answers, the bus floats high.
    *value = 0xFF;
    if (d.board && port >= d.board->Base() && port < d.board->Base() + bqxsim::SimulatedBoard::kPortCount)
        *value = d.board->ReadRegister(port - d.board->Base());
    return BQX_OK;
}

BQX_API uint8_t bqxOutp(uint16_t port, uint8_t value) {
    BQX_STARTED_CALL("%u,%u", port, value);
    if (d.board && port >= d.board->Base() && port < d.board->Base() + bqxsim::SimulatedBoard::kPortCount)
        d.board->WriteRegister(port - d.board->Base(), value);
    return BQX_OK;
}

BQX_API uint8_t bqxGetEEPROM(BoardHandle handle, uint8_t address, uint8_t* value) {
    BQX_BOARD_CALL(handle, ",%u", address);
    if (!value || address >= bqxsim::EepromImage::kSize) return BQX_E_ARGUMENT;
    *value = board.Eeprom().Byte(address);
    return BQX_OK;
}

BQX_API uint8_t bqxGetReferenceVoltages(BoardHandle handle, double* references) {
    BQX_BOARD_CALL(handle, "");
    if (!references) return BQX_E_ARGUMENT;
    if (d.bench.failGetReferences) return d.bench.failGetReferences;
    std::vector<double> stored;
    const bool valid = board.Eeprom().ReadReferences(stored);
    for (int i = 0; i < bqxsim::kMaxReferencesPassed; ++i)
        references[i] = i < static_cast<int>(stored.size()) ? stored[static_cast<std::size_t>(i)] : 0.0;
    return valid ? BQX_OK : BQX_E_EEPROM;
}

BQX_API uint8_t bqxSetReferenceVoltages(BoardHandle handle, const double* references) {
    BQX_LOCK();
    // The board's reference count says how many values the caller passed; without an open
    // board under this handle nothing of the array may be read, not even for the log.
    const bool boardOpen = d.started && d.board && handle == bqxsim::kOnlyHandle;
    const int count = boardOpen ? d.board->Model().referenceCount : 0;
    // The caller passes one value per reference, then the 0.0 that ends the list.
    std::string passed = references ? "" : ",null";
    for (int i = 0; references && boardOpen && i <= count; ++i) passed += bqxsim::TracedValue(references[i]);
    BQX_TRACE("%u%s", handle, passed.c_str());
    BQX_REQUIRE_BOARD(handle);
    if (!references) return BQX_E_ARGUMENT;
    std::vector<double> values(references, references + count);
    for (double v : values)
        if (!std::isfinite(v)) return BQX_E_ARGUMENT;
    bqxsim::EepromImage image = board.Eeprom();
    if (image.ChecksumValid() && image.TypeCode() == board.Model().typeCode)
        image.WriteReferences(values);
    else
        image = bqxsim::EepromImage::Fresh(board.Model().typeCode, d.bench.serialNumber, d.bench.fpgaRevision,
                                           board.Model().channels, count, values);
    std::string error;
    if (!image.Save(board.EepromPath(), error)) {
        std::fprintf(stderr, "bqxdrv: cannot write EEPROM image: %s\n", error.c_str());
        return BQX_E_EEPROM;
    }
    board.Eeprom() = image;
    return BQX_OK;
}

BQX_API uint8_t bqxSleep(uint32_t milliseconds) {
    double scale = 1.0;
    {
        BQX_STARTED_CALL("%u", milliseconds);
        scale = d.bench.timeScale;
    }
    // Sleep without the lock, so a scan status poll from another thread is not held up.
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(milliseconds * scale));
    return BQX_OK;
}

BQXSIM_API int bqxsimConfigure(const char* keyValueLine) {
    BQX_LOCK();
    if (!keyValueLine) return 1;
    std::string problem;
    if (!bqxsim::ApplyBenchLine(keyValueLine, d.bench, problem)) {
        std::fprintf(stderr, "bqxsimConfigure: %s\n", problem.c_str());
        return 1;
    }
    if (d.board) {
        d.board->UpdateAnalog(d.bench);
        d.terminals.Publish(d.board->TerminalVolts());
    }
    return 0;
}

BQXSIM_API size_t bqxsimCallLog(char* buffer, size_t size) {
    BQX_LOCK();
    return d.log.CopyTo(buffer, size);
}

BQXSIM_API void bqxsimClearCallLog(void) {
    BQX_LOCK();
    d.log.Clear();
}

}  // extern "C"
