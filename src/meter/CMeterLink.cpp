#include "meter/CMeterLink.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "meter/CSerialException.h"
#include "meter/MeterProtocol.h"
#include "platform/Clock.h"

namespace {

constexpr DWORD kBaudRate = 9600;

constexpr DWORD kReadIntervalMs = 500;
constexpr DWORD kReadMultiplierMs = 50;
constexpr DWORD kReadConstantMs = 50;
constexpr DWORD kWriteMultiplierMs = 300;
constexpr DWORD kWriteConstantMs = 500;

constexpr unsigned kAutoReplyWaitMs = 200;
constexpr unsigned kAutoSettleMs = 300;
constexpr unsigned kValueReplyWaitMs = 300;
constexpr unsigned kResetWaitMs = 300;
constexpr unsigned kInitWaitMs = 800;
constexpr unsigned kFetchReplyWaitMs = 700;

// Bytes of an overlong reply skipped while looking for its end.
constexpr int kMaxDiscardedBytes = 4096;

// Longest a reply line may take as a whole, counted from the start of its read. A full
// buffer of 255 characters takes 292 ms at 9600 baud with 11-bit frames (7E2), and a
// meter still finishing its measurement (10 power-line cycles with auto-zero, 400 ms at
// 50 Hz) adds to that; 1000 ms leaves room for both. Each byte keeps the port's own
// time-out, so a line ends at most one byte time-out after this.
constexpr std::uint64_t kLineDeadlineMs = 1000;

}  // namespace

CMeterLink::CMeterLink(int nPort, int meterType)
    : m_meterType(meterType == MeterFluke45 || meterType == MeterHp34401A || meterType == MeterNone
                      ? meterType
                      : MeterFluke45),
      m_buffer{} {
    if (m_meterType == MeterNone) return;
    Open(nPort);
    if (m_serialPort.IsOpen()) Prepare();
}

void CMeterLink::Open(int nPort) {
    m_serialPort.Close();
    const bool hp = m_meterType == MeterHp34401A;
    try {
        if (hp)
            m_serialPort.Open(nPort, kBaudRate, CSerialPort::EvenParity, 7, CSerialPort::TwoStopBits,
                              CSerialPort::NoFlowControl, FALSE);
        else
            m_serialPort.Open(nPort, kBaudRate, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
                              CSerialPort::NoFlowControl, FALSE);
        m_trace.Opened(nPort, hp ? "9600 7E2" : "9600 8N1");
    } catch (CSerialException* e) {
        m_openFailure = SerialFailureText(*e);
        m_trace.OpenFailed(nPort, m_openFailure);
        e->Delete();
        m_serialPort.Close();
    }
}

CMeterLink::~CMeterLink() { m_serialPort.Close(); }

void CMeterLink::Prepare() {
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = kReadMultiplierMs;
    timeouts.ReadTotalTimeoutConstant = kReadConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = kWriteMultiplierMs;
    timeouts.WriteTotalTimeoutConstant = kWriteConstantMs;
    m_serialPort.ApplyTimeouts(timeouts);
    if (m_meterType != MeterFluke45) return;

    const WORD length = FormatCommand(vantrel::meter::kFlukeAutoRange, false);
    if (SendCommand(m_buffer, length)) return;
    vantrel::platform::SleepMs(kAutoReplyWaitMs);
    if (ReadLine(m_buffer, sizeof m_buffer)) return;
    vantrel::platform::SleepMs(kAutoSettleMs);
}

int CMeterLink::ReadVoltage(double& value) {
    return m_meterType == MeterHp34401A ? ReadHp34401A(value) : ReadFluke45(value);
}

