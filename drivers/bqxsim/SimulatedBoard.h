#pragma once
// One simulated board: its analog inputs and outputs, register pages, I/O ports, EEPROM
// and interrupt scan.
//
// Analog inputs, 10 V bipolar, code = volts / 10 * 32768 plus Gaussian noise, clamped:
//   calibration multiplexer on:  channels 0-4 carry references 0-4, the others read ground
//   multiplexer off:             channel c reads D/A output c mod 4 looped back
// D/A outputs: 12-bit codes, 0 to 4095 across -10 to +10 V; 2048 at power-up.
//
// Ports base+0..15 are the registers of the selected page (four pages; models without a
// page register have one). The page register and registers 7 and 9 are the same on every
// page:
//   0  type code        1  FPGA revision, low byte    2  FPGA revision, high byte
//   4  current A/D channel                            5  bit 0: calibration multiplexer on
//   7  interrupt control and status: bit 0 enabled, bit 1 pending (write 1 to clear),
//      bit 2 scan running; writing bit 0 enables or disables
//   9  FIFO status: bits 0-5 fill level / 16, bit 6 half full, bit 7 overflowed

#include "BenchDescription.h"
#include "EepromImage.h"
#include "ScanEngine.h"
#include "SimulatedModels.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>

namespace vantrel::bqxsim {

class SimulatedBoard {
public:
    static constexpr int kPortCount = 16;
    static constexpr int kPageCount = 4;
    static constexpr int kDaOutputs = 4;

    SimulatedBoard(const SimulatedModel& model, int base, int irq, const BenchDescription& bench);
    ~SimulatedBoard();
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    const SimulatedModel& model() const { return m_model; }
    int base() const { return m_base; }
    int irq() const { return m_irq; }

    // Takes up new true references and noise from the bench description.
    void UpdateAnalog(const BenchDescription& bench);

    // Analog side; safe to call from the scan thread.
    std::int16_t Convert(int channel);
    void SetDa(int output, std::uint16_t code);
    void SetCalMux(bool on);
    void SelectChannel(int channel);
    bool CalMux() const;
    int CurrentChannel() const;
    // The voltage on the precision-reference terminals, or nothing when they are open.
    std::optional<double> TerminalVolts() const;

    // Registers by number 0-15 of the selected page.
    std::uint8_t ReadRegister(int reg) const;
    void WriteRegister(int reg, std::uint8_t value);
    int SelectedPage() const;

    EepromImage& eeprom() { return m_eeprom; }
    std::string& eepromPath() { return m_eepromPath; }
    ScanEngine& scan() { return m_scan; }

private:
    int PageRegister() const;  // -1: no page register
    double InputVolts(int channel) const;

    const SimulatedModel& m_model;
    const int m_base;
    const int m_irq;

    mutable std::mutex m_analogMutex;
    std::array<double, kReferenceSlots> m_references{};
    double m_noiseLsb = 0;
    std::mt19937 m_random;
    std::normal_distribution<double> m_noise{0.0, 1.0};
    std::array<std::uint16_t, kDaOutputs> m_da{};
    bool m_calMux = false;
    int m_channel = 0;
    int m_terminalChannel = -1;

    std::array<std::array<std::uint8_t, kPortCount>, kPageCount> m_pages{};
    std::uint8_t m_pageValue = 0;
    bool m_interruptEnabled = false;

    EepromImage m_eeprom;
    std::string m_eepromPath;
    ScanEngine m_scan;
};

}  // namespace vantrel::bqxsim
