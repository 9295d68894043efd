// CSerialPort over a pseudo-terminal that the test drives from the master side.
#include <gtest/gtest.h>

#include <ostream>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "SerialTestAccess.h"
#include "TimingChecks.h"
#include "meter/CSerialException.h"
#include "meter/CSerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPort = 7;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A raw pseudo-terminal linked as COM7 in a fresh folder that becomes the current one. The
// test keeps a slave descriptor of its own, as the meter emulator does.
class PtyBench {
public:
    PtyBench() {
        char pattern[] = "/tmp/vantrel-serial-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256] = {};
        if (m_master < 0 || ::grantpt(m_master) || ::unlockpt(m_master) ||
            ::ptsname_r(m_master, name, sizeof name))
            throw std::runtime_error("no pseudo-terminal");
        m_slavePath = name;
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        ::tcgetattr(m_slave, &t);
        cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        std::filesystem::create_directory_symlink(m_slavePath, m_dir + "/COM7");
        m_previousDir = std::filesystem::current_path().string();
        std::filesystem::current_path(m_dir);
    }
    ~PtyBench() {
        CloseMaster();
        if (m_slave >= 0) ::close(m_slave);
        std::filesystem::current_path(m_previousDir);
        std::filesystem::remove_all(m_dir);
    }
    PtyBench(const PtyBench&) = delete;
    PtyBench& operator=(const PtyBench&) = delete;

    void Send(const std::string& bytes) const {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Everything the port wrote, waiting up to waitMs for the first byte.
    std::string Drain(int waitMs = 200) const {
        std::string bytes;
        pollfd p{m_master, POLLIN, 0};
        while (::poll(&p, 1, bytes.empty() ? waitMs : 20) > 0 && (p.revents & POLLIN)) {
            char chunk[4096];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0) break;
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        return bytes;
    }
    termios LineSeenByPeer() const {
        termios t{};
        ::tcgetattr(m_master, &t);
        return t;
    }
    void CloseMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }
    const std::string& Dir() const { return m_dir; }

private:
    std::string m_dir;
    std::string m_previousDir;
    std::string m_slavePath;
    int m_master = -1;
    int m_slave = -1;
};

DWORD ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (CSerialException* e) {
        const DWORD code = e->m_dwError;
        e->Delete();
        return code;
    }
    return 0;
}

COMMTIMEOUTS Timeouts(DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    return t;
}

}  // namespace

struct OpenCase {
    const char* name;
    int parity;
    BYTE dataBits;
    int stopBits;
    vantrel::platform::SerialParity requestedParity;
    bool twoStopBits;
    BYTE reportedStopBits;
    unsigned requestedSize;  // CS5..CS8
    unsigned parityBits;     // PARENB | PARODD | CMSPAR as requested
};

static void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class SerialPortOpen : public testing::TestWithParam<OpenCase> {};

TEST_P(SerialPortOpen, AppliesTheRequestedFraming) {
    const OpenCase& c = GetParam();
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, c.parity, c.dataBits, c.stopBits, CSerialPort::NoFlowControl, FALSE);
    ASSERT_TRUE(port.IsOpen());

    const vantrel::platform::SerialLine& line = CSerialPortAccess::RequestedLine(port);
    EXPECT_EQ(line.baudRate, 9600u);
    EXPECT_EQ(line.dataBits, c.dataBits);
    EXPECT_EQ(line.parity, c.requestedParity);
    EXPECT_EQ(line.twoStopBits, c.twoStopBits);
    vantrel::platform::SerialLineWords words;
    ASSERT_EQ(vantrel::platform::SerialEncodeLine(line, words), 0);
    EXPECT_EQ(words.cflag & CSIZE, c.requestedSize);
    EXPECT_EQ(words.cflag & (PARENB | PARODD | CMSPAR), c.parityBits);
    EXPECT_EQ((words.cflag & CSTOPB) != 0, c.twoStopBits);
    EXPECT_EQ(words.speed, static_cast<unsigned>(B9600));

    // What the device keeps: rate and stop bits; a pseudo-terminal stays at 8 bits, no parity.
    DCB dcb;
    port.QueryState(dcb);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.StopBits, c.reportedStopBits);
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    const termios seen = bench.LineSeenByPeer();
    EXPECT_EQ(cfgetospeed(&seen), static_cast<speed_t>(B9600));
    EXPECT_EQ((seen.c_cflag & CSTOPB) != 0, c.twoStopBits);
    EXPECT_EQ(seen.c_lflag & (ICANON | ECHO | ISIG), 0u) << "port must be raw";
}