int CMeterLink::ReadFluke45(double& value) {
    const WORD length = FormatCommand(vantrel::meter::kFlukeValue, false);
    if (SendCommand(m_buffer, length)) return 1;
    vantrel::platform::SleepMs(kValueReplyWaitMs);
    if (ReadLine(m_buffer, sizeof m_buffer)) return 1;
    if (vantrel::meter::IsErrorPrompt(m_buffer)) return 1;
    const std::optional<double> reading = vantrel::meter::ParseFlukeValue(m_buffer, sizeof m_buffer);
    // The prompt line follows the value line, whatever the value line held.
    ReadLine(m_buffer, sizeof m_buffer);
    if (!reading) return 1;
    value = *reading;
    return 0;
}

int CMeterLink::ReadHp34401A(double& value) {
    WORD length = FormatCommand(vantrel::meter::kHpReset, true);
    if (SendCommand(m_buffer, length)) return 1;
    vantrel::platform::SleepMs(kResetWaitMs);
    length = FormatCommand(vantrel::meter::kHpInitiate, true);
    if (SendCommand(m_buffer, length)) return 1;
    vantrel::platform::SleepMs(kInitWaitMs);
    std::memset(m_buffer, 0, sizeof m_buffer);
    length = FormatCommand(vantrel::meter::kHpFetch, false);
    if (SendCommand(m_buffer, length)) return 1;
    std::memset(m_buffer, 0, sizeof m_buffer);
    vantrel::platform::SleepMs(kFetchReplyWaitMs);
    if (ReadLine(m_buffer, sizeof m_buffer)) return 1;
    const std::optional<double> reading = vantrel::meter::ParseHpValue(m_buffer, sizeof m_buffer);
    if (!reading) return 1;
    value = *reading;
    return 0;
}

// The word and a line feed from the buffer's first byte; for "*RST" and "INIT" a carriage
// return follows in place of the terminator and is counted.
WORD CMeterLink::FormatCommand(const char* word, bool appendCarriageReturn) {
    const std::string bytes = vantrel::meter::CommandBytes(word, appendCarriageReturn);
    const std::size_t length = std::min(bytes.size(), sizeof m_buffer - 1);
    std::memcpy(m_buffer, bytes.data(), length);
    m_buffer[length] = '\0';
    return static_cast<WORD>(length);
}

int CMeterLink::SendCommand(const char* bytes, WORD length) {
    m_trace.Sent(bytes, length);
    return m_serialPort.Write(bytes, length) == length ? 0 : 1;
}

// A line, its line feed and a terminator must fit in capacity. A reply that runs past it is
// a failed read, and the rest of it is skipped so that it cannot pass for the next reply. A
// meter that trickles bytes without ever ending its line fails at the line's deadline.
int CMeterLink::ReadLine(char* buffer, int capacity) {
    if (capacity < 2) return 1;
    const std::uint64_t deadline = vantrel::platform::MonotonicMs() + kLineDeadlineMs;
    int position = 0;
    while (position < capacity - 1) {
        if (vantrel::platform::MonotonicMs() >= deadline) {
            buffer[position] = '\0';
            m_trace.ReadFailed(buffer, "line deadline passed");
            return 1;
        }
        DWORD got = 0;
        try {
            got = m_serialPort.Read(buffer + position, 1);
        } catch (CSerialException* e) {
            e->Delete();
            got = 0;
        }
        if (got == 0) {
            buffer[position] = '\0';
            m_trace.ReadFailed(buffer, "no byte within the time-out");
            return 1;
        }
        if (buffer[position++] == '\n') {
            buffer[position] = '\0';
            m_trace.Received(buffer);
            return 0;
        }
    }
    buffer[position] = '\0';
    m_trace.ReadFailed(buffer, "line longer than the buffer");
    DiscardRestOfLine(deadline);
    return 1;
}

void CMeterLink::DiscardRestOfLine(std::uint64_t deadline) {
    for (int skipped = 0; skipped < kMaxDiscardedBytes; ++skipped) {
        if (vantrel::platform::MonotonicMs() >= deadline) return;
        char byte = 0;
        try {
            if (m_serialPort.Read(&byte, 1) == 0) return;
        } catch (CSerialException* e) {
            e->Delete();
            return;
        }
        if (byte == '\n') return;
    }
}
