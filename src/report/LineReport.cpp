#include "report/LineReport.h"

#include "report/CertificateDocument.h"
#include "report/HtmlText.h"
#include "report/ReportCharts.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace vantrel::report {
namespace {

namespace fs = std::filesystem;

constexpr const char* kReportStyle =
    "body { font-family: 'Liberation Sans', Arial, sans-serif; font-size: 11pt; margin: 1.5em; color: #111; "
    "}\n"
    "h1 { font-size: 18pt; }\n"
    "h2 { font-size: 14pt; margin-top: 1.5em; border-bottom: 1px solid #888; }\n"
    "table { border-collapse: collapse; margin: 0.5em 0; }\n"
    "td, th { border: 1px solid #999; padding: 2px 8px; text-align: left; }\n"
    "th { background: #eee; }\n"
    "td.number { text-align: right; }\n"
    "img.plot { display: block; margin: 0.5em 0; border: 1px solid #ccc; max-width: 100%; }\n"
    ".fail { color: #a00000; font-weight: bold; }\n"
    ".ok { color: #206020; }\n";

constexpr const char* kPolicy = "default-src 'none'; img-src 'self'; style-src 'self'";

std::string Percent(std::int64_t part, std::int64_t whole) {
    char text[24];
    std::snprintf(text, sizeof text, "%.1f%%",
                  whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

std::string Window(const ReadingSet& set) {
    if (set.windowLow && set.windowHigh) return Volts(set.windowLow) + " to " + Volts(set.windowHigh);
    if (set.windowHigh) return "at most " + Volts(set.windowHigh);
    return "at least " + Volts(set.windowLow);
}

std::string CpkText(const std::optional<Capability>& c) {
    if (!c) return "-";
    char text[24];
    std::snprintf(text, sizeof text, "%.3f", c->cpk);
    return text;
}

// What a histogram's Cpk was computed from, under the plot.
std::string CapabilityNote(const ReadingSet& set, const std::optional<Capability>& c) {
    if (!c) return "<p class=\"capability\">Cpk: not computed (it needs two readings that differ).</p>\n";
    char text[160];
    std::snprintf(text, sizeof text, "Cpk %s: mean %.6f V, sample standard deviation %.6f V, %zu readings%s.",
                  CpkText(c).c_str(), c->mean, c->sigma, set.readings.size(),
                  set.windowLow && set.windowHigh ? "" : ", one-sided (one limit)");
    return std::string("<p class=\"capability\">") + text + "</p>\n";
}

std::string Plot(const std::string& file, const std::string& caption) {
    return "<img class=\"plot\" src=\"plots/" + file + "\" alt=\"" + Html(caption) + "\" width=\"" +
           std::to_string(kPlotWidth) + "\" height=\"" + std::to_string(kPlotHeight) + "\">\n";
}

class ReportWriter {
public:
    ReportWriter(const LineSummary& summary, std::string folder)
        : m_s(summary), m_folder(std::move(folder)) {}

    std::string Write(const ReportRange& range) {
        std::error_code error;
        fs::create_directories(fs::path(m_folder) / "plots", error);
        fs::create_directories(fs::path(m_folder) / "certificates", error);
        if (error) return "cannot create the folder " + m_folder + ": " + error.message();
        m_out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
              << "<meta http-equiv=\"Content-Security-Policy\" content=\"" << kPolicy << "\">\n"
              << "<title>Line report " << Html(range.from) << " to " << Html(range.to) << "</title>\n"
              << "<link rel=\"stylesheet\" href=\"report.css\">\n</head>\n<body>\n"
              << "<h1>Line report " << Html(range.from) << " to " << Html(range.to) << "</h1>\n"
              << "<p id=\"totals\">" << m_s.records << " records of " << m_s.boards << " boards";
        if (m_s.recordsWithoutSerial)
            m_out << ", and " << m_s.recordsWithoutSerial << " records without a serial number";
        m_out << ".</p>\n";
        Yield();
        Readings();
        Meters();
        Interrupts();
        FailedBoards();
        m_out << "</body>\n</html>\n";
        if (!WriteText("report.css", kReportStyle) || !WriteText("index.html", m_out.str()))
            return "cannot write the report into " + m_folder;
        return m_problem;
    }

private:
    bool WriteText(const std::string& name, const std::string& text) {
        std::ofstream file(fs::path(m_folder) / name, std::ios::binary | std::ios::trunc);
        file << text;
        return static_cast<bool>(file);
    }

    void Check(bool written, const std::string& what) {
        if (!written && m_problem.empty()) m_problem = "cannot write " + what + " in " + m_folder;
    }

    void Yield() {
        m_out << "<h2>Yield per model and day</h2>\n"
                 "<p>A board passes a try (from one Initialize Board to the next) when every action in it "
                 "passed. "
                 "First pass: its first try passed; final: its last try passed.</p>\n"
                 "<table id=\"yield\">\n<tr><th>Model</th><th>Day</th><th>Boards</th><th>First pass</th>"
                 "<th>First-pass yield</th><th>Final pass</th><th>Final yield</th></tr>\n";
        std::map<std::string, std::vector<YieldDay>> byModel;
        for (const auto& d : m_s.yield) {
            byModel[d.model].push_back(d);
            m_out << "<tr><td>" << Html(d.model) << "</td><td>" << Html(d.day) << "</td><td class=\"number\">"
                  << d.boards << "</td><td class=\"number\">" << d.firstPass << "</td><td class=\"number\">"
                  << Percent(d.firstPass, d.boards) << "</td><td class=\"number\">" << d.finalPass
                  << "</td><td class=\"number\">" << Percent(d.finalPass, d.boards) << "</td></tr>\n";
        }
        m_out << "</table>\n";
        int index = 0;
        for (const auto& [model, days] : byModel) {
            const std::string file = "yield-" + std::to_string(++index) + ".png";
            Check(WriteYieldChart(model, days, (fs::path(m_folder) / "plots" / file).string()), file);
            m_out << Plot(file, "Yield per day of " + model);
        }
    }

    void Readings() {
        m_out << "<h2>Reference readings</h2>\n";
        if (m_s.readings.empty()) {
            m_out << "<p>No reference was read by a meter in this period.</p>\n";
            return;
        }
        m_out << "<table id=\"readings\">\n<tr><th>Model</th><th>Channel</th><th>Tolerance window (V)</th>"
                 "<th>Readings</th><th>Outside the window</th><th>Cpk</th></tr>\n";
        for (const auto& set : m_s.readings)
            m_out << "<tr><td>" << Html(set.model) << "</td><td class=\"number\">" << set.channel
                  << "</td><td>" << Window(set) << "</td><td class=\"number\">" << set.readings.size()
                  << "</td><td class=\"number\">" << set.outside << "</td><td class=\"number\">"
                  << CpkText(ProcessCapability(set)) << "</td></tr>\n";
        m_out << "</table>\n";
        int index = 0;
        for (const auto& set : m_s.readings) {
            const std::string file = "readings-" + std::to_string(++index) + ".png";
            Check(WriteReadingHistogram(set, (fs::path(m_folder) / "plots" / file).string()), file);
            m_out << Plot(file, set.model + ", reference channel " + std::to_string(set.channel))
                  << CapabilityNote(set, ProcessCapability(set));
        }
    }

    void Meters() {
        m_out << "<h2>Reference meters</h2>\n";
        if (m_s.meters.empty()) {
            m_out << "<p>No reference was read by a meter in this period.</p>\n";
            return;
        }
        m_out << "<table id=\"meters\">\n<tr><th>Meter</th><th>Model</th><th>Calibration due</th>"
                 "<th>Measurements</th><th>Boards calibrated</th><th>Overdue uses</th>"
                 "<th>Uses while not registered</th></tr>\n";
        for (const auto& m : m_s.meters) {
            const bool refused = m.overdueUses > 0 || m.unregisteredUses > 0;
            m_out << "<tr" << (refused ? " class=\"fail\"" : "") << "><td>"
                  << (m.serial.empty() ? std::string("(not named)") : HtmlSerial(m.serial)) << "</td><td>"
                  << Html(m.model) << "</td><td>" << (m.due.empty() ? std::string("-") : Html(m.due))
                  << "</td><td class=\"number\">" << m.measurements << "</td><td class=\"number\">"
                  << m.boardsCalibrated << "</td><td class=\"number\">" << m.overdueUses
                  << "</td><td class=\"number\">" << m.unregisteredUses << "</td></tr>\n";
        }
        m_out << "</table>\n";
    }

    void Interrupts() {
        m_out << "<h2>Interrupt test timing</h2>\n";
        if (m_s.interrupts.empty()) {
            m_out << "<p>No interrupt test in this period.</p>\n";
            return;
        }
        std::int64_t failed = 0;
        for (const auto& p : m_s.interrupts) failed += p.passed ? 0 : 1;
        m_out << "<p id=\"interrupts\">" << m_s.interrupts.size() << " interrupt tests, " << failed
              << " failed.</p>\n";
        Check(WriteInterruptTiming(m_s.interrupts, (fs::path(m_folder) / "plots" / "interrupt.png").string()),
              "interrupt.png");
        m_out << Plot("interrupt.png", "Interrupt test: measured minus expected time");
    }

    void FailedBoards() {
        m_out << "<h2>Boards that failed</h2>\n";
        if (m_s.failed.empty()) {
            m_out << "<p>No board failed in this period.</p>\n";
            return;
        }
        m_out << "<table id=\"failed\">\n<tr><th>First failure</th><th>Serial "
                 "number</th><th>Model</th><th>Action</th>"
                 "<th>Verdict</th><th>Later try</th><th>Certificate</th></tr>\n";
        for (const auto& board : m_s.failed) {
            const std::string file = FileSafe(board.certificate.number) + ".html";
            std::ofstream certificate(fs::path(m_folder) / "certificates" / file,
                                      std::ios::binary | std::ios::trunc);
            certificate << CertificateHtml(board.certificate);
            Check(static_cast<bool>(certificate), "certificates/" + file);
            m_out << "<tr><td>" << Html(ShownTime(board.failedUtc)) << "</td><td>"
                  << (board.serialNumber.empty() ? "(none)" : HtmlSerial(board.serialNumber)) << "</td><td>"
                  << Html(board.model) << "</td><td>" << Html(board.failedAction)
                  << "</td><td class=\"fail\">" << Html(board.verdict) << "</td><td>"
                  << (board.passedLater ? "<span class=\"ok\">passed</span>"
                                        : "<span class=\"fail\">failed</span>")
                  << "</td><td><a href=\"certificates/" << file << "\">" << Html(board.certificate.number)
                  << "</a> (" << (board.certificate.calibrated ? "calibrated" : "not calibrated")
                  << ")</td></tr>\n";
        }
        m_out << "</table>\n";
    }

    const LineSummary& m_s;
    std::string m_folder;
    std::ostringstream m_out;
    std::string m_problem;
};

}  // namespace

std::string WriteLineReport(const LineSummary& summary, const ReportRange& range, const std::string& folder) {
    return ReportWriter(summary, folder).Write(range);
}

}  // namespace vantrel::report