INSTANTIATE_TEST_SUITE_P(
    Framing, SerialPortOpen,
    testing::Values(
        OpenCase{"Fluke8N1", 2, 8, 0, vantrel::platform::SerialParity::None, false, ONESTOPBIT, CS8, 0},
        OpenCase{"Hp7E2", 0, 7, 2, vantrel::platform::SerialParity::Even, true, TWOSTOPBITS, CS7, PARENB},
        OpenCase{"Odd", 3, 8, 0, vantrel::platform::SerialParity::Odd, false, ONESTOPBIT, CS8,
                 PARENB | PARODD},
        OpenCase{"Mark", 1, 7, 0, vantrel::platform::SerialParity::Mark, false, ONESTOPBIT, CS7,
                 PARENB | PARODD | CMSPAR},
        OpenCase{"Space", 4, 7, 0, vantrel::platform::SerialParity::Space, false, ONESTOPBIT, CS7,
                 PARENB | CMSPAR},
        OpenCase{"OneAndAHalfStopBits", 2, 5, 1, vantrel::platform::SerialParity::None, true, ONE5STOPBITS,
                 CS5, 0}),
    [](const testing::TestParamInfo<OpenCase>& row) { return std::string(row.param.name); });

TEST(SerialPortTest, FlukeSettingsQueryBackAsNoHandshakeAtAll) {
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    DCB dcb;
    port.QueryState(dcb);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    EXPECT_FALSE(CSerialPortAccess::Overlapped(port));
}

struct FlowCase {
    int code;
    DWORD cts, dsr, dtr, rts, outX, inX;
    WORD xonLimit;
};

static void PrintTo(const FlowCase& c, std::ostream* os) { *os << "flow code " << c.code; }

class SerialPortFlow : public testing::TestWithParam<FlowCase> {};

TEST_P(SerialPortFlow, WritesTheFlowControlRow) {
    const FlowCase& c = GetParam();
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, c.code, FALSE);
    DCB dcb;
    port.QueryState(dcb);
    EXPECT_EQ(dcb.fOutxCtsFlow, c.cts) << "flow code " << c.code;
    EXPECT_EQ(dcb.fOutxDsrFlow, c.dsr) << "flow code " << c.code;
    EXPECT_EQ(dcb.fDtrControl, c.dtr) << "flow code " << c.code;
    EXPECT_EQ(dcb.fRtsControl, c.rts) << "flow code " << c.code;
    EXPECT_EQ(dcb.fOutX, c.outX) << "flow code " << c.code;
    EXPECT_EQ(dcb.fInX, c.inX) << "flow code " << c.code;
    EXPECT_EQ(dcb.XonLim, c.xonLimit) << "flow code " << c.code;
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    const termios seen = bench.LineSeenByPeer();
    EXPECT_EQ((seen.c_cflag & CRTSCTS) != 0, c.cts != 0);
    EXPECT_EQ((seen.c_iflag & IXON) != 0, c.outX != 0);
    EXPECT_EQ((seen.c_iflag & IXOFF) != 0, c.inX != 0);
    if (c.outX) {
        EXPECT_EQ(seen.c_cc[VSTART], 0x11);
        EXPECT_EQ(seen.c_cc[VSTOP], 0x13);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialPortFlow,
    testing::Values(FlowCase{0, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0, 2048},
                    FlowCase{1, 1, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, 0, 0, 2048},
                    FlowCase{2, 1, 0, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE, 0, 0, 2048},
                    FlowCase{3, 0, 1, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, 0, 0, 2048},
                    FlowCase{4, 0, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE, 0, 0, 2048},
                    FlowCase{5, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 1, 1, 100},
                    FlowCase{9, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0, 2048}),
    [](const testing::TestParamInfo<FlowCase>& row) { return "Code" + std::to_string(row.param.code); });

