#pragma once
// What the tests read of a serial port that the device does not report back.

#include "meter/CSerialPort.h"

struct CSerialPortAccess {
    // The termios line last asked for by ApplyState. A pseudo-terminal keeps only part of it
    // (it stays at 8 data bits and no parity), so this is what the port requested, not what
    // the device reports.
    static const platform::SerialLine& RequestedLine(const CSerialPort& port) { return port.m_requestedLine; }
};
