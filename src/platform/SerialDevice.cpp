#include "SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <iterator>

namespace vantrel::platform {

namespace {

using Clock = std::chrono::steady_clock;

struct BaudSpeed {
    std::uint32_t baud;
    speed_t speed;
};

// clang-format off
constexpr BaudSpeed kBaudSpeeds[] = {
    {50, B50},            {75, B75},            {110, B110},          {134, B134},          {150, B150},
    {200, B200},          {300, B300},          {600, B600},          {1200, B1200},        {1800, B1800},
    {2400, B2400},        {4800, B4800},        {9600, B9600},        {19200, B19200},      {38400, B38400},
    {57600, B57600},      {115200, B115200},    {230400, B230400},    {460800, B460800},    {500000, B500000},
    {576000, B576000},    {921600, B921600},    {1000000, B1000000},  {1152000, B1152000},  {1500000, B1500000},
    {2000000, B2000000},  {2500000, B2500000},  {3000000, B3000000},  {3500000, B3500000},  {4000000, B4000000},
};
// clang-format on

bool SpeedForBaud(std::uint32_t baud, speed_t& speed) {
    for (const BaudSpeed& entry : kBaudSpeeds)
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    return false;
}

std::uint32_t BaudForSpeed(speed_t speed) {
    for (const BaudSpeed& entry : kBaudSpeeds)
        if (entry.speed == speed) return entry.baud;
    return 0;
}

int EncodeLine(const SerialLine& line, termios& t) {
    speed_t speed = B0;
    if (!SpeedForBaud(line.baudRate, speed)) return EINVAL;
    tcflag_t size = 0;
    switch (line.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return EINVAL;
    }
    cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    t.c_cflag |= size | CLOCAL | CREAD;
    switch (line.parity) {
    case SerialParity::None: break;
    case SerialParity::Even: t.c_cflag |= PARENB; break;
    case SerialParity::Odd: t.c_cflag |= PARENB | PARODD; break;
#ifdef CMSPAR
    case SerialParity::Mark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case SerialParity::Space: t.c_cflag |= PARENB | CMSPAR; break;
#else
    case SerialParity::Mark:
    case SerialParity::Space: return EINVAL;
#endif
    }
    if (line.twoStopBits) t.c_cflag |= CSTOPB;
    if (line.rtsCtsFlow) t.c_cflag |= CRTSCTS;
    if (line.parityCheck) t.c_iflag |= INPCK;
    if (line.xonXoffOut) t.c_iflag |= IXON;
    if (line.xonXoffIn) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(line.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(line.xoffChar);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return 0;
}

// Milliseconds left until deadline, rounded up so that poll never wakes before it.
int CeilMsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    const long long ms = (left.count() + 999'999) / 1'000'000;
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

std::chrono::milliseconds TotalMs(std::uint32_t multiplier, std::uint32_t constant, std::size_t count) {
    const unsigned long long total = static_cast<unsigned long long>(multiplier) * count + constant;
    return std::chrono::milliseconds(std::min<unsigned long long>(total, LLONG_MAX / 1'000'000));
}

}  // namespace

std::string SerialDevicePath(int portNumber) {
    const std::string name = "COM" + std::to_string(portNumber);
    struct stat st {};
    if (::lstat(name.c_str(), &st) == 0) return name;
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

int SerialOpen(const std::string& path, int& fd) {
    fd = -1;
    const int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return errno;
    // TIOCEXCL keeps other users out but not root; the lock keeps out anyone who asks for it.
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(handle);
        return error;
    }
    if (::isatty(handle)) {
        ::ioctl(handle, TIOCEXCL);
        ::tcflush(handle, TCIFLUSH);
    }
    fd = handle;
    return 0;
}

void SerialClose(int fd) {
    if (fd < 0) return;
    // The exclusive flag outlives our descriptor while another one (an emulator's) is open.
    if (::isatty(fd)) ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

int SerialGetLine(int fd, SerialLine& line) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return errno;
    line.baudRate = BaudForSpeed(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    const bool odd = (t.c_cflag & PARODD) != 0;
    bool sticky = false;
#ifdef CMSPAR
    sticky = (t.c_cflag & CMSPAR) != 0;
#endif
    if (!(t.c_cflag & PARENB))
        line.parity = SerialParity::None;
    else if (sticky)
        line.parity = odd ? SerialParity::Mark : SerialParity::Space;
    else
        line.parity = odd ? SerialParity::Odd : SerialParity::Even;
    line.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    line.parityCheck = (t.c_iflag & INPCK) != 0;
    line.rtsCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    line.xonXoffOut = (t.c_iflag & IXON) != 0;
    line.xonXoffIn = (t.c_iflag & IXOFF) != 0;
    line.xonChar = t.c_cc[VSTART];
    line.xoffChar = t.c_cc[VSTOP];
    return 0;
}

int SerialSetLine(int fd, const SerialLine& line) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return errno;
    if (const int error = EncodeLine(line, t)) return error;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return errno;
    return 0;
}

int SerialEncodeLine(const SerialLine& line, SerialLineWords& words) {
    termios t{};
    if (const int error = EncodeLine(line, t)) return error;
    words.iflag = t.c_iflag;
    words.oflag = t.c_oflag;
    words.cflag = t.c_cflag;
    words.lflag = t.c_lflag;
    words.speed = cfgetospeed(&t);
    return 0;
}

namespace {

// How a read waits, from the port's read time-outs: not at all, until the first byte, or
// within a total time and a time between bytes.
struct ReadWaits {
    bool noWait = false;
    bool firstByteEnds = false;
    bool useInterval = false;
    bool useTotal = false;
    Clock::time_point deadline{};
};

ReadWaits PlanReadWaits(const SerialTimeouts& timeouts, std::size_t count) {
    ReadWaits w;
    w.noWait =
        timeouts.readInterval == kSerialNoWait && timeouts.readMultiplier == 0 && timeouts.readConstant == 0;
    w.firstByteEnds = timeouts.readInterval == kSerialNoWait && timeouts.readMultiplier == kSerialNoWait &&
                      timeouts.readConstant != 0 && timeouts.readConstant != kSerialNoWait;
    w.useInterval = timeouts.readInterval != 0 && timeouts.readInterval != kSerialNoWait;
    w.useTotal = !w.noWait && (timeouts.readMultiplier != 0 || timeouts.readConstant != 0);
    if (w.firstByteEnds)
        w.deadline = Clock::now() + std::chrono::milliseconds(timeouts.readConstant);
    else if (w.useTotal)
        w.deadline = Clock::now() + TotalMs(timeouts.readMultiplier, timeouts.readConstant, count);
    w.useTotal = w.useTotal || w.firstByteEnds;
    return w;
}

// The poll wait before the next byte, -1 for none; false once a time-out has run out.
bool NextReadWait(const ReadWaits& w, std::uint32_t interval, std::size_t got, Clock::time_point lastByte,
                  int& waitMs) {
    waitMs = -1;
    if (w.noWait) {
        waitMs = 0;
        return true;
    }
    if (w.useTotal) {
        if (Clock::now() >= w.deadline) return false;
        waitMs = CeilMsUntil(w.deadline);
    }
    if (w.useInterval && got > 0) {
        const auto intervalEnd = lastByte + std::chrono::milliseconds(interval);
        if (Clock::now() >= intervalEnd) return false;
        const int intervalMs = CeilMsUntil(intervalEnd);
        waitMs = waitMs < 0 ? intervalMs : std::min(waitMs, intervalMs);
    }
    return true;
}

}  // namespace

int SerialRead(int fd, void* buffer, std::size_t count, const SerialTimeouts& timeouts, std::size_t& got) {
    got = 0;
    if (fd < 0) return EBADF;
    if (count == 0) return 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    const ReadWaits waits = PlanReadWaits(timeouts, count);
    Clock::time_point lastByte{};

    while (got < count) {
        int waitMs = -1;
        if (!NextReadWait(waits, timeouts.readInterval, got, lastByte, waitMs)) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (ready == 0) {
            if (waits.noWait) break;
            continue;  // the time-outs are checked at the top of the loop
        }
        if (p.revents & POLLNVAL) return EBADF;
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fd, bytes + got, count - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                lastByte = Clock::now();
                if (waits.firstByteEnds) break;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!(p.revents & (POLLHUP | POLLERR))) continue;
            } else if (n < 0 && got == 0) {
                return errno;
            }
            // Hung up: hand over what arrived; the next read reports the hang-up.
            return got > 0 ? 0 : EIO;
        }
    }
    return 0;
}

int SerialWrite(int fd, const void* buffer, std::size_t count, const SerialTimeouts& timeouts,
                std::size_t& written) {
    written = 0;
    if (fd < 0) return EBADF;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const bool useTotal = timeouts.writeMultiplier != 0 || timeouts.writeConstant != 0;
    const Clock::time_point deadline =
        Clock::now() + TotalMs(timeouts.writeMultiplier, timeouts.writeConstant, count);

    while (written < count) {
        int waitMs = -1;
        if (useTotal) {
            if (Clock::now() >= deadline) break;
            waitMs = CeilMsUntil(deadline);
        }
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (ready == 0) continue;
        if (p.revents & POLLNVAL) return EBADF;
        const ssize_t n = ::write(fd, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (p.revents & (POLLHUP | POLLERR)) return EIO;
            continue;
        }
        return n < 0 ? errno : EIO;
    }
    return 0;
}

}  // namespace vantrel::platform
