#include "report/CertificateDigest.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <regex>
#include <sstream>

namespace vantrel::report {
namespace {

constexpr const char* kFormatLine = "vantrel certificate records 1";
constexpr int kPdfTextTimeoutMs = 60000;

class Canonical {
public:
    void Text(const std::string& key, const std::string& value) {
        m_out << key << '=';
        for (const char c : value) {
            if (c == '\\')
                m_out << "\\\\";
            else if (c == '\n')
                m_out << "\\n";
            else if (c == '\r')
                m_out << "\\r";
            else
                m_out << c;
        }
        m_out << '\n';
    }
    void Number(const std::string& key, long long value) { Text(key, std::to_string(value)); }
    void Real(const std::string& key, const std::optional<double>& value) {
        if (!value) return Text(key, "-");
        char text[64];
        std::snprintf(text, sizeof text, "%a", *value);
        Text(key, text);
    }
    void Whole(const std::string& key, const std::optional<int>& value) {
        Text(key, value ? std::to_string(*value) : "-");
    }
    std::string str() const { return m_out.str(); }

private:
    std::ostringstream m_out;
};

void Record(Canonical& out, const std::string& role, const records::ActionRecord& r) {
    out.Text("record", role);
    out.Text("id", r.id);
    out.Text("kind", std::string(records::ActionKindName(r.kind)));
    out.Text("bench.host", r.bench.host);
    out.Text("bench.folder", r.bench.folder);
    out.Text("bench.tool", r.bench.toolVersion);
    out.Text("bench.driver", r.bench.driverVersion);
    out.Text("bench.operator", r.bench.operatorLogin);
    out.Text("board.model", r.board.model);
    out.Number("board.type", r.board.typeCode);
    out.Number("board.base", r.board.baseAddress);
    out.Number("board.irq", r.board.interruptLevel);
    out.Whole("board.fpga", r.board.fpgaRevision);
    out.Text("board.serial", r.board.serialNumber);
    out.Text("started", r.startedUtc);
    out.Text("ended", r.endedUtc);
    out.Text("verdict", r.verdict);
    out.Number("passed", r.passed ? 1 : 0);
    out.Text("outcome", std::string(records::MeasureOutcomeName(r.outcome)));
    out.Text("meter", std::string(records::MeterModelName(r.meterModel)));
    if (r.interrupt) {
        const auto& f = *r.interrupt;
        out.Number("interrupt.rate", f.rateHz);
        out.Number("interrupt.expected", f.expectedMs);
        out.Number("interrupt.measured", f.measuredMs);
        out.Number("interrupt.overflows", f.overflows);
        out.Number("interrupt.errors", f.errorCount);
        out.Number("interrupt.timeout_tolerance", f.timeoutToleranceMs);
        out.Number("interrupt.time_tolerance", f.timeToleranceMs);
        out.Number("interrupt.ad_tolerance", f.adToleranceLsb);
    }
    for (const auto& c : r.channels) {
        out.Number("channel", c.channel);
        out.Real("channel.reading", c.reading);
        out.Real("channel.window_low", c.windowLow);
        out.Real("channel.window_high", c.windowHigh);
        out.Text("channel.verdict", std::string(records::ChannelVerdictName(c.verdict)));
        out.Real("channel.eeprom_before", c.eepromBefore);
        out.Real("channel.eeprom_written", c.eepromWritten);
        out.Whole("channel.code", c.code);
    }
    out.Text("console", r.consoleText);
}

}  // namespace

std::string CanonicalRecords(const Certificate& c) {
    Canonical out;
    out.Text("format", kFormatLine);
    out.Text("certificate", c.number);
    // The record the certificate is numbered by, when it is neither of the two below.
    if (c.source) Record(out, "numbered", *c.source);
    if (c.calibration) Record(out, "calibration", *c.calibration);
    if (c.interrupt) Record(out, "interrupt", *c.interrupt);
    for (const auto& w : c.laterEepromWrites) Record(out, "later eeprom write", w);
    return out.str();
}

std::string RecordDigest(const Certificate& c) {
    const std::string text = CanonicalRecords(c);
    const QByteArray hash = QCryptographicHash::hash(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), QCryptographicHash::Sha256);
    return hash.toHex().toStdString();
}

std::optional<CertificateStamp> FindStamp(const std::string& text) {
    static const std::regex number("Certificate number\\s+(\\S+)");
    static const std::regex digest("Record digest \\(SHA-256\\)\\s+([0-9a-f]{64})\\b");
    std::smatch n, d;
    if (!std::regex_search(text, n, number) || !std::regex_search(text, d, digest)) return std::nullopt;
    return CertificateStamp{n[1].str(), d[1].str()};
}

std::optional<std::string> PdfText(const std::string& path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                                  QString::fromStdString(path), QStringLiteral("-")});
    if (!pdftotext.waitForFinished(kPdfTextTimeoutMs) || pdftotext.exitStatus() != QProcess::NormalExit ||
        pdftotext.exitCode() != 0)
        return std::nullopt;
    return pdftotext.readAllStandardOutput().toStdString();
}

}  // namespace vantrel::report
