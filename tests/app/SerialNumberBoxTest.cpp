// The serial-number box refuses a serial number that no label can carry: it stays open with
// the reason, and only a good one is taken.
#include "DialogDriver.h"
#include "app/CSerialNumberDlg.h"
#include "records/SerialPolicy.h"

#include <gtest/gtest.h>

namespace {

TEST(SerialNumberBox, RefusedSerialKeepsTheBoxOpenWithTheReason) {
    const struct {
        std::string typed;
        std::string reason;
    } rows[] = {
        {"SN-\xe2\x80\xae"
         "4321-A",
         "invisible"},
        {"SN-\xe2\x80\x8d"
         "1",
         "invisible"},
        {" SN-1", "blank"},
        {std::string(65, '7'), "longer than 64"},
        {"SN-12345", "does not match"},
    };
    for (const auto& row : rows) {
        vantrel::dialogdriver::MessageBoxScript boxes;
        CSerialNumberDlg box(nullptr, [](const std::string& serial) {
            return vantrel::records::SerialProblem(serial, "^SN-[0-9]{6}$");
        });
        bool stayedOpen = false;
        vantrel::dialogdriver::RunModal(box, [&](vantrel::dialogdriver::DialogDriver& driver) {
            driver.SetText(CSerialNumberDlg::IDC_SERIAL_NUMBER, row.typed);
            driver.Click(IDOK);
            stayedOpen = !driver.Ended();
            driver.SetText(CSerialNumberDlg::IDC_SERIAL_NUMBER, "SN-123456");
            driver.Click(IDOK);
        });
        EXPECT_TRUE(stayedOpen) << row.reason;
        ASSERT_EQ(boxes.records().size(), 1u) << row.reason;
        EXPECT_NE(boxes.records().front().text.find(row.reason), std::string::npos)
            << boxes.records().front().text;
        EXPECT_EQ(box.SerialNumber(), "SN-123456") << row.reason;
    }
}

}  // namespace
