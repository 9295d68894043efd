#include "meter/CSerialPort.h"

#include <cerrno>
#include <iterator>
#include <string>

#include "meter/CSerialException.h"

IMPLEMENT_DYNAMIC(CSerialPort, CObject)

namespace {

constexpr char kXonChar = 0x11;
constexpr char kXoffChar = 0x13;
constexpr WORD kXonXoffLimit = 100;

vantrel::platform::SerialParity ParityOf(BYTE parity) {
    switch (parity) {
    case ODDPARITY: return vantrel::platform::SerialParity::Odd;
    case EVENPARITY: return vantrel::platform::SerialParity::Even;
    case MARKPARITY: return vantrel::platform::SerialParity::Mark;
    case SPACEPARITY: return vantrel::platform::SerialParity::Space;
    default: return vantrel::platform::SerialParity::None;
    }
}

BYTE ParityCode(vantrel::platform::SerialParity parity) {
    switch (parity) {
    case vantrel::platform::SerialParity::Odd: return ODDPARITY;
    case vantrel::platform::SerialParity::Even: return EVENPARITY;
    case vantrel::platform::SerialParity::Mark: return MARKPARITY;
    case vantrel::platform::SerialParity::Space: return SPACEPARITY;
    case vantrel::platform::SerialParity::None: break;
    }
    return NOPARITY;
}

vantrel::platform::SerialLine LineFromState(const DCB& dcb) {
    vantrel::platform::SerialLine line;
    line.baudRate = dcb.BaudRate;
    line.dataBits = dcb.ByteSize;
    line.parity = ParityOf(dcb.Parity);
    line.twoStopBits = dcb.StopBits != ONESTOPBIT;
    line.parityCheck = dcb.fParity != 0;
    // CRTSCTS checks CTS and drives RTS together; it follows fOutxCtsFlow so that the state
    // reads back as applied. RTS handshake without CTS checking has no termios form.
    line.rtsCtsFlow = dcb.fOutxCtsFlow != 0;
    line.xonXoffOut = dcb.fOutX != 0;
    line.xonXoffIn = dcb.fInX != 0;
    line.xonChar = static_cast<unsigned char>(dcb.XonChar);
    line.xoffChar = static_cast<unsigned char>(dcb.XoffChar);
    return line;
}

// The DCB parity and stop-bit codes of the port's own numbering; nothing for a value the
// port does not know, which leaves the setting as it was.
struct CodeRow {
    int setting;
    BYTE code;
};
// clang-format off
constexpr CodeRow kParityCodes[] = {
    {CSerialPort::EvenParity,  EVENPARITY},
    {CSerialPort::MarkParity,  MARKPARITY},
    {CSerialPort::NoParity,    NOPARITY},
    {CSerialPort::OddParity,   ODDPARITY},
    {CSerialPort::SpaceParity, SPACEPARITY},
};
constexpr CodeRow kStopBitCodes[] = {
    {CSerialPort::OneStopBit,           ONESTOPBIT},
    {CSerialPort::OnePointFiveStopBits, ONE5STOPBITS},
    {CSerialPort::TwoStopBits,          TWOSTOPBITS},
};
// clang-format on

const CodeRow* FindCode(const CodeRow* first, const CodeRow* last, int setting) {
    for (const CodeRow* row = first; row != last; ++row)
        if (row->setting == setting) return row;
    return nullptr;
}

// What each flow control sets in the DCB. Handshake lines a row does not name keep their
// control; only XON/XOFF sets the characters and limits.
constexpr DWORD kKeepControl = 0xFFFFFFFFu;
struct FlowControlRow {
    int flowControl;
    DWORD outxCtsFlow;
    DWORD outxDsrFlow;
    DWORD rtsControl;
    DWORD dtrControl;
    DWORD outX;
    DWORD inX;
};
// clang-format off
constexpr FlowControlRow kFlowControls[] = {
    // flow control                    CTS DSR RTS                    DTR                    outX inX
    {CSerialPort::NoFlowControl,       0,  0,  kKeepControl,          kKeepControl,          0,   0},
    {CSerialPort::CtsRtsFlowControl,   1,  0,  RTS_CONTROL_HANDSHAKE, kKeepControl,          0,   0},
    {CSerialPort::CtsDtrFlowControl,   1,  0,  kKeepControl,          DTR_CONTROL_HANDSHAKE, 0,   0},
    {CSerialPort::DsrRtsFlowControl,   0,  1,  RTS_CONTROL_HANDSHAKE, kKeepControl,          0,   0},
    {CSerialPort::DsrDtrFlowControl,   0,  1,  kKeepControl,          DTR_CONTROL_HANDSHAKE, 0,   0},
    {CSerialPort::XonXoffFlowControl,  0,  0,  kKeepControl,          kKeepControl,          1,   1},
};
// clang-format on

}  // namespace

