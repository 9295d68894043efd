#pragma once
// Text from the records as it goes into HTML: escaped, so that what an operator typed is
// shown as typed and never read as markup.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::report {

// & < > " ' as character references; control characters other than line breaks and tabs,
// invisible and bidi characters and bytes that are not UTF-8 as visible escapes.
std::string Html(std::string_view text);

// A serial number shows at most this many characters; a longer one is cut with its length.
inline constexpr std::size_t kShownSerialCharacters = 80;
// A serial number as Html() shows it, cut to kShownSerialCharacters.
std::string HtmlSerial(std::string_view serial);

// A file name made from a record id: letters, digits and '-' kept, anything else '_'.
std::string FileSafe(std::string_view text);

// A reading or a value in volts with six decimals, or "-" when there is none.
std::string Volts(const std::optional<double>& value);

// "2026-12-07T09:00:00.000Z" as "2026-12-07 09:00:00 UTC".
std::string ShownTime(std::string_view isoUtc);

}  // namespace vantrel::report
