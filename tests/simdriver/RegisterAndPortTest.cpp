// Registers, register pages and the I/O bus.
#include "DriverFixture.h"

#include <string>

namespace {

class Registers : public DriverFixture {};

TEST_F(Registers, BaseRelativeAndBareNumbersReachTheSameRegister) {
    const uint16_t base = 0x300;
    BoardHandle h = Open(27, base, 7);
    // Register 12 is an ordinary read-write register of page 0.
    ASSERT_EQ(bqxRegisterWrite(h, 12, 0x5C), BQX_OK);
    uint8_t viaBase = 0, viaNumber = 0, viaPort = 0;
    ASSERT_EQ(bqxRegisterRead(h, base + 12, &viaBase), BQX_OK);
    ASSERT_EQ(bqxRegisterRead(h, 12, &viaNumber), BQX_OK);
    ASSERT_EQ(bqxInp(base + 12, &viaPort), BQX_OK);
    EXPECT_EQ(viaBase, 0x5C);
    EXPECT_EQ(viaNumber, 0x5C);
    EXPECT_EQ(viaPort, 0x5C);
    ASSERT_EQ(bqxRegisterWrite(h, base + 12, 0x3A), BQX_OK);
    ASSERT_EQ(bqxRegisterRead(h, 12, &viaNumber), BQX_OK);
    EXPECT_EQ(viaNumber, 0x3A);
    uint8_t v = 0;
    EXPECT_EQ(bqxRegisterRead(h, base + 16, &v), BQX_E_ARGUMENT);
    EXPECT_EQ(bqxRegisterRead(h, 16, &v), BQX_E_ARGUMENT);
}

TEST_F(Registers, IdentityRegistersShowTypeAndRevision) {
    BoardHandle h = Open(36, 0x300, 7);
    uint8_t type = 0, lo = 0, hi = 0;
    bqxRegisterRead(h, 0x300, &type);
    bqxRegisterRead(h, 0x301, &lo);
    bqxRegisterRead(h, 0x302, &hi);
    EXPECT_EQ(type, 36);
    EXPECT_EQ((hi << 8) | lo, 0x1A3);
}

TEST_F(Registers, InterruptRegisterAcknowledgesWithTwo) {
    BoardHandle h = Open();
    ASSERT_EQ(bqxRegisterWrite(h, 7, 1), BQX_OK);
    uint8_t v = 0;
    bqxRegisterRead(h, 0x307, &v);
    EXPECT_EQ(v & 0x01, 0x01) << "interrupts enabled after writing 1";
    ASSERT_EQ(bqxRegisterWrite(h, 7, 2), BQX_OK);
    bqxRegisterRead(h, 0x307, &v);
    EXPECT_EQ(v, 0) << "writing 2 disables and clears the pending bit";
}

class Bus : public DriverFixture {};

TEST_F(Bus, PortsWhereNoBoardAnswersReadFF) {
    uint8_t v = 0;
    ASSERT_EQ(bqxInp(0x300, &v), BQX_OK);
    EXPECT_EQ(v, 0xFF) << "no board open";
    Open(27, 0x300, 7);
    for (uint16_t port : {0x2FF, 0x310, 0x240, 0x0, 0xFFFF}) {
        v = 0;
        ASSERT_EQ(bqxInp(port, &v), BQX_OK);
        EXPECT_EQ(v, 0xFF) << "port 0x" << std::hex << port;
        EXPECT_EQ(bqxOutp(port, 0x12), BQX_OK);
    }
    ASSERT_EQ(bqxInp(0x300, &v), BQX_OK);
    EXPECT_EQ(v, 27) << "inside the board: register 0";
}

struct PageCase {
    const char* name;
    uint8_t type;
    uint16_t base;
    int pagePort;     // -1: no page register
    uint8_t powerUp;  // what the page port reads at power-up
};

class PageSelection : public DriverFixture, public ::testing::WithParamInterface<PageCase> {};

// Selects page 0 the way the register dump does for each model.
void SelectPageZero(const PageCase& c) {
    uint8_t v = 0;
    switch (c.type) {
    case 33:
        bqxInp(c.base + 3, &v);
        bqxOutp(c.base + 3, v & 0x07);
        break;
    case 20: bqxOutp(c.base + 0, 0); break;
    case 15: break;
    case 0:
        bqxInp(c.base + 10, &v);
        bqxOutp(c.base + 10, v & 0xEF);
        break;
    default: bqxOutp(c.base + 8, 0); break;
    }
}

TEST_P(PageSelection, DumpRuleSelectsPageZero) {
    const auto& c = GetParam();
    BoardHandle h = Open(c.type, c.base, 5);
    uint8_t v = 0;
    if (c.pagePort >= 0) {
        ASSERT_EQ(bqxInp(c.base + c.pagePort, &v), BQX_OK);
        EXPECT_EQ(v, c.powerUp) << "page port at power-up";
        // Another page hides page 0's register 12.
        bqxRegisterWrite(h, 12, 0x00);
        const uint8_t other = c.type == 33 ? 0x0F : c.type == 0 ? 0x10 : 1;
        bqxOutp(c.base + c.pagePort, other);
        uint8_t onOther = 0;
        bqxRegisterRead(h, c.base + 12, &onOther);
        bqxRegisterWrite(h, 12, 0x77);
        SelectPageZero(c);
        bqxRegisterRead(h, c.base + 12, &v);
        EXPECT_NE(v, 0x77) << "page 0 keeps its own register 12";
        bqxOutp(c.base + c.pagePort, other);
        bqxRegisterRead(h, c.base + 12, &v);
        EXPECT_EQ(v, 0x77) << "the other page keeps what was written to it";
    }
    SelectPageZero(c);
    // Page 0 shows the board's type code in register 0 unless that is the page register.
    bqxRegisterRead(h, c.base + 1, &v);
    EXPECT_EQ(v, 0xA3) << "page 0 register 1: FPGA revision low byte";
    if (c.type == 33) {
        bqxInp(c.base + 3, &v);
        EXPECT_EQ(v, 0x07) << "0xFF AND 0x07 written back";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, PageSelection,
    ::testing::Values(PageCase{"Corvel", 27, 0x300, 8, 0x00}, PageCase{"Corvex", 34, 0x300, 8, 0x00},
                      PageCase{"Tamsel", 33, 0x280, 3, 0xFF}, PageCase{"Harlun", 20, 0x240, 0, 0x00},
                      PageCase{"Pedran", 32, 0x300, 8, 0x00}, PageCase{"Nessov", 36, 0x300, 8, 0x00},
                      PageCase{"Corvan", 15, 0x300, -1, 0x00}, PageCase{"Corvit", 0, 0x300, 10, 0x13},
                      PageCase{"Corvix", 12, 0x300, 8, 0x00}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