CSerialPort::CSerialPort() : m_hComm(kInvalidHandle), m_bOverlapped(FALSE), m_openError(0) {}

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::Open(int nPort, DWORD dwBaud, int parity, BYTE dataBits, int stopBits, int flowControl,
                       BOOL bOverlapped) {
    Close();
    int fd = kInvalidHandle;
    if (const int error = vantrel::platform::SerialOpen(vantrel::platform::SerialDevicePath(nPort), fd)) {
        m_openError = static_cast<DWORD>(error);
        RaiseSerialError(m_openError);
    }
    m_openError = 0;
    m_hComm = fd;
    m_bOverlapped = bOverlapped;
    m_keptState = DCB{};
    m_requestedLine = vantrel::platform::SerialLine{};
    m_timeouts = vantrel::platform::SerialTimeouts{};

    DCB dcb;
    QueryState(dcb);
    SetLineFormat(dcb, dwBaud, parity, dataBits, stopBits);
    SetFlowControl(dcb, flowControl);
    ApplyState(dcb);
}

void CSerialPort::SetLineFormat(DCB& dcb, DWORD baud, int parity, BYTE dataBits, int stopBits) {
    dcb.BaudRate = baud;
    if (const CodeRow* row = FindCode(std::begin(kParityCodes), std::end(kParityCodes), parity))
        dcb.Parity = row->code;
    dcb.ByteSize = dataBits;
    if (const CodeRow* row = FindCode(std::begin(kStopBitCodes), std::end(kStopBitCodes), stopBits))
        dcb.StopBits = row->code;
}

void CSerialPort::SetFlowControl(DCB& dcb, int flowControl) {
    dcb.fDsrSensitivity = 0;
    for (const FlowControlRow& row : kFlowControls) {
        if (row.flowControl != flowControl) continue;
        dcb.fOutxCtsFlow = row.outxCtsFlow;
        dcb.fOutxDsrFlow = row.outxDsrFlow;
        if (row.rtsControl != kKeepControl) dcb.fRtsControl = row.rtsControl;
        if (row.dtrControl != kKeepControl) dcb.fDtrControl = row.dtrControl;
        dcb.fOutX = row.outX;
        dcb.fInX = row.inX;
        if (flowControl == XonXoffFlowControl) {
            dcb.XonChar = kXonChar;
            dcb.XoffChar = kXoffChar;
            dcb.XonLim = kXonXoffLimit;
            dcb.XoffLim = kXonXoffLimit;
        }
        return;
    }
}

void CSerialPort::Close() {
    if (m_hComm == kInvalidHandle) return;
    vantrel::platform::SerialClose(m_hComm);
    m_hComm = kInvalidHandle;
    m_bOverlapped = FALSE;
}

void CSerialPort::RaiseClosed() const { RaiseSerialError(m_openError ? m_openError : EBADF); }

DWORD CSerialPort::Read(void* lpBuffer, DWORD dwCount) {
    if (m_hComm == kInvalidHandle) RaiseClosed();
    std::size_t got = 0;
    if (const int error = vantrel::platform::SerialRead(m_hComm, lpBuffer, dwCount, m_timeouts, got))
        RaiseSerialError(static_cast<DWORD>(error));
    return static_cast<DWORD>(got);
}

DWORD CSerialPort::Write(const void* lpBuffer, DWORD dwCount) {
    if (m_hComm == kInvalidHandle) RaiseClosed();
    std::size_t written = 0;
    if (const int error = vantrel::platform::SerialWrite(m_hComm, lpBuffer, dwCount, m_timeouts, written))
        RaiseSerialError(static_cast<DWORD>(error));
    return static_cast<DWORD>(written);
}

void CSerialPort::QueryState(DCB& dcb) {
    if (m_hComm == kInvalidHandle) RaiseClosed();
    vantrel::platform::SerialLine line;
    if (const int error = vantrel::platform::SerialGetLine(m_hComm, line))
        RaiseSerialError(static_cast<DWORD>(error));
    dcb = m_keptState;
    // A speed outside the table reads as 0; keep the rate last applied instead.
    if (line.baudRate != 0) dcb.BaudRate = line.baudRate;
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = ParityCode(line.parity);
    if (!line.twoStopBits)
        dcb.StopBits = ONESTOPBIT;
    else if (m_keptState.StopBits != ONE5STOPBITS)
        dcb.StopBits = TWOSTOPBITS;
    dcb.fParity = line.parityCheck ? 1 : 0;
    dcb.fOutxCtsFlow = line.rtsCtsFlow ? 1 : 0;
    dcb.fOutX = line.xonXoffOut ? 1 : 0;
    dcb.fInX = line.xonXoffIn ? 1 : 0;
    dcb.XonChar = static_cast<char>(line.xonChar);
    dcb.XoffChar = static_cast<char>(line.xoffChar);
}

void CSerialPort::ApplyState(DCB& dcb) {
    if (m_hComm == kInvalidHandle) RaiseClosed();
    const vantrel::platform::SerialLine line = LineFromState(dcb);
    if (const int error = vantrel::platform::SerialSetLine(m_hComm, line))
        RaiseSerialError(static_cast<DWORD>(error));
    m_keptState = dcb;
    m_requestedLine = line;
}

void CSerialPort::ApplyTimeouts(COMMTIMEOUTS& timeouts) {
    if (m_hComm == kInvalidHandle) RaiseClosed();
    m_timeouts.readInterval = timeouts.ReadIntervalTimeout;
    m_timeouts.readMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    m_timeouts.readConstant = timeouts.ReadTotalTimeoutConstant;
    m_timeouts.writeMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    m_timeouts.writeConstant = timeouts.WriteTotalTimeoutConstant;
}
