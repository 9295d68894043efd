#pragma once
// Filter options shared by the listing and export commands, and the store opening that maps
// the store's errors to exit codes.

#include "Commands.h"

#include "records/RecordStore.h"
#include "records/ShownText.h"

#include <memory>
#include <optional>

namespace vantrel::records::cli {

// Takes --serial, --model, --bench, --verdict, --action, --from, --to, --passed, --failed
// and --limit out of `args`; leaves the rest. Throws UsageError.
RecordQuery TakeQuery(std::vector<std::string>& args);

// Takes "--name VALUE" out of `args`; empty when absent.
std::string TakeValue(std::vector<std::string>& args, const std::string& name);
bool TakeFlag(std::vector<std::string>& args, const std::string& name);
void RequireNoMore(const std::vector<std::string>& args);

extern const char* const kFilterHelp;

int ExitCodeOf(const RecordStoreError& error);

// A date of the command line, YYYY-MM-DD or a full ISO 8601 time, as the records compare it:
// the day as given, a time as "YYYY-MM-DDTHH:MM:SS.mmmZ" in UTC. Empty for anything else.
std::optional<std::string> ParseDate(const std::string& text);
// Takes "--name DATE" out of `args`; empty when absent. Throws UsageError on a bad date.
std::string TakeDate(std::vector<std::string>& args, const std::string& name);

// Control and invisible characters shown as escapes, so that stored text cannot steer the
// terminal or hide part of itself.
std::string Printable(const std::string& text, bool keepLineBreaks = false);

// A serial number in a listing shows at most this many characters.
inline constexpr std::size_t kShownSerialCharacters = 80;

}  // namespace vantrel::records::cli
