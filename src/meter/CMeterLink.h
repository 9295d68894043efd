#pragma once
// A Fluke 45 or HP 34401A bench voltmeter on a serial line: opened and prepared on
// construction, one DC-voltage reading per ReadVoltage.

#include <cstdint>
#include <string>

#include "afx/afxobj.h"
#include "meter/CSerialPort.h"
#include "meter/MeterTrace.h"

// Numbered as the meter radio buttons of the main dialog.
enum MeterType : int { MeterFluke45 = 0, MeterHp34401A = 1, MeterNone = 2 };

class CMeterLink {
public:
    // Opens COM<nPort> for the meter and prepares it. A port that cannot be opened throws
    // nothing: the link keeps the system's reason (OpenFailure). A meter that does not answer
    // its preparation is not reported; time-out and write failures of the preparation leave
    // as CSerialException*. Any type other than 0, 1 or 2 is a Fluke 45; type 2 (none) opens
    // nothing. With VANTREL_METER_TRACE set, every exchange goes to the trace (MeterTrace.h).
    CMeterLink(int nPort, int meterType);
    ~CMeterLink();
    CMeterLink(const CMeterLink&) = delete;
    CMeterLink& operator=(const CMeterLink&) = delete;

    // 0 with the reading in value, 1 when no reading could be taken (value untouched). A
    // failing write throws CSerialException*; on a port that never opened it carries the
    // code of the failed open (missing or busy port).
    int ReadVoltage(double& value);

    const CSerialPort& GetSerialPort() const { return m_serialPort; }
    // Why the port did not open, in the system's words ("No such file or directory"); empty
    // when it opened or when nothing was to be opened.
    const std::string& OpenFailure() const { return m_openFailure; }

private:
    // Reads the meter type the link settled on, for the tests (tests/meter/SerialTestAccess.h).
    friend struct CMeterLinkAccess;

    WORD FormatCommand(const char* word, bool appendCarriageReturn);
    int SendCommand(const char* bytes, WORD length);
    int ReadLine(char* buffer, int capacity);
    void DiscardRestOfLine(std::uint64_t deadline);
    void Open(int nPort);
    void Prepare();
    int ReadFluke45(double& value);
    int ReadHp34401A(double& value);

    vantrel::meter::MeterTrace m_trace;
    CSerialPort m_serialPort;
    int m_meterType;
    std::string m_openFailure;
    char m_buffer[256];
};