TEST(SerialPortTest, CodesOutOfRangeKeepWhatTheDeviceReports) {
    PtyBench bench;
    {
        CSerialPort port;
        port.Open(kPort, 9600, CSerialPort::NoParity, 8, CSerialPort::TwoStopBits, 0, FALSE);
    }
    CSerialPort port;
    port.Open(kPort, 9600, 17, 8, -3, 0, FALSE);
    EXPECT_TRUE(CSerialPortAccess::RequestedLine(port).twoStopBits) << "stop bits as the device had them";
    EXPECT_EQ(CSerialPortAccess::RequestedLine(port).parity, vantrel::platform::SerialParity::None);
}

TEST(SerialPortTest, CloseTwiceIsHarmless) {
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(CSerialPortAccess::Overlapped(port));
    // The port is free again for the next user.
    CSerialPort again;
    EXPECT_NO_THROW(again.Open(kPort, 9600, 2, 8, 0, 0, FALSE));
}

TEST(SerialPortTest, MissingPortThrowsNoSuchFileAndStaysClosed) {
    PtyBench bench;  // only COM7 exists here
    CSerialPort port;
    const DWORD code = ErrorOf([&] { port.Open(250, 9600, 2, 8, 0, 0, FALSE); });
    EXPECT_EQ(code, static_cast<DWORD>(ENOENT));
    EXPECT_FALSE(port.IsOpen());

    std::filesystem::create_symlink(bench.Dir() + "/no-such-device", "COM3");
    EXPECT_EQ(ErrorOf([&] { port.Open(3, 9600, 2, 8, 0, 0, FALSE); }), static_cast<DWORD>(ENOENT))
        << "a dangling COM3 link must not fall back to another device";
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPortTest, SecondOpenInThisProgramIsBusy) {
    PtyBench bench;
    CSerialPort first;
    first.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    CSerialPort second;
    EXPECT_EQ(ErrorOf([&] { second.Open(kPort, 9600, 2, 8, 0, 0, FALSE); }), static_cast<DWORD>(EBUSY));
    EXPECT_FALSE(second.IsOpen());
    first.Close();
    EXPECT_NO_THROW(second.Open(kPort, 9600, 2, 8, 0, 0, FALSE));
}

TEST(SerialPortTest, PortHeldByAnotherProgramIsBusy) {
    PtyBench bench;
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        char status = 'x';
        try {
            CSerialPort holder;
            holder.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
            status = 'y';
            (void)!::write(fromChild[1], &status, 1);
            (void)!::read(toChild[0], &status, 1);  // hold until the parent lets go
        } catch (CSerialException* e) {
            e->Delete();
            (void)!::write(fromChild[1], &status, 1);
        }
        ::_exit(0);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    char status = 0;
    ASSERT_EQ(::read(fromChild[0], &status, 1), 1);
    ASSERT_EQ(status, 'y') << "the other program could not open the port";

    CSerialPort port;
    EXPECT_EQ(ErrorOf([&] { port.Open(kPort, 9600, 2, 8, 0, 0, FALSE); }), static_cast<DWORD>(EBUSY));
    ::close(toChild[1]);
    int exitStatus = 0;
    ::waitpid(child, &exitStatus, 0);
    ::close(fromChild[0]);
    EXPECT_NO_THROW(port.Open(kPort, 9600, 2, 8, 0, 0, FALSE)) << "free once the holder exits";
}

struct ReadCase {
    const char* name;
    DWORD interval, multiplier, constant;
    DWORD count;
    std::string waiting;  // bytes already sent by the peer
    DWORD expectedCount;
    double expectedMs;
};

static void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

constexpr double kReadRoomMs = 400.0;

class SerialPortReadTimeouts : public testing::TestWithParam<ReadCase> {};

