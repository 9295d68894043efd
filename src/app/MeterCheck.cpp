// Which reference meter stands on the bench, asked of the metrology settings before Measure
// References reads it. Without a register nothing is asked and the press goes on as always.
#include "app/CMainTestDlg.h"
#include "metrology/MetrologySettings.h"

#include <filesystem>
#include <string>

namespace {

constexpr const char* kMeterBoxCaption = "Reference Meter";

vantrel::metrology::MeterModel ModelOf(MeterType meter) {
    // No checked button reads as a Fluke 45, as the meter link takes it.
    return meter == MeterHp34401A ? vantrel::metrology::MeterModel::Hp34401A
                                  : vantrel::metrology::MeterModel::Fluke45;
}

std::string BenchFolder() {
    std::error_code error;
    const auto folder = std::filesystem::current_path(error);
    return error ? std::string(".") : folder.string();
}

// Settings that cannot be read may name a register, so the meter counts as checked and unknown.
vantrel::metrology::MeterOnLine Judge(MeterType meter, const std::optional<std::string>& serial) {
    vantrel::metrology::MetrologySettings settings;
    try {
        settings = vantrel::metrology::LoadMetrologySettings(BenchFolder());
    } catch (const std::exception& error) {
        vantrel::metrology::MeterOnLine line;
        line.checked = true;
        line.serial = serial.value_or(std::string());
        line.reason = std::string("the metrology settings cannot be read: ") + error.what();
        return line;
    }
    if (serial) settings.meterSerial = *serial;
    return vantrel::metrology::CheckMeterOnLine(settings, ModelOf(meter), vantrel::metrology::TodayUtc());
}

std::string Question(const vantrel::metrology::MeterOnLine& line) {
    return "The reference meter cannot be relied on: " + line.reason +
           ".\n\nA board measured with it will be recorded as NOT CALIBRATED.\n\nMeasure the references "
           "with this meter anyway?";
}

}  // namespace

bool CMainTestDlg::ConfirmMeterOnLine(MeterType meter) {
    m_meterOnLine.reset();
    // Typed references are read by no meter of this bench.
    if (meter == MeterNone) return true;
    vantrel::metrology::MeterOnLine line = Judge(meter, m_meterSerial);
    // No is the default: Enter alone must not measure with a meter the register refuses.
    if (line.NeedsConsent() && MessageBox(Question(line).c_str(), kMeterBoxCaption,
                                          MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return false;
    m_meterOnLine = std::move(line);
    return true;
}
