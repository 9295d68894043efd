#include "records/LineText.h"

namespace vantrel::records {
namespace {

constexpr char32_t kByteBase = 0x10ff00;

bool IsByteStandIn(char32_t c) { return c >= kByteBase && c <= kByteBase + 0xff; }

}  // namespace

std::size_t Utf8CharLength(const std::string& text, std::size_t at, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xe  ? 3
                               : (lead >> 3) == 0x1e ? 4
                                                     : 0;
    if (length == 0 || at + length > text.size()) return 0;
    codePoint = length == 1 ? lead : lead & (0x7fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3fu);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return 0;
    return length;
}

void AppendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xc0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xe0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        text += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        text += static_cast<char>(0xf0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        text += static_cast<char>(0x80 | (c & 0x3f));
    }
}

std::string LineText(const std::string& benchText) {
    std::string line;
    line.reserve(benchText.size());
    for (std::size_t at = 0; at < benchText.size();) {
        char32_t c = 0;
        std::size_t length = Utf8CharLength(benchText, at, c);
        if (length != 0 && c != 0 && !IsByteStandIn(c)) {
            line.append(benchText, at, length);
        } else {
            length = length == 0 ? 1 : length;
            for (std::size_t i = 0; i < length; ++i)
                AppendUtf8(line, kByteBase + static_cast<unsigned char>(benchText[at + i]));
        }
        at += length;
    }
    return line;
}

std::string BenchText(const std::string& lineText) {
    std::string bench;
    bench.reserve(lineText.size());
    for (std::size_t at = 0; at < lineText.size();) {
        char32_t c = 0;
        const std::size_t length = Utf8CharLength(lineText, at, c);
        if (length == 0) {
            bench += lineText[at++];
            continue;
        }
        if (IsByteStandIn(c))
            bench += static_cast<char>(c - kByteBase);
        else
            bench.append(lineText, at, length);
        at += length;
    }
    return bench;
}

}  // namespace vantrel::records
