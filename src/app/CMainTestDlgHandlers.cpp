// The handlers of the board buttons: each reads what its run needs from the window, hands
// it to the run and shows what only the window holds.
#include "app/CMainTestDlg.h"
#include "app/RecordAdapter.h"
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

std::string ModelText(const CComboBox& list) {
    const vantrel::board::BoardModel* model = vantrel::board::ModelOfRow(list.GetCurSel());
    return model ? model->name : std::string();
}

}  // namespace

// Each board action is recorded after it has run, so that its console text, boxes and
// driver calls are those of the window without records.
void CMainTestDlg::OnInitializeBoard() {
    vantrel::board::RunContext context = Context();
    if (boardInitialized) {
        const auto start = m_records ? m_records->Begin(m_log) : vantrel::app::RecordAdapter::Start{};
        vantrel::board::FreeBoard(context);
        m_initButton.SetWindowText("Initialize Board");
        if (m_records) m_records->Freed(start, m_log);
        TellRecordsNotice();
        return;
    }
    if (!AskSerialNumber()) return;
    const auto start = m_records ? m_records->Begin(m_log) : vantrel::app::RecordAdapter::Start{};
    vantrel::board::InitSettings settings;
    settings.baseAddressText = BoxText(m_baseAddressEdit);
    settings.interruptText = BoxText(m_interruptEdit);
    settings.boardType = vantrel::board::BoardTypeCodeOfRow(m_boardTypeCombo.GetCurSel());
    m_lastResults.init = vantrel::board::InitializeRun(context, std::move(settings)).Run();
    const vantrel::board::InitResult& result = m_lastResults.init;
    if (result.opened) m_initButton.SetWindowText("Free Board");
    if (m_records) m_records->Initialized(start, m_log, result, ModelText(m_boardTypeCombo));
    TellRecordsNotice();
}

void CMainTestDlg::OnInterruptTest() {
    vantrel::board::RunContext context = Context();
    const auto start = m_records ? m_records->Begin(m_log) : vantrel::app::RecordAdapter::Start{};
    m_lastResults.interrupt = vantrel::board::InterruptRun(context).Run();
    const vantrel::board::InterruptResult& result = m_lastResults.interrupt;
    m_intTimeoutTolMs = result.timeoutTolMs;
    m_intTimeTolMs = result.timeTolMs;
    m_intAdTolLsb = result.adTolLsb;
    if (m_records) m_records->InterruptTested(start, m_log, result);
    TellRecordsNotice();
}

void CMainTestDlg::OnViewEeprom() {
    vantrel::board::RunContext context = Context();
    m_lastResults.eeprom = vantrel::board::ViewEeprom(context);
}

// The model is looked up when the button is pressed; with no row selected (the list's text
// edited) it counts as model code 0, as Initialize Board does.
void CMainTestDlg::OnDumpRegisters() {
    vantrel::board::RunContext context = Context();
    m_lastResults.registers = vantrel::board::DumpRegisters(
        context, vantrel::board::BoardTypeCodeOfRow(m_boardTypeCombo.GetCurSel()));
}

void CMainTestDlg::OnSample() {
    vantrel::board::RunContext context = Context();
    const auto start = m_records ? m_records->Begin(m_log) : vantrel::app::RecordAdapter::Start{};
    m_lastResults.sample = vantrel::board::SampleChannels(
        context, vantrel::board::ChannelCountOfRow(m_boardTypeCombo.GetCurSel()));
    if (m_records) m_records->Sampled(start, m_log, m_lastResults.sample);
    TellRecordsNotice();
}

void CMainTestDlg::OnMeasureReferences() {
    // The buttons stand in MeterType order. No checked button reads as 0, which gives a
    // negative value: the link takes it for a Fluke 45.
    const auto meter =
        static_cast<MeterType>(GetCheckedRadioButton(IDC_FLUKE45, IDC_METER_NONE) - IDC_FLUKE45);
    if (!ConfirmMeterOnLine(meter)) return;
    vantrel::board::RunContext context = Context();
    const auto start = m_records ? m_records->Begin(m_log) : vantrel::app::RecordAdapter::Start{};
    m_lastResults.measure = vantrel::meter::MeasureRun(context, *this, meter).Run();
    if (m_records)
        m_records->Measured(start, m_log, m_lastResults.measure, m_meterOnLine ? &*m_meterOnLine : nullptr);
    TellRecordsNotice();
}
