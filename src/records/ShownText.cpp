#include "records/ShownText.h"

#include "records/LineText.h"

#include <unicode/uchar.h>

#include <cstdio>

namespace vantrel::records {
namespace {

std::string ByteEscape(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", value);
    return text;
}

std::string CharacterEscape(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "\\u{%04X}", value);
    return text;
}

}  // namespace

bool IsHiddenCharacter(char32_t c) {
    const auto cp = static_cast<UChar32>(c);
    switch (u_charType(cp)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_PRIVATE_USE_CHAR:
    case U_SURROGATE:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR: return true;
    case U_SPACE_SEPARATOR: return c != ' ';
    default: break;
    }
    return u_hasBinaryProperty(cp, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) ||
           u_hasBinaryProperty(cp, UCHAR_NONCHARACTER_CODE_POINT);
}

std::string ShownText(const std::string& text, bool keepLineBreaks) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = Utf8CharLength(text, at, c);
        if (length == 0) {
            shown += ByteEscape(static_cast<unsigned char>(text[at++]));
            continue;
        }
        at += length;
        if (keepLineBreaks && (c == '\n' || c == '\t')) {
            shown += static_cast<char>(c);
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            shown += ByteEscape(static_cast<unsigned>(c));
        } else if (c == '\\' || !IsHiddenCharacter(c)) {
            AppendUtf8(shown, c);
        } else {
            shown += CharacterEscape(static_cast<unsigned>(c));
        }
    }
    return shown;
}

std::string ShownTextCut(const std::string& text, std::size_t maxCharacters) {
    std::size_t characters = 0, end = 0;
    for (std::size_t at = 0; at < text.size(); ++characters) {
        char32_t c = 0;
        const std::size_t length = Utf8CharLength(text, at, c);
        at += length == 0 ? 1 : length;
        if (characters < maxCharacters) end = at;
    }
    if (characters <= maxCharacters) return ShownText(text);
    return ShownText(text.substr(0, end)) + "... (" + std::to_string(characters) + " characters)";
}

}  // namespace vantrel::records
