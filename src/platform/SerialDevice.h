#pragma once
// Serial devices on POSIX: opening by port number, line settings, timed reads and writes,
// and the system's error texts. The termios, poll and lock calls stay in SerialDevice.cpp so
// that the serial port class above never sees a POSIX header.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel::platform {

enum class SerialParity { None, Odd, Even, Mark, Space };

// What a termios line can express.
struct SerialLine {
    std::uint32_t baudRate = 9600;
    unsigned dataBits = 8;
    SerialParity parity = SerialParity::None;
    bool twoStopBits = false;
    bool parityCheck = false;  // INPCK: check the parity of received bytes
    bool rtsCtsFlow = false;   // CRTSCTS: hardware handshake in both directions
    bool xonXoffOut = false;   // IXON: XOFF from the peer pauses our output
    bool xonXoffIn = false;    // IXOFF: we send XOFF/XON as our input fills
    unsigned char xonChar = 0x11;
    unsigned char xoffChar = 0x13;
};

// Time-outs in milliseconds, with the meaning of the serial time-out record: a read of n
// bytes ends once readMultiplier * n + readConstant have passed (when either is nonzero) or
// once readInterval passes between two bytes (when nonzero). An interval of
// kSerialNoWait with both read totals zero returns at once with what is buffered; with a
// multiplier of kSerialNoWait as well, the read waits up to readConstant for the first byte
// and returns as soon as any arrive. Writes end after writeMultiplier * n + writeConstant.
// All zero: reads and writes wait until the whole count is transferred.
inline constexpr std::uint32_t kSerialNoWait = 0xFFFFFFFFu;
struct SerialTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readMultiplier = 0;
    std::uint32_t readConstant = 0;
    std::uint32_t writeMultiplier = 0;
    std::uint32_t writeConstant = 0;
};

// The termios control words a SerialLine asks for (tcflag_t and speed_t values).
struct SerialLineWords {
    unsigned iflag = 0;
    unsigned oflag = 0;
    unsigned cflag = 0;
    unsigned lflag = 0;
    unsigned speed = 0;
};

// "COM<n>" in the current folder when such a file or symlink exists, else /dev/ttyS<n-1>.
std::string SerialDevicePath(int portNumber);

// The functions below return 0 or the errno value of the failing call.

// Opens read-write, without becoming the controlling terminal, and exclusively: a second
// open of the same device, by any program, fails with EBUSY. Input already waiting in the
// device is discarded.
int SerialOpen(const std::string& path, int& fd);
// Releases the exclusive hold and closes. Failures are ignored.
void SerialClose(int fd);

int SerialGetLine(int fd, SerialLine& line);
// Applies the line in raw mode (no echo, no line editing, no character translation).
// EINVAL for a baud rate without a termios speed, a byte size outside 5..8, or mark/space
// parity on a system without CMSPAR.
int SerialSetLine(int fd, const SerialLine& line);
// The control words SerialSetLine requests for line, on top of a zeroed termios.
int SerialEncodeLine(const SerialLine& line, SerialLineWords& words);

// One read of up to count bytes under the time-outs; got is what arrived. A peer that hung
// up is EIO once nothing is left to read.
int SerialRead(int fd, void* buffer, std::size_t count, const SerialTimeouts& timeouts, std::size_t& got);
int SerialWrite(int fd, const void* buffer, std::size_t count, const SerialTimeouts& timeouts,
                std::size_t& written);

}  // namespace vantrel::platform
