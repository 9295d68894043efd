// The handlers of the board buttons: each reads what its run needs from the window, hands
// it to the run and shows what only the window holds.
#include "app/CMainTestDlg.h"
#include "board/BoardTable.h"
#include "board/Diagnostics.h"
#include "board/InitializeBoard.h"
#include "board/InterruptTest.h"
#include "meter/MeasureReferences.h"

#include <string>

namespace {

// Text of a settings box, terminator included.
constexpr int kSettingTextSize = 1000;

std::string BoxText(const CEdit& box) {
    char text[kSettingTextSize] = {};
    box.GetWindowText(text, kSettingTextSize);
    return text;
}

}  // namespace

void CMainTestDlg::OnInitializeBoard() {
    board::RunContext context = Context();
    if (boardInitialized) {
        board::FreeBoard(context);
        m_initButton.SetWindowText("Initialize Board");
        return;
    }
    board::InitSettings settings;
    settings.baseAddressText = BoxText(m_baseAddressEdit);
    settings.interruptText = BoxText(m_interruptEdit);
    settings.boardType = board::BoardTypeCodeOfRow(m_boardTypeCombo.GetCurSel());
    m_lastResults.init = board::InitializeRun(context, std::move(settings)).Run();
    if (m_lastResults.init.opened) m_initButton.SetWindowText("Free Board");
}

void CMainTestDlg::OnInterruptTest() {
    board::RunContext context = Context();
    m_lastResults.interrupt = board::InterruptRun(context).Run();
    const board::InterruptResult& result = m_lastResults.interrupt;
    m_intTimeoutTolMs = result.timeoutTolMs;
    m_intTimeTolMs = result.timeTolMs;
    m_intAdTolLsb = result.adTolLsb;
}

void CMainTestDlg::OnViewEeprom() {
    board::RunContext context = Context();
    m_lastResults.eeprom = board::ViewEeprom(context);
}

// The model is looked up when the button is pressed; with no row selected (the list's text
// edited) it counts as model code 0, as Initialize Board does.
void CMainTestDlg::OnDumpRegisters() {
    board::RunContext context = Context();
    m_lastResults.registers = board::DumpRegisters(context, board::BoardTypeCodeOfRow(m_boardTypeCombo.GetCurSel()));
}

void CMainTestDlg::OnSample() {
    board::RunContext context = Context();
    m_lastResults.sample = board::SampleChannels(context, board::ChannelCountOfRow(m_boardTypeCombo.GetCurSel()));
}

void CMainTestDlg::OnMeasureReferences() {
    // No checked button reads as 0, which gives a negative index.
    const int meterIndex = GetCheckedRadioButton(IDC_FLUKE45, IDC_METER_NONE) - IDC_FLUKE45;
    board::RunContext context = Context();
    m_lastResults.measure = meter::MeasureRun(context, *this, meterIndex, m_referenceVoltages).Run();
}
