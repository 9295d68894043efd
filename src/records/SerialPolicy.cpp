#include "records/SerialPolicy.h"

#include "records/LineText.h"
#include "records/ShownText.h"

#include <unicode/uchar.h>

#include <regex>

namespace vantrel::records {

std::string SerialProblem(const std::string& serial, const std::string& pattern) {
    if (serial.empty()) return {};
    std::size_t characters = 0;
    char32_t first = 0, last = 0;
    for (std::size_t at = 0; at < serial.size(); ++characters) {
        char32_t c = 0;
        const std::size_t length = Utf8CharLength(serial, at, c);
        if (length == 0) return "The serial number is not valid UTF-8 text.";
        if (IsHiddenCharacter(c))
            return "The serial number holds a control or invisible character (" +
                   ShownText(serial.substr(at, length)) + ").";
        if (characters == 0) first = c;
        last = c;
        at += length;
    }
    if (u_isUWhiteSpace(static_cast<UChar32>(first)) || u_isUWhiteSpace(static_cast<UChar32>(last)))
        return "The serial number begins or ends with a blank.";
    if (characters > kSerialMaxCharacters)
        return "The serial number is longer than " + std::to_string(kSerialMaxCharacters) + " characters.";
    if (!pattern.empty()) {
        try {
            if (!std::regex_search(serial, std::regex(pattern)))
                return "The serial number " + ShownText(serial) + " does not match the bench's pattern " +
                       ShownText(pattern) + ".";
        } catch (const std::regex_error&) {
            // A pattern that cannot be read is told once when the settings are read.
        }
    }
    return {};
}

}  // namespace vantrel::records
