#pragma once
// Stored text as a person reads it, on a terminal or a page: whatever could steer the display
// or hide part of the text is shown as an escape instead. Control characters (C0, DEL and C1),
// format characters (bidi overrides and isolates, zero-width characters), other invisible
// characters and bytes that are not UTF-8 all become visible.

#include <cstddef>
#include <string>

namespace vantrel::records {

// \n \r \t, \xHH for a byte that is not UTF-8 or a C0 control, \u{HHHH} for any other
// character that would not be seen. Line breaks and tabs stay when `keepLineBreaks`.
std::string ShownText(const std::string& text, bool keepLineBreaks = false);

// ShownText cut to at most `maxCharacters` characters, with "..." and the full length when cut.
std::string ShownTextCut(const std::string& text, std::size_t maxCharacters);

// Whether a character is invisible or steers the display (control, format, private use,
// unassigned, a separator other than the space, a default-ignorable character).
bool IsHiddenCharacter(char32_t c);

}  // namespace vantrel::records
