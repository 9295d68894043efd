#include "report/CertificateDocument.h"

#include "report/HtmlText.h"

#include <QFileInfo>
#include <QFont>
#include <QMarginsF>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <fstream>
#include <sstream>

namespace vantrel::report {
namespace {

// Plain CSS that both browsers and Qt's text document understand.
constexpr const char* kCertificateStyle =
    "body { font-family: 'Liberation Sans', Arial, sans-serif; font-size: 9pt; color: #000; }\n"
    "h1 { font-size: 15pt; margin-bottom: 2pt; }\n"
    "h2 { font-size: 10.5pt; margin-top: 8pt; margin-bottom: 2pt; }\n"
    "table { border-collapse: collapse; }\n"
    "td, th { border: 1px solid #888; padding: 1px 5px; text-align: left; }\n"
    "th { background-color: #e8e8e8; }\n"
    ".status { font-size: 12pt; font-weight: bold; padding: 6px; border: 2px solid #000; }\n"
    ".calibrated { background-color: #d8f0d8; }\n"
    ".not-calibrated { background-color: #f6d0d0; color: #800000; }\n"
    ".fail { color: #a00000; font-weight: bold; }\n"
    ".sign td { border: none; }\n";

std::string Window(const CertificateChannel& c) {
    if (c.windowLow && c.windowHigh) return Volts(c.windowLow) + " to " + Volts(c.windowHigh);
    if (c.windowHigh) return "at most " + Volts(c.windowHigh);
    if (c.windowLow) return "at least " + Volts(c.windowLow);
    return "-";
}

void Row(std::ostringstream& out, const std::string& label, const std::string& htmlValue) {
    out << "<tr><th>" << label << "</th><td>" << htmlValue << "</td></tr>\n";
}

void BoardSection(std::ostringstream& out, const Certificate& c) {
    const auto& b = c.board;
    out << "<h2>Board</h2>\n<table>\n";
    Row(out, "Model", Html(b.model));
    Row(out, "Type code", std::to_string(b.typeCode));
    Row(out, "Serial number", b.serialNumber.empty() ? "(none given)" : HtmlSerial(b.serialNumber));
    Row(out, "FPGA revision", b.fpgaRevision ? std::to_string(*b.fpgaRevision) : "-");
    out << "</table>\n<h2>Calibration</h2>\n<table>\n";
    Row(out, "Bench", Html(c.bench.host) + " (" + Html(c.bench.folder) + ")");
    Row(out, "Operator", Html(c.bench.operatorLogin));
    Row(out, "Date", Html(ShownTime(c.dateUtc)));
    Row(out, "Meter",
        c.calibration ? Html(c.calibration->meterModel.empty() ? "-" : c.calibration->meterModel) : "-");
    if (c.calibration)
        Row(out, "Outcome",
            Html(records::MeasureOutcomeName(c.calibration->outcome)) + ", verdict \"" +
                Html(c.calibration->verdict) + "\"");
    out << "</table>\n";
}

void ChannelSection(std::ostringstream& out, const Certificate& c) {
    out << "<h2>Reference channels</h2>\n";
    if (c.channels.empty()) {
        out << "<p>No reference channel is recorded.</p>\n";
        return;
    }
    const bool written = c.calibration && c.calibration->outcome == records::MeasureOutcome::Written;
    out << "<table>\n<tr><th>Channel</th><th>In EEPROM before (V)</th><th>Meter reading (V)</th>"
           "<th>Tolerance window (V)</th><th>Verdict</th><th>Left in EEPROM (V)</th></tr>\n";
    for (const auto& ch : c.channels) {
        const std::string left = written ? Volts(ch.asLeft) : "not written";
        out << "<tr><td>" << ch.channel << "</td><td>" << Volts(ch.asFound) << "</td><td>"
            << Volts(ch.reading) << "</td><td>" << Window(ch) << "</td><td"
            << (ch.verdict == "fail" ? " class=\"fail\"" : "") << ">" << ch.verdict << "</td><td>" << left
            << "</td></tr>\n";
    }
    out << "</table>\n";
    for (const auto& w : c.laterEepromWrites)
        out << "<p class=\"fail\">The EEPROM was written again on " << Html(ShownTime(w.startedUtc))
            << " (record " << Html(w.id) << ").</p>\n";
}

void InterruptSection(std::ostringstream& out, const Certificate& c) {
    out << "<h2>Interrupt test</h2>\n";
    if (!c.interrupt) {
        out << "<p>No interrupt test is recorded.</p>\n";
        return;
    }
    const auto& r = *c.interrupt;
    out << "<table>\n";
    Row(out, "Verdict",
        std::string(r.passed ? "" : "<span class=\"fail\">") + Html(r.verdict) + (r.passed ? "" : "</span>") +
            " (" + Html(ShownTime(r.startedUtc)) + ")");
    if (r.interrupt) {
        const auto& f = *r.interrupt;
        Row(out, "Rate", std::to_string(f.rateHz) + " Hz");
        Row(out, "Expected / measured time",
            std::to_string(f.expectedMs) + " ms / " + std::to_string(f.measuredMs) + " ms (difference " +
                std::to_string(static_cast<long long>(f.measuredMs) - f.expectedMs) + " ms)");
        Row(out, "Overflows / errors", std::to_string(f.overflows) + " / " + std::to_string(f.errorCount));
        Row(out, "Tolerances",
            "time-out " + std::to_string(f.timeoutToleranceMs) + " ms, time " +
                std::to_string(f.timeToleranceMs) + " ms, A/D " + std::to_string(f.adToleranceLsb) + " LSB");
    }
    out << "</table>\n";
}

}  // namespace

std::string CertificateHtml(const Certificate& c, const std::string& stylesheet) {
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'self' "
           "'unsafe-inline'\">\n"
        << "<title>Calibration certificate " << Html(c.number) << "</title>\n";
    if (stylesheet.empty())
        out << "<style>\n" << kCertificateStyle << "</style>\n";
    else
        out << "<link rel=\"stylesheet\" href=\"" << Html(stylesheet) << "\">\n";
    out << "</head>\n<body>\n<h1>Calibration certificate</h1>\n"
        << "<p>Certificate number <b>" << Html(c.number) << "</b></p>\n"
        << "<p class=\"status " << (c.calibrated ? "calibrated" : "not-calibrated") << "\">" << Html(c.status)
        << "</p>\n";
    // A calibrated board whose interrupt test failed must not read as a board that passed.
    if (c.interrupt && !c.interrupt->passed)
        out << "<p class=\"status not-calibrated\">INTERRUPT TEST FAILED: the last interrupt test ended with "
               "\""
            << Html(c.interrupt->verdict) << "\".</p>\n";
    BoardSection(out, c);
    ChannelSection(out, c);
    InterruptSection(out, c);
    out << "<h2>Software</h2>\n<table>\n";
    Row(out, "Tool version", Html(c.bench.toolVersion));
    Row(out, "Driver version", Html(c.bench.driverVersion));
    out << "</table>\n<p>&nbsp;</p>\n<table class=\"sign\" cellpadding=\"5\">\n";
    for (const char* line : {"Signature", "Name", "Date"})
        out << "<tr><td>" << line << "</td><td>________________________________________</td></tr>\n";
    out << "</table>\n</body>\n</html>\n";
    return out.str();
}

bool WriteCertificatePdf(const Certificate& c, const std::string& path) {
    {
        // The PDF writer says nothing of a file it could not open.
        std::ofstream probe(path, std::ios::binary | std::ios::trunc);
        if (!probe) return false;
    }
    QPdfWriter writer(QString::fromStdString(path));
    if (!writer.setPageSize(QPageSize(QPageSize::A4))) return false;
    writer.setPageMargins(QMarginsF(15, 12, 15, 10), QPageLayout::Millimeter);
    writer.setTitle(QString::fromStdString("Calibration certificate " + c.number));
    writer.setCreator(QStringLiteral("vantrel-records"));
    QTextDocument document;
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8.5);
    document.setDefaultFont(font);
    document.setHtml(QString::fromStdString(CertificateHtml(c)));
    document.print(&writer);
    return QFileInfo(QString::fromStdString(path)).size() > 0;
}

bool WriteCertificateFiles(const Certificate& c, const std::string& base) {
    {
        std::ofstream html(base + ".html", std::ios::binary | std::ios::trunc);
        html << CertificateHtml(c);
        if (!html) return false;
    }
    return WriteCertificatePdf(c, base + ".pdf");
}

}  // namespace vantrel::report
