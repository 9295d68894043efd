// CSerialException: the system's code, its text, and the thrown-pointer convention.
#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>
#include <cstring>
#include <string>

#include "meter/CSerialException.h"
#include "meter/CSerialPort.h"

struct MessageCase {
    DWORD code;
    UINT bufferSize;
    bool known;
    std::string text;
};

static void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << "code " << c.code << ", " << c.bufferSize << " chars";
}

class SerialExceptionMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(SerialExceptionMessage, GivesTheSystemsTextOrNothing) {
    const MessageCase& c = GetParam();
    CSerialException* e = new CSerialException(c.code);
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    UINT help = 777;
    EXPECT_EQ(e->GetErrorMessage(buffer, c.bufferSize, &help), c.known ? TRUE : FALSE) << "code " << c.code;
    EXPECT_EQ(help, 0u);
    EXPECT_EQ(std::string(buffer), c.text) << "code " << c.code;
    EXPECT_EQ(buffer[c.bufferSize], '#') << "wrote past the buffer size";
    e->Delete();
}

INSTANTIATE_TEST_SUITE_P(Codes, SerialExceptionMessage,
                         testing::Values(MessageCase{ENOENT, 100, true, std::strerror(ENOENT)},
                                         MessageCase{EBUSY, 100, true, std::strerror(EBUSY)},
                                         MessageCase{EIO, 100, true, "Input/output error"},
                                         MessageCase{ENOENT, 5, true, "No s"},
                                         MessageCase{ENOENT, 1, true, ""}, MessageCase{99999, 100, false, ""},
                                         MessageCase{0xFFFFFFFFu, 100, false, ""}),
                         [](const testing::TestParamInfo<MessageCase>& row) {
                             return "Code" + std::to_string(row.param.code) + "Size" +
                                    std::to_string(row.param.bufferSize);
                         });

TEST(SerialExceptionTest, HelpContextIsOptional) {
    CSerialException e(EACCES);
    char buffer[64];
    EXPECT_TRUE(e.GetErrorMessage(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, std::strerror(EACCES));
}

TEST(SerialExceptionTest, RaiseThrowsAHeapPointerWithTheCode) {
    try {
        RaiseSerialError(EIO);
        FAIL() << "RaiseSerialError returned";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->m_dwError, static_cast<DWORD>(EIO));
        e->Delete();
    }
}

TEST(SerialExceptionTest, RaiseWithZeroTakesErrno) {
    errno = EACCES;
    try {
        RaiseSerialError(0);
        FAIL() << "RaiseSerialError returned";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->m_dwError, static_cast<DWORD>(EACCES));
        e->Delete();
    }
}

TEST(SerialExceptionTest, CarriesRunTimeClassInformation) {
    CSerialException e(ENOENT);
    EXPECT_STREQ(e.GetRuntimeClass()->m_lpszClassName, "CSerialException");
    EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(CObject)));
    CSerialPort port;
    EXPECT_STREQ(port.GetRuntimeClass()->m_lpszClassName, "CSerialPort");
    EXPECT_TRUE(port.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(port.IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_FALSE(port.IsOpen()) << "a new port is closed";
}
