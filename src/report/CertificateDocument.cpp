#include "report/CertificateDocument.h"

#include "report/HtmlText.h"
#include "report/MetrologyHtml.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QFont>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
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
    ".sign td { border: none; }\n"
    ".budget caption { text-align: left; font-weight: bold; }\n";

// The band above and below each PDF page's text that carries the certificate's number and
// "page x of y", in inches.
constexpr double kPdfBandInches = 0.3;
constexpr double kPdfBandPointSize = 7.5;

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
    Row(out, "Laboratory (bench)", Html(c.bench.host) + " (" + Html(c.bench.folder) + ")");
    Row(out, "Procedure", "Measure References with vantrel " + Html(c.bench.toolVersion));
    Row(out, "Operator", Html(c.bench.operatorLogin));
    Row(out, "Date of calibration", Html(ShownTime(c.dateUtc)));
    Row(out, "Meter",
        c.calibration ? Html(c.calibration->meterModel == records::MeterModel::Unrecorded
                                 ? "-"
                                 : std::string(records::MeterModelName(c.calibration->meterModel)))
                      : "-");
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
            << (ch.verdict == records::ChannelVerdict::Fail ? " class=\"fail\"" : "") << ">"
            << records::ChannelVerdictName(ch.verdict) << "</td><td>" << left << "</td></tr>\n";
    }
    out << "</table>\n";
    for (const auto& w : c.laterEepromWrites)
        out << "<p class=\"fail\">The EEPROM was written again on " << Html(ShownTime(w.startedUtc))
            << " (record " << Html(w.id) << ").</p>\n";
}

bool MeterRead(const Certificate& c) {
    if (!c.calibration) return false;
    return records::ReadByMeter(c.calibration->meterModel);
}

// The meter as the record copied it from the register when it measured.
std::string TraceabilityText(const records::ActionRecord& m) {
    const std::string meter =
        "the " + Html(std::string(records::MeterModelName(m.meterModel))) + " serial " + Html(m.meterSerial);
    if (m.meterSerial.empty())
        return "The records do not say which " + Html(std::string(records::MeterModelName(m.meterModel))) +
               " measured: no traceability is stated.";
    if (!m.meterStanding)
        return "The references were measured with " + meter +
               ". No register of reference meters was configured, so its calibration is not stated.";
    if (*m.meterStanding == metrology::MeterStanding::Unregistered)
        return "The references were measured with " + meter +
               ", which was not in the register of reference meters: its calibration, and so the "
               "traceability of these results, is not known.";
    std::string text = "The references were measured with " + meter + " (asset tag " + Html(m.meterAssetTag) +
                       "), calibrated by " + Html(m.meterLab) + " under certificate " +
                       Html(m.meterCertificate) + " of " + Html(m.meterCertificateDate) + ", due " +
                       Html(m.meterDue) + ".";
    if (*m.meterStanding == metrology::MeterStanding::Overdue)
        text += " <span class=\"fail\">Its calibration was overdue when it measured.</span>";
    return text;
}

void TraceabilitySection(std::ostringstream& out, const Certificate& c) {
    if (!MeterRead(c)) return;
    const records::ActionRecord& m = *c.calibration;
    out << "<h2>Traceability</h2>\n<p>" << TraceabilityText(m) << "</p>\n";
    if (!m.meterSerial.empty() && m.meterStanding &&
        *m.meterStanding != metrology::MeterStanding::Unregistered) {
        out << "<table>\n";
        Row(out, "Reference meter",
            Html(std::string(records::MeterModelName(m.meterModel))) + ", serial " + Html(m.meterSerial));
        Row(out, "Meter's certificate", Html(m.meterCertificate) + " of " + Html(m.meterCertificateDate));
        Row(out, "Meter calibration due", Html(m.meterDue));
        out << "</table>\n";
    }
}

std::string Celsius(double degrees) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f &deg;C", degrees);
    return text;
}

