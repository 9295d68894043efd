// Figures of certificates and the line report: the report over 100,000 records of a simulated
// line, and one board's certificate among them, in the library and through vantrel-records.
// Prints each figure beside its target.
#include "SimulatedLine.h"

#include "records/RecordStore.h"
#include "report/CertificateDocument.h"
#include "report/LineReport.h"
#include "report/OffscreenApplication.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

using namespace vantrel;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Print(const char* what, double value, const char* unit, double target) {
    std::printf("%-52s %10.2f %s   (target < %.0f %s) %s\n", what, value, unit, target, unit,
                value < target ? "ok" : "OVER");
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("vantrel-report-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string database = (dir / "line.db").string();
    {
        reporttest::LineOptions options;
        options.boards = 24500;  // a little over 100,000 records
        options.days = 60;
        auto line = reporttest::SimulateLine(options);
        // A console text of a real run's size.
        for (auto& r : line) r.consoleText += std::string(1500, 'c');
        records::RecordStore store(database);
        store.WriteAll(line);
        std::printf("%zu records of %d boards over %d days\n", line.size(), options.boards, options.days);
    }
    report::EnsureOffscreenApplication();
    const records::RecordStore store(database, records::RecordStore::OpenMode::ReadOnly);

    records::RecordQuery range;
    range.from = "2026-12-01";
    range.to = "2027-01-31";
    auto start = Clock::now();
    const auto summary = report::SummarizeLine(store, range);
    const double gathered = MsSince(start);
    const std::string problem =
        report::WriteLineReport(summary, {range.from, range.to}, (dir / "report").string());
    const double total = MsSince(start);
    if (!problem.empty()) std::printf("report failed: %s\n", problem.c_str());
    Print("report over all records (library)", total / 1000.0, "s", 10);
    std::printf(
        "  (%lld records, %lld boards, %zu failed; reading and counting %.2f s, plots and pages %.2f s)\n",
        static_cast<long long>(summary.records), static_cast<long long>(summary.boards),
        summary.failed.size(), gathered / 1000.0, (total - gathered) / 1000.0);

    const std::string program = VANTREL_RECORDS_PROGRAM;
    start = Clock::now();
    const int reportStatus =
        std::system(("'" + program + "' --db '" + database + "' report --from 2026-12-01 --to 2027-01-31 '" +
                     (dir / "report2").string() + "' > /dev/null")
                        .c_str());
    Print("report over all records (vantrel-records)", MsSince(start) / 1000.0, "s", 10);
    if (reportStatus != 0) std::printf("  (exit status %d)\n", reportStatus);

    const std::string serial = "SN-Corvel-10001";
    start = Clock::now();
    const auto certificate = report::LoadCertificate(store, serial);
    const bool written =
        certificate && report::WriteCertificateFiles(*certificate, (dir / "certificate").string());
    Print("one certificate, HTML and PDF (library)", MsSince(start), "ms", 1000);
    if (!written) std::printf("  (not written)\n");
    start = Clock::now();
    const int certificateStatus =
        std::system(("'" + program + "' --db '" + database + "' certificate --out '" +
                     (dir / "certificate2").string() + "' " + serial + " > /dev/null")
                        .c_str());
    Print("one certificate, HTML and PDF (vantrel-records)", MsSince(start), "ms", 1000);
    if (certificateStatus != 0) std::printf("  (exit status %d)\n", certificateStatus);

    fs::remove_all(dir);
    return 0;
}