TEST_P(SerialPortReadTimeouts, ReturnWhatArrivedWhenTimeIsUp) {
    const ReadCase& c = GetParam();
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    COMMTIMEOUTS timeouts = Timeouts(c.interval, c.multiplier, c.constant);
    port.ApplyTimeouts(timeouts);
    if (!c.waiting.empty()) bench.Send(c.waiting);
    std::vector<char> buffer(c.count + 1, 0);
    const auto start = Clock::now();
    const DWORD got = port.Read(buffer.data(), c.count);
    const double elapsed = MsSince(start);
    EXPECT_EQ(got, c.expectedCount);
    EXPECT_EQ(std::string(buffer.data(), got), c.waiting.substr(0, got));
    // The room tells the interval from the total time-out, and a read at once from any wait.
    EXPECT_TRUE(timing::Waited(elapsed, c.expectedMs, kReadRoomMs));
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, SerialPortReadTimeouts,
    testing::Values(ReadCase{"OneByteNothingArrives", 500, 50, 50, 1, "", 0, 100.0},
                    ReadCase{"TotalTimeCountsTheRequest", 0, 10, 50, 10, "abc", 3, 150.0},
                    ReadCase{"IntervalAfterLastByte", 40, 0, 0, 10, "abc", 3, 40.0},
                    ReadCase{"IntervalShorterThanTotal", 30, 50, 50, 10, "abc", 3, 30.0},
                    ReadCase{"IntervalAfterASingleByte", 30, 100, 1000, 10, "a", 1, 30.0},
                    ReadCase{"AllBytesEndTheReadAtOnce", 500, 50, 50, 4, "wxyz", 4, 0.0},
                    ReadCase{"ImmediateReturnsWhatIsBuffered", MAXDWORD, 0, 0, 10, "ab", 2, 0.0},
                    ReadCase{"ImmediateWithNothing", MAXDWORD, 0, 0, 10, "", 0, 0.0},
                    ReadCase{"FirstByteEndsWaitForAny", MAXDWORD, MAXDWORD, 80, 10, "", 0, 80.0}),
    [](const testing::TestParamInfo<ReadCase>& row) { return std::string(row.param.name); });

TEST(SerialPortTest, IntervalRestartsWithEveryByte) {
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    // The bytes come far closer together than the interval, but all of them take longer
    // than one interval: only an interval that restarts with every byte reads them all,
    // even when the machine's other work delays the sender.
    constexpr DWORD kIntervalMs = 400;
    constexpr int kGapMs = 25;
    constexpr std::string_view sent = "abcdefghijklmnopqrstu";
    static_assert(sent.size() * kGapMs > kIntervalMs);
    COMMTIMEOUTS timeouts = Timeouts(kIntervalMs, 0, 0);
    port.ApplyTimeouts(timeouts);
    std::thread peer([&] {
        for (char c : sent) {
            bench.Send(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(kGapMs));
        }
    });
    char buffer[32] = {};
    const DWORD got = port.Read(buffer, sizeof buffer);
    peer.join();
    EXPECT_EQ(std::string(buffer, got), sent);
}

TEST(SerialPortTest, BytesPassUnchangedBothWays) {
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    COMMTIMEOUTS timeouts = Timeouts(100, 0, 0);
    port.ApplyTimeouts(timeouts);
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(port.Write(all.data(), static_cast<DWORD>(all.size())), all.size());
    EXPECT_EQ(bench.Drain(), all) << "the port must not translate or swallow bytes";
    bench.Send(all);
    std::string received(256, '\0');
    DWORD got = 0;
    while (got < 256) {
        const DWORD n = port.Read(received.data() + got, 256 - got);
        if (n == 0) break;
        got += n;
    }
    EXPECT_EQ(received.substr(0, got), all);
}

TEST(SerialPortTest, OpenDiscardsInputThatWasWaiting) {
    PtyBench bench;
    bench.Send("stale reply\r\n");
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    COMMTIMEOUTS timeouts = Timeouts(MAXDWORD, 0, 0);
    port.ApplyTimeouts(timeouts);
    char buffer[32];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
}