// What the ambient temperature means for the meter's figures.
std::string TemperatureNote(const std::optional<double>& ambient) {
    const std::string band =
        Celsius(metrology::kFiguresColdest) + " to " + Celsius(metrology::kFiguresWarmest);
    if (!ambient)
        return "The ambient temperature was not recorded. The meter's accuracy figures hold for " + band +
               ".";
    if (metrology::DegreesOutsideFigures(*ambient) == 0.0)
        return "The meter's accuracy figures hold for " + band + ", which the ambient temperature lies in.";
    return "The ambient temperature lies outside the " + band +
           " the meter's accuracy figures hold for; the budget adds the meter's temperature coefficient "
           "for the degrees outside.";
}

// The conditions the bench's settings gave, and what they mean for a meter's figures.
void ConditionsSection(std::ostringstream& out, const Certificate& c) {
    if (!c.calibration) return;
    const auto& ambient = c.calibration->ambientCelsius;
    const bool meterRead = MeterRead(c);
    if (!ambient && !meterRead) return;
    out << "<h2>Conditions</h2>\n<table>\n";
    Row(out, "Ambient temperature", ambient ? Celsius(*ambient) + " (the bench's setting)" : "not recorded");
    out << "</table>\n";
    if (meterRead) out << "<p class=\"temperature\">" << TemperatureNote(ambient) << "</p>\n";
}

std::optional<double> ExpandedOf(const Certificate& c, int channel) {
    for (const auto& [number, budget] : c.metrology.budgets)
        if (number == channel) return budget.expanded;
    for (const auto& kept : c.metrology.termsNotRecorded)
        if (kept.channel == channel) return kept.expanded;
    return std::nullopt;
}

std::string OriginText(const CertificateMetrology& m, const records::ActionRecord& calibration) {
    if (m.origin == UncertaintyOrigin::Record)
        return "from the figures of the " +
               Html(std::string(records::MeterModelName(calibration.meterModel))) +
               " that measured, as the record kept them when it measured";
    return "from the register's figures for " + Html(std::string(metrology::MeterModelName(m.meter->model))) +
           " serial " + Html(m.meter->serial) +
           (m.meterNamed ? ", the meter that measured" : ", the only meter of that model in the register") +
           ". The record kept no figures of its own, so these are the register's figures of today";
}

void RangeAndUTable(std::ostringstream& out, const Certificate& c, bool withBudgets) {
    out << "<table>\n<tr><th>Channel</th><th>Range (V)</th><th>U (&micro;V)</th></tr>\n";
    if (withBudgets)
        for (const auto& [channel, budget] : c.metrology.budgets)
            out << "<tr><td>" << channel << "</td><td>" << budget.range.range << "</td><td>"
                << Microvolts(budget.expanded) << "</td></tr>\n";
    for (const auto& kept : c.metrology.termsNotRecorded)
        out << "<tr><td>" << kept.channel << "</td><td>" << kept.range << "</td><td>"
            << Microvolts(kept.expanded) << "</td></tr>\n";
    out << "</table>\n";
}

// A budget outside the figures' band whose range had no temperature coefficient.
bool TemperatureTermMissing(const CertificateMetrology& m) {
    return std::any_of(m.budgets.begin(), m.budgets.end(),
                       [](const auto& entry) { return entry.second.temperatureTermMissing; });
}

