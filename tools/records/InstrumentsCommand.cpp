// instruments: the register of reference meters with their due dates, overdue first.
#include "Commands.h"
#include "Options.h"

#include "metrology/InstrumentRegister.h"
#include "metrology/MeterStanding.h"
#include "metrology/MetrologySettings.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel::records::cli {
namespace {

using namespace vantrel::metrology;

// The register that the settings beside the database name, if any.
std::optional<std::string> ConfiguredRegister(const std::string& databasePath) {
    const auto folder = std::filesystem::path(databasePath).parent_path();
    return LoadMetrologySettings(folder.empty() ? "." : folder.string()).registerPath;
}

CalendarDate DateOption(CommandContext& context) {
    // The records' one date parser checks the text; its day (UTC) is the day of the check.
    const std::string text = TakeDate(context.args, "--date");
    if (text.empty()) return TodayUtc();
    return *metrology::ParseDate(std::string_view(text).substr(0, 10));
}

std::string StandingText(const MeterCheck& check) {
    if (check.standing == MeterStanding::Overdue)
        return std::string(MeterStandingName(check.standing)) + " by " + std::to_string(-check.daysToDue) +
               " day(s)";
    return "due in " + std::to_string(check.daysToDue) + " day(s)";
}

// By due date: the overdue meters come first, the longest overdue at the top.
std::vector<MeterCheck> SortedChecks(const InstrumentRegister& instruments, const CalendarDate& today) {
    std::vector<MeterCheck> checks;
    for (const ReferenceMeter& meter : instruments.meters)
        checks.push_back(CheckMeter(instruments, meter.serial, today));
    std::stable_sort(checks.begin(), checks.end(),
                     [](const MeterCheck& a, const MeterCheck& b) { return a.daysToDue < b.daysToDue; });
    return checks;
}

int Instruments(CommandContext& context) {
    const std::string given = TakeValue(context.args, "--register");
    const CalendarDate today = DateOption(context);
    RequireNoMore(context.args);
    std::optional<std::string> path;
    InstrumentRegister instruments;
    try {
        path = given.empty() ? ConfiguredRegister(context.databasePath) : given;
        if (path) instruments = LoadRegister(*path);
    } catch (const std::runtime_error& error) {  // the register's or the settings' errors
        context.err << "vantrel-records: " << Printable(error.what()) << '\n';
        return kExitFailure;
    }
    if (!path) {
        context.err << "No register of reference meters: give --register FILE or set instruments= in the\n"
                       "[metrology] group of vantrel-records.ini.\n";
        return kExitNotFound;
    }
    context.out << "Serial\tModel\tAsset tag\tCertificate\tCalibrated\tDue\tLab\tStanding\n";
    for (const MeterCheck& check : SortedChecks(instruments, today)) {
        const ReferenceMeter& m = *check.meter;
        context.out << Printable(m.serial) << '\t' << MeterModelName(m.model) << '\t' << Printable(m.assetTag)
                    << '\t' << Printable(m.certificate) << '\t' << FormatDate(m.certificateDate) << '\t'
                    << FormatDate(m.due) << '\t' << Printable(m.lab) << '\t' << StandingText(check) << '\n';
    }
    context.err << instruments.meters.size() << " meter(s) as of " << FormatDate(today) << '\n';
    return context.out ? kExitOk : kExitFailure;
}

constexpr Command kCommands[] = {
    {"instruments", "[--register FILE] [--date YYYY-MM-DD]",
     "the register of reference meters with due dates, overdue first, one tab-separated\n"
     "      line each (default FILE: instruments= in [metrology] of vantrel-records.ini)",
     Instruments},
};

}  // namespace

std::span<const Command> InstrumentsCommands() { return kCommands; }

}  // namespace vantrel::records::cli
