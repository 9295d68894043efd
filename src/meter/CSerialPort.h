#pragma once
// A serial port opened by number, with line settings and time-outs, read and written
// synchronously. Every failing system call throws a CSerialException with its error code.

#include "afx/afxobj.h"
#include "meter/SerialTypes.h"
#include "platform/SerialDevice.h"

class CSerialPort : public CObject {
    DECLARE_DYNAMIC(CSerialPort)
public:
    // Codes taken by Open.
    enum Parity { EvenParity = 0, MarkParity = 1, NoParity = 2, OddParity = 3, SpaceParity = 4 };
    enum StopBits { OneStopBit = 0, OnePointFiveStopBits = 1, TwoStopBits = 2 };
    enum FlowControl {
        NoFlowControl = 0,
        CtsRtsFlowControl = 1,
        CtsDtrFlowControl = 2,
        DsrRtsFlowControl = 3,
        DsrDtrFlowControl = 4,
        XonXoffFlowControl = 5
    };

    static constexpr int kInvalidHandle = -1;

    CSerialPort();
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM<nPort> (see vantrel::platform::SerialDevicePath) exclusively and applies the line
    // settings. There is no overlapped I/O here: bOverlapped is recorded and every call stays
    // synchronous. A port already open is closed first.
    void Open(int nPort, DWORD dwBaud = 9600, int parity = NoParity, BYTE dataBits = 8,
              int stopBits = OneStopBit, int flowControl = NoFlowControl, BOOL bOverlapped = FALSE);
    void Close();
    BOOL IsOpen() const { return m_hComm != kInvalidHandle; }

    // On a closed port these calls throw EBADF, or, while the last Open failed to open the
    // device, that failure's code (a missing or busy port), which tells the operator more.
    DWORD Read(void* lpBuffer, DWORD dwCount);
    DWORD Write(const void* lpBuffer, DWORD dwCount);

    void QueryState(DCB& dcb);
    void ApplyState(DCB& dcb);
    void ApplyTimeouts(COMMTIMEOUTS& timeouts);

private:
    // Reads the line last requested, which a pseudo-terminal does not keep, and the overlapped
    // flag, which changes no call, for the tests (tests/meter/SerialTestAccess.h).
    friend struct CSerialPortAccess;

    // Baud rate, parity, data and stop bits; then the handshake of a flow control, by table.
    static void SetLineFormat(DCB& dcb, DWORD baud, int parity, BYTE dataBits, int stopBits);
    static void SetFlowControl(DCB& dcb, int flowControl);
    [[noreturn]] void RaiseClosed() const;

    int m_hComm;
    BOOL m_bOverlapped;
    DCB m_keptState;  // fields termios cannot hold, as last applied
    vantrel::platform::SerialLine m_requestedLine;
    vantrel::platform::SerialTimeouts m_timeouts;
    DWORD m_openError;  // why the device could not be opened; 0 once it opens
};
