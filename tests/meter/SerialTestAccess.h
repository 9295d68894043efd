#pragma once
// What the tests read of a serial port and a meter link that the device does not report back.

#include "meter/CMeterLink.h"
#include "meter/CSerialPort.h"

struct CSerialPortAccess {
    // The termios line last asked for by ApplyState. A pseudo-terminal keeps only part of it
    // (it stays at 8 data bits and no parity), so this is what the port requested, not what
    // the device reports.
    static const vantrel::platform::SerialLine& RequestedLine(const CSerialPort& port) {
        return port.m_requestedLine;
    }
    static bool Overlapped(const CSerialPort& port) { return port.m_bOverlapped != FALSE; }
};

struct CMeterLinkAccess {
    static int MeterTypeOf(const CMeterLink& link) { return link.m_meterType; }
};
