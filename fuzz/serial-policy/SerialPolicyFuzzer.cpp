// The serial-number policy at entry, checked against ICU's own reading of the text: a serial
// number is accepted exactly when it is valid UTF-8, holds no invisible or steering character,
// has no blank at either end and at most the limit of characters; a NUL anywhere refuses it,
// whatever follows; a bench pattern only narrows what is accepted; and every refusal is a
// sentence a box can show as it stands.
//
// Input: one byte choosing the bench's pattern, then the serial number.
#include "FuzzSupport.h"

#include "records/SerialPolicy.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <array>
#include <regex>
#include <vector>

namespace {

using vantrel::records::kSerialMaxCharacters;
using vantrel::records::SerialProblem;

constexpr std::array<const char*, 5> kPatterns = {"", "^SN-[0-9]{6}$", "[A-Z]", "^[^ ]+$", "é"};

// The code points of `text`, read by ICU; empty with `valid` false when it is not UTF-8.
std::vector<UChar32> CodePoints(const std::string& text, bool& valid) {
    std::vector<UChar> units(text.size() + 1);
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8(units.data(), static_cast<int32_t>(units.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &error);
    valid = U_SUCCESS(error);
    std::vector<UChar32> points;
    if (!valid) return points;
    for (int32_t at = 0; at < length;) {
        UChar32 c = 0;
        U16_NEXT(units.data(), at, length, c);
        points.push_back(c);
    }
    return points;
}

// Shown as it stands: nothing invisible, nothing that steers the display.
bool Visible(UChar32 c) {
    switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_PRIVATE_USE_CHAR:
    case U_SURROGATE:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR: return false;
    case U_SPACE_SEPARATOR: return c == ' ';
    default: break;
    }
    return !u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) &&
           !u_hasBinaryProperty(c, UCHAR_NONCHARACTER_CODE_POINT);
}

bool Acceptable(const std::string& serial) {
    bool valid = false;
    const auto points = CodePoints(serial, valid);
    if (!valid || points.size() > kSerialMaxCharacters) return false;
    for (UChar32 c : points)
        if (!Visible(c)) return false;
    return points.empty() || (!u_isUWhiteSpace(points.front()) && !u_isUWhiteSpace(points.back()));
}

// A sentence for a box: valid UTF-8 whose every character shows, the line break aside.
bool Showable(const std::string& sentence) {
    bool valid = false;
    const auto points = CodePoints(sentence, valid);
    if (!valid || points.empty()) return false;
    for (UChar32 c : points)
        if (!Visible(c)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::string pattern = kPatterns[input.Byte() % kPatterns.size()];
    const std::string serial = input.Rest();

    const std::string problem = SerialProblem(serial);
    FUZZ_CHECK(problem.empty() == Acceptable(serial));
    if (!problem.empty()) FUZZ_CHECK(Showable(problem));

    // Whatever follows a NUL, the serial number is refused: nothing reads it as a C string.
    FUZZ_CHECK(!SerialProblem(serial + '\0').empty());
    FUZZ_CHECK(!SerialProblem(std::string(1, '\0') + serial).empty());

    // A pattern only narrows: accepted with it means accepted without it and matched by it.
    const std::string withPattern = SerialProblem(serial, pattern);
    if (!withPattern.empty()) FUZZ_CHECK(Showable(withPattern));
    if (serial.empty()) {
        FUZZ_CHECK(withPattern.empty());  // none given: nothing to check
    } else if (!problem.empty()) {
        FUZZ_CHECK(!withPattern.empty());
    } else if (!pattern.empty()) {
        FUZZ_CHECK(withPattern.empty() == std::regex_search(serial, std::regex(pattern)));
    } else {
        FUZZ_CHECK(withPattern.empty());
    }
    return 0;
}