void UncertaintySection(std::ostringstream& out, const Certificate& c, bool brief) {
    const auto& m = c.metrology;
    if (c.channels.empty()) return;
    out << "<h2>Uncertainty of measurement</h2>\n";
    if (m.origin == UncertaintyOrigin::None) {
        out << "<p>No uncertainty is stated: " << Html(m.noUncertainty) << ".</p>\n";
        return;
    }
    out << "<p>Expanded uncertainty U = k &middot; u<sub>c</sub> with k = 2 (about 95 % coverage), "
        << OriginText(m, *c.calibration) << ".</p>\n";
    if (TemperatureTermMissing(m))
        out << "<p class=\"fail\">The ambient temperature lies outside the band the meter's figures hold "
               "for, "
               "and no temperature coefficient is known for the range: U leaves the temperature out.</p>\n";
    if (brief) {
        RangeAndUTable(out, c, true);
    } else {
        for (const auto& [channel, budget] : m.budgets) out << BudgetTableHtml(channel, budget);
        if (!m.termsNotRecorded.empty()) RangeAndUTable(out, c, false);
    }
    if (!m.termsNotRecorded.empty())
        out << "<p class=\"terms-not-recorded\">The record kept U and the range of "
            << (m.termsNotRecorded.size() == 1 ? "a channel" : "channels")
            << " without the terms of its budget: the terms were not recorded.</p>\n";
    std::vector<ChannelStatement> statements;
    for (const auto& ch : c.channels) {
        const auto expanded = ExpandedOf(c, ch.channel);
        if (!expanded || !ch.reading || !ch.windowHigh) continue;
        statements.push_back({ch.channel, std::fabs(*ch.reading), {ch.windowLow, *ch.windowHigh}, *expanded});
    }
    out << ConformityStatementHtml(m.rule, statements);
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

std::string CertificateHtml(const Certificate& c, const std::string& stylesheet, bool brief) {
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
        << "<p>Certificate number <b>" << Html(c.number) << "</b><br>Record digest (SHA-256) <tt>"
        << Html(c.digest) << "</tt></p>\n"
        << "<p class=\"status " << (c.calibrated ? "calibrated" : "not-calibrated") << "\">" << Html(c.status)
        << "</p>\n";
    // A calibrated board whose interrupt test failed must not read as a board that passed.
    if (c.interrupt && !c.interrupt->passed)
        out << "<p class=\"status not-calibrated\">INTERRUPT TEST FAILED: the last interrupt test ended with "
               "\""
            << Html(c.interrupt->verdict) << "\".</p>\n";
    BoardSection(out, c);
    TraceabilitySection(out, c);
    ConditionsSection(out, c);
    ChannelSection(out, c);
    UncertaintySection(out, c, brief);
    if (c.metrology.origin == UncertaintyOrigin::None && !c.channels.empty())
        out << "<p>Statement of conformity: decision rule "
            << Html(metrology::DecisionRuleName(c.metrology.rule))
            << "; without an uncertainty it is the verdict of each channel above.</p>\n";
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

namespace {

// The certificate's number at the top of a page and "page x of y" at its foot.
void DrawBands(QPainter& painter, const QRectF& page, double band, const Certificate& c, int index,
               int count) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(kPdfBandPointSize);
    painter.setFont(font);
    const QString name = QString::fromStdString("Calibration certificate " + c.number);
    painter.drawText(QRectF(page.left(), page.top(), page.width(), band), Qt::AlignLeft | Qt::AlignTop, name);
    const QString foot = QString::fromStdString("Certificate " + c.number + ", page " +
                                                std::to_string(index) + " of " + std::to_string(count));
    painter.drawText(QRectF(page.left(), page.bottom() - band, page.width(), band),
                     Qt::AlignRight | Qt::AlignBottom, foot);
}

}  // namespace

bool WriteCertificatePdf(const Certificate& c, const std::string& path) {
    {
        // The PDF writer says nothing of a file it could not open.
        std::ofstream probe(path, std::ios::binary | std::ios::trunc);
        if (!probe) return false;
    }
    QPdfWriter writer(QString::fromStdString(path));
    if (!writer.setPageSize(QPageSize(QPageSize::A4))) return false;
    writer.setPageMargins(QMarginsF(15, 8, 15, 8), QPageLayout::Millimeter);
    writer.setTitle(QString::fromStdString("Calibration certificate " + c.number));
    writer.setCreator(QStringLiteral("vantrel-records"));
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8.5);
    document.setDefaultFont(font);
    document.setHtml(QString::fromStdString(CertificateHtml(c, {}, true)));
    // Page coordinates are device pixels from the top left of the area inside the margins.
    const QRectF page(QPointF(0, 0), QSizeF(writer.width(), writer.height()));
    const double band = kPdfBandInches * writer.resolution();
    const QSizeF body(page.width(), page.height() - 2 * band);
    document.setPageSize(body);
    const int count = document.pageCount();
    QPainter painter;
    if (!painter.begin(&writer)) return false;
    for (int index = 0; index < count; ++index) {
        if (index > 0) writer.newPage();
        DrawBands(painter, page, band, c, index + 1, count);
        painter.save();
        painter.translate(0, band - index * body.height());
        document.drawContents(&painter, QRectF(QPointF(0, index * body.height()), body));
        painter.restore();
    }
    painter.end();
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
