#pragma once
// The device control block and the time-out record of the serial port, with the field names
// and codes of the serial communications interface.
//
// A termios line holds the baud rate, ByteSize, Parity (mark and space where the system has
// CMSPAR), StopBits (one or two; one and a half is CSTOPB, as on a 5-bit UART), fParity
// (INPCK), fOutxCtsFlow (CRTSCTS, which also drives RTS), fOutX (IXON), fInX (IXOFF),
// XonChar and XoffChar. The rest (DCBlength, fBinary, fOutxDsrFlow,
// fDtrControl, fDsrSensitivity, fTXContinueOnXoff, fErrorChar, fNull, fRtsControl,
// fAbortOnError, XonLim, XoffLim, ErrorChar, EofChar, EvtChar) has no termios
// counterpart: the port keeps the values last applied and reports them back.

#include "afx/afxobj.h"

enum : BYTE { NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4 };
enum : BYTE { ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2 };
enum : DWORD { DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2 };
enum : DWORD {
    RTS_CONTROL_DISABLE = 0,
    RTS_CONTROL_ENABLE = 1,
    RTS_CONTROL_HANDSHAKE = 2,
    RTS_CONTROL_TOGGLE = 3
};

// Flags are whole members rather than bit-fields, so that they can be passed by reference.
struct DCB {
    DWORD DCBlength = sizeof(DCB);
    DWORD BaudRate = 0;
    DWORD fBinary = 1;
    DWORD fParity = 0;
    DWORD fOutxCtsFlow = 0;
    DWORD fOutxDsrFlow = 0;
    DWORD fDtrControl = DTR_CONTROL_ENABLE;
    DWORD fDsrSensitivity = 0;
    DWORD fTXContinueOnXoff = 0;
    DWORD fOutX = 0;
    DWORD fInX = 0;
    DWORD fErrorChar = 0;
    DWORD fNull = 0;
    DWORD fRtsControl = RTS_CONTROL_ENABLE;
    DWORD fAbortOnError = 0;
    WORD XonLim = 2048;
    WORD XoffLim = 512;
    BYTE ByteSize = 8;
    BYTE Parity = NOPARITY;
    BYTE StopBits = ONESTOPBIT;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};

// MAXDWORD as ReadIntervalTimeout (with both read totals zero) makes a read return at once.
inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};