TEST(SerialPortTest, PeerHangingUpFailsTheReadAndTheWrite) {
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    COMMTIMEOUTS timeouts = Timeouts(500, 50, 500);
    port.ApplyTimeouts(timeouts);
    bench.CloseMaster();
    char buffer[4];
    const auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { port.Read(buffer, 1); }), static_cast<DWORD>(EIO));
    EXPECT_TRUE(timing::DidNotWait(MsSince(start), 500.0)) << "a hang-up is not a time-out";
    EXPECT_EQ(ErrorOf([&] { port.Write("VAL1?\n", 6); }), static_cast<DWORD>(EIO));
}

TEST(SerialPortTest, WriteTimeoutReturnsTheShortCount) {
    PtyBench bench;  // nobody reads the master: the line fills up
    CSerialPort port;
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    COMMTIMEOUTS timeouts;
    timeouts.WriteTotalTimeoutConstant = 80;
    port.ApplyTimeouts(timeouts);
    const std::vector<char> block(1 << 20, 'x');
    const auto start = Clock::now();
    const DWORD written = port.Write(block.data(), static_cast<DWORD>(block.size()));
    const double elapsed = MsSince(start);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, block.size());
    EXPECT_TRUE(timing::Waited(elapsed, 80.0));
}

TEST(SerialPortTest, CallsOnAClosedPortThrowBadDescriptor) {
    CSerialPort port;
    char buffer[4] = {};
    DCB dcb;
    COMMTIMEOUTS timeouts;
    EXPECT_EQ(ErrorOf([&] { port.Read(buffer, 1); }), static_cast<DWORD>(EBADF));
    EXPECT_EQ(ErrorOf([&] { port.Write(buffer, 1); }), static_cast<DWORD>(EBADF));
    EXPECT_EQ(ErrorOf([&] { port.QueryState(dcb); }), static_cast<DWORD>(EBADF));
    EXPECT_EQ(ErrorOf([&] { port.ApplyState(dcb); }), static_cast<DWORD>(EBADF));
    EXPECT_EQ(ErrorOf([&] { port.ApplyTimeouts(timeouts); }), static_cast<DWORD>(EBADF));
}

TEST(SerialPortTest, CallsAfterAFailedOpenReportWhyItFailed) {
    PtyBench bench;
    CSerialPort port;
    EXPECT_EQ(ErrorOf([&] { port.Open(250, 9600, 2, 8, 0, 0, FALSE); }), static_cast<DWORD>(ENOENT));
    port.Close();
    EXPECT_EQ(ErrorOf([&] { port.Write("VAL1?\n", 6); }), static_cast<DWORD>(ENOENT));
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    port.Close();
    EXPECT_EQ(ErrorOf([&] { port.Write("VAL1?\n", 6); }), static_cast<DWORD>(EBADF))
        << "a port closed after use is simply closed";
}

TEST(SerialPortTest, SettingsTermiosCannotHoldAreRefused) {
    PtyBench bench;
    CSerialPort port;
    EXPECT_EQ(ErrorOf([&] { port.Open(kPort, 12345, 2, 8, 0, 0, FALSE); }), static_cast<DWORD>(EINVAL));
    EXPECT_TRUE(port.IsOpen()) << "a failed state is left for the caller to close";
    port.Open(kPort, 9600, 2, 8, 0, 0, FALSE);
    DCB dcb;
    port.QueryState(dcb);
    dcb.ByteSize = 9;
    EXPECT_EQ(ErrorOf([&] { port.ApplyState(dcb); }), static_cast<DWORD>(EINVAL));
}

TEST(SerialPortTest, NonstandardFieldsAreKeptAsApplied) {
    PtyBench bench;
    CSerialPort port;
    port.Open(kPort, 19200, 2, 8, 0, 0, FALSE);
    DCB dcb;
    port.QueryState(dcb);
    EXPECT_EQ(dcb.BaudRate, 19200u);
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.XoffLim = 77;
    dcb.EofChar = 0x1A;
    port.ApplyState(dcb);
    DCB back;
    port.QueryState(back);
    EXPECT_EQ(back.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(back.XoffLim, 77);
    EXPECT_EQ(back.EofChar, 0x1A);
}
