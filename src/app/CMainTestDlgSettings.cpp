// The settings load at start-up and the board-list selection.
#include "app/CMainTestDlg.h"
#include "app/SettingsFile.h"
#include "board/BoardTable.h"
#include "platform/Files.h"

#include <cstdio>

namespace {

constexpr const char* kSettingsFileName = "Vantrel.ini";

constexpr std::int32_t kDefaultBaseAddress = 0x300;
constexpr std::int32_t kDefaultInterrupt = 7;
constexpr std::int32_t kDefaultVoltmeter = 0;
constexpr int kMeterCount = IDC_METER_NONE - IDC_FLUKE45 + 1;

// Texts of the two boxes when there is no settings file.
constexpr const char* kNoFileBaseAddressText = "300";
constexpr const char* kNoFileInterruptText = "5";

}  // namespace

void CMainTestDlg::LoadSettings() {
    m_baseAddressSetting = kDefaultBaseAddress;
    m_interruptSetting = kDefaultInterrupt;
    m_voltmeterSetting = kDefaultVoltmeter;

    // A folder or a FIFO of that name counts as no settings file.
    std::FILE* file = vantrel::platform::OpenRegularFileForReading(kSettingsFileName);
    if (!file) {
        m_baseAddressEdit.SetWindowText(kNoFileBaseAddressText);
        m_interruptEdit.SetWindowText(kNoFileInterruptText);
        return;
    }

    const vantrel::app::SettingsFileValues values = vantrel::app::ReadSettingsFile(file);
    m_baseAddressSetting = values.baseAddress.value_or(m_baseAddressSetting);
    m_interruptSetting = values.interrupt.value_or(m_interruptSetting);
    m_voltmeterSetting = values.voltmeter.value_or(m_voltmeterSetting);
    m_boardConfig.boardType = values.boardType.value_or(m_boardConfig.boardType);
    std::fclose(file);

    const int row = vantrel::board::RowOfTypeCode(m_boardConfig.boardType);
    if (row >= 0) m_boardTypeCombo.SetCurSel(row);

    // A value that names no button of the group leaves all three unchecked.
    if (m_voltmeterSetting >= 0 && m_voltmeterSetting < kMeterCount) {
        CheckRadioButton(IDC_FLUKE45, IDC_METER_NONE, IDC_FLUKE45 + m_voltmeterSetting);
    } else {
        // Only "Fluke 45" can be checked at this point of the start-up.
        m_flukeRadio.SetCheck(0);
    }

    std::snprintf(g_textBuf, kTextBufSize, "%X", static_cast<unsigned>(m_baseAddressSetting));
    m_baseAddressEdit.SetWindowText(g_textBuf);
    std::snprintf(g_textBuf, kTextBufSize, "%d", m_interruptSetting);
    m_interruptEdit.SetWindowText(g_textBuf);
}

void CMainTestDlg::OnBoardTypeSelChange() {
    const vantrel::board::BoardModel* model = vantrel::board::ModelOfRow(m_boardTypeCombo.GetCurSel());
    if (!model) return;
    std::snprintf(g_textBuf, kTextBufSize, "%x", static_cast<unsigned>(model->defaultBaseAddress));
    m_baseAddressEdit.SetWindowText(g_textBuf);
    std::snprintf(g_textBuf, kTextBufSize, "%x", static_cast<unsigned>(model->defaultInterrupt));
    m_interruptEdit.SetWindowText(g_textBuf);
}
