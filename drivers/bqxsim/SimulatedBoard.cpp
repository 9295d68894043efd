#include "SimulatedBoard.h"

#include <algorithm>
#include <cmath>

namespace vantrel::bqxsim {
namespace {

constexpr double kFullScaleVolts = 10.0;
constexpr double kCodesPerFullScale = 32768.0;
constexpr std::uint16_t kDaPowerUpCode = 2048;
constexpr int kCalMuxReferences = 5;
constexpr int kInterruptRegister = 7;
constexpr int kFifoRegister = 9;

}  // namespace

SimulatedBoard::SimulatedBoard(const SimulatedModel& model, int base, int irq, const BenchDescription& bench)
    : m_model(model),
      m_base(base),
      m_irq(irq),
      m_random(bench.seed != 0 ? bench.seed : std::random_device{}()),
      m_scan([this](int channel) { return Convert(channel); }) {
    UpdateAnalog(bench);
    m_da.fill(kDaPowerUpCode);
    for (int page = 0; page < kPageCount; ++page)
        for (int r = 0; r < kPortCount; ++r)
            m_pages[static_cast<std::size_t>(page)][static_cast<std::size_t>(r)] =
                static_cast<std::uint8_t>((page << 4 | r) ^ 0xA5);
    auto& page0 = m_pages[0];
    page0[0] = static_cast<std::uint8_t>(model.typeCode);
    page0[1] = static_cast<std::uint8_t>(bench.fpgaRevision);
    page0[2] = static_cast<std::uint8_t>(bench.fpgaRevision >> 8);
    page0[6] = 0x4A;
    switch (model.pageSelect) {
    case PageSelect::Port3High: m_pageValue = 0xFF; break;  // power-up state of the port
    case PageSelect::Port10Bit4: m_pageValue = 0x13; break;
    default: m_pageValue = 0; break;
    }
}

SimulatedBoard::~SimulatedBoard() { m_scan.Cancel(); }

void SimulatedBoard::UpdateAnalog(const BenchDescription& bench) {
    std::lock_guard lock(m_analogMutex);
    std::copy(std::begin(bench.references), std::end(bench.references), m_references.begin());
    m_noiseLsb = bench.noiseLsb;
}

double SimulatedBoard::InputVolts(int channel) const {
    if (m_calMux) return channel < kCalMuxReferences ? m_references[static_cast<std::size_t>(channel)] : 0.0;
    const auto code = m_da[static_cast<std::size_t>(channel % kDaOutputs)];
    return -kFullScaleVolts + 2 * kFullScaleVolts * code / 4095.0;
}

std::int16_t SimulatedBoard::Convert(int channel) {
    std::lock_guard lock(m_analogMutex);
    double code = InputVolts(channel) / kFullScaleVolts * kCodesPerFullScale;
    if (m_noiseLsb > 0) code += m_noise(m_random) * m_noiseLsb;
    return static_cast<std::int16_t>(std::clamp(std::lround(code), -32768L, 32767L));
}

void SimulatedBoard::SetDa(int output, std::uint16_t code) {
    std::lock_guard lock(m_analogMutex);
    m_da[static_cast<std::size_t>(output)] = code;
}

void SimulatedBoard::SetCalMux(bool on) {
    std::lock_guard lock(m_analogMutex);
    m_calMux = on;
}

void SimulatedBoard::SelectChannel(int channel) {
    std::lock_guard lock(m_analogMutex);
    m_channel = channel;
    m_terminalChannel = channel;
}

bool SimulatedBoard::CalMux() const {
    std::lock_guard lock(m_analogMutex);
    return m_calMux;
}

int SimulatedBoard::CurrentChannel() const {
    std::lock_guard lock(m_analogMutex);
    return m_channel;
}

std::optional<double> SimulatedBoard::TerminalVolts() const {
    std::lock_guard lock(m_analogMutex);
    if (!m_calMux || m_terminalChannel < 0 || m_terminalChannel >= kCalMuxReferences) return std::nullopt;
    return m_references[static_cast<std::size_t>(m_terminalChannel)];
}

int SimulatedBoard::PageRegister() const {
    switch (m_model.pageSelect) {
    case PageSelect::Port8: return 8;
    case PageSelect::Port0: return 0;
    case PageSelect::Port3High: return 3;
    case PageSelect::Port10Bit4: return 10;
    case PageSelect::None: return -1;
    }
    return -1;
}

int SimulatedBoard::SelectedPage() const {
    switch (m_model.pageSelect) {
    case PageSelect::Port8:
    case PageSelect::Port0: return m_pageValue % kPageCount;
    case PageSelect::Port3High: return (m_pageValue >> 3) % kPageCount;
    case PageSelect::Port10Bit4: return (m_pageValue >> 4) & 1;
    case PageSelect::None: return 0;
    }
    return 0;
}

std::uint8_t SimulatedBoard::ReadRegister(int reg) const {
    if (reg == PageRegister()) return m_pageValue;
    if (reg == kInterruptRegister) {
        const ScanStatus s = m_scan.Status();
        return static_cast<std::uint8_t>(((m_interruptEnabled || s.busy) ? 0x01 : 0) |
                                         (s.interruptPending ? 0x02 : 0) | (s.busy ? 0x04 : 0));
    }
    if (reg == kFifoRegister) {
        const ScanStatus s = m_scan.Status();
        return static_cast<std::uint8_t>(std::min<std::uint32_t>(s.fifoLevel / 16, 0x3F) |
                                         (s.fifoLevel >= ScanEngine::kFifoCapacity / 2 ? 0x40 : 0) |
                                         (s.overflows ? 0x80 : 0));
    }
    const int page = SelectedPage();
    if (page == 0 && reg == 4) return static_cast<std::uint8_t>(CurrentChannel());
    if (page == 0 && reg == 5) return CalMux() ? 1 : 0;
    return m_pages[static_cast<std::size_t>(page)][static_cast<std::size_t>(reg)];
}

void SimulatedBoard::WriteRegister(int reg, std::uint8_t value) {
    if (reg == PageRegister()) {
        m_pageValue = value;
        return;
    }
    if (reg == kInterruptRegister) {
        m_interruptEnabled = (value & 0x01) != 0;
        if (value & 0x02) m_scan.AcknowledgeInterrupt();
        return;
    }
    if (reg == kFifoRegister) return;  // read-only
    m_pages[static_cast<std::size_t>(SelectedPage())][static_cast<std::size_t>(reg)] = value;
}

}  // namespace vantrel::bqxsim
