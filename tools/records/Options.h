#pragma once
// Filter options shared by the listing and export commands, and the store opening that maps
// the store's errors to exit codes.

#include "Commands.h"

#include "records/RecordStore.h"

#include <memory>

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

// Control characters shown as escapes, so that stored text cannot steer the terminal.
std::string Printable(const std::string& text, bool keepLineBreaks = false);

}  // namespace vantrel::records::cli
